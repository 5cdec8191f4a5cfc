#include "export/MarkersXmlWriter.h"

#include "export/LogExportText.h"

#include <QStringView>

#include <array>
#include <cmath>
#include <iterator>
#include <optional>

namespace LogExport {

namespace {

// Media Composer shows at most this many characters of a marker name.
constexpr int markNameLength = 50;

// Each marker carries ten attributes.
constexpr QStringView attributeCount = u"10";

// Markers are placed on the first video track.
constexpr QStringView markerTrack = u"V1";

constexpr QStringView header = u"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
                               u"<!DOCTYPE Avid:StreamItems SYSTEM \"AvidSettingsFile.dtd\">\n"
                               u"<Avid:StreamItems xmlns:Avid=\"";
constexpr QStringView headerAfterNamespace = u"\">\n"
                                             u"\n"
                                             u"  <Avid:XMLFileData>\n"
                                             u"    <AvProp name=\"DomainMagic\" type=\"string\">Domain</AvProp>\n"
                                             u"    <AvProp name=\"DomainKey\" type=\"char4\">58424a44</AvProp>\n";
constexpr QStringView footer = u"\n  </Avid:XMLFileData>\n\n</Avid:StreamItems>";

constexpr QStringView classOpen = u"    <AvClass id=\"ATTR\">\n"
                                  u"      <AvProp id=\"ATTR\" name=\"__OMFI:ATTR:NumItems\" type=\"int32\">";
constexpr QStringView listOpen = u"</AvProp>\n"
                                 u"      <List id=\"OMFI:ATTR:AttrRefs\">\n";
constexpr QStringView classClose = u"\n        <ListElem/>\n"
                                   u"      </List>\n"
                                   u"    </AvClass>";

constexpr QStringView elementOpen = u"        <ListElem>\n"
                                    u"          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">";
constexpr QStringView kindToName = u"</AvProp>\n"
                                   u"          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">";
constexpr QStringView nameToInt = u"</AvProp>\n"
                                  u"          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:IntAttribute\" type=\"int32\">";
constexpr QStringView nameToString =
    u"</AvProp>\n"
    u"          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">";
constexpr QStringView elementClose = u"</AvProp>\n"
                                     u"        </ListElem>";

// Code units of the character at `i` when XML 1.0 may hold it; 0 for U+FFFE, U+FFFF and a lone
// surrogate. Controls other than tab, LF and CR are not allowed either; they are gone already.
qsizetype allowedWidth(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c))
        return i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()) ? 2 : 0;
    return QChar::isLowSurrogate(c) || c >= 0xFFFE ? 0 : 1;
}

// The text with its controls and line separators as spaces, as every writer has them, and
// without the characters XML forbids, which service or typed text can carry and which would
// make the whole document unreadable.
void makeXmlSafe(QString& text)
{
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

// Appends a string value with the five XML entities. Each character is replaced once, as
// replacing "&" before the others would: an entity in the text itself stays literal ("&lt;" is
// written "&amp;lt;").
void appendEscaped(QString& out, QStringView value)
{
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        QStringView entity;
        switch (value[i].unicode()) {
        case u'&':
            entity = u"&amp;";
            break;
        case u'<':
            entity = u"&lt;";
            break;
        case u'>':
            entity = u"&gt;";
            break;
        case u'"':
            entity = u"&quot;";
            break;
        case u'\'':
            entity = u"&apos;";
            break;
        default:
            continue;
        }
        out.append(value.mid(runStart, i - runStart));
        out.append(entity);
        runStart = i + 1;
    }
    out.append(value.mid(runStart));
}

