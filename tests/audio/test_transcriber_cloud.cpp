#include "common/TestMain.h"

#include "audio/ChannelStream.h"
#include "audio/SegmentOrder.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "test_transcriber_support.h"

using namespace transcriber_test;

namespace {

StreamMessages::TranscriptResult result(const QString& id, const QString& text, double start = -1.0, double end = -1.0,
                                        bool interim = false)
{
    StreamMessages::TranscriptResult r;
    r.id = id;
    r.text = text;
    r.interim = interim;
    if (start >= 0.0) {
        r.words = {Word{text, start, end}};
    }
    return r;
}

} // namespace

// The engine's incremental merge of real cloud streams' results (fed straight to the streams, no
// socket needed): each result announces exactly the rows it changed, and the published list is
// always the sorted union of the streams' lines.
class TranscriberCloudMergeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void resultsAnnounceOnlyTheirRows()
    {
        // Nothing listens here: the streams' sockets fail quietly in the background.
        InMemoryCookieStore store;
        APIService service(QStringLiteral("http://127.0.0.1:9"), store);
        Rig rig;
        rig.service = &service;
        DesktopTranscriber& engine = rig.desk(3);
        engine.setOn(2, false);
        engine.start();
        const auto a = std::dynamic_pointer_cast<ChannelStream>(engine.stream(0));
        const auto b = std::dynamic_pointer_cast<ChannelStream>(engine.stream(1));
        QVERIFY(a && b);

        QStringList rows;
        QList<DisplaySegment> mirror;
        const TranscriptBook& book = engine.transcript();
        connect(&book, &TranscriptBook::rowsInserted, this, [&](int f, int l) {
            rows.append(QStringLiteral("ins %1-%2").arg(f).arg(l));
            for (int r = f; r <= l; ++r) {
                mirror.insert(r, book.rows().at(r));
            }
        });
        connect(&book, &TranscriptBook::rowsRemoved, this, [&](int f, int l) {
            rows.append(QStringLiteral("rem %1-%2").arg(f).arg(l));
            mirror.remove(f, l - f + 1);
        });
        connect(&book, &TranscriptBook::rowsChanged, this, [&](int f, int l) {
            rows.append(QStringLiteral("chg %1-%2").arg(f).arg(l));
            for (int r = f; r <= l; ++r) {
                mirror[r] = book.rows().at(r);
            }
        });
        connect(&book, &TranscriptBook::wasReset, this, [&] {
            rows.append(QStringLiteral("reset"));
            mirror = book.rows();
        });
        const auto check = [&](const QStringList& expectedRows, const QStringList& order) {
            QCOMPARE(std::exchange(rows, {}), expectedRows);
            QCOMPARE(ids(engine.segments()), order);
            QCOMPARE(mirror, engine.segments());
            QList<DisplaySegment> all = a->display() + b->display();
            sortSegments(all, engine.engineStart());
            QCOMPARE(engine.segments(), all);
        };

        a->mergeResult(result(QStringLiteral("u1"), QStringLiteral("first of a"), 0.5, 0.8));
        check({"ins 0-0"}, {"0-u1"});
        b->mergeResult(result(QStringLiteral("v1"), QStringLiteral("first of b"), 0.2, 0.3));
        check({"ins 0-0"}, {"1-v1", "0-u1"});
        a->mergeResult(result(QStringLiteral("u2"), QStringLiteral("interim"), -1, -1, true));
        check({}, {"1-v1", "0-u1"});
        QCOMPARE(engine.latestLine(), QStringLiteral("interim"));
        a->mergeResult(result(QStringLiteral("u2"), QStringLiteral("second of a"), 1.0, 1.2));
        check({"ins 2-2"}, {"1-v1", "0-u1", "0-u2"});
        // A replaced final in the middle of the stream's lines.
        a->mergeResult(result(QStringLiteral("u1"), QStringLiteral("first of a, again"), 0.5, 0.8));
        check({"chg 1-1"}, {"1-v1", "0-u1", "0-u2"});
        // Its later timing moves it after the next line.
        a->mergeResult(result(QStringLiteral("u1"), QStringLiteral("first of a, again"), 1.1, 1.3));
        check({"rem 1-1", "ins 2-2"}, {"1-v1", "0-u2", "0-u1"});
        // An empty final hides the line; text brings it back.
        a->mergeResult(result(QStringLiteral("u1"), QString()));
        check({"rem 2-2"}, {"1-v1", "0-u2"});
        a->mergeResult(result(QStringLiteral("u1"), QStringLiteral("back"), 1.1, 1.3));
        check({"ins 2-2"}, {"1-v1", "0-u2", "0-u1"});
        // A line without timing sorts by when it was first seen: ten seconds in, after every
        // timed line here.
        rig.clock.advance(10s);
        b->mergeResult(result(QStringLiteral("v2"), QStringLiteral("untimed")));
        check({"ins 3-3"}, {"1-v1", "0-u2", "0-u1", "1-v2"});

        // A new name re-labels the stream's lines: those rows change, no others.
        engine.renameChannel(0, QStringLiteral("Boom"));
        check({"chg 2-2", "chg 1-1"}, {"1-v1", "0-u2", "0-u1", "1-v2"});
        QCOMPARE(engine.segments().at(1).speaker, std::optional<QString>(QStringLiteral("Boom")));
        a->mergeResult(result(QStringLiteral("u3"), QStringLiteral("after the rename"), 2.0, 2.1));
        check({"ins 3-3"}, {"1-v1", "0-u2", "0-u1", "0-u3", "1-v2"});
        engine.stop();
    }
};

PINDLE_TEST(TranscriberCloudMergeTest)
#include "test_transcriber_cloud.moc"
