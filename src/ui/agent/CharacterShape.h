#pragma once

#include "agent/PindleCharacter.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

#include <array>
#include <optional>
#include <span>

class QPainterPath;

// Mark's geometry as functions of the character's state: the body outline and how the springs
// push it about, the eye strokes, the body colour, and how the stage is fitted into a view.
//
// Character space: outline units, y downward. The outline fills the square 0...211.91, its
// bottom tip at y 212 (about which squash and lean act) and its centre for radial effects at
// (106, 105).
class CharacterShape {
public:
    static constexpr std::size_t kOutlinePoints = 180;
    static constexpr std::size_t kClosedEyePoints = 40;
    static constexpr std::size_t kOpenEyePoints = 41;
    static constexpr QPointF kCentre{106, 105};
    static constexpr double kGround = 212;

    using Outline = std::array<QPointF, kOutlinePoints>;
    using State = PindleCharacter::State;

    // The undeformed outline, evenly spaced and clockwise on screen from the top edge: a square
    // with rounded top corners whose lower half narrows in two straight edges to a rounded point.
    [[nodiscard]] static const Outline& outline();

    // A point of outline space where the current squash, lean, wobble, dent, turn, growth and
    // position put it.
    [[nodiscard]] static QPointF deform(const State& state, QPointF point);
    static void bodyPoints(const State& state, Outline& points);

    // Red, green, blue on 0-255.
    [[nodiscard]] static PindlePalette::Rgb bodyColor(const State& state);
    // The body's fill: the body colour, turned toward the eyes' colour by the ink.
    [[nodiscard]] static PindlePalette::Rgb fillColor(const State& state);
    [[nodiscard]] static double eyeOpacity(const State& state);

    enum class Side { Left, Right };
    struct EyeStroke {
        std::array<QPointF, kOpenEyePoints> points{};
        std::size_t count = 0;
        bool closed = false;

        [[nodiscard]] std::span<const QPointF> span() const { return {points.data(), count}; }
    };
    // One eye's stroke in character space: a closed loop when the eye is wider than 0.004, else
    // an open arc.
    static void eyePoints(const State& state, Side side, EyeStroke& stroke);

    // A Catmull-Rom curve through `points` into `path` (cleared first, keeping its memory).
    // Fewer than two points give an empty path.
    static void smoothPath(std::span<const QPointF> points, bool closed, QPainterPath& path);

    // The stage fitted whole and centred into `fit`: a point p of character space lands at
    // scale * p + (tx, ty). None when either rectangle is empty or not finite.
    struct Fit {
        double scale = 1;
        double tx = 0;
        double ty = 0;
    };
    [[nodiscard]] static std::optional<Fit> fitStage(const QRectF& stage, const QRectF& fit);

    // The view's record of the fit it last made.
    struct Placement {
        bool placed = false;
        QSizeF canvas;
        // Character time until which the fit snaps rather than glides.
        double snapUntil = 0;
    };
    // Aims the placement springs at the stage's fit into `fit`. They snap on the first fit, for
    // 0.15 s of character time after the canvas changes size, and with reduced motion; otherwise
    // they glide. Touches nothing and returns false when nothing can be fitted.
    static bool place(State& state, Placement& placement, const QRectF& stage, const QRectF& fit, const QSizeF& canvas);
    // Character space to canvas points under the placement springs' current values.
    [[nodiscard]] static QTransform placement(const State& state);
};
