#pragma once

// Shared by the screen tests: a shoot-sync snapshot read back as the JSON its sync sends.

#include "service/LoggerCloud.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace screen_test {

// The lines and markers a sync of `snapshot` sends, parsed from the body the cloud assembles.
struct SentLog {
    QJsonArray segments;
    QJsonArray markers;
};

inline QJsonObject sentBody(const LoggerCloud::Snapshot& snapshot, const QStringList& deleted = {},
                            std::optional<qint64> offsetMs = std::nullopt)
{
    return QJsonDocument::fromJson(LoggerCloud::syncBody(snapshot, deleted, offsetMs)).object();
}

inline SentLog sent(const LoggerCloud::Snapshot& snapshot)
{
    const QJsonObject body = sentBody(snapshot);
    return {body.value(QLatin1String("segments")).toArray(), body.value(QLatin1String("markers")).toArray()};
}

} // namespace screen_test
