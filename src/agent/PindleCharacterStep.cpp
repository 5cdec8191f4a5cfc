// One frame of the character: its clock, its idle life, and every spring moved on.
#include "agent/PindleCharacter.h"

#include <algorithm>
#include <cmath>

namespace {

double finiteOr(double value, double fallback)
{
    return std::isfinite(value) ? value : fallback;
}

// The delayed returns of a poke and a glance, due by now in real time. Each re-checks what it
// finds: a state change in between wins.
void endDueReturns(PindleCharacter::State& s)
{
    if (s.pokeEndsAt && *s.pokeEndsAt <= s.realTime) {
        s.pokeEndsAt.reset();
        if (s.face == PindleFace::Happy && s.agentState == PindleAgentState::Idle)
            s.setFace(PindleFace::Neutral);
    }
    if (s.glanceEndsAt && *s.glanceEndsAt <= s.realTime) {
        s.glanceEndsAt.reset();
        if (s.agentState == PindleAgentState::Idle && s.face == PindleFace::Neutral && !s.working) {
            if (s.coin())
                s.blink();
            s.lookX.t = 0.0;
            s.lookY.t = 0.0;
            s.setFace(PindleFace::Neutral);
        }
    }
}

// A look to one side and a little up or down, back after 0.9 to 1.4 s.
void glance(PindleCharacter::State& s)
{
    s.setFace(PindleFace::Neutral);
    const double m = s.uniform(0.45, 0.75);
    s.lookX.t = s.coin() ? m : -m;
    s.lookY.t = s.uniform(-0.1, 0.3);
    s.glanceEndsAt = s.realTime + s.integer(900, 1400) / 1000.0;
}

void idleLife(PindleCharacter::State& s)
{
    s.breathe = std::sin(s.clock * 1.7) * 0.012;
    if (!s.isBusy && !s.dragging)
        s.y.t = s.baseY + (s.calm ? 0.0 : std::sin(s.clock * 1.4) * 4.0);
    if (s.nextBlink < s.clock && s.glow.t > 0.5) {
        s.blink();
        s.nextBlink = s.clock + s.uniform(2.5, 6.0);
    }
    // Not at rest, the due glance waits for the first step back at rest.
    if (!s.calm && s.nextGlance < s.clock && s.atRest()) {
        glance(s);
        s.nextGlance = s.clock + s.uniform(6.0, 11.0);
    }
}

} // namespace

PindleCharacter::State PindleCharacter::step(State s, double elapsed)
{
    elapsed = std::isfinite(elapsed) ? std::max(elapsed, 0.0) : 0.0;
    s.realTime += elapsed;
    const double dt = std::min(elapsed, kMaxStep);
    s.clock += dt;
    endDueReturns(s);
    if (s.reduceMotion)
        s.breathe = 0.0;
    else
        idleLife(s);

    s.blinkL.t = 0.0;
    s.blinkR.t = 0.0;
    s.wobPhase += dt * 9.0;

    // Moving the character around leans it against the motion and stretches it along it.
    const double scale = std::max(finiteOr(s.placeS.x, 1.0), 0.01);
    s.lean.t = finiteOr(-0.04 * (s.x.v + 0.6 * (s.placeX.v + 106.0 * s.placeS.v) / scale), 0.0);
    s.travelStretch = std::clamp(
        finiteOr(0.05 * std::abs(s.placeS.v / scale) - 0.00045 * (212.0 * s.placeS.v + s.placeY.v) / scale, 0.0), -0.18,
        0.22);

    for (Spring* spring :
         {&s.squash, &s.lean, &s.rot,    &s.x,    &s.y,           &s.wob,    &s.dent, &s.blinkL, &s.blinkR, &s.lookX,
          &s.lookY,  &s.glow, &s.spread, &s.grow, &s.privateTint, &s.square, &s.ink,  &s.placeS, &s.placeX, &s.placeY})
        spring->integrate(s.bounce, s.settle, dt);
    if (s.reduceMotion) {
        // The thought bubble shows and goes at once.
        s.bubble.snap();
        s.bubble.kMul = 0.9;
        s.bubble.cMul = 0.7;
    } else {
        s.bubble.integrate(s.bounce, s.settle, dt);
    }
    for (Eye* eye : {&s.eyeL, &s.eyeR}) {
        for (Spring* spring : {&eye->length, &eye->angle, &eye->bend, &eye->width, &eye->lift, &eye->stretch})
            spring->integrate(s.bounce, s.settle, dt);
    }
    return s;
}
