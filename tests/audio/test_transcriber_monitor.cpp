#include "common/TestMain.h"

#include "test_transcriber_support.h"

#include "platform/MonitorSink.h"

#include <QAudioDevice>
#include <QMediaDevices>

using namespace transcriber_test;

namespace {

// What the engine's sinks did, shared with the test after the sink is gone.
struct SinkLog {
    int starts = 0;
    int stops = 0;
    double rate = 0.0;
    std::shared_ptr<MonitorQueue> queue;
};

// An output that accepts the audio and never plays any of it, or refuses to start.
class StalledSink final : public MonitorSink {
public:
    StalledSink(std::shared_ptr<SinkLog> log, QString refusal) : m_log(std::move(log)), m_refusal(std::move(refusal)) {}
    bool start(std::shared_ptr<MonitorQueue> queue, double sampleRate) override
    {
        if (!m_refusal.isEmpty()) {
            return false;
        }
        ++m_log->starts;
        m_log->rate = sampleRate;
        m_log->queue = std::move(queue);
        return true;
    }
    void stop() override { ++m_log->stops; }
    QString errorString() const override { return m_refusal; }

private:
    std::shared_ptr<SinkLog> m_log;
    QString m_refusal;
};

struct MonitorRig : Rig {
    std::shared_ptr<SinkLog> log = std::make_shared<SinkLog>();
    QString refusal;

    explicit MonitorRig(bool realSink = false)
    {
        captureChannels = 4;
        setDevices({device(QStringLiteral("d"), QStringLiteral("Desk"), 4, true)});
        if (!realSink) {
            env.makeMonitorSink = [this]() { return std::make_unique<StalledSink>(log, refusal); };
        }
    }
};

QList<float> sequence(qsizetype from, qsizetype count)
{
    QList<float> out;
    for (qsizetype i = 0; i < count; ++i) {
        out.append(float(from + i));
    }
    return out;
}

QList<float> drain(MonitorQueue& queue)
{
    QList<float> out(queue.size());
    const qsizetype got = queue.pull(reinterpret_cast<char*>(out.data()), out.size());
    out.resize(got);
    return out;
}

float peak(const QList<float>& samples)
{
    float p = 0.0f;
    for (const float x : samples) {
        p = std::max(p, std::abs(x));
    }
    return p;
}

} // namespace

class TranscriberMonitorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void capacity_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<qsizetype>("frames");
        QTest::newRow("48 kHz") << 48000.0 << qsizetype(12000);
        QTest::newRow("44.1 kHz") << 44100.0 << qsizetype(11025);
        QTest::newRow("zero") << 0.0 << qsizetype(1);
        QTest::newRow("negative") << -48000.0 << qsizetype(1);
        QTest::newRow("NaN") << std::nan("") << qsizetype(1);
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << qsizetype(192000);
        QTest::newRow("absurd") << 1e300 << qsizetype(192000);
    }

    void capacity()
    {
        QFETCH(double, rate);
        QFETCH(qsizetype, frames);
        QCOMPARE(MonitorQueue::capacityFor(rate), frames);
    }

    // Pushes of these sizes into a queue of 10 that nobody drains keep the newest 10.
    void queueKeepsNewest_data()
    {
        QTest::addColumn<QList<int>>("pushes");
        QTest::newRow("fits") << QList<int>{3, 4};
        QTest::newRow("exactly full") << QList<int>{10};
        QTest::newRow("one over") << QList<int>{10, 1};
        QTest::newRow("one huge push") << QList<int>{37};
        QTest::newRow("many small") << QList<int>{3, 3, 3, 3, 3, 3, 3};
        QTest::newRow("empty pushes") << QList<int>{0, 12, 0};
    }

    void queueKeepsNewest()
    {
        QFETCH(QList<int>, pushes);
        MonitorQueue queue(10);
        qsizetype total = 0;
        for (const int n : pushes) {
            const QList<float> chunk = sequence(total, n);
            queue.push(chunk);
            total += n;
            QVERIFY(queue.size() <= 10);
        }
        const qsizetype kept = std::min<qsizetype>(total, 10);
        QCOMPARE(queue.dropped(), qint64(total - kept));
        QCOMPARE(drain(queue), sequence(total - kept, kept));
        QCOMPARE(queue.size(), qsizetype(0));
    }

    void queueWrapsAroundPartialPulls()
    {
        MonitorQueue queue(8);
        qsizetype pushed = 0;
        qsizetype pulled = 0;
        for (int round = 0; round < 20; ++round) {
            queue.push(sequence(pushed, 5));
            pushed += 5;
            float out[3];
            const qsizetype got = queue.pull(reinterpret_cast<char*>(out), 3);
            // What comes out is always in order and never older than the newest 8 pushed.
            for (qsizetype i = 0; i < got; ++i) {
                QVERIFY(qsizetype(out[i]) >= pulled);
                QVERIFY(qsizetype(out[i]) >= pushed - 8);
                pulled = qsizetype(out[i]) + 1;
            }
        }
        float none[1];
        MonitorQueue empty(4);
        QCOMPARE(empty.pull(reinterpret_cast<char*>(none), 1), qsizetype(0));
        QCOMPARE(empty.pull(reinterpret_cast<char*>(none), -5), qsizetype(0));
    }

    // A stalled output holds at most a quarter second of the monitored channel, at gain 1.
    void stalledOutputStaysBounded()
    {
        MonitorRig rig;
        rig.voices = {tone(0.1f), tone(0.2f), tone(0.4f), tone(0.05f)};
        DesktopTranscriber& engine = rig.make();
        engine.setFader(2, 0.3);
        engine.setMonitorChannel(2);
        QCOMPARE(engine.monitorChannel(), std::optional<int>(2));
        // Idle: chosen, not played.
        QCOMPARE(rig.log->starts, 0);

        engine.start();
        QCOMPARE(rig.log->starts, 1);
        QVERIFY(engine.monitorPlaying());
        QCOMPARE(rig.log->rate, 48000.0);
        const std::shared_ptr<MonitorQueue> queue = rig.log->queue;
        QVERIFY(queue);
        QCOMPARE(queue->capacity(), qsizetype(12000));
        // Several seconds of audio go through an output that plays none of it.
        rig.play(3s);
        QVERIFY(queue->size() <= 12000);
        QVERIFY(queue->dropped() > 48000);
        const QList<float> held = drain(*queue);
        QVERIFY(!held.isEmpty());
        QVERIFY(std::abs(peak(held) - 0.4f) < 0.01f);
    }

    void toggleStopAndResume()
    {
        MonitorRig rig;
        DesktopTranscriber& engine = rig.make();
        QSignalSpy changed(&engine, &DesktopTranscriber::monitorChannelChanged);
        engine.start();
        engine.setMonitorChannel(1);
        QCOMPARE(rig.log->starts, 1);
        // The headphone button of the monitored channel turns it off.
        engine.setMonitorChannel(std::nullopt);
        QVERIFY(!engine.monitorChannel());
        QVERIFY(!engine.monitorPlaying());
        QCOMPARE(rig.log->stops, 1);
        QCOMPARE(changed.count(), 2);

        engine.setMonitorChannel(3);
        QCOMPARE(rig.log->starts, 2);
        // Another channel keeps the same output.
        engine.setMonitorChannel(0);
        QCOMPARE(rig.log->starts, 2);

        engine.stop();
        QCOMPARE(rig.log->stops, 2);
        QVERIFY(!engine.monitorPlaying());
        QCOMPARE(engine.monitorChannel(), std::optional<int>(0));
        engine.start();
        QCOMPARE(rig.log->starts, 3);
        QVERIFY(engine.monitorPlaying());
    }

    void channelBeyondDeviceFeedsNothing()
    {
        MonitorRig rig;
        DesktopTranscriber& engine = rig.make();
        engine.setMonitorChannel(9);
        engine.start();
        QVERIFY(rig.log->queue);
        rig.play(1s);
        QCOMPARE(rig.log->queue->size(), qsizetype(0));
        QCOMPARE(rig.log->queue->dropped(), qint64(0));
    }

    // An output that will not play, refused or not there at all, leaves a notice and the run
    // going, whether the channel was chosen before or during the run.
    void outputThatWillNotPlay_data()
    {
        QTest::addColumn<bool>("realSink");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused while running") << false << "The output is busy.";
        QTest::newRow("no output device, chosen first") << true << "No audio output is available.";
    }
    void outputThatWillNotPlay()
    {
        QFETCH(bool, realSink);
        QFETCH(QString, reason);
        if (realSink && !QMediaDevices::audioOutputs().isEmpty()) {
            QSKIP("This machine has an audio output.");
        }
        MonitorRig rig(realSink);
        rig.refusal = realSink ? QString() : reason;
        DesktopTranscriber& engine = rig.make();
        if (realSink) {
            engine.setMonitorChannel(2);
        }
        engine.start();
        engine.setMonitorChannel(2);
        QCOMPARE(engine.monitorChannel(), std::optional<int>(2));
        QVERIFY(!engine.monitorPlaying());
        QCOMPARE(engine.notice(),
                 std::optional<QString>(QStringLiteral("Couldn't play this channel through the computer's output: ") +
                                        reason));
        QVERIFY(engine.running());
        QCOMPARE(rig.log->starts, 0);
        engine.stop();
        QVERIFY(!engine.running());
    }

    // The scan that opened the input stops the monitor with it.
    void idleScanMonitorsAndStops()
    {
        MonitorRig rig;
        DesktopTranscriber& engine = rig.make();
        engine.setMonitorChannel(1);
        engine.scanChannels();
        QVERIFY(engine.scanning());
        QCOMPARE(rig.log->starts, 1);
        rig.play(8s);
        QVERIFY(!engine.scanning());
        QCOMPARE(rig.log->stops, 1);
        QVERIFY(!engine.monitorPlaying());
        QCOMPARE(engine.monitorChannel(), std::optional<int>(1));
    }
};

PINDLE_TEST(TranscriberMonitorTest)
#include "test_transcriber_monitor.moc"
