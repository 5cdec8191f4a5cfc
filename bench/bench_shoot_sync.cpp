// The shoot sync on a ten-hour day (8 channels, 48,000 timed lines, 1,200 markers): what the main
// thread pays to take the snapshot after one new line or one marker edit (must stay well within a
// frame), and what the worker pays to join the body. The old whole-log rebuild, and the rows that
// a camera change or a speaker rename encode again, are measured for comparison.

#include "audio/TranscriptBook.h"
#include "model/LogButtonKind.h"
#include "model/LoggingLog.h"
#include "platform/Defaults.h"
#include "screens/ShootSyncRows.h"
#include "service/LoggerCloud.h"
#include "timecode/CameraTimecode.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kChannels = 8;
constexpr int kLines = 48'000;
constexpr int kMarkers = 1'200;
// A final line per channel every 6 s.
constexpr double kLineStep = 6.0 / kChannels;
constexpr qint64 kRunStart = 1'700'000'000;

const QStringList& vocabulary()
{
    static const QStringList words{QStringLiteral("camera"),  QStringLiteral("rolling"), QStringLiteral("speed"),
                                   QStringLiteral("the"),     QStringLiteral("boat"),    QStringLiteral("again"),
                                   QStringLiteral("light"),   QStringLiteral("we"),      QStringLiteral("lose"),
                                   QStringLiteral("\"cut\""), QStringLiteral("über"),    QStringLiteral("take")};
    return words;
}

DisplaySegment line(int n)
{
    DisplaySegment s;
    s.channel = n % kChannels;
    s.id = QStringLiteral("%1-%2").arg(s.channel).arg(n);
    s.speaker = QStringLiteral("Channel %1").arg(s.channel + 1);
    s.startSecs = n * kLineStep;
    QStringList text;
    for (int w = 0; w < 15; ++w) {
        const QString word = vocabulary().at((n * 7 + w * 13) % vocabulary().size());
        text.append(word);
        s.words.append(Word{word, s.startSecs + w * 0.35, s.startSecs + w * 0.35 + 0.3});
    }
    s.text = text.join(u' ');
    s.endSecs = s.words.constLast().end;
    return s;
}

LogEntry marker(int n, Date engineStart)
{
    LogEntry e;
    e.id = QUuid::createUuid();
    e.time = engineStart.addingSeconds(n * 30.0);
    e.timecode = QStringLiteral("10:%1:%2:00")
                     .arg(n / 120 % 60, 2, 10, QLatin1Char('0'))
                     .arg(n / 2 % 60, 2, 10, QLatin1Char('0'));
    e.type = n % 5 == 0 ? QStringLiteral("broll") : QStringLiteral("earmark");
    if (n % 5 == 0) {
        e.endTime = e.time.addingSeconds(12.25);
        e.timecodeOut = e.timecode;
    }
    e.highlight = line(n * 40).text;
    e.summary = QStringLiteral("The boat comes round again and the light holds, take %1.").arg(n);
    e.note = n % 2 == 0 ? QStringLiteral("keep for the trailer") : QString();
    e.tags = {QStringLiteral("wide"), QStringLiteral("pickup")};
    e.speaker = QStringLiteral("Channel 1");
    return e;
}

// A long day's transcript and log with the sync rows following them, as the screen wires them.
struct LongShoot {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode camera{defaults};
    TranscriptBook book;
    LoggingLog log{camera};
    QHash<QString, QString> speakerNames;
    const Date engineStart = Date::fromSecondsSince1970(double(kRunStart) + 0.25);
    ShootSyncRows rows{ShootSyncRows::Sources{
        .book = &book,
        .log = &log,
        .camera = &camera,
        .engineStart = [this] { return engineStart; },
        .runStart = [] { return kRunStart; },
        .speakerName = [this](const QString& label) { return speakerNames.value(label, label); },
        .buttonLabel = [](const QString& kind) { return LogButtonKind::capitalized(kind); },
    }};
    int nextLine = kLines;

    LongShoot()
    {
        book.clear(engineStart);
        QList<DisplaySegment> lines;
        lines.reserve(kLines);
        for (int n = 0; n < kLines; ++n)
            lines.append(line(n));
        book.upsert(lines);
        for (int n = 0; n < kMarkers; ++n)
            log.appendEntry(marker(n, engineStart));
        // The day so far is synced: what follows is one sync's worth of change.
        (void)rows.snapshot();
    }

    void addLine() { book.upsert(QList<DisplaySegment>{line(nextLine++)}); }
};

void BM_SnapshotAfterNewLine(benchmark::State& state)
{
    LongShoot shoot;
    for (auto _ : state) {
        state.PauseTiming();
        shoot.addLine();
        state.ResumeTiming();
        LoggerCloud::Snapshot snapshot = shoot.rows.snapshot();
        benchmark::DoNotOptimize(snapshot);
    }
    if (shoot.rows.lastEncoded() != 1)
        state.SkipWithError("more than the new line was encoded");
}
BENCHMARK(BM_SnapshotAfterNewLine)->Unit(benchmark::kMicrosecond)->Iterations(500);

