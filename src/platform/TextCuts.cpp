#include "platform/TextCuts.h"

#include <unicode/ubrk.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace TextCuts {

namespace {

struct BreaksCloser {
    void operator()(UBreakIterator* breaks) const { ubrk_close(breaks); }
};

// The character breaks of `text`, for this call only; null when ICU has none to give.
//
// ICU's rules rather than QTextBoundaryFinder's: Qt 6.4 re-breaks a run of Indic script by
// syllable and leaves every UTF-16 unit of the emoji, CR LF and spaces inside that run a break of
// its own, halves of surrogate pairs included. Each thread keeps one iterator: opening one costs
// far more than pointing it at another text.
UBreakIterator* characterBreaks(const QString& text)
{
    thread_local std::unique_ptr<UBreakIterator, BreaksCloser> breaks;
    if (text.size() > std::numeric_limits<int32_t>::max())
        return nullptr;
    UErrorCode status = U_ZERO_ERROR;
    if (!breaks) {
        breaks.reset(ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status));
        if (U_FAILURE(status)) {
            breaks.reset();
            return nullptr;
        }
    }
    ubrk_setText(breaks.get(), reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()), &status);
    return U_SUCCESS(status) ? breaks.get() : nullptr;
}

// Without ICU, code points: a surrogate pair at least stays whole.
bool splitsPair(const QString& text, qsizetype at)
{
    return at > 0 && at < text.size() && text.at(at - 1).isHighSurrogate() && text.at(at).isLowSurrogate();
}

qsizetype nextBreak(UBreakIterator* breaks, const QString& text, qsizetype at)
{
    if (breaks)
        return ubrk_next(breaks);
    if (at >= text.size())
        return -1;
    return splitsPair(text, at + 1) ? at + 2 : at + 1;
}

qsizetype previousBreak(UBreakIterator* breaks, const QString& text, qsizetype at)
{
    if (breaks)
        return ubrk_previous(breaks);
    if (at <= 0)
        return -1;
    return splitsPair(text, at - 1) ? at - 2 : at - 1;
}

} // namespace

bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

QString trimSpacesAndTabs(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
}

QString firstCharacters(const QString& text, qsizetype count)
{
    if (count <= 0)
        return QString();
    // A character is at least one unit: a text this short is whole.
    if (text.size() <= count)
        return text;
    UBreakIterator* breaks = characterBreaks(text);
    qsizetype end = breaks ? ubrk_first(breaks) : 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype next = nextBreak(breaks, text, end);
        if (next < 0)
            return text;
        end = next;
    }
    return text.left(end);
}

QString lastCharacters(const QString& text, qsizetype count)
{
    if (count <= 0)
        return QString();
    if (text.size() <= count)
        return text;
    UBreakIterator* breaks = characterBreaks(text);
    qsizetype begin = breaks ? ubrk_last(breaks) : text.size();
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype previous = previousBreak(breaks, text, begin);
        if (previous < 0)
            return text;
        begin = previous;
    }
    return text.mid(begin);
}

qsizetype characterCount(const QString& text, qsizetype limit)
{
    if (limit <= 0 || text.isEmpty())
        return 0;
    UBreakIterator* breaks = characterBreaks(text);
    qsizetype at = breaks ? ubrk_first(breaks) : 0;
    qsizetype count = 0;
    while (count < limit && (at = nextBreak(breaks, text, at)) >= 0)
        ++count;
    return count;
}

QString cutToUnits(const QString& text, qsizetype maxUnits)
{
    if (maxUnits <= 0)
        return QString();
    if (text.size() <= maxUnits)
        return text;
    // ICU moves an offset inside a surrogate pair to the pair's start before looking back, and
    // would skip a break there.
    const qsizetype cap = splitsPair(text, maxUnits) ? maxUnits - 1 : maxUnits;
    UBreakIterator* breaks = characterBreaks(text);
    if (!breaks)
        return text.left(cap);
    if (ubrk_isBoundary(breaks, int32_t(cap)))
        return text.left(cap);
    return text.left(std::max<qsizetype>(ubrk_preceding(breaks, int32_t(cap)), 0));
}

} // namespace TextCuts
