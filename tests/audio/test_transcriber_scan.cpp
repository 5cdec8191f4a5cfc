#include "common/TestMain.h"

#include "test_transcriber_support.h"

using namespace transcriber_test;

namespace {

using Voice = std::function<float(qint64 frame)>;
constexpr double kRate = 48000.0;
constexpr qint64 kBuffer = 4096;

// A talker: a 300 Hz voice whose level jumps from buffer to buffer in the order `step` picks,
// so its dB series has a wide spread.
Voice talker(int step, int offset)
{
    static const float levels[] = {0.5f, 0.02f, 0.3f, 0.005f, 0.4f, 0.05f, 0.25f, 0.01f};
    return [step, offset](qint64 frame) {
        const qint64 block = frame / kBuffer;
        const float level = levels[(block * step + offset) % 8];
        return level * float(std::sin(2.0 * std::numbers::pi * 300.0 * double(frame) / kRate));
    };
}

Voice hum(double hz, float amplitude)
{
    return [hz, amplitude](qint64 frame) {
        return amplitude * float(std::sin(2.0 * std::numbers::pi * hz * double(frame) / kRate));
    };
}

// White noise, the same for the same frame.
Voice noise(float amplitude)
{
    return [amplitude](qint64 frame) {
        quint64 x = quint64(frame) * 0x9E3779B97F4A7C15ull;
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 32;
        return amplitude * (float(x % 20001) / 10000.0f - 1.0f);
    };
}

Voice silence()
{
    return [](qint64) { return 0.0f; };
}

GeneratedAudioSource::Generator play(QList<Voice> voices)
{
    auto frame = std::make_shared<qint64>(0);
    return [voices, frame](float* out, qsizetype frames, int channels) -> qsizetype {
        for (qsizetype f = 0; f < frames; ++f, ++*frame) {
            for (int c = 0; c < channels; ++c) {
                out[f * channels + c] = c < voices.size() ? voices.at(c)(*frame) : 0.0f;
            }
        }
        return frames;
    };
}

// The rig's engine, on `voices` and a short scan.
DesktopTranscriber& build(Rig& rig, QList<Voice> voices, int scanMs = 1500)
{
    TranscriberEnvironment env;
    env.defaults = rig.defaults.get();
    env.devices = rig.devices.get();
    env.now = [clock = rig.clock] { return *clock; };
    env.silenceCheckDelayMs = 60'000;
    env.scanDurationMs = scanMs;
    env.makeCapture = [&rig, voices]() -> std::unique_ptr<AudioCaptureSource> {
        GeneratedAudioSource::Options options;
        options.sampleRate = kRate;
        options.channelCount = int(voices.size());
        options.minSliceFrames = 256;
        options.maxSliceFrames = 1024;
        options.refuseOpen = rig.refuseOpen;
        auto made = std::make_unique<GeneratedAudioSource>(options, play(voices));
        rig.source = made.get();
        ++rig.capturesOpened;
        return made;
    };
    env.makeStream = [&rig](const StreamRequest& request) {
        auto stream = std::make_shared<ScriptedStream>(request);
        rig.streams.append(stream);
        return stream;
    };
    rig.engine = std::make_unique<DesktopTranscriber>(env);
    return *rig.engine;
}

// Ch 1 and Ch 6 talk, Ch 2 is dead, Ch 3 carries Ch 1 again, Ch 4 buzzes, Ch 5 hums.
QList<Voice> shootVoices()
{
    return {talker(7, 0), silence(), talker(7, 0), noise(0.2f), hum(440.0, 0.1414f), talker(3, 1)};
}

const QString kMixedNotice =
    QStringLiteral("Scanned 6 channels: 2 with speech. Muted Ch 2 (silent), Ch 3 (copy of 1), Ch 4 (timecode). "
                   "Unmute any it got wrong.");

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

