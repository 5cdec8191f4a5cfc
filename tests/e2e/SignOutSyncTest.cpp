#include "common/StandinProcess.h"
#include "common/TestMain.h"
#include "e2e/ShellSteps.h"
#include "ui/shell/ShellFixture.h"

#include "platform/ManualClock.h"
#include "screens/HeaderModel.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/header/HeaderView.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/shell/PindleLoggerApp.h"

#include <QAction>
#include <QJsonArray>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>

#include <algorithm>

namespace {

constexpr int kWaitMs = 20000;
constexpr auto kTick = std::chrono::seconds(6);

// The whole app against a stand-in, its sync's ticks on a clock the test moves: each step below
// is one tick.
struct Journey {
    Journey()
        : shell(std::nullopt, QString(), standin.baseUrl().toString()),
          cloud(shell.service, shell.camera, LoggerCloud::Timing{}, &ticks)
    {
        LoggingScreenEnvironment env = shell.screen();
        env.cloud = &cloud;
        app = std::make_unique<PindleLoggerApp>(shell.account, LaunchOptions{}, env);
    }

    // Signs in, starts logging (the machine has no input, so nothing is heard), presses two markers
    // that a tick syncs, then a third one; `token` and the `logged` ids, sorted, as the account
    // names them.
    void logThreeMarkers()
    {
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        app->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app->window()));
        e2e::signIn(*app, standin.code());
        view = app->root()->findChild<LoggingView*>();
        QVERIFY(view);
        LoggingScreenModel& screen = view->screen();
        screen.toggleLogging();
        QTRY_VERIFY_WITH_TIMEOUT(cloud.token() && !screen.startPending(), kWaitMs);
        token = *cloud.token();
        QCOMPARE(screen.log().shootToken(), std::optional(token));

        press(Qt::Key_1);
        press(Qt::Key_2);
        QCOMPARE(screen.log().entries().size(), 2);
        ticks.advance(kTick);
        QTRY_VERIFY_WITH_TIMEOUT(cloud.lastSaved(), kWaitMs);
        QCOMPARE(standin.markerIDs(token).size(), 2);

        press(Qt::Key_3);
        for (const LogEntry& entry : screen.log().entries()) {
            QVERIFY(!entry.open && !entry.suggested);
            logged.append(entry.id.toString(QUuid::WithoutBraces).toUpper());
        }
        logged.sort();
        QCOMPARE(logged.size(), 3);
    }

    void press(Qt::Key digit)
    {
        app->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app->window()));
        QTest::keyClick(app->window(), digit, Qt::ControlModifier);
    }

    StandinProcess standin;
    ShellFixture shell;
    ManualClock ticks{Date::fromSecondsSince1970(1'700'000'000.0)};
    LoggerCloud cloud;
    std::unique_ptr<PindleLoggerApp> app;
    QPointer<LoggingView> view;
    QString token;
    QStringList logged;
};

} // namespace

