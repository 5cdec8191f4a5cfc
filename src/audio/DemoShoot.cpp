#include "audio/DemoShoot.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>

namespace DemoShoot {

namespace {

// By channel index; a mixer of 32 takes them all.
const std::array<const char*, kMaxChannels> kNames = {
    "Presenter", "Guest",    "Kitchen", "Boom", "Ch 5",    "Ch 6",  "Hall", "Car",  "Yard", "Office", "Stairs",
    "Garden",    "Lounge",   "Porch",   "Shed", "Harbour", "Pier",  "Van",  "Cafe", "Shop", "Gate",   "Deck",
    "Cabin",     "Net loft", "Slipway", "Bar",  "Road",    "Field", "Barn", "Kiln", "Mill", "Bridge",
};

constexpr int kBoom = 3;
constexpr int kKitchen = 2;
constexpr int kTimecodeChannel = 4;
constexpr int kDeadChannel = 5;
constexpr double kBoomFader = 0.6;

} // namespace

const QList<ScriptRow>& script()
{
    static const QList<ScriptRow> rows = {
        {0, QStringLiteral("So when did you first realise something was wrong with the boat?")},
        {1, QStringLiteral("Honestly, not until the second winter. We'd stopped going out by then.")},
        {0, QStringLiteral("What changed?")},
        {1, QStringLiteral("The price of diesel, then the quota. Then my brother sold his share.")},
        {2, QStringLiteral("If you sell that boat I am never speaking to you again, I mean it.")},
        {3, QStringLiteral("Can we go again from the top of that, there was a plane.")},
        {1, QStringLiteral("My dad fixed nets on this exact step. You can still see where the rope wore the stone.")},
        {2, QStringLiteral("She keeps saying it's just a boat. It's not just a boat, it's all of us.")},
        {0, QStringLiteral("Do you think you'll be the last one to fish from here?")},
        {1, QStringLiteral("Probably. Nobody's coming after me. The kids have all gone to the city.")},
        {2, QStringLiteral("Mum's crying in the car. I told her we'd sort it out tonight.")},
        {3, QStringLiteral("Rolling. Speed. Mark it.")},
        {0, QStringLiteral("If you could keep one thing from all of this, what would it be?")},
        {1, QStringLiteral("The mornings. Four o'clock, flat water, nobody else awake. You can't buy that.")},
        {2, QStringLiteral("Dad's just walked in, he's got the papers from the buyer.")},
        {1, QStringLiteral("That's the bit nobody films. The waiting. Days of it.")},
    };
    return rows;
}

const ScriptRow& rowFor(qint64 line)
{
    const QList<ScriptRow>& rows = script();
    // Lines count up from 0; a negative one would be a caller's slip, kept inside the script.
    qint64 row = line % rows.size();
    if (row < 0) {
        row += rows.size();
    }
    return rows.at(row);
}

int channelCount(std::optional<int> requested)
{
    return requested ? std::clamp(*requested, kMinChannels, kMaxChannels) : kDefaultChannels;
}

int channelCount(std::optional<double> requested)
{
    if (!requested || !std::isfinite(*requested) || std::trunc(*requested) != *requested) {
        return kDefaultChannels;
    }
    // Clamped as a double first: the value may be far outside any int.
    return int(std::clamp(*requested, double(kMinChannels), double(kMaxChannels)));
}

QString channelName(int index)
{
    if (index >= 0 && index < kMaxChannels) {
        return QString::fromLatin1(kNames[size_t(index)]);
    }
    return QStringLiteral("Ch %1").arg(qint64(index) + 1);
}

QList<ChannelConfig> channels(int count)
{
    QList<ChannelConfig> configs;
    configs.reserve(std::max(count, 0));
    for (int index = 0; index < count; ++index) {
        ChannelConfig config;
        config.index = index;
        config.name = channelName(index);
        config.on = true;
        config.fader = index == kBoom ? kBoomFader : ChannelConfig::kUnityFader;
        config.hidden = index == kKitchen;
        config.agent = true;
        configs.append(config);
    }
    return configs;
}

ScanKind verdict(int index)
{
    switch (index) {
    case 0:
    case 1:
    case 2:
        return ScanKind::speech();
    case 3:
        return ScanKind::quiet();
    case kTimecodeChannel:
        return ScanKind::timecode();
    case kDeadChannel:
        return ScanKind::silent();
    default:
        return index % 3 == 0 ? ScanKind::silent() : ScanKind::quiet();
    }
}

DisplaySegment line(const ScriptRow& row, qint64 lineNumber, const ChannelConfig& config, double t, Date now)
{
    const QStringList words = row.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const double duration = double(words.size()) * kWordSeconds;
    const double span = std::min(duration, std::max(0.1, t - 0.1));
    const double start = t - span;

    DisplaySegment segment;
    segment.id = QStringLiteral("%1-D%2").arg(row.channel).arg(lineNumber);
    segment.speaker = config.name;
    segment.text = row.text;
    segment.startSecs = start;
    segment.endSecs = t;
    segment.firstSeen = now;
    segment.channel = row.channel;
    segment.onDevice = config.hidden;
    segment.words.reserve(words.size());
    for (qsizetype i = 0; i < words.size(); ++i) {
        const double from = start + double(i) * kWordSeconds;
        segment.words.append(Word{words.at(i), from, from + kWordSounds});
    }
    return segment;
}

float level(const ChannelConfig& config, int speaking, bool scanning, double random)
{
    const double r = std::isfinite(random) ? std::clamp(random, 0.0, 1.0) : 0.0;
    if ((!config.on && !scanning) || config.index == kDeadChannel) {
        return 0.0f;
    }
    if (config.index == kTimecodeChannel) {
        // A steady buzz.
        return float(0.78 + (-0.01 + 0.02 * r));
    }
    const double base = config.index == speaking ? 0.62 : 0.18;
    const double value = std::max(0.0, base + (-0.12 + 0.28 * r));
    return float(std::min(1.0, value * config.fader / ChannelConfig::kUnityFader));
}

} // namespace DemoShoot
