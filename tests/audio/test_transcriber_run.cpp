#include "common/TestMain.h"

#include "test_transcriber_support.h"

#include <QSignalSpy>

using namespace transcriber_test;

namespace {

const QString kListening = QStringLiteral("Listening…");
const QString kAllOff = QStringLiteral("Every channel is off. Unmute one to transcribe.");

// The fader position of a linear gain.
double faderFor(double gain)
{
    return (20.0 * std::log10(gain) + 40.0) / 46.0;
}

// Row signals of the engine's transcript, in order.
struct RowLog : QObject {
    QStringList entries;
    explicit RowLog(const TranscriptBook& book)
    {
        connect(&book, &TranscriptBook::rowsInserted, this,
                [this](int f, int l) { entries.append(QStringLiteral("ins %1-%2").arg(f).arg(l)); });
        connect(&book, &TranscriptBook::rowsRemoved, this,
                [this](int f, int l) { entries.append(QStringLiteral("rem %1-%2").arg(f).arg(l)); });
        connect(&book, &TranscriptBook::rowsChanged, this,
                [this](int f, int l) { entries.append(QStringLiteral("chg %1-%2").arg(f).arg(l)); });
        connect(&book, &TranscriptBook::wasReset, this, [this] { entries.append(QStringLiteral("reset")); });
    }
    QStringList take() { return std::exchange(entries, {}); }
};

} // namespace

class TranscriberRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // While running, mutes and faders open and close single streams: the first stream of a run
    // opens the session, a move that keeps a channel live only changes its gain, and unmuting a
    // channel at the bottom raises its fader to unity.
    void mixerOpensAndClosesStreams()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(4);
        engine.setFader(0, 0.0);
        engine.setFader(2, 0.0);
        engine.setFader(3, 0.3);
        for (int i = 1; i < 4; ++i) {
            engine.setOn(i, false);
        }
        QCOMPARE(engine.liveChannelCount(), 0);
        engine.start();
        QVERIFY(engine.running());
        QCOMPARE(engine.status(), kAllOff);
        QVERIFY(engine.openStreamChannels().isEmpty());

        engine.setFader(0, 0.5);
        ScriptedStream* first = rig.open(0);
        QVERIFY(first->request.countsAsStart);
        QCOMPARE(first->starts, 1);
        QCOMPARE(first->gain(), ChannelConfig::gainFor(0.5));
        QCOMPARE(first->label, std::optional<QString>(QStringLiteral("Ch 1")));
        engine.setOn(2, true);
        engine.setOn(3, true);
        QCOMPARE(engine.channels().at(2).fader, ChannelConfig::kUnityFader);
        QCOMPARE(engine.channels().at(3).fader, 0.3);
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 2, 3}));
        QVERIFY(!rig.open(3)->request.countsAsStart);

        engine.setFader(0, 1.0);
        QCOMPARE(rig.open(0), first);
        QCOMPARE(first->gain(), ChannelConfig::gainFor(1.0));
        engine.setFader(0, 0.004);
        QCOMPARE(engine.openStreamChannels(), (QList<int>{2, 3}));
        QCOMPARE(first->stops, 1);
        QCOMPARE(engine.liveChannelCount(), 2);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("handler");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("restarts");
        QTest::newRow("shoot ended, screen restarts") << "shoot_ended" << true << kListening << 1;
        QTest::newRow("shoot required, screen restarts") << "shoot_required" << true << kListening << 1;
        QTest::newRow("shoot ended, nobody listening") << "shoot_ended" << false << kListening << 0;
        QTest::newRow("other code") << "busy" << true << "Pindle refused transcription (busy)." << 0;
    }
    void refusals()
    {
        QFETCH(QString, code);
        QFETCH(bool, handler);
        QFETCH(QString, status);
        QFETCH(int, restarts);
        Rig rig;
        DesktopTranscriber& engine = rig.desk(3);
        engine.setShootToken(QStringLiteral("first"));
        int calls = 0;
        if (handler) {
            // What the logging screen does: stop, and start again under a new shoot.
            engine.onShootEnded = [&] {
                ++calls;
                engine.stop();
                engine.setShootToken(QStringLiteral("second"));
                engine.start();
            };
        }
        engine.start();
        QCOMPARE(rig.streams.size(), 3);
        ScriptedStream* refusing = rig.open(2);
        refusing->onRefused(code);
        QCOMPARE(calls, restarts);
        QVERIFY(engine.running());
        QCOMPARE(engine.status(), status);
        QCOMPARE(rig.streams.size(), 3 + 3 * restarts);
        const QString token = restarts ? QStringLiteral("second") : QStringLiteral("first");
        QCOMPARE(rig.open(0)->shootToken, std::optional<QString>(token));
        QCOMPARE(refusing->stops, restarts);
        // A stream the run has let go of no longer speaks for it.
        if (restarts) {
            refusing->onRefused(code);
            QCOMPARE(calls, restarts);
        }
        // The refusing stream outlives its own callback: released on a later turn.
        QCoreApplication::processEvents();
        QCOMPARE(rig.streams.at(2).use_count(), restarts ? 1 : 2);
    }

    void mergeInMomentOrderWithExactRows()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(3);
        engine.setOn(2, false);
        engine.start();
        RowLog rows(engine.transcript());
        QSignalSpy latest(&engine, &DesktopTranscriber::latestLineChanged);
        ScriptedStream* a = rig.open(0);
        ScriptedStream* b = rig.open(1);
        const Date t0 = engine.engineStart();

        b->put("1", "first said", 1.0, 1.5, t0);
        b->announce("first said");
        a->put("1", "third said", 2.0, 2.5, t0);
        a->announce("third said");
        // No word timing: placed by when it was first seen, between the two.
        a->put("2", "second, untimed", -1.0, -1.0, t0.addingSeconds(1.5));
        a->announce("second, untimed");
        QCOMPARE(ids(engine.segments()), (QStringList{"1-1", "0-2", "0-1"}));
        QCOMPARE(rows.take(), (QStringList{"ins 0-0", "ins 1-1", "ins 1-1"}));

        // An interim result changes the latest line only.
        a->announce("interim words");
        QCOMPARE(engine.latestLine(), QStringLiteral("interim words"));
        QCOMPARE(rows.take(), QStringList{});

        // A final replacing a line in place announces that row alone.
        a->put("1", "third said, corrected", 2.0, 2.6, t0);
        a->announce("third said, corrected");
        QCOMPARE(rows.take(), QStringList{"chg 2-2"});
        QCOMPARE(engine.segments().at(2).text, QStringLiteral("third said, corrected"));
        QCOMPARE(engine.segments().at(2).speaker, std::optional<QString>(QStringLiteral("Ch 1")));
        QCOMPARE(engine.fullTranscript(),
                 QStringLiteral("Ch 2: first said\nCh 1: second, untimed\nCh 1: third said, corrected"));
        QCOMPARE(latest.count(), 5);

        // A line the stream no longer shows leaves the transcript.
        a->lines.removeFirst();
        a->announce("gone");
        QCOMPARE(rows.take(), QStringList{"rem 2-2"});

        // Muting a channel closes its stream, and its lines leave with it.
        engine.setOn(1, false);
        QCOMPARE(ids(engine.segments()), QStringList{"0-2"});
        QCOMPARE(rows.take(), QStringList{"rem 0-0"});
        // A late update from the closed stream is ignored.
        b->put("2", "late", 3.0, 3.5, t0);
        b->announce("late");
        QCOMPARE(ids(engine.segments()), QStringList{"0-2"});
        QCOMPARE(engine.latestLine(), QStringLiteral("gone"));
    }

    // A single microphone's stream hears the whole input under no name; its words join with
    // spaces. A stop keeps the transcript on screen until the next start.
    void stopKeepsTheTranscriptUntilTheNextStart()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(1);
        engine.start();
        ScriptedStream* mic = rig.open(-1);
        QVERIFY(mic);
        QVERIFY(mic->request.countsAsStart);
        QCOMPARE(mic->label, std::nullopt);
        mic->label = QStringLiteral("ignored");
        mic->put("1", "one", 1.0, 2.0, engine.engineStart());
        mic->put("2", "kept", 2.0, 3.0, engine.engineStart());
        mic->announce("kept");
        QCOMPARE(engine.recentText(5), QStringLiteral("one kept"));
        engine.stop();
        QCOMPARE(engine.status(), QStringLiteral("Off"));
        QVERIFY(!engine.running());
        QCOMPARE(ids(engine.segments()), (QStringList{"-1-1", "-1-2"}));
        QCOMPARE(engine.latestLine(), QStringLiteral("kept"));
        QCOMPARE(mic->stops, 1);
        // A rename after the stop keeps it too.
        engine.renameChannel(0, QStringLiteral("x"));
        QCOMPARE(engine.segments().size(), 2);

        rig.clock.advance(5s);
        engine.start();
        QVERIFY(engine.segments().isEmpty());
        QVERIFY(engine.latestLine().isEmpty());
        QVERIFY(engine.fullTranscript().isEmpty());
    }

    void streamErrors()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(3);
        engine.start();
        ScriptedStream* one = rig.open(1);
        one->onError(QStringLiteral("Ch 2: Connection lost"));
        QCOMPARE(engine.status(), QStringLiteral("Ch 2: Connection lost"));
        // The stream stays open and is not re-made.
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 1, 2}));
        QCOMPARE(rig.streams.size(), 3);
        // The next result shows the engine listening again.
        one->announce("back");
        QCOMPARE(engine.status(), kListening);

        engine.setOn(1, false);
        one->onError(QStringLiteral("from a closed stream"));
        QCOMPARE(engine.status(), kListening);
        engine.stop();
        rig.streams.at(0)->onError(QStringLiteral("after stop"));
        QCOMPARE(engine.status(), QStringLiteral("Off"));
    }

    void captureFailures_data()
    {
        QTest::addColumn<QString>("refuseOpen");
        QTest::addColumn<QString>("refuseStart");
        QTest::addColumn<bool>("noDevices");
        QTest::addColumn<QString>("status");
        const auto row = [](const char* name, const char* open, const char* start, bool none, const char* status) {
            QTest::newRow(name) << QString::fromLatin1(open) << QString::fromLatin1(start) << none
                                << QString::fromLatin1(status);
        };
        row("device refused", "busy", "", false, "Couldn't open Desk");
        row("device would not start", "", "no", false, "Couldn't start audio from Desk");
        row("no input at all", "", "", true, "No microphone input found");
    }
    void captureFailures()
    {
        QFETCH(QString, refuseOpen);
        QFETCH(QString, refuseStart);
        QFETCH(bool, noDevices);
        QFETCH(QString, status);
        Rig rig;
        rig.refuseOpen = refuseOpen;
        rig.refuseStart = refuseStart;
        rig.setDevices(noDevices
                           ? QList<AudioInputDevice>{}
                           : QList<AudioInputDevice>{device(QStringLiteral("d"), QStringLiteral("Desk"), 4, true)});
        DesktopTranscriber& engine = rig.make();
        QSignalSpy statuses(&engine, &DesktopTranscriber::statusChanged);
        engine.start();
        QVERIFY(!engine.running());
        QCOMPARE(engine.status(), status);
        QCOMPARE(statuses.count(), 2); // "Starting…", then the failure
        QVERIFY(rig.streams.isEmpty());
        QCOMPARE(engine.runKey(), 0);
    }

    void fewerChannelsThanConfigured()
    {
        Rig rig;
        rig.captureChannels = 4;
        DesktopTranscriber& engine = rig.desk(8, "Rack");
        engine.start();
        QVERIFY(engine.running());
        QCOMPARE(engine.status(), QStringLiteral("Rack is giving 4 of 8 channels"));
        QCOMPARE(engine.openStreamChannels().size(), 8);
        rig.play(200ms);
        QVERIFY(rig.open(3)->framesIn.load() >= CaptureChunker::kFrames);
        for (int channel = 4; channel < 8; ++channel) {
            QCOMPARE(rig.open(channel)->framesIn.load(), 0);
        }
    }

    // Each channel's stream hears it at its fader's gain and the meters move; a single
    // microphone's stream hears the whole input and has no meters. Nothing reaches a stopped one.
    void audioReachesStreams_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<double>("gain");
        QTest::addColumn<int>("channel");
        QTest::newRow("unity") << 3 << 1.0 << 1;
        QTest::newRow("half") << 3 << 0.5 << 1;
        QTest::newRow("double") << 3 << 2.0 << 1;
        QTest::newRow("single microphone, stereo") << 2 << 1.0 << -1;
    }
    void audioReachesStreams()
    {
        QFETCH(int, inputs);
        QFETCH(double, gain);
        QFETCH(int, channel);
        Rig rig;
        rig.captureChannels = inputs;
        rig.voices = QList<Voice>(inputs, tone(0.25f));
        DesktopTranscriber& engine = rig.desk(inputs);
        engine.setFader(1, faderFor(gain));
        engine.start();
        ScriptedStream* stream = rig.open(channel);
        rig.play(200ms);
        QVERIFY(stream->framesIn.load() >= 2 * CaptureChunker::kFrames);
        QVERIFY2(std::abs(stream->lastPeak.load() - 0.25 * gain) < 0.01, qPrintable(QString::number(stream->lastPeak)));
        if (channel < 0) {
            QVERIFY(engine.levels().isEmpty());
        } else {
            QCOMPARE(engine.levels().size(), inputs);
            QVERIFY(engine.levels().at(1) > 0.5f);
        }
        engine.stop();
        QCOMPARE(engine.levels(), QList<float>(channel < 0 ? 0 : inputs, 0.0f));
        const qint64 frames = stream->framesIn.load();
        rig.play(200ms);
        QCOMPARE(stream->framesIn.load(), frames);
    }

    void deviceLostMidRun_data()
    {
        QTest::addColumn<bool>("unplugged");
        QTest::addColumn<QString>("status");
        QTest::newRow("capture reports the loss") << false << "Lost Rack: The device stopped. Logging stopped.";
        QTest::newRow("device leaves the list") << true << "Lost Rack: it was disconnected. Logging stopped.";
    }
    void deviceLostMidRun()
    {
        QFETCH(bool, unplugged);
        QFETCH(QString, status);
        Rig rig;
        const AudioInputDevice mic = device(QStringLiteral("mic"), QStringLiteral("Mic"), 1, true);
        const AudioInputDevice rack = device(QStringLiteral("rack"), QStringLiteral("Rack"), 4);
        rig.setDevices({mic, rack});
        DesktopTranscriber& engine = rig.make();
        engine.selectDevice(QStringLiteral("rack"));
        engine.start();
        QVERIFY(engine.running());
        rig.play(100ms);
        QVERIFY(rig.open(0)->framesIn.load() > 0);
        const auto streams = rig.streams;
        if (unplugged) {
            rig.setDevices({mic});
        } else {
            rig.source->loseDevice(QStringLiteral("The device stopped."));
        }
        QVERIFY(spinUntil([&] { return !engine.running(); }));
        QCOMPARE(engine.status(), status);
        for (const auto& stream : streams) {
            QCOMPARE(stream->stops, 1);
        }
        QVERIFY(engine.openStreamChannels().isEmpty());
        if (unplugged) {
            QCOMPARE(engine.deviceUID(), std::nullopt);
            QVERIFY(engine.channels().isEmpty());
        }
    }

    void runKeysStrictlyIncrease()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(1);
        engine.start();
        const qint64 first = engine.runKey();
        QCOMPARE(first, qint64(1'700'000'000));
        engine.stop();
        // Started again within the same second, twice.
        engine.start();
        QCOMPARE(engine.runKey(), first + 1);
        engine.stop();
        rig.clock.advance(500ms);
        engine.start();
        QCOMPARE(engine.runKey(), first + 2);
        engine.stop();
        // Later runs take their own second again.
        rig.clock.advance(10s);
        engine.start();
        QCOMPARE(engine.runKey(), first + 10);
        engine.stop();
        // A clock that went back still gives a greater key.
        rig.clock.setNow(rig.clock.now().addingSeconds(-100));
        engine.start();
        QCOMPARE(engine.runKey(), first + 11);
        engine.stop();
        // Demo runs take keys from the same count.
        engine.startDemo();
        QCOMPARE(engine.runKey(), first + 12);
        engine.stop();
        engine.start();
        QCOMPARE(engine.runKey(), first + 13);
    }

    // The check after a first run looks at the meters once the delay has passed on the clock,
    // whatever the real time.
    void silentChannelsMutedAfterAFirstRun_data()
    {
        QTest::addColumn<int>("silentFrom");
        QTest::addColumn<bool>("touchFader");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<int>("live");
        QTest::newRow("two silent") << 6 << false << "Muted Ch 7, Ch 8: no sound on them." << 6;
        QTest::newRow("one silent") << 7 << false << "Muted Ch 8: no sound on it." << 7;
        QTest::newRow("none silent") << 8 << false << "" << 8;
        QTest::newRow("a fader touched first") << 6 << true << "" << 8;
    }
    void silentChannelsMutedAfterAFirstRun()
    {
        QFETCH(int, silentFrom);
        QFETCH(bool, touchFader);
        QFETCH(QString, notice);
        QFETCH(int, live);
        Rig rig;
        for (int c = silentFrom; c < 8; ++c) {
            rig.voices[c] = tone(0.0f);
        }
        rig.setDevices({device(QStringLiteral("d"), QStringLiteral("Rack"), 8, true)});
        DesktopTranscriber& engine = rig.make(600);
        engine.start();
        if (touchFader) {
            engine.setFader(0, 0.5);
        }
        rig.play(550ms);
        QCOMPARE(engine.liveChannelCount(), 8);
        rig.play(50ms);
        QCOMPARE(engine.notice().value_or(QString()), notice);
        QCOMPARE(engine.liveChannelCount(), live);
        QCOMPARE(engine.openStreamChannels().size(), live);

        // Settings are stored now: the next first run does not check again.
        engine.stop();
        for (int c = 0; c < 8; ++c) {
            engine.setOn(c, true);
        }
        DesktopTranscriber& again = rig.make(600);
        again.start();
        rig.play(700ms);
        QCOMPARE(again.liveChannelCount(), 8);
    }

    void queries()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(3);
        engine.start();
        QCOMPARE(engine.currentTranscriptTime(), std::nullopt);
        QCOMPARE(engine.recentText(10), QString());
        ScriptedStream* a = rig.open(0);
        ScriptedStream* b = rig.open(1);
        const Date t0 = engine.engineStart();
        a->put("1", "early", 50.0, 55.0, t0);
        a->put("2", "edge", 84.0, 85.0, t0);
        b->put("1", "late", 90.0, 95.0, t0);
        b->put("2", "untimed", -1.0, -1.0, t0.addingSeconds(96));
        a->announce("x");
        b->announce("y");

        QCOMPARE(engine.currentTranscriptTime(), std::optional<double>(95.0));
        QCOMPARE(engine.recentText(10), QStringLiteral("Ch 1: edge\nCh 2: late"));
        QCOMPARE(engine.textInWindow(100, 45), QStringLiteral("Ch 1: edge\nCh 2: late"));
        QCOMPARE(engine.textInWindow(55, 45), QStringLiteral("Ch 1: early"));
        QCOMPARE(engine.textInWindow(54.9, 45), QString());

        // Nothing finished in the window: the words still being heard.
        b->words.append(Word{QStringLiteral("still"), 96.0, 99.5});
        b->lastEnd = 99.5;
        a->words.append(Word{QStringLiteral("talking"), 97.0, 99.0});
        a->lastEnd = 99.0;
        QCOMPARE(engine.recentText(1), QStringLiteral("talking still"));
    }
};

PINDLE_TEST(TranscriberRunTest)
#include "test_transcriber_run.moc"
