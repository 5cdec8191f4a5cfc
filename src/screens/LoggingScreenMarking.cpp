// Marking from the button bar: the chips, a press, the In / Out range, the line picker's two
// outcomes, the flash, and the summary request every new entry goes through.
#include "screens/LoggingScreenModel.h"

#include "model/LogButtonKind.h"
#include "service/APIService.h"
#include "timecode/CameraTimecode.h"

#include <QPointer>

#include <algorithm>
#include <cmath>

QString LoggingScreenModel::chipHelp(const LogButton& button)
{
    if (button.kind == kInOutKind)
        return QStringLiteral("Tap to mark in, tap again to mark out. Or drag it onto a transcript line.");
    const double reach = std::isfinite(button.reach) ? std::trunc(button.reach) : 0.0;
    return QStringLiteral("Grabs the last %1 s. Or drag it onto a transcript line.").arg(qint64(reach));
}

QList<LogButtonChip> LoggingScreenModel::buttonChips() const
{
    const QList<LogButton> visible = m_buttons->visible();
    // The composer's kind: the one chosen, else the first chip's.
    std::optional<QString> composerKind = m_draftKind;
    if (!composerKind && !visible.isEmpty())
        composerKind = visible.constFirst().kind;
    QList<LogButtonChip> chips;
    chips.reserve(visible.size());
    for (qsizetype i = 0; i < visible.size(); ++i) {
        const LogButton& button = visible.at(i);
        const bool recording = button.kind == kInOutKind && m_log->openEntry(button.kind).has_value();
        LogButtonChip chip;
        chip.button = button;
        chip.hotkey = i < kHotkeyChips ? QStringLiteral("Ctrl+%1").arg(i + 1) : QString();
        chip.kept = recording || (m_composingLine && composerKind == button.kind);
        chip.popped = m_poppedKind == button.kind;
        chip.recording = recording;
        chip.help = chipHelp(button);
        chips.append(chip);
    }
    return chips;
}

void LoggingScreenModel::popChip(const QString& kind)
{
    setPoppedKind(kind);
    // Unconditional: a second press within the hold is cleared by the first press's timer.
    m_clock.singleShot(kPopHold, this, [this] { setPoppedKind(std::nullopt); });
}

void LoggingScreenModel::tapButton(const LogButton& button)
{
    popChip(button.kind);

    if (m_composingLine) {
        m_draftKind = button.kind;
        m_composerFocused = true;
        Q_EMIT composerChanged();
        return;
    }
    if (button.kind == kInOutKind) {
        toggleRange(button.kind, m_log->openEntry(button.kind));
        return;
    }

    const Date now = m_clock.now();
    const Date start = now.addingSeconds(-button.reach);
    const QString highlight = m_transcriber->recentText(button.reach);
    const std::optional<double> t = m_transcriber->currentTranscriptTime();
    const std::optional<double> windowStart = t ? std::optional(*t - button.reach) : std::nullopt;
    const QUuid id = tapEntry(button, start, now, highlight);
    flash(id);
    setSelectedEntry(id);

    QSet<QString> inWindow;
    if (windowStart) {
        // Only the rows that may reach into the window: a press late in a day reads seconds, not
        // the day.
        const TranscriptBook& book = m_transcriber->transcript();
        const QList<DisplaySegment>& rows = book.rows();
        const QSet<int> watchOnly = watchOnlyChannels();
        for (qsizetype row = book.firstEndingFrom(*windowStart); row < rows.size(); ++row) {
            const DisplaySegment& segment = rows.at(row);
            if (segment.endSecs >= *windowStart && isVisible(segment, watchOnly))
                inWindow.insert(segment.id);
        }
    }
    if (inWindow.isEmpty()) {
        requestSummary(id, highlight, button.kind, windowStart);
        return;
    }
    // A picker still open for an earlier press gives way as if dismissed: its entry keeps its
    // grab-back text and gets its summary, rather than waiting for one forever.
    if (m_pickingFor)
        keepWindowText();
    // The picker's Save or its "Keep the last few seconds" asks for the summary.
    m_pickIDs = inWindow;
    openPicker(id);
}

QUuid LoggingScreenModel::tapEntry(const LogButton& button, Date start, Date end, const QString& highlight)
{
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.time = start;
    entry.timecode = m_camera.timecodeAt(start);
    entry.type = button.kind;
    entry.endTime = end;
    entry.timecodeOut = m_camera.timecodeAt(end);
    entry.highlight = highlight;
    entry.summarising = !highlight.isEmpty();
    m_log->appendEntry(entry);
    return entry.id;
}

void LoggingScreenModel::toggleRange(const QString& kind, const std::optional<QUuid>& openRange)
{
    if (!openRange) {
        const QUuid id = markIn(kind);
        flash(id);
        setSelectedEntry(id);
        return;
    }
    const QUuid id = *openRange;
    const std::optional<qsizetype> row = m_log->entryRowOf(id);
    const std::optional<LogEntry> entry = row ? std::optional(m_log->entries().at(*row)) : std::nullopt;
    // The range opened kPreRoll before its press, so the elapsed time includes the pre-roll.
    const double elapsed = entry ? m_clock.now().secondsSince(entry->time) : kPreRoll;
    const QString words = m_transcriber->recentText(elapsed);
    m_log->closeRange(id, words);
    setSelectedEntry(id);
    const std::optional<double> t = m_transcriber->currentTranscriptTime();
    requestSummary(id, words, entry ? std::optional(entry->type) : std::nullopt,
                   t ? std::optional(*t - elapsed) : std::nullopt);
}

