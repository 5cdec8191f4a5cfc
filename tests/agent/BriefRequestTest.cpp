#include "AgentTestSupport.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include <QJsonDocument>

using namespace agent_test;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

// Brief requests against a real stand-in: the body as it arrived, answers of every shape, and
// at most one request out at a time.
class BriefRequestTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    std::unique_ptr<AgentRig> rig(int channels)
    {
        auto made = std::make_unique<AgentRig>(channels, m_standin->baseUrl().toString(), m_cookie);
        made->run();
        return made;
    }
    void fault(const QString& kind, QJsonObject body = {})
    {
        body.insert(u"path"_s, ChannelAgent::kBriefPath);
        body.insert(u"kind"_s, kind);
        QVERIFY(m_standin->control(u"fault"_s, body).value(u"ok"_s).toBool());
    }
    QJsonObject logged() { return m_standin->state()[u"requests"_s][u"POST "_s + ChannelAgent::kBriefPath].toObject(); }
    // The body of the last brief request, as the stand-in received it.
    QJsonObject received() { return QJsonDocument::fromJson(logged()[u"body"_s].toString().toUtf8()).object(); }
    int sent() { return logged()[u"count"_s].toInt(); }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(u"ada@example.com"_s);
    }
    void cleanup() { m_standin->control(u"clear"_s); }

    // The picked channels' lines, the previous topic, the logged entries, the sensitivity and the
    // token, with the session; the answer becomes the channels' briefs. The microphone goes as
    // channel 0 and its answer comes back to -1.
    void bodyAsReceived()
    {
        auto r = rig(4);
        ChannelAgent& agent = *r->agent;
        agent.logged = [] { return QJsonArray{QJsonObject{{"type", "note"}, {"label", "Note"}, {"note", "n"}}}; };
        agent.token = [] { return std::optional(u"tok"_s); };
        r->transcriber().renameChannel(2, u"Boom"_s);
        agent.apply(2, {u"nets"_s, u"new"_s, {}, {}}, true);
        const QString harbour = u"harbour harbour rope rope rope the the and so on it is"_s;
        r->say(0, u"1"_s, harbour, 5.0);
        r->say(1, u"1"_s, words(11), 5.0);
        r->say(2, u"1"_s, words(12), 5.0);
        agent.askTick();
        QTRY_VERIFY(!agent.asking());
        auto channel = [](int index, const QString& name, const QString& text) {
            return QJsonObject{{"index", index},
                               {"name", name},
                               {"lines", QJsonArray{QJsonObject{{"speaker", name}, {"text", text}}}}};
        };
        QJsonObject boom = channel(2, u"Boom"_s, words(12));
        boom.insert(u"previous_topic"_s, u"nets"_s);
        QCOMPARE(received(), (QJsonObject{{"channels", QJsonArray{channel(0, u"Ch 1"_s, harbour), boom}},
                                          {"logged", agent.logged()},
                                          {"sensitivity", "normal"},
                                          {"token", "tok"}}));
        QCOMPARE(logged()[u"headers"_s][u"cookie"_s].toString(), m_cookie);
        QCOMPARE(agent.briefs().value(0).topic, u"rope"_s);
        QCOMPARE(agent.briefs().value(2).verdict + agent.briefs().value(2).topic, u"quietnets"_s);
        auto mic = rig(1);
        mic->agent->apply(-1, {u"engine"_s, u"same"_s, {}, {}}, true);
        mic->say(-1, u"1"_s, harbour, 5.0);
        mic->agent->askTick();
        QTRY_VERIFY(!mic->agent->asking());
        QCOMPARE(received()[u"channels"_s][0][u"index"_s].toInt(-1), 0);
        QCOMPARE(received()[u"channels"_s][0][u"previous_topic"_s].toString(), u"engine"_s);
        QCOMPARE(mic->agent->briefs().keys(), QList<int>{-1});
        QCOMPARE(mic->agent->briefs().value(-1).topic, u"rope"_s);
    }

    // Whatever goes wrong, the agent returns to listening with nothing applied, and the batch of
    // nothing still cancels the bubble waiting from before.
    void failuresAreSilent_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QJsonObject>("extra");
        QTest::newRow("status 500") << "status" << QJsonObject{};
        QTest::newRow("not JSON") << "nonjson" << QJsonObject{};
        QTest::newRow("empty") << "empty" << QJsonObject{};
        QTest::newRow("dropped") << "drop" << QJsonObject{{"count", -1}};
        QTest::newRow("an array") << "answer" << QJsonObject{{"status", 200}, {"body", "[{\"index\":0}]"}};
        QTest::newRow("5 MiB") << "answer" << QJsonObject{{"status", 200}, {"body", QString(5 << 20, u'x')}};
    }
    void failuresAreSilent()
    {
        QFETCH(QString, kind);
        QFETCH(QJsonObject, extra);
        fault(kind, extra);
        auto r = rig(4);
        ChannelAgent& agent = *r->agent;
        agent.start();
        agent.apply(5, {u"waiting"_s, u"new"_s, {}, {}}, true);
        agent.flushBubbles();
        r->say(0, u"1"_s, words(12), 5.0);
        agent.askTick();
        QTRY_VERIFY_WITH_TIMEOUT(!agent.asking(), 15000);
        r->clock.advance(2s);
        QVERIFY(agent.feed().isEmpty());
        QCOMPARE(agent.briefs().keys(), QList<int>{5});
        QCOMPARE(agent.mark().agentState(), PindleAgentState::Listening);
    }

    // Items are checked one by one and applied in order: a missing or wrong-typed optional key
    // takes its default ("changed" true), an item without an integer index or a topic is
    // skipped, as is a channel not asked about, and texts are cut to their limits in
    // user-perceived characters.
    void untrustedItems()
    {
        const QString accents = u"e\u0301"_s.repeated(300);
        const QJsonArray items{
            QJsonObject{{"index", 2}, {"topic", "only the topic"}},
            QJsonObject{{"index", 0}, {"topic", ""}},
            QJsonObject{{"topic", "no index"}},
            QJsonObject{{"index", "0"}, {"topic", "text index"}},
            QJsonObject{{"index", 0.5}, {"topic", "half index"}},
            QJsonObject{{"index", 7}, {"topic", "not asked"}},
            42,
            QJsonObject{{"index", 0}, {"topic", accents}, {"verdict", 5}, {"why", QJsonArray{}}, {"changed", "no"}},
            QJsonObject{{"index", 2}, {"topic", "again"}, {"verdict", "new"}, {"changed", false}}};
        fault(u"answer"_s,
              {{"status", 200}, {"body", QString::fromUtf8(QJsonDocument(QJsonObject{{"briefs", items}}).toJson())}});
        auto r = rig(4);
        r->agent->apply(0, {u"before"_s, u"same"_s, {}, {}}, true);
        r->agent->apply(2, {u"before"_s, u"quiet"_s, {}, {}}, true);
        r->say(0, u"1"_s, words(12), 5.0);
        r->say(2, u"1"_s, words(12), 5.0);
        r->agent->askTick();
        QTRY_VERIFY(!r->agent->asking());
        const auto briefs = r->agent->briefs();
        QCOMPARE(briefs.keys(), (QList<int>{0, 2}));
        QCOMPARE(briefs.value(2), (ChannelAgent::Brief{u"only the topic"_s, u"new"_s, {}, briefs.value(2).at}));
        QCOMPARE(
            briefs.value(0),
            (ChannelAgent::Brief{accents.left(2 * ChannelAgent::kMaxTopicChars), u"same"_s, {}, briefs.value(0).at}));
    }

    // Without channel settings every brief is the microphone's, whatever index comes back.
    void microphoneTakesAnyIndex()
    {
        fault(u"answer"_s, {{"status", 200}, {"body", R"({"briefs":[{"index":3,"topic":"boat"}]})"}});
        auto r = rig(1);
        r->say(-1, u"1"_s, words(12), 5.0);
        r->agent->askTick();
        QTRY_VERIFY(!r->agent->asking());
        QCOMPARE(r->agent->briefs().keys(), QList<int>{-1});
        QCOMPARE(r->agent->briefs().value(-1).topic, u"boat"_s);
    }

    // A stop and start while a request is out clears `asking`, but no second request goes out
    // before the first returns; its late answer is still applied. A request that never ends is
    // given up after its timeout, and the next one goes out.
    void oneRequestAtATime()
    {
        fault(u"slow"_s, {{"delay_ms", 1500}});
        const int before = sent();
        auto r = rig(4);
        ChannelAgent& agent = *r->agent;
        agent.start();
        r->say(0, u"1"_s, u"rope rope "_s + words(10), 5.0);
        agent.askTick();
        agent.setSensitivity(ChannelAgent::Sensitivity::High);
        QVERIFY(!agent.asking() && agent.isRunning());
        r->say(2, u"1"_s, words(12), 6.0);
        agent.askTick();
        r->clock.advance(15s);
        QTRY_VERIFY(agent.briefs().contains(0));
        QCOMPARE(sent(), before + 1);
        QCOMPARE(agent.mark().agentState(), PindleAgentState::Listening);
        fault(u"slow"_s, {{"delay_ms", 60000}});
        r->say(0, u"2"_s, words(12), 7.0);
        agent.askTick();
        QVERIFY(agent.asking());
        r->clock.advance(ChannelAgent::kRequestTimeout);
        QVERIFY(!agent.asking());
        r->say(0, u"3"_s, words(12), 8.0);
        agent.askTick();
        QTRY_COMPARE(sent(), before + 3);
        QTRY_VERIFY(!agent.asking());
    }
};

PINDLE_TEST(BriefRequestTest)
#include "BriefRequestTest.moc"
