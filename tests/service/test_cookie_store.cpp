#include "common/TestMain.h"

#include "service/APIService.h"
#include "service/CookieStore.h"

#include <QUuid>

#include <atomic>
#include <thread>
#include <vector>

// The session cookie's life in memory and in the system keyring.
class CookieStoreTest : public QObject {
    Q_OBJECT

private:
    // The keyring is part of the product: without one the test fails, unless the run says
    // outright that there is none.
    static bool keyringWanted() { return qEnvironmentVariable("PINDLE_NO_KEYRING") != QLatin1String("1"); }

    static QString uniqueAccount()
    {
        return QStringLiteral("test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    }

private Q_SLOTS:
    void secretServiceRoundTrip_data()
    {
        QTest::addColumn<QString>("cookie");
        QTest::newRow("plain") << QStringLiteral("sid=0123456789abcdef");
        QTest::newRow("non-ascii") << QStringLiteral("sid=caf\u00e9-\U0001F3AC");
        QTest::newRow("long") << QStringLiteral("sid=") + QString(4000, QLatin1Char('x'));
    }

    void secretServiceRoundTrip()
    {
        QFETCH(QString, cookie);
        SecretServiceCookieStore store(QStringLiteral("io.pindle.logger.tests"), uniqueAccount());
        const bool saved = store.save(cookie);
        if (!saved && !keyringWanted())
            QSKIP("PINDLE_NO_KEYRING=1: no Secret Service in this run");
        QVERIFY2(saved, qPrintable(QStringLiteral("no Secret Service reachable: ") + store.lastError()));

        QCOMPARE(store.load(), std::optional<QString>(cookie));
        // A second save replaces the item rather than adding another.
        QVERIFY(store.save(QStringLiteral("sid=second")));
        QCOMPARE(store.load(), std::optional<QString>(QStringLiteral("sid=second")));

        QVERIFY(store.remove());
        QCOMPARE(store.load(), std::nullopt);
        // Removing what is not there is not a failure.
        QVERIFY(store.remove());
    }

    void secretServiceItemsAreSeparate()
    {
        SecretServiceCookieStore first(QStringLiteral("io.pindle.logger.tests"), uniqueAccount());
        SecretServiceCookieStore second(QStringLiteral("io.pindle.logger.tests"), uniqueAccount());
        if (!first.save(QStringLiteral("sid=first")) && !keyringWanted())
            QSKIP("PINDLE_NO_KEYRING=1: no Secret Service in this run");
        QCOMPARE(first.load(), std::optional<QString>(QStringLiteral("sid=first")));
        QCOMPARE(second.load(), std::nullopt);
        QVERIFY(first.remove());
    }

    // Every job runs on the one keyring thread, whichever thread asks.
    void secretServiceFromManyThreads()
    {
        SecretServiceCookieStore store(QStringLiteral("io.pindle.logger.tests"), uniqueAccount());
        if (!store.save(QStringLiteral("sid=shared")) && !keyringWanted())
            QSKIP("PINDLE_NO_KEYRING=1: no Secret Service in this run");
        std::atomic<int> matches{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 6; ++i)
            threads.emplace_back([&] {
                if (store.load() == std::optional<QString>(QStringLiteral("sid=shared")))
                    matches.fetch_add(1);
            });
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(matches.load(), 6);
        QVERIFY(store.remove());
    }

    // The store is read once per run, however many threads ask at once.
    void cookieLoadsOnceAcrossThreads()
    {
        InMemoryCookieStore store(QStringLiteral("sid=stored"));
        APIService service(QStringLiteral("http://127.0.0.1:9"), store);
        std::atomic<int> matches{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([&] {
                for (int j = 0; j < 50; ++j) {
                    if (service.sessionCookie() == std::optional<QString>(QStringLiteral("sid=stored")))
                        matches.fetch_add(1);
                }
            });
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(matches.load(), 400);
        QCOMPARE(store.loadCount(), 1);
    }

    void storedValueIsCheckedBeforeUse_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("usable");
        QTest::newRow("pair") << QStringLiteral("sid=abc") << true;
        QTest::newRow("CR LF") << QStringLiteral("sid=abc\r\nX-Evil: 1") << false;
        QTest::newRow("LF") << QStringLiteral("sid=abc\nb") << false;
        QTest::newRow("NUL") << QStringLiteral("sid=abc") + QChar(0) + QStringLiteral("x") << false;
        QTest::newRow("semicolon") << QStringLiteral("sid=abc; admin=1") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("no name") << QStringLiteral("=abc") << false;
        QTest::newRow("no pair") << QStringLiteral("abc") << false;
        QTest::newRow("no value") << QStringLiteral("sid=") << false;
        QTest::newRow("tab") << QStringLiteral("sid=a\tb") << false;
        QTest::newRow("too long") << QStringLiteral("sid=") + QString(5000, QLatin1Char('a')) << false;
    }

    void storedValueIsCheckedBeforeUse()
    {
        QFETCH(QString, stored);
        QFETCH(bool, usable);
        QCOMPARE(APIService::isUsableCookie(stored), usable);
        InMemoryCookieStore store(stored);
        APIService service(QStringLiteral("http://127.0.0.1:9"), store);
        QCOMPARE(service.sessionCookie().has_value(), usable);
    }

    // Sign-out forgets the cookie for the rest of the run: the store is not read again.
    void signOutDoesNotReloadTheStore()
    {
        InMemoryCookieStore store(QStringLiteral("sid=stored"));
        APIService service(QStringLiteral("http://127.0.0.1:9"), store);
        QVERIFY(service.sessionCookie().has_value());
        service.forgetSessionCookie();
        service.waitForCookieWrites();
        QCOMPARE(store.removeCount(), 1);
        QCOMPARE(store.stored(), std::nullopt);
        // Something writes the item behind our back: this run still counts as signed out.
        QVERIFY(store.save(QStringLiteral("sid=late")));
        QCOMPARE(service.sessionCookie(), std::nullopt);
        QCOMPARE(store.loadCount(), 1);
    }

    void sessionCookieNeverStoresUnusableValues()
    {
        InMemoryCookieStore store;
        APIService service(QStringLiteral("http://127.0.0.1:9"), store);
        service.saveSessionCookie(QStringLiteral("sid=a\r\nSet-Cookie: x=1"));
        service.saveSessionCookie(QStringLiteral("sid=ok"));
        service.waitForCookieWrites();
        QCOMPARE(store.saveCount(), 1);
        QCOMPARE(store.stored(), std::optional<QString>(QStringLiteral("sid=ok")));
    }
};

PINDLE_TEST(CookieStoreTest)
#include "test_cookie_store.moc"
