// Every export writer over a long shoot: 10,000 markers (and, for the clean transcript, 10,000
// speaker turns) with realistic texts, tags and some in/out ranges. An export runs on the main
// thread while the user waits: each text writer should take at most 30 ms, the 667-page PDF
// log sheet at most 3 s.

#include "export/AleWriter.h"
#include "export/EdlWriter.h"
#include "export/LocatorsWriter.h"
#include "export/LogSheetExport.h"
#include "export/MarkersXmlWriter.h"
#include "export/ScriptSyncWriter.h"
#include "timecode/CameraTimecode.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int markerCount = 10000;
constexpr int turnCount = 10000;
constexpr int fps = 25;
// 2026-12-06 09:00 UTC, the first marker of the day.
constexpr double shootStart = 1796547600.0;

const CameraTimecode::Format format{fps, false, false};
const auto toFrames = [](const QString& text) { return LogExport::eventTimecodeFrames(format, text); };
const auto toText = [](qint64 frames) { return LogExport::eventTimecodeText(format, frames); };

const QStringList kinds{QStringLiteral("great"), QStringLiteral("take"),    QStringLiteral("broll"),
                        QStringLiteral("note"),  QStringLiteral("earmark"), QStringLiteral("soundbite")};
const QStringList kindLabels{QStringLiteral("Great"), QStringLiteral("Take"),    QStringLiteral("B-roll"),
                             QStringLiteral("Note"),  QStringLiteral("Earmark"), QStringLiteral("Soundbite")};
const QStringList summaries{
    QStringLiteral("Director explains why the opening shot starts on the harbour"),
    QStringLiteral("Great answer about her first season on the boats"),
    QStringLiteral("Boom in shot \u2014 usable for audio only"),
    QStringLiteral("Laughs, then tells the story of the storm in 1998"),
    QStringLiteral("Wide of the market with morning light"),
    QStringLiteral("Second take of the walk and talk, cleaner sound"),
};
const QStringList quotes{
    QStringLiteral("\u201CWe never knew if the boats would come back, so every morning felt like a gift.\u201D"),
    QStringLiteral("It\u2019s the smell of the diesel and the salt, that\u2019s what I remember most\u2026"),
    QStringLiteral("You don\u2019t choose the sea. The sea chooses you, and then it doesn\u2019t let go."),
    QStringLiteral("My father said: keep your head down & your hands busy."),
};
const QStringList notes{QStringLiteral("check focus"), QStringLiteral("use for the trailer"),
                        QStringLiteral("plane overhead at the end"), QString()};
const QStringList tagPool{QStringLiteral("harbour"), QStringLiteral("interview"), QStringLiteral("night"),
                          QStringLiteral("b-roll"),  QStringLiteral("archive"),   QStringLiteral("music")};
const QStringList colours{QStringLiteral("sky"), QStringLiteral("LavenderResolveColor"), QStringLiteral("red")};
const QStringList speakers{QStringLiteral("Marta"), QStringLiteral("Interviewer"), QStringLiteral("Jonas")};
const QStringList speech{
    QStringLiteral("um, so, uh, we went out before dawn and the the water was completely still"),
    QStringLiteral("I, um, think that that was the year the factory closed, you know"),
    QStringLiteral("Hmm."),
    QStringLiteral("and then, er, my brother said we had had enough of it ,and we left"),
    QStringLiteral("it\u2019s it\u2019s hard to explain\u2026 the light out there,wait,what was the question ?"),
    QStringLiteral("Ahh, right. The nets. We mended them every every evening on the quay"),
};

QString timecodeAt(qint64 frames)
{
    return format.formatFrames(frames);
}

QList<LoggableMarker> makeMarkers()
{
    QList<LoggableMarker> markers;
    markers.reserve(markerCount);
    for (int i = 0; i < markerCount; ++i) {
        // A marker every few seconds from 10:00:00:00, a quarter of them in/out ranges.
        const qint64 in = qint64(10) * 3600 * fps + qint64(i) * 83;
        LoggableMarker m;
        m.timecode = timecodeAt(in);
        if (i % 4 == 0)
            m.timecodeOut = timecodeAt(in + 40 + i % 200);
        m.markerType = kinds[i % kinds.size()];
        if (i % 5 != 3)
            m.summary = summaries[i % summaries.size()];
        if (i % 3 == 0)
            m.quote = quotes[i % quotes.size()];
        if (!notes[i % notes.size()].isEmpty())
            m.manualNote = notes[i % notes.size()];
        for (int t = 0; t < i % 4; ++t)
            m.tags.append(tagPool[(i + t) % tagPool.size()]);
        if (i % 7 == 0)
            m.userResolveColor = colours[i % colours.size()];
        if (i % 2 == 0)
            m.createdAt = Date::fromSecondsSince1970(shootStart + i * 3.3);
        if (i % 3 != 2)
            m.speaker = speakers[i % speakers.size()];
        markers.append(m);
    }
    return markers;
}

