#include "ui/agent/PindleCharacterView.h"

#include "agent/PindleCharacter.h"
#include "platform/Clock.h"
#include "ui/theme/AppearanceNotifier.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

using Spring = PindleCharacter::Spring;

// Closer than this to its target, and slower, a spring no longer moves visibly.
constexpr double kStillTolerance = 1e-3;

bool settled(const Spring& s)
{
    return std::abs(s.x - s.t) < kStillTolerance && std::abs(s.v) < kStillTolerance;
}

// Nothing left to animate: every spring at rest and no delayed return pending. Only reduced
// motion can get here; otherwise the character always breathes.
bool isStill(const PindleCharacter::State& s)
{
    if (s.pokeEndsAt || s.glanceEndsAt)
        return false;
    for (const Spring* spring : {&s.squash,      &s.lean,   &s.rot,   &s.x,      &s.y,      &s.wob,    &s.dent,
                                 &s.blinkL,      &s.blinkR, &s.lookX, &s.lookY,  &s.glow,   &s.spread, &s.grow,
                                 &s.privateTint, &s.square, &s.ink,   &s.bubble, &s.placeS, &s.placeX, &s.placeY}) {
        if (!settled(*spring))
            return false;
    }
    for (const PindleCharacter::Eye* eye : {&s.eyeL, &s.eyeR}) {
        for (const Spring* spring : {&eye->length, &eye->angle, &eye->bend, &eye->width, &eye->lift, &eye->stretch}) {
            if (!settled(*spring))
                return false;
        }
    }
    return true;
}

// One picture with no parts: assistive tools read its name.
class CharacterAccessible final : public QAccessibleWidget {
public:
    explicit CharacterAccessible(QWidget* view) : QAccessibleWidget(view, QAccessible::Graphic) {}
    [[nodiscard]] int childCount() const override { return 0; }
    [[nodiscard]] QAccessibleInterface* child(int) const override { return nullptr; }
};

QAccessibleInterface* accessibleCharacter(const QString& className, QObject* object)
{
    if (className == QLatin1String(PindleCharacterView::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new CharacterAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

PindleCharacterView::PindleCharacterView(PindleCharacter& character, FrameClock& frames, QWidget* parent, Clock* clock)
    : QWidget(parent), m_character(character), m_clock(Clock::orSystem(clock)),
      m_timeline(frames.add([this](double) { return tick(); }))
{
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleCharacter);
        return true;
    }();
    Q_UNUSED(installed);
    setAccessibleName(QStringLiteral("Pindle"));
    // Every face and agent state change comes through here: it may set a resting character moving.
    connect(&character, &PindleCharacter::faceChanged, this, &PindleCharacterView::updateTimeline);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, [this] { update(); });
}

PindleCharacterView::~PindleCharacterView()
{
    // The model outlives the view: a drag cut short must not leave it held.
    cancelGesture();
}

void PindleCharacterView::setStage(const QRectF& stage)
{
    m_stage = stage;
    refit();
}

void PindleCharacterView::setTarget(const std::optional<QRectF>& target)
{
    m_target = target;
    refit();
}

void PindleCharacterView::setHeadroom(double headroom)
{
    m_headroom = std::isfinite(headroom) ? std::max(headroom, 0.0) : 0.0;
    refit();
}

void PindleCharacterView::setEyeWeight(std::optional<double> weight)
{
    m_eyeWeight = weight && std::isfinite(*weight) && *weight >= 0 ? weight : std::nullopt;
    update();
}

void PindleCharacterView::setReduceMotion(bool reduce)
{
    m_reduceMotion = reduce;
    m_character.state().reduceMotion = reduce;
    updateTimeline();
}

void PindleCharacterView::setInteractive(bool interactive)
{
    m_interactive = interactive;
    if (!interactive && m_gesture && m_gesture->onBody)
        cancelGesture();
}

void PindleCharacterView::setPaused(bool paused)
{
    m_paused = paused;
    updateTimeline();
}

double PindleCharacterView::headroomPoints() const
{
    return height() - height() / (1 + m_headroom);
}

QRectF PindleCharacterView::viewRect() const
{
    const double h = headroomPoints();
    return {0, h, double(width()), height() - h};
}

QRectF PindleCharacterView::slot() const
{
    return m_target.value_or(QRectF(0, 0, width(), height() - headroomPoints()));
}

double PindleCharacterView::now() const
{
    return m_clock.monotonicSeconds();
}

void PindleCharacterView::refit()
{
    placeStage();
    update();
    updateTimeline();
}

void PindleCharacterView::placeStage()
{
    const QRectF view = viewRect();
    const QRectF fit = m_target ? m_target->translated(0, view.top()) : view;
    m_drawable = CharacterShape::place(m_character.state(), m_placement, m_stage, fit, QSizeF(size()));
    if (!m_drawable)
        m_painter.clear();
}

bool PindleCharacterView::tick()
{
    m_character.advance(Date{now()});
    placeStage();
    update();
    return !m_reduceMotion || m_gesture || !isStill(m_character.state());
}

