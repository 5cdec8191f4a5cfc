#include "common/TestMain.h"

#include "export/MarkersXmlWriter.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>
#include <variant>

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
    m.timecode = QStringLiteral("01:00:00:00");
    m.markerType = QStringLiteral("note");
    m.summary = summary;
    return m;
}

QString stringLine(const QString& escaped)
{
    return QStringLiteral("          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">") +
           escaped + QStringLiteral("</AvProp>\n");
}

// What xmllint says about the document: "" when it is well-formed. It reads a file, offline,
// without validating (the DOCTYPE names a DTD that Media Composer keeps to itself).
QString xmllintComplaints(const QString& xml)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return QStringLiteral("no temporary folder");
    const QString path = dir.filePath(QStringLiteral("markers.xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(xml.toUtf8()) < 0)
        return QStringLiteral("cannot write %1").arg(path);
    file.close();
    QProcess process;
    process.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--nonet"), path});
    if (!process.waitForStarted(10000))
        return QStringLiteral("xmllint did not start (libxml2-utils missing?)");
    if (!process.waitForFinished(30000))
        return QStringLiteral("xmllint did not finish");
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || !errors.isEmpty())
        return QStringLiteral("exit %1: %2").arg(QString::number(process.exitCode()), errors);
    return QString();
}

// The attributes of every marker, name to value, as an XML reader sees them; an error text
// instead when the reader stops early.
std::variant<QList<Attributes>, QString> readBack(const QString& xml)
{
    QXmlStreamReader reader(xml);
    QList<Attributes> markers;
    QString name;
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement())
            continue;
        if (reader.qualifiedName() == u"Avid:StreamItems" && reader.namespaceUri() != u"http://www.avid.com")
            return QStringLiteral("wrong namespace %1").arg(reader.namespaceUri());
        if (reader.name() == u"AvClass")
            markers.append(Attributes());
        if (reader.name() != u"AvProp" || markers.isEmpty())
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        const QStringView role = attributes.value(QStringLiteral("name"));
        if (role == u"OMFI:ATTB:Name")
            name = reader.readElementText();
        else if (role == u"OMFI:ATTB:StringAttribute" || role == u"OMFI:ATTB:IntAttribute")
            markers.last().insert(name, reader.readElementText());
    }
    if (reader.hasError())
        return QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    return markers;
}

// Checks the document with both readers and hands back its markers' attributes.
QList<Attributes> wellFormedMarkers(const QString& xml)
{
    const QString complaints = xmllintComplaints(xml);
    [&] { QVERIFY2(complaints.isEmpty(), qPrintable(complaints)); }();
    const auto read = readBack(xml);
    if (const QString* error = std::get_if<QString>(&read)) {
        [&] { QFAIL(qPrintable(*error)); }();
        return {};
    }
    return std::get<QList<Attributes>>(read);
}

const QString expectedOneMarker = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
    "<!DOCTYPE Avid:StreamItems SYSTEM \"AvidSettingsFile.dtd\">\n"
    "<Avid:StreamItems xmlns:Avid=\"http://www.avid.com\">\n"
    "\n"
    "  <Avid:XMLFileData>\n"
    "    <AvProp name=\"DomainMagic\" type=\"string\">Domain</AvProp>\n"
    "    <AvProp name=\"DomainKey\" type=\"char4\">58424a44</AvProp>\n"
    "    <AvClass id=\"ATTR\">\n"
    "      <AvProp id=\"ATTR\" name=\"__OMFI:ATTR:NumItems\" type=\"int32\">10</AvProp>\n"
    "      <List id=\"OMFI:ATTR:AttrRefs\">\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">1</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_LONG_CREATE_DATE</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:IntAttribute\" type=\"int32\">1765000000</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">1</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_LONG_MOD_DATE</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:IntAttribute\" type=\"int32\">1765000000</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">2</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_USER</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">Pindle</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">2</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_MARKNAME</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">Great answer</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">2</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_TC</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">01:00:10:00</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">2</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_TRK</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">V1</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">2</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_COM</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">take two | Great answer [night, "
    "b-roll]</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">1</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_LENGTH</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:IntAttribute\" type=\"int32\">50</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">2</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_COLOR</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">Magenta</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">2</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_COLOR_EXTENDED</AvProp>\n"
    "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:StringAttribute\" type=\"string\">Magenta</AvProp>\n"
    "        </ListElem>\n"
    "        <ListElem/>\n"
    "      </List>\n"
    "    </AvClass>\n"
    "  </Avid:XMLFileData>\n"
    "\n"
    "</Avid:StreamItems>\n");

} // namespace

