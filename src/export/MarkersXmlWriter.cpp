#include "export/MarkersXmlWriter.h"

#include "export/LogExportText.h"

#include <QStringView>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>
#include <vector>

namespace LogExport {

namespace {

using namespace std::string_view_literals;

// Media Composer shows at most this many characters of a marker name.
constexpr int markNameLength = 50;

// Each marker carries ten attributes.
constexpr std::string_view attributeCount = "10";

// Markers are placed on the first video track.
constexpr std::string_view markerTrack = "V1";

constexpr std::string_view header = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
                                    "<!DOCTYPE Avid:StreamItems SYSTEM \"AvidSettingsFile.dtd\">\n"
                                    "<Avid:StreamItems xmlns:Avid=\""sv;
constexpr std::string_view headerAfterNamespace = "\">\n"
                                                  "\n"
                                                  "  <Avid:XMLFileData>\n"
                                                  "    <AvProp name=\"DomainMagic\" type=\"string\">Domain</AvProp>\n"
                                                  "    <AvProp name=\"DomainKey\" type=\"char4\">58424a44</AvProp>\n"sv;
constexpr std::string_view footer = "\n  </Avid:XMLFileData>\n\n</Avid:StreamItems>\n"sv;

constexpr std::string_view classOpen = "    <AvClass id=\"ATTR\">\n"
                                       "      <AvProp id=\"ATTR\" name=\"__OMFI:ATTR:NumItems\" type=\"int32\">"sv;
constexpr std::string_view listOpen = "</AvProp>\n"
                                      "      <List id=\"OMFI:ATTR:AttrRefs\">\n"sv;
constexpr std::string_view classClose = "\n        <ListElem/>\n"
                                        "      </List>\n"
                                        "    </AvClass>"sv;

constexpr std::string_view elementOpen = "        <ListElem>\n"
                                         "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">"sv;
constexpr std::string_view kindToName = "</AvProp>\n"
                                        "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">"sv;
constexpr std::string_view nameToInt =
    "</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:IntAttribute\" type=\"int32\">"sv;
constexpr std::string_view nameToString =
    "</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">"sv;
constexpr std::string_view elementClose = "</AvProp>\n"
                                          "        </ListElem>"sv;

// Code units of the character at `i` when XML 1.0 may hold it; 0 for U+FFFE, U+FFFF and a lone
// surrogate. Controls other than tab, LF and CR are not allowed either; they are gone already.
qsizetype allowedWidth(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c))
        return i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()) ? 2 : 0;
    return QChar::isLowSurrogate(c) || c >= 0xFFFE ? 0 : 1;
}

// Whether XML takes every character as it is and no writer would replace one: most texts hold
// nothing but printable ASCII and letters below the surrogates.
bool plainForXml(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar ch) {
        const char16_t c = ch.unicode();
        return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c < 0xD800 && c != 0x2028 && c != 0x2029);
    });
}

// The text with its controls and line separators as spaces, as every writer has them, and
// without the characters XML forbids, which service or typed text can carry and which would
// make the whole document unreadable.
void makeXmlSafe(QString& text)
{
    if (plainForXml(text))
        return;
    text = replaceBreaks(text, QLatin1Char(' '));
    const QStringView view(text);
    // Most texts hold no surrogate or U+FFFE/U+FFFF at all.
    qsizetype i = 0;
    while (i < view.size() && view[i].unicode() < 0xD800)
        ++i;
    qsizetype width = 0;
    while (i < view.size() && (width = allowedWidth(view, i)) > 0)
        i += width;
    if (i == view.size())
        return;
    QString kept;
    kept.reserve(view.size());
    kept.append(view.left(i));
    while (i < view.size()) {
        width = allowedWidth(view, i);
        if (width > 0)
            kept.append(view.mid(i, width));
        i += width > 0 ? width : 1;
    }
    text = kept;
}

void makeXmlSafe(std::optional<QString>& text)
{
    if (text)
        makeXmlSafe(*text);
}

