#include "common/Screenshots.h"
#include "common/TestMain.h"
#include "screens/ScreenRig.h"

#include "platform/MotionPreference.h"
#include "ui/logging/LoggingView.h"

#include <QApplication>
#include <QDir>

// Pictures of the logging screen for a person to look at, at the window's default, a large, a
// narrow and the minimum size (the narrow ones on the Transcript tab, where the mixer is),
// light and dark. Runs only when PINDLE_SCREENSHOTS names a folder to write them to.
class LoggingViewScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
        // The screen at rest: rows and strips in place, not caught half way in.
        MotionPreference::shared().setReduceMotion(true);
    }
    void cleanup()
    {
        screenshots::setDark(false);
        MotionPreference::shared().setReduceMotion(false);
    }

    void loggingScreen_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("dark");
        const struct {
            const char* name;
            QSize size;
            int tab;
        } windows[] = {{"default", {1180, 800}, 0},
                       {"large", {1400, 900}, 0},
                       {"narrow-transcript", {700, 800}, 1},
                       {"minimum-transcript", {420, 560}, 1},
                       {"minimum", {420, 560}, 0}};
        for (const auto& window : windows)
            for (const bool dark : {false, true})
                QTest::newRow(qPrintable(QStringLiteral("%1-%2").arg(
                    QLatin1String(window.name), dark ? QStringLiteral("dark") : QStringLiteral("light"))))
                    << window.size << window.tab << dark;
    }
    void loggingScreen()
    {
        QFETCH(QSize, size);
        QFETCH(int, tab);
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        screen_test::RigParts parts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000);
        LoggingView view(parts.environment(true));
        view.screen().setTab(tab);
        view.resize(size);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        LoggingScreenModel& screen = view.screen();
        screen.toggleLogging();
        for (int i = 0; i < 6; ++i)
            parts.clock.advance(std::chrono::milliseconds(parts.lineMs));
        screen.toggleLogging();
        const QList<LogButton> visible = screen.buttons().visible();
        for (const LogButton& button : visible) {
            screen.tapButton(button);
            if (screen.pickingFor())
                screen.applyPickedLines();
        }
        screen.log().setNote(screen.log().entries().at(1).id, QStringLiteral("Wide, keep the boat in frame"));
        screen.log().addTag(screen.tags().available().value(0), screen.log().entries().at(0).id);
        screen.tapButton(LogButton{QStringLiteral("broll"), QStringLiteral("In / Out"), true, 10});
        parts.clock.advance(std::chrono::seconds(2));
        screen.selectLine(screen.transcriber().segments().at(3).id);
        parts.clock.advance(std::chrono::milliseconds(0));
        QTest::qWait(400);
        const QString name = QStringLiteral("logging-%1.png").arg(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(screenshots::save(&view, m_folder, name));
    }

    // A new log before any entry: the Export menu is there but cannot be opened yet.
    void emptyScreen_data() { screenshots::addAppearances(); }
    void emptyScreen()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        screen_test::RigParts parts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000);
        LoggingView view(parts.environment(true));
        view.resize(1180, 800);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTest::qWait(400);
        const QString name = QStringLiteral("logging-empty-%1.png").arg(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(screenshots::save(&view, m_folder, name));
    }

private:
    QString m_folder;
};

PINDLE_TEST(LoggingViewScreenshotTest)
#include "LoggingViewScreenshotTest.moc"
