#pragma once

#include "screens/MixerModel.h"
#include "ui/mixer/Fade.h"
#include "ui/theme/FrameClock.h"

#include <QColor>
#include <QWidget>

class ChannelNameButton;
class ChannelTile;
class LevelMeter;
class MeterMotion;
class MixerFader;

// The tall console strip of one channel (devices of fewer than nine): name and colour dot, level
// meter beside the fader, the scan verdict, the gain reading, and the mute, watch-only,
// headphones and agent-tag buttons. It shows what it is given and reports clicks; the mixer maps
// them to the engine.
class ChannelStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 68;
    static constexpr int kSpacing = 8;
    static constexpr int kBadgeHeight = 13;
    // Liveness and the scan's outline ease in over these.
    static constexpr double kLiveFade = 0.15;
    static constexpr double kScanFade = 0.2;

    ChannelStrip(MeterMotion& motion, FrameClock& frames, QWidget* parent = nullptr);

    void setChannel(const MixerModel::Channel& channel, const QColor& colour);
    [[nodiscard]] const MixerModel::Channel& channel() const { return m_channel; }
    [[nodiscard]] int index() const { return m_channel.config.index; }
    [[nodiscard]] LevelMeter* meter() const { return m_meter; }
    [[nodiscard]] MixerFader* fader() const { return m_fader; }
    [[nodiscard]] ChannelNameButton* nameButton() const { return m_name; }
    [[nodiscard]] ChannelTile* muteButton() const { return m_mute; }
    [[nodiscard]] ChannelTile* watchButton() const { return m_watch; }
    [[nodiscard]] ChannelTile* listenButton() const { return m_listen; }
    [[nodiscard]] ChannelTile* agentButton() const { return m_agent; }
    // The strip's opacity as drawn now (1 live or scanned, 0.6 otherwise, once settled).
    [[nodiscard]] double opacity() const { return m_opacity.value(); }
    // The verdict's text as drawn, empty without one; and its tooltip.
    [[nodiscard]] QString badgeText() const;
    [[nodiscard]] QString badgeToolTip() const;

    [[nodiscard]] QSize sizeHint() const override;

    // The name button's tooltip: the brief's topic and why, else "Rename channel <n>".
    [[nodiscard]] static QString nameToolTip(const MixerModel::Channel& channel);

Q_SIGNALS:
    void renameClicked();
    void muteClicked();
    void watchClicked();
    void listenClicked();
    void agentClicked();
    void faderMoved(double value);
    void faderReleased();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void place();
    void applyOpacity();
    [[nodiscard]] QRectF badgeRect() const;
    [[nodiscard]] QRectF gainRect() const;

    MixerModel::Channel m_channel;
    QColor m_colour;
    ChannelNameButton* m_name;
    LevelMeter* m_meter;
    MixerFader* m_fader;
    ChannelTile* m_mute;
    ChannelTile* m_watch;
    ChannelTile* m_listen;
    ChannelTile* m_agent;
    Fade m_opacity;
    Fade m_fill;
    FrameClock::Animation m_fade;
    bool m_shown = false;
};
