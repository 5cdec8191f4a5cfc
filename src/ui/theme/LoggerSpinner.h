#pragma once

#include "ui/theme/FrameClock.h"

#include <QWidget>

// An indeterminate progress spinner: twelve spokes with a bright one going round once a second.
// It runs on the frame clock only while shown.
class LoggerSpinner : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSize = 32;
    static constexpr int kSpokes = 12;
    static constexpr double kTurnSeconds = 1.0;

    // `frames` null: the application's frame clock.
    explicit LoggerSpinner(QWidget* parent = nullptr, FrameClock* frames = nullptr);

    [[nodiscard]] QSize sizeHint() const override { return {kSize, kSize}; }
    [[nodiscard]] bool isSpinning() const { return m_animation.isRunning(); }
    // The bright spoke.
    [[nodiscard]] int step() const { return m_step; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool advance(double elapsedSeconds);

    FrameClock::Animation m_animation;
    double m_turn = 0.0; // fraction of a turn, 0..1
    int m_step = 0;
};
