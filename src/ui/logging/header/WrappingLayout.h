#pragma once

#include <QLayout>
#include <QList>

// A layout that keeps its items in a list and places them by a plan of its own: the item list
// of the header's rows that wrap when they are too narrow for one line. It takes the width it is
// given and its height follows that width.
class WrappingLayout : public QLayout {
public:
    explicit WrappingLayout(int spacing);
    ~WrappingLayout() override;

    void addItem(QLayoutItem* item) override;
    [[nodiscard]] QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    [[nodiscard]] int count() const override;

    [[nodiscard]] Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    // Every shown item on one line, at the height that width takes.
    [[nodiscard]] QSize sizeHint() const override;

protected:
    QList<QLayoutItem*> m_items;
};
