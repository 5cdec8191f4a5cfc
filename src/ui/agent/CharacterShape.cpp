#include "ui/agent/CharacterShape.h"

#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

// The outline's drawing: a square 211.91 wide with rounded top corners; below the sides' bends
// two straight edges at 39.96 degrees meet in a rounded tip at the bottom centre.
constexpr double kWidth = 211.91;
constexpr double kMid = kWidth / 2;
constexpr double kBottom = 211.91;
// The top corners take 46.65 units of the top edge and 39.45 of the side, in one cubic whose
// handles reach 0.663 of the way to the square's corner: squarer than a quarter circle.
constexpr double kCornerAlongTop = 46.65;
constexpr double kCornerDownSide = 39.45;
constexpr double kCornerHandle = 0.663;
constexpr double kSideBendRadius = 13.68;
constexpr double kTipRadius = 16.54;
constexpr double kEdgeSlope = 39.96 * kPi / 180;
// The first outline point lies on the top edge, the rest follow clockwise.
constexpr double kFirstPointX = 47.09;

// The curves of the right half, finely enough that resampling along them is exact to 0.01 units.
constexpr int kCurveSteps = 400;

std::vector<QPointF> rightHalf()
{
    std::vector<QPointF> points{{kMid, 0}, {kWidth - kCornerAlongTop, 0}};
    auto cubic = [&points](QPointF p0, QPointF p1, QPointF p2, QPointF p3) {
        for (int i = 1; i <= kCurveSteps; ++i) {
            const double t = double(i) / kCurveSteps;
            const double u = 1 - t;
            points.push_back(u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3);
        }
    };
    auto arc = [&points](QPointF centre, double radius, double from, double to) {
        for (int i = 0; i <= kCurveSteps; ++i) {
            const double a = from + (to - from) * i / kCurveSteps;
            points.push_back(centre + radius * QPointF(std::cos(a), std::sin(a)));
        }
    };
    cubic({kWidth - kCornerAlongTop, 0}, {kWidth - kCornerAlongTop * (1 - kCornerHandle), 0},
          {kWidth, kCornerDownSide * (1 - kCornerHandle)}, {kWidth, kCornerDownSide});

    // Where the slanted edges would meet without rounding: the tip's vertex, and the bend at the side.
    const double tipVertex = kBottom + kTipRadius * (1 / std::cos(kEdgeSlope) - 1);
    const double sideVertex = tipVertex - (kWidth - kMid) * std::tan(kEdgeSlope);
    const double sideTurn = kPi / 2 - kEdgeSlope;
    const double bendStart = sideVertex - kSideBendRadius * std::tan(sideTurn / 2);
    arc({kWidth - kSideBendRadius, bendStart}, kSideBendRadius, 0, sideTurn);
    arc({kMid, kBottom - kTipRadius}, kTipRadius, kPi / 2 - kEdgeSlope, kPi / 2);
    return points;
}

CharacterShape::Outline buildOutline()
{
    std::vector<QPointF> loop = rightHalf();
    const std::size_t half = loop.size();
    for (std::size_t i = half - 1; i-- > 1;)
        loop.push_back({2 * kMid - loop[i].x(), loop[i].y()});

    std::vector<double> along(loop.size() + 1, 0.0);
    for (std::size_t i = 1; i <= loop.size(); ++i) {
        const QPointF step = loop[i % loop.size()] - loop[i - 1];
        along[i] = along[i - 1] + std::hypot(step.x(), step.y());
    }
    const double perimeter = along.back();
    const double start = perimeter - (kMid - kFirstPointX);

    CharacterShape::Outline outline;
    for (std::size_t i = 0; i < outline.size(); ++i) {
        const double at = std::fmod(start + perimeter * double(i) / double(outline.size()), perimeter);
        const auto segment = std::size_t(std::upper_bound(along.begin(), along.end(), at) - along.begin()) - 1;
        const double length = along[segment + 1] - along[segment];
        const double f = length > 0 ? (at - along[segment]) / length : 0.0;
        const QPointF a = loop[segment];
        const QPointF b = loop[(segment + 1) % loop.size()];
        outline[i] = a + (b - a) * f;
    }
    return outline;
}

double clamp01(double value)
{
    return std::clamp(value, 0.0, 1.0);
}

// What every point of one frame's deformation shares.
struct Deformation {
    explicit Deformation(const CharacterShape::State& s)
        : squash(std::max(1 + s.squash.x + s.travelStretch, 0.4)), breathe(s.breathe),
          widen((1 + 0.6 * s.breathe) / std::sqrt(squash)), lean(s.lean.x * s.jelly), wobble(s.wob.x * s.wobble),
          wobPhase(s.wobPhase), dent(s.dent.x), dentAngle(s.dentAngle), cosTurn(std::cos(s.rot.x * kPi / 180)),
          sinTurn(std::sin(s.rot.x * kPi / 180)), grow(std::max(s.grow.x, 0.0)), x(s.x.x), y(s.y.x)
    {
    }

