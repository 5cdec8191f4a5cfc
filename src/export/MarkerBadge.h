#pragma once

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

class QPainter;

// The marker badge: a shield with a flat, round-cornered top, straight sides down to 57.5 % of
// the height, and two straight edges meeting in a rounded point at the bottom centre. The
// bottom curve touches the rect's lower edge (it overshoots by less than 3e-6 of the height).
[[nodiscard]] QPainterPath markerBadgePath(const QRectF& rect);

// The square a marker glyph of `size` fills: 0.85 × size on each side, centred on `centre`.
[[nodiscard]] QRectF markerGlyphRect(QPointF centre, qreal size);

// A marker glyph: the badge filled with `color` (non-zero winding, antialiased) in the square
// of markerGlyphRect. The painter's state is left as it was.
void drawMarkerGlyph(QPainter& painter, QPointF centre, qreal size, const QColor& color);