    void idleScanJudgesGeneratedAudioAndClosesCapture()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 6, true)});
        DesktopTranscriber& engine = build(rig, shootVoices());
        QSignalSpy focus(&engine, &DesktopTranscriber::scanFocusChanged);
        engine.scanChannels();
        QVERIFY(engine.scanning());
        QCOMPARE(rig.capturesOpened, 1);
        QVERIFY(!engine.running());
        // A second request while scanning is ignored.
        engine.scanChannels();
        QCOMPARE(rig.capturesOpened, 1);

        QTRY_VERIFY_WITH_TIMEOUT(!engine.scanning(), 15000);
        QCOMPARE(engine.scanResults(), shootVerdicts());
        QCOMPARE(engine.notice(), std::optional<QString>(kMixedNotice));
        QCOMPARE(engine.scanProgress(), 1.0);
        QVERIFY(!engine.scanFocus());
        QVERIFY(focus.count() >= 6);
        QCOMPARE(engine.levels(), QList<float>(6, 0.0f));
        QVERIFY(!engine.running());
        const QList<bool> on = {true, false, false, false, true, true};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(engine.channels().at(i).on, on.at(i));
        }
        // The scan closed its capture: a start opens a fresh one.
        engine.start();
        QCOMPARE(rig.capturesOpened, 2);
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 4, 5}));
    }

    void scanWhileLoggingKeepsLoggingAndClosesMutedStreams()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 6, true)});
        DesktopTranscriber& engine = build(rig, shootVoices());
        engine.start();
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 1, 2, 3, 4, 5}));
        const auto copyStream = rig.open(2);
        engine.scanChannels();
        QCOMPARE(rig.capturesOpened, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.scanning(), 15000);
        QVERIFY(engine.running());
        QCOMPARE(engine.scanResults(), shootVerdicts());
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 4, 5}));
        QCOMPARE(copyStream->stops, 1);
        QCOMPARE(rig.capturesOpened, 1);
        const qint64 before = rig.open(0)->framesIn.load();
        QTRY_VERIFY(rig.open(0)->framesIn.load() > before);
    }

    // A start while a scan holds the input it opened takes that capture over: one capture only,
    // and the scan's end leaves it running.
    void startDuringIdleScanTakesCaptureOver()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 6, true)});
        DesktopTranscriber& engine = build(rig, shootVoices());
        engine.scanChannels();
        QCOMPARE(rig.capturesOpened, 1);
        engine.start();
        QVERIFY(engine.running());
        QCOMPARE(rig.capturesOpened, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.scanning(), 15000);
        QVERIFY(engine.running());
        QCOMPARE(rig.capturesOpened, 1);
        QCOMPARE(engine.openStreamChannels(), (QList<int>{0, 4, 5}));
        const qint64 before = rig.open(5)->framesIn.load();
        QTRY_VERIFY(rig.open(5)->framesIn.load() > before);
        QTRY_VERIFY(engine.levels().value(0) > 0.0f);

        // And a stop afterwards really closes it.
        engine.stop();
        QVERIFY(!engine.running());
        engine.start();
        QCOMPARE(rig.capturesOpened, 2);
    }

    void stopDuringIdleScanFinishesOnWhatItHeard()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 6, true)});
        DesktopTranscriber& engine = build(rig, shootVoices());
        engine.scanChannels();
        engine.start();
        engine.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!engine.scanning(), 15000);
        QVERIFY(!engine.running());
        QCOMPARE(rig.capturesOpened, 1);
        QVERIFY(engine.notice().has_value());
    }

    void everyChannelTalking()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 3, true)});
        DesktopTranscriber& engine = build(rig, {talker(7, 0), talker(3, 1), talker(5, 2)});
        engine.scanChannels();
        QTRY_VERIFY_WITH_TIMEOUT(!engine.scanning(), 15000);
        QCOMPARE(engine.scanResults().size(), 3);
        QCOMPARE(engine.notice(),
                 std::optional<QString>(QStringLiteral("Scanned 3 channels: 3 with speech, nothing to switch off.")));
    }

    void channelAlreadyOffIsNotNoted()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 3, true)});
        DesktopTranscriber& engine = build(rig, {talker(7, 0), silence(), silence()});
        engine.setOn(1, false);
        engine.renameChannel(2, QStringLiteral("Boom"));
        engine.scanChannels();
        QTRY_VERIFY_WITH_TIMEOUT(!engine.scanning(), 15000);
        QCOMPARE(engine.notice(),
                 std::optional<QString>(QStringLiteral(
                     "Scanned 3 channels: 1 with speech. Muted Boom (silent). Unmute any it got wrong.")));
    }

    void fewerChannelsThanConfigured()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 4, true)});
        DesktopTranscriber& engine = build(rig, {talker(7, 0), silence()});
        engine.scanChannels();
        QTRY_VERIFY_WITH_TIMEOUT(!engine.scanning(), 15000);
        QCOMPARE(engine.scanResults().keys(), (QList<int>{0, 1}));
        QVERIFY(engine.channels().at(2).on);
        QVERIFY(engine.channels().at(3).on);
    }

    void singleMicrophoneDoesNothing()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("m"), QStringLiteral("Mic"), 2, true)});
        DesktopTranscriber& engine = build(rig, {talker(7, 0), talker(7, 0)});
        engine.scanChannels();
        QVERIFY(!engine.scanning());
        QCOMPARE(rig.capturesOpened, 0);
    }

    void refusedInput()
    {
        Rig rig;
        rig.refuseOpen = QStringLiteral("Busy.");
        rig.setDevices({device(QStringLiteral("i"), QStringLiteral("Interface"), 4, true)});
        DesktopTranscriber& engine = build(rig, {silence(), silence(), silence(), silence()});
        QSignalSpy scanning(&engine, &DesktopTranscriber::scanningChanged);
        engine.scanChannels();
        QVERIFY(!engine.scanning());
        QCOMPARE(scanning.count(), 2);
        QCOMPARE(engine.status(), QStringLiteral("Couldn't open the input to scan it."));
        QVERIFY(engine.scanResults().isEmpty());
        // Nothing is left half started: a later scan can run.
        rig.refuseOpen.clear();
        engine.scanChannels();
        QVERIFY(engine.scanning());
    }

    void arrivingInterfaceIsScanned()
    {
        Rig rig;
        rig.setDevices({device(QStringLiteral("m"), QStringLiteral("Mic"), 1, true)});
        DesktopTranscriber& engine = build(rig, {talker(7, 0), silence(), noise(0.2f)});
        QVERIFY(!engine.scanning());
        rig.setDevices({device(QStringLiteral("m"), QStringLiteral("Mic"), 1, true),
                        device(QStringLiteral("x"), QStringLiteral("Mixer"), 3)});
        QTRY_VERIFY(engine.scanning());
        QCOMPARE(engine.deviceUID(), std::optional<QString>(QStringLiteral("x")));
        QCOMPARE(rig.capturesOpened, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!engine.scanning(), 15000);
        QCOMPARE(engine.scanResults().value(2), ScanKind::timecode());
        QVERIFY(engine.notice()->startsWith(QStringLiteral("Scanned 3 channels: 1 with speech. Muted ")));
    }
};

PINDLE_TEST(TranscriberScanTest)
#include "test_transcriber_scan.moc"
