#include "common/TestMain.h"

#include "ExportTesting.h"
#include "export/MarkersXmlWriter.h"

#include <QXmlStreamReader>

#include <cmath>
#include <limits>

namespace {

using Attributes = QMap<QString, QString>;

// 2026-12-06 12:00:00 UTC, with a fraction that must be dropped.
constexpr double fixedNow = 1796558400.9;

Date at(double secondsSince1970)
{
    return Date::fromSecondsSince1970(secondsSince1970);
}

LoggableMarker marker(const QString& summary)
{
    LoggableMarker m;
    m.timecode = "01:00:00:00";
    m.markerType = "note";
    m.summary = summary;
    return m;
}

QByteArray xmlFor(const LoggableMarker& m, const QString& user = QStringLiteral("Pindle"), Date now = at(fixedNow))
{
    return LogExport::avidMarkersXML({m}, 25, user, now);
}

// Whether xmllint, offline and without the DTD, reads the document without a complaint.
bool xmllintAccepts(const QByteArray& xml)
{
    return readers::run(QStringLiteral("xmllint"),
                        {QStringLiteral("--noout"), QStringLiteral("--nonet"), QStringLiteral("-")}, xml)
        .has_value();
}

// Every marker's attributes, name to value, as an XML reader decoding the bytes sees them;
// nullopt when the reader stops early or the document element is not in Avid's namespace.
std::optional<QList<Attributes>> readBack(const QByteArray& xml)
{
    QXmlStreamReader reader(xml);
    QList<Attributes> markers;
    QString name;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.qualifiedName() == u"Avid:StreamItems" && reader.namespaceUri() != u"http://www.avid.com")
            return std::nullopt;
        if (reader.name() == u"AvClass")
            markers.append(Attributes());
        if (markers.isEmpty())
            continue;
        const QStringView role = reader.attributes().value(QStringLiteral("name"));
        if (role == u"OMFI:ATTB:Name")
            name = reader.readElementText();
        else if (role == u"OMFI:ATTB:StringAttribute" || role == u"OMFI:ATTB:IntAttribute")
            markers.last().insert(name, reader.readElementText());
    }
    return reader.hasError() ? std::nullopt : std::optional(markers);
}

// Checks the document with both readers and hands back the first marker's attributes.
Attributes wellFormedMarker(const QByteArray& xml)
{
    const auto read = readBack(xml);
    [&] { QVERIFY(xmllintAccepts(xml) && read); }();
    return read ? read->value(0) : Attributes();
}

const QString head = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
                                    "<!DOCTYPE Avid:StreamItems SYSTEM \"AvidSettingsFile.dtd\">\n"
                                    "<Avid:StreamItems xmlns:Avid=\"http://www.avid.com\">\n\n"
                                    "  <Avid:XMLFileData>\n"
                                    "    <AvProp name=\"DomainMagic\" type=\"string\">Domain</AvProp>\n"
                                    "    <AvProp name=\"DomainKey\" type=\"char4\">58424a44</AvProp>\n");
const QString tail = QStringLiteral("  </Avid:XMLFileData>\n\n</Avid:StreamItems>\n");

QString element(int kind, const QString& name, const QString& value)
{
    const QString role =
        kind == 1 ? QStringLiteral("IntAttribute\" type=\"int32") : QStringLiteral("StringAttribute\" type=\"string");
    return QStringLiteral("        <ListElem>\n"
                          "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">%1</AvProp>\n"
                          "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">%2</AvProp>\n"
                          "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:%3\">%4</AvProp>\n"
                          "        </ListElem>\n")
        .arg(kind)
        .arg(name, role, value);
}

} // namespace

