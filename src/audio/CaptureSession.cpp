#include "audio/CaptureSession.h"

#include "audio/CapturePath.h"
#include "audio/SoundEventDetector.h"
#include "platform/PulseCapture.h"

#include <QMetaObject>
#include <QPointer>

CaptureSession::CaptureSession(CaptureFactory makeCapture, MonitorSinkFactory makeMonitorSink, Clock& clock,
                               QObject* parent)
    : QObject(parent), m_makeCapture(std::move(makeCapture)), m_makeMonitorSink(std::move(makeMonitorSink)),
      m_clock(clock), m_soundDetector(std::make_shared<SoundEventDetector>(nullptr, &clock))
{
    // Level publications arrive queued on the main thread; the path (and with it any queued
    // call) goes away with the session.
    m_path = std::make_unique<CapturePath>(
        [this](const QList<float>& levels) {
            if (m_source) {
                setLevels(levels);
            }
        },
        &m_clock);
}

CaptureSession::~CaptureSession()
{
    stopCapture();
}

std::optional<CaptureFormat> CaptureSession::format() const
{
    return m_source ? m_source->format() : std::nullopt;
}

CaptureSession::Outcome CaptureSession::open(const std::optional<AudioInputDevice>& target, Opener opener,
                                             bool metering, const std::function<void(const CaptureFormat&)>& opened)
{
    std::unique_ptr<AudioCaptureSource> source =
        m_makeCapture ? m_makeCapture() : std::make_unique<PulseCaptureSource>();
    if (!source) {
        return Outcome::NoSource;
    }
    const CaptureOpenResult result = source->open(target ? std::optional<QString>(target->uid) : std::nullopt);
    if (!result.ok()) {
        return Outcome::Refused;
    }
    const CaptureFormat format = *result.format;
    if (opened) {
        opened(format);
    }

    m_path->setMeteringEnabled(metering);
    m_soundDetector->start(format.sampleRate, format.channelCount);
    m_path->setSoundCueHook(
        [detector = m_soundDetector](const float* interleaved, int frames, int channels, double sampleRate) {
            detector->feed(interleaved, frames, channels, sampleRate);
        });
    CapturePath* path = m_path.get();
    source->onBuffer = [path](const float* interleaved, int frames, int channels, double sampleRate) {
        path->handleBuffer(interleaved, frames, channels, sampleRate);
    };
    QPointer<CaptureSession> self(this);
    const AudioCaptureSource* identity = source.get();
    source->onLost = [self, identity](const QString& reason) {
        if (!self) {
            return;
        }
        // Handled on a later turn: the capture is torn down, and that must not happen inside
        // its own callback.
        QMetaObject::invokeMethod(
            self,
            [self, identity, reason] {
                if (self && self->m_source.get() == identity && self->onLost) {
                    self->onLost(reason);
                }
            },
            Qt::QueuedConnection);
    };
    if (!source->start()) {
        return Outcome::NotStarted;
    }
    m_source = std::move(source);
    m_uid = target ? std::optional<QString>(target->uid) : std::nullopt;
    m_name = target ? target->name : QString();
    m_opener = opener;
    return Outcome::Opened;
}

void CaptureSession::stopCapture()
{
    if (m_source) {
        // Waits for the capture thread: no buffer reaches the path after this.
        m_source->stop();
        m_source.reset();
    }
}

void CaptureSession::close()
{
    stopMonitor();
    stopCapture();
    m_path->setSoundCueHook(nullptr);
    m_soundDetector->stop();
    m_uid.reset();
    m_opener = Opener::Run;
}

void CaptureSession::setLevels(const QList<float>& levels)
{
    if (m_levels == levels) {
        return;
    }
    m_levels = levels;
    Q_EMIT levelsChanged();
}

void CaptureSession::zeroLevels()
{
    setLevels(QList<float>(m_levels.size(), 0.0f));
}

bool CaptureSession::setMonitorChannel(std::optional<int> channel)
{
    if (m_monitorChannel == channel) {
        return false;
    }
    m_monitorChannel = channel;
    Q_EMIT monitorChannelChanged();
    return true;
}

std::optional<QString> CaptureSession::startMonitor()
{
    if (m_monitorSink || !m_source || !m_monitorChannel) {
        return std::nullopt;
    }
    const std::optional<CaptureFormat> format = m_source->format();
    if (!format || !(format->sampleRate > 0.0)) {
        return std::nullopt;
    }
    std::unique_ptr<MonitorSink> sink = m_makeMonitorSink ? m_makeMonitorSink() : std::make_unique<DeviceMonitorSink>();
    auto queue = std::make_shared<MonitorQueue>(MonitorQueue::capacityFor(format->sampleRate));
    if (!sink || !sink->start(queue, format->sampleRate)) {
        return sink ? sink->errorString() : QStringLiteral("No audio output is available.");
    }
    // The capture thread only copies into the bounded queue: a stalled output costs at most
    // the queue's quarter second, never latency or memory that grows.
    m_path->setMonitorHook([queue](std::span<const float> mono, double) { queue->push(mono); });
    m_path->setMonitorIndex(m_monitorChannel);
    m_monitorSink = std::move(sink);
    m_monitorQueue = std::move(queue);
    return std::nullopt;
}

void CaptureSession::stopMonitor()
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
