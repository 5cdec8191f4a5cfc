#include "common/TestMain.h"

#include "AuthStore.h"
#include "HttpMessage.h"
#include "JsonFields.h"
#include "Router.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

using namespace standin;

namespace {

Request request(const QByteArray& method, const QByteArray& path, const QJsonObject& body = {})
{
    Request out;
    out.method = method;
    out.segments = decodePathSegments(path);
    out.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return out;
}

} // namespace

// The stand-in's pieces in-process, where their edges are easier to reach than over HTTP.
class StandinUnitTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pathSegments_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QStringList>("segments");
        QTest::newRow("root") << QByteArray("/") << QStringList{""};
        QTest::newRow("double slash") << QByteArray("/a//b") << QStringList{"a", "", "b"};
        QTest::newRow("encoded slash stays inside") << QByteArray("/a%2Fb/c") << QStringList{"a/b", "c"};
        QTest::newRow("decoded once") << QByteArray("/%2541") << QStringList{"%41"};
        QTest::newRow("lone percent") << QByteArray("/100%") << QStringList{"100%"};
        QTest::newRow("one hex digit at the end") << QByteArray("/a%4") << QStringList{"a%4"};
        QTest::newRow("invalid UTF-8") << QByteArray("/%FF") << QStringList{QString(QChar::ReplacementCharacter)};
    }

    void pathSegments()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QStringList, segments);
        QCOMPARE(decodePathSegments(encoded), segments);
    }

    void cookies_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("sid");
        QTest::newRow("alone") << QByteArray("sid=abc") << QByteArray("abc");
        QTest::newRow("among others") << QByteArray("a=1; sid=abc; b=2") << QByteArray("abc");
        QTest::newRow("prefix name") << QByteArray("xsid=abc") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("value with =") << QByteArray("sid=a=b") << QByteArray("a=b");
    }

    void cookies()
    {
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, sid);
        Request request;
        request.headers.append(qMakePair(QByteArray("COOKIE"), header));
        QCOMPARE(request.cookie("sid"), sid);
    }

    // Whole numbers must be exact in a double: 2^53 is the last one that is.
    void wholeNumbers_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<bool>("whole");
        QTest::newRow("zero") << QJsonValue(0) << true;
        QTest::newRow("2^53") << QJsonValue(9007199254740992.0) << true;
        QTest::newRow("past 2^53") << QJsonValue(9007199254740994.0) << false;
        QTest::newRow("fraction") << QJsonValue(0.5) << false;
        QTest::newRow("infinity") << QJsonValue(std::numeric_limits<double>::infinity()) << false;
        QTest::newRow("NaN") << QJsonValue(std::nan("")) << false;
        QTest::newRow("bool") << QJsonValue(true) << false;
    }

    void wholeNumbers()
    {
        QFETCH(QJsonValue, value);
        QFETCH(bool, whole);
        QCOMPARE(JsonFields::wholeNumber(value).has_value(), whole);
    }

    // The first problem wins; optional fields may be null.
    void fieldsKeepFirstProblem()
    {
        JsonFields fields(QJsonObject{{"a", 1}, {"b", QJsonValue::Null}, {"c", "x"}});
        QVERIFY(fields.string(QLatin1StringView("b"), false).isEmpty());
        QVERIFY(fields.ok());
        fields.string(QLatin1StringView("a"), true);
        fields.array(QLatin1StringView("c"), true);
        QVERIFY(!fields.ok());
        QCOMPARE(fields.problem(), QStringLiteral("\"a\" must be a string"));
        QCOMPARE(fields.error().status, 400);
    }

    // Steps "action:status": login, right (the code last given), wrong, or "+ms" for time passing.
    void signInLimits_data()
    {
        QTest::addColumn<QString>("fixedCode");
        QTest::addColumn<QStringList>("steps");
        const QStringList fourWrong{"wrong:401", "wrong:401", "wrong:401", "wrong:401"};
        QTest::newRow("works until it expires") << QString() << QStringList{"login:200", "+599999", "right:200"};
        QTest::newRow("expired") << QString() << QStringList{"login:200", "+600000", "right:401", "right:401"};
        QTest::newRow("used once") << QString() << QStringList{"login:200", "right:200", "right:401"};
        QTest::newRow("fifth wrong code locks")
            << QString() << QStringList{"login:200"} + fourWrong + QStringList{"wrong:429", "right:429", "login:429"};
        QTest::newRow("lock ends") << QString()
                                   << QStringList{"login:200"} + fourWrong +
                                          QStringList{"wrong:429", "+900000", "login:200", "right:200"};
        QTest::newRow("a new code keeps the count")
            << QString() << QStringList{"login:200"} + fourWrong + QStringList{"login:200", "wrong:429"};
        QTest::newRow("old wrong codes are forgotten")
            << QString() << QStringList{"login:200"} + fourWrong + QStringList{"+900000", "login:200", "wrong:401"};
        QTest::newRow("signing in clears the count")
            << QString()
            << QStringList{"login:200"} + fourWrong + QStringList{"right:200", "login:200"} + fourWrong +
                   QStringList{"right:200"};
        QTest::newRow("fixed code never locks or expires")
            << QStringLiteral("424242") << fourWrong + fourWrong + QStringList{"right:200", "+99999999", "right:200"};
    }

    void signInLimits()
    {
        QFETCH(QString, fixedCode);
        QFETCH(QStringList, steps);
        qint64 now = 1;
        AuthStore auth(fixedCode, {}, [&] { return now; });
        QString code = fixedCode;
        auth.onCodeIssued = [&](const QString&, const QString& issued) { code = issued; };
        Router router;
        auth.registerRoutes(router);
        for (const QString& step : steps) {
            const QString action = step.section(u':', 0, 0);
            if (action.startsWith(u'+')) {
                now += action.mid(1).toLongLong();
                continue;
            }
            QJsonObject body{{"email", "ada@example.com"}};
            if (action != QLatin1StringView("login"))
                body.insert("code", action == QLatin1StringView("right") ? code : QStringLiteral("x"));
            const Reply reply = router.dispatch(
                request("POST", action == QLatin1StringView("login") ? "/auth/login" : "/auth/verify", body));
            QVERIFY2(reply.status == step.section(u':', 1).toInt(),
                     qPrintable(step + u' ' + QString::fromUtf8(reply.body)));
        }
    }

    // Past the cap a new session pushes out the oldest: signing in over and over must not fill the
    // memory.
    void sessionsAreCapped()
    {
        AuthLimits limits;
        limits.maxSessions = 3;
        AuthStore auth(QStringLiteral("424242"), limits);
        Router router;
        auth.registerRoutes(router);
        QList<QByteArray> sids;
        for (int i = 0; i < 5; ++i) {
            const Reply reply =
                router.dispatch(request("POST", "/auth/verify", {{"email", "ada@example.com"}, {"code", "424242"}}));
            sids.append(QJsonDocument::fromJson(reply.body).object().value("sid").toString().toLatin1());
        }
        for (qsizetype i = 0; i < sids.size(); ++i) {
            Request withCookie;
            withCookie.headers.append(qMakePair(QByteArray("Cookie"), "sid=" + sids[i]));
            QCOMPARE(auth.accountFor(withCookie).has_value(), i >= sids.size() - limits.maxSessions);
        }
        QCOMPARE(auth.stateJson().value("sessions").toInt(), limits.maxSessions);
    }

    // 404 for unknown paths, 405 for a known path with another method, 401 before the handler.
    void routerOrder()
    {
        Router router;
        int calls = 0;
        router.setAuthenticate([](const Request& r) -> std::optional<QString> {
            if (r.cookie("sid") == "ok")
                return QStringLiteral("ada");
            return std::nullopt;
        });
        router.add("POST", QStringLiteral("/x/{}/y"), Access::Session, [&](const Call& call) {
            ++calls;
            return errorReply(299, call.params.join(u',') + u'|' + call.account);
        });
        const auto send = [&](const QByteArray& method, const QByteArray& path, const QByteArray& cookie) {
            Request sent = request(method, path);
            sent.headers.append(qMakePair(QByteArray("Cookie"), "sid=" + cookie));
            return router.dispatch(sent);
        };
        QCOMPARE(send("POST", "/x/1/z", "ok").status, 404);
        QCOMPARE(send("GET", "/x/1/y", "ok").status, 405);
        QCOMPARE(send("POST", "/x/1/y", "no").status, 401);
        QCOMPARE(calls, 0);
        const Reply reply = send("POST", "/x/a%2Fb/y", "ok");
        QCOMPARE(reply.status, 299);
        QVERIFY(reply.body.contains("a/b|ada"));
    }
};

PINDLE_TEST(StandinUnitTest)
#include "StandinUnitTest.moc"
