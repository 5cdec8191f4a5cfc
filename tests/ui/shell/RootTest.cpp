#include "ShellFixture.h"
#include "common/TestMain.h"

#include "screens/LoggerSignInModel.h"
#include "service/LoggerAccount.h"
#include "ui/shell/LaunchOptions.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/shell/LoggerSignInView.h"
#include "ui/shell/OfflineCard.h"
#include "ui/shell/PindleLoggerApp.h"
#include "ui/theme/LoggerCard.h"
#include "ui/theme/LoggerPrimary.h"
#include "ui/theme/LoggerSpinner.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QSignalSpy>

class RootTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        QApplication::setPalette(QPalette());
        QCoreApplication::processEvents();
    }

    // A stored cookie shows the spinner until the root's first appearance confirms it; then
    // the signed-in side, empty until the logging screen takes its place.
    void checkingShowsProgressThenSignedIn()
    {
        ShellFixture fixture(QStringLiteral("sid=abc123"));
        LoggerRoot root(fixture.account);
        QCOMPARE(root.screen(), LoggerRoot::Screen::Progress);
        QVERIFY(root.page()->findChild<LoggerSpinner*>());
        QCoreApplication::processEvents();
        QCOMPARE(fixture.account.state().kind(), LoggerAccount::State::Kind::Checking);
        root.show();
        QTRY_COMPARE(root.screen(), LoggerRoot::Screen::SignedIn);
        QCOMPARE(fixture.account.state().kind(), LoggerAccount::State::Kind::Allowed);
        QVERIFY(root.page()->findChildren<QWidget*>().isEmpty());
    }

    // The account's sentence is shown as it came, never as rich text; every press of "Try
    // again" is one request to refresh.
    void offlineCardShowsTheMessageVerbatim()
    {
        const QString message = QStringLiteral("No answer from <b>pindle.io</b> & friends.\nCheck the network.");
        OfflineCard card(message);
        card.resize(1180, 800);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        auto* text = card.findChild<QLabel*>(QStringLiteral("offlineMessage"));
        QCOMPARE(text->text(), message);
        QCOMPARE(text->textFormat(), Qt::PlainText);
        QVERIFY(text->width() <= LoggerCard::kContentMaxWidth);
        QSignalSpy tries(&card, &OfflineCard::tryAgain);
        QTest::mouseClick(card.findChild<LoggerPrimary*>(), Qt::LeftButton);
        QTest::mouseClick(card.findChild<LoggerPrimary*>(), Qt::LeftButton);
        QCOMPARE(tries.size(), 2);
    }

    // Without a stored cookie the sign-in card shows at once, offering the last address; its
    // colours are taken again when the desktop switches between light and dark.
    void signedOutShowsSignInInEitherAppearance()
    {
        ShellFixture fixture(std::nullopt, QStringLiteral("last@example.com"));
        LoggerRoot root(fixture.account);
        root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&root));
        QCOMPARE(root.screen(), LoggerRoot::Screen::SignIn);
        auto* email = root.findChild<QLineEdit*>(QStringLiteral("emailField"));
        QCOMPARE(email->text(), QStringLiteral("last@example.com"));
        QLabel* title = root.findChildren<QLabel*>().value(0);
        QCOMPARE(title->text(), QStringLiteral("Pindle Logger"));
        for (const auto& [window, appearance] : {std::pair(QColor(0x20, 0x20, 0x20), Appearance::Dark),
                                                 std::pair(QColor(0xF0, 0xF0, 0xF0), Appearance::Light)}) {
            QPalette palette = QApplication::palette();
            palette.setColor(QPalette::Window, window);
            QApplication::setPalette(palette); // reaches the window as a posted event
            QTRY_COMPARE(title->palette().color(QPalette::WindowText), Theme::ink.resolve(appearance));
            QCOMPARE(email->palette().color(QPalette::Text), Theme::ink.resolve(appearance));
        }
    }

    // One window, nothing makes a new one; "Sign out" follows the application menu's About.
    void windowAndMenus()
    {
        ShellFixture fixture;
        PindleLoggerApp app(fixture.account, {}, fixture.screen());
        QCOMPARE(app.window()->centralWidget(), app.root());
        const QList<QAction*> items = app.applicationMenu()->actions();
        QCOMPARE(items.value(1), app.signOutAction());
        QVERIFY(!app.signOutAction()->isVisible());
        const QList<QAction*> all = app.window()->findChildren<QAction*>();
        for (const QAction* action : all) {
            QVERIFY2(!action->text().remove(u'&').startsWith(QLatin1String("New")), qPrintable(action->text()));
            QVERIFY(action->shortcut() != QKeySequence(QKeySequence::New));
        }
    }

    // "Sign out" is there in every state but signed out, and forgets the cookie for good
    // without touching the address.
    void signOutFromCheckingAndAllowed_data()
    {
        QTest::addColumn<bool>("showFirst");
        QTest::newRow("while checking") << false;
        QTest::newRow("once allowed") << true;
    }
    void signOutFromCheckingAndAllowed()
    {
        QFETCH(bool, showFirst);
        ShellFixture fixture(QStringLiteral("sid=abc123"), QStringLiteral("ada@example.com"));
        PindleLoggerApp app(fixture.account, {}, fixture.screen());
        QVERIFY(app.signOutAction()->isVisible());
        if (showFirst) {
            app.window()->show();
            QTRY_COMPARE(app.root()->screen(), LoggerRoot::Screen::SignedIn);
            QVERIFY(app.signOutAction()->isVisible());
        }
        const int loads = fixture.store.loadCount();
        app.signOutAction()->trigger();
        QCOMPARE(app.root()->screen(), LoggerRoot::Screen::SignIn);
        QVERIFY(!app.signOutAction()->isVisible());
        fixture.service.waitForCookieWrites();
        QCOMPARE(fixture.store.stored(), std::optional<QString>());
        QVERIFY(!fixture.service.sessionCookie());
        QCOMPARE(fixture.store.loadCount(), loads);
        auto* view = qobject_cast<LoggerSignInView*>(app.root()->page());
        QVERIFY(view);
        QCOMPARE(view->model().email(), QStringLiteral("ada@example.com"));
        QVERIFY(!view->model().sent());
    }

    void launchOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("demo");
        QTest::newRow("demo after unknown and stray") << QStringList{"pindle-logger", "--bogus", "x", "--demo"} << true;
        QTest::newRow("demo as a value") << QStringList{"pindle-logger", "--", "--demo"} << false;
        QTest::newRow("empty") << QStringList{} << false;
    }
    void launchOptions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, demo);
        QCOMPARE(LaunchOptions::parse(arguments).demo, demo);
    }
};

PINDLE_TEST(RootTest)
#include "RootTest.moc"
