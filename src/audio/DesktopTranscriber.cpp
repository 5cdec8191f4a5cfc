// The engine's construction, its published values, the device list and the mixer's edits.
#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"
#include "audio/CaptureSession.h"
#include "audio/DemoPlayer.h"
#include "audio/KeywordAlerts.h"
#include "audio/OnDeviceEngine.h"
#include "audio/StreamSet.h"
#include "audio/TranscriptQueries.h"
#include "platform/Defaults.h"

#include <QSet>

#include <algorithm>

DesktopTranscriber::DesktopTranscriber(Environment environment, QObject* parent)
    : QObject(parent), m_env(std::move(environment)), m_clock(Clock::orSystem(m_env.clock)),
      m_defaults(m_env.defaults != nullptr ? *m_env.defaults : Defaults::shared()), m_statusText(m_status.text())
{
    m_deviceSource = m_env.devices != nullptr ? m_env.devices : new AudioDevices(this);
    if (!m_env.onDeviceAvailable) {
        m_env.onDeviceAvailable = OnDeviceModel::isAvailable();
    }
    m_engineStart = now();
    m_book.clear(m_engineStart);

    m_settings = std::make_unique<ChannelSettings>(m_defaults);
    m_session = std::make_unique<CaptureSession>(m_env.makeCapture, m_env.makeMonitorSink, m_clock);
    m_streams = std::make_unique<StreamSet>(m_session->path(), m_book, m_env.makeStream, m_env.service, m_clock);
    m_scan = std::make_unique<ChannelScan>(*m_settings, m_clock);
    m_demo = std::make_unique<DemoPlayer>(*m_settings, *m_scan, m_clock,
                                          DemoPlayer::Pacing{m_env.demoLineIntervalMs, m_env.demoLevelIntervalMs},
                                          m_env.random);
    m_keywords = std::make_unique<KeywordAlerts>(m_book);
    m_queries = std::make_unique<TranscriptQueries>(m_book, *m_streams);
    wireParts();

    m_deviceUID = m_defaults.string(kInputDeviceKey);
    refreshDevices();
    connect(m_deviceSource, &AudioDevices::devicesChanged, this, &DesktopTranscriber::handleDeviceListChange);
    // A multi-channel interface plugged in while idle is scanned right away.
    connect(this, &DesktopTranscriber::channelScanRequested, this, &DesktopTranscriber::scanChannels);
}

void DesktopTranscriber::wireParts()
{
    // The components' values are the engine's published ones: their news is the engine's news.
    connect(m_settings.get(), &ChannelSettings::channelsChanged, this, &DesktopTranscriber::channelsChanged);
    connect(m_session.get(), &CaptureSession::levelsChanged, this, &DesktopTranscriber::levelsChanged);
    connect(m_session.get(), &CaptureSession::monitorChannelChanged, this, &DesktopTranscriber::monitorChannelChanged);
    connect(m_scan.get(), &ChannelScan::scanningChanged, this, &DesktopTranscriber::scanningChanged);
    connect(m_scan.get(), &ChannelScan::progressChanged, this, &DesktopTranscriber::scanProgressChanged);
    connect(m_scan.get(), &ChannelScan::resultsChanged, this, &DesktopTranscriber::scanResultsChanged);
    connect(m_scan.get(), &ChannelScan::focusChanged, this, &DesktopTranscriber::scanFocusChanged);
    connect(&m_book, &TranscriptBook::contentChanged, this, &DesktopTranscriber::transcriptChanged);

    m_session->onLost = [this](const QString& reason) { captureLost(reason); };
    m_streams->onMerged = [this](const QStringList& touched, const QString& text) { streamMerged(touched, text); };
    m_streams->onProblem = [this](const QString& message) {
        if (m_running) {
            setStatus(EngineStatus::withDetail(EngineStatus::Kind::StreamProblem, message));
        }
    };
    m_streams->onRefused = [this](const QString& code) { handleRefusal(code); };
    m_scan->onListened = [this] { finishScan(); };
    m_scan->onJudged = [this] { applyScanResults(); };
    m_demo->onLine = [this](const DisplaySegment& line) { demoLine(line); };
    m_demo->onLevels = [this](const QList<float>& levels) { m_session->setLevels(levels); };
}

DesktopTranscriber::~DesktopTranscriber()
{
    // The owner normally stopped the run; make sure no capture thread or stream outlives us.
    m_session->stopCapture();
    m_streams->shutDown();
}

