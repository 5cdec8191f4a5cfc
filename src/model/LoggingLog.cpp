#include "model/LoggingLog.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace {

// A line's text and speaker before the merge first touched it.
struct LineEdit {
    int row;
    QString text;
    std::optional<QString> speaker;
};

int rowNumber(qsizetype row)
{
    return static_cast<int>(std::min<qsizetype>(row, std::numeric_limits<int>::max()));
}

// Calls `run(first, last)` for each run of consecutive rows in `rows` (ascending), last run first
// when `backwards`, so that removing each run leaves the rows still to come where they were.
template <typename Run> void forEachRun(const std::vector<qsizetype>& rows, bool backwards, Run run)
{
    std::vector<std::pair<qsizetype, qsizetype>> runs;
    for (const qsizetype row : rows) {
        if (!runs.empty() && runs.back().second + 1 == row)
            runs.back().second = row;
        else
            runs.emplace_back(row, row);
    }
    if (backwards)
        std::reverse(runs.begin(), runs.end());
    for (const auto& [first, last] : runs)
        run(first, last);
}

} // namespace

LoggingLog::LoggingLog(CameraTimecode& timecode, Clock* clock, QObject* parent)
    : QObject(parent), m_timecode(timecode), m_clock(Clock::orSystem(clock)), m_id(QUuid::createUuid()),
      m_createdAt(m_clock.now())
{
}

std::optional<qsizetype> LoggingLog::entryRowOf(const QUuid& id) const
{
    const auto found = m_entryIndex.constFind(id);
    return found == m_entryIndex.cend() ? std::nullopt : std::optional<qsizetype>(*found);
}

template <typename Edit> void LoggingLog::editEntry(const QUuid& id, Edit edit)
{
    const std::optional<qsizetype> row = entryRowOf(id);
    if (!row)
        return;
    // Edits are rare: comparing a copy is cheaper than every edit tracking whether it changed
    // something. The copy is edited, so an edit that changes nothing leaves a shared block shared.
    LogEntry after = m_entries.at(*row);
    edit(after);
    if (after == m_entries.at(*row))
        return;
    m_entries.replace(*row, std::move(after));
    Q_EMIT entryRowsChanged(rowNumber(*row), rowNumber(*row));
    Q_EMIT entriesChanged();
}

void LoggingLog::unindexFrom(qsizetype first)
{
    for (qsizetype row = first; row < m_entries.size(); ++row) {
        const auto found = m_entryIndex.find(m_entries.at(row).id);
        if (found != m_entryIndex.end() && *found >= first)
            m_entryIndex.erase(found);
    }
}

void LoggingLog::indexFrom(qsizetype first)
{
    // A hand-edited file may hold one id twice: the id keeps its first row, as the edits act
    // on the first entry with an id.
    for (qsizetype row = first; row < m_entries.size(); ++row) {
        const QUuid& id = m_entries.at(row).id;
        if (!m_entryIndex.contains(id))
            m_entryIndex.insert(id, row);
    }
}

template <typename EntryAt> void LoggingLog::insertEntryRows(qsizetype row, qsizetype count, EntryAt entryAt)
{
    const int first = rowNumber(row);
    const int last = rowNumber(row + count - 1);
    Q_EMIT entryRowsAboutToBeInserted(first, last);
    unindexFrom(row);
    // One shift of the rows after, not one per entry.
    m_entries.insert(row, count, LogEntry{});
    for (qsizetype i = 0; i < count; ++i)
        m_entries.replace(row + i, entryAt(i));
    indexFrom(row);
    Q_EMIT entryRowsInserted(first, last);
}

void LoggingLog::removeEntryRows(qsizetype first, qsizetype count)
{
    const int firstRow = rowNumber(first);
    const int lastRow = rowNumber(first + count - 1);
    Q_EMIT entryRowsAboutToBeRemoved(firstRow, lastRow);
    unindexFrom(first);
    m_entries.remove(first, count);
    indexFrom(first);
    Q_EMIT entryRowsRemoved(firstRow, lastRow);
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

        if (const int* found = m_lineIndex.find(key)) {
            const int row = *found;
            const LogLine& line = m_transcript.at(row);
            if (line.text == segment.text && line.speaker == segment.speaker) {
                // A final text often repeats the last interim one: the line holds the copy the
                // transcript holds rather than a second one all day.
                if (line.text.constData() != segment.text.constData())
                    m_transcript.shareText(row, segment.text);
                continue;
            }
            // Lines appended by this merge are reported as inserted, whatever happens to them.
            if (row < oldCount)
                edits.push_back({row, line.text, line.speaker});
            // A line's timecode and channel stay as they were when it was added.
            LogLine changed = line;
            changed.text = segment.text;
            changed.speaker = segment.speaker;
            m_transcript.replace(row, std::move(changed));
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
    LogEntries entries = session.entries;
    // Neither an open range nor a summary request survives a restart. The out point stays
    // unmarked: nothing says when the range ended.
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const LogEntry& entry = entries.at(i);
        if (entry.open || entry.summarising) {
            LogEntry& target = entries.edit(i);
            target.open = false;
            target.summarising = false;
        }
    }
    Q_EMIT entriesAboutToBeReset();
    m_id = session.id;
    m_createdAt = session.createdAt;
    m_shootToken = session.shootToken;
    m_transcript = session.transcript.value_or(LogLines{});
    rebuildLineIndex();
    replaceEntries(std::move(entries));
    publishWholeLog();
}

void LoggingLog::reset()
{
    Q_EMIT entriesAboutToBeReset();
    m_id = QUuid::createUuid();
    m_createdAt = m_clock.now();
    replaceEntries({});
    m_shootToken.reset();
    m_transcript.clear();
    m_lineIndex.clear();
    publishWholeLog();
}

