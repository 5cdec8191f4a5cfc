#pragma once

#include <QJsonArray>
#include <QJsonValue>
#include <QStringList>

#include <optional>

// The strings of a stored list, in order. An element of another type is skipped, so that one bad
// value costs that value and not the user's list (the next save would store what was loaded).
// Nothing when the value is not a list.
inline std::optional<QStringList> storedStrings(const QJsonValue& value)
{
    if (!value.isArray())
        return std::nullopt;
    QStringList strings;
    for (const QJsonValue& element : value.toArray()) {
        if (element.isString())
            strings.append(element.toString());
    }
    return strings;
}
