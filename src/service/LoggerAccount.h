#pragma once

#include "service/ServiceError.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class APIService;
class Clock;
class Defaults;

// The application's signed-in state: what the root view shows (sign-in screen, progress, logging
// screen, offline card), the e-mail address the user signs in with, and the two steps of the
// e-mail sign-in on top of APIService. Lives on the main thread; `state` and `email` change only
// there. Each completion runs on the main thread exactly once, after the call has returned, and
// never when its `context` (if given) or the account is destroyed first.
class LoggerAccount : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString email READ email NOTIFY emailChanged)
public:
    // What the root view shows.
    class State {
    public:
        enum class Kind {
            Offline,   // the service could not be reached; offlineText() is shown with "Try again"
            SignedOut, // no session cookie: the sign-in screen
            Checking,  // a cookie is present and being confirmed: a progress indicator
            Allowed,   // signed in: the logging screen
        };

        [[nodiscard]] static State offline(QString text) { return State(Kind::Offline, std::move(text)); }
        [[nodiscard]] static State signedOut() { return State(Kind::SignedOut, {}); }
        [[nodiscard]] static State checking() { return State(Kind::Checking, {}); }
        [[nodiscard]] static State allowed() { return State(Kind::Allowed, {}); }

        [[nodiscard]] Kind kind() const { return m_kind; }
        // The sentence of the offline card; empty for the other kinds.
        [[nodiscard]] const QString& offlineText() const { return m_text; }

        bool operator==(const State& other) const = default;

    private:
        State(Kind kind, QString text) : m_kind(kind), m_text(std::move(text)) {}
        Kind m_kind;
        QString m_text;
    };

    using Completion = std::function<void(std::optional<ServiceError>)>;

    // User defaults key of the address.
    static constexpr char kEmailKey[] = "pindle_logger_email";
    // The cookie is stored just after the code check answers: look for it this often, this long.
    static constexpr int kCookieChecks = 30;
    static constexpr std::chrono::milliseconds kCookieCheckInterval{100};

    // `email` from `defaults` (empty when absent or not a string); state Checking when the
    // service has a session cookie, else SignedOut. Both must outlive the account.
    // A null `clock` is the system's; it paces the wait for a session cookie after a code check.
    LoggerAccount(APIService& service, Defaults& defaults, Clock* clock = nullptr, QObject* parent = nullptr);

    // The application's account on APIService::shared() and Defaults::shared(); created on first
    // use, on the main thread, at launch.
    static LoggerAccount& shared();

    [[nodiscard]] const State& state() const { return m_state; }
    [[nodiscard]] QString email() const { return m_email; }

    // Re-decides the state from the cookie: none → SignedOut; one → Allowed (passing through
    // Checking unless already Allowed). Called when the root is first shown, by "Try again", and
    // at the end of verify().
    void refresh();

    // Asks for a code to be e-mailed to `email` (already trimmed by the screen). On success the
    // address becomes `email` and is stored; on failure nothing changes and the error is passed on.
    void sendCode(const QString& email, QObject* context, Completion done);

    // Checks `code` against the stored `email`, waits (without blocking) for the session cookie,
    // then refreshes. Completes with nothing when signed in; with the service's error when the
    // code was refused; with loginFailed(APIService::kNoSessionText) when the code was accepted
    // but no session cookie arrived (the state is then SignedOut).
    void verify(const QString& code, QObject* context, Completion done);

    // "Sign out": forget and delete the cookie, state SignedOut. The stored e-mail stays.
    void signOut();

Q_SIGNALS:
    void stateChanged();
    void emailChanged();

private:
    void setState(State state);
    void waitForCookie(int checksLeft, Completion done);

    APIService& m_service;
    Defaults& m_defaults;
    Clock& m_clock;
    State m_state;
    QString m_email;
};
