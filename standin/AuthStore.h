#pragma once

#include "Router.h"

#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

namespace standin {

// Accounts, sign-in codes and sessions. An account exists from its first sign-in; a session is
// the "sid" cookie the code check hands out. E-mail addresses are compared trimmed and in
// lower case.
class AuthStore {
public:
    // With a fixed code every address signs in with it, even without asking for one first.
    explicit AuthStore(QString fixedCode);

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

    Reply login(const Call& call);
    Reply verify(const Call& call);

    const QString m_fixedCode;
    QHash<QString, QString> m_pendingCodes; // e-mail -> code
    QHash<QString, QString> m_sessions;     // sid -> e-mail
    QMap<QString, Account> m_accounts;      // sorted, so the state reads the same every time
    bool m_answerSid = true;
    bool m_setCookie = true;
};

} // namespace standin
