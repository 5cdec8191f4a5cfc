// Saving the sessions file of a long shoot: 50 saved logs of 3,000 transcript lines and 200
// entries each. A logger's every entry change saves, so the main thread's share of a save must
// stay a few milliseconds whatever the file's size.

#include "common/ShootDay.h"
#include "model/LogSessionStore.h"
#include "model/SessionWriter.h"
#include "platform/SafeFile.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

using shoot_day::kEntriesPerSession;
using shoot_day::kSessionCount;
using shoot_day::makeSession;
using shoot_day::shoot;

// Main thread only: one changed entry of one session, saved. The background write runs outside
// the timed part but is waited for every time, so the writer is shown to keep up.
void BM_UpsertOneChangedEntry(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log-sessions.json"));
    if (!SafeFile::writeAtomically(path, LogSessionFile::encode(shoot()))) {
        state.SkipWithError("cannot write the file");
        return;
    }
    LogSessionStore store(path);
    LogSession live = shoot().at(kSessionCount / 2);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        live.entries.edit(n % kEntriesPerSession).note = QStringLiteral("edit %1").arg(n);
        ++n;
        state.ResumeTiming();

        store.upsert(live);

        state.PauseTiming();
        store.waitForWrites();
        state.ResumeTiming();
    }
    if (store.lastWriteFailed())
        state.SkipWithError("a write failed");
}
BENCHMARK(BM_UpsertOneChangedEntry)->Unit(benchmark::kMillisecond)->Iterations(60);

// A whole day's log being kept: a marker press upserts a session of 3,000 entries and as many
// transcript lines. Main thread only: the writer's encoding and write are waited for untimed.
void BM_UpsertLongLiveLog(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log-sessions.json"));
    if (!SafeFile::writeAtomically(path, LogSessionFile::encode(shoot()))) {
        state.SkipWithError("cannot write the file");
        return;
    }
    LogSessionStore store(path);
    LogSession live = shoot().at(0);
    const LogEntries entries = live.entries;
    while (live.entries.size() < 3000)
        live.entries.append(entries.at(live.entries.size() % entries.size()));
    std::vector<double> times;
    for (auto _ : state) {
        live.entries.edit(qsizetype(times.size()) % live.entries.size()).note =
            QStringLiteral("edit %1").arg(times.size());
        // Timed by hand: pausing the benchmark's clocks costs more than the upsert itself.
        const auto start = std::chrono::steady_clock::now();
        store.upsert(live);
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.SetIterationTime(times.back());
        store.waitForWrites();
    }
    if (store.lastWriteFailed())
        state.SkipWithError("a write failed");
    // The mean takes in the odd wake-up of the writer that the scheduler lets run first.
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    state.counters["median_us"] = times.at(times.size() / 2) * 1e6;
    state.counters["entries"] = double(live.entries.size());
}
BENCHMARK(BM_UpsertLongLiveLog)->Unit(benchmark::kMicrosecond)->Iterations(60)->UseManualTime();

// What that upsert cost the main thread when it encoded the session there.
void BM_EncodeLongLiveLog(benchmark::State& state)
{
    LogSession live = shoot().at(0);
    const LogEntries entries = live.entries;
    while (live.entries.size() < 3000)
        live.entries.append(entries.at(live.entries.size() % entries.size()));
    for (auto _ : state) {
        const QByteArray json = live.toJson();
        benchmark::DoNotOptimize(json.constData());
    }
}
BENCHMARK(BM_EncodeLongLiveLog)->Unit(benchmark::kMillisecond);

// What every save would cost the main thread without the cache.
void BM_ColdFullEncode(benchmark::State& state)
{
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray file = LogSessionFile::encode(shoot());
        bytes = file.size();
        benchmark::DoNotOptimize(file.constData());
    }
    state.counters["file_MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_ColdFullEncode)->Unit(benchmark::kMillisecond);

// The writer thread's share of one save: write the cached sessions' pieces atomically.
void BM_BackgroundWrite(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log-sessions.json"));
    QList<QByteArray> encoded;
    for (const LogSession& s : shoot())
        encoded.append(s.toJson());
    for (auto _ : state) {
        if (!SafeFile::writeAtomically(path, SessionWriter::filePieces(encoded)))
            state.SkipWithError("cannot write the file");
    }
}
BENCHMARK(BM_BackgroundWrite)->Unit(benchmark::kMillisecond);

// Start of the app: read, decode, sort and encode the cache.
void BM_LoadStore(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log-sessions.json"));
    if (!SafeFile::writeAtomically(path, LogSessionFile::encode(shoot()))) {
        state.SkipWithError("cannot write the file");
        return;
    }
    for (auto _ : state) {
        const LogSessionStore store(path);
        benchmark::DoNotOptimize(store.sessions().size());
    }
}
BENCHMARK(BM_LoadStore)->Unit(benchmark::kMillisecond);

// Start of the app with the file read in the background: the timing is what the main thread
// spends constructing the store; "until_loaded_ms" is how long until its sessions are in.
void BM_BackgroundLoadStart(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log-sessions.json"));
    if (!SafeFile::writeAtomically(path, LogSessionFile::encode(shoot()))) {
        state.SkipWithError("cannot write the file");
        return;
    }
    double untilLoaded = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto store = std::make_unique<LogSessionStore>(path, LogSessionStore::LoadMode::Background);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        store->waitForLoad();
        untilLoaded += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (store->sessions().size() != kSessionCount)
            state.SkipWithError("the load lost sessions");
    }
    state.counters["until_loaded_ms"] = benchmark::Counter(untilLoaded, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_BackgroundLoadStart)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();

} // namespace

BENCHMARK_MAIN();
