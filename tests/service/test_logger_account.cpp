#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAccount.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

using Kind = LoggerAccount::State::Kind;

const QString kEmail = QStringLiteral("grip@example.com");

// A client whose session cookie shows up only after a number of reads, as when the keyring
// write lags behind the code check.
class LateCookieService final : public APIService {
public:
    LateCookieService(QString baseUrl, CookieStore& store, int hiddenReads)
        : APIService(std::move(baseUrl), store), m_hiddenReads(hiddenReads)
    {
    }

    std::optional<QString> sessionCookie() override
    {
        std::optional<QString> cookie = APIService::sessionCookie();
        if (!cookie || m_hiddenReads < 0)
            return cookie;
        if (m_hiddenReads == 0)
            return cookie;
        --m_hiddenReads;
        return std::nullopt;
    }

    // Reads still hidden; -1 hides the cookie for good.
    int m_hiddenReads;
};

// Hides the cookie for good: the code check succeeds but no session is ever seen.
class NoCookieService final : public APIService {
public:
    using APIService::APIService;
    std::optional<QString> sessionCookie() override { return std::nullopt; }
};

struct Outcome {
    std::optional<std::optional<ServiceError>> value;
    int calls = 0;
    auto callback()
    {
        return [this](std::optional<ServiceError> error) {
            ++calls;
            value = std::move(error);
        };
    }
    [[nodiscard]] bool wait(int timeoutMs = 20000)
    {
        return QTest::qWaitFor([this] { return value.has_value(); }, timeoutMs);
    }
};

QList<Kind> kinds(const QList<LoggerAccount::State>& states)
{
    QList<Kind> out;
    for (const LoggerAccount::State& state : states)
        out.append(state.kind());
    return out;
}

} // namespace