QUuid LoggingLog::openRange(const QString& kind, double secondsBack)
{
    const Date now = m_clock.now();
    const Date time = now.addingSeconds(std::isfinite(secondsBack) ? -secondsBack : 0.0);
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.time = time;
    entry.timecode = m_timecode.timecodeAt(time);
    entry.type = kind;
    entry.open = true;
    appendEntry(entry);
    return entry.id;
}

void LoggingLog::closeRange(const QUuid& id, const QString& words)
{
    const Date now = m_clock.now();
    editEntry(id, [&](LogEntry& entry) {
        entry.endTime = now;
        entry.timecodeOut = m_timecode.timecodeAt(now);
        entry.open = false;
        entry.highlight = words;
        entry.summarising = !words.isEmpty();
    });
}

std::optional<QUuid> LoggingLog::openEntry(const QString& kind) const
{
    for (qsizetype row = m_entries.size() - 1; row >= 0; --row) {
        const LogEntry& entry = m_entries.at(row);
        if (entry.open && entry.type == kind)
            return entry.id;
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
    insertEntryRows(m_entries.size(), 1, [&](qsizetype) -> const LogEntry& { return entry; });
    Q_EMIT entriesChanged();
}

void LoggingLog::removeEntry(const QUuid& id)
{
    const std::optional<qsizetype> first = entryRowOf(id);
    if (!first)
        return;
    std::vector<qsizetype> rows;
    for (qsizetype row = *first; row < m_entries.size(); ++row) {
        if (m_entries.at(row).id == id)
            rows.push_back(row);
    }
    forEachRun(rows, true, [this](qsizetype from, qsizetype to) { removeEntryRows(from, to - from + 1); });
    Q_EMIT entriesChanged();
}

void LoggingLog::setNote(const QUuid& id, const QString& note)
{
    editEntry(id, [&](LogEntry& entry) { entry.note = note; });
}

void LoggingLog::replaceEntry(const LogEntry& entry)
{
    editEntry(entry.id, [&](LogEntry& target) { target = entry; });
}

void LoggingLog::setEntries(const LogEntries& entries)
{
    if (entries == m_entries)
        return;

    // Pair each kept entry with the same occurrence of its id in the new list (ids repeat only
    // in hand-edited files): chain each new row to the next one with its id.
    QHash<QUuid, qsizetype> nextNew;
    nextNew.reserve(entries.size());
    std::vector<qsizetype> sameIdAfter(static_cast<size_t>(entries.size()), -1);
    for (qsizetype row = entries.size() - 1; row >= 0; --row) {
        const auto found = nextNew.constFind(entries.at(row).id);
        if (found != nextNew.cend())
            sameIdAfter[static_cast<size_t>(row)] = *found;
        nextNew.insert(entries.at(row).id, row);
    }
    std::vector<qsizetype> leaving;
    std::vector<bool> kept(static_cast<size_t>(entries.size()), false);
    qsizetype lastKept = -1;
    for (qsizetype row = 0; row < m_entries.size(); ++row) {
        const auto found = nextNew.find(m_entries.at(row).id);
        if (found == nextNew.end() || *found < 0) {
            leaving.push_back(row);
            continue;
        }
        const qsizetype to = *found;
        if (to < lastKept) {
            resetEntries(entries);
            Q_EMIT entriesChanged();
            return;
        }
        lastKept = to;
        kept[static_cast<size_t>(to)] = true;
        *found = sameIdAfter[static_cast<size_t>(to)];
    }

    // Removals from the end keep the rows still to go in place; the rows left are the kept ones
    // in their new order, so inserting the new rows in ascending order puts each where it goes.
    forEachRun(leaving, true, [this](qsizetype first, qsizetype last) { removeEntryRows(first, last - first + 1); });
    std::vector<qsizetype> arriving;
    for (qsizetype row = 0; row < entries.size(); ++row) {
        if (!kept[static_cast<size_t>(row)])
            arriving.push_back(row);
    }
    forEachRun(arriving, false, [&](qsizetype first, qsizetype last) {
        insertEntryRows(first, last - first + 1, [&](qsizetype i) -> const LogEntry& { return entries.at(first + i); });
    });
    std::vector<qsizetype> changed;
    for (qsizetype row = 0; row < entries.size(); ++row) {
        if (kept[static_cast<size_t>(row)] && !(m_entries.at(row) == entries.at(row)))
            changed.push_back(row);
    }
    // Each run is written just before its news, so rows read between signals match the news so far.
    forEachRun(changed, false, [&](qsizetype first, qsizetype last) {
        for (qsizetype row = first; row <= last; ++row)
            m_entries.replace(row, entries.at(row));
        Q_EMIT entryRowsChanged(rowNumber(first), rowNumber(last));
    });
    Q_EMIT entriesChanged();
}

void LoggingLog::replaceEntries(LogEntries entries)
{
    m_entries = std::move(entries);
    m_entryIndex.clear();
    m_entryIndex.reserve(m_entries.size());
    indexFrom(0);
}

void LoggingLog::resetEntries(const LogEntries& entries)
{
    Q_EMIT entriesAboutToBeReset();
    replaceEntries(entries);
    Q_EMIT entriesReset();
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
    // Everything is in place before the first signal after entriesAboutToBeReset, so an observer
    // never sees half a log; the entries are published last.
    Q_EMIT idChanged();
    Q_EMIT createdAtChanged();
    Q_EMIT shootTokenChanged();
    Q_EMIT transcriptReset();
    Q_EMIT transcriptChanged();
    Q_EMIT entriesReset();
    Q_EMIT entriesChanged();
}
