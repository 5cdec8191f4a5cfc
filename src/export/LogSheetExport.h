#pragma once

#include "platform/Date.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

// The log-sheet writers: the kept markers of a log as a table for people rather than for an
// editing system, as a spreadsheet (CSV) or a printable PDF.
namespace LogSheetExport {

// One marker, already worded for reading.
struct Row {
    QString type;         // the kind as shown to people ("Great", "B-roll")
    quint32 colorHex = 0; // 0xRRGGBB, the kind's colour; drawn by the PDF's glyph, not in the CSV
    QString timecode;     // start
    QString out;          // end, empty when none
    QString who;          // speaker, empty when none
    QString said;         // the quoted words
    QString note;         // the user's note
    QString summary;
    QStringList tags; // in order

    friend bool operator==(const Row&, const Row&) = default;
};

// The facts a log sheet states in its header.
struct Meta {
    QString title;
    Date date;
    QString frameRate;         // the camera clock's format label, shown unchanged
    bool cameraSynced = false; // timecodes from the camera, or from this computer's clock

    friend bool operator==(const Meta&, const Meta&) = default;
};

// Rows a PDF page holds at most.
inline constexpr qsizetype rowsPerPage = 15;

// The spreadsheet text: a header line, then one line of eight quoted cells per row; CR LF line
// ends, one after the last line too; no byte-order mark.
[[nodiscard]] QString csv(const QList<Row>& rows);

// The rows cut, in order, into runs of `rowsPerPage`; the last run holds the rest. No rows give
// one empty run, so a sheet always has a page. This is the plain cut by count; pdf() pages by
// the measured height of each row instead (see measuredPages in PdfLogSheet.h), which never
// puts more rows on a page than this does but may put fewer.
[[nodiscard]] QList<QList<Row>> pages(const QList<Row>& rows);

// The whole PDF log sheet (A4 portrait, 595 × 842 pt), or nullopt when no PDF could be drawn.
// The date in the info line is written in `locale` and the time zone `timeZoneId` (the system
// zone when empty).
[[nodiscard]] std::optional<QByteArray> pdf(const QList<Row>& rows, const Meta& meta, const QLocale& locale = QLocale(),
                                            const QByteArray& timeZoneId = QByteArray());

} // namespace LogSheetExport