QList<LogExport::TranscriptTurn> makeTurns()
{
    QList<LogExport::TranscriptTurn> turns;
    turns.reserve(turnCount);
    for (int i = 0; i < turnCount; ++i) {
        // Runs of two or three lines by one speaker, and now and then a line with none.
        std::optional<QString> speaker;
        if (i % 11 != 5)
            speaker = speakers[(i / 3) % speakers.size()];
        turns.append(LogExport::TranscriptTurn{speaker, speech[i % speech.size()]});
    }
    return turns;
}

QList<LogSheetExport::Row> makeRows(const QList<LoggableMarker>& markers)
{
    QList<LogSheetExport::Row> rows;
    rows.reserve(markers.size());
    for (int i = 0; i < markers.size(); ++i) {
        const LoggableMarker& m = markers[i];
        LogSheetExport::Row row;
        row.type = kindLabels[i % kindLabels.size()];
        row.colorHex = 0x2F80ED + quint32(i % 6) * 0x101010;
        row.timecode = m.timecode;
        row.out = m.timecodeOut.value_or(QString());
        row.who = m.speaker.value_or(QString());
        row.said = m.quote.value_or(QString());
        row.note = m.manualNote.value_or(QString());
        row.summary = m.summary.value_or(QString());
        row.tags = m.tags;
        rows.append(row);
    }
    return rows;
}

const QList<LoggableMarker>& markers()
{
    static const QList<LoggableMarker> list = makeMarkers();
    return list;
}

void reportSize(benchmark::State& state, qsizetype characters)
{
    state.counters["chars"] = benchmark::Counter(double(characters));
}

void BM_AvidMarkersXML(benchmark::State& state)
{
    const Date now = Date::fromSecondsSince1970(shootStart);
    qsizetype size = 0;
    for (auto _ : state) {
        const QByteArray bytes = LogExport::avidMarkersXML(markers(), fps, QStringLiteral("Pindle"), now);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.constData());
    }
    // The writer gives the file's UTF-8 bytes: nothing is left to convert before the write.
    state.counters["bytes"] = benchmark::Counter(double(size));
}

void BM_ScriptSyncSelects(benchmark::State& state)
{
    qsizetype size = 0;
    for (auto _ : state) {
        const QString text = LogExport::scriptSyncSelects(markers(), QStringLiteral("Harbour day 3"));
        size = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    reportSize(state, size);
}

void BM_CleanTranscript(benchmark::State& state)
{
    const QList<LogExport::TranscriptTurn> turns = makeTurns();
    const QLocale locale(QStringLiteral("en_US"));
    qsizetype size = 0;
    for (auto _ : state) {
        const QString text = LogExport::cleanTranscript(turns, QStringLiteral("Harbour day 3"),
                                                        Date::fromSecondsSince1970(shootStart), locale, "UTC");
        size = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    reportSize(state, size);
}

void BM_Ale(benchmark::State& state)
{
    qsizetype size = 0;
    for (auto _ : state) {
        const QString text = LogExport::ale(markers(), QStringLiteral("25"), QStringLiteral("1080"),
                                            QStringLiteral("A001"), toFrames, toText);
        size = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    reportSize(state, size);
}

void BM_Edl(benchmark::State& state)
{
    qsizetype size = 0;
    for (auto _ : state) {
        const QString text = LogExport::edl(markers(), QStringLiteral("Harbour day 3"), QStringLiteral("A001"), false,
                                            12, qint64(3600) * fps, toFrames, toText);
        size = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    reportSize(state, size);
}

void BM_AvidLocators(benchmark::State& state)
{
    qsizetype size = 0;
    for (auto _ : state) {
        const QString text = LogExport::avidLocators(markers(), fps, true);
        size = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    reportSize(state, size);
}

void BM_Csv(benchmark::State& state)
{
    const QList<LogSheetExport::Row> rows = makeRows(markers());
    qsizetype size = 0;
    for (auto _ : state) {
        const QString text = LogSheetExport::csv(rows);
        size = text.size();
        benchmark::DoNotOptimize(text.constData());
    }
    reportSize(state, size);
}

void BM_Pdf(benchmark::State& state)
{
    const QList<LogSheetExport::Row> rows = makeRows(markers());
    LogSheetExport::Meta meta;
    meta.title = QStringLiteral("Harbour day 3");
    meta.date = Date::fromSecondsSince1970(shootStart);
    meta.frameRate = format.label();
    meta.cameraSynced = true;
    const QLocale locale(QStringLiteral("en_US"));
    QByteArray last;
    for (auto _ : state) {
        const std::optional<QByteArray> pdf = LogSheetExport::pdf(rows, meta, locale, "UTC");
        if (!pdf) {
            state.SkipWithError("no PDF was drawn");
            return;
        }
        last = *pdf;
        benchmark::DoNotOptimize(last.constData());
    }
    state.counters["bytes"] = benchmark::Counter(double(last.size()));
    // Qt's PDF writer opens every page object with this line.
    state.counters["pages"] = benchmark::Counter(double(last.count("/Type /Page\n")));
}

} // namespace

BENCHMARK(BM_AvidMarkersXML)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScriptSyncSelects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CleanTranscript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ale)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Edl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AvidLocators)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Csv)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdf)->Unit(benchmark::kMillisecond)->Iterations(3);
