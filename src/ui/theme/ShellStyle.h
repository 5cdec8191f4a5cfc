#pragma once

#include "platform/Appearance.h"

#include <QEvent>
#include <QPalette>

#include <optional>

class QWidget;

// What the account screens share: their colours are resolved from the palette when the screen is
// built and again when the desktop switches between light and dark.
namespace ShellStyle {

// Sets `role` of `widget`'s own palette to `colour` in every colour group.
void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour);

// Whether `event` can mean the application palette (and with it the appearance) changed. Qt 6.4
// delivers an application palette change to child widgets as a plain PaletteChange.
[[nodiscard]] inline bool isPaletteEvent(const QEvent* event)
{
    return event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange;
}

// Remembers the appearance a widget last took its colours from, so that the palette changes it
// causes itself do not restyle it again.
class AppearanceWatch {
public:
    // True once for each switch of the current appearance.
    [[nodiscard]] bool switched()
    {
        const Appearance now = currentAppearance();
        if (m_applied && *m_applied == now)
            return false;
        m_applied = now;
        return true;
    }

private:
    std::optional<Appearance> m_applied;
};

} // namespace ShellStyle
