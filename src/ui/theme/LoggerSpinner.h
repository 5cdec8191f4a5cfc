#pragma once

#include <QBasicTimer>
#include <QWidget>

// An indeterminate progress spinner: twelve spokes with a bright one going round. It steps only
// while shown.
class LoggerSpinner : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSize = 32;
    static constexpr int kSpokes = 12;
    // One turn a second.
    static constexpr int kStepMs = 1000 / kSpokes;

    explicit LoggerSpinner(QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override { return {kSize, kSize}; }
    [[nodiscard]] bool isSpinning() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    QBasicTimer m_timer;
    int m_step = 0;
};
