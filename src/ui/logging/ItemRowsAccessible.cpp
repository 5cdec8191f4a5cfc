#include "ui/logging/ItemRowsAccessible.h"

#include "ui/theme/AccessibleParts.h"

#include <QAbstractItemView>
#include <QPersistentModelIndex>

#include <limits>
#include <vector>

namespace {

// More new rows than this at once are a load, not news.
constexpr int kMostAnnouncedRows = 32;

void announce(QAccessibleInterface* iface, QAccessible::Event type)
{
    if (!iface || !QAccessible::isActive())
        return;
    QAccessibleEvent event(iface, type);
    QAccessible::updateAccessibility(&event);
}

void drop(QAccessible::Id id)
{
    // The cache may have let it go already (the application going down).
    if (QAccessible::accessibleInterface(id))
        QAccessible::deleteAccessibleInterface(id);
}

} // namespace

// One cell of a row: its text, and the widget shown in it.
class ItemCellAccessible final : public QAccessibleInterface, public AccessibleReadOnlyText {
public:
    ItemCellAccessible(ItemRowAccessible* row, int column) : m_row(row), m_column(column) {}

    using AccessibleReadOnlyText::text;

    [[nodiscard]] bool isValid() const override;
    [[nodiscard]] QObject* object() const override { return nullptr; }
    [[nodiscard]] QWindow* window() const override;
    [[nodiscard]] QAccessibleInterface* childAt(int x, int y) const override
    {
        QAccessibleInterface* shown = child(0);
        return shown && shown->rect().contains(x, y) ? shown : nullptr;
    }
    [[nodiscard]] QAccessibleInterface* parent() const override;
    [[nodiscard]] QAccessibleInterface* child(int index) const override
    {
        QWidget* shown = index == 0 ? widget() : nullptr;
        return shown ? QAccessible::queryAccessibleInterface(shown) : nullptr;
    }
    [[nodiscard]] int childCount() const override { return widget() ? 1 : 0; }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface* child) const override
    {
        QWidget* shown = widget();
        return shown && child && child->object() == shown ? 0 : -1;
    }
    [[nodiscard]] QString text(QAccessible::Text kind) const override;
    void setText(QAccessible::Text, const QString&) override {}
    [[nodiscard]] QRect rect() const override;
    [[nodiscard]] QAccessible::Role role() const override { return QAccessible::Cell; }
    [[nodiscard]] QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::TextInterface ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
    }

    [[nodiscard]] QString readText() const override { return text(QAccessible::Name); }
    // Tells tools when the cell's text is no longer what they last read.
    void refresh();

private:
    [[nodiscard]] QWidget* widget() const;

    ItemRowAccessible* m_row;
    int m_column;
    mutable QString m_told;
};