class TestMarkersXml : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exactDocuments()
    {
        const QByteArray empty = LogExport::avidMarkersXML({}, 25, QStringLiteral("Pindle"), at(fixedNow));
        QCOMPARE(empty, (head + QStringLiteral("\n") + tail).toUtf8());
        QVERIFY(xmllintAccepts(empty));

        LoggableMarker m;
        m.timecode = " 01:00:10:00\t";
        m.timecodeOut = "01:00:12:00";
        m.markerType = "take";
        m.summary = "Great answer";
        m.quote = "ignored while there is a summary";
        m.manualNote = "take two";
        m.tags = {"night", " ", "b-roll"};
        m.createdAt = at(1765000000.75);
        const QString block =
            QStringLiteral("    <AvClass id=\"ATTR\">\n"
                           "      <AvProp id=\"ATTR\" name=\"__OMFI:ATTR:NumItems\" type=\"int32\">10</AvProp>\n"
                           "      <List id=\"OMFI:ATTR:AttrRefs\">\n") +
            element(1, "_ATN_CRM_LONG_CREATE_DATE", "1765000000") + element(1, "_ATN_CRM_LONG_MOD_DATE", "1765000000") +
            element(2, "_ATN_CRM_USER", "Pindle") + element(2, "_ATN_CRM_MARKNAME", "Great answer") +
            element(2, "_ATN_CRM_TC", "01:00:10:00") + element(2, "_ATN_CRM_TRK", "V1") +
            element(2, "_ATN_CRM_COM", "take two | Great answer [night, b-roll]") +
            element(1, "_ATN_CRM_LENGTH", "50") + element(2, "_ATN_CRM_COLOR", "Magenta") +
            element(2, "_ATN_CRM_COLOR_EXTENDED", "Magenta") +
            QStringLiteral("        <ListElem/>\n      </List>\n    </AvClass>\n");
        // Blocks are joined by one line break.
        const QByteArray two = LogExport::avidMarkersXML({m, m}, 25, QStringLiteral("Pindle"), at(fixedNow));
        QCOMPARE(two, (head + block + block + tail).toUtf8());
        QVERIFY(xmllintAccepts(two));
    }

    // Each text goes into the summary (mark name and comment) and the user, escaped "&" first
    // and without the characters XML 1.0 forbids.
    void hostileTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("readBack");
        const auto row = [](const char* name, const QString& text, const QString& escaped, const QString& read) {
            QTest::newRow(name) << text << escaped << read;
        };
        row("all five", "a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f", "a&b<c>d\"e'f");
        row("entity stays literal", "&lt;]]>", "&amp;lt;]]&gt;", "&lt;]]>");
        const QString spaced = "a" + QString(8, u' ') + "b";
        row("NUL, controls and separators as spaces",
            QString::fromUtf16(u"a\0\u0001\v\u001f\u007F\u0085\u2028\u2029b", 10), spaced, spaced);
        row("U+FFFE, U+FFFF, lone and reversed surrogates",
            QString::fromUtf16(u"a\uFFFE\uFFFF\xD800x\xDC00\xD800"
                               u"b\xD83C",
                               9),
            "axb", "axb");
        const QString allowed = "a\uFFFD\U0010FFFD\U0001F44D\U0001F3FD\u200Fb";
        row("allowed oddities", allowed, allowed, allowed);
        // The first and last character of each UTF-8 length that XML allows.
        const QString edges = QString::fromUtf16(u"a\u00A0\u07FF\u0800\uD7FF\uE000\uFFFD\U00010000\U0010FFFFb");
        row("UTF-8 length edges", edges, edges, edges);
    }
    void hostileTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QFETCH(QString, readBack);
        const QByteArray xml = xmlFor(marker(text), text);
        QVERIFY(xml.contains((QStringLiteral("type=\"string\">") + escaped + QStringLiteral("</AvProp>\n")).toUtf8()));
        const Attributes read = wellFormedMarker(xml);
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_MARKNAME")), readBack);
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_COM")), readBack);
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_USER")), readBack);
    }

    // The checks above would pass vacuously if the readers accepted anything.
    void readersRejectBrokenDocuments()
    {
        const QByteArray xml = xmlFor(marker("a & b"));
        for (const char* broken : {"a & b", "a \u0001 b", "a \xC3 b"}) {
            const QByteArray spoiled = QByteArray(xml).replace("a &amp; b", broken);
            QVERIFY(!xmllintAccepts(spoiled) && !readBack(spoiled));
        }
    }

    // Random hostile texts in every field of many markers: the document stays well formed UTF-8
    // with one block per marker, however the texts mix escapes, widths and forbidden characters.
    void hostileMarkersStayWellFormed()
    {
        QRandomGenerator random(20261206);
        const QStringList extra =
            QString::fromUtf16(u"&|<|>|\"|'|&amp;|\u00E9|\u4E2D|\U0001F600|\uFFFE|\xD800|01:00:00;10").split(u'|');
        const auto text = [&] {
            return readers::hostileText(random) + extra[random.bounded(int(extra.size()))] +
                   readers::hostileText(random);
        };
        QList<LoggableMarker> markers;
        for (int i = 0; i < 300; ++i) {
            LoggableMarker m = readers::marker(text(), text(), text());
            m.summary = text();
            m.quote = text();
            m.manualNote = text();
            m.tags = {text(), text()};
            m.userResolveColor = text();
            markers.append(m);
        }
        const QByteArray xml = LogExport::avidMarkersXML(markers, 30, text(), at(fixedNow));
        QVERIFY(xmllintAccepts(xml));
        const auto read = readBack(xml);
        QVERIFY(read);
        QCOMPARE(read->size(), markers.size());
    }

    // Attributes read back: mark names cut at 50 characters (the comment never), blank texts
    // falling back, dates in whole seconds, forbidden characters in every field at once, and a
    // drop-frame length in frames rather than labels (1805).
    void attributes_data()
    {
        QTest::addColumn<LoggableMarker>("marker");
        QTest::addColumn<Date>("now");
        QTest::addColumn<Attributes>("expected");
        const Date now = at(fixedNow);
        const QString accented = QString(49, u'a') + "e\u0301";
        QTest::newRow("accent at the cut")
            << marker(accented + "zz") << now
            << Attributes{{"_ATN_CRM_MARKNAME", accented}, {"_ATN_CRM_COM", accented + "zz"}};
        QTest::newRow("forbidden characters do not count")
            << marker(QString(10, QChar(1)) + QString(60, u'&')) << now
            << Attributes{{"_ATN_CRM_MARKNAME", QString(50, u'&')}, {"_ATN_CRM_COM", QString(60, u'&')}};
        LoggableMarker quoted = marker(" \t\u2028");
        quoted.quote = "\nquoted\n";
        QTest::newRow("blank summary: quote") << quoted << now << Attributes{{"_ATN_CRM_MARKNAME", "quoted"}};
        QTest::newRow("blank, no quote: kind")
            << marker("\n") << now << Attributes{{"_ATN_CRM_MARKNAME", "note"}, {"_ATN_CRM_COM", ""}};
        const auto dated = [](std::optional<Date> date) {
            LoggableMarker m = marker("x");
            m.createdAt = date;
            return m;
        };
        const auto seconds = [](const char* text) {
            return Attributes{{"_ATN_CRM_LONG_CREATE_DATE", text}, {"_ATN_CRM_LONG_MOD_DATE", text}};
        };
        QTest::newRow("no date: now, fraction dropped") << dated(std::nullopt) << now << seconds("1796558400");
        QTest::newRow("before 1970, toward zero") << dated(at(-1.5)) << now << seconds("-1");
        QTest::newRow("beyond 2^63: now") << dated(at(1e19)) << now << seconds("1796558400");
        QTest::newRow("NaN: now") << dated(Date{std::nan("")}) << now << seconds("1796558400");
        QTest::newRow("no date, broken clock") << dated(std::nullopt) << Date{std::nan("")} << seconds("0");

        LoggableMarker m;
        m.timecode = QStringLiteral("\u0001 00:00:59;29") + QChar(0);
        m.timecodeOut = "00:02:00;04";
        m.markerType = "ty\u0002pe";
        m.quote = "q<\u0003>";
        m.manualNote = "n&\uFFFF";
        // A tag of nothing but a lone surrogate is blank once it is dropped.
        m.tags = {"t\u0004'", QString::fromUtf16(u"\xDFFF")};
        m.userResolveColor = "sky\uFFFE";
        QTest::newRow("every field at once") << m << now
                                             << Attributes{{"_ATN_CRM_TC", "00:00:59;29"},
                                                           {"_ATN_CRM_LENGTH", "1801"},
                                                           {"_ATN_CRM_COM", "n& | q< > [t ']"},
                                                           {"_ATN_CRM_COLOR", "Cyan"},
                                                           {"_ATN_CRM_COLOR_EXTENDED", "Denim"}};
    }
    void attributes()
    {
        QFETCH(LoggableMarker, marker);
        QFETCH(Date, now);
        QFETCH(Attributes, expected);
        const Attributes read =
            wellFormedMarker(LogExport::avidMarkersXML({marker}, 30, QStringLiteral("Pindle"), now));
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(read.value(it.key()), it.value());
    }
};

PINDLE_TEST(TestMarkersXml)
#include "test_markers_xml.moc"
