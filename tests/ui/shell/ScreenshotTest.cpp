#include "ShellFixture.h"
#include "common/StandinProcess.h"
#include "common/Screenshots.h"
#include "common/TestMain.h"

#include "ui/shell/LoggerRoot.h"
#include "ui/shell/PindleLoggerApp.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>

// Pictures of the account screens for a person to look at. Runs only when
// PINDLE_SCREENSHOTS names a folder to write them to.
class ScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Skipped per test: a skip in initTestCase would leave Qt Test skipping the classes that
    // run after this one in the same executable.
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void signInScreens()
    {
        StandinProcess standin;
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        ShellFixture shell(std::nullopt, QString(), standin.baseUrl().toString());
        PindleLoggerApp app(shell.account, {}, shell.screen());
        app.window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(app.window()));
        save(app.window(), QStringLiteral("signin.png"));

        auto* email = app.root()->findChild<QLineEdit*>(QStringLiteral("emailField"));
        QTest::keyClicks(email, QStringLiteral("ada@example.com"));
        QTest::keyClick(email, Qt::Key_Return);
        auto* code = app.root()->findChild<QLineEdit*>(QStringLiteral("codeField"));
        QTRY_VERIFY(code->isVisible());
        QTest::keyClicks(code, QStringLiteral("12"));
        QTest::keyClick(code, Qt::Key_Return);
        save(app.window(), QStringLiteral("signin-code.png"));

        screenshots::setDark(true);
        save(app.window(), QStringLiteral("signin-code-dark.png"));
    }

private:
    void save(QWidget* widget, const QString& name) { QVERIFY(screenshots::save(widget, m_folder, name)); }

    QString m_folder;
};

PINDLE_TEST(ScreenshotTest)
#include "ScreenshotTest.moc"
