#include "ui/theme/Tile.h"

#include "ui/theme/Symbols.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

void paintTile(QPainter& painter, const QRectF& rect, const Tile& tile, const TileStyle& style,
               const ControlColours& colours)
{
    if (rect.isEmpty())
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing);

    const bool outlined = style.outlineWidth > 0 && colours.outline.isValid() && colours.outline.alpha() > 0;
    const qreal half = outlined ? style.outlineWidth / 2 : 0;
    const QRectF outline = rect.adjusted(half, half, -half, -half);
    const qreal radius = std::min({style.cornerRadius, outline.width() / 2, outline.height() / 2});
    QPainterPath shape;
    shape.addRoundedRect(outline, radius, radius);
    if (colours.fill.isValid())
        painter.fillPath(shape, colours.fill);
    if (outlined) {
        painter.setPen(QPen(colours.outline, style.outlineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);
    }

    if (!tile.symbol.isEmpty()) {
        Symbols::paint(painter, rect, tile.symbol, style.symbol, colours.content);
    } else if (!tile.letter.isEmpty()) {
        painter.setFont(style.letter.font());
        painter.setPen(colours.content);
        painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, tile.letter);
    }
    painter.restore();
}
