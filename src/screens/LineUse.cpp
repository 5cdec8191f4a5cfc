#include "screens/LineUse.h"

#include <algorithm>

LineUse::LineUse(const LogEntries& entries)
{
    for (const LogEntry& entry : entries) {
        const bool picked = entry.lineIDs.has_value();
        const QStringList ids = picked ? *entry.lineIDs : (entry.lineID ? QStringList{*entry.lineID} : QStringList{});
        for (const QString& id : ids) {
            auto it = m_lines.find(id);
            if (it == m_lines.end())
                it = m_lines.insert(id, Use{entry.id, {}, false});
            if (!entry.highlight.isEmpty())
                it->texts.append(entry.highlight);
            it->whole = it->whole || picked;
        }
    }
}

QStringList LineUse::loggedTexts(const QString& lineID) const
{
    const auto it = m_lines.constFind(lineID);
    return it == m_lines.cend() ? QStringList{} : it->texts;
}

std::optional<QUuid> LineUse::firstEntry(const QString& lineID) const
{
    const auto it = m_lines.constFind(lineID);
    return it == m_lines.cend() ? std::nullopt : std::optional(it->firstEntry);
}

QList<std::pair<qsizetype, qsizetype>> LineUse::marks(const DisplaySegment& line) const
{
    const auto it = m_lines.constFind(line.id);
    if (it == m_lines.cend())
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
