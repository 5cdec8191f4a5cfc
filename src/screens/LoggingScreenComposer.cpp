// A transcript line made an entry: the note composer's commit and cancel, a marker button dropped
// on a line, and what the line picker shows.
#include "screens/LoggingScreenModel.h"

#include "model/LogButtonKind.h"
#include "timecode/CameraTimecode.h"

#include <algorithm>

namespace {

const QLatin1StringView kButtonPayload("pindle-button:");
const QString kPickerTitle = QStringLiteral("Pick the lines for ");
// The glyph's colour for a kind no button has.
constexpr QRgb kUnknownPickerColour = 0xFF9A9388;

} // namespace

void LoggingScreenModel::commitComposer(const QString& lineID)
{
    // The row the logger typed under, as it shows: held rows keep their line even once it has
    // left the transcript.
    const DisplaySegment* row = m_transcriptPane->rowLine(lineID);
    if (!row)
        return;
    // A copy: the commit releases the hold the row lives in.
    const std::optional<DisplaySegment> line = *row;
    const QString kind = composerKind();
    const Date engineStart = m_transcriber->engineStart();
    const Date time = line->moment(engineStart);
    const Date end = line->end(engineStart, m_clock.now());
    const std::optional<QString> speaker =
        line->speaker ? std::optional(displayedSpeaker(*line->speaker)) : std::nullopt;
    const QString note = m_draftNote.trimmed();
    // A line logged in part quotes what is left of it; an unused one is quoted as heard, so its
    // whole text marks it used.
    const QString text = m_lineUse.isUsed(line->id) ? m_lineUse.newWords(*line) : line->text;

    const QUuid id = lineEntry(kind, time, end, text, speaker, note, *line);
    flash(id);
    cancelComposer();
    requestSummary(id, text, kind, line->hasTiming() ? std::optional(line->startSecs) : std::nullopt);
}

void LoggingScreenModel::cancelComposer()
{
    if (!m_composingLine && m_draftNote.isEmpty() && !m_draftKind && !m_composerFocused)
        return;
    m_composingLine.reset();
    m_draftNote.clear();
    m_draftKind.reset();
    m_composerFocused = false;
    Q_EMIT composerChanged();
}

QUuid LoggingScreenModel::lineEntry(const QString& kind, Date time, Date end, const QString& text,
                                    const std::optional<QString>& speaker, const QString& note,
                                    const DisplaySegment& line)
{
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.time = time;
    entry.timecode = m_camera.timecodeAt(time);
    entry.type = kind;
    entry.endTime = end;
    entry.timecodeOut = m_camera.timecodeAt(end);
    entry.highlight = text;
    entry.summarising = !text.isEmpty();
    entry.note = note;
    entry.speaker = speaker;
    entry.lineID = line.id;
    m_log->appendEntry(entry);
    return entry.id;
}

bool LoggingScreenModel::dropOnLine(const QStringList& texts, const QString& lineID)
{
    for (const QString& text : texts)
        if (text.startsWith(kButtonPayload)) {
            dropButtonOnLine(text.mid(kButtonPayload.size()), lineID);
            return true;
        }
    return false;
}

void LoggingScreenModel::dropButtonOnLine(const QString& kind, const QString& lineID)
{
    if (!m_buttons->button(kind))
        return;
    const DisplaySegment* line = m_transcriptPane->rowLine(lineID);
    if (!line || m_lineUse.state(*line) == LineUse::State::FullyUsed)
        return;
    popChip(kind);
    // Whatever composer was open, on this line or another, gives way to the dropped kind.
    m_draftKind = kind;
    m_draftNote.clear();
    commitComposer(lineID);
}

LoggingScreenModel::LinePicker LoggingScreenModel::linePicker() const
{
    std::optional<QString> kind;
    if (m_pickingFor)
        if (const std::optional<qsizetype> row = m_log->entryRowOf(*m_pickingFor))
            kind = m_log->entries().at(*row).type;
    const std::optional<LogButton> button = kind ? m_buttons->button(*kind) : std::nullopt;

    LinePicker picker;
    picker.title = kPickerTitle + (button ? button->name : LogButtonKind::capitalized(kind.value_or(QString())));
    picker.color = button ? LogButtonKind::color(button->kind).current() : QColor::fromRgb(kUnknownPickerColour);
    // Only the rows shown: the last few of the pane's rows, read by row.
    const TranscriptPaneModel& pane = *m_transcriptPane;
    const qsizetype count = pane.shownCount();
    const qsizetype first = std::max<qsizetype>(0, count - kPickerLines);
    picker.lines.reserve(count - first);
    for (qsizetype row = first; row < count; ++row)
        picker.lines.append(pane.shownLine(row));
    return picker;
}