    [[nodiscard]] QPointF operator()(QPointF p) const
    {
        const double px = p.x();
        const double py = p.y();
        double Y = (py - CharacterShape::kGround) * squash * (1 + breathe);
        const double h = std::clamp(-Y / CharacterShape::kGround, 0.0, 1.2);

        const double cx = px - CharacterShape::kCentre.x();
        const double cy = py - CharacterShape::kCentre.y();
        const double a = std::atan2(cy, cx);
        const double d = std::max(std::hypot(cx, cy), 1.0);
        const double delta = std::remainder(a - dentAngle, 2 * kPi);
        const double push = wobble * std::sin(3 * a + wobPhase) * 6 + dent * -14 * std::exp(-delta * delta / 0.18);

        const double X = (px - 106) * widen + lean * h * h + h * cx / d * push;
        Y += h * cy / d * push;
        return {x + 106 + (X * cosTurn - Y * sinTurn) * grow,
                CharacterShape::kGround + (X * sinTurn + Y * cosTurn) * grow + y};
    }

    double squash;
    double breathe;
    double widen;
    double lean;
    double wobble;
    double wobPhase;
    double dent;
    double dentAngle;
    double cosTurn;
    double sinTurn;
    double grow;
    double x;
    double y;
};

double sign(double value)
{
    return value > 0 ? 1.0 : (value < 0 ? -1.0 : 0.0);
}

struct Hsl {
    double h;
    double s;
    double l;
};

Hsl toHsl(const PindlePalette::Rgb& c)
{
    const double r = c.r / 255;
    const double g = c.g / 255;
    const double b = c.b / 255;
    const double hi = std::max({r, g, b});
    const double lo = std::min({r, g, b});
    const double l = (hi + lo) / 2;
    if (hi == lo)
        return {0, 0, l};
    const double d = hi - lo;
    const double s = l > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
    double h = 0;
    if (hi == r)
        h = (g - b) / d + (g < b ? 6 : 0);
    else if (hi == g)
        h = (b - r) / d + 2;
    else
        h = (r - g) / d + 4;
    return {h / 6, s, l};
}

PindlePalette::Rgb fromHsl(const Hsl& c)
{
    if (c.s == 0)
        return {c.l * 255, c.l * 255, c.l * 255};
    const double q = c.l < 0.5 ? c.l * (1 + c.s) : c.l + c.s - c.l * c.s;
    const double p = 2 * c.l - q;
    auto channel = [p, q](double t) {
        t -= std::floor(t);
        if (t < 1.0 / 6)
            return p + (q - p) * 6 * t;
        if (t < 0.5)
            return q;
        if (t < 2.0 / 3)
            return p + (q - p) * (2.0 / 3 - t) * 6;
        return p;
    };
    return {channel(c.h + 1.0 / 3) * 255, channel(c.h) * 255, channel(c.h - 1.0 / 3) * 255};
}

bool finiteRect(const QRectF& r)
{
    return std::isfinite(r.x()) && std::isfinite(r.y()) && std::isfinite(r.width()) && std::isfinite(r.height()) &&
           r.width() > 0 && r.height() > 0;
}

} // namespace

const CharacterShape::Outline& CharacterShape::outline()
{
    static const Outline outline = buildOutline();
    return outline;
}

QPointF CharacterShape::deform(const State& state, QPointF point)
{
    return Deformation(state)(point);
}

void CharacterShape::bodyPoints(const State& state, Outline& points)
{
    const Deformation deformed(state);
    const Outline& rest = outline();
    for (std::size_t i = 0; i < points.size(); ++i)
        points[i] = deformed(rest[i]);
}

PindlePalette::Rgb CharacterShape::bodyColor(const State& state)
{
    const double a = std::max(1 - clamp01(state.glow.x), clamp01(state.privateTint.x));
    const PindlePalette& palette = state.palette;
    if (a <= 0)
        return palette.body;
    if (a >= 1)
        return palette.privateBody;
    // Through hue, saturation and lightness, so a half-dimmed body stays a colour, not a grey.
    const Hsl from = toHsl(palette.body);
    const Hsl to = toHsl(palette.privateBody);
    return fromHsl({from.h + (to.h - from.h) * a, from.s + (to.s - from.s) * a, from.l + (to.l - from.l) * a});
}

PindlePalette::Rgb CharacterShape::fillColor(const State& state)
{
    const PindlePalette::Rgb c = bodyColor(state);
    const PindlePalette::Rgb& eyes = state.palette.eyesRGB;
    const double ink = clamp01(state.ink.x);
    return {c.r + (eyes.r - c.r) * ink, c.g + (eyes.g - c.g) * ink, c.b + (eyes.b - c.b) * ink};
}

double CharacterShape::eyeOpacity(const State& state)
{
    return state.presence * clamp01(state.glow.x);
}

