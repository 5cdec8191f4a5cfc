#include "common/TestMain.h"

#include "audio/SoundClassifier.h"
#include "audio/SoundEventDetector.h"
#include "platform/ManualClock.h"

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <random>
#include <thread>

namespace {

constexpr double kScriptRate = 8000.0;

// One scripted window: the time the detector sees when it is classified, and its labels.
struct Step {
    double time;
    QList<SoundClassification> labels;
};

// Plays back a list of windows, one per second of fed audio, and sets the clock's date to each
// window's time (seconds since the reference date).
class ScriptedClassifier final : public SoundClassifier {
public:
    ScriptedClassifier(QList<Step> steps, ManualClock& clock, int delayMs = 0)
        : m_steps(std::move(steps)), m_clock(clock), m_delayMs(delayMs)
    {
    }
    double windowSeconds() const override { return 1.0; }
    double hopSeconds() const override { return 1.0; }
    QList<SoundClassification> classify(std::span<const float>, double) override
    {
        if (m_delayMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(m_delayMs));
        }
        const int index = calls.fetch_add(1);
        if (index >= m_steps.size()) {
            return {};
        }
        m_clock.setNow(Date{m_steps[index].time});
        return m_steps[index].labels;
    }
    std::atomic<int> calls{0};

private:
    QList<Step> m_steps;
    ManualClock& m_clock;
    int m_delayMs;
};

struct Rig {
    explicit Rig(QList<Step> steps, int delayMs = 0)
        : classifier(new ScriptedClassifier(std::move(steps), clock, delayMs)),
          detector(std::unique_ptr<SoundClassifier>(classifier), &clock)
    {
        detector.onEvent = [this](const QString& cue, double confidence) {
            QCOMPARE(QThread::currentThread(), QCoreApplication::instance()->thread());
            events.append(cue);
            confidences.append(confidence);
        };
    }
    // One second of stereo audio in capture-sized buffers.
    void feedSeconds(int seconds)
    {
        std::vector<float> buffer(4000 * 2, 0.1f);
        for (int i = 0; i < seconds * 2; ++i) {
            detector.feed(buffer.data(), 4000, 2, kScriptRate);
        }
    }
    void settle()
    {
        QVERIFY(detector.waitUntilIdle(5000));
        QCoreApplication::processEvents();
    }

    ManualClock clock;
    ScriptedClassifier* classifier;
    SoundEventDetector detector;
    QStringList events;
    QList<double> confidences;
};

using Labels = QList<SoundClassification>;

// Generated test signals at `rate`, `seconds` long.
std::vector<float> clapTrain(double rate, double seconds, double perSecond, quint32 seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> out(size_t(rate * seconds));
    const size_t period = size_t(rate / perSecond);
    const size_t burst = size_t(rate * 0.02);
    for (size_t i = 0; i < out.size(); ++i) {
        const size_t into = i % period;
        const double decay = into < burst ? std::exp(-double(into) / (rate * 0.004)) : 0.0;
        out[i] = float(0.001 * noise(random) + 0.5 * decay * noise(random));
    }
    return out;
}

std::vector<float> whiteNoise(double rate, double seconds, quint32 seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.0f, 0.2f);
    std::vector<float> out(size_t(rate * seconds));
    for (float& x : out) {
        x = noise(random);
    }
    return out;
}

// Noise with most of its power low down, like wind or traffic rumble.
std::vector<float> brownNoise(double rate, double seconds, quint32 seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<float> out(size_t(rate * seconds));
    double level = 0.0;
    for (float& x : out) {
        level = 0.998 * level + 0.02 * noise(random);
        x = float(std::clamp(level, -1.0, 1.0));
    }
    return out;
}

// A voiced tone with harmonics, its loudness rising and falling at a syllable rate.
std::vector<float> speechLike(double rate, double seconds, double pitchHz, double syllablesPerSecond)
{
    std::vector<float> out(size_t(rate * seconds));
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        double voice = 0.0;
        for (int h = 1; h <= 12; ++h) {
            voice += std::sin(2.0 * std::numbers::pi * pitchHz * h * t) / h;
        }
        const double syllable = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * syllablesPerSecond * t);
        out[i] = float(0.15 * voice * syllable);
    }
    return out;
}

