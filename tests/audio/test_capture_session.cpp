#include "common/TestMain.h"

#include "test_transcriber_support.h"

#include "audio/CapturePath.h"
#include "audio/CaptureSession.h"
#include "platform/MonitorSink.h"

using namespace transcriber_test;

namespace {

// An output that takes the audio without playing it, or refuses with `refusal`.
class QuietSink final : public MonitorSink {
public:
    explicit QuietSink(QString refusal) : m_refusal(std::move(refusal)) {}
    bool start(std::shared_ptr<MonitorQueue>, double) override { return m_refusal.isEmpty(); }
    void stop() override {}
    QString errorString() const override { return m_refusal; }

private:
    QString m_refusal;
};

// A session on generated audio paced by a manual clock.
struct SessionRig {
    ManualClock clock{Date::fromSecondsSince1970(1'700'000'000.0)};
    bool makeNothing = false;
    QString refuseOpen;
    QString refuseStart;
    QString sinkRefusal;
    bool noSink = false;
    QList<GeneratedAudioSource*> sources;
    CaptureSession session{
        [this]() -> std::unique_ptr<AudioCaptureSource> {
            if (makeNothing) {
                return nullptr;
            }
            GeneratedAudioSource::Options options;
            options.sampleRate = kRate;
            options.channelCount = 4;
            options.clock = &clock;
            options.refuseOpen = refuseOpen;
            options.refuseStart = refuseStart;
            auto made = std::make_unique<GeneratedAudioSource>(options, mix({tone(0.5f), tone(0.01f)}));
            sources.append(made.get());
            return made;
        },
        [this]() -> std::unique_ptr<MonitorSink> {
            return noSink ? nullptr : std::make_unique<QuietSink>(sinkRefusal);
        },
        clock};

    // Moves the clock with the capture keeping up, while the session's source lives.
    void play(Clock::Duration duration)
    {
        for (Clock::Duration done{}; done < duration; done += 20ms) {
            clock.advance(20ms);
            QVERIFY(spinUntil([this] { return !session.isOpen() || sources.last()->caughtUp(); }));
        }
    }
};

} // namespace

// The input on its own: what each way of failing to open leaves, who owns an open capture, the
// meters, a lost device, and the monitor's refusals.
class CaptureSessionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void open_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<bool>("heardFormat");
        QTest::newRow("opens") << "" << int(CaptureSession::Outcome::Opened) << true;
        QTest::newRow("no source") << "none" << int(CaptureSession::Outcome::NoSource) << false;
        QTest::newRow("refused") << "open" << int(CaptureSession::Outcome::Refused) << false;
        QTest::newRow("will not start") << "start" << int(CaptureSession::Outcome::NotStarted) << true;
    }
    void open()
    {
        QFETCH(QString, failure);
        QFETCH(int, outcome);
        QFETCH(bool, heardFormat);
        SessionRig rig;
        rig.makeNothing = failure == QLatin1String("none");
        rig.refuseOpen = failure == QLatin1String("open") ? QStringLiteral("no") : QString();
        rig.refuseStart = failure == QLatin1String("start") ? QStringLiteral("busy") : QString();
        std::optional<int> channels;
        const auto result =
            rig.session.open(device(QStringLiteral("d"), QStringLiteral("Desk"), 4), CaptureSession::Opener::Run, true,
                             [&channels](const CaptureFormat& format) { channels = format.channelCount; });
        QCOMPARE(int(result), outcome);
        QCOMPARE(channels.has_value(), heardFormat);
        const bool opened = result == CaptureSession::Outcome::Opened;
        QCOMPARE(rig.session.isOpen(), opened);
        QCOMPARE(rig.session.uid(), opened ? std::optional<QString>(QStringLiteral("d")) : std::nullopt);
        QCOMPARE(rig.session.name(), opened ? QStringLiteral("Desk") : QString());
        QCOMPARE(rig.session.format().has_value(), opened);
        rig.session.close();
    }

    // Who opened the capture is known while it is open: a scan's capture can be handed to a run,
    // and a closed session belongs to nobody but still knows what it recorded last.
    void ownership()
    {
        SessionRig rig;
        QCOMPARE(rig.session.open(std::nullopt, CaptureSession::Opener::Scan, true), CaptureSession::Outcome::Opened);
        QVERIFY(rig.session.openedByScan());
        QCOMPARE(rig.session.uid(), std::nullopt);
        rig.session.handOverToRun();
        QVERIFY(!rig.session.openedByScan());
        rig.session.close();
        QVERIFY(!rig.session.isOpen());

        QCOMPARE(rig.session.open(device(QStringLiteral("x"), QStringLiteral("Field"), 4), CaptureSession::Opener::Scan,
                                  true),
                 CaptureSession::Outcome::Opened);
        QVERIFY(rig.session.openedByScan());
        rig.session.close();
        QVERIFY(!rig.session.openedByScan());
        QCOMPARE(rig.session.uid(), std::nullopt);
        QCOMPARE(rig.session.name(), QStringLiteral("Field"));
    }

