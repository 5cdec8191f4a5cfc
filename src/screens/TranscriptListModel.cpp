#include "screens/TranscriptListModel.h"

#include "audio/SegmentOrder.h"

#include <algorithm>
#include <vector>

namespace {

QSet<QString> changedIds(const std::optional<QString>& before, const std::optional<QString>& after)
{
    QSet<QString> out;
    if (before == after)
        return out;
    if (before)
        out.insert(*before);
    if (after)
        out.insert(*after);
    return out;
}

} // namespace

TranscriptListModel::TranscriptListModel(TranscriptPaneModel& pane, QObject* parent)
    : QAbstractListModel(parent), m_pane(pane), m_drawn(pane.state()), m_flagged(pane.flaggedLines()),
      m_use(pane.lineUse()), m_used(pane.usedLineIDs())
{
    if (pane.frozenSegments())
        m_held = *pane.frozenSegments();

    connect(&pane, &TranscriptPaneModel::linesAboutToBeInserted, this, [this](int first, int last) {
        if (!m_held)
            beginInsertRows({}, first, last);
    });
    connect(&pane, &TranscriptPaneModel::linesInserted, this, [this](int first, int last) {
        if (m_held)
            noteHeld(m_came, first, last);
        else
            endInsertRows();
    });
    connect(&pane, &TranscriptPaneModel::linesAboutToBeRemoved, this, [this](int first, int last) {
        if (m_held)
            noteHeld(m_left, first, last);
        else
            beginRemoveRows({}, first, last);
    });
    connect(&pane, &TranscriptPaneModel::linesRemoved, this, [this] {
        if (!m_held)
            endRemoveRows();
    });
    connect(&pane, &TranscriptPaneModel::linesChanged, this, [this](int first, int last) {
        if (m_held)
            noteHeld(m_changed, first, last);
        else
            Q_EMIT dataChanged(index(first), index(last));
    });
    connect(&pane, &TranscriptPaneModel::linesAboutToBeReset, this, [this] {
        if (!m_held)
            beginResetModel();
    });
    connect(&pane, &TranscriptPaneModel::linesReset, this, [this] {
        if (m_held)
            m_replaced = true;
        else
            endResetModel();
    });
    connect(&pane, &TranscriptPaneModel::stateChanged, this, &TranscriptListModel::followState);
    connect(&pane, &TranscriptPaneModel::flaggedChanged, this, &TranscriptListModel::followFlags);
    connect(&pane, &TranscriptPaneModel::lineUseChanged, this, &TranscriptListModel::followUse);
    connect(&pane, &TranscriptPaneModel::speakerNamesChanged, this, [this] {
        redrawAll({SpeakerRole, Qt::AccessibleTextRole});
    });
    connect(&pane, &TranscriptPaneModel::timecodesChanged, this, [this] {
        redrawAll({TimecodeRole, Qt::AccessibleTextRole});
    });
}

int TranscriptListModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_held ? m_held->size() : m_pane.visibleCount());
}

const DisplaySegment& TranscriptListModel::lineAt(int row) const
{
    return m_held ? m_held->at(row) : m_pane.visibleLine(row);
}

QString TranscriptListModel::helpOf(LineUse::State state)
{
    switch (state) {
    case LineUse::State::FullyUsed:
        return QString::fromLatin1(kHelpFullyUsed);
    case LineUse::State::PartlyUsed:
        return QString::fromLatin1(kHelpPartlyUsed);
    case LineUse::State::Unused:
        break;
    }
    return QString::fromLatin1(kHelpUnused);
}

QString TranscriptListModel::accessibleText(const DisplaySegment& line) const
{
    // A line not yet placed in time has no timecode: nothing is read for it.
    QStringList parts;
    if (const QString timecode = m_pane.lineTimecode(line); !timecode.isEmpty())
        parts.append(timecode);
    if (line.speaker)
        parts.append(m_pane.speakerName(line));
    parts.append(line.text);
    if (m_flagged.contains(line.id))
        parts.append(QString::fromLatin1(kKeywordAlert));
    if (m_pane.lineUse().isUsed(line.id))
        parts.append(QStringLiteral("Selected"));
    return parts.join(QStringLiteral(", "));
}

