#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

#include <memory>

class ItemRowAccessible;
class QAbstractItemModel;
class QAbstractItemView;

// An item view whose rows a delegate paints, as assistive tools read it: one child per model row,
// each with its texts, state and actions, optionally cells of text and a widget shown in the row.
// A subclass says what a row reads and does.
//
// A row's interface is made when a tool first asks for it and kept until the row goes, so a long
// list costs what the tools read. The rows follow the model: tools hear of rows that go, of new
// ones when the subclass announces them, and of a row's or a cell's name only when it changed.
class ItemRowsAccessible : public QAccessibleWidget {
public:
    ItemRowsAccessible(QAbstractItemView* view, QAccessible::Role role, QAccessible::Role rowRole);
    ~ItemRowsAccessible() override;

    [[nodiscard]] QAbstractItemView* view() const;
    [[nodiscard]] QAccessible::Role rowRole() const { return m_rowRole; }

    [[nodiscard]] int childCount() const override;
    [[nodiscard]] QAccessibleInterface* child(int index) const override;
    [[nodiscard]] int indexOfChild(const QAccessibleInterface* child) const override;
    [[nodiscard]] QAccessibleInterface* childAt(int x, int y) const override;

    // The interface of the model's row `row`; null when there is no such row.
    [[nodiscard]] QAccessibleInterface* rowInterface(int row) const;

    // What a row reads and does; `index` is a valid row of the view's model. The name defaults to
    // the model's accessible text (else its display text), the description to its tooltip.
    [[nodiscard]] virtual QString rowText(const QModelIndex& index, QAccessible::Text kind) const;
    virtual void addRowState(const QModelIndex& index, QAccessible::State& state) const;
    [[nodiscard]] virtual QStringList rowActions(const QModelIndex& index) const;
    [[nodiscard]] virtual QString rowActionDescription(const QModelIndex& index, const QString& action) const;
    virtual void doRowAction(const QModelIndex& index, const QString& action);

    // Every row's cells of text, left to right.
    [[nodiscard]] virtual int columnCount() const { return 0; }
    [[nodiscard]] virtual QString cellText(const QModelIndex& index, int column, QAccessible::Text kind) const;
    // In the viewport's coordinates; the row's rect by default.
    [[nodiscard]] virtual QRect cellRect(const QModelIndex& index, int column) const;
    // A widget shown in a cell (an editor), read as the cell's child; null for none.
    [[nodiscard]] virtual QWidget* cellWidget(const QModelIndex& index, int column) const;
    // A widget shown in the row after its cells, read as the row's last child; null for none.
    [[nodiscard]] virtual QWidget* rowWidget(const QModelIndex& index) const;

    // The row whose rowWidget is `widget`; null when no row shows it.
    [[nodiscard]] QAccessibleInterface* rowShowing(const QWidget* widget) const;

protected:
    // Whether new rows, arriving a few at a time, are announced to tools as they come.
    [[nodiscard]] virtual bool announcesNewRows() const { return false; }
    // Whether a change of `roles` (all when empty) can change what a row or its cells read.
    [[nodiscard]] virtual bool affectsText(const QList<int>& roles) const;

private:
    friend class ItemRowAccessible;

    [[nodiscard]] QAbstractItemModel* model() const;
    void follow(QAbstractItemModel* model) const;
    void dropRows(int first, int last);
    void dropAll();
    // Cached rows keyed by their row again, after rows came, went or moved.
    void reindex();
    void rowsInserted(int first, int last);
    void dataChanged(int first, int last, const QList<int>& roles);
    [[nodiscard]] ItemRowAccessible* cachedRow(int row) const;

    QAccessible::Role m_rowRole;
    mutable QPointer<QAbstractItemModel> m_model;
    // Receives the model's news; its connections go with it.
    mutable std::unique_ptr<QObject> m_watcher;
    mutable QHash<int, QAccessible::Id> m_rows;
};
