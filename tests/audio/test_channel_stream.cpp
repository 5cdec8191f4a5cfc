#include "common/TestMain.h"

#include "audio/ChannelStream.h"
#include "audio/SegmentOrder.h"
#include "common/StandinProcess.h"
#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "test_speech.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>

#include <atomic>
#include <cmath>
#include <numbers>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kWaitMs = 15000;
constexpr double kCaptureRate = 48000.0;
constexpr qsizetype kBufferFrames = 4096;

// What a stream reported, in order.
struct Recorder {
    QStringList updates;
    QStringList refusals;
    QStringList errors;

    explicit Recorder(ChannelStream& stream)
    {
        stream.onUpdate = [this](const QString& text) { updates.append(text); };
        stream.onRefused = [this](const QString& code) { refusals.append(code); };
        stream.onError = [this](const QString& text) { errors.append(text); };
    }
};

// One step of the stand-in socket's script.
QJsonObject step(const char* type, int afterMs, QJsonObject fields = {})
{
    fields.insert("type", type);
    fields.insert("after_ms", afterMs);
    return fields;
}

QJsonArray words(std::initializer_list<std::tuple<const char*, double, double>> list)
{
    QJsonArray out;
    for (const auto& [text, start, end] : list)
        out.append(QJsonObject{{"word", text}, {"start", start}, {"end", end}});
    return out;
}

// One buffer of a 440 Hz tone at the capture rate.
std::vector<float> tone(qsizetype frames, qsizetype firstFrame = 0)
{
    std::vector<float> samples(static_cast<size_t>(frames));
    for (qsizetype i = 0; i < frames; ++i)
        samples[static_cast<size_t>(i)] = static_cast<float>(
            0.3 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(firstFrame + i) / kCaptureRate));
    return samples;
}

StreamMessages::TranscriptResult result(const QString& id, const QString& text, bool interim = false,
                                        QList<Word> timed = {}, std::optional<QString> speaker = {})
{
    StreamMessages::TranscriptResult out;
    out.id = id;
    out.text = text;
    out.interim = interim;
    out.words = std::move(timed);
    out.speaker = std::move(speaker);
    return out;
}

} // namespace

