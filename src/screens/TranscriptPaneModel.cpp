#include "screens/TranscriptPaneModel.h"

#include "screens/LoggingScreenModel.h"
#include "screens/SkippedRows.h"
#include "timecode/CameraTimecode.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace {

QSet<int> watchOnlyOf(const QList<ChannelConfig>& channels)
{
    QSet<int> out;
    for (const ChannelConfig& config : channels)
        if (config.hidden)
            out.insert(config.index);
    return out;
}

} // namespace

TranscriptPaneModel::TranscriptPaneModel(LoggingScreenModel& screen, QObject* parent)
    : QObject(parent), m_screen(screen), m_flagged(screen.flaggedLines())
{
    DesktopTranscriber& engine = screen.transcriber();
    const TranscriptBook* book = &engine.transcript();
    m_watchOnly = watchOnlyOf(engine.channels());
    rebuildHidden();

    connect(book, &TranscriptBook::rowsInserted, this, &TranscriptPaneModel::rowsInserted);
    connect(book, &TranscriptBook::rowsAboutToBeRemoved, this, &TranscriptPaneModel::rowsAboutToBeRemoved);
    connect(book, &TranscriptBook::rowsRemoved, this, &TranscriptPaneModel::rowsRemoved);
    connect(book, &TranscriptBook::rowsAboutToBeChanged, this, &TranscriptPaneModel::rowsAboutToBeChanged);
    connect(book, &TranscriptBook::rowsChanged, this, &TranscriptPaneModel::rowsChanged);
    connect(book, &TranscriptBook::aboutToReset, this, [this] {
        if (m_hold)
            m_hold->aboutToReset();
        Q_EMIT linesAboutToBeReset();
    });
    connect(book, &TranscriptBook::wasReset, this, [this] {
        rebuildHidden();
        Q_EMIT linesReset();
        refresh();
    });
    connect(&engine, &DesktopTranscriber::channelsChanged, this, &TranscriptPaneModel::followChannels);
    connect(&engine, &DesktopTranscriber::statusChanged, this, &TranscriptPaneModel::refresh);
    connect(&engine, &DesktopTranscriber::runningChanged, this, &TranscriptPaneModel::refresh);

    connect(&screen, &LoggingScreenModel::flaggedLinesChanged, this, &TranscriptPaneModel::followFlags);
    connect(&screen, &LoggingScreenModel::lineUseChanged, this, &TranscriptPaneModel::lineUseChanged);
    connect(&screen, &LoggingScreenModel::speakerNamesChanged, this, &TranscriptPaneModel::speakerNamesChanged);
    connect(&screen.camera(), &CameraTimecode::formatChanged, this, &TranscriptPaneModel::timecodesChanged);
    connect(&screen.camera(), &CameraTimecode::sourceChanged, this, &TranscriptPaneModel::timecodesChanged);
    connect(&screen, &LoggingScreenModel::scrollTargetChanged, this, &TranscriptPaneModel::refresh);
    for (const auto signal : {&LoggingScreenModel::pickingChanged, &LoggingScreenModel::composerChanged})
        connect(&screen, signal, this, &TranscriptPaneModel::followHold);
    connect(&screen.logPane(), &LogPaneModel::stateChanged, this, &TranscriptPaneModel::followHold);
    followHold();
}

