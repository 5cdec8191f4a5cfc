#include "ui/logging/header/TimecodeRowLayout.h"

#include "screens/ScreenLayout.h"

#include <algorithm>
#include <cmath>

TimecodeRowLayout::TimecodeRowLayout(int spacing, int lineSpacing, int trailingFrom)
    : WrappingLayout(spacing), m_lineSpacing(lineSpacing), m_trailingFrom(trailingFrom)
{
}

TimecodeRowPlan TimecodeRowLayout::plan(int width) const
{
    TimecodeRowPlan::Input input;
    input.width = width;
    input.spacing = spacing();
    input.lineSpacing = m_lineSpacing;
    input.trailingFrom = m_trailingFrom;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty()) {
            input.items.append(QSizeF());
            continue;
        }
        // An item given less than its width (a wrapping scan message) grows downwards.
        const QSize hint = item->sizeHint();
        const int given = int(TimecodeRowPlan::itemWidth(hint.width(), width));
        const int height =
            given < hint.width() && item->hasHeightForWidth() ? item->heightForWidth(given) : hint.height();
        input.items.append(QSizeF(hint.width(), std::max(height, 1)));
    }
    return TimecodeRowPlan::of(input);
}

int TimecodeRowLayout::heightForWidth(int width) const
{
    return int(std::ceil(plan(width).height));
}

QSize TimecodeRowLayout::minimumSize() const
{
    // The height a width needs is heightForWidth's: a window's least height is not that of the
    // panel at its narrowest, every item on a line of its own.
    QSize least;
    for (const QLayoutItem* item : m_items)
        if (!item->isEmpty())
            least = least.expandedTo(item->minimumSize());
    return least;
}

void TimecodeRowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    const TimecodeRowPlan arranged = plan(rect.width());
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (!m_items[i]->isEmpty())
            m_items[i]->setGeometry(arranged.items[i].translated(rect.topLeft()).toRect());
}
