#pragma once

#include <QPainter>

// Saves the painter's state for one scope: every save has its restore, whatever path leaves.
class PainterState {
public:
    explicit PainterState(QPainter& painter) : m_painter(painter) { m_painter.save(); }
    ~PainterState() { m_painter.restore(); }
    PainterState(const PainterState&) = delete;
    PainterState& operator=(const PainterState&) = delete;

private:
    QPainter& m_painter;
};
