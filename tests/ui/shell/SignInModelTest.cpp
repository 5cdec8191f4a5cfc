#include "common/TestMain.h"

#include "service/APIService.h"
#include "ui/shell/LoggerSignInModel.h"

#include <QSignalSpy>

#include <memory>

namespace {

// Stands in for the account: records every request and keeps its completion for the test to
// answer when it likes.
struct Recorder {
    QStringList sentAddresses;
    QStringList verifiedCodes;
    LoggerSignInModel::Completion pendingSend;
    LoggerSignInModel::Completion pendingVerify;

    LoggerSignInModel::Actions actions()
    {
        return {
            [this](const QString& email, QObject*, LoggerSignInModel::Completion done) {
                sentAddresses.append(email);
                pendingSend = std::move(done);
            },
            [this](const QString& digits, QObject*, LoggerSignInModel::Completion done) {
                verifiedCodes.append(digits);
                pendingVerify = std::move(done);
            },
        };
    }
};

const QString kNotAnEmail = QStringLiteral("That doesn't look like an email.");
const QString kSendFailed = QStringLiteral("Couldn't send the code. Check the email and try again.");
const QString kCodeTooShort = QStringLiteral("Type the code from the email.");
const QString kCodeRejected = QStringLiteral("That code didn't work. Check it, or ask for a new one.");

// Brings a model to the code step with an idle card.
void reachCodeStep(LoggerSignInModel& model, Recorder& recorder)
{
    model.setEmail(QStringLiteral("ada@example.com"));
    QCOMPARE(model.sendCode(), LoggerSignInModel::Outcome::Started);
    recorder.pendingSend(std::nullopt);
    QVERIFY(model.sent());
    QVERIFY(!model.busy());
}

} // namespace

class SignInModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsAtTheEmailStep()
    {
        Recorder recorder;
        LoggerSignInModel model(QStringLiteral("kept@example.com"), recorder.actions());
        QCOMPARE(model.email(), QStringLiteral("kept@example.com"));
        QCOMPARE(model.code(), QString());
        QVERIFY(!model.sent());
        QVERIFY(!model.busy());
        QVERIFY(!model.error());
        QCOMPARE(model.introText(), QStringLiteral("Sign in with the email you use for Pindle."));
        QCOMPARE(model.primaryTitle(), QStringLiteral("Email me a code"));
    }

    // Only spaces and tabs are trimmed; any text with an at sign is sent, anything else refused.
    void sendCodeChecksTheAddress_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QString>("address");
        QTest::newRow("plain") << "ada@example.com" << true << "ada@example.com";
        QTest::newRow("spaces and tabs trimmed") << " \tada@example.com  \t" << true << "ada@example.com";
        QTest::newRow("inner space kept") << "ada @example.com" << true << "ada @example.com";
        QTest::newRow("no-break and ideographic spaces trimmed")
            << QStringLiteral("\u00A0ada@example.com\u3000") << true << "ada@example.com";
        QTest::newRow("line break kept") << "ada@example.com\n" << true << "ada@example.com\n";
        QTest::newRow("lone at sign") << "@" << true << "@";
        QTest::newRow("no at sign") << "ada.example.com" << false << "";
        QTest::newRow("empty") << "" << false << "";
        QTest::newRow("only spaces") << "   \t " << false << "";
        QTest::newRow("fullwidth at sign is not one") << QStringLiteral("ada\uFF20example.com") << false << "";
    }
    void sendCodeChecksTheAddress()
    {
        QFETCH(QString, typed);
        QFETCH(bool, sent);
        QFETCH(QString, address);
        Recorder recorder;
        LoggerSignInModel model(QString(), recorder.actions());
        model.setEmail(typed);
        const LoggerSignInModel::Outcome outcome = model.sendCode();
        if (sent) {
            QCOMPARE(outcome, LoggerSignInModel::Outcome::Started);
            QCOMPARE(recorder.sentAddresses, QStringList{address});
            QVERIFY(model.busy());
            QVERIFY(!model.error());
        } else {
            QCOMPARE(outcome, LoggerSignInModel::Outcome::Refused);
            QVERIFY(recorder.sentAddresses.isEmpty());
            QVERIFY(!model.busy());
            QCOMPARE(model.error(), std::optional<QString>(kNotAnEmail));
        }
        // The field keeps what was typed either way.
        QCOMPARE(model.email(), typed);
    }

    // Only ASCII digits count and are sent: other scripts' digits would never match the code
    // the service e-mailed, so they are dropped like spaces and dashes.
    void verifySendsAsciiDigits_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("digits"); // empty: refused
        QTest::newRow("six digits") << "424242"
                                    << "424242";
        QTest::newRow("space between groups") << "424 242"
                                              << "424242";
        QTest::newRow("dash between groups") << "424-242"
                                             << "424242";
        QTest::newRow("letters dropped") << "abc1234xyz"
                                         << "1234";
        QTest::newRow("four is enough") << "1234"
                                        << "1234";
        QTest::newRow("three is too few") << "123"
                                          << "";
        QTest::newRow("three amid noise") << " 1-2 3 "
                                          << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("Arabic-Indic") << QStringLiteral("\u0664\u0662\u0664\u0662\u0664\u0662") << "";
        QTest::newRow("extended Arabic-Indic") << QStringLiteral("\u06F4\u06F2\u06F4\u06F2") << "";
        QTest::newRow("Devanagari") << QStringLiteral("\u0966\u0967\u0968\u0969") << "";
        QTest::newRow("fullwidth") << QStringLiteral("\uFF14\uFF12\uFF14\uFF12\uFF14\uFF12") << "";
        QTest::newRow("fullwidth mixed in") << QStringLiteral("42\uFF14\uFF1242") << "4242";
        QTest::newRow("superscripts") << QStringLiteral("\u00B2\u00B3\u00B9\u2074") << "";
        QTest::newRow("circled digits") << QStringLiteral("\u2460\u2461\u2462\u2463") << "";
        QTest::newRow("math bold digits (surrogates)")
            << QStringLiteral("\U0001D7CE\U0001D7CF\U0001D7D0\U0001D7D1") << "";
        QTest::newRow("no upper limit") << QString(1000, u'7') << QString(1000, u'7');
    }
    void verifySendsAsciiDigits()
    {
        QFETCH(QString, typed);
        QFETCH(QString, digits);
        Recorder recorder;
        LoggerSignInModel model(QString(), recorder.actions());
        reachCodeStep(model, recorder);
        model.setCode(typed);
        const LoggerSignInModel::Outcome outcome = model.verify();
        if (digits.isEmpty()) {
            QCOMPARE(outcome, LoggerSignInModel::Outcome::Refused);
            QVERIFY(recorder.verifiedCodes.isEmpty());
            QCOMPARE(model.error(), std::optional<QString>(kCodeTooShort));
            QVERIFY(!model.busy());
        } else {
            QCOMPARE(outcome, LoggerSignInModel::Outcome::Started);
            QCOMPARE(recorder.verifiedCodes, QStringList{digits});
            for (const QChar c : recorder.verifiedCodes.constFirst())
                QVERIFY(c.unicode() >= '0' && c.unicode() <= '9');
        }
    }

    // Return reaches the action even while busy; it must start nothing then.
    void returnWhileSendingSendsNothing()
    {
        Recorder recorder;
        LoggerSignInModel model(QStringLiteral("ada@example.com"), recorder.actions());
        QCOMPARE(model.sendCode(), LoggerSignInModel::Outcome::Started);
        QCOMPARE(model.primaryTitle(), QStringLiteral("Sending\u2026"));
        model.setEmail(QStringLiteral("no at sign"));
        QCOMPARE(model.sendCode(), LoggerSignInModel::Outcome::Ignored);
        QCOMPARE(model.sendCode(), LoggerSignInModel::Outcome::Ignored);
        QCOMPARE(recorder.sentAddresses.size(), 1);
        // Not even the input check runs while busy.
        QVERIFY(!model.error());
    }

    void returnWhileCheckingSendsNothing()
    {
        Recorder recorder;
        LoggerSignInModel model(QString(), recorder.actions());
        reachCodeStep(model, recorder);
        model.setCode(QStringLiteral("424242"));
        QCOMPARE(model.verify(), LoggerSignInModel::Outcome::Started);
        QCOMPARE(model.primaryTitle(), QStringLiteral("Checking\u2026"));
        QCOMPARE(model.verify(), LoggerSignInModel::Outcome::Ignored);
        QCOMPARE(recorder.verifiedCodes.size(), 1);
    }

    // A successful send shows the code step and hands it the keyboard; the intro names the
    // field's text as typed, spaces included.
    void sendSuccessShowsTheCodeStep()
    {
        Recorder recorder;
        LoggerSignInModel model(QString(), recorder.actions());
        QSignalSpy focus(&model, &LoggerSignInModel::focusRequested);
        model.setEmail(QStringLiteral(" ada@example.com "));
        QCOMPARE(model.sendCode(), LoggerSignInModel::Outcome::Started);
        QVERIFY(!model.sent());
        recorder.pendingSend(std::nullopt);
        QVERIFY(model.sent());
        QVERIFY(!model.busy());
        QCOMPARE(focus.size(), 1);
        QCOMPARE(model.primaryTitle(), QStringLiteral("Sign in"));
        QCOMPARE(model.introText(), QStringLiteral("We sent a code to  ada@example.com . Type it in."));
    }

    // On success the card stays busy until the root replaces it.
    void verifySuccessStaysBusy()
    {
        Recorder recorder;
        LoggerSignInModel model(QString(), recorder.actions());
        reachCodeStep(model, recorder);
        model.setCode(QStringLiteral("424242"));
        QCOMPARE(model.verify(), LoggerSignInModel::Outcome::Started);
        recorder.pendingVerify(std::nullopt);
        QVERIFY(model.busy());
        QVERIFY(!model.error());
    }

    // Every kind of failure ends the busy state with a fixed sentence; only a code that was
    // accepted without a session says so instead of blaming the code.
    void failureMessages_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("sendMessage");
        QTest::addColumn<QString>("verifyMessage");
        const QString noSession = QString::fromLatin1(APIService::kNoSessionText);
        const QList<std::pair<const char*, ServiceError>> errors = failures();
        for (int i = 0; i < errors.size(); ++i) {
            const bool isNoSession = errors[i].second == ServiceError::loginFailed(noSession);
            QTest::newRow(errors[i].first) << i << kSendFailed << (isNoSession ? noSession : kCodeRejected);
        }
    }
    void failureMessages()
    {
        QFETCH(int, index);
        QFETCH(QString, sendMessage);
        QFETCH(QString, verifyMessage);
        const ServiceError error = failures().at(index).second;

        Recorder recorder;
        LoggerSignInModel model(QStringLiteral("ada@example.com"), recorder.actions());
        QCOMPARE(model.sendCode(), LoggerSignInModel::Outcome::Started);
        recorder.pendingSend(error);
        QVERIFY(!model.busy());
        QVERIFY(!model.sent());
        QCOMPARE(model.error(), std::optional<QString>(sendMessage));

        // The error line goes when the next request starts.
        QCOMPARE(model.sendCode(), LoggerSignInModel::Outcome::Started);
        QVERIFY(!model.error());
        recorder.pendingSend(std::nullopt);
        model.setCode(QStringLiteral("4242"));
        QCOMPARE(model.verify(), LoggerSignInModel::Outcome::Started);
        recorder.pendingVerify(error);
        QVERIFY(!model.busy());
        QVERIFY(model.sent());
        QCOMPARE(model.error(), std::optional<QString>(verifyMessage));
        QCOMPARE(model.primaryTitle(), QStringLiteral("Sign in"));
    }

    // Back to the e-mail step: the address and the error line stay, the code goes.
    void useDifferentEmailKeepsAddressAndError()
    {
        Recorder recorder;
        LoggerSignInModel model(QString(), recorder.actions());
        reachCodeStep(model, recorder);
        model.setCode(QStringLiteral("12"));
        QCOMPARE(model.verify(), LoggerSignInModel::Outcome::Refused);
        QSignalSpy focus(&model, &LoggerSignInModel::focusRequested);
        model.useDifferentEmail();
        QVERIFY(!model.sent());
        QCOMPARE(model.code(), QString());
        QCOMPARE(model.email(), QStringLiteral("ada@example.com"));
        QCOMPARE(model.error(), std::optional<QString>(kCodeTooShort));
        QCOMPARE(focus.size(), 1);
        QCOMPARE(model.primaryTitle(), QStringLiteral("Email me a code"));
    }

    // A request that answers after the card is gone changes nothing and does not crash.
    void lateAnswerAfterTheCardIsGone()
    {
        Recorder recorder;
        auto model = std::make_unique<LoggerSignInModel>(QStringLiteral("ada@example.com"), recorder.actions());
        QCOMPARE(model->sendCode(), LoggerSignInModel::Outcome::Started);
        model.reset();
        recorder.pendingSend(ServiceError::timeout());
        recorder.pendingSend(std::nullopt);
    }

private:
    static QList<std::pair<const char*, ServiceError>> failures()
    {
        return {
            {"login failed", ServiceError::loginFailed(QStringLiteral("Invalid code"))},
            {"no session", ServiceError::loginFailed(QString::fromLatin1(APIService::kNoSessionText))},
            {"invalid response", ServiceError::invalidResponse()},
            {"status 500", ServiceError::status(500)},
            {"unauthorised", ServiceError::unauthorised()},
            {"bad response", ServiceError::badResponse()},
            {"transport", ServiceError::transport(QStringLiteral("Connection refused"))},
            {"timeout", ServiceError::timeout()},
            {"too large", ServiceError::tooLarge()},
            {"insecure url", ServiceError::insecureUrl(QStringLiteral("http on a public host"))},
            {"json", ServiceError::json(QStringLiteral("illegal value"))},
        };
    }
};

PINDLE_TEST(SignInModelTest)
#include "SignInModelTest.moc"
