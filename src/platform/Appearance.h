#pragma once

#include <QColor>
#include <QPalette>

// Light or dark appearance of the desktop. Qt 6.4 has no colour-scheme API, so the appearance is
// read from the application palette: dark when the window colour is dark.
enum class Appearance {
    Light,
    Dark,
    // A palette that is neither plainly light nor dark; it takes the light values.
    Unmatched,
};

Appearance appearanceOf(const QPalette& palette);
// The application's current appearance (Light when no GUI application exists).
Appearance currentAppearance();

// An opaque sRGB colour from a 24-bit 0xRRGGBB value.
constexpr QRgb opaqueRgb(quint32 hex)
{
    return 0xFF000000u | (hex & 0xFFFFFFu);
}

// The colour of `dark` for the dark appearance, of `light` otherwise.
QColor adaptiveColor(Appearance appearance, quint32 dark, quint32 light);

// A colour that follows the appearance: resolved when painted, so a switch between light and
// dark needs no rebuilt views.
struct AdaptiveColor {
    quint32 dark = 0;
    quint32 light = 0;

    [[nodiscard]] QColor resolve(Appearance appearance) const { return adaptiveColor(appearance, dark, light); }
    [[nodiscard]] QColor current() const { return resolve(currentAppearance()); }

    friend constexpr bool operator==(AdaptiveColor, AdaptiveColor) = default;
};
