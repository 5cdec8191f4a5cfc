#include "ui/logging/LogPaneAccessible.h"

#include "screens/LogEntryListModel.h"
#include "ui/logging/EntryRow.h"
#include "ui/logging/ItemRowsAccessible.h"
#include "ui/logging/LogHeader.h"
#include "ui/logging/LogPaneView.h"
#include "ui/theme/AccessibleParts.h"

#include <QListView>
#include <QPointer>

#include <algorithm>
#include <array>

namespace {

using Role = LogEntryListModel::Role;
using Control = EntryRow::Control;

// The cells of a row, left to right, as the header names them.
constexpr std::array<int, LogColumns::Control> kCellRoles = {Role::BadgeRole, Role::TimecodeRole, Role::SpeakerRole,
                                                             Role::SaidTextRole, Role::NoteRole};

LogPaneView* paneOf(const QObject* object)
{
    for (QObject* above = object->parent(); above; above = above->parent())
        if (auto* pane = qobject_cast<LogPaneView*>(above))
            return pane;
    return nullptr;
}

Control controlOf(const QString& action)
{
    using namespace LogPaneAccessible;
    if (action == kSelectAction)
        return Control::Row;
    if (action == kAddNoteAction || action == kEditNoteAction)
        return Control::AddNote;
    if (action == kKeepAction)
        return Control::Keep;
    if (action == kDeleteAction || action == kDismissAction)
        return Control::Delete;
    return Control::None;
}

class LogTableAccessible final : public ItemRowsAccessible {
public:
    explicit LogTableAccessible(QListView* list) : ItemRowsAccessible(list, QAccessible::Table, QAccessible::Row) {}

    void addRowState(const QModelIndex& index, QAccessible::State& state) const override
    {
        state.selectable = true;
        state.selected = index.data(Role::SelectedRole).toBool();
    }

    [[nodiscard]] QStringList rowActions(const QModelIndex& index) const override
    {
        using namespace LogPaneAccessible;
        const bool suggested = index.data(Role::SuggestedRole).toBool();
        const bool noteShown =
            !index.data(Role::NoteRole).toString().isEmpty() || index.data(Role::EditingNoteRole).toBool();
        QStringList names{kSelectAction, noteShown ? kEditNoteAction : kAddNoteAction};
        if (suggested)
            names.append(kKeepAction);
        names.append(suggested ? kDismissAction : kDeleteAction);
        return names;
    }

    [[nodiscard]] QString rowActionDescription(const QModelIndex& index, const QString& action) const override
    {
        const Control control = controlOf(action);
        if (control == Control::Row)
            return QStringLiteral("Select this row, or deselect it");
        if (action == LogPaneAccessible::kEditNoteAction)
            return QStringLiteral("Edit the note");
        return EntryRow::toolTipOf(control, index.data(Role::SuggestedRole).toBool());
    }

    void doRowAction(const QModelIndex& index, const QString& action) override
    {
        if (LogPaneView* pane = paneOf(view()))
            pane->activate(index.data(Role::IdRole).toUuid(), controlOf(action));
    }

    [[nodiscard]] int columnCount() const override { return int(kCellRoles.size()); }

    [[nodiscard]] QString cellText(const QModelIndex& index, int column, QAccessible::Text kind) const override
    {
        if (column < 0 || column >= columnCount())
            return {};
        switch (kind) {
        case QAccessible::Name:
        case QAccessible::Value:
            return index.data(kCellRoles[size_t(column)]).toString();
        case QAccessible::Description:
            return LogHeader::caption(column);
        default:
            return {};
        }
    }

    [[nodiscard]] QRect cellRect(const QModelIndex& index, int column) const override
    {
        const QRect row = view()->visualRect(index);
        const auto* delegate = qobject_cast<const EntryRow*>(view()->itemDelegate());
        const LogColumns columns =
            LogColumns::layout(row.left(), row.width(), delegate ? delegate->style().columns : LogColumnsStyle{});
        const LogColumns::Span& span = columns.spans[size_t(std::clamp(column, 0, columnCount() - 1))];
        return QRectF(span.left, row.top(), span.width, row.height()).toAlignedRect();
    }

    [[nodiscard]] QWidget* cellWidget(const QModelIndex& index, int column) const override
    {
        return column == LogColumns::Note ? view()->indexWidget(index) : nullptr;
    }

protected:
    [[nodiscard]] bool announcesNewRows() const override { return true; }