// The cloud stream against a real stand-in socket: what it sends, what it makes of the results,
// refusals and lost connections, and its behaviour around stop on the capture thread.
class ChannelStreamTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<InMemoryCookieStore> m_store;
    std::unique_ptr<APIService> m_service;
    QString m_cookie;
    QString m_token;
    ManualClock m_clock;

    QString createShoot()
    {
        const QJsonObject body{{"title", "Stream test"}, {"tc_format", "25|0|0"}, {"audio_epoch_ms", 1700000000000.0}};
        const auto answer = m_standin->request("POST", QStringLiteral("/api/logger/shoots"),
                                               QJsonDocument(body).toJson(QJsonDocument::Compact), m_cookie);
        return answer.json().value("token").toString();
    }

    std::shared_ptr<ChannelStream> stream(int channel = 3, double offset = 10.0, bool countsAsStart = true,
                                          APIService* service = nullptr)
    {
        auto made =
            std::make_shared<ChannelStream>(channel, offset, countsAsStart, service ? *service : *m_service, &m_clock);
        made->shootToken = m_token;
        return made;
    }

    void script(const QJsonArray& steps)
    {
        const QJsonObject answer = m_standin->control(QStringLiteral("ws-script"), {{"results", steps}});
        QVERIFY2(answer.value("ok").toBool(), QJsonDocument(answer).toJson().constData());
    }

    QJsonArray connections()
    {
        return m_standin->request("GET", QStringLiteral("/__control/ws-state")).json().value("connections").toArray();
    }

    QJsonObject lastConnection() { return connections().last().toObject(); }

    // Waits until the stand-in has seen the stream's socket close.
    bool waitClosed(int connectionCount)
    {
        return QTest::qWaitFor(
            [&] {
                const QJsonArray all = connections();
                return all.size() >= connectionCount && !all.at(connectionCount - 1).toObject().value("open").toBool();
            },
            kWaitMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        QVERIFY(!m_cookie.isEmpty());
        m_token = createShoot();
        QVERIFY(!m_token.isEmpty());
        m_store = std::make_unique<InMemoryCookieStore>(m_cookie);
        m_service = std::make_unique<APIService>(m_standin->baseUrl().toString(), *m_store);
    }

    void cleanup() { m_standin->control(QStringLiteral("ws-clear")); }

    // The stand-in ends cleanly: its decoders and sockets went without a leak or a fault.
    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }

    void scriptedResultsBecomeLines()
    {
        script({step("interim", 0, {{"id", "u1"}, {"text", "  hel"}}),
                step("final", 50,
                     {{"id", "u1"},
                      {"text", " hello there\t"},
                      {"speaker", "Sam"},
                      {"words", words({{"hello", 0.5, 0.9}, {"there", 1, 1.25}})}}),
                step("final", 100, {{"id", 42}, {"text", "no timing"}, {"omit", QJsonArray{"speaker"}}}),
                step("interim", 150, {{"id", 43}, {"text", "pending"}})});
        auto s = stream();
        Recorder rec(*s);
        s->start();
        QTRY_COMPARE_WITH_TIMEOUT(rec.updates.size(), 4, kWaitMs);
        QCOMPARE(rec.updates, (QStringList{"hel", "hello there", "no timing", "pending"}));

        const QList<DisplaySegment>& lines = s->display();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].id, QStringLiteral("3-u1"));
        QCOMPARE(lines[0].speaker, std::optional<QString>(QStringLiteral("Sam")));
        QCOMPARE(lines[0].text, QStringLiteral("hello there"));
        QCOMPARE(lines[0].startSecs, 10.5);
        QCOMPARE(lines[0].endSecs, 11.25);
        QCOMPARE(lines[0].words, (QList<Word>{{"hello", 10.5, 10.9}, {"there", 11.0, 11.25}}));
        QCOMPARE(lines[0].channel, 3);
        QVERIFY(!lines[0].onDevice);
        QCOMPARE(lines[0].firstSeen, m_clock.now());
        QCOMPARE(lines[0].timecode, wallClockTimecode(lines[0].firstSeen));
        QCOMPARE(lines[1].id, QStringLiteral("3-42"));
        QCOMPARE(lines[1].speaker, std::nullopt);
        QCOMPARE(lines[1].startSecs, -1.0);
        QCOMPARE(lines[1].endSecs, -1.0);
        QCOMPARE(s->interimText(), QStringLiteral("pending"));
        QCOMPARE(s->lastWordEnd(), std::optional<double>(11.25));
        QCOMPARE(s->wordsSince(10.95), QStringList{"there"});
        QCOMPARE(s->wordsSince(10.9), (QStringList{"hello", "there"}));
        QCOMPARE(s->wordsSince(11.5), QStringList());
        s->stop();
        QVERIFY(waitClosed(static_cast<int>(connections().size())));
        QVERIFY(rec.errors.isEmpty());
    }

    void startMessageAndEarlyAudioWaitForTheSocket_data()
    {
        QTest::addColumn<bool>("countsAsStart");
        QTest::addColumn<bool>("withToken");
        QTest::newRow("first stream of the run") << true << true;
        QTest::newRow("joining stream") << false << true;
        QTest::newRow("no shoot token") << true << false;
    }
    void startMessageAndEarlyAudioWaitForTheSocket()
    {
        QFETCH(bool, countsAsStart);
        QFETCH(bool, withToken);
        auto s = stream(0, 0.0, countsAsStart);
        if (!withToken)
            s->shootToken.reset();
        Recorder rec(*s);
        const int count = static_cast<int>(connections().size()) + 1;
        s->start();
        // One second of audio, appended before the socket can possibly be open.
        for (qsizetype frames = 0; frames < static_cast<qsizetype>(kCaptureRate); frames += kBufferFrames)
            s->append(tone(kBufferFrames, frames), kCaptureRate);
        QVERIFY(QTest::qWaitFor([&] { return connections().size() >= count; }, kWaitMs));
        if (withToken) {
            QVERIFY(QTest::qWaitFor([&] { return lastConnection().value("audio_messages").toInt() >= 11; }, kWaitMs));
            s->stop();
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(rec.refusals, QStringList{"shoot_required"}, kWaitMs);
        }
        QVERIFY(waitClosed(count));
        const QJsonObject seen = connections().at(count - 1).toObject();
        const QJsonArray sequence = seen.value("sequence").toArray();
        QCOMPARE(sequence.first().toString(), QStringLiteral("start"));
        QCOMPARE(seen.value("client_header").toString(), QStringLiteral("pindle-logger"));
        QVERIFY(seen.value("cookie_sent").toBool());

        QJsonObject expected{{"type", "questions_transcribe_start"},
                             {"language", "en"},
                             {"encoding", "linear16"},
                             {"sample_rate", 16000},
                             {"client", "logger"}};
        if (!countsAsStart)
            expected.insert("resume", true);
        if (withToken)
            expected.insert("token", m_token);
        QCOMPARE(seen.value("start").toObject(), expected);
        QVERIFY(rec.errors.isEmpty());
        if (!withToken)
            return;
        // Every appended buffer arrived, in order, after the start message; the stop message came
        // last. 4096 frames at 48 kHz are 1365 or 1366 samples at 16 kHz, less the converter's
        // delay in the first.
        QCOMPARE(seen.value("audio_before_start_bytes").toInt(), 0);
        const int bytes = seen.value("audio_bytes").toInt();
        QVERIFY2(bytes > 11 * 1300 * 2 && bytes <= 12 * 1366 * 2, QByteArray::number(bytes));
        QCOMPARE(sequence.last().toString(), QStringLiteral("stop"));
        QVERIFY(seen.value("stop_received").toBool());
        QCOMPARE(seen.value("close_code").toInt(), 1000);
        QCOMPARE(s->droppedAudioBytes(), 0);
    }

    // The service refuses: a forced code, an unknown or wrapped shoot, no session. The closing of
    // the socket that follows is part of the refusal, not a lost connection.
    void refusalsReachOnRefused_data()
    {
        QTest::addColumn<QString>("forced");
        QTest::addColumn<QString>("token"); // "wrapped": a shoot that has ended
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<QString>("code");
        const auto row = [](const char* name, const char* forced, const char* token, bool signedIn, const char* code) {
            QTest::newRow(name) << QString::fromLatin1(forced) << QString::fromLatin1(token) << signedIn
                                << QString::fromLatin1(code);
        };
        row("forced shoot_ended", "shoot_ended", "", true, "shoot_ended");
        row("forced other code", "too_many_streams", "", true, "too_many_streams");
        row("unknown shoot", "", "no-such-token", true, "shoot_not_found");
        row("wrapped shoot", "", "wrapped", true, "shoot_ended");
        row("signed out", "", "", false, "unauthorized");
    }
    void refusalsReachOnRefused()
    {
        QFETCH(QString, forced);
        QFETCH(QString, token);
        QFETCH(bool, signedIn);
        QFETCH(QString, code);
        if (!forced.isEmpty())
            m_standin->control(QStringLiteral("ws-refuse"), {{"code", forced}});
        InMemoryCookieStore noCookie;
        APIService signedOut(m_standin->baseUrl().toString(), noCookie);
        auto s = stream(3, 10.0, true, signedIn ? nullptr : &signedOut);
        if (token == QLatin1String("wrapped")) {
            s->shootToken = createShoot();
            const auto wrap = QStringLiteral("/api/logger/shoots/%1/wrap").arg(*s->shootToken);
            QCOMPARE(m_standin->request("POST", wrap, "{}", m_cookie).status, 200);
        } else if (!token.isEmpty()) {
            s->shootToken = token;
        }
        s->label = QStringLiteral("Boom");
        Recorder rec(*s);
        const int count = static_cast<int>(connections().size()) + 1;
        s->start();
        QTRY_COMPARE_WITH_TIMEOUT(rec.refusals, QStringList{code}, kWaitMs);
        QVERIFY(waitClosed(count));
        QTest::qWait(100);
        QVERIFY2(rec.errors.isEmpty(), qPrintable(rec.errors.join(u'\n')));
        const QJsonObject seen = connections().at(count - 1).toObject();
        QCOMPARE(seen.value("refusal").toString(), code);
        QCOMPARE(seen.value("cookie_sent").toBool(), signedIn);
    }

    // A lost socket is one error, and the queue stops filling behind it; lost after a stop, it is
    // no error at all.
    void lostConnectionIsReportedOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("stopFirst");
        QTest::newRow("cut") << "abort" << false;
        QTest::newRow("closed by the service") << "close" << false;
        QTest::newRow("cut after the stop") << "abort" << true;
    }
    void lostConnectionIsReportedOnce()
    {
        QFETCH(QString, how);
        QFETCH(bool, stopFirst);
        script({step("final", 0, {{"id", 1}, {"text", "x"}}), step(how.toLatin1().constData(), stopFirst ? 300 : 100)});
        auto s = stream();
        s->label = QStringLiteral("Boom");
        Recorder rec(*s);
        const int count = static_cast<int>(connections().size()) + 1;
        s->start();
        QTRY_COMPARE_WITH_TIMEOUT(rec.updates.size(), 1, kWaitMs);
        if (stopFirst) {
            s->stop();
            QVERIFY(waitClosed(count));
            QTest::qWait(100);
            QVERIFY(rec.errors.isEmpty());
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(rec.errors.size(), 1, kWaitMs);
        QVERIFY2(rec.errors[0].startsWith(QStringLiteral("Boom: Connection lost — are you signed in? (")),
                 qPrintable(rec.errors[0]));
        QVERIFY(rec.errors[0].endsWith(u')'));
        s->append(tone(kBufferFrames), kCaptureRate);
        QTest::qWait(100);
        QCOMPARE(rec.errors.size(), 1);
        s->stop();
        QCOMPARE(rec.errors.size(), 1);
    }

    void oversizedFrameIsIgnored()
    {
        script({step("final", 0, {{"id", 1}, {"text", "padded"}, {"pad_bytes", 300 * 1024}}),
                step("raw", 20, {{"text", "{\"type\":\"live_transcript\","}}), step("binary", 40, {{"pad_bytes", 100}}),
                step("final", 60, {{"id", 2}, {"text", "kept"}})});
        auto s = stream();
        Recorder rec(*s);
        s->start();
        QTRY_COMPARE_WITH_TIMEOUT(rec.updates, QStringList{"kept"}, kWaitMs);
        QCOMPARE(s->display().size(), 1);
        QCOMPARE(s->display()[0].id, QStringLiteral("3-2"));
        QVERIFY(rec.errors.isEmpty());
    }

    void utteranceIdsStayUniqueAcrossReconnects()
    {
        QStringList ids;
        for (int round = 0; round < 2; ++round) {
            script({step("interim", 0, {{"text", "a"}}), step("final", 20, {{"text", "a b"}}),
                    step("final", 40, {{"text", "c"}})});
            auto s = stream();
            Recorder rec(*s);
            s->start();
            QTRY_COMPARE_WITH_TIMEOUT(rec.updates.size(), 3, kWaitMs);
            QCOMPARE(s->display().size(), 2);
            for (const DisplaySegment& line : s->display())
                ids.append(line.id);
            s->stop();
        }
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), 4);
    }

    void insecureServiceIsAnError()
    {
        InMemoryCookieStore store(m_cookie);
        APIService remote(QStringLiteral("http://example.com"), store);
        auto s = stream(3, 0.0, true, &remote);
        Recorder rec(*s);
        s->start();
        QTRY_COMPARE_WITH_TIMEOUT(rec.errors.size(), 1, kWaitMs);
        QVERIFY(rec.errors[0].startsWith(QStringLiteral("Connection lost — are you signed in? (")));
    }

    void queueDropsOldestWhileTheSocketStalls()
    {
        // A peer that accepts the connection and never answers the handshake.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        InMemoryCookieStore store(m_cookie);
        APIService stalled(QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort()), store);
        auto s = stream(3, 0.0, true, &stalled);
        Recorder rec(*s);
        s->start();
        // 15 s of audio against a queue of 10 s: about 5 s (160,000 bytes) dropped, oldest first.
        const std::vector<float> buffer = tone(kBufferFrames);
        for (qsizetype i = 0; i < 15 * static_cast<qsizetype>(kCaptureRate) / kBufferFrames; ++i)
            s->append(buffer, kCaptureRate);
        const qint64 dropped = s->droppedAudioBytes();
        QVERIFY2(dropped > 150000 && dropped < 170000, QByteArray::number(dropped));
        s->stop();
        QVERIFY(rec.errors.isEmpty());
    }

    void appendsRaceStop()
    {
        // The capture thread keeps its own reference, as the engine's snapshot does, and may
        // append after the main thread stopped and released the stream.
        for (int round = 0; round < 10; ++round) {
            auto s = stream();
            s->start();
            std::atomic<bool> go{true};
            std::thread capture([s, &go]() mutable {
                const std::vector<float> buffer = tone(kBufferFrames);
                while (go.load())
                    s->append(buffer, kCaptureRate);
                for (int i = 0; i < 20; ++i)
                    s->append(buffer, kCaptureRate);
                s.reset(); // the last reference, on the capture thread
            });
            QTest::qWait(5 * round);
            s->stop();
            s.reset();
            go.store(false);
            capture.join();
        }
        QTest::qWait(100);
    }

    void recognisesSpeech()
    {
        if (!speech_test::canSpeak())
            QSKIP("espeak-ng is not installed");
        speech_test::Speech speech =
            speech_test::speak(QStringLiteral("the camera is rolling. hello world, this is a test."));
        QVERIFY(!speech.samples.empty() && speech.rate > 8000.0);
        // A second of silence after the speech ends the utterance.
        speech.samples.resize(speech.samples.size() + static_cast<size_t>(speech.rate * 1.5), 0.0f);

        auto s = stream(1, 0.0);
        Recorder rec(*s);
        s->start();
        const std::span<const float> all(speech.samples);
        for (size_t at = 0; at < all.size(); at += kBufferFrames)
            s->append(all.subspan(at, std::min<size_t>(kBufferFrames, all.size() - at)), speech.rate);
        QVERIFY2(QTest::qWaitFor([&] { return !s->display().isEmpty(); }, 90000),
                 qPrintable(QJsonDocument(lastConnection()).toJson()));
        const DisplaySegment& line = s->display().first();
        QVERIFY(!line.text.isEmpty());
        QVERIFY(!line.words.isEmpty());
        QVERIFY(line.startSecs >= 0.0 && line.endSecs >= line.startSecs);
        QCOMPARE(line.speaker, std::optional<QString>(QStringLiteral("Speaker 1")));
        QCOMPARE(lastConnection().value("transcriber").toString(), QStringLiteral("pocketsphinx"));
        s->stop();
        QVERIFY(rec.errors.isEmpty());
    }
};

