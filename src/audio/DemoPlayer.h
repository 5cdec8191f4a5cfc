#pragma once

#include "audio/ScanKind.h"
#include "model/DisplaySegment.h"
#include "platform/Clock.h"
#include "platform/Date.h"

#include <QList>
#include <QMap>

#include <functional>
#include <memory>
#include <optional>

class ChannelScan;
class ChannelSettings;

// The demo shoot's player: the scripted conversation one line every few seconds and the
// meters' wobble, on the engine's clock, over the pretend mixer. It owns where the script is,
// who speaks, the lines it played and its timers; the engine publishes what it plays. Nothing is
// captured, sent or saved. Main thread only.
class DemoPlayer {
public:
    struct Pacing {
        int lineMs = 3200;
        int levelMs = 80;
    };

    // Lines skip channels that `settings` has muted; meters rise while `scan` runs. `random`
    // (uniform in [0, 1)) is the meters' wobble; QRandomGenerator::global() when empty.
    DemoPlayer(const ChannelSettings& settings, const ChannelScan& scan, Clock& clock, Pacing pacing,
               std::function<double()> random = {});
    ~DemoPlayer();
    DemoPlayer(const DemoPlayer&) = delete;
    DemoPlayer& operator=(const DemoPlayer&) = delete;

    // A demo was started (never cleared): the engine stays a demo.
    [[nodiscard]] bool started() const { return m_started; }
    // Its timers tick.
    [[nodiscard]] bool playing() const { return m_playing; }
    [[nodiscard]] int channelCount() const { return m_channelCount; }
    // Script lines of the current (or last) demo, skipped ones included.
    [[nodiscard]] qint64 linesPlayed() const { return m_line; }
    // The lines played, in the order played.
    [[nodiscard]] const QList<DisplaySegment>& lines() const { return m_lines; }
    // Where the newest line played ends, in seconds since the demo's start.
    [[nodiscard]] std::optional<double> newestLineEnd() const;

    // Rewinds to the script's start for a demo of `channelCount` channels (clamped as
    // DemoShoot does); gives the count.
    int begin(std::optional<int> channelCount);
    // Plays from `start`, time 0 of its lines: a line every `lineMs`, the meters every `levelMs`.
    void play(Date start);
    void stop();

    // The next line of the script (skipped when its speaker is muted or gone).
    void tick();
    // The meters for the channels as they are now.
    void levelsTick();

    // A line was played.
    std::function<void(const DisplaySegment& line)> onLine;
    // The meters moved.
    std::function<void(const QList<float>& levels)> onLevels;

    // The pretend scan's verdicts for `indices`.
    [[nodiscard]] static QMap<int, ScanKind> verdicts(const QList<int>& indices);

private:
    [[nodiscard]] double random() const;

    const ChannelSettings& m_settings;
    const ChannelScan& m_scan;
    Clock& m_clock;
    Pacing m_pacing;
    std::function<double()> m_random;
    std::unique_ptr<Clock::Timer> m_lineTimer;
    std::unique_ptr<Clock::Timer> m_levelTimer;

    bool m_started = false;
    bool m_playing = false;
    int m_channelCount = 0;
    Date m_start;
    QList<DisplaySegment> m_lines;
    qint64 m_line = 0;
    int m_speaking = 0;
};
