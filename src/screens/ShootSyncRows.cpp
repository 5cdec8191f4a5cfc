#include "screens/ShootSyncRows.h"

#include "platform/JsonWriter.h"

#include <algorithm>
#include <limits>

namespace {

qint64 epochMilliseconds(Date date)
{
    return date.millisecondsSince1970().value_or(0);
}

// The words of `text` between single spaces, as split(u' ', SkipEmptyParts) counts them.
qsizetype spacedPieces(const QString& text)
{
    qsizetype pieces = 0;
    bool inPiece = false;
    for (const QChar c : text) {
        const bool space = c == u' ';
        pieces += !space && !inPiece;
        inPiece = !space;
    }
    return pieces;
}

// `text` as a JSON string, as QJsonDocument writes it: a surrogate half without its partner stays
// an escape (the platform's writer would make it "?"), so the service gets what was typed.
QByteArray jsonString(QStringView text)
{
    static constexpr char hex[] = "0123456789abcdef";
    // At most six bytes for each UTF-16 unit ("\u001f"), and the quotes.
    QByteArray out(text.size() * 6 + 2, Qt::Uninitialized);
    char* p = out.data();
    const auto escape = [&p](char16_t u) {
        *p++ = '\\';
        *p++ = 'u';
        *p++ = hex[u >> 12];
        *p++ = hex[(u >> 8) & 0xF];
        *p++ = hex[(u >> 4) & 0xF];
        *p++ = hex[u & 0xF];
    };
    *p++ = '"';
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t u = units[i];
        if (u < 0x80) {
            if (u >= 0x20 && u != u'"' && u != u'\\') {
                *p++ = char(u);
                continue;
            }
            const char shortEscape = u == u'"'    ? '"'
                                     : u == u'\\' ? '\\'
                                     : u == u'\n' ? 'n'
                                     : u == u'\r' ? 'r'
                                     : u == u'\t' ? 't'
                                                  : 0;
            if (shortEscape) {
                *p++ = '\\';
                *p++ = shortEscape;
            } else {
                escape(u);
            }
        } else if (u < 0x800) {
            *p++ = char(0xC0 | (u >> 6));
            *p++ = char(0x80 | (u & 0x3F));
        } else if (QChar::isHighSurrogate(u) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t c = QChar::surrogateToUcs4(u, units[++i]);
            *p++ = char(0xF0 | (c >> 18));
            *p++ = char(0x80 | ((c >> 12) & 0x3F));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        } else if (QChar::isSurrogate(u)) {
            escape(u);
        } else {
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        }
    }
    *p++ = '"';
    out.truncate(p - out.constData());
    return out;
}

// Text fields go through jsonString; everything else through the platform's writer.
void textField(JsonWriter& json, const char* name, QStringView text)
{
    json.key(name);
    json.raw(jsonString(text));
}

} // namespace

namespace {

constexpr qsizetype kBlockRows = SharedBlocks<QByteArray>::kBlockRows;

qsizetype blocksOf(qsizetype rows)
{
    return (rows + kBlockRows - 1) / kBlockRows;
}

} // namespace

void ShootSyncRows::Rows::insert(qsizetype first, qsizetype count)
{
    if (first < 0 || first > size() || count < 0) {
        outOfStep = true;
        return;
    }
    // The rows after move to other blocks: the packed ones among them go back to rows first.
    unpackFrom(first);
    bytes.insert(first, count, QByteArray());
    packed.resize(blocksOf(size()));
    if (withIds)
        ids.insert(first, count, QString());
    stale.insert(stale.begin() + first, size_t(count), char(1));
    firstStale = std::min(firstStale, first);
}

void ShootSyncRows::Rows::remove(qsizetype first, qsizetype count)
{
    if (first < 0 || count < 0 || first + count > size()) {
        outOfStep = true;
        return;
    }
    unpackFrom(first);
    bytes.remove(first, count);
    packed.resize(blocksOf(size()));
    if (withIds)
        ids.remove(first, count);
    stale.erase(stale.begin() + first, stale.begin() + first + count);
    if (firstStale > first)
        firstStale = std::max(first, firstStale - count);
}