void CharacterShape::eyePoints(const State& state, Side side, EyeStroke& stroke)
{
    const PindleCharacter::Eye& eye = side == Side::Left ? state.eyeL : state.eyeR;
    const double length = std::max(eye.length.x, 0.001);
    // A bend of exactly zero would divide by zero: the curvature keeps a hair's width from it.
    double kappa = eye.bend.x + 0.0001;
    if (std::abs(kappa) < 1e-6)
        kappa = 1e-6;
    const double width = eye.width.x;
    const double offset = (1 - std::cos(length * kappa / 2)) / (2 * kappa);
    const double cosAngle = std::cos(eye.angle.x);
    const double sinAngle = std::sin(eye.angle.x);

    const double sg = side == Side::Left ? -1.0 : 1.0;
    const double lx = std::clamp(state.lookX.x, -1.0, 1.0);
    const double foreshortening = 1 - 0.1 * std::abs(lx);
    const double scale = 1 + 0.1 * sg * lx;
    const double lookScale = 1 + 0.07 * std::clamp(state.lookY.x, -1.0, 1.0);
    const double cx = 106 + sg * (53 + state.spread.x) * foreshortening / 2 + 12 * state.lookX.x;
    const double cy = 90 - 9 * state.lookY.x;
    const double blink = side == Side::Left ? state.blinkL.x : state.blinkR.x;
    const double openness = std::clamp(1 - blink, 0.08, 1.12);
    const double widening = 1 + 0.16 * clamp01(blink);

    const Deformation deformed(state);
    stroke.closed = width > 0.004;
    stroke.count = stroke.closed ? kClosedEyePoints : kOpenEyePoints;
    for (std::size_t i = 0; i < stroke.count; ++i) {
        double u = 0;
        double v = 0;
        if (stroke.closed) {
            const double t = 2 * kPi * double(i) / double(kClosedEyePoints);
            u = length / 2 * sign(std::sin(t)) * std::pow(std::abs(std::sin(t)), 0.8);
            v = width * sign(std::cos(t)) * std::pow(std::abs(std::cos(t)), 0.8);
        } else {
            u = length * (double(i) / double(kOpenEyePoints - 1) - 0.5);
        }
        // Along an arc of curvature kappa, v across it.
        const double x = std::sin(kappa * u) / kappa + v * std::sin(kappa * u);
        const double y = v * std::cos(kappa * u) + offset + (std::cos(kappa * u) - 1) / kappa;
        const double turnedX = cosAngle * x - sinAngle * y;
        const double turnedY = eye.lift.x + eye.stretch.x * (sinAngle * x + cosAngle * y);
        stroke.points[i] = deformed(
            QPointF(cx + sg * turnedX * 106 * scale * widening, cy - turnedY * 106 * openness * scale * lookScale));
    }
}

void CharacterShape::smoothPath(std::span<const QPointF> p, bool closed, QPainterPath& path)
{
    path.clear();
    const auto n = static_cast<std::ptrdiff_t>(p.size());
    if (n < 2)
        return;
    auto at = [&](std::ptrdiff_t i) {
        if (closed)
            return p[std::size_t(((i % n) + n) % n)];
        return p[std::size_t(std::clamp<std::ptrdiff_t>(i, 0, n - 1))];
    };
    path.moveTo(p[0]);
    const std::ptrdiff_t segments = closed ? n : n - 1;
    for (std::ptrdiff_t i = 0; i < segments; ++i) {
        const QPointF from = at(i);
        const QPointF to = at(i + 1);
        path.cubicTo(from + (to - at(i - 1)) / 6, to - (at(i + 2) - from) / 6, to);
    }
    if (closed)
        path.closeSubpath();
}

std::optional<CharacterShape::Fit> CharacterShape::fitStage(const QRectF& stage, const QRectF& fit)
{
    if (!finiteRect(stage) || !finiteRect(fit))
        return std::nullopt;
    const double s = std::min(fit.width() / stage.width(), fit.height() / stage.height());
    if (!std::isfinite(s) || s <= 0)
        return std::nullopt;
    return Fit{s, fit.x() + (fit.width() - stage.width() * s) / 2 - s * stage.x(),
               fit.y() + (fit.height() - stage.height() * s) / 2 - s * stage.y()};
}

bool CharacterShape::place(State& state, Placement& placement, const QRectF& stage, const QRectF& fit,
                           const QSizeF& canvas)
{
    const std::optional<Fit> f = fitStage(stage, fit);
    if (!f)
        return false;
    if (canvas != placement.canvas) {
        placement.canvas = canvas;
        placement.snapUntil = state.clock + 0.15;
    }
    state.placeS.t = f->scale;
    state.placeX.t = f->tx;
    state.placeY.t = f->ty;
    if (placement.placed && !state.reduceMotion && state.clock >= placement.snapUntil)
        return true;
    for (PindleCharacter::Spring* spring : {&state.placeS, &state.placeX, &state.placeY}) {
        spring->snap();
        spring->kMul = 0.5;
        spring->cMul = 0.75;
    }
    placement.placed = true;
    return true;
}

QTransform CharacterShape::placement(const State& state)
{
    const double s = state.placeS.x;
    return {s, 0, 0, s, state.placeX.x, state.placeY.x};
}
