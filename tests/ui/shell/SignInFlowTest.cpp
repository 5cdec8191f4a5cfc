#include "ShellFixture.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "service/APIService.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/shell/PindleLoggerApp.h"
#include "ui/theme/LinkButton.h"
#include "ui/theme/LoggerPrimary.h"

#include <QAccessible>
#include <QAction>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>

#include <memory>

namespace {

const QString kEmail = QStringLiteral("ada@example.com");
const QString kLoginPath = QStringLiteral("POST /auth/login");
const QString kVerifyPath = QStringLiteral("POST /auth/verify");

} // namespace

// The sign-in card driven through its real widgets, against a real stand-in service.
class SignInFlowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_shell = std::make_unique<ShellFixture>(std::nullopt, QString(), m_standin->baseUrl().toString());
        m_app = std::make_unique<PindleLoggerApp>(m_shell->account, LaunchOptions{}, m_shell->screen());
        m_app->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_app->window()));
        QCOMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignIn);
    }

    void cleanup()
    {
        m_app.reset();
        m_shell.reset();
        m_standin.reset();
    }

    // E-mail, code, signed in: the root shows the signed-in side and "Sign out" appears;
    // signing out comes back to a fresh card with the address offered again. Every control is
    // read out by what it shows, the primary button by its current title.
    void signsInEndToEnd()
    {
        QVERIFY(!m_app->signOutAction()->isVisible());
        QTest::keyClicks(field("emailField"), QStringLiteral("  ") + kEmail + QStringLiteral(" "));
        QTest::mouseClick(primary(), Qt::LeftButton);
        QCOMPARE(primary()->text(), QStringLiteral("Sending\u2026"));
        QCOMPARE(spoken(primary()), primary()->text());
        QVERIFY(!primary()->isEnabled());
        QTRY_VERIFY(field("codeField")->isVisible());
        QVERIFY(!field("emailField")->isVisible());
        QCOMPARE(spoken(field("emailField")), QStringLiteral("you@example.com"));
        QCOMPARE(spoken(field("codeField")), QStringLiteral("6-digit code"));
        QCOMPARE(spoken(m_app->root()->findChild<LinkButton*>()), QStringLiteral("Use a different email"));
        QCOMPARE(spoken(primary()), QStringLiteral("Sign in"));
        QCOMPARE(requestBody(kLoginPath).value(QStringLiteral("email")).toString(), kEmail);
        QVERIFY(label(QStringLiteral("We sent a code to   ada@example.com . Type it in.")));

        // Typed in two groups, sent as the six digits.
        const QString code = m_standin->code();
        QTest::keyClicks(field("codeField"), code.left(3) + QStringLiteral(" - ") + code.mid(3));
        QTest::mouseClick(primary(), Qt::LeftButton);
        QCOMPARE(primary()->text(), QStringLiteral("Checking\u2026"));
        QTRY_COMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignedIn);
        QCOMPARE(requestBody(kVerifyPath).value(QStringLiteral("code")).toString(), code);
        QVERIFY(m_app->signOutAction()->isVisible());
        m_shell->service.waitForCookieWrites();
        QVERIFY(m_shell->store.stored().has_value());

        m_app->signOutAction()->trigger();
        QCOMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignIn);
        QCOMPARE(field("emailField")->text(), kEmail);
        QVERIFY(field("emailField")->isVisible());
    }

    // Text an assistive tool writes into a field (no typing, so no edit to Qt) is what the card
    // sends, and its press on the button is a click: it signs in without a key pressed.
    void assistiveToolSignsIn()
    {
        const auto write = [](QLineEdit* field, const QString& text) {
            QAccessibleInterface* read = QAccessible::queryAccessibleInterface(field);
            read->editableTextInterface()->replaceText(0, int(field->text().size()), text);
        };
        const auto pressPrimary = [this] {
            QAccessible::queryAccessibleInterface(primary())->actionInterface()->doAction(
                QAccessibleActionInterface::pressAction());
        };
        write(field("emailField"), kEmail);
        QCOMPARE(field("emailField")->text(), kEmail);
        QVERIFY(primary()->isEnabled());
        pressPrimary();
        QTRY_VERIFY(field("codeField")->isVisible());
        QCOMPARE(requestBody(kLoginPath).value(QStringLiteral("email")).toString(), kEmail);
        write(field("codeField"), m_standin->code());
        pressPrimary();
        QTRY_COMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignedIn);
        QCOMPARE(requestBody(kVerifyPath).value(QStringLiteral("code")).toString(), m_standin->code());
    }

    // Return in the fields runs the step's action once, even when pressed again while busy.
    void returnKeyDrivesBothSteps()
    {
        m_standin->control(QStringLiteral("fault"), {{"path", "/auth/login"}, {"kind", "slow"}, {"delay_ms", 800}});
        QTest::keyClicks(field("emailField"), kEmail);
        QTest::keyClick(field("emailField"), Qt::Key_Return);
        QCOMPARE(primary()->text(), QStringLiteral("Sending\u2026"));
        QTest::keyClick(field("emailField"), Qt::Key_Return);
        QTest::keyClick(field("emailField"), Qt::Key_Enter);
        QTest::mouseClick(primary(), Qt::LeftButton);
        QTRY_VERIFY(field("codeField")->isVisible());
        QCOMPARE(requestCount(kLoginPath), 1);

        m_standin->control(QStringLiteral("fault"), {{"path", "/auth/verify"}, {"kind", "slow"}, {"delay_ms", 800}});
        QTest::keyClicks(field("codeField"), m_standin->code());
        QTest::keyClick(field("codeField"), Qt::Key_Return);
        QCOMPARE(primary()->text(), QStringLiteral("Checking\u2026"));
        QTest::keyClick(field("codeField"), Qt::Key_Return);
        QTest::mouseClick(primary(), Qt::LeftButton);
        QTRY_COMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignedIn);
        QCOMPARE(requestCount(kVerifyPath), 1);
    }

    // Each kind of failure, through its own path, ends idle with the sentence in place.
    void failuresShowInPlace_data()
    {
        QTest::addColumn<bool>("atLogin");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QByteArray>("controlBody");
        QTest::addColumn<QString>("typedCode"); // empty: the right one
        QTest::addColumn<QString>("message");
        const QString sendFailed = QStringLiteral("Couldn't send the code. Check the email and try again.");
        const QString rejected = QStringLiteral("That code didn't work. Check it, or ask for a new one.");
        const auto row = [](const char* name, bool atLogin, const char* control, const char* body, const char* code,
                            const QString& message) {
            QTest::newRow(name) << atLogin << QString::fromLatin1(control) << QByteArray(body)
                                << QString::fromLatin1(code) << message;
        };
        row("login 500", true, "fault", R"({"path":"/auth/login","kind":"status","status":500})", "", sendFailed);
        row("login dropped", true, "fault", R"({"path":"/auth/login","kind":"drop","count":-1})", "", sendFailed);
        row("wrong code", false, "", "", "111111", rejected);
        row("verify slow then 503", false, "fault",
            R"({"path":"/auth/verify","kind":"status","status":503,"delay_ms":1200})", "", rejected);
        row("accepted without a cookie", false, "verify-mode", R"({"sid":false,"set_cookie":false})", "",
            QString::fromLatin1(APIService::kNoSessionText));
    }
    void failuresShowInPlace()
    {
        QFETCH(bool, atLogin);
        QFETCH(QString, control);
        QFETCH(QByteArray, controlBody);
        QFETCH(QString, typedCode);
        QFETCH(QString, message);
        if (atLogin)
            m_standin->control(control, QJsonDocument::fromJson(controlBody).object());
        QTest::keyClicks(field("emailField"), kEmail);
        QTest::mouseClick(primary(), Qt::LeftButton);
        if (atLogin) {
            QTRY_VERIFY(primary()->isEnabled());
            QCOMPARE(primary()->text(), QStringLiteral("Email me a code"));
            QVERIFY(field("emailField")->isVisible());
            QCOMPARE(errorText(), message);
            return;
        }
        QTRY_VERIFY(field("codeField")->isVisible());
        if (!control.isEmpty())
            m_standin->control(control, QJsonDocument::fromJson(controlBody).object());
        QTest::keyClicks(field("codeField"), typedCode.isEmpty() ? m_standin->code() : typedCode);
        QTest::mouseClick(primary(), Qt::LeftButton);
        QVERIFY(!primary()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(primary()->isEnabled(), 10000); // a slow answer may take over a second
        QCOMPARE(primary()->text(), QStringLiteral("Sign in"));
        QCOMPARE(errorText(), message);
        QVERIFY(field("codeField")->isVisible());
        QCOMPARE(m_shell->account.state().kind(), LoggerAccount::State::Kind::SignedOut);
        QVERIFY(!m_app->signOutAction()->isVisible());
    }

    // Input checks answer in place and send nothing; other scripts' digits are no code.
    void inputChecksSendNothing()
    {
        QTest::keyClicks(field("emailField"), QStringLiteral("ada.example.com"));
        QTest::mouseClick(primary(), Qt::LeftButton);
        QCOMPARE(errorText(), QStringLiteral("That doesn't look like an email."));
        field("emailField")->clear();
        QTest::keyClicks(field("emailField"), kEmail);
        QTest::keyClick(field("emailField"), Qt::Key_Return);
        QTRY_VERIFY(field("codeField")->isVisible());
        QCOMPARE(errorText(), QString()); // cleared when the request started

        // One key press per character, as an Arabic keyboard layout would send them: three digits
        // are too few.
        for (const QChar c : QStringLiteral("\u0664\u0662\u0664"))
            QTest::sendKeyEvent(QTest::Click, field("codeField"), Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::keyClick(field("codeField"), Qt::Key_Return);
        QCOMPARE(errorText(), QStringLiteral("Type the code from the email."));
        QCOMPARE(requestCount(kVerifyPath), 0);

        // Back to the address: the code field is empty the next time round.
        QTest::mouseClick(m_app->root()->findChild<LinkButton*>(), Qt::LeftButton);
        QCOMPARE(field("emailField")->text(), kEmail);
        QTest::mouseClick(primary(), Qt::LeftButton);
        QTRY_VERIFY(field("codeField")->isVisible());
        QCOMPARE(field("codeField")->text(), QString());
        QCOMPARE(requestCount(kLoginPath), 2);
    }

private:
    [[nodiscard]] static QString spoken(QWidget* widget)
    {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }
    [[nodiscard]] QLineEdit* field(const char* name) const
    {
        return m_app->root()->findChild<QLineEdit*>(QLatin1String(name));
    }
    [[nodiscard]] LoggerPrimary* primary() const { return m_app->root()->page()->findChild<LoggerPrimary*>(); }

    // The error line's text; empty while it is hidden.
    [[nodiscard]] QString errorText() const
    {
        auto* error = m_app->root()->page()->findChild<QLabel*>(QStringLiteral("signInError"));
        return error->isVisible() ? error->text() : QString();
    }

    [[nodiscard]] QLabel* label(const QString& text) const
    {
        const QList<QLabel*> labels = m_app->root()->page()->findChildren<QLabel*>();
        for (QLabel* candidate : labels) {
            if (candidate->text() == text && candidate->textFormat() == Qt::PlainText)
                return candidate;
        }
        return nullptr;
    }

    [[nodiscard]] QJsonObject request(const QString& route)
    {
        return m_standin->state().value(QStringLiteral("requests")).toObject().value(route).toObject();
    }
    [[nodiscard]] int requestCount(const QString& route)
    {
        return request(route).value(QStringLiteral("count")).toInt();
    }
    [[nodiscard]] QJsonObject requestBody(const QString& route)
    {
        return QJsonDocument::fromJson(request(route).value(QStringLiteral("body")).toString().toUtf8()).object();
    }

    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<ShellFixture> m_shell;
    std::unique_ptr<PindleLoggerApp> m_app;
};

PINDLE_TEST(SignInFlowTest)
#include "SignInFlowTest.moc"
