#include "common/TestMain.h"

#include "model/LoggingLog.h"
#include "platform/Defaults.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <memory>

namespace {

const QString absent = QStringLiteral("<absent>");

std::optional<QString> speakerFrom(const QString& text)
{
    return text == absent ? std::nullopt : std::optional<QString>(text);
}

DisplaySegment segment(const QString& id, const QString& text, std::optional<QString> speaker = std::nullopt,
                       int channel = 0)
{
    DisplaySegment s;
    s.id = id;
    s.text = text;
    s.speaker = std::move(speaker);
    s.channel = channel;
    s.timecode = QStringLiteral("tc ") + id;
    return s;
}

QString carriedTimecode(const DisplaySegment& s)
{
    return s.timecode;
}

// A log on its own clock and its own camera timecode, on defaults in a temporary folder.
struct Harness {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode timecode{defaults};
    Date now = Date::fromSecondsSince1970(1700000000.0);
    LoggingLog log{timecode, [this] { return now; }};
};

// Everything the log publishes, in the order it was published.
struct Events {
    QObject context;
    QStringList list;

    explicit Events(LoggingLog& log)
    {
        const auto note = [this](const char* text) { return [this, text] { list << QLatin1String(text); }; };
        QObject::connect(&log, &LoggingLog::transcriptRowsInserted, &context, [this](int first, int last) {
            list << QStringLiteral("inserted %1 %2").arg(first).arg(last);
        });
        QObject::connect(&log, &LoggingLog::transcriptRowsChanged, &context,
                         [this](int first, int last) { list << QStringLiteral("changed %1 %2").arg(first).arg(last); });
        QObject::connect(&log, &LoggingLog::transcriptReset, &context, note("reset"));
        QObject::connect(&log, &LoggingLog::transcriptChanged, &context, note("transcript"));
        QObject::connect(&log, &LoggingLog::entriesChanged, &context, note("entries"));
        QObject::connect(&log, &LoggingLog::idChanged, &context, note("id"));
        QObject::connect(&log, &LoggingLog::createdAtChanged, &context, note("createdAt"));
        QObject::connect(&log, &LoggingLog::shootTokenChanged, &context, note("shootToken"));
    }

    QStringList take() { return std::exchange(list, {}); }
};

// The merge as the log's rules state it, over a copy of the whole transcript.
QList<LogLine> referenceMerge(QList<LogLine> lines, const QList<DisplaySegment>& segments, qint64 runStart)
{
    for (const DisplaySegment& s : segments) {
        const QString key = QString::number(runStart) + QLatin1Char('-') + s.id;
        const auto it = std::find_if(lines.begin(), lines.end(), [&](const LogLine& line) { return line.id == key; });
        if (it == lines.end()) {
            lines.append(LogLine{key, s.speaker, s.text, carriedTimecode(s), s.channel});
        } else if (it->text != s.text || it->speaker != s.speaker) {
            it->text = s.text;
            it->speaker = s.speaker;
        }
    }
    return lines;
}

LogEntry entry(const QString& type, bool open = false)
{
    LogEntry e;
    e.id = QUuid::createUuid();
    e.time = Date::fromSecondsSince1970(1699999000.0);
    e.timecode = QStringLiteral("01:00:00:00");
    e.type = type;
    e.open = open;
    return e;
}

} // namespace

class TestLoggingLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newLogIsEmpty()
    {
        Harness h;
        QVERIFY(!h.log.id().isNull());
        QCOMPARE(h.log.createdAt(), h.now);
        QVERIFY(h.log.entries().isEmpty());
        QVERIFY(h.log.transcript().isEmpty());
        QVERIFY(h.log.lineIndex().isEmpty());
        QVERIFY(!h.log.shootToken());
        const LogSession session = h.log.snapshotSession();
        QVERIFY(session.transcript.has_value());
        QVERIFY(session.transcript->isEmpty());
    }

    void mergingTwicePublishesNothing()
    {
        Harness h;
        Events events(h.log);
        const QList<DisplaySegment> segments{segment("0-1", "one"), segment("0-2", "two"), segment("1-1", "three")};
        h.log.mergeSegments(segments, 100, carriedTimecode);
        QCOMPARE(events.take(), QStringList({"inserted 0 2", "transcript"}));
        const QList<LogLine> before = h.log.transcript();
        h.log.mergeSegments(segments, 100, carriedTimecode);
        QCOMPARE(events.take(), QStringList());
        // Nothing changed, so the published list was not even detached.
        QVERIFY(h.log.transcript().constData() == before.constData());
    }

    void changedTextKeepsLine()
    {
        Harness h;
        Events events(h.log);
        int asked = 0;
        const auto timecodeFor = [&](const DisplaySegment& s) {
            ++asked;
            return s.timecode;
        };
        h.log.mergeSegments(QList{segment("a", "hel", std::nullopt, 2), segment("b", "x")}, 100, timecodeFor);
        events.take();
        DisplaySegment grown = segment("a", "hello there", std::nullopt, 5);
        grown.timecode = QStringLiteral("later");
        h.log.mergeSegments(QList{grown}, 100, timecodeFor);
        QCOMPARE(events.take(), QStringList({"changed 0 0", "transcript"}));
        QCOMPARE(asked, 2);
        QCOMPARE(h.log.transcript().at(0), (LogLine{"100-a", std::nullopt, "hello there", "tc a", 2}));
        QCOMPARE(h.log.lineIndex().value("100-a"), 0);
    }

    void speakerChange_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("changes");
        QTest::newRow("absent to present") << absent << "Ann" << true;
        QTest::newRow("present to absent") << "Ann" << absent << true;
        QTest::newRow("renamed") << "Ann"
                                 << "Bob" << true;
        QTest::newRow("case only") << "Ann"
                                   << "ann" << true;
        QTest::newRow("empty name is not absent") << absent << "" << true;
        QTest::newRow("absent stays absent") << absent << absent << false;
        QTest::newRow("same name") << "Ann"
                                   << "Ann" << false;
    }

    void speakerChange()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(bool, changes);
        Harness h;
        h.log.mergeSegments(QList{segment("a", "words", speakerFrom(before))}, 7, carriedTimecode);
        Events events(h.log);
        h.log.mergeSegments(QList{segment("a", "words", speakerFrom(after))}, 7, carriedTimecode);
        QCOMPARE(events.take(), changes ? QStringList({"changed 0 0", "transcript"}) : QStringList());
        QCOMPARE(h.log.transcript().at(0).speaker, speakerFrom(after));
        QCOMPARE(h.log.transcript().size(), 1);
    }

    void runStartsKeepLinesApart_data()
    {
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("second");
        QTest::addColumn<QStringList>("ids");
        QTest::newRow("later run") << qint64(1700000000) << qint64(1700000100)
                                   << QStringList{"1700000000-0-1", "1700000000-0-2", "1700000100-0-1",
                                                  "1700000100-0-2"};
        QTest::newRow("negative start") << qint64(-5) << qint64(5) << QStringList{"-5-0-1", "-5-0-2", "5-0-1", "5-0-2"};
        QTest::newRow("same start is the same run") << qint64(9) << qint64(9) << QStringList{"9-0-1", "9-0-2"};
    }

    void runStartsKeepLinesApart()
    {
        QFETCH(qint64, first);
        QFETCH(qint64, second);
        QFETCH(QStringList, ids);
        Harness h;
        h.log.mergeSegments(QList{segment("0-1", "a"), segment("0-2", "b")}, first, carriedTimecode);
        h.log.mergeSegments(QList{segment("0-1", "a"), segment("0-2", "b")}, second, carriedTimecode);
        QStringList got;
        for (const LogLine& line : h.log.transcript())
            got << line.id;
        QCOMPARE(got, ids);
        QCOMPARE(h.log.lineIndex().size(), ids.size());
        for (int row = 0; row < ids.size(); ++row)
            QCOMPARE(h.log.lineIndex().value(ids.at(row), -1), row);
    }

    void rowSignals_data()
    {
        QTest::addColumn<QList<int>>("changedRows");
        QTest::addColumn<int>("added");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one appended") << QList<int>{} << 1 << QStringList{"inserted 6 6", "transcript"};
        QTest::newRow("run appended") << QList<int>{} << 3 << QStringList{"inserted 6 8", "transcript"};
        QTest::newRow("last changed") << QList<int>{5} << 0 << QStringList{"changed 5 5", "transcript"};
        QTest::newRow("runs out of order")
            << QList<int>{4, 0, 3, 1} << 0 << QStringList{"changed 0 1", "changed 3 4", "transcript"};
        QTest::newRow("changed twice") << QList<int>{2, 2} << 0 << QStringList{"changed 2 2", "transcript"};
        QTest::newRow("changed and appended")
            << QList<int>{0, 2, 5} << 2
            << QStringList{"changed 0 0", "changed 2 2", "changed 5 5", "inserted 6 7", "transcript"};
        QTest::newRow("all changed") << QList<int>{0, 1, 2, 3, 4, 5} << 0 << QStringList{"changed 0 5", "transcript"};
    }

    void rowSignals()
    {
        QFETCH(QList<int>, changedRows);
        QFETCH(int, added);
        QFETCH(QStringList, expected);
        Harness h;
        QList<DisplaySegment> segments;
        for (int i = 0; i < 6; ++i)
            segments << segment(QString::number(i), QStringLiteral("line %1").arg(i));
        h.log.mergeSegments(segments, 1, carriedTimecode);
        Events events(h.log);
        QList<DisplaySegment> delta;
        for (int row : changedRows) {
            segments[row].text += QLatin1Char('+');
            delta << segments[row];
        }
        for (int i = 0; i < added; ++i)
            delta << segment(QStringLiteral("new %1").arg(i), QStringLiteral("more"));
        h.log.mergeSegments(delta, 1, carriedTimecode);
        QCOMPARE(events.take(), expected);
    }

    void editUndoneWithinOneMergeIsSilent()
    {
        Harness h;
        h.log.mergeSegments(QList{segment("a", "x", QString("Ann"))}, 1, carriedTimecode);
        Events events(h.log);
        h.log.mergeSegments(QList{segment("a", "y"), segment("a", "x", QString("Ann"))}, 1, carriedTimecode);
        QCOMPARE(events.take(), QStringList());
        QCOMPARE(h.log.transcript().at(0).text, QStringLiteral("x"));
    }

    void lineAddedAndEditedInOneMergeIsInserted()
    {
        Harness h;
        h.log.mergeSegments(QList{segment("a", "x")}, 1, carriedTimecode);
        Events events(h.log);
        h.log.mergeSegments(QList{segment("b", "first"), segment("b", "second")}, 1, carriedTimecode);
        QCOMPARE(events.take(), QStringList({"inserted 1 1", "transcript"}));
        QCOMPARE(h.log.transcript().at(1).text, QStringLiteral("second"));
    }

    // Random growth, edits and repeats, handing the log only what changed, must match the plain
    // merge over the whole list; replaying the row signals onto a mirror must give the log.
    void incrementalMatchesWholeListMerge()
    {
        QRandomGenerator random(20240611);
        const QStringList words{"hi", "hello", "hello there", "", "ok"};
        const QStringList speakers{absent, "Ann", "Bob"};
        for (int sequence = 0; sequence < 60; ++sequence) {
            Harness h;
            Events events(h.log);
            QList<LogLine> reference;
            QList<LogLine> mirror;
            QList<DisplaySegment> engine;
            qint64 runStart = 1000;
            int nextId = 0;
            for (int step = 0; step < 40; ++step) {
                const QString where = QStringLiteral("sequence %1 step %2").arg(sequence).arg(step);
                const auto pick = [&](const QStringList& from) { return from.at(random.bounded(int(from.size()))); };
                QList<DisplaySegment> delta;
                const int op = random.bounded(10);
                if (op < 4 || engine.isEmpty()) {
                    for (int n = random.bounded(1, 4); n > 0; --n) {
                        engine << segment(QStringLiteral("%1-%2").arg(nextId % 3).arg(nextId), pick(words),
                                          speakerFrom(pick(speakers)), nextId % 3);
                        ++nextId;
                        delta << engine.last();
                    }
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
                } else {
                    // A new run: the engine starts its list again, ids and all.
                    runStart += random.bounded(2);
                    engine.clear();
                    nextId = 0;
                    continue;
                }

                const QList<LogLine> expected = referenceMerge(reference, engine, runStart);
                h.log.mergeSegments(delta, runStart, carriedTimecode);
                QVERIFY2(h.log.transcript() == expected, qPrintable(where));

                const QStringList published = events.take();
                for (const QString& event : published.mid(0, published.size() - 1)) {
                    const QStringList parts = event.split(QLatin1Char(' '));
                    QVERIFY2(parts.size() == 3, qPrintable(where + ": " + event));
                    const int first = parts.at(1).toInt();
                    const int last = parts.at(2).toInt();
                    QVERIFY2(first <= last && last < h.log.transcript().size(), qPrintable(where + ": " + event));
                    if (parts.at(0) == QLatin1String("inserted")) {
                        QVERIFY2(first == mirror.size(), qPrintable(where + ": " + event));
                        mirror.append(h.log.transcript().mid(first, last - first + 1));
                    } else {
                        QVERIFY2(parts.at(0) == QLatin1String("changed") && last < mirror.size(),
                                 qPrintable(where + ": " + event));
                        for (int row = first; row <= last; ++row) {
                            QVERIFY2(mirror.at(row) != h.log.transcript().at(row), qPrintable(where + ": idle row"));
                            mirror[row] = h.log.transcript().at(row);
                        }
                    }
                }
                if (expected == reference) {
                    QVERIFY2(published.isEmpty(), qPrintable(where + ": " + published.join(", ")));
                } else {
                    QVERIFY2(published.last() == QLatin1String("transcript"), qPrintable(where));
                    QVERIFY2(published.count(QStringLiteral("transcript")) == 1, qPrintable(where));
                }
                QVERIFY2(mirror == h.log.transcript(), qPrintable(where));
                for (int row = 0; row < expected.size(); ++row)
                    QVERIFY2(h.log.lineIndex().value(expected.at(row).id, -1) == row, qPrintable(where));
                QVERIFY2(h.log.lineIndex().size() == expected.size(), qPrintable(where));
                reference = expected;
            }
        }
    }

    void snapshotIsAValue()
    {
        Harness h;
        h.log.setShootToken(QStringLiteral("shoot-1"));
        h.log.appendEntry(entry("broll"));
        h.log.mergeSegments(QList{segment("a", "x")}, 1, carriedTimecode);
        const LogSession session = h.log.snapshotSession();
        h.log.mergeSegments(QList{segment("a", "changed"), segment("b", "y")}, 1, carriedTimecode);
        h.log.setNote(h.log.entries().at(0).id, QStringLiteral("note"));
        QCOMPARE(session.transcript->size(), 1);
        QCOMPARE(session.transcript->at(0).text, QStringLiteral("x"));
        QCOMPARE(session.entries.at(0).note, QString());
        QCOMPARE(session.id, h.log.id());
        QCOMPARE(session.createdAt, h.log.createdAt());
        QCOMPARE(session.shootToken, std::optional<QString>("shoot-1"));

        Harness other;
        other.log.load(h.log.snapshotSession());
        QCOMPARE(other.log.snapshotSession(), h.log.snapshotSession());
    }

    void loadClosesEntriesAndRebuildsIndex()
    {
        Harness h;
        h.log.mergeSegments(QList{segment("a", "stale")}, 1, carriedTimecode);
        h.log.appendEntry(entry("broll"));
        LogSession session;
        session.id = QUuid::createUuid();
        session.createdAt = Date::fromSecondsSince1970(1600000000.0);
        session.shootToken = QStringLiteral("tok");
        LogEntry open = entry("broll", true);
        open.summarising = true;
        open.highlight = QStringLiteral("words");
        session.entries = {open, entry("note")};

        Events events(h.log);
        h.log.load(session);
        QCOMPARE(events.take(), QStringList({"id", "createdAt", "shootToken", "reset", "transcript", "entries"}));
        QCOMPARE(h.log.id(), session.id);
        QCOMPARE(h.log.createdAt(), session.createdAt);
        QCOMPARE(h.log.shootToken(), session.shootToken);
        QVERIFY(h.log.transcript().isEmpty());
        QVERIFY(h.log.lineIndex().isEmpty());
        QCOMPARE(h.log.entries().size(), 2);
        const LogEntry& loaded = h.log.entries().at(0);
        QVERIFY(!loaded.open);
        QVERIFY(!loaded.summarising);
        QVERIFY(!loaded.endTime);
        QVERIFY(!loaded.timecodeOut);
        QCOMPARE(loaded.highlight, QStringLiteral("words"));
        QCOMPARE(h.log.entries().at(1), session.entries.at(1));
        QCOMPARE(h.log.openEntry("broll"), std::nullopt);

        // The old run's key is gone with the old transcript: the same segment is a new line.
        h.log.mergeSegments(QList{segment("a", "fresh")}, 1, carriedTimecode);
        QCOMPARE(h.log.transcript().size(), 1);
        QCOMPARE(h.log.transcript().at(0).text, QStringLiteral("fresh"));
    }

    void loadWithRepeatedLineIds()
    {
        Harness h;
        LogSession session;
        session.id = QUuid::createUuid();
        session.transcript = QList<LogLine>{{"5-a", std::nullopt, "first", "tc1", 0},
                                            {"5-b", std::nullopt, "other", "tc2", 1},
                                            {"5-a", QString("Ann"), "twin", "tc3", 0}};
        h.log.load(session);
        QCOMPARE(h.log.transcript(), *session.transcript);
        QCOMPARE(h.log.lineIndex().size(), 2);
        QCOMPARE(h.log.lineIndex().value("5-a"), 0);
        QCOMPARE(h.log.lineIndex().value("5-b"), 1);

        Events events(h.log);
        h.log.mergeSegments(QList{segment("a", "updated"), segment("c", "new")}, 5, carriedTimecode);
        QCOMPARE(events.take(), QStringList({"changed 0 0", "inserted 3 3", "transcript"}));
        QCOMPARE(h.log.transcript().at(0).text, QStringLiteral("updated"));
        QCOMPARE(h.log.transcript().at(2).text, QStringLiteral("twin"));
        QCOMPARE(h.log.lineIndex().value("5-c"), 3);
    }

    void resetStartsAnew()
    {
        Harness h;
        const QUuid oldId = h.log.id();
        h.log.setShootToken(QStringLiteral("tok"));
        h.log.appendEntry(entry("broll"));
        h.log.mergeSegments(QList{segment("a", "x"), segment("b", "y")}, 1, carriedTimecode);
        h.now = h.now.addingSeconds(60.0);
        Events events(h.log);
        h.log.reset();
        QCOMPARE(events.take(), QStringList({"id", "createdAt", "shootToken", "reset", "transcript", "entries"}));
        QVERIFY(h.log.id() != oldId && !h.log.id().isNull());
        QCOMPARE(h.log.createdAt(), h.now);
        QVERIFY(h.log.entries().isEmpty());
        QVERIFY(!h.log.shootToken());
        QVERIFY(h.log.transcript().isEmpty());
        QVERIFY(h.log.lineIndex().isEmpty());
        h.log.mergeSegments(QList{segment("b", "y")}, 1, carriedTimecode);
        QCOMPARE(events.take(), QStringList({"inserted 0 0", "transcript"}));
    }

    void openRange_data()
    {
        QTest::addColumn<double>("secondsBack");
        QTest::addColumn<double>("offset");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("pre-roll") << 5.0 << -5.0;
        QTest::newRow("now") << 0.0 << 0.0;
        QTest::newRow("ahead") << -2.5 << 2.5;
        QTest::newRow("nan") << std::nan("") << 0.0;
        QTest::newRow("infinite") << inf << 0.0;
        QTest::newRow("minus infinite") << -inf << 0.0;
    }

    void openRange()
    {
        QFETCH(double, secondsBack);
        QFETCH(double, offset);
        Harness h;
        QSignalSpy changed(&h.log, &LoggingLog::entriesChanged);
        const QUuid id = h.log.openRange(QStringLiteral("broll"), secondsBack);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(h.log.entries().size(), 1);
        LogEntry expected;
        expected.id = id;
        expected.time = h.now.addingSeconds(offset);
        expected.timecode = h.timecode.timecodeAt(expected.time);
        expected.type = QStringLiteral("broll");
        expected.open = true;
        QCOMPARE(h.log.entries().at(0), expected);
        QVERIFY(!id.isNull());
        QCOMPARE(h.log.openEntry("broll"), std::optional<QUuid>(id));
    }

    void closeRange_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<bool>("summarising");
        QTest::newRow("silence") << QString() << false;
        QTest::newRow("words") << "we roll" << true;
        QTest::newRow("a space") << " " << true;
    }

    void closeRange()
    {
        QFETCH(QString, words);
        QFETCH(bool, summarising);
        Harness h;
        const QUuid id = h.log.openRange(QStringLiteral("broll"), 5.0);
        const LogEntry opened = h.log.entries().at(0);
        h.now = h.now.addingSeconds(12.0);
        QSignalSpy changed(&h.log, &LoggingLog::entriesChanged);
        h.log.closeRange(id, words);
        QCOMPARE(changed.count(), 1);
        const LogEntry& closed = h.log.entries().at(0);
        QCOMPARE(closed.endTime, std::optional<Date>(h.now));
        QCOMPARE(closed.timecodeOut, std::optional<QString>(h.timecode.timecodeAt(h.now)));
        QVERIFY(closed.timecodeOut != opened.timecode);
        QVERIFY(!closed.open);
        QCOMPARE(closed.highlight, words);
        QCOMPARE(closed.summarising, summarising);
        QCOMPARE(closed.time, opened.time);
        QCOMPARE(closed.timecode, opened.timecode);
        QCOMPARE(h.log.openEntry("broll"), std::nullopt);
    }

    void openEntryFindsLatestOpenOfKind()
    {
        Harness h;
        QCOMPARE(h.log.openEntry("broll"), std::nullopt);
        const QUuid first = h.log.openRange(QStringLiteral("broll"), 5.0);
        const QUuid second = h.log.openRange(QStringLiteral("broll"), 5.0);
        h.log.appendEntry(entry("broll"));
        h.log.appendEntry(entry("Broll", true));
        h.log.appendEntry(entry("interview", true));
        QCOMPARE(h.log.openEntry("broll"), std::optional<QUuid>(second));
        h.log.closeRange(second, QString());
        QCOMPARE(h.log.openEntry("broll"), std::optional<QUuid>(first));
        QCOMPARE(h.log.openEntry("missing"), std::nullopt);
    }

    void entryEdits_data()
    {
        QTest::addColumn<QStringList>("tagsBefore");
        QTest::addColumn<QString>("op");
        QTest::addColumn<QStringList>("argument");
        QTest::addColumn<QStringList>("tagsAfter");
        QTest::addColumn<bool>("publishes");
        QTest::newRow("add") << QStringList{"GV"} << "add" << QStringList{"Sync"} << QStringList{"GV", "Sync"} << true;
        QTest::newRow("add other case") << QStringList{"Sync"} << "add" << QStringList{"sync"}
                                        << QStringList{"Sync", "sync"} << true;
        QTest::newRow("add present") << QStringList{"Sync", "GV"} << "add" << QStringList{"Sync"}
                                     << QStringList{"Sync", "GV"} << false;
        QTest::newRow("remove twins") << QStringList{"A", "B", "A", "C", "A"} << "remove" << QStringList{"A"}
                                      << QStringList{"B", "C"} << true;
        QTest::newRow("remove other case")
            << QStringList{"A"} << "remove" << QStringList{"a"} << QStringList{"A"} << false;
        QTest::newRow("suggest keeps twins")
            << QStringList{"Keyword: cut"} << "suggest" << QStringList{"Keyword: cut", "X"}
            << QStringList{"Keyword: cut", "Keyword: cut", "X"} << true;
    }

    void entryEdits()
    {
        QFETCH(QStringList, tagsBefore);
        QFETCH(QString, op);
        QFETCH(QStringList, argument);
        QFETCH(QStringList, tagsAfter);
        QFETCH(bool, publishes);
        Harness h;
        LogEntry e = entry("note");
        e.tags = tagsBefore;
        h.log.appendEntry(entry("note"));
        h.log.appendEntry(e);
        QSignalSpy changed(&h.log, &LoggingLog::entriesChanged);
        if (op == QLatin1String("add"))
            h.log.addTag(argument.at(0), e.id);
        else if (op == QLatin1String("remove"))
            h.log.removeTag(argument.at(0), e.id);
        else
            h.log.suggest(e.id, argument);
        QCOMPARE(h.log.entries().at(1).tags, tagsAfter);
        QCOMPARE(h.log.entries().at(1).suggested, op == QLatin1String("suggest"));
        QCOMPARE(changed.count(), publishes ? 1 : 0);
        QVERIFY(h.log.entries().at(0).tags.isEmpty());
    }

    void suggestThenKeep()
    {
        Harness h;
        const LogEntry e = entry("keyword");
        h.log.appendEntry(e);
        h.log.suggest(e.id, {QStringLiteral("Keyword: cut")});
        QVERIFY(h.log.entries().at(0).suggested);
        QSignalSpy changed(&h.log, &LoggingLog::entriesChanged);
        h.log.keep(e.id);
        QVERIFY(!h.log.entries().at(0).suggested);
        QCOMPARE(h.log.entries().at(0).tags, QStringList{"Keyword: cut"});
        h.log.keep(e.id);
        QCOMPARE(changed.count(), 1);
    }

    void summaryThroughMarker_data()
    {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<bool>("present");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("one space") << " " << true;
        QTest::newRow("text") << "A wide shot" << true;
    }

    void summaryThroughMarker()
    {
        QFETCH(QString, summary);
        QFETCH(bool, present);
        Harness h;
        const QUuid id = h.log.openRange(QStringLiteral("broll"), 5.0);
        h.log.closeRange(id, QStringLiteral("words"));
        h.log.setSummary(id, summary);
        const LogEntry& e = h.log.entries().at(0);
        QVERIFY(!e.summarising);
        QCOMPARE(e.asMarker().summary, present ? std::optional<QString>(summary) : std::nullopt);
    }

    void unknownIdChangesNothing()
    {
        Harness h;
        LogEntry e = entry("broll", true);
        e.suggested = true;
        e.tags = QStringList{"A"};
        h.log.appendEntry(e);
        const QList<LogEntry> before = h.log.entries();
        QSignalSpy changed(&h.log, &LoggingLog::entriesChanged);
        const QUuid stranger = QUuid::createUuid();
        h.log.closeRange(stranger, QStringLiteral("w"));
        h.log.setSummary(stranger, QStringLiteral("s"));
        h.log.addTag(QStringLiteral("B"), stranger);
        h.log.removeTag(QStringLiteral("A"), stranger);
        h.log.suggest(stranger, {QStringLiteral("C")});
        h.log.keep(stranger);
        h.log.setNote(stranger, QStringLiteral("n"));
        h.log.removeEntry(stranger);
        h.log.closeRange(QUuid(), QString());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(h.log.entries(), before);
    }

    void directEdits()
    {
        Harness h;
        QSignalSpy changed(&h.log, &LoggingLog::entriesChanged);
        const LogEntry a = entry("note");
        const LogEntry b = entry("note");
        h.log.appendEntry(a);
        h.log.appendEntry(b);
        h.log.setNote(b.id, QStringLiteral("Great take"));
        QCOMPARE(h.log.entries().at(1).note, QStringLiteral("Great take"));
        h.log.setNote(b.id, QStringLiteral("Great take"));
        h.log.removeEntry(a.id);
        QCOMPARE(h.log.entries().size(), 1);
        QCOMPARE(h.log.entries().at(0).id, b.id);
        QCOMPARE(changed.count(), 4);
        h.log.setEntries(h.log.entries());
        QCOMPARE(changed.count(), 4);
        h.log.setEntries({});
        QCOMPARE(changed.count(), 5);
        QVERIFY(h.log.entries().isEmpty());
    }

    void shootTokenPublishesChanges()
    {
        Harness h;
        QSignalSpy changed(&h.log, &LoggingLog::shootTokenChanged);
        h.log.setShootToken(std::nullopt);
        h.log.setShootToken(QStringLiteral("t"));
        h.log.setShootToken(QStringLiteral("t"));
        h.log.setShootToken(QString());
        QCOMPARE(changed.count(), 2);
        QCOMPARE(h.log.shootToken(), std::optional<QString>(QString()));
    }
};

PINDLE_TEST(TestLoggingLog)
#include "test_logging_log.moc"