// The merge rules of one stream, fed results directly as the socket thread hands them over.
class ChannelStreamMergeTest : public QObject {
    Q_OBJECT

private:
    InMemoryCookieStore m_store;
    APIService m_service{QStringLiteral("http://127.0.0.1:9"), m_store};
    ManualClock m_clock;

    std::shared_ptr<ChannelStream> stream(int channel = 2, double offset = 5.0)
    {
        return std::make_shared<ChannelStream>(channel, offset, true, m_service, &m_clock);
    }

private Q_SLOTS:
    void interimOnlyChangesTheLatestText()
    {
        auto s = stream();
        Recorder rec(*s);
        s->mergeResult(result(QStringLiteral("1"), QStringLiteral("one"), false));
        s->mergeResult(result(QStringLiteral("2"), QStringLiteral("tw"), true, {{QStringLiteral("tw"), 1, 2}}));
        QCOMPARE(s->display().size(), 1);
        QCOMPARE(s->interimText(), QStringLiteral("tw"));
        QCOMPARE(s->lastWordEnd(), std::nullopt);
        // Any final clears the interim text, even one of another utterance or an empty one.
        s->mergeResult(result(QStringLiteral("3"), QString(), false));
        QCOMPARE(s->interimText(), QString());
        QCOMPARE(s->display().size(), 1);
        QCOMPARE(rec.updates, (QStringList{QStringLiteral("one"), QStringLiteral("tw"), QStringLiteral("one")}));
    }

