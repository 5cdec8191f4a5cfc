#include "common/TestMain.h"

#include "ExportTesting.h"
#include "export/LogSheetExport.h"
#include "export/PdfLogSheet.h"
#include "platform/Fonts.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

using LogSheetExport::Meta;
using LogSheetExport::Row;

namespace {

// Column edges in points from the 36 pt margins, the fixed widths and 8 pt gaps.
constexpr qreal timecodeLeft = 122;
constexpr qreal timecodeRight = 192;
constexpr qreal whoLeft = 200;
constexpr qreal noteLeft = 439;
constexpr qreal footerBottom = 842 - 36;
constexpr qreal slack = 0.5; // the readers' rounding of glyph boxes

struct Word {
    QString text;
    QRectF box;
};

// What a poppler-utils reader prints; a missing reader fails the test.
QString read(const QString& program, const QStringList& arguments)
{
    return QString::fromUtf8(readers::run(program, arguments).value_or(QByteArray()));
}

QString pdftotext(const QString& path, int page, const QString& mode)
{
    const QString n = QString::number(page);
    return read(QStringLiteral("pdftotext"),
                {mode, QStringLiteral("-f"), n, QStringLiteral("-l"), n, path, QStringLiteral("-")});
}

// Pages of an A4 portrait document; 0 for anything else.
int pageCount(const QString& path)
{
    const QString info = read(QStringLiteral("pdfinfo"), {path});
    if (!info.contains(QRegularExpression(QStringLiteral("Page size:\\s+595 x 842 pts"))))
        return 0;
    return QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
        .match(info)
        .captured(1)
        .toInt();
}

// One page's text in reading layout, runs of spaces made one.
QString pageText(const QString& path, int page)
{
    return pdftotext(path, page, QStringLiteral("-layout"))
        .replace(QRegularExpression(QStringLiteral(" +")), QStringLiteral(" "));
}

// A run of text in one face as pdftohtml reads it, at twice the size so half points stay whole.
struct Run {
    QString text;
    QString face; // the embedded font's full name
    int doubleSize = 0;
    QRectF box; // in points
};

QList<Run> pageRuns(const QString& path, int page)
{
    const QString n = QString::number(page);
    QXmlStreamReader xml(read(QStringLiteral("pdftohtml"),
                              {QStringLiteral("-xml"), QStringLiteral("-i"), QStringLiteral("-q"),
                               QStringLiteral("-stdout"), QStringLiteral("-fontfullname"), QStringLiteral("-zoom"),
                               QStringLiteral("2"), QStringLiteral("-f"), n, QStringLiteral("-l"), n, path}));
    QHash<QString, std::pair<QString, int>> faces;
    QList<Run> runs;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const auto value = [&](const char* name) { return attributes.value(QLatin1String(name)); };
        if (xml.name() == QLatin1String("fontspec")) {
            faces.insert(value("id").toString(), {value("family").toString(), value("size").toInt()});
        } else if (xml.name() == QLatin1String("text")) {
            const auto [face, size] = faces.value(value("font").toString());
            const QRectF box(value("left").toDouble() / 2, value("top").toDouble() / 2, value("width").toDouble() / 2,
                             value("height").toDouble() / 2);
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            runs.append(Run{text, face, size, box});
        }
    }
    return xml.hasError() ? QList<Run>() : runs;
}

// Whether pdffonts lists `face` as embedded.
bool embeds(const QString& path, const QString& face)
{
    // Columns: name, type, encoding, emb, sub, uni, object ID.
    static const QString embedded = QStringLiteral("^\\S*%1\\s.*\\syes\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$");
    return read(QStringLiteral("pdffonts"), {path})
        .contains(
            QRegularExpression(embedded.arg(QRegularExpression::escape(face)), QRegularExpression::MultilineOption));
}

QList<Word> pageWords(const QString& path, int page)
{
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<Word> words;
    for (const auto& m : word.globalMatch(pdftotext(path, page, QStringLiteral("-bbox"))))
        words.append({m.captured(5).replace(QLatin1String("&amp;"), QLatin1String("&")),
                      QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                             QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()))});
    return words;
}

QString manyWords(const QString& stem, int count)
{
    QStringList words;
    for (int i = 1; i <= count; ++i)
        words.append(stem + QString::number(i));
    return words.join(QLatin1Char(' '));
}

// A one-line row whose speaker names it ("R007"); a tall one fills said and note to four lines.
Row sheetRow(int index, bool tall = false)
{
    Row row;
    row.type = "Great";
    row.colorHex = 0x3FA34D;
    row.timecode = QStringLiteral("01:00:%1:00").arg(index % 60, 2, 10, QLatin1Char('0'));
    row.who = QStringLiteral("R%1").arg(index, 3, 10, QLatin1Char('0'));
    row.said = tall ? manyWords(QStringLiteral("said"), 60) : QStringLiteral("short words");
    if (tall)
        row.note = manyWords(QStringLiteral("note"), 60);
    return row;
}

