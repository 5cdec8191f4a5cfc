#pragma once

#include "model/LoggableMarker.h"

#include <QString>
#include <QStringList>

#include <optional>

// The small pure text and colour functions every marker-file writer shares. None keeps state or
// fails; each answers every input.
namespace LogExport {

// Whether a reader may end a line, a row or a string at `c`: a control character (C0, DEL, C1)
// or a Unicode line or paragraph separator. Such characters are never written as they are.
bool breaksLines(QChar c);

// The text with each tab as a space and each other character that breaksLines as `with`; a CR LF
// pair counts as one character unless `crLfAsTwo`.
QString replaceBreaks(const QString& text, QChar with, bool crLfAsTwo = false);

// The one-line form of a text: tabs, line breaks and the other characters that breaksLines
// become single spaces (a CR LF pair one space), then spaces and tabs are trimmed at both ends.
// Inner runs of spaces stay.
QString clean(const QString& text);

// The first candidate whose cleaned form is non-empty, cleaned; "" when none is.
QString firstNonEmpty(std::initializer_list<std::optional<QString>> texts);

// Typographic quotes, dashes, the ellipsis and the no-break space as plain ASCII.
QString plainPunctuation(const QString& text);
// The same, but the no-break space stays (the ScriptSync selects keep it).
QString plainQuotesAndDashes(QString text);

// The marker's note and words on one line: "note | words", or whichever of the two there is.
QString commentText(const LoggableMarker& marker);

// " [a, b]" of the cleaned, non-empty tags; "" when none is left.
QString tagSuffix(const QStringList& tags);

// Avid colour name (lower case) of a marker kind; "blue" for a kind with no colour of its own.
QString colorForType(const QString& kind);

// Avid colour name (lower case) of a user colour name such as "LavenderResolveColor"; with
// `sixteen`, Media Composer's extended palette is tried first.
std::optional<QString> colorForResolveName(const QString& name, bool sixteen);

// Frame count of "HH:MM:SS:FF" at a whole rate, without range checks or drop-frame correction.
// Fields may be separated by ":", ";" (drop-frame timecodes) or "."; nullopt when the text has
// not exactly four integer fields or the count leaves the 64-bit range.
std::optional<qint64> framesFromTimecode(const QString& text, int fps);

// A marker's length in frames: out − in when both parse and out is after in; otherwise 1. When
// either timecode carries ";" at 30 or 60 fps the labels are drop-frame, and the labels they skip
// are not counted.
qint64 markerLength(const LoggableMarker& marker, int fps);

// The writers' names for the shared rules of TextCuts (platform/TextCuts.h).
// The first `count` user-perceived characters of a text (a grapheme cluster is never split).
QString leftCharacters(const QString& text, int count);
// User-perceived characters of a text, counted up to `limit`.
int characterCount(const QString& text, int limit);
// Trims the characters of the Unicode space separator category and tabs at both ends; line
// breaks, vertical tabs and form feeds stay.
QString trimSpacesAndTabs(const QString& text);

} // namespace LogExport
