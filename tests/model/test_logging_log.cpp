#include "common/TestMain.h"

#include "model/LoggingLog.h"
#include "platform/Defaults.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString absent = QStringLiteral("<absent>");

std::optional<QString> speakerFrom(const QString& text)
{
    return text == absent ? std::nullopt : std::optional<QString>(text);
}

DisplaySegment segment(const QString& id, const QString& text, const QString& speaker = absent, int channel = 0)
{
    return DisplaySegment{id, speakerFrom(speaker), text, "tc " + id, -1.0, -1.0, Date{}, channel, {}, false};
}

// A log on its own clock and camera timecode, on defaults in a temporary folder; it records
// everything the log publishes, in order.
struct Harness {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode timecode{defaults};
    Date now = Date::fromSecondsSince1970(1700000000.0);
    LoggingLog log{timecode, [this] { return now; }};
    QStringList events;

    Harness()
    {
        const auto note = [this](const char* text) { return [this, text] { events << QLatin1String(text); }; };
        const auto rows = [this](const char* text) {
            return [this, text](int first, int last) { events << u"%1 %2 %3"_s.arg(text).arg(first).arg(last); };
        };
        QObject::connect(&log, &LoggingLog::transcriptRowsInserted, rows("inserted"));
        QObject::connect(&log, &LoggingLog::transcriptRowsChanged, rows("changed"));
        QObject::connect(&log, &LoggingLog::transcriptReset, note("reset"));
        QObject::connect(&log, &LoggingLog::transcriptChanged, note("transcript"));
        QObject::connect(&log, &LoggingLog::entriesChanged, note("entries"));
        QObject::connect(&log, &LoggingLog::idChanged, note("id"));
        QObject::connect(&log, &LoggingLog::createdAtChanged, note("createdAt"));
        QObject::connect(&log, &LoggingLog::shootTokenChanged, note("shootToken"));
    }
    void merge(const QList<DisplaySegment>& segments, qint64 runStart = 1)
    {
        log.mergeSegments(segments, runStart, [](const DisplaySegment& s) { return s.timecode; });
    }
    QStringList take() { return std::exchange(events, {}); }
};

const QStringList wholeLog{"id", "createdAt", "shootToken", "reset", "transcript", "entries"};

// The merge as the log's rules state it, over a copy of the whole transcript.
QList<LogLine> referenceMerge(QList<LogLine> lines, const QList<DisplaySegment>& segments, qint64 runStart)
{
    for (const DisplaySegment& s : segments) {
        const QString key = QString::number(runStart) + QLatin1Char('-') + s.id;
        const auto it = std::find_if(lines.begin(), lines.end(), [&](const LogLine& line) { return line.id == key; });
        if (it == lines.end())
            lines.append(LogLine{key, s.speaker, s.text, s.timecode, s.channel});
        else
            std::tie(it->text, it->speaker) = std::tie(s.text, s.speaker);
    }
    return lines;
}

LogEntry entry(const QString& type, bool open = false)
{
    LogEntry e;
    e.id = QUuid::createUuid();
    e.type = type;
    e.open = open;
    return e;
}

} // namespace

class TestLoggingLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A known line takes the segment's text and speaker but keeps its timecode and channel; a
    // merge that changes nothing publishes nothing and does not even detach the list.
    void mergeKeepsLines()
    {
        Harness h;
        DisplaySegment grown = segment("a", "hello there", "Ann", 5);
        grown.timecode = QStringLiteral("later");
        h.merge({segment("a", "hel", absent, 2), segment("b", "x")}, 100);
        h.merge({grown}, 100);
        QCOMPARE(h.log.transcript().at(0), (LogLine{"100-a", QString("Ann"), "hello there", "tc a", 2}));
        const QList<LogLine> before = h.log.transcript();
        h.take();
        h.merge({grown, segment("b", "x")}, 100);
        QVERIFY(h.take().isEmpty() && h.log.transcript().constData() == before.constData());
    }

    // Over lines "0" … "5" (5 spoken by Ann), one merge of "id=text[@speaker]" edits: a line edited
    // back within one merge is no news, one appended and edited is only inserted.
    void rowSignals_data()
    {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QStringList>("expected");
        const QString done = QStringLiteral("transcript");
        QTest::newRow("runs out of order")
            << QStringList{"4=x", "0=x", "3=x", "1=x"} << QStringList{"changed 0 1", "changed 3 4", done};
        QTest::newRow("changed and back") << QStringList{"2=a", "2=line 2"} << QStringList{};
        QTest::newRow("added and edited") << QStringList{"n=a", "n=b"} << QStringList{"inserted 6 6", done};
        QTest::newRow("changed and appended") << QStringList{"0=x", "4=x", "n=y", "m=y"}
                                              << QStringList{"changed 0 0", "changed 4 4", "inserted 6 7", done};
        QTest::newRow("empty speaker is not absent") << QStringList{"0=line 0@"} << QStringList{"changed 0 0", done};
    }
    void rowSignals()
    {
        QFETCH(QStringList, edits);
        Harness h;
        QList<DisplaySegment> segments;
        for (int i = 0; i < 6; ++i)
            segments << segment(QString::number(i), QStringLiteral("line %1").arg(i), i == 5 ? "Ann" : absent);
        h.merge(segments);
        h.take();
        QList<DisplaySegment> delta;
        for (const QString& edit : edits) {
            const QString text = edit.section('=', 1);
            const QString speaker = text.contains('@') ? text.section('@', 1) : absent;
            delta << segment(edit.section('=', 0, 0), text.section('@', 0, 0), speaker);
        }
        h.merge(delta);
        QTEST(h.take(), "expected");
    }

    // Random growth, edits and repeats, handing the log only what changed, must match the plain
    // merge over the whole list, and publish exactly the rows that changed.
    void incrementalMatchesWholeListMerge()
    {
        QRandomGenerator random(20240611);
        const QStringList words{"hi", "hello", "hello there", "", "ok"};
        const QStringList speakers{absent, "Ann", "Bob"};
        const auto pick = [&](const QStringList& from) { return from.at(random.bounded(int(from.size()))); };
        for (int sequence = 0; sequence < 60; ++sequence) {
            Harness h;
            QList<LogLine> reference;
            QList<DisplaySegment> engine;
            qint64 runStart = 1000;
            int nextId = 0;
            for (int step = 0; step < 40; ++step) {
                const QString where = QStringLiteral("sequence %1 step %2: ").arg(sequence).arg(step);
                QList<DisplaySegment> delta;
                const int op = random.bounded(10);
                if (op < 4 || engine.isEmpty()) {
                    for (int n = random.bounded(1, 4); n > 0; --n, ++nextId)
                        delta << (engine << segment(QStringLiteral("%1-%2").arg(nextId % 3).arg(nextId), pick(words),
                                                    pick(speakers), nextId % 3)).last();
                } else if (op < 7) {
                    for (int n = random.bounded(1, 4); n > 0; --n) {
                        DisplaySegment& s = engine[random.bounded(int(engine.size()))];
                        s.text = pick(words);
                        s.speaker = speakerFrom(pick(speakers));
                        delta << s;
                    }
                } else if (op == 7) {
                    delta << engine.at(random.bounded(int(engine.size())));
                } else if (op == 8) {
                    delta = engine;
                } else { // a new run: the engine starts its list again, ids and all
                    runStart += random.bounded(2);
                    engine.clear();
                    nextId = 0;
                    continue;
                }
                const QList<LogLine> expected = referenceMerge(reference, engine, runStart);
                h.merge(delta, runStart);
                QVERIFY2(h.log.transcript() == expected, qPrintable(where));
                // The row news name exactly the runs of lines that differ and the lines appended,
                // then one transcriptChanged; nothing at all when nothing changed.
                QStringList news;
                for (int row = 0; row < reference.size(); ++row) {
                    if (expected.at(row) == reference.at(row))
                        continue;
                    const int first = row;
                    while (row + 1 < reference.size() && expected.at(row + 1) != reference.at(row + 1))
                        ++row;
                    news << QStringLiteral("changed %1 %2").arg(first).arg(row);
                }
                if (expected.size() > reference.size())
                    news << QStringLiteral("inserted %1 %2").arg(reference.size()).arg(expected.size() - 1);
                if (!news.isEmpty())
                    news << QStringLiteral("transcript");
                QVERIFY2(h.take() == news, qPrintable(where));
                for (int row = 0; row < expected.size(); ++row)
                    QVERIFY2(h.log.lineIndex().value(expected.at(row).id, -1) == row, qPrintable(where));
                QVERIFY2(h.log.lineIndex().size() == expected.size(), qPrintable(where));
                reference = expected;
            }
        }
    }

    // Load closes ranges and summary requests; a repeated line id (a hand-edited file) keeps every
    // line, the id its first. Load and reset publish the whole log once everything is in place.
    void loadAndReset()
    {
        Harness h;
        h.merge({segment("z", "stale")}, 5);
        LogEntry open = entry("broll", true);
        open.summarising = true;
        const QList<LogLine> lines{{"5-a", std::nullopt, "first", "tc1", 0},
                                   {"5-b", std::nullopt, "other", "tc2", 1},
                                   {"5-a", QString("Ann"), "twin", "tc3", 0}};
        const LogSession session{QUuid::createUuid(), Date{}, {open, entry("note")}, QStringLiteral("tok"), lines};
        h.take();
        h.log.load(session);
        QCOMPARE(h.take(), wholeLog);
        open.open = open.summarising = false;
        QCOMPARE(h.log.entries(), QList<LogEntry>({open, session.entries.at(1)}));
        const LogSession snapshot = h.log.snapshotSession();
        h.merge({segment("a", "updated"), segment("c", "new")}, 5);
        QCOMPARE(h.take(), QStringList({"changed 0 0", "inserted 3 3", "transcript"}));
        QCOMPARE(h.log.transcript().at(2).text, QStringLiteral("twin"));
        QCOMPARE(h.log.lineIndex(), (QHash<QString, int>{{"5-a", 0}, {"5-b", 1}, {"5-c", 3}}));
        QCOMPARE(snapshot.transcript, std::optional(lines)); // a snapshot is a value
        h.now = h.now.addingSeconds(60.0);
        h.log.reset();
        QCOMPARE(h.take(), wholeLog);
        QVERIFY(h.log.id() != session.id && !h.log.id().isNull() && h.log.createdAt() == h.now);
        QVERIFY(h.log.entries().isEmpty() && !h.log.shootToken() && h.log.lineIndex().isEmpty());
        QCOMPARE(h.log.snapshotSession().transcript, std::optional(QList<LogLine>{}));
    }

    // A range starts its grab-back before now (none when that is not finite) and is closed by the
    // latest open entry of its kind, compared exactly; words said within it ask for a summary.
    void ranges()
    {
        Harness h;
        const QUuid first = h.log.openRange(QStringLiteral("broll"), 5.0);
        const QUuid second = h.log.openRange(QStringLiteral("broll"), std::nan(""));
        h.log.appendEntry(entry("Broll", true));
        QVERIFY(h.log.entries().at(0).time == h.now.addingSeconds(-5.0) && h.log.entries().at(1).time == h.now);
        QCOMPARE(h.log.openEntry("broll"), std::optional<QUuid>(second));
        h.now = h.now.addingSeconds(12.0);
        h.log.closeRange(second, QStringLiteral(" "));
        h.log.closeRange(first, QString());
        QCOMPARE(h.log.openEntry("broll"), std::nullopt);
        const LogEntry& closed = h.log.entries().at(1);
        QVERIFY(closed.endTime == h.now && closed.timecodeOut == h.timecode.timecodeAt(h.now) && !closed.open);
        QVERIFY(closed.summarising && !h.log.entries().at(0).summarising);
        h.log.setSummary(second, QStringLiteral("A wide shot"));
        QVERIFY(!h.log.entries().at(1).summarising);
    }

    // Tags compare exactly, suggestions append theirs as given; an edit that changes nothing,
    // or names an id the log does not hold, publishes nothing.
    void entryEdits()
    {
        Harness h;
        LogEntry a = entry("note");
        a.tags = QStringList{"Sync"};
        const LogEntry b = entry("note");
        h.log.appendEntry(a);
        h.log.appendEntry(b);
        h.take();
        for (int twice = 0; twice < 2; ++twice) {
            h.log.addTag(QStringLiteral("sync"), a.id);
            h.log.removeTag(QStringLiteral("SYNC"), a.id);
            h.log.setNote(b.id, QStringLiteral("Great take"));
            h.log.setEntries(h.log.entries());
        }
        h.log.suggest(a.id, {QStringLiteral("Sync"), QStringLiteral("X")});
        QCOMPARE(h.log.entries().at(0).tags, QStringList({"Sync", "sync", "Sync", "X"}));
        h.log.removeTag(QStringLiteral("Sync"), a.id);
        h.log.keep(a.id);
        h.log.keep(a.id);
        QCOMPARE(h.log.entries().at(0).tags, QStringList({"sync", "X"}));
        QVERIFY(!h.log.entries().at(0).suggested && h.log.entries().at(1).tags.isEmpty());
        QCOMPARE(h.take().size(), 5);
        const QList<LogEntry> before = h.log.entries();
        const QUuid stranger = QUuid::createUuid();
        h.log.closeRange(stranger, QStringLiteral("w"));
        h.log.removeEntry(stranger);
        QCOMPARE(h.log.entries(), before);
        h.log.removeEntry(a.id);
        QCOMPARE(h.log.entries(), QList<LogEntry>{before.at(1)});
        // An empty token is not an absent one.
        h.log.setShootToken(std::nullopt);
        h.log.setShootToken(QString());
        h.log.setShootToken(QString());
        QCOMPARE(h.take(), QStringList({"entries", "shootToken"}));
    }
};

PINDLE_TEST(TestLoggingLog)
#include "test_logging_log.moc"
