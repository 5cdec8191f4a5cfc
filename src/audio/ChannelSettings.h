#pragma once

#include "audio/ChannelConfig.h"
#include "platform/AudioDevices.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class Defaults;

// The mixer's channel settings: one ChannelConfig per input of the device they were loaded for,
// kept in the user defaults per device uid and written back at every edit. It owns the list,
// the device it belongs to, and whether the list was just made because none was stored. The
// demo's pretend mixer lives here too, in memory only: once the demo played, nothing is stored.
//
// An edit reports the channel as it was, so the engine can tell what the edit did to its stream.
// Main thread only.
class ChannelSettings final : public QObject {
    Q_OBJECT

public:
    // User defaults: per device uid, the JSON array of its channel settings.
    static inline const QString kKeyPrefix = QStringLiteral("pindle_log_channels_");
    [[nodiscard]] static QString storageKey(const QString& uid) { return kKeyPrefix + uid; }
    // Devices with fewer inputs are a single microphone: no channel settings.
    static constexpr int kMinChannels = 3;

    explicit ChannelSettings(Defaults& defaults, QObject* parent = nullptr);

    [[nodiscard]] const QList<ChannelConfig>& channels() const { return m_channels; }
    // The device `channels` were loaded for; nullopt before the first load or when none is present.
    [[nodiscard]] const std::optional<AudioInputDevice>& device() const { return m_device; }
    [[nodiscard]] std::optional<QString> deviceUid() const;
    [[nodiscard]] std::optional<ChannelConfig> channel(int index) const;
    [[nodiscard]] QList<int> indices() const;
    // 1 for a single microphone, else the number of live channels.
    [[nodiscard]] int liveCount() const;

    // The settings were made because the device had none stored: the first run judges silent
    // channels itself, until the logger (or a judgement) touches the mixer.
    [[nodiscard]] bool isFresh() const { return m_fresh; }
    void settle() { m_fresh = false; }

    // Makes `device` the one edits are stored for and gives its stored settings completed to one
    // per input (none for a single microphone). Not published: see setChannels.
    [[nodiscard]] QList<ChannelConfig> load(const std::optional<AudioInputDevice>& device);
    void setChannels(QList<ChannelConfig> channels);
    // The demo's mixer: published, and from now on no edit reaches the defaults.
    void showPretend(QList<ChannelConfig> channels);

    // Each edit does nothing (nullopt) for an unknown index; setOn and setHidden also when the
    // value is already so. The others report even an edit that changed nothing, as the mixer's
    // controls expect their stream to follow. A change is stored at once.
    std::optional<ChannelConfig> setOn(int index, bool on);
    // NaN counts as all the way down; the value is clamped to 0...1.
    std::optional<ChannelConfig> setFader(int index, double value);
    std::optional<ChannelConfig> setHidden(int index, bool hidden);
    std::optional<ChannelConfig> setAgent(int index, bool agent);
    // Gives the name the channel got: the trimmed name, or its default when that is blank.
    std::optional<QString> rename(int index, const QString& name);

    // The channels that are on, delivered (an index within `peaks`) and peaked below `threshold`.
    [[nodiscard]] QList<ChannelConfig> silentChannels(const QList<float>& peaks, float threshold) const;

Q_SIGNALS:
    void channelsChanged();

private:
    [[nodiscard]] qsizetype positionOf(int index) const;
    // Changes the channel at `position` and publishes the list; gives the channel as it was.
    template <typename Change> ChannelConfig change(qsizetype position, Change&& edit);
    void save();

    Defaults& m_defaults;
    QList<ChannelConfig> m_channels;
    std::optional<AudioInputDevice> m_device;
    bool m_fresh = false;
    // The demo played: the list is pretend, and so is any edit made since.
    bool m_pretend = false;
};