void appendDecimal(QString& out, qint64 value)
{
    char16_t digits[20];
    qsizetype first = std::size(digits);
    // Unsigned negation keeps the most negative value exact.
    quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    do {
        digits[--first] = char16_t(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        out.append(QChar(u'-'));
    out.append(QStringView(digits + first, std::size(digits) - first));
}

// The lines of an attribute element up to its value.
void appendElementOpening(QString& out, QStringView name, bool integer)
{
    out.append(elementOpen);
    out.append(QChar(integer ? u'1' : u'2'));
    out.append(kindToName);
    out.append(name);
    out.append(integer ? nameToInt : nameToString);
}

void appendIntAttribute(QString& out, QStringView name, qint64 value)
{
    appendElementOpening(out, name, true);
    appendDecimal(out, value);
    out.append(elementClose);
}

// The ten attributes of a marker, in the order Media Composer lists them.
struct AttributeShape {
    QStringView name;
    bool integer;
};
constexpr AttributeShape attributes[] = {
    {u"_ATN_CRM_LONG_CREATE_DATE", true},
    {u"_ATN_CRM_LONG_MOD_DATE", true},
    {u"_ATN_CRM_USER", false},
    {u"_ATN_CRM_MARKNAME", false},
    {u"_ATN_CRM_TC", false},
    {u"_ATN_CRM_TRK", false},
    {u"_ATN_CRM_COM", false},
    {u"_ATN_CRM_LENGTH", true},
    {u"_ATN_CRM_COLOR", false},
    {u"_ATN_CRM_COLOR_EXTENDED", false},
};
constexpr int attributeTotal = int(std::size(attributes));
static_assert(attributeTotal == 10);

// The fixed text before each value of a marker block: the opening of the block (before the
// first value) or the close of the element before, then the element's lines up to the value.
// Built once, so a marker is ten fixed pieces, ten values and one closing piece.
const std::array<QString, attributeTotal>& textsBeforeValues()
{
    static const std::array<QString, attributeTotal> texts = [] {
        std::array<QString, attributeTotal> built;
        for (int i = 0; i < attributeTotal; ++i) {
            QString& text = built[size_t(i)];
            if (i == 0) {
                text.append(classOpen);
                text.append(attributeCount);
                text.append(listOpen);
            } else {
                text.append(elementClose);
                text.append(QChar(u'\n'));
            }
            appendElementOpening(text, attributes[i].name, attributes[i].integer);
        }
        return built;
    }();
    return texts;
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

void appendMarker(QString& out, const LoggableMarker& marker, int fps, const QString& user, qint64 fallbackSeconds)
{
    const qint64 created =
        marker.createdAt ? wholeSecondsSince1970(*marker.createdAt).value_or(fallbackSeconds) : fallbackSeconds;

    std::optional<QString> standard;
    std::optional<QString> extended;
    if (marker.userResolveColor) {
        standard = colorForResolveName(*marker.userResolveColor, false);
        extended = colorForResolveName(*marker.userResolveColor, true);
    }
    const QString standardColor = capitalised(standard ? *standard : colorForType(marker.markerType));
    const QString extendedColor = extended ? capitalised(*extended) : standardColor;

    // The values in the order of `attributes`.
    const auto& before = textsBeforeValues();
    out.append(before[0]);
    appendDecimal(out, created);
    out.append(before[1]);
    appendDecimal(out, created);
    out.append(before[2]);
    appendEscaped(out, user);
    out.append(before[3]);
    appendEscaped(out,
                  leftCharacters(firstNonEmpty({marker.summary, marker.quote, marker.markerType}), markNameLength));
    out.append(before[4]);
    appendEscaped(out, clean(marker.timecode));
    out.append(before[5]);
    out.append(markerTrack);
    out.append(before[6]);
    appendEscaped(out, commentText(marker));
    appendEscaped(out, tagSuffix(marker.tags));
    out.append(before[7]);
    appendDecimal(out, markerLength(marker, fps));
    out.append(before[8]);
    appendEscaped(out, standardColor);
    out.append(before[9]);
    appendEscaped(out, extendedColor);
    out.append(elementClose);
    out.append(classClose);
}

} // namespace

QString intAttribute(const QString& name, qint64 value)
{
    QString out;
    appendIntAttribute(out, name, value);
    return out;
}

QString avidMarkersXML(const QList<LoggableMarker>& markers, int fps, const QString& user)
{
    return avidMarkersXML(markers, fps, user, Date::now());
}

QString avidMarkersXML(const QList<LoggableMarker>& markers, int fps, const QString& user, Date now)
{
    // A clock that is itself no real date leaves 1970 rather than an arbitrary number.
    const qint64 nowSeconds = wholeSecondsSince1970(now).value_or(0);

    // A marker block is some 3,150 fixed characters and its texts: reserving once avoids
    // copying a large log's document over and over as it grows.
    constexpr qsizetype perMarker = 3400;
    QString out;
    out.reserve(1024 + markers.size() * perMarker);
    out.append(header);
    out.append(QLatin1StringView(avidNamespaceURI));
    out.append(headerAfterNamespace);
    QString safeUser = user;
    makeXmlSafe(safeUser);
    for (qsizetype i = 0; i < markers.size(); ++i) {
        if (i > 0)
            out.append(QChar(u'\n'));
        appendMarker(out, xmlSafe(markers[i]), fps, safeUser, nowSeconds);
    }
    out.append(footer);
    out.append(QChar(u'\n'));
    return out;
}

} // namespace LogExport
