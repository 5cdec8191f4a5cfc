#pragma once

#include "ui/theme/Capsule.h"
#include "ui/theme/Tile.h"

#include <QAbstractButton>
#include <QColor>

// The colours a channel tile is drawn in, resolved for the appearance at paint time.
enum class TileFill {
    // Surface and hairline, muted content: a control that is off.
    Idle,
    // Muted content on the screen background, no outline: a compact row's control that is off.
    Sunken,
    // Filled and outlined in the accent, white content.
    Solid,
    // Filled and outlined in the accent, content in the screen background colour.
    SolidOnBackground,
    // The accent for content and outline over a faint wash of it.
    Wash,
    // The same wash with no outline.
    FaintWash,
};

[[nodiscard]] ControlColours tileColours(TileFill fill, const QColor& accent, Appearance appearance);

// One of a channel's small buttons (mute, watch only, headphones, agent tag): a painted tile.
class ChannelTile : public QAbstractButton {
    Q_OBJECT
public:
    ChannelTile(const TileStyle& style, QWidget* parent = nullptr);

    void setLook(const Tile& tile, TileFill fill, const QColor& accent = {});
    [[nodiscard]] const Tile& tile() const { return m_tile; }
    [[nodiscard]] TileFill fill() const { return m_fill; }
    void setOpacity(qreal opacity);

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TileStyle m_style;
    Tile m_tile;
    TileFill m_fill = TileFill::Idle;
    QColor m_accent;
    qreal m_opacity = 1.0;
};

// A channel's name as a button that asks to rename it. The strip's stacks a colour dot over the
// name in a narrow column; the row's is the name alone, leading-aligned.
class ChannelNameButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind { Strip, Row };
    static constexpr int kStripWidth = 60;
    static constexpr int kRowWidth = 62;

    explicit ChannelNameButton(Kind kind, QWidget* parent = nullptr);

    // The name is drawn in `nameColour`; the strip's dot in `dotColour`.
    void setName(const QString& name, const QColor& nameColour, const QColor& dotColour);
    void setOpacity(qreal opacity);

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind m_kind;
    QColor m_nameColour;
    QColor m_dotColour;
    qreal m_opacity = 1.0;
};
