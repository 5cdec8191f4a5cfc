#include "ui/mixer/MixerMeters.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kVerticalWidth = 8;
constexpr qreal kVerticalRadius = 3;
constexpr QSize kMiniSize{52, 5};
constexpr QSize kBarSize{60, 5};
constexpr int kBarMinimumWidth = 24;

float bounded(float level)
{
    return std::isfinite(level) ? std::clamp(level, 0.0f, 1.0f) : 0.0f;
}

} // namespace

MeterMotion::MeterMotion(FrameClock& frames) : m_animation(frames.add([this](double seconds) { return tick(seconds); }))
{
}

MeterMotion::~MeterMotion()
{
    for (MiniMeter* meter : m_meters)
        meter->m_motion = nullptr;
}

void MeterMotion::attach(MiniMeter* meter)
{
    m_meters.push_back(meter);
}

void MeterMotion::detach(MiniMeter* meter)
{
    m_meters.erase(std::remove(m_meters.begin(), m_meters.end(), meter), m_meters.end());
    m_moving.erase(std::remove(m_moving.begin(), m_moving.end(), meter), m_moving.end());
}

void MeterMotion::wake(MiniMeter* meter)
{
    if (std::find(m_moving.cbegin(), m_moving.cend(), meter) == m_moving.cend())
        m_moving.push_back(meter);
    m_animation.start();
}

bool MeterMotion::tick(double seconds)
{
    m_moving.erase(std::remove_if(m_moving.begin(), m_moving.end(),
                                  [seconds](MiniMeter* meter) { return !meter->advance(seconds); }),
                   m_moving.end());
    return !m_moving.empty();
}

MiniMeter::MiniMeter(Kind kind, MeterMotion* motion, QWidget* parent) : QWidget(parent), m_kind(kind), m_motion(motion)
{
    if (m_motion)
        m_motion->attach(this);
    switch (kind) {
    case Kind::Vertical:
        setFixedWidth(kVerticalWidth);
        break;
    case Kind::Mini:
        setFixedSize(kMiniSize);
        break;
    case Kind::Bar:
        // A narrow row gives up some of the bar before it cuts anything.
        setFixedHeight(kBarSize.height());
        setMinimumWidth(kBarMinimumWidth);
        setMaximumWidth(kBarSize.width());
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        break;
    }
}

MiniMeter::~MiniMeter()
{
    if (m_motion)
        m_motion->detach(this);
}

void MiniMeter::setLevel(float level)
{
    if (level == m_target || (std::isnan(level) && std::isnan(m_target)))
        return;
    m_target = level;
    m_from = m_shown;
    m_elapsed = 0;
    if (m_motion && isVisible())
        m_motion->wake(this);
    else
        show(level);
}

bool MiniMeter::advance(double seconds)
{
    m_elapsed += seconds;
    if (m_elapsed >= MeterMotion::kGlide || !std::isfinite(m_target) || !std::isfinite(m_from)) {
        show(m_target);
        return false;
    }
    show(m_from + (m_target - m_from) * static_cast<float>(m_elapsed / MeterMotion::kGlide));
    return true;
}

void MiniMeter::show(float level)
{
    m_shown = level;
    const int extent = extentOf(level);
    if (extent == m_extent)
        return;
    m_extent = extent;
    update();
}

int MiniMeter::extentOf(float level) const
{
    const int length = m_kind == Kind::Vertical ? height() : width();
    // In device pixels: a move smaller than one is not seen.
    const float pixels = bounded(level) * static_cast<float>(length * devicePixelRatioF());
    // The bar also changes colour at its thresholds.
    const int band = m_kind == Kind::Bar ? (level > 0.8f ? 2 : level > 0.6f ? 1 : 0) << 24 : 0;
    return static_cast<int>(std::lround(pixels)) | band;
}

QSize MiniMeter::sizeHint() const
{
    switch (m_kind) {
    case Kind::Vertical:
        return {kVerticalWidth, height()};
    case Kind::Mini:
        return kMiniSize;
    case Kind::Bar:
        return kBarSize;
    }
    return {};
}

void MiniMeter::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

void MiniMeter::setOpacity(qreal opacity)
{
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

void MiniMeter::setTrackLength(int length)
{
    setFixedHeight(length);
}

QColor MiniMeter::barColour(float level)
{
    if (level > 0.8f)
        return Theme::coral;
    if (level > 0.6f)
        return Theme::amber;
    return Theme::green;
}

void MiniMeter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    painter.setPen(Qt::NoPen);
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    const QRectF box(rect());
    const qreal level = bounded(m_shown);

    switch (m_kind) {
    case Kind::Vertical: {
        QPainterPath clip;
        clip.addRoundedRect(box, kVerticalRadius, kVerticalRadius);
        painter.setClipPath(clip);
        painter.fillRect(box, Theme::background.resolve(appearance));
        const qreal lit = level * box.height();
        if (lit <= 0)
            return;
        // The colours stay at their heights: a low level shows only green.
        QLinearGradient gradient(box.bottomLeft(), box.topLeft());
        gradient.setColorAt(0, Theme::green);
        gradient.setColorAt(0.5, Theme::amber);
        gradient.setColorAt(1, Theme::coral);
        painter.fillRect(QRectF(box.left(), box.bottom() - lit, box.width(), lit), gradient);
        return;
    }
    case Kind::Mini:
    case Kind::Bar: {
        const qreal radius = box.height() / 2;
        painter.setBrush(m_kind == Kind::Mini ? Theme::surface.resolve(appearance)
                                              : Theme::background.resolve(appearance));
        painter.drawRoundedRect(box, radius, radius);
        const qreal lit = level * box.width();
        if (lit <= 0)
            return;
        painter.setBrush(m_kind == Kind::Mini ? m_colour : barColour(m_shown));
        painter.drawRoundedRect(QRectF(box.left(), box.top(), lit, box.height()), std::min(radius, lit / 2), radius);
        return;
    }
    }
}