    void finalReplacesInPlace()
    {
        auto s = stream();
        s->mergeResult(result(QStringLiteral("a"), QStringLiteral("first"), false, {}, QStringLiteral("Ann")));
        s->mergeResult(result(QStringLiteral("b"), QStringLiteral("second"), false));
        const Date firstSeen = s->display()[0].firstSeen;
        const QString timecode = s->display()[0].timecode;
        QCOMPARE(firstSeen, m_clock.now());
        m_clock.advance(90s);
        s->mergeResult(result(QStringLiteral("a"), QStringLiteral("first again"), false, {{QStringLiteral("w"), 1, 2}},
                              QStringLiteral("Bob")));
        QCOMPARE(s->displayChangedFrom(), 0);
        const QList<DisplaySegment>& lines = s->display();
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].id, QStringLiteral("2-a"));
        QCOMPARE(lines[0].text, QStringLiteral("first again"));
        QCOMPARE(lines[0].speaker, std::optional<QString>(QStringLiteral("Bob")));
        QCOMPARE(lines[0].startSecs, 6.0);
        QCOMPARE(lines[0].firstSeen, firstSeen);
        QCOMPARE(lines[0].timecode, timecode);
        QCOMPARE(lines[1].id, QStringLiteral("2-b"));
        // A label replaces every speaker, and its removal brings the service's back.
        s->label = QStringLiteral("Boom");
        QCOMPARE(s->display()[0].speaker, std::optional<QString>(QStringLiteral("Boom")));
        s->label.reset();
        QCOMPARE(s->display()[0].speaker, std::optional<QString>(QStringLiteral("Bob")));
    }

    void emptyFinalHidesAndReturns()
    {
        auto s = stream(-1, 0.0);
        for (const char* id : {"a", "b", "c"})
            s->mergeResult(result(QString::fromLatin1(id), QString::fromLatin1(id), false));
        s->mergeResult(result(QStringLiteral("b"), QString(), false));
        QCOMPARE(s->display().size(), 2);
        QCOMPARE(s->display()[1].id, QStringLiteral("-1-c"));
        QCOMPARE(s->displayChangedFrom(), 1);
        s->mergeResult(result(QStringLiteral("b"), QStringLiteral("back"), false));
        QCOMPARE(s->display().size(), 3);
        QCOMPARE(s->display()[1].id, QStringLiteral("-1-b"));
        QCOMPARE(s->displayChangedFrom(), 1);
        // A new utterance only adds at the end.
        s->mergeResult(result(QStringLiteral("d"), QStringLiteral("d"), false));
        QCOMPARE(s->displayChangedFrom(), 3);
    }

    void resultsAfterStopAreIgnored()
    {
        auto s = stream();
        Recorder rec(*s);
        s->stop();
        s->mergeResult(result(QStringLiteral("1"), QStringLiteral("late"), false));
        s->handleRefusal({QStringLiteral("shoot_ended"), std::nullopt});
        s->handleConnectionLost(QStringLiteral("gone"));
        QVERIFY(s->display().isEmpty());
        QVERIFY(rec.updates.isEmpty() && rec.refusals.isEmpty() && rec.errors.isEmpty());
    }
};

