// Starting and stopping a run: the capture of the chosen device and the set of streams.
#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"
#include "audio/SoundEventDetector.h"
#include "platform/AudioCapture.h"
#include "platform/PulseCapture.h"

#include <QMetaObject>
#include <QPointer>

#include <cmath>
#include <limits>

namespace {

const QString kStarting = QStringLiteral("Starting…");
const QString kListening = QStringLiteral("Listening…");

// Whole seconds since 1970 of `date`, or nullopt for a date no integer can hold.
std::optional<qint64> wholeSeconds(Date date)
{
    const double seconds = std::floor(date.secondsSince1970());
    if (!(seconds >= -9.0e18 && seconds <= 9.0e18)) {
        return std::nullopt;
    }
    return static_cast<qint64>(seconds);
}

} // namespace

void DesktopTranscriber::start()
{
    if (m_running) {
        return;
    }
    // An engine that played the demo plays it again: nothing is ever captured on it.
    if (m_isDemo) {
        startDemo(m_demoChannelCount);
        return;
    }
    setStatus(kStarting);
    // There is no permission prompt here: a device that refuses shows up when it is opened.
    beginCapture();
}

void DesktopTranscriber::beginCapture()
{
    if (m_running) {
        return;
    }
    m_book.clear(m_engineStart);
    setLatestLine({});
    m_keywords.clearAlerted();

    const std::optional<AudioInputDevice> target = captureTarget();
    if (m_capture && m_scanOwnsCapture && target && m_captureUid == target->uid) {
        // A scan opened the input while idle: the run takes its capture over rather than
        // opening a second one, and the scan's end leaves it open.
        m_scanOwnsCapture = false;
        m_engineStart = now();
    } else {
        // Never record one device under another's name: a scan of another input ends first.
        if (m_scanOwnsCapture) {
            abandonScan(QStringLiteral("the input changed."));
        }
        if (!openCapture()) {
            return;
        }
    }
    m_book.clear(m_engineStart);

    advanceRunKey();
    ++m_runGeneration;

    if (m_channels.isEmpty()) {
        openStream(-1, std::nullopt, 1.0f);
    } else {
        bool anyLive = false;
        for (const ChannelConfig& config : std::as_const(m_channels)) {
            if (config.isLive()) {
                anyLive = true;
                openStream(config.index, config.name, config.gain());
            }
        }
        if (!anyLive) {
            setStatus(QStringLiteral("Every channel is off. Unmute one to transcribe."));
        }
        if (m_freshConfig) {
            scheduleSilenceCheck();
        }
    }
    if (m_status.startsWith(QLatin1String("Starting"))) {
        setStatus(kListening);
    }
    setRunning(true);
}

void DesktopTranscriber::advanceRunKey()
{
    // Line keys of the log are "<run key>-<line id>": a run (or demo) started within the same
    // second as the previous one still gets a key of its own.
    const qint64 seconds = wholeSeconds(m_engineStart).value_or(0);
    if (!m_hadRun) {
        m_runKey = seconds;
    } else if (m_runKey < std::numeric_limits<qint64>::max()) {
        m_runKey = std::max(seconds, m_runKey + 1);
    }
    m_hadRun = true;
    m_localLineCounters.reset();
}

std::optional<AudioInputDevice> DesktopTranscriber::captureTarget() const
{
    std::optional<AudioInputDevice> target = currentDevice();
    if (!target && !m_deviceUID) {
        target = m_deviceSource->defaultInput();
    }
    return target;
}

