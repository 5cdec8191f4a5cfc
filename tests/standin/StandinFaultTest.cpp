#include "common/TestMain.h"

#include "RequestLog.h"
#include "StandinTestSupport.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>

using namespace standin_test;

// Injected faults, hostile bodies and the size cap: how the stand-in fails on purpose, and that
// it keeps serving afterwards.
class StandinFaultTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_ada;

    StandinProcess::Answer createShoot()
    {
        return m_standin->request("POST", QStringLiteral("/api/logger/shoots"), json(shootBody(QStringLiteral("F"))),
                                  m_ada);
    }

    int shootCount() { return m_standin->state().value(QStringLiteral("shoots")).toArray().size(); }

    void addFault(const QJsonObject& fault)
    {
        QVERIFY(m_standin->control(QStringLiteral("fault"), fault).value(QStringLiteral("ok")).toBool());
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_ada = m_standin->signIn(kAda);
    }

    void cleanup() { m_standin->control(QStringLiteral("clear")); }

    void kinds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("bodyStart");
        QTest::addColumn<bool>("handled");
        QTest::newRow("status 503") << QStringLiteral("status") << 1 << 503 << QByteArray("{\"error\"") << false;
        QTest::newRow("non-JSON page") << QStringLiteral("nonjson") << 1 << 200 << QByteArray("<!doctype html>")
                                       << false;
        QTest::newRow("empty body") << QStringLiteral("empty") << 1 << 200 << QByteArray() << false;
        // Qt resends a request once when a reused connection closes before any answer, so only
        // a lasting drop reaches the caller as an error.
        QTest::newRow("dropped") << QStringLiteral("drop") << -1 << 0 << QByteArray() << false;
        QTest::newRow("slow") << QStringLiteral("slow") << 1 << 200 << QByteArray("{\"") << true;
    }

    // Each kind spoils `count` requests (-1: until cleared); then requests are answered normally.
    void kinds()
    {
        QFETCH(QString, kind);
        QFETCH(int, count);
        QFETCH(int, status);
        QFETCH(QByteArray, bodyStart);
        QFETCH(bool, handled);
        addFault({{QStringLiteral("path"), QStringLiteral("/api/logger/shoots")},
                  {QStringLiteral("method"), QStringLiteral("post")},
                  {QStringLiteral("kind"), kind},
                  {QStringLiteral("status"), 503},
                  {QStringLiteral("delay_ms"), 50},
                  {QStringLiteral("count"), count}});
        const QString logKey = QStringLiteral("POST /api/logger/shoots");
        const int sentBefore = logged(m_standin->state(), logKey).value(QStringLiteral("count")).toInt();
        const int before = shootCount();
        const auto spoiled = createShoot();
        QCOMPARE(spoiled.status, status);
        QVERIFY2(spoiled.body.startsWith(bodyStart), spoiled.body.constData());
        if (bodyStart.isEmpty())
            QVERIFY(spoiled.body.isEmpty());
        if (status == 0)
            QVERIFY(!spoiled.error.isEmpty());
        QCOMPARE(shootCount(), before + (handled ? 1 : 0));
        // Faulted or not, every attempt reached the log.
        const int sent = logged(m_standin->state(), logKey).value(QStringLiteral("count")).toInt();
        if (count > 0)
            QCOMPARE(sent, sentBefore + count);
        else
            QVERIFY(sent > sentBefore);
        m_standin->control(QStringLiteral("clear"));

        QCOMPARE(createShoot().status, 200);
        QCOMPARE(shootCount(), before + (handled ? 2 : 1));
    }

    void countsAndFilters()
    {
        addFault({{QStringLiteral("path"), QStringLiteral("/api/logger/shoots")},
                  {QStringLiteral("kind"), QStringLiteral("status")},
                  {QStringLiteral("status"), 500},
                  {QStringLiteral("count"), 2}});
        addFault({{QStringLiteral("path"), QStringLiteral("/api/velko/*")},
                  {QStringLiteral("method"), QStringLiteral("GET")},
                  {QStringLiteral("kind"), QStringLiteral("status")},
                  {QStringLiteral("status"), 418},
                  {QStringLiteral("count"), -1}});
        QCOMPARE(createShoot().status, 500);
        QCOMPARE(createShoot().status, 500);
        QCOMPARE(createShoot().status, 200);

        const QString token = createShoot().json().value(QStringLiteral("token")).toString();
        // The GET-only prefix fault leaves a POST under the same prefix alone...
        QCOMPARE(m_standin->request("POST", QStringLiteral("/api/velko/session/%1/heartbeat").arg(token), "{}", m_ada)
                     .status,
                 200);
        // ...and lasts until cleared, even for requests without a session.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(m_standin->request("GET", QStringLiteral("/api/velko/ai-search?q=abc")).status, 418);
        QCOMPARE(m_standin->state().value(QStringLiteral("faults")).toArray().size(), 1);
        m_standin->control(QStringLiteral("clear"));
        QCOMPARE(m_standin->request("GET", QStringLiteral("/api/velko/ai-search?q=abc"), {}, m_ada).status, 200);
        QCOMPARE(m_standin->state().value(QStringLiteral("faults")).toArray().size(), 0);
    }

    void faultRejects_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("no path") << QByteArray(R"({"kind":"drop"})");
        QTest::newRow("unknown kind") << QByteArray(R"({"path":"/x","kind":"explode"})");
        QTest::newRow("status too small") << QByteArray(R"({"path":"/x","kind":"status","status":99})");
        QTest::newRow("delay negative") << QByteArray(R"({"path":"/x","kind":"slow","delay_ms":-1})");
        QTest::newRow("count zero") << QByteArray(R"({"path":"/x","kind":"drop","count":0})");
    }

    void faultRejects()
    {
        QFETCH(QByteArray, body);
        QCOMPARE(m_standin->request("POST", QStringLiteral("/__control/fault"), body).status, 400);
        QCOMPARE(m_standin->state().value(QStringLiteral("faults")).toArray().size(), 0);
    }

    void hostileBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated") << QByteArray("{\"title\":");
        QTest::newRow("trailing garbage") << QByteArray(R"({"title":"a"} x)");
        QTest::newRow("NaN") << QByteArray(R"({"title":"a","tc_format":"25|0|0","audio_epoch_ms":NaN})");
        QTest::newRow("deep nesting") << QByteArray(5000, '[') + QByteArray(5000, ']');
        QTest::newRow("invalid UTF-8") << QByteArray("{\"title\":\"\xff\xfe\"}");
    }

    // Bad JSON is a 400 with an "error" text, never a crash or a half-made shoot.
    void hostileBodies()
    {
        QFETCH(QByteArray, body);
        const int before = shootCount();
        const auto answer = m_standin->request("POST", QStringLiteral("/api/logger/shoots"), body, m_ada);
        QCOMPARE(answer.status, 400);
        QVERIFY(!answer.json().value(QStringLiteral("error")).toString().isEmpty());
        QCOMPARE(shootCount(), before);
    }

    // Without --test-control the control routes do not exist.
    void controlNeedsTheSwitch()
    {
        QProcess process;
        process.start(StandinProcess::executable(), {QStringLiteral("--port"), QStringLiteral("0")});
        QVERIFY(process.waitForReadyRead(10'000));
        const QByteArray line = process.readLine().trimmed();
        QVERIFY2(line.startsWith("pindle-standin listening on http://127.0.0.1:"), line.constData());
        const QUrl base(QString::fromLatin1(line.mid(line.lastIndexOf(' ') + 1)));

        QNetworkAccessManager network;
        network.setProxy(QNetworkProxy::NoProxy);
        QNetworkReply* reply = network.get(QNetworkRequest(QUrl(base.toString() + QStringLiteral("/__control/state"))));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        QVERIFY(finished.wait(10'000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);
        reply->deleteLater();
        process.write("quit\n");
        QVERIFY(process.waitForFinished(10'000));
        QCOMPARE(process.exitCode(), 0);
    }

    // The log of what clients sent keeps the latest kinds of request only, and no body for a path
    // no route knows: made-up paths must not fill the memory.
    void requestLogIsBounded()
    {
        const int unknown = standin::RequestLog::kMaxEntries + 10;
        const QByteArray body(4096, 'x');
        QByteArray sent;
        for (int i = 0; i < unknown; ++i)
            sent += "POST /nowhere/" + QByteArray::number(i) + " HTTP/1.1\r\nContent-Length: 4096\r\n\r\n" + body;
        sent += "POST /auth/login HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}";
        RawClient client(m_standin->baseUrl());
        client.send(sent);
        for (int i = 0; i < unknown; ++i)
            QCOMPARE(client.answer(), 404);
        QCOMPARE(client.answer(), 400);

        const QJsonObject log = m_standin->state().value(QStringLiteral("requests")).toObject();
        QCOMPARE(log.size(), standin::RequestLog::kMaxEntries);
        QVERIFY(!log.contains(QStringLiteral("POST /nowhere/0")));
        const QJsonObject last = log.value(QStringLiteral("POST /nowhere/%1").arg(unknown - 1)).toObject();
        QCOMPARE(last.value(QStringLiteral("count")).toInt(), 1);
        QCOMPARE(last.value(QStringLiteral("body")).toString(), QString());
        QCOMPARE(last.value(QStringLiteral("body_bytes")).toInt(), body.size());
        QCOMPARE(log.value(QStringLiteral("POST /auth/login")).toObject().value(QStringLiteral("body")).toString(),
                 QStringLiteral("{}"));
    }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }
};

PINDLE_TEST(StandinFaultTest)
#include "StandinFaultTest.moc"
