#include "common/TestMain.h"

#include "audio/LocalChannelStream.h"
#include "audio/OnDeviceEngine.h"
#include "audio/SegmentOrder.h"
#include "platform/ManualClock.h"
#include "test_speech.h"

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
    bool finishAtEnd = false;     // the finishing results end with the audio fed (0.1 s long)
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
        for (RecognisedResult result : m_script->atFinish) {
            if (m_script->finishAtEnd) {
                result.startSample = m_script->fed.load() - 1600;
                result.endSample = m_script->fed.load();
            }
            out.append(result);
        }
    }

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
    void scriptedEngineTimesFromFirstBuffer()
    {
        auto script = std::make_shared<Scripted>();
        script->steps = {{8000, {QStringLiteral("quiet on"), false, 1600, 8000}},
                         {16000, {QStringLiteral("quiet on set"), true, 1600, 16000}}};
        ManualClock clock;
        auto stream = std::make_shared<LocalChannelStream>(2, QStringLiteral("Mix"), 5.0, nullptr,
                                                           scriptedFactory(script), &clock);
        QList<bool> pendingAtUpdate;
        stream->onUpdate = [&](const QString&) { pendingAtUpdate.append(stream->provisional().has_value()); };
        stream->start();
        clock.advance(300ms); // the stream is open, the audio begins later
        feedQuiet(*stream, 1.2);
        clock.advance(5s); // the time the decoding takes does not count
        QTRY_COMPARE_WITH_TIMEOUT(stream->finals().size(), 1, 10000);
        QCOMPARE(pendingAtUpdate, (QList<bool>{true, false}));
        const DisplaySegment& line = stream->finals().first();
        QCOMPARE(line.id, QStringLiteral("2-L0"));
        QCOMPARE(line.text, QStringLiteral("quiet on set"));
        QVERIFY2(std::abs(line.startSecs - (5.0 + 0.3 + 0.1)) < 1e-9, qPrintable(QString::number(line.startSecs)));
        QVERIFY(std::abs(line.endSecs - (5.0 + 0.3 + 1.0)) < 1e-9);
    }

    void appendAfterStopIsDropped()
    {
        auto script = std::make_shared<Scripted>();
        script->atFinish = {{QStringLiteral("cut"), true, 0, 1600}};
        auto stream = std::make_shared<LocalChannelStream>(0, std::nullopt, 0.0, nullptr, scriptedFactory(script));
        feedQuiet(*stream, 0.5); // before start: no engine
        stream->start();
        feedQuiet(*stream, 0.5);
        stream->stop();
        QTRY_COMPARE_WITH_TIMEOUT(stream->finals().size(), 1, 10000); // finishing makes the last final
        const qint64 fed = script->fed.load();
        QVERIFY(fed > 7000 && fed <= 8000);
        feedQuiet(*stream, 0.5);
        stream->start(); // not started again
        feedQuiet(*stream, 0.5);
        QCOMPARE(script->fed.load(), fed);
    }

    void idsContinueWhenReopened()
    {
        auto counters = std::make_shared<LocalLineCounters>();
        auto script = std::make_shared<Scripted>();
        auto first = std::make_shared<LocalChannelStream>(3, std::nullopt, 0.0, counters, scriptedFactory(script));
        first->publish(QStringLiteral("a"), true, 0, 1);
        first->publish(QStringLiteral("b"), true, 1, 2);
        LocalChannelStream other(7, std::nullopt, 0.0, counters, scriptedFactory(script));
        other.publish(QStringLiteral("x"), true, 0, 1);
        first.reset();
        LocalChannelStream reopened(3, std::nullopt, 30.0, counters, scriptedFactory(script));
        reopened.publish(QStringLiteral("c"), false, 0, 1);
        QCOMPARE(reopened.display().first().id, QStringLiteral("3-L2"));
        reopened.publish(QStringLiteral("c d"), true, 0, 1);
        QCOMPARE(reopened.display().first().id, QStringLiteral("3-L2"));
        QCOMPARE(other.display().first().id, QStringLiteral("7-L0"));
        QCOMPARE(counters->current(3), 3);
    }

    void unusableFormatIsReported_data()
    {
        QTest::addColumn<double>("rate");
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -48000.0;
        QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
        QTest::newRow("absurd") << 1e12;
    }
    void unusableFormatIsReported()
    {
        QFETCH(double, rate);
        auto script = std::make_shared<Scripted>();
        auto stream =
            std::make_shared<LocalChannelStream>(0, QStringLiteral("Lav 2"), 0.0, nullptr, scriptedFactory(script));
        QStringList errors;
        stream->onError = [&](const QString& text) { errors.append(text); };
        stream->start();
        const std::vector<float> buffer(4096, 0.1f);
        for (int i = 0; i < 5; ++i)
            stream->append(buffer, rate);
        QCoreApplication::processEvents();
        QCOMPARE(errors.size(), 1); // once, not per buffer
        QVERIFY(errors.first().startsWith(QStringLiteral("Lav 2: On-device transcription stopped: ")));
        QCOMPARE(script->fed.load(), 0);
        stream->append(buffer, 44100.0); // a usable rate later still works
        QTRY_VERIFY(script->fed.load() > 0);
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
            for (const char* name : {"en-us/en-us.lm.bin", "en-us/cmudict-en-us.dict"}) {
                QFile file(root.filePath(QString::fromLatin1(name)));
                QVERIFY(file.open(QIODevice::WriteOnly));
            }
        }
        const auto folder = OnDeviceModel::folderFor(QLocale(locale), root.path());
        QCOMPARE(folder.has_value(), found);
        if (found)
            QCOMPARE(*folder, root.filePath(QStringLiteral("en-us")));
    }

    void missingModelIsReported()
    {
        QTemporaryDir root;
        auto stream = std::make_shared<LocalChannelStream>(0, QStringLiteral("Boom"), 0.0, nullptr,
                                                           OnDeviceModel::pocketsphinxFactory(root.path()));
        QStringList errors;
        stream->onError = [&](const QString& text) { errors.append(text); };
        stream->start();
        QTRY_COMPARE(errors, QStringList{"Boom: This Mac has no on-device speech model for your language."});
        feedQuiet(*stream, 0.5); // dropped, no crash
        stream->stop();
    }

    // A decoder that falls behind: the queue stays bounded and the gap keeps later times in place.
    void slowDecoderDropsOldAudio()
    {
        auto script = std::make_shared<Scripted>();
        script->open = false;
        script->atFinish = {{QStringLiteral("late"), true, 0, 0}};
        script->finishAtEnd = true;
        QList<OnDeviceEngine::Result> results;
        OnDeviceEngine::Callbacks callbacks;
        callbacks.onResult = [&](const OnDeviceEngine::Result& result) { results.append(result); };
        auto engine = std::make_unique<OnDeviceEngine>(scriptedFactory(script), std::move(callbacks));
        const std::vector<float> second(16000, 0.01f);
        for (int i = 0; i < 15; ++i)
            engine->feed(second, 16000.0);
        QVERIFY(engine->droppedSamples() >= 16000 * 3);
        script->open = true;
        QTRY_VERIFY(script->fed.load() > 16000 * 9); // drained
        engine->feed(second, 16000.0);               // after the gap
        engine->finish();
        QTRY_VERIFY_WITH_TIMEOUT(engine->isDone(), 10000);
        QTRY_COMPARE(results.size(), 1);
        // Everything fed or dropped, less the resampler's delay, less the 0.1 s of the result.
        const qint64 heard = script->fed.load() + engine->droppedSamples();
        QVERIFY(heard > 16000 * 15 && heard <= 16000 * 16);
        QCOMPARE(results.first().end, static_cast<double>(heard) / 16000.0);
        QCOMPARE(results.first().start, static_cast<double>(heard - 1600) / 16000.0);
    }

    // Real pocketsphinx on speech spoken by espeak-ng.
    void recognisesSpokenWords()
    {
        if (!speech_test::canSpeak())
            QSKIP("espeak-ng is not installed");
        if (!OnDeviceModel::isAvailable())
            QSKIP("no pocketsphinx model installed");
        const speech_test::Speech speech =
            speech_test::speak(QStringLiteral("the camera is rolling and the sound is at speed"));
        QVERIFY(!speech.samples.empty() && speech.rate > 0.0);
        const double rate = speech.rate;
        const double seconds = static_cast<double>(speech.samples.size()) / rate;
        // A second of room tone either side.
        std::vector<float> audio(static_cast<size_t>(rate), 0.0f);
        audio.insert(audio.end(), speech.samples.begin(), speech.samples.end());
        audio.insert(audio.end(), static_cast<size_t>(rate), 0.0f);

        auto stream = std::make_shared<LocalChannelStream>(1, QStringLiteral("Boom"), 2.0);
        QList<bool> pendingAtUpdate;
        QStringList errors;
        stream->onUpdate = [&](const QString&) { pendingAtUpdate.append(stream->provisional().has_value()); };
        stream->onError = [&](const QString& text) { errors.append(text); };
        stream->start();
        for (size_t at = 0; at < audio.size(); at += 4096)
            stream->append(std::span<const float>(audio).subspan(at, std::min<size_t>(4096, audio.size() - at)), rate);
        stream->stop();
        QTRY_VERIFY_WITH_TIMEOUT(!stream->finals().isEmpty(), 60000);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(u'\n')));
        // A volatile guess came first and a final closed it.
        const qsizetype firstGuess = pendingAtUpdate.indexOf(true);
        QVERIFY(firstGuess >= 0);
        QVERIFY(pendingAtUpdate.indexOf(false, firstGuess) > firstGuess);
        const DisplaySegment& line = stream->finals().first();
        QVERIFY(!line.text.isEmpty());
        QCOMPARE(line.id, QStringLiteral("1-L0"));
        QVERIFY(line.startSecs >= 2.0);
        QVERIFY2(line.startSecs < line.endSecs,
                 qPrintable(QStringLiteral("%1 %2").arg(line.startSecs).arg(line.endSecs)));
        QVERIFY(line.endSecs <= 2.0 + 1.0 /* start delay slack */ + seconds + 2.0);
        qInfo() << "heard:" << line.text << line.startSecs << line.endSecs;
    }
};

PINDLE_TEST(TestOnDevice)
#include "test_on_device.moc"
