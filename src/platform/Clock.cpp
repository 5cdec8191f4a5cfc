#include "platform/Clock.h"

#include <QTimer>

namespace {

class QtTimer final : public Clock::Timer {
public:
    explicit QtTimer(std::function<void()> action)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, std::move(action));
    }
    void start(std::chrono::milliseconds interval) override { m_timer.start(interval); }
    void stop() override { m_timer.stop(); }
    [[nodiscard]] bool isActive() const override { return m_timer.isActive(); }
    void setSingleShot(bool singleShot) override { m_timer.setSingleShot(singleShot); }
    [[nodiscard]] std::chrono::milliseconds interval() const override { return m_timer.intervalAsDuration(); }

private:
    QTimer m_timer;
};

class SystemClock final : public Clock {
public:
    [[nodiscard]] Date now() const override { return Date::now(); }
    [[nodiscard]] Duration monotonic() const override
    {
        return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now().time_since_epoch());
    }
    [[nodiscard]] std::unique_ptr<Timer> makeTimer(std::function<void()> action) override
    {
        return std::make_unique<QtTimer>(std::move(action));
    }
    void singleShot(std::chrono::milliseconds delay, QObject* context, std::function<void()> action) override
    {
        QTimer::singleShot(delay, Qt::PreciseTimer, context, std::move(action));
    }
};

} // namespace

Clock& Clock::system()
{
    static SystemClock clock;
    return clock;
}