Meta sheetMeta(bool synced = true)
{
    // 2026-12-07 03:00 UTC: still Sunday the 6th in Los Angeles.
    return Meta{QStringLiteral("Interview Day Two"), Date::fromSecondsSince1970(1796612400.0),
                QStringLiteral("23.976 fps"), synced};
}

} // namespace

class TestPdfLogSheet : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // Writes the sheet and answers its path; empty when no PDF was made.
    QString writeSheet(const QList<Row>& rows, const Meta& meta = sheetMeta(),
                       const QByteArray& zone = "America/Los_Angeles")
    {
        const auto bytes = LogSheetExport::pdf(rows, meta, QLocale(QStringLiteral("en_US")), zone);
        const QString path = m_dir.filePath(QStringLiteral("sheet-%1.pdf").arg(++m_files));
        QFile file(path);
        if (!bytes || !bytes->startsWith("%PDF-") || !file.open(QIODevice::WriteOnly) ||
            file.write(*bytes) != bytes->size())
            return QString();
        return path;
    }

private Q_SLOTS:
    // Like a program that registered DM Sans only: the sheet must still register its timecode face.
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString fonts = m_dir.filePath(QStringLiteral("Fonts"));
        QVERIFY(QDir().mkpath(fonts));
        QStringList names;
        for (const char* name : {"DMSans-Regular", "DMSans-Medium", "DMSans-SemiBold", "DMSans-Bold"}) {
            const QString file = QLatin1String(name) + QStringLiteral(".ttf");
            QVERIFY(QFile::copy(testing_support::sourceDir() + QStringLiteral("/resources/fonts/") + file,
                                fonts + QLatin1Char('/') + file));
            names.append(QLatin1String(name));
        }
        QCOMPARE(registerFonts(m_dir.path()), names);
    }

    // Pages break early when tall rows fill them: every row once, in order, the header, info
    // line and "Page i of n" on each page, and nothing reaching into the footer.
    void pageBreaks_data()
    {
        QTest::addColumn<int>("tall");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("rowsPerPage");
        QTest::addColumn<QString>("info");
        const QString day = "Sunday, December 6, 2026 · 23.976 fps · camera timecode · ";
        QTest::newRow("no rows") << 0 << 0 << QList<int>{0} << day + "0 selects";
        QTest::newRow("one row, computer clock")
            << 0 << 1 << QList<int>{1}
            << "Sunday, December 6, 2026 · 23.976 fps · Computer clock, not synced to camera · 1 select";
        QTest::newRow("31 rows, in UTC") << 0 << 31 << QList<int>{15, 15, 1}
                                         << "Monday, December 7, 2026 · 23.976 fps · camera timecode · 31 selects";
        // A four-line row takes 59.7 pt of the 685.7 pt between head and footer: eleven fit.
        QTest::newRow("12 tall rows") << 12 << 12 << QList<int>{11, 1} << day + "12 selects";
        // Ten tall rows (597 pt) leave room for three short ones (24.5 pt each), not five.
        QTest::newRow("10 tall, then short") << 10 << 40 << QList<int>{13, 15, 12} << day + "40 selects";
    }
    void pageBreaks()
    {
        QFETCH(int, tall);
        QFETCH(int, count);
        QFETCH(QList<int>, rowsPerPage);
        QFETCH(QString, info);
        const bool utc = info.startsWith(QLatin1String("Monday"));
        QList<Row> rows;
        for (int i = 0; i < count; ++i)
            rows.append(sheetRow(i, i < tall));
        const QString path = writeSheet(rows, sheetMeta(!info.contains(QLatin1String("Computer clock"))),
                                        utc ? QByteArray("UTC") : QByteArray("America/Los_Angeles"));
        QVERIFY(!path.isEmpty());
        const int pages = pageCount(path);
        QCOMPARE(pages, int(rowsPerPage.size()));
        int next = 0;
        for (int page = 1; page <= pages; ++page) {
            const QString text = pageText(path, page);
            QVERIFY2(text.contains(QStringLiteral("Page %1 of %2").arg(page).arg(pages)), qPrintable(text));
            QVERIFY2(
                text.contains(QRegularExpression(QStringLiteral("\\n") + QRegularExpression::escape(info) + " ?\n")),
                qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("Interview Day Two PINDLE LOGGER")));
            QVERIFY(text.contains(QStringLiteral("TYPE TIMECODE WHO WHAT WAS SAID NOTE")));
            int onPage = 0;
            for (const auto& id : QRegularExpression(QStringLiteral("\\bR(\\d{3})\\b")).globalMatch(text)) {
                QCOMPARE(id.captured(1).toInt(), next++);
                ++onPage;
            }
            QCOMPARE(onPage, rowsPerPage[page - 1]);

            const QList<Word> words = pageWords(path, page);
            QVERIFY(words.size() >= 4);
            const Word& pageWord = words.at(words.size() - 4); // "Page", i, "of", n
            QCOMPARE(pageWord.text, QStringLiteral("Page"));
            QVERIFY(pageWord.box.bottom() <= footerBottom + slack);
            for (qsizetype i = 0; i + 4 < words.size(); ++i)
                QVERIFY2(words[i].box.bottom() <= pageWord.box.top() + slack, qPrintable(words[i].text));
        }
        QCOMPARE(next, count);
    }

    // The info line carries the frame-rate label as given, drop-frame mark and all, then how the
    // timecodes were synced.
    void infoLineRateAndSync_data()
    {
        QTest::addColumn<QString>("frameRate");
        QTest::addColumn<bool>("synced");
        QTest::addColumn<QString>("shown");
        const QString camera = QStringLiteral("camera timecode");
        const QString computer = QStringLiteral("Computer clock, not synced to camera");
        QTest::newRow("23.976") << "23.976 fps" << true << "23.976 fps · " + camera;
        QTest::newRow("24") << "24 fps" << false << "24 fps · " + computer;
        QTest::newRow("25") << "25 fps" << true << "25 fps · " + camera;
        QTest::newRow("29.97 DF, camera") << "29.97 DF fps" << true << "29.97 DF fps · " + camera;
        QTest::newRow("29.97 DF, computer clock") << "29.97 DF fps" << false << "29.97 DF fps · " + computer;
        QTest::newRow("29.97") << "29.97 fps" << false << "29.97 fps · " + computer;
        QTest::newRow("30") << "30 fps" << true << "30 fps · " + camera;
        QTest::newRow("50") << "50 fps" << false << "50 fps · " + computer;
        QTest::newRow("59.94 DF") << "59.94 DF fps" << true << "59.94 DF fps · " + camera;
    }
    void infoLineRateAndSync()
    {
        QFETCH(QString, frameRate);
        QFETCH(bool, synced);
        QFETCH(QString, shown);
        Meta meta = sheetMeta(synced);
        meta.frameRate = frameRate;
        const QString path = writeSheet({sheetRow(0)}, meta);
        QVERIFY(!path.isEmpty());
        const QString text = pageText(path, 1);
        const QString info = "Sunday, December 6, 2026 · " + shown + " · 1 select";
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("\\n") + QRegularExpression::escape(info) + " ?\n")),
                 qPrintable(text));
    }

    // What was said wins over the summary, an en dash stands for neither; out and tags are
    // not on the sheet, and no ligature glyphs change the copied letters. DM Sans is embedded, and
    // symbols and emoji come from the embedded one-colour fallback, not as empty boxes (Qt maps
    // only the first plane back to text: emoji print but copy as nothing).
    void rowTexts_data()
    {
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* name, const char* said, const char* summary, const char* shown) {
            QTest::newRow(name) << QString::fromUtf8(said) << QString::fromUtf8(summary) << QString::fromUtf8(shown);
        };
        row("said wins", "first flight office", "a summary", "first flight office");
        row("summary when nothing said", "", "what it was about", "what it was about");
        row("en dash when neither", "", "", "\u2013");
        row("symbols and emoji", "cut \u2702 \u2605 \U0001F3AC", "", "cut \u2702 \u2605");
    }
    void rowTexts()
    {
        QFETCH(QString, said);
        QFETCH(QString, summary);
        QFETCH(QString, shown);
        const Row row{"Fifth", 0xFF5C4D,        "10:11:12:13", "10:11:20:00", "Rosa",
                      said,    "fine affluent", summary,       {"tagword"}};
        const QString path = writeSheet({row});
        const QString text = pageText(path, 1);
        QVERIFY2(text.contains(QStringLiteral("Fifth 10:11:12:13 Rosa ") + shown), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral(" fine affluent")));
        QVERIFY(summary.isEmpty() || said.isEmpty() || !text.contains(summary));
        QVERIFY(!text.contains(QStringLiteral("10:11:20:00")) && !text.contains(QStringLiteral("tagword")));
        for (const char* face : {"DMSans-Regular", "DMSans-SemiBold", "DMSans-Bold", "Symbola"}) {
            if (qstrcmp(face, "Symbola") == 0 && !said.startsWith(u"cut"))
                continue;
            QVERIFY2(embeds(path, QLatin1String(face)), face);
        }
    }

    // Timecodes are in DM Mono Medium at 8.5 pt, cut to their column; a symbol that face lacks
    // comes from Symbola, and nothing else does.
    void timecodeFace_data()
    {
        QTest::addColumn<QString>("timecode");
        QTest::addColumn<QString>("shown"); // the column's runs joined, as a pattern
        QTest::addColumn<QStringList>("faces");
        const auto row = [](const char* name, const QString& timecode, const char* shown, const QStringList& faces) {
            QTest::newRow(name) << timecode << QString::fromUtf8(shown) << faces;
        };
        const QStringList mono{QStringLiteral("DMMono-Medium")};
        row("non-drop", QStringLiteral("01:00:07:03"), "^01:00:07:03$", mono);
        row("drop frame", QStringLiteral("10:11:12;13"), "^10:11:12;13$", mono);
        row("symbol after", QStringLiteral("01:00:00:00 \u2605"), "^01:00:00:00 ?\u2605$",
            {QStringLiteral("DMMono-Medium"), QStringLiteral("Symbola")});
        row("cut to the column", QString(300, QLatin1Char('9')), "^9{8,}\u2026$", mono);
    }
    void timecodeFace()
    {
        QFETCH(QString, timecode);
        QFETCH(QString, shown);
        QFETCH(QStringList, faces);
        Row row = sheetRow(0);
        row.timecode = timecode;
        const QString path = writeSheet({row});
        QVERIFY(!path.isEmpty());
        QString text;
        QStringList used;
        for (const Run& run : pageRuns(path, 1)) {
            if (run.box.left() < timecodeLeft - slack || run.box.left() >= whoLeft || run.text == u"TIMECODE")
                continue;
            text += run.text;
            used.append(run.face);
            QCOMPARE(run.doubleSize, 17);
            QVERIFY2(run.box.right() <= timecodeRight + slack, qPrintable(run.text));
        }
        QVERIFY2(text.contains(QRegularExpression(shown)), qPrintable(text));
        QCOMPARE(used, faces);
        QVERIFY(embeds(path, QStringLiteral("DMMono-Medium")));
        QCOMPARE(embeds(path, QStringLiteral("Symbola")), faces.contains(QStringLiteral("Symbola")));
    }

    // Long texts stay inside their column, in order, on at most their lines, cut with "…".
    void longTextsStayInTheirCells_data()
    {
        QTest::addColumn<bool>("speaker");
        QTest::addColumn<int>("wordCount");
        QTest::newRow("speaker, one line") << true << 80;
        QTest::newRow("note of an essay, four lines") << false << 20000;
    }
    void longTextsStayInTheirCells()
    {
        QFETCH(bool, speaker);
        QFETCH(int, wordCount);
        Row row = sheetRow(0);
        (speaker ? row.who : row.note) = manyWords(QStringLiteral("zq"), wordCount);
        const qreal left = speaker ? whoLeft : noteLeft;
        const qreal width = speaker ? 58 : 120;
        QList<Word> cell;
        for (const Word& word : pageWords(writeSheet({row}), 1)) {
            if (word.text.startsWith(QLatin1Char('z')))
                cell.append(word);
        }
        QVERIFY(cell.size() >= 2);
        QSet<int> lineTops;
        for (qsizetype i = 0; i < cell.size(); ++i) {
            const Word& word = cell[i];
            QVERIFY2(word.box.left() >= left - slack && word.box.right() <= left + width + slack,
                     qPrintable(word.text));
            lineTops.insert(qRound(word.box.top() * 10));
            const QString wanted = QStringLiteral("zq%1").arg(i + 1);
            QVERIFY2(word.text == wanted ||
                         (word.text.endsWith(QChar(0x2026)) && wanted.startsWith(word.text.chopped(1))),
                     qPrintable(word.text));
        }
        QCOMPARE(lineTops.size(), speaker ? 1 : 4);
        QVERIFY(cell.last().text.endsWith(QChar(0x2026)));
    }

    void hostileTextsStillMakeASheet()
    {
        Row row = sheetRow(0);
        row.said =
            QString::fromUtf8("\x01\x02 ctrl \xE2\x80\xAE reversed \xD7\xA9\xD7\x9C 🎬 e\xCC\x81") + QChar(0xD800);
        row.note = QString(100000, QLatin1Char('x'));
        row.who = QString(5000, QChar(0x0301)); // combining marks alone
        row.timecode = QString(300, QLatin1Char('9'));
        Meta meta = sheetMeta();
        meta.title = QString(2000, QLatin1Char('T')) + QStringLiteral("\nsecond");
        meta.date = Date{1e300};
        QCOMPARE(pageCount(writeSheet({row, row, Row()}, meta)), 1);
    }
};

PINDLE_TEST(TestPdfLogSheet)
#include "test_pdf.moc"
