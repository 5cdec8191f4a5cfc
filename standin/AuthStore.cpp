#include "AuthStore.h"

#include "JsonFields.h"
#include "RandomIds.h"

#include <QDeadlineTimer>

namespace standin {

namespace {

constexpr int kCodeDigits = 6;
constexpr int kSessionBytes = 16;
constexpr qsizetype kLongestEmail = 254;

Reply refusal(int status, const QString& text)
{
    return jsonReply(QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), text}}, status);
}

QString normalisedEmail(const QString& text)
{
    return text.trimmed().toLower();
}

// Enough of a check to refuse what no mail server would take: one "@" with text on both sides,
// no white space, a dot in the domain.
bool plausibleEmail(const QString& email)
{
    if (email.isEmpty() || email.size() > kLongestEmail)
        return false;
    for (const QChar c : email) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return false;
    }
    const qsizetype at = email.indexOf(u'@');
    if (at <= 0 || at != email.lastIndexOf(u'@'))
        return false;
    const QString domain = email.mid(at + 1);
    return domain.size() >= 3 && domain.contains(u'.') && !domain.startsWith(u'.') && !domain.endsWith(u'.');
}

} // namespace

AuthStore::AuthStore(QString fixedCode, AuthLimits limits, Now now)
    : m_fixedCode(std::move(fixedCode)), m_limits(limits),
      m_now(now ? std::move(now) : Now([] { return QDeadlineTimer::current().deadline(); }))
{
}

void AuthStore::registerRoutes(Router& router)
{
    router.add("POST", QStringLiteral("/auth/login"), Access::Open, [this](const Call& call) { return login(call); });
    router.add("POST", QStringLiteral("/auth/verify"), Access::Open, [this](const Call& call) { return verify(call); });
}

std::optional<QString> AuthStore::accountFor(const Request& request) const
{
    const QString sid = QString::fromUtf8(request.cookie("sid"));
    if (sid.isEmpty())
        return std::nullopt;
    const auto it = m_sessions.constFind(sid);
    if (it == m_sessions.constEnd())
        return std::nullopt;
    return *it;
}

void AuthStore::setVerifyMode(bool answerSid, bool setCookie)
{
    m_answerSid = answerSid;
    m_setCookie = setCookie;
}

Reply AuthStore::login(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const QString email = normalisedEmail(fields.string(QLatin1StringView("email"), true));
    if (!fields.ok())
        return fields.error();
    if (!plausibleEmail(email))
        return errorReply(400, QStringLiteral("Enter a valid email address."));

    if (m_fixedCode.isEmpty()) {
        const qint64 now = m_now();
        if (auto refused = locked(email, now))
            return *refused;
        sweep(now);
        if (m_pendingCodes.size() >= m_limits.maxAddresses && !m_pendingCodes.contains(email))
            return refusal(429, QStringLiteral("Too many sign-ins at once. Try again in a few minutes."));
        const QString code = randomDigits(kCodeDigits);
        m_pendingCodes.insert(email, Waiting{code, now + m_limits.codeLifetimeMs});
        if (onCodeIssued)
            onCodeIssued(email, code);
    }
    if (m_accounts.size() < m_limits.maxAddresses || m_accounts.contains(email))
        ++m_accounts[email].codesSent;
    return jsonReply(QJsonObject{{QStringLiteral("ok"), true},
                                 {QStringLiteral("message"), QStringLiteral("Check your email for a code.")}});
}

Reply AuthStore::verify(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const QString email = normalisedEmail(fields.string(QLatin1StringView("email"), true));
    const QString code = fields.string(QLatin1StringView("code"), true);
    if (!fields.ok())
        return fields.error();

    if (m_fixedCode.isEmpty()) {
        const qint64 now = m_now();
        if (auto refused = locked(email, now))
            return *refused;
        const auto waiting = m_pendingCodes.constFind(email);
        if (waiting == m_pendingCodes.constEnd())
            return refusal(401, QStringLiteral("Ask for a new code first."));
        if (now >= waiting->expiresMs) {
            m_pendingCodes.erase(waiting);
            return refusal(401, QStringLiteral("That code has expired. Ask for a new one."));
        }
        if (code != waiting->code) {
            sweep(now);
            Tries& tries = m_tries[email];
            if (now >= tries.untilMs)
                tries.wrong = 0;
            ++tries.wrong;
            tries.untilMs = now + m_limits.lockMs;
            if (tries.wrong < m_limits.wrongCodesBeforeLock)
                return refusal(401, QStringLiteral("That code isn't right."));
            // The code goes with the lock: guessing must start again from a new one.
            m_pendingCodes.remove(email);
            return *locked(email, now);
        }
        // A generated code signs in once.
        m_pendingCodes.remove(email);
        m_tries.remove(email);
    } else if (code != m_fixedCode) {
        return refusal(401, QStringLiteral("That code isn't right."));
    }

    ++m_accounts[email].signIns;
    const QString sid = randomHex(kSessionBytes);
    m_sessions.insert(sid, email);
    m_sessionOrder.append(sid);
    while (m_sessionOrder.size() > m_limits.maxSessions)
        m_sessions.remove(m_sessionOrder.takeFirst());

    QJsonObject answer{{QStringLiteral("ok"), true},
                       {QStringLiteral("user"), QJsonObject{{QStringLiteral("email"), email}}}};
    if (m_answerSid)
        answer.insert(QStringLiteral("sid"), sid);
    Reply reply = jsonReply(answer);
    if (m_setCookie)
        reply.addHeader("Set-Cookie", "sid=" + sid.toLatin1() + "; Path=/; HttpOnly; SameSite=Lax");
    return reply;
}

std::optional<Reply> AuthStore::locked(const QString& email, qint64 now) const
{
    const auto it = m_tries.constFind(email);
    if (it == m_tries.constEnd() || it->wrong < m_limits.wrongCodesBeforeLock || now >= it->untilMs)
        return std::nullopt;
    const qint64 minutes = (it->untilMs - now + 59'999) / 60'000;
    return refusal(429, QStringLiteral("Too many wrong codes. Try again in %1 minute%2.")
                            .arg(minutes)
                            .arg(minutes == 1 ? QString() : QStringLiteral("s")));
}

void AuthStore::sweep(qint64 now)
{
    const qsizetype full = m_limits.maxAddresses;
    if (m_pendingCodes.size() >= full)
        m_pendingCodes.removeIf([now](const auto& entry) { return now >= entry.value().expiresMs; });
    if (m_tries.size() >= full)
        m_tries.removeIf([now](const auto& entry) { return now >= entry.value().untilMs; });
}

QJsonObject AuthStore::stateJson() const
{
    QJsonArray accounts;
    for (auto it = m_accounts.constBegin(); it != m_accounts.constEnd(); ++it) {
        accounts.append(QJsonObject{{QStringLiteral("email"), it.key()},
                                    {QStringLiteral("codes_sent"), it->codesSent},
                                    {QStringLiteral("sign_ins"), it->signIns}});
    }
    return QJsonObject{
        {QStringLiteral("accounts"), accounts},
        {QStringLiteral("sessions"), static_cast<double>(m_sessions.size())},
        {QStringLiteral("verify_mode"),
         QJsonObject{{QStringLiteral("sid"), m_answerSid}, {QStringLiteral("set_cookie"), m_setCookie}}},
    };
}

} // namespace standin
