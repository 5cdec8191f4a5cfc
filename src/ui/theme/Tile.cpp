#include "ui/theme/Tile.h"

#include "ui/theme/Symbols.h"

#include <QPainter>

void paintTile(QPainter& painter, const QRectF& rect, const Tile& tile, const TileStyle& style,
               const ControlColours& colours)
{
    if (rect.isEmpty())
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing);

    paintControlShape(painter, rect, style.cornerRadius, style.outlineWidth, colours);

    if (!tile.symbol.isEmpty()) {
        Symbols::paint(painter, rect, tile.symbol, style.symbol, colours.content);
    } else if (!tile.letter.isEmpty()) {
        painter.setFont(style.letter.font());
        painter.setPen(colours.content);
        painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, tile.letter);
    }
    painter.restore();
}
