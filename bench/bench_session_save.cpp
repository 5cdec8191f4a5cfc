// Saving the sessions file of a long shoot: 50 saved logs of 3,000 transcript lines and 200
// entries each. A logger's every entry change saves, so the main thread's share of a save must
// stay a few milliseconds whatever the file's size.

#include "model/LogSessionStore.h"
#include "model/SessionWriter.h"
#include "platform/SafeFile.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

namespace {

constexpr int sessionCount = 50;
constexpr int linesPerSession = 3000;
constexpr int entriesPerSession = 200;

QString words(int seed, int count)
{
    static const QStringList vocabulary{QStringLiteral("camera"),  QStringLiteral("rolling"), QStringLiteral("speed"),
                                        QStringLiteral("the"),     QStringLiteral("boat"),    QStringLiteral("again"),
                                        QStringLiteral("light"),   QStringLiteral("we"),      QStringLiteral("lose"),
                                        QStringLiteral("\"cut\""), QStringLiteral("über"),    QStringLiteral("take")};
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        text += vocabulary.at((seed * 7 + i * 13) % vocabulary.size());
    }
    return text;
}

QString timecode(int n)
{
    return QStringLiteral("%1:%2:%3:%4")
        .arg(1 + n / 86400, 2, 10, QLatin1Char('0'))
        .arg(n / 1440 % 60, 2, 10, QLatin1Char('0'))
        .arg(n / 24 % 60, 2, 10, QLatin1Char('0'))
        .arg(n % 24, 2, 10, QLatin1Char('0'));
}

LogSession makeSession(int index)
{
    LogSession s;
    s.id = QUuid::createUuid();
    s.createdAt = Date{700000000.0 + index * 86400.0};
    s.shootToken = QStringLiteral("shoot-%1").arg(index);
    QList<LogLine> lines;
    lines.reserve(linesPerSession);
    for (int i = 0; i < linesPerSession; ++i) {
        lines.append(
            LogLine{QStringLiteral("1700000000-%1").arg(i),
                    i % 3 == 0 ? std::nullopt : std::optional<QString>(QStringLiteral("Speaker %1").arg(i % 4)),
                    words(i, 16), timecode(i * 90), i % 8});
    }
    s.transcript = std::move(lines);
    for (int i = 0; i < entriesPerSession; ++i) {
        LogEntry e;
        e.id = QUuid::createUuid();
        e.time = Date{s.createdAt.sinceReferenceDate + i * 60.5};
        e.timecode = timecode(i * 1452);
        e.type = i % 5 == 0 ? QStringLiteral("broll") : QStringLiteral("earmark");
        if (i % 5 == 0) {
            e.endTime = Date{e.time.sinceReferenceDate + 12.25};
            e.timecodeOut = timecode(i * 1452 + 294);
        }
        e.summary = words(i, 20);
        e.highlight = words(i + 1, 12);
        e.note = i % 2 == 0 ? words(i + 2, 6) : QString();
        e.tags = {QStringLiteral("Keyword: boat"), QStringLiteral("pickup")};
        e.speaker = QStringLiteral("Speaker 1");
        e.lineID = QStringLiteral("1700000000-%1").arg(i * 15);
        e.lineIDs = QStringList{e.lineID.value(), QStringLiteral("1700000000-%1").arg(i * 15 + 1)};
        s.entries.append(std::move(e));
    }
    return s;
}

const QList<LogSession>& shoot()
{
    static const QList<LogSession> sessions = [] {
        QList<LogSession> list;
        for (int i = sessionCount - 1; i >= 0; --i)
            list.append(makeSession(i));
        return list;
    }();
    return sessions;
}

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
    LogSession live = shoot().at(sessionCount / 2);
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        live.entries[n % entriesPerSession].note = QStringLiteral("edit %1").arg(n);
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

// The writer thread's share of one save: join the cached sessions and write atomically.
void BM_BackgroundJoinAndWrite(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log-sessions.json"));
    QList<QByteArray> encoded;
    for (const LogSession& s : shoot())
        encoded.append(s.toJson());
    for (auto _ : state) {
        if (!SafeFile::writeAtomically(path, SessionWriter::join(encoded)))
            state.SkipWithError("cannot write the file");
    }
}
BENCHMARK(BM_BackgroundJoinAndWrite)->Unit(benchmark::kMillisecond);

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

} // namespace

BENCHMARK_MAIN();
