#include "model/LoggingLog.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

// A line's text and speaker before the merge first touched it.
struct LineEdit {
    int row;
    QString text;
    std::optional<QString> speaker;
};

} // namespace

LoggingLog::LoggingLog(CameraTimecode& timecode, Clock now, QObject* parent)
    : QObject(parent), m_timecode(timecode), m_now(now ? std::move(now) : Clock(&Date::now)), m_id(QUuid::createUuid()),
      m_createdAt(m_now())
{
}

qsizetype LoggingLog::indexOf(const QUuid& id) const
{
    const auto it =
        std::find_if(m_entries.cbegin(), m_entries.cend(), [&](const LogEntry& entry) { return entry.id == id; });
    return it == m_entries.cend() ? -1 : it - m_entries.cbegin();
}

template <typename Edit> void LoggingLog::editEntry(const QUuid& id, Edit edit)
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    // Edits are rare and entries few: comparing a copy is cheaper than every edit tracking
    // whether it changed something.
    const LogEntry before = m_entries.at(index);
    edit(m_entries[index]);
    if (!(m_entries.at(index) == before))
        Q_EMIT entriesChanged();
}

void LoggingLog::setShootToken(const std::optional<QString>& token)
{
    if (token == m_shootToken)
        return;
    m_shootToken = token;
    Q_EMIT shootTokenChanged();
}

LogSession LoggingLog::snapshotSession() const
{
    LogSession session;
    session.id = m_id;
    session.createdAt = m_createdAt;
    session.entries = m_entries;
    session.shootToken = m_shootToken;
    session.transcript = m_transcript;
    return session;
}

void LoggingLog::mergeSegments(const QList<DisplaySegment>& segments, qint64 runStart, const LineTimecode& timecodeFor)
{
    mergeSegments(std::span<const DisplaySegment>(segments.constData(), segments.size()), runStart, timecodeFor);
}

void LoggingLog::mergeSegments(std::span<const DisplaySegment> segments, qint64 runStart,
                               const LineTimecode& timecodeFor)
{
    if (segments.empty())
        return;

    const int oldCount = static_cast<int>(m_transcript.size());
    std::vector<LineEdit> edits;

    // One buffer for every key: the prefix stays, each segment id replaces the tail, so a
    // lookup of a known line allocates nothing.
    QString key = QString::number(runStart);
    key.append(QLatin1Char('-'));
    const qsizetype prefixLength = key.size();
    key.reserve(prefixLength + 32);

    for (const DisplaySegment& segment : segments) {
        key.truncate(prefixLength);
        key.append(segment.id);

        const auto found = m_lineIndex.constFind(key);
        if (found != m_lineIndex.cend()) {
            const int row = found.value();
            const LogLine& line = m_transcript.at(row);
            if (line.text == segment.text && line.speaker == segment.speaker)
                continue;
            // Lines appended by this merge are reported as inserted, whatever happens to them.
            if (row < oldCount)
                edits.push_back({row, line.text, line.speaker});
            // A line's timecode and channel stay as they were when it was added.
            LogLine& target = m_transcript[row];
            target.text = segment.text;
            target.speaker = segment.speaker;
            continue;
        }

        // The line and the index share one copy of the key; the buffer goes on being reused.
        const QString id(key.constData(), key.size());
        m_lineIndex.insert(id, static_cast<int>(m_transcript.size()));
        m_transcript.append(LogLine{id, segment.speaker, segment.text, timecodeFor ? timecodeFor(segment) : QString(),
                                    segment.channel});
    }

    // A line edited more than once in one merge may end as it began; its first edit holds
    // what it was before.
    std::stable_sort(edits.begin(), edits.end(), [](const LineEdit& a, const LineEdit& b) { return a.row < b.row; });
    bool changed = false;
    int runFirst = -1;
    int runLast = -1;
    for (auto it = edits.cbegin(); it != edits.cend(); ++it) {
        if (it != edits.cbegin() && std::prev(it)->row == it->row)
            continue;
        const LogLine& line = m_transcript.at(it->row);
        if (line.text == it->text && line.speaker == it->speaker)
            continue;
        if (runLast >= 0 && it->row == runLast + 1) {
            runLast = it->row;
            continue;
        }
        if (runLast >= 0)
            Q_EMIT transcriptRowsChanged(runFirst, runLast);
        runFirst = runLast = it->row;
        changed = true;
    }
    if (runLast >= 0)
        Q_EMIT transcriptRowsChanged(runFirst, runLast);

    const int newCount = static_cast<int>(m_transcript.size());
    if (newCount > oldCount) {
        Q_EMIT transcriptRowsInserted(oldCount, newCount - 1);
        changed = true;
    }
    if (changed)
        Q_EMIT transcriptChanged();
}

