#include "export/ScriptSyncWriter.h"

#include "export/LogExportText.h"
#include "platform/DateFormat.h"

#include <QRegularExpression>
#include <QStringList>

namespace LogExport {

namespace {

// The filler rules were written for ICU's regular expressions; PCRE2 differs in a few classes,
// so they are spelled out here as ICU defines them:
// - ICU's \s is the White_Space property (PCRE2's \s depends on its Unicode option);
// - ICU's \w, which its \b is built on, is letters and other alphabetic characters, marks,
//   decimal digits, connector punctuation, ZWNJ and ZWJ (PCRE2's \w lacks marks and more);
// - ICU's \b looks through combining marks and format characters: between a letter and a mark
//   there is no boundary, and neither is there between a mark and the character it follows.
constexpr QStringView wordClass = u"[\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\x{200C}\\x{200D}]";
constexpr QStringView transparentClass = u"[\\p{Grapheme_Extend}\\p{Cf}]";

bool matchesAt(const QRegularExpression& characterClass, const QString& text, qsizetype position)
{
    return characterClass
        .match(text, position, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption)
        .hasMatch();
}

// ICU's \b before `position`, where the text holds a letter or an apostrophe: the character
// there is a word character or not, and so is the nearest one before it that is not a mark or
// a format character; a boundary is where the two differ.
bool isWordBoundaryBefore(const QString& text, qsizetype position)
{
    static const QRegularExpression word(wordClass.toString());
    static const QRegularExpression transparent(transparentClass.toString());
    // The letters of the rule are word characters, the apostrophe is not.
    const bool here = text.at(position) != u'\'';
    bool before = false;
    qsizetype end = position;
    while (end > 0) {
        qsizetype start = end - 1;
        const QChar c = text.at(start);
        if (c.unicode() < 0x80) {
            // No ASCII character is a mark or a format character.
            before = c.isLetterOrNumber() || c == u'_';
            break;
        }
        if (start > 0 && c.isLowSurrogate() && text.at(start - 1).isHighSurrogate())
            --start;
        if (!matchesAt(transparent, text, start)) {
            before = matchesAt(word, text, start);
            break;
        }
        end = start;
    }
    return here != before;
}

// PCRE2 refuses to match in a text that is not valid UTF-16, so a lone surrogate would switch
// every rule off. It cannot be written to a UTF-8 file anyway; U+FFFD is what it becomes there,
// and is, like it, neither a letter, a space nor punctuation to the rules.
QString withLoneSurrogatesReplaced(const QString& text)
{
    QString out = text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

// "the the the cat" -> "the cat": a word repeated once or more, separated by spaces or commas,
// is written once, as first written; "had had" and "that that" are real speech and stay.
QString collapseStutters(const QString& text)
{
    // The leading \b of the rule is checked by isWordBoundaryBefore; the lookbehinds in front only
    // skip starts inside a word, where there can be no boundary (a letter after a letter, an
    // apostrophe after an apostrophe). The trailing \b, after a word that ends in a letter or an
    // apostrophe, is the lookaround at the end. A shorter word than the whole run of letters is
    // always followed by a letter, never by a separator, so the run is taken possessively.
    // One difference stays: ICU compares a repeat by full case folding ("ss" repeats as "ß", "ff"
    // as the ligature U+FB00), PCRE2 letter by letter.
    static const QRegularExpression repeated(
        QStringLiteral("(?i)(?:(?<![a-z])(?=[a-z])|(?<!')(?='))([a-z']++)"
                       "(?:[\\p{White_Space},]+\\1(?!%1)(?:(?<=')(?=%2)|(?<!')(?!%2)))+")
            .arg(transparentClass, wordClass));
    QString out;
    qsizetype copied = 0;
    qsizetype from = 0;
    while (from < text.size()) {
        const QRegularExpressionMatch match = repeated.match(text, from);
        if (!match.hasMatch())
            break;
        const qsizetype start = match.capturedStart(0);
        if (!isWordBoundaryBefore(text, start)) {
            from = start + 1;
            continue;
        }
        out.append(QStringView(text).mid(copied, start - copied));
        const QStringView word = match.capturedView(1);
        const QString lower = word.toString().toLower();
        if (lower == u"had" || lower == u"that")
            out.append(match.capturedView(0));
        else
            out.append(word);
        copied = from = match.capturedEnd(0);
    }
    if (copied == 0)
        return text;
    out.append(QStringView(text).mid(copied));
    return out;
}

// The first user-perceived character in upper case; a character whose upper case is longer
// (German sharp s) becomes that longer text.
QString withCapitalFirst(const QString& text)
{
    if (text.isEmpty())
        return text;
    // An ASCII character followed by another (or by nothing) is a whole character on its own,
    // except CR before LF; most speech starts so, and needs no grapheme search.
    if (text[0].unicode() < 0x80 && text[0] != u'\r' && (text.size() == 1 || text[1].unicode() < 0x80)) {
        if (!text[0].isLower())
            return text;
        QString out = text;
        out[0] = text[0].toUpper();
        return out;
    }
    const QString first = leftCharacters(text, 1);
    return first.toUpper().append(QStringView(text).mid(first.size()));
}

// Cheap tests of whether a rule can match at all, so that speech that needs no change skips
// the regular expression. QChar::isSpace is the White_Space property, as \p{White_Space} is.
bool isMark(QChar c)
{
    const char16_t u = c.unicode();
    return u == u',' || u == u'.' || u == u';' || u == u':' || u == u'!' || u == u'?';
}

bool hasSpaceBeforeMark(QStringView text)
{
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (isMark(text[i]) && text[i - 1].isSpace())
            return true;
    }
    return false;
}

bool hasMarkBeforeLetter(QStringView text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        const char16_t next = text[i + 1].unicode();
        if (isMark(text[i]) && ((next >= u'a' && next <= u'z') || (next >= u'A' && next <= u'Z')))
            return true;
    }
    return false;
}

bool hasSpaceRun(QStringView text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i].isSpace() && text[i + 1].isSpace())
            return true;
    }
    return false;
}

