#include "common/TestMain.h"

#include "ScriptedStandinTest.h"
#include "audio/ChannelStream.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "test_transcriber_support.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>

using namespace transcriber_test;

namespace {

constexpr int kWaitMs = 15000;
constexpr double kBytesPerSecond = 16000.0 * 2.0;

// The stand-in stops reading while this lives, as a peer that hangs or a link that stalls: its
// socket buffers fill and then the client's writes pile up.
class PausedPeer {
public:
    explicit PausedPeer(qint64 pid) : m_pid(static_cast<pid_t>(pid)) { ::kill(m_pid, SIGSTOP); }
    ~PausedPeer() { resume(); }
    PausedPeer(const PausedPeer&) = delete;
    PausedPeer& operator=(const PausedPeer&) = delete;
    void resume()
    {
        if (std::exchange(m_paused, false)) {
            ::kill(m_pid, SIGCONT);
        }
    }

private:
    pid_t m_pid;
    bool m_paused = true;
};

// The same step, played once `ms` of audio have arrived.
QJsonObject onAudio(int ms, QJsonObject step)
{
    step.remove(QStringLiteral("after_ms"));
    step.insert(QStringLiteral("after_audio_ms"), ms);
    return step;
}

} // namespace

// The engine's cloud streams against a stand-in that stops reading: what the socket is handed
// stays bounded (the oldest audio goes, and is counted), and audio dropped before the service
// heard it moves the service's word times back to where they were spoken.
class StreamBacklogTest : public ScriptedStandinTest {
    Q_OBJECT

private:
    QJsonObject lastConnection() { return connections().last().toObject(); }

    // The engine on a three-channel desk with only its first channel live, on the stand-in.
    DesktopTranscriber& oneLiveChannel(Rig& rig, const QString& shoot)
    {
        rig.service = m_service.get();
        rig.captureChannels = 3;
        DesktopTranscriber& engine = rig.desk(3);
        engine.setOn(1, false);
        engine.setOn(2, false);
        engine.setShootToken(shoot);
        return engine;
    }

private Q_SLOTS:
    void initTestCase() { startStandin(); }