// One row of the view, following its model row as rows come and go before it.
class ItemRowAccessible final : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ItemRowAccessible(ItemRowsAccessible* owner, const QModelIndex& index) : m_owner(owner), m_index(index) {}
    ~ItemRowAccessible() override
    {
        for (const QAccessible::Id id : m_cells)
            if (id != 0)
                drop(id);
    }

    [[nodiscard]] ItemRowsAccessible* owner() const { return m_owner; }
    [[nodiscard]] const QPersistentModelIndex& index() const { return m_index; }

    [[nodiscard]] bool isValid() const override { return m_index.isValid() && m_owner->view(); }
    [[nodiscard]] QObject* object() const override { return nullptr; }
    [[nodiscard]] QWindow* window() const override { return m_owner->window(); }
    [[nodiscard]] QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i) {
            QAccessibleInterface* part = child(i);
            if (part && part->rect().contains(x, y))
                return part;
        }
        return nullptr;
    }
    [[nodiscard]] QAccessibleInterface* parent() const override { return m_owner; }
    [[nodiscard]] QAccessibleInterface* child(int index) const override
    {
        if (!isValid() || index < 0)
            return nullptr;
        const int columns = m_owner->columnCount();
        if (index < columns)
            return cell(index);
        QWidget* shown = index == columns ? m_owner->rowWidget(m_index) : nullptr;
        return shown ? QAccessible::queryAccessibleInterface(shown) : nullptr;
    }
    [[nodiscard]] int childCount() const override
    {
        if (!isValid())
            return 0;
        return m_owner->columnCount() + (m_owner->rowWidget(m_index) ? 1 : 0);
    }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child || !isValid())
            return -1;
        for (int column = 0; column < int(m_cells.size()); ++column)
            if (m_cells[size_t(column)] != 0 && QAccessible::accessibleInterface(m_cells[size_t(column)]) == child)
                return column;
        QWidget* shown = m_owner->rowWidget(m_index);
        return shown && child->object() == shown ? m_owner->columnCount() : -1;
    }
    [[nodiscard]] QString text(QAccessible::Text kind) const override
    {
        if (!isValid())
            return {};
        QString text = m_owner->rowText(m_index, kind);
        if (kind == QAccessible::Name)
            m_told = text;
        return text;
    }
    void setText(QAccessible::Text, const QString&) override {}
    [[nodiscard]] QRect rect() const override
    {
        return isValid() ? toScreen(m_owner->view()->visualRect(m_index)) : QRect();
    }
    [[nodiscard]] QAccessible::Role role() const override { return m_owner->rowRole(); }
    [[nodiscard]] QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        const QAbstractItemView* view = m_owner->view();
        if (!view->isVisible())
            state.invisible = true;
        else if (!view->viewport()->rect().intersects(view->visualRect(m_index)))
            state.offscreen = true;
        m_owner->addRowState(m_index, state);
        return state;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    [[nodiscard]] QStringList actionNames() const override
    {
        return isValid() ? m_owner->rowActions(m_index) : QStringList();
    }
    [[nodiscard]] QString localizedActionDescription(const QString& name) const override
    {
        return isValid() ? m_owner->rowActionDescription(m_index, name) : QString();
    }
    void doAction(const QString& name) override
    {
        // Only what the row offers now: a tool may press from a list it read before a change.
        if (isValid() && m_owner->rowActions(m_index).contains(name))
            m_owner->doRowAction(m_index, name);
    }
    [[nodiscard]] QStringList keyBindingsForAction(const QString&) const override { return {}; }

    [[nodiscard]] QAccessibleInterface* cell(int column) const
    {
        if (column < 0 || column >= m_owner->columnCount())
            return nullptr;
        if (m_cells.size() <= size_t(column))
            m_cells.resize(size_t(m_owner->columnCount()), 0);
        QAccessible::Id& id = m_cells[size_t(column)];
        if (QAccessibleInterface* made = id != 0 ? QAccessible::accessibleInterface(id) : nullptr)
            return made;
        auto* made = new ItemCellAccessible(const_cast<ItemRowAccessible*>(this), column);
        id = QAccessible::registerAccessibleInterface(made);
        return made;
    }

    [[nodiscard]] QRect toScreen(const QRect& inViewport) const
    {
        const QWidget* viewport = m_owner->view()->viewport();
        return QRect(viewport->mapToGlobal(inViewport.topLeft()), inViewport.size());
    }

    void refresh()
    {
        if (!isValid())
            return;
        const QString now = m_owner->rowText(m_index, QAccessible::Name);
        if (now != m_told) {
            m_told = now;
            announce(this, QAccessible::NameChanged);
        }
        for (const QAccessible::Id id : m_cells)
            if (QAccessibleInterface* made = id != 0 ? QAccessible::accessibleInterface(id) : nullptr)
                static_cast<ItemCellAccessible*>(made)->refresh();
    }

private:
    ItemRowsAccessible* m_owner;
    QPersistentModelIndex m_index;
    mutable QString m_told;
    mutable std::vector<QAccessible::Id> m_cells;
};

bool ItemCellAccessible::isValid() const
{
    return m_row->isValid();
}

QWindow* ItemCellAccessible::window() const
{
    return m_row->window();
}

QAccessibleInterface* ItemCellAccessible::parent() const
{
    return m_row;
}

QWidget* ItemCellAccessible::widget() const
{
    return isValid() ? m_row->owner()->cellWidget(m_row->index(), m_column) : nullptr;
}

QString ItemCellAccessible::text(QAccessible::Text kind) const
{
    if (!isValid())
        return {};
    QString text = m_row->owner()->cellText(m_row->index(), m_column, kind);
    if (kind == QAccessible::Name)
        m_told = text;
    return text;
}

QRect ItemCellAccessible::rect() const
{
    return isValid() ? m_row->toScreen(m_row->owner()->cellRect(m_row->index(), m_column)) : QRect();
}

