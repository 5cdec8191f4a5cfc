#include "export/PdfLogSheet.h"

#include "export/LogExportText.h"
#include "export/MarkerBadge.h"
#include "platform/DateFormat.h"
#include "platform/Fonts.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTextLine>
#include <QTransform>

#include <algorithm>
#include <climits>
#include <utility>

namespace LogSheetExport {

namespace {

namespace G = SheetGeometry;

// Room between the title column and the "PINDLE LOGGER" heading.
constexpr qreal headerGap = 8;
constexpr qreal titleToInfo = 3;
constexpr qreal headerBottom = 14;
constexpr qreal columnHeadPadding = 5;
constexpr qreal cellPadding = 6;
constexpr qreal ruleHeight = 0.8;
constexpr qreal glyphSize = 9;
constexpr qreal glyphToType = 4;
// Qt loads fonts at whole pixel sizes only (a point size of 8.5 on the 72 dpi sheet still gives
// 9), so the 8.5 pt timecode is set at 17 and drawn at half scale.
constexpr int timecodeFontSize = 17;
constexpr qreal timecodeScale = 0.5;
// A wrapped cell shows four short lines: it is laid out from at most this many characters of its
// text, and its last line cut from at most elisionSource, so a pasted essay costs no more than
// a few lines do.
constexpr qsizetype layoutSource = 2048;
constexpr int elisionSource = 512;

// Printed colours, sRGB.
const QColor printedInk(0x2B, 0x28, 0x20);
const QColor printedMuted(0x6F, 0x6A, 0x60);
const QColor printedLine(0xE3, 0xE1, 0xDC);
const QColor printedCoral(0xFF, 0x5C, 0x4D);

const QString sansFamily = QStringLiteral("DM Sans");
const QString monoFamily = QStringLiteral("DM Mono");

// Both faces must be known to the font database before the fonts are made, or the sheet silently
// falls back to another face. The application registers the bundled fonts while starting;
// programs that do not (tests, benchmarks, tools), or that registered only DM Sans, get them
// here, once.
void ensureSheetFonts()
{
    static const bool ready =
        (QFontDatabase::hasFamily(sansFamily) && QFontDatabase::hasFamily(monoFamily)) || !registerFonts().isEmpty();
    Q_UNUSED(ready);
}

// DM Sans and DM Mono have no emoji or symbols; a colour emoji font cannot be embedded in a PDF.
// Symbola (fonts-symbola) draws them in one colour and embeds like any other.
const QString symbolFallback = QStringLiteral("Symbola");

QFont sheetFont(QFont font, QPaintDevice* device)
{
    font.setFamilies({font.family(), symbolFallback});
    // Unhinted, so what is measured for paging is what the PDF shows.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(true);
    return QFont(font, device);
}

// DM Sans at a whole size; on the 72 dpi sheet one pixel is one point.
QFont dmSans(QFont::Weight weight, int size, QPaintDevice* device, qreal tracking = 0)
{
    QFont font(sansFamily);
    font.setWeight(weight);
    font.setPixelSize(size);
    // Any letter spacing makes Qt shape without ligatures, and 100 % moves no glyph. A PDF
    // reader gives the "fi" ligature back as U+FB01, so a quote copied or searched from the
    // sheet would not match its words.
    if (tracking > 0)
        font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    else
        font.setLetterSpacing(QFont::PercentageSpacing, 100);
    return sheetFont(font, device);
}

// Named, not the system's fixed font: its generic "monospace" is no family of Qt's own database,
// so the family list below would pass straight on to Symbola and set the digits in its serif.
QFont timecodeFont(QPaintDevice* device)
{
    QFont font(monoFamily);
    font.setStyleHint(QFont::Monospace);
    font.setWeight(QFont::Medium);
    font.setPixelSize(timecodeFontSize);
    return sheetFont(font, device);
}

QColor rowColor(quint32 hex)
{
    return QColor::fromRgb(static_cast<int>((hex >> 16) & 0xFF), static_cast<int>((hex >> 8) & 0xFF),
                           static_cast<int>(hex & 0xFF));
}

// Breaks in a one-line text read as spaces.
QString oneLine(const QString& text)
{
    return LogExport::replaceBreaks(text, QLatin1Char(' '));
}

// Breaks in a wrapped text start new lines; QTextLayout breaks only at a line separator.
QString withLineSeparators(const QString& text)
{
    return LogExport::replaceBreaks(text, QChar::LineSeparator);
}

bool onlySpaceFrom(const QString& text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (!text[i].isSpace())
            return false;
    }
    return true;
}

const QChar ellipsis(0x2026);

// "words …" reads as a lost word; the ellipsis goes straight after the last kept letter.
QString tightEllipsis(QString text)
{
    if (!text.endsWith(ellipsis))
        return text;
    qsizetype end = text.size() - 1;
    while (end > 0 && text[end - 1].isSpace())
        --end;
    return text.remove(end, text.size() - 1 - end);
}

// A one-line text cut at the end with "…" when it is wider than `width`.
QString elided(const QFontMetricsF& metrics, const QString& text, qreal width)
{
    return tightEllipsis(metrics.elidedText(oneLine(text), Qt::ElideRight, width));
}

// The last line of a wrapped cell whose text goes on: `rest` is everything from that line's
// start. The line ends in "…" even when what it holds itself fits.
QString elidedLastLine(const QFontMetricsF& metrics, const QString& rest, qreal width)
{
    const qsizetype lineEnd = rest.indexOf(QChar::LineSeparator);
    const QString head = lineEnd < 0 ? rest : rest.left(lineEnd);
    const QString cut = metrics.elidedText(head, Qt::ElideRight, width);
    if (cut != head)
        return tightEllipsis(cut);
    const QString marked = tightEllipsis(head + ellipsis);
    if (metrics.horizontalAdvance(marked) <= width)
        return marked;
    // Wider than the line, so elidedText cuts the head to make room for its own "…".
    return tightEllipsis(metrics.elidedText(marked + ellipsis, Qt::ElideRight, width));
}

const QString& saidText(const Row& row)
{
    static const QString enDash(QChar(0x2013));
    if (!row.said.isEmpty())
        return row.said;
    if (!row.summary.isEmpty())
        return row.summary;
    return enDash;
}

// Height of `lines` lines of a font; nothing for none.
qreal linesHeight(int lines, const QFontMetricsF& metrics)
{
    return lines > 0 ? (lines - 1) * metrics.lineSpacing() + metrics.height() : 0;
}

} // namespace

