#include "ui/mixer/ChannelStrip.h"

#include "ui/mixer/ChannelControls.h"
#include "ui/mixer/MixerFader.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int kPadX = 4;
constexpr int kPadY = 8;
constexpr int kMeterFaderGap = 7;
constexpr int kTileGap = 4;
constexpr qreal kCornerRadius = 10;
constexpr qreal kBadgePadX = 4;
const TextStyle kGainStyle = TextStyle::shortcut;

int gainLineHeight()
{
    return static_cast<int>(std::ceil(QFontMetricsF(kGainStyle.font()).height()));
}

} // namespace

ChannelStrip::ChannelStrip(MeterMotion& motion, FrameClock& frames, QWidget* parent)
    : QWidget(parent),
      m_name(new ChannelNameButton(ChannelNameButton::Kind::Strip, this)),
      m_meter(new LevelMeter(LevelMeter::Kind::Vertical, &motion, this)),
      m_fader(new MixerFader(Qt::Vertical, this)),
      m_mute(new ChannelTile(TileStyles::stripToggle, this)),
      m_watch(new ChannelTile(TileStyles::stripToggle, this)),
      m_listen(new ChannelTile(TileStyles::stripHeadphones, this)),
      m_agent(new ChannelTile(TileStyles::stripAgent, this)),
      m_fade(frames.add([this](double seconds) {
          const bool moving = m_opacity.step(seconds) | m_fill.step(seconds);
          applyOpacity();
          return moving;
      }))
{
    m_meter->setTrackLength(MixerModel::kTrackHeight);
    m_fader->setTrackLength(MixerModel::kTrackHeight);
    m_listen->setToolTip(QStringLiteral("Play this channel in your headphones"));
    setFixedSize(sizeHint());
    place();

    connect(m_name, &QAbstractButton::clicked, this, &ChannelStrip::renameClicked);
    connect(m_mute, &QAbstractButton::clicked, this, &ChannelStrip::muteClicked);
    connect(m_watch, &QAbstractButton::clicked, this, &ChannelStrip::watchClicked);
    connect(m_listen, &QAbstractButton::clicked, this, &ChannelStrip::listenClicked);
    connect(m_agent, &QAbstractButton::clicked, this, &ChannelStrip::agentClicked);
    connect(m_fader, &MixerFader::moved, this, &ChannelStrip::faderMoved);
    connect(m_fader, &MixerFader::released, this, &ChannelStrip::faderReleased);
}

QSize ChannelStrip::sizeHint() const
{
    const int height = kPadY + m_name->sizeHint().height() + kSpacing + MixerModel::kTrackHeight + kSpacing +
                       kBadgeHeight + kSpacing + gainLineHeight() + kSpacing +
                       static_cast<int>(TileStyles::stripToggle.size.height()) + kSpacing +
                       static_cast<int>(TileStyles::stripHeadphones.size.height()) + kSpacing +
                       static_cast<int>(TileStyles::stripAgent.size.height()) + kPadY;
    return {kWidth, height};
}

void ChannelStrip::place()
{
    const int inner = kWidth - 2 * kPadX;
    auto centred = [&](QWidget* widget, int y) {
        widget->move(kPadX + (inner - widget->width()) / 2, y);
        return y + widget->height() + kSpacing;
    };
    int y = centred(m_name, kPadY);
    const int pair = m_meter->width() + kMeterFaderGap + m_fader->width();
    const int left = kPadX + (inner - pair) / 2;
    m_meter->move(left, y);
    m_fader->move(left + m_meter->width() + kMeterFaderGap, y);
    y += MixerModel::kTrackHeight + kSpacing;
    y += kBadgeHeight + kSpacing + gainLineHeight() + kSpacing;
    const int tiles = m_mute->width() + kTileGap + m_watch->width();
    m_mute->move(kPadX + (inner - tiles) / 2, y);
    m_watch->move(m_mute->x() + m_mute->width() + kTileGap, y);
    y += m_mute->height() + kSpacing;
    y = centred(m_listen, y);
    centred(m_agent, y);
}

QRectF ChannelStrip::badgeRect() const
{
    const qreal top = m_fader->geometry().bottom() + 1 + kSpacing;
    if (!m_channel.scan)
        return {kWidth / 2.0, top, 0, kBadgeHeight};
    const QString text = badgeText();
    const qreal textWidth = capsuleSize({{}, {}, text, {}}, CapsuleStyles::scanBadge).width();
    const qreal width = std::min<qreal>(textWidth, kWidth - 2 * kPadX);
    return {(kWidth - width) / 2, top, width, kBadgeHeight};
}

QRectF ChannelStrip::gainRect() const
{
    const qreal top = m_fader->geometry().bottom() + 1 + kSpacing + kBadgeHeight + kSpacing;
    return {0, top, static_cast<qreal>(kWidth), static_cast<qreal>(gainLineHeight())};
}

QString ChannelStrip::badgeText() const
{
    return m_channel.scan ? m_channel.scan->description() : QString();
}

QString ChannelStrip::badgeToolTip() const
{
    if (!m_channel.scan)
        return {};
    return MixerModel::worthTranscribing(*m_channel.scan) ? QStringLiteral("Scan: worth transcribing")
                                                          : QStringLiteral("Scan: muted, nothing worth transcribing");
}

QString ChannelStrip::nameToolTip(const MixerModel::Channel& channel)
{
    if (channel.brief)
        return channel.brief->topic + QStringLiteral(". ") + channel.brief->why;
    return QStringLiteral("Rename channel %1").arg(channel.config.index + 1);
}

