#include "common/TestMain.h"

#include "audio/CapturePath.h"
#include "audio/Resampler16k.h"
#include "platform/AudioCapture.h"

#include <QMutex>

#include <cmath>
#include <random>

namespace {

// A stream that keeps every sample it was given, optionally converted to 16 kHz as a live
// stream converts it.
class KeepingStream final : public TranscriptStream {
public:
    explicit KeepingStream(int channel, bool convert = false) : TranscriptStream(channel), m_convert(convert) {}
    bool onDevice() const override { return false; }
    const QList<DisplaySegment>& display() const override { return m_display; }
    std::optional<double> lastWordEnd() const override { return std::nullopt; }
    QStringList wordsSince(double) const override { return {}; }
    void start() override {}
    void stop() override {}
    void append(std::span<const float> mono, double sampleRate) override
    {
        rate = sampleRate;
        samples.insert(samples.end(), mono.begin(), mono.end());
        if (m_convert) {
            if (!m_resampler)
                m_resampler = std::make_unique<Resampler16k>(sampleRate);
            const std::span<const qint16> out = m_resampler->process(mono);
            converted.insert(converted.end(), out.begin(), out.end());
        }
    }

    // The end of the audio: what the converter still holds.
    void flush()
    {
        if (m_resampler) {
            const std::span<const qint16> rest = m_resampler->flush();
            converted.insert(converted.end(), rest.begin(), rest.end());
        }
    }

    std::vector<float> samples;
    std::vector<qint16> converted;
    double rate = 0.0;

private:
    QList<DisplaySegment> m_display;
    bool m_convert;
    std::unique_ptr<Resampler16k> m_resampler;
};

// A different value for every frame and channel, some beyond full scale, so a wrong stride,
// offset or row shows.
float sampleAt(int frame, int channel)
{
    const float value = std::sin(0.37f * float(frame) + 1.3f * float(channel)) * (1.0f + 0.05f * float(channel % 5));
    return (frame + channel) % 7 == 0 ? -value : value;
}

std::vector<float> interleavedBuffer(int frames, int channels, int firstFrame = 0)
{
    std::vector<float> out(size_t(frames) * size_t(channels));
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < channels; ++c)
            out[size_t(f) * size_t(channels) + size_t(c)] = sampleAt(firstFrame + f, c);
    }
    return out;
}

// The gain of the stream on `channel`: unity, below, above (clamps) and zero in turn.
float gainFor(int channel)
{
    constexpr float kGains[] = {1.0f, 0.5f, 2.5f, 0.0f, 1.25f};
    return kGains[channel % 5];
}

} // namespace

class CaptureSplitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every stream gets exactly its own channel at its gain, clamped, and the monitor its channel
    // at gain 1, for any channel count and any frame count, metered or not (metering splits all
    // channels, four at a time where it can; without it only the channels heard are split).
    void channelsSplitApart_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("frames");
        QTest::addColumn<bool>("metering");
        for (const bool metering : {true, false}) {
            for (const auto& [channels, frames] :
                 {std::pair{1, 1}, std::pair{1, 4097}, std::pair{2, 3}, std::pair{3, 127}, std::pair{4, 129},
                  std::pair{5, 4096}, std::pair{7, 255}, std::pair{8, 4095}, std::pair{31, 131}, std::pair{32, 1},
                  std::pair{32, 4097}}) {
                const QByteArray name = QByteArray::number(channels) + " channels, " + QByteArray::number(frames) +
                                        " frames" + (metering ? ", metered" : "");
                QTest::newRow(name.constData()) << channels << frames << metering;
            }
        }
    }
    void channelsSplitApart()
    {
        QFETCH(int, channels);
        QFETCH(int, frames);
        QFETCH(bool, metering);
        CapturePath path({});
        path.setMeteringEnabled(metering);
        // Streams on every other channel from the last down, so the split ones are not all in a row.
        QList<std::shared_ptr<KeepingStream>> streams;
        for (int c = channels - 1; c >= 0; c -= 2) {
            auto stream = std::make_shared<KeepingStream>(c);
            stream->setGain(gainFor(c));
            QVERIFY(!path.insertStream(c, stream));
            streams.append(stream);
        }
        const int monitored = channels - 1;
        std::vector<float> heard;
        path.setMonitorIndex(monitored);
        path.setMonitorHook([&heard](std::span<const float> mono, double) { heard.assign(mono.begin(), mono.end()); });

        // Two buffers: the second may be split over what the first left in the scratch rows.
        for (int buffer = 0; buffer < 2; ++buffer) {
            const std::vector<float> samples = interleavedBuffer(frames, channels, buffer * frames);
            path.handleBuffer(samples.data(), frames, channels, 48000.0);
            QCOMPARE(int(heard.size()), frames);
            for (int f = 0; f < frames; ++f)
                QCOMPARE(heard[size_t(f)], sampleAt(buffer * frames + f, monitored));
        }
        for (const auto& stream : streams) {
            const int c = stream->channel();
            QCOMPARE(int(stream->samples.size()), 2 * frames);
            for (int f = 0; f < 2 * frames; ++f) {
                const float expected =
                    gainFor(c) == 1.0f ? sampleAt(f, c) : std::clamp(sampleAt(f, c) * gainFor(c), -1.0f, 1.0f);
                if (stream->samples[size_t(f)] != expected)
                    QFAIL(qPrintable(QStringLiteral("channel %1, frame %2: %3 instead of %4")
                                         .arg(c)
                                         .arg(f)
                                         .arg(stream->samples[size_t(f)])
                                         .arg(expected)));
            }
        }
    }

    // The meters of every channel agree with the formulas written in CapturePath.h, worked out
    // here sample by sample, for odd frame counts and channel counts around the split's groups
    // of four; the zero-crossing count starts afresh with each buffer.
    void metersFollowTheFormulas_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("frames");
        QTest::newRow("1 channel, 1 frame") << 1 << 1;
        QTest::newRow("3 channels, 129 frames") << 3 << 129;
        QTest::newRow("4 channels, 4096 frames") << 4 << 4096;
        QTest::newRow("6 channels, 333 frames") << 6 << 333;
        QTest::newRow("32 channels, 4097 frames") << 32 << 4097;
    }
    void metersFollowTheFormulas()
    {
        QFETCH(int, channels);
        QFETCH(int, frames);
        CapturePath path({});
        path.setMeteringEnabled(true);
        path.setScanActive(true);
        std::mt19937 random(7);
        std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
        std::vector<std::vector<float>> buffers(2, std::vector<float>(size_t(frames) * size_t(channels)));
        for (auto& buffer : buffers) {
            for (size_t i = 0; i < buffer.size(); ++i) {
                // Each channel at its own level, one of them silent.
                const size_t c = i % size_t(channels);
                buffer[i] = c == 1 ? 0.0f : noise(random) * std::pow(0.3f, float(c % 4));
            }
            path.handleBuffer(buffer.data(), frames, channels, 44100.0);
        }
        const ScanStatistics stats = path.takeScanStatistics();
        QCOMPARE(stats.db.size(), channels);
        for (int c = 0; c < channels; ++c) {
            QCOMPARE(stats.db[c].size(), 2);
            for (int b = 0; b < 2; ++b) {
                double sum = 0.0;
                int crossings = 0;
                bool negative = false;
                for (int f = 0; f < frames; ++f) {
                    const float x = buffers[size_t(b)][size_t(f) * size_t(channels) + size_t(c)];
                    sum += double(x) * x;
                    crossings += (x < 0.0f) != negative ? 1 : 0;
                    negative = x < 0.0f;
                }
                const float db = float(10.0 * std::log10(std::max(sum / frames, 1e-12)));
                QVERIFY2(
                    std::abs(stats.db[c][b] - db) < 1e-4f,
                    qPrintable(QStringLiteral("channel %1: %2 dB instead of %3").arg(c).arg(stats.db[c][b]).arg(db)));
                QCOMPARE(stats.zcr[c][b], float(crossings) / float(frames));
            }
        }
    }

    // Split and converted to 16 kHz through the path, each channel comes out sample for sample as
    // it does converted on its own in one piece, at the usual capture rates, with buffers of the
    // chunker's size and with odd ones.
    void splitChannelsConvertAsAlone_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("frames");
        for (const double rate : {44100.0, 48000.0, 96000.0}) {
            for (const auto& [channels, frames] :
                 {std::pair{1, CaptureChunker::kFrames}, std::pair{32, CaptureChunker::kFrames}, std::pair{32, 1001}}) {
                const QByteArray name = QByteArray::number(rate) + " Hz, " + QByteArray::number(channels) +
                                        " channels, " + QByteArray::number(frames) + " frames";
                QTest::newRow(name.constData()) << rate << channels << frames;
            }
        }
    }
    void splitChannelsConvertAsAlone()
    {
        QFETCH(double, rate);
        QFETCH(int, channels);
        QFETCH(int, frames);
        CapturePath path({});
        path.setMeteringEnabled(true);
        QList<std::shared_ptr<KeepingStream>> streams;
        for (int c = 0; c < channels; ++c) {
            auto stream = std::make_shared<KeepingStream>(c, true);
            QVERIFY(!path.insertStream(c, stream));
            streams.append(stream);
        }
        // Half a second of audio, the last buffer short.
        const int total = int(rate / 2);
        const std::vector<float> audio = interleavedBuffer(total, channels);
        for (int at = 0; at < total; at += frames)
            path.handleBuffer(audio.data() + size_t(at) * size_t(channels), std::min(frames, total - at), channels,
                              rate);
        for (const auto& stream : streams) {
            const int c = stream->channel();
            QCOMPARE(stream->rate, rate);
            std::vector<float> alone(size_t(total), 0.0f);
            for (int f = 0; f < total; ++f)
                alone[size_t(f)] = sampleAt(f, c);
            stream->flush();
            Resampler16k resampler(rate);
            const std::span<const qint16> converted = resampler.process(alone);
            std::vector<qint16> expected(converted.begin(), converted.end());
            const std::span<const qint16> rest = resampler.flush();
            expected.insert(expected.end(), rest.begin(), rest.end());
            QVERIFY(expected.size() > size_t(total / rate * 16000.0) - 2);
            QCOMPARE(stream->converted.size(), expected.size());
            QVERIFY2(std::equal(expected.begin(), expected.end(), stream->converted.begin()),
                     qPrintable(QStringLiteral("channel %1").arg(c)));
        }
    }
};

PINDLE_TEST(CaptureSplitTest)
#include "test_capture_split.moc"
