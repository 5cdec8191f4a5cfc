#include "ui/theme/MarkerChip.h"

#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace {

// The glyph's badge fills this share of its square.
constexpr qreal kGlyphScale = 0.85;
// Widths summed into a size come back a hair short when subtracted again.
constexpr qreal kRoundingSlack = 1e-3;

} // namespace

QPainterPath markerBadgePath(const QRectF& rect)
{
    // Fractions of the rect: x of its width from the left, y of its height from the top.
    const auto at = [&rect](qreal x, qreal y) {
        return QPointF(rect.left() + x * rect.width(), rect.top() + y * rect.height());
    };
    QPainterPath path;
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

void paintMarkerGlyph(QPainter& painter, const QPointF& centre, qreal size, const QColor& colour)
{
    const qreal side = kGlyphScale * size;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(markerBadgePath(QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side)), colour);
    painter.restore();
}

void paintMarkerChip(QPainter& painter, const QRectF& rect, const MarkerChip& chip, Appearance appearance,
                     const MarkerChipStyle& style)
{
    if (rect.isEmpty())
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal stroke = chip.kept ? style.keptOutlineWidth : style.outlineWidth;
    const QRectF outline = rect.adjusted(stroke / 2, stroke / 2, -stroke / 2, -stroke / 2);
    const qreal radius = std::min({style.cornerRadius, outline.width() / 2, outline.height() / 2});
    QPainterPath shape;
    shape.addRoundedRect(outline, radius, radius);
    painter.fillPath(shape, Theme::withOpacity(chip.colour, chip.kept ? style.keptFillOpacity : style.fillOpacity));
    painter.setPen(
        QPen(Theme::withOpacity(chip.colour, chip.kept ? style.keptOutlineOpacity : style.outlineOpacity), stroke));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shape);

    const QString title = chip.recording ? QStringLiteral("Stop ") + chip.name : chip.name;
    QFont titleFont = style.title.font();
    const QFont hotkeyFont = style.hotkey.font();
    const qreal hotkeyWidth = chip.hotkey.isEmpty() ? 0 : QFontMetricsF(hotkeyFont).horizontalAdvance(chip.hotkey);
    const qreal fixed = style.glyphSize + style.spacing + (hotkeyWidth > 0 ? style.spacing + hotkeyWidth : 0);
    const qreal room = std::max<qreal>(rect.width() - 2 * style.horizontalPadding - fixed, 0);
    // A long name first shrinks, then is cut.
    const qreal natural = QFontMetricsF(titleFont).horizontalAdvance(title);
    if (natural > room + kRoundingSlack) {
        const qreal scale = std::max(room / natural, style.minimumTitleScale);
        titleFont.setPixelSize(std::max(1, qRound(titleFont.pixelSize() * scale)));
    }
    const QFontMetricsF titleMetrics(titleFont);
    const qreal fullWidth = titleMetrics.horizontalAdvance(title);
    const bool titleFits = room + kRoundingSlack >= fullWidth;
    const qreal titleWidth = titleFits ? fullWidth : room;

    qreal x = rect.center().x() - (fixed + titleWidth) / 2;
    const qreal middle = rect.center().y();
    const QPointF glyphCentre(x + style.glyphSize / 2, middle);
    if (chip.recording) {
        const qreal d = style.recordingDotDiameter;
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::coral);
        painter.drawEllipse(QRectF(glyphCentre.x() - d / 2, middle - d / 2, d, d));
    } else {
        paintMarkerGlyph(painter, glyphCentre, style.glyphSize, chip.colour);
    }
    x += style.glyphSize + style.spacing;

    painter.setFont(titleFont);
    painter.setPen(Theme::ink.resolve(appearance));
    painter.drawText(QRectF(x, rect.top(), titleWidth, rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleFits ? title : titleMetrics.elidedText(title, Qt::ElideRight, titleWidth));
    if (hotkeyWidth > 0) {
        x += titleWidth + style.spacing;
        painter.setFont(hotkeyFont);
        painter.setPen(Theme::muted.resolve(appearance));
        painter.drawText(QRectF(x, rect.top(), hotkeyWidth, rect.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         chip.hotkey);
    }
    painter.restore();
}
