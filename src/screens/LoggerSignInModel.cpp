#include "screens/LoggerSignInModel.h"

#include "platform/TextCuts.h"
#include "service/APIService.h"
#include "service/LoggerAccount.h"

#include <QPointer>

LoggerSignInModel::Actions LoggerSignInModel::actionsFor(LoggerAccount& account)
{
    return {
        [&account](const QString& email, QObject* context, Completion done) {
            account.sendCode(email, context, std::move(done));
        },
        [&account](const QString& digits, QObject* context, Completion done) {
            account.verify(digits, context, std::move(done));
        },
    };
}

LoggerSignInModel::LoggerSignInModel(QString email, Actions actions, QObject* parent)
    : QObject(parent), m_actions(std::move(actions)), m_email(std::move(email))
{
}

QString LoggerSignInModel::introText() const
{
    if (!m_sent)
        return tr("Sign in with the email you use for Pindle.");
    return tr("We sent a code to %1. Type it in.").arg(m_email);
}

QString LoggerSignInModel::primaryTitle() const
{
    if (!m_sent)
        return m_busy ? tr("Sending\u2026") : tr("Email me a code");
    return m_busy ? tr("Checking\u2026") : tr("Sign in");
}

void LoggerSignInModel::setEmail(const QString& email)
{
    if (email == m_email)
        return;
    m_email = email;
    Q_EMIT changed();
}

void LoggerSignInModel::setCode(const QString& code)
{
    if (code == m_code)
        return;
    m_code = code;
    Q_EMIT changed();
}

void LoggerSignInModel::setError(std::optional<QString> error)
{
    m_error = std::move(error);
}

LoggerSignInModel::Outcome LoggerSignInModel::sendCode()
{
    // The button is disabled while busy; Return in the field must not start a second request
    // either.
    if (m_busy)
        return Outcome::Ignored;
    const QString address = trimmedEmail(m_email);
    if (!address.contains(u'@')) {
        setError(QString::fromLatin1(kNotAnEmail));
        Q_EMIT changed();
        return Outcome::Refused;
    }
    m_busy = true;
    setError(std::nullopt);
    Q_EMIT changed();
    m_actions.sendCode(address, this, [this, alive = QPointer(this)](std::optional<ServiceError> failure) {
        if (!alive)
            return;
        m_busy = false;
        if (failure) {
            setError(sendFailureMessage(*failure));
            Q_EMIT changed();
            return;
        }
        m_sent = true;
        Q_EMIT changed();
        Q_EMIT focusRequested();
    });
    return Outcome::Started;
}

LoggerSignInModel::Outcome LoggerSignInModel::verify()
{
    if (m_busy)
        return Outcome::Ignored;
    const QString digits = codeDigits(m_code);
    if (digits.size() < kMinimumCodeDigits) {
        setError(QString::fromLatin1(kCodeTooShort));
        Q_EMIT changed();
        return Outcome::Refused;
    }
    m_busy = true;
    setError(std::nullopt);
    Q_EMIT changed();
    m_actions.verify(digits, this, [this, alive = QPointer(this)](std::optional<ServiceError> failure) {
        // Signed in: the root replaces this card, which stays busy until it goes.
        if (!alive || !failure)
            return;
        m_busy = false;
        setError(verifyFailureMessage(*failure));
        Q_EMIT changed();
    });
    return Outcome::Started;
}

void LoggerSignInModel::useDifferentEmail()
{
    m_sent = false;
    m_code.clear();
    Q_EMIT changed();
    Q_EMIT focusRequested();
}

QString LoggerSignInModel::trimmedEmail(const QString& email)
{
    return TextCuts::trimSpacesAndTabs(email);
}

QString LoggerSignInModel::codeDigits(const QString& code)
{
    // Decimal digits of every script count, as their ASCII value: a code typed on a full-width or
    // Arabic-Indic keyboard is the same code. Superscripts and other numerals are not digits.
    QString digits;
    for (const char32_t c : QStringView(code).toUcs4()) {
        if (QChar::category(c) == QChar::Number_DecimalDigit)
            digits.append(QChar(u'0' + QChar::digitValue(c)));
    }
    return digits;
}

QString LoggerSignInModel::sendFailureMessage(const ServiceError&)
{
    // The service's own explanation is not shown: the sentence says what the user can do.
    return QString::fromLatin1(kSendFailed);
}

QString LoggerSignInModel::verifyFailureMessage(const ServiceError& error)
{
    // The code was accepted but no session followed: blaming the code would send the user after
    // a new one for nothing.
    if (error.kind() == ServiceError::Kind::LoginFailed && error.text() == QLatin1String(APIService::kNoSessionText))
        return error.text();
    return QString::fromLatin1(kCodeRejected);
}
