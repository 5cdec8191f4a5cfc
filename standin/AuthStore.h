#pragma once

#include "Router.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

namespace standin {

// How long a generated code lasts and how many wrong guesses an address gets: a six-digit code
// must not be guessable by trying them all.
struct AuthLimits {
    qint64 codeLifetimeMs = 10 * 60 * 1000;
    int wrongCodesBeforeLock = 5;
    qint64 lockMs = 15 * 60 * 1000;
    // Addresses remembered at once, per table (codes waiting, wrong tries, account counts): asking
    // for codes for made-up addresses must not fill the memory. Past this a new address is told
    // to try later.
    int maxAddresses = 10'000;
    // Sessions kept at once; past this a new sign-in ends the oldest session.
    int maxSessions = 10'000;
};

// Accounts, sign-in codes and sessions. An account exists from its first sign-in; a session is
// the "sid" cookie the code check hands out. E-mail addresses are compared trimmed and in
// lower case.
class AuthStore {
public:
    // Milliseconds on a clock that only moves forwards.
    using Now = std::function<qint64()>;

    // With a fixed code every address signs in with it, even without asking for one first, as
    // often as needed and with no limit on wrong tries (tests and scripts). `now` is the steady
    // clock when empty.
    explicit AuthStore(QString fixedCode, AuthLimits limits = {}, Now now = {});

    void registerRoutes(Router& router);

    // The account of the request's "sid" cookie.
    [[nodiscard]] std::optional<QString> accountFor(const Request& request) const;

    // Which of the two cookie paths the code check answers with: the "sid" field of the body
    // and the "Set-Cookie" header (both by default).
    void setVerifyMode(bool answerSid, bool setCookie);

    [[nodiscard]] QJsonObject stateJson() const;

    // Told of every generated code, so that the console can show it.
    std::function<void(const QString& email, const QString& code)> onCodeIssued;

private:
    struct Account {
        int codesSent = 0;
        int signIns = 0;
    };

    struct Waiting {
        QString code;
        qint64 expiresMs = 0;
    };
    // Wrong codes count until `untilMs`, a lock's end or the time they are forgotten.
    struct Tries {
        int wrong = 0;
        qint64 untilMs = 0;
    };

    Reply login(const Call& call);
    Reply verify(const Call& call);
    // The answer while `email` is locked out, or nullopt.
    [[nodiscard]] std::optional<Reply> locked(const QString& email, qint64 now) const;
    // Forgets codes and tries that no longer count, once the tables are full.
    void sweep(qint64 now);

    const QString m_fixedCode;
    const AuthLimits m_limits;
    const Now m_now;
    QHash<QString, Waiting> m_pendingCodes; // e-mail -> generated code
    QHash<QString, Tries> m_tries;          // e-mail -> recent wrong codes
    QHash<QString, QString> m_sessions;     // sid -> e-mail
    QList<QString> m_sessionOrder;          // the sids, oldest first
    QMap<QString, Account> m_accounts;      // sorted, so the state reads the same every time
    bool m_answerSid = true;
    bool m_setCookie = true;
};

} // namespace standin
