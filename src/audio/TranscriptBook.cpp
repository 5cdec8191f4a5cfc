#include "audio/TranscriptBook.h"

#include "audio/SegmentOrder.h"

#include <QSet>

#include <algorithm>
#include <limits>

namespace {

int rowNumber(qsizetype row)
{
    return static_cast<int>(std::min<qsizetype>(row, std::numeric_limits<int>::max()));
}

} // namespace

TranscriptBook::TranscriptBook(QObject* parent) : QObject(parent)
{
}

TranscriptBook::Place TranscriptBook::placeOf(const DisplaySegment& segment) const
{
    return {SegmentOrder(m_engineStart).key(segment), segment.channel};
}

bool TranscriptBook::rowBefore(qsizetype row, const Place& place, const QString& id) const
{
    const Place& at = m_places[static_cast<size_t>(row)];
    if (at.moment != place.moment) {
        return at.moment < place.moment;
    }
    if (at.channel != place.channel) {
        return at.channel < place.channel;
    }
    return m_rows.at(row).id < id;
}

bool TranscriptBook::beforeRow(const Place& place, const QString& id, qsizetype row) const
{
    const Place& at = m_places[static_cast<size_t>(row)];
    if (place.moment != at.moment) {
        return place.moment < at.moment;
    }
    if (place.channel != at.channel) {
        return place.channel < at.channel;
    }
    return id < m_rows.at(row).id;
}

qsizetype TranscriptBook::lowerBound(const Place& place, const QString& id) const
{
    // New lines sort last far more often than not: try the end first.
    const qsizetype count = m_rows.size();
    if (count == 0 || rowBefore(count - 1, place, id)) {
        return count;
    }
    qsizetype first = 0;
    qsizetype length = count;
    while (length > 0) {
        const qsizetype half = length / 2;
        if (rowBefore(first + half, place, id)) {
            first += half + 1;
            length -= half + 1;
        } else {
            length = half;
        }
    }
    return first;
}

std::optional<qsizetype> TranscriptBook::rowOf(const QString& id) const
{
    const Place* found = m_placeById.find(id);
    if (!found) {
        return std::nullopt;
    }
    const qsizetype row = lowerBound(*found, id);
    if (row < m_rows.size() && m_rows.at(row).id == id) {
        return row;
    }
    return std::nullopt;
}

void TranscriptBook::clear(Date engineStart)
{
    m_engineStart = engineStart;
    if (m_rows.isEmpty()) {
        return;
    }
    resetTo({});
    Q_EMIT contentChanged();
}

qsizetype TranscriptBook::firstEndingFrom(double secs) const
{
    return std::lower_bound(m_latestEnd.cbegin(), m_latestEnd.cend(), secs) - m_latestEnd.cbegin();
}

void TranscriptBook::followEnds(qsizetype row)
{
    m_latestEnd.resize(static_cast<size_t>(m_rows.size()));
    double latest = row > 0 ? m_latestEnd[static_cast<size_t>(row - 1)] : -std::numeric_limits<double>::infinity();
    for (qsizetype i = row; i < m_rows.size(); ++i) {
        latest = std::max(latest, m_rows.at(i).endSecs);
        m_latestEnd[static_cast<size_t>(i)] = latest;
    }
}

void TranscriptBook::insertRow(qsizetype row, const DisplaySegment& segment, const Place& place)
{
    Q_EMIT rowsAboutToBeInserted(rowNumber(row), rowNumber(row));
    m_rows.insert(row, segment);
    m_places.insert(m_places.begin() + row, place);
    m_placeById.insert(segment.id, place);
    followEnds(row);
    Q_EMIT rowsInserted(rowNumber(row), rowNumber(row));
}

void TranscriptBook::removeRows(qsizetype first, qsizetype count)
{
    const qsizetype last = first + count - 1;
    Q_EMIT rowsAboutToBeRemoved(rowNumber(first), rowNumber(last));
    for (qsizetype row = first; row <= last; ++row) {
        m_placeById.remove(m_rows.at(row).id);
    }
    m_rows.remove(first, count);
    m_places.erase(m_places.begin() + first, m_places.begin() + first + count);
    followEnds(first);
    Q_EMIT rowsRemoved(rowNumber(first), rowNumber(last));
}

