#include "common/TestMain.h"

#include "service/APIService.h"
#include "screens/LoggerSignInModel.h"

#include <QSignalSpy>

#include <memory>

using Outcome = LoggerSignInModel::Outcome;

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

const QString kCodeTooShort = QStringLiteral("Type the code from the email.");

// Brings a model to the code step with an idle card.
void reachCodeStep(LoggerSignInModel& model, Recorder& recorder)
{
    model.setEmail(QStringLiteral("ada@example.com"));
    QCOMPARE(model.sendCode(), Outcome::Started);
    recorder.pendingSend(std::nullopt);
    QVERIFY(model.sent() && !model.busy());
}

} // namespace

class SignInModelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Only spaces and tabs are trimmed; any text with an at sign is sent, anything else refused.
    void sendCodeChecksTheAddress_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("address"); // empty: refused
        QTest::newRow("spaces and tabs trimmed")
            << QStringLiteral(" \tada@example.com  \t") << QStringLiteral("ada@example.com");
        QTest::newRow("no-break and ideographic spaces trimmed")
            << QStringLiteral("\u00A0ada @example.com\u3000") << QStringLiteral("ada @example.com");
        QTest::newRow("line break kept") << QStringLiteral("ada@example.com\n") << QStringLiteral("ada@example.com\n");
        QTest::newRow("lone at sign") << QStringLiteral("@") << QStringLiteral("@");
        QTest::newRow("only spaces") << QStringLiteral("   \t ") << QString();
        QTest::newRow("fullwidth at sign is not one") << QStringLiteral("ada\uFF20example.com") << QString();
    }
    void sendCodeChecksTheAddress()
    {
        QFETCH(QString, typed);
        QFETCH(QString, address);
        Recorder recorder;
        LoggerSignInModel model(QString(), recorder.actions());
        model.setEmail(typed);
        QCOMPARE(model.sendCode(), address.isEmpty() ? Outcome::Refused : Outcome::Started);
        QCOMPARE(recorder.sentAddresses, address.isEmpty() ? QStringList() : QStringList{address});
        QCOMPARE(model.busy(), !address.isEmpty());
        QCOMPARE(model.error(), address.isEmpty()
                                    ? std::optional<QString>(QStringLiteral("That doesn't look like an email."))
                                    : std::nullopt);
        QCOMPARE(model.email(), typed); // the field keeps what was typed either way
    }

    // Decimal digits of any script are sent as ASCII; spaces, dashes, letters and numerals that
    // are not decimal digits are dropped; four is the least.
    void verifySendsAsciiDigits_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("digits"); // empty: refused
        QTest::newRow("dash between groups") << QStringLiteral("424-242") << QStringLiteral("424242");
        QTest::newRow("letters dropped, four is enough") << QStringLiteral("abc1234xyz") << QStringLiteral("1234");
        QTest::newRow("three amid noise") << QStringLiteral(" 1-2 3 ") << QString();
        QTest::newRow("Arabic-Indic") << QStringLiteral("\u0664\u0662\u0664\u0662\u0664\u0662")
                                      << QStringLiteral("424242");
        QTest::newRow("fullwidth mixed in") << QStringLiteral("42\uFF14\uFF1242") << QStringLiteral("424242");
        QTest::newRow("superscripts") << QStringLiteral("\u00B2\u00B3\u00B9\u2074") << QString();
        QTest::newRow("math bold digits (surrogates)")
            << QStringLiteral("\U0001D7CE\U0001D7CF\U0001D7D0\U0001D7D1") << QStringLiteral("0123");
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
        QCOMPARE(model.verify(), digits.isEmpty() ? Outcome::Refused : Outcome::Started);
        QCOMPARE(recorder.verifiedCodes, digits.isEmpty() ? QStringList() : QStringList{digits});
        QCOMPARE(model.error(), digits.isEmpty() ? std::optional<QString>(kCodeTooShort) : std::nullopt);
    }

    // Return reaches the actions even while busy; they must start nothing then, not even the
    // input check. On success the card stays busy until the root replaces it.
    void returnWhileBusyStartsNothing()
    {
        Recorder recorder;
        LoggerSignInModel model(QStringLiteral("ada@example.com"), recorder.actions());
        QSignalSpy focus(&model, &LoggerSignInModel::focusRequested);
        QCOMPARE(model.sendCode(), Outcome::Started);
        QCOMPARE(model.primaryTitle(), QStringLiteral("Sending\u2026"));
        model.setEmail(QStringLiteral("no at sign"));
        QCOMPARE(model.sendCode(), Outcome::Ignored);
        QCOMPARE(recorder.sentAddresses.size(), 1);
        QVERIFY(!model.error());

        model.setEmail(QStringLiteral(" ada@example.com "));
        recorder.pendingSend(std::nullopt);
        QCOMPARE(focus.size(), 1);
        QCOMPARE(model.introText(), QStringLiteral("We sent a code to  ada@example.com . Type it in."));
        model.setCode(QStringLiteral("424242"));
        QCOMPARE(model.verify(), Outcome::Started);
        QCOMPARE(model.primaryTitle(), QStringLiteral("Checking\u2026"));
        QCOMPARE(model.verify(), Outcome::Ignored);
        QCOMPARE(recorder.verifiedCodes.size(), 1);
        recorder.pendingVerify(std::nullopt);
        QVERIFY(model.busy() && !model.error());
    }

    // Every failure ends the busy state with a fixed sentence; only a code accepted without a
    // session says so instead of blaming the code. The next request clears the line.
    void failureMessages_data()
    {
        QTest::addColumn<ServiceError>("error");
        QTest::addColumn<QString>("verifyMessage");
        const QString rejected = QStringLiteral("That code didn't work. Check it, or ask for a new one.");
        const QString noSession = QString::fromLatin1(APIService::kNoSessionText);
        QTest::newRow("login failed") << ServiceError::loginFailed(QStringLiteral("Invalid code")) << rejected;
        QTest::newRow("no session") << ServiceError::loginFailed(noSession) << noSession;
        QTest::newRow("transport") << ServiceError::transport(QStringLiteral("Connection refused")) << rejected;
        QTest::newRow("timeout") << ServiceError::timeout() << rejected;
    }
    void failureMessages()
    {
        QFETCH(ServiceError, error);
        QFETCH(QString, verifyMessage);
        Recorder recorder;
        LoggerSignInModel model(QStringLiteral("ada@example.com"), recorder.actions());
        QCOMPARE(model.sendCode(), Outcome::Started);
        recorder.pendingSend(error);
        QVERIFY(!model.busy() && !model.sent());
        QCOMPARE(model.error(),
                 std::optional<QString>(QStringLiteral("Couldn't send the code. Check the email and try again.")));
        QCOMPARE(model.sendCode(), Outcome::Started);
        QVERIFY(!model.error());
        recorder.pendingSend(std::nullopt);
        model.setCode(QStringLiteral("4242"));
        QCOMPARE(model.verify(), Outcome::Started);
        recorder.pendingVerify(error);
        QVERIFY(!model.busy() && model.sent());
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
        QCOMPARE(model.verify(), Outcome::Refused);
        QSignalSpy focus(&model, &LoggerSignInModel::focusRequested);
        model.useDifferentEmail();
        QVERIFY(!model.sent());
        QCOMPARE(model.code(), QString());
        QCOMPARE(model.email(), QStringLiteral("ada@example.com"));
        QCOMPARE(model.error(), std::optional<QString>(kCodeTooShort));
        QCOMPARE(focus.size(), 1);
    }

    // A request that answers after the card is gone changes nothing and does not crash.
    void lateAnswerAfterTheCardIsGone()
    {
        Recorder recorder;
        auto model = std::make_unique<LoggerSignInModel>(QStringLiteral("ada@example.com"), recorder.actions());
        QCOMPARE(model->sendCode(), Outcome::Started);
        model.reset();
        recorder.pendingSend(ServiceError::timeout());
        recorder.pendingSend(std::nullopt);
    }
};

PINDLE_TEST(SignInModelTest)
#include "SignInModelTest.moc"