// The marker with every text made safe before anything is derived from them, so that a text of
// nothing else counts as blank and trimming sees what is left.
LoggableMarker xmlSafe(LoggableMarker marker)
{
    makeXmlSafe(marker.timecode);
    makeXmlSafe(marker.timecodeOut);
    makeXmlSafe(marker.markerType);
    makeXmlSafe(marker.summary);
    makeXmlSafe(marker.quote);
    makeXmlSafe(marker.manualNote);
    makeXmlSafe(marker.userResolveColor);
    for (QString& tag : marker.tags)
        makeXmlSafe(tag);
    return marker;
}

// The entity XML takes in place of an ASCII character; empty when the character stands as it is.
// Each character is replaced once, as replacing "&" before the others would: an entity in the
// text itself stays literal ("&lt;" is written "&amp;lt;").
constexpr std::string_view entityFor(char16_t c)
{
    switch (c) {
    case u'&':
        return "&amp;";
    case u'<':
        return "&lt;";
    case u'>':
        return "&gt;";
    case u'"':
        return "&quot;";
    case u'\'':
        return "&apos;";
    default:
        return {};
    }
}

bool startsPair(QStringView text, qsizetype i)
{
    return QChar::isHighSurrogate(text[i].unicode()) && i + 1 < text.size() &&
           QChar::isLowSurrogate(text[i + 1].unicode());
}

// UTF-8 bytes of a string value with its entities.
qsizetype escapedSize(QStringView value)
{
    qsizetype size = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        if (c < 0x80) {
            const std::string_view entity = entityFor(c);
            size += entity.empty() ? 1 : qsizetype(entity.size());
        } else if (c < 0x800) {
            size += 2;
        } else if (startsPair(value, i)) {
            size += 4;
            ++i;
        } else {
            size += 3;
        }
    }
    return size;
}

// Writes what escapedSize counted, and returns the end.
char* writeEscaped(char* p, QStringView value)
{
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        if (c < 0x80) {
            const std::string_view entity = entityFor(c);
            if (entity.empty()) {
                *p++ = char(c);
            } else {
                std::memcpy(p, entity.data(), entity.size());
                p += entity.size();
            }
        } else if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3F));
        } else if (startsPair(value, i)) {
            const char32_t u = QChar::surrogateToUcs4(c, value[++i].unicode());
            *p++ = char(0xF0 | (u >> 18));
            *p++ = char(0x80 | ((u >> 12) & 0x3F));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        } else {
            // Texts are made XML-safe first, so no lone surrogate gets here; were one to, it is
            // written as U+FFFD, as QString::toUtf8 writes it.
            const char16_t u = QChar::isSurrogate(c) ? char16_t(0xFFFD) : c;
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        }
    }
    return p;
}