PDFPage PDFPage::printed(QList<Row> rows, Meta meta, int page, int of, qsizetype total)
{
    return PDFPage{std::move(rows), std::move(meta), page,        of,          total,
                   printedInk,      printedMuted,    printedLine, printedCoral};
}

QList<QList<Row>> pages(const QList<Row>& rows)
{
    QList<QList<Row>> runs;
    for (qsizetype start = 0; start < rows.size(); start += rowsPerPage)
        runs.append(rows.mid(start, rowsPerPage));
    if (runs.isEmpty())
        runs.append(QList<Row>());
    return runs;
}

SheetRenderer::SheetRenderer(QPaintDevice* device, QLocale locale, QByteArray timeZoneId)
    : m_locale(std::move(locale)), m_timeZoneId(std::move(timeZoneId)), m_title(dmSans(QFont::Bold, 20, device)),
      m_info(dmSans(QFont::Normal, 9, device)), m_heading(dmSans(QFont::Bold, 8, device, 1.4)),
      m_columnHead(dmSans(QFont::Bold, 7, device, 0.8)), m_cellStrong(dmSans(QFont::DemiBold, 9, device)),
      m_cell(dmSans(QFont::Normal, 9, device)), m_timecode(timecodeFont(device)),
      m_footer(dmSans(QFont::Normal, 8, device)), m_titleMetrics(m_title, device), m_infoMetrics(m_info, device),
      m_headingMetrics(m_heading, device), m_columnHeadMetrics(m_columnHead, device),
      m_cellStrongMetrics(m_cellStrong, device), m_cellMetrics(m_cell, device), m_timecodeMetrics(m_timecode, device),
      m_footerMetrics(m_footer, device), m_layout(QString(), m_cell, device)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout.setTextOption(option);
    // Keeps the shaped glyphs after endLayout, so drawing a laid-out cell does not shape it again.
    m_layout.setCacheEnabled(true);
}