void ShootSyncRows::Rows::markStale(qsizetype first, qsizetype last)
{
    first = std::max<qsizetype>(first, 0);
    last = std::min(last, size() - 1);
    if (first > last)
        return;
    for (qsizetype block = first / kBlockRows; block <= last / kBlockRows; ++block)
        unpack(block);
    std::fill(stale.begin() + first, stale.begin() + last + 1, char(1));
    firstStale = std::min(firstStale, first);
}

void ShootSyncRows::Rows::unpack(qsizetype block)
{
    if (block >= packed.size() || packed.at(block).isEmpty())
        return;
    // A packed block's rows have no bytes of their own: all of them are encoded again.
    packed[block] = QByteArray();
    packFrom = std::min(packFrom, block);
    const qsizetype first = block * kBlockRows;
    const qsizetype end = std::min(size(), first + kBlockRows);
    std::fill(stale.begin() + first, stale.begin() + end, char(1));
    firstStale = std::min(firstStale, first);
}

void ShootSyncRows::Rows::unpackFrom(qsizetype row)
{
    for (qsizetype block = row / kBlockRows; block < packed.size(); ++block)
        unpack(block);
}

void ShootSyncRows::Rows::pack()
{
    if (!packs)
        return;
    qsizetype block = packFrom;
    for (; (block + 1) * kBlockRows + kOpenRows <= size(); ++block) {
        if (!packed.at(block).isEmpty())
            continue;
        const qsizetype first = block * kBlockRows;
        const qsizetype end = first + kBlockRows;
        // Rows still to encode: packed once they are.
        if (std::any_of(stale.cbegin() + first, stale.cbegin() + end, [](char s) { return s != 0; }))
            break;
        qsizetype bytesNeeded = 0;
        for (qsizetype row = first; row < end; ++row)
            bytesNeeded += bytes.at(row).size() + 1;
        // Nothing of the block is sent: there is nothing to pack.
        if (bytesNeeded == kBlockRows)
            continue;
        QByteArray joined;
        joined.reserve(bytesNeeded);
        for (qsizetype row = first; row < end; ++row) {
            if (bytes.at(row).isEmpty())
                continue;
            if (!joined.isEmpty())
                joined.append(',');
            joined.append(bytes.at(row));
            bytes.replace(row, QByteArray());
        }
        packed[block] = std::move(joined);
    }
    packFrom = block;
}

void ShootSyncRows::Rows::reset(qsizetype count)
{
    // New blocks: a snapshot still holding the old ones keeps them as they were.
    bytes.clear();
    bytes.insert(0, count, QByteArray());
    ids.clear();
    if (withIds)
        ids.insert(0, count, QString());
    stale.assign(size_t(count), char(1));
    firstStale = 0;
    outOfStep = false;
    packed = QList<QByteArray>(blocksOf(count));
    packFrom = 0;
}

void ShootSyncRows::Rows::put(qsizetype row, QByteArray encoded, QString id)
{
    // An edit copies the row's block while a snapshot shares it: a row that encodes as it was
    // (news that changed nothing the sync sends) is left alone.
    if (bytes.at(row) != encoded)
        bytes.replace(row, std::move(encoded));
    if (withIds && ids.at(row) != id)
        ids.replace(row, std::move(id));
}

