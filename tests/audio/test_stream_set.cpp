#include "common/TestMain.h"

#include "test_transcriber_support.h"

#include "audio/StreamSet.h"

using namespace transcriber_test;

namespace {

// A stream set over a real capture path and book, making scripted streams.
struct SetRig {
    ManualClock clock{Date::fromSecondsSince1970(1'700'000'000.0)};
    CapturePath path{[](const QList<float>&) {}, &clock};
    TranscriptBook book;
    QList<std::shared_ptr<ScriptedStream>> made;
    StreamSet set{path, book,
                  [this](const StreamRequest& request) {
                      auto stream = std::make_shared<ScriptedStream>(request);
                      made.append(stream);
                      return stream;
                  },
                  nullptr, clock};
    QList<QStringList> merges;
    QStringList problems;
    QStringList refusals;

    SetRig()
    {
        book.clear(clock.now());
        set.onMerged = [this](const QStringList& touched, const QString&) { merges.append(touched); };
        set.onProblem = [this](const QString& message) { problems.append(message); };
        set.onRefused = [this](const QString& code) { refusals.append(code); };
    }
    ScriptedStream* open(int channel, const QString& label = QStringLiteral("Mic"))
    {
        StreamRequest request;
        request.channel = channel;
        request.label = label;
        set.open(request, 0.5f, QStringLiteral("token"));
        return made.last().get();
    }
};

} // namespace

// The streams of a run on their own: what an edit does to a channel's stream, which stream
// speaks for a channel, and the merge of their lines into the book.
class StreamSetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void route_data()
    {
        QTest::addColumn<bool>("routing");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("wasLive");
        QTest::addColumn<bool>("isLive");
        QTest::addColumn<int>("open"); // -1 none, 0 cloud, 1 on-device
        QTest::addColumn<bool>("wants");
        QTest::addColumn<int>("route");

        using R = StreamSet::Route;
        const auto row = [](const char* name, bool routing, bool running, bool wasLive, bool isLive, int open,
                            bool wants, R route) {
            QTest::newRow(name) << routing << running << wasLive << isLive << open << wants << int(route);
        };
        row("idle edits touch nothing", false, false, true, false, 0, false, R::Keep);
        row("muted while running closes", false, true, true, false, 0, false, R::Close);
        row("unmuted while running opens", false, true, false, true, -1, false, R::Open);
        row("fader within the live range keeps", false, true, true, true, 0, false, R::Keep);
        row("still dead keeps", false, true, false, false, -1, false, R::Keep);
        // A liveness edit never moves a stream between service and machine.
        row("liveness edit ignores the route", false, true, true, true, 0, true, R::Keep);
        row("watch only moves a cloud stream on-device", true, true, true, true, 0, true, R::Reopen);
        row("watched again moves it back", true, true, true, true, 1, false, R::Reopen);
        row("already where it should be", true, true, true, true, 1, true, R::Keep);
        row("no open stream to move", true, true, true, true, -1, true, R::Keep);
        row("a dead channel is not moved", true, true, false, false, 0, true, R::Keep);
        row("idle routing keeps", true, false, true, true, 0, true, R::Keep);
    }
    void route()
    {
        QFETCH(bool, routing);
        QFETCH(bool, running);
        QFETCH(bool, wasLive);
        QFETCH(bool, isLive);
        QFETCH(int, open);
        QFETCH(bool, wants);
        QFETCH(int, route);
        StreamSet::ChannelState state;
        state.running = running;
        state.wasLive = wasLive;
        state.isLive = isLive;
        state.openOnDevice = open < 0 ? std::nullopt : std::optional<bool>(open == 1);
        state.wantsOnDevice = wants;
        QCOMPARE(int(StreamSet::route(routing ? StreamSet::Edit::Routing : StreamSet::Edit::Liveness, state)), route);
    }

