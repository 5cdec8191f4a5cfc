#pragma once

#include "model/DisplaySegment.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// The rows of a held transcript: the live lines as they stood when the hold began, kept as that
// position plus what changed since, never as a copy of the day's lines. A line that came since is
// left out; a line that left keeps a copy at its held row; a line changed in place shows a copy
// of what it was. Copies are taken only of lines that leave or change, which in a hold of a few
// seconds or minutes are few, and a lookup costs a binary search plus those few.
//
// It follows the live lines' news (live row numbers, as a list model announces them); the release
// replays what changed one step at a time (dropLeft, showLive, admit), so that a list model can
// announce each step and end on the live lines. A reset of the live lines while held (a new run,
// a changed watch-only channel) is the one case that copies every held row, once.
class TranscriptHold {
public:
    // The live lines a hold follows.
    class Lines {
    public:
        virtual ~Lines() = default;
        [[nodiscard]] virtual qsizetype lineCount() const = 0;
        [[nodiscard]] virtual const DisplaySegment& lineAt(qsizetype row) const = 0;
        [[nodiscard]] virtual std::optional<qsizetype> rowOfLine(const QString& id) const = 0;
    };

    // Held at this moment: the held rows are the live lines now.
    explicit TranscriptHold(const Lines& live);

    [[nodiscard]] qsizetype size() const { return m_size; }
    [[nodiscard]] const DisplaySegment& at(qsizetype row) const;
    [[nodiscard]] std::optional<qsizetype> rowOf(const QString& id) const;

    // --- the live lines' news ---
    // After rows first … last came.
    void inserted(qsizetype first, qsizetype last);
    // Before rows first … last leave, and after they left.
    void aboutToRemove(qsizetype first, qsizetype last);
    void removed(qsizetype first, qsizetype last);
    // Before rows first … last change in place.
    void aboutToChange(qsizetype first, qsizetype last);
    // Before the live lines are replaced as a whole: every held row is copied.
    void aboutToReset();

    // --- the release, step by step ---
    // The live lines were replaced while held: nothing can be replayed.
    [[nodiscard]] bool replaced() const { return m_replaced; }
    // Held rows of lines that left, ascending.
    [[nodiscard]] std::vector<qsizetype> leftRows() const;
    // Held row `row` (one of leftRows) goes; the rows after it move up one.
    void dropLeft(qsizetype row);
    // Lines changed in place since the hold.
    [[nodiscard]] QStringList changedLines() const { return m_changed.keys(); }
    // The line shows its live text from now on.
    void showLive(const QString& id) { m_changed.remove(id); }
    // Live rows of the lines that came since the hold, ascending.
    [[nodiscard]] const std::vector<qsizetype>& cameRows() const { return m_came; }
    // The first of cameRows comes in; once every left row is dropped, it lands at the held row
    // with its live number.
    void admit();

private:
    [[nodiscard]] bool came(qsizetype liveRow) const;
    // Held row of a live row that is held; the live row of a held row that is not a copy.
    [[nodiscard]] qsizetype heldRowOfLive(qsizetype liveRow) const;
    [[nodiscard]] qsizetype liveRowOfHeld(qsizetype row) const;
    [[nodiscard]] const DisplaySegment* leftAt(qsizetype row) const;

    const Lines* m_live;
    qsizetype m_size = 0;
    // Copies of lines that left, by held row, ascending.
    std::vector<std::pair<qsizetype, DisplaySegment>> m_left;
    // Live rows of the lines that came since, ascending.
    std::vector<qsizetype> m_came;
    // Held lines changed in place: what they were.
    QHash<QString, DisplaySegment> m_changed;
    // Between aboutToRemove and removed: the copies to keep, by held row.
    std::vector<std::pair<qsizetype, DisplaySegment>> m_leaving;
    // After a reset while held: every held row.
    QList<DisplaySegment> m_all;
    bool m_replaced = false;
};
