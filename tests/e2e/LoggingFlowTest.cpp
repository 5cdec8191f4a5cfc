#include "common/StandinProcess.h"
#include "common/TestMain.h"
#include "ui/shell/ShellFixture.h"

#include "ui/logging/ButtonBar.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/shell/PindleLoggerApp.h"

#include <QLineEdit>
#include <QListView>
#include <QMainWindow>

namespace {

constexpr int kWaitMs = 20000;

} // namespace

// The whole application against the stand-in: a new user signs in through the card, logs the
// demo shoot with the button bar and Ctrl+digit, gets summaries back, and finds the log saved
// when the application starts again.
class LoggingFlowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void signInLogAndRestart()
    {
        StandinProcess standin;
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        ShellFixture shell(std::nullopt, QString(), standin.baseUrl().toString());
        LoggingScreenEnvironment env = shell.screen();
        env.transcriber.demoLineIntervalMs = 150;
        LaunchOptions demo;
        demo.demo = true;

        auto app = std::make_unique<PindleLoggerApp>(shell.account, demo, env);
        app->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app->window()));
        signIn(*app, standin.code());
        auto* view = app->root()->findChild<LoggingView*>();
        QVERIFY(view);
        QVERIFY(view->isVisible());
        QTRY_VERIFY(app->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QCOMPARE(app->window()->windowTitle(), QStringLiteral("Pindle Logger"));

        // Start comes with the header; the screen's own command starts the demo shoot.
        LoggingScreenModel& screen = view->screen();
        screen.toggleLogging();
        QTRY_VERIFY_WITH_TIMEOUT(screen.transcriber().segments().size() >= 4, kWaitMs);

        MarkerChipButton* first = view->buttonBar()->chipButton(0);
        QVERIFY(first);
        QTest::mouseClick(first, Qt::LeftButton);
        saveTickedLines(screen);
        QTest::keyClick(app->window(), Qt::Key_2, Qt::ControlModifier);
        saveTickedLines(screen);
        const QList<LogEntry> entries = screen.log().entries();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).type, view->buttonBar()->chipButton(0)->chip().button.kind);
        QCOMPARE(entries.at(1).type, view->buttonBar()->chipButton(1)->chip().button.kind);
        auto* rows = view->findChild<QListView*>();
        QVERIFY(rows);
        QCOMPARE(rows->model()->rowCount(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(summarised(screen), kWaitMs);
        screen.toggleLogging();
        QTRY_VERIFY(!screen.transcriber().running());

        // A restart reads the log back: same entries, same summaries.
        const QUuid session = screen.log().id();
        const QList<LogEntry> logged = screen.log().entries();
        app.reset();
        app = std::make_unique<PindleLoggerApp>(shell.account, demo, env);
        app->window()->show();
        QTRY_COMPARE(app->root()->screen(), LoggerRoot::Screen::SignedIn);
        auto* again = app->root()->findChild<LoggingView*>();
        QVERIFY(again);
        LogSessionStore& sessions = again->screen().sessions();
        sessions.waitForLoad();
        const auto it = std::find_if(sessions.sessions().cbegin(), sessions.sessions().cend(),
                                     [&](const LogSession& s) { return s.id == session; });
        QVERIFY(it != sessions.sessions().cend());
        QCOMPARE(it->entries.size(), 2);
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(it->entries.at(i).id, logged.at(i).id);
            QCOMPARE(it->entries.at(i).summary, logged.at(i).summary);
        }
        QVERIFY(it->transcript.value_or(QList<LogLine>{}).size() >= 4);
    }

private:
    static void signIn(PindleLoggerApp& app, const QString& code)
    {
        auto* email = app.root()->findChild<QLineEdit*>(QStringLiteral("emailField"));
        QVERIFY(email);
        QTest::keyClicks(email, QStringLiteral("ada@example.com"));
        QTest::keyClick(email, Qt::Key_Return);
        QLineEdit* codeField = nullptr;
        QTRY_VERIFY((codeField = app.root()->findChild<QLineEdit*>(QStringLiteral("codeField"))) &&
                    codeField->isVisible());
        QTest::keyClicks(codeField, code);
        QTest::keyClick(codeField, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(app.root()->screen(), LoggerRoot::Screen::SignedIn, kWaitMs);
    }

    // A press with lines in its window opens the line picker, all ticked; its Save sends them for
    // a summary. (The demo's presses grab no words of their own: only streams hear words.)
    static void saveTickedLines(LoggingScreenModel& screen)
    {
        QVERIFY(screen.pickingFor());
        QVERIFY(!screen.pickIDs().isEmpty());
        screen.applyPickedLines();
    }

    static bool summarised(LoggingScreenModel& screen)
    {
        for (const LogEntry& entry : screen.log().entries())
            if (entry.summarising || entry.summary.isEmpty())
                return false;
        return true;
    }
};

PINDLE_TEST(LoggingFlowTest)
#include "LoggingFlowTest.moc"
