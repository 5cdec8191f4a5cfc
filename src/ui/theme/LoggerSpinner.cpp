#include "ui/theme/LoggerSpinner.h"

#include "ui/theme/Theme.h"

#include <QPainter>
#include <QTimerEvent>

namespace {

// Spoke geometry as fractions of the spinner's radius.
constexpr qreal kInnerRadius = 0.45;
constexpr qreal kSpokeWidth = 0.16;
// The spoke just behind the bright one is this much fainter, and so on round the wheel.
constexpr qreal kFaintest = 0.2;

} // namespace

LoggerSpinner::LoggerSpinner(QWidget* parent) : QWidget(parent)
{
    setFixedSize(kSize, kSize);
    setAttribute(Qt::WA_TranslucentBackground);
}

void LoggerSpinner::showEvent(QShowEvent* event)
{
    m_timer.start(kStepMs, this);
    QWidget::showEvent(event);
}

void LoggerSpinner::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void LoggerSpinner::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_step = (m_step + 1) % kSpokes;
    update();
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
