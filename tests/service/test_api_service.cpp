#include "ServiceTesting.h"
#include "common/TestMain.h"

#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAPI.h"
#include "service/ServiceUrl.h"

#include <QJsonDocument>
#include <QMutex>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

using Kind = ServiceError::Kind;

using namespace servicetesting;
using JsonLatch = Latch<ServiceResult<QJsonObject>>;

const QString kEmail = QStringLiteral("ada@example.com");
const QString kShoots = QStringLiteral("/api/logger/shoots");
const QString kSummarise = QStringLiteral("/api/shoot/summarise");

QJsonObject newShoot()
{
    return {{QStringLiteral("title"), QStringLiteral("Day 1")},
            {QStringLiteral("tc_format"), QStringLiteral("25 fps")},
            {QStringLiteral("audio_epoch_ms"), 1700000000000.0}};
}

QString describe(const std::optional<ServiceError>& error)
{
    return error ? QStringLiteral("%1: %2").arg(int(error->kind())).arg(error->description())
                 : QStringLiteral("success");
}

template <typename T> QString describe(const ServiceResult<T>& result)
{
    return result.ok() ? QStringLiteral("success") : describe(std::optional<ServiceError>(result.error()));
}

// Every message the process logs while a test runs, from any thread.
struct LogCapture {
    static inline QMutex mutex;
    static inline QStringList lines;
    QtMessageHandler previous = nullptr;

    LogCapture()
    {
        QMutexLocker lock(&mutex);
        lines.clear();
        previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
            QMutexLocker lock(&mutex);
            lines.append(message);
        });
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
};

} // namespace

