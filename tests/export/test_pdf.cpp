#include "common/TestMain.h"

#include "export/LogSheetExport.h"
#include "export/MarkerBadge.h"
#include "export/PdfLogSheet.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

using LogSheetExport::Meta;
using LogSheetExport::Row;

namespace {

// Column edges in points, from the page's 36 pt margins and the fixed column widths with 8 pt
// between columns: type 78, timecode 70, who 58, what was said the rest (165), note 120.
constexpr qreal whoLeft = 200;
constexpr qreal saidLeft = 266;
constexpr qreal noteLeft = 439;
constexpr qreal columnWidthWho = 58;
constexpr qreal columnWidthSaid = 165;
constexpr qreal columnWidthNote = 120;
constexpr qreal footerBottom = 842 - 36;
// Slack for the readers' rounding of glyph boxes.
constexpr qreal slack = 0.5;

struct Word {
    QString text;
    QRectF box;
};

// Runs an installed reader; a missing reader fails the test (scripts/test installs them).
std::optional<QByteArray> run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) {
        qWarning("%s did not start; is poppler-utils installed?", qPrintable(program));
        return std::nullopt;
    }
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// The number of pages of an A4 portrait document; nullopt for anything else.
std::optional<int> pageCount(const QString& path)
{
    const auto info = run(QStringLiteral("pdfinfo"), {path});
    if (!info)
        return std::nullopt;
    if (!QString::fromUtf8(*info).contains(QRegularExpression(QStringLiteral("Page size:\\s+595 x 842 pts")))) {
        qWarning("not an A4 page: %s", info->constData());
        return std::nullopt;
    }
    const auto match = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
                           .match(QString::fromUtf8(*info));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}

// One page's text in reading layout, with every run of spaces made one space.
std::optional<QString> pageText(const QString& path, int page)
{
    const QString number = QString::number(page);
    const auto text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-f"), number,
                                                        QStringLiteral("-l"), number, path, QStringLiteral("-")});
    if (!text)
        return std::nullopt;
    return QString::fromUtf8(*text).replace(QRegularExpression(QStringLiteral(" +")), QStringLiteral(" "));
}

std::optional<QList<Word>> pageWords(const QString& path, int page)
{
    const QString number = QString::number(page);
    const auto html = run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-f"), number,
                                                        QStringLiteral("-l"), number, path, QStringLiteral("-")});
    if (!html)
        return std::nullopt;
    static const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    QList<Word> words;
    for (const auto& match : word.globalMatch(QString::fromUtf8(*html))) {
        QString text = match.captured(5);
        text.replace(QLatin1String("&lt;"), QLatin1String("<"))
            .replace(QLatin1String("&gt;"), QLatin1String(">"))
            .replace(QLatin1String("&quot;"), QLatin1String("\""))
            .replace(QLatin1String("&amp;"), QLatin1String("&"));
        const qreal left = match.captured(1).toDouble();
        const qreal top = match.captured(2).toDouble();
        words.append(
            {text, QRectF(QPointF(left, top), QPointF(match.captured(3).toDouble(), match.captured(4).toDouble()))});
    }
    return words;
}

// A one-line row whose speaker names it ("R007") so the tests can find it on the pages.
Row shortRow(int index)
{
    Row row;
    row.type = QStringLiteral("Great");
    row.colorHex = 0x3FA34D;
    row.timecode = QStringLiteral("01:00:%1:00").arg(index % 60, 2, 10, QLatin1Char('0'));
    row.who = QStringLiteral("R%1").arg(index, 3, 10, QLatin1Char('0'));
    row.said = QStringLiteral("short words");
    return row;
}

QString manyWords(const QString& stem, int count)
{
    QStringList words;
    for (int i = 1; i <= count; ++i)
        words.append(stem + QString::number(i));
    return words.join(QLatin1Char(' '));
}

// A row whose said and note both fill their four lines.
Row tallRow(int index)
{
    Row row = shortRow(index);
    row.said = manyWords(QStringLiteral("said"), 60);
    row.note = manyWords(QStringLiteral("note"), 60);
    return row;
}

