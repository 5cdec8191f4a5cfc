#include "platform/Appearance.h"

#include <QGuiApplication>

Appearance appearanceOf(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightness() < 128 ? Appearance::Dark : Appearance::Light;
}

Appearance currentAppearance()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return Appearance::Light;
    return appearanceOf(QGuiApplication::palette());
}

QColor adaptiveColor(Appearance appearance, quint32 dark, quint32 light)
{
    return QColor::fromRgb(opaqueRgb(appearance == Appearance::Dark ? dark : light));
}
