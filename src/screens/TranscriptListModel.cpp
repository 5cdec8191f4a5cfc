#include "screens/TranscriptListModel.h"

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
    : QAbstractListModel(parent), m_pane(pane), m_drawn(pane.state()), m_flagged(pane.flaggedLines())
{
    if (pane.hold())
        m_held = *pane.hold();

    connect(&pane, &TranscriptPaneModel::linesAboutToBeInserted, this, [this](int first, int last) {
        if (!m_held)
            beginInsertRows({}, first, last);
    });
    connect(&pane, &TranscriptPaneModel::linesInserted, this, [this](int first, int last) {
        if (m_held)
            m_held->inserted(first, last);
        else
            endInsertRows();
    });
    connect(&pane, &TranscriptPaneModel::linesAboutToBeRemoved, this, [this](int first, int last) {
        if (m_held)
            m_held->aboutToRemove(first, last);
        else
            beginRemoveRows({}, first, last);
    });
    connect(&pane, &TranscriptPaneModel::linesRemoved, this, [this](int first, int last) {
        if (m_held)
            m_held->removed(first, last);
        else
            endRemoveRows();
    });
    connect(&pane, &TranscriptPaneModel::linesAboutToBeChanged, this, [this](int first, int last) {
        if (m_held)
            m_held->aboutToChange(first, last);
    });
    connect(&pane, &TranscriptPaneModel::linesChanged, this, [this](int first, int last) {
        if (!m_held)
            Q_EMIT dataChanged(index(first), index(last));
    });
    connect(&pane, &TranscriptPaneModel::linesAboutToBeReset, this, [this] {
        if (m_held)
            m_held->aboutToReset();
        else
            beginResetModel();
    });
    connect(&pane, &TranscriptPaneModel::linesReset, this, [this] {
        if (!m_held)
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
    const std::optional<qsizetype> row = m_held->rowOf(id);
    return row ? std::optional(int(*row)) : std::nullopt;
}

// --- the hold ---

void TranscriptListModel::hold()
{
    // The pane's hold began on the rows this model shows: the rows stay as they are.
    if (const TranscriptHold* held = m_pane.hold(); held && held->size() == rowCount()) {
        m_held = *held;
        return;
    }
    beginResetModel();
    if (const TranscriptHold* held = m_pane.hold())
        m_held = *held;
    endResetModel();
}

void TranscriptListModel::release()
{
    TranscriptHold& held = *m_held;
    if (held.replaced()) {
        beginResetModel();
        m_held.reset();
        endResetModel();
        return;
    }
    // Lines that left or moved go, a run at a time from the end, so that the rows still to go
    // keep their numbers.
    const std::vector<qsizetype> left = held.leftRows();
    for (qsizetype end = qsizetype(left.size()); end > 0;) {
        qsizetype begin = end - 1;
        while (begin > 0 && left[size_t(begin - 1)] + 1 == left[size_t(begin)])
            --begin;
        const qsizetype first = left[size_t(begin)];
        const qsizetype last = left[size_t(end - 1)];
        beginRemoveRows({}, int(first), int(last));
        for (qsizetype row = last; row >= first; --row)
            held.dropLeft(row);
        endRemoveRows();
        end = begin;
    }
    // Lines changed in place take their new text.
    for (const QString& id : held.changedLines()) {
        held.showLive(id);
        if (const std::optional<qsizetype> row = held.rowOf(id))
            Q_EMIT dataChanged(index(int(*row)), index(int(*row)));
    }
    // What is left is the live lines without those that came, in the same order: each comes in
    // at its place, the first place first.
    while (!held.cameRows().empty()) {
        const qsizetype row = held.cameRows().front();
        if (row > held.size())
            break;
        beginInsertRows({}, int(row), int(row));
        held.admit();
        endInsertRows();
    }
    if (!held.cameRows().empty() || held.size() != m_pane.visibleCount()) {
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

void TranscriptListModel::followUse(const QStringList& lines)
{
    for (const QString& id : lines)
        if (const std::optional<int> row = rowOf(id))
            Q_EMIT dataChanged(index(*row), index(*row), {UseRole, MarksRole, Qt::ToolTipRole, Qt::AccessibleTextRole});
}
