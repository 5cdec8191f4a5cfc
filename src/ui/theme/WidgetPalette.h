#pragma once

#include <QPalette>

class QWidget;

// Sets `role` of `widget`'s own palette to `colour` in every colour group; the other roles keep
// following the parent and the application.
void setPaletteColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour);
