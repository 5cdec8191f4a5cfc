#pragma once

#include "platform/Spring.h"
#include "ui/theme/FrameClock.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QScrollBar;
class QWidget;

// An animated scroll: the scroll bar's value moves to a target on a spring stepped by the frame
// clock. The target is asked for again on every frame, so a list that keeps growing at its end,
// or whose rows are measured as they come into view, is still reached. Any change of the value
// not made by the glide (the logger scrolling) ends it where it is.
//
// It jumps at once while the owner is not visible or motion is reduced, and a glide under way ends
// at its target when the owner is hidden: a hidden list costs no frame.
//
// Main thread only.
class ScrollGlide : public QObject {
    Q_OBJECT
public:
    using Target = std::function<int()>;
    // Sets the bar's value; the owner may wrap it to tell its own scrolls from the logger's.
    using Apply = std::function<void(int)>;

    // Close enough, in pixels (and pixels a second), to end the glide on the target.
    static constexpr double kTolerance = 0.5;

    ScrollGlide(QScrollBar* bar, QWidget* owner, FrameClock& frames, Spring::Params spring = {0.55, 1.0});

    // Moves the value to `target`, animated where it may be.
    void glideTo(Target target);
    // Ends the glide where it is.
    void stop();
    // Ends the glide under way on its target now; nothing when none is under way.
    void finish();
    // Every value the glide sets goes through `apply` (by default the bar's setValue).
    void setApply(Apply apply) { m_apply = std::move(apply); }

    [[nodiscard]] bool isGliding() const { return m_animation.isRunning(); }
    // The glide is setting the value right now.
    [[nodiscard]] bool isSetting() const { return m_setting; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool tick(double seconds);
    void apply(int value);
    [[nodiscard]] int clampedTarget() const;

    QPointer<QScrollBar> m_bar;
    QPointer<QWidget> m_owner;
    FrameClock& m_frames;
    Spring::Params m_params;
    Spring m_spring;
    Target m_target;
    Apply m_apply;
    bool m_setting = false;
    FrameClock::Animation m_animation;
};
