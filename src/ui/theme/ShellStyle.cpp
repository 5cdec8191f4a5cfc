#include "ui/theme/ShellStyle.h"

#include <QWidget>

namespace ShellStyle {

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

} // namespace ShellStyle
