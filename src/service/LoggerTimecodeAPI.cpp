#include "service/LoggerTimecodeAPI.h"

#include "service/APIService.h"
#include "service/ServiceUrl.h"

#include <cmath>

namespace LoggerTimecodeAPI {

namespace {

const QString kRequestPath = QStringLiteral("/api/logger/tc-request");
// Whole milliseconds a double still counts one by one.
constexpr double kExactMillisecondsLimit = 9007199254740992.0;

// A JSON number that is a whole value within [low, high]; nullopt for anything else.
std::optional<double> wholeNumber(const QJsonValue& value, double low, double high)
{
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::trunc(number) || number < low || number > high)
        return std::nullopt;
    return number;
}

} // namespace

void send(APIService& service, const QString& path, const QByteArray& method, const std::optional<QJsonObject>& body,
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
        // The scan's requests accept exactly 200, not the whole 2xx range.
        if (reply.status != 200)
            return done(ServiceError::status(reply.status));
        done(reply.jsonObject());
    });
}

void request(APIService& service, QObject* context, std::function<void(ServiceResult<Requested>)> done)
{
    send(service, kRequestPath, "POST", QJsonObject(), context,
         [done = std::move(done)](ServiceResult<QJsonObject> result) {
             if (!result.ok())
                 return done(result.error());
             done(readRequested(result.value()));
         });
}

void poll(APIService& service, const QString& id, QObject* context, std::function<void(ServiceResult<Result>)> done)
{
    send(service, kRequestPath + u'/' + ServiceUrl::pathSegment(id), "GET", std::nullopt, context,
         [done = std::move(done)](ServiceResult<QJsonObject> result) {
             if (!result.ok())
                 return done(result.error());
             done(readResult(result.value()));
         });
}

ServiceResult<Requested> readRequested(const QJsonObject& answer)
{
    const QJsonValue id = answer.value(QLatin1String("id"));
    if (!id.isString())
        return ServiceError::badResponse();
    Requested requested;
    requested.id = id.toString();
    const QJsonValue pushed = answer.value(QLatin1String("pushed"));
    if (pushed.isDouble()) {
        const auto count = wholeNumber(pushed, 0.0, kMaxPushed);
        if (!count)
            return ServiceError::badResponse();
        requested.pushed = static_cast<int>(*count);
    }
    return requested;
}

Result readResult(const QJsonObject& answer)
{
    Result result;
    if (const QJsonValue status = answer.value(QLatin1String("status")); status.isString())
        result.status = status.toString();
    if (const QJsonValue tc = answer.value(QLatin1String("camera_tc")); tc.isString())
        result.cameraTC = tc.toString();
    if (const QJsonValue format = answer.value(QLatin1String("tc_format")); format.isString())
        result.tcFormat = format.toString();
    // A phone's moment may carry a fraction of a millisecond.
    if (const QJsonValue seen = answer.value(QLatin1String("seen_at_ms")); seen.isDouble()) {
        const double ms = seen.toDouble();
        if (std::isfinite(ms) && ms >= 0.0 && ms <= kExactMillisecondsLimit)
            result.seenAt = Date::fromSecondsSince1970(ms / 1000.0);
        else
            result.readable = false;
    }
    if (const QJsonValue tz = answer.value(QLatin1String("tz_offset_min")); tz.isDouble()) {
        constexpr double limit = CameraTimecode::kMaxTzOffsetMinutes;
        if (const auto minutes = wholeNumber(tz, -limit, limit))
            result.tzOffsetMinutes = static_cast<int>(*minutes);
        else
            result.readable = false;
    }
    return result;
}

QString errorText(const ServiceError& error)
{
    switch (error.kind()) {
    case ServiceError::Kind::Unauthorised:
        return QStringLiteral("sign in first");
    case ServiceError::Kind::Status:
        return QStringLiteral("server said %1").arg(error.httpStatus());
    default:
        return error.description();
    }
}

void install(CameraTimecode& clock, APIService& service)
{
    install(clock, service, ScanTiming());
}

void install(CameraTimecode& clock, APIService& service, ScanTiming timing)
{
    clock.setScanBackend(std::make_unique<ScanRunner>(service, timing, &clock.timeSource()));
}

ScanRunner::ScanRunner(APIService& service, ScanTiming timing, Clock* clock, QObject* parent)
    : QObject(parent), m_service(&service), m_timing(timing), m_time(Clock::orSystem(clock)),
      m_pollTimer(m_time.makeTimer([this] { pollNow(m_scan); }))
{
    m_pollTimer->setSingleShot(true);
}

void ScanRunner::startScan(CameraTimecode& clock, quint64 scan)
{
    stop();
    m_clock = &clock;
    m_scan = scan;
    m_requests = new QObject(this);
    if (!m_service)
        return fail(scan, QString::fromLatin1(kUnreachablePrefix) + ServiceError::invalidResponse().description());
    request(*m_service, m_requests, [this, scan](ServiceResult<Requested> result) { requested(scan, result); });
}

void ScanRunner::cancelScan(quint64 scan)
{
    if (scan == m_scan)
        stop();
}

void ScanRunner::stop()
{
    m_pollTimer->stop();
    delete m_requests;
    m_requests = nullptr;
    m_id.clear();
}

void ScanRunner::requested(quint64 scan, const ServiceResult<Requested>& result)
{
    if (!isCurrent(scan))
        return;
    if (!result.ok())
        return fail(scan, QString::fromLatin1(kUnreachablePrefix) + errorText(result.error()));
    const Requested& requested = result.value();
    m_clock->reportScanWaiting(scan, requested.pushed);
    if (requested.pushed == 0)
        return fail(scan, QString::fromLatin1(kNoPhoneMessage));
    m_id = requested.id;
    m_deadline = m_time.monotonic() + m_timing.deadline;
    m_pollTimer->start(m_timing.pollInterval);
}

void ScanRunner::pollNow(quint64 scan)
{
    if (!isCurrent(scan))
        return;
    if (!m_service)
        return fail(scan, QString::fromLatin1(kUnreachablePrefix) + ServiceError::invalidResponse().description());
    poll(*m_service, m_id, m_requests, [this, scan](ServiceResult<Result> result) { polled(scan, result); });
}

void ScanRunner::polled(quint64 scan, const ServiceResult<Result>& result)
{
    if (!isCurrent(scan))
        return;
    if (!result.ok())
        return fail(scan, QString::fromLatin1(kUnreachablePrefix) + errorText(result.error()));
    const Result& answer = result.value();
    if (answer.status == QLatin1String("done")) {
        CameraTimecode* clock = m_clock;
        stop();
        clock->reportScanResult(scan, answer);
        return;
    }
    if (answer.status == QLatin1String("expired"))
        return fail(scan, QString::fromLatin1(kExpiredMessage));
    // Anything else is still pending.
    if (m_time.monotonic() >= m_deadline)
        return fail(scan, QString::fromLatin1(kNoAnswerMessage));
    m_pollTimer->start(m_timing.pollInterval);
}

void ScanRunner::fail(quint64 scan, const QString& message)
{
    CameraTimecode* clock = m_clock;
    stop();
    if (clock)
        clock->reportScanFailed(scan, message);
}

} // namespace LoggerTimecodeAPI
