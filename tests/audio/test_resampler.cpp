#include "common/TestMain.h"

#include "audio/Resampler16k.h"

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace {

std::vector<float> sine(double rate, double hz, double seconds, float amplitude)
{
    std::vector<float> out(static_cast<size_t>(std::llround(rate * seconds)));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * double(i) / rate));
    }
    return out;
}

// Converts `input` in calls of random size (1...maxCall samples; 0: in one call), then flushes.
std::vector<qint16> convertChunked(double rate, const std::vector<float>& input, int maxCall, quint32 seed = 3)
{
    Resampler16k resampler(rate);
    std::vector<qint16> out;
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> size(1, std::max(1, maxCall));
    size_t done = 0;
    while (done < input.size()) {
        const size_t n = maxCall > 0 ? std::min(size_t(size(random)), input.size() - done) : input.size();
        const auto got = resampler.process(std::span<const float>(input).subspan(done, n));
        out.insert(out.end(), got.begin(), got.end());
        done += n;
    }
    const auto rest = resampler.flush();
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

// Sign changes between `from` and `to`.
int crossings(const std::vector<qint16>& samples, size_t from, size_t to)
{
    int count = 0;
    for (size_t i = from + 1; i < to; ++i) {
        count += (samples[i] < 0) != (samples[i - 1] < 0) ? 1 : 0;
    }
    return count;
}

} // namespace

class Resampler16kTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void convertsToSixteenKilohertz_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<double>("hz");
        QTest::addColumn<int>("maxCall");
        QTest::newRow("48 kHz, small calls") << 48000.0 << 440.0 << 64;
        QTest::newRow("44.1 kHz, odd calls") << 44100.0 << 1000.0 << 997;
        QTest::newRow("96 kHz, capture buffers") << 96000.0 << 3000.0 << 4096;
        QTest::newRow("16 kHz passes through") << 16000.0 << 440.0 << 300;
        QTest::newRow("8 kHz upsampled") << 8000.0 << 300.0 << 50;
        QTest::newRow("single samples") << 22050.0 << 700.0 << 1;
    }
    // Two seconds in many calls give two seconds at 16 kHz (± a few samples) with the tone's
    // frequency and level kept.
    void convertsToSixteenKilohertz()
    {
        QFETCH(double, rate);
        QFETCH(double, hz);
        QFETCH(int, maxCall);
        const double seconds = 2.0;
        const std::vector<qint16> out = convertChunked(rate, sine(rate, hz, seconds, 0.5f), maxCall);
        QVERIFY2(std::abs(double(out.size()) - seconds * 16000.0) <= 4.0, qPrintable(QString::number(out.size())));

        // Away from the edges, where the filter starts and ends.
        const size_t from = 800;
        const size_t to = out.size() - 800;
        const double measured = crossings(out, from, to) / 2.0 / (double(to - from) / 16000.0);
        QVERIFY2(std::abs(measured - hz) < hz * 0.01, qPrintable(QString::number(measured)));
        const auto [low, high] = std::minmax_element(out.begin() + long(from), out.begin() + long(to));
        QVERIFY2(std::abs(*high - 16384) < 330 && std::abs(*low + 16384) < 330,
                 qPrintable(QStringLiteral("%1 %2").arg(*low).arg(*high)));
    }

    // State is kept across calls: cut anywhere, the output is the same as in one piece (no
    // click or gap at a buffer boundary).
    void chunkedEqualsOneShot_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("maxCall");
        QTest::newRow("48 kHz") << 48000.0 << 4096;
        QTest::newRow("44.1 kHz tiny calls") << 44100.0 << 7;
        QTest::newRow("96 kHz") << 96000.0 << 1500;
    }
    void chunkedEqualsOneShot()
    {
        QFETCH(double, rate);
        QFETCH(int, maxCall);
        std::vector<float> input = sine(rate, 523.25, 1.5, 0.4f);
        std::mt19937 random(11);
        std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
        for (float& x : input) {
            x += noise(random);
        }
        const std::vector<qint16> whole = convertChunked(rate, input, 0);
        const std::vector<qint16> chunked = convertChunked(rate, input, maxCall);
        QCOMPARE(chunked.size(), whole.size());
        int worst = 0;
        for (size_t i = 0; i < whole.size(); ++i) {
            worst = std::max(worst, std::abs(int(whole[i]) - int(chunked[i])));
        }
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }

    // Beyond full scale the output clips at the int16 limits instead of wrapping round.
    void clipsOverRangeInput_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("+2") << 2.0f << 32767;
        QTest::newRow("-2") << -2.0f << -32768;
        QTest::newRow("+1.01") << 1.01f << 32767;
        QTest::newRow("+inf-ish") << 1e30f << 32767;
    }
    void clipsOverRangeInput()
    {
        QFETCH(float, value);
        QFETCH(int, expected);
        const std::vector<qint16> out = convertChunked(48000.0, std::vector<float>(48000, value), 4096);
        QVERIFY(out.size() > 15000);
        for (size_t i = 1000; i < out.size() - 1000; ++i) {
            QCOMPARE(int(out[i]), expected);
        }
    }

    // A rate the resampler cannot take gives an invalid resampler that outputs nothing.
    void rejectsUnusableRates_data()
    {
        QTest::addColumn<double>("rate");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -48000.0;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
        QTest::newRow("absurd") << 5.0e9;
    }
    void rejectsUnusableRates()
    {
        QFETCH(double, rate);
        Resampler16k resampler(rate);
        QVERIFY(!resampler.isValid());
        QVERIFY(!resampler.errorString().isEmpty());
        const std::vector<float> input(4096, 0.5f);
        QVERIFY(resampler.process(input).empty());
        QVERIFY(resampler.flush().empty());
        QCOMPARE(resampler.outputCount(), 0);
    }

    // After warm-up the output buffer is reused; after the flush nothing more comes out.
    void reusesItsBufferAndEndsAtFlush()
    {
        Resampler16k resampler(48000.0);
        QVERIFY(resampler.isValid());
        QCOMPARE(resampler.inputRate(), 48000.0);
        const std::vector<float> buffer = sine(48000.0, 440.0, 4096 / 48000.0, 0.3f);
        QVERIFY(resampler.process({}).empty());
        (void)resampler.process(buffer);
        const qint16* first = resampler.process(buffer).data();
        // soxr works in blocks of its own, so a call gives a varying share of the buffer's 1365⅓.
        for (int i = 0; i < 50; ++i) {
            const auto out = resampler.process(buffer);
            QVERIFY(out.size() > 900 && out.size() < 1800);
            QCOMPARE(out.data(), first);
        }
        const qint64 before = resampler.outputCount();
        const auto rest = resampler.flush();
        QCOMPARE(resampler.outputCount(), before + qint64(rest.size()));
        QCOMPARE(resampler.outputCount(), qint64(std::llround(52.0 * 4096 / 3.0)));
        QVERIFY(resampler.flush().empty());
        QVERIFY(resampler.process(buffer).empty());
    }
};

PINDLE_TEST(Resampler16kTest)
#include "test_resampler.moc"
