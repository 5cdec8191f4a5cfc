// The streams of a run as the mixer's edits move them, and what their news means for the
// published values.
#include "audio/DesktopTranscriber.h"

#include "audio/CaptureSession.h"
#include "audio/DemoPlayer.h"
#include "audio/KeywordAlerts.h"
#include "audio/StreamSet.h"

std::shared_ptr<TranscriptStream> DesktopTranscriber::stream(int index) const
{
    return m_streams->stream(index);
}

QList<int> DesktopTranscriber::openStreamChannels() const
{
    return m_streams->channels();
}

bool DesktopTranscriber::usesOnDevice(int index) const
{
    const std::optional<ChannelConfig> config = m_settings->channel(index);
    return StreamSet::wantsOnDevice(index, m_env.onDeviceAvailable.value_or(false), m_session->monitorChannel(),
                                    config && config->hidden);
}

void DesktopTranscriber::openStream(int index, const std::optional<QString>& label, float gain)
{
    // The demo's voices are scripted: nothing is transcribed.
    if (m_demo->started()) {
        return;
    }
    StreamRequest request;
    request.channel = index;
    request.label = label;
    request.offset = now().secondsSince(m_engineStart);
    request.onDevice = usesOnDevice(index);
    m_streams->open(request, gain, m_shootToken);
}

void DesktopTranscriber::followLiveness(int index, bool wasLive)
{
    const std::optional<ChannelConfig> config = m_settings->channel(index);
    if (!config) {
        return;
    }
    StreamSet::ChannelState state;
    state.running = m_running;
    state.wasLive = wasLive;
    state.isLive = config->isLive();
    switch (StreamSet::route(StreamSet::Edit::Liveness, state)) {
    case StreamSet::Route::Keep:
    case StreamSet::Route::Reopen:
        return;
    case StreamSet::Route::Close:
        m_streams->close(index);
        break;
    case StreamSet::Route::Open:
        openStream(index, config->name, config->gain());
        break;
    }
    rebuildTranscript();
}

void DesktopTranscriber::followRouting(int index)
{
    const std::optional<ChannelConfig> config = m_settings->channel(index);
    if (!config) {
        return;
    }
    const std::shared_ptr<TranscriptStream> open = m_streams->stream(index);
    StreamSet::ChannelState state;
    state.running = m_running;
    state.wasLive = config->isLive();
    state.isLive = config->isLive();
    state.openOnDevice = open ? std::optional<bool>(open->onDevice()) : std::nullopt;
    state.wantsOnDevice = usesOnDevice(index);
    if (StreamSet::route(StreamSet::Edit::Routing, state) != StreamSet::Route::Reopen) {
        return;
    }
    m_streams->close(index);
    openStream(index, config->name, config->gain());
    rebuildTranscript();
}

void DesktopTranscriber::rebuildTranscript()
{
    // A mixer change during the demo leaves the demo transcript in place.
    if (m_demo->started()) {
        m_keywords->check(m_book.replaceAll(m_demo->lines()));
        return;
    }
    m_keywords->check(m_streams->rebuild());
}

void DesktopTranscriber::streamMerged(const QStringList& touched, const QString& text)
{
    m_keywords->check(touched);
    if (m_running) {
        setStatus(EngineStatus::of(EngineStatus::Kind::Listening));
    }
    setLatestLine(text);
}

void DesktopTranscriber::handleRefusal(const QString& code)
{
    if (code == QLatin1String("shoot_ended") || code == QLatin1String("shoot_required")) {
        // The screen stops and starts again with a new shoot token.
        if (onShootEnded) {
            onShootEnded();
        }
        return;
    }
    setStatus(EngineStatus::withDetail(EngineStatus::Kind::Refused, code));
}
