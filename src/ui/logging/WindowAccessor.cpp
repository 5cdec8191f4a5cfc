#include "ui/logging/WindowAccessor.h"

#include <QTimer>

void WindowAccessor::whenInWindow(QWidget* view, Configure configure)
{
    QTimer::singleShot(0, view, [view, configure = std::move(configure)] {
        // A view with no parent that nobody has shown is in no window yet.
        QWidget* window = view->window();
        if (window == view && !view->isVisible())
            return;
        configure(window);
    });
}

void WindowAccessor::configureLoggingWindow(QWidget* window)
{
    window->setWindowTitle(QString::fromLatin1(kTitle));
    const bool visible = window->isVisible();
    // Changing the flags of a shown window hides it; show it again where it was.
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (visible)
        window->show();
}
