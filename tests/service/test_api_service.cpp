#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAPI.h"
#include "service/ServiceUrl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>

#include <memory>

namespace {

// Collects one asynchronous completion on the event loop.
template <typename T> struct Latch {
    std::optional<T> value;
    int calls = 0;

    auto callback()
    {
        return [this](T result) {
            ++calls;
            value = std::move(result);
        };
    }
    [[nodiscard]] bool wait(int timeoutMs = 20000)
    {
        return QTest::qWaitFor([this] { return value.has_value(); }, timeoutMs);
    }
};

using ErrorLatch = Latch<std::optional<ServiceError>>;
using JsonLatch = Latch<ServiceResult<QJsonObject>>;

const QString kEmail = QStringLiteral("ada@example.com");

// What creating a shoot asks for.
QJsonObject newShoot()
{
    return {{QStringLiteral("title"), QStringLiteral("Day 1")},
            {QStringLiteral("tc_format"), QStringLiteral("25 fps")},
            {QStringLiteral("audio_epoch_ms"), 1700000000000.0}};
}

QString describe(const std::optional<ServiceError>& error)
{
    return error ? QStringLiteral("%1: %2").arg(static_cast<int>(error->kind())).arg(error->description())
                 : QStringLiteral("success");
}

// Every message the process logs while a test runs, from any thread.
struct LogCapture {
    static inline QMutex mutex;
    static inline QStringList lines;
    static inline QtMessageHandler previous = nullptr;

    static void handler(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        QMutexLocker lock(&mutex);
        lines.append(message);
    }
    LogCapture()
    {
        QMutexLocker lock(&mutex);
        lines.clear();
        previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
    static QStringList taken()
    {
        QMutexLocker lock(&mutex);
        return lines;
    }
};

} // namespace

// The service client against a real stand-in: sign-in, the session cookie on the wire, JSON
// requests, summaries, and the URLs requests may go to.
class APIServiceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;

    QString base() const { return m_standin->baseUrl().toString(); }