void ChannelStrip::setChannel(const MixerModel::Channel& channel, const QColor& colour)
{
    if (m_shown && channel == m_channel && colour == m_colour)
        return;
    const bool scanChanged = m_shown && channel.scanningThis != m_channel.scanningThis;
    m_channel = channel;
    m_colour = colour;
    const ChannelConfig& config = channel.config;
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    const bool live = config.isLive();
    const QString& name = config.name;

    m_name->setName(name, live ? colour : Theme::muted.resolve(appearance), colour);
    m_name->setToolTip(nameToolTip(channel));
    m_name->setAccessibleName(name);
    m_name->setAccessibleDescription(m_name->toolTip());

    m_fader->setValue(config.fader);
    m_fader->setColour(colour);
    m_fader->setAccessibleName(name + QStringLiteral(" level into transcription"));
    m_fader->setValueText(config.gainLabel());

    m_mute->setLook({QStringLiteral("M"), {}}, config.on ? TileFill::Idle : TileFill::Solid, Theme::coral);
    m_mute->setAccessibleName((config.on ? QStringLiteral("Mute ") : QStringLiteral("Unmute ")) + name);
    m_mute->setToolTip(config.on ? QStringLiteral("Mute: stop transcribing this channel") : QStringLiteral("Unmute"));

    m_watch->setLook({{}, config.hidden ? QStringLiteral("eye.slash") : QStringLiteral("eye")},
                     config.hidden ? TileFill::SolidOnBackground : TileFill::Idle, Theme::amber);
    m_watch->setAccessibleName(config.hidden ? QStringLiteral("Show ") + name + QStringLiteral(" in the transcript")
                                             : QStringLiteral("Watch ") + name + QStringLiteral(" without showing it"));
    m_watch->setToolTip(config.hidden
                            ? QStringLiteral("Watching: transcribed for keyword alerts, hidden from your transcript")
                            : QStringLiteral("Watch only: hide its lines but keep listening for keywords"));

    m_listen->setLook({{}, channel.monitoring ? QStringLiteral("headphones.circle.fill") : QStringLiteral("headphones")},
                      channel.monitoring ? TileFill::Wash : TileFill::Idle, Theme::coral);
    m_listen->setAccessibleName((channel.monitoring ? QStringLiteral("Stop listening to ") : QStringLiteral("Listen to ")) +
                                name);

    m_agent->setLook({{}, config.agent ? QStringLiteral("sparkles") : QStringLiteral("sparkles.slash")},
                     config.agent ? TileFill::FaintWash : TileFill::Idle, Theme::coral);
    m_agent->setAccessibleName(config.agent ? QStringLiteral("Stop the agent watching ") + name
                                            : QStringLiteral("Tag ") + name + QStringLiteral(" for the agent"));
    m_agent->setToolTip(config.agent ? QStringLiteral("Tagged: the agent keeps an eye on this channel")
                                     : QStringLiteral("Not tagged: the agent ignores this channel"));

    const double seconds = scanChanged ? kScanFade : kLiveFade;
    m_opacity.setTarget(live || channel.scanningThis ? 1.0 : 0.6, seconds);
    m_fill.setTarget(live ? 1.0 : 0.5, kLiveFade);
    if (!m_shown) {
        m_opacity.snap();
        m_fill.snap();
        m_shown = true;
    }
    if (m_opacity.isMoving() || m_fill.isMoving())
        m_fade.start();
    applyOpacity();
    update();
}

void ChannelStrip::applyOpacity()
{
    const qreal opacity = m_opacity.value();
    m_name->setOpacity(opacity);
    m_meter->setOpacity(opacity);
    m_fader->setOpacity(opacity);
    for (ChannelTile* tile : {m_mute, m_watch, m_listen, m_agent})
        tile->setOpacity(opacity);
    update();
}

void ChannelStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    painter.setOpacity(m_opacity.value());

    const bool scanning = m_channel.scanningThis;
    const qreal outline = scanning ? 2 : 1;
    const QRectF body = QRectF(rect()).adjusted(outline / 2, outline / 2, -outline / 2, -outline / 2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::withOpacity(Theme::surface.resolve(appearance), m_fill.value()));
    painter.drawRoundedRect(body, kCornerRadius, kCornerRadius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(scanning ? Theme::coral : Theme::line.resolve(appearance), outline));
    painter.drawRoundedRect(body, kCornerRadius, kCornerRadius);

    if (m_channel.scan) {
        const bool worth = MixerModel::worthTranscribing(*m_channel.scan);
        const QColor outlineColour =
            worth ? Theme::withOpacity(Theme::green, 0.6) : Theme::line.resolve(appearance);
        const QColor content = worth ? Theme::green : Theme::muted.resolve(appearance);
        paintCapsule(painter, badgeRect(), {{}, {}, badgeText(), {}}, CapsuleStyles::scanBadge,
                     {QColor(Qt::transparent), outlineColour, content});
    }

    const bool live = m_channel.config.isLive();
    painter.setFont(kGainStyle.font());
    painter.setPen(live ? Theme::ink.resolve(appearance) : Theme::muted.resolve(appearance));
    painter.drawText(gainRect(), Qt::AlignCenter | Qt::TextSingleLine, m_channel.config.gainLabel());
}

bool ChannelStrip::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (m_channel.scan && badgeRect().contains(help->pos())) {
            QToolTip::showText(help->globalPos(), badgeToolTip(), this, badgeRect().toAlignedRect());
            return true;
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}
