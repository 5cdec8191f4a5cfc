#pragma once

#include "model/LogEntry.h"
#include "platform/Date.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

class JsonWriter;

// One saved transcript line. Its id is "<run start in whole seconds since 1970>-<segment id>",
// so a segment seen again in a later run makes a new line.
struct LogLine {
    QString id;
    std::optional<QString> speaker;
    QString text;
    // Camera timecode of the line's start, fixed when the line was first saved.
    QString timecode;
    int channel = 0;

    void write(JsonWriter& writer) const;
    [[nodiscard]] static std::optional<LogLine> fromJson(const QJsonValue& value);

    friend bool operator==(const LogLine&, const LogLine&) = default;
};

// Lines move by memcpy when the transcript grows: a 50,000-line list regrows without a stall.
Q_DECLARE_TYPEINFO(LogLine, Q_RELOCATABLE_TYPE);

// One saved log.
struct LogSession {
    QUuid id;
    Date createdAt;
    QList<LogEntry> entries;
    std::optional<QString> shootToken;
    std::optional<QList<LogLine>> transcript;

    // Neither entries nor transcript lines: such a log is never stored.
    [[nodiscard]] bool isEmpty() const { return entries.isEmpty() && (!transcript || transcript->isEmpty()); }

    void write(JsonWriter& writer) const;
    [[nodiscard]] QByteArray toJson() const;
    [[nodiscard]] static std::optional<LogSession> fromJson(const QJsonValue& value);

    friend bool operator==(const LogSession&, const LogSession&) = default;
};

// The saved-sessions file: one JSON array of sessions. Decoding fails as a whole when any
// session, entry or line fails.
namespace LogSessionFile {
[[nodiscard]] std::optional<QList<LogSession>> decode(const QByteArray& bytes);
[[nodiscard]] QByteArray encode(const QList<LogSession>& sessions);
} // namespace LogSessionFile
