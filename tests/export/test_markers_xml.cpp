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

QString xmlFor(const LoggableMarker& m, const QString& user = QStringLiteral("Pindle"), Date now = at(fixedNow))
{
    return LogExport::avidMarkersXML({m}, 25, user, now);
}

// What xmllint says about the document, offline and without the DTD: "" when well-formed.
QString xmllintComplaints(const QString& xml)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("markers.xml")));
    if (!file.open(QIODevice::WriteOnly) || file.write(xml.toUtf8()) < 0)
        return QStringLiteral("cannot write the document");
    file.close();
    QProcess process;
    process.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--nonet"), file.fileName()});
    if (!process.waitForStarted(10000) || !process.waitForFinished(30000))
        return QStringLiteral("xmllint did not run (libxml2-utils missing?)");
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || !errors.isEmpty())
        return QStringLiteral("exit %1: %2").arg(QString::number(process.exitCode()), errors);
    return QString();
}

// Every marker's attributes, name to value, as an XML reader sees them; an error text when the
// reader stops early.
std::variant<QList<Attributes>, QString> readBack(const QString& xml)
{
    QXmlStreamReader reader(xml);
    QList<Attributes> markers;
    QString name;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (reader.qualifiedName() == u"Avid:StreamItems" && reader.namespaceUri() != u"http://www.avid.com")
            return QStringLiteral("wrong namespace");
        if (reader.name() == u"AvClass")
            markers.append(Attributes());
        if (reader.name() != u"AvProp" || markers.isEmpty())
            continue;
        const QStringView role = reader.attributes().value(QStringLiteral("name"));
        if (role == u"OMFI:ATTB:Name")
            name = reader.readElementText();
        else if (role == u"OMFI:ATTB:StringAttribute" || role == u"OMFI:ATTB:IntAttribute")
            markers.last().insert(name, reader.readElementText());
    }
    if (reader.hasError())
        return QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    return markers;
}

