#include "screens/LogEntryListModel.h"

#include "model/LogButtonKind.h"
#include "screens/LoggingScreenModel.h"

#include <QColor>

LogEntryListModel::LogEntryListModel(LoggingScreenModel& screen, QObject* parent)
    : QAbstractListModel(parent), m_screen(screen), m_selected(screen.selectedEntry()), m_editing(screen.editingNote()),
      m_flashing(screen.flashing())
{
    LoggingLog* log = &screen.log();
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
    connect(&screen, &LoggingScreenModel::selectedEntryChanged, this, &LogEntryListModel::followSelection);
    connect(&screen, &LoggingScreenModel::flashingChanged, this, &LogEntryListModel::followFlashing);
    connect(&screen, &LoggingScreenModel::editingNoteChanged, this, &LogEntryListModel::followEditing);
    connect(&screen.buttons(), &LogButtonStore::buttonsChanged, this, [this] {
        allRowsChanged({BadgeRole, BadgeColorRole});
    });
    connect(&screen.transcriber(), &DesktopTranscriber::channelsChanged, this,
            [this] { allRowsChanged({SpeakerChannelRole}); });
}

int LogEntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_screen.log().entries().size());
}

QString LogEntryListModel::saidText(const LogEntry& entry)
{
    if (!entry.highlight.isEmpty())
        return entry.highlight;
    if (!entry.summary.isEmpty())
        return entry.summary;
    return entry.open ? QStringLiteral("Recording…") : QStringLiteral("–");
}

QVariant LogEntryListModel::data(const QModelIndex& index, int role) const
{
    const QList<LogEntry>& entries = m_screen.log().entries();
    if (!index.isValid() || index.row() >= entries.size())
        return {};
    const LogEntry& entry = entries.at(index.row());
    switch (role) {
    case IdRole:
        return entry.id;
    case BadgeRole:
        return m_screen.buttonLabel(entry.type);
    case BadgeColorRole:
        if (const std::optional<LogButton> button = m_screen.buttons().button(entry.type))
            return LogButtonKind::color(button->kind).current();
        return QColor::fromRgb(kUnknownBadgeHex);
    case TimecodeRole:
        return entry.timecode;
    case OpenRole:
        return entry.open;
    case SpeakerRole:
        return entry.speaker.value_or(QString());
    case SpeakerChannelRole:
        if (entry.speaker)
            for (const ChannelConfig& config : m_screen.transcriber().channels())
                if (config.name == *entry.speaker)
                    return config.index;
        return -1;
    case Qt::DisplayRole:
    case SaidTextRole:
        return saidText(entry);
    case SaidMutedRole:
        return entry.highlight.isEmpty();
    case Qt::ToolTipRole:
        return entry.summary;
    case NoteRole:
        return entry.note;
    case TagsRole:
        return entry.tags;
    case SuggestedRole:
        return entry.suggested;
    case SummarisingRole:
        return entry.summarising;
    case FlashingRole:
        return m_screen.flashing().contains(entry.id);
    case SelectedRole:
        return m_screen.selectedEntry() == entry.id;
    case EditingNoteRole:
        return m_screen.editingNote() == entry.id;
    default:
        return {};
    }
}

bool LogEntryListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const QList<LogEntry>& entries = m_screen.log().entries();
    if (role != NoteRole || !index.isValid() || index.row() >= entries.size())
        return false;
    m_screen.log().setNote(entries.at(index.row()).id, value.toString());
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
                  {EditingNoteRole, "editingNote"}});
    return names;
}

void LogEntryListModel::rowsOf(const QSet<QUuid>& ids, const QList<int>& roles)
{
    for (const QUuid& id : ids)
        if (const std::optional<qsizetype> row = m_screen.log().entryRowOf(id))
            Q_EMIT dataChanged(index(int(*row)), index(int(*row)), roles);
}

void LogEntryListModel::allRowsChanged(const QList<int>& roles)
{
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0), index(rowCount() - 1), roles);
}

void LogEntryListModel::followSelection()
{
    QSet<QUuid> touched;
    if (m_selected)
        touched.insert(*m_selected);
    m_selected = m_screen.selectedEntry();
    if (m_selected)
        touched.insert(*m_selected);
    rowsOf(touched, {SelectedRole});
}

void LogEntryListModel::followEditing()
{
    QSet<QUuid> touched;
    if (m_editing)
        touched.insert(*m_editing);
    m_editing = m_screen.editingNote();
    if (m_editing)
        touched.insert(*m_editing);
    rowsOf(touched, {EditingNoteRole});
}

void LogEntryListModel::followFlashing()
{
    const QSet<QUuid>& now = m_screen.flashing();
    // Rows that joined or left the flash.
    QSet<QUuid> touched = now;
    touched.unite(m_flashing);
    touched.subtract(QSet<QUuid>(now).intersect(m_flashing));
    m_flashing = now;
    rowsOf(touched, {FlashingRole});
}
