#include "agent/PindleCharacter.h"

#include "platform/Spring.h"

#include <QRandomGenerator>

#include <cmath>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;

// The eye and spread targets of one face. `bend` is shared by both eyes; stretch is always 1.
struct FaceShape {
    double lengthL, lengthR;
    double angleL, angleR;
    double bend;
    double widthL, widthR;
    double liftL, liftR;
    double spread;
};

constexpr FaceShape shapeOf(PindleFace face)
{
    switch (face) {
    case PindleFace::Neutral:
        return {0.28, 0.28, kPi / 2, kPi / 2, 0.0, 0.03, 0.03, 0.0, 0.0, 0.0};
    case PindleFace::Warm:
        return {0.44, 0.44, 0.0, 0.0, 3.8, 0.014, 0.014, 0.006, 0.006, 12.0};
    case PindleFace::Happy:
        return {0.5, 0.5, 0.0, 0.0, 4.6, 0.018, 0.018, 0.012, 0.012, 18.0};
    case PindleFace::Wow:
        return {0.24, 0.24, kPi / 2, kPi / 2, 0.0, 0.085, 0.085, 0.0, 0.0, 6.0};
    case PindleFace::Sleepy:
        return {0.52, 0.52, 0.0, 0.0, -4.2, 0.01, 0.01, -0.02, -0.02, 18.0};
    case PindleFace::Thinking:
        return {0.28, 0.3, kPi / 2, kPi / 4, 0.0, 0.03, 0.02, 0.0, 0.0, 0.0};
    case PindleFace::Focused:
        return {0.22, 0.22, kPi / 2, kPi / 2, 0.0, 0.024, 0.024, 0.0, 0.0, -12.0};
    case PindleFace::Worried:
        return {0.26, 0.26, 128.0 * kPi / 180.0, 128.0 * kPi / 180.0, 1.6, 0.014, 0.014, -0.03, -0.03, 4.0};
    case PindleFace::Curious:
        return {0.4, 0.22, kPi / 2, kPi / 2, 0.0, 0.04, 0.026, 0.04, -0.02, 0.0};
    }
    return shapeOf(PindleFace::Neutral);
}

constexpr PindleFace faceOf(PindleAgentState state)
{
    switch (state) {
    case PindleAgentState::Idle:
    case PindleAgentState::Listening:
        return PindleFace::Neutral;
    case PindleAgentState::Thinking:
        return PindleFace::Thinking;
    case PindleAgentState::Working:
        return PindleFace::Focused;
    case PindleAgentState::Talking:
        return PindleFace::Warm;
    case PindleAgentState::Asking:
        return PindleFace::Curious;
    case PindleAgentState::Done:
        return PindleFace::Happy;
    case PindleAgentState::Error:
        return PindleFace::Worried;
    }
    return PindleFace::Neutral;
}

void setEyeTargets(PindleCharacter::Eye& eye, double length, double angle, double bend, double width, double lift)
{
    eye.length.t = length;
    eye.angle.t = angle;
    eye.bend.t = bend;
    eye.width.t = width;
    eye.lift.t = lift;
    eye.stretch.t = 1.0;
}

PindleCharacter::Eye restingEye()
{
    auto spring = [](double value) { return PindleCharacter::Spring{value, 0.0, value, 0.9, 1.1}; };
    return {spring(0.28), spring(kPi / 2), spring(0.0), spring(0.03), spring(0.0), spring(1.0)};
}

} // namespace

QString rawValue(PindleFace face)
{
    static const std::array<QString, 9> names{
        QStringLiteral("neutral"), QStringLiteral("warm"),    QStringLiteral("happy"),
        QStringLiteral("wow"),     QStringLiteral("sleepy"),  QStringLiteral("thinking"),
        QStringLiteral("focused"), QStringLiteral("worried"), QStringLiteral("curious")};
    return names.at(static_cast<std::size_t>(face));
}

std::optional<PindleFace> pindleFaceFromRaw(const QString& raw)
{
    for (const PindleFace face : kPindleFaces) {
        if (rawValue(face) == raw)
            return face;
    }
    return std::nullopt;
}

const PindlePalette& PindlePalette::standard()
{
    static const PindlePalette palette{{255.0, 92.0, 77.0},
                                       {47.0, 163.0, 107.0},
                                       QColor::fromRgbF(1.0f, 0.965f, 0.902f),
                                       QColor::fromRgbF(1.0f, 0.361f, 0.302f),
                                       {255.0, 246.0, 230.0}};
    return palette;
}

void PindleCharacter::Spring::integrate(double bounce, double settle, double dt)
{
    ::Spring::integrate(x, v, t, bounce * kMul, settle * cMul, dt);
}

