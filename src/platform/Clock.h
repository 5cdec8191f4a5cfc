#pragma once

#include "platform/Date.h"

#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

// The one source of time and timers. Code that reads the time or waits takes a `Clock*` (null
// means `Clock::system()`), so a test can put a `ManualClock` in its place and run minutes of
// timers in an instant.
class Clock {
public:
    using Duration = std::chrono::nanoseconds;

    // A timer owned by its caller: destroying it stops it. Start, stop and destroy it on the thread
    // that made it; its action runs there too.
    class Timer {
    public:
        virtual ~Timer() = default;
        // (Re)starts the timer: the action runs `interval` from now, and every `interval` after
        // that unless the timer is single-shot.
        virtual void start(std::chrono::milliseconds interval) = 0;
        virtual void stop() = 0;
        [[nodiscard]] virtual bool isActive() const = 0;
        virtual void setSingleShot(bool singleShot) = 0;
        [[nodiscard]] virtual std::chrono::milliseconds interval() const = 0;
    };

    virtual ~Clock() = default;

    // The wall clock. Safe from any thread.
    [[nodiscard]] virtual Date now() const = 0;
    // Time that only moves forwards, from an arbitrary origin. Safe from any thread.
    [[nodiscard]] virtual Duration monotonic() const = 0;

    // A stopped repeating timer that runs `action` on each timeout.
    [[nodiscard]] virtual std::unique_ptr<Timer> makeTimer(std::function<void()> action) = 0;

    // Runs `action` once, `delay` from now, on `context`'s thread; never once `context` is gone.
    virtual void singleShot(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) = 0;

    // The real clock and Qt's timers.
    static Clock& system();
    // `clock`, or the real one when null.
    static Clock& orSystem(Clock* clock) { return clock ? *clock : system(); }

    [[nodiscard]] double monotonicSeconds() const { return std::chrono::duration<double>(monotonic()).count(); }
};
