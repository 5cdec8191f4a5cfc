#include "common/TestMain.h"

#include "audio/LocalChannelStream.h"
#include "audio/OnDeviceEngine.h"
#include "audio/SegmentOrder.h"
#include "platform/ManualClock.h"
#include "test_speech.h"
#include "test_transcriber_support.h"

#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Reports its scripted results once that many samples have been fed; counts what it was fed.
struct Scripted {
    struct Step {
        qint64 atSample;
        RecognisedResult result;
    };
    QList<Step> steps;
    QList<RecognisedResult> atFinish;
    std::atomic<qint64> fed{0};
    std::atomic<bool> open{true}; // while false, feeding waits (a slow decoder)
    std::atomic<qint64> horizon{0};
};

class ScriptedRecogniser final : public SpeechRecogniser {
public:
    explicit ScriptedRecogniser(std::shared_ptr<Scripted> script) : m_script(std::move(script)) {}
    void feed(std::span<const qint16> samples, QList<RecognisedResult>& out) override
    {
        while (!m_script->open.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const qint64 before = m_script->fed.fetch_add(static_cast<qint64>(samples.size()));
        const qint64 after = before + static_cast<qint64>(samples.size());
        for (const auto& step : m_script->steps) {
            if (step.atSample > before && step.atSample <= after)
                out.append(step.result);
        }
    }
    void finish(QList<RecognisedResult>& out) override
    {
        // Finishing results are the last 0.1 s of the audio fed.
        for (RecognisedResult result : m_script->atFinish)
            out.append({result.text, true, m_script->fed.load() - 1600, m_script->fed.load()});
    }

    qint64 earliestPending() const override { return m_script->horizon.load(); }

private:
    std::shared_ptr<Scripted> m_script;
};

RecogniserFactory scriptedFactory(const std::shared_ptr<Scripted>& script)
{
    return [script](QString&) -> std::unique_ptr<SpeechRecogniser> {
        return std::make_unique<ScriptedRecogniser>(script);
    };
}

// Feeds `seconds` of quiet audio at 48 kHz in 4096-frame buffers.
void feedQuiet(TranscriptStream& stream, double seconds)
{
    const std::vector<float> buffer(4096, 0.001f);
    const double buffers = std::ceil(seconds * 48000.0 / 4096.0);
    for (int i = 0; i < static_cast<int>(buffers); ++i)
        stream.append(buffer, 48000.0);
}

} // namespace