QList<Row> rowsOf(const QString& kind, int count)
{
    QList<Row> rows;
    for (int i = 0; i < count; ++i) {
        // "mixed": ten tall rows, then short ones.
        const bool tall = kind == QLatin1String("tall") || (kind == QLatin1String("mixed") && i < 10);
        rows.append(tall ? tallRow(i) : shortRow(i));
    }
    return rows;
}

Meta sheetMeta(bool synced = true)
{
    // 2026-12-07 03:00 UTC: still Sunday the 6th in Los Angeles.
    return Meta{QStringLiteral("Interview Day Two"), Date::fromSecondsSince1970(1796612400.0),
                QStringLiteral("23.976 fps"), synced};
}

const QByteArray losAngeles("America/Los_Angeles");

} // namespace

class TestPdfLogSheet : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_files = 0;

    // Writes the sheet and answers its path; empty when no PDF was made.
    QString writeSheet(const QList<Row>& rows, const Meta& meta = sheetMeta(), const QByteArray& zone = losAngeles)
    {
        const auto bytes = LogSheetExport::pdf(rows, meta, QLocale(QStringLiteral("en_US")), zone);
        if (!bytes || !bytes->startsWith("%PDF-"))
            return QString();
        const QString path = m_dir.filePath(QStringLiteral("sheet-%1.pdf").arg(++m_files));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size())
            return QString();
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The writer makes DM Sans known on its first sheet (nothing else here registers it);
        // the reference metrics below ask for it by family.
        QVERIFY(LogSheetExport::pdf({}, sheetMeta()));
        QVERIFY(QFontDatabase::hasFamily(QStringLiteral("DM Sans")));
    }

    void pagesCutsIntoRunsOfFifteen_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("runs");
        QTest::newRow("none") << 0 << QList<int>{0};
        QTest::newRow("one") << 1 << QList<int>{1};
        QTest::newRow("fifteen") << 15 << QList<int>{15};
        QTest::newRow("sixteen") << 16 << QList<int>{15, 1};
        QTest::newRow("thirty") << 30 << QList<int>{15, 15};
        QTest::newRow("thirty-one") << 31 << QList<int>{15, 15, 1};
    }

    void pagesCutsIntoRunsOfFifteen()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, runs);
        // Tall rows too: this cut does not measure.
        const QList<Row> rows = rowsOf(QStringLiteral("tall"), count);
        const QList<QList<Row>> pages = LogSheetExport::pages(rows);
        QList<int> sizes;
        QList<Row> joined;
        for (const auto& page : pages) {
            sizes.append(static_cast<int>(page.size()));
            joined += page;
        }
        QCOMPARE(sizes, runs);
        QCOMPARE(joined, rows);
    }

    void pageCountsAndFooters_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("rowsPerPage");
        QTest::newRow("no rows") << "short" << 0 << QList<int>{0};
        QTest::newRow("one row") << "short" << 1 << QList<int>{1};
        QTest::newRow("15 rows") << "short" << 15 << QList<int>{15};
        QTest::newRow("16 rows") << "short" << 16 << QList<int>{15, 1};
        QTest::newRow("31 rows") << "short" << 31 << QList<int>{15, 15, 1};
        // A four-line row takes 6 + 4 × 11.72 + 6 + 0.8 = 59.7 pt of the 685.7 pt between the
        // table head and the footer: eleven fit, not fifteen.
        QTest::newRow("11 tall rows") << "tall" << 11 << QList<int>{11};
        QTest::newRow("12 tall rows") << "tall" << 12 << QList<int>{11, 1};
        QTest::newRow("15 tall rows") << "tall" << 15 << QList<int>{11, 4};
        QTest::newRow("23 tall rows") << "tall" << 23 << QList<int>{11, 11, 1};
        // Ten tall rows (597 pt) leave room for three short ones (24.5 pt each), not five.
        QTest::newRow("mixed 15") << "mixed" << 15 << QList<int>{13, 2};
        QTest::newRow("mixed 40") << "mixed" << 40 << QList<int>{13, 15, 12};
    }

    void pageCountsAndFooters()
    {
        QFETCH(QString, kind);
        QFETCH(int, count);
        QFETCH(QList<int>, rowsPerPage);
        const QList<Row> rows = rowsOf(kind, count);
        const QString path = writeSheet(rows);
        QVERIFY(!path.isEmpty());
        const auto pages = pageCount(path);
        QVERIFY(pages);
        QCOMPARE(*pages, static_cast<int>(rowsPerPage.size()));

        int next = 0; // every row once, in order
        for (int page = 1; page <= *pages; ++page) {
            const auto text = pageText(path, page);
            QVERIFY(text);
            QVERIFY2(text->contains(QStringLiteral("Page %1 of %2").arg(page).arg(*pages)), qPrintable(*text));
            QVERIFY(text->contains(QStringLiteral("%1 select").arg(count)));
            const auto ids = QRegularExpression(QStringLiteral("\\bR(\\d{3})\\b")).globalMatch(*text);
            int onPage = 0;
            for (const auto& id : ids) {
                QCOMPARE(id.captured(1).toInt(), next);
                ++next;
                ++onPage;
            }
            QCOMPARE(onPage, rowsPerPage[page - 1]);
        }
        QCOMPARE(next, count);
    }

    void nothingReachesTheFooter_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("count");
        QTest::newRow("tall") << "tall" << 23;
        QTest::newRow("mixed") << "mixed" << 40;
        QTest::newRow("short") << "short" << 31;
    }

    void nothingReachesTheFooter()
    {
        QFETCH(QString, kind);
        QFETCH(int, count);
        const QString path = writeSheet(rowsOf(kind, count));
        QVERIFY(!path.isEmpty());
        const auto pages = pageCount(path);
        QVERIFY(pages);
        for (int page = 1; page <= *pages; ++page) {
            const auto words = pageWords(path, page);
            QVERIFY(words);
            QVERIFY(words->size() >= 2);
            // The footer is the last line: "Page", i, "of", n.
            const Word& pageWord = words->at(words->size() - 4);
            QCOMPARE(pageWord.text, QStringLiteral("Page"));
            QVERIFY(pageWord.box.bottom() <= footerBottom + slack);
            for (qsizetype i = 0; i + 4 < words->size(); ++i) {
                const Word& word = words->at(i);
                QVERIFY2(
                    word.box.bottom() <= pageWord.box.top() + slack,
                    qPrintable(QStringLiteral("page %1: %2 at %3").arg(page).arg(word.text).arg(word.box.bottom())));
            }
        }
    }

    void headerAndInfoLine_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("synced");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("infoLine");
        QTest::newRow("no rows") << 0 << true << losAngeles
                                 << "Sunday, December 6, 2026 · 23.976 fps · camera timecode · 0 selects";
        QTest::newRow("one row, Mac clock")
            << 1 << false << losAngeles
            << "Sunday, December 6, 2026 · 23.976 fps · Mac clock, not synced to camera · 1 select";
        QTest::newRow("sixteen, in UTC") << 16 << true << QByteArray("UTC")
                                         << "Monday, December 7, 2026 · 23.976 fps · camera timecode · 16 selects";
    }

    void headerAndInfoLine()
    {
        QFETCH(int, count);
        QFETCH(bool, synced);
        QFETCH(QByteArray, zone);
        QFETCH(QString, infoLine);
        const QString path = writeSheet(rowsOf(QStringLiteral("short"), count), sheetMeta(synced), zone);
        QVERIFY(!path.isEmpty());
        const auto pages = pageCount(path);
        QVERIFY(pages);
        for (int page = 1; page <= *pages; ++page) {
            const auto text = pageText(path, page);
            QVERIFY(text);
            const QStringList lines = text->split(QLatin1Char('\n'));
            QVERIFY2(lines.contains(infoLine) || lines.contains(infoLine + QLatin1Char(' ')), qPrintable(*text));
            QVERIFY(text->contains(QStringLiteral("Interview Day Two PINDLE LOGGER")));
            QVERIFY(text->contains(QStringLiteral("TYPE TIMECODE WHO WHAT WAS SAID NOTE")));
        }
    }

    void rowTexts_data()
    {
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("hidden");
        QTest::newRow("said wins") << "the quoted words"
                                   << "a summary"
                                   << "the quoted words"
                                   << "a summary";
        QTest::newRow("summary when nothing said") << ""
                                                   << "what it was about"
                                                   << "what it was about"
                                                   << "";
        QTest::newRow("en dash when neither") << ""
                                              << "" << QString(QChar(0x2013)) << "";
    }

    void rowTexts()
    {
        QFETCH(QString, said);
        QFETCH(QString, summary);
        QFETCH(QString, shown);
        QFETCH(QString, hidden);
        Row row{QStringLiteral("Soundbite"), 0xFF5C4D, QStringLiteral("10:11:12:13"), QStringLiteral("10:11:20:00"),
                QStringLiteral("Rosa"),      said,     QStringLiteral("keep this"),   summary,
                {QStringLiteral("tagword")}};
        const QString path = writeSheet({row});
        QVERIFY(!path.isEmpty());
        const auto text = pageText(path, 1);
        QVERIFY(text);
        const auto line = QRegularExpression(QStringLiteral("^.*Rosa.*$"), QRegularExpression::MultilineOption)
                              .match(*text)
                              .captured();
        QVERIFY2(line.contains(QStringLiteral("Soundbite 10:11:12:13 Rosa ") + shown + QStringLiteral(" keep this")),
                 qPrintable(line));
        if (!hidden.isEmpty())
            QVERIFY(!text->contains(hidden));
        // Out and tags are not on the sheet.
        QVERIFY(!text->contains(QStringLiteral("10:11:20:00")));
        QVERIFY(!text->contains(QStringLiteral("tagword")));
    }

    void longTextsStayInTheirCells_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<qreal>("left");
        QTest::addColumn<qreal>("width");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("wordCount");
        QTest::newRow("speaker, one line") << "who" << whoLeft << columnWidthWho << 1 << 80;
        QTest::newRow("said, four lines") << "said" << saidLeft << columnWidthSaid << 4 << 80;
        QTest::newRow("note, four lines") << "note" << noteLeft << columnWidthNote << 4 << 80;
        QTest::newRow("note of an essay") << "note" << noteLeft << columnWidthNote << 4 << 20000;
        QTest::newRow("speaker of an essay") << "who" << whoLeft << columnWidthWho << 1 << 20000;
    }

    void longTextsStayInTheirCells()
    {
        QFETCH(QString, field);
        QFETCH(qreal, left);
        QFETCH(qreal, width);
        QFETCH(int, lines);
        QFETCH(int, wordCount);
        Row row = shortRow(0);
        const QString text = manyWords(QStringLiteral("zq"), wordCount);
        if (field == QLatin1String("who"))
            row.who = text;
        else if (field == QLatin1String("said"))
            row.said = text;
        else
            row.note = text;
        const QString path = writeSheet({row});
        QVERIFY(!path.isEmpty());
        const auto words = pageWords(path, 1);
        QVERIFY(words);
        QList<Word> cell;
        for (const Word& word : *words) {
            if (word.text.startsWith(QLatin1Char('z')))
                cell.append(word);
        }
        QVERIFY(cell.size() >= 2);
        QSet<int> lineTops;
        int expected = 1;
        for (const Word& word : cell) {
            QVERIFY2(word.box.left() >= left - slack && word.box.right() <= left + width + slack,
                     qPrintable(word.text));
            lineTops.insert(qRound(word.box.top() * 10));
            // The words in order, none left out; the last one may be cut.
            const QString wanted = QStringLiteral("zq%1").arg(expected);
            if (word.text.endsWith(QChar(0x2026)))
                QVERIFY2(wanted.startsWith(word.text.chopped(1)), qPrintable(word.text));
            else
                QCOMPARE(word.text, wanted);
            ++expected;
        }
        QCOMPARE(lineTops.size(), lines);
        QVERIFY2(cell.last().text.endsWith(QChar(0x2026)), qPrintable(cell.last().text));
        QVERIFY(expected < 60);
    }

    void lineBreaksInCells()
    {
        Row row = shortRow(0);
        row.said = QStringLiteral("first\r\nsecond\nthird\rfourth\nfifth");
        row.who = QStringLiteral("two\nlines");
        const QString path = writeSheet({row});
        QVERIFY(!path.isEmpty());
        const auto words = pageWords(path, 1);
        QVERIFY(words);
        QHash<QString, Word> byText;
        for (const Word& word : *words)
            byText.insert(word.text, word);
        // Each break starts a line; the fifth does not fit, so the fourth ends in "…".
        QVERIFY(byText.contains(QStringLiteral("first")) && byText.contains(QStringLiteral("third")));
        QVERIFY(byText[QStringLiteral("second")].box.top() > byText[QStringLiteral("first")].box.top());
        QVERIFY(byText[QStringLiteral("third")].box.top() > byText[QStringLiteral("second")].box.top());
        QVERIFY(byText.contains(QStringLiteral("fourth\u2026")));
        QVERIFY(byText[QStringLiteral("fourth\u2026")].box.top() > byText[QStringLiteral("third")].box.top());
        QVERIFY(!byText.contains(QStringLiteral("fifth")));
        // A one-line cell reads its break as a space.
        QVERIFY(byText.contains(QStringLiteral("two")) && byText.contains(QStringLiteral("lines")));
        QCOMPARE(byText[QStringLiteral("two")].box.top(), byText[QStringLiteral("lines")].box.top());
    }

    void copiedWordsKeepTheirLetters()
    {
        // Ligature glyphs come back from a reader as U+FB01 and the like; the sheet sets none.
        Row row = shortRow(0);
        row.said = QStringLiteral("first flight office");
        row.note = QStringLiteral("fine affluent");
        row.type = QStringLiteral("Fifth");
        const QString path = writeSheet({row});
        QVERIFY(!path.isEmpty());
        const auto text = pageText(path, 1);
        QVERIFY(text);
        QVERIFY2(text->contains(QStringLiteral("Fifth 01:00:00:00 R000 first flight office fine affluent")),
                 qPrintable(*text));
    }

    void fontsEmbeddedAtTheirSizes()
    {
        Row row = shortRow(0);
        row.timecode = QStringLiteral("01:02:03:04");
        const QString path = writeSheet({row});
        QVERIFY(!path.isEmpty());
        const auto fonts = run(QStringLiteral("pdffonts"), {path});
        QVERIFY(fonts);
        for (const char* face : {"DMSans-Regular", "DMSans-SemiBold", "DMSans-Bold"}) {
            const auto line = QRegularExpression(QStringLiteral("^\\S*%1\\s.*$").arg(QLatin1String(face)),
                                                 QRegularExpression::MultilineOption)
                                  .match(QString::fromUtf8(*fonts))
                                  .captured();
            QVERIFY2(!line.isEmpty(), face);
            // Columns: name, type, encoding, emb, sub, uni, object ID.
            QVERIFY2(line.contains(QRegularExpression(QStringLiteral("\\s(Identity-H|\\S+)\\s+yes\\s"))),
                     qPrintable(line));
        }

        // Widths as the reader measures them, against the faces' own advances at each size.
        const auto words = pageWords(path, 1);
        QVERIFY(words);
        const auto widthOf = [&words](const QString& text) {
            for (const Word& word : *words) {
                if (word.text == text)
                    return word.box.width();
            }
            return qreal(-1);
        };
        const auto advance = [](QFont font, const QString& text, qreal size) {
            font.setPixelSize(1000);
            return QFontMetricsF(font).horizontalAdvance(text) * size / 1000;
        };
        QFont bold(QStringLiteral("DM Sans"));
        bold.setWeight(QFont::Bold);
        QFont regular(QStringLiteral("DM Sans"));
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setWeight(QFont::Medium);
        const struct {
            QString word;
            QFont font;
            qreal size;
        } cases[] = {{QStringLiteral("Interview"), bold, 20},
                     {QStringLiteral("December"), regular, 9},
                     {QStringLiteral("01:02:03:04"), mono, 8.5},
                     {QStringLiteral("words"), regular, 9}};
        for (const auto& c : cases) {
            const qreal expected = advance(c.font, c.word, c.size);
            QVERIFY2(qAbs(widthOf(c.word) - expected) <= expected * 0.015,
                     qPrintable(QStringLiteral("%1: %2 against %3").arg(c.word).arg(widthOf(c.word)).arg(expected)));
        }
    }

    void hostileTextsStillMakeASheet()
    {
        Row row = shortRow(0);
        row.said =
            QString::fromUtf8("\x01\x02 ctrl \xE2\x80\xAE reversed \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D 🎬🎬 e\xCC\x81");
        row.said.append(QChar(0xD800)); // a lone surrogate
        row.note = QString(100000, QLatin1Char('x'));
        row.who = QString(5000, QChar(0x0301)); // combining marks alone
        row.type = QString();
        row.timecode = QString(300, QLatin1Char('9'));
        Meta meta = sheetMeta();
        meta.title = QString(2000, QLatin1Char('T')) + QStringLiteral("\nsecond");
        meta.date = Date{1e300};
        const QString path = writeSheet({row, row, Row()}, meta);
        QVERIFY(!path.isEmpty());
        const auto pages = pageCount(path);
        QVERIFY(pages);
        QCOMPARE(*pages, 1);
    }

    void glyphInTheRowsColour_data()
    {
        QTest::addColumn<quint32>("colorHex");
        QTest::addColumn<QColor>("color");
        QTest::newRow("warm grey") << quint32(0x9A9388) << QColor(154, 147, 136);
        QTest::newRow("pure red") << quint32(0xFF0000) << QColor(255, 0, 0);
        QTest::newRow("high byte ignored") << quint32(0xAB00FF00) << QColor(0, 255, 0);
    }

    void glyphInTheRowsColour()
    {
        QFETCH(quint32, colorHex);
        QFETCH(QColor, color);
        QImage image(595, 842, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        Row row = shortRow(0);
        row.colorHex = colorHex;
        {
            QPainter painter(&image);
            LogSheetExport::SheetRenderer renderer(&image, QLocale(QStringLiteral("en_US")), "UTC");
            renderer.paint(painter, LogSheetExport::PDFPage::printed({row}, sheetMeta(), 1, 1, 1));
        }
        // The glyph is 9 × 0.85 pt wide, at the left of the type column, in the only row.
        int found = 0;
        QRect where;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == color) {
                    ++found;
                    where |= QRect(x, y, 1, 1);
                }
            }
        }
        QVERIFY(found >= 9);
        QVERIFY2(
            where.left() >= 36 && where.right() <= 45 && where.height() <= 9,
            qPrintable(
                QStringLiteral("%1,%2 %3x%4").arg(where.x()).arg(where.y()).arg(where.width()).arg(where.height())));
    }

    void badgeInsideItsRect_data()
    {
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("unit") << QRectF(0, 0, 1, 1);
        QTest::newRow("glyph of 20") << markerGlyphRect(QPointF(10, 10), 20);
        QTest::newRow("offset, wide") << QRectF(-40.5, 12.25, 90, 30);
        QTest::newRow("tall") << QRectF(3, -7, 8, 64);
    }

    void badgeInsideItsRect()
    {
        QFETCH(QRectF, rect);
        const QPainterPath badge = markerBadgePath(rect);
        QVERIFY(!badge.isEmpty());
        QCOMPARE(badge.fillRule(), Qt::WindingFill);
        const QRectF bounds = badge.boundingRect();
        // The rounded point reaches 1.0000028 of the height.
        const qreal tolerance = 3e-6 * rect.height() + 1e-9;
        QVERIFY(bounds.left() >= rect.left() - 1e-9 && bounds.right() <= rect.right() + 1e-9);
        QVERIFY(bounds.top() >= rect.top() - 1e-9 && bounds.bottom() <= rect.bottom() + tolerance);
        // It spans the rect: flat top, straight sides, point at the bottom centre.
        QVERIFY(qAbs(bounds.width() - rect.width()) < 1e-9 && qAbs(bounds.top() - rect.top()) < 1e-9);
        QVERIFY(bounds.bottom() > rect.bottom() - tolerance);
        QVERIFY(badge.contains(rect.center()));
        QVERIFY(!badge.contains(QPointF(rect.left() + rect.width() * 0.05, rect.top() + rect.height() * 0.9)));
    }

    void glyphSquareIsCentred()
    {
        QCOMPARE(markerGlyphRect(QPointF(10, 10), 20), QRectF(1.5, 1.5, 17, 17));
        QCOMPARE(markerGlyphRect(QPointF(0, 0), 9).size(), QSizeF(7.65, 7.65));
    }
};

PINDLE_TEST(TestPdfLogSheet)
#include "test_pdf.moc"
