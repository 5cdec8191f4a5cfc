#include "ui/logging/header/WrappingLayout.h"

#include <algorithm>

WrappingLayout::WrappingLayout(int spacing)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(spacing);
}

WrappingLayout::~WrappingLayout()
{
    qDeleteAll(m_items);
}

void WrappingLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
    invalidate();
}

QLayoutItem* WrappingLayout::itemAt(int index) const
{
    return m_items.value(index);
}

QLayoutItem* WrappingLayout::takeAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return nullptr;
    QLayoutItem* item = m_items.takeAt(index);
    invalidate();
    return item;
}

int WrappingLayout::count() const
{
    return int(m_items.size());
}

QSize WrappingLayout::sizeHint() const
{
    int width = 0;
    int items = 0;
    for (const QLayoutItem* item : m_items)
        if (!item->isEmpty()) {
            width += item->sizeHint().width();
            ++items;
        }
    width += spacing() * std::max(0, items - 1);
    return {width, heightForWidth(width)};
}
