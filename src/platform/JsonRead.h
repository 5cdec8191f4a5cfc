#pragma once

#include "platform/Date.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QUuid>

#include <optional>

// Strict, non-throwing readers of decoded JSON for record decoding. A required field fails on a
// missing key or a value of another type; an optional field may be missing or null but fails on
// another type. Numbers must be finite; integers must be whole and in range. Each reader leaves
// `out` untouched when it fails.
namespace JsonRead {

bool read(const QJsonValue& v, QString& out);
bool read(const QJsonValue& v, bool& out);
bool read(const QJsonValue& v, double& out);
bool read(const QJsonValue& v, int& out);
bool read(const QJsonValue& v, qint64& out);
bool read(const QJsonValue& v, Date& out);
bool read(const QJsonValue& v, QUuid& out);
bool read(const QJsonValue& v, QStringList& out);

template <typename T>
bool required(const QJsonObject& object, QLatin1StringView key, T& out)
{
    const auto it = object.constFind(key);
    return it != object.constEnd() && read(*it, out);
}

template <typename T>
bool optional(const QJsonObject& object, QLatin1StringView key, std::optional<T>& out)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull()) {
        out.reset();
        return true;
    }
    T value{};
    if (!read(*it, value))
        return false;
    out = std::move(value);
    return true;
}

// Decodes every element of an array with `decode` (returning std::optional<T>); fails as a whole
// when the value is not an array or any element fails.
template <typename T, typename Decode>
bool readList(const QJsonValue& v, QList<T>& out, Decode decode)
{
    if (!v.isArray())
        return false;
    const QJsonArray array = v.toArray();
    QList<T> list;
    list.reserve(array.size());
    for (const QJsonValue& element : array) {
        std::optional<T> item = decode(element);
        if (!item)
            return false;
        list.append(std::move(*item));
    }
    out = std::move(list);
    return true;
}

} // namespace JsonRead