    [[nodiscard]] bool affectsText(const QList<int>& roles) const override
    {
        if (roles.isEmpty())
            return true;
        return std::any_of(roles.cbegin(), roles.cend(), [](int role) {
            return std::find(kCellRoles.cbegin(), kCellRoles.cend(), role) != kCellRoles.cend() ||
                   role == Role::SuggestedRole || role == Qt::AccessibleTextRole || role == Qt::DisplayRole;
        });
    }
};

// One caption over the log's columns.
class LogCaptionAccessible final : public QAccessibleInterface, public AccessibleReadOnlyText {
public:
    LogCaptionAccessible(LogHeader* header, int column) : m_header(header), m_column(column) {}

    using AccessibleReadOnlyText::text;

    [[nodiscard]] bool isValid() const override { return !m_header.isNull(); }
    [[nodiscard]] QObject* object() const override { return nullptr; }
    [[nodiscard]] QWindow* window() const override
    {
        QAccessibleInterface* header = parent();
        return header ? header->window() : nullptr;
    }
    [[nodiscard]] QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    [[nodiscard]] QAccessibleInterface* parent() const override
    {
        return m_header ? QAccessible::queryAccessibleInterface(m_header) : nullptr;
    }
    [[nodiscard]] QAccessibleInterface* child(int) const override { return nullptr; }
    [[nodiscard]] int childCount() const override { return 0; }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    [[nodiscard]] QString text(QAccessible::Text kind) const override
    {
        return kind == QAccessible::Name || kind == QAccessible::Value ? readText() : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    [[nodiscard]] QRect rect() const override
    {
        if (!m_header)
            return {};
        const QRect at = m_header->captionRect(m_column);
        return QRect(m_header->mapToGlobal(at.topLeft()), at.size());
    }
    [[nodiscard]] QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    [[nodiscard]] QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !m_header || !m_header->isVisible();
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
    }
    [[nodiscard]] QString readText() const override { return LogHeader::caption(m_column); }

private:
    QPointer<LogHeader> m_header;
    int m_column;
};

class LogHeaderAccessible final : public QAccessibleWidget {
public:
    explicit LogHeaderAccessible(LogHeader* header) : QAccessibleWidget(header, QAccessible::Row) {}
    ~LogHeaderAccessible() override
    {
        for (const QAccessible::Id id : m_captions)
            if (id != 0 && QAccessible::accessibleInterface(id))
                QAccessible::deleteAccessibleInterface(id);
    }

    [[nodiscard]] int childCount() const override { return int(m_captions.size()); }
    [[nodiscard]] QAccessibleInterface* child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        QAccessible::Id& id = m_captions[size_t(index)];
        if (QAccessibleInterface* made = id != 0 ? QAccessible::accessibleInterface(id) : nullptr)
            return made;
        auto* made = new LogCaptionAccessible(static_cast<LogHeader*>(widget()), index);
        id = QAccessible::registerAccessibleInterface(made);
        return made;
    }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface* child) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (m_captions[size_t(i)] != 0 && QAccessible::accessibleInterface(m_captions[size_t(i)]) == child)
                return i;
        return -1;
    }
    [[nodiscard]] QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* caption = child(i); caption->rect().contains(x, y))
                return caption;
        return nullptr;
    }

private:
    mutable std::array<QAccessible::Id, LogColumns::Control> m_captions{};
};

QAccessibleInterface* logPaneFactory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    if (className == QLatin1String(LogHeader::staticMetaObject.className()))
        return new LogHeaderAccessible(static_cast<LogHeader*>(object));
    if (className == QLatin1String(QListView::staticMetaObject.className())) {
        const LogPaneView* pane = paneOf(object);
        if (pane && pane->listView() == object)
            return new LogTableAccessible(static_cast<QListView*>(object));
    }
    return nullptr;
}

} // namespace

namespace LogPaneAccessible {

void attach(LogPaneView* pane)
{
    // Installed after the application's own factory, so it is asked first.
    static const bool installed = [] {
        QAccessible::installFactory(&logPaneFactory);
        return true;
    }();
    Q_UNUSED(installed);
    // The list is asked for its interface while the pane is still putting it in place.
    AccessibleParts::replaceEarlyInterface(pane->header(), [](QAccessibleInterface* iface) {
        return dynamic_cast<LogHeaderAccessible*>(iface) != nullptr;
    });
    AccessibleParts::replaceEarlyInterface(pane->listView(), [](QAccessibleInterface* iface) {
        return dynamic_cast<LogTableAccessible*>(iface) != nullptr;
    });
}

} // namespace LogPaneAccessible
