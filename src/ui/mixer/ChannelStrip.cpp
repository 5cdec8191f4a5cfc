#include "ui/mixer/ChannelStrip.h"

#include "ui/mixer/ChannelControls.h"
#include "ui/mixer/MixerFader.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/PainterState.h"
#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int kPadX = 4;
constexpr int kPadY = 8;
constexpr int kMeterFaderGap = 7;
constexpr int kTileGap = 4;
constexpr qreal kCornerRadius = 10;
const TextStyle kGainStyle = TextStyle::shortcut;

int gainLineHeight()
{
    return static_cast<int>(std::ceil(QFontMetricsF(kGainStyle.font()).height()));
}

} // namespace

ChannelStrip::ChannelStrip(MeterMotion& motion, FrameClock& frames, QWidget* parent)
    : ChannelControl(Kind::Strip, motion, frames, parent)
{
    meter()->setTrackLength(MixerModel::kTrackHeight);
    fader()->setTrackLength(MixerModel::kTrackHeight);
    listenButton()->setToolTip(QStringLiteral("Play this channel in your headphones"));
    setFixedSize(sizeHint());
    place();
}

QSize ChannelStrip::sizeHint() const
{
    const int height = kPadY + nameButton()->sizeHint().height() + kSpacing + MixerModel::kTrackHeight + kSpacing +
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
    int y = centred(nameButton(), kPadY);
    const int pair = meter()->width() + kMeterFaderGap + fader()->width();
    const int left = kPadX + (inner - pair) / 2;
    meter()->move(left, y);
    fader()->move(left + meter()->width() + kMeterFaderGap, y);
    y += MixerModel::kTrackHeight + kSpacing;
    y += kBadgeHeight + kSpacing + gainLineHeight() + kSpacing;
    const int tiles = muteButton()->width() + kTileGap + watchButton()->width();
    muteButton()->move(kPadX + (inner - tiles) / 2, y);
    watchButton()->move(muteButton()->x() + muteButton()->width() + kTileGap, y);
    y += muteButton()->height() + kSpacing;
    y = centred(listenButton(), y);
    centred(agentButton(), y);
}

QRectF ChannelStrip::badgeRect() const
{
    const qreal top = fader()->geometry().bottom() + 1 + kSpacing;
    if (!channel().scan)
        return {kWidth / 2.0, top, 0, kBadgeHeight};
    const QString text = badgeText();
    const qreal textWidth = capsuleSize({{}, {}, text, {}}, CapsuleStyles::scanBadge).width();
    const qreal width = std::min<qreal>(textWidth, kWidth - 2 * kPadX);
    return {(kWidth - width) / 2, top, width, kBadgeHeight};
}

QRectF ChannelStrip::gainRect() const
{
    const qreal top = fader()->geometry().bottom() + 1 + kSpacing + kBadgeHeight + kSpacing;
    return {0, top, static_cast<qreal>(kWidth), static_cast<qreal>(gainLineHeight())};
}

QString ChannelStrip::badgeText() const
{
    return channel().scan ? channel().scan->description() : QString();
}