QUuid LoggingScreenModel::markIn(const QString& kind)
{
    return m_log->openRange(kind, kPreRoll);
}

QString LoggingScreenModel::summaryContext(const std::optional<QString>& kind) const
{
    if (!kind)
        return {};
    const std::optional<LogButton> button = m_buttons->button(*kind);
    if (!button)
        return {};
    const std::optional<LogButtonKind> row = LogButtonKind::lookup(button->kind);
    return QStringLiteral("The logger marked this moment as ") + button->name + QStringLiteral(": ") +
           (row ? row->blurb : QString());
}

QString LoggingScreenModel::leadInText(std::optional<double> startSecs) const
{
    return startSecs ? m_transcriber->textInWindow(*startSecs, kLeadInSeconds) : QString();
}

QStringList LoggingScreenModel::summarySpeakers() const
{
    QStringList out;
    const QList<ChannelConfig>& channels = m_transcriber->channels();
    if (!channels.isEmpty()) {
        for (const ChannelConfig& config : channels)
            if (config.on && config.fader > 0.005)
                out.append(config.name);
        return out;
    }
    QSet<QString> seen;
    for (const DisplaySegment& segment : m_transcriber->segments())
        if (segment.speaker)
            seen.insert(displayedSpeaker(*segment.speaker));
    out = QStringList(seen.cbegin(), seen.cend());
    std::sort(out.begin(), out.end());
    return out;
}

void LoggingScreenModel::requestSummary(const QUuid& id, const QString& text, const std::optional<QString>& kind,
                                        std::optional<double> startSecs)
{
    // Numbered before the empty check: a rebuild with no text still outdates an earlier answer.
    const quint64 number = ++m_summaryNumber;
    m_summaryRequests.insert(id, number);
    if (text.isEmpty())
        return;
    QPointer<LoggingScreenModel> self(this);
    m_service.summarise(text, summaryContext(kind), leadInText(startSecs), summarySpeakers(), m_log->shootToken(), this,
                        [self, id, number](const QString& summary) {
                            if (!self || self->m_summaryRequests.value(id) != number)
                                return;
                            self->m_summaryRequests.remove(id);
                            self->m_log->setSummary(id, summary);
                        });
}

void LoggingScreenModel::openPicker(const QUuid& id)
{
    setPickingFor(id);
}

void LoggingScreenModel::closePicker()
{
    setPickingFor(std::nullopt);
    if (!m_pickIDs.isEmpty()) {
        m_pickIDs.clear();
        Q_EMIT pickingChanged();
    }
}

void LoggingScreenModel::applyPickedLines()
{
    if (!m_pickingFor) {
        closePicker();
        return;
    }
    const QUuid id = *m_pickingFor;
    const QList<DisplaySegment> picked = pickedLines();
    if (picked.isEmpty()) {
        closePicker();
        return;
    }

    const Date engineStart = m_transcriber->engineStart();
    const Date now = m_clock.now();
    std::optional<Date> start;
    std::optional<Date> end;
    QStringList speakers;
    for (const DisplaySegment& segment : picked) {
        if (segment.startSecs >= 0.0) {
            const Date at = engineStart.addingSeconds(segment.startSecs);
            start = start ? std::min(*start, at) : at;
        }
        if (segment.endSecs >= 0.0) {
            const Date at = engineStart.addingSeconds(segment.endSecs);
            end = end ? std::max(*end, at) : at;
        }
        if (segment.speaker && !speakers.contains(*segment.speaker))
            speakers.append(*segment.speaker);
    }
    const Date from = start.value_or(now);
    const Date to = std::max(from, end.value_or(now));

    QStringList texts;
    QStringList lineIDs;
    for (const DisplaySegment& segment : picked) {
        const bool prefixed = speakers.size() >= 2 && segment.speaker;
        texts.append(prefixed ? displayedSpeaker(*segment.speaker) + QStringLiteral(": ") + segment.text
                              : segment.text);
        lineIDs.append(segment.id);
    }
    const QString text = texts.join(speakers.size() >= 2 ? u'\n' : u' ');

    std::optional<QString> kind;
    if (const std::optional<qsizetype> row = m_log->entryRowOf(id)) {
        LogEntry entry = m_log->entries().at(*row);
        entry.time = from;
        entry.timecode = m_camera.timecodeAt(from);
        entry.endTime = to;
        entry.timecodeOut = m_camera.timecodeAt(to);
        entry.open = false;
        entry.summary.clear();
        entry.highlight = text;
        entry.summarising = !text.isEmpty();
        entry.suggested = false;
        entry.speaker = speakers.size() == 1 ? std::optional(displayedSpeaker(speakers.constFirst())) : std::nullopt;
        entry.lineID = lineIDs.constFirst();
        entry.lineIDs = lineIDs;
        kind = entry.type;
        m_log->replaceEntry(entry);
    }
    requestSummary(id, text, kind, picked.constFirst().startSecs);
    flash(id);
    closePicker();
}

void LoggingScreenModel::keepWindowText()
{
    if (m_pickingFor)
        if (const std::optional<qsizetype> row = m_log->entryRowOf(*m_pickingFor)) {
            const LogEntry& entry = m_log->entries().at(*row);
            requestSummary(entry.id, entry.highlight, entry.type, std::nullopt);
        }
    closePicker();
}