    void wantsOnDevice_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("available");
        QTest::addColumn<int>("monitored"); // -2 none
        QTest::addColumn<bool>("watchOnly");
        QTest::addColumn<bool>("wants");
        QTest::newRow("watch-only where available") << 3 << true << -2 << true << true;
        QTest::newRow("not watch-only") << 3 << true << -2 << false << false;
        QTest::newRow("no on-device model") << 3 << false << -2 << true << false;
        QTest::newRow("monitored goes to the service") << 3 << true << 3 << true << false;
        QTest::newRow("another channel monitored") << 3 << true << 4 << true << true;
        QTest::newRow("the single microphone never") << -1 << true << -2 << true << false;
    }
    void wantsOnDevice()
    {
        QFETCH(int, index);
        QFETCH(bool, available);
        QFETCH(int, monitored);
        QFETCH(bool, watchOnly);
        QFETCH(bool, wants);
        const std::optional<int> monitor = monitored == -2 ? std::nullopt : std::optional<int>(monitored);
        QCOMPARE(StreamSet::wantsOnDevice(index, available, monitor, watchOnly), wants);
    }

    // The first stream of a run opens the shoot's session, later ones resume it; each gets its
    // label, gain and the shoot's token, and is started once.
    void openHandsOverTheRun()
    {
        SetRig rig;
        ScriptedStream* first = rig.open(2, QStringLiteral("Boom"));
        ScriptedStream* second = rig.open(0);
        QVERIFY(first->request.countsAsStart);
        QVERIFY(!second->request.countsAsStart);
        QCOMPARE(first->label, std::optional<QString>(QStringLiteral("Boom")));
        QCOMPARE(first->shootToken, std::optional<QString>(QStringLiteral("token")));
        QCOMPARE(first->gain(), 0.5f);
        QCOMPARE(first->starts, 1);
        QCOMPARE(rig.set.channels(), (QList<int>{0, 2}));
        rig.set.setGain(2, 2.0f);
        rig.set.setLabel(2, QStringLiteral("Lav"));
        QCOMPARE(first->gain(), 2.0f);
        QCOMPARE(first->label, std::optional<QString>(QStringLiteral("Lav")));
        rig.set.closeAll();
        QVERIFY(rig.open(1)->request.countsAsStart);
    }

