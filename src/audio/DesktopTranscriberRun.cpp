// Starting and stopping a run: the capture of the chosen device, the set of streams, the run's
// key and the first run's silence check.
#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"
#include "audio/CaptureSession.h"
#include "audio/DemoPlayer.h"
#include "audio/KeywordAlerts.h"
#include "audio/StreamSet.h"

#include <chrono>
#include <cmath>
#include <limits>

namespace {

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
    if (m_demo->started()) {
        startDemo(m_demo->channelCount());
        return;
    }
    setStatus(EngineStatus::of(EngineStatus::Kind::Starting));
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
    m_keywords->clearAlerted();

    const std::optional<AudioInputDevice> target = captureTarget();
    if (m_session->openedByScan() && target && m_session->uid() == target->uid) {
        // A scan opened the input while idle: the run takes its capture over rather than
        // opening a second one, and the scan's end leaves it open.
        m_session->handOverToRun();
        m_engineStart = now();
    } else {
        // Never record one device under another's name: a scan of another input ends first.
        if (m_session->openedByScan()) {
            abandonScan(QStringLiteral("the input changed."));
        }
        if (!openCapture(false)) {
            return;
        }
    }
    m_book.clear(m_engineStart);

    advanceRunKey();
    ++m_runGeneration;

    // A copy: a stream's first callback may already make the screen stop and reload the mixer.
    const QList<ChannelConfig> channels = m_settings->channels();
    if (channels.isEmpty()) {
        openStream(-1, std::nullopt, 1.0f);
    } else {
        bool anyLive = false;
        for (const ChannelConfig& config : channels) {
            if (config.isLive()) {
                anyLive = true;
                openStream(config.index, config.name, config.gain());
            }
        }
        if (!anyLive) {
            setStatus(EngineStatus::of(EngineStatus::Kind::EveryChannelOff));
        }
        if (m_settings->isFresh()) {
            scheduleSilenceCheck();
        }
    }
    // A problem met while opening stays on show.
    if (m_status.kind == EngineStatus::Kind::Starting) {
        setStatus(EngineStatus::of(EngineStatus::Kind::Listening));
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
    m_streams->newRun();
}

std::optional<AudioInputDevice> DesktopTranscriber::captureTarget() const
{
    std::optional<AudioInputDevice> target = currentDevice();
    if (!target && !m_deviceUID) {
        target = m_deviceSource->defaultInput();
    }
    return target;
}

bool DesktopTranscriber::openCapture(bool forScan)
{
    const std::optional<AudioInputDevice> device = currentDevice();
    const std::optional<AudioInputDevice> target = captureTarget();
    if (!target && m_devices.isEmpty()) {
        setStatus(EngineStatus::of(EngineStatus::Kind::NoInput));
        return false;
    }
    const QString deviceName = device ? device->name : QString();
    const qsizetype configured = m_settings->channels().size();

    const CaptureSession::Outcome outcome = m_session->open(
        target, forScan ? CaptureSession::Opener::Scan : CaptureSession::Opener::Run, configured > 0,
        [this, &deviceName, configured](const CaptureFormat& format) {
            if (configured > 0 && configured > format.channelCount) {
                setStatus(EngineStatus::fewerChannels(deviceName, format.channelCount, int(configured)));
            }
            m_engineStart = now();
        });
    switch (outcome) {
    case CaptureSession::Outcome::Opened:
        break;
    case CaptureSession::Outcome::NoSource:
        setStatus(EngineStatus::of(EngineStatus::Kind::NoInput));
        return false;
    case CaptureSession::Outcome::Refused:
        // Nothing asks for permission here: a device that cannot be opened is the refusal.
        setStatus(EngineStatus::onDevice(EngineStatus::Kind::CouldNotOpen, deviceName));
        return false;
    case CaptureSession::Outcome::NotStarted:
        setStatus(EngineStatus::onDevice(EngineStatus::Kind::CouldNotStart, deviceName));
        return false;
    }
    // Monitoring chosen while idle begins with the capture.
    startMonitorPlayback();
    return true;
}

void DesktopTranscriber::closeCapture()
{
    m_session->close();
}

void DesktopTranscriber::startMonitorPlayback()
{
    if (const std::optional<QString> why = m_session->startMonitor()) {
        setNotice(QStringLiteral("Couldn't play this channel through the computer's output: ") + *why);
    }
}

void DesktopTranscriber::stop()
{
    // The input closes under a scan that listens along (or that opened it): it ends unjudged.
    abandonScan(m_running ? QStringLiteral("logging stopped and closed the input.")
                          : QStringLiteral("the input was closed."));
    m_demo->stop();
    closeCapture();
    m_streams->closeAll();
    setRunning(false);
    setStatus(EngineStatus::off());
    m_session->zeroLevels();
    // The mixer stayed the run's device while the default input moved on; now it follows.
    const std::optional<AudioInputDevice> device = currentDevice();
    const std::optional<QString> uid = device ? std::optional<QString>(device->uid) : std::nullopt;
    if (!m_demo->started() && uid != m_settings->deviceUid()) {
        loadChannels();
    }
}

void DesktopTranscriber::captureLost(const QString& reason)
{
    const QString name = m_session->name();
    abandonScan(QStringLiteral("the input was lost."));
    const bool wasRunning = m_running;
    if (wasRunning) {
        stop();
    } else {
        closeCapture();
        m_session->zeroLevels();
    }
    setStatus(EngineStatus::lost(name, reason, wasRunning));
}

void DesktopTranscriber::scheduleSilenceCheck()
{
    // Armed for the channels the device delivers: the path only gathers peaks when the counts
    // match, and a device giving fewer (or more) channels than its settings is common.
    const std::optional<CaptureFormat> format = m_session->format();
    m_session->path().armPeakSinceStart(format ? format->channelCount : int(m_settings->channels().size()));
    const quint64 run = m_runGeneration;
    m_clock.singleShot(std::chrono::milliseconds(std::max(m_env.silenceCheckDelayMs, 0)), this,
                       [this, run] { muteSilentChannels(run); });
}

void DesktopTranscriber::muteSilentChannels(quint64 run)
{
    if (run != m_runGeneration || !m_running || !m_settings->isFresh()) {
        return;
    }
    const QList<ChannelConfig> silent = m_settings->silentChannels(m_session->path().peakSinceStart(), kSilentPeak);
    QStringList muted;
    for (const ChannelConfig& config : silent) {
        setOn(config.index, false);
        muted.append(config.name);
    }
    m_settings->settle();
    if (!muted.isEmpty()) {
        setNotice(QStringLiteral("Muted %1: no sound on %2.")
                      .arg(muted.join(QStringLiteral(", ")),
                           muted.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
    }
}
