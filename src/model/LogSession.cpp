#include "model/LogSession.h"

#include "platform/JsonRead.h"
#include "platform/JsonWriter.h"

#include <QJsonDocument>

#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

// JSON has no NaN or infinity, and a date the reader refuses would cost every saved log at the
// next start. Such a date is written as the nearest finite one, NaN as the oldest, so the file
// reads back in the order the store keeps.
bool isWritable(Date date)
{
    return std::isfinite(date.sinceReferenceDate);
}

Date writable(Date date)
{
    if (isWritable(date))
        return date;
    return Date{date.sinceReferenceDate > 0 ? std::numeric_limits<double>::max()
                                            : std::numeric_limits<double>::lowest()};
}

void writeEntry(JsonWriter& w, const LogEntry& entry)
{
    if (isWritable(entry.time) && (!entry.endTime || isWritable(*entry.endTime))) {
        entry.write(w);
        return;
    }
    LogEntry copy = entry;
    copy.time = writable(copy.time);
    if (copy.endTime)
        copy.endTime = writable(*copy.endTime);
    copy.write(w);
}

} // namespace

void LogEntryCache::write(JsonWriter& w, const LogEntry& entry)
{
    Encoded& encoded = m_entries[entry.id];
    if (encoded.json.isEmpty() || !(encoded.entry == entry)) {
        encoded.entry = entry;
        encoded.json.clear();
        JsonWriter writer(encoded.json);
        writeEntry(writer, entry);
        // Kept while the entry stays as it is, often all day: no room left to grow into.
        encoded.json.squeeze();
    }
    encoded.written = true;
    w.raw(encoded.json);
}

void LogEntryCache::sweep()
{
    m_entries.removeIf([](QHash<QUuid, Encoded>::iterator it) { return !std::exchange(it->written, false); });
}

void LogSession::write(JsonWriter& w, LogEntryCache* cache) const
{
    w.beginObject();
    w.field("id", id);
    w.field("createdAt", writable(createdAt));
    w.key("entries");
    w.beginArray();
    for (const LogEntry& entry : entries) {
        if (cache)
            cache->write(w, entry);
        else
            writeEntry(w, entry);
    }
    w.endArray();
    w.optional("shootToken", shootToken);
    if (transcript) {
        w.key("transcript");
        transcript->write(w);
    }
    w.endObject();
}

QByteArray LogSession::toJson(LogEntryCache* cache) const
{
    QByteArray out;
    // Roughly what a line or an entry takes, so the buffer grows once or twice at most.
    out.reserve(256 + entries.size() * 400 + (transcript ? transcript->size() * 160 : 0));
    JsonWriter writer(out);
    write(writer, cache);
    return out;
}

QList<QByteArray> LogSession::toJsonPieces(LogEntryCache* cache) const
{
    QList<QByteArray> pieces;
    QByteArray out;
    JsonWriter writer(out, pieces);
    write(writer, cache);
    if (!out.isEmpty())
        pieces.append(std::move(out));
    return pieces;
}

std::optional<LogSession> LogSession::fromJson(const QJsonValue& value)
{
    using namespace JsonRead;
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    LogSession s;
    QList<LogEntry> entries;
    bool ok = required(o, "id"_L1, s.id) && required(o, "createdAt"_L1, s.createdAt) &&
              readList(o.value("entries"_L1), entries, &LogEntry::fromJson) &&
              optional(o, "shootToken"_L1, s.shootToken);
    if (!ok)
        return std::nullopt;
    s.entries = entries;
    const QJsonValue transcript = o.value("transcript"_L1);
    if (!transcript.isUndefined() && !transcript.isNull()) {
        QList<LogLine> lines;
        if (!readList(transcript, lines, &LogLine::fromJson))
            return std::nullopt;
        s.transcript = std::move(lines);
    }
    return s;
}

namespace LogSessionFile {

std::optional<QList<LogSession>> decode(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<LogSession> sessions;
    if (!JsonRead::readList(QJsonValue(document.array()), sessions, &LogSession::fromJson))
        return std::nullopt;
    return sessions;
}

QByteArray encode(const QList<LogSession>& sessions)
{
    QByteArray out;
    JsonWriter writer(out);
    writer.beginArray();
    for (const LogSession& session : sessions)
        session.write(writer);
    writer.endArray();
    return out;
}

} // namespace LogSessionFile
