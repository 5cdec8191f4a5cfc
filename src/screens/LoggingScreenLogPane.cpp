// What the log pane's rows and the tag bar do to the log and the screen.
#include "screens/LoggingScreenModel.h"

void LoggingScreenModel::selectEntry(const QUuid& id)
{
    setSelectedEntry(m_selectedEntry == id ? std::nullopt : std::optional(id));
}

void LoggingScreenModel::deleteEntry(const QUuid& id)
{
    m_log->removeEntry(id);
}

void LoggingScreenModel::keepEntry(const QUuid& id)
{
    m_log->keep(id);
}

void LoggingScreenModel::removeTag(const QUuid& id, const QString& tag)
{
    m_log->removeTag(tag, id);
}

void LoggingScreenModel::startNote(const QUuid& id)
{
    setSelectedEntry(id);
    setEditingNote(id);
    // The row's note field exists only once the view has redrawn the row as editing.
    m_clock.singleShot(std::chrono::milliseconds(0), this, [this, id] {
        if (m_editingNote == id)
            setFocusedNote(id);
    });
}

void LoggingScreenModel::endNote()
{
    setFocusedNote(std::nullopt);
    setEditingNote(std::nullopt);
}

void LoggingScreenModel::setFocusedNote(const std::optional<QUuid>& id)
{
    if (m_focusedNote == id)
        return;
    m_focusedNote = id;
    Q_EMIT focusedNoteChanged();
}

void LoggingScreenModel::applyTag(const QString& tag)
{
    if (const std::optional<QUuid> target = tagTarget())
        m_log->addTag(tag, *target);
}

QString LoggingScreenModel::tagTargetLabel() const
{
    if (m_selectedEntry)
        return QStringLiteral("selected clip");
    for (const LogEntry& entry : m_log->entries())
        if (entry.open)
            return QStringLiteral("open range");
    return QStringLiteral("latest clip");
}

QString LoggingScreenModel::tagChipHelp(const QString& targetLabel, const QString& tag)
{
    return QStringLiteral("Tag the ") + targetLabel + QStringLiteral(" with ") + tag;
}

void LoggingScreenModel::setShowAddTag(bool show)
{
    if (m_showAddTag == show)
        return;
    m_showAddTag = show;
    Q_EMIT showAddTagChanged();
}

void LoggingScreenModel::addNewTag()
{
    m_tags->add(newTag);
    newTag.clear();
    setShowAddTag(false);
}
