#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAccount.h"
#include "ui/shell/LaunchOptions.h"
#include "ui/shell/LoggerCard.h"
#include "ui/shell/LoggerPrimary.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/shell/LoggerSignInModel.h"
#include "ui/shell/LoggerSignInView.h"
#include "ui/shell/LoggerSpinner.h"
#include "ui/shell/OfflineCard.h"
#include "ui/shell/PindleLoggerApp.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

// An account on a service that is never asked anything: these screens decide from the cookie
// alone.
struct Account {
    QTemporaryDir dir;
    InMemoryCookieStore store;
    Defaults defaults;
    APIService service;
    LoggerAccount account;

    explicit Account(std::optional<QString> cookie, const QString& email = {})
        : store(std::move(cookie)), defaults(prepared(dir, email)),
          service(QStringLiteral("http://127.0.0.1:9"), store), account(service, defaults)
    {
    }

    static QString prepared(const QTemporaryDir& dir, const QString& email)
    {
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        if (!email.isEmpty())
            Defaults(path).set(QString::fromLatin1(LoggerAccount::kEmailKey), email);
        return path;
    }
};

const QString kCookie = QStringLiteral("sid=abc123");

QLabel* labelWithText(QWidget* root, const QString& text)
{
    const QList<QLabel*> labels = root->findChildren<QLabel*>();
    for (QLabel* label : labels) {
        if (label->text() == text)
            return label;
    }
    return nullptr;
}

} // namespace

class RootTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        QApplication::setPalette(QPalette());
        QCoreApplication::processEvents();
    }

    // Without a stored cookie the sign-in card shows at once, offering the last address.
    void signedOutShowsSignIn()
    {
        Account fixture(std::nullopt, QStringLiteral("last@example.com"));
        LoggerRoot root(fixture.account);
        root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&root));
        QCoreApplication::processEvents();
        QCOMPARE(root.screen(), LoggerRoot::Screen::SignIn);
        auto* view = qobject_cast<LoggerSignInView*>(root.page());
        QVERIFY(view);
        QCOMPARE(view->model().email(), QStringLiteral("last@example.com"));
        QCOMPARE(root.findChild<QLineEdit*>(QStringLiteral("emailField"))->text(), QStringLiteral("last@example.com"));
        QCOMPARE(fixture.account.state().kind(), LoggerAccount::State::Kind::SignedOut);
    }

    // A stored cookie shows the spinner until the root's first appearance confirms it; then
    // the signed-in side, which stays empty until the logging screen takes its place.
    void checkingShowsProgressThenSignedIn()
    {
        Account fixture(kCookie);
        QCOMPARE(fixture.account.state().kind(), LoggerAccount::State::Kind::Checking);
        LoggerRoot root(fixture.account);
        QCOMPARE(root.screen(), LoggerRoot::Screen::Progress);
        QVERIFY(root.page()->findChild<LoggerSpinner*>());
        // Nothing is confirmed before the root is shown.
        QCoreApplication::processEvents();
        QCOMPARE(fixture.account.state().kind(), LoggerAccount::State::Kind::Checking);

        root.show();
        QTRY_COMPARE(root.screen(), LoggerRoot::Screen::SignedIn);
        QCOMPARE(fixture.account.state().kind(), LoggerAccount::State::Kind::Allowed);
        QVERIFY(root.page()->isVisible());
        QVERIFY(root.page()->findChildren<QWidget*>().isEmpty());
    }

    void screenFollowsEveryState_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("screen");
        using Kind = LoggerAccount::State::Kind;
        using Screen = LoggerRoot::Screen;
        QTest::newRow("checking") << int(Kind::Checking) << int(Screen::Progress);
        QTest::newRow("signed out") << int(Kind::SignedOut) << int(Screen::SignIn);
        QTest::newRow("offline") << int(Kind::Offline) << int(Screen::Offline);
        QTest::newRow("allowed") << int(Kind::Allowed) << int(Screen::SignedIn);
    }
    void screenFollowsEveryState()
    {
        QFETCH(int, kind);
        QFETCH(int, screen);
        using Kind = LoggerAccount::State::Kind;
        const LoggerAccount::State states[] = {LoggerAccount::State::offline(QStringLiteral("down")),
                                               LoggerAccount::State::signedOut(), LoggerAccount::State::checking(),
                                               LoggerAccount::State::allowed()};
        for (const LoggerAccount::State& state : states) {
            if (state.kind() == Kind(kind))
                QCOMPARE(LoggerRoot::screenFor(state), LoggerRoot::Screen(screen));
        }
    }

    // The account's sentence is shown as it came (never as rich text), under the fixed title;
    // every press of "Try again" is one request to refresh.
    void offlineCardShowsTheMessageVerbatim()
    {
        const QString message = QStringLiteral("No answer from <b>pindle.io</b> & friends.\nCheck the network.");
        OfflineCard card(message);
        card.resize(1180, 800);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        QCOMPARE(card.message(), message);
        QVERIFY(labelWithText(&card, QStringLiteral("Can't reach Pindle")));
        auto* text = card.findChild<QLabel*>(QStringLiteral("offlineMessage"));
        QCOMPARE(text->textFormat(), Qt::PlainText);
        QVERIFY(text->alignment() & Qt::AlignHCenter);
        QVERIFY(text->width() <= LoggerCard::kContentMaxWidth);

        QSignalSpy tries(&card, &OfflineCard::tryAgain);
        auto* button = card.findChild<LoggerPrimary*>();
        QCOMPARE(button->text(), QStringLiteral("Try again"));
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(tries.size(), 2);
    }

    // The column never grows past 420, stays centred, and the card asks for 520 × 560.
    void cardKeepsItsColumn_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("minimum") << 520;
        QTest::newRow("default window") << 1180;
        QTest::newRow("very wide") << 3000;
    }
    void cardKeepsItsColumn()
    {
        QFETCH(int, width);
        auto* content = new QLabel(QStringLiteral("content"));
        LoggerCard card(content);
        QCOMPARE(card.minimumSize(), QSize(520, 560));
        card.resize(width, 800);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        const int expected = std::min(LoggerCard::kContentMaxWidth, width - 2 * LoggerCard::kPadding);
        QCOMPARE(content->width(), expected);
        QVERIFY(std::abs(content->geometry().center().x() - card.rect().center().x()) <= 1);
        card.resize(100, 100);
        QCOMPARE(card.size(), QSize(520, 560));
    }

    // Colours are taken again when the desktop switches between light and dark.
    void followsTheAppearance()
    {
        Account fixture(std::nullopt);
        LoggerRoot root(fixture.account);
        root.show();
        QVERIFY(QTest::qWaitForWindowExposed(&root));
        QLabel* title = labelWithText(&root, QStringLiteral("Pindle Logger"));
        QVERIFY(title);
        auto* email = root.findChild<QLineEdit*>(QStringLiteral("emailField"));

        QPalette dark = QApplication::palette();
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        // The change reaches the window as a posted event.
        QApplication::setPalette(dark);
        QTRY_COMPARE(title->palette().color(QPalette::WindowText), Theme::ink.resolve(Appearance::Dark));
        QCOMPARE(email->palette().color(QPalette::Text), Theme::ink.resolve(Appearance::Dark));

        QPalette light = QApplication::palette();
        light.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
        QApplication::setPalette(light);
        QTRY_COMPARE(title->palette().color(QPalette::WindowText), Theme::ink.resolve(Appearance::Light));
        QCOMPARE(email->palette().color(QPalette::Text), Theme::ink.resolve(Appearance::Light));
    }

    void windowAndMenus()
    {
        Account fixture(std::nullopt);
        PindleLoggerApp app(fixture.account);
        QMainWindow* window = app.window();
        QCOMPARE(window->windowTitle(), QStringLiteral("Pindle Logger"));
        QCOMPARE(window->size(), QSize(1180, 800));
        QCOMPARE(window->centralWidget(), app.root());
        QCOMPARE(app.root()->palette().color(QPalette::Link), Theme::coral);

        // The application menu: About, then Sign out (hidden while signed out).
        const QList<QAction*> items = app.applicationMenu()->actions();
        QVERIFY(items.size() >= 2);
        QCOMPARE(items.at(0)->text(), QStringLiteral("About Pindle Logger"));
        QCOMPARE(items.at(1), app.signOutAction());
        QCOMPARE(app.signOutAction()->text(), QStringLiteral("Sign out"));
        QVERIFY(app.signOutAction()->shortcut().isEmpty());
        QVERIFY(!app.signOutAction()->isVisible());

        // There is one window: nothing anywhere makes a new one.
        const QList<QAction*> all = window->findChildren<QAction*>();
        for (const QAction* action : all) {
            QVERIFY2(!action->text().remove(u'&').startsWith(QLatin1String("New")), qPrintable(action->text()));
            QVERIFY(action->shortcut() != QKeySequence(QKeySequence::New));
        }
    }

    // "Sign out" is there in every state but signed out, and signing out forgets the cookie
    // for good without touching the address.
    void signOutFromCheckingAndAllowed_data()
    {
        QTest::addColumn<bool>("showFirst");
        QTest::newRow("while checking") << false;
        QTest::newRow("once allowed") << true;
    }
    void signOutFromCheckingAndAllowed()
    {
        QFETCH(bool, showFirst);
        Account fixture(kCookie, QStringLiteral("ada@example.com"));
        PindleLoggerApp app(fixture.account);
        QVERIFY(app.signOutAction()->isVisible());
        if (showFirst) {
            app.window()->show();
            QTRY_COMPARE(app.root()->screen(), LoggerRoot::Screen::SignedIn);
            QVERIFY(app.signOutAction()->isVisible());
        }
        const int loads = fixture.store.loadCount();

        app.signOutAction()->trigger();
        QCOMPARE(fixture.account.state().kind(), LoggerAccount::State::Kind::SignedOut);
        QCOMPARE(app.root()->screen(), LoggerRoot::Screen::SignIn);
        QVERIFY(!app.signOutAction()->isVisible());
        fixture.service.waitForCookieWrites();
        QCOMPARE(fixture.store.stored(), std::optional<QString>());
        QVERIFY(!fixture.service.sessionCookie());
        QCOMPARE(fixture.store.loadCount(), loads);
        QCOMPARE(fixture.account.email(), QStringLiteral("ada@example.com"));
        auto* view = qobject_cast<LoggerSignInView*>(app.root()->page());
        QVERIFY(view);
        QCOMPARE(view->model().email(), QStringLiteral("ada@example.com"));
        QVERIFY(!view->model().sent());
    }

    void launchOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("demo");
        QTest::newRow("none") << QStringList{"pindle-logger"} << false;
        QTest::newRow("demo") << QStringList{"pindle-logger", "--demo"} << true;
        QTest::newRow("demo after unknown") << QStringList{"pindle-logger", "--bogus", "--demo"} << true;
        QTest::newRow("stray argument") << QStringList{"pindle-logger", "file.txt", "--demo"} << true;
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