// The order of all streams' lines: one key per line, so a strict weak order.
class SegmentOrderTest : public QObject {
    Q_OBJECT

private:
    static constexpr Date kEngineStart{700000000.0};

    static DisplaySegment line(const QString& id, int channel, double startSecs, double firstSeenAfterStart)
    {
        DisplaySegment out;
        out.id = id;
        out.channel = channel;
        out.startSecs = startSecs;
        out.endSecs = startSecs;
        out.firstSeen = kEngineStart.addingSeconds(firstSeenAfterStart);
        return out;
    }

private Q_SLOTS:
    void comparesByMoment_data()
    {
        QTest::addColumn<double>("startA");
        QTest::addColumn<double>("seenA");
        QTest::addColumn<int>("channelA");
        QTest::addColumn<double>("startB");
        QTest::addColumn<double>("seenB");
        QTest::addColumn<int>("channelB");
        QTest::addColumn<bool>("aFirst");
        QTest::addColumn<bool>("bFirst");
        QTest::newRow("both timed") << 1.0 << 50.0 << 0 << 2.0 << 10.0 << 0 << true << false;
        QTest::newRow("timed before untimed") << 1.0 << 50.0 << 0 << -1.0 << 3.0 << 0 << true << false;
        QTest::newRow("untimed before timed") << -1.0 << 3.0 << 0 << 4.0 << 1.0 << 0 << true << false;
        QTest::newRow("both untimed") << -1.0 << 7.0 << 0 << -1.0 << 6.0 << 0 << false << true;
        QTest::newRow("equal moments, channel decides") << 2.0 << 0.0 << 1 << -1.0 << 2.0 << 0 << false << true;
        QTest::newRow("equal moments, id decides") << 2.0 << 0.0 << 1 << 2.0 << 9.0 << 1 << true << false;
        QTest::newRow("start zero is timed") << 0.0 << 9.0 << 0 << -1.0 << 1.0 << 0 << true << false;
        QTest::newRow("NaN start counts as untimed") << std::nan("") << 1.0 << 0 << 2.0 << 0.0 << 0 << true << false;
    }

