#pragma once

// Whether a person can see a control whole: every widget between it and its window holds it
// without cutting it, and where a scroll area stands between them the area's content holds it
// and its scroll range can bring all of it into the viewport at once.

#include <QAbstractScrollArea>
#include <QRect>
#include <QScrollBar>
#include <QString>
#include <QWidget>

#include <algorithm>
#include <optional>

namespace widget_reach {

inline QString describe(const QWidget* widget)
{
    const QString name = widget->objectName();
    return QString::fromLatin1(widget->metaObject()->className()) +
           (name.isEmpty() ? QString() : QStringLiteral(" '%1'").arg(name));
}

// The scroll value that shows [from, from + length) in a viewport `extent` long, when the bar
// can reach one; `from` is measured with the bar at `value`.
inline std::optional<int> scrollFor(int from, int length, int extent, const QScrollBar* bar)
{
    const int value = bar->value();
    const int start = from + value;
    if (length > extent)
        return std::nullopt;
    const int wanted = std::max(bar->minimum(), start + length - extent);
    if (wanted > bar->maximum() || wanted > start)
        return std::nullopt;
    return wanted;
}

// Empty when `widget` can be brought whole into view inside `window`; else what stops it.
inline QString whyNotWhole(const QWidget* widget, const QWidget* window)
{
    if (!widget->isVisibleTo(window))
        return describe(widget) + QStringLiteral(" is hidden");
    QRect rect = widget->geometry();
    const QWidget* at = widget->parentWidget();
    while (at && at != window) {
        if (!QRect(QPoint(), at->size()).contains(rect))
            return describe(widget) + QStringLiteral(" is cut by ") + describe(at);
        const QWidget* holder = at->parentWidget();
        const auto* area = holder ? qobject_cast<const QAbstractScrollArea*>(holder->parentWidget()) : nullptr;
        if (area && area->viewport() == holder) {
            // `at` is the scrolled content: move it as far as its bars allow.
            const QRect inViewport = rect.translated(at->pos());
            const auto x = scrollFor(inViewport.x(), rect.width(), holder->width(), area->horizontalScrollBar());
            const auto y = scrollFor(inViewport.y(), rect.height(), holder->height(), area->verticalScrollBar());
            if (!x || !y)
                return describe(widget) + QStringLiteral(" is out of reach of ") + describe(area);
            rect = inViewport.translated(area->horizontalScrollBar()->value() - *x,
                                         area->verticalScrollBar()->value() - *y);
            at = holder;
            continue;
        }
        rect.translate(at->pos());
        at = holder;
    }
    if (!at)
        return describe(widget) + QStringLiteral(" is not in the window");
    if (!QRect(QPoint(), window->size()).contains(rect))
        return describe(widget) + QStringLiteral(" is cut by the window");
    return {};
}

} // namespace widget_reach
