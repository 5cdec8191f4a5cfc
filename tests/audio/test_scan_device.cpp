#include "common/TestMain.h"

#include "test_transcriber_support.h"

using namespace transcriber_test;

namespace {

constexpr auto kScan = 1600ms;

const QString kScanStopped = QStringLiteral("Couldn't finish the scan: logging stopped and closed the input. Nothing "
                                            "was muted.");
const QString kScanSwitched = QStringLiteral("Couldn't finish the scan: the input changed. Nothing was muted.");
const QString kScanLost = QStringLiteral("Couldn't finish the scan: the input was lost. Nothing was muted.");

// The rig's generated capture, with the device each capture was opened on written down.
class RecordingSource final : public AudioCaptureSource {
public:
    RecordingSource(std::unique_ptr<AudioCaptureSource> inner, QStringList& opened)
        : m_inner(std::move(inner)), m_opened(opened)
    {
    }
    CaptureOpenResult open(const std::optional<QString>& uid) override
    {
        m_opened.append(uid.value_or(QStringLiteral("(default)")));
        return m_inner->open(uid);
    }
    bool start() override
    {
        m_inner->onBuffer = onBuffer;
        m_inner->onLost = onLost;
        return m_inner->start();
    }
    void stop() override { m_inner->stop(); }
    std::optional<CaptureFormat> format() const override { return m_inner->format(); }
    QString errorString() const override { return m_inner->errorString(); }

private:
    std::unique_ptr<AudioCaptureSource> m_inner;
    QStringList& m_opened;
};

void recordOpens(Rig& rig, QStringList& opened)
{
    rig.env.makeCapture = [make = rig.env.makeCapture, &opened]() -> std::unique_ptr<AudioCaptureSource> {
        return std::make_unique<RecordingSource>(make(), opened);
    };
}

QString onStates(const DesktopTranscriber& engine)
{
    QString state;
    for (const ChannelConfig& config : engine.channels()) {
        state += config.on ? u'1' : u'0';
    }
    return state;
}

} // namespace

