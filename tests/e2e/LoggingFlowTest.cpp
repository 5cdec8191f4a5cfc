#include "common/StandinProcess.h"
#include "common/TestMain.h"
#include "e2e/ShellSteps.h"
#include "ui/shell/ShellFixture.h"

#include "screens/TranscriptListModel.h"
#include "ui/logging/ButtonBar.h"
#include "ui/logging/ComposerView.h"
#include "ui/logging/LogPaneView.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/logging/TranscriptListView.h"
#include "ui/logging/TranscriptPaneView.h"
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
        e2e::signIn(*app, standin.code());
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
        // A line clicked in the transcript, a note typed under it, Enter.
        TranscriptListView* lines = view->transcriptPane()->listView();
        // The first line no entry holds yet, scrolled into view.
        QModelIndex free;
        const auto findFree = [&] {
            for (int row = 0; row < lines->model()->rowCount(); ++row) {
                free = lines->model()->index(row, 0);
                if (free.data(TranscriptListModel::UseRole).toInt() == int(LineUse::State::Unused))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(findFree(), kWaitMs);
        const QString firstLine = free.data(TranscriptListModel::IdRole).toString();
        app->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app->window()));
        lines->scrollTo(free);
        QTest::mouseClick(lines->viewport(), Qt::LeftButton, {}, lines->visualRect(free).topLeft() + QPoint(12, 12));
        QTRY_COMPARE(screen.composingLine(), std::optional(firstLine));
        QTRY_VERIFY(view->composer()->noteField()->hasFocus());
        QTest::keyClicks(view->composer()->noteField(), QStringLiteral("wide on the boat"));
        QTest::keyClick(view->composer()->noteField(), Qt::Key_Return);
        QVERIFY(!screen.composingLine());

        const QList<LogEntry> entries = screen.log().entries().toList();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries.at(2).lineID, std::optional(firstLine));
        QCOMPARE(entries.at(2).note, QStringLiteral("wide on the boat"));
        QCOMPARE(entries.at(0).type, view->buttonBar()->chipButton(0)->chip().button.kind);
        QCOMPARE(entries.at(1).type, view->buttonBar()->chipButton(1)->chip().button.kind);
        QListView* rows = view->logPane()->listView();
        QVERIFY(rows);
        QCOMPARE(rows->model()->rowCount(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(summarised(screen), kWaitMs);
        screen.toggleLogging();
        QTRY_VERIFY(!screen.transcriber().running());

        // A restart reads the log back: same entries, same summaries.
        const QUuid session = screen.log().id();
        const QList<LogEntry> logged = screen.log().entries().toList();
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
        QCOMPARE(it->entries.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(it->entries.at(i).id, logged.at(i).id);
            QCOMPARE(it->entries.at(i).summary, logged.at(i).summary);
        }
        // The marked entries keep the lines they quote.
        QVERIFY(it->entries.at(0).lineIDs && !it->entries.at(0).lineIDs->isEmpty());
        QCOMPARE(it->entries.at(2).lineID, logged.at(2).lineID);
        QVERIFY(it->transcript.value_or(QList<LogLine>{}).size() >= 4);
    }

private:
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
