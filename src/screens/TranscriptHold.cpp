#include "screens/TranscriptHold.h"

#include "screens/SkippedRows.h"

#include <algorithm>

namespace {

auto byRow(const std::pair<qsizetype, DisplaySegment>& kept, qsizetype row)
{
    return kept.first < row;
}

} // namespace

TranscriptHold::TranscriptHold(const Lines& live) : m_live(&live), m_size(live.lineCount())
{
}

bool TranscriptHold::came(qsizetype liveRow) const
{
    return std::binary_search(m_came.cbegin(), m_came.cend(), liveRow);
}

qsizetype TranscriptHold::heldRowOfLive(qsizetype liveRow) const
{
    // Its place among the held lines still live, then past the copies standing before it.
    qsizetype row = liveRow - SkippedRows::before(m_came, liveRow);
    for (const auto& kept : m_left) {
        if (kept.first > row)
            break;
        ++row;
    }
    return row;
}

qsizetype TranscriptHold::liveRowOfHeld(qsizetype row) const
{
    // Past the copies standing before it, then past the rows that came since the hold.
    const qsizetype still = row - (std::lower_bound(m_left.cbegin(), m_left.cend(), row, byRow) - m_left.cbegin());
    return SkippedRows::wholeRow(m_came, still);
}

const DisplaySegment* TranscriptHold::leftAt(qsizetype row) const
{
    const auto at = std::lower_bound(m_left.cbegin(), m_left.cend(), row, byRow);
    return at != m_left.cend() && at->first == row ? &at->second : nullptr;
}

const DisplaySegment& TranscriptHold::at(qsizetype row) const
{
    if (m_replaced)
        return m_all.at(row);
    if (const DisplaySegment* left = leftAt(row))
        return *left;
    const DisplaySegment& line = m_live->lineAt(liveRowOfHeld(row));
    if (!m_changed.isEmpty())
        if (const auto was = m_changed.constFind(line.id); was != m_changed.cend())
            return *was;
    return line;
}

std::optional<qsizetype> TranscriptHold::rowOf(const QString& id) const
{
    if (m_replaced) {
        for (qsizetype row = m_all.size() - 1; row >= 0; --row)
            if (m_all.at(row).id == id)
                return row;
        return std::nullopt;
    }
    if (const std::optional<qsizetype> live = m_live->rowOfLine(id); live && !came(*live))
        return heldRowOfLive(*live);
    // A line that left or moved since: its copy.
    for (auto kept = m_left.crbegin(); kept != m_left.crend(); ++kept)
        if (kept->second.id == id)
            return kept->first;
    return std::nullopt;
}

void TranscriptHold::inserted(qsizetype first, qsizetype last)
{
    if (m_replaced)
        return;
    const qsizetype count = last - first + 1;
    const auto from = std::lower_bound(m_came.begin(), m_came.end(), first);
    for (auto it = from; it != m_came.end(); ++it)
        *it += count;
    const auto at = m_came.insert(from, size_t(count), 0);
    for (qsizetype i = 0; i < count; ++i)
        at[i] = first + i;
}

void TranscriptHold::aboutToRemove(qsizetype first, qsizetype last)
{
    if (m_replaced)
        return;
    for (qsizetype row = first; row <= last; ++row) {
        if (came(row))
            continue;
        const DisplaySegment& line = m_live->lineAt(row);
        // A line changed before it left is held as it was at the hold.
        const auto was = m_changed.find(line.id);
        if (was != m_changed.end()) {
            m_leaving.emplace_back(heldRowOfLive(row), std::move(*was));
            m_changed.erase(was);
        } else {
            m_leaving.emplace_back(heldRowOfLive(row), line);
        }
    }
}

void TranscriptHold::removed(qsizetype first, qsizetype last)
{
    if (m_replaced)
        return;
    const qsizetype count = last - first + 1;
    const auto from = std::lower_bound(m_came.begin(), m_came.end(), first);
    const auto to = std::upper_bound(from, m_came.end(), last);
    for (auto it = to; it != m_came.end(); ++it)
        *it -= count;
    m_came.erase(from, to);
    for (auto& kept : m_leaving) {
        const auto at = std::lower_bound(m_left.begin(), m_left.end(), kept.first, byRow);
        m_left.insert(at, std::move(kept));
    }
    m_leaving.clear();
}

void TranscriptHold::aboutToChange(qsizetype first, qsizetype last)
{
    if (m_replaced)
        return;
    for (qsizetype row = first; row <= last; ++row) {
        if (came(row))
            continue;
        const DisplaySegment& line = m_live->lineAt(row);
        if (!m_changed.contains(line.id))
            m_changed.insert(line.id, line);
    }
}

void TranscriptHold::aboutToReset()
{
    if (m_replaced)
        return;
    QList<DisplaySegment> all;
    all.reserve(m_size);
    for (qsizetype row = 0; row < m_size; ++row)
        all.append(at(row));
    m_all = std::move(all);
    m_replaced = true;
    m_left.clear();
    m_came.clear();
    m_changed.clear();
}

std::vector<qsizetype> TranscriptHold::leftRows() const
{
    std::vector<qsizetype> rows;
    rows.reserve(m_left.size());
    for (const auto& kept : m_left)
        rows.push_back(kept.first);
    return rows;
}

void TranscriptHold::dropLeft(qsizetype row)
{
    const auto at = std::lower_bound(m_left.begin(), m_left.end(), row, byRow);
    if (at == m_left.end() || at->first != row)
        return;
    for (auto it = m_left.erase(at); it != m_left.end(); ++it)
        --it->first;
    --m_size;
}

void TranscriptHold::admit()
{
    if (m_came.empty())
        return;
    m_came.erase(m_came.begin());
    ++m_size;
}
