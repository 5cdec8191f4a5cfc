#pragma once

#include "ui/mixer/ChannelControl.h"

class MiniMeter;
class MeterMotion;

// One channel as a single row of the mixer's two-column grid (nine channels and more): colour
// dot, name, a short level bar, a small fader, the verdict when it says the channel is not worth
// transcribing, and four small buttons.
class CompactChannelRow : public ChannelControl {
    Q_OBJECT
public:
    static constexpr double kFocusFade = 0.2;

    CompactChannelRow(MeterMotion& motion, FrameClock& frames, QWidget* parent = nullptr);

    // Drawn at full opacity while live or focused.
    void setChannel(const MixerModel::Channel& channel, const QColor& colour);
    // The verdict shown in the row: only one not worth transcribing.
    [[nodiscard]] QString scanText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_dot;
    QWidget* m_scan;
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
    [[nodiscard]] MiniMeter* meter() const { return m_meter; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ChannelConfig m_config;
    QColor m_colour;
    MiniMeter* m_meter;
    bool m_shown = false;
};
