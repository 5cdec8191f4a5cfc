// Which channels an ask tick sends for judgement. One pass over the transcript, whatever its
// length, then word counts for the channels looked at only.
#include "agent/ChannelAgent.h"

#include <algorithm>
#include <vector>

namespace {

// Watched channel indices to their positions in the watched list: a table over the span of the
// indices (channel numbers are small), or a search when the span is not.
class SlotTable {
public:
    explicit SlotTable(const QList<ChannelAgent::Watched>& watched)
    {
        for (qsizetype i = 0; i < watched.size(); ++i)
            m_sorted.emplace_back(watched.at(i).index, static_cast<int>(i));
        // Stable: a channel listed twice keeps its first position.
        std::stable_sort(m_sorted.begin(), m_sorted.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        m_lowest = m_sorted.front().first;
        const qint64 span = qint64(m_sorted.back().first) - m_lowest + 1;
        if (span <= kLargestTable) {
            m_table.assign(static_cast<std::size_t>(span), -1);
            for (auto it = m_sorted.rbegin(); it != m_sorted.rend(); ++it)
                m_table[static_cast<std::size_t>(qint64(it->first) - m_lowest)] = it->second;
        }
    }

    [[nodiscard]] int slotOf(int channel) const
    {
        if (!m_table.empty()) {
            const qint64 at = qint64(channel) - m_lowest;
            return at >= 0 && at < qint64(m_table.size()) ? m_table[static_cast<std::size_t>(at)] : -1;
        }
        const auto it = std::lower_bound(m_sorted.begin(), m_sorted.end(), channel,
                                         [](const auto& entry, int value) { return entry.first < value; });
        return it != m_sorted.end() && it->first == channel ? it->second : -1;
    }

private:
    static constexpr qint64 kLargestTable = 65536;
    std::vector<std::pair<int, int>> m_sorted;
    std::vector<int> m_table;
    int m_lowest = 0;
};

} // namespace

int ChannelAgent::wordCount(QStringView text)
{
    int words = 0;
    bool inWord = false;
    for (const QChar c : text) {
        const bool space = c == u' ';
        if (!space && !inWord)
            ++words;
        inWord = !space;
    }
    return words;
}

QList<ChannelAgent::Pick> ChannelAgent::pickChannels(const QList<DisplaySegment>& segments,
                                                     const QList<Watched>& watched, double now, int minimumWords,
                                                     int& cursor, QHash<int, QString>& judgedUpTo, qsizetype firstRow)
{
    const qsizetype n = watched.size();
    if (n == 0)
        return {};
    const SlotTable slots(watched);
    const double since = now - kWindowSeconds;
    // Per watched position: its newest line; and the lines inside the window, in order.
    std::vector<qsizetype> newest(static_cast<std::size_t>(n), -1);
    std::vector<std::pair<int, qsizetype>> recent;
    // A channel is picked only for words in the window, and its newest line then lies at or after
    // its newest line in the window: rows ending before the window can be skipped.
    const qsizetype from = minimumWords > 0 ? std::clamp<qsizetype>(firstRow, 0, segments.size()) : 0;
    for (qsizetype i = from; i < segments.size(); ++i) {
        const DisplaySegment& segment = segments.at(i);
        const int slot = slots.slotOf(segment.channel);
        if (slot < 0)
            continue;
        newest[static_cast<std::size_t>(slot)] = i;
        if (segment.endSecs >= since)
            recent.emplace_back(slot, i);
    }

    QList<Pick> picks;
    const qsizetype start = ((cursor % n) + n) % n;
    for (qsizetype k = 0; k < n && picks.size() < kMaxPicks; ++k) {
        const int slot = static_cast<int>((start + k) % n);
        const qsizetype last = newest[static_cast<std::size_t>(slot)];
        if (last < 0)
            continue;
        const Watched& channel = watched.at(slot);
        const QString& lastId = segments.at(last).id;
        if (const auto judged = judgedUpTo.constFind(channel.index);
            judged != judgedUpTo.constEnd() && *judged == lastId)
            continue;
        QList<DisplaySegment> lines;
        int words = 0;
        for (const auto& [lineSlot, index] : recent) {
            if (lineSlot == slot) {
                lines.append(segments.at(index));
                // Counting stops at the minimum: a huge line never overflows the sum.
                if (words < minimumWords)
                    words += wordCount(segments.at(index).text);
            }
        }
        if (words < minimumWords)
            continue;
        judgedUpTo.insert(channel.index, lastId);
        picks.append(Pick{channel.index, channel.name, lines});
    }
    // A tick with no picks leaves the cursor where it was, even past a shrunken list.
    if (!picks.isEmpty())
        cursor = static_cast<int>((start + picks.size()) % n);
    return picks;
}
