#include "common/StandinProcess.h"
#include "common/TestMain.h"
#include "e2e/ShellSteps.h"
#include "ui/shell/ShellFixture.h"

#include "platform/ManualClock.h"
#include "ui/logging/LoggingView.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/shell/PindleLoggerApp.h"

#include <QAction>
#include <QJsonArray>
#include <QLineEdit>
#include <QMainWindow>

#include <algorithm>

namespace {

constexpr int kWaitMs = 20000;
constexpr auto kTick = std::chrono::seconds(6);

} // namespace

// Signing out in the middle of a shoot and back in as the same account, against the stand-in:
// the account's copy of the shoot keeps every marker, the one pressed just before signing out
// included, and the new screen sends nothing until its own Start.
class SignOutSyncTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void signOutAndBackInKeepsTheShoot()
    {
        StandinProcess standin;
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        ShellFixture shell(std::nullopt, QString(), standin.baseUrl().toString());
        // The sync's ticks run on a clock the test moves: each step below is one tick.
        ManualClock ticks(Date::fromSecondsSince1970(1'700'000'000.0));
        LoggerCloud cloud(shell.service, shell.camera, LoggerCloud::Timing{}, &ticks);
        LoggingScreenEnvironment env = shell.screen();
        env.cloud = &cloud;

        auto app = std::make_unique<PindleLoggerApp>(shell.account, LaunchOptions{}, env);
        app->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app->window()));
        e2e::signIn(*app, standin.code());
        QPointer<LoggingView> view = app->root()->findChild<LoggingView*>();
        QVERIFY(view);
        LoggingScreenModel& screen = view->screen();

        // Start asks the account for a shoot; the machine has no input, so nothing is heard.
        screen.toggleLogging();
        QTRY_VERIFY_WITH_TIMEOUT(cloud.token() && !screen.startPending(), kWaitMs);
        const QString token = *cloud.token();
        QCOMPARE(screen.log().shootToken(), std::optional(token));

        press(*app, Qt::Key_1);
        press(*app, Qt::Key_2);
        QCOMPARE(screen.log().entries().size(), 2);
        ticks.advance(kTick);
        QTRY_VERIFY_WITH_TIMEOUT(cloud.lastSaved(), kWaitMs);
        QCOMPARE(standin.markerIDs(token).size(), 2);

        press(*app, Qt::Key_3);
        QStringList logged;
        for (const LogEntry& entry : screen.log().entries()) {
            QVERIFY(!entry.open && !entry.suggested);
            logged.append(entry.id.toString(QUuid::WithoutBraces).toUpper());
        }
        logged.sort();
        QCOMPARE(logged.size(), 3);
        const QUuid logID = screen.log().id();

        app->signOutAction()->trigger();
        QCOMPARE(app->root()->screen(), LoggerRoot::Screen::SignIn);
        QTRY_VERIFY(!view);
        // The marker pressed last went up with the session it was made in.
        QTRY_COMPARE_WITH_TIMEOUT(standin.markerIDs(token), logged, kWaitMs);
        QCOMPARE(cloud.token(), std::nullopt);
        QVERIFY(!cloud.isTimerRunning());

        e2e::signIn(*app, standin.code());
        auto* again = app->root()->findChild<LoggingView*>();
        QVERIFY(again);
        QCOMPARE(cloud.token(), std::nullopt);
        const int syncs = standin.shoot(token).value(QStringLiteral("syncs")).toInt();
        for (int tick = 0; tick < 4; ++tick) {
            ticks.advance(kTick);
            // A sync a tick started has its answer before the shoot is read.
            QTRY_VERIFY_WITH_TIMEOUT(!cloud.isFlushing(), kWaitMs);
        }
        const QJsonObject held = standin.shoot(token);
        QCOMPARE(standin.markerIDs(token), logged);
        QCOMPARE(held.value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());
        QCOMPARE(held.value(QStringLiteral("syncs")).toInt(), syncs);
        QCOMPARE(cloud.lastSaved(), std::nullopt);

        // The saved log keeps all three as well.
        LogSessionStore& sessions = again->screen().sessions();
        sessions.waitForLoad();
        const auto it = std::find_if(sessions.sessions().cbegin(), sessions.sessions().cend(),
                                     [&](const LogSession& s) { return s.id == logID; });
        QVERIFY(it != sessions.sessions().cend());
        QCOMPARE(it->entries.size(), 3);
        QCOMPARE(it->shootToken, std::optional(token));
    }

private:
    static void press(PindleLoggerApp& app, Qt::Key digit)
    {
        app.window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app.window()));
        QTest::keyClick(app.window(), digit, Qt::ControlModifier);
    }
};

PINDLE_TEST(SignOutSyncTest)
#include "SignOutSyncTest.moc"
