#include "AuthStore.h"

#include "JsonFields.h"
#include "RandomIds.h"

namespace standin {

namespace {

constexpr int kCodeDigits = 6;
constexpr int kSessionBytes = 16;
constexpr qsizetype kLongestEmail = 254;

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

AuthStore::AuthStore(QString fixedCode) : m_fixedCode(std::move(fixedCode))
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

    ++m_accounts[email].codesSent;
    if (m_fixedCode.isEmpty()) {
        const QString code = randomDigits(kCodeDigits);
        m_pendingCodes.insert(email, code);
        if (onCodeIssued)
            onCodeIssued(email, code);
    }
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

    const QString expected = m_fixedCode.isEmpty() ? m_pendingCodes.value(email) : m_fixedCode;
    if (expected.isEmpty()) {
        return jsonReply(QJsonObject{{QStringLiteral("ok"), false},
                                     {QStringLiteral("error"), QStringLiteral("Ask for a new code first.")}},
                         401);
    }
    if (code != expected) {
        return jsonReply(QJsonObject{{QStringLiteral("ok"), false},
                                     {QStringLiteral("error"), QStringLiteral("That code isn't right.")}},
                         401);
    }

    // A generated code signs in once; the fixed test code keeps working.
    m_pendingCodes.remove(email);
    ++m_accounts[email].signIns;
    const QString sid = randomHex(kSessionBytes);
    m_sessions.insert(sid, email);

    QJsonObject answer{{QStringLiteral("ok"), true},
                       {QStringLiteral("user"), QJsonObject{{QStringLiteral("email"), email}}}};
    if (m_answerSid)
        answer.insert(QStringLiteral("sid"), sid);
    Reply reply = jsonReply(answer);
    if (m_setCookie)
        reply.addHeader("Set-Cookie", "sid=" + sid.toLatin1() + "; Path=/; HttpOnly; SameSite=Lax");
    return reply;
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
