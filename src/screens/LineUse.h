#pragma once

#include "model/DisplaySegment.h"
#include "model/LogEntry.h"
#include "platform/ShardedHash.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVarLengthArray>

#include <optional>

class LoggingLog;

// Which transcript lines the log already uses, and which of their words: what the transcript
// draws as logged, what a note or a drop on a line quotes, and what Ctrl+Return skips.
//
// An entry uses a line when its line ids (else its single line id) name it. Its quote marks the
// first place the quote occurs in the line after the quotes logged before it (else anywhere);
// the words after the furthest mark are the line's new words. An entry made from picked lines quotes their joined text,
// which occurs in none of them: each of those lines counts as logged whole.
//
// Built from the log's entries in one pass, or kept up to date by the log's row news: a change
// of an entry redoes only the lines that entry named before and names now, from the few entries
// that use each (found by id through the log's index), so an edit costs what it touches however
// long the log. After all of a change's news it equals a build from the entries. The log's rows
// keep their ids when they change in place, as its edits do.
class LineUse {
public:
    enum class State { Unused, PartlyUsed, FullyUsed };

    LineUse() = default;
    explicit LineUse(const LogEntries& entries);

    [[nodiscard]] bool isUsed(const QString& lineID) const { return m_lines.contains(lineID); }
    // The quotes of the entries using the line, in log order, without empty ones.
    [[nodiscard]] QStringList loggedTexts(const QString& lineID) const;
    // The first entry, in log order, that uses the line.
    [[nodiscard]] std::optional<QUuid> firstEntry(const QString& lineID) const;
    // The line's text after the furthest logged part, trimmed; the whole trimmed text when
    // nothing of it is logged; empty when it is logged whole.
    [[nodiscard]] QString newWords(const DisplaySegment& line) const;
    [[nodiscard]] State state(const DisplaySegment& line) const;
    // Where the line's logged texts stand in its text, in UTF-16 units (the whole line when
    // logged whole). Texts that do not occur mark nothing.
    [[nodiscard]] QList<std::pair<qsizetype, qsizetype>> marks(const DisplaySegment& line) const;

    // --- following `log`'s row news; each gives the lines whose use may have changed ---
    QStringList rowsInserted(const LoggingLog& log, qsizetype first, qsizetype last);
    void rowsAboutToBeRemoved(const LoggingLog& log, qsizetype first, qsizetype last);
    QStringList rowsRemoved(const LoggingLog& log);
    QStringList rowsChanged(const LoggingLog& log, qsizetype first, qsizetype last);
    // The entries were replaced as a whole.
    QStringList reset(const LoggingLog& log);

    // Same use of every line.
    friend bool operator==(const LineUse& a, const LineUse& b) { return a.m_lines.toHash() == b.m_lines.toHash(); }

private:
    // A line that entries name. Most are named by one entry with one quote: those are held
    // in place, without a list of their own, as a day holds thousands of them.
    struct Use {
        QUuid firstEntry;
        QVarLengthArray<QString, 1> texts;
        bool whole = false;
        // Kept for the row news: the ids of the entries naming the line, in no set order.
        QVarLengthArray<QUuid, 1> users;
        // The use the line is drawn with; who names it is the row news' own book-keeping.
        friend bool operator==(const Use& a, const Use& b)
        {
            return a.firstEntry == b.firstEntry && a.texts == b.texts && a.whole == b.whole;
        }
    };
    // The lines an entry names.
    [[nodiscard]] static QStringList namedLines(const LogEntry& entry);
    // Every line the entries with `id` name now.
    [[nodiscard]] QStringList linesOf(const LoggingLog& log, const QUuid& id) const;
    // The rows of the entries with `id`, ascending.
    [[nodiscard]] QList<qsizetype> rowsOf(const LoggingLog& log, const QUuid& id) const;
    // Follows entry `id` as the log now holds it; adds the lines touched to `touched`.
    void follow(const LoggingLog& log, const QUuid& id, QSet<QString>& touched);
    // Redoes the use of `line` from the entries that name it (its users).
    void redo(const LoggingLog& log, const QString& line);
    QStringList redoAll(const LoggingLog& log, const QSet<QString>& touched);
    // Makes `lines` share `entryLines` when they hold the same.
    static void shareList(QStringList& lines, const QStringList& entryLines);

    // Sharded, as the tables keyed by a day's line ids are: one table would double all at once.
    ShardedHash<QString, Use> m_lines;
    // Kept for the row news: the lines each entry id names, and how many rows of the log carry
    // each id (more than one only in hand-edited files).
    QHash<QUuid, QStringList> m_named;
    QHash<QUuid, int> m_rowsWithId;
    // Between rowsAboutToBeRemoved and rowsRemoved.
    QList<QUuid> m_leaving;
};