QVariant TranscriptListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const DisplaySegment& line = lineAt(index.row());
    switch (role) {
    case IdRole:
        return line.id;
    case TimecodeRole:
        return m_pane.lineTimecode(line);
    case SpeakerRole:
        return m_pane.speakerName(line);
    case SpeakerLabelRole:
        return line.speaker.value_or(QString());
    case ChannelRole:
        return line.channel;
    case Qt::DisplayRole:
    case TextRole:
        return line.text;
    case MarksRole:
        return QVariant::fromValue(Marks(m_pane.lineUse().marks(line)));
    case UseRole:
        return int(m_pane.lineUse().state(line));
    case FlaggedRole:
        return m_flagged.contains(line.id);
    case JumpTargetRole:
        return m_drawn.jumpTarget == line.id;
    case SelectedRole:
        return m_drawn.selectedLine == line.id;
    case HoverRole:
        return m_drawn.hoverLine == line.id;
    case Qt::ToolTipRole:
        return helpOf(m_pane.lineUse().state(line));
    case Qt::AccessibleTextRole:
        return accessibleText(line);
    default:
        return {};
    }
}

QHash<int, QByteArray> TranscriptListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert({{IdRole, "id"},
                  {TimecodeRole, "timecode"},
                  {SpeakerRole, "speaker"},
                  {SpeakerLabelRole, "speakerLabel"},
                  {ChannelRole, "channel"},
                  {TextRole, "text"},
                  {MarksRole, "marks"},
                  {UseRole, "use"},
                  {FlaggedRole, "flagged"},
                  {JumpTargetRole, "jumpTarget"},
                  {SelectedRole, "selected"},
                  {HoverRole, "hover"}});
    return names;
}

std::optional<int> TranscriptListModel::rowOf(const QString& id) const
{
    if (m_held)
        return heldRowOf(id);
    const std::optional<qsizetype> row = m_pane.visibleRowOf(id);
    return row ? std::optional(int(*row)) : std::nullopt;
}

std::optional<int> TranscriptListModel::heldRowOf(const QString& id) const
{
    const QList<DisplaySegment>& rows = *m_held;
    // The snapshot keeps the engine's order: a line still in its place is found by its key.
    if (const DisplaySegment* live = m_pane.liveLine(id)) {
        const SegmentOrder order(m_pane.engineStart());
        const double key = order.key(*live);
        const auto at = std::partition_point(rows.cbegin(), rows.cend(), [&](const DisplaySegment& row) {
            const double rowKey = order.key(row);
            if (rowKey != key)
                return rowKey < key;
            if (row.channel != live->channel)
                return row.channel < live->channel;
            return row.id < id;
        });
        if (at != rows.cend() && at->id == id)
            return int(at - rows.cbegin());
    }
    // The line moved or left since the hold, or a new run began.
    for (qsizetype row = rows.size() - 1; row >= 0; --row)
        if (rows.at(row).id == id)
            return int(row);
    return std::nullopt;
}

// --- the hold ---

void TranscriptListModel::noteHeld(QSet<QString>& into, int first, int last)
{
    for (int row = first; row <= last; ++row)
        into.insert(m_pane.visibleLine(row).id);
}

void TranscriptListModel::forgetHeldNews()
{
    m_came.clear();
    m_left.clear();
    m_changed.clear();
    m_replaced = false;
}

void TranscriptListModel::hold()
{
    forgetHeldNews();
    const QList<DisplaySegment>& snapshot = *m_pane.frozenSegments();
    if (snapshot.size() == rowCount()) {
        // The snapshot is the visible lines of this very moment: the rows stay as they are.
        m_held = snapshot;
        return;
    }
    beginResetModel();
    m_held = snapshot;
    endResetModel();
}

void TranscriptListModel::removeHeldRows(int first, int last)
{
    beginRemoveRows({}, first, last);
    m_held->remove(first, last - first + 1);
    endRemoveRows();
}

