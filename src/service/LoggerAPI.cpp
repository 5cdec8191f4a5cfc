#include "service/LoggerAPI.h"

#include "service/APIService.h"

#include <utility>

namespace LoggerAPI {

namespace {

ServiceRequest sessionRequest(const QString& path, const QByteArray& method)
{
    ServiceRequest exchange;
    exchange.path = path;
    exchange.method = method;
    exchange.timeout = kTimeout;
    return exchange;
}

// Goes with `session` alone: no cookie at all when it is none.
ServiceRequest sessionRequest(const QString& path, const QByteArray& method, const std::optional<QString>& session)
{
    ServiceRequest exchange = sessionRequest(path, method);
    exchange.withSession = session.has_value();
    exchange.sessionCookie = session;
    return exchange;
}

void send(APIService& service, ServiceRequest exchange, QObject* context, Completion done)
{
    service.send(std::move(exchange), context, [done = std::move(done)](ServiceResult<ServiceReply> result) {
        if (!result.ok())
            return done(result.error());
        const ServiceReply& reply = result.value();
        if (reply.status == 401)
            return done(ServiceError::unauthorised());
        if (!reply.isSuccess())
            return done(ServiceError::status(reply.status));
        // A success without a usable body (204 included) is an empty answer, not a failure.
        done(reply.jsonObjectOrEmpty());
    });
}

} // namespace

void request(APIService& service, const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body,
             QObject* context, Completion done)
{
    ServiceRequest exchange = sessionRequest(path, method);
    exchange.body = body;
    send(service, std::move(exchange), context, std::move(done));
}

void request(APIService& service, const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body,
             const std::optional<QString>& session, QObject* context, Completion done)
{
    ServiceRequest exchange = sessionRequest(path, method, session);
    exchange.body = body;
    send(service, std::move(exchange), context, std::move(done));
}

void request(const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body, QObject* context,
             Completion done)
{
    request(APIService::shared(), path, method, body, context, std::move(done));
}

void requestEncoded(APIService& service, const QString& path, const QByteArray& method, EncodedBody json,
                    QObject* context, Completion done)
{
    ServiceRequest exchange = sessionRequest(path, method);
    // Moved all the way down: the upload thread holds the last reference and frees the body.
    exchange.encodedBody = std::move(json);
    send(service, std::move(exchange), context, std::move(done));
}

void requestEncoded(APIService& service, const QString& path, const QByteArray& method, EncodedBody json,
                    const std::optional<QString>& session, QObject* context, Completion done)
{
    ServiceRequest exchange = sessionRequest(path, method, session);
    exchange.encodedBody = std::move(json);
    send(service, std::move(exchange), context, std::move(done));
}

} // namespace LoggerAPI
