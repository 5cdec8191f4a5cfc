// The demo shoot as the engine plays it: the pretend mixer, the run it stands for, and the
// lines it publishes. The script and its timers are DemoPlayer's.
#include "audio/DesktopTranscriber.h"

#include "audio/CaptureSession.h"
#include "audio/DemoPlayer.h"
#include "audio/DemoShoot.h"
#include "audio/KeywordAlerts.h"

void DesktopTranscriber::startDemo(std::optional<int> channelCount)
{
    if (m_running) {
        return;
    }
    // A scan of the idle input (or the pretend scan of an earlier demo) is called off: the demo
    // scans its own mixer.
    cancelScan();
    const int count = m_demo->begin(channelCount);
    m_settings->showPretend(DemoShoot::channels(count));
    m_session->setLevels(QList<float>(count, 0.0f));
    m_keywords->clearAlerted();
    m_engineStart = now();
    m_book.clear(m_engineStart);
    setLatestLine({});
    advanceRunKey();
    ++m_runGeneration;

    m_demo->play(m_engineStart);
    setRunning(true);
    setStatus(EngineStatus::of(EngineStatus::Kind::Listening));
    setNotice(DemoShoot::kNotice);

    m_demo->tick();
    scanChannels();
}

void DesktopTranscriber::demoLine(const DisplaySegment& line)
{
    // Published in the book's order (each line's moment).
    const QStringList touched = m_book.upsert(QList<DisplaySegment>{line});
    setLatestLine(line.text);
    m_keywords->check(touched);
}
