#include "ControlDesk.h"

#include "JsonFields.h"
#include "StandinService.h"

namespace standin {

namespace {

QString controlPath(const char* rest)
{
    return QStringLiteral("/%1/%2").arg(QLatin1StringView(ControlDesk::kPrefix), QLatin1StringView(rest));
}

Reply done()
{
    return jsonReply(QJsonObject{{QStringLiteral("ok"), true}});
}

// The control fields that become the poll answer's fields, passed on as they are so that a test
// can send a wrong type as easily as a right one.
constexpr std::pair<const char*, const char*> kReadingFields[] = {
    {"timecode", "camera_tc"},
    {"format", "tc_format"},
    {"tz_offset_min", "tz_offset_min"},
    {"seen_at_ms", "seen_at_ms"},
};

} // namespace

void ControlDesk::registerRoutes(Router& router)
{
    const auto post = [&](const char* path, Reply (ControlDesk::*member)(const Call&)) {
        router.add("POST", controlPath(path), Access::Open,
                   [this, member](const Call& call) { return (this->*member)(call); });
    };
    post("fault", &ControlDesk::fault);
    post("clear", &ControlDesk::clear);
    post("scan/complete", &ControlDesk::completeScan);
    post("scan/fail", &ControlDesk::failScan);
    post("verify-mode", &ControlDesk::verifyMode);
    post("phones", &ControlDesk::phones);
    post("next-id", &ControlDesk::nextId);
    router.add("GET", controlPath("state"), Access::Open, [this](const Call& call) { return state(call); });
}

Reply ControlDesk::fault(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    QString problem;
    const auto fault = FaultPlan::parse(body, problem);
    if (!fault)
        return errorReply(400, problem);
    m_service.faults().add(*fault);
    return done();
}

Reply ControlDesk::clear(const Call&)
{
    m_service.faults().clear();
    return done();
}

Reply ControlDesk::completeScan(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const QString id = fields.string(QLatin1StringView("id"), true);
    const QString status = fields.string(QLatin1StringView("status"), false);
    const QString raw = fields.string(QLatin1StringView("raw"), false);
    if (!fields.ok())
        return fields.error();

    QJsonObject reading;
    for (const auto& [control, wire] : kReadingFields) {
        const auto it = body.constFind(QLatin1StringView(control));
        if (it != body.constEnd())
            reading.insert(QLatin1StringView(wire), *it);
    }
    QString problem;
    if (!m_service.scans().complete(id, reading, status, raw.toUtf8(), problem))
        return errorReply(409, problem);
    return done();
}

Reply ControlDesk::failScan(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const QString id = fields.string(QLatin1StringView("id"), true);
    if (!fields.ok())
        return fields.error();
    QString problem;
    if (!m_service.scans().fail(id, problem))
        return errorReply(409, problem);
    return done();
}

Reply ControlDesk::verifyMode(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    const QJsonValue sid = body.value(QStringLiteral("sid"));
    const QJsonValue setCookie = body.value(QStringLiteral("set_cookie"));
    if ((!sid.isUndefined() && !sid.isBool()) || (!setCookie.isUndefined() && !setCookie.isBool()))
        return errorReply(400, QStringLiteral("\"sid\" and \"set_cookie\" must be booleans"));
    m_service.auth().setVerifyMode(sid.toBool(true), setCookie.toBool(true));
    return done();
}

Reply ControlDesk::phones(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const auto pushed = fields.integer(QLatin1StringView("pushed"), true);
    if (!fields.ok())
        return fields.error();
    if (*pushed < 0 || *pushed > 1000)
        return errorReply(400, QStringLiteral("\"pushed\" must lie between 0 and 1000"));
    m_service.scans().setPushed(static_cast<int>(*pushed));
    return done();
}

Reply ControlDesk::nextId(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const QString kind = fields.string(QLatin1StringView("kind"), true);
    const QString id = fields.string(QLatin1StringView("id"), true);
    if (!fields.ok())
        return fields.error();
    if (id.isEmpty())
        return errorReply(400, QStringLiteral("\"id\" must not be empty"));
    if (kind == QLatin1StringView("shoot"))
        m_service.shoots().setNextToken(id);
    else if (kind == QLatin1StringView("scan"))
        m_service.scans().setNextId(id);
    else
        return errorReply(400, QStringLiteral("\"kind\" must be \"shoot\" or \"scan\""));
    return done();
}

Reply ControlDesk::state(const Call&) const
{
    QJsonObject all = m_service.auth().stateJson();
    const QJsonObject answers = m_service.answers().stateJson();
    for (auto it = answers.constBegin(); it != answers.constEnd(); ++it)
        all.insert(it.key(), it.value());
    all.insert(QStringLiteral("scans"), m_service.scans().stateJson());
    all.insert(QStringLiteral("requests"), m_service.requests().stateJson());
    all.insert(QStringLiteral("faults"), m_service.faults().stateJson());
    const TransportStats& transport = m_service.transport();
    all.insert(QStringLiteral("transport"),
               QJsonObject{{QStringLiteral("accept_failures"), static_cast<double>(transport.acceptFailures)},
                           {QStringLiteral("timed_out"), static_cast<double>(transport.timedOut)},
                           {QStringLiteral("most_held_bytes"), static_cast<double>(transport.mostHeldBytes)}});
    // The shoots come as text, their synced bodies as they were sent: appended, not decoded into
    // this object and written out again.
    Reply reply = jsonReply(all);
    reply.body.chop(1);
    reply.body += ",\"shoots\":";
    reply.body += m_service.shoots().stateJson();
    reply.body += '}';
    return reply;
}

} // namespace standin
