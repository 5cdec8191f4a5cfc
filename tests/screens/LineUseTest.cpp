#include "common/TestMain.h"

#include "model/LoggingLog.h"
#include "platform/ManualClock.h"
#include "screens/LineUse.h"

#include <QRandomGenerator>

namespace {

DisplaySegment line(const QString& id, const QString& text)
{
    DisplaySegment segment;
    segment.id = id;
    segment.text = text;
    return segment;
}

LogEntry quoting(const QString& lineID, const QString& quote)
{
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.lineID = lineID;
    entry.highlight = quote;
    return entry;
}

// A random entry naming one of a few lines, or several picked ones, or none.
LogEntry randomEntry(QRandomGenerator& random)
{
    static const QStringList quotes{QString(), QStringLiteral("go"), QStringLiteral("the boat"),
                                    QStringLiteral("go go")};
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.highlight = quotes.at(random.bounded(quotes.size()));
    const int kind = random.bounded(4);
    const auto someLine = [&] { return QStringLiteral("L%1").arg(random.bounded(8)); };
    if (kind == 0) {
        QStringList picked;
        for (int i = random.bounded(1, 4); i > 0; --i)
            picked.append(someLine());
        entry.lineIDs = picked;
        entry.lineID = picked.constFirst();
    } else if (kind < 3) {
        entry.lineID = someLine();
    }
    return entry;
}

// One random edit of the log, as the screen, the picker and the log pane make them.
void edit(LoggingLog& log, QRandomGenerator& random)
{
    const LogEntries& entries = log.entries();
    const auto someId = [&] { return entries.at(random.bounded(entries.size())).id; };
    const int kind = entries.isEmpty() ? 0 : random.bounded(8);
    if (kind <= 2) {
        log.appendEntry(randomEntry(random));
    } else if (kind == 3) {
        log.removeEntry(someId());
    } else if (kind == 4) {
        // The picker's Save: the entry rebuilt from other lines.
        LogEntry rebuilt = randomEntry(random);
        rebuilt.id = someId();
        log.replaceEntry(rebuilt);
    } else if (kind == 5) {
        log.setNote(someId(), QStringLiteral("note %1").arg(random.bounded(100)));
    } else if (kind == 6) {
        // Some entries leave and some come, in place, as a session's entries are set.
        QList<LogEntry> next;
        for (const LogEntry& entry : entries)
            if (random.bounded(4) != 0)
                next.append(entry);
        next.insert(random.bounded(next.size() + 1), randomEntry(random));
        log.setEntries(next);
    } else {
        // A hand-edited file's order, or one id on two rows.
        QList<LogEntry> next(entries.cbegin(), entries.cend());
        if (random.bounded(2) == 0)
            std::reverse(next.begin(), next.end());
        else
            next.append(next.at(random.bounded(next.size())));
        log.setEntries(next);
    }
}

} // namespace

