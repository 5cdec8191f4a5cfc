#include "AgentTestSupport.h"
#include "common/TestMain.h"

#include "audio/TranscriptBook.h"

#include <QRandomGenerator>

#include <climits>

using namespace agent_test;

namespace {

DisplaySegment line(const QString& id, int channel, const QString& text, double end)
{
    DisplaySegment s;
    s.id = id, s.channel = channel, s.text = text, s.startSecs = end - 1.0, s.endSecs = end;
    return s;
}

// Picks from `watched` at now = 100 s and a minimum of 12 words; the indices picked.
QList<int> pick(const QList<DisplaySegment>& segments, const QList<int>& watched, int& cursor,
                QHash<int, QString>& judged, QList<ChannelAgent::Pick>* picks = nullptr)
{
    QList<ChannelAgent::Watched> channels;
    for (const int index : watched)
        channels.append({index, u"Ch %1"_s.arg(index)});
    const auto made = ChannelAgent::pickChannels(segments, channels, 100.0, 12, cursor, judged);
    QList<int> indices;
    for (const ChannelAgent::Pick& p : made)
        indices.append(p.index);
    if (picks)
        *picks = made;
    return indices;
}

} // namespace

class ChannelPickingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Words are pieces between U+0020 spaces only.
    void wordCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("words");
        QTest::newRow("plain") << "two words" << 2;
        QTest::newRow("dash and line break join") << "well-known\nfact" << 1;
        QTest::newRow("tab and no-break space join") << "a\tb\u00A0c" << 1;
        QTest::newRow("double, leading and trailing spaces add nothing") << "  a  b  " << 2;
        QTest::newRow("empty") << "" << 0;
    }
    void wordCount()
    {
        QFETCH(QString, text);
        QFETCH(int, words);
        QCOMPARE(ChannelAgent::wordCount(text), words);
    }

    // Skipping the rows that end before the window picks the same channels with the same lines,
    // judged the same way, whatever the lines' lengths and order.
    void skippingOldRowsPicksTheSame_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 5") << 5u;
        QTest::newRow("seed 42") << 42u;
    }
    void skippingOldRowsPicksTheSame()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        TranscriptBook book;
        book.clear(Date::fromSecondsSince1970(1'700'000'000.0));
        QList<ChannelAgent::Watched> channels;
        for (int index = 0; index < 4; ++index)
            channels.append({index, u"Ch %1"_s.arg(index)});
        int cursorAll = 0;
        int cursorSkip = 0;
        QHash<int, QString> judgedAll;
        QHash<int, QString> judgedSkip;
        for (int step = 0; step < 60; ++step) {
            QList<DisplaySegment> batch;
            for (int i = random.bounded(1, 6); i > 0; --i) {
                const double start = step * 20.0 + random.bounded(40);
                DisplaySegment s = line(u"%1-%2"_s.arg(step).arg(i), random.bounded(5), u"a b c d e f g"_s,
                                        start + 1.0 + random.bounded(random.bounded(5) == 0 ? 150 : 8));
                s.startSecs = start;
                batch.append(s);
            }
            book.upsert(batch);
            const double now = step * 20.0 + 30.0;
            const auto all = ChannelAgent::pickChannels(book.rows(), channels, now, 12, cursorAll, judgedAll);
            const auto skip = ChannelAgent::pickChannels(book.rows(), channels, now, 12, cursorSkip, judgedSkip,
                                                         book.firstEndingFrom(now - ChannelAgent::kWindowSeconds));
            QCOMPARE(skip.size(), all.size());
            for (qsizetype p = 0; p < all.size(); ++p) {
                QCOMPARE(skip.at(p).index, all.at(p).index);
                QCOMPARE(skip.at(p).lines, all.at(p).lines);
            }
            QCOMPARE(cursorSkip, cursorAll);
            QCOMPARE(judgedSkip, judgedAll);
        }
    }

    // Eight channels with enough words: six from the cursor on, and the next tick the two left out.
    // Watched indices at the ends of the int range are found like small ones. A tick that picks
    // nothing leaves the cursor, even past the end of a shorter list.
    void sixOfEightFromTheCursor()
    {
        const QList<int> indices{INT_MIN, 1, 2, 3, 4, 5, 6, INT_MAX};
        QList<DisplaySegment> segments;
        for (const int index : indices)
            segments.append(line(u"%1-1"_s.arg(index), index, words(12), 100.0));
        QHash<int, QString> judged;
        int cursor = 5;
        QCOMPARE(pick(segments, indices, cursor, judged), (QList<int>{5, 6, INT_MAX, INT_MIN, 1, 2}));
        QCOMPARE(cursor, 3);
        QCOMPARE(pick(segments, indices, cursor, judged), (QList<int>{3, 4}));
        QCOMPARE(cursor, 5);
        QVERIFY(pick(segments, {1, 2, 3}, cursor, judged).isEmpty());
        QCOMPARE(cursor, 5);
    }

    // Only the last 90 s count toward the minimum; a channel short of it keeps its mark, one that
    // reaches it sends only its lines of the window, in order, and a line that only grows in place
    // does not make it eligible again.
    void wordsInTheWindow_data()
    {
        QTest::addColumn<QList<DisplaySegment>>("segments");
        QTest::addColumn<QStringList>("sent"); // empty: not picked
        QTest::newRow("11 words") << QList<DisplaySegment>{line("a", 0, words(11), 100)} << QStringList{};
        QTest::newRow("12 words over two lines, another channel between")
            << QList<DisplaySegment>{line("a", 0, words(5), 95), line("x", 1, words(30), 99),
                                     line("b", 0, words(7), 100)}
            << QStringList{"a", "b"};
        QTest::newRow("a line ended 90 s ago counts, 91 s ago not")
            << QList<DisplaySegment>{line("old", 0, words(30), 9), line("edge", 0, words(12), 10)}
            << QStringList{"edge"};
        QTest::newRow("only old words") << QList<DisplaySegment>{line("old", 0, words(30), 9),
                                                                 line("new", 0, words(11), 50)}
                                        << QStringList{};
    }
    void wordsInTheWindow()
    {
        QFETCH(QList<DisplaySegment>, segments);
        QFETCH(QStringList, sent);
        QHash<int, QString> judged{{0, u"before"_s}};
        int cursor = 0;
        QList<ChannelAgent::Pick> picks;
        QCOMPARE(pick(segments, {0}, cursor, judged, &picks).size(), sent.isEmpty() ? 0 : 1);
        QCOMPARE(judged.value(0), sent.isEmpty() ? u"before"_s : segments.constLast().id);
        if (sent.isEmpty())
            return;
        QCOMPARE(transcriber_test::ids(picks.at(0).lines), sent);
        segments.last().text += u" and more"_s;
        QVERIFY(pick(segments, {0}, cursor, judged).isEmpty());
        segments.append(line("next", 0, words(12), 100));
        QCOMPARE(pick(segments, {0}, cursor, judged), QList<int>{0});
    }
};

PINDLE_TEST(ChannelPickingTest)
#include "ChannelPickingTest.moc"