bool startsWithSpaceOrMark(QStringView text)
{
    if (text.isEmpty())
        return false;
    const QChar c = text[0];
    return c.isSpace() || c == u',' || c == u'.' || c == u';' || c == u':' || c == u'-';
}

// Characters that stand around a filler word: white space and the marks of the filler rule.
bool isFillerDelimiter(QChar c)
{
    return c.isSpace() || isMark(c) || c == u'-';
}

bool isFillerLetter(QChar c)
{
    return QStringView(u"umheraUMHERA").contains(c);
}

// A standalone filler is a whole word between delimiters, of two or more of its letters.
bool hasFillerShapedWord(QStringView text)
{
    qsizetype letters = 0;
    bool onlyFillerLetters = true;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isFillerDelimiter(text[i])) {
            if (onlyFillerLetters && letters >= 2)
                return true;
            letters = 0;
            onlyFillerLetters = true;
        } else {
            ++letters;
            onlyFillerLetters = onlyFillerLetters && isFillerLetter(text[i]);
        }
    }
    return false;
}

// A letter of the stutter rule's word class as the regex compares it without case: the long s
// and the Kelvin sign are other cases of s and k. 0 for anything else.
char16_t foldedWordLetter(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= u'a' && u <= u'z') || u == u'\'')
        return u;
    if (u >= u'A' && u <= u'Z')
        return char16_t(u - u'A' + u'a');
    if (u == 0x017F)
        return u's';
    if (u == 0x212A)
        return u'k';
    return 0;
}

// A stutter needs a run of letters and apostrophes, or the end of one that starts where a
// letter meets an apostrophe ("it's 's"), followed by spaces or commas and the same letters.
bool hasRepeatedRun(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size()) {
        if (!foldedWordLetter(text[i])) {
            ++i;
            continue;
        }
        const qsizetype runStart = i;
        while (i < text.size() && foldedWordLetter(text[i]))
            ++i;
        const qsizetype runEnd = i;
        qsizetype next = runEnd;
        while (next < text.size() && (text[next].isSpace() || text[next] == u','))
            ++next;
        if (next == runEnd)
            continue;
        for (qsizetype start = runStart; start < runEnd; ++start) {
            const bool apostrophe = text[start] == u'\'';
            if (start > runStart && (text[start - 1] == u'\'') == apostrophe)
                continue;
            const qsizetype length = runEnd - start;
            if (next + length > text.size())
                continue;
            qsizetype k = 0;
            while (k < length && foldedWordLetter(text[next + k]) == foldedWordLetter(text[start + k]))
                ++k;
            if (k == length)
                return true;
        }
    }
    return false;
}

bool hasTypographicPunctuation(QStringView text)
{
    // Everything plainPunctuation replaces lies at U+00A0 or above.
    for (const QChar c : text) {
        if (c.unicode() >= 0xA0)
            return true;
    }
    return false;
}

} // namespace