QString SheetRenderer::infoLine(const Meta& meta, qsizetype total)
{
    if (m_formattedDate != meta.date) {
        m_dateText = formatDate(meta.date, DateStyle::Complete, m_locale, m_timeZoneId);
        m_formattedDate = meta.date;
    }
    const QString separator = QStringLiteral(" \u00B7 ");
    return m_dateText + separator + meta.frameRate + separator +
           (meta.cameraSynced ? QStringLiteral("camera timecode")
                              : QStringLiteral("Computer clock, not synced to camera")) +
           separator + QString::number(total) + (total == 1 ? QStringLiteral(" select") : QStringLiteral(" selects"));
}

SheetRenderer::TextBlock SheetRenderer::layOut(const QString& text, const QFont& font, qreal width)
{
    TextBlock block;
    const QString source = text.size() > layoutSource ? LogExport::leftCharacters(text, layoutSource) : text;
    block.text = withLineSeparators(source);
    m_layout.setFont(font);
    m_layout.setText(block.text);
    m_layout.beginLayout();
    qsizetype end = 0;
    while (block.lines < G::maximumLines) {
        QTextLine line = m_layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        end = line.textStart() + line.textLength();
        ++block.lines;
    }
    m_layout.endLayout();
    block.elided =
        (block.lines == G::maximumLines && !onlySpaceFrom(block.text, end)) || !onlySpaceFrom(text, source.size());
    return block;
}

void SheetRenderer::drawLaidOut(QPainter& painter, const TextBlock& block, const QFontMetricsF& metrics, qreal width,
                                QPointF topLeft)
{
    const int plain = block.elided ? block.lines - 1 : block.lines;
    for (int i = 0; i < plain; ++i) {
        const QTextLine line = m_layout.lineAt(i);
        line.draw(&painter, QPointF(topLeft.x() - line.x(), topLeft.y() + i * metrics.lineSpacing() - line.y()));
    }
    if (!block.elided)
        return;
    const QTextLine last = m_layout.lineAt(block.lines - 1);
    const QString rest = LogExport::leftCharacters(block.text.mid(last.textStart()), elisionSource);
    const qreal baseline = topLeft.y() + (block.lines - 1) * metrics.lineSpacing() + metrics.ascent();
    painter.drawText(QPointF(topLeft.x(), baseline), elidedLastLine(metrics, rest, width));
}

int SheetRenderer::drawWrapped(QPainter& painter, const QString& text, const QFont& font, const QFontMetricsF& metrics,
                               qreal width, QPointF topLeft)
{
    const TextBlock block = layOut(text, font, width);
    painter.setFont(font);
    drawLaidOut(painter, block, metrics, width, topLeft);
    return block.lines;
}

qreal SheetRenderer::oneLineCellsHeight(const Row& row) const
{
    // The type cell always holds the glyph.
    qreal height = std::max(glyphSize, m_cellStrongMetrics.height());
    if (!row.timecode.isEmpty())
        height = std::max(height, m_timecodeMetrics.height() * timecodeScale);
    return height;
}

qreal SheetRenderer::cellsHeight(const Row& row)
{
    const int saidLines = layOut(saidText(row), m_cell, G::saidWidth).lines;
    const int noteLines = row.note.isEmpty() ? 0 : layOut(row.note, m_cell, G::noteWidth).lines;
    return std::max(oneLineCellsHeight(row), linesHeight(std::max(saidLines, noteLines), m_cellMetrics));
}

