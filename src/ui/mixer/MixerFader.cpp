#include "ui/mixer/MixerFader.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal kTrackWidth = 4;
constexpr QSizeF kUnityMark{14, 1};
constexpr qreal kKnobWidth = 22;
constexpr qreal kKnobRadius = 3;

// One adjustable element: the fader's children (it has none) are not read, its value is the
// gain reading, and increase / decrease move it a step through the same path as the keys.
class FaderAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit FaderAccessible(MixerFader* fader) : QAccessibleWidget(fader, QAccessible::Slider) {}

    [[nodiscard]] MixerFader* fader() const { return static_cast<MixerFader*>(widget()); }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    [[nodiscard]] QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return fader()->valueText();
        return QAccessibleWidget::text(kind);
    }
    [[nodiscard]] int childCount() const override { return 0; }
    [[nodiscard]] QAccessibleInterface* child(int) const override { return nullptr; }

    [[nodiscard]] QStringList actionNames() const override { return {increaseAction(), decreaseAction()}; }
    void doAction(const QString& name) override
    {
        if (name == increaseAction())
            fader()->stepBy(1);
        else if (name == decreaseAction())
            fader()->stepBy(-1);
    }

    [[nodiscard]] QVariant currentValue() const override { return fader()->value(); }
    // The value is the engine's: an assistive tool moves it by steps, not by setting it.
    void setCurrentValue(const QVariant&) override {}
    [[nodiscard]] QVariant maximumValue() const override { return 1.0; }
    [[nodiscard]] QVariant minimumValue() const override { return 0.0; }
    [[nodiscard]] QVariant minimumStepSize() const override { return MixerFader::kStep; }
};

QAccessibleInterface* accessibleFader(const QString& className, QObject* object)
{
    if (className == QLatin1String(MixerFader::staticMetaObject.className()) && object && object->isWidgetType())
        return new FaderAccessible(static_cast<MixerFader*>(object));
    return nullptr;
}

} // namespace

MixerFader::MixerFader(Qt::Orientation orientation, QWidget* parent) : QWidget(parent), m_orientation(orientation)
{
    static const bool installed = [] {
        QAccessible::installFactory(&accessibleFader);
        return true;
    }();
    Q_UNUSED(installed);
    setFocusPolicy(Qt::StrongFocus);
    if (orientation == Qt::Vertical) {
        setFixedWidth(kWidth);
    } else {
        setFixedHeight(kMiniHeight);
        setMinimumWidth(kMiniMinimumWidth);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
}

void MixerFader::setValue(double value)
{
    if (value == m_value)
        return;
    m_value = value;
    update();
}

void MixerFader::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    update();
}

void MixerFader::setOpacity(qreal opacity)
{
    if (opacity == m_opacity)
        return;
    m_opacity = opacity;
    update();
}

void MixerFader::setTrackLength(int length)
{
    setFixedHeight(length);
}

void MixerFader::setValueText(const QString& text)
{
    if (text == m_valueText)
        return;
    m_valueText = text;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, m_value);
        QAccessible::updateAccessibility(&event);
    }
}

qreal MixerFader::travel() const
{
    if (m_orientation == Qt::Vertical)
        return std::max<qreal>(height() - kKnob, 0);
    return std::max<qreal>(width() - kMiniKnob, 0);
}

double MixerFader::valueAt(QPointF position) const
{
    const qreal room = travel();
    if (room <= 0)
        return m_value;
    const double asked =
        m_orientation == Qt::Vertical ? 1.0 - (position.y() - kKnob / 2) / room : (position.x() - kMiniKnob / 2) / room;
    return std::isfinite(asked) ? std::clamp(asked, 0.0, 1.0) : m_value;
}

void MixerFader::stepBy(int steps)
{
    const double asked = std::clamp(m_value + steps * kStep, 0.0, 1.0);
    Q_EMIT moved(asked);
    Q_EMIT released();
}

void MixerFader::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    Q_EMIT moved(valueAt(event->position()));
}

void MixerFader::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    Q_EMIT moved(valueAt(event->position()));
}

