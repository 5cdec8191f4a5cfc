#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

// Registers the bundled font files (DM Sans in four weights, Inter, and DM Mono Medium for the
// log sheet's timecodes) with this process, so views can ask for them by PostScript name. Each
// file is looked for in the "Fonts" folder under `resourceRoot`, then at `resourceRoot` itself; a
// missing file is skipped and a file the font database refuses is ignored. Called once while
// starting, before the window is shown. Returns the names that were registered, in registration
// order.
QStringList registerFonts(const QString& resourceRoot = QStringLiteral(":"));

namespace Fonts {

// The six bundled font files, by PostScript name, in registration order.
inline constexpr const char* bundledFontNames[] = {"DMSans-Regular", "DMSans-Medium", "DMSans-SemiBold",
                                                   "DMSans-Bold",    "Inter",         "DMMono-Medium"};

// The bundled font a PostScript name stands for ("DMSans-SemiBold", "Inter", "DMMono-Medium") at
// `size` logical pixels. The family and weight come from the name (Regular 400, Medium 500,
// SemiBold 600, Bold 700); a name that is not one of ours gives DM Sans Regular. Qt pixel sizes
// are whole, so the size is rounded to the nearest pixel (halves up) and kept within 1 to
// `maximumPixelSize`.
[[nodiscard]] QFont font(const QString& postScriptName, qreal size);

inline constexpr int maximumPixelSize = 4096;

} // namespace Fonts
