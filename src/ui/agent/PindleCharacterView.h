#pragma once

#include "ui/agent/CharacterPainter.h"
#include "ui/agent/CharacterShape.h"
#include "ui/theme/FrameClock.h"

#include <QRectF>
#include <QWidget>

#include <optional>

class Clock;

// Mark, the channel agent's animated character, drawn over his model. Every frame of the frame
// clock advances the model to the frame's time, fits the stage into the view and paints; the
// timeline runs only while the view is on screen (not hidden, not in a minimised window, not
// paused) and, with reduced motion, only while something still moves.
//
// A left press on the body that travels no more than 6 points before its release pokes him
// where it let go; one that travels further drags him about (within 90 units to either side,
// 80 up and 60 down) and he springs home when let go. Every left press and release in the view
// that did not become a drag is reported by tapped(), whether or not it landed on the body.
// Other buttons and the context menu are left to the parent.
//
// The model outlives the view and may be shown by one view at a time. Main thread only.
class PindleCharacterView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool reduceMotion READ reduceMotion WRITE setReduceMotion)
    Q_PROPERTY(bool paused READ isPaused WRITE setPaused)
    Q_PROPERTY(bool interactive READ isInteractive WRITE setInteractive)

public:
    // The agent panel's stage: 110 units either side of the body, 70 above, 150 below.
    static constexpr QRectF kPanelStage{-110, -70, 432, 432};
    static constexpr QSize kPanelSize{92, 92};
    // Travel beyond this, in points, turns a press into a drag for the rest of the gesture.
    static constexpr double kDragThreshold = 6;

    // `clock`: the one behind `frames` (null: the system clock); it times the drag's flicks.
    PindleCharacterView(PindleCharacter& character, FrameClock& frames, QWidget* parent = nullptr,
                        Clock* clock = nullptr);
    ~PindleCharacterView() override;

    // The rectangle of character space fitted whole and centred into the view.
    [[nodiscard]] QRectF stage() const { return m_stage; }
    void setStage(const QRectF& stage);
    // The part of the view the stage is fitted into, which alone takes presses; none: all of it.
    [[nodiscard]] std::optional<QRectF> target() const { return m_target; }
    void setTarget(const std::optional<QRectF>& target);
    // Drawing room above the character's frame, as a fraction of that frame's height: the top
    // headroom / (1 + headroom) of the widget is drawn into but takes no presses.
    [[nodiscard]] double headroom() const { return m_headroom; }
    void setHeadroom(double headroom);
    // Weight of the eye strokes; none: automatic, relatively bolder on a small character.
    [[nodiscard]] std::optional<double> eyeWeight() const { return m_eyeWeight; }
    void setEyeWeight(std::optional<double> weight);

    // No idle life, kicks or pokes; the thought bubble shows and goes at once. There is no
    // system setting for it on this desktop: the application decides.
    [[nodiscard]] bool reduceMotion() const { return m_reduceMotion; }
    void setReduceMotion(bool reduce);
    // Off: no poke and no drag; a click is still reported by tapped().
    [[nodiscard]] bool isInteractive() const { return m_interactive; }
    void setInteractive(bool interactive);
    // Stops the timeline; the character stays drawn as it is.
    [[nodiscard]] bool isPaused() const { return m_paused; }
    void setPaused(bool paused);

    // The frame clock ticks the character.
    [[nodiscard]] bool isAnimating() const { return m_timeline.isRunning(); }
    // The body as last drawn, in the view's coordinates; empty before the first paint and when
    // nothing could be drawn.
    [[nodiscard]] const QPainterPath& lastBodyPath() const { return m_painter.bodyPath(); }

    [[nodiscard]] QSize sizeHint() const override { return kPanelSize; }

Q_SIGNALS:
    // A left press and release that did not become a drag.
    void tapped();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Sample {
        QPointF point;
        double time;
    };
    // One left press, from press to release.
    struct Gesture {
        QPointF start;
        // Where the pointer was last seen.
        QPointF at;
        // Travelled beyond the threshold at some point: a drag, not a tap.
        bool moved = false;
        // Began on the body: the character follows (the spring's drag has started).
        bool onBody = false;
        std::optional<Sample> last;
    };

    [[nodiscard]] double headroomPoints() const;
    [[nodiscard]] QRectF viewRect() const;
    [[nodiscard]] QRectF slot() const;
    [[nodiscard]] double now() const;
    // A new stage, target or headroom: placed again, and drawn.
    void refit();
    void placeStage();
    bool tick();
    void updateTimeline();
    void follow(QPointF location);
    void endGesture(QPointF location);
    void cancelGesture();
    void goHome();

    PindleCharacter& m_character;
    Clock& m_clock;
    CharacterPainter m_painter;
    CharacterShape::Placement m_placement;
    QRectF m_stage = kPanelStage;
    std::optional<QRectF> m_target;
    double m_headroom = 0;
    std::optional<double> m_eyeWeight;
    bool m_reduceMotion = false;
    bool m_interactive = true;
    bool m_paused = false;
    // Shown and not hidden since: a minimised window hides its widgets without unmapping them.
    bool m_onScreen = false;
    // The stage could be fitted into the view: anything to draw.
    bool m_drawable = false;
    std::optional<Gesture> m_gesture;
    FrameClock::Animation m_timeline;
};