void LoggingLog::load(const LogSession& session)
{
    m_id = session.id;
    m_createdAt = session.createdAt;
    m_shootToken = session.shootToken;
    m_transcript = session.transcript.value_or(QList<LogLine>{});
    rebuildLineIndex();
    m_entries = session.entries;
    // Neither an open range nor a summary request survives a restart. The out point stays
    // unmarked: nothing says when the range ended.
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const LogEntry& entry = m_entries.at(i);
        if (entry.open || entry.summarising) {
            LogEntry& target = m_entries[i];
            target.open = false;
            target.summarising = false;
        }
    }
    publishWholeLog();
}

void LoggingLog::reset()
{
    m_id = QUuid::createUuid();
    m_createdAt = m_now();
    m_entries.clear();
    m_shootToken.reset();
    m_transcript.clear();
    m_lineIndex.clear();
    publishWholeLog();
}

QUuid LoggingLog::openRange(const QString& kind, double secondsBack)
{
    const Date now = m_now();
    const Date time = now.addingSeconds(std::isfinite(secondsBack) ? -secondsBack : 0.0);
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.time = time;
    entry.timecode = m_timecode.timecodeAt(time);
    entry.type = kind;
    entry.open = true;
    m_entries.append(entry);
    Q_EMIT entriesChanged();
    return entry.id;
}

void LoggingLog::closeRange(const QUuid& id, const QString& words)
{
    const qsizetype index = indexOf(id);
    if (index < 0)
        return;
    const Date now = m_now();
    LogEntry& entry = m_entries[index];
    entry.endTime = now;
    entry.timecodeOut = m_timecode.timecodeAt(now);
    entry.open = false;
    entry.highlight = words;
    entry.summarising = !words.isEmpty();
    Q_EMIT entriesChanged();
}

std::optional<QUuid> LoggingLog::openEntry(const QString& kind) const
{
    for (auto it = m_entries.crbegin(); it != m_entries.crend(); ++it) {
        if (it->open && it->type == kind)
            return it->id;
    }
    return std::nullopt;
}

void LoggingLog::setSummary(const QUuid& id, const QString& text)
{
    editEntry(id, [&](LogEntry& entry) {
        entry.summary = text;
        entry.summarising = false;
    });
}

void LoggingLog::addTag(const QString& tag, const QUuid& id)
{
    editEntry(id, [&](LogEntry& entry) {
        if (!entry.tags.contains(tag))
            entry.tags.append(tag);
    });
}

void LoggingLog::removeTag(const QString& tag, const QUuid& id)
{
    editEntry(id, [&](LogEntry& entry) { entry.tags.removeAll(tag); });
}

void LoggingLog::suggest(const QUuid& id, const QStringList& tags)
{
    editEntry(id, [&](LogEntry& entry) {
        entry.suggested = true;
        entry.tags.append(tags);
    });
}

void LoggingLog::keep(const QUuid& id)
{
    editEntry(id, [](LogEntry& entry) { entry.suggested = false; });
}

void LoggingLog::appendEntry(const LogEntry& entry)
{
    m_entries.append(entry);
    Q_EMIT entriesChanged();
}

void LoggingLog::removeEntry(const QUuid& id)
{
    if (m_entries.removeIf([&](const LogEntry& entry) { return entry.id == id; }) > 0)
        Q_EMIT entriesChanged();
}

void LoggingLog::setNote(const QUuid& id, const QString& note)
{
    editEntry(id, [&](LogEntry& entry) { entry.note = note; });
}

void LoggingLog::setEntries(const QList<LogEntry>& entries)
{
    if (entries == m_entries)
        return;
    m_entries = entries;
    Q_EMIT entriesChanged();
}

void LoggingLog::rebuildLineIndex()
{
    m_lineIndex.clear();
    m_lineIndex.reserve(m_transcript.size());
    // The merge never writes one id twice, but a hand-edited file may. Every line stays
    // (nothing the logger saved is dropped) and the id keeps its first line, which later
    // merges then update; the later twins are never touched again.
    for (qsizetype row = 0; row < m_transcript.size(); ++row) {
        const QString& id = m_transcript.at(row).id;
        if (!m_lineIndex.contains(id))
            m_lineIndex.insert(id, static_cast<int>(row));
    }
}

void LoggingLog::publishWholeLog()
{
    // Everything is in place before the first signal, so an observer never sees half a log;
    // the entries are published last.
    Q_EMIT idChanged();
    Q_EMIT createdAtChanged();
    Q_EMIT shootTokenChanged();
    Q_EMIT transcriptReset();
    Q_EMIT transcriptChanged();
    Q_EMIT entriesChanged();
}
