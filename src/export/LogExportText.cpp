#include "export/LogExportText.h"

#include "platform/TextCuts.h"

#include <array>
#include <utility>

namespace LogExport {

namespace {

std::optional<qint64> parseSignedInteger(QStringView piece)
{
    // The whole piece, ASCII digits with an optional sign; nothing else.
    qsizetype i = 0;
    bool negative = false;
    if (!piece.isEmpty() && (piece[0] == QLatin1Char('+') || piece[0] == QLatin1Char('-'))) {
        negative = piece[0] == QLatin1Char('-');
        i = 1;
    }
    if (i == piece.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < piece.size(); ++i) {
        const char16_t c = piece[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (__builtin_mul_overflow(value, 10, &value) ||
            __builtin_add_overflow(value, negative ? -digit : digit, &value))
            return std::nullopt;
    }
    return value;
}

// Frames of "HH:MM:SS:FF" at a whole rate, without range checks; nullopt when the text has not
// exactly four integer fields or the count leaves the 64-bit range.
std::optional<qint64> frameCount(QStringView text, int fps, bool dropFrame)
{
    // Drop-frame timecodes put ";" before the frames; some tools write ".".
    std::array<qint64, 4> f{};
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != QLatin1Char(':') && text[i] != QLatin1Char(';') &&
            text[i] != QLatin1Char('.'))
            continue;
        const QStringView piece = text.sliced(start, i - start);
        start = i + 1;
        if (piece.isEmpty())
            continue;
        const auto value = parseSignedInteger(piece);
        if (!value || count == 4)
            return std::nullopt;
        f[count++] = *value;
    }
    qint64 minutes = 0;
    qint64 total = 0;
    if (count != 4 || __builtin_mul_overflow(f[0], qint64(60), &minutes) ||
        __builtin_add_overflow(minutes, f[1], &minutes) || __builtin_mul_overflow(minutes, qint64(60), &total) ||
        __builtin_add_overflow(total, f[2], &total) || __builtin_mul_overflow(total, qint64(fps), &total) ||
        __builtin_add_overflow(total, f[3], &total))
        return std::nullopt;
    // Drop-frame labels skip the first fps / 15 labels of every minute but each tenth.
    qint64 dropped = 0;
    if (dropFrame && (__builtin_mul_overflow(qint64(fps / 15), minutes - minutes / 10, &dropped) ||
                      __builtin_sub_overflow(total, dropped, &total)))
        return std::nullopt;
    return total;
}

} // namespace

QString trimSpacesAndTabs(const QString& text)
{
    return TextCuts::trimSpacesAndTabs(text);
}

bool breaksLines(QChar c)
{
    const char16_t u = c.unicode();
    // Printable ASCII first: most text holds nothing else.
    if (u >= 0x20 && u < 0x7F)
        return false;
    return u <= 0x9F || u == 0x2028 || u == 0x2029;
}

QString replaceBreaks(const QString& text, QChar with, bool crLfAsTwo)
{
    // Most texts hold none: they are handed back shared, not copied.
    qsizetype i = 0;
    while (i < text.size() && !breaksLines(text[i]))
        ++i;
    if (i == text.size())
        return text;
    QString out;
    out.reserve(text.size());
    out.append(QStringView(text).left(i));
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!breaksLines(c)) {
            out.append(c);
            continue;
        }
        if (c == u'\r' && !crLfAsTwo && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        out.append(c == u'\t' ? QChar(u' ') : with);
    }
    return out;
}

QString clean(const QString& text)
{
    return trimSpacesAndTabs(replaceBreaks(text, QLatin1Char(' ')));
}

QString firstNonEmpty(std::initializer_list<std::optional<QString>> texts)
{
    for (const auto& candidate : texts) {
        if (!candidate)
            continue;
        QString cleaned = clean(*candidate);
        if (!cleaned.isEmpty())
            return cleaned;
    }
    return QString();
}

QString plainQuotesAndDashes(QString text)
{
    text.replace(QChar(0x2018), QLatin1Char('\''));
    text.replace(QChar(0x2019), QLatin1Char('\''));
    text.replace(QChar(0x201C), QLatin1Char('"'));
    text.replace(QChar(0x201D), QLatin1Char('"'));
    text.replace(QChar(0x2013), QLatin1Char('-'));
    text.replace(QChar(0x2014), QLatin1Char('-'));
    text.replace(QChar(0x2026), QLatin1String("..."));
    return text;
}