    // A stream that was replaced or closed no longer speaks for its channel: its lines, errors
    // and refusals are dropped. It is stopped at once and let go on a later turn.
    void onlyTheCurrentStreamSpeaks_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("replaced") << true;
        QTest::newRow("closed") << false;
    }
    void onlyTheCurrentStreamSpeaks()
    {
        QFETCH(bool, replace);
        SetRig rig;
        ScriptedStream* old = rig.open(1);
        std::weak_ptr<ScriptedStream> oldAlive = rig.made.last();
        rig.made.clear();
        if (replace) {
            rig.open(1);
        } else {
            rig.set.close(1);
        }
        QCOMPARE(old->stops, 1);
        QVERIFY(!oldAlive.expired());
        old->put(QStringLiteral("a"), QStringLiteral("late"), 1.0, 2.0, rig.clock.now());
        old->announce(QStringLiteral("late"));
        old->onError(QStringLiteral("gone"));
        old->onRefused(QStringLiteral("shoot_ended"));
        QVERIFY(rig.merges.isEmpty());
        QVERIFY(rig.problems.isEmpty());
        QVERIFY(rig.refusals.isEmpty());
        QCOMPARE(rig.book.size(), 0);
        QCoreApplication::processEvents();
        QVERIFY(oldAlive.expired());
        if (replace) {
            ScriptedStream* current =
                rig.set.stream(1) ? dynamic_cast<ScriptedStream*>(rig.set.stream(1).get()) : nullptr;
            QVERIFY(current != nullptr);
            current->onError(QStringLiteral("now"));
            QCOMPARE(rig.problems, QStringList{QStringLiteral("now")});
        }
    }

    // The book follows each stream's display: new and changed lines are upserted, lines that left
    // the display leave the book, other streams' lines stay.
    void mergeFollowsTheDisplay()
    {
        SetRig rig;
        ScriptedStream* a = rig.open(0, QStringLiteral("A"));
        ScriptedStream* b = rig.open(1, QStringLiteral("B"));
        const Date now = rig.clock.now();
        a->put(QStringLiteral("1"), QStringLiteral("one"), 1.0, 1.5, now);
        a->put(QStringLiteral("2"), QStringLiteral("two"), 2.0, 2.5, now);
        a->announce(QStringLiteral("two"));
        b->put(QStringLiteral("1"), QStringLiteral("bee"), 1.2, 1.4, now);
        b->announce(QStringLiteral("bee"));
        QCOMPARE(ids(rig.book.rows()), (QStringList{"0-1", "1-1", "0-2"}));
        QCOMPARE(rig.merges.last(), QStringList{QStringLiteral("1-1")});

        // A changed line, and one that left.
        a->put(QStringLiteral("2"), QStringLiteral("two, again"), 2.0, 2.6, now);
        a->lines.removeFirst();
        a->announce(QStringLiteral("two, again"));
        QCOMPARE(ids(rig.book.rows()), (QStringList{"1-1", "0-2"}));
        QCOMPARE(rig.book.rows().last().text, QStringLiteral("two, again"));
        QCOMPARE(rig.merges.last(), QStringList{QStringLiteral("0-2")});

        // An announcement with nothing new touches nothing.
        a->announce(QStringLiteral("two, again"));
        QVERIFY(rig.merges.last().isEmpty());
    }

    // A rebuild makes the book hold exactly the open streams' lines, and the merge goes on from
    // there.
    void rebuildHoldsTheOpenStreams()
    {
        SetRig rig;
        ScriptedStream* a = rig.open(0);
        ScriptedStream* b = rig.open(1);
        const Date now = rig.clock.now();
        a->put(QStringLiteral("1"), QStringLiteral("one"), 1.0, 1.5, now);
        b->put(QStringLiteral("1"), QStringLiteral("bee"), 0.5, 0.7, now);
        QStringList touched = rig.set.rebuild();
        touched.sort();
        QCOMPARE(touched, (QStringList{"0-1", "1-1"}));
        QCOMPARE(ids(rig.book.rows()), (QStringList{"1-1", "0-1"}));
        rig.set.close(1);
        QCOMPARE(rig.set.rebuild(), QStringList{});
        QCOMPARE(ids(rig.book.rows()), QStringList{QStringLiteral("0-1")});
        a->put(QStringLiteral("2"), QStringLiteral("two"), 2.0, 2.5, now);
        a->announce(QStringLiteral("two"));
        QCOMPARE(rig.merges.last(), QStringList{QStringLiteral("0-2")});
    }

    // The newest word end of any open stream, and the words since a time channel by channel.
    void newestWords()
    {
        SetRig rig;
        QCOMPARE(rig.set.newestWordEnd(), std::nullopt);
        ScriptedStream* high = rig.open(5);
        ScriptedStream* low = rig.open(2);
        const Date now = rig.clock.now();
        high->put(QStringLiteral("1"), QStringLiteral("late"), 3.0, 4.0, now);
        low->put(QStringLiteral("1"), QStringLiteral("early"), 1.0, 2.0, now);
        low->put(QStringLiteral("2"), QStringLiteral("later"), 3.5, 3.9, now);
        QCOMPARE(rig.set.newestWordEnd(), std::optional<double>(4.0));
        QCOMPARE(rig.set.wordsSince(3.0), (QStringList{"later", "late"}));
        QCOMPARE(rig.set.wordsSince(4.5), QStringList{});
        rig.set.close(5);
        QCOMPARE(rig.set.newestWordEnd(), std::optional<double>(3.9));
    }
};

PINDLE_TEST(StreamSetTest)
#include "test_stream_set.moc"
