#pragma once

// Pictures of views for a person to look at, written only when PINDLE_SCREENSHOTS names a
// folder. A test's init() skips unless it is set:
//
//   m_folder = screenshots::prepare();
//   if (m_folder.isEmpty())
//       QSKIP("PINDLE_SCREENSHOTS is not set");

#include "platform/Fonts.h"

#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPalette>
#include <QWidget>
#include <QtTest>

namespace screenshots {

// The folder, made, with the bundled fonts registered; empty when no pictures are asked for.
inline QString prepare()
{
    const QString folder = qEnvironmentVariable("PINDLE_SCREENSHOTS");
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return {};
    registerFonts();
    return folder;
}

// The desktop turned dark (a dark window colour, as a dark desktop theme sets) or back to light.
inline void setDark(bool dark)
{
    QPalette palette;
    if (dark)
        palette.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    QApplication::setPalette(palette);
    QCoreApplication::processEvents();
}

// A data column "dark": each picture in the light and the dark appearance.
inline void addAppearances()
{
    QTest::addColumn<bool>("dark");
    QTest::newRow("light") << false;
    QTest::newRow("dark") << true;
}

// The widget as it is drawn once pending events are through.
[[nodiscard]] inline bool save(QWidget* widget, const QString& folder, const QString& name)
{
    QCoreApplication::processEvents();
    return widget->grab().save(QDir(folder).filePath(name));
}

// The widget drawn at `scale` times its size, as on a high-density screen, so hairlines and
// symbols can be judged; saved as `name`.png.
[[nodiscard]] inline bool saveScaled(QWidget* widget, const QString& folder, const QString& name, int scale = 2)
{
    QCoreApplication::processEvents();
    QImage picture(widget->size() * scale, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    widget->render(&picture);
    return picture.save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

} // namespace screenshots