// A channel scan belongs to the input it listens to: switching the input ends it without
// verdicts, a start never records one device under another's name, and a scan whose input
// closes under it says so instead of judging silence.
class ScanDeviceTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void switchingEndsAnIdleScan_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("another input chosen") << "select";
        QTest::newRow("the default input changes") << "default";
    }
    void switchingEndsAnIdleScan()
    {
        QFETCH(QString, how);
        Rig rig;
        QStringList opened;
        recordOpens(rig, opened);
        // Silence everywhere: a verdict on it would mute every channel it judged.
        rig.voices = QList<Voice>(8, tone(0.0f));
        rig.env.scanDurationMs = int(kScan.count());
        rig.setDevices({device(QStringLiteral("a"), QStringLiteral("Desk"), 4, true),
                        device(QStringLiteral("b"), QStringLiteral("Field"), 6)});
        DesktopTranscriber& engine = rig.make();
        engine.scanChannels();
        QVERIFY(engine.scanning());
        rig.play(kScan / 2);

        if (how == QLatin1String("select")) {
            engine.selectDevice(QStringLiteral("b"));
        } else {
            rig.setDevices({device(QStringLiteral("a"), QStringLiteral("Desk"), 4),
                            device(QStringLiteral("b"), QStringLiteral("Field"), 6, true)});
        }
        QCOMPARE(engine.channels().size(), 6);
        QVERIFY(!engine.scanning());
        QVERIFY(!engine.scanFocus());
        QCOMPARE(engine.notice(), std::optional<QString>(kScanSwitched));
        rig.play(kScan);
        QVERIFY(engine.scanResults().isEmpty());
        QCOMPARE(onStates(engine), QStringLiteral("111111"));
        QCOMPARE(engine.notice(), std::optional<QString>(kScanSwitched));
        QVERIFY(!rig.defaults->contains(DesktopTranscriber::channelsKey(QStringLiteral("b"))));

        // The scan's capture of Desk is gone: a start records Field on a capture of its own.
        engine.start();
        QVERIFY(engine.running());
        QCOMPARE(opened, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 1, 2, 3, 4, 5}));
    }

    // An interface plugged in during an idle scan gets a scan of its own, on its own capture.
    void arrivalDuringAnIdleScanScansTheNewDevice()
    {
        Rig rig;
        QStringList opened;
        recordOpens(rig, opened);
        rig.voices = QList<Voice>(8, tone(0.0f));
        rig.captureChannels = 3;
        rig.env.scanDurationMs = int(kScan.count());
        rig.setDevices({device(QStringLiteral("a"), QStringLiteral("Desk"), 4, true)});
        DesktopTranscriber& engine = rig.make();
        engine.scanChannels();
        rig.play(kScan / 2);
        rig.voices = {tone(0.2f), tone(0.2f), tone(0.2f)};
        rig.setDevices({device(QStringLiteral("a"), QStringLiteral("Desk"), 4, true),
                        device(QStringLiteral("x"), QStringLiteral("Mixer"), 3)});
        QCOMPARE(engine.deviceUID(), std::optional<QString>(QStringLiteral("x")));
        QVERIFY(engine.scanning());
        QCOMPARE(opened, (QStringList{QStringLiteral("a"), QStringLiteral("x")}));
        QCOMPARE(engine.notice(),
                 std::optional<QString>(QStringLiteral("Mixer connected, 3 channels. Scanning them…")));

        // Desk's scan would have ended here; Mixer's runs its whole length.
        rig.play(kScan / 2);
        QVERIFY(engine.scanning());
        rig.play(kScan / 2);
        QVERIFY(!engine.scanning());
        // The same steady hum on every channel of Mixer (Desk gave silence): one voice, heard thrice.
        QCOMPARE(engine.scanResults(),
                 (QMap<int, ScanKind>{{0, ScanKind::quiet()}, {1, ScanKind::copy(0)}, {2, ScanKind::copy(0)}}));
        QVERIFY(!rig.defaults->contains(DesktopTranscriber::channelsKey(QStringLiteral("a"))));
    }

    // Whatever closes the input under a scan, the scan ends there, says why and judges nothing.
    void scanThatLosesItsInput_data()
    {
        QTest::addColumn<QString>("order"); // what happens, in order
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("status");
        QTest::newRow("scan while logging, then stop") << "start scan stop" << kScanStopped << "Off";
        QTest::newRow("start during a scan, then stop") << "scan start stop" << kScanStopped << "Off";
        QTest::newRow("idle scan, device unplugged") << "scan lose" << kScanLost << "Lost Desk: The cable came out.";
        QTest::newRow("scan while logging, device unplugged")
            << "start scan lose" << kScanLost << "Lost Desk: The cable came out. Logging stopped.";
        QTest::newRow("scan while logging, input switched") << "start scan select" << kScanSwitched << "Listening…";
    }
    void scanThatLosesItsInput()
    {
        QFETCH(QString, order);
        QFETCH(QString, notice);
        QFETCH(QString, status);
        Rig rig;
        rig.voices = QList<Voice>(8, tone(0.0f));
        rig.env.scanDurationMs = int(kScan.count());
        rig.setDevices({device(QStringLiteral("a"), QStringLiteral("Desk"), 6, true),
                        device(QStringLiteral("b"), QStringLiteral("Field"), 3)});
        DesktopTranscriber& engine = rig.make();
        QSignalSpy scanning(&engine, &DesktopTranscriber::scanningChanged);
        for (const QString& step : order.split(u' ')) {
            if (step == QLatin1String("scan")) {
                engine.scanChannels();
                QVERIFY(engine.scanning());
            } else if (step == QLatin1String("start")) {
                engine.start();
            } else if (step == QLatin1String("stop")) {
                engine.stop();
            } else if (step == QLatin1String("select")) {
                engine.selectDevice(QStringLiteral("b"));
            } else if (step == QLatin1String("lose")) {
                rig.source->loseDevice(QStringLiteral("The cable came out."));
                QVERIFY(spinUntil([&] { return !engine.scanning(); }));
            }
            rig.play(kScan / 4);
        }
        QVERIFY(!engine.scanning());
        QCOMPARE(scanning.count(), 2);
        QCOMPARE(engine.notice(), std::optional<QString>(notice));
        QCOMPARE(engine.status(), status);
        rig.play(kScan);
        QVERIFY(engine.scanResults().isEmpty());
        QCOMPARE(engine.notice(), std::optional<QString>(notice));
        QVERIFY(!onStates(engine).contains(u'0'));
    }
};

PINDLE_TEST(ScanDeviceTest)
#include "test_scan_device.moc"
