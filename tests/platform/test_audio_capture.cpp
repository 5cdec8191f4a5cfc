#include "common/TestMain.h"

#include "platform/AudioCapture.h"
#include "platform/AudioDevices.h"
#include "platform/GeneratedAudioSource.h"
#include "platform/ManualClock.h"

#include <QMutex>
#include <QSignalSpy>
#include <QThread>

#include <atomic>
#include <random>

namespace {

using namespace std::chrono_literals;

// Interleaved audio whose every sample tells its frame and channel, so a buffer shows exactly
// which frames it carries.
std::vector<float> codedAudio(qsizetype frames, int channels)
{
    std::vector<float> audio(static_cast<size_t>(frames * channels));
    for (qsizetype f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c)
            audio[static_cast<size_t>(f * channels + c)] = static_cast<float>(f * channels + c);
    }
    return audio;
}

// What a capture consumer saw: every buffer checked for size and continuity on arrival.
struct Receiver {
    QMutex mutex;
    int buffers = 0;
    qint64 nextSample = 0;
    bool wrongSize = false;
    bool discontinuous = false;
    QThread* thread = nullptr;
    QString threadName;

    CaptureChunker::Handler handler()
    {
        return [this](const float* data, int frames, int channels, double) {
            QMutexLocker locker(&mutex);
            ++buffers;
            thread = QThread::currentThread();
            threadName = thread->objectName();
            wrongSize |= frames != CaptureChunker::kFrames;
            for (qsizetype i = 0; i < qsizetype(frames) * channels; ++i)
                discontinuous |= data[i] != static_cast<float>(nextSample + i);
            nextSample += qsizetype(frames) * channels;
        };
    }
    int count()
    {
        QMutexLocker locker(&mutex);
        return buffers;
    }
};

} // namespace

class AudioCaptureTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Whatever slice sizes arrive, out come exact 4096-frame buffers carrying every frame once,
    // in order; a partial buffer waits for the next slice, slices beyond a device's 8192-frame
    // limit are split, never dropped.
    void chunkerCutsExactBuffers_data()
    {
        QTest::addColumn<int>("minSlice");
        QTest::addColumn<int>("maxSlice");
        QTest::addColumn<int>("channels");
        QTest::newRow("random 1..20000, 2 ch") << 1 << 20000 << 2;
        QTest::newRow("single frames, mono") << 1 << 1 << 1;
        QTest::newRow("one short of a buffer") << 4095 << 4095 << 3;
        QTest::newRow("exact buffers, 32 ch") << 4096 << 4096 << 32;
        QTest::newRow("one over a buffer") << 4097 << 4097 << 1;
        QTest::newRow("beyond the device limit") << 8193 << 20000 << 4;
    }
    void chunkerCutsExactBuffers()
    {
        QFETCH(int, minSlice);
        QFETCH(int, maxSlice);
        QFETCH(int, channels);
        const qsizetype frames = 150'000;
        const std::vector<float> audio = codedAudio(frames, channels);
        CaptureChunker chunker;
        chunker.reset(channels, 48000.0);
        Receiver receiver;
        const auto handler = receiver.handler();
        std::mt19937 random(7);
        std::uniform_int_distribution<int> size(minSlice, maxSlice);
        qsizetype done = 0;
        while (done < frames) {
            const qsizetype n = std::min<qsizetype>(size(random), frames - done);
            chunker.push(audio.data() + done * channels, n, handler);
            done += n;
            QCOMPARE(receiver.buffers, int(done / CaptureChunker::kFrames));
            QCOMPARE(chunker.pendingFrames(), int(done % CaptureChunker::kFrames));
        }
        QVERIFY(!receiver.wrongSize);
        QVERIFY(!receiver.discontinuous);
    }

    // A reset or clear drops the partial buffer; a channel count outside 1...32 delivers nothing.
    void chunkerResetAndBadInput()
    {
        CaptureChunker chunker;
        Receiver receiver;
        const auto handler = receiver.handler();
        const std::vector<float> audio = codedAudio(5000, 1);
        chunker.push(audio.data(), 5000, handler);
        QCOMPARE(receiver.buffers, 0);
        chunker.reset(1, 16000.0);
        chunker.push(audio.data(), 3000, handler);
        chunker.clear();
        QCOMPARE(chunker.pendingFrames(), 0);
        chunker.push(audio.data(), 4096, handler);
        QCOMPARE(receiver.buffers, 1);
        chunker.push(nullptr, 9000, handler);
        chunker.reset(AudioCaptureSource::kMaxChannels + 1, 48000.0);
        QCOMPARE(chunker.channels(), AudioCaptureSource::kMaxChannels);
        chunker.reset(-3, 48000.0);
        chunker.push(audio.data(), 5000, handler);
        QCOMPARE(receiver.buffers, 1);
    }

    // The generated source slices its audio like a device and goes through the same chunker on
    // its own capture thread; as fast as possible it delivers every whole buffer, then finishes.
    void generatedSourceDeliversEveryBuffer_data()
    {
        QTest::addColumn<int>("minSlice");
        QTest::addColumn<int>("maxSlice");
        QTest::newRow("random 1..20000") << 1 << 20000;
        QTest::newRow("small slices") << 64 << 700;
        QTest::newRow("huge slices") << 20000 << 20000;
    }
    void generatedSourceDeliversEveryBuffer()
    {
        QFETCH(int, minSlice);
        QFETCH(int, maxSlice);
        const int channels = 3;
        const qsizetype frames = 100'000;
        GeneratedAudioSource::Options options;
        options.channelCount = channels;
        options.realTime = false;
        options.minSliceFrames = minSlice;
        options.maxSliceFrames = maxSlice;
        GeneratedAudioSource source(options, codedAudio(frames, channels));
        Receiver receiver;
        source.onBuffer = receiver.handler();
        bool finished = false;
        source.onFinished = [&finished] { finished = true; };
        const CaptureOpenResult opened = source.open(QStringLiteral("any"));
        QVERIFY(opened.ok());
        QCOMPARE(*opened.format, (CaptureFormat{48000.0, channels}));
        QVERIFY(source.start());
        QTRY_VERIFY_WITH_TIMEOUT(finished, 10000);
        QCOMPARE(receiver.buffers, int(frames / CaptureChunker::kFrames));
        QCOMPARE(source.framesGenerated(), frames);
        QVERIFY(!receiver.wrongSize);
        QVERIFY(!receiver.discontinuous);
        QVERIFY(receiver.thread != QThread::currentThread());
        QCOMPARE(receiver.threadName, QStringLiteral("io.pindle.logger.capture"));
    }

    // In real time a slice is delivered once the clock has passed its last frame: a 16-channel
    // 48 kHz input gives a 4096-frame buffer every 85 ms of the clock, whatever slice size it uses.
    void generatedSourcePacesOnItsClock()
    {
        ManualClock clock;
        GeneratedAudioSource::Options options;
        options.channelCount = 16;
        options.minSliceFrames = 100;
        options.maxSliceFrames = 1500;
        options.loop = true;
        options.clock = &clock;
        GeneratedAudioSource source(options, std::vector<float>(16 * 48000, 0.25f));
        std::atomic<int> buffers{0};
        source.onBuffer = [&buffers](const float*, int frames, int channels, double rate) {
            if (frames == 4096 && channels == 16 && rate == 48000.0)
                ++buffers;
        };
        QVERIFY(source.open(std::nullopt).ok());
        QVERIFY(source.caughtUp());
        QVERIFY(source.start());
        for (int ms = 0; ms <= 1000; ms += 50) {
            QVERIFY(QTest::qWaitFor([&] { return source.caughtUp(); }, 5000));
            const qint64 due = qint64(ms) * 48;
            const qint64 generated = source.framesGenerated();
            QVERIFY2(generated <= due && generated > due - 1500, qPrintable(QString::number(generated)));
            QCOMPARE(buffers.load(), int(generated / 4096));
            clock.advance(50ms);
        }
        source.stop();
    }

    // Once `stop` returns no buffer arrives, also while the source was delivering as fast as it
    // could; a stopped source can start again from the beginning.
    void stopDrainsTheCaptureThread()
    {
        GeneratedAudioSource::Options options;
        options.channelCount = 2;
        options.realTime = false;
        options.loop = true;
        GeneratedAudioSource source(options, codedAudio(48000, 2));
        Receiver receiver;
        source.onBuffer = receiver.handler();
        QVERIFY(source.open(std::nullopt).ok());
        for (int run = 0; run < 3; ++run) {
            QVERIFY(source.start());
            QTRY_VERIFY(receiver.count() > 20);
            source.stop();
            const int atStop = receiver.count();
            QTest::qWait(50);
            QCOMPARE(receiver.count(), atStop);
            source.stop();
            QMutexLocker locker(&receiver.mutex);
            receiver.buffers = 0;
            receiver.nextSample = 0;
        }
    }

    // A lost device stops delivery and reports once, on the main thread; a stopped source does
    // not report a loss.
    void lostDeviceIsReported()
    {
        GeneratedAudioSource::Options options;
        options.realTime = false;
        options.loop = true;
        GeneratedAudioSource source(options, std::vector<float>(9000, 0.1f));
        std::atomic<int> buffers{0};
        source.onBuffer = [&buffers](const float*, int, int, double) { ++buffers; };
        QStringList reasons;
        QThread* reportThread = nullptr;
        source.onLost = [&](const QString& reason) {
            reasons.append(reason);
            reportThread = QThread::currentThread();
        };
        QVERIFY(source.open(std::nullopt).ok());
        QVERIFY(source.start());
        QTRY_VERIFY(buffers.load() > 5);
        source.loseDevice(QStringLiteral("Interface was disconnected."));
        source.loseDevice(QStringLiteral("twice"));
        QTRY_COMPARE(reasons, QStringList{QStringLiteral("Interface was disconnected.")});
        QCOMPARE(reportThread, QThread::currentThread());
        const int atLoss = buffers.load();
        QTest::qWait(30);
        QCOMPARE(buffers.load(), atLoss);

        QVERIFY(source.start());
        source.stop();
        source.loseDevice(QStringLiteral("after stop"));
        QTest::qWait(30);
        QCOMPARE(reasons.size(), 1);
    }

    // A refused device and a bad format fail to open with a sentence; starting unopened fails.
    void generatedSourceRefusals()
    {
        GeneratedAudioSource::Options refused;
        refused.refuseOpen = QStringLiteral("The device refused.");
        GeneratedAudioSource a(refused, std::vector<float>{});
        QVERIFY(!a.start());
        const CaptureOpenResult result = a.open(std::nullopt);
        QVERIFY(!result.ok());
        QCOMPARE(result.error, QStringLiteral("The device refused."));

        GeneratedAudioSource::Options badFormat;
        badFormat.channelCount = 33;
        GeneratedAudioSource b(badFormat, std::vector<float>{});
        QVERIFY(!b.open(std::nullopt).ok());
        QVERIFY(!b.errorString().isEmpty());

        GeneratedAudioSource::Options wontStart;
        wontStart.refuseStart = QStringLiteral("Busy.");
        GeneratedAudioSource c(wontStart, std::vector<float>(10, 0.0f));
        QVERIFY(c.open(std::nullopt).ok());
        QVERIFY(!c.start());
        QCOMPARE(c.errorString(), QStringLiteral("Busy."));
    }

    // Rows keep their number for a uid; a simulated list replaces the system's and says so.
    void devicesListAndSimulation()
    {
        const quint32 a = AudioDevices::idForUid(QStringLiteral("uid-a"));
        const quint32 b = AudioDevices::idForUid(QStringLiteral("uid-b"));
        QVERIFY(a != 0 && b != 0 && a != b);
        QCOMPARE(AudioDevices::idForUid(QStringLiteral("uid-a")), a);

        AudioDevices devices;
        for (const AudioInputDevice& device : devices.list()) {
            QVERIFY(device.channelCount >= 1);
            QCOMPARE(device.channelNames.size(), device.channelCount);
            QCOMPARE(device.id, AudioDevices::idForUid(device.uid));
        }
        QSignalSpy changed(&devices, &AudioDevices::devicesChanged);
        const AudioInputDevice desk{a, QStringLiteral("uid-a"), QStringLiteral("Desk"), 16, QStringList(16, {}), false};
        const AudioInputDevice mic{b, QStringLiteral("uid-b"), QStringLiteral("Mic"), 1, QStringList(1, {}), true};
        devices.setSimulatedDevices(QList<AudioInputDevice>{desk, mic});
        QCOMPARE(changed.size(), 1);
        QCOMPARE(devices.list(), (QList<AudioInputDevice>{desk, mic}));
        QCOMPARE(devices.defaultInput(), std::optional<AudioInputDevice>(mic));
        devices.setSimulatedDevices(QList<AudioInputDevice>{desk});
        QCOMPARE(devices.defaultInput(), std::nullopt);
        devices.setSimulatedDevices(std::nullopt);
        QCOMPARE(changed.size(), 3);
    }
};

PINDLE_TEST(AudioCaptureTest)
#include "test_audio_capture.moc"
