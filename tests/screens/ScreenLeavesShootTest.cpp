#include "ScreenRig.h"

#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include <QJsonArray>

using screen_test::kWaitMs;
using screen_test::Rig;

// A logging screen that goes away in the middle of a shoot, against the stand-in: its log goes up
// once more, the account's shoot keeps every marker, and the next screen on the same cloud sends
// nothing to that shoot.
class ScreenLeavesShootTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;

    static bool flushed(Rig& rig)
    {
        bool done = false;
        rig.cloud.flush([&] { done = true; });
        return QTest::qWaitFor([&] { return done; }, kWaitMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        QVERIFY(!m_cookie.isEmpty());
    }

    void goneScreenKeepsItsShoot()
    {
        Rig r(m_standin->baseUrl(), m_cookie, false);
        r.screen->toggleLogging();
        QVERIFY(QTest::qWaitFor([&] { return r.engine().running(); }, kWaitMs));
        QVERIFY(r.cloud.token());
        const QString token = *r.cloud.token();
        r.screen->tapButton(Rig::button(QStringLiteral("moment"), 10));
        r.screen->tapButton(Rig::button(QStringLiteral("quote"), 10));
        QVERIFY(flushed(r));
        QCOMPARE(m_standin->markerIDs(token).size(), 2);
        r.screen->tapButton(Rig::button(QStringLiteral("moment"), 10));
        QStringList logged;
        for (const LogEntry& entry : r.screen->log().entries())
            logged.append(entry.id.toString(QUuid::WithoutBraces).toUpper());
        logged.sort();
        QCOMPARE(logged.size(), 3);

        r.screen.reset();
        QCOMPARE(r.cloud.token(), std::nullopt);
        QVERIFY(!r.cloud.isTimerRunning());
        QVERIFY(QTest::qWaitFor([&] { return m_standin->markerIDs(token) == logged; }, kWaitMs));
        const int syncs = m_standin->shoot(token).value(QStringLiteral("syncs")).toInt();

        // The next screen has no shoot until its own Start; its empty log goes nowhere.
        r.screen = std::make_unique<LoggingScreenModel>(r.environment(false));
        r.screen->appear();
        QCOMPARE(r.cloud.token(), std::nullopt);
        r.cloud.setDirty(true);
        r.cloud.tick();
        QVERIFY(flushed(r));
        QVERIFY(!r.cloud.isFlushing());
        const QJsonObject held = m_standin->shoot(token);
        QCOMPARE(held.value(QStringLiteral("syncs")).toInt(), syncs);
        QCOMPARE(held.value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());
        QCOMPARE(m_standin->markerIDs(token), logged);
    }
};

PINDLE_TEST(ScreenLeavesShootTest)
#include "ScreenLeavesShootTest.moc"
