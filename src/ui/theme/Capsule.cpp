#include "ui/theme/Capsule.h"

#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <limits>

namespace {

constexpr qreal kRoundingSlack = 1e-3;

bool draws(const QColor& colour)
{
    return colour.isValid() && colour.alpha() > 0;
}

// The parts of a label in their order, with their widths; the title's is its natural width.
struct Row {
    qreal lead = 0;
    qreal title = 0;
    qreal trailing = 0;
    qreal height = 0;
    int gaps = 0;
};

Row rowOf(const CapsuleLabel& label, const CapsuleStyle& style, const QFontMetricsF& metrics)
{
    Row row;
    const qreal symbol = Symbols::side(style.symbol);
    if (!label.symbol.isEmpty())
        row.lead = symbol;
    else if (label.dot.isValid())
        row.lead = style.dotDiameter;
    if (style.showsTitle && !label.title.isEmpty()) {
        row.title = metrics.horizontalAdvance(label.title);
        row.height = metrics.height();
    }
    if (!label.trailingSymbol.isEmpty())
        row.trailing = symbol;
    if (row.lead > 0 || row.trailing > 0)
        row.height = std::max(row.height, std::max(row.lead, row.trailing));
    const int parts = (row.lead > 0 ? 1 : 0) + (row.title > 0 ? 1 : 0) + (row.trailing > 0 ? 1 : 0);
    row.gaps = std::max(parts - 1, 0);
    return row;
}

} // namespace

ControlColours ControlColours::plain(Appearance appearance)
{
    return {Theme::surface.resolve(appearance), Theme::line.resolve(appearance), Theme::ink.resolve(appearance)};
}

ControlColours ControlColours::idle(Appearance appearance)
{
    return {Theme::surface.resolve(appearance), Theme::line.resolve(appearance), Theme::muted.resolve(appearance)};
}

ControlColours ControlColours::filled(const QColor& colour, const QColor& content)
{
    return {colour, colour, content};
}

ControlColours ControlColours::tinted(const QColor& colour, qreal fillOpacity, bool outlined)
{
    return {Theme::withOpacity(colour, fillOpacity), outlined ? colour : QColor(), colour};
}

QSizeF capsuleSize(const CapsuleLabel& label, const CapsuleStyle& style)
{
    const Row row = rowOf(label, style, QFontMetricsF(style.title.font()));
    return {row.lead + row.title + row.trailing + row.gaps * style.spacing + 2 * style.horizontalPadding,
            row.height + 2 * style.verticalPadding};
}

CapsuleLayout layoutCapsule(const CapsuleLabel& label, const CapsuleStyle& style, const QRectF& rect)
{
    CapsuleLayout layout;
    const QFontMetricsF metrics(style.title.font());
    const Row row = rowOf(label, style, metrics);
    const qreal room = std::max<qreal>(rect.width() - 2 * style.horizontalPadding, 0);
    const qreal fixed = row.lead + row.trailing + row.gaps * style.spacing;
    // Widths summed into the natural size come back a hair short when subtracted again.
    const bool titleFits = room - fixed + kRoundingSlack >= row.title;
    const qreal titleWidth = titleFits ? row.title : std::max<qreal>(room - fixed, 0);
    qreal x = rect.center().x() - (fixed + titleWidth) / 2;
    const qreal middle = rect.center().y();
    if (row.lead > 0) {
        layout.lead = QRectF(x, middle - row.lead / 2, row.lead, row.lead);
        x += row.lead + style.spacing;
    }
    if (row.title > 0) {
        layout.title = QRectF(x, rect.top(), titleWidth, rect.height());
        layout.shownTitle = titleFits ? label.title : metrics.elidedText(label.title, Qt::ElideRight, titleWidth);
        x += titleWidth + style.spacing;
    }
    if (row.trailing > 0)
        layout.trailing = QRectF(x, middle - row.trailing / 2, row.trailing, row.trailing);
    return layout;
}

void paintControlShape(QPainter& painter, const QRectF& rect, qreal cornerRadius, qreal outlineWidth,
                       const ControlColours& colours)
{
    // The stroke is centred on the outline: inset by half its width so all of it shows.
    const bool outlined = outlineWidth > 0 && draws(colours.outline);
    const qreal half = outlined ? outlineWidth / 2 : 0;
    const QRectF outline = rect.adjusted(half, half, -half, -half);
    const qreal radius = std::min({cornerRadius, outline.width() / 2, outline.height() / 2});
    QPainterPath shape;
    shape.addRoundedRect(outline, radius, radius);
    if (draws(colours.fill))
        painter.fillPath(shape, colours.fill);
    if (outlined) {
        painter.setPen(QPen(colours.outline, outlineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);
    }
}

void paintCapsule(QPainter& painter, const QRectF& rect, const CapsuleLabel& label, const CapsuleStyle& style,
                  const ControlColours& colours)
{
    if (rect.isEmpty())
        return;
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing);

    paintControlShape(painter, rect, std::numeric_limits<qreal>::infinity(), style.outlineWidth, colours);

    const CapsuleLayout layout = layoutCapsule(label, style, rect);
    if (!label.symbol.isEmpty()) {
        Symbols::paint(painter, layout.lead, label.symbol, style.symbol, colours.content);
    } else if (label.dot.isValid()) {
        const qreal d = style.dotDiameter;
        painter.setPen(Qt::NoPen);
        painter.setBrush(label.dot);
        painter.drawEllipse(QRectF(layout.lead.center() - QPointF(d / 2, d / 2), QSizeF(d, d)));
    }
    if (!layout.shownTitle.isEmpty()) {
        painter.setFont(style.title.font());
        painter.setPen(colours.content);
        painter.drawText(layout.title, Qt::AlignLeft | Qt::AlignVCenter, layout.shownTitle);
    }
    if (!label.trailingSymbol.isEmpty())
        Symbols::paint(painter, layout.trailing, label.trailingSymbol, style.symbol, colours.content);
    painter.restore();
}

QSizeF pillSize(const CapsuleStyle& style, const QString& symbol, const QString& title)
{
    return capsuleSize({symbol, QColor(), title, QString()}, style);
}

void paintPill(QPainter& painter, const QRectF& rect, const CapsuleStyle& style, const QString& symbol,
               const QString& title, bool active, Appearance appearance)
{
    ControlColours colours = ControlColours::plain(appearance);
    if (active)
        colours.outline = Theme::coral;
    paintCapsule(painter, rect, {symbol, QColor(), title, QString()}, style, colours);
}