// The signed-in state the root view follows, through the two steps of the e-mail sign-in.
class LoggerAccountTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Defaults> m_defaults;

    QString base() const { return m_standin->baseUrl().toString(); }

    // Records every state the account passes through.
    static std::shared_ptr<QList<LoggerAccount::State>> watch(LoggerAccount& account)
    {
        auto states = std::make_shared<QList<LoggerAccount::State>>();
        QObject::connect(&account, &LoggerAccount::stateChanged, &account,
                         [states, &account] { states->append(account.state()); });
        return states;
    }

    QJsonObject lastVerifyBody()
    {
        const QJsonObject request = m_standin->state()
                                        .value(QLatin1String("requests"))
                                        .toObject()
                                        .value(QLatin1String("POST /auth/verify"))
                                        .toObject();
        return QJsonDocument::fromJson(request.value(QLatin1String("body")).toString().toUtf8()).object();
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
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_defaults = std::make_unique<Defaults>(m_dir->filePath(QStringLiteral("defaults.json")));
    }

    void cleanup()
    {
        m_defaults.reset();
        m_dir.reset();
    }

    void cleanupTestCase() { m_standin.reset(); }

    void launch_data()
    {
        QTest::addColumn<bool>("cookieStored");
        QTest::addColumn<QJsonValue>("storedEmail");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("email");
        QTest::newRow("cookie, address") << true << QJsonValue(kEmail) << int(Kind::Checking) << kEmail;
        QTest::newRow("no cookie, nothing stored")
            << false << QJsonValue(QJsonValue::Undefined) << int(Kind::SignedOut) << QString();
        QTest::newRow("address of the wrong type") << false << QJsonValue(42) << int(Kind::SignedOut) << QString();
    }

    void launch()
    {
        QFETCH(bool, cookieStored);
        QFETCH(QJsonValue, storedEmail);
        QFETCH(int, state);
        QFETCH(QString, email);
        if (!storedEmail.isUndefined())
            m_defaults->set(QString::fromLatin1(LoggerAccount::kEmailKey), storedEmail);
        InMemoryCookieStore store(cookieStored ? std::optional<QString>(QStringLiteral("sid=kept")) : std::nullopt);
        APIService service(base(), store);
        LoggerAccount account(service, *m_defaults);
        QCOMPARE(int(account.state().kind()), state);
        QCOMPARE(account.email(), email);

        // The root's first refresh (and every "Try again") decides from the cookie.
        auto states = watch(account);
        account.refresh();
        QCOMPARE(kinds(*states), cookieStored ? QList<Kind>{Kind::Allowed} : QList<Kind>{});
        account.refresh();
        QCOMPARE(states->size(), cookieStored ? 1 : 0); // Allowed is not sent back to Checking
        QCOMPARE(store.loadCount(), 1);
    }

    void signInEndToEnd()
    {
        InMemoryCookieStore store;
        APIService service(base(), store);
        LoggerAccount account(service, *m_defaults);
        QSignalSpy emailSpy(&account, &LoggerAccount::emailChanged);
        auto states = watch(account);

        Outcome sent;
        account.sendCode(kEmail, nullptr, sent.callback());
        QVERIFY(sent.wait());
        QVERIFY(!sent.value->has_value());
        QCOMPARE(account.email(), kEmail);
        QCOMPARE(emailSpy.count(), 1);
        QCOMPARE(m_defaults->string(QString::fromLatin1(LoggerAccount::kEmailKey)), std::optional<QString>(kEmail));

        Outcome verified;
        account.verify(m_standin->code(), nullptr, verified.callback());
        QVERIFY(verified.wait());
        QVERIFY(!verified.value->has_value());
        QCOMPARE(kinds(*states), (QList<Kind>{Kind::Checking, Kind::Allowed}));
        // The code is checked against the address it was sent to.
        QCOMPARE(lastVerifyBody().value(QLatin1String("email")).toString(), kEmail);
        service.waitForCookieWrites();
        QCOMPARE(store.stored(), service.sessionCookie());

        // Sign out: the cookie goes, the address stays, the store is not read again.
        account.signOut();
        service.waitForCookieWrites();
        QCOMPARE(account.state().kind(), Kind::SignedOut);
        QCOMPARE(account.email(), kEmail);
        QCOMPARE(store.stored(), std::nullopt);
        QVERIFY(store.save(QStringLiteral("sid=written-elsewhere")));
        account.refresh();
        QCOMPARE(account.state().kind(), Kind::SignedOut);
        QCOMPARE(store.loadCount(), 1); // once, at launch
    }

    void failuresChangeNothing_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("text");
        QTest::newRow("send code refused")
            << "send" << QJsonObject{{"path", "/auth/login"}, {"kind", "status"}, {"status", 400}} << "injected fault";
        QTest::newRow("verify, wrong code") << "verify" << QJsonObject{} << "That code isn't right.";
        QTest::newRow("verify, service down")
            << "verify" << QJsonObject{{"path", "/auth/verify"}, {"kind", "status"}, {"status", 502}}
            << "injected fault";
    }

    void failuresChangeNothing()
    {
        QFETCH(QString, step);
        QFETCH(QJsonObject, fault);
        QFETCH(QString, text);
        if (!fault.isEmpty())
            QVERIFY(m_standin->control(QStringLiteral("fault"), fault).value(QLatin1String("ok")).toBool());
        m_defaults->set(QString::fromLatin1(LoggerAccount::kEmailKey), QStringLiteral("old@example.com"));
        InMemoryCookieStore store;
        APIService service(base(), store);
        LoggerAccount account(service, *m_defaults);
        QSignalSpy stateSpy(&account, &LoggerAccount::stateChanged);
        QSignalSpy emailSpy(&account, &LoggerAccount::emailChanged);

        Outcome done;
        if (step == QLatin1String("send"))
            account.sendCode(kEmail, nullptr, done.callback());
        else
            account.verify(QStringLiteral("999999"), nullptr, done.callback());
        QVERIFY(done.wait());
        QVERIFY(done.value->has_value());
        QCOMPARE((*done.value)->description(), text);
        QCOMPARE(stateSpy.count(), 0);
        QCOMPARE(emailSpy.count(), 0);
        QCOMPARE(account.email(), QStringLiteral("old@example.com"));
        QCOMPARE(m_defaults->string(QString::fromLatin1(LoggerAccount::kEmailKey)),
                 std::optional<QString>(QStringLiteral("old@example.com")));
    }

    // An accepted code without a session is an error the screen can show, not a silent return
    // to the sign-in screen.
    void verifyWithoutSessionReportsIt()
    {
        m_standin->control(QStringLiteral("verify-mode"),
                           {{QStringLiteral("sid"), false}, {QStringLiteral("set_cookie"), false}});
        InMemoryCookieStore store;
        APIService service(base(), store);
        LoggerAccount account(service, *m_defaults);
        Outcome done;
        account.verify(m_standin->code(), nullptr, done.callback());
        QVERIFY(done.wait());
        QVERIFY(done.value->has_value());
        QCOMPARE((*done.value)->description(), QString::fromLatin1(APIService::kNoSessionText));
        QCOMPARE(account.state().kind(), Kind::SignedOut);
    }

    // The wait for a cookie that lags behind the code check runs on timers: the event loop keeps
    // turning, and the account signs in once the cookie is seen.
    void verifyWaitsForALateCookie()
    {
        InMemoryCookieStore store;
        LateCookieService service(base(), store, 5);
        LoggerAccount account(service, *m_defaults);
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(20);
        QElapsedTimer clock;
        clock.start();
        Outcome done;
        account.verify(m_standin->code(), nullptr, done.callback());
        QVERIFY(done.wait());
        QVERIFY2(!done.value->has_value(), qPrintable((*done.value)->description()));
        QCOMPARE(account.state().kind(), Kind::Allowed);
        QCOMPARE(service.m_hiddenReads, 0);
        QVERIFY(clock.elapsed() >= 4 * LoggerAccount::kCookieCheckInterval.count());
        QVERIFY(ticks >= 5);
    }

    void verifyGivesUpAfterThirtyChecks()
    {
        InMemoryCookieStore store;
        NoCookieService service(base(), store);
        LoggerAccount account(service, *m_defaults);
        QElapsedTimer clock;
        clock.start();
        Outcome done;
        account.verify(m_standin->code(), nullptr, done.callback());
        QVERIFY(done.wait(10000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY(done.value->has_value());
        QCOMPARE((*done.value)->description(), QString::fromLatin1(APIService::kNoSessionText));
        QCOMPARE(account.state().kind(), Kind::SignedOut);
        const qint64 interval = LoggerAccount::kCookieCheckInterval.count();
        QVERIFY2(elapsed >= (LoggerAccount::kCookieChecks - 1) * interval, qPrintable(QString::number(elapsed)));
        QVERIFY2(elapsed < 3 * LoggerAccount::kCookieChecks * interval, qPrintable(QString::number(elapsed)));
    }

    // A screen that closed mid-request is not called back.
    void closedScreenIsNotCalledBack()
    {
        m_standin->control(QStringLiteral("fault"), {{QStringLiteral("path"), QStringLiteral("/auth/login")},
                                                     {QStringLiteral("kind"), QStringLiteral("slow")},
                                                     {QStringLiteral("delay_ms"), 300}});
        InMemoryCookieStore store;
        APIService service(base(), store);
        LoggerAccount account(service, *m_defaults);
        QSignalSpy emailSpy(&account, &LoggerAccount::emailChanged);
        auto screen = std::make_unique<QObject>();
        Outcome done;
        account.sendCode(kEmail, screen.get(), done.callback());
        screen.reset();
        // The address is still taken: the code was sent.
        QVERIFY(emailSpy.wait(10000));
        QTest::qWait(100);
        QCOMPARE(done.calls, 0);
        QCOMPARE(account.email(), kEmail);
    }
};

PINDLE_TEST(LoggerAccountTest)
#include "test_logger_account.moc"
