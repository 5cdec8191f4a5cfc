// Transcript lines and the log: which lines are used, selecting a line for a note, the composer's
// draft, the window-wide shortcuts and the sheets and alerts the header opens.
#include "screens/LoggingScreenModel.h"

#include "timecode/CameraTimecode.h"

#include <utility>

namespace {

QSet<QString> toSet(const QStringList& lines)
{
    return QSet<QString>(lines.cbegin(), lines.cend());
}

} // namespace

std::optional<DisplaySegment> LoggingScreenModel::segment(const QString& lineID) const
{
    const TranscriptBook& book = m_transcriber->transcript();
    if (const std::optional<qsizetype> row = book.rowOf(lineID))
        return m_transcriber->segments().at(*row);
    return std::nullopt;
}

void LoggingScreenModel::followLineUse()
{
    const LoggingLog* log = m_log.get();
    m_lineUse = LineUse(log->entries());
    connect(log, &LoggingLog::entryRowsInserted, this, [this](int first, int last) {
        m_lineUseTouched.unite(toSet(m_lineUse.rowsInserted(*m_log, first, last)));
    });
    connect(log, &LoggingLog::entryRowsAboutToBeRemoved, this,
            [this](int first, int last) { m_lineUse.rowsAboutToBeRemoved(*m_log, first, last); });
    connect(log, &LoggingLog::entryRowsRemoved, this,
            [this] { m_lineUseTouched.unite(toSet(m_lineUse.rowsRemoved(*m_log))); });
    connect(log, &LoggingLog::entryRowsChanged, this,
            [this](int first, int last) { m_lineUseTouched.unite(toSet(m_lineUse.rowsChanged(*m_log, first, last))); });
    connect(log, &LoggingLog::entriesReset, this, [this] { m_lineUseTouched.unite(toSet(m_lineUse.reset(*m_log))); });
    connect(log, &LoggingLog::entriesChanged, this, &LoggingScreenModel::publishLineUse);
}

void LoggingScreenModel::publishLineUse()
{
    if (m_lineUseTouched.isEmpty())
        return;
    const QStringList lines(m_lineUseTouched.cbegin(), m_lineUseTouched.cend());
    m_lineUseTouched.clear();
    Q_EMIT lineUseChanged(lines);
}

void LoggingScreenModel::selectLine(const QString& lineID)
{
    const std::optional<DisplaySegment> line = segment(lineID);
    if (!line)
        return;
    if (m_lineUse.state(*line) == LineUse::State::FullyUsed) {
        if (const std::optional<QUuid> entry = m_lineUse.firstEntry(lineID))
            setSelectedEntry(entry);
        return;
    }
    const QList<LogButton> visible = m_buttons->visible();
    m_composingLine = lineID;
    m_draftNote.clear();
    m_draftKind = visible.isEmpty() ? std::nullopt : std::optional(visible.constFirst().kind);
    m_composerFocused = false;
    Q_EMIT composerChanged();
    // The note field exists only once the view has drawn the composer.
    m_clock.singleShot(std::chrono::milliseconds(0), this, [this, lineID] {
        if (m_composingLine != lineID || m_composerFocused)
            return;
        m_composerFocused = true;
        Q_EMIT composerChanged();
    });
}

QString LoggingScreenModel::composerKind() const
{
    if (m_draftKind)
        return *m_draftKind;
    const QList<LogButton> visible = m_buttons->visible();
    return visible.isEmpty() ? QStringLiteral("earmark") : visible.constFirst().kind;
}

void LoggingScreenModel::setDraftNote(const QString& note)
{
    if (m_draftNote == note)
        return;
    m_draftNote = note;
    Q_EMIT composerChanged();
}

void LoggingScreenModel::setDraftKind(const QString& kind)
{
    m_draftKind = kind;
    m_composerFocused = true;
    Q_EMIT composerChanged();
}

void LoggingScreenModel::setShowSearch(bool show)
{
    if (m_showSearch == show)
        return;
    m_showSearch = show;
    Q_EMIT showSearchChanged();
}

void LoggingScreenModel::setShowButtons(bool show)
{
    if (std::exchange(m_showButtons, show) != show)
        Q_EMIT sheetsChanged();
}

void LoggingScreenModel::setShowKeywords(bool show)
{
    if (std::exchange(m_showKeywords, show) != show)
        Q_EMIT sheetsChanged();
}

void LoggingScreenModel::setShowExport(bool show)
{
    if (std::exchange(m_showExport, show) != show)
        Q_EMIT sheetsChanged();
}

void LoggingScreenModel::beginTypedTimecode()
{
    tcDraft = m_camera.timecodeAt(m_clock.now().addingSeconds(kTypedTimecodeLead));
    setShowTCEntry(true);
}

void LoggingScreenModel::dismissBanner()
{
    m_transcriber->setNotice(std::nullopt);
}

void LoggingScreenModel::selectNewestLine()
{
    // Only lines the transcript shows: a watch-only channel's line has no row to open the
    // composer under, and selecting it would only hold the transcript.
    const QSet<int> watchOnly = watchOnlyChannels();
    const QList<DisplaySegment>& lines = m_transcriber->segments();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (isVisible(*it, watchOnly) && !m_lineUse.isUsed(it->id)) {
            selectLine(it->id);
            return;
        }
}

void LoggingScreenModel::noteOnLastEntry()
{
    const LogEntries& entries = m_log->entries();
    qsizetype newest = entries.size() - 1;
    while (newest >= 0 && entries.at(newest).suggested)
        --newest;
    if (newest < 0)
        return;
    const QUuid id = entries.at(newest).id;
    if (m_pickingFor)
        applyPickedLines();
    m_logPane->startNote(id);
}
