#pragma once

#include "HttpMessage.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace standin {

// Whether a route needs a signed-in session ("sid" cookie).
enum class Access { Open, Session };

// What a handler receives: the request, the decoded segments that stood at the pattern's "{}"
// places, and the account's e-mail on a Session route.
struct Call {
    const Request& request;
    QStringList params;
    QString account;
};

using Handler = std::function<Reply(const Call&)>;

// The route table. Patterns are literal paths with "{}" for one whole segment
// ("/api/logger/shoots/{}/sync"); literal segments compare exactly.
class Router {
public:
    using Authenticate = std::function<std::optional<QString>(const Request&)>;

    void setAuthenticate(Authenticate authenticate) { m_authenticate = std::move(authenticate); }
    // `maxBodyBytes` 0: the transport's limit on the body; otherwise the route's own.
    void add(QByteArray method, const QString& pattern, Access access, Handler handler, qint64 maxBodyBytes = 0);

    // 404 for an unknown path, 405 for a known path with another method, 401 on a Session route
    // without a valid session; otherwise the handler's answer.
    [[nodiscard]] Reply dispatch(const Request& request) const;
    // Whether some route has this path, whatever its method.
    [[nodiscard]] bool knowsPath(const QStringList& segments) const;
    // The body limit of the route that serves this method and path, when it has its own.
    [[nodiscard]] std::optional<qint64> bodyLimit(const QByteArray& method, const QStringList& segments) const;

private:
    struct Route {
        QByteArray method;
        QStringList pattern;
        Access access;
        Handler handler;
        qint64 maxBodyBytes;
    };

    [[nodiscard]] static bool matches(const QStringList& pattern, const QStringList& segments, QStringList& params);

    QList<Route> m_routes;
    Authenticate m_authenticate;
};

} // namespace standin
