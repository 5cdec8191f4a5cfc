#include "ui/mixer/AgentPinBand.h"

#include "export/MarkerBadge.h"
#include "screens/MixerModel.h"
#include "ui/theme/Theme.h"

#include <QPainter>

AgentPinBand::AgentPinBand(MixerModel& mixer, FrameClock& frames, QWidget* parent)
    : QWidget(parent), m_mixer(mixer), m_motion(frames.add([this](double seconds) {
          m_slide.step(seconds);
          update();
          return !m_slide.isSettled();
      }))
{
    setFixedHeight(static_cast<int>(MixerModel::kPinSize));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(&mixer, &MixerModel::pinChanged, this, &AgentPinBand::follow);
    follow();
}

void AgentPinBand::follow()
{
    const std::optional<int> position = m_mixer.pinPosition();
    const double opacity = m_mixer.pinOpacity();
    if (position == m_position && opacity == m_opacity)
        return;
    const bool appears = !m_position && position;
    m_position = position;
    m_opacity = opacity;
    if (!position) {
        m_motion.stop();
    } else {
        m_slide.setTarget(*position);
        if (appears) {
            m_slide.snap();
            m_motion.stop();
        } else if (!m_slide.isSettled()) {
            m_motion.start();
        }
    }
    update();
}

std::optional<double> AgentPinBand::pinX() const
{
    if (!m_position)
        return std::nullopt;
    // The spring moves in strip positions, so a resize needs no new motion.
    return MixerModel::pinX(m_slide.value(), width());
}

void AgentPinBand::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    update();
}

void AgentPinBand::paintEvent(QPaintEvent*)
{
    const std::optional<double> x = pinX();
    if (!x)
        return;
    QPainter painter(this);
    painter.setOpacity(m_opacity);
    const qreal size = MixerModel::kPinSize;
    drawMarkerGlyph(painter, QPointF(*x + size / 2, size / 2), size, Theme::coral);
}
