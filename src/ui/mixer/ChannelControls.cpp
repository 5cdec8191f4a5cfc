#include "ui/mixer/ChannelControls.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/TextStyle.h"
#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {

constexpr qreal kDot = 8;
constexpr qreal kDotGap = 3;
const TextStyle& nameStyle()
{
    return TextStyle::chipTitle;
}

} // namespace

ControlColours tileColours(TileFill fill, const QColor& accent, Appearance appearance)
{
    switch (fill) {
    case TileFill::Idle:
        return ControlColours::idle(appearance);
    case TileFill::Sunken:
        return {Theme::background.resolve(appearance), QColor(), Theme::muted.resolve(appearance)};
    case TileFill::Solid:
        return ControlColours::filled(accent, Qt::white);
    case TileFill::SolidOnBackground:
        return ControlColours::filled(accent, Theme::background.resolve(appearance));
    case TileFill::Wash:
        return ControlColours::tinted(accent, 0.15, true);
    case TileFill::FaintWash:
        return ControlColours::tinted(accent, 0.12, false);
    }
    return ControlColours::idle(appearance);
}

ChannelTile::ChannelTile(const TileStyle& style, QWidget* parent) : QAbstractButton(parent), m_style(style)
{
    setFixedSize(style.size.toSize());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
}

void ChannelTile::setLook(const Tile& tile, TileFill fill, const QColor& accent)
{
    if (tile.letter == m_tile.letter && tile.symbol == m_tile.symbol && fill == m_fill && accent == m_accent)
        return;
    m_tile = tile;
    m_fill = fill;
    m_accent = accent;
    update();
}

void ChannelTile::setOpacity(qreal opacity)
{
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

QSize ChannelTile::sizeHint() const
{
    return m_style.size.toSize();
}

void ChannelTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setOpacity(m_opacity);
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    paintTile(painter, QRectF(rect()), m_tile, m_style, tileColours(m_fill, m_accent, appearance));
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::ink.resolve(appearance), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), m_style.cornerRadius - 1,
                                m_style.cornerRadius - 1);
    }
}

ChannelNameButton::ChannelNameButton(Kind kind, QWidget* parent) : QAbstractButton(parent), m_kind(kind)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setFixedSize(sizeHint());
}

void ChannelNameButton::setName(const QString& name, const QColor& nameColour, const QColor& dotColour)
{
    if (name == text() && nameColour == m_nameColour && dotColour == m_dotColour)
        return;
    setText(name);
    m_nameColour = nameColour;
    m_dotColour = dotColour;
    update();
}

void ChannelNameButton::setOpacity(qreal opacity)
{
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

QSize ChannelNameButton::sizeHint() const
{
    const qreal line = QFontMetricsF(nameStyle().font()).height();
    if (m_kind == Kind::Strip)
        return {kStripWidth, static_cast<int>(std::ceil(kDot + kDotGap + line))};
    return {kRowWidth, static_cast<int>(std::ceil(line))};
}

void ChannelNameButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    const QFont font = nameStyle().font();
    const QFontMetricsF metrics(font);
    QRectF textRect(rect());
    if (m_kind == Kind::Strip) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_dotColour);
        painter.drawEllipse(QRectF((width() - kDot) / 2, 0, kDot, kDot));
        textRect.setTop(kDot + kDotGap);
    }
    painter.setFont(font);
    painter.setPen(m_nameColour);
    const QString shown = metrics.elidedText(text(), Qt::ElideRight, textRect.width());
    const Qt::Alignment align =
        m_kind == Kind::Strip ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignVCenter;
    painter.drawText(textRect, align | Qt::TextSingleLine, shown);
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Theme::coral, 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
}
