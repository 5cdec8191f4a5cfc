#include "ui/mixer/CompactChannelRow.h"

#include "ui/mixer/ChannelControls.h"
#include "ui/mixer/MixerFader.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr QMargins kRowMargins{8, 5, 8, 5};
constexpr int kRowSpacing = 6;
constexpr int kDot = 7;
constexpr qreal kRowRadius = 8;
constexpr int kNameMinimumWidth = 30;
const TextStyle kScanStyle = TextStyle::bundled("DMSans-Bold", 7);
const TextStyle kCollapsedName = TextStyle::bundled("DMSans-SemiBold", 9);
constexpr int kCollapsedGap = 3;

QWidget* spacerOf(QSize size, QWidget* parent)
{
    auto* widget = new QWidget(parent);
    widget->setFixedSize(size);
    widget->setAttribute(Qt::WA_TransparentForMouseEvents);
    return widget;
}

} // namespace

CompactChannelRow::CompactChannelRow(MeterMotion& motion, FrameClock& frames, QWidget* parent)
    : ChannelControl(Kind::Row, motion, frames, parent), m_dot(spacerOf({kDot, kDot}, this)),
      m_scan(spacerOf({0, 0}, this))
{
    nameButton()->setMinimumWidth(kNameMinimumWidth);
    nameButton()->setMaximumWidth(ChannelNameButton::kRowWidth);
    nameButton()->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kRowMargins);
    layout->setSpacing(kRowSpacing);
    layout->addWidget(m_dot, 0, Qt::AlignVCenter);
    layout->addWidget(nameButton(), 1, Qt::AlignVCenter);
    layout->addWidget(meter(), 1, Qt::AlignVCenter);
    layout->addWidget(fader(), 2, Qt::AlignVCenter);
    layout->addWidget(m_scan, 0, Qt::AlignVCenter);
    // The tiles are items of the row like the rest, as far apart.
    for (ChannelTile* tile : {muteButton(), watchButton(), listenButton(), agentButton()})
        layout->addWidget(tile, 0, Qt::AlignVCenter);
    m_scan->hide();
}

QString CompactChannelRow::scanText() const
{
    if (!channel().scan || MixerModel::worthTranscribing(*channel().scan))
        return {};
    return channel().scan->description();
}

void CompactChannelRow::setChannel(const MixerModel::Channel& channel, const QColor& colour)
{
    if (!takeChannel(channel, colour))
        return;
    const ChannelConfig& config = channel.config;
    const QString& name = config.name;
    nameButton()->setToolTip(QStringLiteral("Rename channel %1").arg(config.index + 1));
    nameButton()->setAccessibleDescription(nameButton()->toolTip());

    const QString scan = scanText();
    m_scan->setVisible(!scan.isEmpty());
    const QFontMetricsF metrics(kScanStyle.font());
    m_scan->setFixedSize(static_cast<int>(std::ceil(metrics.horizontalAdvance(scan))),
                         static_cast<int>(std::ceil(metrics.height())));

    struct Button {
        ChannelTile* tile;
        Tile content;
        bool active;
        QColor accent;
        QString word;
    };
    const Button buttons[] = {
        {muteButton(),
         {QStringLiteral("M"), {}},
         !config.on,
         Theme::coral,
         config.on ? QStringLiteral("Mute") : QStringLiteral("Unmute")},
        {watchButton(),
         {{}, config.hidden ? QStringLiteral("eye.slash") : QStringLiteral("eye")},
         config.hidden,
         Theme::amber,
         QStringLiteral("Watch only")},
        {listenButton(),
         {{}, QStringLiteral("headphones")},
         channel.monitoring,
         Theme::coral,
         QStringLiteral("Listen")},
        {agentButton(),
         {{}, config.agent ? QStringLiteral("sparkles") : QStringLiteral("sparkles.slash")},
         config.agent,
         Theme::coral,
         QStringLiteral("Agent tag")},
    };
    for (const Button& button : buttons) {
        button.tile->setLook(button.content, button.active ? TileFill::Solid : TileFill::Sunken, button.accent);
        button.tile->setAccessibleName(button.word + QLatin1Char(' ') + name);
        button.tile->setToolTip(button.word);
    }

    fadeTo(config.isLive() || channel.focused ? 1.0 : 0.6, kFocusFade);
    if (m_opacity.isMoving())
        m_fade.start();
    applyOpacity();
}

void CompactChannelRow::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity.value());
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    const QRect dirty = event->rect();
    const bool focused = channel().focused;
    paintBody(painter, dirty, kRowRadius, focused ? 2 : 1,
              Theme::withOpacity(Theme::surface.resolve(appearance), channel().config.isLive() ? 1.0 : 0.5),
              focused ? Theme::coral : Theme::line.resolve(appearance));

    if (m_dot->geometry().intersects(dirty)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour());
        painter.drawEllipse(QRectF(m_dot->geometry()));
    }
    if (m_scan->isVisible() && m_scan->geometry().intersects(dirty)) {
        painter.setFont(kScanStyle.font());
        painter.setPen(Theme::muted.resolve(appearance));
        painter.drawText(m_scan->geometry(), Qt::AlignCenter | Qt::TextSingleLine, scanText());
    }
}

CollapsedChannel::CollapsedChannel(MeterMotion& motion, QWidget* parent)
    : QWidget(parent), m_meter(new MiniMeter(MiniMeter::Kind::Mini, &motion, this))
{
    const int line = static_cast<int>(std::ceil(QFontMetricsF(kCollapsedName.font()).height()));
    setFixedSize(kWidth, m_meter->height() + kCollapsedGap + line);
    m_meter->move(0, 0);
}

void CollapsedChannel::setChannel(const ChannelConfig& config, const QColor& colour)
{
    if (m_shown && config == m_config && colour == m_colour)
        return;
    m_shown = true;
    m_config = config;
    m_colour = colour;
    m_meter->setColour(colour);
    m_meter->setOpacity(config.isLive() ? 1.0 : 0.5);
    setAccessibleName(config.name);
    update();
}

void CollapsedChannel::paintEvent(QPaintEvent* event)
{
    // The name sits under the meter: a meter's repaint leaves it be.
    if (event->rect().bottom() < m_meter->height() + kCollapsedGap)
        return;
    QPainter painter(this);
    const bool live = m_config.isLive();
    painter.setOpacity(live ? 1.0 : 0.5);
    const QFont font = kCollapsedName.font();
    painter.setFont(font);
    painter.setPen(live ? m_colour : Theme::muted.resolve(AppearanceNotifier::shared().appearance()));
    const QRectF text(0, m_meter->height() + kCollapsedGap, width(), height() - m_meter->height() - kCollapsedGap);
    const QString shown = QFontMetricsF(font).elidedText(m_config.name, Qt::ElideRight, text.width());
    painter.drawText(text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, shown);
}