QString removeFillers(const QString& text)
{
    // A filler between two commas goes with both commas: "so, um, we" -> "so we".
    static const QRegularExpression fillerBetweenCommas(
        QStringLiteral("(?i),\\p{White_Space}*(u+m+|u+h+|e+r+m+|e+r+|a+h+)\\p{White_Space}*,"));
    // A filler standing alone, with one comma or full stop after it; the character before stays.
    // The rule was written with ICU's $, which also matches before a final line break; the
    // space alternative already accepts every line break, so end of text (\z) is the same.
    static const QRegularExpression standaloneFiller(
        QStringLiteral("(?i)(^|[\\p{White_Space},.;:!?-])(u+m+|u+h+|e+r+m+|e+r+|a+h+|h+m+|m+m+)"
                       "(?=\\z|[\\p{White_Space},.;:!?-])[,.]?"));
    static const QRegularExpression spaceBeforePunctuation(QStringLiteral("\\p{White_Space}+([,.;:!?])"));
    static const QRegularExpression punctuationBeforeLetter(QStringLiteral("([,.;:!?])(?=[A-Za-z])"));
    static const QRegularExpression spaceRun(QStringLiteral("\\p{White_Space}{2,}"));
    // Exclamation and question marks at the start stay.
    static const QRegularExpression leadingPunctuation(QStringLiteral("^[\\p{White_Space},.;:-]+"));

    QString out = withLoneSurrogatesReplaced(hasTypographicPunctuation(text) ? plainPunctuation(text) : text);
    if (out.count(QLatin1Char(',')) >= 2)
        out.replace(fillerBetweenCommas, QString());
    if (hasFillerShapedWord(out))
        out.replace(standaloneFiller, QStringLiteral("\\1"));
    if (hasRepeatedRun(out))
        out = collapseStutters(out);
    if (hasSpaceBeforeMark(out))
        out.replace(spaceBeforePunctuation, QStringLiteral("\\1"));
    if (hasMarkBeforeLetter(out))
        out.replace(punctuationBeforeLetter, QStringLiteral("\\1 "));
    if (hasSpaceRun(out))
        out.replace(spaceRun, QStringLiteral(" "));
    if (startsWithSpaceOrMark(out))
        out.replace(leadingPunctuation, QString());
    return withCapitalFirst(trimSpacesAndTabs(out));
}

QString scriptSyncSelects(const QList<LoggableMarker>& markers, const QString& title)
{
    QStringList lines{clean(title).toUpper(), QString()};
    for (const LoggableMarker& marker : markers) {
        // The words as said win over the logger's summary of them.
        const QString text = firstNonEmpty({marker.quote, marker.summary});
        if (text.isEmpty())
            continue;
        lines.append(plainQuotesAndDashes(text));
        lines.append(QString());
    }
    return lines.join(QLatin1Char('\n'));
}

QString cleanTranscript(const QList<TranscriptTurn>& turns, const QString& title, Date date)
{
    return cleanTranscript(turns, title, date, QLocale(), QByteArray());
}

QString cleanTranscript(const QList<TranscriptTurn>& turns, const QString& title, Date date, const QLocale& locale,
                        const QByteArray& timeZoneId)
{
    // Consecutive turns of one speaker (or of no speaker) read as one paragraph.
    QList<TranscriptTurn> merged;
    for (const TranscriptTurn& turn : turns) {
        // A turn is one paragraph: a break inside it would start another for ScriptSync.
        const QString text = removeFillers(replaceBreaks(turn.text, QLatin1Char(' ')));
        if (text.isEmpty())
            continue;
        if (!merged.isEmpty() && merged.last().speaker == turn.speaker) {
            QString& paragraph = merged.last().text;
            paragraph.append(QLatin1Char(' '));
            paragraph.append(text);
        } else {
            merged.append(TranscriptTurn{turn.speaker, text});
        }
    }

    QStringList lines{plainPunctuation(clean(title)).toUpper(),
                      QStringLiteral("Recorded ") + formatDate(date, DateStyle::Long, locale, timeZoneId), QString()};
    for (const TranscriptTurn& turn : merged) {
        // A speaker of only spaces still gets its line, which cleans to nothing.
        if (turn.speaker && !turn.speaker->isEmpty())
            lines.append(plainPunctuation(clean(*turn.speaker)).toUpper());
        lines.append(turn.text);
        lines.append(QString());
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace LogExport
