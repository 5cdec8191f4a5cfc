#include "common/TestMain.h"

#include "test_transcriber_support.h"

#include "audio/KeywordAlerts.h"
#include "audio/StreamSet.h"
#include "audio/TranscriptQueries.h"

using namespace transcriber_test;

namespace {

DisplaySegment line(const QString& id, const QString& text, double start, double end,
                    const std::optional<QString>& speaker = QStringLiteral("Sam"), int channel = 0)
{
    DisplaySegment segment;
    segment.id = id;
    segment.text = text;
    segment.speaker = speaker;
    segment.startSecs = start;
    segment.endSecs = end;
    segment.channel = channel;
    segment.firstSeen = Date::fromSecondsSince1970(1'700'000'000.0 + std::max(start, 0.0));
    return segment;
}

// A book and the streams a query reads, with one open scripted stream on channel 0.
struct QueryRig {
    ManualClock clock{Date::fromSecondsSince1970(1'700'000'000.0)};
    CapturePath path{[](const QList<float>&) {}, &clock};
    TranscriptBook book;
    std::shared_ptr<ScriptedStream> stream;
    StreamSet set{path, book,
                  [this](const StreamRequest& request) {
                      stream = std::make_shared<ScriptedStream>(request);
                      return stream;
                  },
                  nullptr, clock};
    TranscriptQueries queries{book, set};

    QueryRig()
    {
        book.clear(clock.now());
        StreamRequest request;
        request.channel = 0;
        set.open(request, 1.0f, std::nullopt);
    }
};

} // namespace

// The transcript read as text: the window of a marked moment, the recent lines, the whole text
// and its cache.
class TranscriptQueriesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // (t - window, t]: the end exactly at t counts, exactly at t - window does not; an untimed
    // line (end -1) never does.
    void textInWindow_data()
    {
        QTest::addColumn<double>("t");
        QTest::addColumn<double>("window");
        QTest::addColumn<QString>("text");
        QTest::newRow("all") << 10.0 << 10.0 << "Sam: one\nSam: two\nAl: three";
        QTest::newRow("end at t counts") << 4.0 << 1.0 << "Sam: two";
        QTest::newRow("end at t - window does not") << 5.0 << 1.0 << "";
        QTest::newRow("just inside the window") << 4.999 << 1.0 << "Sam: two";
        QTest::newRow("zero window") << 4.0 << 0.0 << "";
        QTest::newRow("before every line") << 1.0 << 5.0 << "";
        QTest::newRow("negative t") << -1.0 << 5.0 << "";
    }
    void textInWindow()
    {
        QFETCH(double, t);
        QFETCH(double, window);
        QFETCH(QString, text);
        QueryRig rig;
        rig.book.upsert(QList<DisplaySegment>{line("a", "one", 1.0, 2.0), line("b", "two", 3.0, 4.0),
                                              line("c", "three", 6.0, 7.5, QStringLiteral("Al")),
                                              line("u", "untimed", -1.0, -1.0)});
        QCOMPARE(rig.queries.textInWindow(t, window), text);
    }

    // The timed lines that end within `seconds` of the newest word; when none, the words still
    // being heard; nothing before the first word.
    // A line that began early and ran long still counts once later, shorter lines have ended.
    void longEarlyLineCounts_data()
    {
        QTest::addColumn<double>("t");
        QTest::addColumn<QString>("text");
        QTest::newRow("only the long line reaches t") << 9.0 << "Sam: long";
        QTest::newRow("with a short one") << 5.0 << "Sam: later";
    }
    void longEarlyLineCounts()
    {
        QFETCH(double, t);
        QFETCH(QString, text);
        QueryRig rig;
        rig.book.upsert(QList<DisplaySegment>{line("l", "long", 0.5, 9.0), line("s", "short", 2.0, 3.0),
                                              line("m", "later", 4.0, 5.0)});
        QCOMPARE(rig.queries.textInWindow(t, 0.5), text);
    }

    void recentText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("speakers");
        QTest::addColumn<QString>("text");
        QTest::newRow("last two seconds with speakers") << 2.0 << true << "Sam: two\nSam: three";
        QTest::newRow("without speakers, spaced") << 2.0 << false << "two three";
        QTest::newRow("cutoff exactly at an end counts") << 4.0 << false << "one two three";
        QTest::newRow("nothing finished: the words in progress") << 0.25 << false << "heard";
        QTest::newRow("nothing at all that recent") << -0.5 << true << "";
    }
    void recentText()
    {
        QFETCH(double, seconds);
        QFETCH(bool, speakers);
        QFETCH(QString, text);
        QueryRig rig;
        QCOMPARE(rig.queries.recentText(seconds, speakers), QString());
        rig.book.upsert(QList<DisplaySegment>{line("a", "one", 1.0, 2.0), line("b", "two", 3.0, 4.5),
                                              line("c", "three", 5.0, 5.5), line("u", "untimed", -1.0, -1.0)});
        rig.stream->put(QStringLiteral("w"), QStringLiteral("heard"), 5.0, 6.0, rig.clock.now());
        rig.stream->lines.clear();
        QCOMPARE(rig.queries.newestWordEnd(), std::optional<double>(6.0));
        QCOMPARE(rig.queries.recentText(seconds, speakers), text);
    }

    // The joined text is made when read after a change, and only then.
    void fullTranscriptFollowsInvalidation()
    {
        QueryRig rig;
        QCOMPARE(rig.queries.fullTranscript(), QString());
        rig.book.upsert(QList<DisplaySegment>{line("a", "one", 1.0, 2.0), line("b", "two", 3.0, 4.0, std::nullopt)});
        QCOMPARE(rig.queries.fullTranscript(), QString());
        rig.queries.invalidate();
        QCOMPARE(rig.queries.fullTranscript(), QStringLiteral("Sam: one\ntwo"));
        rig.book.remove({QStringLiteral("a")});
        QCOMPARE(rig.queries.fullTranscript(), QStringLiteral("Sam: one\ntwo"));
        rig.queries.invalidate();
        QCOMPARE(rig.queries.fullTranscript(), QStringLiteral("two"));
    }
};

// Keyword alerts: once per line, in book order, everything again after the words or the
// listener change, and safe when the listener changes the transcript.
class KeywordAlertsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void alertsOncePerLine_data()
    {
        QTest::addColumn<QStringList>("keywords");
        QTest::addColumn<QStringList>("hits");
        QTest::newRow("one word") << QStringList{"quota"} << QStringList{"b:quota"};
        QTest::newRow("whole words only") << QStringList{"quot"} << QStringList{};
        QTest::newRow("case does not matter") << QStringList{"BUDGET"} << QStringList{"a:BUDGET", "b:BUDGET"};
        QTest::newRow("first keyword in list order")
            << QStringList{"quota", "budget"} << QStringList{"a:budget", "b:quota"};
        QTest::newRow("blank keywords never match") << QStringList{"  ", ""} << QStringList{};
        QTest::newRow("none") << QStringList{} << QStringList{};
    }
    void alertsOncePerLine()
    {
        QFETCH(QStringList, keywords);
        QFETCH(QStringList, hits);
        TranscriptBook book;
        book.clear(Date::fromSecondsSince1970(1'700'000'000.0));
        KeywordAlerts alerts(book);
        QStringList seen;
        alerts.setKeywords(keywords);
        alerts.setHandler(
            [&seen](int, const QString& keyword, const DisplaySegment& hit) { seen.append(hit.id + u':' + keyword); });
        const QStringList touched = book.upsert(QList<DisplaySegment>{line("b", "the quota and the budget", 3.0, 4.0),
                                                                      line("a", "a Budget line", 1.0, 2.0)});
        alerts.check(touched);
        QCOMPARE(seen, hits);
        // Checked again, changed or not, a line that alerted stays quiet.
        alerts.check(touched);
        book.upsert(QList<DisplaySegment>{line("b", "the quota and the budget, again", 3.0, 4.0)});
        alerts.check({QStringLiteral("b"), QStringLiteral("gone")});
        QCOMPARE(seen, hits);
        QCOMPARE(alerts.alertedLines().size(), hits.size());
    }

    // New words look at every line once, not only at the lines of the next merge; a new run
    // lets every line alert again.
    void newWordsRecheckEverything()
    {
        TranscriptBook book;
        book.clear(Date::fromSecondsSince1970(1'700'000'000.0));
        KeywordAlerts alerts(book);
        QStringList seen;
        alerts.setHandler(
            [&seen](int, const QString& keyword, const DisplaySegment& hit) { seen.append(hit.id + u':' + keyword); });
        book.upsert(QList<DisplaySegment>{line("a", "talk of the budget", 1.0, 2.0)});
        alerts.check({QStringLiteral("a")});
        QVERIFY(seen.isEmpty());
        alerts.setKeywords({QStringLiteral("budget")});
        const QStringList touched = book.upsert(QList<DisplaySegment>{line("b", "nothing here", 3.0, 4.0)});
        alerts.check(touched);
        QCOMPARE(seen, QStringList{QStringLiteral("a:budget")});
        alerts.clearAlerted();
        alerts.setHandler([&seen](int channel, const QString& keyword, const DisplaySegment& hit) {
            seen.append(hit.id + u':' + keyword + u':' + QString::number(channel));
        });
        alerts.check({});
        QCOMPARE(seen, (QStringList{"a:budget", "a:budget:0"}));
    }

    // A listener that changes the book while hits are reported sees every hit, once.
    void listenerMayChangeTheBook()
    {
        TranscriptBook book;
        book.clear(Date::fromSecondsSince1970(1'700'000'000.0));
        KeywordAlerts alerts(book);
        alerts.setKeywords({QStringLiteral("cut")});
        int calls = 0;
        alerts.setHandler([&](int, const QString&, const DisplaySegment&) {
            ++calls;
            book.remove({QStringLiteral("a"), QStringLiteral("b")});
        });
        const QStringList touched =
            book.upsert(QList<DisplaySegment>{line("a", "cut one", 1.0, 2.0), line("b", "cut two", 3.0, 4.0)});
        alerts.check(touched);
        QCOMPARE(calls, 2);
        QCOMPARE(book.size(), 0);
        alerts.check(touched);
        QCOMPARE(calls, 2);
    }
};

PINDLE_TEST(TranscriptQueriesTest)
PINDLE_TEST(KeywordAlertsTest)
#include "test_transcript_queries.moc"
