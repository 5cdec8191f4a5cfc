// Merging the live transcript into the saved lines of a long log: a new line, an edited line,
// a repeat, all against 50,000 saved lines. The cost must not grow with the log.

#include "model/LoggingLog.h"
#include "platform/Defaults.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int savedLines = 50000;
constexpr qint64 runStart = 1700000000;

DisplaySegment segment(int n, const QString& text)
{
    DisplaySegment s;
    s.id = QStringLiteral("%1-%2").arg(n % 4).arg(n);
    s.speaker = QStringLiteral("Channel %1").arg(n % 4);
    s.text = text;
    s.timecode = QStringLiteral("10:00:00");
    s.channel = n % 4;
    return s;
}

QString carriedTimecode(const DisplaySegment& s)
{
    return s.timecode;
}

// A log of `savedLines` lines on a clock of its own, kept off the user's defaults.
struct LongLog {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode timecode{defaults};
    LoggingLog log{timecode};

    LongLog()
    {
        QList<DisplaySegment> segments;
        segments.reserve(savedLines);
        for (int n = 0; n < savedLines; ++n)
            segments.append(segment(n, QStringLiteral("Line %1 of the long take, said at some length.").arg(n)));
        log.mergeSegments(segments, runStart, carriedTimecode);
    }
};

void BM_MergeNewLine(benchmark::State& state)
{
    LongLog fixture;
    // Built before timing: making the segment is the engine's cost, not the merge's.
    const auto count = static_cast<qsizetype>(state.max_iterations);
    QList<DisplaySegment> fresh;
    fresh.reserve(count);
    for (qsizetype n = 0; n < count; ++n)
        fresh.append(segment(static_cast<int>(savedLines + n), QStringLiteral("A new line")));
    qsizetype next = 0;
    for (auto _ : state) {
        fixture.log.mergeSegments(std::span<const DisplaySegment>(&fresh.at(next++), 1), runStart, carriedTimecode);
    }
    state.counters["lines"] = static_cast<double>(fixture.log.transcript().size());
}

void BM_MergeChangedLine(benchmark::State& state)
{
    LongLog fixture;
    // The last line grows and shrinks back as a partial result would.
    const DisplaySegment shorter = segment(savedLines - 1, QStringLiteral("Partial"));
    const DisplaySegment longer = segment(savedLines - 1, QStringLiteral("Partial result, now longer"));
    bool flip = false;
    for (auto _ : state) {
        fixture.log.mergeSegments(std::span<const DisplaySegment>(flip ? &shorter : &longer, 1), runStart,
                                  carriedTimecode);
        flip = !flip;
    }
}

void BM_MergeSameLineAgain(benchmark::State& state)
{
    LongLog fixture;
    const DisplaySegment same =
        segment(savedLines / 2, QStringLiteral("Line %1 of the long take, said at some length.").arg(savedLines / 2));
    for (auto _ : state)
        fixture.log.mergeSegments(std::span<const DisplaySegment>(&same, 1), runStart, carriedTimecode);
}

// The screen saves a snapshot every tenth line; the next merge then copies the list once.
void BM_MergeNewLineAfterSnapshot(benchmark::State& state)
{
    LongLog fixture;
    const auto count = static_cast<qsizetype>(state.max_iterations);
    QList<DisplaySegment> fresh;
    fresh.reserve(count);
    for (qsizetype n = 0; n < count; ++n)
        fresh.append(segment(static_cast<int>(savedLines + n), QStringLiteral("A new line")));
    qsizetype next = 0;
    for (auto _ : state) {
        state.PauseTiming();
        LogSession held = fixture.log.snapshotSession();
        state.ResumeTiming();
        fixture.log.mergeSegments(std::span<const DisplaySegment>(&fresh.at(next++), 1), runStart, carriedTimecode);
        benchmark::DoNotOptimize(held);
    }
}

// The whole engine list handed over with nothing new: every line looked up, nothing published.
void BM_MergeWholeListUnchanged(benchmark::State& state)
{
    LongLog fixture;
    QList<DisplaySegment> segments;
    segments.reserve(savedLines);
    for (int n = 0; n < savedLines; ++n)
        segments.append(segment(n, QStringLiteral("Line %1 of the long take, said at some length.").arg(n)));
    for (auto _ : state)
        fixture.log.mergeSegments(segments, runStart, carriedTimecode);
}

} // namespace

BENCHMARK(BM_MergeNewLine)->Iterations(100000);
BENCHMARK(BM_MergeChangedLine);
BENCHMARK(BM_MergeSameLineAgain);
BENCHMARK(BM_MergeNewLineAfterSnapshot)->Iterations(200);
BENCHMARK(BM_MergeWholeListUnchanged)->Unit(benchmark::kMillisecond);