qreal SheetRenderer::rowHeight(const Row& row)
{
    return cellPadding + cellsHeight(row) + cellPadding + ruleHeight;
}

qreal SheetRenderer::rowSpace() const
{
    const qreal header = m_titleMetrics.height() + titleToInfo + m_infoMetrics.height() + headerBottom;
    const qreal columnHead = columnHeadPadding + m_columnHeadMetrics.height() + columnHeadPadding;
    return G::pageHeight - 2 * G::padding - header - columnHead - m_footerMetrics.height();
}

QList<QList<Row>> SheetRenderer::measuredPages(const QList<Row>& rows)
{
    // Rounding of the heights must not push a row that exactly fits onto the next page.
    const qreal space = rowSpace() + 1e-6;
    QList<QList<Row>> runs;
    qsizetype start = 0;
    qreal used = 0;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const qreal height = rowHeight(rows[i]);
        const qsizetype count = i - start;
        if (count > 0 && (count == rowsPerPage || used + height > space)) {
            runs.append(rows.mid(start, count));
            start = i;
            used = 0;
        }
        used += height;
    }
    if (start < rows.size() || runs.isEmpty())
        runs.append(rows.mid(start));
    return runs;
}

qreal SheetRenderer::paintHeader(QPainter& painter, const PDFPage& page)
{
    const QString heading = QStringLiteral("PINDLE LOGGER");
    const qreal headingWidth = m_headingMetrics.horizontalAdvance(heading);
    const qreal titleWidth = std::max<qreal>(0, G::contentWidth - headingWidth - headerGap);

    const qreal titleBaseline = G::padding + m_titleMetrics.ascent();
    painter.setPen(page.ink);
    painter.setFont(m_title);
    painter.drawText(QPointF(G::padding, titleBaseline), elided(m_titleMetrics, page.meta.title, titleWidth));

    const qreal infoTop = G::padding + m_titleMetrics.height() + titleToInfo;
    painter.setPen(page.muted);
    painter.setFont(m_info);
    painter.drawText(QPointF(G::padding, infoTop + m_infoMetrics.ascent()),
                     elided(m_infoMetrics, infoLine(page.meta, page.total), titleWidth));

    // On the title's baseline, at the right edge.
    painter.setPen(page.coral);
    painter.setFont(m_heading);
    painter.drawText(QPointF(G::padding + G::contentWidth - headingWidth, titleBaseline), heading);

    return infoTop + m_infoMetrics.height() + headerBottom;
}

qreal SheetRenderer::paintRow(QPainter& painter, const PDFPage& page, const Row& row, qreal top)
{
    const qreal cellsTop = top + cellPadding;
    painter.setPen(page.ink);

    // The glyph and the kind's name centred on each other.
    const qreal typeHeight = std::max(glyphSize, m_cellStrongMetrics.height());
    drawMarkerGlyph(painter, QPointF(G::typeX + glyphSize / 2, cellsTop + typeHeight / 2), glyphSize,
                    rowColor(row.colorHex));
    const qreal typeTextX = G::typeX + glyphSize + glyphToType;
    const qreal strongBaseline =
        cellsTop + (typeHeight - m_cellStrongMetrics.height()) / 2 + m_cellStrongMetrics.ascent();
    painter.setFont(m_cellStrong);
    painter.drawText(QPointF(typeTextX, strongBaseline),
                     elided(m_cellStrongMetrics, row.type, G::typeX + G::typeWidth - typeTextX));
    if (!row.who.isEmpty()) {
        painter.drawText(QPointF(G::whoX, cellsTop + m_cellStrongMetrics.ascent()),
                         elided(m_cellStrongMetrics, row.who, G::whoWidth));
    }

    if (!row.timecode.isEmpty()) {
        const QTransform sheet = painter.worldTransform();
        const qreal baseline = cellsTop + m_timecodeMetrics.ascent() * timecodeScale;
        painter.setWorldTransform(QTransform::fromScale(timecodeScale, timecodeScale) *
                                  QTransform::fromTranslate(G::timecodeX, baseline) * sheet);
        painter.setFont(m_timecode);
        painter.drawText(QPointF(0, 0), elided(m_timecodeMetrics, row.timecode, G::timecodeWidth / timecodeScale));
        painter.setWorldTransform(sheet);
    }

    const int saidLines =
        drawWrapped(painter, saidText(row), m_cell, m_cellMetrics, G::saidWidth, QPointF(G::saidX, cellsTop));
    const int noteLines = row.note.isEmpty() ? 0
                                             : drawWrapped(painter, row.note, m_cell, m_cellMetrics, G::noteWidth,
                                                           QPointF(G::noteX, cellsTop));

    // Laid out once for drawing; the same sum as rowHeight.
    const qreal cells = std::max(oneLineCellsHeight(row), linesHeight(std::max(saidLines, noteLines), m_cellMetrics));
    painter.fillRect(QRectF(G::padding, cellsTop + cells + cellPadding, G::contentWidth, ruleHeight), page.line);
    return cellPadding + cells + cellPadding + ruleHeight;
}

