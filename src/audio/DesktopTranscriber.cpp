#include "audio/DesktopTranscriber.h"

#include "audio/CapturePath.h"
#include "audio/OnDeviceEngine.h"
#include "audio/SoundEventDetector.h"
#include "platform/AudioCapture.h"
#include "platform/Defaults.h"

#include <QPointer>
#include <QSet>

#include <algorithm>
#include <cmath>

DesktopTranscriber::DesktopTranscriber(Environment environment, QObject* parent)
    : QObject(parent), m_env(std::move(environment)), m_clock(Clock::orSystem(m_env.clock)),
      m_defaults(m_env.defaults != nullptr ? *m_env.defaults : Defaults::shared()), m_status(QStringLiteral("Off"))
{
    m_deviceSource = m_env.devices != nullptr ? m_env.devices : new AudioDevices(this);
    if (!m_env.onDeviceAvailable) {
        m_env.onDeviceAvailable = OnDeviceModel::isAvailable();
    }
    m_engineStart = now();
    m_book.clear(m_engineStart);

    // Level publications arrive queued on the main thread; the path (and with it any queued
    // call) goes away with the engine.
    m_soundDetector = std::make_shared<SoundEventDetector>(nullptr, &m_clock);
    m_path = std::make_unique<CapturePath>(
        [this](const QList<float>& levels) {
            if (m_capture) {
                setLevels(levels);
            }
        },
        &m_clock);

    connect(&m_book, &TranscriptBook::contentChanged, this, &DesktopTranscriber::transcriptChanged);
    m_demoLineTimer = m_clock.makeTimer([this] { demoTick(); });
    m_demoLevelTimer = m_clock.makeTimer([this] { demoLevelsTick(); });

    m_deviceUID = m_defaults.string(kInputDeviceKey);
    refreshDevices();
    connect(m_deviceSource, &AudioDevices::devicesChanged, this, &DesktopTranscriber::handleDeviceListChange);
    // A multi-channel interface plugged in while idle is scanned right away.
    connect(this, &DesktopTranscriber::channelScanRequested, this, &DesktopTranscriber::scanChannels);
}

DesktopTranscriber::~DesktopTranscriber()
{
    // The owner normally stopped the run; make sure no capture thread or stream outlives us.
    if (m_capture) {
        m_capture->stop();
        m_capture.reset();
    }
    const CapturePath::StreamMap open = m_path->takeAllStreams();
    for (const auto& stream : open) {
        stream->stop();
    }
}

Date DesktopTranscriber::now() const
{
    return m_clock.now();
}

