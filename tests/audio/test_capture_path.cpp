#include "common/TestMain.h"

#include "audio/CapturePath.h"
#include "platform/GeneratedAudioSource.h"
#include "platform/ManualClock.h"

#include <QMutex>
#include <QThread>

#include <atomic>
#include <cmath>
#include <numbers>

namespace {

using namespace std::chrono_literals;

constexpr int kFrames = CaptureChunker::kFrames;

// A stream that keeps what it was given, and notes the thread its destructor ran on.
class RecordingStream final : public TranscriptStream {
public:
    explicit RecordingStream(int channel, std::atomic<int>* destroyedOffMain = nullptr)
        : TranscriptStream(channel), m_destroyedOffMain(destroyedOffMain)
    {
    }
    ~RecordingStream() override
    {
        if (m_destroyedOffMain != nullptr && QThread::currentThread() != qApp->thread()) {
            ++*m_destroyedOffMain;
        }
    }
    bool onDevice() const override { return false; }
    const QList<DisplaySegment>& display() const override { return m_display; }
    std::optional<double> lastWordEnd() const override { return std::nullopt; }
    QStringList wordsSince(double) const override { return {}; }
    void start() override {}
    void stop() override { m_stopped = true; }
    void append(std::span<const float> mono, double sampleRate) override
    {
        if (m_stopped) {
            return;
        }
        QMutexLocker locker(&m_mutex);
        m_samples.insert(m_samples.end(), mono.begin(), mono.end());
        rate = sampleRate;
        ++appends;
    }
    std::vector<float> samples()
    {
        QMutexLocker locker(&m_mutex);
        return m_samples;
    }
    std::atomic<double> rate{0.0};
    std::atomic<int> appends{0};

private:
    QList<DisplaySegment> m_display;
    std::atomic<bool> m_stopped{false};
    std::atomic<int>* m_destroyedOffMain;
    QMutex m_mutex;
    std::vector<float> m_samples;
};

// One buffer, frame-major: `value(frame, channel)`.
template <typename F> std::vector<float> buffer(int channels, F value, int frames = kFrames)
{
    std::vector<float> out(static_cast<size_t>(frames) * static_cast<size_t>(channels));
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            out[static_cast<size_t>(f * channels + c)] = value(f, c);
        }
    }
    return out;
}

// Levels as the main thread receives them.
struct LevelLog {
    QList<QList<float>> published;
    CapturePath::LevelsHandler handler()
    {
        return [this](const QList<float>& levels) { published.append(levels); };
    }
};

} // namespace

class CapturePathTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each channel's dB, level and zero-crossing rate for one buffer. The sample before the
    // first counts as non-negative, so a signal starting negative crosses at once.
    void metersOneBuffer_data()
    {
        QTest::addColumn<float>("even"); // the samples of even frames
        QTest::addColumn<float>("odd");
        QTest::addColumn<float>("db");
        QTest::addColumn<float>("level");
        QTest::addColumn<float>("zcr");
        const auto row = [](const char* name, float even, float odd, float db, float level, float zcr) {
            QTest::newRow(name) << even << odd << db << level << zcr;
        };
        row("silence", 0.0f, 0.0f, -120.0f, 0.0f, 0.0f);
        row("full-scale square, + first", 1.0f, -1.0f, 0.0f, 1.0f, float(kFrames - 1) / kFrames);
        row("full-scale square, - first", -1.0f, 1.0f, 0.0f, 1.0f, 1.0f);
        row("negative DC 0.5", -0.5f, -0.5f, -6.0206f, 0.89966f, 1.0f / kFrames);
        row("DC at -60 dB", 0.001f, 0.001f, -60.0f, 0.0f, 0.0f);
        row("-30 dB DC", 0.031622776f, 0.031622776f, -30.0f, 0.5f, 0.0f);
        row("over full scale", 2.0f, 2.0f, 6.0206f, 1.0f, 0.0f);
    }
    void metersOneBuffer()
    {
        QFETCH(float, even);
        QFETCH(float, odd);
        QFETCH(float, db);
        QFETCH(float, level);
        QFETCH(float, zcr);
        LevelLog log;
        CapturePath path(log.handler());
        path.setMeteringEnabled(true);
        path.setScanActive(true);
        // Channel 1 always carries silence, so channels are metered apart.
        const std::vector<float> samples = buffer(2, [&](int f, int c) { return c == 1 ? 0.0f : f % 2 ? odd : even; });
        path.handleBuffer(samples.data(), kFrames, 2, 48000.0);
        QCoreApplication::processEvents();
        QCOMPARE(log.published.size(), 1);
        QCOMPARE(log.published[0].size(), 2);
        QVERIFY2(std::abs(log.published[0][0] - level) < 1e-4f, qPrintable(QString::number(log.published[0][0])));
        QCOMPARE(log.published[0][1], 0.0f);
        const ScanStatistics stats = path.takeScanStatistics();
        QCOMPARE(stats.db.size(), 2);
        QVERIFY2(std::abs(stats.db[0][0] - db) < 1e-3f, qPrintable(QString::number(stats.db[0][0])));
        QCOMPARE(stats.db[1][0], -120.0f);
        QVERIFY2(std::abs(stats.zcr[0][0] - zcr) < 1e-6f, qPrintable(QString::number(stats.zcr[0][0])));
        QCOMPARE(stats.zcr[1][0], 0.0f);
    }

    // Levels reach the main thread at most once per 0.066 s of the clock however many buffers
    // arrive; between publications a meter falls by 0.6 per buffer unless a louder one lifts it.
    void levelPublications_data()
    {
        QTest::addColumn<QList<int>>("msBefore"); // clock time before each buffer
        QTest::addColumn<QList<float>>("values"); // each buffer's constant sample
        QTest::addColumn<QList<float>>("published");
        const float loud = 1.0f;
        const float half = 0.031622776f; // -30 dB: level 0.5
        QTest::newRow("quiet buffers fall by 0.6 each")
            << QList<int>{0, 20, 20, 20, 20} << QList<float>{loud, 0, 0, 0, 0} << QList<float>{1.0f, 0.1296f};
        QTest::newRow("a louder buffer lifts the meter")
            << QList<int>{0, 70, 40} << QList<float>{loud, 0, half} << QList<float>{1.0f, 0.6f};
        QTest::newRow("exactly 66 ms is too soon")
            << QList<int>{0, 66, 1} << QList<float>{half, half, half} << QList<float>{0.5f, 0.5f};
        QTest::newRow("many buffers, one per 10 ms")
            << QList<int>(100, 10) << QList<float>(100, half) << QList<float>(15, 0.5f);
    }
    void levelPublications()
    {
        QFETCH(QList<int>, msBefore);
        QFETCH(QList<float>, values);
        QFETCH(QList<float>, published);
        ManualClock clock;
        LevelLog log;
        CapturePath path(log.handler(), &clock);
        path.setMeteringEnabled(true);
        for (qsizetype i = 0; i < values.size(); ++i) {
            clock.advance(std::chrono::milliseconds(msBefore.at(i)));
            const float value = values.at(i);
            const std::vector<float> samples = buffer(8, [value](int, int) { return value; });
            path.handleBuffer(samples.data(), kFrames, 8, 48000.0);
        }
        QCoreApplication::processEvents();
        QCOMPARE(log.published.size(), published.size());
        for (qsizetype i = 0; i < published.size(); ++i) {
            QCOMPARE(log.published[i].size(), 8);
            QVERIFY2(std::abs(log.published[i][7] - published.at(i)) < 1e-4f,
                     qPrintable(QString::number(log.published[i][7])));
        }
    }

    // Each stream gets its own channel at its gain, clamped to ±1; gain exactly 1 copies.
    void gainScalesAndClamps_data()
    {
        QTest::addColumn<float>("gain");
        QTest::addColumn<float>("input");
        QTest::addColumn<float>("expected");
        const auto row = [](const char* name, float gain, float input, float expected) {
            QTest::newRow(name) << gain << input << expected;
        };
        row("half", 0.5f, 0.8f, 0.4f);
        row("half, negative", 0.5f, -0.6f, -0.3f);
        row("double", 2.0f, 0.3f, 0.6f);
        row("double clamps", 2.0f, 0.7f, 1.0f);
        row("double clamps negative", 2.0f, -0.9f, -1.0f);
        row("unity keeps over-range", 1.0f, 1.5f, 1.5f);
        row("zero", 0.0f, 0.9f, 0.0f);
    }
    void gainScalesAndClamps()
    {
        QFETCH(float, gain);
        QFETCH(float, input);
        QFETCH(float, expected);
        CapturePath path({});
        auto stream = std::make_shared<RecordingStream>(2);
        stream->setGain(gain);
        QVERIFY(!path.insertStream(2, stream));
        // Channel 2 carries the test value; its neighbours carry other values to catch a wrong
        // stride or offset.
        const std::vector<float> samples =
            buffer(4, [input](int f, int c) { return c == 2 ? (f % 2 ? input : -input) : 0.01f * (c + 1); });
        path.handleBuffer(samples.data(), kFrames, 4, 44100.0);
        const std::vector<float> got = stream->samples();
        QCOMPARE(int(got.size()), kFrames);
        QCOMPARE(stream->rate.load(), 44100.0);
        for (int f = 0; f < kFrames; ++f) {
            QCOMPARE(got[size_t(f)], f % 2 ? expected : -expected);
        }
    }

    // A single microphone has no meters, peaks or scan series; its stream (-1) gets channel 0
    // of a mono input, else the average of all channels, with no gain.
    void singleMicrophoneMode_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<float>("expected");
        QTest::newRow("mono") << 1 << 0.5f;
        QTest::newRow("stereo") << 2 << 0.125f;
        QTest::newRow("four channels") << 4 << -0.125f;
    }
    void singleMicrophoneMode()
    {
        QFETCH(int, channels);
        QFETCH(float, expected);
        LevelLog log;
        CapturePath path(log.handler());
        path.setScanActive(true);
        path.armPeakSinceStart(channels);
        auto whole = std::make_shared<RecordingStream>(-1);
        whole->setGain(3.0f);
        QVERIFY(!path.insertStream(-1, whole));
        const float values[] = {0.5f, -0.25f, -0.5f, -0.25f};
        const std::vector<float> samples = buffer(channels, [&values](int, int c) { return values[c]; });
        path.handleBuffer(samples.data(), kFrames, channels, 48000.0);
        QCoreApplication::processEvents();
        QVERIFY(log.published.isEmpty());
        QVERIFY(path.takeScanStatistics().db.isEmpty());
        QCOMPARE(path.peakSinceStart(), QList<float>(channels, 0.0f));
        const std::vector<float> got = whole->samples();
        QCOMPARE(int(got.size()), kFrames);
        QVERIFY(std::all_of(got.begin(), got.end(), [expected](float x) { return x == expected; }));
    }

    // Scan series grow one value per buffer and channel only while a scan is active, start
    // over when the channel count changes, and are handed over once.
    void scanSeriesFollowTheScan()
    {
        CapturePath path({});
        path.setMeteringEnabled(true);
        const std::vector<float> two = buffer(2, [](int, int c) { return c == 0 ? 1.0f : 0.1f; });
        const std::vector<float> three = buffer(3, [](int, int) { return 0.1f; });
        path.handleBuffer(two.data(), kFrames, 2, 48000.0);
        QVERIFY(path.takeScanStatistics().db.isEmpty());
        path.setScanActive(true);
        QVERIFY(path.scanActive());
        path.handleBuffer(two.data(), kFrames, 2, 48000.0);
        path.handleBuffer(two.data(), kFrames, 2, 48000.0);
        path.handleBuffer(two.data(), kFrames, 2, 48000.0);
        ScanStatistics stats = path.takeScanStatistics();
        QCOMPARE(stats.db, (QList<QList<float>>{{0.0f, 0.0f, 0.0f}, {-20.0f, -20.0f, -20.0f}}));
        QCOMPARE(stats.zcr.size(), 2);
        QCOMPARE(stats.zcr[1].size(), 3);
        QVERIFY(path.takeScanStatistics().db.isEmpty());
        path.handleBuffer(two.data(), kFrames, 2, 48000.0);
        path.handleBuffer(three.data(), kFrames, 3, 48000.0);
        stats = path.takeScanStatistics();
        QCOMPARE(stats.db.size(), 3);
        QCOMPARE(stats.db[0].size(), 1);
        path.setScanActive(false);
        path.handleBuffer(three.data(), kFrames, 3, 48000.0);
        QVERIFY(path.takeScanStatistics().db.isEmpty());
        path.setScanActive(true);
        QVERIFY(path.takeScanStatistics().db.isEmpty());
    }

    // The peak since the check was armed rises only; armed for another channel count it stays.
    void peakSinceStartHoldsTheHighest()
    {
        CapturePath path({});
        path.setMeteringEnabled(true);
        const std::vector<float> loud = buffer(2, [](int, int c) { return c == 0 ? 0.031622776f : 0.0f; });
        const std::vector<float> quiet = buffer(2, [](int, int) { return 0.0f; });
        path.handleBuffer(loud.data(), kFrames, 2, 48000.0);
        QVERIFY(path.peakSinceStart().isEmpty());
        path.armPeakSinceStart(2);
        path.handleBuffer(loud.data(), kFrames, 2, 48000.0);
        path.handleBuffer(quiet.data(), kFrames, 2, 48000.0);
        const QList<float> peaks = path.peakSinceStart();
        QVERIFY(std::abs(peaks[0] - 0.5f) < 1e-4f);
        QCOMPARE(peaks[1], 0.0f);
        path.armPeakSinceStart(8);
        path.handleBuffer(loud.data(), kFrames, 2, 48000.0);
        QCOMPARE(path.peakSinceStart(), QList<float>(8, 0.0f));
    }

    // The monitor hears its channel at gain 1 whatever the stream's gain; no channel, no index
    // or no hook means silence. The sound-cue hook gets every buffer whole.
    void monitorAndSoundCueHooks()
    {
        CapturePath path({});
        std::vector<float> heard;
        int cueBuffers = 0;
        int cueChannels = 0;
        path.setMonitorHook([&heard](std::span<const float> mono, double) { heard.assign(mono.begin(), mono.end()); });
        path.setSoundCueHook([&](const float*, int frames, int channels, double) {
            cueBuffers += frames == kFrames ? 1 : 0;
            cueChannels = channels;
        });
        auto stream = std::make_shared<RecordingStream>(1);
        stream->setGain(0.5f);
        QVERIFY(!path.insertStream(1, stream));
        const std::vector<float> samples = buffer(3, [](int, int c) { return 0.2f * (c + 1); });
        path.handleBuffer(samples.data(), kFrames, 3, 48000.0);
        QVERIFY(heard.empty());
        path.setMonitorIndex(1);
        QCOMPARE(path.monitorIndex(), std::optional<int>(1));
        path.handleBuffer(samples.data(), kFrames, 3, 48000.0);
        QCOMPARE(int(heard.size()), kFrames);
        QVERIFY(std::all_of(heard.begin(), heard.end(), [](float x) { return x == 0.4f; }));
        const std::vector<float> got = stream->samples();
        QCOMPARE(got.back(), 0.2f);
        heard.clear();
        path.setMonitorIndex(3);
        path.handleBuffer(samples.data(), kFrames, 3, 48000.0);
        QVERIFY(heard.empty());
        path.setMonitorIndex(1);
        path.setMonitorHook({});
        path.handleBuffer(samples.data(), kFrames, 3, 48000.0);
        QVERIFY(heard.empty());
        QCOMPARE(cueBuffers, 4);
        QCOMPARE(cueChannels, 3);
    }

    // Generated audio through the real chunker into the path: the -1 stream receives every
    // sample of every whole buffer in order, whatever slice sizes the source used.
    void generatedAudioThroughThePath_data()
    {
        QTest::addColumn<int>("minSlice");
        QTest::addColumn<int>("maxSlice");
        QTest::newRow("random 1..20000") << 1 << 20000;
        QTest::newRow("device-like 480") << 480 << 480;
        QTest::newRow("large") << 8192 << 16384;
    }
    void generatedAudioThroughThePath()
    {
        QFETCH(int, minSlice);
        QFETCH(int, maxSlice);
        const qsizetype frames = 96'000;
        std::vector<float> ramp(static_cast<size_t>(frames));
        for (qsizetype i = 0; i < frames; ++i) {
            ramp[size_t(i)] = float(i) / float(frames);
        }
        GeneratedAudioSource::Options options;
        options.realTime = false;
        options.minSliceFrames = minSlice;
        options.maxSliceFrames = maxSlice;
        GeneratedAudioSource source(options, ramp);
        CapturePath path({});
        auto whole = std::make_shared<RecordingStream>(-1);
        QVERIFY(!path.insertStream(-1, whole));
        source.onBuffer = [&path](const float* data, int n, int channels, double rate) {
            path.handleBuffer(data, n, channels, rate);
        };
        bool finished = false;
        source.onFinished = [&finished] { finished = true; };
        QVERIFY(source.open(std::nullopt).ok());
        QVERIFY(source.start());
        QTRY_VERIFY(finished);
        const std::vector<float> got = whole->samples();
        QCOMPARE(qsizetype(got.size()), frames / kFrames * kFrames);
        QCOMPARE(whole->appends.load(), int(frames / kFrames));
        QVERIFY(std::equal(got.begin(), got.end(), ramp.begin()));
    }

    // Streams are swapped, taken out, stopped and dropped on the main thread while buffers
    // flow: no stream is touched after it is gone (ASan), and none is destroyed on the capture
    // thread, even when that thread held the last reference.
    void streamsReleasedWhileBuffersFlow()
    {
        std::atomic<int> destroyedOffMain{0};
        auto owned = std::make_unique<CapturePath>(CapturePath::LevelsHandler{});
        CapturePath& path = *owned;
        GeneratedAudioSource::Options options;
        options.channelCount = 4;
        options.realTime = false;
        options.minSliceFrames = 1000;
        options.maxSliceFrames = 9000;
        GeneratedAudioSource source(options, [](float* out, qsizetype frames, int channels) {
            std::fill_n(out, frames * channels, 0.1f);
            return frames;
        });
        std::atomic<int> buffers{0};
        source.onBuffer = [&](const float* data, int n, int channels, double rate) {
            path.handleBuffer(data, n, channels, rate);
            ++buffers;
        };
        path.setMonitorIndex(0);
        QVERIFY(source.open(std::nullopt).ok());
        QVERIFY(source.start());
        int round = 0;
        while (round < 300 || buffers.load() < 40) {
            const int index = round % 5 - 1;
            auto fresh = std::make_shared<RecordingStream>(index, &destroyedOffMain);
            if (const auto old = path.insertStream(index, fresh)) {
                old->stop();
            }
            fresh.reset();
            if (round % 7 == 0) {
                for (const auto& stream : path.takeAllStreams()) {
                    stream->stop();
                }
            }
            path.setMonitorHook([](std::span<const float>, double) {});
            if (round % 3 == 0) {
                QCoreApplication::processEvents();
            }
            ++round;
        }
        for (const auto& stream : path.takeAllStreams()) {
            stream->stop();
        }
        source.stop();
        QCoreApplication::sendPostedEvents();
        owned.reset();
        QCOMPARE(destroyedOffMain.load(), 0);
    }
};

PINDLE_TEST(CapturePathTest)
#include "test_capture_path.moc"
