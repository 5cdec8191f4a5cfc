#include "ui/theme/LoggerSpinner.h"

#include "ui/theme/Theme.h"

#include <QPainter>

#include <cmath>

namespace {

// Spoke geometry as fractions of the spinner's radius.
constexpr qreal kInnerRadius = 0.45;
constexpr qreal kSpokeWidth = 0.16;
// The spoke just behind the bright one is this much fainter, and so on round the wheel.
constexpr qreal kFaintest = 0.2;

} // namespace

LoggerSpinner::LoggerSpinner(QWidget* parent, FrameClock* frames)
    : QWidget(parent), m_animation((frames ? *frames : FrameClock::shared()).add([this](double elapsed) {
          return advance(elapsed);
      }))
{
    setFixedSize(kSize, kSize);
    setAttribute(Qt::WA_TranslucentBackground);
}

void LoggerSpinner::showEvent(QShowEvent* event)
{
    m_animation.start();
    QWidget::showEvent(event);
}

void LoggerSpinner::hideEvent(QHideEvent* event)
{
    m_animation.stop();
    QWidget::hideEvent(event);
}

bool LoggerSpinner::advance(double elapsedSeconds)
{
    // Time, not frame count, moves the wheel: a late frame jumps ahead instead of slowing it.
    if (!(elapsedSeconds > 0.0) || !std::isfinite(elapsedSeconds))
        return true;
    m_turn = std::fmod(m_turn + elapsedSeconds / kTurnSeconds, 1.0);
    const int step = static_cast<int>(m_turn * kSpokes) % kSpokes;
    if (step != m_step) {
        m_step = step;
        update();
    }
    return true;
}

void LoggerSpinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = kSize / 2.0;
    painter.translate(radius, radius);
    QColor colour = Theme::muted.current();
    QPen pen(colour, radius * kSpokeWidth, Qt::SolidLine, Qt::RoundCap);
    for (int spoke = 0; spoke < kSpokes; ++spoke) {
        // Age 0 is the bright spoke; older spokes fade towards kFaintest.
        const int age = (m_step - spoke + kSpokes) % kSpokes;
        colour.setAlphaF(static_cast<float>(1.0 - (1.0 - kFaintest) * age / (kSpokes - 1)));
        pen.setColor(colour);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * spoke / kSpokes);
        painter.drawLine(QPointF(0, -radius * kInnerRadius), QPointF(0, -radius * (1.0 - kSpokeWidth / 2)));
        painter.restore();
    }
}
