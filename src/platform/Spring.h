#pragma once

#include <limits>

// A damped spring pulled toward a target and stepped by elapsed time: the motion of every pop,
// slide and wobble the views draw. A plain value; it never produces a non-finite number, whatever
// step or parameter it is given.
class Spring {
public:
    // How a spring moves, in the terms animations are described with: `response` is the period
    // of the undamped oscillation in seconds, `dampingFraction` the ratio to critical damping
    // (1 settles fastest without overshoot, below 1 bounces).
    struct Params {
        double response = 0.55;
        double dampingFraction = 0.825;
    };

    // A step longer than this (a laptop waking, a frame held up by the debugger) counts as this
    // long: the motion resumes where it was instead of jumping.
    static constexpr double kMaxStep = 1.0;
    // A spring so stiff that it would need more substeps than this settles within the step.
    static constexpr int kMaxSubsteps = 4096;
    static constexpr double kSettledTolerance = 1e-3;
    // Above this a spring hardly moves at all; the cap keeps its substeps bounded.
    static constexpr double kMaxDampingFraction = 10.0;

    Spring() : Spring(Params{}) {}
    // A spring at rest at `value`. A response of zero or less (or not finite) makes it jump to
    // each target at the next step.
    explicit Spring(Params params, double value = 0.0);
    // A spring of unit mass with the stiffness and damping given directly.
    [[nodiscard]] static Spring withStiffness(double stiffness, double damping, double value = 0.0);

    [[nodiscard]] double value() const { return m_value; }
    [[nodiscard]] double velocity() const { return m_velocity; }
    [[nodiscard]] double target() const { return m_target; }
    [[nodiscard]] double stiffness() const { return m_stiffness; }
    [[nodiscard]] double damping() const { return m_damping; }

    // Non-finite values are ignored, here and in the setters below.
    void setTarget(double target);
    // Jumps to `value`, keeping the velocity.
    void setValue(double value);
    // Adds `velocity`: a tap that sets the spring moving without moving its target.
    void kick(double velocity);
    // At rest on the target.
    void snap();

    // Moves the spring on by `seconds`. Non-finite and negative steps do nothing; steps beyond
    // kMaxStep count as kMaxStep. Cut into substeps short enough to follow the motion closely.
    void step(double seconds);

    // Close enough to the target, and slow enough, to stop animating.
    [[nodiscard]] bool isSettled(double tolerance = kSettledTolerance) const;

    // The law, for springs kept as plain fields: acceleration a = -k (x - target) - c v, then
    // v += a dt and x += v dt (semi-implicit Euler: the position moves with the new velocity).
    // `dt` is clamped as in step(); it is cut into equal substeps no longer than `maxSubstep`
    // and no longer than keeps the law stable, so a step short enough is taken in one piece.
    // Anything not finite, or a spring too stiff to follow, ends at rest on the target.
    static void integrate(double& x, double& v, double target, double stiffness, double damping, double dt,
                          double maxSubstep = std::numeric_limits<double>::infinity());

private:
    Spring(double stiffness, double damping, double value);

    double m_stiffness;
    double m_damping;
    double m_value;
    double m_velocity = 0.0;
    double m_target;
};
