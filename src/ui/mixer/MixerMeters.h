#pragma once

#include "ui/theme/FrameClock.h"

#include <QColor>
#include <QWidget>

#include <vector>

class MiniMeter;

// Moves every meter of one mixer toward its newest level, linearly over kGlide, on one frame
// clock animation. A meter repaints only its own rectangle, and only when its drawn extent moves
// by a device pixel, so a level update costs what changed on screen.
class MeterMotion {
public:
    static constexpr double kGlide = 0.08;

    explicit MeterMotion(FrameClock& frames);
    ~MeterMotion();
    MeterMotion(const MeterMotion&) = delete;
    MeterMotion& operator=(const MeterMotion&) = delete;

    [[nodiscard]] bool isMoving() const { return !m_moving.empty(); }

private:
    friend class MiniMeter;
    void attach(MiniMeter* meter);
    void detach(MiniMeter* meter);
    void wake(MiniMeter* meter);
    bool tick(double seconds);

    // Every meter it moves, so either may go first.
    std::vector<MiniMeter*> m_meters;
    std::vector<MiniMeter*> m_moving;
    FrameClock::Animation m_animation;
};

// A level meter of the mixer: painted, hidden from accessibility, drawn at an opacity its
// channel sets. The level is drawn as given (the engine keeps it within 0...1); what lies
// outside is drawn as empty or full.
class MiniMeter : public QWidget {
    Q_OBJECT
public:
    enum class Kind {
        // A strip's tall meter: a fixed green-amber-coral gradient revealed from the bottom.
        Vertical,
        // The collapsed line's meter: the channel's colour on the surface.
        Mini,
        // A compact row's bar: green, amber above 0.6, coral above 0.8.
        Bar,
    };

    // `motion` null: levels are drawn as they come.
    MiniMeter(Kind kind, MeterMotion* motion, QWidget* parent = nullptr);
    ~MiniMeter() override;

    // Sets the level the meter glides to.
    void setLevel(float level);
    // The level drawn now.
    [[nodiscard]] float shownLevel() const { return m_shown; }
    [[nodiscard]] float level() const { return m_target; }
    // The meter of a Mini: the channel's colour.
    void setColour(const QColor& colour);
    void setOpacity(qreal opacity);
    // Vertical: the height of the track.
    void setTrackLength(int length);

    [[nodiscard]] QSize sizeHint() const override;

    // The bar's colour for a level.
    [[nodiscard]] static QColor barColour(float level);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    friend class MeterMotion;
    // Moves the drawn level on; false once it reached the target.
    bool advance(double seconds);
    void show(float level);
    [[nodiscard]] int extentOf(float level) const;

    Kind m_kind;
    MeterMotion* m_motion;
    QColor m_colour;
    qreal m_opacity = 1.0;
    float m_target = 0;
    float m_shown = 0;
    float m_from = 0;
    double m_elapsed = 0;
    int m_extent = 0;
};
