#include "ui/theme/ScrollGlide.h"

#include <QEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <cmath>

ScrollGlide::ScrollGlide(QScrollBar* bar, QWidget* owner, FrameClock& frames, Spring::Params spring)
    : QObject(owner), m_bar(bar), m_owner(owner), m_frames(frames), m_params(spring), m_spring(spring),
      m_animation(frames.add([this](double seconds) { return tick(seconds); }))
{
    if (owner)
        owner->installEventFilter(this);
    if (bar)
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (!m_setting)
                stop();
        });
}

int ScrollGlide::clampedTarget() const
{
    if (!m_bar || !m_target)
        return 0;
    return std::clamp(m_target(), m_bar->minimum(), m_bar->maximum());
}

void ScrollGlide::apply(int value)
{
    if (!m_bar || value == m_bar->value())
        return;
    const QScopedValueRollback<bool> guard(m_setting, true);
    if (m_apply)
        m_apply(value);
    else
        m_bar->setValue(value);
}

void ScrollGlide::glideTo(Target target)
{
    if (!m_bar)
        return;
    m_target = std::move(target);
    if (!m_owner || !m_owner->isVisible() || m_frames.reduceMotion())
        return finish();
    if (!m_animation.isRunning())
        m_spring = Spring(m_params, m_bar->value());
    m_spring.setTarget(clampedTarget());
    if (m_spring.isSettled(kTolerance))
        return finish();
    m_animation.start();
}

void ScrollGlide::stop()
{
    m_animation.stop();
    m_target = nullptr;
}

void ScrollGlide::finish()
{
    if (!m_target)
        return;
    m_animation.stop();
    apply(clampedTarget());
    m_target = nullptr;
}

bool ScrollGlide::tick(double seconds)
{
    if (!m_bar || !m_owner || !m_owner->isVisible() || m_frames.reduceMotion()) {
        finish();
        return false;
    }
    m_spring.setTarget(clampedTarget());
    m_spring.step(seconds);
    if (m_spring.isSettled(kTolerance)) {
        finish();
        return false;
    }
    apply(int(std::lround(m_spring.value())));
    // The target moved beyond the range while the bar caught up: keep within it.
    return isGliding();
}

bool ScrollGlide::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_owner && event->type() == QEvent::Hide && m_animation.isRunning()) {
        m_animation.stop();
        // Not from inside the hide: a widget going away is hidden by its destructor, and its
        // scroll is news to it. A queued call dies with this child of the owner.
        QMetaObject::invokeMethod(this, &ScrollGlide::finish, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}
