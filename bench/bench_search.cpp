// The search sheet over a full shoot day (50,000 transcript lines on eight channels, 3,000
// entries): one keystroke must cost at most 16 ms of main-thread work, whether the query grows
// (the previous hits narrowed) or starts afresh (every kept text scanned), in the model alone and
// through the sheet with its list laid out and drawn, its rows seen before or not. "worstMs" is the
// slowest single keystroke.
// Opening the sheet (lowercasing every text once) and a line arriving under a query are measured
// alongside.
#include "common/ScreenDesk.h"
#include "common/ShootDay.h"

#include "audio/TranscriptBook.h"
#include "model/LoggingLog.h"
#include "screens/LogSearchModel.h"
#include "ui/logging/sheets/LogSearchSheet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>

#include <benchmark/benchmark.h>

namespace {

constexpr int kLines = 50'000;
constexpr int kEntries = 3000;
constexpr int kChannels = 8;
constexpr int kReelLines = 30;

DisplaySegment line(int n)
{
    DisplaySegment s;
    s.id = QStringLiteral("%1-%2").arg(n % kChannels).arg(n);
    if (n % 3 != 0)
        s.speaker = QStringLiteral("Speaker %1").arg(n % 4);
    // Every 30 lines share a reel number: a query for one finds a list of rows never drawn before.
    s.text = shoot_day::words(n, 16) + QStringLiteral(" reel%1").arg(n / kReelLines, 4, 10, QLatin1Char('0'));
    s.startSecs = n * 1.5;
    s.endSecs = s.startSecs + 1.2;
    s.channel = n % kChannels;
    return s;
}

// The search's sources as the logging screen has them on a long day.
struct SearchDesk : ScreenDesk {
    LoggingLog log{camera, &clock};
    TranscriptBook book;
    int next = kLines;

    SearchDesk()
    {
        log.load(shoot_day::makeSession(0, 0, kEntries));
        QList<DisplaySegment> lines;
        lines.reserve(kLines);
        for (int n = 0; n < kLines; ++n)
            lines.append(line(n));
        book.clear(Date::fromSecondsSince1970(1'700'000'000));
        book.upsert(lines);
    }

    LogSearchModel::Sources sources()
    {
        return {&log,
                &book,
                [this](const DisplaySegment& s) {
                    return camera.timecodeAt(book.engineStart().addingSeconds(s.startSecs));
                },
                {},
                &service};
    }
};

// Types `queries` over and over, one keystroke per iteration, through `type`.
template <typename Type> void keystrokes(benchmark::State& state, const QStringList& queries, Type type)
{
    qsizetype step = 0;
    qint64 worstNs = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        type(queries.at(step));
        worstNs = std::max(worstNs, timer.nsecsElapsed());
        step = (step + 1) % queries.size();
    }
    state.counters["worstMs"] = double(worstNs) / 1e6;
}

// A word typed letter by letter and cleared: each letter narrows the previous hits.
const QStringList kGrowing{QStringLiteral("s"),       QStringLiteral("sp"),       QStringLiteral("spe"),
                           QStringLiteral("spee"),    QStringLiteral("speed"),    QStringLiteral("speed "),
                           QStringLiteral("speed t"), QStringLiteral("speed th"), QString()};
// Queries that share nothing: each is a scan of every text. "ca" matches most lines.
const QStringList kFresh{QStringLiteral("boat"), QStringLiteral("light"), QStringLiteral("ca"),
                         QStringLiteral("quota")};

void BM_KeystrokeGrowing(benchmark::State& state)
{
    SearchDesk desk;
    LogSearchModel model(desk.sources());
    keystrokes(state, kGrowing, [&](const QString& query) { model.setQuery(query); });
}

void BM_KeystrokeFresh(benchmark::State& state)
{
    SearchDesk desk;
    LogSearchModel model(desk.sources());
    keystrokes(state, kFresh, [&](const QString& query) { model.setQuery(query); });
    state.counters["hitsOfCa"] = [&] {
        model.setQuery(QStringLiteral("ca"));
        return double(model.hitCount());
    }();
}

// Through the sheet: the field's text, the list reset, laid out and drawn on the next turn.
void sheetKeystrokes(benchmark::State& state, const QStringList& queries)
{
    SearchDesk desk;
    LogSearchSheet sheet(desk.sources());
    sheet.show();
    QCoreApplication::processEvents();
    keystrokes(state, queries, [&](const QString& query) {
        sheet.field()->setText(query);
        QCoreApplication::processEvents();
    });
    if (sheet.hitList()->model()->rowCount() > LogSearchRows::kBatch)
        state.SkipWithError("the list took more rows than a batch");
}

void BM_KeystrokeGrowingThroughSheet(benchmark::State& state)
{
    sheetKeystrokes(state, kGrowing);
}

void BM_KeystrokeFreshThroughSheet(benchmark::State& state)
{
    sheetKeystrokes(state, kFresh);
}

// Each keystroke a new reel: a scan of every text, and a screen of rows laid out for the first time.
void BM_KeystrokeUnseenRowsThroughSheet(benchmark::State& state)
{
    QStringList reels;
    for (int reel = 0; reel < kLines / kReelLines; ++reel)
        reels.append(QStringLiteral("reel%1").arg(reel, 4, 10, QLatin1Char('0')));
    sheetKeystrokes(state, reels);
}

// The sheet opening: every text lowercased once.
void BM_OpenSearch(benchmark::State& state)
{
    SearchDesk desk;
    for (auto _ : state) {
        LogSearchModel model(desk.sources());
        benchmark::DoNotOptimize(model.hitCount());
    }
}

// A matching line arrives while a query is shown: one text lowercased and tested.
void BM_LineArrivesUnderQuery(benchmark::State& state)
{
    SearchDesk desk;
    LogSearchModel model(desk.sources());
    model.setQuery(QStringLiteral("boat"));
    for (auto _ : state)
        desk.book.upsert(QList<DisplaySegment>{line(desk.next++)});
}

} // namespace

BENCHMARK(BM_KeystrokeGrowing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeFresh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeGrowingThroughSheet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeFreshThroughSheet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystrokeUnseenRowsThroughSheet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineArrivesUnderQuery)->Unit(benchmark::kMicrosecond);
