#pragma once

#include "platform/Appearance.h"
#include "ui/theme/TextStyle.h"

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// The capsule-shaped controls the header, the button bar, the sheets and the mixer share: header
// pills, chips and badges. Each is a row of [symbol or dot] [title] [symbol] on a capsule, laid
// out by a style; the painters only paint, inside the rect they are given.

// What a control is drawn in. An invalid or transparent colour draws nothing.
struct ControlColours {
    QColor fill;
    QColor outline;
    QColor content;

    // Surface, hairline and ink: a resting pill or chip.
    [[nodiscard]] static ControlColours plain(Appearance appearance = currentAppearance());
    // Surface and hairline with muted content: a mixer tile that is off.
    [[nodiscard]] static ControlColours idle(Appearance appearance = currentAppearance());
    // Filled and outlined in `colour`, content in `content`: a chosen chip, a switched-on tile.
    [[nodiscard]] static ControlColours filled(const QColor& colour, const QColor& content);
    // `colour` for the content and outline, and at `fillOpacity` for the fill: a tile that is on
    // but quiet (monitoring, the agent's tag). No outline unless `outlined`.
    [[nodiscard]] static ControlColours tinted(const QColor& colour, qreal fillOpacity, bool outlined);
};

// The rounded body of a control in `rect`: the fill, then the outline stroked inside the rect so
// all of it shows. The corner radius is at most half the shorter side (a capsule when larger).
void paintControlShape(QPainter& painter, const QRectF& rect, qreal cornerRadius, qreal outlineWidth,
                       const ControlColours& colours);

struct CapsuleStyle {
    TextStyle title;
    TextStyle symbol;
    qreal horizontalPadding = 0;
    qreal verticalPadding = 0;
    // Between the symbol or dot, the title and the trailing symbol.
    qreal spacing = 0;
    // 0: no outline.
    qreal outlineWidth = 0;
    // A compact header shows the symbol alone.
    bool showsTitle = true;
    qreal dotDiameter = 8;
};

struct CapsuleLabel {
    QString symbol;
    // A dot in this colour in place of the symbol (the Start/Stop button); invalid: none.
    QColor dot;
    QString title;
    QString trailingSymbol;
};

// The label's natural size in `style`.
[[nodiscard]] QSizeF capsuleSize(const CapsuleLabel& label, const CapsuleStyle& style);

// Where the parts of a label go in `rect`: centred as a row, the title cut with an ellipsis when
// the room is short. A missing part has an empty rect and no gap.
struct CapsuleLayout {
    QRectF lead;
    QRectF title;
    QString shownTitle;
    QRectF trailing;
};
[[nodiscard]] CapsuleLayout layoutCapsule(const CapsuleLabel& label, const CapsuleStyle& style, const QRectF& rect);

// Draws the capsule filling `rect` with the label centred in it. A title longer than the room
// left is cut with an ellipsis; nothing is drawn outside `rect`.
void paintCapsule(QPainter& painter, const QRectF& rect, const CapsuleLabel& label, const CapsuleStyle& style,
                  const ControlColours& colours);

namespace CapsuleStyles {

// The header's pills and menus; compact pills show their symbol alone, with less padding.
inline constexpr CapsuleStyle pill{TextStyle::pillTitle, TextStyle::pillSymbol, 12, 7, 6, 1};
inline constexpr CapsuleStyle compactPill{TextStyle::pillTitle, TextStyle::pillSymbol, 9, 7, 6, 1, false};
// A tag of the tag bar.
inline constexpr CapsuleStyle tagChip{TextStyle::chipTitle, TextStyle::chipSymbol, 9, 5, 4, 1};
// A kind of the composer's kind row.
inline constexpr CapsuleStyle kindChip{TextStyle::chipTitle, TextStyle::chipSymbol, 9, 4, 4, 1};
// A removable keyword, its title followed by "xmark".
inline constexpr CapsuleStyle wordChip{TextStyle::wordChip, TextStyle::chipSymbol, 9, 5, 4, 1};
// A marker button's reach ("Last 8 s").
inline constexpr CapsuleStyle reachCapsule{TextStyle::wordChip, TextStyle::chipSymbol, 10, 5, 4, 1};
// "SELECTED" on a used transcript line.
inline constexpr CapsuleStyle usedBadge{TextStyle::badge, TextStyle::chipSymbol, 6, 2, 4, 0};
// A channel's scan verdict, outlined only.
inline constexpr CapsuleStyle scanBadge{TextStyle::scanBadge, TextStyle::chipSymbol, 4, 1, 4, 1};

} // namespace CapsuleStyles

// A header pill: `symbol` and `title` on the surface, outlined in coral while `active`.
[[nodiscard]] QSizeF pillSize(const CapsuleStyle& style, const QString& symbol, const QString& title);
void paintPill(QPainter& painter, const QRectF& rect, const CapsuleStyle& style, const QString& symbol,
               const QString& title, bool active, Appearance appearance = currentAppearance());
