#include "platform/Spring.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Substeps no longer than this fraction of a radian of the spring's oscillation, or of its
// damping time keep the discrete motion close to the continuous one: a critically damped spring
// does not overshoot.
constexpr double kAccuracy = 0.04;

double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

} // namespace

Spring::Spring(double stiffness, double damping, double value)
    : m_stiffness(stiffness), m_damping(damping), m_value(finiteOr(value, 0.0)), m_target(m_value)
{
}

Spring::Spring(Params params, double value) : Spring(std::numeric_limits<double>::infinity(), 0.0, value)
{
    if (std::isfinite(params.response) && params.response > 0.0) {
        const double fraction =
            std::isfinite(params.dampingFraction) ? std::clamp(params.dampingFraction, 0.0, kMaxDampingFraction) : 1.0;
        const double omega = 2.0 * std::numbers::pi / params.response;
        m_stiffness = omega * omega;
        m_damping = 2.0 * fraction * omega;
    }
}

Spring Spring::withStiffness(double stiffness, double damping, double value)
{
    return Spring(stiffness, damping, value);
}

void Spring::setTarget(double target)
{
    if (std::isfinite(target))
        m_target = target;
}

void Spring::setValue(double value)
{
    if (std::isfinite(value))
        m_value = value;
}

void Spring::kick(double velocity)
{
    if (std::isfinite(velocity) && std::isfinite(m_velocity + velocity))
        m_velocity += velocity;
}

void Spring::snap()
{
    m_value = m_target;
    m_velocity = 0.0;
}

void Spring::step(double seconds)
{
    const double omega = std::sqrt(std::max(m_stiffness, 0.0));
    const double fastest = std::max(omega, m_damping);
    const double maxSubstep = fastest > 0.0 ? kAccuracy / fastest : std::numeric_limits<double>::infinity();
    integrate(m_value, m_velocity, m_target, m_stiffness, m_damping, seconds, maxSubstep);
}

bool Spring::isSettled(double tolerance) const
{
    return std::abs(m_value - m_target) <= tolerance && std::abs(m_velocity) <= tolerance;
}

void Spring::integrate(double& x, double& v, double target, double stiffness, double damping, double dt,
                       double maxSubstep)
{
    if (!std::isfinite(dt) || dt <= 0.0)
        return;
    dt = std::min(dt, kMaxStep);
    auto rest = [&] {
        if (std::isfinite(target))
            x = target;
        else if (!std::isfinite(x))
            x = 0.0;
        v = 0.0;
    };
    if (!std::isfinite(x) || !std::isfinite(v) || !std::isfinite(target) || !std::isfinite(stiffness) ||
        !std::isfinite(damping) || stiffness < 0.0 || damping < 0.0)
        return rest();

    // Semi-implicit Euler stays stable while c h < 2 and k h² < 4 - 2 c h; c h ≤ 1 and k h² ≤ 1
    // keep a margin.
    double longest = std::isnan(maxSubstep) || maxSubstep <= 0.0 ? dt : maxSubstep;
    if (damping > 0.0)
        longest = std::min(longest, 1.0 / damping);
    if (stiffness > 0.0)
        longest = std::min(longest, 1.0 / std::sqrt(stiffness));
    const double count = std::ceil(dt / longest);
    if (!(count <= kMaxSubsteps))
        return rest();
    const int substeps = std::max(1, static_cast<int>(count));
    const double h = dt / substeps;
    for (int i = 0; i < substeps; ++i) {
        const double a = -stiffness * (x - target) - damping * v;
        v += a * h;
        x += v * h;
    }
    if (!std::isfinite(x) || !std::isfinite(v))
        rest();
}
