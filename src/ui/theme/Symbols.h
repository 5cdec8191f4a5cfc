#pragma once

#include "ui/theme/TextStyle.h"

#include <QColor>
#include <QPixmap>

class QPainter;
class QRectF;

// The symbols the views draw, by name ("bell.fill"): one bundled SVG each (resources/icons),
// drawn at the size and weight of a text style, as a symbol set beside text would be, and
// tinted to one colour when painted.
namespace Symbols {

inline constexpr const char* names[] = {"bell",
                                        "bell.badge",
                                        "bell.fill",
                                        "camera.viewfinder",
                                        "checkmark",
                                        "checkmark.circle.fill",
                                        "chevron.right",
                                        "circle",
                                        "eye",
                                        "eye.slash",
                                        "film",
                                        "folder",
                                        "headphones",
                                        "headphones.circle.fill",
                                        "magnifyingglass",
                                        "mic",
                                        "pencil",
                                        "plus",
                                        "rectangle.3.group",
                                        "slider.horizontal.3",
                                        "sparkles",
                                        "sparkles.slash",
                                        "square.and.arrow.up",
                                        "xmark"};

[[nodiscard]] bool exists(const QString& name);

// The side of the square a symbol takes in `style`, in logical pixels.
[[nodiscard]] qreal side(const TextStyle& style);

// The symbol in `colour`, side(style) logical pixels square at `devicePixelRatio`. Rendered once
// per name, size, weight, colour and ratio, then served from the pixmap cache. An unknown name
// gives a null pixmap and one warning.
[[nodiscard]] QPixmap pixmap(const QString& name, const TextStyle& style, const QColor& colour, qreal devicePixelRatio);

// Draws the symbol centred in `rect`, sharp at the painter's device pixel ratio. An unknown
// name draws nothing.
void paint(QPainter& painter, const QRectF& rect, const QString& name, const TextStyle& style, const QColor& colour);

} // namespace Symbols