// The new line arrives while the worker still holds the previous snapshot: the row list is
// copied once (the rows' bytes are not).
void BM_SnapshotAfterNewLineWhileBodyIsMade(benchmark::State& state)
{
    LongShoot shoot;
    LoggerCloud::Snapshot held = shoot.rows.snapshot();
    for (auto _ : state) {
        state.PauseTiming();
        shoot.addLine();
        state.ResumeTiming();
        held = shoot.rows.snapshot();
        benchmark::DoNotOptimize(held);
    }
}
BENCHMARK(BM_SnapshotAfterNewLineWhileBodyIsMade)->Unit(benchmark::kMicrosecond)->Iterations(200);

void BM_SnapshotAfterMarkerEdit(benchmark::State& state)
{
    LongShoot shoot;
    int edit = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const QUuid id = shoot.log.entries().at(edit % kMarkers).id;
        shoot.log.setNote(id, QStringLiteral("note %1").arg(++edit));
        state.ResumeTiming();
        LoggerCloud::Snapshot snapshot = shoot.rows.snapshot();
        benchmark::DoNotOptimize(snapshot);
    }
    if (shoot.rows.lastEncoded() != 1)
        state.SkipWithError("more than the edited marker was encoded");
}
BENCHMARK(BM_SnapshotAfterMarkerEdit)->Unit(benchmark::kMicrosecond)->Iterations(500);

// The main thread's whole share of one change and the sync after it, with the worker still
// holding the previous snapshot (held:1) or not (held:0): the difference is what sharing the rows
// with the worker costs. The worker lets its snapshot go off the clock, as it does off this thread.
template <typename Change> void changeAndSnapshot(benchmark::State& state, LongShoot& shoot, Change change)
{
    const bool held = state.range(0) != 0;
    LoggerCloud::Snapshot previous = shoot.rows.snapshot();
    for (auto _ : state) {
        state.PauseTiming();
        if (!held)
            previous = {};
        state.ResumeTiming();
        change();
        LoggerCloud::Snapshot snapshot = shoot.rows.snapshot();
        benchmark::DoNotOptimize(snapshot);
        state.PauseTiming();
        previous = std::move(snapshot);
        state.ResumeTiming();
    }
}

void BM_NewLineWhileBodyIsMade(benchmark::State& state)
{
    LongShoot shoot;
    changeAndSnapshot(state, shoot, [&shoot] { shoot.addLine(); });
}
BENCHMARK(BM_NewLineWhileBodyIsMade)->ArgName("held")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(500);

void BM_MarkerEditWhileBodyIsMade(benchmark::State& state)
{
    LongShoot shoot;
    int edit = 0;
    changeAndSnapshot(state, shoot, [&shoot, &edit] {
        const QUuid id = shoot.log.entries().at(edit % kMarkers).id;
        shoot.log.setNote(id, QStringLiteral("note %1").arg(++edit));
    });
}
BENCHMARK(BM_MarkerEditWhileBodyIsMade)
    ->ArgName("held")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(500);