// Signing out in the middle of a shoot, against the stand-in: what was logged and asked for
// before reaches the account with the session it was made in, and the next screen sends nothing
// until its own Start.
class SignOutSyncTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Back in as the same account: the account's copy of the shoot keeps every marker, the one
    // pressed just before signing out included.
    void signOutAndBackInKeepsTheShoot()
    {
        Journey j;
        j.logThreeMarkers();
        if (QTest::currentTestFailed())
            return;
        const QUuid logID = j.view->screen().log().id();

        j.app->signOutAction()->trigger();
        QCOMPARE(j.app->root()->screen(), LoggerRoot::Screen::SignIn);
        QTRY_VERIFY(!j.view);
        // The marker pressed last went up with the session it was made in.
        QTRY_COMPARE_WITH_TIMEOUT(j.standin.markerIDs(j.token), j.logged, kWaitMs);
        QCOMPARE(j.cloud.token(), std::nullopt);
        QVERIFY(!j.cloud.isTimerRunning());

        e2e::signIn(*j.app, j.standin.code());
        auto* again = j.app->root()->findChild<LoggingView*>();
        QVERIFY(again);
        QCOMPARE(j.cloud.token(), std::nullopt);
        const int syncs = j.standin.shoot(j.token).value(QStringLiteral("syncs")).toInt();
        for (int tick = 0; tick < 4; ++tick) {
            j.ticks.advance(kTick);
            // A sync a tick started has its answer before the shoot is read.
            QTRY_VERIFY_WITH_TIMEOUT(!j.cloud.isFlushing(), kWaitMs);
        }
        const QJsonObject held = j.standin.shoot(j.token);
        QCOMPARE(j.standin.markerIDs(j.token), j.logged);
        QCOMPARE(held.value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());
        QCOMPARE(held.value(QStringLiteral("syncs")).toInt(), syncs);
        QCOMPARE(j.cloud.lastSaved(), std::nullopt);

        // The saved log keeps all three as well.
        LogSessionStore& sessions = again->screen().sessions();
        sessions.waitForLoad();
        const auto it = std::find_if(sessions.sessions().cbegin(), sessions.sessions().cend(),
                                     [&](const LogSession& s) { return s.id == logID; });
        QVERIFY(it != sessions.sessions().cend());
        QCOMPARE(it->entries.size(), 3);
        QCOMPARE(it->shootToken, std::optional(j.token));
    }

    // "Wrap this log", then Sign out at once: the wrap still reaches the account, with the session
    // it was asked in, whoever signs in next and whenever.
    void wrapThenSignOut_data()
    {
        QTest::addColumn<QString>("next");
        QTest::addColumn<bool>("beforeAnswer"); // signed in before the final sync is answered
        QTest::newRow("the same account, seconds later") << QStringLiteral("ada@example.com") << false;
        QTest::newRow("another account, before the answer") << QStringLiteral("bob@example.com") << true;
    }
    void wrapThenSignOut()
    {
        QFETCH(QString, next);
        QFETCH(bool, beforeAnswer);
        Journey j;
        j.logThreeMarkers();
        if (QTest::currentTestFailed())
            return;
        const std::optional<QString> session = j.shell.service.sessionCookie();
        QVERIFY(session);
        const QUuid logID = j.view->screen().log().id();
        if (beforeAnswer)
            j.standin.control(QStringLiteral("fault"),
                              {{"path", QStringLiteral("/api/logger/shoots/%1/sync").arg(j.token)},
                               {"kind", "slow"},
                               {"delay_ms", 3000}});

        QMenu* sessions = j.view->findChild<HeaderView*>()->sessionsMenu();
        sessions->popup(j.app->window()->geometry().center());
        QTRY_VERIFY(sessions->isVisible());
        const QList<QAction*> rows = sessions->actions();
        const auto wrap = std::find_if(rows.cbegin(), rows.cend(),
                                       [](const QAction* row) { return row->text() == HeaderModel::kWrapTitle; });
        QVERIFY(wrap != rows.cend());
        sessions->hide();
        (*wrap)->trigger();
        j.app->signOutAction()->trigger();
        QCOMPARE(j.app->root()->screen(), LoggerRoot::Screen::SignIn);
        if (!beforeAnswer)
            QTest::qWait(3000);
        e2e::signIn(*j.app, j.standin.code(), next);
        if (beforeAnswer)
            QCOMPARE(j.standin.shoot(j.token).value(QStringLiteral("wraps")).toInt(), 0);

        QTRY_VERIFY_WITH_TIMEOUT(j.standin.shoot(j.token).value(QStringLiteral("ended")).toBool(), kWaitMs);
        const QJsonObject held = j.standin.shoot(j.token);
        QCOMPARE(held.value(QStringLiteral("wraps")).toInt(), 1);
        QCOMPARE(j.standin.markerIDs(j.token), j.logged);
        QCOMPARE(held.value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());
        // Every request for the shoot (its sync, its wrap) went with the session it was made in.
        const QJsonObject requests = j.standin.state().value(QStringLiteral("requests")).toObject();
        const QString prefix = QStringLiteral("POST /api/logger/shoots/%1/").arg(j.token);
        int seen = 0;
        for (auto it = requests.constBegin(); it != requests.constEnd(); ++it) {
            if (!it.key().startsWith(prefix))
                continue;
            ++seen;
            QCOMPARE(it.value()[QStringLiteral("headers")][QStringLiteral("cookie")].toString(), *session);
        }
        QCOMPARE(seen, 2);

        // The wrapped log is kept without its shoot, as after any wrap: reopened, it would not
        // sync to the shoot that has ended.
        LogSessionStore& store = j.app->root()->findChild<LoggingView*>()->screen().sessions();
        store.waitForLoad();
        const auto kept = std::find_if(store.sessions().cbegin(), store.sessions().cend(),
                                       [&](const LogSession& s) { return s.id == logID; });
        QVERIFY(kept != store.sessions().cend());
        QCOMPARE(kept->entries.size(), 3);
        QCOMPARE(kept->shootToken, std::nullopt);
    }
};

PINDLE_TEST(SignOutSyncTest)
#include "SignOutSyncTest.moc"
