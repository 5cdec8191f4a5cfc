#pragma once

#include "ui/theme/TextStyle.h"

#include <QString>

class QDialog;
class QLabel;
class QSize;
class QWidget;

// A label in `style` that shows its text as it is, never as markup: names, notes and the
// service's words come from people.
[[nodiscard]] QLabel* plainLabel(const TextStyle& style, const QString& text = {}, QWidget* parent = nullptr);

// A sheet over its window: modal to that window, gone once closed, named `title` for the window
// and for assistive tools, `size` fixed, its background painted.
void prepareSheet(QDialog& sheet, const QString& title, QSize size);
