#include "common/TestMain.h"

#include "test_transcriber_support.h"

using namespace transcriber_test;

namespace {

constexpr auto kScan = 1600ms;

// The rig's engine on an interface of `inputs` channels playing `code`, with a short scan.
DesktopTranscriber& build(Rig& rig, int inputs, const char* code)
{
    rig.voices = voices(code);
    rig.captureChannels = int(rig.voices.size());
    rig.env.scanDurationMs = int(kScan.count());
    rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), inputs, true)});
    return rig.make();
}

// Ch 1 and Ch 6 talk, Ch 2 is dead, Ch 3 carries Ch 1 again, Ch 4 buzzes, Ch 5 hums.
const char* const kShoot = "asanhb";

QMap<int, ScanKind> shootVerdicts()
{
    return {{0, ScanKind::speech()},   {1, ScanKind::silent()}, {2, ScanKind::copy(0)},
            {3, ScanKind::timecode()}, {4, ScanKind::quiet()},  {5, ScanKind::speech()}};
}

QList<float> constant(float value, int n)
{
    return QList<float>(n, value);
}

QList<float> alternating(float low, float high, int n)
{
    QList<float> out;
    for (int i = 0; i < n; ++i) {
        out.append(i % 2 == 0 ? low : high);
    }
    return out;
}

} // namespace

class TranscriberScanTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void verdicts_data()
    {
        QTest::addColumn<QList<float>>("db");
        QTest::addColumn<QList<float>>("zcr");
        QTest::addColumn<int>("kind");

        const auto k = [](ScanKind::Kind kind) { return int(kind); };
        QTest::newRow("buzzing hum is timecode")
            << constant(-20.0f, 20) << constant(0.2f, 20) << k(ScanKind::Kind::Timecode);
        QTest::newRow("hum with few crossings is quiet")
            << constant(-20.0f, 20) << constant(0.02f, 20) << k(ScanKind::Kind::Quiet);
        QTest::newRow("zcr just at 0.03 is not timecode")
            << constant(-20.0f, 20) << constant(0.03f, 20) << k(ScanKind::Kind::Quiet);
        QTest::newRow("buzz at -35 is not loud enough for timecode")
            << constant(-35.0f, 20) << constant(0.2f, 20) << k(ScanKind::Kind::Quiet);
        QTest::newRow("no zcr series is never timecode")
            << constant(-20.0f, 20) << QList<float>{} << k(ScanKind::Kind::Quiet);
        QTest::newRow("-70 average is silent whatever its spread")
            << alternating(-110.0f, -30.0f, 20) << constant(0.1f, 20) << k(ScanKind::Kind::Silent);
        QTest::newRow("empty series is silent") << QList<float>{} << QList<float>{} << k(ScanKind::Kind::Silent);
        QTest::newRow("wide and loud is speech")
            << alternating(-40.0f, -10.0f, 20) << constant(0.01f, 20) << k(ScanKind::Kind::Speech);
        QTest::newRow("wide but below -50 is quiet")
            << alternating(-59.0f, -45.0f, 20) << constant(0.01f, 20) << k(ScanKind::Kind::Quiet);
        QTest::newRow("spread exactly 5 is quiet")
            << alternating(-35.0f, -25.0f, 20) << constant(0.01f, 20) << k(ScanKind::Kind::Quiet);
        QTest::newRow("exactly -60 is not silent")
            << constant(-60.0f, 20) << constant(0.01f, 20) << k(ScanKind::Kind::Quiet);
    }

    void verdicts()
    {
        QFETCH(QList<float>, db);
        QFETCH(QList<float>, zcr);
        QFETCH(int, kind);
        const auto result = DesktopTranscriber::classifyScan({db}, {zcr}, {0});
        QCOMPARE(result.size(), 1);
        QCOMPARE(int(result.value(0).kind), kind);
    }

    void copies()
    {
        QList<float> voice;
        for (int i = 0; i < 30; ++i) {
            voice.append(-30.0f + 12.0f * float(std::sin(i * 1.7)));
        }
        QList<float> echo;
        for (const float v : voice) {
            echo.append(v - 6.0f);
        }
        const QList<float> buzz = constant(-20.0f, 30);
        const QList<QList<float>> db = {voice, echo, buzz, echo, QList<float>(voice.mid(0, 4))};
        const QList<QList<float>> zcr = {constant(0.01f, 30), constant(0.01f, 30), constant(0.3f, 30),
                                         constant(0.01f, 30), constant(0.01f, 4)};
        const auto result = DesktopTranscriber::classifyScan(db, zcr, {0, 1, 2, 3, 4, 7});
        QCOMPARE(result.value(0), ScanKind::speech());
        // Both echoes copy the lowest channel, never each other.
        QCOMPARE(result.value(1), ScanKind::copy(0));
        QCOMPARE(result.value(3), ScanKind::copy(0));
        QCOMPARE(result.value(2), ScanKind::timecode());
        // Four values cannot make a copy.
        QVERIFY(result.value(4).kind != ScanKind::Kind::Copy);
        // A channel the device did not deliver gets no verdict.
        QVERIFY(!result.contains(7));
        QCOMPARE(result.value(1).description(), QStringLiteral("COPY OF 1"));
    }

    void correlation_data()
    {
        QTest::addColumn<QList<float>>("a");
        QTest::addColumn<QList<float>>("b");
        QTest::addColumn<float>("expected");
        const QList<float> ramp = {1, 2, 3, 4, 5, 6};
        QTest::newRow("identical") << ramp << ramp << 1.0f;
        QTest::newRow("mirrored") << ramp << QList<float>{6, 5, 4, 3, 2, 1} << -1.0f;
        QTest::newRow("flat") << ramp << constant(3.0f, 6) << 0.0f;
        QTest::newRow("four values") << QList<float>{1, 2, 3, 4} << QList<float>{1, 2, 3, 4} << 0.0f;
        QTest::newRow("common prefix only")
            << QList<float>{1, 2, 3, 4, 5} << QList<float>{1, 2, 3, 4, 5, -100, 90} << 1.0f;
        QTest::newRow("empty") << QList<float>{} << ramp << 0.0f;
    }

    void correlation()
    {
        QFETCH(QList<float>, a);
        QFETCH(QList<float>, b);
        QFETCH(float, expected);
        QCOMPARE(qRound(DesktopTranscriber::scanCorrelation(a, b) * 1000.0f), qRound(expected * 1000.0f));
    }

    // An idle scan opens the input, judges what it heard once its time has passed on the clock,
    // mutes what has no voice of its own (naming channels as they are called now, and only
    // those still on) and closes the input again.
    void idleScan_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("off"); // a channel switched off before the scan, -1 for none
        QTest::addColumn<QString>("on");
        QTest::addColumn<QString>("muted"); // "" when nothing is switched off
        const auto row = [](const char* name, int inputs, const char* code, int off, const char* on,
                            const char* muted) {
            QTest::newRow(name) << inputs << QString::fromLatin1(code) << off << QString::fromLatin1(on)
                                << QString::fromLatin1(muted);
        };
        row("mixed shoot", 6, kShoot, -1, "100011",
            "2 with speech. Muted Ch 2 (silent), Boom (copy of 1), Ch 4 (timecode)");
        row("every channel talking", 3, "abc", -1, "111", "");
        row("already off is not noted", 3, "ass", 1, "100", "1 with speech. Muted Boom (silent)");
        // Channels the device does not deliver get no verdict and stay as they are.
        row("fewer delivered than configured", 4, "as", -1, "1011", "1 with speech. Muted Ch 2 (silent)");
    }
    void idleScan()
    {
        QFETCH(int, inputs);
        QFETCH(QString, code);
        QFETCH(int, off);
        QFETCH(QString, on);
        QFETCH(QString, muted);
        const QString notice = QStringLiteral("Scanned %1 channels: ").arg(inputs) +
                               (muted.isEmpty() ? QStringLiteral("%1 with speech, nothing to switch off.").arg(inputs)
                                                : muted + QStringLiteral(". Unmute any it got wrong."));
        Rig rig;
        DesktopTranscriber& engine = build(rig, inputs, qPrintable(code));
        engine.setOn(off, false);
        engine.renameChannel(2, QStringLiteral("Boom"));
        QSignalSpy focus(&engine, &DesktopTranscriber::scanFocusChanged);
        engine.scanChannels();
        QVERIFY(engine.scanning());
        QVERIFY(!engine.running());
        // A second request while scanning is ignored.
        engine.scanChannels();
        QCOMPARE(rig.capturesOpened, 1);

        rig.play(kScan - 100ms);
        QVERIFY(engine.scanning());
        rig.play(100ms);
        QVERIFY(!engine.scanning());
        QCOMPARE(engine.scanResults().size(), code.size());
        if (code == QLatin1String(kShoot)) {
            QCOMPARE(engine.scanResults(), shootVerdicts());
        }
        QCOMPARE(engine.notice(), std::optional<QString>(notice));
        QCOMPARE(engine.scanProgress(), 1.0);
        QVERIFY(!engine.scanFocus());
        QVERIFY(focus.count() >= inputs);
        QCOMPARE(engine.levels(), QList<float>(code.size(), 0.0f));
        QString state;
        for (const ChannelConfig& config : engine.channels()) {
            state += config.on ? u'1' : u'0';
        }
        QCOMPARE(state, on);
        // The scan closed its capture: a start opens a fresh one.
        engine.start();
        QCOMPARE(rig.capturesOpened, 2);
    }

    // Logging and a scan share one capture, whichever came first: the scan's end closes the
    // streams of the channels it muted and leaves logging on. A stop during the scan ends the run
    // and closes the input; the scan ends there, unjudged, and says so.
    void scanAndLoggingShareTheCapture_data()
    {
        QTest::addColumn<bool>("scanFirst");
        QTest::addColumn<bool>("stopAgain");
        QTest::newRow("scan while logging") << false << false;
        QTest::newRow("start during a scan") << true << false;
        QTest::newRow("start and stop during a scan") << true << true;
    }
    void scanAndLoggingShareTheCapture()
    {
        QFETCH(bool, scanFirst);
        QFETCH(bool, stopAgain);
        Rig rig;
        DesktopTranscriber& engine = build(rig, 6, kShoot);
        if (scanFirst) {
            engine.scanChannels();
        }
        engine.start();
        QVERIFY(engine.running());
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 1, 2, 3, 4, 5}));
        const auto copyStream = rig.open(2);
        if (!scanFirst) {
            engine.scanChannels();
        }
        if (stopAgain) {
            engine.stop();
        }
        rig.play(kScan);
        QVERIFY(!engine.scanning());
        QCOMPARE(engine.running(), !stopAgain);
        QCOMPARE(rig.capturesOpened, 1);
        QVERIFY(engine.notice().has_value());
        if (stopAgain) {
            return;
        }
        QCOMPARE(engine.scanResults(), shootVerdicts());
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 4, 5}));
        QCOMPARE(copyStream->stops, 1);
        const qint64 before = rig.open(5)->framesIn.load();
        rig.play(100ms);
        QVERIFY(rig.open(5)->framesIn.load() > before);
        QVERIFY(engine.levels().value(0) > 0.0f);
        // And a stop afterwards really closes it.
        engine.stop();
        engine.start();
        QCOMPARE(rig.capturesOpened, 2);
    }

    // Nothing happens for a single microphone; a refused input leaves nothing half started.
    void scanThatCannotRun()
    {
        Rig rig;
        DesktopTranscriber& mic = build(rig, 2, "aa");
        mic.scanChannels();
        QVERIFY(!mic.scanning());
        QCOMPARE(rig.capturesOpened, 0);

        rig.refuseOpen = QStringLiteral("Busy.");
        DesktopTranscriber& engine = build(rig, 4, "ssss");
        QSignalSpy scanning(&engine, &DesktopTranscriber::scanningChanged);
        engine.scanChannels();
        QVERIFY(!engine.scanning());
        QCOMPARE(scanning.count(), 2);
        QCOMPARE(engine.status(), QStringLiteral("Couldn't open the input to scan it."));
        QVERIFY(engine.scanResults().isEmpty());
        rig.refuseOpen.clear();
        engine.scanChannels();
        QVERIFY(engine.scanning());
    }

    void arrivingInterfaceIsScanned()
    {
        Rig rig;
        DesktopTranscriber& engine = build(rig, 1, "asn");
        QVERIFY(!engine.scanning());
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 1, true),
                        device(QStringLiteral("x"), QStringLiteral("Mixer"), 3)});
        QVERIFY(engine.scanning());
        QCOMPARE(engine.deviceUID(), std::optional<QString>(QStringLiteral("x")));
        QCOMPARE(rig.capturesOpened, 1);
        rig.play(kScan);
        QVERIFY(!engine.scanning());
        QCOMPARE(engine.scanResults().value(2), ScanKind::timecode());
        QVERIFY(engine.notice()->startsWith(QStringLiteral("Scanned 3 channels: 1 with speech. Muted ")));
    }
};

PINDLE_TEST(TranscriberScanTest)
#include "test_transcriber_scan.moc"
