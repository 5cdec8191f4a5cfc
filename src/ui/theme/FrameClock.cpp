#include "ui/theme/FrameClock.h"

#include "platform/MotionPreference.h"

#include <algorithm>
#include <vector>

struct FrameClock::Animation::Entry {
    Tick tick;
    bool registered = true;
    bool running = false;
    Clock::Duration lastTick{};
};

struct FrameClock::State {
    using Entry = Animation::Entry;

    State(Clock& clock, MotionPreference& motion) : clock(clock), motion(motion) {}

    Clock& clock;
    MotionPreference& motion;
    std::unique_ptr<Clock::Timer> timer;
    std::vector<std::shared_ptr<Entry>> entries;
    // The entries of the tick under way. Kept between ticks so a frame allocates nothing; holding
    // them keeps an entry (and the tick it is running) alive when its handle goes mid-tick.
    std::vector<std::shared_ptr<Entry>> ticking;

    [[nodiscard]] int runningCount() const
    {
        return static_cast<int>(
            std::count_if(entries.begin(), entries.end(), [](const auto& e) { return e->running; }));
    }

    void start(Entry& entry)
    {
        if (!entry.registered || entry.running)
            return;
        entry.running = true;
        entry.lastTick = clock.monotonic();
        if (!timer->isActive())
            timer->start(kInterval);
    }

    void stopWhenIdle()
    {
        if (runningCount() == 0)
            timer->stop();
    }

    void forget(const Entry* entry)
    {
        std::erase_if(entries, [entry](const auto& e) { return e.get() == entry; });
        stopWhenIdle();
    }

    void tick()
    {
        const Clock::Duration now = clock.monotonic();
        ticking.assign(entries.begin(), entries.end());
        for (const std::shared_ptr<Entry>& entry : ticking) {
            if (!entry->registered || !entry->running)
                continue;
            const double elapsed = std::chrono::duration<double>(now - entry->lastTick).count();
            entry->lastTick = now;
            if (!entry->tick(elapsed))
                entry->running = false;
        }
        ticking.clear();
        stopWhenIdle();
    }
};

FrameClock::FrameClock(Clock* clock, MotionPreference* motion)
    : m_state(std::make_shared<State>(Clock::orSystem(clock), motion ? *motion : MotionPreference::shared()))
{
    m_state->timer = m_state->clock.makeTimer([weak = std::weak_ptr<State>(m_state)] {
        // Held for the tick: an animation may drop the last owner of the clock while it runs.
        if (const std::shared_ptr<State> state = weak.lock())
            state->tick();
    });
}

FrameClock::~FrameClock() = default;

FrameClock& FrameClock::shared()
{
    static FrameClock clock;
    return clock;
}

FrameClock::Animation FrameClock::add(Tick tick)
{
    auto entry = std::make_shared<Animation::Entry>();
    entry->tick = std::move(tick);
    m_state->entries.push_back(entry);
    return Animation(m_state, std::move(entry));
}

bool FrameClock::isTicking() const
{
    return m_state->timer->isActive();
}

int FrameClock::runningCount() const
{
    return m_state->runningCount();
}

MotionPreference& FrameClock::motion() const
{
    return m_state->motion;
}

bool FrameClock::reduceMotion() const
{
    return m_state->motion.reduceMotion();
}

FrameClock::Animation::Animation(std::weak_ptr<State> clock, std::shared_ptr<Entry> entry)
    : m_clock(std::move(clock)), m_entry(std::move(entry))
{
}

FrameClock::Animation::~Animation()
{
    release();
}

FrameClock::Animation::Animation(Animation&& other) noexcept
    : m_clock(std::move(other.m_clock)), m_entry(std::move(other.m_entry))
{
}

FrameClock::Animation& FrameClock::Animation::operator=(Animation&& other) noexcept
{
    if (this != &other) {
        release();
        m_clock = std::move(other.m_clock);
        m_entry = std::move(other.m_entry);
    }
    return *this;
}

void FrameClock::Animation::release()
{
    if (!m_entry)
        return;
    m_entry->registered = false;
    m_entry->running = false;
    if (const std::shared_ptr<State> state = m_clock.lock())
        state->forget(m_entry.get());
    m_entry.reset();
}

void FrameClock::Animation::start()
{
    if (const std::shared_ptr<State> state = m_clock.lock(); state && m_entry)
        state->start(*m_entry);
}

void FrameClock::Animation::stop()
{
    if (!m_entry)
        return;
    m_entry->running = false;
    if (const std::shared_ptr<State> state = m_clock.lock())
        state->stopWhenIdle();
}

bool FrameClock::Animation::isRunning() const
{
    return m_entry && m_entry->running && !m_clock.expired();
}
