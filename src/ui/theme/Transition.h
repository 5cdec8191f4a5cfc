#pragma once

#include "platform/Spring.h"
#include "ui/theme/FrameClock.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

// The motions the views share, in the terms they are described with.
namespace motion {
// What moves without a motion of its own: scrolls, fades in and out.
inline constexpr Spring::Params kDefault{0.55, 1.0};
// A line selected or let go, the composer opening and closing.
inline constexpr Spring::Params kSelect{0.5, 0.85};
// A new entry arriving.
inline constexpr Spring::Params kPop{0.5, 0.62};
} // namespace motion

// Something a widget draws that enters and leaves: its progress runs from 0 (gone) to 1 (in
// place) on a spring stepped by the frame clock, and the widget paints from it. It moves only while
// the widget is on screen and motion is not reduced; otherwise it is at its end at once, and
// hiding the widget puts it there too, so a hidden widget costs no frame.
//
// Main thread only.
class Transition : public QObject {
    Q_OBJECT
public:
    static constexpr double kRestDistance = 0.002;
    static constexpr double kRestSpeed = 0.05;

    // `owner` is watched and repainted; `shown` is where it starts, at rest.
    Transition(QWidget* owner, FrameClock& frames, Spring::Params spring, bool shown = false);

    // Heads in or out: animated while the owner is visible and motion is not reduced.
    void setShown(bool shown);
    // Starts afresh from the other end toward `shown`, as a new element entering (or one
    // leaving from its place) would.
    void restart(bool shown);
    // At its end, at rest.
    void finish();

    [[nodiscard]] bool isShown() const { return m_spring.target() > 0.5; }
    // 0 gone to 1 in place; a bouncy spring passes 1 on its way.
    [[nodiscard]] double progress() const { return m_spring.value(); }
    [[nodiscard]] double opacity() const;
    // Drawn at all: in place, or still on its way out.
    [[nodiscard]] bool isPresent() const { return isShown() || m_spring.value() > 0; }
    [[nodiscard]] bool isMoving() const { return m_animation.isRunning(); }

Q_SIGNALS:
    // The progress moved (a frame, or a jump to the end).
    void stepped();
    // It came to rest where it was heading.
    void finished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool tick(double seconds);
    [[nodiscard]] bool mayAnimate() const;

    QPointer<QWidget> m_owner;
    FrameClock& m_frames;
    Spring::Params m_params;
    Spring m_spring;
    FrameClock::Animation m_animation;
};
