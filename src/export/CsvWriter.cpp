#include "export/LogSheetExport.h"

#include "export/LogExportText.h"

namespace LogSheetExport {

namespace {

const QLatin1StringView header("Timecode,Out,Type,Who,What was said,Note,Summary,Tags");
const QLatin1StringView lineEnd("\r\n");

// A spreadsheet takes a cell starting with one of these for a formula, which can run commands
// on the reader's machine; an apostrophe in front makes it plain text.
bool startsLikeFormula(const QString& text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    return first == QLatin1Char('=') || first == QLatin1Char('+') || first == QLatin1Char('-') ||
           first == QLatin1Char('@');
}

void appendCell(QString& out, const QString& value)
{
    // Each break on its own, so a CR LF pair leaves two spaces.
    QString text = LogExport::replaceBreaks(value, QLatin1Char(' '), true);
    if (startsLikeFormula(text))
        text.prepend(QLatin1Char('\''));
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    out.append(QLatin1Char('"'));
    out.append(text);
    out.append(QLatin1Char('"'));
}

} // namespace

QString csv(const QList<Row>& rows)
{
    QString out;
    qsizetype estimate = header.size() + lineEnd.size();
    for (const Row& row : rows) {
        estimate += row.timecode.size() + row.out.size() + row.type.size() + row.who.size() + row.said.size() +
                    row.note.size() + row.summary.size() + 8 * 3 + 2;
        for (const QString& tag : row.tags)
            estimate += tag.size() + 2;
    }
    out.reserve(estimate + estimate / 16);

    out.append(header);
    out.append(lineEnd);
    for (const Row& row : rows) {
        appendCell(out, row.timecode);
        out.append(QLatin1Char(','));
        appendCell(out, row.out);
        out.append(QLatin1Char(','));
        appendCell(out, row.type);
        out.append(QLatin1Char(','));
        appendCell(out, row.who);
        out.append(QLatin1Char(','));
        appendCell(out, row.said);
        out.append(QLatin1Char(','));
        appendCell(out, row.note);
        out.append(QLatin1Char(','));
        appendCell(out, row.summary);
        out.append(QLatin1Char(','));
        appendCell(out, row.tags.join(QLatin1String("; ")));
        out.append(lineEnd);
    }
    return out;
}

} // namespace LogSheetExport