// The service client against a real stand-in: sign-in, the session cookie on the wire, JSON
// requests, summaries, and the URLs requests may go to.
class APIServiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;

    QString base() const { return m_standin->baseUrl().toString(); }

    // Spoils the next request to `path`: "" nothing, "answer" exactly this status, body and
    // headers, else a fault kind ("status", "nonjson", "empty", "slow", "drop").
    void prepare(const QString& path, const QString& setup, int status = 500, const QByteArray& body = {},
                 const QJsonObject& headers = {})
    {
        if (setup.isEmpty())
            return;
        QJsonObject fault{{QStringLiteral("path"), path},
                          {QStringLiteral("kind"), setup},
                          {QStringLiteral("status"), status > 0 ? status : 500},
                          {QStringLiteral("delay_ms"), 300},
                          // The network layer resends a cut request once.
                          {QStringLiteral("count"), setup == QLatin1String("drop") ? -1 : 1}};
        if (setup == QLatin1String("answer")) {
            fault.insert(QStringLiteral("body"), QString::fromUtf8(body));
            fault.insert(QStringLiteral("headers"), headers);
        }
        const QJsonObject answer = m_standin->control(QStringLiteral("fault"), fault);
        QVERIFY2(answer.value(QLatin1String("ok")).toBool(), QJsonDocument(answer).toJson().constData());
    }

    // The last request the stand-in received as "METHOD /path".
    QJsonObject received(const QString& key)
    {
        return m_standin->state().value(QLatin1String("requests")).toObject().value(key).toObject();
    }
    QJsonObject sentHeaders(const QString& key) { return received(key).value(QLatin1String("headers")).toObject(); }
    QJsonObject sentBody(const QString& key)
    {
        return QJsonDocument::fromJson(received(key).value(QLatin1String("body")).toString().toUtf8()).object();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY((m_standin = startStandin())); }

    void init()
    {
        m_standin->control(QStringLiteral("clear"));
        m_standin->control(QStringLiteral("verify-mode"),
                           {{QStringLiteral("sid"), true}, {QStringLiteral("set_cookie"), true}});
    }

    void cleanupTestCase() { m_standin.reset(); }

    // A "message" counts as sent only with a 2xx status; otherwise it is the sentence shown.
    void sendLoginCode_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind"); // -1: sent
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, const char* setup, int status, const char* body, int kind,
                            const char* text) {
            QTest::newRow(name) << setup << status << QByteArray(body) << kind << text;
        };
        const int login = int(Kind::LoginFailed);
        row("ok", "", 0, "", -1, "");
        row("message, 202, no ok", "answer", 202, R"({"message":null})", -1, "");
        row("message, 429", "answer", 429, R"({"message":"Wait a minute."})", login, "Wait a minute.");
        row("message not text, 500", "answer", 500, R"({"message":7})", login, "Failed to send code");
        row("error wins, 400", "answer", 400, R"({"error":"Enter a valid email.","message":"x"})", login,
            "Enter a valid email.");
        row("ok as text", "answer", 200, R"({"ok":"true"})", login, "Failed to send code");
        row("not JSON", "nonjson", 200, "", int(Kind::Json), "");
        row("cut connection", "drop", 0, "", int(Kind::Transport), "");
    }
    void sendLoginCode()
    {
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        prepare(QStringLiteral("/auth/login"), setup, status, body);
        InMemoryCookieStore store(QStringLiteral("sid=already"));
        APIService service(base(), store);
        ErrorLatch done;
        service.sendLoginCode(kEmail, nullptr, done.callback());
        QCOMPARE(done.calls, 0); // never before the call returns
        QVERIFY(done.wait());
        QCOMPARE(done.calls, 1);
        const std::optional<ServiceError>& error = *done.value;
        QTEST(error ? int(error->kind()) : -1, "kind");
        if (!text.isEmpty())
            QCOMPARE(error->description(), text);

        // The code request carries no session and no client header.
        const QJsonObject headers = sentHeaders(QStringLiteral("POST /auth/login"));
        QVERIFY(!headers.contains(QLatin1String("cookie")) && !headers.contains(QLatin1String("x-pindle-client")));
        QCOMPARE(headers.value(QLatin1String("content-type")).toString(), QStringLiteral("application/json"));
        QCOMPARE(sentBody(QStringLiteral("POST /auth/login")), (QJsonObject{{QStringLiteral("email"), kEmail}}));
    }

    // The session comes as "sid" (preferred) or Set-Cookie; an accepted code without a usable
    // session is a clear error, and a sid that would inject into the header is refused.
    void verifyLoginCode_data()
    {
        QTest::addColumn<QString>("mode"); // stand-in verify mode, "wrong" code, or "answer"
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("setCookie");
        QTest::addColumn<QString>("cookie"); // "*": any sid from the stand-in; "": none
        QTest::addColumn<QString>("errorText");
        const auto row = [](const char* name, const char* mode, int status, const char* body, const char* setCookie,
                            const char* cookie, const QString& error) {
            QTest::newRow(name) << mode << status << QByteArray(body) << setCookie << cookie << error;
        };
        const QString noSession = QString::fromLatin1(APIService::kNoSessionText);
        row("sid only", "sid", 0, "", "", "*", "");
        row("Set-Cookie only", "set_cookie", 0, "", "", "*", "");
        row("no cookie", "neither", 0, "", "", "", noSession);
        row("wrong code", "wrong", 0, "", "", "", QStringLiteral("That code isn't right."));
        row("ok with status 500", "answer", 500, R"({"ok":true,"sid":"abc123"})", "", "sid=abc123", "");
        row("sid wins over header", "answer", 200, R"({"ok":true,"sid":"fromBody"})", "sid=fromHeader; Path=/",
            "sid=fromBody", "");
        row("header attributes dropped", "answer", 200, R"({"ok":true,"sid":5})", "  sid=h1 ; Path=/; HttpOnly",
            "sid=h1", "");
        row("ok as number", "answer", 200, R"({"ok":1,"sid":"x"})", "", "", QStringLiteral("Unknown error"));
        row("sid with CR LF", "answer", 200, R"({"ok":true,"sid":"abc\r\nX-Admin: 1"})", "", "", noSession);
        row("sid with semicolon", "answer", 200, R"({"ok":true,"sid":"abc; admin=1"})", "", "", noSession);
        row("empty sid", "answer", 200, R"({"ok":true,"sid":""})", "", "", noSession);
    }
    void verifyLoginCode()
    {
        QFETCH(QString, mode);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, setCookie);
        QFETCH(QString, cookie);
        if (mode == QLatin1String("answer")) {
            prepare(QStringLiteral("/auth/verify"), mode, status, body,
                    setCookie.isEmpty() ? QJsonObject() : QJsonObject{{QStringLiteral("Set-Cookie"), setCookie}});
        } else if (mode != QLatin1String("wrong")) {
            m_standin->control(QStringLiteral("verify-mode"),
                               {{QStringLiteral("sid"), mode == QLatin1String("sid")},
                                {QStringLiteral("set_cookie"), mode == QLatin1String("set_cookie")}});
        }
        InMemoryCookieStore store;
        APIService service(base(), store);
        LogCapture log;
        ErrorLatch done;
        service.verifyLoginCode(kEmail, mode == QLatin1String("wrong") ? QStringLiteral("000000") : m_standin->code(),
                                nullptr, done.callback());
        QVERIFY(done.wait());
        service.waitForCookieWrites();
        const std::optional<ServiceError>& error = *done.value;
        if (cookie.isEmpty()) {
            QVERIFY(error.has_value());
            QCOMPARE(error->kind(), Kind::LoginFailed);
            QTEST(error->description(), "errorText");
            QCOMPARE(service.sessionCookie(), std::nullopt);
            QCOMPARE(store.saveCount(), 0);
        } else {
            QVERIFY2(!error.has_value(), qPrintable(describe(error)));
            const QString held = service.sessionCookie().value_or(QString());
            QVERIFY2(cookie == QLatin1String("*") ? held.startsWith(QLatin1String("sid=")) : held == cookie,
                     qPrintable(held));
            QCOMPARE(store.stored(), std::optional<QString>(held));
            QCOMPARE(store.loadCount(), 0); // the store is not read once a code check set the cookie
        }
        const QJsonObject headers = sentHeaders(QStringLiteral("POST /auth/verify"));
        QCOMPARE(headers.value(QLatin1String("x-pindle-client")).toString(), QStringLiteral("live"));
        QVERIFY(!headers.contains(QLatin1String("cookie")));
        // Only the sign-in lines are logged, and never the cookie.
        const QStringList lines = [] {
            QMutexLocker lock(&LogCapture::mutex);
            return LogCapture::lines;
        }();
        QVERIFY(!lines.isEmpty());
        for (const QString& line : lines) {
            QVERIFY2(line.startsWith(QLatin1String("[Pindle] login:")) && !line.contains(QLatin1String("sid=")),
                     qPrintable(line));
        }
    }

    // A session obtained through Set-Cookie is ours alone: after sign-out the network layer
    // must not replay it.
    void signedOutRequestsCarryNoCookie()
    {
        m_standin->control(QStringLiteral("verify-mode"),
                           {{QStringLiteral("sid"), false}, {QStringLiteral("set_cookie"), true}});
        InMemoryCookieStore store;
        APIService service(base(), store);
        ErrorLatch verified;
        service.verifyLoginCode(kEmail, m_standin->code(), nullptr, verified.callback());
        QVERIFY(verified.wait());
        JsonLatch before;
        LoggerAPI::request(service, kShoots, "POST", newShoot(), nullptr, before.callback());
        QVERIFY(before.wait());
        QVERIFY2(before.value->ok(), qPrintable(describe(*before.value)));

        service.forgetSessionCookie();
        service.waitForCookieWrites();
        QCOMPARE(store.stored(), std::nullopt);
        JsonLatch after;
        LoggerAPI::request(service, kShoots, "POST", newShoot(), nullptr, after.callback());
        QVERIFY(after.wait());
        QCOMPARE(after.value->error().kind(), Kind::Unauthorised);
        QVERIFY(!sentHeaders(QStringLiteral("POST ") + kShoots).contains(QLatin1String("cookie")));
    }

    // postJSON (the summary client: only 200 counts) and LoggerAPI::request (any 2xx, its body read
    // if it is an object; 401 is its own kind) against spoiled answers. Every exchange also ends
    // by its deadline on the service's clock, however steadily the answer trickles in; a 2xx body
    // that fails to decompress is a failed transfer, not an answer.
    void exchange_data()
    {
        QTest::addColumn<bool>("post"); // postJSON, else LoggerAPI::request
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QJsonObject>("headers");
        QTest::addColumn<int>("timeoutMs"); // postJSON's
        QTest::addColumn<int>("advanceMs"); // how far the service's clock moves once the request is sent
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("kind"); // -1: success
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, bool post, const char* setup, int status, const QByteArray& body,
                            int timeoutMs, int advanceMs, int kind, const char* text, bool gzip = false,
                            bool signedIn = true) {
            const QJsonObject headers = gzip ? QJsonObject{{"Content-Encoding", "gzip"}} : QJsonObject{};
            QTest::newRow(name) << post << setup << status << body << headers << timeoutMs << advanceMs << signedIn
                                << kind << text;
        };
        const int timeout = int(Kind::Timeout);
        row("200", true, "", 0, {}, 10000, 0, -1, "");
        row("201", true, "status", 201, {}, 10000, 0, int(Kind::LoginFailed), "Server returned status 201");
        row("silent past the timeout", true, "slow", 0, {}, 100, 0, timeout, "The service did not answer in time.");
        row("past the deadline", true, "slow", 0, {}, 10000, 10000, timeout, "");
        row("within the deadline", true, "slow", 0, {}, 10000, 9999, -1, "");
        row("too large", true, "answer", 200, "{\"summary\":\"" + QByteArray(APIService::kMaxBodyBytes, 'a') + "\"}",
            10000, 0, int(Kind::TooLarge), "");
        row("created", false, "", 0, {}, 0, 0, -1, "");
        row("201 not JSON", false, "answer", 201, "<html>", 0, 0, -1, "");
        row("not signed in", false, "", 0, {}, 0, 0, int(Kind::Unauthorised), "", false, false);
        row("300", false, "answer", 300, "{}", 0, 0, int(Kind::Status), "Server returned status 300");
        row("200 failing to decompress", false, "answer", 200, R"({"token":"t"})", 0, 0, int(Kind::Transport), "",
            true);
        row("404 failing to decompress", false, "answer", 404, R"({"token":"t"})", 0, 0, int(Kind::Status),
            "Server returned status 404", true);
        row("request past the deadline", false, "slow", 0, {}, 0, 25000, timeout, "");
        row("cut connection", false, "drop", 0, {}, 0, 0, int(Kind::Transport), "");
    }
    void exchange()
    {
        QFETCH(bool, post);
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QJsonObject, headers);
        QFETCH(int, timeoutMs);
        QFETCH(int, advanceMs);
        QFETCH(bool, signedIn);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const QString path = post ? kSummarise : kShoots;
        prepare(path, setup, status, body, headers);
        InMemoryCookieStore store(signedIn ? std::optional(m_standin->signIn(kEmail)) : std::nullopt);
        ManualClock clock;
        APIService service(base(), store, &clock);
        JsonLatch done;
        if (post)
            service.postJSON(path, {{QStringLiteral("transcript"), QStringLiteral("We roll on three.")}},
                             std::chrono::milliseconds(timeoutMs), nullptr, done.callback());
        else
            LoggerAPI::request(service, path, "POST", newShoot(), nullptr, done.callback());
        clock.advance(std::chrono::milliseconds(advanceMs));
        QVERIFY(done.wait());
        const ServiceResult<QJsonObject>& result = *done.value;
        QVERIFY2((result.ok() ? -1 : int(result.error().kind())) == kind, qPrintable(describe(result)));
        if (!text.isEmpty())
            QCOMPARE(result.error().description(), text);
        if (result.ok())
            QCOMPARE(result.value().contains(post ? "summary"_L1 : "token"_L1), setup != "answer"_L1);
        if (setup.isEmpty()) {
            const QJsonObject sent = sentHeaders(QStringLiteral("POST ") + path);
            QCOMPARE(sent.value("x-pindle-client"_L1).toString(), QStringLiteral("pindle-logger"));
            QCOMPARE(sent.value("cookie"_L1).toString(), store.stored().value_or(QString()));
        }
    }

    // The summary end to end; any failure is an empty summary, and a blank one sends nothing.
    void summarise_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("summary");
        QTest::newRow("trimmed") << "answer" << QByteArray(R"({"summary":" \tWide.\t "})") << "Wide.";
        QTest::newRow("summary not text") << "answer" << QByteArray(R"({"summary":["x"]})") << "";
        QTest::newRow("failure") << "status" << QByteArray() << "";
    }
    void summarise()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, answer);
        prepare(kSummarise, setup, setup == QLatin1String("status") ? 500 : 200, answer);
        InMemoryCookieStore store(m_standin->signIn(kEmail));
        APIService service(base(), store);
        Latch<QString> done;
        service.summarise(QStringLiteral("  Rolling. "), QStringLiteral("Scene 4"), QString(), {},
                          QStringLiteral("TOKEN-1"), nullptr, done.callback());
        QVERIFY(done.wait());
        QTEST(*done.value, "summary");
        const QJsonObject sent = sentBody(QStringLiteral("POST ") + kSummarise);
        QCOMPARE(sent.value(QLatin1String("transcript")).toString(), QStringLiteral("Rolling."));
        QCOMPARE(sent.value(QLatin1String("token")).toString(), QStringLiteral("TOKEN-1"));

        const int count = received(QStringLiteral("POST ") + kSummarise).value(QLatin1String("count")).toInt();
        Latch<QString> blank;
        service.summarise(QStringLiteral(" \t "), QString(), {}, {}, std::nullopt, nullptr, blank.callback());
        QCOMPARE(blank.calls, 0);
        QVERIFY(blank.wait());
        QCOMPARE(*blank.value, QString());
        QCOMPARE(received(QStringLiteral("POST ") + kSummarise).value(QLatin1String("count")).toInt(), count);
    }

    void pathSegment_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("segment");
        QTest::newRow("unreserved kept, slash") << QStringLiteral("AZaz09-_~/") << QStringLiteral("AZaz09-_~%2F");
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("%2E%2E");
        QTest::newRow("encoded slash stays text") << QStringLiteral("%2F") << QStringLiteral("%252F");
        QTest::newRow("unicode, query, controls")
            << QStringLiteral("caf\u00e9 \U0001F3AC?#\\\r") << QStringLiteral("caf%C3%A9%20%F0%9F%8E%AC%3F%23%5C%0D");
    }
    void pathSegment()
    {
        QFETCH(QString, text);
        QTEST(ServiceUrl::pathSegment(text), "segment");
    }

    void resolve_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("socketUrl"); // empty: refused
        QTest::addColumn<int>("kind");
        const auto row = [](const char* name, const char* base, const char* path, const char* socketUrl, Kind kind) {
            QTest::newRow(name) << base << path << socketUrl << int(kind);
        };
        row("loopback range", "http://127.9.8.7", "/ws", "ws://127.9.8.7/ws", {});
        row("localhost", "http://LocalHost:1/", "/ws", "ws://localhost:1/ws", {});
        row("loopback v6", "http://[::1]:9", "/ws", "ws://[::1]:9/ws", {});
        row("https anywhere, query kept", " https://pindle.example/ ", "/s?q=a%20b", "wss://pindle.example/s?q=a%20b",
            {});
        row("http v6 elsewhere", "http://[2001:db8::1]", "/ws", "", Kind::InsecureUrl);
        row("ws scheme", "ws://127.0.0.1", "/ws", "", Kind::InsecureUrl);
        row("base with path", "https://pindle.example/api", "/ws", "", Kind::InsecureUrl);
        row("encoded dot dot", "http://127.0.0.1", "/a/%2e%2E/b", "", Kind::BadResponse);
        row("empty segment", "http://127.0.0.1", "/a//b", "", Kind::BadResponse);
        row("fragment", "http://127.0.0.1", "/a#b", "", Kind::BadResponse);
    }
    void resolve()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QFETCH(QString, socketUrl);
        QFETCH(int, kind);
        const ServiceResult<QUrl> http = ServiceUrl::resolve(base, path);
        const ServiceResult<QUrl> socket = ServiceUrl::resolveWebSocket(base, path);
        if (socketUrl.isEmpty()) {
            QVERIFY(!http.ok() && !socket.ok());
            QCOMPARE(int(http.error().kind()), kind);
            QCOMPARE(int(socket.error().kind()), kind);
            return;
        }
        QVERIFY2(http.ok() && socket.ok(), qPrintable(describe(http)));
        QCOMPARE(socket.value().toString(QUrl::FullyEncoded), socketUrl);
        const QString httpUrl = socketUrl.startsWith(QLatin1String("wss")) ? QStringLiteral("https") + socketUrl.mid(3)
                                                                           : QStringLiteral("http") + socketUrl.mid(2);
        QCOMPARE(http.value().toString(QUrl::FullyEncoded), httpUrl);
    }
};

PINDLE_TEST(APIServiceTest)
#include "test_api_service.moc"