ShootSyncRows::ShootSyncRows(Sources sources, QObject* parent) : QObject(parent), m_sources(std::move(sources))
{
    m_markers.withIds = true;
    m_lines.packs = true;
    m_lines.reset(m_sources.book->size());
    m_markers.reset(m_sources.log->entries().size());

    const TranscriptBook* book = m_sources.book;
    connect(book, &TranscriptBook::rowsInserted, this,
            [this](int first, int last) { m_lines.insert(first, last - first + 1); });
    connect(book, &TranscriptBook::rowsRemoved, this,
            [this](int first, int last) { m_lines.remove(first, last - first + 1); });
    connect(book, &TranscriptBook::rowsChanged, this, [this](int first, int last) { m_lines.markStale(first, last); });
    connect(book, &TranscriptBook::wasReset, this, [this] { m_lines.reset(m_sources.book->size()); });

    const LoggingLog* log = m_sources.log;
    connect(log, &LoggingLog::entryRowsInserted, this,
            [this](int first, int last) { m_markers.insert(first, last - first + 1); });
    connect(log, &LoggingLog::entryRowsRemoved, this,
            [this](int first, int last) { m_markers.remove(first, last - first + 1); });
    connect(log, &LoggingLog::entryRowsChanged, this,
            [this](int first, int last) { m_markers.markStale(first, last); });
    connect(log, &LoggingLog::entriesReset, this, [this] { m_markers.reset(m_sources.log->entries().size()); });

    // A new format or source re-times every line.
    connect(m_sources.camera, &CameraTimecode::formatChanged, this, &ShootSyncRows::catchUp);
    connect(m_sources.camera, &CameraTimecode::sourceChanged, this, &ShootSyncRows::catchUp);
}

QByteArray ShootSyncRows::encodeSegment(const DisplaySegment& segment) const
{
    // A line not yet placed in the stream's time is left out rather than sent with a guess.
    if (segment.startSecs < 0.0 || segment.endSecs < 0.0)
        return {};
    const Date engineStart = m_sources.engineStart();
    const Date start = engineStart.addingSeconds(segment.startSecs);
    QByteArray out;
    out.reserve(160 + segment.text.size() * 2 + segment.words.size() * 64);
    JsonWriter json(out);
    json.beginObject();
    textField(json, "id", QString(QString::number(m_sources.runStart()) + u'-' + segment.id));
    textField(json, "text", segment.text);
    json.field("start_ms", epochMilliseconds(start));
    json.field("end_ms", epochMilliseconds(engineStart.addingSeconds(segment.endSecs)));
    textField(json, "timecode", m_sources.camera->timecodeAt(start));
    json.field("channel", segment.channel);
    if (segment.speaker)
        textField(json, "speaker", m_sources.speakerName(*segment.speaker));
    // Word timings that do not match the text word for word would mislead the service.
    if (!segment.words.isEmpty() && spacedPieces(segment.text) == segment.words.size()) {
        json.key("words");
        json.beginArray();
        for (const Word& word : segment.words) {
            json.beginObject();
            textField(json, "text", word.text());
            json.field("start_ms", epochMilliseconds(engineStart.addingSeconds(word.start)));
            json.field("end_ms", epochMilliseconds(engineStart.addingSeconds(word.end)));
            json.endObject();
        }
        json.endArray();
    }
    json.endObject();
    // Kept until the row changes, often all day: no room left to grow into.
    out.squeeze();
    return out;
}

QByteArray ShootSyncRows::encodeMarker(const LogEntry& entry) const
{
    QByteArray out;
    out.reserve(320 + (entry.highlight.size() + entry.summary.size() + entry.note.size()) * 2);
    JsonWriter json(out);
    json.beginObject();
    json.field("id", entry.id);
    textField(json, "type", entry.type);
    textField(json, "label", m_sources.buttonLabel(entry.type));
    textField(json, "timecode_in", entry.timecode);
    json.field("start_ms", epochMilliseconds(entry.time));
    textField(json, "quote", entry.highlight);
    textField(json, "summary", entry.summary);
    textField(json, "note", entry.note);
    json.key("tags");
    json.beginArray();
    for (const QString& tag : entry.tags)
        json.raw(jsonString(tag));
    json.endArray();
    if (entry.timecodeOut)
        textField(json, "timecode_out", *entry.timecodeOut);
    if (entry.endTime)
        json.field("end_ms", epochMilliseconds(*entry.endTime));
    if (entry.speaker)
        textField(json, "speaker", *entry.speaker);
    json.endObject();
    // Kept until the row changes, often all day: no room left to grow into.
    out.squeeze();
    return out;
}

LoggerCloud::Snapshot ShootSyncRows::snapshot()
{
    constexpr qsizetype kAll = std::numeric_limits<qsizetype>::max();
    m_lastEncoded = refreshLines(kAll) + refreshMarkers(kAll);
    return LoggerCloud::Snapshot{m_lines.bytes, m_lines.packed, m_markers.bytes, m_markers.ids};
}

