#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

// Hands a view the window that hosts it, one event-loop turn after the view is made: the logging
// screen titles its window and keeps it above other windows. A view that has no window by then
// configures nothing.
class WindowAccessor : public QObject {
    Q_OBJECT
public:
    using Configure = std::function<void(QWidget* window)>;

    // Schedules `configure` for `view`'s window; runs at most once.
    static void whenInWindow(QWidget* view, Configure configure);

    // The logging screen's window: its title and the floating level.
    static void configureLoggingWindow(QWidget* window);
    static constexpr char kTitle[] = "Pindle Logger";
};