Date DesktopTranscriber::now() const
{
    return m_clock.now();
}

void DesktopTranscriber::setStatus(const EngineStatus& status)
{
    m_status = status;
    QString text = status.text();
    if (m_statusText == text) {
        return;
    }
    m_statusText = std::move(text);
    Q_EMIT statusChanged();
}

void DesktopTranscriber::setRunning(bool running)
{
    if (m_running == running) {
        return;
    }
    m_running = running;
    Q_EMIT runningChanged();
}

void DesktopTranscriber::setLatestLine(const QString& line)
{
    if (m_latestLine == line) {
        return;
    }
    m_latestLine = line;
    Q_EMIT latestLineChanged();
}

void DesktopTranscriber::setNotice(const std::optional<QString>& notice)
{
    if (m_notice == notice) {
        return;
    }
    m_notice = notice;
    Q_EMIT noticeChanged();
}

const QList<float>& DesktopTranscriber::levels() const
{
    return m_session->levels();
}

std::optional<int> DesktopTranscriber::monitorChannel() const
{
    return m_session->monitorChannel();
}

bool DesktopTranscriber::monitorPlaying() const
{
    return m_session->monitorPlaying();
}

SoundEventDetector& DesktopTranscriber::soundDetector()
{
    return m_session->soundDetector();
}

bool DesktopTranscriber::isDemo() const
{
    return m_demo->started();
}

qint64 DesktopTranscriber::demoLinesPlayed() const
{
    return m_demo->linesPlayed();
}

// --- devices ---

std::optional<AudioInputDevice> DesktopTranscriber::currentDevice() const
{
    const auto found = std::find_if(m_devices.cbegin(), m_devices.cend(), [this](const AudioInputDevice& device) {
        return m_deviceUID ? device.uid == *m_deviceUID : device.isDefault;
    });
    if (found == m_devices.cend()) {
        return std::nullopt;
    }
    return *found;
}

void DesktopTranscriber::refreshDevices()
{
    QList<AudioInputDevice> listed = m_deviceSource->list();
    if (m_devices != listed) {
        m_devices = std::move(listed);
        Q_EMIT devicesChanged();
    }
    const bool present = m_deviceUID && std::any_of(m_devices.cbegin(), m_devices.cend(),
                                                    [this](const auto& device) { return device.uid == *m_deviceUID; });
    if (m_deviceUID && !present) {
        // The default input takes over while the chosen one is away; the stored choice stays
        // so that it comes back when the device does.
        m_deviceUID.reset();
        Q_EMIT deviceUIDChanged();
    }
    loadChannels();
}

void DesktopTranscriber::handleDeviceListChange()
{
    QSet<QString> known;
    for (const AudioInputDevice& device : std::as_const(m_devices)) {
        known.insert(device.uid);
    }

    // The capturing device leaving ends the run before anything is reloaded for another device.
    if (m_session->isOpen() && m_session->uid()) {
        const QList<AudioInputDevice> listed = m_deviceSource->list();
        const QString& uid = *m_session->uid();
        const bool stillThere =
            std::any_of(listed.cbegin(), listed.cend(), [&uid](const auto& device) { return device.uid == uid; });
        if (!stillThere) {
            captureLost(QStringLiteral("it was disconnected."));
        }
    }

    refreshDevices();

    const auto arrived = std::find_if(m_devices.cbegin(), m_devices.cend(), [&known](const AudioInputDevice& device) {
        return !known.contains(device.uid) && device.channelCount > 2;
    });
    if (arrived == m_devices.cend()) {
        return;
    }
    const AudioInputDevice device = *arrived;
    // Concatenated, not chained arg(): a "%1" in the device's name must stay as it is.
    const QString connected = device.name + QStringLiteral(" connected, ") + QString::number(device.channelCount) +
                              QStringLiteral(" channels.");
    if (m_running) {
        setNotice(connected + QStringLiteral(" Stop, then pick it from Input to switch."));
        return;
    }
    selectDevice(device.uid);
    setNotice(connected + QStringLiteral(" Scanning them…"));
    Q_EMIT channelScanRequested();
}

void DesktopTranscriber::selectDevice(const std::optional<QString>& uid)
{
    if (uid == m_deviceUID) {
        return;
    }
    // A scan belongs to the device it listens to.
    abandonScan(QStringLiteral("the input changed."));
    const bool wasRunning = m_running;
    if (wasRunning) {
        stop();
    }
    m_deviceUID = uid;
    if (uid) {
        m_defaults.set(kInputDeviceKey, *uid);
    } else {
        m_defaults.remove(kInputDeviceKey);
    }
    Q_EMIT deviceUIDChanged();
    loadChannels();
    if (wasRunning) {
        start();
    }
}

