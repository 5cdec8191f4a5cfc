#include "export/LogExportText.h"

#include <QTextBoundaryFinder>

#include <array>
#include <utility>

namespace LogExport {

namespace {

bool isSpaceOrTab(QChar c)
{
    return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
}

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
        if (__builtin_mul_overflow(value, 10, &value)
            || __builtin_add_overflow(value, negative ? -digit : digit, &value))
            return std::nullopt;
    }
    return value;
}

} // namespace

QString trimSpacesAndTabs(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isSpaceOrTab(text[begin]))
        ++begin;
    while (end > begin && isSpaceOrTab(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

QString clean(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\t'), QLatin1Char(' '));
    out.replace(QLatin1String("\r\n"), QLatin1String(" "));
    out.replace(QLatin1Char('\n'), QLatin1Char(' '));
    out.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return trimSpacesAndTabs(out);
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
    // Drop-frame timecodes put ";" before the frames; some tools write ".".
    QList<QStringView> pieces;
    qsizetype start = 0;
    const QStringView view(text);
    for (qsizetype i = 0; i <= view.size(); ++i) {
        const bool atEnd = i == view.size();
        if (atEnd || view[i] == QLatin1Char(':') || view[i] == QLatin1Char(';') || view[i] == QLatin1Char('.')) {
            if (i > start)
                pieces.append(view.mid(start, i - start));
            start = i + 1;
        }
    }
    if (pieces.size() != 4)
        return std::nullopt;
    std::array<qint64, 4> f{};
    for (int i = 0; i < 4; ++i) {
        const auto value = parseSignedInteger(pieces[i]);
        if (!value)
            return std::nullopt;
        f[i] = *value;
    }
    qint64 total = 0;
    if (__builtin_mul_overflow(f[0], qint64(60), &total) || __builtin_add_overflow(total, f[1], &total)
        || __builtin_mul_overflow(total, qint64(60), &total) || __builtin_add_overflow(total, f[2], &total)
        || __builtin_mul_overflow(total, qint64(fps), &total) || __builtin_add_overflow(total, f[3], &total))
        return std::nullopt;
    return total;
}

qint64 markerLength(const LoggableMarker& marker, int fps)
{
    const auto in = framesFromTimecode(clean(marker.timecode), fps);
    if (!in || !marker.timecodeOut || marker.timecodeOut->isEmpty())
        return 1;
    const auto out = framesFromTimecode(*marker.timecodeOut, fps);
    qint64 length = 0;
    if (!out || *in >= *out || __builtin_sub_overflow(*out, *in, &length))
        return 1;
    return length;
}

QString leftCharacters(const QString& text, int count)
{
    if (count <= 0)
        return QString();
    if (text.size() <= count)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int characters = 0;
    qsizetype position = 0;
    while (characters < count) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        position = next;
        ++characters;
    }
    return text.left(position);
}

} // namespace LogExport