char* writeFixed(char* p, std::string_view text)
{
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// The decimal digits of a value, and its sign.
struct Decimal {
    // 2^64 has twenty digits.
    static constexpr qsizetype capacity = 20;
    char digits[capacity]{};
    qsizetype first = capacity;
    bool negative = false;

    explicit Decimal(qint64 value) : negative(value < 0)
    {
        // Unsigned negation keeps the most negative value exact.
        quint64 magnitude = negative ? quint64(0) - quint64(value) : quint64(value);
        do {
            digits[--first] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
    }
    [[nodiscard]] std::string_view text() const { return {digits + first, size_t(capacity - first)}; }
    [[nodiscard]] qsizetype size() const { return (negative ? 1 : 0) + capacity - first; }
};

char* writeDecimal(char* p, const Decimal& value)
{
    if (value.negative)
        *p++ = '-';
    return writeFixed(p, value.text());
}

void put(QByteArray& out, std::string_view piece)
{
    out.append(piece.data(), qsizetype(piece.size()));
}

// The lines of an attribute element up to its value; the name is written as is.
void appendElementOpening(QByteArray& out, std::string_view name, bool integer)
{
    put(out, elementOpen);
    out.append(integer ? '1' : '2');
    put(out, kindToName);
    put(out, name);
    put(out, integer ? nameToInt : nameToString);
}

// The ten attributes of a marker, in the order Media Composer lists them.
struct AttributeShape {
    std::string_view name;
    bool integer;
};
constexpr AttributeShape attributes[] = {
    {"_ATN_CRM_LONG_CREATE_DATE", true},
    {"_ATN_CRM_LONG_MOD_DATE", true},
    {"_ATN_CRM_USER", false},
    {"_ATN_CRM_MARKNAME", false},
    {"_ATN_CRM_TC", false},
    {"_ATN_CRM_TRK", false},
    {"_ATN_CRM_COM", false},
    {"_ATN_CRM_LENGTH", true},
    {"_ATN_CRM_COLOR", false},
    {"_ATN_CRM_COLOR_EXTENDED", false},
};
constexpr int attributeTotal = int(std::size(attributes));
static_assert(attributeTotal == 10);

// The fixed text of a marker block: before each value, the opening of the block (before the
// first value) or the close of the element before, then the element's lines up to the value;
// after the last value, the close of the element and of the block. Built once, so a marker is
// eleven fixed pieces and ten values.
struct BlockTexts {
    std::array<QByteArray, attributeTotal> before;
    QByteArray after;
    // Every fixed byte of a block, the track's name included.
    qsizetype fixedSize = 0;
};

const BlockTexts& blockTexts()
{
    static const BlockTexts texts = [] {
        BlockTexts built;
        for (int i = 0; i < attributeTotal; ++i) {
            QByteArray& text = built.before[size_t(i)];
            if (i == 0) {
                put(text, classOpen);
                put(text, attributeCount);
                put(text, listOpen);
            } else {
                put(text, elementClose);
                text.append('\n');
            }
            appendElementOpening(text, attributes[i].name, attributes[i].integer);
            built.fixedSize += text.size();
        }
        put(built.after, elementClose);
        put(built.after, classClose);
        built.fixedSize += built.after.size() + qsizetype(markerTrack.size());
        return built;
    }();
    return texts;
}

char* writeFixed(char* p, const QByteArray& text)
{
    std::memcpy(p, text.constData(), size_t(text.size()));
    return p + text.size();
}

// Whole seconds since 1970, the fraction dropped toward zero; nullopt for a moment that is not
// a real date (not finite, or beyond the 64-bit range).
std::optional<qint64> wholeSecondsSince1970(Date date)
{
    const double seconds = std::trunc(date.secondsSince1970());
    // 2^63, the first whole number a qint64 cannot hold.
    constexpr double limit = 9223372036854775808.0;
    if (!std::isfinite(seconds) || seconds >= limit || seconds < -limit)
        return std::nullopt;
    return static_cast<qint64>(seconds);
}

// Avid's colour names are written with a capital: "Magenta".
QString capitalised(const QString& name)
{
    if (name.isEmpty())
        return name;
    return name.left(1).toUpper() + name.mid(1).toLower();
}

// A marker's values as they are written, derived from its XML-safe texts. The user is the same
// for every marker and is not kept here.
struct MarkerValues {
    Decimal created;
    QString name;
    QString timecode;
    QString comment;
    QString tags;
    Decimal length;
    QString standardColor;
    QString extendedColor;

    MarkerValues(const LoggableMarker& marker, int fps, qint64 fallbackSeconds)
        : created(marker.createdAt ? wholeSecondsSince1970(*marker.createdAt).value_or(fallbackSeconds)
                                   : fallbackSeconds),
          name(leftCharacters(firstNonEmpty({marker.summary, marker.quote, marker.markerType}), markNameLength)),
          timecode(clean(marker.timecode)), comment(commentText(marker)), tags(tagSuffix(marker.tags)),
          length(markerLength(marker, fps))
    {
        std::optional<QString> standard;
        std::optional<QString> extended;
        if (marker.userResolveColor) {
            standard = colorForResolveName(*marker.userResolveColor, false);
            extended = colorForResolveName(*marker.userResolveColor, true);
        }
        standardColor = capitalised(standard ? *standard : colorForType(marker.markerType));
        extendedColor = extended ? capitalised(*extended) : standardColor;
    }

    // Bytes of the block's values; `userSize` is the escaped user's.
    [[nodiscard]] qsizetype size(qsizetype userSize) const
    {
        return 2 * created.size() + userSize + escapedSize(name) + escapedSize(timecode) + escapedSize(comment) +
               escapedSize(tags) + length.size() + escapedSize(standardColor) + escapedSize(extendedColor);
    }
};

// Writes a marker block, values in the order of `attributes`.
char* writeMarker(char* p, const MarkerValues& values, QStringView user)
{
    const BlockTexts& texts = blockTexts();
    p = writeFixed(p, texts.before[0]);
    p = writeDecimal(p, values.created);
    p = writeFixed(p, texts.before[1]);
    p = writeDecimal(p, values.created);
    p = writeFixed(p, texts.before[2]);
    p = writeEscaped(p, user);
    p = writeFixed(p, texts.before[3]);
    p = writeEscaped(p, values.name);
    p = writeFixed(p, texts.before[4]);
    p = writeEscaped(p, values.timecode);
    p = writeFixed(p, texts.before[5]);
    p = writeFixed(p, markerTrack);
    p = writeFixed(p, texts.before[6]);
    p = writeEscaped(p, values.comment);
    p = writeEscaped(p, values.tags);
    p = writeFixed(p, texts.before[7]);
    p = writeDecimal(p, values.length);
    p = writeFixed(p, texts.before[8]);
    p = writeEscaped(p, values.standardColor);
    p = writeFixed(p, texts.before[9]);
    p = writeEscaped(p, values.extendedColor);
    return writeFixed(p, texts.after);
}

} // namespace

QByteArray intAttribute(const QString& name, qint64 value)
{
    const QByteArray utf8 = name.toUtf8();
    QByteArray out;
    appendElementOpening(out, std::string_view(utf8.constData(), size_t(utf8.size())), true);
    const Decimal digits(value);
    if (digits.negative)
        out.append('-');
    put(out, digits.text());
    put(out, elementClose);
    return out;
}

QByteArray avidMarkersXML(const QList<LoggableMarker>& markers, int fps, const QString& user)
{
    return avidMarkersXML(markers, fps, user, Date::now());
}

QByteArray avidMarkersXML(const QList<LoggableMarker>& markers, int fps, const QString& user, Date now)
{
    // A clock that is itself no real date leaves 1970 rather than an arbitrary number.
    const qint64 nowSeconds = wholeSecondsSince1970(now).value_or(0);
    QString safeUser = user;
    makeXmlSafe(safeUser);

    // Every value first, then the document's exact size, then one fill: a large log's document
    // (some 32 MB for 10,000 markers) is allocated once, to its size, and never copied.
    std::vector<MarkerValues> values;
    values.reserve(size_t(markers.size()));
    for (const LoggableMarker& marker : markers)
        values.emplace_back(xmlSafe(marker), fps, nowSeconds);

    const qsizetype userSize = escapedSize(safeUser);
    const qsizetype blockFixed = blockTexts().fixedSize;
    qsizetype total =
        qsizetype(header.size() + std::strlen(avidNamespaceURI) + headerAfterNamespace.size() + footer.size());
    for (const MarkerValues& marker : values)
        total += blockFixed + marker.size(userSize);
    // Blocks are joined by one line break.
    total += std::max<qsizetype>(0, qsizetype(values.size()) - 1);

    QByteArray out(total, Qt::Uninitialized);
    char* p = out.data();
    p = writeFixed(p, header);
    p = writeFixed(p, std::string_view(avidNamespaceURI));
    p = writeFixed(p, headerAfterNamespace);
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            *p++ = '\n';
        p = writeMarker(p, values[i], safeUser);
    }
    p = writeFixed(p, footer);
    Q_ASSERT(p == out.constData() + out.size());
    return out;
}

} // namespace LogExport
