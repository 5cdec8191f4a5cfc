#pragma once

// What the screen benchmarks count on the main thread: its own CPU time, and the paint events
// that reach the widgets they watch.

#include <QEvent>
#include <QObject>

#include <ctime>

// CPU seconds this thread has used.
inline double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Counts the paint events that reach the objects it watches.
class PaintCounter final : public QObject {
public:
    long long paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};
