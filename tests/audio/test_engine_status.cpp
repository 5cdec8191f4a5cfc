#include "common/TestMain.h"

#include "test_transcriber_support.h"

#include "audio/EngineStatus.h"

using namespace transcriber_test;

namespace {

using Kind = EngineStatus::Kind;

// A stream that complains as soon as it starts, before the run has settled: with an error, or
// with the service's refusal.
class ComplainingStream final : public TranscriptStream {
public:
    ComplainingStream(int channel, bool refuse, QString complaint)
        : TranscriptStream(channel), m_refuse(refuse), m_complaint(std::move(complaint))
    {
    }
    bool onDevice() const override { return false; }
    const QList<DisplaySegment>& display() const override { return m_lines; }
    std::optional<double> lastWordEnd() const override { return std::nullopt; }
    QStringList wordsSince(double) const override { return {}; }
    void start() override
    {
        if (m_refuse && onRefused) {
            onRefused(m_complaint);
        } else if (!m_refuse && onError) {
            onError(m_complaint);
        }
    }
    void stop() override {}
    void append(std::span<const float>, double) override {}

private:
    bool m_refuse;
    QString m_complaint;
    QList<DisplaySegment> m_lines;
};

} // namespace

// The status line as a kind with details: every text derived from it, and the engine deciding on
// the kind, never on the text.
class EngineStatusTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void text_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<int>("delivered");
        QTest::addColumn<int>("configured");
        QTest::addColumn<bool>("stopped");
        QTest::addColumn<QString>("text");

        const auto row = [](const char* name, Kind kind, const QString& device, const QString& detail, const char* text,
                            int delivered = 0, int configured = 0, bool stopped = false) {
            QTest::newRow(name) << int(kind) << device << detail << delivered << configured << stopped
                                << QString::fromUtf8(text);
        };
        row("off", Kind::Off, {}, {}, "Off");
        row("starting", Kind::Starting, {}, {}, "Starting…");
        row("listening", Kind::Listening, {}, {}, "Listening…");
        row("no input", Kind::NoInput, {}, {}, "No microphone input found");
        row("could not open", Kind::CouldNotOpen, "Desk", {}, "Couldn't open Desk");
        row("could not open a nameless device", Kind::CouldNotOpen, {}, {}, "Couldn't open the microphone");
        row("could not start", Kind::CouldNotStart, "Desk", {}, "Couldn't start audio from Desk");
        row("could not start a nameless device", Kind::CouldNotStart, {}, {},
            "Couldn't start audio from the microphone");
        row("fewer channels", Kind::FewerChannels, "Desk", {}, "Desk is giving 2 of 8 channels", 2, 8);
        row("fewer channels, nameless", Kind::FewerChannels, {}, {}, "The device is giving 0 of 3 channels", 0, 3);
        row("a name with markers", Kind::FewerChannels, "%2 of %1", {}, "%2 of %1 is giving 4 of 6 channels", 4, 6);
        row("every channel off", Kind::EveryChannelOff, {}, {}, "Every channel is off. Unmute one to transcribe.");
        row("scan could not open", Kind::ScanCouldNotOpen, {}, {}, "Couldn't open the input to scan it.");
        row("stream problem", Kind::StreamProblem, {}, "Boom: connection lost", "Boom: connection lost");
        row("refused", Kind::Refused, {}, "quota_exceeded", "Pindle refused transcription (quota_exceeded).");
        row("lost while idle", Kind::Lost, "Desk", "it was disconnected.", "Lost Desk: it was disconnected.");
        row("lost while logging", Kind::Lost, "Desk", " it was disconnected. ",
            "Lost Desk: it was disconnected. Logging stopped.", 0, 0, true);
        row("lost without a reason", Kind::Lost, "Desk", " \n", "Lost Desk.");
        row("lost, nameless", Kind::Lost, {}, {}, "Lost The input. Logging stopped.", 0, 0, true);
    }
    void text()
    {
        QFETCH(int, kind);
        QFETCH(QString, device);
        QFETCH(QString, detail);
        QFETCH(int, delivered);
        QFETCH(int, configured);
        QFETCH(bool, stopped);
        QFETCH(QString, text);
        const EngineStatus status{Kind(kind), device, detail, delivered, configured, stopped};
        QCOMPARE(status.text(), text);
    }

    // A run's status goes Off, Listening, Off; a problem met while opening stays on show.
    void runStates()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(4);
        QCOMPARE(engine.statusKind(), Kind::Off);
        engine.start();
        QCOMPARE(engine.statusKind(), Kind::Listening);
        QCOMPARE(engine.status(), QStringLiteral("Listening…"));
        engine.stop();
        QCOMPARE(engine.statusKind(), Kind::Off);

        rig.captureChannels = 2;
        engine.start();
        QVERIFY(engine.running());
        QCOMPARE(engine.statusKind(), Kind::FewerChannels);
        QCOMPARE(engine.status(), QStringLiteral("Desk is giving 2 of 4 channels"));
        engine.stop();

        rig.refuseStart = QStringLiteral("busy");
        engine.start();
        QVERIFY(!engine.running());
        QCOMPARE(engine.statusKind(), Kind::CouldNotStart);
    }

    // A refusal met while the run opens stays on show, whatever its wording; a stream's error
    // before the run is up is not shown, and the run settles to listening.
    void complaintsWhileOpening_data()
    {
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("complaint");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("refusal") << true << "quota_exceeded" << int(Kind::Refused)
                                 << "Pindle refused transcription (quota_exceeded).";
        QTest::newRow("refusal worded like the start")
            << true << "Starting" << int(Kind::Refused) << "Pindle refused transcription (Starting).";
        QTest::newRow("error before the run is up")
            << false << "Starting: busy" << int(Kind::Listening) << QString::fromUtf8("Listening…");
    }
    void complaintsWhileOpening()
    {
        QFETCH(bool, refuse);
        QFETCH(QString, complaint);
        QFETCH(int, kind);
        QFETCH(QString, text);
        Rig rig;
        rig.env.makeStream = [refuse, complaint](const StreamRequest& request) {
            return std::make_shared<ComplainingStream>(request.channel, refuse, complaint);
        };
        DesktopTranscriber& engine = rig.desk(1);
        engine.start();
        QVERIFY(engine.running());
        QCOMPARE(int(engine.statusKind()), kind);
        QCOMPARE(engine.status(), text);
    }
};

PINDLE_TEST(EngineStatusTest)
#include "test_engine_status.moc"
