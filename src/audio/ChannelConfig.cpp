#include "audio/ChannelConfig.h"

#include "platform/JsonRead.h"
#include "platform/JsonWriter.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

float ChannelConfig::gainFor(double fader)
{
    // NaN fails the comparison and counts as off too.
    if (!(fader > kOffFader)) {
        return 0.0f;
    }
    const double clamped = std::min(fader, 1.0);
    return static_cast<float>(std::pow(10.0, (clamped * 46.0 - 40.0) / 20.0));
}

QString ChannelConfig::gainLabel() const
{
    if (!isLive()) {
        return QStringLiteral("Off");
    }
    const double db = std::round(std::min(fader, 1.0) * 46.0 - 40.0);
    if (db == 0.0) {
        return QStringLiteral("0 dB");
    }
    return QString::asprintf("%+.0f dB", db);
}

QJsonObject ChannelConfig::toJson() const
{
    return {{QStringLiteral("index"), index}, {QStringLiteral("name"), name},     {QStringLiteral("on"), on},
            {QStringLiteral("fader"), fader}, {QStringLiteral("hidden"), hidden}, {QStringLiteral("agent"), agent}};
}

std::optional<ChannelConfig> ChannelConfig::fromJson(const QJsonValue& value)
{
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = value.toObject();
    ChannelConfig config;
    if (!JsonRead::required(object, QLatin1StringView("index"), config.index) ||
        !JsonRead::required(object, QLatin1StringView("name"), config.name) ||
        !JsonRead::required(object, QLatin1StringView("on"), config.on) ||
        !JsonRead::required(object, QLatin1StringView("fader"), config.fader) ||
        !JsonRead::required(object, QLatin1StringView("hidden"), config.hidden) ||
        !JsonRead::required(object, QLatin1StringView("agent"), config.agent)) {
        return std::nullopt;
    }
    // A stored gain above the fader's top would reach the streams as a huge multiplier.
    config.fader = std::clamp(config.fader, 0.0, 1.0);
    return config;
}

QJsonArray ChannelConfig::encodeList(const QList<ChannelConfig>& configs)
{
    QJsonArray array;
    for (const ChannelConfig& config : configs) {
        array.append(config.toJson());
    }
    return array;
}

QByteArray ChannelConfig::encodeListJson(const QList<ChannelConfig>& configs)
{
    QByteArray out;
    JsonWriter json(out);
    json.beginArray();
    for (const ChannelConfig& config : configs) {
        json.beginObject();
        json.field("index", config.index);
        json.field("name", config.name);
        json.field("on", config.on);
        json.field("fader", config.fader);
        json.field("hidden", config.hidden);
        json.field("agent", config.agent);
        json.endObject();
    }
    json.endArray();
    return out;
}

std::optional<QList<ChannelConfig>> ChannelConfig::decodeList(const QJsonValue& value)
{
    QList<ChannelConfig> configs;
    if (!JsonRead::readList(value, configs, &ChannelConfig::fromJson)) {
        return std::nullopt;
    }
    return configs;
}

QString ChannelConfig::defaultName(int index, const AudioInputDevice* device)
{
    if (device != nullptr && index >= 0 && index < device->channelNames.size()) {
        const QString& name = device->channelNames.at(index);
        // Interfaces that number their inputs ("1", "2") read better as Ch 1, Ch 2.
        static const QRegularExpression bareNumber(QStringLiteral("\\A[+-]?[0-9]+\\z"));
        bool wholeNumber = false;
        if (bareNumber.match(name).hasMatch()) {
            // Too long for an integer reads as a name, as it would on the Mac.
            (void)name.toLongLong(&wholeNumber);
        }
        if (!name.isEmpty() && !wholeNumber) {
            return name;
        }
    }
    return QStringLiteral("Ch %1").arg(qint64(index) + 1);
}

QList<ChannelConfig> ChannelConfig::makeConfigs(const QList<ChannelConfig>& stored, int count,
                                                const AudioInputDevice* device)
{
    QList<ChannelConfig> configs;
    configs.reserve(std::max(count, 0));
    for (int index = 0; index < count; ++index) {
        const auto found =
            std::find_if(stored.cbegin(), stored.cend(), [index](const ChannelConfig& c) { return c.index == index; });
        if (found != stored.cend()) {
            configs.append(*found);
            continue;
        }
        ChannelConfig fresh;
        fresh.index = index;
        fresh.name = defaultName(index, device);
        configs.append(fresh);
    }
    return configs;
}