    void comparesByMoment()
    {
        QFETCH(double, startA);
        QFETCH(double, seenA);
        QFETCH(int, channelA);
        QFETCH(double, startB);
        QFETCH(double, seenB);
        QFETCH(int, channelB);
        QFETCH(bool, aFirst);
        QFETCH(bool, bFirst);
        const SegmentOrder order(kEngineStart);
        const DisplaySegment a = line(QStringLiteral("a"), channelA, startA, seenA);
        const DisplaySegment b = line(QStringLiteral("b"), channelB, startB, seenB);
        QCOMPARE(order(a, b), aFirst);
        QCOMPARE(order(b, a), bFirst);
        QVERIFY(!order(a, a));
    }

    void timecodeOfTheDay()
    {
        const QDateTime local(QDate(2024, 3, 9), QTime(14, 5, 9, 700), Qt::LocalTime);
        QCOMPARE(wallClockTimecode(Date::fromQDateTime(local)), QStringLiteral("14:05:09"));
        QCOMPARE(wallClockTimecode(Date{std::nan("")}), QStringLiteral("00:00:00"));
        QCOMPARE(wallClockTimecode(Date{1e300}), QStringLiteral("00:00:00"));
    }

    void randomMixesSortConsistently()
    {
        std::mt19937 random(20240309);
        std::uniform_int_distribution<int> pick(0, 9);
        const SegmentOrder order(kEngineStart);
        for (int round = 0; round < 200; ++round) {
            QList<DisplaySegment> lines;
            const int count = 1 + static_cast<int>(random() % 60);
            for (int i = 0; i < count; ++i) {
                // Few distinct values, so that equal moments, timed/untimed ties and equal
                // channels are common.
                const int kind = pick(random);
                const double start = kind < 4 ? -1.0 : kind == 9 ? std::nan("") : pick(random) * 0.5;
                lines.append(line(QString::number(pick(random)), pick(random) % 3 - 1, start, pick(random) * 0.5));
            }
            QList<DisplaySegment> sorted = lines;
            std::sort(sorted.begin(), sorted.end(), order);
            QVERIFY(std::is_sorted(sorted.begin(), sorted.end(), order));
            QList<DisplaySegment> stable = lines;
            sortSegments(stable, kEngineStart);
            QVERIFY(std::is_sorted(stable.begin(), stable.end(), order));

            for (int trial = 0; trial < 200; ++trial) {
                const DisplaySegment& a = lines[static_cast<qsizetype>(random() % lines.size())];
                const DisplaySegment& b = lines[static_cast<qsizetype>(random() % lines.size())];
                const DisplaySegment& c = lines[static_cast<qsizetype>(random() % lines.size())];
                QVERIFY(!order(a, a));
                QVERIFY(!(order(a, b) && order(b, a)));
                if (order(a, b) && order(b, c))
                    QVERIFY(order(a, c));
                // Equivalence is transitive too.
                const bool abEqual = !order(a, b) && !order(b, a);
                const bool bcEqual = !order(b, c) && !order(c, b);
                if (abEqual && bcEqual)
                    QVERIFY(!order(a, c) && !order(c, a));
            }
        }
    }
};

PINDLE_TEST(ChannelStreamTest)
PINDLE_TEST(ChannelStreamMergeTest)
PINDLE_TEST(SegmentOrderTest)
#include "test_channel_stream.moc"
