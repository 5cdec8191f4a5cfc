#pragma once

#include "service/EncodedBody.h"
#include "service/ServiceError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class APIService;
class QObject;

// The request function for every JSON request that carries the session (shoot sync, heartbeat).
// Its own findings are ServiceError kinds Status (outside 200...299, not 401), Unauthorised (401)
// and BadResponse (no URL could be formed); transport, timeout, size and URL errors pass through.
namespace LoggerAPI {

inline constexpr std::chrono::seconds kTimeout{25};

using Completion = std::function<void(ServiceResult<QJsonObject>)>;

// Sends `method` to `path` (under the service's base URL; ids in it encoded with
// ServiceUrl::pathSegment) with "x-pindle-client: pindle-logger" and the session cookie. With a
// body it is sent as JSON; without one no content type is sent. A 2xx answer yields its JSON
// object, or an empty object when the body is empty, not JSON or not an object (204 included).
// `done` runs on the main thread, once, unless `context` is destroyed first.
void request(APIService& service, const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body,
             QObject* context, Completion done);

// The same, sent with `session`, the cookie held when the request was taken (none: no cookie),
// whatever the service holds by the time it goes out (see requestEncoded below).
void request(APIService& service, const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body,
             const std::optional<QString>& session, QObject* context, Completion done);

// The same through APIService::shared().
void request(const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body, QObject* context,
             Completion done);

// The same with a body already encoded as JSON, sent as it is (same headers, timeout and
// answers). The bytes are handed to the network layer shared, not copied: a long shoot's body
// is held once, goes up from the service's upload thread and is freed there.
void requestEncoded(APIService& service, const QString& path, const QByteArray& method, EncodedBody json,
                    QObject* context, Completion done);

// The same, sent with `session`, the cookie held when the request was taken (none: no cookie),
// whatever the service holds by the time it goes out: a sync taken just before a sign-out still
// goes up, and never under another sign-in.
void requestEncoded(APIService& service, const QString& path, const QByteArray& method, EncodedBody json,
                    const std::optional<QString>& session, QObject* context, Completion done);

} // namespace LoggerAPI
