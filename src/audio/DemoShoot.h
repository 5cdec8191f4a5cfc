#pragma once

#include "audio/ChannelConfig.h"
#include "audio/ScanKind.h"
#include "model/DisplaySegment.h"
#include "platform/Date.h"

#include <QList>
#include <QString>

#include <optional>

// The scripted pretend shoot that shows the system without microphones or the service: a
// four-voice documentary conversation on a mixer of pretend channels, their meters and the
// verdicts of a pretend channel scan. Pure data and arithmetic; the engine plays it on its timers.
namespace DemoShoot {

inline constexpr int kDefaultChannels = 6;
inline constexpr int kMinChannels = 6;
inline constexpr int kMaxChannels = 32;

// How often a script line is played and the meters move.
inline constexpr int kLineIntervalMs = 3200;
inline constexpr int kLevelIntervalMs = 80;
// The pretend scan dwells this long on each channel, then settles before it judges.
inline constexpr int kScanStepMs = 900;
inline constexpr int kScanSettleMs = 400;

// Seconds each scripted word takes, and how long it sounds within that.
inline constexpr double kWordSeconds = 0.32;
inline constexpr double kWordSounds = 0.3;

inline const QString kNotice = QStringLiteral("Demo: a pretend four-mic shoot. Nothing is recorded or sent.");

struct ScriptRow {
    int channel = 0;
    QString text;
};

// The conversation, played in order and then from the top again.
[[nodiscard]] const QList<ScriptRow>& script();
// The row played as line number `line` (0 is the first line of a demo).
[[nodiscard]] const ScriptRow& rowFor(qint64 line);

// The mixer's size for a requested count: the default when none is given, else clamped to
// kMinChannels...kMaxChannels.
[[nodiscard]] int channelCount(std::optional<int> requested);
// The same for a count typed or passed on a command line: one that is not a whole number (or
// not a number) counts as none.
[[nodiscard]] int channelCount(std::optional<double> requested);

// The pretend channel's name; "Ch <index + 1>" outside the table.
[[nodiscard]] QString channelName(int index);
// The pretend mixer: all on and watched by the agent, the boom pulled down a little, the
// kitchen watch-only.
[[nodiscard]] QList<ChannelConfig> channels(int count);

// What the pretend scan finds on a channel.
[[nodiscard]] ScanKind verdict(int index);

// Script row `row` said by `config`, played as line `lineNumber` (counted from 1) `t` seconds
// after the engine's start at `now`: its words end at `t` and reach back as far as they take,
// but never before 0.1 s after the start (a line at the very start gets 0.1 s).
[[nodiscard]] DisplaySegment line(const ScriptRow& row, qint64 lineNumber, const ChannelConfig& config, double t,
                                  Date now);

// The meter of `config` at one level tick. `speaking` is the channel of the current line,
// `scanning` whether a scan runs, and `random` a uniform value in [0, 1).
[[nodiscard]] float level(const ChannelConfig& config, int speaking, bool scanning, double random);

} // namespace DemoShoot
