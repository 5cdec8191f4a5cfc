#include "common/TestMain.h"

#include "screens/LineUse.h"

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
        QTest::newRow("after an emoji (two units)") << "🎬 take two, rolling" << QStringList{"🎬 take two"}
                                                    << ", rolling" << 1;
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
};

PINDLE_TEST(LineUseTest)
#include "LineUseTest.moc"
