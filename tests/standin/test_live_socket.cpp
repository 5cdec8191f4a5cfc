#include "common/TestMain.h"

#include "LiveScript.h"
#include "StandinTestSupport.h"

using namespace standin_test;

namespace {

QJsonObject step(const char* type, const QJsonObject& fields = {})
{
    QJsonObject out = fields;
    out.insert(QStringLiteral("type"), QLatin1StringView(type));
    return out;
}

} // namespace

// The stand-in's streaming socket: sign-in, the start message and its refusals, scripted results,
// utterance ids per shoot, and what the state route shows.
class LiveSocketTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_ada;
    QString m_token;

    QJsonObject wsState() { return m_standin->request("GET", QStringLiteral("/__control/ws-state")).json(); }
    QJsonObject lastConnection() { return wsState().value(QStringLiteral("connections")).toArray().last().toObject(); }
    int control(const QString& route, const QJsonObject& body)
    {
        return m_standin->request("POST", QStringLiteral("/__control/") + route, json(body)).status;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_ada = m_standin->signIn(kAda);
        m_token = createShoot(*m_standin, m_ada);
        QVERIFY(!m_ada.isEmpty() && !m_token.isEmpty());
    }

    void cleanup() { control(QStringLiteral("ws-clear"), {}); }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }

    void refusesWithoutSession()
    {
        for (const QString& cookie : {QString(), QStringLiteral("sid=forged")}) {
            WsClient client;
            QVERIFY(client.open(m_standin->baseUrl(), cookie));
            QVERIFY(client.waitClosed());
            QCOMPARE(client.texts.size(), 1);
            QCOMPARE(client.texts[0].value(QStringLiteral("type")).toString(), QStringLiteral("error"));
            QCOMPARE(client.texts[0].value(QStringLiteral("code")).toString(), QStringLiteral("unauthorized"));
            QVERIFY(!client.texts[0].value(QStringLiteral("message")).toString().isEmpty());
            QCOMPARE(client.closeCode, 1008);
            QCOMPARE(lastConnection().value(QStringLiteral("cookie_sent")).toBool(), !cookie.isEmpty());
        }
    }

    void refusesStart_data()
    {
        QTest::addColumn<QJsonObject>("start");
        QTest::addColumn<QString>("code");
        const QJsonObject good{{QStringLiteral("type"), QStringLiteral("questions_transcribe_start")},
                               {QStringLiteral("encoding"), QStringLiteral("linear16")},
                               {QStringLiteral("sample_rate"), 16000}};
        const auto with = [&](const char* key, const QJsonValue& value) {
            QJsonObject out = good;
            out.insert(QLatin1StringView(key), value);
            return out;
        };
        QTest::newRow("no token") << good << "shoot_required";
        QTest::newRow("empty token") << with("token", QString()) << "shoot_required";
        QTest::newRow("token not a string") << with("token", 5) << "shoot_required";
        QTest::newRow("unknown token") << with("token", QStringLiteral("nope")) << "shoot_not_found";
        QTest::newRow("another account's shoot") << with("token", kBob) << "shoot_not_found";
        QTest::newRow("another encoding") << with("encoding", QStringLiteral("opus")) << "unsupported_audio";
        QTest::newRow("another rate") << with("sample_rate", 48000) << "unsupported_audio";
    }

    void refusesStart()
    {
        QFETCH(QJsonObject, start);
        QFETCH(QString, code);
        if (start.value(QStringLiteral("token")) == QJsonValue(kBob))
            start.insert(QStringLiteral("token"), createShoot(*m_standin, m_standin->signIn(kBob)));
        WsClient client;
        QVERIFY(client.open(m_standin->baseUrl(), m_ada));
        client.send(start);
        QVERIFY(client.waitClosed());
        QCOMPARE(client.texts.size(), 1);
        QCOMPARE(client.texts[0].value(QStringLiteral("code")).toString(), code);
        QCOMPARE(lastConnection().value(QStringLiteral("refusal")).toString(), code);
    }

    void forcedRefusalCounts()
    {
        QCOMPARE(control(QStringLiteral("ws-refuse"),
                         {{QStringLiteral("code"), QStringLiteral("busy")}, {QStringLiteral("count"), 2}}),
                 200);
        for (int i = 0; i < 3; ++i) {
            WsClient client;
            QVERIFY(client.open(m_standin->baseUrl(), m_ada));
            client.start(m_token);
            if (i < 2) {
                QVERIFY(client.waitClosed());
                QCOMPARE(client.texts.value(0).value(QStringLiteral("code")).toString(), QStringLiteral("busy"));
                QCOMPARE(client.texts.value(0).value(QStringLiteral("message")).toString(),
                         QStringLiteral("refused by the test"));
            } else {
                QTest::qWait(200);
                QVERIFY(!client.closed);
                QVERIFY(client.texts.isEmpty());
            }
        }
    }

    void otherPathsAreClosed()
    {
        WsClient client;
        // The upgrade itself may be answered, but the socket is closed without any message.
        client.open(m_standin->baseUrl(), m_ada, QStringLiteral("/other"));
        QVERIFY(client.waitClosed());
        QVERIFY(client.texts.isEmpty());
    }

    void recordsWhatArrived()
    {
        QCOMPARE(control(QStringLiteral("ws-script"), {{QStringLiteral("results"), QJsonArray()}}), 200);
        WsClient client;
        QVERIFY(client.open(m_standin->baseUrl(), m_ada));
        client.sendAudio(100); // before the start: not taken as audio
        client.send({{QStringLiteral("type"), QStringLiteral("hello")}});
        client.start(m_token);
        client.sendAudio(3200);
        client.sendAudio(3201);
        client.stop();
        QVERIFY(
            QTest::qWaitFor([&] { return lastConnection().value(QStringLiteral("stop_received")).toBool(); }, kWaitMs));
        client.close();
        QVERIFY(client.waitClosed());
        const QJsonObject seen = lastConnection();
        QCOMPARE(seen.value(QStringLiteral("account")).toString(), kAda);
        QCOMPARE(seen.value(QStringLiteral("client_header")).toString(), QStringLiteral("pindle-logger"));
        QCOMPARE(seen.value(QStringLiteral("audio_before_start_bytes")).toInt(), 100);
        QCOMPARE(seen.value(QStringLiteral("audio_bytes")).toInt(), 6401);
        QCOMPARE(seen.value(QStringLiteral("audio_messages")).toInt(), 2);
        QCOMPARE(seen.value(QStringLiteral("transcriber")).toString(), QStringLiteral("script"));
        QCOMPARE(seen.value(QStringLiteral("sequence")).toArray(),
                 (QJsonArray{"audio", "hello", "start", "audio", "audio", "stop"}));
        QCOMPARE(seen.value(QStringLiteral("start")).toObject().value(QStringLiteral("token")).toString(), m_token);
    }

    void scriptedIdsCountPerShoot()
    {
        const QString second = createShoot(*m_standin, m_ada);
        const QJsonArray script{
            step("interim", {{QStringLiteral("text"), QStringLiteral("a")}}),
            step("final", {{QStringLiteral("text"), QStringLiteral("a b")}, {QStringLiteral("after_ms"), 20}}),
            step("final", {{QStringLiteral("text"), QStringLiteral("c")}, {QStringLiteral("after_ms"), 40}})};
        QList<QJsonValue> firstShoot;
        for (const QString& token : {m_token, second, m_token}) {
            QCOMPARE(control(QStringLiteral("ws-script"), {{QStringLiteral("results"), script}}), 200);
            WsClient client;
            QVERIFY(client.open(m_standin->baseUrl(), m_ada));
            client.start(token);
            QVERIFY(client.waitTexts(3));
            // The interim and the final of one utterance share its id.
            QCOMPARE(client.texts[0].value(QStringLiteral("id")), client.texts[1].value(QStringLiteral("id")));
            QCOMPARE(client.texts[0].value(QStringLiteral("interim")).toBool(), true);
            QCOMPARE(client.texts[1].value(QStringLiteral("interim")).toBool(), false);
            QCOMPARE(client.texts[1].value(QStringLiteral("text")).toString(), QStringLiteral("a b"));
            if (token == second) {
                QCOMPARE(client.texts[1].value(QStringLiteral("id")).toInt(), 1);
            } else {
                firstShoot.append(client.texts[1].value(QStringLiteral("id")));
                firstShoot.append(client.texts[2].value(QStringLiteral("id")));
            }
        }
        // A reconnect to the same shoot goes on counting.
        QCOMPARE(firstShoot.size(), 4);
        QCOMPARE(QSet<int>({firstShoot[0].toInt(), firstShoot[1].toInt(), firstShoot[2].toInt(), firstShoot[3].toInt()})
                     .size(),
                 4);
        QCOMPARE(firstShoot[2].toInt(), firstShoot[1].toInt() + 1);
        QCOMPARE(wsState().value(QStringLiteral("utterances")).toObject().value(second).toInt(), 2);
    }

    void audioTriggeredSteps()
    {
        const QJsonArray script{
            step("final", {{QStringLiteral("id"), QStringLiteral("half")}, {QStringLiteral("after_audio_ms"), 500}}),
            step("final", {{QStringLiteral("id"), QStringLiteral("one")}, {QStringLiteral("after_audio_ms"), 1000}})};
        QCOMPARE(control(QStringLiteral("ws-script"), {{QStringLiteral("results"), script}}), 200);
        WsClient client;
        QVERIFY(client.open(m_standin->baseUrl(), m_ada));
        client.start(m_token);
        client.sendAudio(15000); // 468 ms
        QTest::qWait(200);
        QVERIFY(client.texts.isEmpty());
        client.sendAudio(1000); // 500 ms
        QVERIFY(client.waitTexts(1));
        QCOMPARE(client.texts[0].value(QStringLiteral("id")).toString(), QStringLiteral("half"));
        client.sendAudio(32000);
        QVERIFY(client.waitTexts(2));
        QCOMPARE(client.texts[1].value(QStringLiteral("id")).toString(), QStringLiteral("one"));
    }

    void rejectsBadControl_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QJsonObject>("body");
        const auto script = [](const QJsonObject& s) {
            return QJsonObject{{QStringLiteral("results"), QJsonArray{s}}};
        };
        QTest::newRow("no results") << "ws-script" << QJsonObject{};
        QTest::newRow("results not objects") << "ws-script" << QJsonObject{{QStringLiteral("results"), QJsonArray{1}}};
        QTest::newRow("unknown type") << "ws-script" << script(step("shout"));
        QTest::newRow("both triggers") << "ws-script"
                                       << script(step("final", {{QStringLiteral("after_ms"), 1},
                                                                {QStringLiteral("after_audio_ms"), 1}}));
        QTest::newRow("negative delay") << "ws-script" << script(step("final", {{QStringLiteral("after_ms"), -1}}));
        QTest::newRow("fractional delay") << "ws-script" << script(step("final", {{QStringLiteral("after_ms"), 1.5}}));
        QTest::newRow("raw without text") << "ws-script" << script(step("raw"));
        QTest::newRow("huge pad") << "ws-script"
                                  << script(step("raw", {{QStringLiteral("text"), QStringLiteral("x")},
                                                         {QStringLiteral("pad_bytes"), 1e9}}));
        QTest::newRow("bad close code") << "ws-script" << script(step("close", {{QStringLiteral("close_code"), 5}}));
        QTest::newRow("refusal without code") << "ws-refuse" << QJsonObject{};
        QTest::newRow("refusal empty code") << "ws-refuse" << QJsonObject{{QStringLiteral("code"), QString()}};
        QTest::newRow("refusal count zero")
            << "ws-refuse" << QJsonObject{{QStringLiteral("code"), QStringLiteral("x")}, {QStringLiteral("count"), 0}};
    }

    void rejectsBadControl()
    {
        QFETCH(QString, route);
        QFETCH(QJsonObject, body);
        QCOMPARE(control(route, body), 400);
        QCOMPARE(wsState().value(QStringLiteral("scripts_waiting")).toInt(), 0);
        QVERIFY(wsState().value(QStringLiteral("forced_refusal")).isNull());
    }

    void scriptFrames()
    {
        QString problem;
        const auto steps = standin::parseScript(
            QJsonObject{{QStringLiteral("results"),
                         QJsonArray{step("final", {{QStringLiteral("id"), QJsonValue()},
                                                   {QStringLiteral("text"), 7},
                                                   {QStringLiteral("words"), QStringLiteral("none")},
                                                   {QStringLiteral("omit"), QJsonArray{"interim"}}}),
                                    step("interim", {{QStringLiteral("pad_bytes"), 3}}), step("error", {})}}},
            problem);
        QVERIFY2(steps, qPrintable(problem));
        QCOMPARE(steps->size(), 3);
        // Values are passed on as given, wrong types and nulls included.
        QCOMPARE(QJsonDocument::fromJson(steps->at(0).textFrame(QJsonValue(9))).object(),
                 (QJsonObject{{QStringLiteral("type"), QStringLiteral("live_transcript")},
                              {QStringLiteral("id"), QJsonValue()},
                              {QStringLiteral("text"), 7},
                              {QStringLiteral("speaker"), QStringLiteral("Speaker 1")},
                              {QStringLiteral("wordTimings"), QStringLiteral("none")}}));
        QVERIFY(!steps->at(0).needsUtteranceId());
        QVERIFY(steps->at(1).needsUtteranceId());
        const QByteArray padded = steps->at(1).textFrame(QJsonValue(9));
        QVERIFY(padded.endsWith("}   "));
        QCOMPARE(QJsonDocument::fromJson(padded).object().value(QStringLiteral("id")).toInt(), 9);
        QCOMPARE(QJsonDocument::fromJson(steps->at(2).textFrame({})).object(),
                 (QJsonObject{{QStringLiteral("type"), QStringLiteral("error")},
                              {QStringLiteral("code"), QStringLiteral("refused")}}));
    }
};

PINDLE_TEST(LiveSocketTest)
#include "test_live_socket.moc"
