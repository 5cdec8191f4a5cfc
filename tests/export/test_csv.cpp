#include "common/TestMain.h"

#include "ExportReaders.h"
#include "export/LogSheetExport.h"

#include <QJsonArray>
#include <QJsonDocument>

using LogSheetExport::Row;

namespace {

const QString header = QStringLiteral("Timecode,Out,Type,Who,What was said,Note,Summary,Tags");

// Reads CSV bytes with Python's csv module in strict mode, which refuses a stray or undoubled
// quotation mark; nullopt when it refuses or cannot run.
std::optional<QList<QStringList>> readStrictly(const QByteArray& bytes)
{
    const auto json = readers::run(
        QStringLiteral("python3"),
        {QStringLiteral("-c"), QStringLiteral("import csv, io, json, sys\n"
                                              "text = sys.stdin.buffer.read().decode('utf-8')\n"
                                              "rows = list(csv.reader(io.StringIO(text, newline=''), strict=True))\n"
                                              "sys.stdout.write(json.dumps(rows))\n")},
        bytes);
    if (!json)
        return std::nullopt;
    QList<QStringList> rows;
    for (const QJsonValue& row : QJsonDocument::fromJson(*json).array()) {
        QStringList cells;
        for (const QJsonValue& cell : row.toArray())
            cells.append(cell.toString());
        rows.append(cells);
    }
    return rows;
}

} // namespace

class TestCsvWriter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeText()
    {
        QCOMPARE(LogSheetExport::csv({}), header + QStringLiteral("\r\n"));
        const Row row{QStringLiteral("Great"),
                      0xFF5C4D,
                      QStringLiteral("01:00:00:00"),
                      QStringLiteral("01:00:05:12"),
                      QStringLiteral("Ana"),
                      QStringLiteral("we did it"),
                      QStringLiteral("keep"),
                      QStringLiteral("The win"),
                      {QString(), QStringLiteral("b-roll"), QStringLiteral("=night")}};
        // Cells in order, the colour left out, empty tags kept, only a tag text's first character
        // guarded, an empty row as eight empty quoted cells.
        QCOMPARE(LogSheetExport::csv({row, Row()}),
                 header + QStringLiteral("\r\n\"01:00:00:00\",\"01:00:05:12\",\"Great\",\"Ana\",\"we did "
                                         "it\",\"keep\",\"The win\",\"; b-roll; =night\"\r\n"
                                         "\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"));
    }

    // One row per rule; the value goes into the note, or the timecode where that is the point.
    void encodesOneCell_data()
    {
        QTest::addColumn<bool>("inTimecode");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("cell");
        QTest::newRow("formula guarded") << false << "+SUM(A1)"
                                         << "\"'+SUM(A1)\"";
        QTest::newRow("guard on timecode too") << true << "-00:00:01:00"
                                               << "\"'-00:00:01:00\"";
        QTest::newRow("at") << false << "@cmd"
                            << "\"'@cmd\"";
        QTest::newRow("space then equals not guarded") << false << " =1"
                                                       << "\" =1\"";
        QTest::newRow("LF then plus: break first") << false << "\n+x"
                                                   << "\" +x\"";
        QTest::newRow("equals then quote") << false << "=\"x\""
                                           << "\"'=\"\"x\"\"\"";
        QTest::newRow("LF CR two spaces") << false << "one\n\rtwo"
                                          << "\"one  two\"";
        QTest::newRow("separator then equals: break first") << false << "\u2028=1"
                                                            << "\" =1\"";
        QTest::newRow("fullwidth equals not guarded")
            << false << QString::fromUtf8("＝1") << QString::fromUtf8("\"＝1\"");
    }
    void encodesOneCell()
    {
        QFETCH(bool, inTimecode);
        QFETCH(QString, value);
        QFETCH(QString, cell);
        Row row;
        (inTimecode ? row.timecode : row.note) = value;
        QStringList cells(8, QStringLiteral("\"\""));
        cells[inTimecode ? 0 : 5] = cell;
        QCOMPARE(LogSheetExport::csv({row}),
                 header + QStringLiteral("\r\n") + cells.join(QLatin1Char(',')) + QStringLiteral("\r\n"));
    }

    // The same hostile value in every text field, read back by a strict reader.
    void strictReaderRecoversHostileCells_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("recovered");
        QTest::newRow("quotes") << "\"\"\""
                                << "\"\"\"";
        QTest::newRow("CR LF") << "one\r\ntwo\rthree\nfour"
                               << "one  two three four";
        QTest::newRow("equals") << "=HYPERLINK(\"x\")"
                                << "'=HYPERLINK(\"x\")";
        QTest::newRow("separators and controls") << "a\u2028b\u0085c\v\fd\u0001\u2029\t"
                                                 << "a b c  d   ";
        QTest::newRow("unicode") << QString::fromUtf8("naïve – “curly” 🎥") << QString::fromUtf8("naïve – “curly” 🎥");
    }
    void strictReaderRecoversHostileCells()
    {
        QFETCH(QString, value);
        QFETCH(QString, recovered);
        const Row row{value, 0, value, value, value, value, value, value, {value, value}};
        const auto rows = readStrictly(LogSheetExport::csv({row, Row(), row}).toUtf8());
        QVERIFY(rows);
        QCOMPARE(rows->size(), 4);
        QCOMPARE(rows->at(0), header.split(QLatin1Char(',')));
        // Only the joined tags' first character is guarded.
        QStringList expected(7, recovered);
        expected.append(recovered + QStringLiteral("; ") +
                        (recovered.startsWith(QLatin1Char('\'')) ? recovered.mid(1) : recovered));
        QCOMPARE(rows->at(1), expected);
        QCOMPARE(rows->at(2), QStringList(8, QString()));
        QCOMPARE(rows->at(3), expected);
    }
};

PINDLE_TEST(TestCsvWriter)
#include "test_csv.moc"