bool DesktopTranscriber::openCapture()
{
    const std::optional<AudioInputDevice> device = currentDevice();
    const std::optional<AudioInputDevice> target = captureTarget();
    if (!target && m_devices.isEmpty()) {
        setStatus(QStringLiteral("No microphone input found"));
        return false;
    }
    const QString deviceName = device ? device->name : QString();

    std::unique_ptr<AudioCaptureSource> source =
        m_env.makeCapture ? m_env.makeCapture() : std::make_unique<PulseCaptureSource>();
    if (!source) {
        setStatus(QStringLiteral("No microphone input found"));
        return false;
    }
    const CaptureOpenResult opened = source->open(target ? std::optional<QString>(target->uid) : std::nullopt);
    if (!opened.ok()) {
        // Nothing asks for permission here: a device that cannot be opened is the refusal.
        setStatus(QStringLiteral("Couldn't open ") +
                  (deviceName.isEmpty() ? QStringLiteral("the microphone") : deviceName));
        return false;
    }
    const CaptureFormat format = *opened.format;
    if (!m_channels.isEmpty() && m_channels.size() > format.channelCount) {
        setStatus(QStringLiteral("%1 is giving %2 of %3 channels")
                      .arg(deviceName.isEmpty() ? QStringLiteral("The device") : deviceName,
                           QString::number(format.channelCount), QString::number(m_channels.size())));
    }

    m_engineStart = now();
    m_path->setMeteringEnabled(!m_channels.isEmpty());
    m_soundDetector->start(format.sampleRate, format.channelCount);
    m_path->setSoundCueHook(
        [detector = m_soundDetector](const float* interleaved, int frames, int channels, double sampleRate) {
            detector->feed(interleaved, frames, channels, sampleRate);
        });
    CapturePath* path = m_path.get();
    source->onBuffer = [path](const float* interleaved, int frames, int channels, double sampleRate) {
        path->handleBuffer(interleaved, frames, channels, sampleRate);
    };
    QPointer<DesktopTranscriber> self(this);
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
                if (self && self->m_capture.get() == identity) {
                    self->captureLost(reason);
                }
            },
            Qt::QueuedConnection);
    };
    if (!source->start()) {
        setStatus(QStringLiteral("Couldn't start audio from ") +
                  (deviceName.isEmpty() ? QStringLiteral("the microphone") : deviceName));
        return false;
    }
    m_capture = std::move(source);
    m_captureUid = target ? std::optional<QString>(target->uid) : std::nullopt;
    m_captureName = target ? target->name : QString();
    // Monitoring chosen while idle begins with the capture.
    startMonitorPlayback();
    return true;
}

void DesktopTranscriber::closeCapture()
{
    stopMonitorPlayback();
    if (m_capture) {
        // Waits for the capture thread: no buffer reaches the path after this.
        m_capture->stop();
        m_capture.reset();
    }
    m_path->setSoundCueHook(nullptr);
    m_soundDetector->stop();
    m_captureUid.reset();
    m_scanOwnsCapture = false;
}

void DesktopTranscriber::stopStreams(const QList<std::shared_ptr<TranscriptStream>>& streams)
{
    for (const auto& stream : streams) {
        stream->stop();
    }
    // A stop may come from inside a stream's own callback (a refusal that makes the screen stop
    // and start again): the streams are let go on a later turn of the event loop, never while
    // one of them may still be on the stack.
    if (!streams.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [held = streams] { Q_UNUSED(held); }, Qt::QueuedConnection);
    }
}

void DesktopTranscriber::stop()
{
    // The input closes under a scan that listens along (or that opened it): it ends unjudged.
    if (!m_isDemo) {
        abandonScan(m_running ? QStringLiteral("logging stopped and closed the input.")
                              : QStringLiteral("the input was closed."));
    }
    stopDemoTimers();
    closeCapture();
    const CapturePath::StreamMap open = m_path->takeAllStreams();
    m_views.clear();
    stopStreams(open.values());
    setRunning(false);
    setStatus(QStringLiteral("Off"));
    setLevels(QList<float>(m_levels.size(), 0.0f));
    // The mixer stayed the run's device while the default input moved on; now it follows.
    const std::optional<AudioInputDevice> device = currentDevice();
    const auto uidOf = [](const std::optional<AudioInputDevice>& d) {
        return d ? std::optional<QString>(d->uid) : std::nullopt;
    };
    if (!m_isDemo && uidOf(device) != uidOf(m_channelsDevice)) {
        loadChannels();
    }
}

void DesktopTranscriber::captureLost(const QString& reason)
{
    const QString name = m_captureName.isEmpty() ? QStringLiteral("The input") : m_captureName;
    if (!m_isDemo) {
        abandonScan(QStringLiteral("the input was lost."));
    }
    const bool wasRunning = m_running;
    if (wasRunning) {
        stop();
    } else {
        closeCapture();
        setLevels(QList<float>(m_levels.size(), 0.0f));
    }
    QString text = QStringLiteral("Lost ") + name;
    const QString why = reason.trimmed();
    text += why.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + why;
    if (wasRunning) {
        text += QStringLiteral(" Logging stopped.");
    }
    setStatus(text);
}
