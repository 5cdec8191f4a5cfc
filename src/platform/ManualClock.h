#pragma once

#include "platform/Clock.h"

#include <atomic>
#include <memory>

// A clock for tests: time stands still until `advance` moves it, and timers fire inside
// `advance`, in order of their due times, each seeing the clock at its own due time. Timers and
// `advance` belong to one thread; `now` and `monotonic` may be read from any.
class ManualClock final : public Clock {
public:
    explicit ManualClock(Date start = Date{800000000.0});
    ~ManualClock() override;

    [[nodiscard]] Date now() const override;
    [[nodiscard]] Duration monotonic() const override;
    [[nodiscard]] std::unique_ptr<Timer> makeTimer(std::function<void()> action) override;
    void singleShot(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override;

    // Moves time on by `step`, firing every timer that falls due on the way.
    void advance(Duration step);
    // Fires what is due now (zero-delay single-shots) without moving time.
    void fireDue() { advance(Duration::zero()); }
    // Sets the wall clock (a user changing the time, a laptop waking); monotonic time and timers
    // do not move.
    void setNow(Date now);

    // Timers and single-shots that would still fire.
    [[nodiscard]] int activeTimerCount() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};
