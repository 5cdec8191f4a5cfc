#include "export/MarkerBadge.h"

#include <QPainter>

namespace {

// Share of the glyph's frame that the badge fills.
constexpr qreal glyphScale = 0.85;

} // namespace

QPainterPath markerBadgePath(const QRectF& rect)
{
    // The outline as fractions of the rect: x of the width from the left, y of the height from
    // the top.
    const auto at = [&rect](qreal x, qreal y) {
        return QPointF(rect.left() + x * rect.width(), rect.top() + y * rect.height());
    };
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.moveTo(at(0.7777777777777778, 0));
    path.cubicTo(at(0.9259263038548753, 0), at(1, 0.062040816326530614), at(1, 0.18612131519274375));
    path.lineTo(at(1, 0.5751848072562358));
    path.cubicTo(at(1, 0.5941077097505669), at(0.991326530612245, 0.6121564625850341),
                 at(0.97612358276644, 0.624892290249433));
    path.lineTo(at(0.549156462585034, 0.9824943310657596));
    path.cubicTo(at(0.5212913832199546, 1.0058390022675738), at(0.47870861678004534, 1.0058390022675738),
                 at(0.45084353741496597, 0.9824943310657596));
    path.lineTo(at(0.02387641723356009, 0.624892290249433));
    path.cubicTo(at(0.008668934240362797, 0.6121564625850341), at(0, 0.5941077097505669), at(0, 0.5751848072562358));
    path.lineTo(at(0, 0.18612131519274375));
    path.cubicTo(at(0, 0.062040816326530614), at(0.07407369614512471, 0), at(0.2222222222222222, 0));
    path.closeSubpath();
    return path;
}

QRectF markerGlyphRect(QPointF centre, qreal size)
{
    const qreal side = size * glyphScale;
    return QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side);
}

void drawMarkerGlyph(QPainter& painter, QPointF centre, qreal size, const QColor& color)
{
    const QPainterPath badge = markerBadgePath(markerGlyphRect(centre, size));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.fillPath(badge, color);
    painter.restore();
}
