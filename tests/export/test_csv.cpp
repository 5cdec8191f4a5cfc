#include "common/TestMain.h"

#include "export/LogSheetExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

using LogSheetExport::Row;

namespace {

const QString header = QStringLiteral("Timecode,Out,Type,Who,What was said,Note,Summary,Tags");

Row rowWith(const QString& field, const QString& value)
{
    Row row;
    if (field == QLatin1String("timecode"))
        row.timecode = value;
    else if (field == QLatin1String("out"))
        row.out = value;
    else if (field == QLatin1String("type"))
        row.type = value;
    else if (field == QLatin1String("who"))
        row.who = value;
    else if (field == QLatin1String("said"))
        row.said = value;
    else if (field == QLatin1String("note"))
        row.note = value;
    else if (field == QLatin1String("summary"))
        row.summary = value;
    return row;
}

// Reads CSV bytes with Python's csv module in strict mode, which refuses a stray or undoubled
// quotation mark, and answers its rows as JSON; nullopt (with a failed check) when it refuses.
std::optional<QList<QStringList>> readStrictly(const QByteArray& bytes)
{
    static const QString script = QStringLiteral("import csv, io, json, sys\n"
                                                 "text = sys.stdin.buffer.read().decode('utf-8')\n"
                                                 "rows = list(csv.reader(io.StringIO(text, newline=''), strict=True))\n"
                                                 "sys.stdout.write(json.dumps(rows))\n");
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), script});
    if (!python.waitForStarted(10000)) {
        qWarning("python3 did not start: the CSV reader is missing");
        return std::nullopt;
    }
    python.write(bytes);
    python.closeWriteChannel();
    if (!python.waitForFinished(30000) || python.exitStatus() != QProcess::NormalExit || python.exitCode() != 0) {
        qWarning("csv reader refused the text: %s", python.readAllStandardError().constData());
        return std::nullopt;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(python.readAllStandardOutput(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<QStringList> rows;
    for (const QJsonValue& row : document.array()) {
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
    void noRowsIsTheHeaderAlone() { QCOMPARE(LogSheetExport::csv({}), header + QStringLiteral("\r\n")); }

    void emptyRowIsEightEmptyQuotedCells()
    {
        QCOMPARE(LogSheetExport::csv({Row()}),
                 header + QStringLiteral("\r\n\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n"));
    }

    void cellsInOrderWithoutColour()
    {
        Row row{QStringLiteral("Great"),
                0xFF5C4D,
                QStringLiteral("01:00:00:00"),
                QStringLiteral("01:00:05:12"),
                QStringLiteral("Ana"),
                QStringLiteral("we did it"),
                QStringLiteral("keep"),
                QStringLiteral("The win"),
                {QStringLiteral("b-roll"), QStringLiteral("night")}};
        Row second;
        second.type = QStringLiteral("Note");
        const QString expected =
            header + QStringLiteral("\r\n\"01:00:00:00\",\"01:00:05:12\",\"Great\",\"Ana\",\"we did "
                                    "it\",\"keep\",\"The win\",\"b-roll; night\"\r\n"
                                    "\"\",\"\",\"Note\",\"\",\"\",\"\",\"\",\"\"\r\n");
        QCOMPARE(LogSheetExport::csv({row, second}), expected);
        QVERIFY(!LogSheetExport::csv({row}).contains(QStringLiteral("FF5C4D"), Qt::CaseInsensitive));
    }

    void encodesOneCell_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("cell");

        QTest::newRow("note starting with =") << "note"
                                              << "=SUM(A1)"
                                              << "\"'=SUM(A1)\"";
        QTest::newRow("lone minus speaker") << "who"
                                            << "-"
                                            << "\"'-\"";
        QTest::newRow("plus") << "said"
                              << "+1 555"
                              << "\"'+1 555\"";
        QTest::newRow("at") << "summary"
                            << "@cmd"
                            << "\"'@cmd\"";
        QTest::newRow("guard on timecode too") << "timecode"
                                               << "-00:00:01:00"
                                               << "\"'-00:00:01:00\"";
        QTest::newRow("space then equals") << "note"
                                           << " =1"
                                           << "\" =1\"";
        QTest::newRow("equals later") << "note"
                                      << "a=b"
                                      << "\"a=b\"";
        QTest::newRow("LF then plus") << "said"
                                      << "\n+x"
                                      << "\" +x\"";
        QTest::newRow("CR then minus") << "said"
                                       << "\r-x"
                                       << "\" -x\"";
        QTest::newRow("quotes doubled") << "said"
                                        << "she said \"go\""
                                        << "\"she said \"\"go\"\"\"";
        QTest::newRow("lone quote") << "said"
                                    << "\""
                                    << "\"\"\"\"";
        QTest::newRow("equals then quote") << "note"
                                           << "=\"x\""
                                           << "\"'=\"\"x\"\"\"";
        QTest::newRow("CR LF two spaces") << "said"
                                          << "one\r\ntwo"
                                          << "\"one  two\"";
        QTest::newRow("LF CR two spaces") << "said"
                                          << "one\n\rtwo"
                                          << "\"one  two\"";
        QTest::newRow("comma") << "note"
                               << "a, b,c"
                               << "\"a, b,c\"";
        QTest::newRow("tab kept") << "note"
                                  << "a\tb"
                                  << "\"a\tb\"";
        QTest::newRow("apostrophe first is not a formula") << "note"
                                                           << "'quoted"
                                                           << "\"'quoted\"";
        QTest::newRow("unicode") << "who" << QString::fromUtf8("Zoë 🎬 日本") << QString::fromUtf8("\"Zoë 🎬 日本\"");
        QTest::newRow("fullwidth equals is not guarded")
            << "note" << QString::fromUtf8("＝1") << QString::fromUtf8("\"＝1\"");
    }

    void encodesOneCell()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, cell);
        static const QStringList order{"timecode", "out", "type", "who", "said", "note", "summary"};
        QStringList cells(8, QStringLiteral("\"\""));
        cells[order.indexOf(field)] = cell;
        QCOMPARE(LogSheetExport::csv({rowWith(field, value)}),
                 header + QStringLiteral("\r\n") + cells.join(QLatin1Char(',')) + QStringLiteral("\r\n"));
    }

    void tagsJoinThenGuardTheWhole_data()
    {
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QString>("cell");
        QTest::newRow("none") << QStringList() << "\"\"";
        QTest::newRow("one") << QStringList{"night"} << "\"night\"";
        QTest::newRow("first starts with minus") << QStringList{"-wide", "=b", "c"} << "\"'-wide; =b; c\"";
        QTest::newRow("later formula not looked at") << QStringList{"a", "=b"} << "\"a; =b\"";
        QTest::newRow("empty tags kept") << QStringList{"", "a", ""} << "\"; a; \"";
        QTest::newRow("quote in tag") << QStringList{"say \"hi\""} << "\"say \"\"hi\"\"\"";
        QTest::newRow("break in tag") << QStringList{"a\r\nb"} << "\"a  b\"";
    }

    void tagsJoinThenGuardTheWhole()
    {
        QFETCH(QStringList, tags);
        QFETCH(QString, cell);
        Row row;
        row.tags = tags;
        const QString text = LogSheetExport::csv({row});
        QVERIFY2(text.endsWith(QLatin1Char(',') + cell + QStringLiteral("\r\n")), qPrintable(text));
    }

    void strictReaderRecoversHostileCells_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("recovered");
        // The value twice as tags: only the joined text's first character is guarded.
        QTest::addColumn<QString>("tags");
        QTest::newRow("quotes") << "\"\"\""
                                << "\"\"\""
                                << "\"\"\"; \"\"\"";
        QTest::newRow("quote and comma") << "a \"b\", c"
                                         << "a \"b\", c"
                                         << "a \"b\", c; a \"b\", c";
        QTest::newRow("CR LF") << "one\r\ntwo\rthree\nfour"
                               << "one  two three four"
                               << "one  two three four; one  two three four";
        QTest::newRow("equals") << "=HYPERLINK(\"x\")"
                                << "'=HYPERLINK(\"x\")"
                                << "'=HYPERLINK(\"x\"); =HYPERLINK(\"x\")";
        QTest::newRow("plus") << "+"
                              << "'+"
                              << "'+; +";
        QTest::newRow("minus") << "-2"
                               << "'-2"
                               << "'-2; -2";
        QTest::newRow("at") << "@SUM"
                            << "'@SUM"
                            << "'@SUM; @SUM";
        QTest::newRow("unicode") << QString::fromUtf8("naïve – “curly” 🎥") << QString::fromUtf8("naïve – “curly” 🎥")
                                 << QString::fromUtf8("naïve – “curly” 🎥; naïve – “curly” 🎥");
        QTest::newRow("empty") << ""
                               << ""
                               << "; ";
        QTest::newRow("only spaces") << "   "
                                     << "   "
                                     << "   ;    ";
        QTest::newRow("trailing quote") << "end\""
                                        << "end\""
                                        << "end\"; end\"";
        QTest::newRow("comma only") << ","
                                    << ","
                                    << ",; ,";
        QTest::newRow("semicolons") << "a;b"
                                    << "a;b"
                                    << "a;b; a;b";
    }

    void strictReaderRecoversHostileCells()
    {
        QFETCH(QString, value);
        QFETCH(QString, recovered);
        QFETCH(QString, tags);
        // The same hostile value in every text field.
        const Row row{value, 0, value, value, value, value, value, value, {value, value}};
        const auto rows = readStrictly(LogSheetExport::csv({row, Row(), row}).toUtf8());
        QVERIFY(rows);
        QCOMPARE(rows->size(), 4);
        QCOMPARE(rows->at(0), header.split(QLatin1Char(',')));
        const QStringList expected{recovered, recovered, recovered, recovered, recovered, recovered, recovered, tags};
        QCOMPARE(rows->at(1), expected);
        QCOMPARE(rows->at(2), QStringList(8, QString()));
        QCOMPARE(rows->at(3), expected);
    }
};

PINDLE_TEST(TestCsvWriter)
#include "test_csv.moc"
