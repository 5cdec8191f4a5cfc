// A fader drag stores its device's channel list on every move: a thousand moves a second. The
// main thread's share of a move must stay a few microseconds, and the settings file must be
// written a few times a second, not a thousand.

#include "platform/Defaults.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

constexpr int movesPerDrag = 1000;
constexpr int channelCount = 8;

// One device's channels as the mixer stores them, channel 0's fader at `fader`.
QJsonArray channels(double fader)
{
    QJsonArray list;
    for (int i = 0; i < channelCount; ++i) {
        list.append(QJsonObject{{QStringLiteral("index"), i},
                                {QStringLiteral("name"), QStringLiteral("Channel %1").arg(i + 1)},
                                {QStringLiteral("on"), i < 4},
                                {QStringLiteral("fader"), i == 0 ? fader : 0.87},
                                {QStringLiteral("hidden"), false},
                                {QStringLiteral("agent"), i == 1}});
    }
    return list;
}

// The rest of a settings file of an app in use: fourteen buttons, tags, keywords, two devices.
void seed(Defaults& defaults)
{
    QJsonArray buttons;
    for (int i = 0; i < 14; ++i) {
        buttons.append(QJsonObject{{QStringLiteral("kind"), QStringLiteral("kind%1").arg(i)},
                                   {QStringLiteral("name"), QStringLiteral("Button %1").arg(i)},
                                   {QStringLiteral("enabled"), i < 4},
                                   {QStringLiteral("reach"), 10}});
    }
    defaults.set(QStringLiteral("pindle_logger_buttons"), buttons);
    defaults.set(QStringLiteral("pindle_log_tags"), QStringList{QStringLiteral("Interview"), QStringLiteral("GV")});
    defaults.set(QStringLiteral("pindle_logger_keywords"),
                 QStringList{QStringLiteral("police"), QStringLiteral("boat")});
    defaults.set(QStringLiteral("pindle_log_channels_other"), channels(0.5));
    defaults.set(QStringLiteral("pindle_log_channels_desk"), channels(0.0));
}

// One second of dragging: a move every millisecond from the event loop, as mouse moves arrive,
// with the store's timer running in the same loop; then the flush of quit. The time shown is the
// main thread's mean cost of one move (its `set`); `writes` counts the files written per drag,
// `moves_over_20us` the moves of a drag that took longer than 20 µs.
void BM_FaderDragOneSecond(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    QTemporaryDir dir;
    Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    seed(defaults);
    defaults.flush();
    double writes = 0;
    double worstMicros = 0;
    double slowMoves = 0;
    double drag = 0;
    for (auto _ : state) {
        const int before = defaults.writeCount();
        Clock::duration busy{};
        int move = 0;
        QEventLoop loop;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            const QJsonArray value = channels(drag + move / double(movesPerDrag));
            const auto start = Clock::now();
            defaults.set(QStringLiteral("pindle_log_channels_desk"), value);
            const auto spent = Clock::now() - start;
            busy += spent;
            const double micros = std::chrono::duration<double, std::micro>(spent).count();
            worstMicros = std::max(worstMicros, micros);
            slowMoves += micros > 20 ? 1 : 0;
            if (++move == movesPerDrag)
                loop.quit();
        });
        const auto dragStart = Clock::now();
        tick.start(1);
        loop.exec();
        const double seconds = std::chrono::duration<double>(Clock::now() - dragStart).count();
        if (!defaults.flush()) {
            state.SkipWithError("a write failed");
            return;
        }
        writes += defaults.writeCount() - before;
        drag += 1;
        state.SetIterationTime(std::chrono::duration<double>(busy).count() / movesPerDrag);
        state.counters["drag_s"] = seconds;
    }
    state.counters["writes"] = writes / drag;
    state.counters["worst_move_us"] = worstMicros;
    state.counters["moves_over_20us"] = slowMoves / drag;
}
BENCHMARK(BM_FaderDragOneSecond)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(5);

// A move that changes nothing (the fader let go where it was): found equal, nothing handed on.
void BM_SetUnchangedValue(benchmark::State& state)
{
    QTemporaryDir dir;
    Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    seed(defaults);
    const QJsonArray value = channels(0.0);
    for (auto _ : state)
        defaults.set(QStringLiteral("pindle_log_channels_desk"), value);
}
BENCHMARK(BM_SetUnchangedValue)->Unit(benchmark::kMicrosecond);

} // namespace
