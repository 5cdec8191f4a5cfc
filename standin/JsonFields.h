#pragma once

#include "HttpMessage.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QString>

#include <optional>

namespace standin {

// Reads the fields of a request body strictly: a required field must be present with its type;
// an optional one may be missing or null. The first problem is kept and becomes the 400 answer,
// so a handler reads every field and checks ok() once.
class JsonFields {
public:
    explicit JsonFields(QJsonObject object) : m_object(std::move(object)) {}

    QString string(QLatin1StringView key, bool required);
    std::optional<double> number(QLatin1StringView key, bool required);
    // A whole number within the range a double holds exactly (±2^53).
    std::optional<qint64> integer(QLatin1StringView key, bool required);
    std::optional<QJsonArray> array(QLatin1StringView key, bool required);
    // Every element must be an object / a string.
    std::optional<QJsonArray> objectArray(QLatin1StringView key, bool required);
    std::optional<QStringList> stringArray(QLatin1StringView key, bool required);

    [[nodiscard]] bool ok() const { return m_problem.isEmpty(); }
    [[nodiscard]] Reply error() const { return errorReply(400, m_problem); }
    [[nodiscard]] const QString& problem() const { return m_problem; }
    [[nodiscard]] const QJsonObject& object() const { return m_object; }

    // The same whole-number test for a value read elsewhere.
    [[nodiscard]] static std::optional<qint64> wholeNumber(const QJsonValue& value);

private:
    // The value when present and not null; records "missing" for a required field.
    std::optional<QJsonValue> present(QLatin1StringView key, bool required);
    void fail(QLatin1StringView key, const char* what);

    QJsonObject m_object;
    QString m_problem;
};

} // namespace standin
