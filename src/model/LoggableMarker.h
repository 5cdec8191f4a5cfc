#pragma once

#include "platform/Date.h"

#include <QString>
#include <QStringList>

#include <optional>

// The read-only view of a marker through which the export writers read log entries and shoot
// markers alike. An absent text is nullopt; an empty text that a record stores as present
// stays present.
struct LoggableMarker {
    QString timecode;
    std::optional<QString> timecodeOut;
    QString markerType;
    std::optional<QString> summary;
    std::optional<QString> quote;
    std::optional<QString> manualNote;
    QStringList tags;
    std::optional<QString> userResolveColor;
    std::optional<Date> createdAt;
    std::optional<QString> speaker;

    friend bool operator==(const LoggableMarker&, const LoggableMarker&) = default;
};
