#include "ui/theme/Symbols.h"

#include <QFile>
#include <QPainter>
#include <QPixmapCache>
#include <QSet>
#include <QSvgRenderer>

#include <algorithm>
#include <cmath>

// Q_INIT_RESOURCE declares the initialiser in the enclosing namespace: it must stay global. The
// icons live in a static library, whose resources are registered only once this has run.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace Symbols {

namespace {

// The glyphs fill 20 of their 24 units: a box this much larger than the font size draws the
// glyph at the font's size.
constexpr qreal kBoxPerSize = 24.0 / 20.0;
// The glyphs' own stroke (2 of 24 units) reads as semibold; lighter and heavier weights thin or
// thicken it by this much per 100 of weight, within the bounds below.
constexpr qreal kSemiboldStroke = 2.0;
constexpr qreal kStrokePerWeight = 0.25 / 100;
constexpr qreal kThinnestStroke = 1.0;
constexpr qreal kHeaviestStroke = 2.75;
// Far beyond any symbol on screen; keeps a wild size from asking for a huge image.
constexpr int kMaximumPixels = 1024;

QByteArray strokeAttribute(QFont::Weight weight)
{
    const qreal stroke = std::clamp(kSemiboldStroke + (static_cast<int>(weight) - QFont::DemiBold) * kStrokePerWeight,
                                    kThinnestStroke, kHeaviestStroke);
    return "stroke-width=\"" + QByteArray::number(stroke, 'g', 3) + '"';
}

QByteArray svgFor(const QString& name, QFont::Weight weight)
{
    static const bool initialised = (initIconResources(), true);
    (void)initialised;
    QFile file(QStringLiteral(":/icons/") + name + QStringLiteral(".svg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Outline glyphs carry their stroke on the root element; filled ones have none to change.
    return file.readAll().replace(QByteArrayLiteral("stroke-width=\"2\""), strokeAttribute(weight));
}

} // namespace

bool exists(const QString& name)
{
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* known) { return name == QLatin1String(known); });
}

qreal side(const TextStyle& style)
{
    return style.size * kBoxPerSize;
}

QPixmap pixmap(const QString& name, const TextStyle& style, const QColor& colour, qreal devicePixelRatio)
{
    if (!exists(name)) {
        static QSet<QString> warned;
        if (!warned.contains(name)) {
            warned.insert(name);
            qWarning("No symbol named \"%s\"; drawn as nothing", qPrintable(name));
        }
        return {};
    }
    const qreal ratio = std::isfinite(devicePixelRatio) && devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const qreal wanted = side(style) * ratio;
    const int pixels = wanted >= 1 ? static_cast<int>(std::ceil(std::min<qreal>(wanted, kMaximumPixels))) : 1;
    const QFont::Weight weight = style.symbolWeight();
    const QString key = QStringLiteral("symbol:%1:%2:%3:%4:%5")
                            .arg(name)
                            .arg(pixels)
                            .arg(static_cast<int>(weight))
                            .arg(colour.rgba(), 8, 16)
                            .arg(ratio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;

    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        QSvgRenderer renderer(svgFor(name, weight));
        renderer.render(&painter, QRectF(0, 0, pixels, pixels));
        // The glyph's coverage keeps its shape; the colour is ours.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), colour);
    }
    image.setDevicePixelRatio(ratio);
    QPixmap rendered = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, rendered);
    return rendered;
}

void paint(QPainter& painter, const QRectF& rect, const QString& name, const TextStyle& style, const QColor& colour)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap symbol = pixmap(name, style, colour, ratio);
    if (symbol.isNull())
        return;
    const QSizeF size = symbol.deviceIndependentSize();
    // Whole device pixels, so thin strokes stay sharp.
    const QPointF topLeft(std::round((rect.center().x() - size.width() / 2) * ratio) / ratio,
                          std::round((rect.center().y() - size.height() / 2) * ratio) / ratio);
    painter.drawPixmap(topLeft, symbol);
}

} // namespace Symbols
