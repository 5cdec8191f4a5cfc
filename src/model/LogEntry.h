#pragma once

#include "model/LoggableMarker.h"
#include "platform/Date.h"
#include "platform/SharedBlocks.h"

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

class JsonWriter;

// One logged moment. JSON keys are the field names; the optional fields are left out when
// absent.
struct LogEntry {
    QUuid id;
    // The moment the entry starts (for a button press: the press less the button's grab-back).
    Date time;
    // Camera timecode text at `time`.
    QString timecode;
    // Marker kind id.
    QString type;
    std::optional<Date> endTime;
    std::optional<QString> timecodeOut;
    // An in/out range whose out point is not yet marked.
    bool open = false;
    QString summary;
    // The words the entry quotes.
    QString highlight;
    // A summary request is in flight.
    bool summarising = false;
    QString note;
    QStringList tags;
    // Raised by a keyword alert and not yet kept by the logger.
    bool suggested = false;
    std::optional<QString> speaker;
    std::optional<QString> lineID;
    std::optional<QStringList> lineIDs;

    void write(JsonWriter& writer) const;
    // Fails on a missing required key or a value of the wrong type.
    [[nodiscard]] static std::optional<LogEntry> fromJson(const QJsonValue& value);

    [[nodiscard]] LoggableMarker asMarker() const;

    friend bool operator==(const LogEntry&, const LogEntry&) = default;
};

// A log's entries. A saved or synced copy shares the blocks, so the log's next edit copies one
// block of entries, not the whole day's.
using LogEntries = SharedBlocks<LogEntry>;

// The second marker record: markers as the service keeps them. Nothing here creates or decodes
// one from the service yet; the exporters read it through LoggableMarker.
struct ShootMarker {
    QString id;
    QString markerType;
    QString timecode;
    std::optional<QString> timecodeOut;
    std::optional<QString> summary;
    std::optional<QString> quote;
    std::optional<QString> raw;
    std::optional<QString> manualNote;
    Date createdAt;
    std::optional<double> streamIn;
    std::optional<double> streamOut;
    std::optional<QString> grade;
    std::optional<QString> timelineId;
    std::optional<QString> timelineName;
    std::optional<QString> timelineColor;
    std::optional<QString> userColorHex;
    std::optional<QString> userResolveColor;

    void write(JsonWriter& writer) const;
    [[nodiscard]] static std::optional<ShootMarker> fromJson(const QJsonValue& value);

    [[nodiscard]] LoggableMarker asMarker() const;

    friend bool operator==(const ShootMarker&, const ShootMarker&) = default;
};
