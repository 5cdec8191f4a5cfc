#pragma once

#include "export/MarkerBadge.h"
#include "platform/Appearance.h"
#include "ui/theme/TextStyle.h"

#include <QColor>
#include <QPainterPath>
#include <QString>

class QPainter;

// One marker button of the button bar: the kind's badge (a coral dot while its range is open),
// the name, and the shortcut, on a rounded rectangle tinted in the kind's colour.
struct MarkerChip {
    QString name;
    // Empty: no shortcut label.
    QString hotkey;
    // The kind's colour.
    QColor colour;
    // Kept: a stronger tint and outline.
    bool kept = false;
    // A range of this button is open: a coral dot, and "Stop " before the name.
    bool recording = false;
};

struct MarkerChipStyle {
    TextStyle title = TextStyle::buttonTitle;
    TextStyle hotkey = TextStyle::shortcut;
    qreal height = 50;
    qreal horizontalPadding = 12;
    qreal spacing = 8;
    qreal cornerRadius = 16;
    qreal glyphSize = 16;
    qreal recordingDotDiameter = 9;
    // A long name shrinks this far before it is cut.
    qreal minimumTitleScale = 0.7;
    qreal fillOpacity = 0.14;
    qreal keptFillOpacity = 0.32;
    qreal outlineOpacity = 0.55;
    qreal keptOutlineOpacity = 1.0;
    qreal outlineWidth = 1.2;
    qreal keptOutlineWidth = 2.5;
};

// Draws the chip filling `rect`, its content centred; nothing outside `rect`. The owner scales
// the painter for the chip's pop.
void paintMarkerChip(QPainter& painter, const QRectF& rect, const MarkerChip& chip,
                     Appearance appearance = currentAppearance(), const MarkerChipStyle& style = {});
