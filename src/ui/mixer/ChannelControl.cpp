#include "ui/mixer/ChannelControl.h"

#include "ui/mixer/ChannelControls.h"
#include "ui/mixer/MixerFader.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QPainter>

ChannelControl::ChannelControl(Kind kind, MeterMotion& motion, FrameClock& frames, QWidget* parent)
    : QWidget(parent), m_frames(frames), m_fade(frames.add([this](double seconds) {
          const bool moving = stepFades(seconds);
          applyOpacity();
          return moving;
      })),
      m_name(new ChannelNameButton(kind == Kind::Strip ? ChannelNameButton::Kind::Strip : ChannelNameButton::Kind::Row,
                                   this)),
      m_meter(new MiniMeter(kind == Kind::Strip ? MiniMeter::Kind::Vertical : MiniMeter::Kind::Bar, &motion, this)),
      m_fader(new MixerFader(kind == Kind::Strip ? Qt::Vertical : Qt::Horizontal, this)),
      m_mute(new ChannelTile(kind == Kind::Strip ? TileStyles::stripToggle : TileStyles::compactRow, this)),
      m_watch(new ChannelTile(kind == Kind::Strip ? TileStyles::stripToggle : TileStyles::compactRow, this)),
      m_listen(new ChannelTile(kind == Kind::Strip ? TileStyles::stripHeadphones : TileStyles::compactRow, this)),
      m_agent(new ChannelTile(kind == Kind::Strip ? TileStyles::stripAgent : TileStyles::compactRow, this))
{
    connect(m_name, &QAbstractButton::clicked, this, &ChannelControl::renameClicked);
    connect(m_mute, &QAbstractButton::clicked, this, &ChannelControl::muteClicked);
    connect(m_watch, &QAbstractButton::clicked, this, &ChannelControl::watchClicked);
    connect(m_listen, &QAbstractButton::clicked, this, &ChannelControl::listenClicked);
    connect(m_agent, &QAbstractButton::clicked, this, &ChannelControl::agentClicked);
    connect(m_fader, &MixerFader::moved, this, &ChannelControl::faderMoved);
    connect(m_fader, &MixerFader::released, this, &ChannelControl::faderReleased);
}

bool ChannelControl::takeChannel(const MixerModel::Channel& channel, const QColor& colour)
{
    if (m_shown && channel == m_channel && colour == m_colour)
        return false;
    m_channel = channel;
    m_colour = colour;
    const ChannelConfig& config = channel.config;
    const QString& name = config.name;
    const QColor muted = Theme::muted.resolve(AppearanceNotifier::shared().appearance());
    m_name->setName(name, config.isLive() ? colour : muted, colour);
    m_name->setAccessibleName(name);
    m_fader->setValue(config.fader);
    m_fader->setColour(colour);
    m_fader->setAccessibleName(name + QStringLiteral(" level into transcription"));
    m_fader->setValueText(config.gainLabel());
    return true;
}

void ChannelControl::fadeTo(double target, double seconds)
{
    m_opacity.setTarget(target, seconds);
    if (!m_shown) {
        m_shown = true;
        m_opacity.snap();
    }
}

bool ChannelControl::stepFades(double seconds)
{
    return m_opacity.step(seconds);
}

void ChannelControl::setBandOpacity(double opacity)
{
    if (opacity == m_bandOpacity)
        return;
    m_bandOpacity = opacity;
    applyOpacity();
}

void ChannelControl::applyOpacity()
{
    const qreal opacity = drawnOpacity();
    m_name->setOpacity(opacity);
    m_meter->setOpacity(opacity);
    m_fader->setOpacity(opacity);
    for (ChannelTile* tile : {m_mute, m_watch, m_listen, m_agent})
        tile->setOpacity(opacity);
    update();
}

void ChannelControl::paintBody(QPainter& painter, const QRect& dirty, qreal radius, qreal outlineWidth,
                               const QColor& fill, const QColor& outline) const
{
    const QRectF body =
        QRectF(rect()).adjusted(outlineWidth / 2, outlineWidth / 2, -outlineWidth / 2, -outlineWidth / 2);
    const qreal inset = radius + outlineWidth;
    if (QRectF(rect()).adjusted(inset, inset, -inset, -inset).contains(QRectF(dirty))) {
        painter.fillRect(dirty, fill);
        return;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(body, radius, radius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(outline, outlineWidth));
    painter.drawRoundedRect(body, radius, radius);
}
