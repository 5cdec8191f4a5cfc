#include "screens/LineUse.h"

#include "model/LoggingLog.h"

#include <algorithm>

LineUse::LineUse(const LogEntries& entries)
{
    QHash<QString, Use> lines;
    for (const LogEntry& entry : entries) {
        ++m_rowsWithId[entry.id];
        const bool picked = entry.lineIDs.has_value();
        const QStringList entryLines = namedLines(entry);
        QStringList& named = m_named[entry.id];
        for (const QString& id : entryLines) {
            auto it = lines.find(id);
            if (it == lines.end())
                it = lines.insert(id, Use{entry.id, {}, false, {}});
            if (!entry.highlight.isEmpty())
                it->texts.append(entry.highlight);
            it->whole = it->whole || picked;
            if (!named.contains(id)) {
                named.append(id);
                it->users.append(entry.id);
            }
        }
        if (named.isEmpty())
            m_named.remove(entry.id);
        else
            shareList(named, entryLines);
    }
    m_lines.reserve(lines.size());
    for (auto it = lines.cbegin(); it != lines.cend(); ++it)
        m_lines.insert(it.key(), it.value());
}

QStringList LineUse::namedLines(const LogEntry& entry)
{
    if (entry.lineIDs)
        return *entry.lineIDs;
    return entry.lineID ? QStringList{*entry.lineID} : QStringList{};
}

void LineUse::shareList(QStringList& lines, const QStringList& entryLines)
{
    // The entry's own list, when it says the same: no second copy of it all day.
    if (lines == entryLines)
        lines = entryLines;
}

// --- following the log ---

QList<qsizetype> LineUse::rowsOf(const LoggingLog& log, const QUuid& id) const
{
    const std::optional<qsizetype> first = log.entryRowOf(id);
    if (!first)
        return {};
    if (m_rowsWithId.value(id) <= 1)
        return {*first};
    // One id on several rows: only a hand-edited file does that.
    QList<qsizetype> rows;
    const LogEntries& entries = log.entries();
    for (qsizetype row = *first; row < entries.size(); ++row)
        if (entries.at(row).id == id)
            rows.append(row);
    return rows;
}

QStringList LineUse::linesOf(const LoggingLog& log, const QUuid& id) const
{
    const QList<qsizetype> rows = rowsOf(log, id);
    QStringList lines;
    for (const qsizetype row : rows)
        for (const QString& line : namedLines(log.entries().at(row)))
            if (!lines.contains(line))
                lines.append(line);
    if (rows.size() == 1)
        shareList(lines, namedLines(log.entries().at(rows.first())));
    return lines;
}

void LineUse::follow(const LoggingLog& log, const QUuid& id, QSet<QString>& touched)
{
    const QStringList now = linesOf(log, id);
    const QStringList before = m_named.value(id);
    for (const QString& line : before) {
        touched.insert(line);
        if (now.contains(line))
            continue;
        // Left without users, the line is dropped by its redo.
        if (Use* use = m_lines.find(line))
            use->users.removeOne(id);
    }
    for (const QString& line : now) {
        touched.insert(line);
        if (before.contains(line))
            continue;
        // A new line starts with no use of its own; its redo makes it from its users.
        m_lines[line].users.append(id);
    }
    if (now.isEmpty())
        m_named.remove(id);
    else
        m_named.insert(id, now);
}

void LineUse::redo(const LoggingLog& log, const QString& line)
{
    Use* use = m_lines.find(line);
    if (!use)
        return;
    if (use->users.isEmpty()) {
        m_lines.remove(line);
        return;
    }
    QList<qsizetype> rows;
    for (const QUuid& id : std::as_const(use->users))
        rows.append(rowsOf(log, id));
    std::sort(rows.begin(), rows.end());
    // As the one-pass build reads the entries: in log order, each time an entry names the line.
    use->texts.clear();
    use->whole = false;
    bool first = true;
    for (const qsizetype row : std::as_const(rows)) {
        const LogEntry& entry = log.entries().at(row);
        const bool picked = entry.lineIDs.has_value();
        for (const QString& named : namedLines(entry)) {
            if (named != line)
                continue;
            if (first)
                use->firstEntry = entry.id;
            first = false;
            if (!entry.highlight.isEmpty())
                use->texts.append(entry.highlight);
            use->whole = use->whole || picked;
        }
    }
    // Users come from the log's rows and each names the line; were none to, it is not used.
    if (first)
        m_lines.remove(line);
}

