// Headphone monitoring: one input channel played to the default output.
#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"
#include "platform/AudioCapture.h"

void DesktopTranscriber::setMonitorChannel(std::optional<int> channel)
{
    const std::optional<int> old = m_monitorChannel;
    if (old != channel) {
        m_monitorChannel = channel;
        Q_EMIT monitorChannelChanged();
    }
    // The monitored channel is always transcribed by the service; the one left goes back.
    if (channel) {
        rerouteChannel(*channel);
    }
    if (old && old != channel) {
        rerouteChannel(*old);
    }
    if (!channel) {
        stopMonitorPlayback();
    } else if (m_capture) {
        startMonitorPlayback();
    }
    m_path->setMonitorIndex(channel);
}

void DesktopTranscriber::startMonitorPlayback()
{
    if (m_monitorSink || !m_capture || !m_monitorChannel) {
        return;
    }
    const std::optional<CaptureFormat> format = m_capture->format();
    if (!format || !(format->sampleRate > 0.0)) {
        return;
    }
    std::unique_ptr<MonitorSink> sink =
        m_env.makeMonitorSink ? m_env.makeMonitorSink() : std::make_unique<DeviceMonitorSink>();
    auto queue = std::make_shared<MonitorQueue>(MonitorQueue::capacityFor(format->sampleRate));
    if (!sink || !sink->start(queue, format->sampleRate)) {
        const QString why = sink ? sink->errorString() : QStringLiteral("No audio output is available.");
        setNotice(QStringLiteral("Couldn't play this channel through the Mac's output: ") + why);
        return;
    }
    // The capture thread only copies into the bounded queue: a stalled output costs at most
    // the queue's quarter second, never latency or memory that grows.
    m_path->setMonitorHook([queue](std::span<const float> mono, double) { queue->push(mono); });
    m_path->setMonitorIndex(m_monitorChannel);
    m_monitorSink = std::move(sink);
    m_monitorQueue = std::move(queue);
}

void DesktopTranscriber::stopMonitorPlayback()
{
    // The path keeps the old hook (and its queue) until the capture thread can no longer hold
    // it, so a buffer in flight still lands in a live queue nobody plays.
    m_path->setMonitorHook({});
    std::unique_ptr<MonitorSink> sink = std::move(m_monitorSink);
    m_monitorQueue.reset();
    if (sink) {
        sink->stop();
    }
}