int DesktopTranscriber::liveChannelCount() const
{
    return m_settings->liveCount();
}

// --- channel settings ---

void DesktopTranscriber::loadChannels()
{
    // The pretend mixer stays while the demo plays; a device change shows after its stop.
    if (m_demo->playing()) {
        return;
    }
    const std::optional<AudioInputDevice> device = currentDevice();
    const std::optional<QString> uid = device ? std::optional<QString>(device->uid) : std::nullopt;
    // While logging, the mixer is the captured device's: its mutes and names must reach the
    // streams being heard and that device's settings, not a device that just became the default.
    if (m_running && m_session->isOpen() && uid != m_session->uid()) {
        return;
    }
    // An idle scan of another device would judge this one's channels with that one's audio.
    if (m_session->openedByScan() && uid != m_session->uid()) {
        abandonScan(QStringLiteral("the input changed."));
    }
    QList<ChannelConfig> channels = m_settings->load(device);
    m_session->setLevels(QList<float>(channels.size(), 0.0f));
    m_settings->setChannels(std::move(channels));
}

void DesktopTranscriber::setOn(int index, bool on)
{
    if (const std::optional<ChannelConfig> before = m_settings->setOn(index, on)) {
        followLiveness(index, before->isLive());
    }
}

void DesktopTranscriber::setFader(int index, double value)
{
    const std::optional<ChannelConfig> before = m_settings->setFader(index, value);
    if (!before) {
        return;
    }
    m_streams->setGain(index, ChannelConfig::gainFor(m_settings->channel(index)->fader));
    followLiveness(index, before->isLive());
}

void DesktopTranscriber::setHidden(int index, bool hidden)
{
    if (m_settings->setHidden(index, hidden)) {
        followRouting(index);
    }
}

void DesktopTranscriber::setAgent(int index, bool agent)
{
    m_settings->setAgent(index, agent);
}

void DesktopTranscriber::renameChannel(int index, const QString& name)
{
    const std::optional<QString> label = m_settings->rename(index, name);
    if (!label) {
        return;
    }
    m_streams->setLabel(index, *label);
    // After a stop there are no streams to rebuild from, and the stopped run's transcript stays.
    if (m_running) {
        rebuildTranscript();
    }
}

// --- headphone monitoring ---

void DesktopTranscriber::setMonitorChannel(std::optional<int> channel)
{
    const std::optional<int> old = m_session->monitorChannel();
    m_session->setMonitorChannel(channel);
    // The monitored channel is always transcribed by the service; the one left goes back.
    if (channel) {
        followRouting(*channel);
    }
    if (old && old != channel) {
        followRouting(*old);
    }
    if (!channel) {
        m_session->stopMonitor();
    } else if (m_session->isOpen()) {
        startMonitorPlayback();
    }
    m_session->path().setMonitorIndex(channel);
}

// --- transcript queries ---

void DesktopTranscriber::transcriptChanged()
{
    m_queries->invalidate();
    Q_EMIT fullTranscriptChanged();
    Q_EMIT segmentsChanged();
}

QString DesktopTranscriber::fullTranscript() const
{
    return m_queries->fullTranscript();
}

const QStringList& DesktopTranscriber::keywords() const
{
    return m_keywords->keywords();
}

void DesktopTranscriber::setKeywords(const QStringList& keywords)
{
    m_keywords->setKeywords(keywords);
}

void DesktopTranscriber::setOnKeyword(KeywordHandler handler)
{
    m_keywords->setHandler(std::move(handler));
}

const QSet<QString>& DesktopTranscriber::alertedLines() const
{
    return m_keywords->alertedLines();
}

std::optional<double> DesktopTranscriber::currentTranscriptTime() const
{
    // The demo has no streams: its newest line ends where the clock stood when it played.
    return m_demo->started() ? m_demo->newestLineEnd() : m_queries->newestWordEnd();
}

QString DesktopTranscriber::recentText(double seconds) const
{
    return m_queries->recentText(seconds, !m_settings->channels().isEmpty());
}

QString DesktopTranscriber::textInWindow(double t, double window) const
{
    return m_queries->textInWindow(t, window);
}
