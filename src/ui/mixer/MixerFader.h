#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

// A channel's gain fader: the strip's tall console fader, or the compact row's small slider.
// It never changes its own value: a drag, a click, a double-click (unity) or an arrow key
// reports the value asked for through `moved`, and the value comes back through setValue once
// the engine took it. Assistive tools see one adjustable element whose value is the gain reading.
class MixerFader : public QWidget {
    Q_OBJECT
public:
    // The fader's value at 0 dB.
    static constexpr double kUnity = 40.0 / 46.0;
    // One arrow key or assistive increment.
    static constexpr double kStep = 0.05;
    // Vertical: the strip's knob height; horizontal: the knob's diameter.
    static constexpr qreal kKnob = 14;
    static constexpr qreal kMiniKnob = 10;
    static constexpr int kWidth = 24;
    static constexpr int kMiniHeight = 16;
    static constexpr int kMiniMinimumWidth = 50;

    explicit MixerFader(Qt::Orientation orientation, QWidget* parent = nullptr);

    [[nodiscard]] Qt::Orientation orientation() const { return m_orientation; }
    [[nodiscard]] double value() const { return m_value; }
    void setValue(double value);
    void setColour(const QColor& colour);
    void setOpacity(qreal opacity);
    // The vertical fader's height.
    void setTrackLength(int length);
    // What assistive tools read as the value ("0 dB").
    void setValueText(const QString& text);
    [[nodiscard]] QString valueText() const { return m_valueText; }

    // The knob's travel: the length along the track less the knob.
    [[nodiscard]] qreal travel() const;
    // The value a pointer at `position` asks for: the knob's centre jumps to it, clamped to 0...1.
    [[nodiscard]] double valueAt(QPointF position) const;

    // One step up or down, as an arrow key or an assistive tool does it.
    void stepBy(int steps);

Q_SIGNALS:
    void moved(double value);
    // A drag, click, double-click or key press ended: the last value is final.
    void released();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void paintVertical(QPainter& painter);
    void paintHorizontal(QPainter& painter);

    Qt::Orientation m_orientation;
    double m_value = kUnity;
    QColor m_colour;
    qreal m_opacity = 1.0;
    QString m_valueText;
    bool m_dragging = false;
};
