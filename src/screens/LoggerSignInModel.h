#pragma once

#include "service/ServiceError.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class LoggerAccount;

// The sign-in card's behaviour without widgets: the e-mail step, the code step, the busy flag and
// the error line. The view shows what this holds and forwards the user's actions; everything
// the card decides is decided here.
class LoggerSignInModel : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(std::optional<ServiceError>)>;

    // The two account operations the card starts. Each must call its completion once, on the main
    // thread, and not at all once `context` is gone.
    struct Actions {
        std::function<void(const QString& email, QObject* context, Completion done)> sendCode;
        std::function<void(const QString& digits, QObject* context, Completion done)> verify;
    };

    // What a send or verify action did.
    enum class Outcome {
        Started, // a request is under way
        Refused, // the input check failed; the error line says why
        Ignored, // a request was already under way: nothing happened
    };

    static constexpr char kNotAnEmail[] = "That doesn't look like an email.";
    static constexpr char kSendFailed[] = "Couldn't send the code. Check the email and try again.";
    static constexpr char kCodeTooShort[] = "Type the code from the email.";
    static constexpr char kCodeRejected[] = "That code didn't work. Check it, or ask for a new one.";
    // A code needs at least this many digits before it is sent.
    static constexpr int kMinimumCodeDigits = 4;

    // The actions of `account` (its sendCode and verify).
    [[nodiscard]] static Actions actionsFor(LoggerAccount& account);

    // `email` is the address the account last sent a code to.
    LoggerSignInModel(QString email, Actions actions, QObject* parent = nullptr);

    [[nodiscard]] const QString& email() const { return m_email; }
    [[nodiscard]] const QString& code() const { return m_code; }
    [[nodiscard]] bool sent() const { return m_sent; }
    [[nodiscard]] bool busy() const { return m_busy; }
    [[nodiscard]] const std::optional<QString>& error() const { return m_error; }

    // The line under the title for the current step.
    [[nodiscard]] QString introText() const;
    // The primary button's title for the current step and busy flag.
    [[nodiscard]] QString primaryTitle() const;

    void setEmail(const QString& email);
    void setCode(const QString& code);

    // "Email me a code" and Return in the e-mail field.
    Outcome sendCode();
    // "Sign in" and Return in the code field.
    Outcome verify();
    // The step's one command, shared by the primary button and Return in the visible field: send
    // the code on the e-mail step, verify it on the code step.
    Outcome submit() { return m_sent ? verify() : sendCode(); }
    // Whether the command can run now (the primary button's enabled state).
    [[nodiscard]] bool canSubmit() const { return !m_busy; }
    // "Use a different email": back to the e-mail step with an empty code; the address and the
    // error line stay.
    void useDifferentEmail();

    // The address as sent: spaces and tabs trimmed from both ends, line breaks kept.
    [[nodiscard]] static QString trimmedEmail(const QString& email);
    // The code as sent: its decimal digits of any script, in order, as ASCII. Everything else
    // (spaces, dashes, letters, superscripts) is dropped.
    [[nodiscard]] static QString codeDigits(const QString& code);

    // The error line for a failed send or verify.
    [[nodiscard]] static QString sendFailureMessage(const ServiceError& error);
    [[nodiscard]] static QString verifyFailureMessage(const ServiceError& error);

Q_SIGNALS:
    // Any of the fields above changed.
    void changed();
    // The visible text field should take the keyboard focus (a step was entered).
    void focusRequested();

private:
    void setError(std::optional<QString> error);

    Actions m_actions;
    QString m_email;
    QString m_code;
    bool m_sent = false;
    bool m_busy = false;
    std::optional<QString> m_error;
};