bool TranscriptBook::upsertOne(const DisplaySegment& segment)
{
    const Place place = placeOf(segment);
    const Place* known = m_placeById.find(segment.id);
    if (!known) {
        insertRow(lowerBound(place, segment.id), segment, place);
        return true;
    }
    const qsizetype row = lowerBound(*known, segment.id);
    if (m_rows.at(row) == segment) {
        return false;
    }
    // The line may stay where it is when its new key still sorts between its neighbours.
    const bool fits = (row == 0 || rowBefore(row - 1, place, segment.id)) &&
                      (row + 1 == m_rows.size() || beforeRow(place, segment.id, row + 1));
    if (fits) {
        Q_EMIT rowsAboutToBeChanged(rowNumber(row), rowNumber(row));
        m_rows[row] = segment;
        m_places[static_cast<size_t>(row)] = place;
        m_placeById.insert(segment.id, place);
        followEnds(row);
        Q_EMIT rowsChanged(rowNumber(row), rowNumber(row));
        return true;
    }
    removeRows(row, 1);
    insertRow(lowerBound(place, segment.id), segment, place);
    return true;
}

QStringList TranscriptBook::upsertEach(std::span<const DisplaySegment> segments)
{
    QStringList touched;
    for (const DisplaySegment& segment : segments) {
        if (upsertOne(segment)) {
            touched.append(segment.id);
        }
    }
    // An id given twice (its later copy wins) is reported once.
    touched.removeDuplicates();
    return touched;
}

QStringList TranscriptBook::upsert(std::span<const DisplaySegment> segments)
{
    QStringList touched = upsertEach(segments);
    if (!touched.isEmpty()) {
        Q_EMIT contentChanged();
    }
    return touched;
}

qsizetype TranscriptBook::remove(const QStringList& ids)
{
    const qsizetype removed = removeEach(ids);
    if (removed > 0) {
        Q_EMIT contentChanged();
    }
    return removed;
}

qsizetype TranscriptBook::removeEach(const QStringList& ids)
{
    std::vector<qsizetype> rows;
    rows.reserve(static_cast<size_t>(ids.size()));
    for (const QString& id : ids) {
        if (const auto row = rowOf(id)) {
            rows.push_back(*row);
        }
    }
    if (rows.empty()) {
        return 0;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    qsizetype runs = 1;
    for (size_t i = 1; i < rows.size(); ++i) {
        runs += rows[i] != rows[i - 1] + 1 ? 1 : 0;
    }
    if (runs > kMaxRemovalRuns) {
        QList<DisplaySegment> kept;
        kept.reserve(m_rows.size() - qsizetype(rows.size()));
        size_t next = 0;
        for (qsizetype row = 0; row < m_rows.size(); ++row) {
            if (next < rows.size() && rows[next] == row) {
                ++next;
                continue;
            }
            kept.append(m_rows.at(row));
        }
        resetTo(std::move(kept));
    } else {
        // From the end, so the row numbers still to come stay valid.
        size_t end = rows.size();
        while (end > 0) {
            size_t begin = end - 1;
            while (begin > 0 && rows[begin - 1] + 1 == rows[begin]) {
                --begin;
            }
            removeRows(rows[begin], qsizetype(end - begin));
            end = begin;
        }
    }
    return qsizetype(rows.size());
}

QStringList TranscriptBook::replaceAll(const QList<DisplaySegment>& segments)
{
    QSet<QString> wanted;
    wanted.reserve(segments.size());
    for (const DisplaySegment& segment : segments) {
        wanted.insert(segment.id);
    }
    QStringList leaving;
    for (const DisplaySegment& row : std::as_const(m_rows)) {
        if (!wanted.contains(row.id)) {
            leaving.append(row.id);
        }
    }
    const qsizetype removed = removeEach(leaving);
    QStringList touched = upsertEach(std::span<const DisplaySegment>(segments.constData(), size_t(segments.size())));
    if (removed > 0 || !touched.isEmpty()) {
        Q_EMIT contentChanged();
    }
    return touched;
}

void TranscriptBook::resetTo(QList<DisplaySegment> segments)
{
    // Later lines with an id already seen replace the earlier one, as upsert would.
    QHash<QString, qsizetype> seen;
    QList<DisplaySegment> unique;
    unique.reserve(segments.size());
    for (DisplaySegment& segment : segments) {
        const auto found = seen.constFind(segment.id);
        if (found != seen.constEnd()) {
            unique[*found] = std::move(segment);
            continue;
        }
        seen.insert(segment.id, unique.size());
        unique.append(std::move(segment));
    }
    sortSegments(unique, m_engineStart);

    Q_EMIT aboutToReset();
    m_rows = std::move(unique);
    m_places.clear();
    m_places.reserve(static_cast<size_t>(m_rows.size()));
    m_placeById.clear();
    m_placeById.reserve(m_rows.size());
    for (const DisplaySegment& row : std::as_const(m_rows)) {
        const Place place = placeOf(row);
        m_places.push_back(place);
        m_placeById.insert(row.id, place);
    }
    followEnds(0);
    Q_EMIT wasReset();
}
