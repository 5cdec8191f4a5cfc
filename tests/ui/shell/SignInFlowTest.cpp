#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAccount.h"
#include "ui/shell/LinkButton.h"
#include "ui/shell/LoggerPrimary.h"
#include "ui/shell/LoggerRoot.h"
#include "ui/shell/LoggerSignInModel.h"
#include "ui/shell/LoggerSignInView.h"
#include "ui/shell/PindleLoggerApp.h"

#include <QAction>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QTemporaryDir>

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
        m_dir = std::make_unique<QTemporaryDir>();
        m_store = std::make_unique<InMemoryCookieStore>();
        m_defaults = std::make_unique<Defaults>(m_dir->filePath(QStringLiteral("defaults.json")));
        m_service = std::make_unique<APIService>(m_standin->baseUrl().toString(), *m_store);
        m_account = std::make_unique<LoggerAccount>(*m_service, *m_defaults);
        m_app = std::make_unique<PindleLoggerApp>(*m_account);
        m_app->window()->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_app->window()));
        QCOMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignIn);
    }

    void cleanup()
    {
        if (m_service)
            m_service->waitForCookieWrites();
        m_app.reset();
        m_account.reset();
        m_service.reset();
        m_defaults.reset();
        m_store.reset();
        m_dir.reset();
        m_standin.reset();
    }

    // E-mail, code, signed in: the root shows the signed-in side and "Sign out" appears.
    void signsInEndToEnd()
    {
        QVERIFY(!m_app->signOutAction()->isVisible());
        QTest::keyClicks(emailField(), QStringLiteral("  ") + kEmail + QStringLiteral(" "));
        QCOMPARE(primary()->text(), QStringLiteral("Email me a code"));
        QTest::mouseClick(primary(), Qt::LeftButton);
        QCOMPARE(primary()->text(), QStringLiteral("Sending\u2026"));
        QVERIFY(!primary()->isEnabled());

        QTRY_VERIFY(codeField()->isVisible());
        QVERIFY(!emailField()->isVisible());
        QCOMPARE(requestCount(kLoginPath), 1);
        QCOMPARE(requestBody(kLoginPath).value(QStringLiteral("email")).toString(), kEmail);
        QCOMPARE(m_account->email(), kEmail);
        QVERIFY(label(QStringLiteral("We sent a code to   ada@example.com . Type it in.")));
        QCOMPARE(primary()->text(), QStringLiteral("Sign in"));

        // Typed in two groups, sent as the six digits.
        const QString code = m_standin->code();
        QTest::keyClicks(codeField(), code.left(3) + QStringLiteral(" - ") + code.mid(3));
        QTest::mouseClick(primary(), Qt::LeftButton);
        QCOMPARE(primary()->text(), QStringLiteral("Checking\u2026"));
        QTRY_COMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignedIn);
        QCOMPARE(requestBody(kVerifyPath).value(QStringLiteral("code")).toString(), code);
        QCOMPARE(m_account->state().kind(), LoggerAccount::State::Kind::Allowed);
        QVERIFY(m_app->signOutAction()->isVisible());
        m_service->waitForCookieWrites();
        QVERIFY(m_store->stored().has_value());

        // Signing out comes back to a fresh card with the address offered again.
        m_app->signOutAction()->trigger();
        QCOMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignIn);
        QCOMPARE(emailField()->text(), kEmail);
        QVERIFY(emailField()->isVisible());
    }

    // Return in the fields runs the step's action, once, even when pressed again while busy.
    void returnKeyDrivesBothSteps()
    {
        m_standin->control(QStringLiteral("fault"), {{"path", "/auth/login"}, {"kind", "slow"}, {"delay_ms", 800}});
        QTest::keyClicks(emailField(), kEmail);
        QTest::keyClick(emailField(), Qt::Key_Return);
        QCOMPARE(primary()->text(), QStringLiteral("Sending\u2026"));
        QTest::keyClick(emailField(), Qt::Key_Return);
        QTest::keyClick(emailField(), Qt::Key_Enter);
        QTest::mouseClick(primary(), Qt::LeftButton);
        QTRY_VERIFY(codeField()->isVisible());
        QCOMPARE(requestCount(kLoginPath), 1);

        m_standin->control(QStringLiteral("fault"), {{"path", "/auth/verify"}, {"kind", "slow"}, {"delay_ms", 800}});
        QTest::keyClicks(codeField(), m_standin->code());
        QTest::keyClick(codeField(), Qt::Key_Return);
        QCOMPARE(primary()->text(), QStringLiteral("Checking\u2026"));
        QTest::keyClick(codeField(), Qt::Key_Return);
        QTest::mouseClick(primary(), Qt::LeftButton);
        QTRY_COMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignedIn);
        QCOMPARE(requestCount(kVerifyPath), 1);
    }

    // Every way the exchange can go wrong ends idle with the sentence in place.
    void failuresShowInPlace_data()
    {
        QTest::addColumn<QString>("step"); // "login" or "verify"
        QTest::addColumn<QString>("control");
        QTest::addColumn<QByteArray>("controlBody");
        QTest::addColumn<QString>("typedCode");
        QTest::addColumn<QString>("message");
        const QString sendFailed = QStringLiteral("Couldn't send the code. Check the email and try again.");
        const QString rejected = QStringLiteral("That code didn't work. Check it, or ask for a new one.");
        const QString good = QStringLiteral("424242");
        QTest::newRow("login 500") << "login"
                                   << "fault" << QByteArray(R"({"path":"/auth/login","kind":"status","status":500})")
                                   << good << sendFailed;
        QTest::newRow("login not JSON") << "login"
                                        << "fault" << QByteArray(R"({"path":"/auth/login","kind":"nonjson"})") << good
                                        << sendFailed;
        QTest::newRow("login dropped") << "login"
                                       << "fault" << QByteArray(R"({"path":"/auth/login","kind":"drop","count":-1})")
                                       << good << sendFailed;
        QTest::newRow("wrong code") << "verify"
                                    << "" << QByteArray() << "111111" << rejected;
        QTest::newRow("verify 500") << "verify"
                                    << "fault" << QByteArray(R"({"path":"/auth/verify","kind":"status","status":500})")
                                    << good << rejected;
        QTest::newRow("verify slow then 503")
            << "verify"
            << "fault" << QByteArray(R"({"path":"/auth/verify","kind":"status","status":503,"delay_ms":1200})") << good
            << rejected;
        QTest::newRow("verify empty body")
            << "verify"
            << "fault" << QByteArray(R"({"path":"/auth/verify","kind":"empty"})") << good << rejected;
        QTest::newRow("accepted without a cookie") << "verify"
                                                   << "verify-mode" << QByteArray(R"({"sid":false,"set_cookie":false})")
                                                   << good << QString::fromLatin1(APIService::kNoSessionText);
    }
    void failuresShowInPlace()
    {
        QFETCH(QString, step);
        QFETCH(QString, control);
        QFETCH(QByteArray, controlBody);
        QFETCH(QString, typedCode);
        QFETCH(QString, message);
        const bool atLogin = step == QLatin1String("login");
        if (atLogin)
            m_standin->control(control, QJsonDocument::fromJson(controlBody).object());

        QTest::keyClicks(emailField(), kEmail);
        QTest::mouseClick(primary(), Qt::LeftButton);
        if (atLogin) {
            QTRY_VERIFY(primary()->isEnabled());
            QCOMPARE(primary()->text(), QStringLiteral("Email me a code"));
            QVERIFY(emailField()->isVisible());
            QCOMPARE(errorText(), message);
            return;
        }
        QTRY_VERIFY(codeField()->isVisible());
        if (!control.isEmpty())
            m_standin->control(control, QJsonDocument::fromJson(controlBody).object());
        QTest::keyClicks(codeField(), typedCode);
        QTest::mouseClick(primary(), Qt::LeftButton);
        QVERIFY(!primary()->isEnabled());
        // A slow answer may take over a second.
        QTRY_VERIFY_WITH_TIMEOUT(primary()->isEnabled(), 10000);
        QCOMPARE(primary()->text(), QStringLiteral("Sign in"));
        QCOMPARE(errorText(), message);
        QVERIFY(codeField()->isVisible());
        QCOMPARE(m_app->root()->screen(), LoggerRoot::Screen::SignIn);
        QCOMPARE(m_account->state().kind(), LoggerAccount::State::Kind::SignedOut);
        QVERIFY(!m_app->signOutAction()->isVisible());
    }

    // Input checks answer in place and send nothing.
    void inputChecksSendNothing()
    {
        QTest::keyClicks(emailField(), QStringLiteral("ada.example.com"));
        QTest::mouseClick(primary(), Qt::LeftButton);
        QCOMPARE(errorText(), QStringLiteral("That doesn't look like an email."));

        emailField()->clear();
        QTest::keyClicks(emailField(), kEmail);
        QTest::keyClick(emailField(), Qt::Key_Return);
        QTRY_VERIFY(codeField()->isVisible());
        QCOMPARE(errorText(), QString()); // cleared when the request started

        // Arabic-Indic digits are not the code's digits.
        typeText(codeField(), QStringLiteral("\u0664\u0662\u0664\u0662\u0664\u0662"));
        QTest::keyClick(codeField(), Qt::Key_Return);
        QCOMPARE(errorText(), QStringLiteral("Type the code from the email."));
        QCOMPARE(requestCount(kVerifyPath), 0);

        // Back to the address: the code field is empty the next time round.
        QTest::mouseClick(m_app->root()->findChild<LinkButton*>(), Qt::LeftButton);
        QVERIFY(emailField()->isVisible());
        QCOMPARE(emailField()->text(), kEmail);
        QCOMPARE(errorText(), QStringLiteral("Type the code from the email."));
        QTest::mouseClick(primary(), Qt::LeftButton);
        QTRY_VERIFY(codeField()->isVisible());
        QCOMPARE(codeField()->text(), QString());
        QCOMPARE(requestCount(kLoginPath), 2);
    }