    // Meters arrive while the capture is open; at rest they are zero, as many as there were.
    void levelsWhileOpen()
    {
        SessionRig rig;
        QSignalSpy changed(&rig.session, &CaptureSession::levelsChanged);
        QCOMPARE(rig.session.open(std::nullopt, CaptureSession::Opener::Run, true), CaptureSession::Outcome::Opened);
        rig.play(400ms);
        QVERIFY(changed.count() > 0);
        QCOMPARE(rig.session.levels().size(), 4);
        QVERIFY(rig.session.levels().at(0) > rig.session.levels().at(1));
        rig.session.close();
        rig.session.zeroLevels();
        QCOMPARE(rig.session.levels(), QList<float>(4, 0.0f));
        const int count = int(changed.count());
        rig.play(200ms);
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), count);
    }

    // A lost device is reported on a later turn, once; a source that was replaced meanwhile is not
    // the session's any more and its loss says nothing.
    void lossOfTheCurrentSourceOnly_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("current") << false;
        QTest::newRow("replaced") << true;
    }
    void lossOfTheCurrentSourceOnly()
    {
        QFETCH(bool, replaced);
        SessionRig rig;
        QStringList reasons;
        rig.session.onLost = [&reasons](const QString& reason) { reasons.append(reason); };
        QCOMPARE(rig.session.open(std::nullopt, CaptureSession::Opener::Run, false), CaptureSession::Outcome::Opened);
        GeneratedAudioSource* first = rig.sources.last();
        first->loseDevice(QStringLiteral("unplugged"));
        if (replaced) {
            QCOMPARE(rig.session.open(std::nullopt, CaptureSession::Opener::Run, false),
                     CaptureSession::Outcome::Opened);
        }
        QVERIFY(reasons.isEmpty());
        if (replaced) {
            for (int turn = 0; turn < 20; ++turn) {
                QCoreApplication::processEvents();
            }
            QVERIFY(reasons.isEmpty());
            QVERIFY(rig.session.isOpen());
        } else {
            QVERIFY(spinUntil([&] { return !reasons.isEmpty(); }));
            QCOMPARE(reasons, QStringList{QStringLiteral("unplugged")});
        }
    }

    // The monitor plays only a chosen channel of an open capture; an output that refuses says why.
    void monitor_data()
    {
        QTest::addColumn<bool>("choose");
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("sink"); // 0 plays, 1 refuses, 2 none
        QTest::addColumn<bool>("playing");
        QTest::addColumn<QString>("why");
        QTest::newRow("plays") << true << true << 0 << true << "";
        QTest::newRow("nothing chosen") << false << true << 0 << false << "";
        QTest::newRow("no capture") << true << false << 0 << false << "";
        QTest::newRow("output refuses") << true << true << 1 << false << "Output busy";
        QTest::newRow("no output") << true << true << 2 << false << "No audio output is available.";
    }
    void monitor()
    {
        QFETCH(bool, choose);
        QFETCH(bool, open);
        QFETCH(int, sink);
        QFETCH(bool, playing);
        QFETCH(QString, why);
        SessionRig rig;
        rig.sinkRefusal = sink == 1 ? QStringLiteral("Output busy") : QString();
        rig.noSink = sink == 2;
        QSignalSpy chosen(&rig.session, &CaptureSession::monitorChannelChanged);
        if (choose) {
            QVERIFY(rig.session.setMonitorChannel(1));
            QVERIFY(!rig.session.setMonitorChannel(1));
            QCOMPARE(chosen.count(), 1);
        }
        if (open) {
            QCOMPARE(rig.session.open(std::nullopt, CaptureSession::Opener::Run, true),
                     CaptureSession::Outcome::Opened);
        }
        const std::optional<QString> refusal = rig.session.startMonitor();
        QCOMPARE(refusal.value_or(QString()), why);
        QCOMPARE(rig.session.monitorPlaying(), playing);
        QCOMPARE(rig.session.path().monitorIndex(), playing ? std::optional<int>(1) : std::nullopt);
        rig.session.close();
        QVERIFY(!rig.session.monitorPlaying());
        // The choice outlives the capture.
        QCOMPARE(rig.session.monitorChannel(), choose ? std::optional<int>(1) : std::nullopt);
    }
};

PINDLE_TEST(CaptureSessionTest)
#include "test_capture_session.moc"
