#include "common/TestMain.h"

#include "StandinTestSupport.h"

#include <QProcess>
#include <QRegularExpression>

using namespace standin_test;

// Sign-in as the client relies on it: "ok" or an "error" text, the session as "sid" and as a
// Set-Cookie header, and 401 on every route that needs a session.
class StandinAuthTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;

    QJsonObject verify(const QJsonObject& body, int& status)
    {
        const auto answer = m_standin->request("POST", QStringLiteral("/auth/verify"), json(body));
        status = answer.status;
        return answer.json();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        QCOMPARE(m_standin->baseUrl().host(), QStringLiteral("127.0.0.1"));
    }

    void loginAnswers_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("ok");
        QTest::newRow("spaces and capitals") << QByteArray(R"({"email":"  Ada@Example.COM "})") << 200 << true;
        QTest::newRow("two at signs") << QByteArray(R"({"email":"a@b@example.com"})") << 400 << false;
        QTest::newRow("space inside") << QByteArray(R"({"email":"a da@example.com"})") << 400 << false;
        QTest::newRow("number") << QByteArray(R"({"email":42})") << 400 << false;
        QTest::newRow("missing") << QByteArray(R"({})") << 400 << false;
        QTest::newRow("not json") << QByteArray("email=ada@example.com") << 400 << false;
    }

    // The client counts "ok" true or a "message" as sent, else shows "error".
    void loginAnswers()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QFETCH(bool, ok);
        const auto answer = m_standin->request("POST", QStringLiteral("/auth/login"), body);
        QCOMPARE(answer.status, status);
        const QJsonObject object = answer.json();
        QCOMPARE(object.value(QStringLiteral("ok")).toBool(), ok);
        if (ok)
            QVERIFY(object.value(QStringLiteral("message")).isString());
        else
            QVERIFY(!object.value(QStringLiteral("error")).toString().isEmpty());
    }

    void verifyAnswers_data()
    {
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("ok");
        const auto with = [](const QJsonValue& code) {
            return QJsonObject{{QStringLiteral("email"), kAda}, {QStringLiteral("code"), code}};
        };
        QTest::newRow("fixed code") << with(QStringLiteral("424242")) << 200 << true;
        QTest::newRow("wrong code") << with(QStringLiteral("424243")) << 401 << false;
        QTest::newRow("code as number") << with(424242) << 400 << false;
        QTest::newRow("no email") << QJsonObject{{QStringLiteral("code"), QStringLiteral("424242")}} << 400 << false;
    }

    void verifyAnswers()
    {
        QFETCH(QJsonObject, body);
        QFETCH(int, status);
        QFETCH(bool, ok);
        int answered = 0;
        const QJsonObject object = verify(body, answered);
        QCOMPARE(answered, status);
        QCOMPARE(object.value(QStringLiteral("ok")).toBool(), ok);
        if (ok) {
            QCOMPARE(object.value(QStringLiteral("user")).toObject().value(QStringLiteral("email")).toString(), kAda);
        } else {
            QVERIFY(!object.value(QStringLiteral("error")).toString().isEmpty());
            QVERIFY(!object.contains(QStringLiteral("sid")));
        }
    }

    void cookiePaths_data()
    {
        QTest::addColumn<bool>("sid");
        QTest::addColumn<bool>("setCookie");
        QTest::newRow("both") << true << true;
        QTest::newRow("header only") << false << true;
        QTest::newRow("neither") << false << false;
    }

    // Each path alone yields a working session; the header's text before ";" is the cookie.
    void cookiePaths()
    {
        QFETCH(bool, sid);
        QFETCH(bool, setCookie);
        m_standin->control(QStringLiteral("verify-mode"),
                           {{QStringLiteral("sid"), sid}, {QStringLiteral("set_cookie"), setCookie}});
        const auto answer =
            m_standin->request("POST", QStringLiteral("/auth/verify"),
                               json({{QStringLiteral("email"), kBob}, {QStringLiteral("code"), m_standin->code()}}));
        m_standin->control(QStringLiteral("verify-mode"), {});
        QCOMPARE(answer.status, 200);
        QVERIFY(answer.json().value(QStringLiteral("ok")).toBool());

        const QString bodySid = answer.json().value(QStringLiteral("sid")).toString();
        const QByteArray header = answer.header("Set-Cookie");
        QCOMPARE(!bodySid.isEmpty(), sid);
        QCOMPARE(!header.isEmpty(), setCookie);
        if (sid && setCookie)
            QCOMPARE(QString::fromLatin1(header.split(';').first()), QStringLiteral("sid=") + bodySid);

        QStringList cookies;
        if (sid)
            cookies << QStringLiteral("sid=") + bodySid;
        if (setCookie)
            cookies << QString::fromLatin1(header.split(';').first());
        for (const QString& cookie : cookies) {
            const auto search =
                m_standin->request("GET", QStringLiteral("/api/velko/ai-search?q=anything"), {}, cookie);
            QCOMPARE(search.status, 200);
        }
    }

    void sessionRequired_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("cookie");
        const QList<QPair<QByteArray, QString>> routes{
            {"POST", QStringLiteral("/api/shoot/summarise")},
            {"POST", QStringLiteral("/api/logger/tc-request")},
            {"GET", QStringLiteral("/api/logger/tc-request/anything")},
            {"POST", QStringLiteral("/api/logger/shoots")},
            {"POST", QStringLiteral("/api/logger/shoots/abc/sync")},
            {"POST", QStringLiteral("/api/logger/shoots/abc/wrap")},
            {"POST", QStringLiteral("/api/velko/session/abc/heartbeat")},
            {"POST", QStringLiteral("/api/logger/channel-brief")},
            {"GET", QStringLiteral("/api/velko/ai-search?q=balloon")},
        };
        const QStringList cookies{QString(), QStringLiteral("sid=not-a-session"), QStringLiteral("SID=abc")};
        for (const auto& [method, path] : routes) {
            for (const QString& cookie : cookies) {
                QTest::addRow("%s %s [%s]", method.constData(), qPrintable(path), qPrintable(cookie))
                    << method << path << cookie;
            }
        }
    }

    // 401 comes before the body is looked at: the client reads it as "sign in first".
    void sessionRequired()
    {
        QFETCH(QByteArray, method);
        QFETCH(QString, path);
        QFETCH(QString, cookie);
        const auto answer = m_standin->request(method, path, "{not json", cookie);
        QCOMPARE(answer.status, 401);
        QVERIFY(answer.json().value(QStringLiteral("error")).isString());
    }

    // Without --code the stand-in prints a new code per address, which signs in (how long and how
    // often it works is in StandinUnitTest).
    void generatedCodeIsPrinted()
    {
        StandinProcess standin({}, false);
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        QCOMPARE(standin.request("POST", QStringLiteral("/auth/login"), json({{"email", "Cy@Example.com"}})).status,
                 200);
        QVERIFY(standin.waitForOutput("sign-in code for cy@example.com: "));
        QVERIFY(standin.waitForOutput("\n"));
        const auto match = QRegularExpression(QStringLiteral("sign-in code for cy@example.com: (\\d{6})\\n"))
                               .match(QString::fromUtf8(standin.output()));
        QVERIFY(match.hasMatch());
        const auto answer = standin.request("POST", QStringLiteral("/auth/verify"),
                                            json({{"email", "cy@example.com"}, {"code", match.captured(1)}}));
        QCOMPARE(answer.status, 200);
        QCOMPARE(standin.stop(), 0);
    }

    void badCommandLines_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("port too large") << QStringList{QStringLiteral("--port"), QStringLiteral("65536")};
        QTest::newRow("code with letters") << QStringList{QStringLiteral("--code"), QStringLiteral("12ab")};
        QTest::newRow("delay not a number") << QStringList{QStringLiteral("--scan-delay"), QStringLiteral("soon")};
        QTest::newRow("delay negative") << QStringList{QStringLiteral("--scan-delay"), QStringLiteral("-2")};
        QTest::newRow("stray argument") << QStringList{QStringLiteral("extra")};
        QTest::newRow("no streams") << QStringList{QStringLiteral("--max-streams"), QStringLiteral("0")};
        QTest::newRow("timeout zero") << QStringList{QStringLiteral("--idle-timeout"), QStringLiteral("0")};
    }

    void badCommandLines()
    {
        QFETCH(QStringList, arguments);
        QProcess process;
        process.start(StandinProcess::executable(), arguments);
        QVERIFY(process.waitForFinished(10'000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(!process.readAllStandardOutput().contains("listening"));
    }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }
};

PINDLE_TEST(StandinAuthTest)
#include "StandinAuthTest.moc"
