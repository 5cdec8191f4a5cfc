#pragma once

#include "model/LogEntry.h"
#include "model/LogLines.h"
#include "platform/Date.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

class JsonWriter;

// Entries as encoded for earlier saves, by id, so that a save encodes only the entries new or
// changed since: an entry equal to the one encoded before is spliced in as it was. Entries not
// written since the last `sweep` are forgotten then. One thread at a time.
class LogEntryCache {
public:
    void write(JsonWriter& writer, const LogEntry& entry);
    void sweep();

private:
    struct Encoded {
        LogEntry entry;
        QByteArray json;
        bool written = false;
    };
    QHash<QUuid, Encoded> m_entries;
};

// One saved log.
struct LogSession {
    QUuid id;
    Date createdAt;
    LogEntries entries;
    std::optional<QString> shootToken;
    std::optional<LogLines> transcript;

    // Neither entries nor transcript lines: such a log is never stored.
    [[nodiscard]] bool isEmpty() const { return entries.isEmpty() && (!transcript || transcript->isEmpty()); }

    // With a cache, entries unchanged since it last saw them are not encoded again; the bytes
    // are the same either way.
    void write(JsonWriter& writer, LogEntryCache* entries = nullptr) const;
    [[nodiscard]] QByteArray toJson(LogEntryCache* entries = nullptr) const;
    // The same bytes as pieces, in order: the transcript blocks' and the cached entries' own JSON
    // shared rather than copied, so a long log is written out without a copy of the whole of it.
    [[nodiscard]] QList<QByteArray> toJsonPieces(LogEntryCache* entries = nullptr) const;
    [[nodiscard]] static std::optional<LogSession> fromJson(const QJsonValue& value);

    friend bool operator==(const LogSession&, const LogSession&) = default;
};

// The saved-sessions file: one JSON array of sessions. Decoding fails as a whole when any
// session, entry or line fails.
namespace LogSessionFile {
[[nodiscard]] std::optional<QList<LogSession>> decode(const QByteArray& bytes);
[[nodiscard]] QByteArray encode(const QList<LogSession>& sessions);
} // namespace LogSessionFile
