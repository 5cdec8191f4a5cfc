#pragma once

#include "ui/mixer/ChannelControl.h"

// The tall console strip of one channel (devices of fewer than nine): name and colour dot, level
// meter beside the fader, the scan verdict, the gain reading, and the mute, watch-only,
// headphones and agent-tag buttons.
class ChannelStrip : public ChannelControl {
    Q_OBJECT
public:
    static constexpr int kWidth = 68;
    static constexpr int kSpacing = 8;
    static constexpr int kBadgeHeight = 13;
    // Liveness and the scan's outline ease in over these.
    static constexpr double kLiveFade = 0.15;
    static constexpr double kScanFade = 0.2;

    ChannelStrip(MeterMotion& motion, FrameClock& frames, QWidget* parent = nullptr);

    // Drawn at full opacity while live or scanned.
    void setChannel(const MixerModel::Channel& channel, const QColor& colour);
    // The verdict's text as drawn, empty without one; and its tooltip.
    [[nodiscard]] QString badgeText() const;
    [[nodiscard]] QString badgeToolTip() const;

    [[nodiscard]] QSize sizeHint() const override;

    // The name button's tooltip: the brief's topic and why, else "Rename channel <n>".
    [[nodiscard]] static QString nameToolTip(const MixerModel::Channel& channel);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool stepFades(double seconds) override;

private:
    void place();
    [[nodiscard]] QRectF badgeRect() const;
    [[nodiscard]] QRectF gainRect() const;

    // The surface under the strip: full while live, half otherwise.
    Fade m_fill;
    bool m_filled = false;
    // Where the verdict is drawn, measured once per channel change.
    QRectF m_badge;
};
