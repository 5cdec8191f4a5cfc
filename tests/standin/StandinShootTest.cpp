#include "common/TestMain.h"

#include "StandinTestSupport.h"

using namespace standin_test;

// Create, sync, wrap and heartbeat as the shoot sync sends them, and what the state shows.
class StandinShootTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_ada;
    QString m_bob;

    QString createShoot(const QString& title, const QString& cookie)
    {
        const auto answer =
            m_standin->request("POST", QStringLiteral("/api/logger/shoots"), json(shootBody(title)), cookie);
        return answer.status == 200 ? answer.json().value(QStringLiteral("token")).toString() : QString();
    }

    QJsonObject shootState(const QString& token)
    {
        for (const QJsonValue& shoot : m_standin->state().value(QStringLiteral("shoots")).toArray()) {
            if (shoot[QStringLiteral("token")].toString() == token)
                return shoot.toObject();
        }
        return {};
    }

    int post(const QString& path, const QByteArray& body, const QString& cookie)
    {
        return m_standin->request("POST", path, body, cookie).status;
    }

    static QJsonObject syncBody(const QJsonArray& segments, const QJsonArray& markers, const QStringList& deleted)
    {
        return QJsonObject{{QStringLiteral("segments"), segments},
                           {QStringLiteral("markers"), markers},
                           {QStringLiteral("deleted_markers"), QJsonArray::fromStringList(deleted)}};
    }

    static QJsonObject marker(const QString& id)
    {
        return QJsonObject{{QStringLiteral("id"), id},
                           {QStringLiteral("type"), QStringLiteral("good")},
                           {QStringLiteral("label"), QStringLiteral("Good")},
                           {QStringLiteral("tags"), QJsonArray()}};
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_ada = m_standin->signIn(kAda);
        m_bob = m_standin->signIn(kBob);
        QVERIFY(!m_ada.isEmpty() && !m_bob.isEmpty());
    }

    void createAnswersTokenAndKeepsBody()
    {
        QJsonObject body = shootBody(QStringLiteral("Log 12 Mar, 09:14"));
        body.insert(QStringLiteral("tc_offset_ms"), -1234);
        const auto answer = m_standin->request("POST", QStringLiteral("/api/logger/shoots"), json(body), m_ada);
        QCOMPARE(answer.status, 200);
        const QString token = answer.json().value(QStringLiteral("token")).toString();
        QVERIFY(!token.isEmpty());
        const QJsonObject shoot = shootState(token);
        QCOMPARE(shoot.value(QStringLiteral("owner")).toString(), kAda);
        QCOMPARE(shoot.value(QStringLiteral("create_body")).toObject(), body);
        QVERIFY(shoot.value(QStringLiteral("share_token")).toString() != token);
        QCOMPARE(shoot.value(QStringLiteral("ended")).toBool(), false);
        // Creating a shoot is no contact yet: the logger's first quiet tick sends a heartbeat.
        QCOMPARE(shoot.value(QStringLiteral("last_contact_ms")).toDouble(), 0.0);
    }

    void createRejects_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no title") << QByteArray(R"({"tc_format":"25|0|0","audio_epoch_ms":1})");
        QTest::newRow("fractional epoch") << QByteArray(R"({"title":"t","tc_format":"25|0|0","audio_epoch_ms":1.5})");
        QTest::newRow("epoch past 2^53") << QByteArray(
            R"({"title":"t","tc_format":"25|0|0","audio_epoch_ms":9007199254740994})");
        QTest::newRow("truncated") << QByteArray(R"({"title":"t","tc_format")");
    }

    void createRejects()
    {
        QFETCH(QByteArray, body);
        const int before = m_standin->state().value(QStringLiteral("shoots")).toArray().size();
        const auto answer = m_standin->request("POST", QStringLiteral("/api/logger/shoots"), body, m_ada);
        QCOMPARE(answer.status, 400);
        QVERIFY(!answer.json().value(QStringLiteral("error")).toString().isEmpty());
        QCOMPARE(m_standin->state().value(QStringLiteral("shoots")).toArray().size(), before);
    }

    // The whole log goes out on each sync; deletions pile up once each.
    void syncRoundTrip()
    {
        const QString token = createShoot(QStringLiteral("Sync"), m_ada);
        const QString path = QStringLiteral("/api/logger/shoots/%1/sync").arg(token);
        const QJsonArray segments{QJsonObject{{QStringLiteral("id"), QStringLiteral("1700000000-1")},
                                              {QStringLiteral("text"), QStringLiteral("Rolling.")},
                                              {QStringLiteral("start_ms"), 1700000000000.0},
                                              {QStringLiteral("channel"), 0}}};
        QJsonObject first = syncBody(segments, {marker(QStringLiteral("A")), marker(QStringLiteral("B"))}, {});
        first.insert(QStringLiteral("tc_offset_ms"), 40);
        QCOMPARE(post(path, json(first), m_ada), 200);
        const QJsonObject second = syncBody(segments, {marker(QStringLiteral("B"))}, {QStringLiteral("A")});
        QCOMPARE(post(path, json(second), m_ada), 200);
        QCOMPARE(post(path, json(second), m_ada), 200);

        const QJsonObject shoot = shootState(token);
        QCOMPARE(shoot.value(QStringLiteral("syncs")).toInt(), 3);
        QVERIFY(shoot.value(QStringLiteral("last_contact_ms")).toDouble() > 0);
        QCOMPARE(shoot.value(QStringLiteral("last_sync")).toObject(), second);
        QCOMPARE(shoot.value(QStringLiteral("segments")).toArray(), segments);
        QCOMPARE(shoot.value(QStringLiteral("markers")).toArray(), QJsonArray{marker(QStringLiteral("B"))});
        QCOMPARE(shoot.value(QStringLiteral("deleted_markers")).toArray(), QJsonArray{QStringLiteral("A")});

        const QJsonObject entry = logged(m_standin->state(), QStringLiteral("POST ") + path);
        QCOMPARE(entry.value(QStringLiteral("count")).toInt(), 3);
        QCOMPARE(entry.value(QStringLiteral("headers")).toObject().value(QStringLiteral("cookie")).toString(), m_ada);
    }

    void syncRejects_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("segments missing") << QByteArray(R"({"markers":[],"deleted_markers":[]})");
        QTest::newRow("marker null") << QByteArray(R"({"segments":[],"markers":[null],"deleted_markers":[]})");
        QTest::newRow("offset fractional")
            << QByteArray(R"({"segments":[],"markers":[],"deleted_markers":[],"tc_offset_ms":0.5})");
        QTest::newRow("empty body") << QByteArray();
    }

    // A refused sync leaves what was stored untouched.
    void syncRejects()
    {
        QFETCH(QByteArray, body);
        const QString token = createShoot(QStringLiteral("Rejects"), m_ada);
        const QString path = QStringLiteral("/api/logger/shoots/%1/sync").arg(token);
        const QJsonObject good = syncBody({QJsonObject{{QStringLiteral("text"), QStringLiteral("kept")}}}, {}, {});
        QCOMPARE(post(path, json(good), m_ada), 200);
        QCOMPARE(post(path, body, m_ada), 400);
        const QJsonObject shoot = shootState(token);
        QCOMPARE(shoot.value(QStringLiteral("syncs")).toInt(), 1);
        QCOMPARE(shoot.value(QStringLiteral("last_sync")).toObject(), good);
    }

    void pathsNameOwnShootsOnly_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("sync") << QStringLiteral("sync");
        QTest::newRow("wrap") << QStringLiteral("wrap");
    }

    // Another account's token, a token with a different case, or a prefix of it are unknown.
    void pathsNameOwnShootsOnly()
    {
        QFETCH(QString, suffix);
        const QString token = createShoot(QStringLiteral("Ada's"), m_ada);
        const auto pathFor = [&](const QString& t) {
            return suffix == QLatin1StringView("heartbeat") ? QStringLiteral("/api/velko/session/%1/heartbeat").arg(t)
                                                            : QStringLiteral("/api/logger/shoots/%1/%2").arg(t, suffix);
        };
        const QByteArray body = suffix == QLatin1StringView("sync") ? json(syncBody({}, {}, {})) : QByteArray("{}");
        QCOMPARE(post(pathFor(token), body, m_bob), 404);
        QCOMPARE(post(pathFor(token.toUpper()), body, m_ada), 404);
        QCOMPARE(post(pathFor(token.chopped(1)), body, m_ada), 404);
        QCOMPARE(post(pathFor(QString()), body, m_ada), 404);
        QCOMPARE(post(pathFor(token), body, m_ada), 200);
    }

    // Tokens are percent-decoded once: "%2F" stays inside the token, "%2541" reads as "%41".
    void oddTokensDecodeOnce()
    {
        const QString odd = QStringLiteral("a b/c%41é");
        m_standin->control(QStringLiteral("next-id"),
                           {{QStringLiteral("kind"), QStringLiteral("shoot")}, {QStringLiteral("id"), odd}});
        QCOMPARE(createShoot(QStringLiteral("Odd"), m_ada), odd);
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(odd));
        QCOMPARE(post(QStringLiteral("/api/velko/session/%1/heartbeat").arg(encoded), "{}", m_ada), 200);
        QCOMPARE(post(QStringLiteral("/api/velko/session/a%20b%2Fc%2541%C3%A9/heartbeat"), "{}", m_ada), 200);
        QCOMPARE(post(QStringLiteral("/api/velko/session/a%20b%2Fc%41%C3%A9/heartbeat"), "{}", m_ada), 404);
        QCOMPARE(post(QStringLiteral("/api/velko/session/a%2520b%2Fc%2541%C3%A9/heartbeat"), "{}", m_ada), 404);
        QCOMPARE(shootState(odd).value(QStringLiteral("heartbeats")).toInt(), 2);
    }

    void wrapEndsTheShoot()
    {
        const QString token = createShoot(QStringLiteral("Wrap"), m_ada);
        const QString base = QStringLiteral("/api/logger/shoots/%1/").arg(token);
        QCOMPARE(post(QStringLiteral("/api/velko/session/%1/heartbeat").arg(token), "{}", m_ada), 200);
        QCOMPARE(post(base + QStringLiteral("wrap"), "{}", m_ada), 200);
        QCOMPARE(post(base + QStringLiteral("wrap"), "{}", m_ada), 200);
        const auto refused =
            m_standin->request("POST", base + QStringLiteral("sync"), json(syncBody({}, {}, {})), m_ada);
        QCOMPARE(refused.status, 409);
        QCOMPARE(refused.json().value(QStringLiteral("error")).toString(), QStringLiteral("shoot_ended"));
        const QJsonObject shoot = shootState(token);
        QVERIFY(shoot.value(QStringLiteral("ended")).toBool());
        QCOMPARE(shoot.value(QStringLiteral("wraps")).toInt(), 2);
        QCOMPARE(shoot.value(QStringLiteral("heartbeats")).toInt(), 1);
        QCOMPARE(shoot.value(QStringLiteral("syncs")).toInt(), 0);
    }

    void wrongMethodsAndPaths_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("PUT sync") << QByteArray("PUT") << QStringLiteral("/api/logger/shoots/x/sync") << 405;
        QTest::newRow("trailing slash") << QByteArray("POST") << QStringLiteral("/api/logger/shoots/") << 404;
        QTest::newRow("unknown verb") << QByteArray("POST") << QStringLiteral("/api/logger/shoots/x/sink") << 404;
        QTest::newRow("root") << QByteArray("GET") << QStringLiteral("/") << 404;
    }

    void wrongMethodsAndPaths()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(int, status);
        const auto answer = m_standin->request(method, path, "{}", m_ada);
        QCOMPARE(answer.status, status);
        QVERIFY(answer.json().value(QStringLiteral("error")).isString());
    }

    // 80,000 deletions sent twice in one sync are kept once each, in arrival order, without
    // holding the server up. Last: every later state would carry them.
    void manyDeletions()
    {
        const QString token = createShoot(QStringLiteral("Deletions"), m_ada);
        QStringList ids;
        for (int i = 0; i < 80'000; ++i)
            ids.append(QString::number(i));
        QCOMPARE(
            post(QStringLiteral("/api/logger/shoots/%1/sync").arg(token), json(syncBody({}, {}, ids + ids)), m_ada),
            200);
        QCOMPARE(shootState(token).value(QStringLiteral("deleted_markers")).toArray(), QJsonArray::fromStringList(ids));
    }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }
};

PINDLE_TEST(StandinShootTest)
#include "StandinShootTest.moc"