QAccessible::State ItemCellAccessible::state() const
{
    QAccessible::State state = m_row->state();
    // The row's selection and actions are the row's.
    state.selectable = false;
    state.selected = false;
    return state;
}

void ItemCellAccessible::refresh()
{
    const QString now = m_row->owner()->cellText(m_row->index(), m_column, QAccessible::Name);
    if (now == m_told)
        return;
    m_told = now;
    announce(this, QAccessible::NameChanged);
}

ItemRowsAccessible::ItemRowsAccessible(QAbstractItemView* view, QAccessible::Role role, QAccessible::Role rowRole)
    : QAccessibleWidget(view, role), m_rowRole(rowRole)
{
    follow(view->model());
}

ItemRowsAccessible::~ItemRowsAccessible()
{
    m_watcher.reset();
    for (const QAccessible::Id id : std::as_const(m_rows))
        drop(id);
}

QAbstractItemView* ItemRowsAccessible::view() const
{
    return static_cast<QAbstractItemView*>(widget());
}

QAbstractItemModel* ItemRowsAccessible::model() const
{
    QAbstractItemModel* now = view() ? view()->model() : nullptr;
    if (now != m_model || (now && !m_watcher))
        follow(now);
    return now;
}

void ItemRowsAccessible::follow(QAbstractItemModel* model) const
{
    auto* self = const_cast<ItemRowsAccessible*>(this);
    m_watcher.reset();
    for (const QAccessible::Id id : std::as_const(m_rows))
        drop(id);
    m_rows.clear();
    m_model = model;
    if (!model)
        return;
    m_watcher = std::make_unique<QObject>();
    QObject* watcher = m_watcher.get();
    QObject::connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, watcher,
                     [self](const QModelIndex& parent, int first, int last) {
                         if (!parent.isValid())
                             self->dropRows(first, last);
                     });
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, watcher, [self] { self->reindex(); });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, watcher,
                     [self](const QModelIndex& parent, int first, int last) {
                         if (!parent.isValid())
                             self->rowsInserted(first, last);
                     });
    QObject::connect(model, &QAbstractItemModel::rowsMoved, watcher, [self] { self->reindex(); });
    QObject::connect(model, &QAbstractItemModel::layoutChanged, watcher, [self] { self->reindex(); });
    QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, watcher, [self] { self->dropAll(); });
    QObject::connect(model, &QAbstractItemModel::modelReset, watcher, [self] {
        // Every row is new: one announcement has the tools read the rows again.
        const int rows = self->model() ? self->model()->rowCount() : 0;
        if (rows > 0 && self->announcesNewRows())
            announce(self->rowInterface(rows - 1), QAccessible::ObjectCreated);
    });
    QObject::connect(model, &QAbstractItemModel::dataChanged, watcher,
                     [self](const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
                         if (topLeft.isValid() && bottomRight.isValid() && !topLeft.parent().isValid())
                             self->dataChanged(topLeft.row(), bottomRight.row(), roles);
                     });
}

ItemRowAccessible* ItemRowsAccessible::cachedRow(int row) const
{
    const auto it = m_rows.constFind(row);
    return it == m_rows.cend() ? nullptr : static_cast<ItemRowAccessible*>(QAccessible::accessibleInterface(*it));
}

void ItemRowsAccessible::dropRows(int first, int last)
{
    for (auto it = m_rows.begin(); it != m_rows.end();) {
        if (it.key() < first || it.key() > last) {
            ++it;
            continue;
        }
        announce(QAccessible::accessibleInterface(it.value()), QAccessible::ObjectDestroyed);
        drop(it.value());
        it = m_rows.erase(it);
    }
}

void ItemRowsAccessible::dropAll()
{
    dropRows(0, std::numeric_limits<int>::max());
}

void ItemRowsAccessible::reindex()
{
    QHash<int, QAccessible::Id> rows;
    rows.reserve(m_rows.size());
    for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it) {
        auto* row = static_cast<ItemRowAccessible*>(QAccessible::accessibleInterface(it.value()));
        if (row && row->index().isValid())
            rows.insert(row->index().row(), it.value());
        else
            drop(it.value());
    }
    m_rows = std::move(rows);
}

