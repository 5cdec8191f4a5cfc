#pragma once

#include "platform/Appearance.h"

#include <QColor>

#include <algorithm>

// The one palette every view draws with. Adaptive colours follow the light or dark appearance
// and are resolved when painted (`resolve(appearance)` or `current()`); the accents are the same
// in both appearances.
namespace Theme {

// An opaque colour from a 24-bit 0xRRGGBB value, usable in constant expressions.
constexpr QColor fixedColor(quint32 hex)
{
    return QColor(static_cast<int>((hex >> 16) & 0xFFu), static_cast<int>((hex >> 8) & 0xFFu),
                  static_cast<int>(hex & 0xFFu));
}

//                                       dark      light
inline constexpr AdaptiveColor background{0x181519, 0xF2F2EF}; // screen and sheet backgrounds
inline constexpr AdaptiveColor surface{0x232024, 0xFBFBF9};    // cards, chips, fields
inline constexpr AdaptiveColor line{0x322E33, 0xE3E1DC};       // dividers and borders
inline constexpr AdaptiveColor ink{0xF2F2EF, 0x2B2820};        // main text
inline constexpr AdaptiveColor muted{0x9A9388, 0x6F6A60};      // secondary text, small icons, Note kind
inline constexpr AdaptiveColor faint{0x6F6A60, 0x9A9388};      // section titles

// The accent: recording, alerts, open ranges, flashing and selected rows.
inline constexpr QColor coral = fixedColor(0xFF5C4D);
// Confirmations, such as keeping a suggested entry.
inline constexpr QColor green = fixedColor(0x3FAE6B);
// Suggested entries and warnings.
inline constexpr QColor amber = fixedColor(0xEEB41B);
// Text on a selected marker chip whose kind colour is light.
inline constexpr QColor darkInk = fixedColor(0x2B2820);

// `colour` at `opacity` (0 to 1) of its own alpha, as drawn over what is behind it.
[[nodiscard]] inline QColor withOpacity(QColor colour, qreal opacity)
{
    const qreal bounded = opacity > 0 ? std::min<qreal>(opacity, 1) : 0; // NaN too
    colour.setAlphaF(static_cast<float>(bounded * colour.alphaF()));
    return colour;
}

} // namespace Theme

// The colour of a channel in the mixer and agent views: eight colours repeating by index. A
// negative index (no channel) draws in the main text colour.
[[nodiscard]] QColor channelColor(Appearance appearance, int index);
[[nodiscard]] QColor channelColor(int index);
