#include "ServiceTesting.h"
#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAccount.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

using namespace servicetesting;
using Kind = LoggerAccount::State::Kind;

const QString kEmail = QStringLiteral("grip@example.com");
const QString kEmailKey = QString::fromLatin1(LoggerAccount::kEmailKey);

// A client whose session cookie shows up only after some reads, as when the keyring write
// lags behind the code check; -1 hides it for good.
class LateCookieService final : public APIService {
public:
    LateCookieService(QString baseUrl, CookieStore& store, int hiddenReads)
        : APIService(std::move(baseUrl), store), m_hiddenReads(hiddenReads)
    {
    }
    std::optional<QString> sessionCookie() override
    {
        ++reads;
        std::optional<QString> cookie = APIService::sessionCookie();
        if (!cookie || m_hiddenReads == 0)
            return cookie;
        if (m_hiddenReads > 0)
            --m_hiddenReads;
        return std::nullopt;
    }
    int m_hiddenReads;
    int reads = 0;
};

} // namespace

// The signed-in state the root view follows, through the two steps of the e-mail sign-in.
class LoggerAccountTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Defaults> m_defaults;

    QString base() const { return m_standin->baseUrl().toString(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY((m_standin = startStandin())); }

    void init()
    {
        m_standin->control(QStringLiteral("clear"));
        m_standin->control(QStringLiteral("verify-mode"),
                           {{QStringLiteral("sid"), true}, {QStringLiteral("set_cookie"), true}});
        m_dir = std::make_unique<QTemporaryDir>();
        m_defaults = std::make_unique<Defaults>(m_dir->filePath(QStringLiteral("defaults.json")));
    }

    void cleanupTestCase() { m_standin.reset(); }

    // Failures change neither state nor address; an accepted code without a session is an
    // error the screen can show, not a silent return to the sign-in screen.
    void failuresChangeNothing_data()
    {
        QTest::addColumn<QString>("step");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* name, const char* step, const char* control, const QJsonObject& body,
                            const char* text) { QTest::newRow(name) << step << control << body << text; };
        const auto refused = [](const char* path, int status) {
            return QJsonObject{{"path", path}, {"kind", "status"}, {"status", status}};
        };
        row("send code refused", "send", "fault", refused("/auth/login", 400), "injected fault");
        row("wrong code", "wrong", "", {}, "That code isn't right.");
        row("service down", "verify", "fault", refused("/auth/verify", 502), "injected fault");
        row("accepted without a session", "verify", "verify-mode", {{"sid", false}, {"set_cookie", false}},
            APIService::kNoSessionText);
    }
    void failuresChangeNothing()
    {
        QFETCH(QString, step);
        QFETCH(QString, control);
        QFETCH(QJsonObject, body);
        if (!control.isEmpty())
            QVERIFY(m_standin->control(control, body).value(QLatin1String("ok")).toBool());
        m_defaults->set(kEmailKey, QStringLiteral("old@example.com"));
        InMemoryCookieStore store;
        APIService service(base(), store);
        LoggerAccount account(service, *m_defaults);
        QSignalSpy stateSpy(&account, &LoggerAccount::stateChanged);
        QSignalSpy emailSpy(&account, &LoggerAccount::emailChanged);
        ErrorLatch done;
        if (step == QLatin1String("send"))
            account.sendCode(kEmail, nullptr, done.callback());
        else
            account.verify(step == QLatin1String("wrong") ? QStringLiteral("999999") : m_standin->code(), nullptr,
                           done.callback());
        QVERIFY(done.wait());
        QTEST(errorText(done), "text");
        QCOMPARE(account.state().kind(), Kind::SignedOut);
        QCOMPARE(emailSpy.count(), 0);
        QCOMPARE(m_defaults->string(kEmailKey), std::optional<QString>(QStringLiteral("old@example.com")));
        QVERIFY(stateSpy.count() == 0 || control == QLatin1String("verify-mode"));
    }

    // The wait for a cookie that lags behind the code check runs on timers, so the event loop
    // keeps turning; the account signs in once the cookie is seen, or gives up after the checks.
    void cookieWait_data()
    {
        QTest::addColumn<int>("hiddenReads");
        QTest::newRow("late cookie") << 5;
        QTest::newRow("never") << -1;
    }
    void cookieWait()
    {
        QFETCH(int, hiddenReads);
        InMemoryCookieStore store;
        LateCookieService service(base(), store, hiddenReads);
        ManualClock clock;
        LoggerAccount account(service, *m_defaults, &clock);
        ErrorLatch done;
        account.verify(m_standin->code(), nullptr, done.callback());
        const auto start = clock.monotonic();
        QVERIFY(QTest::qWaitFor(
            [&] {
                clock.advance(LoggerAccount::kCookieCheckInterval);
                return done.value.has_value();
            },
            20000));
        const auto waited = clock.monotonic() - start;
        if (hiddenReads > 0) {
            QCOMPARE(errorText(done), QString());
            QCOMPARE(account.state().kind(), Kind::Allowed);
            QVERIFY(waited >= (hiddenReads - 1) * LoggerAccount::kCookieCheckInterval);
            return;
        }
        QCOMPARE(errorText(done), QString::fromLatin1(APIService::kNoSessionText));
        QCOMPARE(account.state().kind(), Kind::SignedOut);
        QVERIFY(service.reads >= LoggerAccount::kCookieChecks);
        QVERIFY(waited >= (LoggerAccount::kCookieChecks - 1) * LoggerAccount::kCookieCheckInterval);
    }

    // A screen that closed mid-request is not called back; the address is still taken.
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
        ErrorLatch done;
        account.sendCode(kEmail, screen.get(), done.callback());
        screen.reset();
        QVERIFY(emailSpy.wait(10000));
        QTest::qWait(100);
        QCOMPARE(done.calls, 0);
        QCOMPARE(account.email(), kEmail);
    }
};

PINDLE_TEST(LoggerAccountTest)
#include "test_logger_account.moc"
