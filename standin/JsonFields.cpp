#include "JsonFields.h"

#include <cmath>

namespace standin {

namespace {
// 2^53: past it a double no longer tells neighbouring integers apart.
constexpr double kLargestExactInteger = 9007199254740992.0;
} // namespace

std::optional<QJsonValue> JsonFields::present(QLatin1StringView key, bool required)
{
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it->isNull()) {
        if (required)
            fail(key, "is required");
        return std::nullopt;
    }
    return *it;
}

void JsonFields::fail(QLatin1StringView key, const char* what)
{
    if (m_problem.isEmpty())
        m_problem = QStringLiteral("\"%1\" %2").arg(key, QLatin1StringView(what));
}

QString JsonFields::string(QLatin1StringView key, bool required)
{
    const auto value = present(key, required);
    if (!value)
        return {};
    if (!value->isString()) {
        fail(key, "must be a string");
        return {};
    }
    return value->toString();
}

std::optional<double> JsonFields::number(QLatin1StringView key, bool required)
{
    const auto value = present(key, required);
    if (!value)
        return std::nullopt;
    if (!value->isDouble() || !std::isfinite(value->toDouble())) {
        fail(key, "must be a finite number");
        return std::nullopt;
    }
    return value->toDouble();
}

std::optional<qint64> JsonFields::wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > kLargestExactInteger)
        return std::nullopt;
    return static_cast<qint64>(d);
}

std::optional<qint64> JsonFields::integer(QLatin1StringView key, bool required)
{
    const auto value = present(key, required);
    if (!value)
        return std::nullopt;
    const auto whole = wholeNumber(*value);
    if (!whole)
        fail(key, "must be a whole number");
    return whole;
}

std::optional<QJsonArray> JsonFields::array(QLatin1StringView key, bool required)
{
    const auto value = present(key, required);
    if (!value)
        return std::nullopt;
    if (!value->isArray()) {
        fail(key, "must be an array");
        return std::nullopt;
    }
    return value->toArray();
}

std::optional<QJsonArray> JsonFields::objectArray(QLatin1StringView key, bool required)
{
    auto list = array(key, required);
    if (!list)
        return std::nullopt;
    for (const QJsonValue& element : std::as_const(*list)) {
        if (!element.isObject()) {
            fail(key, "must hold only objects");
            return std::nullopt;
        }
    }
    return list;
}

std::optional<QStringList> JsonFields::stringArray(QLatin1StringView key, bool required)
{
    const auto list = array(key, required);
    if (!list)
        return std::nullopt;
    QStringList strings;
    strings.reserve(list->size());
    for (const QJsonValue& element : *list) {
        if (!element.isString()) {
            fail(key, "must hold only strings");
            return std::nullopt;
        }
        strings.append(element.toString());
    }
    return strings;
}

} // namespace standin
