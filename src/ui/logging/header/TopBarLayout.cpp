#include "ui/logging/header/TopBarLayout.h"

#include "screens/ScreenLayout.h"

#include <algorithm>

#include <cmath>

TopBarLayout::TopBarLayout(int spacing) : WrappingLayout(spacing)
{
}

TopBarPlan TopBarLayout::plan(double width, QList<QLayoutItem*>* placed) const
{
    TopBarPlan::Input input;
    input.width = width;
    input.spacing = spacing();
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        QLayoutItem* item = m_items[i];
        if (i == 0) {
            input.brand = item->isEmpty() ? QSizeF() : QSizeF(item->sizeHint());
            continue;
        }
        if (item->isEmpty())
            continue;
        input.controls.append(QSizeF(item->sizeHint()));
        if (placed)
            placed->append(item);
    }
    return TopBarPlan::of(input);
}

int TopBarLayout::heightForWidth(int width) const
{
    return int(std::ceil(plan(width).height));
}

QSize TopBarLayout::minimumSize() const
{
    int widest = 0;
    for (const QLayoutItem* item : m_items)
        if (!item->isEmpty())
            widest = std::max(widest, item->sizeHint().width());
    return {widest, heightForWidth(widest)};
}

void TopBarLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    QList<QLayoutItem*> placed;
    const TopBarPlan arranged = plan(rect.width(), &placed);
    const QPointF origin = rect.topLeft();
    if (!m_items.isEmpty() && !m_items.first()->isEmpty())
        m_items.first()->setGeometry(arranged.brand.translated(origin).toRect());
    for (qsizetype i = 0; i < placed.size(); ++i)
        placed[i]->setGeometry(arranged.controls[i].translated(origin).toRect());
}