QString ChannelStrip::badgeToolTip() const
{
    if (!channel().scan)
        return {};
    return MixerModel::worthTranscribing(*channel().scan) ? QStringLiteral("Scan: worth transcribing")
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
    const bool scanChanged = this->channel().scanningThis != channel.scanningThis;
    const std::optional<ScanKind> verdict = this->channel().scan;
    const QRectF verdictRect = m_badge;
    if (!takeChannel(channel, colour))
        return;
    const ChannelConfig& config = channel.config;
    const QString& name = config.name;
    nameButton()->setToolTip(nameToolTip(channel));
    nameButton()->setAccessibleDescription(nameButton()->toolTip());

    muteButton()->setLook({QStringLiteral("M"), {}}, config.on ? TileFill::Idle : TileFill::Solid, Theme::coral);
    muteButton()->setAccessibleName((config.on ? QStringLiteral("Mute ") : QStringLiteral("Unmute ")) + name);
    muteButton()->setToolTip(config.on ? QStringLiteral("Mute: stop transcribing this channel")
                                       : QStringLiteral("Unmute"));

    watchButton()->setLook({{}, config.hidden ? QStringLiteral("eye.slash") : QStringLiteral("eye")},
                           config.hidden ? TileFill::SolidOnBackground : TileFill::Idle, Theme::amber);
    watchButton()->setAccessibleName(config.hidden
                                         ? QStringLiteral("Show ") + name + QStringLiteral(" in the transcript")
                                         : QStringLiteral("Watch ") + name + QStringLiteral(" without showing it"));
    watchButton()->setToolTip(
        config.hidden ? QStringLiteral("Watching: transcribed for keyword alerts, hidden from your transcript")
                      : QStringLiteral("Watch only: hide its lines but keep listening for keywords"));

    listenButton()->setLook(
        {{}, channel.monitoring ? QStringLiteral("headphones.circle.fill") : QStringLiteral("headphones")},
        channel.monitoring ? TileFill::Wash : TileFill::Idle, Theme::coral);
    listenButton()->setAccessibleName(
        (channel.monitoring ? QStringLiteral("Stop listening to ") : QStringLiteral("Listen to ")) + name);

    agentButton()->setLook({{}, config.agent ? QStringLiteral("sparkles") : QStringLiteral("sparkles.slash")},
                           config.agent ? TileFill::FaintWash : TileFill::Idle, Theme::coral);
    agentButton()->setAccessibleName(config.agent ? QStringLiteral("Stop the agent watching ") + name
                                                  : QStringLiteral("Tag ") + name + QStringLiteral(" for the agent"));
    agentButton()->setToolTip(config.agent ? QStringLiteral("Tagged: the agent keeps an eye on this channel")
                                           : QStringLiteral("Not tagged: the agent ignores this channel"));

    m_badge = badgeRect();
    if (verdict && !channel.scan) {
        m_leavingScan = verdict;
        m_leavingBadge = verdictRect;
    } else if (channel.scan) {
        m_leavingScan.reset();
    }
    m_badgeIn.setTarget(channel.scan ? 1.0 : 0.0, kBadgeFade);
    const bool live = config.isLive();
    m_fill.setTarget(live ? 1.0 : 0.5, kLiveFade);
    // The first channel shown, a strip off screen and reduced motion: at the end at once.
    if (!m_filled || !isVisible() || m_frames.reduceMotion()) {
        m_badgeIn.snap();
        m_leavingScan.reset();
    }
    if (!m_filled) {
        m_filled = true;
        m_fill.snap();
    }
    fadeTo(live || channel.scanningThis ? 1.0 : 0.6, scanChanged ? kScanFade : kLiveFade);
    if (m_opacity.isMoving() || m_fill.isMoving() || m_badgeIn.isMoving())
        m_fade.start();
    applyOpacity();
}

bool ChannelStrip::stepFades(double seconds)
{
    const bool fill = m_fill.step(seconds);
    const bool badge = m_badgeIn.step(seconds);
    if (m_badgeIn.isMoving() || m_leavingScan)
        update(m_badge.united(m_leavingBadge).toAlignedRect());
    if (!badge)
        m_leavingScan.reset();
    return ChannelControl::stepFades(seconds) || fill || badge;
}

void ChannelStrip::paintBadge(QPainter& painter, const ScanKind& scan, const QRectF& rect) const
{
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    const bool worth = MixerModel::worthTranscribing(scan);
    const QColor outlineColour = worth ? Theme::withOpacity(Theme::green, 0.6) : Theme::line.resolve(appearance);
    const QColor content = worth ? Theme::green : Theme::muted.resolve(appearance);
    const PainterState state(painter);
    const double progress = m_badgeIn.value();
    if (progress < 1) {
        const qreal scale = kBadgeStartScale + (1 - kBadgeStartScale) * progress;
        painter.setOpacity(painter.opacity() * progress);
        painter.translate(rect.center());
        painter.scale(scale, scale);
        painter.translate(-rect.center());
    }
    paintCapsule(painter, rect, {{}, {}, scan.description(), {}}, CapsuleStyles::scanBadge,
                 {QColor(Qt::transparent), outlineColour, content});
}

void ChannelStrip::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    painter.setOpacity(drawnOpacity());
    const QRect dirty = event->rect();

    const bool scanning = channel().scanningThis;
    paintBody(painter, dirty, kCornerRadius, scanning ? 2 : 1,
              Theme::withOpacity(Theme::surface.resolve(appearance), m_fill.value()),
              scanning ? Theme::coral : Theme::line.resolve(appearance));

    if (channel().scan && m_badge.intersects(dirty))
        paintBadge(painter, *channel().scan, m_badge);
    else if (m_leavingScan && m_leavingBadge.intersects(dirty))
        paintBadge(painter, *m_leavingScan, m_leavingBadge);

    if (!gainRect().intersects(dirty))
        return;
    const bool live = channel().config.isLive();
    painter.setFont(kGainStyle.font());
    painter.setPen(live ? Theme::ink.resolve(appearance) : Theme::muted.resolve(appearance));
    painter.drawText(gainRect(), Qt::AlignCenter | Qt::TextSingleLine, channel().config.gainLabel());
}

bool ChannelStrip::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (channel().scan && m_badge.contains(help->pos())) {
            QToolTip::showText(help->globalPos(), badgeToolTip(), this, m_badge.toAlignedRect());
            return true;
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}