// Which words of a line the log holds: the new words after the furthest logged quote, counted in
// UTF-16 units; lines picked into an entry are logged whole.
class LineUseTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newWords_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("quotes");
        QTest::addColumn<QString>("newWords");
        QTest::addColumn<int>("state");
        QTest::newRow("nothing logged") << " we lose the light " << QStringList{} << "we lose the light" << 0;
        QTest::newRow("first half") << "we lose the light again" << QStringList{"we lose"} << "the light again" << 1;
        QTest::newRow("the end") << "we lose the light" << QStringList{"the light"} << "" << 2;
        QTest::newRow("furthest of two") << "a b c d" << QStringList{"c", "a b"} << "d" << 1;
        QTest::newRow("quote not in the line") << "a b c" << QStringList{"x"} << "a b c" << 1;
        QTest::newRow("empty quote marks nothing") << "a b c" << QStringList{""} << "a b c" << 1;
        QTest::newRow("first of two occurrences") << "go go now" << QStringList{"go"} << "go now" << 1;
        QTest::newRow("new words that repeat earlier words") << "go go" << QStringList{"go", "go"} << "" << 2;
        QTest::newRow("later quote after the earlier") << "go go now" << QStringList{"go", "go now"} << "" << 2;
        QTest::newRow("after an emoji (two units)")
            << "🎬 take two, rolling" << QStringList{"🎬 take two"} << ", rolling" << 1;
        QTest::newRow("case matters") << "Boat ahead" << QStringList{"boat"} << "Boat ahead" << 1;
    }
    void newWords()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, quotes);
        QFETCH(QString, newWords);
        QFETCH(int, state);
        QList<LogEntry> entries;
        for (const QString& quote : quotes)
            entries.append(quoting(QStringLiteral("L"), quote));
        const LineUse use(entries);
        const DisplaySegment segment = line(QStringLiteral("L"), text);
        QCOMPARE(use.newWords(segment), newWords);
        QCOMPARE(int(use.state(segment)), state);
    }

    // An entry built from picked lines quotes their joined text: each of those lines is logged
    // whole, marked from end to end, and offers no new words.
    void pickedLinesAreLoggedWhole()
    {
        LogEntry picked;
        picked.id = QUuid::createUuid();
        picked.lineIDs = QStringList{QStringLiteral("A"), QStringLiteral("B")};
        picked.highlight = QStringLiteral("Ada: first line\nBo: second line");
        const LogEntry later = quoting(QStringLiteral("B"), QStringLiteral("second"));
        const LineUse use({picked, later});
        const DisplaySegment a = line(QStringLiteral("A"), QStringLiteral("first line"));
        QCOMPARE(use.state(a), LineUse::State::FullyUsed);
        QCOMPARE(use.marks(a), (QList<std::pair<qsizetype, qsizetype>>{{0, 10}}));
        QCOMPARE(use.firstEntry(QStringLiteral("B")), std::optional(picked.id));
        QCOMPARE(use.loggedTexts(QStringLiteral("B")).size(), 2);
        QVERIFY(!use.isUsed(QStringLiteral("C")));
        QCOMPARE(use.state(line(QStringLiteral("C"), QStringLiteral("x"))), LineUse::State::Unused);
    }

    // Followed by the log's row news, entry by entry, the use of every line is what a build from
    // all the entries gives, and every line whose use changed is among the lines reported.
    void followsTheLogEntryByEntry_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 24; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void followsTheLogEntryByEntry()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        ManualClock clock;
        LoggingLog log(CameraTimecode::shared(), &clock);
        for (int i = random.bounded(6); i > 0; --i)
            log.appendEntry(randomEntry(random));
        LineUse use(log.entries());
        QSet<QString> touched;
        const auto note = [&](const QStringList& lines) { touched.unite(QSet<QString>(lines.cbegin(), lines.cend())); };
        connect(&log, &LoggingLog::entryRowsInserted, this,
                [&](int first, int last) { note(use.rowsInserted(log, first, last)); });
        connect(&log, &LoggingLog::entryRowsAboutToBeRemoved, this,
                [&](int first, int last) { use.rowsAboutToBeRemoved(log, first, last); });
        connect(&log, &LoggingLog::entryRowsRemoved, this, [&] { note(use.rowsRemoved(log)); });
        connect(&log, &LoggingLog::entryRowsChanged, this,
                [&](int first, int last) { note(use.rowsChanged(log, first, last)); });
        connect(&log, &LoggingLog::entriesReset, this, [&] { note(use.reset(log)); });

        for (int step = 0; step < 150; ++step) {
            const LineUse before(log.entries());
            touched.clear();
            edit(log, random);
            const LineUse built(log.entries());
            QVERIFY2(use == built, qPrintable(QStringLiteral("step %1").arg(step)));
            for (int n = 0; n < 8; ++n) {
                const DisplaySegment segment = line(QStringLiteral("L%1").arg(n), QStringLiteral("go go the boat"));
                if (before.marks(segment) != built.marks(segment) || before.state(segment) != built.state(segment) ||
                    before.firstEntry(segment.id) != built.firstEntry(segment.id))
                    QVERIFY2(touched.contains(segment.id), qPrintable(QStringLiteral("step %1").arg(step)));
            }
        }
    }
};

PINDLE_TEST(LineUseTest)
#include "LineUseTest.moc"