void ShootSyncRows::catchUp()
{
    if (m_catchUpQueued)
        return;
    m_catchUpQueued = true;
    QMetaObject::invokeMethod(this, &ShootSyncRows::catchUpTurn, Qt::QueuedConnection);
}

void ShootSyncRows::catchUpTurn()
{
    m_catchUpQueued = false;
    const qsizetype lines = refreshLines(kCatchUpRows);
    const qsizetype markers = refreshMarkers(kCatchUpRows - lines);
    if (lines + markers == kCatchUpRows)
        catchUp();
}

ShootSyncRows::LineContext ShootSyncRows::lineContext() const
{
    const CameraTimecode& camera = *m_sources.camera;
    return LineContext{m_sources.engineStart(), m_sources.runStart(), camera.format(), camera.offsetFrames(),
                       camera.tzOffsetSeconds()};
}

QSet<QString> ShootSyncRows::renamed(QHash<QString, QString>& shown,
                                     const std::function<QString(const QString&)>& current)
{
    QSet<QString> keys;
    for (auto it = shown.begin(); it != shown.end(); ++it) {
        QString now = current(it.key());
        if (now != it.value()) {
            keys.insert(it.key());
            it.value() = std::move(now);
        }
    }
    return keys;
}

qsizetype ShootSyncRows::refreshLines(qsizetype budget)
{
    const QList<DisplaySegment>& lines = m_sources.book->rows();
    // Rows out of step with the book mean news went missing: encode everything once.
    if (m_lines.outOfStep || m_lines.size() != lines.size())
        m_lines.reset(lines.size());
    const LineContext context = lineContext();
    if (m_lineContext != context) {
        m_lineContext = context;
        m_lines.markStale(0, m_lines.size() - 1);
    }
    if (const QSet<QString> speakers = renamed(m_speakerNames, m_sources.speakerName); !speakers.isEmpty()) {
        for (qsizetype row = 0; row < lines.size(); ++row) {
            const std::optional<QString>& speaker = lines.at(row).speaker;
            if (speaker && speakers.contains(*speaker))
                m_lines.markStale(row, row);
        }
    }

    qsizetype encoded = 0;
    qsizetype row = m_lines.firstStale;
    for (; row < m_lines.size() && encoded < budget; ++row) {
        if (!m_lines.stale[size_t(row)])
            continue;
        const DisplaySegment& line = lines.at(row);
        m_lines.put(row, encodeSegment(line));
        m_lines.stale[size_t(row)] = 0;
        ++encoded;
        if (line.speaker && !m_speakerNames.contains(*line.speaker))
            m_speakerNames.insert(*line.speaker, m_sources.speakerName(*line.speaker));
    }
    m_lines.firstStale = row;
    m_lines.pack();
    return encoded;
}

qsizetype ShootSyncRows::refreshMarkers(qsizetype budget)
{
    const LogEntries& entries = m_sources.log->entries();
    if (m_markers.outOfStep || m_markers.size() != entries.size())
        m_markers.reset(entries.size());
    if (const QSet<QString> kinds = renamed(m_buttonLabels, m_sources.buttonLabel); !kinds.isEmpty()) {
        for (qsizetype row = 0; row < entries.size(); ++row) {
            if (kinds.contains(entries.at(row).type))
                m_markers.markStale(row, row);
        }
    }

    qsizetype encoded = 0;
    qsizetype row = m_markers.firstStale;
    for (; row < m_markers.size() && encoded < budget; ++row) {
        if (!m_markers.stale[size_t(row)])
            continue;
        const LogEntry& entry = entries.at(row);
        if (isSent(entry))
            m_markers.put(row, encodeMarker(entry), uuidText(entry.id));
        else
            m_markers.put(row, QByteArray());
        m_markers.stale[size_t(row)] = 0;
        ++encoded;
        if (!m_buttonLabels.contains(entry.type))
            m_buttonLabels.insert(entry.type, m_sources.buttonLabel(entry.type));
    }
    m_markers.firstStale = row;
    return encoded;
}