    // Makes the stand-in answer the next request to `path` with exactly this status, body and
    // headers.
    void answerNext(const QString& path, int status, const QByteArray& body, const QJsonObject& headers = {})
    {
        const QJsonObject answer =
            m_standin->control(QStringLiteral("fault"), {{QStringLiteral("path"), path},
                                                         {QStringLiteral("kind"), QStringLiteral("answer")},
                                                         {QStringLiteral("status"), status},
                                                         {QStringLiteral("body"), QString::fromUtf8(body)},
                                                         {QStringLiteral("headers"), headers}});
        QVERIFY2(answer.value(QLatin1String("ok")).toBool(),
                 qPrintable(QStringLiteral("the stand-in cannot serve a set answer: ") +
                            QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact))));
    }

    void fault(const QString& path, const QString& kind, int status = 500, int delayMs = -1, int count = 1)
    {
        QJsonObject body{
            {QStringLiteral("path"), path}, {QStringLiteral("kind"), kind}, {QStringLiteral("count"), count}};
        if (kind == QLatin1String("status"))
            body.insert(QStringLiteral("status"), status);
        if (delayMs >= 0)
            body.insert(QStringLiteral("delay_ms"), delayMs);
        const QJsonObject answer = m_standin->control(QStringLiteral("fault"), body);
        QVERIFY2(answer.value(QLatin1String("ok")).toBool(),
                 qPrintable(QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact))));
    }

    // The last request the stand-in received as "METHOD /path".
    QJsonObject received(const QString& key)
    {
        return m_standin->state().value(QLatin1String("requests")).toObject().value(key).toObject();
    }

    // Sets up the stand-in's answer for a data row: "" none, "status"/"nonjson"/"empty"/"drop"
    // faults, or "answer" with the row's status and body.
    void prepare(const QString& path, const QString& setup, int status, const QByteArray& body,
                 const QJsonObject& headers = {})
    {
        if (setup == QLatin1String("answer"))
            answerNext(path, status, body, headers);
        else if (setup == QLatin1String("drop"))
            fault(path, setup, status, -1, -1); // the network layer resends a cut request
        else if (!setup.isEmpty())
            fault(path, setup, status);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
    }

    void init()
    {
        m_standin->control(QStringLiteral("clear"));
        m_standin->control(QStringLiteral("verify-mode"),
                           {{QStringLiteral("sid"), true}, {QStringLiteral("set_cookie"), true}});
    }

    void cleanupTestCase() { m_standin.reset(); }

    void sendLoginCode_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");

        const int none = -1;
        const int login = static_cast<int>(ServiceError::Kind::LoginFailed);
        const int json = static_cast<int>(ServiceError::Kind::Json);
        const int transport = static_cast<int>(ServiceError::Kind::Transport);
        QTest::newRow("ok") << "" << 0 << QByteArray() << true << none << "";
        QTest::newRow("message, 200") << "answer" << 200 << QByteArray(R"({"message":"sent"})") << true << none << "";
        QTest::newRow("message, 202, no ok")
            << "answer" << 202 << QByteArray(R"({"message":null})") << true << none << "";
        QTest::newRow("message, 429") << "answer" << 429
                                      << QByteArray(R"({"message":"Too many codes, wait a minute."})") << false << login
                                      << "Too many codes, wait a minute.";
        QTest::newRow("message not text, 500")
            << "answer" << 500 << QByteArray(R"({"message":7})") << false << login << "Failed to send code";
        QTest::newRow("error and message, 400")
            << "answer" << 400 << QByteArray(R"({"error":"Enter a valid email address.","message":"x"})") << false
            << login << "Enter a valid email address.";
        QTest::newRow("service error") << "status" << 503 << QByteArray() << false << login << "injected fault";
        QTest::newRow("ok as text") << "answer" << 200 << QByteArray(R"({"ok":"true"})") << false << login
                                    << "Failed to send code";
        QTest::newRow("ok false, blank error")
            << "answer" << 200 << QByteArray(R"({"ok":false,"error":"  "})") << false << login << "Failed to send code";
        QTest::newRow("array") << "answer" << 200 << QByteArray("[true]") << false << login << "Failed to send code";
        QTest::newRow("not JSON") << "nonjson" << 200 << QByteArray() << false << json << "";
        QTest::newRow("empty body") << "empty" << 200 << QByteArray() << false << json << "";
        QTest::newRow("cut connection") << "drop" << 0 << QByteArray() << false << transport << "";
    }

    void sendLoginCode()
    {
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, sent);
        QFETCH(int, kind);
        QFETCH(QString, text);
        prepare(QStringLiteral("/auth/login"), setup, status, body);
        if (QTest::currentTestFailed())
            return;

        InMemoryCookieStore store(QStringLiteral("sid=already"));
        APIService service(base(), store);
        ErrorLatch done;
        service.sendLoginCode(kEmail, nullptr, done.callback());
        QCOMPARE(done.calls, 0); // never before the call returns
        QVERIFY(done.wait());
        QCOMPARE(done.calls, 1);
        const std::optional<ServiceError>& error = *done.value;
        QVERIFY2(error.has_value() != sent, qPrintable(describe(error)));
        if (error) {
            QCOMPARE(static_cast<int>(error->kind()), kind);
            if (!text.isEmpty())
                QCOMPARE(error->description(), text);
        }

        // The code request carries no session and no client header.
        const QJsonObject request = received(QStringLiteral("POST /auth/login"));
        const QJsonObject headers = request.value(QLatin1String("headers")).toObject();
        QVERIFY(!headers.contains(QLatin1String("cookie")));
        QVERIFY(!headers.contains(QLatin1String("x-pindle-client")));
        QCOMPARE(headers.value(QLatin1String("content-type")).toString(), QStringLiteral("application/json"));
        const QJsonObject sentBody =
            QJsonDocument::fromJson(request.value(QLatin1String("body")).toString().toUtf8()).object();
        QCOMPARE(sentBody, (QJsonObject{{QStringLiteral("email"), kEmail}}));
    }

    void verifyLoginCode_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("setCookie");
        QTest::addColumn<QString>("code");
        // The cookie expected: "*" any sid from the stand-in, "" none.
        QTest::addColumn<QString>("cookie");
        QTest::addColumn<QString>("errorText");

        const QString noSession = QString::fromLatin1(APIService::kNoSessionText);
        QTest::newRow("sid and Set-Cookie") << "both" << 0 << QByteArray() << ""
                                            << "424242"
                                            << "*"
                                            << "";
        QTest::newRow("sid only") << "sid" << 0 << QByteArray() << ""
                                  << "424242"
                                  << "*"
                                  << "";
        QTest::newRow("Set-Cookie only") << "set_cookie" << 0 << QByteArray() << ""
                                         << "424242"
                                         << "*"
                                         << "";
        QTest::newRow("neither") << "neither" << 0 << QByteArray() << ""
                                 << "424242"
                                 << "" << noSession;
        QTest::newRow("wrong code") << "both" << 0 << QByteArray() << ""
                                    << "000000"
                                    << ""
                                    << "That code isn't right.";
        QTest::newRow("ok with status 500") << "answer" << 500 << QByteArray(R"({"ok":true,"sid":"abc123"})") << ""
                                            << "1"
                                            << "sid=abc123"
                                            << "";
        QTest::newRow("sid wins over header")
            << "answer" << 200 << QByteArray(R"({"ok":true,"sid":"fromBody"})") << "sid=fromHeader; Path=/"
            << "1"
            << "sid=fromBody"
            << "";
        QTest::newRow("header attributes dropped")
            << "answer" << 200 << QByteArray(R"({"ok":true,"sid":5})") << "  sid=h1 ; Path=/; HttpOnly"
            << "1"
            << "sid=h1"
            << "";
        QTest::newRow("not ok, status 200") << "answer" << 200 << QByteArray(R"({"ok":false})") << "sid=x"
                                            << "1"
                                            << ""
                                            << "Unknown error";
        QTest::newRow("ok as number") << "answer" << 200 << QByteArray(R"({"ok":1,"sid":"x"})") << ""
                                      << "1"
                                      << ""
                                      << "Unknown error";
        QTest::newRow("sid with CR LF") << "answer" << 200 << QByteArray(R"({"ok":true,"sid":"abc\r\nX-Admin: 1"})")
                                        << ""
                                        << "1"
                                        << "" << noSession;
        QTest::newRow("sid with semicolon")
            << "answer" << 200 << QByteArray(R"({"ok":true,"sid":"abc; admin=1"})") << ""
            << "1"
            << "" << noSession;
        QTest::newRow("sid with NUL") << "answer" << 200 << QByteArray(R"({"ok":true,"sid":"abc\u0000def"})") << ""
                                      << "1"
                                      << "" << noSession;
        QTest::newRow("empty sid") << "answer" << 200 << QByteArray(R"({"ok":true,"sid":""})") << ""
                                   << "1"
                                   << "" << noSession;
    }

    void verifyLoginCode()
    {
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, setCookie);
        QFETCH(QString, code);
        QFETCH(QString, cookie);
        QFETCH(QString, errorText);

        if (setup == QLatin1String("answer")) {
            QJsonObject headers;
            if (!setCookie.isEmpty())
                headers.insert(QStringLiteral("Set-Cookie"), setCookie);
            prepare(QStringLiteral("/auth/verify"), setup, status, body, headers);
            if (QTest::currentTestFailed())
                return;
        } else {
            const bool sid = setup == QLatin1String("both") || setup == QLatin1String("sid");
            const bool header = setup == QLatin1String("both") || setup == QLatin1String("set_cookie");
            m_standin->control(QStringLiteral("verify-mode"),
                               {{QStringLiteral("sid"), sid}, {QStringLiteral("set_cookie"), header}});
        }

        InMemoryCookieStore store;
        APIService service(base(), store);
        LogCapture log;
        ErrorLatch done;
        service.verifyLoginCode(kEmail, code, nullptr, done.callback());
        QVERIFY(done.wait());
        service.waitForCookieWrites();
        const std::optional<ServiceError>& error = *done.value;

        if (cookie.isEmpty()) {
            QVERIFY2(error.has_value(), "the code check should have failed");
            QCOMPARE(error->kind(), ServiceError::Kind::LoginFailed);
            QCOMPARE(error->description(), errorText);
            QCOMPARE(service.sessionCookie(), std::nullopt);
            QCOMPARE(store.saveCount(), 0);
        } else {
            QVERIFY2(!error.has_value(), qPrintable(describe(error)));
            const std::optional<QString> held = service.sessionCookie();
            QVERIFY(held.has_value());
            if (cookie == QLatin1String("*"))
                QVERIFY2(held->startsWith(QLatin1String("sid=")) && APIService::isUsableCookie(*held),
                         qPrintable(*held));
            else
                QCOMPARE(*held, cookie);
            QCOMPARE(store.stored(), held);
            // The store is not read once a code check has set the cookie.
            QCOMPARE(store.loadCount(), 0);
        }

        // The check says which client it is and carries no cookie.
        const QJsonObject headers =
            received(QStringLiteral("POST /auth/verify")).value(QLatin1String("headers")).toObject();
        QCOMPARE(headers.value(QLatin1String("x-pindle-client")).toString(), QStringLiteral("live"));
        QVERIFY(!headers.contains(QLatin1String("cookie")));

        // Only the sign-in lines are logged, and never the cookie.
        const QStringList lines = LogCapture::taken();
        QVERIFY(!lines.isEmpty());
        for (const QString& line : lines) {
            QVERIFY2(line.startsWith(QLatin1String("[Pindle] login:")), qPrintable(line));
            QVERIFY2(!line.contains(QLatin1String("sid=")), qPrintable(line));
            if (const auto held = service.sessionCookie())
                QVERIFY2(!line.contains(held->mid(4)), qPrintable(line));
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
        QVERIFY2(!verified.value->has_value(), qPrintable(describe(*verified.value)));

        JsonLatch before;
        LoggerAPI::request(service, QStringLiteral("/api/logger/shoots"), "POST", newShoot(), nullptr,
                           before.callback());
        QVERIFY(before.wait());
        QVERIFY2(before.value->ok(), qPrintable(before.value->ok() ? QString() : before.value->error().description()));

        service.forgetSessionCookie();
        service.waitForCookieWrites();
        QCOMPARE(store.stored(), std::nullopt);
        JsonLatch after;
        LoggerAPI::request(service, QStringLiteral("/api/logger/shoots"), "POST", newShoot(), nullptr,
                           after.callback());
        QVERIFY(after.wait());
        QVERIFY(!after.value->ok());
        QCOMPARE(after.value->error().kind(), ServiceError::Kind::Unauthorised);
        const QJsonObject headers =
            received(QStringLiteral("POST /api/logger/shoots")).value(QLatin1String("headers")).toObject();
        QVERIFY(!headers.contains(QLatin1String("cookie")));
    }

    void postJSON_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("kind"); // -1: success
        QTest::addColumn<QString>("text");

        const int login = static_cast<int>(ServiceError::Kind::LoginFailed);
        QTest::newRow("200") << "" << 0 << QByteArray() << 10000 << -1 << "";
        QTest::newRow("201") << "status" << 201 << QByteArray() << 10000 << login << "Server returned status 201";
        QTest::newRow("204") << "answer" << 204 << QByteArray() << 10000 << login << "Server returned status 204";
        QTest::newRow("302") << "answer" << 302 << QByteArray("{}") << 10000 << login << "Server returned status 302";
        QTest::newRow("500") << "status" << 500 << QByteArray() << 10000 << login << "Server returned status 500";
        QTest::newRow("not JSON") << "nonjson" << 200 << QByteArray() << 10000
                                  << static_cast<int>(ServiceError::Kind::Json) << "";
        QTest::newRow("array") << "answer" << 200 << QByteArray("[1,2]") << 10000 << -1 << "";
        QTest::newRow("slow") << "slow" << 0 << QByteArray() << 400 << static_cast<int>(ServiceError::Kind::Timeout)
                              << "The service did not answer in time.";
        QTest::newRow("too large") << "answer" << 200
                                   << "{\"summary\":\"" + QByteArray(APIService::kMaxBodyBytes, 'a') + "\"}" << 10000
                                   << static_cast<int>(ServiceError::Kind::TooLarge) << "";
    }

    void postJSON()
    {
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, timeoutMs);
        QFETCH(int, kind);
        QFETCH(QString, text);
        const QString path = QStringLiteral("/api/shoot/summarise");
        prepare(path, setup, status, body);
        if (QTest::currentTestFailed())
            return;

        InMemoryCookieStore store(m_standin->signIn(kEmail));
        APIService service(base(), store);
        JsonLatch done;
        service.postJSON(path, {{QStringLiteral("transcript"), QStringLiteral("We roll on three.")}},
                         std::chrono::milliseconds(timeoutMs), nullptr, done.callback());
        QVERIFY(done.wait());
        const ServiceResult<QJsonObject>& result = *done.value;
        if (kind < 0) {
            QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
            if (setup.isEmpty())
                QVERIFY(result.value().value(QLatin1String("summary")).isString());
            else
                QVERIFY(result.value().isEmpty());
        } else {
            QVERIFY(!result.ok());
            QCOMPARE(static_cast<int>(result.error().kind()), kind);
            if (!text.isEmpty())
                QCOMPARE(result.error().description(), text);
        }
        if (setup.isEmpty()) {
            const QJsonObject headers =
                received(QStringLiteral("POST ") + path).value(QLatin1String("headers")).toObject();
            QCOMPARE(headers.value(QLatin1String("x-pindle-client")).toString(), QStringLiteral("pindle-logger"));
            QCOMPARE(headers.value(QLatin1String("cookie")).toString(), *store.stored());
        }
    }

    // Plain http to anything but this machine would put the session on the wire in clear text.
    void insecureBaseIsRefused_data()
    {
        QTest::addColumn<QString>("baseUrl");
        QTest::newRow("http host") << "http://example.com";
        QTest::newRow("http private address") << "http://10.0.0.1:8787";
        QTest::newRow("loopback look-alike") << "http://127.0.0.1.example.com";
        QTest::newRow("ftp") << "ftp://127.0.0.1";
        QTest::newRow("user info") << "http://user@127.0.0.1:8787";
        QTest::newRow("not a URL") << "::::";
    }

    void insecureBaseIsRefused()
    {
        QFETCH(QString, baseUrl);
        InMemoryCookieStore store(QStringLiteral("sid=secret"));
        APIService service(baseUrl, store);
        JsonLatch posted;
        service.postJSON(QStringLiteral("/api/shoot/summarise"), {}, std::chrono::seconds(5), nullptr,
                         posted.callback());
        ErrorLatch login;
        service.sendLoginCode(kEmail, nullptr, login.callback());
        JsonLatch requested;
        LoggerAPI::request(service, QStringLiteral("/api/logger/shoots"), "POST", std::nullopt, nullptr,
                           requested.callback());
        // Refused before any connection is tried, so the answers come at once.
        QVERIFY(posted.wait(1000) && login.wait(1000) && requested.wait(1000));
        QCOMPARE(posted.value->error().kind(), ServiceError::Kind::InsecureUrl);
        QCOMPARE((*login.value)->kind(), ServiceError::Kind::InsecureUrl);
        QCOMPARE(requested.value->error().kind(), ServiceError::Kind::InsecureUrl);
        QVERIFY(!posted.value->error().description().isEmpty());
    }

    void summaryBody_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("leadIn");
        QTest::addColumn<QStringList>("speakers");
        QTest::addColumn<QJsonObject>("expected"); // empty: nothing is sent

        const QString eAcute = QStringLiteral("e\u0301");  // two code units, one character
        const QString film = QStringLiteral("\U0001F3AC"); // a surrogate pair
        QStringList twelve;
        for (int i = 1; i <= 12; ++i)
            twelve << QStringLiteral("Speaker %1").arg(i);

        QTest::newRow("only spaces and tabs") << " \t  \t"
                                              << "ctx"
                                              << "lead" << twelve << QJsonObject{};
        QTest::newRow("trim keeps line breaks")
            << "\t \nline\n \u00a0"
            << ""
            << "" << QStringList{} << QJsonObject{{"transcript", "\nline\n"}, {"context", ""}};
        QTest::newRow("5000 cut to 2000")
            << QString(5000, QLatin1Char('a')) << ""
            << "" << QStringList{} << QJsonObject{{"transcript", QString(2000, QLatin1Char('a'))}, {"context", ""}};
        QTest::newRow("characters, not code units")
            << eAcute.repeated(2100) << film.repeated(600) << film.repeated(1600) << QStringList{}
            << QJsonObject{{"transcript", eAcute.repeated(2000)},
                           {"context", film.repeated(500)},
                           {"leadIn", film.repeated(1500)}};
        QTest::newRow("lead-in keeps its end")
            << "x"
            << "" << QString(1000, QLatin1Char('a')) + QString(1500, QLatin1Char('b')) << QStringList{}
            << QJsonObject{{"transcript", "x"}, {"context", ""}, {"leadIn", QString(1500, QLatin1Char('b'))}};
        QTest::newRow("twelve speakers cut to eight")
            << "x"
            << "c"
            << "" << twelve
            << QJsonObject{
                   {"transcript", "x"}, {"context", "c"}, {"speakers", QJsonArray::fromStringList(twelve.mid(0, 8))}};
    }

    void summaryBody()
    {
        QFETCH(QString, transcript);
        QFETCH(QString, context);
        QFETCH(QString, leadIn);
        QFETCH(QStringList, speakers);
        QFETCH(QJsonObject, expected);
        const std::optional<QJsonObject> body =
            APIService::summaryBody(transcript, context, leadIn, speakers, std::nullopt);
        if (expected.isEmpty()) {
            QCOMPARE(body, std::nullopt);
            return;
        }
        QVERIFY(body.has_value());
        QCOMPARE(*body, expected);
    }

    // The summary request end to end: what reaches the service, and what comes back.
    void summarise_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("summary"); // "*": the stand-in's own summary

        QTest::newRow("stand-in summary") << "" << QByteArray() << "*";
        QTest::newRow("trimmed") << "answer" << QByteArray(R"({"summary":" \tWide on the pier.\t ","sentiment":1})")
                                 << "Wide on the pier.";
        QTest::newRow("summary not text") << "answer" << QByteArray(R"({"summary":["x"]})") << "";
        QTest::newRow("failure") << "status" << QByteArray() << "";
    }

    void summarise()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, answer);
        QFETCH(QString, summary);
        prepare(QStringLiteral("/api/shoot/summarise"), setup, setup == QLatin1String("status") ? 500 : 200, answer);
        if (QTest::currentTestFailed())
            return;

        InMemoryCookieStore store(m_standin->signIn(kEmail));
        APIService service(base(), store);
        Latch<QString> done;
        QStringList speakers;
        for (int i = 0; i < 10; ++i)
            speakers << QStringLiteral("Cast %1").arg(i);
        service.summarise(QStringLiteral("  Rolling, and action. ") + QString(3000, QLatin1Char('z')),
                          QStringLiteral("Scene 4"), QStringLiteral("Quiet please."), speakers,
                          QStringLiteral("TOKEN-1"), nullptr, done.callback());
        QVERIFY(done.wait());
        if (summary == QLatin1String("*")) {
            QVERIFY(!done.value->isEmpty());
            QCOMPARE(done.value->trimmed(), *done.value);
        } else {
            QCOMPARE(*done.value, summary);
        }

        const QJsonObject request = received(QStringLiteral("POST /api/shoot/summarise"));
        const QJsonObject sent =
            QJsonDocument::fromJson(request.value(QLatin1String("body")).toString().toUtf8()).object();
        const QString transcript = sent.value(QLatin1String("transcript")).toString();
        QCOMPARE(transcript.size(), 2000);
        QVERIFY(transcript.startsWith(QLatin1String("Rolling, and action. z")));
        QCOMPARE(sent.value(QLatin1String("speakers")).toArray().size(), 8);
        QCOMPARE(sent.value(QLatin1String("token")).toString(), QStringLiteral("TOKEN-1"));
        QCOMPARE(sent.value(QLatin1String("leadIn")).toString(), QStringLiteral("Quiet please."));
    }

    void blankSummarySendsNothing()
    {
        InMemoryCookieStore store(m_standin->signIn(kEmail));
        APIService service(base(), store);
        const int before = received(QStringLiteral("POST /api/shoot/summarise")).value(QLatin1String("count")).toInt();
        Latch<QString> done;
        service.summarise(QStringLiteral(" \t "), QStringLiteral("ctx"), {}, {}, std::nullopt, nullptr,
                          done.callback());
        QCOMPARE(done.calls, 0);
        QVERIFY(done.wait());
        QCOMPARE(*done.value, QString());
        QCOMPARE(received(QStringLiteral("POST /api/shoot/summarise")).value(QLatin1String("count")).toInt(), before);
    }

    // A completion whose context is gone is dropped, never run on a dead object.
    void completionSkippedWhenContextDies()
    {
        fault(QStringLiteral("/api/shoot/summarise"), QStringLiteral("slow"), 500, 300);
        InMemoryCookieStore store(m_standin->signIn(kEmail));
        APIService service(base(), store);
        auto context = std::make_unique<QObject>();
        JsonLatch dropped;
        service.postJSON(QStringLiteral("/api/shoot/summarise"), {{QStringLiteral("transcript"), QStringLiteral("x")}},
                         std::chrono::seconds(10), context.get(), dropped.callback());
        JsonLatch kept;
        service.postJSON(QStringLiteral("/api/shoot/summarise"), {{QStringLiteral("transcript"), QStringLiteral("y")}},
                         std::chrono::seconds(10), nullptr, kept.callback());
        context.reset();
        QVERIFY(kept.wait());
        QTest::qWait(500);
        QCOMPARE(dropped.calls, 0);
    }

    void loggerRequest_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("kind"); // -1: success
        QTest::addColumn<int>("errorStatus");
        QTest::addColumn<bool>("emptyResult");

        const int statusKind = static_cast<int>(ServiceError::Kind::Status);
        QTest::newRow("created") << "" << 0 << QByteArray() << true << -1 << 0 << false;
        QTest::newRow("204 empty") << "answer" << 204 << QByteArray() << true << -1 << 0 << true;
        QTest::newRow("201 not JSON") << "answer" << 201 << QByteArray("<html>") << true << -1 << 0 << true;
        QTest::newRow("200 empty") << "empty" << 200 << QByteArray() << true << -1 << 0 << true;
        QTest::newRow("200 array") << "answer" << 200 << QByteArray("[{}]") << true << -1 << 0 << true;
        QTest::newRow("not signed in") << "" << 0 << QByteArray() << false
                                       << static_cast<int>(ServiceError::Kind::Unauthorised) << 401 << false;
        QTest::newRow("401 injected") << "status" << 401 << QByteArray() << true
                                      << static_cast<int>(ServiceError::Kind::Unauthorised) << 401 << false;
        QTest::newRow("500") << "status" << 500 << QByteArray() << true << statusKind << 500 << false;
        QTest::newRow("404") << "status" << 404 << QByteArray() << true << statusKind << 404 << false;
        QTest::newRow("300") << "answer" << 300 << QByteArray("{}") << true << statusKind << 300 << false;
        QTest::newRow("cut connection") << "drop" << 0 << QByteArray() << true
                                        << static_cast<int>(ServiceError::Kind::Transport) << 0 << false;
    }

    void loggerRequest()
    {
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, signedIn);
        QFETCH(int, kind);
        QFETCH(int, errorStatus);
        QFETCH(bool, emptyResult);
        const QString path = QStringLiteral("/api/logger/shoots");
        prepare(path, setup, status, body);
        if (QTest::currentTestFailed())
            return;

        InMemoryCookieStore store;
        if (signedIn)
            QVERIFY(store.save(m_standin->signIn(kEmail)));
        APIService service(base(), store);
        JsonLatch done;
        LoggerAPI::request(service, path, "POST", newShoot(), nullptr, done.callback());
        QVERIFY(done.wait());
        const ServiceResult<QJsonObject>& result = *done.value;
        if (kind < 0) {
            QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
            QCOMPARE(result.value().isEmpty(), emptyResult);
            if (!emptyResult)
                QVERIFY(result.value().value(QLatin1String("token")).isString());
        } else {
            QVERIFY(!result.ok());
            QCOMPARE(static_cast<int>(result.error().kind()), kind);
            QCOMPARE(result.error().httpStatus(), errorStatus);
        }
    }

    // Without a body nothing claims to be JSON; the session and client headers still go.
    void loggerRequestWithoutBody()
    {
        InMemoryCookieStore store(m_standin->signIn(kEmail));
        APIService service(base(), store);
        const QString path =
            QStringLiteral("/api/logger/tc-request/") + ServiceUrl::pathSegment(QStringLiteral("no such"));
        JsonLatch done;
        LoggerAPI::request(service, path, "GET", std::nullopt, nullptr, done.callback());
        QVERIFY(done.wait());
        const QJsonObject headers =
            received(QStringLiteral("GET /api/logger/tc-request/no such")).value(QLatin1String("headers")).toObject();
        QVERIFY2(!headers.isEmpty(), "the stand-in did not see the encoded id as one segment");
        QVERIFY(!headers.contains(QLatin1String("content-type")));
        QCOMPARE(headers.value(QLatin1String("x-pindle-client")).toString(), QStringLiteral("pindle-logger"));
        QCOMPARE(headers.value(QLatin1String("cookie")).toString(), *store.stored());
    }

    void loggerRequestRefusedLocally_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("method");
        QTest::newRow("climbing id")
            << QStringLiteral("/api/logger/shoots/%1/sync").arg(ServiceUrl::pathSegment(QStringLiteral("..")))
            << QByteArray("POST");
        QTest::newRow("empty id")
            << QStringLiteral("/api/logger/shoots/%1/sync").arg(ServiceUrl::pathSegment(QString()))
            << QByteArray("POST");
        QTest::newRow("no leading slash") << QStringLiteral("api/logger/shoots") << QByteArray("POST");
        QTest::newRow("host change") << QStringLiteral("@example.com/x") << QByteArray("POST");
        QTest::newRow("method with space") << QStringLiteral("/api/logger/shoots") << QByteArray("POST /x");
        QTest::newRow("empty method") << QStringLiteral("/api/logger/shoots") << QByteArray();
    }

    void loggerRequestRefusedLocally()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, method);
        InMemoryCookieStore store(QStringLiteral("sid=x"));
        APIService service(base(), store);
        JsonLatch done;
        LoggerAPI::request(service, path, method, std::nullopt, nullptr, done.callback());
        QVERIFY(done.wait(1000));
        QVERIFY(!done.value->ok());
        QCOMPARE(done.value->error().kind(), ServiceError::Kind::BadResponse);
    }

    void pathSegment_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("segment");
        QTest::newRow("plain") << "AZaz09-_~"
                               << "AZaz09-_~";
        QTest::newRow("slash") << "a/b"
                               << "a%2Fb";
        QTest::newRow("dot dot") << ".."
                                 << "%2E%2E";
        QTest::newRow("encoded slash stays text") << "%2F"
                                                  << "%252F";
        QTest::newRow("unicode") << QStringLiteral("caf\u00e9 \U0001F3AC") << "caf%C3%A9%20%F0%9F%8E%AC";
        QTest::newRow("query and fragment") << "a?b#c&d"
                                            << "a%3Fb%23c%26d";
        QTest::newRow("backslash and controls") << QStringLiteral("a\\b\r\n") << "a%5Cb%0D%0A";
        QTest::newRow("empty") << ""
                               << "";
    }

    void pathSegment()
    {
        QFETCH(QString, text);
        QFETCH(QString, segment);
        QCOMPARE(ServiceUrl::pathSegment(text), segment);
    }

    void resolve_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("url"); // empty: refused
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("socketUrl");

        const int insecure = static_cast<int>(ServiceError::Kind::InsecureUrl);
        const int bad = static_cast<int>(ServiceError::Kind::BadResponse);
        QTest::newRow("loopback v4") << "http://127.0.0.1:8787"
                                     << "/auth/login"
                                     << "http://127.0.0.1:8787/auth/login" << 0 << "ws://127.0.0.1:8787/auth/login";
        QTest::newRow("loopback range") << "http://127.9.8.7"
                                        << "/ws"
                                        << "http://127.9.8.7/ws" << 0 << "ws://127.9.8.7/ws";
        QTest::newRow("localhost") << "http://LocalHost:1/"
                                   << "/ws"
                                   << "http://localhost:1/ws" << 0 << "ws://localhost:1/ws";
        QTest::newRow("loopback v6") << "http://[::1]:9"
                                     << "/ws"
                                     << "http://[::1]:9/ws" << 0 << "ws://[::1]:9/ws";
        QTest::newRow("https anywhere") << " https://pindle.example/ "
                                        << "/ws"
                                        << "https://pindle.example/ws" << 0 << "wss://pindle.example/ws";
        QTest::newRow("http elsewhere") << "http://pindle.example"
                                        << "/ws"
                                        << "" << insecure << "";
        QTest::newRow("http v6 elsewhere") << "http://[2001:db8::1]"
                                           << "/ws"
                                           << "" << insecure << "";
        QTest::newRow("ws scheme") << "ws://127.0.0.1"
                                   << "/ws"
                                   << "" << insecure << "";
        QTest::newRow("base with path") << "https://pindle.example/api"
                                        << "/ws"
                                        << "" << insecure << "";
        QTest::newRow("empty base") << ""
                                    << "/ws"
                                    << "" << insecure << "";
        QTest::newRow("query kept") << "http://127.0.0.1"
                                    << "/api/velko/ai-search?q=a%20b"
                                    << "http://127.0.0.1/api/velko/ai-search?q=a%20b" << 0
                                    << "ws://127.0.0.1/api/velko/ai-search?q=a%20b";
        QTest::newRow("dot segment") << "http://127.0.0.1"
                                     << "/a/./b"
                                     << "" << bad << "";
        QTest::newRow("encoded dot dot") << "http://127.0.0.1"
                                         << "/a/%2e%2E/b"
                                         << "" << bad << "";
        QTest::newRow("empty segment") << "http://127.0.0.1"
                                       << "/a//b"
                                       << "" << bad << "";
        QTest::newRow("trailing slash") << "http://127.0.0.1"
                                        << "/a/"
                                        << "" << bad << "";
        QTest::newRow("fragment") << "http://127.0.0.1"
                                  << "/a#b"
                                  << "" << bad << "";
        QTest::newRow("space") << "http://127.0.0.1"
                               << "/a b"
                               << "" << bad << "";
    }

    void resolve()
    {
        QFETCH(QString, base);
        QFETCH(QString, path);
        QFETCH(QString, url);
        QFETCH(int, kind);
        QFETCH(QString, socketUrl);
        const ServiceResult<QUrl> http = ServiceUrl::resolve(base, path);
        const ServiceResult<QUrl> socket = ServiceUrl::resolveWebSocket(base, path);
        if (url.isEmpty()) {
            QVERIFY(!http.ok() && !socket.ok());
            QCOMPARE(static_cast<int>(http.error().kind()), kind);
            QCOMPARE(static_cast<int>(socket.error().kind()), kind);
            return;
        }
        QVERIFY2(http.ok(), qPrintable(http.ok() ? QString() : http.error().description()));
        QCOMPARE(http.value().toString(QUrl::FullyEncoded), url);
        QVERIFY(socket.ok());
        QCOMPARE(socket.value().toString(QUrl::FullyEncoded), socketUrl);
    }

    void baseUrlFromEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value"); // "-": unset
        QTest::addColumn<QString>("base");
        QTest::newRow("unset") << QByteArray("-") << QString::fromLatin1(ServiceUrl::kDefaultBaseUrl);
        QTest::newRow("blank") << QByteArray("  ") << QString::fromLatin1(ServiceUrl::kDefaultBaseUrl);
        QTest::newRow("set") << QByteArray("https://pindle.example//") << "https://pindle.example";
    }

    void baseUrlFromEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, base);
        const QByteArray saved = qgetenv(ServiceUrl::kBaseUrlVariable);
        const bool wasSet = qEnvironmentVariableIsSet(ServiceUrl::kBaseUrlVariable);
        if (value == "-")
            qunsetenv(ServiceUrl::kBaseUrlVariable);
        else
            qputenv(ServiceUrl::kBaseUrlVariable, value);
        const QString actual = ServiceUrl::baseUrlFromEnvironment();
        if (wasSet)
            qputenv(ServiceUrl::kBaseUrlVariable, saved);
        else
            qunsetenv(ServiceUrl::kBaseUrlVariable);
        QCOMPARE(actual, base);
    }
};

PINDLE_TEST(APIServiceTest)
#include "test_api_service.moc"