void MixerFader::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    Q_EMIT moved(valueAt(event->position()));
    Q_EMIT released();
}

void MixerFader::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double-click: back to 0 dB, wherever it was.
    m_dragging = false;
    Q_EMIT moved(kUnity);
    Q_EMIT released();
}

void MixerFader::keyPressEvent(QKeyEvent* event)
{
    const bool up = m_orientation == Qt::Vertical ? event->key() == Qt::Key_Up : event->key() == Qt::Key_Right;
    const bool down = m_orientation == Qt::Vertical ? event->key() == Qt::Key_Down : event->key() == Qt::Key_Left;
    if (up || down)
        stepBy(up ? 1 : -1);
    else
        QWidget::keyPressEvent(event);
}

void MixerFader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    painter.setPen(Qt::NoPen);
    if (m_orientation == Qt::Vertical)
        paintVertical(painter);
    else
        paintHorizontal(painter);
}

void MixerFader::paintVertical(QPainter& painter)
{
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    const qreal w = width();
    const qreal h = height();
    const qreal room = travel();
    const double value = std::isfinite(m_value) ? std::clamp(m_value, 0.0, 1.0) : 0.0;
    const qreal centreX = w / 2;

    const qreal radius = kTrackWidth / 2;
    painter.setBrush(Theme::background.resolve(appearance));
    painter.drawRoundedRect(QRectF(centreX - radius, 0, kTrackWidth, h), radius, radius);

    // The fill reaches the knob's centre.
    const qreal fill = value * room + kKnob / 2;
    painter.setBrush(Theme::withOpacity(m_colour, 0.7));
    painter.drawRoundedRect(QRectF(centreX - radius, h - fill, kTrackWidth, fill), radius, radius);

    const qreal unity = kUnity * room + kKnob / 2;
    painter.fillRect(QRectF(centreX - kUnityMark.width() / 2, h - unity - kUnityMark.height() / 2, kUnityMark.width(),
                            kUnityMark.height()),
                     Theme::withOpacity(Theme::muted.resolve(appearance), 0.6));

    const QRectF knob(centreX - kKnobWidth / 2, h - value * room - kKnob, kKnobWidth, kKnob);
    painter.setBrush(QColor(0, 0, 0, 77));
    painter.drawRoundedRect(knob.translated(0, 1).adjusted(-0.5, -0.5, 0.5, 1), kKnobRadius + 0.5, kKnobRadius + 0.5);
    painter.setBrush(Theme::ink.resolve(appearance));
    painter.drawRoundedRect(knob, kKnobRadius, kKnobRadius);

    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Theme::coral, 1));
        painter.drawRoundedRect(knob.adjusted(-1.5, -1.5, 1.5, 1.5), kKnobRadius + 1, kKnobRadius + 1);
    }
}

void MixerFader::paintHorizontal(QPainter& painter)
{
    const Appearance appearance = AppearanceNotifier::shared().appearance();
    const qreal w = width();
    const qreal h = height();
    const qreal room = travel();
    const double value = std::isfinite(m_value) ? std::clamp(m_value, 0.0, 1.0) : 0.0;
    const qreal centreY = h / 2;
    const qreal radius = kTrackWidth / 2;

    painter.setBrush(Theme::line.resolve(appearance));
    painter.drawRoundedRect(QRectF(0, centreY - radius, w, kTrackWidth), radius, radius);
    const qreal fill = value * room + kMiniKnob / 2;
    painter.setBrush(m_colour);
    painter.drawRoundedRect(QRectF(0, centreY - radius, fill, kTrackWidth), radius, radius);

    const QRectF knob(value * room, centreY - kMiniKnob / 2, kMiniKnob, kMiniKnob);
    painter.setBrush(Theme::surface.resolve(appearance));
    painter.setPen(QPen(Theme::line.resolve(appearance), 1));
    painter.drawEllipse(knob.adjusted(0.5, 0.5, -0.5, -0.5));
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Theme::coral, 1));
        painter.drawEllipse(knob.adjusted(-1, -1, 1, 1));
    }
}
