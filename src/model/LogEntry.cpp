#include "model/LogEntry.h"

#include "platform/JsonRead.h"
#include "platform/JsonWriter.h"

using namespace Qt::Literals::StringLiterals;

namespace {

std::optional<QString> unlessEmpty(const QString& text)
{
    return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
}

} // namespace

void LogEntry::write(JsonWriter& w) const
{
    w.beginObject();
    w.field("id", id);
    w.field("time", time);
    w.field("timecode", timecode);
    w.field("type", type);
    w.optional("endTime", endTime);
    w.optional("timecodeOut", timecodeOut);
    w.field("open", open);
    w.field("summary", summary);
    w.field("highlight", highlight);
    w.field("summarising", summarising);
    w.field("note", note);
    w.field("tags", tags);
    w.field("suggested", suggested);
    w.optional("speaker", speaker);
    w.optional("lineID", lineID);
    w.optional("lineIDs", lineIDs);
    w.endObject();
}

std::optional<LogEntry> LogEntry::fromJson(const QJsonValue& value)
{
    using namespace JsonRead;
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    LogEntry e;
    const bool ok = required(o, "id"_L1, e.id) && required(o, "time"_L1, e.time)
                    && required(o, "timecode"_L1, e.timecode)
                    && required(o, "type"_L1, e.type)
                    && optional(o, "endTime"_L1, e.endTime)
                    && optional(o, "timecodeOut"_L1, e.timecodeOut)
                    && required(o, "open"_L1, e.open)
                    && required(o, "summary"_L1, e.summary)
                    && required(o, "highlight"_L1, e.highlight)
                    && required(o, "summarising"_L1, e.summarising)
                    && required(o, "note"_L1, e.note)
                    && required(o, "tags"_L1, e.tags)
                    && required(o, "suggested"_L1, e.suggested)
                    && optional(o, "speaker"_L1, e.speaker)
                    && optional(o, "lineID"_L1, e.lineID)
                    && optional(o, "lineIDs"_L1, e.lineIDs);
    if (!ok)
        return std::nullopt;
    return e;
}

LoggableMarker LogEntry::asMarker() const
{
    LoggableMarker m;
    m.timecode = timecode;
    m.timecodeOut = timecodeOut;
    m.markerType = type;
    m.summary = unlessEmpty(summary);
    m.quote = unlessEmpty(highlight);
    m.manualNote = unlessEmpty(note);
    m.tags = tags;
    m.speaker = speaker;
    return m;
}

void ShootMarker::write(JsonWriter& w) const
{
    w.beginObject();
    w.field("id", id);
    w.field("markerType", markerType);
    w.field("timecode", timecode);
    w.optional("timecodeOut", timecodeOut);
    w.optional("summary", summary);
    w.optional("quote", quote);
    w.optional("raw", raw);
    w.optional("manualNote", manualNote);
    w.field("createdAt", createdAt);
    w.optional("streamIn", streamIn);
    w.optional("streamOut", streamOut);
    w.optional("grade", grade);
    w.optional("timelineId", timelineId);
    w.optional("timelineName", timelineName);
    w.optional("timelineColor", timelineColor);
    w.optional("userColorHex", userColorHex);
    w.optional("userResolveColor", userResolveColor);
    w.endObject();
}

std::optional<ShootMarker> ShootMarker::fromJson(const QJsonValue& value)
{
    using namespace JsonRead;
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    ShootMarker m;
    const bool ok = required(o, "id"_L1, m.id)
                    && required(o, "markerType"_L1, m.markerType)
                    && required(o, "timecode"_L1, m.timecode)
                    && optional(o, "timecodeOut"_L1, m.timecodeOut)
                    && optional(o, "summary"_L1, m.summary)
                    && optional(o, "quote"_L1, m.quote)
                    && optional(o, "raw"_L1, m.raw)
                    && optional(o, "manualNote"_L1, m.manualNote)
                    && required(o, "createdAt"_L1, m.createdAt)
                    && optional(o, "streamIn"_L1, m.streamIn)
                    && optional(o, "streamOut"_L1, m.streamOut)
                    && optional(o, "grade"_L1, m.grade)
                    && optional(o, "timelineId"_L1, m.timelineId)
                    && optional(o, "timelineName"_L1, m.timelineName)
                    && optional(o, "timelineColor"_L1, m.timelineColor)
                    && optional(o, "userColorHex"_L1, m.userColorHex)
                    && optional(o, "userResolveColor"_L1, m.userResolveColor);
    if (!ok)
        return std::nullopt;
    return m;
}

LoggableMarker ShootMarker::asMarker() const
{
    LoggableMarker m;
    m.timecode = timecode;
    m.timecodeOut = timecodeOut;
    m.markerType = markerType;
    m.summary = summary;
    m.quote = quote;
    m.manualNote = manualNote;
    m.userResolveColor = userResolveColor;
    m.createdAt = createdAt;
    return m;
}
