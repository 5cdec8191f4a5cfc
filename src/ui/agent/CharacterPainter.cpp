#include "ui/agent/CharacterPainter.h"

#include "ui/theme/PainterState.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Rgb = PindlePalette::Rgb;

QColor colorOf(const Rgb& c, double alpha = 1)
{
    return QColor::fromRgbF(float(std::clamp(c.r / 255, 0.0, 1.0)), float(std::clamp(c.g / 255, 0.0, 1.0)),
                            float(std::clamp(c.b / 255, 0.0, 1.0)), float(std::clamp(alpha, 0.0, 1.0)));
}

// `top` painted over `below`.
QColor over(const QColor& top, const QColor& below)
{
    const float a = top.alphaF();
    const float b = below.alphaF() * (1 - a);
    const float alpha = a + b;
    if (alpha <= 0)
        return Qt::transparent;
    auto mix = [&](float t, float u) { return (t * a + u * b) / alpha; };
    return QColor::fromRgbF(mix(top.redF(), below.redF()), mix(top.greenF(), below.greenF()),
                            mix(top.blueF(), below.blueF()), alpha);
}

bool isFinite(const QTransform& t)
{
    return std::isfinite(t.m11()) && std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy());
}

void mapInPlace(std::span<QPointF> points, const QTransform& t)
{
    for (QPointF& p : points)
        p = t.map(p);
}

// The thought bubble's parts, in character units at scale 1 from its anchor near the body's top
// right corner: two trail circles that appear one after the other, then the cloud with its dots.
struct TrailCircle {
    double start;
    QPointF offset;
    double radius;
};
constexpr std::array<TrailCircle, 2> kTrail{{{0, {14, -12}, 6}, {0.12, {34, -32}, 10}}};
constexpr QPointF kBubbleAnchor{182, 16};
constexpr QPointF kCloudOffset{84, -82};
struct Puff {
    QPointF offset;
    double radius;
};
constexpr std::array<Puff, 5> kPuffs{
    {{{-30, -22}, 27}, {{6, -32}, 31}, {{38, -14}, 24}, {{-48, 4}, 22}, {{50, 8}, 20}}};
constexpr QSizeF kCloudBody{120, 60};
// No part of the cloud reaches further from its centre than this.
constexpr double kCloudReach = 75;
// The cloud starts at 0.28 of the bubble spring and is whole 0.6 later.
constexpr double kCloudFrom = 0.28;
constexpr double kCloudSpan = 0.6;
// Never drawn smaller than at this scale, so it stays legible on a small character.
constexpr double kBubbleMinScale = 0.3;
constexpr double kMaxOvershoot = 1.15;
constexpr double kDotRadius = 7.5;
constexpr double kDotSpacing = 26;
constexpr double kDotRest = -8;
constexpr double kDotHop = 7;

} // namespace

CharacterPainter::CharacterPainter() : m_eyePen(QBrush(Qt::SolidPattern), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin)
{
    m_eyePen.setMiterLimit(10);
}

double CharacterPainter::eyeWeight(std::optional<double> given, double scale)
{
    if (given)
        return *given;
    if (!(scale >= 0.01))
        return 1.8;
    return std::clamp(0.28 / scale, 1.0, 1.8);
}

double CharacterPainter::eyeLineWidth(const State& state, double weight)
{
    return 11 * state.placeS.x * weight * std::max(state.grow.x, 0.0) / std::sqrt(std::max(1 + state.squash.x, 0.4));
}

void CharacterPainter::draw(QPainter& painter, const State& state, const CharacterFrame& frame)
{
    m_body.clear();
    const QTransform placement = CharacterShape::placement(state);
    if (!(state.presence > 0) || !isFinite(placement))
        return;

    const PainterState saved(painter);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(std::min(state.presence, 1.0));

    CharacterShape::bodyPoints(state, m_outline);
    mapInPlace(m_outline, placement);
    CharacterShape::smoothPath(m_outline, true, m_body);
    m_body.setFillRule(Qt::WindingFill);
    m_bodyBrush.setColor(colorOf(CharacterShape::fillColor(state)));
    painter.fillPath(m_body, m_bodyBrush);

    drawEyes(painter, state, placement, eyeWeight(frame.eyeWeight, state.placeS.x));
    if (state.bubble.x > 0.01)
        drawThoughtBubble(painter, state, placement, frame);

    if (frame.view.top() != 0)
        m_body.translate(0, -frame.view.top());
}

