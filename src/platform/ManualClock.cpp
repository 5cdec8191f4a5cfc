#include "platform/ManualClock.h"

#include <QtGlobal>

#include <algorithm>
#include <vector>

using namespace std::chrono_literals;

struct ManualClock::State {
    struct Entry {
        Duration due{};
        quint64 order = 0;
        std::chrono::milliseconds interval{};
        bool singleShot = false;
        bool active = false;
        // Single-shots made by `Clock::singleShot` run at most once and only while their context lives.
        bool guarded = false;
        QPointer<QObject> context;
        std::function<void()> action;
    };

    std::atomic<qint64> monotonicNs{0};
    std::atomic<double> wallOffset{0.0};
    quint64 nextOrder = 0;
    std::vector<std::shared_ptr<Entry>> entries;

    void schedule(const std::shared_ptr<Entry>& entry, std::chrono::milliseconds interval)
    {
        entry->interval = std::max(interval, 0ms);
        entry->due = Duration(monotonicNs.load()) + entry->interval;
        entry->order = nextOrder++;
        entry->active = true;
        if (std::find(entries.begin(), entries.end(), entry) == entries.end())
            entries.push_back(entry);
    }

    void forget(const Entry* entry)
    {
        std::erase_if(entries, [entry](const std::shared_ptr<Entry>& e) { return e.get() == entry; });
    }
};

namespace {

class ManualTimer final : public Clock::Timer {
public:
    ManualTimer(std::shared_ptr<ManualClock::State> state, std::function<void()> action)
        : m_state(std::move(state)), m_entry(std::make_shared<ManualClock::State::Entry>())
    {
        m_entry->action = std::move(action);
    }
    ~ManualTimer() override
    {
        m_entry->active = false;
        m_state->forget(m_entry.get());
    }

    void start(std::chrono::milliseconds interval) override { m_state->schedule(m_entry, interval); }
    void stop() override { m_entry->active = false; }
    [[nodiscard]] bool isActive() const override { return m_entry->active; }
    void setSingleShot(bool singleShot) override { m_entry->singleShot = singleShot; }
    [[nodiscard]] std::chrono::milliseconds interval() const override { return m_entry->interval; }

private:
    std::shared_ptr<ManualClock::State> m_state;
    std::shared_ptr<ManualClock::State::Entry> m_entry;
};

} // namespace

ManualClock::ManualClock(Date start) : m_state(std::make_shared<State>())
{
    m_state->wallOffset = start.sinceReferenceDate;
}

ManualClock::~ManualClock() = default;

Date ManualClock::now() const
{
    return Date{m_state->wallOffset.load() + std::chrono::duration<double>(monotonic()).count()};
}

Clock::Duration ManualClock::monotonic() const
{
    return Duration(m_state->monotonicNs.load());
}

std::unique_ptr<Clock::Timer> ManualClock::makeTimer(std::function<void()> action)
{
    return std::make_unique<ManualTimer>(m_state, std::move(action));
}

void ManualClock::singleShot(std::chrono::milliseconds delay, QObject* context, std::function<void()> action)
{
    auto entry = std::make_shared<State::Entry>();
    entry->singleShot = true;
    entry->guarded = true;
    entry->context = context;
    entry->action = std::move(action);
    m_state->schedule(entry, delay);
}

void ManualClock::advance(Duration step)
{
    State& s = *m_state;
    const Duration target = monotonic() + std::max(step, Duration::zero());
    // A timer that keeps restarting itself with no delay would never let time move on.
    constexpr int kMaxFirings = 10'000'000;
    for (int firings = 0; firings < kMaxFirings; ++firings) {
        std::erase_if(s.entries, [](const std::shared_ptr<State::Entry>& e) { return !e->active; });
        std::shared_ptr<State::Entry> next;
        for (const auto& entry : s.entries) {
            if (entry->due <= target &&
                (!next || entry->due < next->due || (entry->due == next->due && entry->order < next->order)))
                next = entry;
        }
        if (!next)
            break;
        if (next->due > monotonic())
            s.monotonicNs = next->due.count();
        if (next->singleShot) {
            next->active = false;
        } else {
            // A repeating timer with no interval fires once per step, as Qt's would once per loop pass.
            next->due += std::max<Duration>(next->interval, 1ms);
            next->order = s.nextOrder++;
        }
        if (next->guarded && !next->context)
            continue;
        // The action may destroy the timer that holds it: keep it alive while it runs.
        const auto action = next->action;
        action();
    }
    s.monotonicNs = std::max(monotonic(), target).count();
}

void ManualClock::setNow(Date now)
{
    m_state->wallOffset = now.sinceReferenceDate - std::chrono::duration<double>(monotonic()).count();
}

int ManualClock::activeTimerCount() const
{
    return static_cast<int>(std::count_if(m_state->entries.begin(), m_state->entries.end(),
                                          [](const auto& e) { return e->active && (!e->guarded || e->context); }));
}