// Checks the document with both readers and hands back the first marker's attributes.
Attributes wellFormedMarker(const QString& xml)
{
    const QString complaints = xmllintComplaints(xml);
    [&] { QVERIFY2(complaints.isEmpty(), qPrintable(complaints)); }();
    const auto read = readBack(xml);
    if (const QString* error = std::get_if<QString>(&read)) {
        [&] { QFAIL(qPrintable(*error)); }();
        return {};
    }
    return std::get<QList<Attributes>>(read).value(0);
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
        const QString empty = LogExport::avidMarkersXML({}, 25, QStringLiteral("Pindle"), at(fixedNow));
        QCOMPARE(empty, head + QStringLiteral("\n") + tail);
        QCOMPARE(xmllintComplaints(empty), QString());

        LoggableMarker m;
        m.timecode = QStringLiteral(" 01:00:10:00\t");
        m.timecodeOut = QStringLiteral("01:00:12:00");
        m.markerType = QStringLiteral("take");
        m.summary = QStringLiteral("Great answer");
        m.quote = QStringLiteral("ignored while there is a summary");
        m.manualNote = QStringLiteral("take two");
        m.tags = {QStringLiteral("night"), QStringLiteral(" "), QStringLiteral("b-roll")};
        m.createdAt = at(1765000000.75);
        const QString block =
            QStringLiteral("    <AvClass id=\"ATTR\">\n"
                           "      <AvProp id=\"ATTR\" name=\"__OMFI:ATTR:NumItems\" type=\"int32\">10</AvProp>\n"
                           "      <List id=\"OMFI:ATTR:AttrRefs\">\n") +
            element(1, QStringLiteral("_ATN_CRM_LONG_CREATE_DATE"), QStringLiteral("1765000000")) +
            element(1, QStringLiteral("_ATN_CRM_LONG_MOD_DATE"), QStringLiteral("1765000000")) +
            element(2, QStringLiteral("_ATN_CRM_USER"), QStringLiteral("Pindle")) +
            element(2, QStringLiteral("_ATN_CRM_MARKNAME"), QStringLiteral("Great answer")) +
            element(2, QStringLiteral("_ATN_CRM_TC"), QStringLiteral("01:00:10:00")) +
            element(2, QStringLiteral("_ATN_CRM_TRK"), QStringLiteral("V1")) +
            element(2, QStringLiteral("_ATN_CRM_COM"), QStringLiteral("take two | Great answer [night, b-roll]")) +
            element(1, QStringLiteral("_ATN_CRM_LENGTH"), QStringLiteral("50")) +
            element(2, QStringLiteral("_ATN_CRM_COLOR"), QStringLiteral("Magenta")) +
            element(2, QStringLiteral("_ATN_CRM_COLOR_EXTENDED"), QStringLiteral("Magenta")) +
            QStringLiteral("        <ListElem/>\n      </List>\n    </AvClass>\n");
        // Blocks are joined by one line break.
        const QString two = LogExport::avidMarkersXML({m, m}, 25, QStringLiteral("Pindle"), at(fixedNow));
        QCOMPARE(two, head + block + block + tail);
        QCOMPARE(xmllintComplaints(two), QString());
    }

    // Each text goes into the summary (mark name and comment) and the user, escaped "&" first
    // and without the characters XML 1.0 forbids.
    void hostileTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("escaped");
        QTest::addColumn<QString>("readBack");
        QTest::newRow("all five") << QStringLiteral("a&b<c>d\"e'f") << QStringLiteral("a&amp;b&lt;c&gt;d&quot;e&apos;f")
                                  << QStringLiteral("a&b<c>d\"e'f");
        QTest::newRow("entity stays literal")
            << QStringLiteral("&lt;]]>") << QStringLiteral("&amp;lt;]]&gt;") << QStringLiteral("&lt;]]>");
        const QString spaced = QStringLiteral("a") + QString(8, u' ') + QStringLiteral("b");
        QTest::newRow("NUL, controls and separators as spaces")
            << QString::fromUtf16(u"a\0\u0001\v\u001f\u007F\u0085\u2028\u2029b", 10) << spaced << spaced;
        QTest::newRow("U+FFFE U+FFFF") << QStringLiteral("a\uFFFE\uFFFFb") << QStringLiteral("ab")
                                       << QStringLiteral("ab");
        QTest::newRow("lone and reversed surrogates") << QString::fromUtf16(u"a\xD800x\xDC00\xD800"
                                                                            u"b\xD83C")
                                                      << QStringLiteral("axb") << QStringLiteral("axb");
        const QString allowed = QStringLiteral("a\uFFFD\U0010FFFD\U0001F44D\U0001F3FD\u200Fb");
        QTest::newRow("allowed oddities") << allowed << allowed << allowed;
    }
    void hostileTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, escaped);
        QFETCH(QString, readBack);
        const QString xml = xmlFor(marker(text), text);
        QVERIFY(xml.contains(QStringLiteral("type=\"string\">") + escaped + QStringLiteral("</AvProp>\n")));
        const Attributes read = wellFormedMarker(xml);
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_MARKNAME")), readBack);
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_COM")), readBack);
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_USER")), readBack);
    }

    // Forbidden characters in every string field at once, tags and timecodes included. The
    // drop-frame length counts frames, not the labels between (1805).
    void everyFieldIsCleaned()
    {
        LoggableMarker m;
        m.timecode = QStringLiteral("\u0001 00:00:59;29") + QChar(0);
        m.timecodeOut = QStringLiteral("00:02:00;04");
        m.markerType = QStringLiteral("ty\u0002pe");
        m.quote = QStringLiteral("q<\u0003>");
        m.manualNote = QStringLiteral("n&\uFFFF");
        // A tag of nothing but a lone surrogate is blank once it is dropped.
        m.tags = {QStringLiteral("t\u0004'"), QString::fromUtf16(u"\xDFFF")};
        m.userResolveColor = QStringLiteral("sky\uFFFE");
        const Attributes read =
            wellFormedMarker(LogExport::avidMarkersXML({m}, 30, QStringLiteral("P\u0006"), at(fixedNow)));
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_TC")), QStringLiteral("00:00:59;29"));
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_LENGTH")), QStringLiteral("1801"));
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_COM")), QStringLiteral("n& | q< > [t ']"));
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_USER")), QStringLiteral("P "));
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_COLOR")), QStringLiteral("Cyan"));
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_COLOR_EXTENDED")), QStringLiteral("Denim"));
    }

    // The checks above would pass vacuously if the readers accepted anything.
    void readersRejectBrokenDocuments()
    {
        const QString xml = xmlFor(marker(QStringLiteral("a & b")));
        for (const QString& broken : {QStringLiteral("a & b"), QStringLiteral("a \u0001 b")}) {
            const QString spoiled = QString(xml).replace(QStringLiteral("a &amp; b"), broken);
            QVERIFY(!xmllintComplaints(spoiled).isEmpty());
            QVERIFY(std::holds_alternative<QString>(readBack(spoiled)));
        }
    }

    void markName_data()
    {
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("name");
        const QString accented = QString(49, u'a') + QStringLiteral("e\u0301");
        QTest::newRow("accent at the cut") << accented + QStringLiteral("zz") << accented;
        QTest::newRow("forbidden characters do not count")
            << QString(10, QChar(1)) + QString(60, u'&') << QString(50, u'&');
        QTest::newRow("blank: quote") << QStringLiteral(" \t ") << QStringLiteral("quoted");
        QTest::newRow("blank, no quote: kind") << QStringLiteral("\n") << QStringLiteral("note");
    }
    void markName()
    {
        QFETCH(QString, summary);
        QFETCH(QString, name);
        LoggableMarker m = marker(summary);
        if (name != QLatin1String("note"))
            m.quote = QStringLiteral("\nquoted\n");
        const Attributes read = wellFormedMarker(xmlFor(m));
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_MARKNAME")), name);
        // The comment is never cut.
        QVERIFY(read.value(QStringLiteral("_ATN_CRM_COM")).size() >= summary.remove(QChar(1)).trimmed().size());
    }

    void creationDates_data()
    {
        QTest::addColumn<std::optional<Date>>("createdAt");
        QTest::addColumn<Date>("now");
        QTest::addColumn<QString>("seconds");
        const Date now = at(fixedNow);
        QTest::newRow("none: now, fraction dropped") << std::optional<Date>() << now << QStringLiteral("1796558400");
        QTest::newRow("before 1970, toward zero") << std::optional(at(-1.5)) << now << QStringLiteral("-1");
        QTest::newRow("beyond 2^63: now") << std::optional(at(1e19)) << now << QStringLiteral("1796558400");
        QTest::newRow("NaN: now") << std::optional(Date{std::nan("")}) << now << QStringLiteral("1796558400");
        QTest::newRow("no date, broken clock") << std::optional<Date>() << Date{std::nan("")} << QStringLiteral("0");
    }
    void creationDates()
    {
        QFETCH(std::optional<Date>, createdAt);
        QFETCH(Date, now);
        QFETCH(QString, seconds);
        LoggableMarker m = marker(QStringLiteral("x"));
        m.createdAt = createdAt;
        const Attributes read = wellFormedMarker(xmlFor(m, QStringLiteral("Pindle"), now));
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_LONG_CREATE_DATE")), seconds);
        QCOMPARE(read.value(QStringLiteral("_ATN_CRM_LONG_MOD_DATE")), seconds);
    }
};

PINDLE_TEST(TestMarkersXml)
#include "test_markers_xml.moc"