void DesktopTranscriber::setStatus(const QString& status)
{
    if (m_status == status) {
        return;
    }
    m_status = status;
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

void DesktopTranscriber::setLevels(const QList<float>& levels)
{
    if (m_levels == levels) {
        return;
    }
    m_levels = levels;
    Q_EMIT levelsChanged();
}

void DesktopTranscriber::setChannels(QList<ChannelConfig> channels)
{
    if (m_channels == channels) {
        return;
    }
    m_channels = std::move(channels);
    Q_EMIT channelsChanged();
}

void DesktopTranscriber::setNotice(const std::optional<QString>& notice)
{
    if (m_notice == notice) {
        return;
    }
    m_notice = notice;
    Q_EMIT noticeChanged();
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
    if (m_capture && m_captureUid) {
        const QList<AudioInputDevice> listed = m_deviceSource->list();
        const bool stillThere = std::any_of(listed.cbegin(), listed.cend(),
                                            [this](const auto& device) { return device.uid == *m_captureUid; });
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
    if (!m_isDemo) {
        abandonScan(QStringLiteral("the input changed."));
    }
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
    if (m_channels.isEmpty()) {
        return 1;
    }
    return int(
        std::count_if(m_channels.cbegin(), m_channels.cend(), [](const ChannelConfig& c) { return c.isLive(); }));
}

// --- channel settings ---

void DesktopTranscriber::loadChannels()
{
    // The pretend mixer stays while the demo plays; a device change shows after its stop.
    if (m_demoPlaying) {
        return;
    }
    const std::optional<AudioInputDevice> device = currentDevice();
    const std::optional<QString> uid = device ? std::optional<QString>(device->uid) : std::nullopt;
    // While logging, the mixer is the captured device's: its mutes and names must reach the
    // streams being heard and that device's settings, not a device that just became the default.
    if (m_running && m_capture && uid != m_captureUid) {
        return;
    }
    // An idle scan of another device would judge this one's channels with that one's audio.
    if (m_scanOwnsCapture && m_capture && uid != m_captureUid) {
        abandonScan(QStringLiteral("the input changed."));
    }
    m_channelsDevice = device;
    if (!device || device->channelCount < 3) {
        setLevels({});
        setChannels({});
        return;
    }
    const QList<ChannelConfig> stored =
        ChannelConfig::decodeList(m_defaults.value(channelsKey(device->uid))).value_or(QList<ChannelConfig>{});
    m_freshConfig = stored.isEmpty();
    setLevels(QList<float>(device->channelCount, 0.0f));
    setChannels(ChannelConfig::makeConfigs(stored, device->channelCount, &*device));
}

void DesktopTranscriber::saveChannels()
{
    // The demo's mixer (and any scan verdict or edit made on an engine that played it) is
    // pretend: the real device's stored settings are never touched.
    if (m_isDemo || !m_channelsDevice) {
        return;
    }
    // Written as text, so that the stored settings keep their documented key order.
    m_defaults.setJson(channelsKey(m_channelsDevice->uid), ChannelConfig::encodeListJson(m_channels));
}

qsizetype DesktopTranscriber::positionOf(int index) const
{
    const auto found = std::find_if(m_channels.cbegin(), m_channels.cend(),
                                    [index](const ChannelConfig& c) { return c.index == index; });
    return found == m_channels.cend() ? -1 : found - m_channels.cbegin();
}

void DesktopTranscriber::changeChannel(int index, const std::function<void(ChannelConfig&)>& change)
{
    const qsizetype position = positionOf(index);
    if (position < 0) {
        return;
    }
    QList<ChannelConfig> changed = m_channels;
    change(changed[position]);
    setChannels(std::move(changed));
}

void DesktopTranscriber::setOn(int index, bool on)
{
    const qsizetype position = positionOf(index);
    if (position < 0 || m_channels.at(position).on == on) {
        return;
    }
    const bool wasLive = m_channels.at(position).isLive();
    changeChannel(index, [on](ChannelConfig& config) {
        config.on = on;
        // Unmuting a channel whose fader is all the way down would still leave it silent.
        if (on && config.fader <= ChannelConfig::kOffFader) {
            config.fader = ChannelConfig::kUnityFader;
        }
    });
    m_freshConfig = false;
    saveChannels();
    syncChannelStream(position, wasLive);
}

void DesktopTranscriber::setFader(int index, double value)
{
    const qsizetype position = positionOf(index);
    if (position < 0) {
        return;
    }
    const bool wasLive = m_channels.at(position).isLive();
    // NaN would pass through std::clamp; it counts as all the way down.
    const double fader = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
    changeChannel(index, [fader](ChannelConfig& config) { config.fader = fader; });
    m_freshConfig = false;
    saveChannels();
    if (const auto open = m_path->stream(index)) {
        open->setGain(ChannelConfig::gainFor(fader));
    }
    syncChannelStream(position, wasLive);
}

void DesktopTranscriber::setHidden(int index, bool hidden)
{
    const qsizetype position = positionOf(index);
    if (position < 0 || m_channels.at(position).hidden == hidden) {
        return;
    }
    changeChannel(index, [hidden](ChannelConfig& config) { config.hidden = hidden; });
    saveChannels();
    rerouteChannel(index);
}

void DesktopTranscriber::setAgent(int index, bool agent)
{
    if (positionOf(index) < 0) {
        return;
    }
    changeChannel(index, [agent](ChannelConfig& config) { config.agent = agent; });
    saveChannels();
}

void DesktopTranscriber::renameChannel(int index, const QString& name)
{
    if (positionOf(index) < 0) {
        return;
    }
    QString label = name.trimmed();
    if (label.isEmpty()) {
        label = ChannelConfig::defaultName(index, m_channelsDevice ? &*m_channelsDevice : nullptr);
    }
    changeChannel(index, [&label](ChannelConfig& config) { config.name = label; });
    saveChannels();
    if (const auto open = m_path->stream(index)) {
        open->label = label;
    }
    // After a stop there are no streams to rebuild from, and the stopped run's transcript stays.
    if (m_running) {
        rebuildTranscript();
    }
}