PindleCharacter::State::State(const PindlePalette& palette, quint64 seed)
    : palette(palette), eyeL(restingEye()), eyeR(restingEye()), random(seed)
{
    setFace(PindleFace::Neutral);
    for (Eye* eye : {&eyeL, &eyeR}) {
        for (Spring* s : {&eye->length, &eye->angle, &eye->bend, &eye->width, &eye->lift, &eye->stretch})
            s->snap();
    }
    spread.snap();
}

void PindleCharacter::State::setFace(PindleFace next)
{
    const bool changed = next != face;
    face = next;
    ++faceWrites;
    const FaceShape s = shapeOf(next);
    setEyeTargets(eyeL, s.lengthL, s.angleL, s.bend, s.widthL, s.liftL);
    setEyeTargets(eyeR, s.lengthR, s.angleR, s.bend, s.widthR, s.liftR);
    spread.t = s.spread;
    if (changed && !reduceMotion) {
        // The eyes pop as they change shape.
        for (Eye* eye : {&eyeL, &eyeR}) {
            eye->width.v += 0.35;
            eye->stretch.v += -1.6;
        }
    }
}

void PindleCharacter::State::setAgentState(PindleAgentState next)
{
    if (next == agentState)
        return;
    switch (agentState) {
    case PindleAgentState::Error:
        baseY = 0.0;
        break;
    case PindleAgentState::Working:
        lookX.t = 0.0;
        break;
    case PindleAgentState::Thinking:
        bubble.t = 0.0;
        lookX.t = 0.0;
        break;
    default:
        break;
    }
    lookY.t = 0.0;
    squash.t = 0.0;
    agentState = next;

    setFace(faceOf(next));
    double kick = 0.0;
    switch (next) {
    case PindleAgentState::Listening:
        lookY.t = 0.35;
        squash.t = 0.04;
        break;
    case PindleAgentState::Thinking:
        bubble.t = 1.0;
        lookX.t = 0.45;
        lookY.t = 0.55;
        break;
    case PindleAgentState::Asking:
        lookY.t = 0.15;
        kick = 2.0;
        break;
    case PindleAgentState::Done:
        kick = 3.0;
        break;
    case PindleAgentState::Error:
        baseY = 12.0;
        squash.t = -0.06;
        lookY.t = -0.5;
        break;
    default:
        break;
    }
    if (!reduceMotion)
        squash.v += kick;
}

void PindleCharacter::State::blink()
{
    blinkL.v += 26.0;
    blinkR.v += 26.0;
}

void PindleCharacter::State::poke(double angle)
{
    dentAngle = std::isfinite(angle) ? angle : 0.0;
    dent.v += 9.0;
    wob.v += 10.0;
    squash.v += -2.2;
    if ((face == PindleFace::Warm || face == PindleFace::Neutral) && agentState == PindleAgentState::Idle) {
        setFace(PindleFace::Happy);
        pokeEndsAt = realTime + 0.9;
    }
}

double PindleCharacter::State::uniform(double a, double b)
{
    // splitmix64; 53 bits on a grid that includes both ends.
    random += 0x9E3779B97F4A7C15ull;
    quint64 z = random;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const double r = static_cast<double>(z >> 11) / static_cast<double>((quint64{1} << 53) - 1);
    return a + r * (b - a);
}

int PindleCharacter::State::integer(int lo, int hi)
{
    return std::min(hi, lo + static_cast<int>(std::floor(uniform(0.0, 1.0) * (hi - lo + 1))));
}

bool PindleCharacter::State::coin()
{
    return uniform(0.0, 1.0) < 0.5;
}

bool PindleCharacter::State::atRest() const
{
    return !dragging && !working && !isBusy && agentState == PindleAgentState::Idle && face == PindleFace::Neutral;
}

PindleCharacter::PindleCharacter(const PindlePalette& palette, QObject* parent)
    : QObject(parent), m_state(palette, QRandomGenerator::global()->generate64())
{
}

template <typename Change> void PindleCharacter::change(Change change)
{
    const quint64 faceWrites = m_state.faceWrites;
    change(m_state);
    if (m_state.faceWrites != faceWrites)
        Q_EMIT faceChanged();
}

void PindleCharacter::setAgentState(PindleAgentState state)
{
    change([state](State& s) { s.setAgentState(state); });
}

void PindleCharacter::setFace(PindleFace face)
{
    change([face](State& s) { s.setFace(face); });
}

void PindleCharacter::blink()
{
    m_state.blink();
}

void PindleCharacter::poke(double angle)
{
    change([angle](State& s) { s.poke(angle); });
}

void PindleCharacter::advance(Date date)
{
    if (!std::isfinite(date.sinceReferenceDate))
        return;
    if (!m_lastTick) {
        m_lastTick = date;
        return;
    }
    const double elapsed = date.secondsSince(*m_lastTick);
    m_lastTick = date;
    change([elapsed](State& s) { s = step(std::move(s), elapsed); });
}
