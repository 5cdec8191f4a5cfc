#include "common/TestMain.h"

#include "StandinTestSupport.h"

using namespace standin_test;

// Summaries, channel briefs, the search across shoots and share links: deterministic answers
// in the shapes the client reads.
class StandinAnswersTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_ada;
    QString m_bob;

    QString shootWithLines(const QString& cookie, const QString& title, const QJsonArray& segments)
    {
        const QString token =
            m_standin->request("POST", QStringLiteral("/api/logger/shoots"), json(shootBody(title)), cookie)
                .json()
                .value(QStringLiteral("token"))
                .toString();
        const QJsonObject body{{QStringLiteral("segments"), segments},
                               {QStringLiteral("markers"), QJsonArray()},
                               {QStringLiteral("deleted_markers"), QJsonArray()}};
        m_standin->request("POST", QStringLiteral("/api/logger/shoots/%1/sync").arg(token), json(body), cookie);
        return token;
    }

    static QJsonObject line(const QString& text, const QString& speaker = {}, const QString& timecode = {})
    {
        QJsonObject segment{{QStringLiteral("text"), text}, {QStringLiteral("channel"), 0}};
        if (!speaker.isEmpty())
            segment.insert(QStringLiteral("speaker"), speaker);
        if (!timecode.isEmpty())
            segment.insert(QStringLiteral("timecode"), timecode);
        return segment;
    }

    QString shareTokenOf(const QString& token)
    {
        for (const QJsonValue& shoot : m_standin->state().value(QStringLiteral("shoots")).toArray()) {
            if (shoot[QStringLiteral("token")].toString() == token)
                return shoot[QStringLiteral("share_token")].toString();
        }
        return {};
    }

    StandinProcess::Answer search(const QString& query, const QString& cookie)
    {
        return m_standin->request("GET", QStringLiteral("/api/velko/ai-search?q=") + QUrl::toPercentEncoding(query), {},
                                  cookie);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_ada = m_standin->signIn(kAda);
        m_bob = m_standin->signIn(kBob);
    }

    void summaries_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QString>("summary");
        QTest::newRow("first sentence") << QStringLiteral("  Rolling on scene four. Cut! ")
                                        << QStringLiteral("Summary: Rolling on scene four.");
        QTest::newRow("question ends it")
            << QStringLiteral("Is the boom in? Yes.") << QStringLiteral("Summary: Is the boom in?");
        QTest::newRow("dot inside a number")
            << QStringLiteral("Take 2.5 was great") << QStringLiteral("Summary: Take 2.5 was great");
        QTest::newRow("cut to twelve words")
            << QStringLiteral("one two three four five six seven eight nine ten eleven twelve thirteen.")
            << QStringLiteral("Summary: one two three four five six seven eight nine ten eleven twelve…");
        QTest::newRow("line breaks") << QStringLiteral("wide\n\tshot\nagain")
                                     << QStringLiteral("Summary: wide shot again");
        QTest::newRow("only spaces") << QStringLiteral(" \t ") << QString();
    }

    void summaries()
    {
        QFETCH(QString, transcript);
        QFETCH(QString, summary);
        const QJsonObject body{{QStringLiteral("transcript"), transcript},
                               {QStringLiteral("context"), QStringLiteral("Scene 4")},
                               {QStringLiteral("speakers"), QJsonArray{QStringLiteral("Ann")}},
                               {QStringLiteral("token"), QStringLiteral("t")}};
        const auto first = m_standin->request("POST", QStringLiteral("/api/shoot/summarise"), json(body), m_ada);
        const auto second = m_standin->request("POST", QStringLiteral("/api/shoot/summarise"), json(body), m_ada);
        QCOMPARE(first.status, 200);
        QCOMPARE(first.json().value(QStringLiteral("summary")).toString(), summary);
        QCOMPARE(second.body, first.body);
        const QJsonArray asked = m_standin->state().value(QStringLiteral("summaries")).toArray();
        QCOMPARE(asked.last()[QStringLiteral("request")].toObject(), body);
    }

    void summaryRejects_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no transcript") << QByteArray(R"({"context":"x"})");
        QTest::newRow("transcript a number") << QByteArray(R"({"transcript":5})");
        QTest::newRow("speakers not text") << QByteArray(R"({"transcript":"a","speakers":[1]})");
        QTest::newRow("leadIn an object") << QByteArray(R"({"transcript":"a","leadIn":{}})");
    }

    void summaryRejects()
    {
        QFETCH(QByteArray, body);
        QCOMPARE(m_standin->request("POST", QStringLiteral("/api/shoot/summarise"), body, m_ada).status, 400);
    }

    void briefs_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("sensitivity");
        QTest::addColumn<QString>("previous");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("verdict");
        QTest::addColumn<bool>("changed");
        const QStringList lens{QStringLiteral("The lens, the LENS."), QStringLiteral("Swap lens now and the camera")};
        QTest::newRow("new topic") << lens << QStringLiteral("normal") << QString() << QStringLiteral("lens")
                                   << QStringLiteral("new") << true;
        QTest::newRow("same topic") << lens << QStringLiteral("normal") << QStringLiteral("Lens")
                                    << QStringLiteral("lens") << QStringLiteral("same") << false;
        QTest::newRow("low needs three") << QStringList{QStringLiteral("camera camera")} << QStringLiteral("low")
                                         << QStringLiteral("lunch") << QStringLiteral("lunch")
                                         << QStringLiteral("quiet") << false;
        QTest::newRow("high takes one") << QStringList{QStringLiteral("weather")} << QStringLiteral("high") << QString()
                                        << QStringLiteral("weather") << QStringLiteral("new") << true;
        QTest::newRow("tie goes alphabetical")
            << QStringList{QStringLiteral("zebra apple zebra apple")} << QStringLiteral("normal") << QString()
            << QStringLiteral("apple") << QStringLiteral("new") << true;
        QTest::newRow("stop words only") << QStringList{QStringLiteral("the and that the and that")}
                                         << QStringLiteral("high") << QString() << QStringLiteral("quiet")
                                         << QStringLiteral("quiet") << false;
        QTest::newRow("no lines") << QStringList{} << QStringLiteral("high") << QString() << QStringLiteral("quiet")
                                  << QStringLiteral("quiet") << false;
    }

    // Every brief carries the fields the agent requires (index, a non-empty topic) and its optional ones.
    void briefs()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, sensitivity);
        QFETCH(QString, previous);
        QFETCH(QString, topic);
        QFETCH(QString, verdict);
        QFETCH(bool, changed);
        QJsonArray lineObjects;
        for (const QString& text : lines)
            lineObjects.append(
                QJsonObject{{QStringLiteral("speaker"), QStringLiteral("Mic")}, {QStringLiteral("text"), text}});
        QJsonObject channel{{QStringLiteral("index"), 3},
                            {QStringLiteral("name"), QStringLiteral("Boom")},
                            {QStringLiteral("lines"), lineObjects}};
        if (!previous.isEmpty())
            channel.insert(QStringLiteral("previous_topic"), previous);
        const QJsonObject body{{QStringLiteral("channels"), QJsonArray{channel}},
                               {QStringLiteral("logged"), QJsonArray()},
                               {QStringLiteral("sensitivity"), sensitivity}};
        const auto answer = m_standin->request("POST", QStringLiteral("/api/logger/channel-brief"), json(body), m_ada);
        QCOMPARE(answer.status, 200);
        const QJsonArray briefs = answer.json().value(QStringLiteral("briefs")).toArray();
        QCOMPARE(briefs.size(), 1);
        const QJsonObject brief = briefs.first().toObject();
        QCOMPARE(brief.value(QStringLiteral("index")).toInt(), 3);
        QCOMPARE(brief.value(QStringLiteral("topic")).toString(), topic);
        QCOMPARE(brief.value(QStringLiteral("verdict")).toString(), verdict);
        QCOMPARE(brief.value(QStringLiteral("changed")).toBool(), changed);
        QVERIFY(brief.value(QStringLiteral("why")).isString());
    }

    void briefRejects_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("sensitivity unknown") << QByteArray(R"({"channels":[],"logged":[],"sensitivity":"extreme"})");
        QTest::newRow("no logged") << QByteArray(R"({"channels":[],"sensitivity":"low"})");
        QTest::newRow("index fractional")
            << QByteArray(R"({"channels":[{"index":1.5,"name":"a","lines":[]}],"logged":[],"sensitivity":"low"})");
        QTest::newRow("index huge") << QByteArray(
            R"({"channels":[{"index":1e300,"name":"a","lines":[]}],"logged":[],"sensitivity":"low"})");
        QTest::newRow("line text missing") << QByteArray(
            R"({"channels":[{"index":1,"name":"a","lines":[{"speaker":"x"}]}],"logged":[],"sensitivity":"low"})");
        QTest::newRow("channel a string") << QByteArray(R"({"channels":["a"],"logged":[],"sensitivity":"low"})");
    }

    void briefRejects()
    {
        QFETCH(QByteArray, body);
        const auto answer = m_standin->request("POST", QStringLiteral("/api/logger/channel-brief"), body, m_ada);
        QCOMPARE(answer.status, 400);
        QVERIFY(!answer.json().value(QStringLiteral("error")).toString().isEmpty());
    }

    // Only the asker's shoots, case-insensitive, oldest shoot first, in transcript order.
    void searchAcrossShoots()
    {
        const QString first = shootWithLines(
            m_ada, QStringLiteral("Day one"),
            {line(QStringLiteral("The red BALLOON rises"), QStringLiteral("Ann"), QStringLiteral("10:00:01:00")),
             line(QStringLiteral("no match here"))});
        shootWithLines(m_ada, QStringLiteral("Day two"), {line(QStringLiteral("a balloon again"))});
        shootWithLines(m_bob, QStringLiteral("Bob's"), {line(QStringLiteral("Bob's balloon"))});

        const auto answer = search(QStringLiteral("  Balloon "), m_ada);
        QCOMPARE(answer.status, 200);
        const QJsonArray results = answer.json().value(QStringLiteral("results")).toArray();
        QCOMPARE(results.size(), 2);
        const QJsonObject hit = results.first().toObject();
        const QString share = shareTokenOf(first);
        QCOMPARE(hit.value(QStringLiteral("share_token")).toString(), share);
        QVERIFY(share != first);
        QCOMPARE(hit.value(QStringLiteral("title")).toString(), QStringLiteral("Day one"));
        QCOMPARE(hit.value(QStringLiteral("timecode")).toString(), QStringLiteral("10:00:01:00"));
        QCOMPARE(hit.value(QStringLiteral("speaker")).toString(), QStringLiteral("Ann"));
        QCOMPARE(hit.value(QStringLiteral("text")).toString(), QStringLiteral("The red BALLOON rises"));
        QCOMPARE(hit.value(QStringLiteral("why")).toString(), QStringLiteral("Mentions \"Balloon\"."));
        QCOMPARE(results.last()[QStringLiteral("title")].toString(), QStringLiteral("Day two"));
        QCOMPARE(results.last()[QStringLiteral("speaker")].toString(), QString());
        QCOMPARE(search(QStringLiteral("Balloon"), m_ada).body, answer.body);

        const auto none = search(QStringLiteral("zeppelin"), m_ada);
        QCOMPARE(none.status, 200);
        QCOMPARE(none.json().value(QStringLiteral("results")).toArray().size(), 0);
    }

    void searchNeedsThreeCharacters_data()
    {
        QTest::addColumn<QString>("pathAndQuery");
        QTest::newRow("two") << QStringLiteral("/api/velko/ai-search?q=ab");
        QTest::newRow("spaces around two") << QStringLiteral("/api/velko/ai-search?q=%20ab%20");
        QTest::newRow("no q") << QStringLiteral("/api/velko/ai-search");
        QTest::newRow("other key") << QStringLiteral("/api/velko/ai-search?query=balloon");
    }

    void searchNeedsThreeCharacters()
    {
        QFETCH(QString, pathAndQuery);
        const auto answer = m_standin->request("GET", pathAndQuery, {}, m_ada);
        QCOMPARE(answer.status, 400);
        QVERIFY(!answer.json().value(QStringLiteral("error")).toString().isEmpty());
        QVERIFY(answer.json().value(QStringLiteral("results")).isArray());
    }

    // The page escapes the title; only share tokens open it, and without a session.
    void shareLinks()
    {
        const QString token = shootWithLines(m_ada, QStringLiteral("<b>Night</b> & day"), {line(QStringLiteral("x"))});
        const QString share = shareTokenOf(token);
        const auto page = m_standin->request("GET", QStringLiteral("/open/") + share);
        QCOMPARE(page.status, 200);
        QVERIFY(page.header("Content-Type").startsWith("text/html"));
        QVERIFY(page.body.contains("&lt;b&gt;Night&lt;/b&gt; &amp; day"));
        QVERIFY(!page.body.contains("<b>"));
        QCOMPARE(m_standin->request("GET", QStringLiteral("/open/") + token).status, 404);
        QCOMPARE(m_standin->request("GET", QStringLiteral("/open/") + share.chopped(1)).status, 404);
        QCOMPARE(m_standin->request("GET", QStringLiteral("/open/")).status, 404);
    }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }
};

PINDLE_TEST(StandinAnswersTest)
#include "StandinAnswersTest.moc"
