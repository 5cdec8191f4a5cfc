// Merging one stream result into a long published transcript: a new line, a changed line, a line
// that arrives late, both in the transcript alone and through the engine and a cloud stream (the
// stream's new lines followed, keywords checked on the changed line). The cost must not grow with
// the transcript's length.

#include "audio/ChannelStream.h"
#include "audio/DesktopTranscriber.h"
#include "audio/TranscriptBook.h"
#include "common/BenchRack.h"
#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {

constexpr int kChannels = 8;
const Date kStart = Date::fromSecondsSince1970(1'700'000'000.0);

// Line n of a long shoot: one every 1.5 s, channels taking turns.
DisplaySegment line(qint64 n, const QString& text)
{
    DisplaySegment s;
    const int channel = int(n % kChannels);
    s.id = QStringLiteral("%1-%2").arg(channel).arg(n);
    s.speaker = QStringLiteral("Channel %1").arg(channel);
    s.text = text;
    s.timecode = QStringLiteral("10:00:00");
    s.startSecs = double(n) * 1.5;
    s.endSecs = s.startSecs + 1.2;
    s.firstSeen = kStart.addingSeconds(s.endSecs);
    s.channel = channel;
    s.words = {Word{QStringLiteral("Line"), s.startSecs, s.startSecs + 0.4},
               Word{QStringLiteral("said"), s.startSecs + 0.5, s.endSecs}};
    return s;
}

QString sentence(qint64 n)
{
    return QStringLiteral("Line %1 of the long take, said at some length by someone.").arg(n);
}

void fill(TranscriptBook& book, qint64 lines)
{
    QList<DisplaySegment> all;
    all.reserve(lines);
    for (qint64 n = 0; n < lines; ++n) {
        all.append(line(n, sentence(n)));
    }
    book.clear(kStart);
    book.replaceAll(all);
}

// A new final result: one line after all others.
void BM_BookNewResult(benchmark::State& state)
{
    TranscriptBook book;
    const qint64 lines = state.range(0);
    fill(book, lines);
    qint64 next = lines;
    for (auto _ : state) {
        const DisplaySegment fresh = line(next++, QStringLiteral("A new line"));
        benchmark::DoNotOptimize(book.upsert(std::span<const DisplaySegment>(&fresh, 1)));
    }
    state.counters["rows"] = double(book.size());
}

// A final result that replaces the text of a recent line.
void BM_BookChangedResult(benchmark::State& state)
{
    TranscriptBook book;
    const qint64 lines = state.range(0);
    fill(book, lines);
    DisplaySegment first = line(lines - 3, QStringLiteral("corrected once"));
    DisplaySegment second = line(lines - 3, QStringLiteral("corrected twice"));
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        benchmark::DoNotOptimize(book.upsert(std::span<const DisplaySegment>(flip ? &first : &second, 1)));
    }
}

// Results that arrive late: with every new line, one that belongs 20 lines back (the two
// together are timed).
void BM_BookLateResult(benchmark::State& state)
{
    TranscriptBook book;
    const qint64 lines = state.range(0);
    fill(book, lines);
    qint64 next = lines;
    for (auto _ : state) {
        const DisplaySegment fresh = line(next, QStringLiteral("A new line"));
        DisplaySegment late = line(next - 20, QStringLiteral("late"));
        late.id = QStringLiteral("late-%1").arg(next++);
        late.startSecs -= 0.001;
        benchmark::DoNotOptimize(book.upsert(std::span<const DisplaySegment>(&fresh, 1)));
        benchmark::DoNotOptimize(book.upsert(std::span<const DisplaySegment>(&late, 1)));
    }
    state.counters["rows"] = double(book.size());
}

StreamMessages::TranscriptResult finalResult(qint64 n, const QString& text)
{
    StreamMessages::TranscriptResult r;
    r.id = QString::number(n);
    r.text = text;
    const double start = double(n) * 1.5;
    r.words = {Word{QStringLiteral("Line"), start, start + 0.4},
               Word{QStringLiteral("said"), start + 0.5, start + 1.2}};
    return r;
}

// An engine on an 8-channel input playing silence, with the real cloud streams (their sockets
// find no service: results are handed to them directly), holding `lines` lines between them.
struct Engine {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    InMemoryCookieStore cookies;
    APIService service{QStringLiteral("http://127.0.0.1:9"), cookies};
    AudioDevices devices;
    ManualClock clock{kStart};
    std::unique_ptr<DesktopTranscriber> engine;
    QList<std::shared_ptr<ChannelStream>> streams;

    explicit Engine(qint64 lines)
    {
        devices.setSimulatedDevices(QList<AudioInputDevice>{benchRack(kChannels)});

        TranscriberEnvironment env;
        env.defaults = &defaults;
        env.devices = &devices;
        env.service = &service;
        env.clock = &clock;
        env.makeCapture = [] { return silentCapture(kChannels); };
        engine = std::make_unique<DesktopTranscriber>(env);
        engine->setKeywords({QStringLiteral("boat"), QStringLiteral("quota"), QStringLiteral("police")});
        engine->setOnKeyword([](int, const QString&, const DisplaySegment&) {});
        engine->start();
        for (int channel = 0; channel < kChannels; ++channel) {
            streams.append(std::dynamic_pointer_cast<ChannelStream>(engine->stream(channel)));
        }
        for (qint64 n = 0; n < lines; ++n) {
            streams.at(n % kChannels)->mergeResult(finalResult(n, sentence(n)));
        }
    }
    ~Engine() { engine->stop(); }
};

// A new final result through the engine and a cloud stream.
void BM_EngineNewResult(benchmark::State& state)
{
    Engine fixture(state.range(0));
    ChannelStream& stream = *fixture.streams.at(0);
    qint64 next = state.range(0) - state.range(0) % kChannels + kChannels;
    for (auto _ : state) {
        stream.mergeResult(finalResult(next, QStringLiteral("A new line about the boat")));
        next += kChannels;
    }
    state.counters["rows"] = double(fixture.engine->segments().size());
}

// A final result that replaces a recent line of a cloud stream.
void BM_EngineChangedResult(benchmark::State& state)
{
    Engine fixture(state.range(0));
    ChannelStream& stream = *fixture.streams.at(0);
    const qint64 recent = state.range(0) - state.range(0) % kChannels - kChannels;
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        stream.mergeResult(finalResult(recent, flip ? QStringLiteral("corrected once") : QStringLiteral("twice")));
    }
}

// An interim result: only the latest line changes.
void BM_EngineInterimResult(benchmark::State& state)
{
    Engine fixture(state.range(0));
    ChannelStream& stream = *fixture.streams.at(0);
    StreamMessages::TranscriptResult interim;
    interim.interim = true;
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        interim.text = flip ? QStringLiteral("still talk") : QStringLiteral("still talking");
        stream.mergeResult(interim);
    }
}

} // namespace

BENCHMARK(BM_BookNewResult)->Arg(50)->Arg(50000)->Iterations(100000);
BENCHMARK(BM_BookChangedResult)->Arg(50)->Arg(50000);
BENCHMARK(BM_BookLateResult)->Arg(50000)->Iterations(20000);
BENCHMARK(BM_EngineNewResult)->Arg(50)->Arg(50000)->Iterations(20000);
BENCHMARK(BM_EngineChangedResult)->Arg(50)->Arg(50000);
BENCHMARK(BM_EngineInterimResult)->Arg(50000);
