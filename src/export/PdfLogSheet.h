#pragma once

#include "export/LogSheetExport.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QList>
#include <QRectF>
#include <QString>
#include <QTextLayout>

#include <optional>

class QPaintDevice;
class QPainter;

namespace LogSheetExport {

// One page of the log sheet, as it is drawn.
struct PDFPage {
    QList<Row> rows;     // this page's rows, at most rowsPerPage
    Meta meta;           // the same on every page
    int page = 1;        // from 1
    int of = 1;          // number of pages
    qsizetype total = 0; // rows in the whole sheet
    QColor ink;          // text, and the rule under the table head
    QColor muted;        // secondary text
    QColor line;         // rules between rows
    QColor coral;        // the "PINDLE LOGGER" heading

    // A page in the printed colours, which do not follow the window palette.
    [[nodiscard]] static PDFPage printed(QList<Row> rows, Meta meta, int page, int of, qsizetype total);
};

// Geometry of the sheet in PDF points (1 unit = 1 pt).
namespace SheetGeometry {
inline constexpr qreal pageWidth = 595;
inline constexpr qreal pageHeight = 842;
inline constexpr qreal padding = 36;
inline constexpr qreal contentWidth = pageWidth - 2 * padding;
inline constexpr qreal columnGap = 8;
inline constexpr qreal typeWidth = 78;
inline constexpr qreal timecodeWidth = 70;
inline constexpr qreal whoWidth = 58;
inline constexpr qreal noteWidth = 120;
inline constexpr qreal saidWidth = contentWidth - typeWidth - timecodeWidth - whoWidth - noteWidth - 4 * columnGap;
inline constexpr qreal typeX = padding;
inline constexpr qreal timecodeX = typeX + typeWidth + columnGap;
inline constexpr qreal whoX = timecodeX + timecodeWidth + columnGap;
inline constexpr qreal saidX = whoX + whoWidth + columnGap;
inline constexpr qreal noteX = saidX + saidWidth + columnGap;
inline constexpr int maximumLines = 4; // of the said and note cells
} // namespace SheetGeometry

// Lays out and draws log-sheet pages on one paint device, in its units: the PDF writer works at
// 72 dpi, so a unit is a point. Made once per document: the fonts, their metrics and one reused
// text layout serve every row.
class SheetRenderer {
public:
    // The device sizes the fonts; `locale` and `timeZoneId` (system zone when empty) word the
    // date of the info line.
    SheetRenderer(QPaintDevice* device, QLocale locale, QByteArray timeZoneId);

    // "Sunday, December 6, 2026 · 25 fps · camera timecode · 16 selects".
    [[nodiscard]] QString infoLine(const Meta& meta, qsizetype total);

    // Height a row's block takes: its cells with their padding, and the rule under them.
    [[nodiscard]] qreal rowHeight(const Row& row);

    // Height between the table head and the footer, where row blocks go.
    [[nodiscard]] qreal rowSpace() const;

    // The rows cut, in order, into pages of at most rowsPerPage rows, each page ending early
    // when its next row would reach into the footer. A row taller than a whole page (which
    // the line limits rule out) still gets a page of its own. No rows give one empty page.
    [[nodiscard]] QList<QList<Row>> measuredPages(const QList<Row>& rows);

    // Draws one page at the device's origin.
    void paint(QPainter& painter, const PDFPage& page);

private:
    struct TextBlock {
        QString text; // as laid out: line breaks as line separators, an overlong text cut short
        int lines = 0;
        bool elided = false; // more text than the lines hold
    };

    // Lays `text` out in `width` into m_layout, at most SheetGeometry::maximumLines lines.
    TextBlock layOut(const QString& text, const QFont& font, qreal width);
    // Draws what the last layOut laid out, first line's top at `topLeft`; an elided block's last
    // line ends in "…".
    void drawLaidOut(QPainter& painter, const TextBlock& block, const QFontMetricsF& metrics, qreal width,
                     QPointF topLeft);
    // Lays out and draws a wrapped cell; returns its number of lines.
    int drawWrapped(QPainter& painter, const QString& text, const QFont& font, const QFontMetricsF& metrics,
                    qreal width, QPointF topLeft);
    qreal oneLineCellsHeight(const Row& row) const;
    qreal cellsHeight(const Row& row);
    // Draws the header; returns where the table head starts.
    qreal paintHeader(QPainter& painter, const PDFPage& page);
    // Draws a row's block from `top`; returns its height.
    qreal paintRow(QPainter& painter, const PDFPage& page, const Row& row, qreal top);

    QLocale m_locale;
    QByteArray m_timeZoneId;
    std::optional<Date> m_formattedDate;
    QString m_dateText;

    QFont m_title;
    QFont m_info;
    QFont m_heading;
    QFont m_columnHead;
    QFont m_cellStrong;
    QFont m_cell;
    QFont m_timecode;
    QFont m_footer;
    QFontMetricsF m_titleMetrics;
    QFontMetricsF m_infoMetrics;
    QFontMetricsF m_headingMetrics;
    QFontMetricsF m_columnHeadMetrics;
    QFontMetricsF m_cellStrongMetrics;
    QFontMetricsF m_cellMetrics;
    QFontMetricsF m_timecodeMetrics;
    QFontMetricsF m_footerMetrics;
    QTextLayout m_layout;
};

} // namespace LogSheetExport
