#include "common/TestMain.h"

#include "ExportTesting.h"
#include "export/AleWriter.h"
#include "export/EdlWriter.h"

#include <QRegularExpression>

using Format = CameraTimecode::Format;
using Text = std::optional<QString>;
using Markers = QList<LoggableMarker>;

namespace {

const Format pal{25, false, false};
const QString heading25 =
    QStringLiteral("Heading\nFIELD_DELIM\tTABS\nVIDEO_FORMAT\t1080\nAUDIO_FORMAT\t48khz\nFPS\t25\n\nColumn\n");
const QString noTape =
    QStringLiteral("Name\tTracks\tStart\tEnd\tComments\tType\tKeywords\tSpeaker\tNote\tQuote\n\nData\n");

using readers::marker;

QString aleFor(const Markers& markers, const Text& tape, const QString& fps = QStringLiteral("25"))
{
    return LogExport::ale(
        markers, fps, QStringLiteral("\t1080 "), tape,
        [](const QString& text) { return LogExport::eventTimecodeFrames(pal, text); },
        [](qint64 frames) { return LogExport::eventTimecodeText(pal, frames); });
}

// Reads an ALE as Avid does: LF lines, heading pairs, column names, TAB-split rows whose Start
// and End are timecodes with End not before Start. Returns the rows, or an error text.
QString readAle(const QString& text, QStringList& columns, QList<QStringList>& rows)
{
    QStringList lines;
    QString error = readers::splitLines(text, QStringLiteral("\n"), lines);
    const qsizetype column = lines.indexOf(QStringLiteral("Column"));
    if (!error.isEmpty() || lines.value(0) != u"Heading" || column < 0 || lines.value(column + 2) != QString() ||
        lines.value(column + 3) != u"Data")
        return error.isEmpty() ? QStringLiteral("blocks out of place") : error;
    columns = lines[column + 1].split(QLatin1Char('\t'));
    for (qsizetype i = column + 4; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(QLatin1Char('\t'));
        const auto start = pal.parseFrames(cells.value(2));
        const auto end = pal.parseFrames(cells.value(3));
        if (cells.size() != columns.size() || !start || !end || *end < *start)
            return QStringLiteral("unreadable row: ") + lines[i];
        rows.append(cells);
    }
    return QString();
}

} // namespace

class TestAleWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exactText_data()
    {
        QTest::addColumn<Markers>("markers");
        QTest::addColumn<Text>("tape");
        QTest::addColumn<QString>("rows");
        const LoggableMarker great = marker("10:00:00:00", "great");
        QTest::newRow("no markers") << Markers() << Text() << noTape;
        QTest::newRow("tape on every row")
            << Markers{great, marker("10:00:05:00", "note")} << Text(" A001\t")
            << QStringLiteral("Name\tTracks\tStart\tEnd\tTape\tComments\tType\tKeywords\tSpeaker\tNote\tQuote\n\nData\n"
                              "great\tVA1A2\t10:00:00:00\t10:00:00:00\tA001\t\tgreat\t\t\t\t\n"
                              "note\tVA1A2\t10:00:05:00\t10:00:05:00\tA001\t\tnote\t\t\t\t\n");

        LoggableMarker full = marker(" 10:00:00:00 ", "earmark");
        full.timecodeOut = "10:00:04:12";
        full.summary = "She\u2028laughs\u0085";
        full.quote = "\u201cno way\u201d";
        full.manualNote = "wide\r\nshot\v\fnow\u0001";
        full.tags = {QString(), "night", " "};
        full.speaker = "Guest\u2029";
        QTest::newRow("every field, breaks as spaces")
            << Markers{full} << Text()
            << noTape + QStringLiteral("She laughs\tVA1A2\t10:00:00:00\t10:00:04:12\twide shot  now\t"
                                       "earmark\tnight\tGuest\twide shot  now\t\u201cno way\u201d\n");

        // The name and the comment fall back to the quote; an empty marker at 0 keeps its cells.
        LoggableMarker quoteOnly = marker("01:00:00:00", "soundbite");
        quoteOnly.summary = " ";
        quoteOnly.quote = "so then";
        quoteOnly.tags = {"a", "b\tc"};
        QTest::newRow("fall-backs") << Markers{quoteOnly, marker("0:0:0:0", QString())} << Text()
                                    << noTape + QStringLiteral("so then\tVA1A2\t01:00:00:00\t01:00:00:00\tso then\t"
                                                               "soundbite\ta, b c\t\t\tso then\n"
                                                               "\tVA1A2\t00:00:00:00\t00:00:00:00\t\t\t\t\t\t\n");

        // Rows as the EDL reads the markers: no timecode, no row; no usable out, End at Start.
        QTest::newRow("timecodes as the EDL reads them")
            << Markers{marker("soon", "a"), marker("23:59:00:00", "b", "00:01:00:00"), marker("24:00:00:00", "c"),
                       marker("1:2:3:4", "d", "later"), marker("00:00:01:00", "e", "00:00:01:00")}
            << Text()
            << noTape + QStringLiteral("b\tVA1A2\t23:59:00:00\t23:59:00:00\t\tb\t\t\t\t\n"
                                       "d\tVA1A2\t01:02:03:04\t01:02:03:04\t\td\t\t\t\t\n"
                                       "e\tVA1A2\t00:00:01:00\t00:00:01:00\t\te\t\t\t\t\n");
    }
    void exactText()
    {
        QFETCH(Markers, markers);
        QFETCH(Text, tape);
        QFETCH(QString, rows);
        // Heading values are cleaned too.
        QCOMPARE(aleFor(markers, tape, QStringLiteral(" 25\r\n\u2028")), heading25 + rows);
    }

    // Whatever the texts and timecodes hold, the file reads back: a row for each marker whose
    // timecode converts, each keeping its cells.
    void hostileTextsReadBack_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 8; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void hostileTextsReadBack()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        const auto text = [&random]() -> Text {
            switch (random.bounded(4)) {
            case 0:
                return std::nullopt;
            case 1:
                return readers::hostileText(random);
            default:
                // Often in the last frames of the day.
                return pal.formatFrames(pal.framesPerDay() - 1 - random.bounded(random.bounded(2) ? 3 : 2000000));
            }
        };
        Markers markers;
        qsizetype readable = 0;
        for (int i = random.bounded(60); i > 0; --i) {
            LoggableMarker m;
            m.timecode = text().value_or(QString());
            readable += pal.parseFrames(m.timecode).has_value();
            m.timecodeOut = text();
            m.markerType = readers::hostileText(random);
            m.summary = text();
            m.quote = text();
            m.manualNote = text();
            for (int t = random.bounded(4); t > 0; --t)
                m.tags.append(readers::hostileText(random));
            m.speaker = text();
            markers.append(m);
        }
        const Text tape = text();
        QStringList columns;
        QList<QStringList> rows;
        const QString error = readAle(aleFor(markers, tape), columns, rows);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(rows.size(), readable);
        const bool tapeShown = tape && tape->contains(QRegularExpression(QStringLiteral("[^\\p{Z}\\p{Cc}]")));
        const qsizetype tapeColumn = columns.indexOf(QStringLiteral("Tape"));
        QCOMPARE(tapeColumn >= 0, tapeShown);
        for (const QStringList& row : std::as_const(rows)) {
            QCOMPARE(row[1], QStringLiteral("VA1A2"));
            QVERIFY(!tapeShown || !row[tapeColumn].isEmpty());
            for (const QString& cell : row)
                QVERIFY(!cell.startsWith(QLatin1Char(' ')) && !cell.endsWith(QLatin1Char(' ')));
        }
    }
};

PINDLE_TEST(TestAleWriter)
#include "test_ale.moc"
