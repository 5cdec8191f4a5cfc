#include "platform/Defaults.h"
#include "timecode/CameraTimecode.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using Format = CameraTimecode::Format;

// A clock on its own throw-away defaults file, so the bench never touches the user's settings.
struct BenchClock {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode clock{defaults};

    explicit BenchClock(const QString& storage)
    {
        clock.setFormat(Format::fromStorage(storage).value_or(Format{}), Date::now());
        clock.setTzOffsetSeconds(3600);
    }
};

void timecodeAt(benchmark::State& state, const QString& storage)
{
    BenchClock bench(storage);
    // A frame period apart, as the header's live display asks.
    const double step = 1.0 / bench.clock.format().rate();
    Date moment = Date::fromSecondsSince1970(1710028800.0 + 37000.0);
    for (auto _ : state) {
        QString text = bench.clock.timecodeAt(moment);
        benchmark::DoNotOptimize(text);
        moment = moment.addingSeconds(step);
    }
}

void BM_TimecodeAt25(benchmark::State& state)
{
    timecodeAt(state, QStringLiteral("25|0|0"));
}

void BM_TimecodeAt2997DF(benchmark::State& state)
{
    timecodeAt(state, QStringLiteral("30|1|1"));
}

void BM_FormatFrames2997DF(benchmark::State& state)
{
    const Format format{30, true, true};
    qint64 frame = 1078920;
    for (auto _ : state) {
        QString text = format.formatFrames(frame);
        benchmark::DoNotOptimize(text);
        frame += 7;
    }
}

void BM_ParseFrames2997DF(benchmark::State& state)
{
    const Format format{30, true, true};
    const QString texts[] = {QStringLiteral("10:00:00;00"), QStringLiteral("01:23:45;12"),
                             QStringLiteral("23:59:59;29"), QStringLiteral("00:10:00;00")};
    std::size_t i = 0;
    for (auto _ : state) {
        auto frames = format.parseFrames(texts[i++ & 3]);
        benchmark::DoNotOptimize(frames);
    }
}

} // namespace

BENCHMARK(BM_TimecodeAt25);
BENCHMARK(BM_TimecodeAt2997DF);
BENCHMARK(BM_FormatFrames2997DF);
BENCHMARK(BM_ParseFrames2997DF);

BENCHMARK_MAIN();