class TestMarkersXml : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noMarkers()
    {
        const QString xml = LogExport::avidMarkersXML({}, 25, QStringLiteral("Pindle"), at(fixedNow));
        QCOMPARE(xml, QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
                                     "<!DOCTYPE Avid:StreamItems SYSTEM \"AvidSettingsFile.dtd\">\n"
                                     "<Avid:StreamItems xmlns:Avid=\"http://www.avid.com\">\n"
                                     "\n"
                                     "  <Avid:XMLFileData>\n"
                                     "    <AvProp name=\"DomainMagic\" type=\"string\">Domain</AvProp>\n"
                                     "    <AvProp name=\"DomainKey\" type=\"char4\">58424a44</AvProp>\n"
                                     "\n"
                                     "  </Avid:XMLFileData>\n"
                                     "\n"
                                     "</Avid:StreamItems>\n"));
        QVERIFY(wellFormedMarkers(xml).isEmpty());
    }

    void oneMarkerExactly()
    {
        LoggableMarker m;
        m.timecode = QStringLiteral(" 01:00:10:00\t");
        m.timecodeOut = QStringLiteral("01:00:12:00");
        m.markerType = QStringLiteral("take");
        m.summary = QStringLiteral("Great answer");
        m.quote = QStringLiteral("ignored while there is a summary");
        m.manualNote = QStringLiteral("take two");
        m.tags = {QStringLiteral("night"), QStringLiteral(" "), QStringLiteral("b-roll")};
        m.createdAt = at(1765000000.75);
        const QString xml = LogExport::avidMarkersXML({m}, 25, QStringLiteral("Pindle"), at(fixedNow));
        QCOMPARE(xml, expectedOneMarker);
        QCOMPARE(wellFormedMarkers(xml).size(), 1);
    }

    void blocksJoinedByOneLineBreak()
    {
        const QString xml = LogExport::avidMarkersXML({marker(QStringLiteral("a")), marker(QStringLiteral("b"))}, 25,
                                                      QStringLiteral("Pindle"), at(fixedNow));
        QCOMPARE(xml.count(QStringLiteral("    </AvClass>\n    <AvClass id=\"ATTR\">\n")), 1);
        QVERIFY(xml.contains(QStringLiteral("58424a44</AvProp>\n    <AvClass id=\"ATTR\">\n")));
        QVERIFY(
            xml.endsWith(QStringLiteral("        <ListElem/>\n      </List>\n    </AvClass>\n  </Avid:XMLFileData>\n"
                                        "\n</Avid:StreamItems>\n")));
        QVERIFY(!xml.contains(QLatin1Char('\r')));
        const QList<Attributes> markers = wellFormedMarkers(xml);
        QCOMPARE(markers.size(), 2);
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_MARKNAME")), QStringLiteral("a"));
        QCOMPARE(markers[1].value(QStringLiteral("_ATN_CRM_MARKNAME")), QStringLiteral("b"));
        QCOMPARE(markers[1].size(), 10);
    }

    void intAttribute_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("digits");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0");
        QTest::newRow("negative") << qint64(-1) << QStringLiteral("-1");
        QTest::newRow("beyond int32") << qint64(4102444800) << QStringLiteral("4102444800");
        QTest::newRow("int64 max") << std::numeric_limits<qint64>::max() << QStringLiteral("9223372036854775807");
        QTest::newRow("int64 min") << std::numeric_limits<qint64>::min() << QStringLiteral("-9223372036854775808");
    }

    void intAttribute()
    {
        QFETCH(qint64, value);
        QFETCH(QString, digits);
        QCOMPARE(LogExport::intAttribute(QStringLiteral("_ATN_CRM_LENGTH"), value),
                 QStringLiteral(
                     "        <ListElem>\n"
                     "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Kind\" type=\"int32\">1</AvProp>\n"
                     "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:Name\" type=\"string\">_ATN_CRM_LENGTH</AvProp>\n"
                     "          <AvProp id=\"ATTR\" name=\"OMFI:ATTB:IntAttribute\" type=\"int32\">") +
                     digits + QStringLiteral("</AvProp>\n        </ListElem>"));
    }

    // Each text goes into the summary (mark name and comment) and the user; it is written with
    // its entities escaped, "&" first, and without the characters XML 1.0 forbids.
    void hostileTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("ampersand") << QStringLiteral("Tom & Jerry") << QStringLiteral("Tom &amp; Jerry")
                                   << QStringLiteral("Tom & Jerry");
        QTest::newRow("entity stays literal")
            << QStringLiteral("&lt;") << QStringLiteral("&amp;lt;") << QStringLiteral("&lt;");
        QTest::newRow("markup") << QStringLiteral("<b>bold</b>") << QStringLiteral("&lt;b&gt;bold&lt;/b&gt;")
                                << QStringLiteral("<b>bold</b>");
        QTest::newRow("double quotes") << QStringLiteral("say \"hi\"") << QStringLiteral("say &quot;hi&quot;")
                                       << QStringLiteral("say \"hi\"");
        QTest::newRow("apostrophe") << QStringLiteral("it's") << QStringLiteral("it&apos;s") << QStringLiteral("it's");
        QTest::newRow("all five") << QStringLiteral("a&b<c>d\"e'f") << QStringLiteral("a&amp;b&lt;c&gt;d&quot;e&apos;f")
                                  << QStringLiteral("a&b<c>d\"e'f");
        QTest::newRow("CDATA end") << QStringLiteral("]]>") << QStringLiteral("]]&gt;") << QStringLiteral("]]>");
        QTest::newRow("NUL") << QString::fromUtf16(u"a\0b", 3) << QStringLiteral("ab") << QStringLiteral("ab");
        QTest::newRow("U+0001") << QStringLiteral("a\u0001b") << QStringLiteral("ab") << QStringLiteral("ab");
        QTest::newRow("VT FF ESC US") << QStringLiteral("a\v\f\u001b\u001fb") << QStringLiteral("ab")
                                      << QStringLiteral("ab");
        QTest::newRow("U+FFFE U+FFFF") << QStringLiteral("a\uFFFE\uFFFFb") << QStringLiteral("ab")
                                       << QStringLiteral("ab");
        QTest::newRow("lone high surrogate") << QString::fromUtf16(u"a\xD800"
                                                                   u"b")
                                             << QStringLiteral("ab") << QStringLiteral("ab");
        QTest::newRow("lone low surrogate") << QString::fromUtf16(u"a\xDC00"
                                                                  u"b")
                                            << QStringLiteral("ab") << QStringLiteral("ab");
        QTest::newRow("reversed pair") << QString::fromUtf16(u"a\xDC00\xD800"
                                                             u"b")
                                       << QStringLiteral("ab") << QStringLiteral("ab");
        QTest::newRow("high surrogate at the end")
            << QString::fromUtf16(u"ab\xD83C") << QStringLiteral("ab") << QStringLiteral("ab");
        const QString emoji = QStringLiteral("\U0001F3AC take \U0001F44D\U0001F3FD");
        QTest::newRow("emoji") << emoji << emoji << emoji;
        const QString rtl = QStringLiteral("\u05E9\u05DC\u05D5\u05DD \u200F\u0645\u0631\u062D\u0628\u0627 & ok");
        QTest::newRow("right to left") << rtl
                                       << QStringLiteral(
                                              "\u05E9\u05DC\u05D5\u05DD \u200F\u0645\u0631\u062D\u0628\u0627 &amp; ok")
                                       << rtl;
        const QString allowed = QStringLiteral("a\u007F\u0085\uFFFD\U0010FFFDb");
        QTest::newRow("allowed oddities") << allowed << allowed << allowed;
    }

    void hostileTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QFETCH(QString, readBack);
        const QString xml = LogExport::avidMarkersXML({marker(text)}, 25, text, at(fixedNow));
        QVERIFY(xml.contains(stringLine(escaped)));
        const QList<Attributes> markers = wellFormedMarkers(xml);
        QCOMPARE(markers.size(), 1);
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_MARKNAME")), readBack);
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_COM")), readBack);
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_USER")), readBack);
    }

    // Forbidden characters in every string field at once, tags and timecodes included.
    void everyFieldIsCleaned()
    {
        LoggableMarker m;
        m.timecode = QStringLiteral("\u0001 01:00") + QChar(0) + QStringLiteral(":00:00");
        m.timecodeOut = QStringLiteral("01:00:01\u0007:00");
        m.markerType = QStringLiteral("ty\u0002pe");
        m.quote = QStringLiteral("q<\u0003>");
        m.manualNote = QStringLiteral("n&\uFFFF");
        // A tag of nothing but a lone surrogate is blank once it is dropped.
        m.tags = {QStringLiteral("t\u0004'"), QString::fromUtf16(u"\xDFFF")};
        m.userResolveColor = QStringLiteral("sky\u0005");
        const QList<Attributes> markers =
            wellFormedMarkers(LogExport::avidMarkersXML({m}, 25, QStringLiteral("P\u0006"), at(fixedNow)));
        QCOMPARE(markers.size(), 1);
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_TC")), QStringLiteral("01:00:00:00"));
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_LENGTH")), QStringLiteral("25"));
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_MARKNAME")), QStringLiteral("q<>"));
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_COM")), QStringLiteral("n& | q<> [t']"));
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_USER")), QStringLiteral("P"));
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_COLOR")), QStringLiteral("Cyan"));
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_COLOR_EXTENDED")), QStringLiteral("Denim"));
    }

    // The checks above would pass vacuously if the readers accepted anything.
    void readersRejectBrokenDocuments()
    {
        const QString xml =
            LogExport::avidMarkersXML({marker(QStringLiteral("a & b"))}, 25, QStringLiteral("Pindle"), at(fixedNow));
        QString broken = xml;
        broken.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
        QVERIFY(!xmllintComplaints(broken).isEmpty());
        QVERIFY(std::holds_alternative<QString>(readBack(broken)));
        QString control = xml;
        control.replace(QStringLiteral("a &amp; b"), QStringLiteral("a \u0001 b"));
        QVERIFY(!xmllintComplaints(control).isEmpty());
        QVERIFY(std::holds_alternative<QString>(readBack(control)));
    }

    void markName_data()
    {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("name");
        const QString seventy = QStringLiteral("0123456789").repeated(7);
        QTest::newRow("70 cut to 50") << seventy << seventy.left(50);
        QTest::newRow("exactly 50") << seventy.left(50) << seventy.left(50);
        const QString accented = QStringLiteral("a").repeated(49) + QStringLiteral("e\u0301");
        QTest::newRow("accent at the cut") << accented + QStringLiteral("zz") << accented;
        const QString toned = QStringLiteral("a").repeated(49) + QStringLiteral("\U0001F44D\U0001F3FD");
        QTest::newRow("skin tone at the cut") << toned + QStringLiteral("z") << toned;
        const QString flag = QStringLiteral("\U0001F1EB\U0001F1F7");
        QTest::newRow("flags") << flag.repeated(60) << flag.repeated(50);
        QTest::newRow("forbidden characters do not count")
            << QStringLiteral("\u0001").repeated(10) + QStringLiteral("b").repeated(60)
            << QStringLiteral("b").repeated(50);
        QTest::newRow("escaped after the cut") << QStringLiteral("&").repeated(60) << QStringLiteral("&").repeated(50);
    }

    void markName()
    {
        QFETCH(QString, summary);
        QFETCH(QString, name);
        const QList<Attributes> markers =
            wellFormedMarkers(LogExport::avidMarkersXML({marker(summary)}, 25, QStringLiteral("Pindle"), at(fixedNow)));
        QCOMPARE(markers.size(), 1);
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_MARKNAME")), name);
        // The comment is never cut.
        QCOMPARE(markers[0].value(QStringLiteral("_ATN_CRM_COM")).size(), summary.remove(QChar(1)).size());
    }

    void markNameFallsBack()
    {
        LoggableMarker m = marker(QStringLiteral(" \t "));
        m.markerType = QStringLiteral("earmark");
        QList<Attributes> markers =
            wellFormedMarkers(LogExport::avidMarkersXML({m}, 25, QStringLiteral("Pindle"), at(fixedNow)));
        QCOMPARE(markers.value(0).value(QStringLiteral("_ATN_CRM_MARKNAME")), QStringLiteral("earmark"));
        QCOMPARE(markers.value(0).value(QStringLiteral("_ATN_CRM_COM")), QString());
        m.quote = QStringLiteral("\nquoted\n");
        markers = wellFormedMarkers(LogExport::avidMarkersXML({m}, 25, QStringLiteral("Pindle"), at(fixedNow)));
        QCOMPARE(markers.value(0).value(QStringLiteral("_ATN_CRM_MARKNAME")), QStringLiteral("quoted"));
    }

    void colours_data()
    {
        QTest::addColumn<std::optional<QString>>("userColour");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("standard");
        QTest::addColumn<QString>("extended");
        const std::optional<QString> none;
        QTest::newRow("take, no colour") << none << QStringLiteral("take") << QStringLiteral("Magenta")
                                         << QStringLiteral("Magenta");
        QTest::newRow("sky") << std::optional(QStringLiteral("sky")) << QStringLiteral("take") << QStringLiteral("Cyan")
                             << QStringLiteral("Denim");
        QTest::newRow("red") << std::optional(QStringLiteral("red")) << QStringLiteral("take") << QStringLiteral("Red")
                             << QStringLiteral("Red");
        QTest::newRow("resolve name") << std::optional(QStringLiteral("LavenderResolveColor")) << QStringLiteral("note")
                                      << QStringLiteral("Magenta") << QStringLiteral("Violet");
        QTest::newRow("upper-case name") << std::optional(QStringLiteral("COCOA")) << QStringLiteral("note")
                                         << QStringLiteral("Black") << QStringLiteral("Grey");
        QTest::newRow("purple") << std::optional(QStringLiteral("purple")) << QStringLiteral("note")
                                << QStringLiteral("Magenta") << QStringLiteral("Purple");
        QTest::newRow("unknown colour: kind") << std::optional(QStringLiteral("orange")) << QStringLiteral("EARMARK")
                                              << QStringLiteral("Red") << QStringLiteral("Red");
        QTest::newRow("empty colour: kind") << std::optional(QString()) << QStringLiteral("great")
                                            << QStringLiteral("Green") << QStringLiteral("Green");
        QTest::newRow("untrimmed name unknown") << std::optional(QStringLiteral(" sky")) << QStringLiteral("soundbite")
                                                << QStringLiteral("Blue") << QStringLiteral("Blue");
    }

    void colours()
    {
        QFETCH(std::optional<QString>, userColour);
        QFETCH(QString, kind);
        QFETCH(QString, standard);
        QFETCH(QString, extended);
        LoggableMarker m = marker(QStringLiteral("x"));
        m.markerType = kind;
        m.userResolveColor = userColour;
        const QList<Attributes> markers =
            wellFormedMarkers(LogExport::avidMarkersXML({m}, 25, QStringLiteral("Pindle"), at(fixedNow)));
        QCOMPARE(markers.value(0).value(QStringLiteral("_ATN_CRM_COLOR")), standard);
        QCOMPARE(markers.value(0).value(QStringLiteral("_ATN_CRM_COLOR_EXTENDED")), extended);
    }

    void creationDates_data()
    {
        QTest::addColumn<std::optional<Date>>("createdAt");
        QTest::addColumn<Date>("now");
        QTest::addColumn<QString>("seconds");
        const double inf = std::numeric_limits<double>::infinity();
        const Date now = at(fixedNow);
        QTest::newRow("none: now, fraction dropped") << std::optional<Date>() << now << QStringLiteral("1796558400");
        QTest::newRow("fraction dropped") << std::optional(at(1765000000.75)) << now << QStringLiteral("1765000000");
        QTest::newRow("before 1970, toward zero") << std::optional(at(-1.5)) << now << QStringLiteral("-1");
        QTest::newRow("far future") << std::optional(at(1e18)) << now << QStringLiteral("1000000000000000000");
        QTest::newRow("NaN: now") << std::optional(Date{std::nan("")}) << now << QStringLiteral("1796558400");
        QTest::newRow("+inf: now") << std::optional(Date{inf}) << now << QStringLiteral("1796558400");
        QTest::newRow("-inf: now") << std::optional(Date{-inf}) << now << QStringLiteral("1796558400");
        QTest::newRow("beyond 2^63: now") << std::optional(at(1e19)) << now << QStringLiteral("1796558400");
        QTest::newRow("below -2^63: now") << std::optional(at(-1e19)) << now << QStringLiteral("1796558400");
        QTest::newRow("no date, broken clock") << std::optional<Date>() << Date{std::nan("")} << QStringLiteral("0");
    }

    void creationDates()
    {
        QFETCH(std::optional<Date>, createdAt);
        QFETCH(Date, now);
        QFETCH(QString, seconds);
        LoggableMarker m = marker(QStringLiteral("x"));
        m.createdAt = createdAt;
        const QList<Attributes> markers =
            wellFormedMarkers(LogExport::avidMarkersXML({m}, 25, QStringLiteral("Pindle"), now));
        QCOMPARE(markers.value(0).value(QStringLiteral("_ATN_CRM_LONG_CREATE_DATE")), seconds);
        QCOMPARE(markers.value(0).value(QStringLiteral("_ATN_CRM_LONG_MOD_DATE")), seconds);
    }

    void realClockDatesUndatedMarkers()
    {
        const qint64 before = static_cast<qint64>(std::floor(Date::now().secondsSince1970()));
        const QString xml = LogExport::avidMarkersXML({marker(QStringLiteral("x"))}, 25, QStringLiteral("Pindle"));
        const qint64 after = static_cast<qint64>(std::floor(Date::now().secondsSince1970()));
        const QList<Attributes> markers = wellFormedMarkers(xml);
        const qint64 written = markers.value(0).value(QStringLiteral("_ATN_CRM_LONG_CREATE_DATE")).toLongLong();
        QVERIFY(written >= before && written <= after);
        QCOMPARE(markers.value(0).value(QStringLiteral("_ATN_CRM_LONG_MOD_DATE")).toLongLong(), written);
    }
};

PINDLE_TEST(TestMarkersXml)
#include "test_markers_xml.moc"
