#include "screens/LogEntryListModel.h"

#include <QColor>

LogEntryListModel::LogEntryListModel(LogPaneModel& pane, QObject* parent)
    : QAbstractListModel(parent), m_pane(pane), m_drawn(pane.state())
{
    const LoggingLog* log = &pane.log();
    connect(log, &LoggingLog::entryRowsAboutToBeInserted, this,
            [this](int first, int last) { beginInsertRows({}, first, last); });
    connect(log, &LoggingLog::entryRowsInserted, this, [this] { endInsertRows(); });
    connect(log, &LoggingLog::entryRowsAboutToBeRemoved, this,
            [this](int first, int last) { beginRemoveRows({}, first, last); });
    connect(log, &LoggingLog::entryRowsRemoved, this, [this] { endRemoveRows(); });
    connect(log, &LoggingLog::entryRowsChanged, this,
            [this](int first, int last) { Q_EMIT dataChanged(index(first), index(last)); });
    connect(log, &LoggingLog::entriesAboutToBeReset, this, [this] { beginResetModel(); });
    connect(log, &LoggingLog::entriesReset, this, [this] { endResetModel(); });
    connect(&pane, &LogPaneModel::stateChanged, this, &LogEntryListModel::followState);
    connect(&pane, &LogPaneModel::lookChanged, this, [this] {
        allRowsChanged({BadgeRole, BadgeColorRole, SpeakerChannelRole, Qt::AccessibleTextRole});
    });
}

int LogEntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_pane.log().entries().size());
}

QString LogEntryListModel::saidText(const LogEntry& entry)
{
    if (!entry.highlight.isEmpty())
        return entry.highlight;
    if (!entry.summary.isEmpty())
        return entry.summary;
    return entry.open ? QStringLiteral("Recording…") : QStringLiteral("–");
}

QString LogEntryListModel::accessibleText(const LogEntry& entry) const
{
    // The painted cells in reading order, as one line.
    QStringList parts;
    for (const QString& cell :
         {m_pane.badge(entry.type), entry.timecode, entry.speaker.value_or(QString()), saidText(entry)}) {
        if (!cell.isEmpty())
            parts.append(cell);
    }
    if (!entry.note.isEmpty())
        parts.append(QStringLiteral("Note: ") + entry.note);
    if (entry.suggested)
        parts.append(QStringLiteral("suggested"));
    return parts.join(QStringLiteral(", "));
}

QVariant LogEntryListModel::data(const QModelIndex& index, int role) const
{
    const LogEntries& entries = m_pane.log().entries();
    if (!index.isValid() || index.row() >= entries.size())
        return {};
    const LogEntry& entry = entries.at(index.row());
    switch (role) {
    case IdRole:
        return entry.id;
    case BadgeRole:
        return m_pane.badge(entry.type);
    case BadgeColorRole:
        return m_pane.badgeColor(entry.type);
    case TimecodeRole:
        return entry.timecode;
    case OpenRole:
        return entry.open;
    case SpeakerRole:
        return entry.speaker.value_or(QString());
    case SpeakerChannelRole:
        return m_pane.speakerChannel(entry.speaker);
    case Qt::DisplayRole:
    case SaidTextRole:
        return saidText(entry);
    case SaidMutedRole:
        return entry.highlight.isEmpty();
    case Qt::ToolTipRole:
        return entry.summary;
    case Qt::AccessibleTextRole:
        return accessibleText(entry);
    case NoteRole:
        return entry.note;
    case TagsRole:
        return entry.tags;
    case SuggestedRole:
        return entry.suggested;
    case SummarisingRole:
        return entry.summarising;
    case FlashingRole:
        return m_pane.state().flashing.contains(entry.id);
    case SelectedRole:
        return m_pane.state().selected == entry.id;
    case EditingNoteRole:
        return m_pane.state().editingNote == entry.id;
    case FlashLevelRole:
        return m_pane.flashLevel(entry.id);
    default:
        return {};
    }
}

bool LogEntryListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const LogEntries& entries = m_pane.log().entries();
    if (role != NoteRole || !index.isValid() || index.row() >= entries.size())
        return false;
    m_pane.setNote(entries.at(index.row()).id, value.toString());
    return true;
}

Qt::ItemFlags LogEntryListModel::flags(const QModelIndex& index) const
{
    return QAbstractListModel::flags(index) | (index.isValid() ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

QHash<int, QByteArray> LogEntryListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert({{IdRole, "id"},
                  {BadgeRole, "badge"},
                  {BadgeColorRole, "badgeColor"},
                  {TimecodeRole, "timecode"},
                  {OpenRole, "open"},
                  {SpeakerRole, "speaker"},
                  {SpeakerChannelRole, "speakerChannel"},
                  {SaidTextRole, "said"},
                  {SaidMutedRole, "saidMuted"},
                  {NoteRole, "note"},
                  {TagsRole, "tags"},
                  {SuggestedRole, "suggested"},
                  {SummarisingRole, "summarising"},
                  {FlashingRole, "flashing"},
                  {SelectedRole, "selected"},
                  {EditingNoteRole, "editingNote"},
                  {FlashLevelRole, "flashLevel"}});
    return names;
}

void LogEntryListModel::rowsOf(const QSet<QUuid>& ids, const QList<int>& roles)
{
    for (const QUuid& id : ids)
        if (const std::optional<qsizetype> row = m_pane.log().entryRowOf(id))
            Q_EMIT dataChanged(index(int(*row)), index(int(*row)), roles);
}

void LogEntryListModel::allRowsChanged(const QList<int>& roles)
{
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), roles);
}

void LogEntryListModel::followState()
{
    const LogPaneState& now = m_pane.state();
    const auto changedIds = [](const auto& before, const auto& after) {
        QSet<QUuid> touched;
        if (before != after) {
            if (before)
                touched.insert(*before);
            if (after)
                touched.insert(*after);
        }
        return touched;
    };
    rowsOf(changedIds(m_drawn.selected, now.selected), {SelectedRole});
    rowsOf(changedIds(m_drawn.editingNote, now.editingNote), {EditingNoteRole});
    // Rows that joined or left the flash.
    QSet<QUuid> flashed = now.flashing;
    flashed.unite(m_drawn.flashing);
    flashed.subtract(QSet<QUuid>(now.flashing).intersect(m_drawn.flashing));
    rowsOf(flashed, {FlashingRole, FlashLevelRole});
    m_drawn = now;
}