double confidenceOf(const QList<SoundClassification>& labels, const QString& cue)
{
    for (const auto& label : labels) {
        if (label.identifier == cue) {
            return label.confidence;
        }
    }
    return 0.0;
}

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class TestSoundCues : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rules_data()
    {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<QStringList>("expected");
        const auto one = [](double time, const QString& id, double confidence) {
            return Step{time, Labels{{id, confidence}}};
        };
        QTest::newRow("3 s apart debounced")
            << QList<Step>{one(0, "laughter", 0.9), one(3, "laughter", 0.9)} << QStringList{"laughter"};
        QTest::newRow("4 s apart fires twice")
            << QList<Step>{one(0, "laughter", 0.9), one(4, "laughter", 0.9)} << QStringList{"laughter", "laughter"};
        QTest::newRow("debounce counts from the last event")
            << QList<Step>{one(0, "laughter", 0.9), one(3, "laughter", 0.9), one(5, "laughter", 0.9)}
            << QStringList{"laughter", "laughter"};
        QTest::newRow("per cue") << QList<Step>{one(0, "laughter", 0.9), one(0.5, "applause", 0.9)}
                                 << QStringList{"laughter", "applause"};
        QTest::newRow("exactly the threshold") << QList<Step>{one(0, "laughter", 0.5)} << QStringList{"laughter"};
        QTest::newRow("just below") << QList<Step>{one(0, "laughter", 0.4999)} << QStringList{};
        QTest::newRow("not a number") << QList<Step>{one(0, "laughter", std::nan(""))} << QStringList{};
        QTest::newRow("unknown label skipped")
            << QList<Step>{{0, Labels{{"speech", 0.99}, {"Laughter", 0.6}}}} << QStringList{"laughter"};
        QTest::newRow("weak first, strong second")
            << QList<Step>{{0, Labels{{"clapping", 0.3}, {"crowd", 0.7}}}} << QStringList{"crowd"};
        QTest::newRow("one event per window")
            << QList<Step>{{0, Labels{{"laughter", 0.9}, {"applause", 0.9}}}} << QStringList{"laughter"};
        QTest::newRow("debounced cue falls through to the next")
            << QList<Step>{one(0, "laughter", 0.9), {1, Labels{{"laughter", 0.9}, {"applause", 0.8}}}}
            << QStringList{"laughter", "applause"};
        QTest::newRow("two cue words, by cue priority")
            << QList<Step>{one(0, "crowd_cheering", 0.8), one(1, "clapping_applause", 0.8),
                           one(2, "Baby_LAUGHTER", 0.8)}
            << QStringList{"cheering", "applause", "laughter"};
        QTest::newRow("clock going back")
            << QList<Step>{one(10, "crowd", 0.8), one(2, "crowd", 0.8)} << QStringList{"crowd"};
    }
    void rules()
    {
        QFETCH(QList<Step>, steps);
        QFETCH(QStringList, expected);
        Rig rig(steps);
        rig.detector.start(kScriptRate, 2);
        rig.feedSeconds(int(steps.size()));
        rig.settle();
        QCOMPARE(rig.classifier->calls.load(), int(steps.size()));
        QCOMPARE(rig.events, expected);
    }

    // Buffers and commands are taken in the order given: audio fed before a stop is analysed,
    // audio after it ignored, and neither a half-filled window nor the debounce survives a restart.
    void commandsKeepOrder()
    {
        Rig rig({{0, Labels{{"applause", 0.9}}}, {1, Labels{{"applause", 0.8}}}});
        rig.detector.start(kScriptRate, 2);
        rig.feedSeconds(1);
        rig.detector.stop();
        rig.feedSeconds(3);
        rig.detector.start(kScriptRate, 2);
        std::vector<float> half(4000, 0.1f);
        rig.detector.feed(half.data(), 4000, 1, kScriptRate);
        rig.detector.start(kScriptRate, 2);
        rig.detector.feed(half.data(), 4000, 1, kScriptRate);
        rig.settle();
        QCOMPARE(rig.classifier->calls.load(), 1);
        rig.feedSeconds(1);
        rig.settle();
        QCOMPARE(rig.events, (QStringList{"applause", "applause"}));
        QCOMPARE(rig.confidences, (QList<double>{0.9, 0.8}));
    }

    void idleOrUnusableFormatStaysSilent_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("fedRate");
        QTest::newRow("never started") << false << kScriptRate << 2 << kScriptRate;
        QTest::newRow("zero rate") << true << 0.0 << 2 << 0.0;
        QTest::newRow("NaN rate") << true << std::nan("") << 2 << kScriptRate;
        QTest::newRow("huge rate") << true << 1e12 << 2 << 1e12;
        QTest::newRow("no channels") << true << kScriptRate << 0 << kScriptRate;
        QTest::newRow("other rate fed") << true << kScriptRate << 2 << 44100.0;
    }
    void idleOrUnusableFormatStaysSilent()
    {
        QFETCH(bool, started);
        QFETCH(double, rate);
        QFETCH(int, channels);
        QFETCH(double, fedRate);
        Rig rig({{0, Labels{{"laughter", 1.0}}}});
        if (started) {
            rig.detector.start(rate, channels);
        }
        std::vector<float> buffer(8000, 0.1f);
        rig.detector.feed(buffer.data(), 8000, 1, fedRate);
        rig.detector.feed(nullptr, 8000, 1, fedRate);
        rig.detector.feed(buffer.data(), -5, 1, fedRate);
        rig.detector.feed(buffer.data(), 8000, 0, fedRate);
        rig.settle();
        QCOMPARE(rig.classifier->calls.load(), 0);
        QVERIFY(rig.events.isEmpty());
    }

    // A slow analysis never holds up the capture thread: the queue drops instead.
    void fullQueueDrops()
    {
        Rig rig({}, 20);
        rig.detector.start(kScriptRate, 1);
        std::vector<float> buffer(8000, 0.1f);
        const auto began = std::chrono::steady_clock::now();
        for (int i = 0; i < 200; ++i) {
            rig.detector.feed(buffer.data(), 8000, 1, kScriptRate);
        }
        QVERIFY(std::chrono::steady_clock::now() - began < std::chrono::milliseconds(500));
        QVERIFY(rig.detector.droppedBuffers() > 0);
        rig.detector.stop();
        QVERIFY(rig.detector.waitUntilIdle(10000));
    }

    void classifierSeparates_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<double>("param");
        QTest::addColumn<double>("rate");
        QTest::addColumn<bool>("clapping");
        QTest::newRow("claps 3 Hz") << "clap" << 3.0 << 48000.0 << true;
        QTest::newRow("claps 5 Hz") << "clap" << 5.0 << 48000.0 << true;
        QTest::newRow("claps 8 Hz") << "clap" << 8.0 << 48000.0 << true;
        QTest::newRow("claps 5 Hz at 44.1 kHz") << "clap" << 5.0 << 44100.0 << true;
        QTest::newRow("claps 4 Hz at 16 kHz") << "clap" << 4.0 << 16000.0 << true;
        QTest::newRow("white noise") << "noise" << 0.0 << 48000.0 << false;
        QTest::newRow("white noise 16 kHz") << "noise" << 0.0 << 16000.0 << false;
        QTest::newRow("brown noise") << "brown" << 0.0 << 48000.0 << false;
        QTest::newRow("speech-like 120 Hz") << "speech" << 120.0 << 48000.0 << false;
        QTest::newRow("speech-like 220 Hz") << "speech" << 220.0 << 48000.0 << false;
        QTest::newRow("silence") << "silence" << 0.0 << 48000.0 << false;
    }
    void classifierSeparates()
    {
        QFETCH(QString, kind);
        QFETCH(double, param);
        QFETCH(double, rate);
        QFETCH(bool, clapping);
        FeatureSoundClassifier classifier;
        for (quint32 seed = 1; seed <= 3; ++seed) {
            std::vector<float> signal;
            if (kind == "clap") {
                signal = clapTrain(rate, 1.0, param, seed);
            } else if (kind == "noise") {
                signal = whiteNoise(rate, 1.0, seed);
            } else if (kind == "brown") {
                signal = brownNoise(rate, 1.0, seed);
            } else if (kind == "speech") {
                signal = speechLike(rate, 1.0, param + seed, 4.0);
            } else {
                signal.assign(size_t(rate), 0.0f);
            }
            const auto labels = classifier.classify(signal, rate);
            const SoundFeatures f = classifier.measure(signal, rate);
            const QString why = QStringLiteral("flat %1 onsets %2 mod %3 duty %4")
                                    .arg(f.flatness)
                                    .arg(f.onsetsPerSecond)
                                    .arg(f.modulation)
                                    .arg(f.dutyCycle);
            if (clapping) {
                QVERIFY2(confidenceOf(labels, "clapping") >= 0.7, qPrintable(why));
            } else {
                for (const auto& label : labels) {
                    QVERIFY2(label.confidence < 0.5, qPrintable(label.identifier + " " + why));
                }
            }
        }
    }

    void classifierSurvivesHostileInput_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("samples");
        QTest::addColumn<float>("value");
        QTest::newRow("empty") << 48000.0 << 0 << 0.0f;
        QTest::newRow("too short") << 48000.0 << 100 << 0.5f;
        QTest::newRow("NaN samples") << 48000.0 << 48000 << std::numeric_limits<float>::quiet_NaN();
        QTest::newRow("infinite samples") << 48000.0 << 48000 << std::numeric_limits<float>::infinity();
        QTest::newRow("full scale DC") << 48000.0 << 48000 << 1.0f;
        QTest::newRow("negative rate") << -48000.0 << 48000 << 0.5f;
        QTest::newRow("NaN rate") << std::nan("") << 48000 << 0.5f;
    }
    void classifierSurvivesHostileInput()
    {
        QFETCH(double, rate);
        QFETCH(int, samples);
        QFETCH(float, value);
        FeatureSoundClassifier classifier;
        const std::vector<float> signal(size_t(samples), value);
        for (const auto& label : classifier.classify(signal, rate)) {
            QVERIFY(label.confidence >= 0.0 && label.confidence <= 1.0);
            QVERIFY(label.confidence < 0.5);
        }
    }

    // The whole chain at a device's rate: stereo claps become one "clapping" event, and not
    // another one within the pause.
    void detectorHearsClapping()
    {
        // However slowly the analysis runs, the debounce counts on a clock that stands still.
        ManualClock clock;
        SoundEventDetector detector(nullptr, &clock);
        QStringList events;
        detector.onEvent = [&](const QString& cue, double) { events.append(cue); };
        detector.start(48000.0, 2);
        const auto mono = clapTrain(48000.0, 3.0, 5.0, 7);
        std::vector<float> stereo(mono.size() * 2);
        for (size_t i = 0; i < mono.size(); ++i) {
            stereo[2 * i] = mono[i];
            stereo[2 * i + 1] = mono[i];
        }
        for (size_t at = 0; at + 4096 <= mono.size(); at += 4096) {
            detector.feed(stereo.data() + 2 * at, 4096, 2, 48000.0);
        }
        QVERIFY(detector.waitUntilIdle(10000));
        QCoreApplication::processEvents();
        QCOMPARE(events, QStringList{"clapping"});
    }

    // Feeding from the capture thread while the main thread starts, stops and finally drops
    // the detector: ASan and UBSan must stay quiet.
    void feedWhileStopping()
    {
        for (int round = 0; round < 3; ++round) {
            auto detector = std::make_unique<SoundEventDetector>();
            detector->onEvent = [](const QString&, double) {};
            std::atomic<bool> running{true};
            std::thread feeder([&] {
                const auto noise = whiteNoise(48000.0, 0.2, 5);
                std::vector<float> buffer(4096 * 2);
                for (size_t i = 0; i < buffer.size(); ++i) {
                    buffer[i] = noise[i % noise.size()];
                }
                while (running.load()) {
                    detector->feed(buffer.data(), 4096, 2, 48000.0);
                    std::this_thread::yield();
                }
            });
            for (int i = 0; i < 100; ++i) {
                detector->start(48000.0, 2);
                if (i % 3 == 0) {
                    QCoreApplication::processEvents();
                }
                detector->stop();
            }
            detector->start(48000.0, 2);
            QTest::qWait(20);
            running.store(false);
            feeder.join();
            if (round == 0) {
                QVERIFY(detector->waitUntilIdle(10000));
            }
            detector.reset();
        }
    }
};

PINDLE_TEST(TestSoundCues)
#include "test_sound_cues.moc"