    void cleanup() { m_standin->control(QStringLiteral("ws-clear")); }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }

    // Two minutes of a peer that reads nothing: most of it is dropped and counted, and what
    // reaches the service once it reads again is a bounded backlog, not the two minutes.
    void stalledPeerKeepsTheSocketBounded()
    {
        const QString shoot = createShoot(QStringLiteral("Backlog test"));
        QVERIFY(!shoot.isEmpty());
        script({finalResult(600000, QStringLiteral("late"), QStringLiteral("never"), 0.0, 0.1)});
        Rig rig;
        DesktopTranscriber& engine = oneLiveChannel(rig, shoot);
        engine.start();
        const auto cloud = std::dynamic_pointer_cast<ChannelStream>(engine.stream(0));
        QVERIFY(cloud);
        rig.play(500ms);
        QTRY_VERIFY_WITH_TIMEOUT(lastConnection().value(QStringLiteral("audio_bytes")).toInteger() > 0, kWaitMs);

        const qint64 stalledSeconds = 120;
        {
            PausedPeer paused(m_standin->processId());
            for (qint64 second = 0; second < stalledSeconds; ++second) {
                rig.play(1s);
                // Real time for the socket thread to hand over what it may.
                QThread::msleep(5);
            }
            QThread::msleep(100);
            const double dropped = double(cloud->droppedAudioBytes()) / kBytesPerSecond;
            // The stream's queue (10 s), a little in the socket and what the system buffers may
            // hold; the rest is gone, oldest first.
            QVERIFY2(dropped > double(stalledSeconds) * 0.75, qPrintable(QString::number(dropped)));
        }
        const double dropped = double(cloud->droppedAudioBytes()) / kBytesPerSecond;
        engine.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!lastConnection().value(QStringLiteral("open")).toBool(), kWaitMs);
        const double heard =
            double(lastConnection().value(QStringLiteral("audio_bytes")).toInteger()) / kBytesPerSecond;
        // Every second of the run was either heard or counted as dropped, never both.
        const double played = double(stalledSeconds) + 0.5;
        QVERIFY2(std::fabs(heard + dropped - played) < 0.2,
                 qPrintable(QStringLiteral("heard %1 s, dropped %2 s of %3 s").arg(heard).arg(dropped).arg(played)));
    }

    // A stall in the middle of a stream: words spoken before the dropped audio keep their times,
    // words after it move by what was dropped.
    void wordsAfterAStallMoveByWhatWasDropped()
    {
        const QString shoot = createShoot(QStringLiteral("Backlog test"));
        QVERIFY(!shoot.isEmpty());
        script({onAudio(1500, finalResult(0, QStringLiteral("before"), QStringLiteral("before"), 1.0, 1.25)),
                onAudio(30000, finalResult(0, QStringLiteral("after"), QStringLiteral("after"), 29.0, 29.5))});
        Rig rig;
        DesktopTranscriber& engine = oneLiveChannel(rig, shoot);
        engine.start();
        const auto cloud = std::dynamic_pointer_cast<ChannelStream>(engine.stream(0));
        QVERIFY(cloud);
        rig.play(3s);
        QTRY_COMPARE_WITH_TIMEOUT(engine.segments().size(), 1, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(
            lastConnection().value(QStringLiteral("audio_bytes")).toInteger() >= 2.5 * kBytesPerSecond, kWaitMs);
        {
            PausedPeer paused(m_standin->processId());
            for (int second = 0; second < 40; ++second) {
                rig.play(1s);
                QThread::msleep(5);
            }
        }
        QVERIFY2(cloud->droppedAudioBytes() > 15 * kBytesPerSecond, QByteArray::number(cloud->droppedAudioBytes()));
        for (int second = 0; second < 20 && engine.segments().size() < 2; ++second) {
            rig.play(1s);
            QTest::qWait(20);
        }
        QTRY_COMPARE_WITH_TIMEOUT(engine.segments().size(), 2, kWaitMs);
        // The queue may still drop a little while the peer catches up; all of it lies before 29 s.
        const double dropped = double(cloud->droppedAudioBytes()) / kBytesPerSecond;
        const double offset = cloud->offset();
        QCOMPARE(engine.segments().at(0).startSecs, offset + 1.0);
        QCOMPARE(engine.segments().at(0).endSecs, offset + 1.25);
        QVERIFY2(std::fabs(engine.segments().at(1).startSecs - (offset + 29.0 + dropped)) < 1e-6,
                 qPrintable(QString::number(engine.segments().at(1).startSecs)));
        engine.stop();
    }

    // A handshake that waits while 15 s of audio arrive: the queue keeps the newest 10 s, and the
    // service's word times count from the first second it heard, 5 s into the stream.
    void audioDroppedBeforeTheHandshakeMovesWordTimes_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::newRow("queue overflowed") << 15;
        QTest::newRow("queue just full") << 10;
    }
    void audioDroppedBeforeTheHandshakeMovesWordTimes()
    {
        QFETCH(int, seconds);
        const QString shoot = createShoot(QStringLiteral("Backlog test"));
        QVERIFY(!shoot.isEmpty());
        script({finalResult(100, QStringLiteral("u1"), QStringLiteral("slate"), 1.0, 1.5)});
        Rig rig;
        DesktopTranscriber& engine = oneLiveChannel(rig, shoot);
        std::shared_ptr<ChannelStream> cloud;
        double dropped = 0.0;
        {
            PausedPeer paused(m_standin->processId());
            engine.start();
            cloud = std::dynamic_pointer_cast<ChannelStream>(engine.stream(0));
            QVERIFY(cloud);
            rig.play(std::chrono::seconds(seconds));
            dropped = double(cloud->droppedAudioBytes()) / kBytesPerSecond;
            QVERIFY2(dropped >= seconds - ChannelStream::kMaxQueuedSeconds - 0.2 &&
                         dropped <= std::max(0.0, seconds - ChannelStream::kMaxQueuedSeconds + 0.2),
                     qPrintable(QString::number(dropped)));
        }
        QTRY_COMPARE_WITH_TIMEOUT(engine.segments().size(), 1, kWaitMs);
        const DisplaySegment line = engine.segments().at(0);
        QCOMPARE(line.text, QStringLiteral("slate"));
        QVERIFY2(std::fabs(line.startSecs - (cloud->offset() + dropped + 1.0)) < 1e-6,
                 qPrintable(QString::number(line.startSecs)));
        QVERIFY2(std::fabs(line.endSecs - (cloud->offset() + dropped + 1.5)) < 1e-6,
                 qPrintable(QString::number(line.endSecs)));
        QCOMPARE(engine.currentTranscriptTime(), std::optional<double>(line.endSecs));
        engine.stop();
    }
};

PINDLE_TEST(StreamBacklogTest)
#include "test_stream_backlog.moc"
