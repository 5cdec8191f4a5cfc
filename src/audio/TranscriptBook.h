#pragma once

#include "model/DisplaySegment.h"
#include "platform/Date.h"
#include "platform/ShardedHash.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>
#include <vector>

// The published transcript: the lines of every stream of a run in one list, ordered by each
// line's moment (SegmentOrder: the moment, then channel, then id), with every change announced
// by row, the way a list model announces it (about-to / done pairs around each insertion,
// removal and change in place).
//
// Merging a result costs what it changes: a line is found by id (hash, then binary search on
// its key), updated in place, or inserted where it belongs, so adding one line to a long
// transcript moves only the rows after it (new lines land at or near the end). Rows that are
// equal to what the book holds are not announced. A change that would scatter removals over the
// whole list (a stream's lines leaving) is announced as one reset instead.
//
// Main thread only. Row numbers in signals are ints, as list models take them.
class TranscriptBook : public QObject {
    Q_OBJECT

public:
    // More separate runs of removed rows than this in one change make it a reset.
    static constexpr qsizetype kMaxRemovalRuns = 32;

    explicit TranscriptBook(QObject* parent = nullptr);

    [[nodiscard]] const QList<DisplaySegment>& rows() const { return m_rows; }
    [[nodiscard]] qsizetype size() const { return m_rows.size(); }
    // Time 0 of the lines' seconds, as given to clear().
    [[nodiscard]] Date engineStart() const { return m_engineStart; }
    // The row of line `id`; nullopt when the book has no such line.
    [[nodiscard]] std::optional<qsizetype> rowOf(const QString& id) const;
    // The first row from which a line may end at or after `secs` (stream seconds): every row
    // before it ends earlier. A query for the last few seconds reads from here, not the whole day.
    [[nodiscard]] qsizetype firstEndingFrom(double secs) const;

    // Empties the book for a run whose time 0 is `engineStart`; a reset when it held rows.
    void clear(Date engineStart);

    // Adds each segment, or replaces the line with its id. A line whose moment changed moves to
    // its new place (announced as a removal and an insertion). Gives the ids added or changed,
    // in the order given; a segment equal to its line changes nothing and is left out.
    QStringList upsert(std::span<const DisplaySegment> segments);
    QStringList upsert(const QList<DisplaySegment>& segments)
    {
        return upsert(std::span<const DisplaySegment>(segments.constData(), size_t(segments.size())));
    }
    // Removes the lines with these ids; unknown ids are ignored. Gives how many were removed.
    qsizetype remove(const QStringList& ids);
    // Makes the book hold exactly `segments` (ids unique): lines that are not among them leave,
    // the others are upserted. Gives the ids added or changed.
    QStringList replaceAll(const QList<DisplaySegment>& segments);

Q_SIGNALS:
    void rowsAboutToBeInserted(int first, int last);
    void rowsInserted(int first, int last);
    void rowsAboutToBeRemoved(int first, int last);
    void rowsRemoved(int first, int last);
    // Around a change in place: a held view keeps what the row was.
    void rowsAboutToBeChanged(int first, int last);
    void rowsChanged(int first, int last);
    void aboutToReset();
    void wasReset();
    // After every operation that changed anything, once.
    void contentChanged();

private:
    // Where a line sorts: its moment, then its channel; ids break the remaining ties.
    struct Place {
        double moment = 0.0;
        int channel = 0;
        friend bool operator==(const Place&, const Place&) = default;
    };

    [[nodiscard]] Place placeOf(const DisplaySegment& segment) const;
    // Whether row `row` sorts before (place, id).
    [[nodiscard]] bool rowBefore(qsizetype row, const Place& place, const QString& id) const;
    [[nodiscard]] bool beforeRow(const Place& place, const QString& id, qsizetype row) const;
    // The first row that does not sort before (place, id).
    [[nodiscard]] qsizetype lowerBound(const Place& place, const QString& id) const;

    // Returns whether the book changed.
    bool upsertOne(const DisplaySegment& segment);
    // upsert() and remove() without the contentChanged signal.
    QStringList upsertEach(std::span<const DisplaySegment> segments);
    qsizetype removeEach(const QStringList& ids);
    void insertRow(qsizetype row, const DisplaySegment& segment, const Place& place);
    void removeRows(qsizetype first, qsizetype count);
    // Replaces everything with `segments` in order (announced as a reset).
    void resetTo(QList<DisplaySegment> segments);
    // Brings m_latestEnd up to date from `row` on, before the change is announced.
    void followEnds(qsizetype row);

    Date m_engineStart;
    QList<DisplaySegment> m_rows;
    // Parallel to m_rows.
    std::vector<Place> m_places;
    // Parallel to m_rows: the latest end of any line up to and including each row. Never
    // decreasing, so the rows that may end after a moment are found by a binary search; a
    // change costs the rows after it, and changes come at the newest end.
    std::vector<double> m_latestEnd;
    // Sharded: a day's lines would otherwise rehash all at once on one insert.
    ShardedHash<QString, Place> m_placeById;
};
