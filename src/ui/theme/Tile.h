#pragma once

#include "ui/theme/Capsule.h"

#include <QSizeF>

// The mixer's small square-cornered buttons: a letter ("M") or a symbol on a rounded tile.
struct TileStyle {
    QSizeF size;
    qreal cornerRadius = 0;
    // 0: no outline.
    qreal outlineWidth = 0;
    TextStyle letter;
    TextStyle symbol;
};

struct Tile {
    QString letter;
    // Drawn in place of the letter when set.
    QString symbol;
};

// Draws the tile filling `rect` with its content centred; nothing outside `rect`.
void paintTile(QPainter& painter, const QRectF& rect, const Tile& tile, const TileStyle& style,
               const ControlColours& colours);

namespace TileStyles {

// A channel strip's mute and watch-only tiles.
inline constexpr TileStyle stripToggle{
    {26, 24}, 6, 1, TextStyle::bundled("DMSans-Bold", 11), TextStyle::system(10, QFont::Bold)};
// A channel strip's headphones.
inline constexpr TileStyle stripHeadphones{
    {56, 22}, 6, 1, TextStyle::bundled("DMSans-Bold", 11), TextStyle::system(13, QFont::DemiBold)};
// A channel strip's agent tag, which has no outline.
inline constexpr TileStyle stripAgent{
    {56, 18}, 6, 0, TextStyle::bundled("DMSans-Bold", 11), TextStyle::system(10, QFont::DemiBold)};
// The four buttons of a compact channel row.
inline constexpr TileStyle compactRow{
    {20, 18}, 4, 0, TextStyle::bundled("DMSans-Bold", 9), TextStyle::system(9, QFont::DemiBold)};

} // namespace TileStyles
