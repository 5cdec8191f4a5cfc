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
    // The verdict badge grows from nearly nothing about its centre as it fades in, and back.
    static constexpr double kBadgeFade = 0.35;
    static constexpr double kBadgeStartScale = 0.01;

    ChannelStrip(MeterMotion& motion, FrameClock& frames, QWidget* parent = nullptr);

    // Drawn at full opacity while live or scanned.
    void setChannel(const MixerModel::Channel& channel, const QColor& colour);
    // The verdict's text as drawn, empty without one; and its tooltip.
    [[nodiscard]] QString badgeText() const;
    [[nodiscard]] QString badgeToolTip() const;
    // How far the badge is in, 0 to 1 (it is drawn, still going, while a verdict that went
    // fades out).
    [[nodiscard]] double badgeProgress() const { return m_badgeIn.value(); }

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
    void paintBadge(QPainter& painter, const ScanKind& scan, const QRectF& rect) const;
    [[nodiscard]] QRectF gainRect() const;

    // The surface under the strip: full while live, half otherwise.
    Fade m_fill;
    bool m_filled = false;
    // Where the verdict is drawn, measured once per channel change.
    QRectF m_badge;
    Fade m_badgeIn{0.0};
    // A verdict that went, drawn where it was while it fades.
    std::optional<ScanKind> m_leavingScan;
    QRectF m_leavingBadge;
};
