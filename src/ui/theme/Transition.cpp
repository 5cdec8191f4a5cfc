#include "ui/theme/Transition.h"

#include <QEvent>

#include <algorithm>
#include <cmath>

Transition::Transition(QWidget* owner, FrameClock& frames, Spring::Params spring, bool shown)
    : QObject(owner), m_owner(owner), m_frames(frames), m_params(spring), m_spring(spring, shown ? 1.0 : 0.0),
      m_animation(frames.add([this](double seconds) { return tick(seconds); }))
{
    if (owner)
        owner->installEventFilter(this);
}

double Transition::opacity() const
{
    return std::clamp(m_spring.value(), 0.0, 1.0);
}

bool Transition::mayAnimate() const
{
    return m_owner && m_owner->isVisible() && !m_frames.reduceMotion();
}

void Transition::setShown(bool shown)
{
    const double target = shown ? 1.0 : 0.0;
    if (target == m_spring.target() && !m_animation.isRunning() && m_spring.value() == target)
        return;
    m_spring.setTarget(target);
    if (!mayAnimate())
        return finish();
    // Drawn from where it starts, before the first frame.
    if (!m_animation.isRunning()) {
        m_animation.start();
        Q_EMIT stepped();
    }
}

void Transition::restart(bool shown)
{
    m_animation.stop();
    m_spring = Spring(m_params, shown ? 0.0 : 1.0);
    setShown(shown);
}

void Transition::finish()
{
    m_animation.stop();
    m_spring.snap();
    Q_EMIT stepped();
    Q_EMIT finished();
}

bool Transition::tick(double seconds)
{
    if (!mayAnimate()) {
        finish();
        return false;
    }
    m_spring.step(seconds);
    // Closer than a step of 8-bit alpha, and slower than one a frame: the rest is invisible.
    if (std::abs(m_spring.value() - m_spring.target()) <= kRestDistance &&
        std::abs(m_spring.velocity()) <= kRestSpeed) {
        finish();
        return false;
    }
    Q_EMIT stepped();
    return true;
}

bool Transition::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_owner && event->type() == QEvent::Hide && m_animation.isRunning()) {
        m_animation.stop();
        // Not from inside the hide: a widget going away is hidden by its destructor, and the end
        // state is news to it. A queued call dies with this child of the owner.
        QMetaObject::invokeMethod(this, &Transition::finish, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}
