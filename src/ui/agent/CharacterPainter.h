#pragma once

#include "ui/agent/CharacterShape.h"

#include <QBrush>
#include <QPainterPath>
#include <QPen>
#include <QRectF>

#include <optional>

class QPainter;

// What a frame of the character is drawn into, besides the model.
struct CharacterFrame {
    // All that can be drawn into; parts wholly outside it are skipped.
    QRectF canvas;
    // The view's own frame in canvas coordinates: below `headroom` points of drawing room.
    QRectF view;
    // Weight of the eye strokes; none makes small characters' eyes relatively bolder.
    std::optional<double> eyeWeight;
    // The dark appearance: the thought bubble is cream instead of pale coral.
    bool dark = false;
};

// Draws one frame of Mark from the model: the body, the eyes and, while thinking, the thought
// bubble. Draws in canvas coordinates under the painter's transform, with the placement springs'
// fit (CharacterShape::place runs first). Keeps the outline it drew, for hit tests, and reuses
// its buffers from frame to frame.
class CharacterPainter {
public:
    using State = PindleCharacter::State;

    CharacterPainter();

    void draw(QPainter& painter, const State& state, const CharacterFrame& frame);
    // Nothing drawn: a press anywhere misses the body.
    void clear() { m_body.clear(); }

    // The body outline last drawn, in the view's coordinates; empty when none was drawn.
    [[nodiscard]] const QPainterPath& bodyPath() const { return m_body; }

    // The eyes' stroke weight: given, or chosen from the drawing scale `scale`.
    [[nodiscard]] static double eyeWeight(std::optional<double> given, double scale);
    // One eye's line width in canvas points.
    [[nodiscard]] static double eyeLineWidth(const State& state, double weight);

private:
    void drawEyes(QPainter& painter, const State& state, const QTransform& placement, double weight);
    void drawThoughtBubble(QPainter& painter, const State& state, const QTransform& placement,
                           const CharacterFrame& frame);

    CharacterShape::Outline m_outline{};
    CharacterShape::EyeStroke m_eye;
    QPainterPath m_body;
    QPainterPath m_eyePath;
    QPainterPath m_cloud;
    // Recoloured in place each frame rather than made anew.
    QPen m_eyePen;
    QBrush m_bodyBrush{Qt::SolidPattern};
    QBrush m_bubbleBrush{Qt::SolidPattern};
    QBrush m_edgeBrush{Qt::SolidPattern};
    QBrush m_innerEdgeBrush{Qt::SolidPattern};
};