private:
    // Types text beyond Latin-1, one key press per character, as a keyboard layout of that
    // script would.
    static void typeText(QWidget* widget, const QString& text)
    {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }

    [[nodiscard]] QLineEdit* emailField() const
    {
        return m_app->root()->findChild<QLineEdit*>(QStringLiteral("emailField"));
    }
    [[nodiscard]] QLineEdit* codeField() const
    {
        return m_app->root()->findChild<QLineEdit*>(QStringLiteral("codeField"));
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

    [[nodiscard]] int requestCount(const QString& route)
    {
        return m_standin->state()
            .value(QStringLiteral("requests"))
            .toObject()
            .value(route)
            .toObject()
            .value(QStringLiteral("count"))
            .toInt();
    }

    [[nodiscard]] QJsonObject requestBody(const QString& route)
    {
        const QString body = m_standin->state()
                                 .value(QStringLiteral("requests"))
                                 .toObject()
                                 .value(route)
                                 .toObject()
                                 .value(QStringLiteral("body"))
                                 .toString();
        return QJsonDocument::fromJson(body.toUtf8()).object();
    }

    std::unique_ptr<StandinProcess> m_standin;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<InMemoryCookieStore> m_store;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<APIService> m_service;
    std::unique_ptr<LoggerAccount> m_account;
    std::unique_ptr<PindleLoggerApp> m_app;
};

PINDLE_TEST(SignInFlowTest)
#include "SignInFlowTest.moc"
