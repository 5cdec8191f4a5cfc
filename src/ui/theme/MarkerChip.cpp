#include "ui/theme/MarkerChip.h"

#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace {

// Widths summed into a size come back a hair short when subtracted again.
constexpr qreal kRoundingSlack = 1e-3;

} // namespace

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
        drawMarkerGlyph(painter, glyphCentre, style.glyphSize, chip.colour);
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