class TestOnDevice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Steps "v:text" (volatile) and "f:text" (final), then the lines shown and whether the
    // last one is still pending.
    void publishRules_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<bool>("pending");
        QTest::addColumn<int>("updates");
        QTest::newRow("volatile then final") << QStringList{"v:hello", "f:hello there"} << QStringList{"hello there"}
                                             << QStringList{"4-L0"} << false << 2;
        QTest::newRow("volatile replaces volatile")
            << QStringList{"v:one", "v:one two"} << QStringList{"one two"} << QStringList{"4-L0"} << true << 2;
        QTest::newRow("blank final keeps pending")
            << QStringList{"v:take five", "f: \n\t "} << QStringList{"take five"} << QStringList{"4-L0"} << true << 1;
        QTest::newRow("pending after finals") << QStringList{"f:a", "f:b", "v: c "} << QStringList{"a", "b", "c"}
                                              << QStringList{"4-L0", "4-L1", "4-L2"} << true << 3;
        QTest::newRow("blank volatile") << QStringList{"v:  "} << QStringList{} << QStringList{} << false << 0;
    }
    void publishRules()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, ids);
        QFETCH(bool, pending);
        QFETCH(int, updates);
        ManualClock clock;
        LocalChannelStream stream(4, QStringLiteral("Boom"), 10.0, nullptr,
                                  scriptedFactory(std::make_shared<Scripted>()), &clock);
        int calls = 0;
        stream.onUpdate = [&](const QString&) { ++calls; };
        std::optional<Date> firstSeen;
        for (const QString& step : steps) {
            stream.publish(step.mid(2), step.startsWith(u'f'), 1.0, 2.0);
            if (!firstSeen && !stream.display().isEmpty())
                firstSeen = stream.display().first().firstSeen;
            clock.advance(1s);
        }
        QStringList texts;
        QStringList gotIds;
        for (const DisplaySegment& line : stream.display()) {
            texts.append(line.text);
            gotIds.append(line.id);
            QCOMPARE(line.speaker, std::optional<QString>(QStringLiteral("Boom")));
            QVERIFY(line.onDevice);
            QCOMPARE(line.startSecs, 11.0);
            QCOMPARE(line.endSecs, 12.0);
        }
        QCOMPARE(texts, shown);
        QCOMPARE(gotIds, ids);
        QCOMPARE(stream.provisional().has_value(), pending);
        QCOMPARE(calls, updates);
        if (!stream.display().isEmpty()) {
            QCOMPARE(stream.display().first().firstSeen, *firstSeen); // the final keeps the volatile's
            QCOMPARE(stream.display().first().timecode, wallClockTimecode(*firstSeen));
        }
    }

    void queriesFollowPendingLine()
    {
        LocalChannelStream stream(1, std::nullopt, 0.0, nullptr, scriptedFactory(std::make_shared<Scripted>()));
        QCOMPARE(stream.lastWordEnd(), std::nullopt);
        stream.publish(QStringLiteral("rolling  speed"), true, 1.0, 2.0);
        stream.publish(QStringLiteral("mark it"), false, 3.0, std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(stream.lastWordEnd(), std::optional<double>(0.0)); // a time that is no number counts as 0
        stream.publish(QStringLiteral("mark it"), false, 3.0, 4.5);
        QCOMPARE(stream.lastWordEnd(), std::optional<double>(4.5));
        QCOMPARE(stream.wordsSince(1.5), (QStringList{"rolling", "speed", "mark", "it"}));
        QCOMPARE(stream.wordsSince(3.0), (QStringList{"mark", "it"}));
        QCOMPARE(stream.wordsSince(9.0), QStringList{});
    }

    // Through the worker thread: volatile then final, timed from the first accepted buffer.
    // Through the worker thread: timed from the first accepted buffer; stop still makes the last
    // final, and audio before start or after stop is dropped.
    void scriptedEngineThroughStop()
    {
        auto script = std::make_shared<Scripted>();
        script->steps = {{8000, {QStringLiteral("quiet on"), false, 1600, 8000}},
                         {16000, {QStringLiteral("quiet on set"), true, 1600, 16000}}};
        script->atFinish = {{QStringLiteral("cut"), true, 0, 0}};
        ManualClock clock;
        auto stream = std::make_shared<LocalChannelStream>(2, QStringLiteral("Mix"), 5.0, nullptr,
                                                           scriptedFactory(script), &clock);
        QList<bool> pendingAtUpdate;
        stream->onUpdate = [&](const QString&) { pendingAtUpdate.append(stream->provisional().has_value()); };
        feedQuiet(*stream, 0.5); // before start: no engine
        stream->start();
        clock.advance(300ms); // the stream is open, the audio begins later
        feedQuiet(*stream, 1.2);
        clock.advance(5s); // the time the decoding takes does not count
        stream->stop();
        QTRY_COMPARE_WITH_TIMEOUT(stream->finals().size(), 2, 10000);
        QCOMPARE(pendingAtUpdate, (QList<bool>{true, false, false}));
        const DisplaySegment& line = stream->finals().first();
        QCOMPARE(line.id, QStringLiteral("2-L0"));
        QCOMPARE(line.text, QStringLiteral("quiet on set"));
        QVERIFY2(std::abs(line.startSecs - (5.0 + 0.3 + 0.1)) < 1e-9, qPrintable(QString::number(line.startSecs)));
        QVERIFY(std::abs(line.endSecs - (5.0 + 0.3 + 1.0)) < 1e-9);
        const qint64 fed = script->fed.load();
        QVERIFY(fed > 19000 && fed <= 20480);
        QCOMPARE(stream->finals().last().endSecs, 5.3 + static_cast<double>(fed) / 16000.0);
        stream->start(); // not started again
        feedQuiet(*stream, 0.5);
        QCOMPARE(script->fed.load(), fed);
    }

    void idsContinueWhenReopened()
    {
        auto counters = std::make_shared<LocalLineCounters>();
        const auto factory = scriptedFactory(std::make_shared<Scripted>());
        auto first = std::make_unique<LocalChannelStream>(3, std::nullopt, 0.0, counters, factory);
        first->publish(QStringLiteral("a"), true, 0, 1);
        first->publish(QStringLiteral("b"), true, 1, 2);
        LocalChannelStream other(7, std::nullopt, 0.0, counters, factory);
        other.publish(QStringLiteral("x"), true, 0, 1);
        first.reset();
        LocalChannelStream reopened(3, std::nullopt, 30.0, counters, factory);
        reopened.publish(QStringLiteral("c"), false, 0, 1);
        reopened.publish(QStringLiteral("c d"), true, 0, 1);
        QCOMPARE(reopened.display().first().id, QStringLiteral("3-L2"));
        QCOMPARE(other.display().first().id, QStringLiteral("7-L0"));
    }

    // Each problem is reported once, with the channel's name; a usable rate later still works.
    void problemsAreReported_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<bool>("model");
        QTest::addColumn<QString>("error");
        const QString stopped = QStringLiteral("Lav 2: On-device transcription stopped: ");
        QTest::newRow("zero") << 0.0 << true << stopped;
        QTest::newRow("negative") << -48000.0 << true << stopped;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << true << stopped;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << true << stopped;
        QTest::newRow("absurd") << 1e12 << true << stopped;
        QTest::newRow("no model") << 48000.0 << false
                                  << "Lav 2: This computer has no on-device speech model for your language.";
    }
    void problemsAreReported()
    {
        QFETCH(double, rate);
        QFETCH(bool, model);
        QFETCH(QString, error);
        auto script = std::make_shared<Scripted>();
        QTemporaryDir empty;
        auto stream = std::make_shared<LocalChannelStream>(0, QStringLiteral("Lav 2"), 0.0, nullptr,
                                                           model ? scriptedFactory(script)
                                                                 : OnDeviceModel::pocketsphinxFactory(empty.path()));
        QStringList errors;
        stream->onError = [&](const QString& text) { errors.append(text); };
        stream->start();
        const std::vector<float> buffer(4096, 0.1f);
        for (int i = 0; i < 5; ++i)
            stream->append(buffer, rate);
        QTRY_COMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(error), qPrintable(errors.first()));
        QCOMPARE(script->fed.load(), 0);
        stream->append(buffer, 44100.0);
        QTRY_COMPARE(script->fed.load() > 0, model);
        QCOMPARE(errors.size(), 1);
    }

    void modelFolders_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("found");
        QTest::newRow("en_US") << "en_US" << true << true;
        QTest::newRow("en_AU") << "en_AU" << true << true;
        QTest::newRow("French falls back") << "fr_FR" << true << true;
        QTest::newRow("no language") << "C" << true << true;
        QTest::newRow("not installed") << "en_GB" << false << false;
    }
    void modelFolders()
    {
        QFETCH(QString, locale);
        QFETCH(bool, installed);
        QFETCH(bool, found);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        if (installed) {
            QVERIFY(QDir(root.path()).mkpath(QStringLiteral("en-us/en-us")));
            for (const char* name : {"en-us/en-us.lm.bin", "en-us/cmudict-en-us.dict"})
                QVERIFY(QFile(root.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly));
        }
        const auto folder = OnDeviceModel::folderFor(QLocale(locale), root.path());
        QCOMPARE(folder.has_value(), found);
        if (found)
            QCOMPARE(*folder, root.filePath(QStringLiteral("en-us")));
    }

    // A decoder that falls behind: the queue stays bounded, the gaps keep later times in place,
    // and gaps no result can reach back to are merged.
    void slowDecoderDropsOldAudio()
    {
        auto script = std::make_shared<Scripted>();
        script->atFinish = {{QStringLiteral("late"), true, 0, 0}};
        QList<OnDeviceEngine::Result> results;
        OnDeviceEngine::Callbacks callbacks;
        callbacks.onResult = [&](const OnDeviceEngine::Result& result) { results.append(result); };
        auto engine = std::make_unique<OnDeviceEngine>(scriptedFactory(script), std::move(callbacks));
        const std::vector<float> second(16000, 0.01f);
        for (int round = 0; round < 4; ++round) {
            script->open = false;
            for (int i = 0; i < 12; ++i)
                engine->feed(second, 16000.0);
            script->open = true;
            QTRY_COMPARE(engine->queuedSamples(), 0);
        }
        QVERIFY(engine->droppedSamples() >= 16000 * 4);
        QVERIFY(engine->keptGaps() >= 3);
        script->horizon = script->fed.load();
        engine->feed(second, 16000.0); // after the gaps
        QTRY_COMPARE(engine->keptGaps(), size_t(1));
        engine->finish();
        QTRY_VERIFY_WITH_TIMEOUT(engine->isDone(), 10000);
        QTRY_COMPARE(results.size(), 1);
        // Everything fed or dropped, less the resampler's delay, less the 0.1 s of the result.
        const qint64 heard = script->fed.load() + engine->droppedSamples();
        QVERIFY(heard > 16000 * 48 && heard <= 16000 * 49);
        QCOMPARE(results.first().end, static_cast<double>(heard) / 16000.0);
        QCOMPARE(results.first().start, static_cast<double>(heard - 1600) / 16000.0);
    }

    // The stream lets go of its engine while the model still loads: the main thread does not wait.
    void releaseDoesNotWaitForTheModel()
    {
        auto open = std::make_shared<std::atomic<bool>>(false);
        auto loaded = std::make_shared<std::atomic<bool>>(false);
        auto stream = std::make_shared<LocalChannelStream>(
            0, std::nullopt, 0.0, nullptr, [open, loaded](QString&) -> std::unique_ptr<SpeechRecogniser> {
                for (int wait = 0; wait < 500 && !open->load(); ++wait)
                    std::this_thread::sleep_for(10ms);
                *loaded = true;
                return std::make_unique<ScriptedRecogniser>(std::make_shared<Scripted>());
            });
        stream->start();
        feedQuiet(*stream, 0.5);
        stream.reset();
        QVERIFY(!loaded->load());
        *open = true;
        QTRY_VERIFY(loaded->load());
    }

    // The library's log stream is process-wide: loads at once must not close it twice.
    void modelsLoadAtOnce()
    {
        if (!OnDeviceModel::isAvailable())
            QSKIP("no pocketsphinx model installed");
        std::atomic<int> loaded{0};
        std::vector<std::jthread> loaders;
        for (int i = 0; i < 4; ++i)
            loaders.emplace_back([&loaded] {
                QString error;
                loaded += OnDeviceModel::pocketsphinxFactory()(error) ? 1 : 0;
            });
        loaders.clear();
        QCOMPARE(loaded.load(), 4);
    }

    // Watch-only channels go on-device when the model is installed, unless the environment says.
    void onDeviceFollowsTheModel_data()
    {
        QTest::addColumn<std::optional<bool>>("said");
        QTest::newRow("not said") << std::optional<bool>();
        QTest::newRow("off") << std::optional<bool>(false);
        QTest::newRow("on") << std::optional<bool>(true);
    }
    void onDeviceFollowsTheModel()
    {
        QFETCH(std::optional<bool>, said);
        transcriber_test::Rig rig;
        rig.env.onDeviceAvailable = said;
        DesktopTranscriber& engine = rig.desk(4);
        engine.setHidden(1, true);
        engine.start();
        QVERIFY(rig.open(0) && rig.open(1));
        QVERIFY(!rig.open(0)->onDevice());
        QCOMPARE(rig.open(1)->onDevice(), said.value_or(OnDeviceModel::isAvailable()));
    }

    // Real pocketsphinx on espeak-ng speech (text at seconds), decoded utterance after utterance:
    // each final comes where its words were said, and none spans more than the hard limit, even
    // in speech without a pause.
    void spokenLines_data()
    {
        QTest::addColumn<QList<double>>("at");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<double>("maxSeconds"); // an utterance's hard limit
        QTest::newRow("pauses") << QList<double>{0.5, 4.1, 8.2, 11.9}
                                << QStringList{"the camera is rolling", "sound is at speed", "quiet on the set please",
                                               "that is a wrap"}
                                << 30.0;
        QTest::newRow("no pause")
            << QList<double>{0.0}
            << QStringList{QString("the camera is rolling and the sound is at speed ").repeated(4)} << 3.0;
    }
    void spokenLines()
    {
        QFETCH(QList<double>, at);
        QFETCH(QStringList, said);
        QFETCH(double, maxSeconds);
        if (!speech_test::canSpeak() || !OnDeviceModel::isAvailable())
            QSKIP("espeak-ng or the pocketsphinx model is not installed");
        std::vector<float> audio;
        double rate = 0.0;
        for (qsizetype i = 0; i < said.size(); ++i) {
            const speech_test::Speech speech = speech_test::speak(said[i]);
            QVERIFY(!speech.samples.empty());
            rate = speech.rate;
            audio.resize(static_cast<size_t>(at[i] * rate), 0.0f);
            audio.insert(audio.end(), speech.samples.begin(), speech.samples.end());
        }
        QList<OnDeviceEngine::Result> results;
        OnDeviceEngine::Callbacks callbacks;
        callbacks.onResult = [&](const OnDeviceEngine::Result& result) { results.append(result); };
        OnDeviceEngine engine(OnDeviceModel::pocketsphinxFactory(QString::fromLatin1(OnDeviceModel::kDefaultRoot),
                                                                 {maxSeconds / 2, maxSeconds}),
                              std::move(callbacks));
        for (size_t at = 0; at < audio.size(); at += 4096) {
            while (engine.queuedSamples() > 5 * 16000) // never faster than it decodes
                std::this_thread::sleep_for(10ms);
            engine.feed(std::span<const float>(audio).subspan(at, std::min<size_t>(4096, audio.size() - at)), rate);
        }
        engine.finish();
        QTRY_VERIFY_WITH_TIMEOUT(engine.isDone(), 300000);
        QCoreApplication::processEvents();
        QCOMPARE(engine.droppedSamples(), 0);
        const double seconds = static_cast<double>(audio.size()) / rate;
        QList<double> starts;
        double lastEnd = 0.0;
        bool guessed = false;
        for (const OnDeviceEngine::Result& result : results) {
            guessed = guessed || !result.isFinal;
            if (!result.isFinal || result.text.isEmpty())
                continue;
            QVERIFY2(result.end - lastEnd <= maxSeconds + 0.5, qPrintable(QString::number(result.end)));
            starts.append(result.start);
            lastEnd = result.end;
        }
        QVERIFY(guessed);
        QVERIFY(seconds - lastEnd < 2.0);
        if (at.size() == 1) {
            QVERIFY(seconds > 2.5 * maxSeconds && starts.size() >= 2);
            return;
        }
        QCOMPARE(starts.size(), at.size());
        for (qsizetype i = 0; i < at.size(); ++i)
            QVERIFY2(std::abs(starts[i] - at[i]) < 1.0, qPrintable(QString::number(starts[i])));
    }
};

PINDLE_TEST(TestOnDevice)
#include "test_on_device.moc"
