#include "FaultPlan.h"

#include "JsonFields.h"

#include <array>
#include <utility>

namespace standin {

namespace {

constexpr int kDefaultSlowMs = 3000;
constexpr qint64 kLongestDelayMs = 120'000;
constexpr qint64 kMostRequests = 1'000'000;

constexpr std::array<std::pair<const char*, FaultKind>, 6> kKinds{{
    {"slow", FaultKind::Slow},
    {"status", FaultKind::Status},
    {"nonjson", FaultKind::NonJson},
    {"drop", FaultKind::Drop},
    {"empty", FaultKind::Empty},
    {"answer", FaultKind::Answer},
}};

const char* kindName(FaultKind kind)
{
    for (const auto& [name, value] : kKinds) {
        if (value == kind)
            return name;
    }
    return "unknown";
}

} // namespace

std::optional<Fault> FaultPlan::parse(const QJsonObject& body, QString& problem)
{
    JsonFields fields(body);
    Fault fault;
    fault.path = fields.string(QLatin1StringView("path"), true);
    fault.method = fields.string(QLatin1StringView("method"), false).toUpper().toLatin1();
    const QString kind = fields.string(QLatin1StringView("kind"), true);
    const auto status = fields.integer(QLatin1StringView("status"), false);
    const auto delay = fields.integer(QLatin1StringView("delay_ms"), false);
    const auto count = fields.integer(QLatin1StringView("count"), false);
    if (!fields.ok()) {
        problem = fields.problem();
        return std::nullopt;
    }
    if (!fault.path.startsWith(u'/')) {
        problem = QStringLiteral("\"path\" must start with \"/\"");
        return std::nullopt;
    }
    bool known = false;
    for (const auto& [name, value] : kKinds) {
        if (kind == QLatin1StringView(name)) {
            fault.kind = value;
            known = true;
        }
    }
    if (!known) {
        problem = QStringLiteral("\"kind\" must be slow, status, nonjson, drop, empty or answer");
        return std::nullopt;
    }
    if (status && (*status < 100 || *status > 599)) {
        problem = QStringLiteral("\"status\" must lie between 100 and 599");
        return std::nullopt;
    }
    if (delay && (*delay < 0 || *delay > kLongestDelayMs)) {
        problem = QStringLiteral("\"delay_ms\" must lie between 0 and 120000");
        return std::nullopt;
    }
    if (count && (*count == 0 || *count < -1 || *count > kMostRequests)) {
        problem = QStringLiteral("\"count\" must be -1 or between 1 and 1000000");
        return std::nullopt;
    }
    // The bounds were checked above, so the narrowing is exact.
    fault.status = status ? static_cast<int>(*status) : 500;
    fault.delayMs = delay ? static_cast<int>(*delay) : (fault.kind == FaultKind::Slow ? kDefaultSlowMs : 0);
    fault.remaining = count ? static_cast<int>(*count) : 1;
    const QJsonValue answerBody = body.value(QLatin1StringView("body"));
    if (!answerBody.isUndefined() && !answerBody.isString()) {
        problem = QStringLiteral("\"body\" must be a string");
        return std::nullopt;
    }
    fault.body = answerBody.toString().toUtf8();
    const QJsonValue headers = body.value(QLatin1StringView("headers"));
    if (!headers.isUndefined() && !headers.isObject()) {
        problem = QStringLiteral("\"headers\" must be an object of strings");
        return std::nullopt;
    }
    const QJsonObject headerObject = headers.toObject();
    for (auto it = headerObject.begin(); it != headerObject.end(); ++it) {
        if (!it->isString()) {
            problem = QStringLiteral("\"headers\" must be an object of strings");
            return std::nullopt;
        }
        fault.headers.append(qMakePair(it.key().toUtf8(), it->toString().toUtf8()));
    }
    return fault;
}

std::optional<Fault> FaultPlan::take(const Request& request)
{
    for (qsizetype i = 0; i < m_faults.size(); ++i) {
        Fault& fault = m_faults[i];
        if (!fault.method.isEmpty() && fault.method != request.method)
            continue;
        const bool prefix = fault.path.endsWith(u'*');
        const bool matches =
            prefix ? request.path.startsWith(QStringView(fault.path).chopped(1)) : request.path == fault.path;
        if (!matches)
            continue;
        const Fault used = fault;
        if (fault.remaining > 0 && --fault.remaining == 0)
            m_faults.removeAt(i);
        return used;
    }
    return std::nullopt;
}

QJsonArray FaultPlan::stateJson() const
{
    QJsonArray list;
    for (const Fault& fault : m_faults) {
        list.append(QJsonObject{
            {QStringLiteral("path"), fault.path},
            {QStringLiteral("method"), QString::fromLatin1(fault.method)},
            {QStringLiteral("kind"), QLatin1StringView(kindName(fault.kind))},
            {QStringLiteral("status"), fault.status},
            {QStringLiteral("delay_ms"), fault.delayMs},
            {QStringLiteral("count"), fault.remaining},
        });
    }
    return list;
}

} // namespace standin
