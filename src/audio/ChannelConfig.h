#pragma once

#include "platform/AudioDevices.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <optional>

// The mixer settings of one input channel of a device, kept per device in the user defaults.
// The engine, the header's live count and every mixer view decide "live" and the gain here.
struct ChannelConfig {
    // The fader spans -40 dB to +6 dB; this position is 0 dB.
    static constexpr double kUnityFader = 40.0 / 46.0;
    // A fader at or below this counts as off.
    static constexpr double kOffFader = 0.005;

    // Zero-based input channel of the device.
    int index = 0;
    // The channel's label; the speaker of its transcript lines.
    QString name;
    // Not muted.
    bool on = true;
    // 0...1.
    double fader = kUnityFader;
    // Watch-only: transcribed, but its lines are left out of the transcript pane.
    bool hidden = false;
    // The channel agent watches this channel.
    bool agent = true;

    // On, with the fader above kOffFader.
    [[nodiscard]] bool isLive() const { return on && fader > kOffFader; }
    // The linear gain of the fader alone (the mute does not enter): 10^((fader·46 − 40) / 20),
    // 0 at or below kOffFader.
    [[nodiscard]] float gain() const { return gainFor(fader); }
    [[nodiscard]] static float gainFor(double fader);
    // "Off", "0 dB", or the fader's whole dB with a sign ("+6 dB", "-12 dB").
    [[nodiscard]] QString gainLabel() const;

    // {"index","name","on","fader","hidden","agent"}. A QJsonObject writes its keys sorted: the
    // stored form is encodeListJson.
    [[nodiscard]] QJsonObject toJson() const;
    // All six keys are required; a fader outside 0...1 is brought inside it.
    [[nodiscard]] static std::optional<ChannelConfig> fromJson(const QJsonValue& value);
    [[nodiscard]] static QJsonArray encodeList(const QList<ChannelConfig>& configs);
    // The stored form: the JSON array (compact UTF-8) with each object's keys in the order above.
    [[nodiscard]] static QByteArray encodeListJson(const QList<ChannelConfig>& configs);
    // The stored list; nullopt when it is not an array or any element fails to decode.
    [[nodiscard]] static std::optional<QList<ChannelConfig>> decodeList(const QJsonValue& value);

    // The name a channel gets before the user names it: the device's own name for the input
    // unless that is empty or a bare number, else "Ch " + index + 1.
    [[nodiscard]] static QString defaultName(int index, const AudioInputDevice* device);
    // One config per input channel 0...count-1: the first stored config of that index, else
    // fresh defaults. Stored configs beyond the count are left out.
    [[nodiscard]] static QList<ChannelConfig> makeConfigs(const QList<ChannelConfig>& stored, int count,
                                                          const AudioInputDevice* device);

    friend bool operator==(const ChannelConfig&, const ChannelConfig&) = default;
};
