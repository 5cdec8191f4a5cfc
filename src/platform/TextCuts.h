#pragma once

#include <QChar>
#include <QString>

// The one rule for trimming and shortening text the user reads, wherever it comes from (the
// transcription socket, the service, typed tags, exported files).
//
// A blank is a tab or any character of Unicode's space separator category (the no-break and
// ideographic spaces included); line breaks, vertical tabs and form feeds are not blanks, since
// a line break inside a quote is content. A cut never splits a user-perceived character: a
// letter keeps its accents, a surrogate pair and an emoji sequence stay whole.
namespace TextCuts {

[[nodiscard]] bool isBlank(QChar c);

// `text` without the blanks at either end; handed back shared when there are none.
[[nodiscard]] QString trimSpacesAndTabs(const QString& text);

// The first `count` user-perceived characters (all of a shorter text; "" for count <= 0).
[[nodiscard]] QString firstCharacters(const QString& text, qsizetype count);
// The last `count` user-perceived characters.
[[nodiscard]] QString lastCharacters(const QString& text, qsizetype count);
// The user-perceived characters of `text`, counted up to `limit`.
[[nodiscard]] qsizetype characterCount(const QString& text, qsizetype limit);

// The longest start of `text` of at most `maxUnits` UTF-16 units that ends between two
// user-perceived characters: a size cap for untrusted text that never leaves half a character.
[[nodiscard]] QString cutToUnits(const QString& text, qsizetype maxUnits);

} // namespace TextCuts
