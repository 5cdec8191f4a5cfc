#include "common/TestMain.h"

#include "service/APIService.h"
#include "service/CookieStore.h"

#include <QProcess>
#include <QTimer>
#include <QUuid>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kQuitItem = QStringLiteral("PINDLE_TEST_QUIT_ITEM");

SecretServiceCookieStore keyringItem(const QString& account = QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    return SecretServiceCookieStore(QStringLiteral("io.pindle.logger.tests"), QStringLiteral("test-") + account);
}

// Runs `work` on several threads at once and answers how many runs said yes.
int onThreads(int threads, const std::function<bool()>& work)
{
    std::atomic<int> yes{0};
    std::vector<std::thread> running;
    for (int i = 0; i < threads; ++i)
        running.emplace_back([&] { yes.fetch_add(work() ? 1 : 0); });
    for (std::thread& thread : running)
        thread.join();
    return yes.load();
}

} // namespace

// The session cookie's life in memory and in the system keyring.
class CookieStoreTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The keyring is part of the product: without one the test fails, unless the run says
    // outright that there is none.
    void secretServiceRoundTrip_data()
    {
        QTest::addColumn<QString>("cookie");
        QTest::newRow("non-ascii") << QStringLiteral("sid=caf\u00e9-\U0001F3AC");
        QTest::newRow("long") << QStringLiteral("sid=") + QString(4000, QLatin1Char('x'));
    }
    void secretServiceRoundTrip()
    {
        QFETCH(QString, cookie);
        SecretServiceCookieStore store = keyringItem();
        SecretServiceCookieStore other = keyringItem();
        const bool saved = store.save(cookie);
        if (!saved && qEnvironmentVariable("PINDLE_NO_KEYRING") == QLatin1String("1"))
            QSKIP("PINDLE_NO_KEYRING=1: no Secret Service in this run");
        QVERIFY2(saved, qPrintable(QStringLiteral("no Secret Service reachable: ") + store.lastError()));
        QCOMPARE(store.load(), std::optional<QString>(cookie));
        QCOMPARE(other.load(), std::nullopt);
        // A second save replaces the item rather than adding another.
        QVERIFY(store.save(QStringLiteral("sid=second")));
        QCOMPARE(store.load(), std::optional<QString>(QStringLiteral("sid=second")));
        // Every job runs on the one keyring thread, whichever thread asks.
        QCOMPARE(onThreads(6, [&] { return store.load() == std::optional<QString>(QStringLiteral("sid=second")); }), 6);
        QVERIFY(store.remove());
        QCOMPARE(store.load(), std::nullopt);
        QVERIFY(store.remove()); // removing what is not there is no failure
    }

    // Quitting right after signing out, as the application does (its service is never destroyed,
    // and the keyring thread stops with the application object), still removes the cookie. The
    // child run of this test is that application.
    void signOutThenQuitRemovesTheCookie()
    {
        if (const QString item = qEnvironmentVariable(qPrintable(kQuitItem)); !item.isEmpty()) {
            static auto* store = new SecretServiceCookieStore(keyringItem(item));
            static auto* service = new APIService(QStringLiteral("http://127.0.0.1:9"), *store);
            service->saveSessionCookie(QStringLiteral("sid=signed-in-again"));
            service->forgetSessionCookie();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
            QCoreApplication::exec();
            return;
        }
        const QString item = QUuid::createUuid().toString(QUuid::WithoutBraces);
        SecretServiceCookieStore store = keyringItem(item);
        if (!store.save(QStringLiteral("sid=before-quit")) && qEnvironmentVariable("PINDLE_NO_KEYRING") == "1"_L1)
            QSKIP("PINDLE_NO_KEYRING=1: no Secret Service in this run");
        QVERIFY2(store.load().has_value(), qPrintable(store.lastError()));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kQuitItem, item);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("CookieStoreTest"), QStringLiteral("signOutThenQuitRemovesTheCookie")});
        const bool finished = child.waitForFinished(60000);
        QVERIFY2(finished && child.exitCode() == 0, child.readAll().constData());
        QCOMPARE(store.load(), std::nullopt);
    }

    // The store is read once per run, however many threads ask at once, and sign-out forgets the
    // cookie for the rest of the run: an item written behind our back is not read.
    void storeIsReadOncePerRun()
    {
        InMemoryCookieStore store(u"sid=stored"_s);
        APIService service(u"http://127.0.0.1:9"_s, store);
        QCOMPARE(onThreads(8, [&] { return service.sessionCookie() == std::optional(u"sid=stored"_s); }), 8);
        service.forgetSessionCookie();
        QVERIFY(service.waitForCookieWrites(std::chrono::seconds(5)) && store.removeCount() == 1);
        QVERIFY(store.save(u"sid=late"_s));
        QVERIFY(service.sessionCookie() == std::nullopt && store.loadCount() == 1);
    }

    void storedValueIsCheckedBeforeUse_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("usable");
        QTest::newRow("pair") << QStringLiteral("sid=abc") << true;
        QTest::newRow("CR LF") << QStringLiteral("sid=abc\r\nX-Evil: 1") << false;
        QTest::newRow("NUL") << QStringLiteral("sid=abc") + QChar(0) + QStringLiteral("x") << false;
        QTest::newRow("semicolon") << QStringLiteral("sid=abc; admin=1") << false;
        QTest::newRow("no name") << QStringLiteral("=abc") << false;
        QTest::newRow("no value") << QStringLiteral("sid=") << false;
        QTest::newRow("too long") << QStringLiteral("sid=") + QString(5000, QLatin1Char('a')) << false;
    }
    void storedValueIsCheckedBeforeUse()
    {
        QFETCH(QString, stored);
        QFETCH(bool, usable);
        InMemoryCookieStore store(stored);
        APIService service(QStringLiteral("http://127.0.0.1:9"), store);
        QCOMPARE(service.sessionCookie().has_value(), usable);
        // Nor is an unusable value ever written.
        service.saveSessionCookie(stored);
        service.waitForCookieWrites();
        QCOMPARE(store.saveCount(), usable ? 1 : 0);
    }
};

PINDLE_TEST(CookieStoreTest)
#include "test_cookie_store.moc"
