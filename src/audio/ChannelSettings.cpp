#include "audio/ChannelSettings.h"

#include "platform/Defaults.h"

#include <algorithm>
#include <cmath>

ChannelSettings::ChannelSettings(Defaults& defaults, QObject* parent) : QObject(parent), m_defaults(defaults)
{
}

std::optional<QString> ChannelSettings::deviceUid() const
{
    return m_device ? std::optional<QString>(m_device->uid) : std::nullopt;
}

qsizetype ChannelSettings::positionOf(int index) const
{
    const auto found = std::find_if(m_channels.cbegin(), m_channels.cend(),
                                    [index](const ChannelConfig& c) { return c.index == index; });
    return found == m_channels.cend() ? -1 : found - m_channels.cbegin();
}

std::optional<ChannelConfig> ChannelSettings::channel(int index) const
{
    const qsizetype position = positionOf(index);
    return position < 0 ? std::nullopt : std::optional<ChannelConfig>(m_channels.at(position));
}

QList<int> ChannelSettings::indices() const
{
    QList<int> out;
    out.reserve(m_channels.size());
    for (const ChannelConfig& config : m_channels) {
        out.append(config.index);
    }
    return out;
}

int ChannelSettings::liveCount() const
{
    if (m_channels.isEmpty()) {
        return 1;
    }
    return int(
        std::count_if(m_channels.cbegin(), m_channels.cend(), [](const ChannelConfig& c) { return c.isLive(); }));
}

QList<ChannelConfig> ChannelSettings::load(const std::optional<AudioInputDevice>& device)
{
    m_device = device;
    if (!device || device->channelCount < kMinChannels) {
        return {};
    }
    const QList<ChannelConfig> stored =
        ChannelConfig::decodeList(m_defaults.value(storageKey(device->uid))).value_or(QList<ChannelConfig>{});
    m_fresh = stored.isEmpty();
    return ChannelConfig::makeConfigs(stored, device->channelCount, &*device);
}

void ChannelSettings::setChannels(QList<ChannelConfig> channels)
{
    if (m_channels == channels) {
        return;
    }
    m_channels = std::move(channels);
    Q_EMIT channelsChanged();
}

void ChannelSettings::showPretend(QList<ChannelConfig> channels)
{
    m_pretend = true;
    m_fresh = false;
    setChannels(std::move(channels));
}

void ChannelSettings::save()
{
    // Pretend settings (and any edit made on a mixer that was once pretend) never reach a real
    // device's stored ones.
    if (m_pretend || !m_device) {
        return;
    }
    // Written as text, so that the stored settings keep their documented key order.
    m_defaults.setJson(storageKey(m_device->uid), ChannelConfig::encodeListJson(m_channels));
}

template <typename Change> ChannelConfig ChannelSettings::change(qsizetype position, Change&& edit)
{
    const ChannelConfig before = m_channels.at(position);
    QList<ChannelConfig> changed = m_channels;
    edit(changed[position]);
    setChannels(std::move(changed));
    return before;
}

std::optional<ChannelConfig> ChannelSettings::setOn(int index, bool on)
{
    const qsizetype position = positionOf(index);
    if (position < 0 || m_channels.at(position).on == on) {
        return std::nullopt;
    }
    const ChannelConfig before = change(position, [on](ChannelConfig& config) {
        config.on = on;
        // Unmuting a channel whose fader is all the way down would still leave it silent.
        if (on && config.fader <= ChannelConfig::kOffFader) {
            config.fader = ChannelConfig::kUnityFader;
        }
    });
    m_fresh = false;
    save();
    return before;
}

std::optional<ChannelConfig> ChannelSettings::setFader(int index, double value)
{
    const qsizetype position = positionOf(index);
    if (position < 0) {
        return std::nullopt;
    }
    // NaN would pass through std::clamp.
    const double fader = std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0);
    const ChannelConfig before = change(position, [fader](ChannelConfig& config) { config.fader = fader; });
    m_fresh = false;
    save();
    return before;
}

std::optional<ChannelConfig> ChannelSettings::setHidden(int index, bool hidden)
{
    const qsizetype position = positionOf(index);
    if (position < 0 || m_channels.at(position).hidden == hidden) {
        return std::nullopt;
    }
    const ChannelConfig before = change(position, [hidden](ChannelConfig& config) { config.hidden = hidden; });
    save();
    return before;
}

std::optional<ChannelConfig> ChannelSettings::setAgent(int index, bool agent)
{
    const qsizetype position = positionOf(index);
    if (position < 0) {
        return std::nullopt;
    }
    const ChannelConfig before = change(position, [agent](ChannelConfig& config) { config.agent = agent; });
    save();
    return before;
}

std::optional<QString> ChannelSettings::rename(int index, const QString& name)
{
    const qsizetype position = positionOf(index);
    if (position < 0) {
        return std::nullopt;
    }
    QString label = name.trimmed();
    if (label.isEmpty()) {
        label = ChannelConfig::defaultName(index, m_device ? &*m_device : nullptr);
    }
    change(position, [&label](ChannelConfig& config) { config.name = label; });
    save();
    return label;
}

QList<ChannelConfig> ChannelSettings::silentChannels(const QList<float>& peaks, float threshold) const
{
    QList<ChannelConfig> silent;
    for (const ChannelConfig& config : m_channels) {
        // A channel the device does not deliver was not heard at all: nothing to judge.
        if (config.index < 0 || config.index >= peaks.size()) {
            continue;
        }
        if (config.on && peaks.at(config.index) < threshold) {
            silent.append(config);
        }
    }
    return silent;
}
