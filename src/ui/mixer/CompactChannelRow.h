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

// One channel as a single row of the mixer's two-column grid (nine channels and more): colour
// dot, name, a short level bar, a small fader, the verdict when it says the channel is not worth
// transcribing, and four small buttons. It shows what it is given and reports clicks.
class CompactChannelRow : public QWidget {
    Q_OBJECT
public:
    static constexpr double kFocusFade = 0.2;

    CompactChannelRow(MeterMotion& motion, FrameClock& frames, QWidget* parent = nullptr);

    void setChannel(const MixerModel::Channel& channel, const QColor& colour);
    [[nodiscard]] const MixerModel::Channel& channel() const { return m_channel; }
    [[nodiscard]] int index() const { return m_channel.config.index; }
    [[nodiscard]] LevelMeter* meter() const { return m_bar; }
    [[nodiscard]] MixerFader* fader() const { return m_fader; }
    [[nodiscard]] ChannelNameButton* nameButton() const { return m_name; }
    [[nodiscard]] ChannelTile* muteButton() const { return m_mute; }
    [[nodiscard]] ChannelTile* watchButton() const { return m_watch; }
    [[nodiscard]] ChannelTile* listenButton() const { return m_listen; }
    [[nodiscard]] ChannelTile* agentButton() const { return m_agent; }
    [[nodiscard]] double opacity() const { return m_opacity.value(); }
    // The verdict shown in the row: only one not worth transcribing.
    [[nodiscard]] QString scanText() const;

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

private:
    void applyOpacity();

    MixerModel::Channel m_channel;
    QColor m_colour;
    QWidget* m_dot;
    ChannelNameButton* m_name;
    LevelMeter* m_bar;
    MixerFader* m_fader;
    QWidget* m_scan;
    ChannelTile* m_mute;
    ChannelTile* m_watch;
    ChannelTile* m_listen;
    ChannelTile* m_agent;
    Fade m_opacity;
    FrameClock::Animation m_fade;
    bool m_shown = false;
};

// One channel of the collapsed mixer line: a small meter over the channel's name, dimmed while
// the channel is not live.
class CollapsedChannel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 52;

    CollapsedChannel(MeterMotion& motion, QWidget* parent = nullptr);

    void setChannel(const ChannelConfig& config, const QColor& colour);
    [[nodiscard]] const ChannelConfig& config() const { return m_config; }
    [[nodiscard]] LevelMeter* meter() const { return m_meter; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ChannelConfig m_config;
    QColor m_colour;
    LevelMeter* m_meter;
    bool m_shown = false;
};
