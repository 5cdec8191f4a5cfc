#pragma once

#include "model/DisplaySegment.h"
#include "model/LogEntry.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// Which transcript lines the log already uses, and which of their words: what the transcript
// draws as logged, what a note or a drop on a line quotes, and what Ctrl+Return skips.
//
// An entry uses a line when its line ids (else its single line id) name it. Its quote marks the
// first place the quote occurs in the line after the quotes logged before it (else anywhere);
// the words after the furthest mark are the line's new words. An entry made from picked lines quotes their joined text,
// which occurs in none of them: each of those lines counts as logged whole.
//
// Built from the log's entries in one pass; rebuild it when the entries change.
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

private:
    struct Use {
        QUuid firstEntry;
        QStringList texts;
        bool whole = false;
    };
    QHash<QString, Use> m_lines;
};
