#include "service/LoggerAPI.h"

#include "service/APIService.h"

namespace LoggerAPI {

void request(APIService& service, const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body,
             QObject* context, Completion done)
{
    ServiceRequest exchange;
    exchange.path = path;
    exchange.method = method;
    exchange.body = body;
    exchange.timeout = kTimeout;

    service.send(exchange, context, [done = std::move(done)](ServiceResult<ServiceReply> result) {
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

void request(const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body, QObject* context,
             Completion done)
{
    request(APIService::shared(), path, method, body, context, std::move(done));
}

} // namespace LoggerAPI
