#pragma once

#include <algorithm>
#include <cmath>

// A value easing out toward a target over a fixed time: the opacity of a channel as it turns
// live or quiet. A plain value stepped by the frame clock.
class Fade {
public:
    explicit Fade(double value = 1.0) : m_from(value), m_to(value) {}

    [[nodiscard]] double target() const { return m_to; }
    [[nodiscard]] double value() const
    {
        if (m_duration <= 0 || m_elapsed >= m_duration)
            return m_to;
        const double t = m_elapsed / m_duration;
        return m_from + (m_to - m_from) * t * (2 - t);
    }
    // Starts from where it is now; a target it already heads for changes nothing.
    void setTarget(double target, double seconds)
    {
        if (target == m_to)
            return;
        m_from = value();
        m_to = target;
        m_elapsed = 0;
        m_duration = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    }
    void snap() { m_from = m_to, m_elapsed = m_duration; }
    // False once it reached the target.
    bool step(double seconds)
    {
        if (std::isfinite(seconds) && seconds > 0)
            m_elapsed += seconds;
        return isMoving();
    }
    [[nodiscard]] bool isMoving() const { return m_duration > 0 && m_elapsed < m_duration; }

private:
    double m_from;
    double m_to;
    double m_elapsed = 0;
    double m_duration = 0;
};