void TranscriptListModel::release()
{
    if (m_replaced) {
        beginResetModel();
        m_held.reset();
        endResetModel();
        forgetHeldNews();
        return;
    }
    QList<DisplaySegment>& rows = *m_held;
    // Lines that left or moved go, and lines changed in place take their new text. From the end,
    // so that the rows still to visit keep their numbers.
    if (!m_left.isEmpty() || !m_changed.isEmpty()) {
        int runEnd = -1;
        for (int row = int(rows.size()) - 1; row >= -1; --row) {
            if (row >= 0 && m_left.contains(rows.at(row).id)) {
                if (runEnd < 0)
                    runEnd = row;
                continue;
            }
            if (runEnd >= 0) {
                removeHeldRows(row + 1, runEnd);
                runEnd = -1;
            }
            if (row < 0 || !m_changed.contains(rows.at(row).id))
                continue;
            if (const DisplaySegment* live = m_pane.liveLine(rows.at(row).id)) {
                rows[row] = *live;
                Q_EMIT dataChanged(index(row), index(row));
            }
        }
    }
    // What is left is the live lines without those that came, in the same order: each comes in
    // at its place, the first place first.
    std::vector<std::pair<qsizetype, QString>> arriving;
    for (const QString& id : std::as_const(m_came))
        if (const std::optional<qsizetype> row = m_pane.visibleRowOf(id))
            arriving.emplace_back(*row, id);
    std::sort(arriving.begin(), arriving.end());
    for (const auto& [row, id] : arriving) {
        if (row > rows.size())
            break;
        beginInsertRows({}, int(row), int(row));
        rows.insert(row, m_pane.visibleLine(row));
        endInsertRows();
    }
    forgetHeldNews();
    if (rows.size() != m_pane.visibleCount()) {
        // Not the live lines after all (a change the hold did not hear of): start over from them.
        beginResetModel();
        m_held.reset();
        endResetModel();
        return;
    }
    m_held.reset();
}

// --- what the rows draw ---

void TranscriptListModel::redraw(const QSet<QString>& ids, const QList<int>& roles)
{
    for (const QString& id : ids)
        if (const std::optional<int> row = rowOf(id))
            Q_EMIT dataChanged(index(*row), index(*row), roles);
}

void TranscriptListModel::redrawAll(const QList<int>& roles)
{
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), roles);
}

void TranscriptListModel::followState()
{
    const TranscriptPaneState& now = m_pane.state();
    if (now.held && !m_held)
        hold();
    else if (!now.held && m_held)
        release();
    const TranscriptPaneState before = std::exchange(m_drawn, now);
    redraw(changedIds(before.hoverLine, now.hoverLine), {HoverRole});
    redraw(changedIds(before.selectedLine, now.selectedLine), {SelectedRole});
    redraw(changedIds(before.jumpTarget, now.jumpTarget), {JumpTargetRole});
}

void TranscriptListModel::followFlags()
{
    const QSet<QString>& now = m_pane.flaggedLines();
    QSet<QString> changed;
    for (const QString& id : now)
        if (!m_flagged.contains(id))
            changed.insert(id);
    for (const QString& id : std::as_const(m_flagged))
        if (!now.contains(id))
            changed.insert(id);
    m_flagged = now;
    redraw(changed, {FlaggedRole, Qt::AccessibleTextRole});
}

void TranscriptListModel::followUse()
{
    // Only lines some entry names, before or now, can have changed.
    QSet<QString> used = m_pane.usedLineIDs();
    QSet<QString> candidates = used;
    candidates.unite(m_used);
    const LineUse& now = m_pane.lineUse();
    for (const QString& id : std::as_const(candidates)) {
        const std::optional<int> row = rowOf(id);
        if (!row)
            continue;
        const DisplaySegment& line = lineAt(*row);
        if (m_use.state(line) != now.state(line) || m_use.marks(line) != now.marks(line))
            Q_EMIT dataChanged(index(*row), index(*row), {UseRole, MarksRole, Qt::ToolTipRole, Qt::AccessibleTextRole});
    }
    m_use = now;
    m_used = std::move(used);
}
