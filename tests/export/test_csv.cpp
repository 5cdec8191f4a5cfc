#include "common/TestMain.h"

#include "ExportTesting.h"
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
        const Row row{"Great",       0xFF5C4D,  "01:00:00:00",
                      "01:00:05:12", "Ana",     "we did it",
                      "keep",        "The win", {QString(), "b-roll", "=night"}};
        // Cells in order, the colour left out, empty tags kept, only a tag text's first character
        // guarded, an empty row as eight empty quoted cells.
        QCOMPARE(LogSheetExport::csv({row, Row()}),
                 header + QStringLiteral("\r\n\"01:00:00:00\",\"01:00:05:12\",\"Great\",\"Ana\",\"we did "
                                         "it\",\"keep\",\"The win\",\"; b-roll; =night\"\r\n"
                                         "\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"));
    }

    // One value in every text field, read back by a strict reader: quotes doubled, breaks and
    // controls as spaces (each of a CR LF pair), formulas guarded after that, and only the joined
    // tags' first character guarded.
    void strictReaderRecoversCells_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("recovered");
        const auto row = [](const char* name, const QString& value, const QString& recovered) {
            QTest::newRow(name) << value << recovered;
        };
        row("formula guarded", "+SUM(A1)", "'+SUM(A1)");
        row("minus and at", "-00:00:01:00 @cmd", "'-00:00:01:00 @cmd");
        row("space then equals not guarded", " =1", " =1");
        row("LF then plus: break first", "\n+x", " +x");
        row("separator then equals: break first", "\u2028=1", " =1");
        row("equals then quotes", "=HYPERLINK(\"x\")\"\"", "'=HYPERLINK(\"x\")\"\"");
        row("CR LF as two spaces", "one\r\ntwo\rthree\nfour", "one  two three four");
        row("separators and controls", "a\u2028b\u0085c\v\fd\u0001\u2029\t", "a b c  d   ");
        row("fullwidth equals not guarded", "\uFF1D1", "\uFF1D1");
        row("unicode", "na\u00EFve \u2013 \u201Ccurly\u201D \U0001F3A5",
            "na\u00EFve \u2013 \u201Ccurly\u201D \U0001F3A5");
    }
    void strictReaderRecoversCells()
    {
        QFETCH(QString, value);
        QFETCH(QString, recovered);
        const Row row{value, 0, value, value, value, value, value, value, {value, value}};
        const auto rows = readStrictly(LogSheetExport::csv({row, Row(), row}).toUtf8());
        QVERIFY(rows);
        QCOMPARE(rows->size(), 4);
        QCOMPARE(rows->at(0), header.split(QLatin1Char(',')));
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