QStringList LineUse::redoAll(const LoggingLog& log, const QSet<QString>& touched)
{
    for (const QString& line : touched)
        redo(log, line);
    return QStringList(touched.cbegin(), touched.cend());
}

QStringList LineUse::rowsInserted(const LoggingLog& log, qsizetype first, qsizetype last)
{
    QSet<QUuid> ids;
    for (qsizetype row = first; row <= last; ++row) {
        const QUuid& id = log.entries().at(row).id;
        ++m_rowsWithId[id];
        ids.insert(id);
    }
    QSet<QString> touched;
    for (const QUuid& id : std::as_const(ids))
        follow(log, id, touched);
    return redoAll(log, touched);
}

void LineUse::rowsAboutToBeRemoved(const LoggingLog& log, qsizetype first, qsizetype last)
{
    for (qsizetype row = first; row <= last; ++row)
        m_leaving.append(log.entries().at(row).id);
}

QStringList LineUse::rowsRemoved(const LoggingLog& log)
{
    QSet<QUuid> ids;
    for (const QUuid& id : std::as_const(m_leaving)) {
        const auto count = m_rowsWithId.find(id);
        if (count != m_rowsWithId.end() && --*count <= 0)
            m_rowsWithId.erase(count);
        ids.insert(id);
    }
    m_leaving.clear();
    QSet<QString> touched;
    for (const QUuid& id : std::as_const(ids))
        follow(log, id, touched);
    return redoAll(log, touched);
}

QStringList LineUse::rowsChanged(const LoggingLog& log, qsizetype first, qsizetype last)
{
    QSet<QUuid> ids;
    for (qsizetype row = first; row <= last; ++row)
        ids.insert(log.entries().at(row).id);
    QSet<QString> touched;
    for (const QUuid& id : std::as_const(ids))
        follow(log, id, touched);
    return redoAll(log, touched);
}

QStringList LineUse::reset(const LoggingLog& log)
{
    const QHash<QString, Use> before = m_lines.toHash();
    QSet<QString> touched(before.keyBegin(), before.keyEnd());
    *this = LineUse(log.entries());
    const QHash<QString, Use> after = m_lines.toHash();
    for (auto it = after.keyBegin(); it != after.keyEnd(); ++it)
        touched.insert(*it);
    return QStringList(touched.cbegin(), touched.cend());
}

QStringList LineUse::loggedTexts(const QString& lineID) const
{
    const Use* use = m_lines.find(lineID);
    return use ? QStringList(use->texts.cbegin(), use->texts.cend()) : QStringList{};
}

std::optional<QUuid> LineUse::firstEntry(const QString& lineID) const
{
    const Use* use = m_lines.find(lineID);
    return use ? std::optional(use->firstEntry) : std::nullopt;
}

QList<std::pair<qsizetype, qsizetype>> LineUse::marks(const DisplaySegment& line) const
{
    const Use* it = m_lines.find(line.id);
    if (!it)
        return {};
    if (it->whole)
        return {{0, line.text.size()}};
    // Each quote is looked for after the ones before it first: the new words of "go go" after a
    // logged "go" are the second "go", and logging them must use the line up.
    QList<std::pair<qsizetype, qsizetype>> out;
    qsizetype furthest = 0;
    for (const QString& text : it->texts) {
        qsizetype at = line.text.indexOf(text, furthest);
        if (at < 0)
            at = line.text.indexOf(text);
        if (at < 0)
            continue;
        out.append({at, text.size()});
        furthest = std::max(furthest, at + text.size());
    }
    return out;
}

QString LineUse::newWords(const DisplaySegment& line) const
{
    qsizetype furthest = 0;
    for (const auto& [at, length] : marks(line))
        furthest = std::max(furthest, at + length);
    return line.text.mid(std::min(furthest, line.text.size())).trimmed();
}

LineUse::State LineUse::state(const DisplaySegment& line) const
{
    if (!isUsed(line.id))
        return State::Unused;
    return newWords(line).isEmpty() ? State::FullyUsed : State::PartlyUsed;
}