QString plainPunctuation(const QString& text)
{
    return plainQuotesAndDashes(text).replace(QChar(0x00A0), QLatin1Char(' '));
}

QString commentText(const LoggableMarker& marker)
{
    const QString text = firstNonEmpty({marker.summary, marker.quote});
    const QString note = clean(marker.manualNote.value_or(QString()));
    if (note.isEmpty())
        return text;
    if (text.isEmpty())
        return note;
    return note + QLatin1String(" | ") + text;
}

QString tagSuffix(const QStringList& tags)
{
    QStringList kept;
    for (const QString& tag : tags) {
        QString cleaned = clean(tag);
        if (!cleaned.isEmpty())
            kept.append(std::move(cleaned));
    }
    if (kept.isEmpty())
        return QString();
    return QLatin1String(" [") + kept.join(QLatin1String(", ")) + QLatin1Char(']');
}

QString colorForType(const QString& kind)
{
    static const std::array<std::pair<const char*, const char*>, 9> table{{
        {"earmark", "red"},
        {"great", "green"},
        {"cutaway", "yellow"},
        {"gv", "yellow"},
        {"broll", "cyan"},
        {"inout", "cyan"},
        {"take", "magenta"},
        {"note", "white"},
        {"log", "white"},
    }};
    const QString key = kind.toLower();
    for (const auto& [k, colour] : table) {
        if (key == QLatin1String(k))
            return QLatin1String(colour);
    }
    return QStringLiteral("blue");
}

std::optional<QString> colorForResolveName(const QString& name, bool sixteen)
{
    static const std::array<std::pair<const char*, const char*>, 11> extended{{
        {"purple", "purple"},
        {"lavender", "violet"},
        {"fuchsia", "pink"},
        {"pink", "pink"},
        {"rose", "pink"},
        {"sky", "denim"},
        {"mint", "forest"},
        {"sand", "gold"},
        {"lemon", "gold"},
        {"cocoa", "grey"},
        {"chocolate", "grey"},
    }};
    static const std::array<std::pair<const char*, const char*>, 18> standard{{
        {"red", "red"},
        {"green", "green"},
        {"blue", "blue"},
        {"cyan", "cyan"},
        {"yellow", "yellow"},
        {"purple", "magenta"},
        {"fuchsia", "magenta"},
        {"pink", "magenta"},
        {"rose", "magenta"},
        {"lavender", "magenta"},
        {"sky", "cyan"},
        {"mint", "green"},
        {"sand", "yellow"},
        {"lemon", "yellow"},
        {"cream", "white"},
        {"white", "white"},
        {"cocoa", "black"},
        {"chocolate", "black"},
    }};
    QString key = name;
    key.remove(QStringLiteral("ResolveColor"), Qt::CaseSensitive);
    key = key.toLower();
    auto find = [&key](const auto& table) -> std::optional<QString> {
        for (const auto& [user, avid] : table) {
            if (key == QLatin1String(user))
                return QString(QLatin1String(avid));
        }
        return std::nullopt;
    };
    if (sixteen) {
        if (auto hit = find(extended))
            return hit;
    }
    return find(standard);
}

std::optional<qint64> framesFromTimecode(const QString& text, int fps)
{
    return frameCount(text, fps, false);
}

qint64 markerLength(const LoggableMarker& marker, int fps)
{
    if (!marker.timecodeOut || marker.timecodeOut->isEmpty())
        return 1;
    const QString inText = clean(marker.timecode);
    const QString& outText = *marker.timecodeOut;
    const bool dropFrame =
        (fps == 30 || fps == 60) && (inText.contains(QLatin1Char(';')) || outText.contains(QLatin1Char(';')));
    const auto in = frameCount(inText, fps, dropFrame);
    const auto out = frameCount(outText, fps, dropFrame);
    qint64 length = 0;
    if (!in || !out || *in >= *out || __builtin_sub_overflow(*out, *in, &length))
        return 1;
    return length;
}

QString leftCharacters(const QString& text, int count)
{
    return TextCuts::firstCharacters(text, count);
}

int characterCount(const QString& text, int limit)
{
    return int(TextCuts::characterCount(text, limit));
}

} // namespace LogExport