void CharacterPainter::drawEyes(QPainter& painter, const State& state, const QTransform& placement, double weight)
{
    const double opacity = CharacterShape::eyeOpacity(state);
    const double width = eyeLineWidth(state, weight);
    if (opacity <= 0.001 || !(width > 0) || !std::isfinite(width))
        return;

    QColor colour = state.palette.eyes;
    if (state.ink.x > 0.001) {
        // Ink swaps the body's and the eyes' colours.
        const Rgb& eyes = state.palette.eyesRGB;
        const Rgb body = CharacterShape::bodyColor(state);
        const double ink = std::min(state.ink.x, 1.0);
        colour = colorOf(
            {eyes.r + (body.r - eyes.r) * ink, eyes.g + (body.g - eyes.g) * ink, eyes.b + (body.b - eyes.b) * ink});
    }
    colour.setAlphaF(float(colour.alphaF() * std::min(opacity, 1.0)));
    m_eyePen.setColor(colour);
    m_eyePen.setWidthF(width);

    for (const CharacterShape::Side side : {CharacterShape::Side::Left, CharacterShape::Side::Right}) {
        CharacterShape::eyePoints(state, side, m_eye);
        mapInPlace({m_eye.points.data(), m_eye.count}, placement);
        CharacterShape::smoothPath(m_eye.span(), m_eye.closed, m_eyePath);
        painter.strokePath(m_eyePath, m_eyePen);
    }
}

void CharacterPainter::drawThoughtBubble(QPainter& painter, const State& state, const QTransform& placement,
                                         const CharacterFrame& frame)
{
    // At the panel's size most of the bubble lies above the view: what cannot show is not drawn.
    auto shows = [&frame](QPointF centre, double radius) {
        return frame.canvas.intersects(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius));
    };
    const double b = state.bubble.x;
    const double k = std::max(state.placeS.x, kBubbleMinScale);
    const QPointF anchor = placement.map(CharacterShape::deform(state, kBubbleAnchor));
    painter.setOpacity(std::min(2 * b, 1.0) * std::clamp(state.presence, 0.0, 1.0));

    const Rgb& body = state.palette.body;
    m_bubbleBrush.setColor(frame.dark ? state.palette.eyes
                                      : colorOf({body.r + (255 - body.r) * 0.82, body.g + (255 - body.g) * 0.82,
                                                 body.b + (255 - body.b) * 0.82}));
    QColor edge = state.palette.confetti;
    edge.setAlphaF(0.22f);

    // Above 1 the spring's overshoot enlarges the bubble a little, up to 1.15 times.
    const double overshoot = b < 1 ? 1.0 : std::min(b, kMaxOvershoot);
    auto growth = [b, overshoot](double progress) {
        if (progress >= 1)
            return overshoot;
        return b < 1 ? progress : progress * overshoot;
    };

    // Each trail circle is filled and edged a point wide. A translucent stroke costs Qt's raster
    // engine many times a fill, so the edge is painted as discs: its outer half over what lies
    // beneath, its inner half over the fill.
    painter.setPen(Qt::NoPen);
    m_edgeBrush.setColor(edge);
    m_innerEdgeBrush.setColor(over(edge, m_bubbleBrush.color()));
    for (const TrailCircle& circle : kTrail) {
        const double g = growth((b - circle.start) * 4);
        if (g <= 0)
            continue;
        const double r = k * circle.radius * g;
        const QPointF at = anchor + k * circle.offset;
        if (!shows(at, r + 0.5))
            continue;
        for (const auto& [brush, radius] :
             {std::pair(&m_edgeBrush, r + 0.5), std::pair(&m_innerEdgeBrush, r), std::pair(&m_bubbleBrush, r - 0.5)}) {
            if (radius > 0) {
                painter.setBrush(*brush);
                painter.drawEllipse(at, radius, radius);
            }
        }
    }

    const double progress = (b - kCloudFrom) / kCloudSpan;
    if (progress < 0)
        return;
    const double g = growth(progress);
    if (g <= 0)
        return;
    const QPointF centre = anchor + k * kCloudOffset;
    const double m = k * g;
    if (!shows(centre, kCloudReach * m))
        return;
    m_cloud.clear();
    m_cloud.setFillRule(Qt::WindingFill);
    const QSizeF size = kCloudBody * m;
    m_cloud.addRoundedRect(QRectF(centre - QPointF(size.width(), size.height()) / 2, size), size.height() / 2,
                           size.height() / 2);
    for (const Puff& puff : kPuffs)
        m_cloud.addEllipse(centre + m * puff.offset, m * puff.radius, m * puff.radius);
    painter.fillPath(m_cloud, m_bubbleBrush);

    // Each dot hops in turn, a wave running left to right; with reduced motion they sit still.
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_bodyBrush);
    for (int i = -1; i <= 1; ++i) {
        double dy = kDotRest;
        if (!state.reduceMotion) {
            const double q = std::sin(7.5 * state.clock - 0.95 * (i + 1));
            if (q >= 0)
                dy -= kDotHop * q;
        }
        const QPointF dot(centre.x() + kDotSpacing * i * m, centre.y() + dy * m);
        if (shows(dot, kDotRadius * m))
            painter.drawEllipse(dot, kDotRadius * m, kDotRadius * m);
    }
}