// The worker's share: the marker id set, the deleted list and the joined body.
void BM_AssembleBody(benchmark::State& state)
{
    LongShoot shoot;
    const LoggerCloud::Snapshot snapshot = shoot.rows.snapshot();
    qsizetype bytes = 0;
    for (auto _ : state) {
        QSet<QString> current;
        current.reserve(snapshot.markerIDs.size());
        for (const QString& id : snapshot.markerIDs)
            current.insert(id);
        const QByteArray body = LoggerCloud::syncBody(snapshot, {}, qint64(-1250));
        bytes = body.size();
        benchmark::DoNotOptimize(body.constData());
    }
    state.counters["body_MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_AssembleBody)->Unit(benchmark::kMillisecond)->Iterations(20);

// The camera's clock moved: every line carries a new timecode and is encoded again once.
void BM_SnapshotAfterCameraChange(benchmark::State& state)
{
    LongShoot shoot;
    int change = 0;
    for (auto _ : state) {
        shoot.camera.setOffsetFrames(++change);
        LoggerCloud::Snapshot snapshot = shoot.rows.snapshot();
        benchmark::DoNotOptimize(snapshot);
    }
}
BENCHMARK(BM_SnapshotAfterCameraChange)->Unit(benchmark::kMillisecond)->Iterations(3);

// A new camera format, as the logger picks one: the catch-up encodes the day again a turn of
// the event loop at a time. Reported: the longest turn (the main thread's longest step) and the
// sync that follows, which must find nothing left to encode.
void BM_CatchUpAfterFormatChange(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    LongShoot shoot;
    const QList<CameraTimecode::Format>& formats = CameraTimecode::menuFormats();
    qsizetype format = formats.indexOf(shoot.camera.format());
    const qsizetype turns = kLines / ShootSyncRows::kCatchUpRows + 2;
    double longestTurn = 0;
    double sync = 0;
    for (auto _ : state) {
        shoot.camera.setFormat(formats.at(++format % formats.size()));
        for (qsizetype turn = 0; turn < turns; ++turn) {
            const Clock::time_point start = Clock::now();
            QCoreApplication::sendPostedEvents();
            longestTurn = std::max(longestTurn, since(start));
        }
        const Clock::time_point start = Clock::now();
        LoggerCloud::Snapshot snapshot = shoot.rows.snapshot();
        benchmark::DoNotOptimize(snapshot);
        sync = std::max(sync, since(start));
        if (shoot.rows.lastEncoded() != 0)
            state.SkipWithError("the catch-up left rows for the sync");
    }
    state.counters["longest_turn_ms"] = longestTurn * 1000;
    state.counters["sync_after_ms"] = sync * 1000;
}
BENCHMARK(BM_CatchUpAfterFormatChange)->Unit(benchmark::kMillisecond)->Iterations(3);

// A speaker renamed: that channel's lines (one in eight) are encoded again once.
void BM_SnapshotAfterSpeakerRename(benchmark::State& state)
{
    LongShoot shoot;
    int rename = 0;
    for (auto _ : state) {
        shoot.speakerNames.insert(QStringLiteral("Channel 3"), QStringLiteral("Ada %1").arg(++rename));
        LoggerCloud::Snapshot snapshot = shoot.rows.snapshot();
        benchmark::DoNotOptimize(snapshot);
    }
}
BENCHMARK(BM_SnapshotAfterSpeakerRename)->Unit(benchmark::kMillisecond)->Iterations(5);

// What every sync cost the main thread before: every line and marker built as a QJsonObject,
// then the whole body serialised.
qint64 epochMs(Date date)
{
    return date.millisecondsSince1970().value_or(0);
}

QJsonObject lineObject(const LongShoot& shoot, const DisplaySegment& segment)
{
    const Date start = shoot.engineStart.addingSeconds(segment.startSecs);
    QJsonObject out{
        {QStringLiteral("id"), QString::number(kRunStart) + u'-' + segment.id},
        {QStringLiteral("text"), segment.text},
        {QStringLiteral("start_ms"), epochMs(start)},
        {QStringLiteral("end_ms"), epochMs(shoot.engineStart.addingSeconds(segment.endSecs))},
        {QStringLiteral("timecode"), shoot.camera.timecodeAt(start)},
        {QStringLiteral("channel"), segment.channel},
        {QStringLiteral("speaker"), shoot.speakerNames.value(*segment.speaker, *segment.speaker)},
    };
    QJsonArray words;
    for (const Word& word : segment.words)
        words.append(QJsonObject{
            {QStringLiteral("text"), word.text()},
            {QStringLiteral("start_ms"), epochMs(shoot.engineStart.addingSeconds(word.start))},
            {QStringLiteral("end_ms"), epochMs(shoot.engineStart.addingSeconds(word.end))},
        });
    out.insert(QStringLiteral("words"), words);
    return out;
}

QJsonObject markerObject(const LogEntry& entry)
{
    QJsonObject out{
        {QStringLiteral("id"), entry.id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("type"), entry.type},
        {QStringLiteral("label"), LogButtonKind::capitalized(entry.type)},
        {QStringLiteral("timecode_in"), entry.timecode},
        {QStringLiteral("start_ms"), epochMs(entry.time)},
        {QStringLiteral("quote"), entry.highlight},
        {QStringLiteral("summary"), entry.summary},
        {QStringLiteral("note"), entry.note},
        {QStringLiteral("tags"), QJsonArray::fromStringList(entry.tags)},
    };
    if (entry.timecodeOut)
        out.insert(QStringLiteral("timecode_out"), *entry.timecodeOut);
    if (entry.endTime)
        out.insert(QStringLiteral("end_ms"), epochMs(*entry.endTime));
    if (entry.speaker)
        out.insert(QStringLiteral("speaker"), *entry.speaker);
    return out;
}

void BM_WholeLogRebuild(benchmark::State& state)
{
    LongShoot shoot;
    for (auto _ : state) {
        QJsonArray segments;
        for (const DisplaySegment& segment : shoot.book.rows())
            segments.append(lineObject(shoot, segment));
        QJsonArray markers;
        for (const LogEntry& entry : shoot.log.entries())
            markers.append(markerObject(entry));
        const QJsonObject body{{QStringLiteral("segments"), segments},
                               {QStringLiteral("markers"), markers},
                               {QStringLiteral("deleted_markers"), QJsonArray()}};
        const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
        benchmark::DoNotOptimize(bytes.constData());
    }
}
BENCHMARK(BM_WholeLogRebuild)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
