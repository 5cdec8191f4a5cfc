#include "Router.h"

#include <algorithm>

namespace standin {

namespace {
const QString kWildcard = QStringLiteral("{}");
} // namespace

void Router::add(QByteArray method, const QString& pattern, Access access, Handler handler, qint64 maxBodyBytes)
{
    m_routes.append(
        Route{std::move(method), decodePathSegments(pattern.toUtf8()), access, std::move(handler), maxBodyBytes});
}

bool Router::matches(const QStringList& pattern, const QStringList& segments, QStringList& params)
{
    if (pattern.size() != segments.size())
        return false;
    QStringList captured;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == kWildcard)
            captured.append(segments[i]);
        else if (pattern[i] != segments[i])
            return false;
    }
    params = std::move(captured);
    return true;
}

bool Router::knowsPath(const QStringList& segments) const
{
    QStringList params;
    return std::any_of(m_routes.cbegin(), m_routes.cend(),
                       [&](const Route& route) { return matches(route.pattern, segments, params); });
}

std::optional<qint64> Router::bodyLimit(const QByteArray& method, const QStringList& segments) const
{
    // The route that dispatch() would pick: the first of this method and path.
    for (const Route& route : m_routes) {
        QStringList params;
        if (route.method == method && matches(route.pattern, segments, params))
            return route.maxBodyBytes > 0 ? std::optional(route.maxBodyBytes) : std::nullopt;
    }
    return std::nullopt;
}

Reply Router::dispatch(const Request& request) const
{
    bool pathKnown = false;
    for (const Route& route : m_routes) {
        QStringList params;
        if (!matches(route.pattern, request.segments, params))
            continue;
        pathKnown = true;
        if (route.method != request.method)
            continue;
        QString account;
        if (route.access == Access::Session) {
            const auto who = m_authenticate ? m_authenticate(request) : std::nullopt;
            if (!who)
                return errorReply(401, QStringLiteral("sign in first"));
            account = *who;
        }
        return route.handler(Call{request, std::move(params), std::move(account)});
    }
    if (pathKnown)
        return errorReply(405, QStringLiteral("method not allowed"));
    return errorReply(404, QStringLiteral("not found"));
}

} // namespace standin