void ItemRowsAccessible::rowsInserted(int first, int last)
{
    QAbstractItemModel* rows = model();
    // Rows added at the end move none of the rows already made.
    if (!m_rows.isEmpty() && last < rows->rowCount() - 1)
        reindex();
    if (!announcesNewRows() || !QAccessible::isActive() || last - first >= kMostAnnouncedRows)
        return;
    for (int row = first; row <= last; ++row)
        announce(rowInterface(row), QAccessible::ObjectCreated);
}

void ItemRowsAccessible::dataChanged(int first, int last, const QList<int>& roles)
{
    if (m_rows.isEmpty() || !affectsText(roles))
        return;
    if (qsizetype(last) - first + 1 > m_rows.size()) {
        for (auto it = m_rows.cbegin(); it != m_rows.cend(); ++it)
            if (it.key() >= first && it.key() <= last)
                if (ItemRowAccessible* row = cachedRow(it.key()))
                    row->refresh();
        return;
    }
    for (int row = first; row <= last; ++row)
        if (ItemRowAccessible* made = cachedRow(row))
            made->refresh();
}

bool ItemRowsAccessible::affectsText(const QList<int>&) const
{
    return true;
}

int ItemRowsAccessible::childCount() const
{
    QAbstractItemModel* rows = model();
    return rows ? rows->rowCount() : 0;
}

QAccessibleInterface* ItemRowsAccessible::rowInterface(int row) const
{
    QAbstractItemModel* rows = model();
    if (!rows || row < 0 || row >= rows->rowCount())
        return nullptr;
    if (ItemRowAccessible* made = cachedRow(row); made && made->index().isValid() && made->index().row() == row)
        return made;
    auto* made = new ItemRowAccessible(const_cast<ItemRowsAccessible*>(this), rows->index(row, 0));
    if (const auto old = m_rows.constFind(row); old != m_rows.cend())
        drop(*old);
    m_rows.insert(row, QAccessible::registerAccessibleInterface(made));
    return made;
}

QAccessibleInterface* ItemRowsAccessible::child(int index) const
{
    return rowInterface(index);
}

int ItemRowsAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* row = dynamic_cast<const ItemRowAccessible*>(child);
    if (!row || row->owner() != this || !row->index().isValid())
        return -1;
    return row->index().row();
}

QAccessibleInterface* ItemRowsAccessible::childAt(int x, int y) const
{
    const QAbstractItemView* list = view();
    const QModelIndex index = list->indexAt(list->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? rowInterface(index.row()) : nullptr;
}

QAccessibleInterface* ItemRowsAccessible::rowShowing(const QWidget* widget) const
{
    if (!widget || !widget->isVisible() || widget->parentWidget() != view()->viewport())
        return nullptr;
    // A widget shown in a row lies over it.
    const QModelIndex index = view()->indexAt(widget->geometry().center());
    return index.isValid() && rowWidget(index) == widget ? rowInterface(index.row()) : nullptr;
}

QString ItemRowsAccessible::rowText(const QModelIndex& index, QAccessible::Text kind) const
{
    switch (kind) {
    case QAccessible::Name: {
        const QString text = index.data(Qt::AccessibleTextRole).toString();
        return text.isEmpty() ? index.data(Qt::DisplayRole).toString() : text;
    }
    case QAccessible::Description: {
        const QString text = index.data(Qt::AccessibleDescriptionRole).toString();
        return text.isEmpty() ? index.data(Qt::ToolTipRole).toString() : text;
    }
    default:
        return {};
    }
}

void ItemRowsAccessible::addRowState(const QModelIndex&, QAccessible::State&) const
{
}

QStringList ItemRowsAccessible::rowActions(const QModelIndex&) const
{
    return {};
}

QString ItemRowsAccessible::rowActionDescription(const QModelIndex&, const QString&) const
{
    return {};
}

void ItemRowsAccessible::doRowAction(const QModelIndex&, const QString&)
{
}

QString ItemRowsAccessible::cellText(const QModelIndex&, int, QAccessible::Text) const
{
    return {};
}

QRect ItemRowsAccessible::cellRect(const QModelIndex& index, int) const
{
    return view()->visualRect(index);
}

QWidget* ItemRowsAccessible::cellWidget(const QModelIndex&, int) const
{
    return nullptr;
}

QWidget* ItemRowsAccessible::rowWidget(const QModelIndex&) const
{
    return nullptr;
}