void PindleCharacterView::updateTimeline()
{
    const bool onScreen = m_onScreen && !m_paused && !window()->isMinimized();
    if (!onScreen)
        m_timeline.stop();
    else if (!m_timeline.isRunning() && (!m_reduceMotion || m_gesture || !isStill(m_character.state())))
        m_timeline.start();
}

void PindleCharacterView::paintEvent(QPaintEvent*)
{
    if (!m_drawable) {
        m_painter.clear();
        return;
    }
    QPainter painter(this);
    m_painter.draw(painter, m_character.state(),
                   {rect(), viewRect(), m_eyeWeight, AppearanceNotifier::shared().appearance() == Appearance::Dark});
}

void PindleCharacterView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeStage();
    updateTimeline();
}

void PindleCharacterView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_onScreen = true;
    m_character.state().reduceMotion = m_reduceMotion;
    placeStage();
    updateTimeline();
}

void PindleCharacterView::hideEvent(QHideEvent* event)
{
    // Also sent, spontaneously, when the window is minimised.
    m_onScreen = false;
    cancelGesture();
    m_timeline.stop();
    QWidget::hideEvent(event);
}

void PindleCharacterView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The release will go to whichever window took over.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        cancelGesture();
}

void PindleCharacterView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        // Another button (the parent's context menu) ends a drag under way.
        cancelGesture();
        event->ignore();
        return;
    }
    const QPointF at = event->position() - QPointF(0, headroomPoints());
    if (!slot().contains(at)) {
        event->ignore();
        return;
    }
    cancelGesture();
    Gesture gesture;
    gesture.start = at;
    gesture.at = at;
    gesture.onBody = m_interactive && m_painter.bodyPath().contains(at);
    if (gesture.onBody) {
        m_character.setDragging(true);
        gesture.last = Sample{at, now()};
    }
    m_gesture = gesture;
    // Until the release: a move with no button held then tells that the release went elsewhere.
    setMouseTracking(true);
    updateTimeline();
}

void PindleCharacterView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_gesture)
        return;
    if (!(event->buttons() & Qt::LeftButton)) {
        // The release went elsewhere.
        cancelGesture();
        return;
    }
    follow(event->position() - QPointF(0, headroomPoints()));
}

void PindleCharacterView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_gesture) {
        event->ignore();
        return;
    }
    endGesture(event->position() - QPointF(0, headroomPoints()));
}

void PindleCharacterView::follow(QPointF location)
{
    Gesture& g = *m_gesture;
    g.at = location;
    const QPointF travel = location - g.start;
    if (!g.moved && std::hypot(travel.x(), travel.y()) > kDragThreshold)
        g.moved = true;
    if (!g.onBody || !g.moved)
        return;

    PindleCharacter::State& s = m_character.state();
    const double scale = s.placeS.x >= 0.01 ? s.placeS.x : 0.01;
    s.x.t = std::clamp(travel.x() / scale, -90.0, 90.0);
    // The limits hold from the ground line, not from the rest height.
    s.y.t = std::clamp(s.baseY + travel.y() / scale, -80.0, 60.0);

    const double time = now();
    if (g.last) {
        // A flick leans the body against the motion, squashes it along it and turns the eyes.
        const double dt = std::max(time - g.last->time, 0.001);
        const double vx = (location.x() - g.last->point.x()) / scale / dt;
        const double vy = (location.y() - g.last->point.y()) / scale / dt;
        const double w = std::min(dt * 60, 1.0);
        s.lean.v += vx * -0.02 * w;
        s.squash.v += w * std::clamp(-0.0015 * vy - 0.0006 * std::abs(vy), -2.5, 2.5);
        if (s.squash.x < -0.45) {
            s.squash.x = -0.45;
            s.squash.v = std::max(s.squash.v, 0.0);
        } else if (s.squash.x > 0.4) {
            s.squash.x = 0.4;
            s.squash.v = std::min(s.squash.v, 0.0);
        }
        s.lookX.t = std::clamp(vx / 600, -1.0, 1.0);
    }
    g.last = Sample{location, time};
}

void PindleCharacterView::endGesture(QPointF location)
{
    if (location != m_gesture->at)
        follow(location);
    const Gesture g = *m_gesture;
    m_gesture.reset();
    setMouseTracking(false);
    if (g.onBody) {
        PindleCharacter::State& s = m_character.state();
        if (g.moved) {
            goHome();
            s.wob.v += 5;
        } else if (!s.reduceMotion) {
            const QPointF mid = m_painter.bodyPath().boundingRect().center();
            m_character.poke(std::atan2(location.y() - mid.y(), location.x() - mid.x()));
        }
        m_character.setDragging(false);
    }
    updateTimeline();
    if (!g.moved)
        Q_EMIT tapped();
}

void PindleCharacterView::cancelGesture()
{
    if (!m_gesture)
        return;
    const bool onBody = m_gesture->onBody;
    m_gesture.reset();
    setMouseTracking(false);
    if (onBody) {
        m_character.setDragging(false);
        goHome();
    }
}

void PindleCharacterView::goHome()
{
    PindleCharacter::State& s = m_character.state();
    s.x.t = 0;
    s.y.t = s.baseY;
    s.lookX.t = 0;
}