void SheetRenderer::paint(QPainter& painter, const PDFPage& page)
{
    painter.fillRect(QRectF(0, 0, G::pageWidth, G::pageHeight), Qt::white);
    const qreal headTop = paintHeader(painter, page);

    static const struct {
        const char* title;
        qreal x;
    } columnHeads[] = {{"TYPE", G::typeX},
                       {"TIMECODE", G::timecodeX},
                       {"WHO", G::whoX},
                       {"WHAT WAS SAID", G::saidX},
                       {"NOTE", G::noteX}};
    painter.setPen(page.muted);
    painter.setFont(m_columnHead);
    const qreal headBaseline = headTop + columnHeadPadding + m_columnHeadMetrics.ascent();
    for (const auto& head : columnHeads)
        painter.drawText(QPointF(head.x, headBaseline), QLatin1String(head.title));
    const qreal headBottom = headTop + columnHeadPadding + m_columnHeadMetrics.height() + columnHeadPadding;
    painter.fillRect(QRectF(G::padding, headBottom - ruleHeight, G::contentWidth, ruleHeight), page.ink);

    qreal top = headBottom;
    for (const Row& row : page.rows)
        top += paintRow(painter, page, row, top);

    const QString footer = QStringLiteral("Page %1 of %2").arg(page.page).arg(page.of);
    painter.setPen(page.muted);
    painter.setFont(m_footer);
    painter.drawText(QPointF(G::padding + G::contentWidth - m_footerMetrics.horizontalAdvance(footer),
                             G::pageHeight - G::padding - m_footerMetrics.descent()),
                     footer);
}

std::optional<QByteArray> pdf(const QList<Row>& rows, const Meta& meta, const QLocale& locale,
                              const QByteArray& timeZoneId)
{
    ensureSheetFonts();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly))
        return std::nullopt;
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(72);
        writer.setPageLayout(
            QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(), QPageLayout::Point));
        SheetRenderer renderer(&writer, locale, timeZoneId);
        const QList<QList<Row>> runs = renderer.measuredPages(rows);
        if (runs.size() > INT_MAX)
            return std::nullopt;
        const int count = static_cast<int>(runs.size());

        QPainter painter;
        if (!painter.begin(&writer))
            return std::nullopt;
        for (int i = 0; i < count; ++i) {
            if (i > 0 && !writer.newPage()) {
                painter.end();
                return std::nullopt;
            }
            renderer.paint(painter, PDFPage::printed(runs[i], meta, i + 1, count, rows.size()));
        }
        if (!painter.end())
            return std::nullopt;
    }
    buffer.close();
    return bytes;
}

} // namespace LogSheetExport
