#pragma once

#include "platform/Clock.h"

class MotionPreference;

#include <chrono>
#include <functional>
#include <memory>

// The one timer behind every animation on screen: button pops, flashes, the jump highlight,
// meters, the timecode panel and the character. It ticks the animations that run about 60 times
// a second, each with the seconds since its own previous tick, and stops when none runs, so an
// idle window wakes nobody. It also hands out whether motion is reduced: an animation that would
// start then puts its value at the end instead.
//
// Main thread only.
class FrameClock {
public:
    // The tick: given the seconds since the animation's previous tick (or since it started),
    // it moves the animation on and says whether it still runs.
    using Tick = std::function<bool(double elapsedSeconds)>;

    static constexpr std::chrono::milliseconds kInterval{16};

    struct State;

    // One registered animation. Destroying the handle unregisters it, also from inside a tick
    // (its own or another's); a handle that outlives its clock does nothing.
    class Animation {
    public:
        Animation() = default;
        ~Animation();
        Animation(Animation&& other) noexcept;
        Animation& operator=(Animation&& other) noexcept;
        Animation(const Animation&) = delete;
        Animation& operator=(const Animation&) = delete;

        // Ticks from the next frame on, the first time with the seconds since now; does nothing
        // while it runs.
        void start();
        // No more ticks until the next start.
        void stop();
        [[nodiscard]] bool isRunning() const;

    private:
        friend class FrameClock;
        struct Entry;
        Animation(std::weak_ptr<State> clock, std::shared_ptr<Entry> entry);
        void release();

        std::weak_ptr<State> m_clock;
        std::shared_ptr<Entry> m_entry;
    };

    // `clock` null: the system clock; `motion` null: the application's preference.
    explicit FrameClock(Clock* clock = nullptr, MotionPreference* motion = nullptr);
    ~FrameClock();
    FrameClock(const FrameClock&) = delete;
    FrameClock& operator=(const FrameClock&) = delete;

    // The application's frame clock, on the system clock; created on first use.
    static FrameClock& shared();

    // Registers `tick`, not running yet.
    [[nodiscard]] Animation add(Tick tick);

    // The timer runs: some animation runs.
    [[nodiscard]] bool isTicking() const;
    [[nodiscard]] int runningCount() const;

    [[nodiscard]] MotionPreference& motion() const;
    [[nodiscard]] bool reduceMotion() const;

private:
    std::shared_ptr<State> m_state;
};
