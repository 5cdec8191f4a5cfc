// The demo shoot: the scripted conversation, the meters and the pretend scan on the engine's
// timers. Nothing is captured, sent or saved.
#include "audio/DesktopTranscriber.h"

#include "audio/DemoShoot.h"

#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

// A timer interval from a configured one: never negative, never past what a Qt timer takes.
std::chrono::milliseconds interval(qint64 ms)
{
    return std::chrono::milliseconds(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max()));
}

} // namespace

void DesktopTranscriber::startDemo(std::optional<int> channelCount)
{
    if (m_running) {
        return;
    }
    // A scan of the idle input (or the pretend scan of an earlier demo) is called off: the demo
    // scans its own mixer.
    cancelScan();
    m_isDemo = true;
    m_freshConfig = false;
    m_demoChannelCount = DemoShoot::channelCount(channelCount);

    setChannels(DemoShoot::channels(m_demoChannelCount));
    setLevels(QList<float>(m_demoChannelCount, 0.0f));
    m_demoSegs.clear();
    m_demoLine = 0;
    m_demoSpeaking = DemoShoot::script().constFirst().channel;
    m_keywords.clearAlerted();
    m_engineStart = now();
    m_book.clear(m_engineStart);
    setLatestLine({});
    advanceRunKey();
    ++m_runGeneration;

    m_demoPlaying = true;
    setRunning(true);
    setStatus(QStringLiteral("Listening…"));
    setNotice(DemoShoot::kNotice);

    m_demoLineTimer->start(interval(m_env.demoLineIntervalMs));
    m_demoLevelTimer->start(interval(m_env.demoLevelIntervalMs));
    demoTick();
    scanChannels();
}

void DesktopTranscriber::stopDemoTimers()
{
    m_demoLineTimer->stop();
    m_demoLevelTimer->stop();
    m_demoPlaying = false;
}

double DesktopTranscriber::demoRandom() const
{
    return m_env.random ? m_env.random() : QRandomGenerator::global()->generateDouble();
}

void DesktopTranscriber::demoTick()
{
    if (!m_demoPlaying) {
        return;
    }
    const DemoShoot::ScriptRow& row = DemoShoot::rowFor(m_demoLine);
    ++m_demoLine;
    m_demoSpeaking = row.channel;

    // A muted speaker's line is skipped; the script still moves on.
    const qsizetype position = positionOf(row.channel);
    if (position < 0 || !m_channels.at(position).isLive()) {
        return;
    }
    const Date at = now();
    const double t = at.secondsSince(m_engineStart);
    const DisplaySegment segment = DemoShoot::line(row, m_demoLine, m_channels.at(position), t, at);

    // Published in the book's order (each line's moment); the demo's own list is only kept to
    // be put back after a mixer change.
    m_demoSegs.append(segment);
    const QStringList touched = m_book.upsert(QList<DisplaySegment>{segment});
    setLatestLine(row.text);
    checkKeywords(touched);
}

void DesktopTranscriber::demoLevelsTick()
{
    if (!m_demoPlaying) {
        return;
    }
    QList<float> levels;
    levels.reserve(m_channels.size());
    for (const ChannelConfig& config : std::as_const(m_channels)) {
        levels.append(DemoShoot::level(config, m_demoSpeaking, m_scanning, demoRandom()));
    }
    setLevels(levels);
}

void DesktopTranscriber::demoScan()
{
    QList<int> indices;
    indices.reserve(m_channels.size());
    for (const ChannelConfig& config : std::as_const(m_channels)) {
        indices.append(config.index);
    }
    const qsizetype n = indices.size();
    const quint64 generation = m_scanGeneration;
    const qint64 step = std::max(m_env.demoScanStepMs, 0);

    for (qsizetype i = 0; i < n; ++i) {
        const int index = indices.at(i);
        const double progress = double(i + 1) / double(n);
        // Bound to the engine; a scan called off (a new demo) leaves its steps without effect.
        m_clock.singleShot(interval(qint64(i) * step), this, [this, generation, index, progress] {
            if (generation != m_scanGeneration) {
                return;
            }
            if (m_scanFocus != index) {
                m_scanFocus = index;
                Q_EMIT scanFocusChanged();
            }
            m_scanProgress = progress;
            Q_EMIT scanProgressChanged();
        });
    }
    const qint64 settle = qint64(n) * step + std::max(m_env.demoScanSettleMs, 0);
    m_clock.singleShot(interval(settle), this, [this, generation, indices] {
        if (generation != m_scanGeneration) {
            return;
        }
        QMap<int, ScanKind> verdicts;
        for (const int index : indices) {
            verdicts.insert(index, DemoShoot::verdict(index));
        }
        m_scanResults = verdicts;
        Q_EMIT scanResultsChanged();
        applyScanResults();
    });
}
