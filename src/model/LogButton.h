#pragma once

#include "platform/JsonRead.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

// The user's settings of one marker button: which kind it stands for, the name on it, whether
// the bar shows it, and how many seconds of transcript a tap grabs back.
struct LogButton {
    QString kind;
    QString name;
    bool enabled = false;
    double reach = 10;

    [[nodiscard]] QJsonObject toJson() const
    {
        return QJsonObject{
            {QStringLiteral("kind"), kind},
            {QStringLiteral("name"), name},
            {QStringLiteral("enabled"), enabled},
            {QStringLiteral("reach"), reach},
        };
    }

    // All four fields are required with their JSON types; reach must be a finite number. Keys
    // other than these four are ignored.
    [[nodiscard]] static std::optional<LogButton> fromJson(const QJsonValue& value)
    {
        if (!value.isObject())
            return std::nullopt;
        const QJsonObject object = value.toObject();
        LogButton button;
        if (!JsonRead::required(object, QLatin1StringView("kind"), button.kind)
            || !JsonRead::required(object, QLatin1StringView("name"), button.name)
            || !JsonRead::required(object, QLatin1StringView("enabled"), button.enabled)
            || !JsonRead::required(object, QLatin1StringView("reach"), button.reach))
            return std::nullopt;
        return button;
    }

    friend bool operator==(const LogButton&, const LogButton&) = default;
};
