#include "audio/DemoPlayer.h"

#include "audio/ChannelScan.h"
#include "audio/ChannelSettings.h"
#include "audio/DemoShoot.h"

#include <QRandomGenerator>

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

// A timer interval from a configured one: never negative, never past what a Qt timer takes.
std::chrono::milliseconds interval(qint64 ms)
{
    return std::chrono::milliseconds(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max()));
}

} // namespace

DemoPlayer::DemoPlayer(const ChannelSettings& settings, const ChannelScan& scan, Clock& clock, Pacing pacing,
                       std::function<double()> random)
    : m_settings(settings), m_scan(scan), m_clock(clock), m_pacing(pacing), m_random(std::move(random)),
      m_lineTimer(clock.makeTimer([this] { tick(); })), m_levelTimer(clock.makeTimer([this] { levelsTick(); }))
{
}

DemoPlayer::~DemoPlayer() = default;

std::optional<double> DemoPlayer::newestLineEnd() const
{
    std::optional<double> newest;
    for (const DisplaySegment& segment : m_lines) {
        if (!newest || segment.endSecs > *newest) {
            newest = segment.endSecs;
        }
    }
    return newest;
}

int DemoPlayer::begin(std::optional<int> channelCount)
{
    m_started = true;
    m_channelCount = DemoShoot::channelCount(channelCount);
    m_lines.clear();
    m_line = 0;
    m_speaking = DemoShoot::script().constFirst().channel;
    return m_channelCount;
}

void DemoPlayer::play(Date start)
{
    m_start = start;
    m_playing = true;
    m_lineTimer->start(interval(m_pacing.lineMs));
    m_levelTimer->start(interval(m_pacing.levelMs));
}

void DemoPlayer::stop()
{
    m_lineTimer->stop();
    m_levelTimer->stop();
    m_playing = false;
}

double DemoPlayer::random() const
{
    return m_random ? m_random() : QRandomGenerator::global()->generateDouble();
}

void DemoPlayer::tick()
{
    if (!m_playing) {
        return;
    }
    const DemoShoot::ScriptRow& row = DemoShoot::rowFor(m_line);
    ++m_line;
    m_speaking = row.channel;

    // A muted speaker's line is skipped; the script still moves on.
    const std::optional<ChannelConfig> speaker = m_settings.channel(row.channel);
    if (!speaker || !speaker->isLive()) {
        return;
    }
    const Date at = m_clock.now();
    const DisplaySegment segment = DemoShoot::line(row, m_line, *speaker, at.secondsSince(m_start), at);
    // Kept to be put back after a mixer change.
    m_lines.append(segment);
    if (onLine) {
        onLine(segment);
    }
}

void DemoPlayer::levelsTick()
{
    if (!m_playing) {
        return;
    }
    const QList<ChannelConfig>& channels = m_settings.channels();
    QList<float> levels;
    levels.reserve(channels.size());
    for (const ChannelConfig& config : channels) {
        levels.append(DemoShoot::level(config, m_speaking, m_scan.scanning(), random()));
    }
    if (onLevels) {
        onLevels(levels);
    }
}

QMap<int, ScanKind> DemoPlayer::verdicts(const QList<int>& indices)
{
    QMap<int, ScanKind> out;
    for (const int index : indices) {
        out.insert(index, DemoShoot::verdict(index));
    }
    return out;
}
