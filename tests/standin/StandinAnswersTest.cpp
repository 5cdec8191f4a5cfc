#include "common/TestMain.h"

#include "StandinTestSupport.h"

using namespace standin_test;

// Summaries, the search across shoots and share links: deterministic answers in the shapes
// the client reads.
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
        return m_standin->shoot(token)[QStringLiteral("share_token")].toString();
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
        QTest::newRow("dot inside a number")
            << QStringLiteral("Take 2.5 was great") << QStringLiteral("Summary: Take 2.5 was great");
        QTest::newRow("cut to twelve words")
            << QStringLiteral("one two three four five six seven eight nine ten eleven twelve thirteen.")
            << QStringLiteral("Summary: one two three four five six seven eight nine ten eleven twelve…");
        QTest::newRow("only spaces") << QStringLiteral(" \t ") << QString();
        // The state keeps only the size of a large request.
        QTest::newRow("long") << QStringLiteral("Go. ") + QString(20'000, u'x') << QStringLiteral("Summary: Go.");
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
        const QJsonObject kept = asked.last()[QStringLiteral("request")].toObject();
        if (transcript.size() > 16 * 1024)
            QCOMPARE(kept.value(QStringLiteral("cut")).toBool(), true);
        else
            QCOMPARE(kept, body);
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
