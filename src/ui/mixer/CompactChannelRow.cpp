#include "ui/mixer/CompactChannelRow.h"

#include "ui/mixer/ChannelControls.h"
#include "ui/mixer/MixerFader.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>

namespace {

constexpr QMargins kRowMargins{8, 5, 8, 5};
constexpr int kRowSpacing = 6;
constexpr int kTileSpacing = 2;
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
    : QWidget(parent),
      m_dot(spacerOf({kDot, kDot}, this)),
      m_name(new ChannelNameButton(ChannelNameButton::Kind::Row, this)),
      m_bar(new LevelMeter(LevelMeter::Kind::Bar, &motion, this)),
      m_fader(new MixerFader(Qt::Horizontal, this)),
      m_scan(spacerOf({0, 0}, this)),
      m_mute(new ChannelTile(TileStyles::compactRow, this)),
      m_watch(new ChannelTile(TileStyles::compactRow, this)),
      m_listen(new ChannelTile(TileStyles::compactRow, this)),
      m_agent(new ChannelTile(TileStyles::compactRow, this)),
      m_fade(frames.add([this](double seconds) {
          const bool moving = m_opacity.step(seconds);
          applyOpacity();
          return moving;
      }))
{
    m_name->setMinimumWidth(kNameMinimumWidth);
    m_name->setMaximumWidth(ChannelNameButton::kRowWidth);
    m_name->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kRowMargins);
    layout->setSpacing(kRowSpacing);
    layout->addWidget(m_dot, 0, Qt::AlignVCenter);
    layout->addWidget(m_name, 1, Qt::AlignVCenter);
    layout->addWidget(m_bar, 1, Qt::AlignVCenter);
    layout->addWidget(m_fader, 2, Qt::AlignVCenter);
    layout->addWidget(m_scan, 0, Qt::AlignVCenter);
    auto* tiles = new QHBoxLayout;
    tiles->setSpacing(kTileSpacing);
    for (ChannelTile* tile : {m_mute, m_watch, m_listen, m_agent})
        tiles->addWidget(tile);
    layout->addLayout(tiles);
    m_scan->hide();
    m_bar->setAccessibleName(QString());

    connect(m_name, &QAbstractButton::clicked, this, &CompactChannelRow::renameClicked);
    connect(m_mute, &QAbstractButton::clicked, this, &CompactChannelRow::muteClicked);
    connect(m_watch, &QAbstractButton::clicked, this, &CompactChannelRow::watchClicked);
    connect(m_listen, &QAbstractButton::clicked, this, &CompactChannelRow::listenClicked);
    connect(m_agent, &QAbstractButton::clicked, this, &CompactChannelRow::agentClicked);
    connect(m_fader, &MixerFader::moved, this, &CompactChannelRow::faderMoved);
    connect(m_fader, &MixerFader::released, this, &CompactChannelRow::faderReleased);
}

QString CompactChannelRow::scanText() const
{
    if (!m_channel.scan || MixerModel::worthTranscribing(*m_channel.scan))
        return {};
    return m_channel.scan->description();
}

void CompactChannelRow::setChannel(const MixerModel::Channel& channel, const QColor& colour)
{
    if (m_shown && channel == m_channel && colour == m_colour)
        return;
    m_channel = channel;
    m_colour = colour;
    const ChannelConfig& config = channel.config;
    const QString& name = config.name;
    const bool live = config.isLive();
    const Appearance appearance = AppearanceNotifier::shared().appearance();

    m_name->setName(name, live ? colour : Theme::muted.resolve(appearance), colour);
    m_name->setToolTip(QStringLiteral("Rename channel %1").arg(config.index + 1));
    m_name->setAccessibleName(name);
    m_name->setAccessibleDescription(m_name->toolTip());
    m_fader->setValue(config.fader);
    m_fader->setColour(colour);
    m_fader->setAccessibleName(name + QStringLiteral(" level into transcription"));
    m_fader->setValueText(config.gainLabel());

    const QString scan = scanText();
    m_scan->setVisible(!scan.isEmpty());
    m_scan->setFixedSize(static_cast<int>(std::ceil(QFontMetricsF(kScanStyle.font()).horizontalAdvance(scan))),
                         static_cast<int>(std::ceil(QFontMetricsF(kScanStyle.font()).height())));

    struct Button {
        ChannelTile* tile;
        Tile content;
        bool active;
        QColor accent;
        QString word;
    };
    const Button buttons[] = {
        {m_mute, {QStringLiteral("M"), {}}, !config.on, Theme::coral,
         config.on ? QStringLiteral("Mute") : QStringLiteral("Unmute")},
        {m_watch, {{}, config.hidden ? QStringLiteral("eye.slash") : QStringLiteral("eye")}, config.hidden,
         Theme::amber, QStringLiteral("Watch only")},
        {m_listen, {{}, QStringLiteral("headphones")}, channel.monitoring, Theme::coral, QStringLiteral("Listen")},
        {m_agent, {{}, config.agent ? QStringLiteral("sparkles") : QStringLiteral("sparkles.slash")}, config.agent,
         Theme::coral, QStringLiteral("Agent tag")},
    };
    for (const Button& button : buttons) {
        button.tile->setLook(button.content, button.active ? TileFill::Solid : TileFill::Sunken, button.accent);
        button.tile->setAccessibleName(button.word + QLatin1Char(' ') + name);
        button.tile->setToolTip(button.word);
    }

    m_opacity.setTarget(live || channel.focused ? 1.0 : 0.6, kFocusFade);
    if (!m_shown) {
        m_opacity.snap();
        m_shown = true;
    }
    if (m_opacity.isMoving())
        m_fade.start();
    applyOpacity();
}

void CompactChannelRow::applyOpacity()
{
    const qreal opacity = m_opacity.value();
    m_name->setOpacity(opacity);
    m_bar->setOpacity(opacity);
    m_fader->setOpacity(opacity);
    for (ChannelTile* tile : {m_mute, m_watch, m_listen, m_agent})
        tile->setOpacity(opacity);
    update();
}

void CompactChannelRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity.value());
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    const bool focused = m_channel.focused;
    const qreal outline = focused ? 2 : 1;
    const QRectF body = QRectF(rect()).adjusted(outline / 2, outline / 2, -outline / 2, -outline / 2);
    painter.setBrush(Theme::withOpacity(Theme::surface.resolve(appearance), m_channel.config.isLive() ? 1.0 : 0.5));
    painter.setPen(QPen(focused ? Theme::coral : Theme::line.resolve(appearance), outline));
    painter.drawRoundedRect(body, kRowRadius, kRowRadius);

    painter.setPen(Qt::NoPen);
    painter.setBrush(m_colour);
    painter.drawEllipse(QRectF(m_dot->geometry()));

    if (m_scan->isVisible()) {
        painter.setFont(kScanStyle.font());
        painter.setPen(Theme::muted.resolve(appearance));
        painter.drawText(m_scan->geometry(), Qt::AlignCenter | Qt::TextSingleLine, scanText());
    }
}

CollapsedChannel::CollapsedChannel(MeterMotion& motion, QWidget* parent)
    : QWidget(parent), m_meter(new LevelMeter(LevelMeter::Kind::Mini, &motion, this))
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

void CollapsedChannel::paintEvent(QPaintEvent*)
{
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