QString TranscriptPaneModel::bannerText(qsizetype waiting)
{
    return QStringLiteral("Paused while you type · %1 new %2 waiting")
        .arg(waiting)
        .arg(waiting == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
}

// --- the lines ---

bool TranscriptPaneModel::isShown(const DisplaySegment& line) const
{
    // A watch-only channel's line that raised a keyword alert stays in the transcript.
    return m_watchOnly.isEmpty() || !m_watchOnly.contains(line.channel) || m_flagged.contains(line.id);
}

bool TranscriptPaneModel::isHiddenRow(qsizetype row) const
{
    return std::binary_search(m_hidden.begin(), m_hidden.end(), row);
}

qsizetype TranscriptPaneModel::hiddenBefore(qsizetype row) const
{
    return SkippedRows::before(m_hidden, row);
}

qsizetype TranscriptPaneModel::engineRow(qsizetype visibleRow) const
{
    return SkippedRows::wholeRow(m_hidden, visibleRow);
}

qsizetype TranscriptPaneModel::visibleCount() const
{
    return m_screen.transcriber().segments().size() - qsizetype(m_hidden.size());
}

const DisplaySegment& TranscriptPaneModel::visibleLine(qsizetype row) const
{
    return m_screen.transcriber().segments().at(engineRow(row));
}

std::optional<qsizetype> TranscriptPaneModel::visibleRowOf(const QString& id) const
{
    const std::optional<qsizetype> row = m_screen.transcriber().transcript().rowOf(id);
    if (!row || isHiddenRow(*row))
        return std::nullopt;
    return *row - hiddenBefore(*row);
}

qsizetype TranscriptPaneModel::shownCount() const
{
    return m_hold ? m_hold->size() : visibleCount();
}

const DisplaySegment& TranscriptPaneModel::shownLine(qsizetype row) const
{
    return m_hold ? m_hold->at(row) : visibleLine(row);
}

std::optional<qsizetype> TranscriptPaneModel::shownRowOf(const QString& id) const
{
    return m_hold ? m_hold->rowOf(id) : visibleRowOf(id);
}

const DisplaySegment* TranscriptPaneModel::liveLine(const QString& id) const
{
    const std::optional<qsizetype> row = m_screen.transcriber().transcript().rowOf(id);
    return row ? &m_screen.transcriber().segments().at(*row) : nullptr;
}

const DisplaySegment* TranscriptPaneModel::rowLine(const QString& id) const
{
    if (m_hold)
        if (const std::optional<qsizetype> row = m_hold->rowOf(id))
            return &m_hold->at(*row);
    return liveLine(id);
}

Date TranscriptPaneModel::engineStart() const
{
    return m_screen.transcriber().transcript().engineStart();
}

void TranscriptPaneModel::rebuildHidden()
{
    m_hidden.clear();
    if (m_watchOnly.isEmpty())
        return;
    const QList<DisplaySegment>& all = m_screen.transcriber().segments();
    for (qsizetype row = 0; row < all.size(); ++row)
        if (!isShown(all.at(row)))
            m_hidden.push_back(row);
}

void TranscriptPaneModel::rowsInserted(int first, int last)
{
    const qsizetype count = qsizetype(last) - first + 1;
    const size_t at = size_t(hiddenBefore(first));
    for (size_t i = at; i < m_hidden.size(); ++i)
        m_hidden[i] += count;
    // The new rows count as hidden until they are announced, so that until then the visible rows
    // are still the ones the list model knows.
    m_hidden.insert(m_hidden.begin() + qsizetype(at), size_t(count), 0);
    std::iota(m_hidden.begin() + qsizetype(at), m_hidden.begin() + qsizetype(at) + count, qsizetype(first));

    const QList<DisplaySegment>& all = m_screen.transcriber().segments();
    const auto isShownRow = [&](qsizetype row) { return isShown(all.at(row)); };
    const auto block = m_hidden.begin() + qsizetype(at);
    const qsizetype shown = std::count_if(block, block + count, isShownRow);
    if (shown > 0) {
        const int visible = int(first - qsizetype(at));
        Q_EMIT linesAboutToBeInserted(visible, visible + int(shown) - 1);
        m_hidden.erase(std::remove_if(block, block + count, isShownRow), block + count);
        if (m_hold)
            m_hold->inserted(visible, visible + shown - 1);
        Q_EMIT linesInserted(visible, visible + int(shown) - 1);
    }
    refresh();
}

void TranscriptPaneModel::rowsAboutToBeRemoved(int first, int last)
{
    const qsizetype hidden = hiddenBefore(qsizetype(last) + 1) - hiddenBefore(first);
    m_removingShown = qsizetype(last) - first + 1 - hidden;
    if (m_removingShown > 0) {
        const int visible = int(first - hiddenBefore(first));
        if (m_hold)
            m_hold->aboutToRemove(visible, visible + m_removingShown - 1);
        Q_EMIT linesAboutToBeRemoved(visible, visible + int(m_removingShown) - 1);
    }
}

void TranscriptPaneModel::rowsRemoved(int first, int last)
{
    const qsizetype count = qsizetype(last) - first + 1;
    const auto begin = m_hidden.begin() + hiddenBefore(first);
    const auto end = m_hidden.begin() + hiddenBefore(qsizetype(last) + 1);
    for (auto it = end; it != m_hidden.end(); ++it)
        *it -= count;
    m_hidden.erase(begin, end);
    if (const qsizetype shown = std::exchange(m_removingShown, 0); shown > 0) {
        const int visible = int(first - hiddenBefore(first));
        if (m_hold)
            m_hold->removed(visible, visible + shown - 1);
        Q_EMIT linesRemoved(visible, visible + int(shown) - 1);
    }
    refresh();
}

void TranscriptPaneModel::rowsAboutToBeChanged(int first, int last)
{
    // Only a shown row's text is held; one that is hidden, or becomes shown, comes or leaves.
    for (qsizetype row = first; row <= last; ++row) {
        if (isHiddenRow(row))
            continue;
        const int visible = int(row - hiddenBefore(row));
        if (m_hold)
            m_hold->aboutToChange(visible, visible);
        Q_EMIT linesAboutToBeChanged(visible, visible);
    }
}

void TranscriptPaneModel::rowsChanged(int first, int last)
{
    const QList<DisplaySegment>& all = m_screen.transcriber().segments();
    for (qsizetype row = first; row <= last; ++row) {
        const bool shown = isShown(all.at(row));
        const bool wasHidden = isHiddenRow(row);
        if (shown && wasHidden) {
            reveal(row);
        } else if (!shown && !wasHidden) {
            conceal(row);
        } else if (shown) {
            const int visible = int(row - hiddenBefore(row));
            Q_EMIT linesChanged(visible, visible);
        }
    }
    refresh();
}

void TranscriptPaneModel::reveal(qsizetype row)
{
    const int visible = int(row - hiddenBefore(row));
    Q_EMIT linesAboutToBeInserted(visible, visible);
    m_hidden.erase(std::lower_bound(m_hidden.begin(), m_hidden.end(), row));
    if (m_hold)
        m_hold->inserted(visible, visible);
    Q_EMIT linesInserted(visible, visible);
}

void TranscriptPaneModel::conceal(qsizetype row)
{
    const int visible = int(row - hiddenBefore(row));
    if (m_hold)
        m_hold->aboutToRemove(visible, visible);
    Q_EMIT linesAboutToBeRemoved(visible, visible);
    m_hidden.insert(std::lower_bound(m_hidden.begin(), m_hidden.end(), row), row);
    if (m_hold)
        m_hold->removed(visible, visible);
    Q_EMIT linesRemoved(visible, visible);
}

void TranscriptPaneModel::followChannels()
{
    QSet<int> watchOnly = watchOnlyOf(m_screen.transcriber().channels());
    if (watchOnly == m_watchOnly)
        return;
    if (m_hold)
        m_hold->aboutToReset();
    Q_EMIT linesAboutToBeReset();
    m_watchOnly = std::move(watchOnly);
    rebuildHidden();
    Q_EMIT linesReset();
    refresh();
}

void TranscriptPaneModel::followFlags()
{
    const QSet<QString>& now = m_screen.flaggedLines();
    if (now == m_flagged)
        return;
    QSet<QString> changed;
    for (const QString& id : now)
        if (!m_flagged.contains(id))
            changed.insert(id);
    for (const QString& id : std::as_const(m_flagged))
        if (!now.contains(id))
            changed.insert(id);
    m_flagged = now;
    if (!m_watchOnly.isEmpty()) {
        const TranscriptBook& book = m_screen.transcriber().transcript();
        for (const QString& id : std::as_const(changed)) {
            const std::optional<qsizetype> row = book.rowOf(id);
            if (!row)
                continue;
            const bool shown = isShown(book.rows().at(*row));
            const bool wasHidden = isHiddenRow(*row);
            if (shown && wasHidden)
                reveal(*row);
            else if (!shown && !wasHidden)
                conceal(*row);
        }
    }
    Q_EMIT flaggedChanged();
    refresh();
}

// --- what a row draws ---

const LineUse& TranscriptPaneModel::lineUse() const
{
    return m_screen.lineUse();
}

QString TranscriptPaneModel::lineTimecode(const DisplaySegment& line) const
{
    return m_screen.lineTimecode(line);
}

QString TranscriptPaneModel::speakerName(const DisplaySegment& line) const
{
    return line.speaker ? m_screen.displayedSpeaker(*line.speaker) : QString();
}

// --- the hold and the state ---

void TranscriptPaneModel::followHold()
{
    const LogPaneState& log = m_screen.logPane().state();
    const bool hold = m_screen.pickingFor() || m_screen.composingLine() || log.focusedNote || log.editingNote;
    // A hold already kept stays: moving the composer to another line keeps the rows still.
    if (hold && !m_hold)
        m_hold.emplace(static_cast<const TranscriptHold::Lines&>(*this));
    else if (!hold && m_hold)
        m_hold.reset();
    refresh();
}

void TranscriptPaneModel::refresh()
{
    const DesktopTranscriber& engine = m_screen.transcriber();
    TranscriptPaneState next;
    next.hoverLine = m_state.hoverLine;
    next.selectedLine = m_screen.composingLine();
    next.jumpTarget = m_screen.scrollTarget();
    next.held = m_hold.has_value();
    next.picking = m_screen.pickingFor().has_value();
    next.waiting = m_hold ? std::max<qsizetype>(0, visibleCount() - m_hold->size()) : 0;
    if (next.held && !next.picking && next.waiting > 0)
        next.banner = bannerText(next.waiting);
    const EngineStatus::Kind kind = engine.statusKind();
    if (kind != EngineStatus::Kind::Off && kind != EngineStatus::Kind::Listening)
        next.status = engine.status();
    next.lineCount = engine.segments().size();
    if (next.lineCount == 0)
        next.emptyText = QString::fromUtf8(engine.running() ? kListening : kStartHint);
    if (next == m_state)
        return;
    m_state = std::move(next);
    Q_EMIT stateChanged();
}

// --- commands ---

void TranscriptPaneModel::setHover(const QString& lineID)
{
    if (m_state.hoverLine == lineID)
        return;
    m_state.hoverLine = lineID;
    Q_EMIT stateChanged();
}

void TranscriptPaneModel::leaveHover(const QString& lineID)
{
    if (m_state.hoverLine != lineID)
        return;
    m_state.hoverLine.reset();
    Q_EMIT stateChanged();
}

void TranscriptPaneModel::renameFromLine(const QString& lineID)
{
    std::optional<QString> label;
    if (const DisplaySegment* line = liveLine(lineID)) {
        label = line->speaker;
    } else if (m_hold) {
        // A held row whose line has left the engine since.
        if (const std::optional<qsizetype> row = m_hold->rowOf(lineID))
            label = m_hold->at(*row).speaker;
    }
    if (!label)
        return;
    for (const ChannelConfig& config : m_screen.transcriber().channels())
        if (config.name == *label) {
            m_screen.channelNameText = config.name;
            m_screen.setRenamingChannel(config.index);
            return;
        }
    m_screen.setRenamingSpeaker(*label);
}

void TranscriptPaneModel::select(const QString& lineID)
{
    m_screen.selectLine(lineID);
}

bool TranscriptPaneModel::drop(const QStringList& texts, const QString& lineID)
{
    return m_screen.dropOnLine(texts, lineID);
}
