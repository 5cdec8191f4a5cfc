#include "ui/theme/LoggerPrimary.h"

#include "ui/theme/TextStyle.h"
#include "ui/theme/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace {

// The keyboard focus ring, drawn inside the button's edge.
constexpr qreal kFocusRingWidth = 2;
constexpr qreal kFocusRingInset = 3;
constexpr int kHorizontalTextMargin = 16;

} // namespace

LoggerPrimary::LoggerPrimary(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setTitle(title);
    setFont(TextStyle::buttonTitle.font());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(kHeight);
    // Clicking must leave the keyboard in the text field; Tab still reaches the button.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

void LoggerPrimary::setTitle(const QString& title)
{
    setText(title);
    setAccessibleName(title);
}

QSize LoggerPrimary::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(text()) + 2 * kHorizontalTextMargin, kHeight};
}

QSize LoggerPrimary::minimumSizeHint() const
{
    return {2 * kHorizontalTextMargin, kHeight};
}

void LoggerPrimary::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF bounds = QRectF(rect());
    QColor fill = Theme::coral;
    if (isDown())
        fill.setAlphaF(static_cast<float>(kPressedOpacity));
    QPainterPath shape;
    shape.addRoundedRect(bounds, kCornerRadius, kCornerRadius);
    painter.fillPath(shape, fill);

    if (hasFocus()) {
        const qreal inset = kFocusRingInset;
        painter.setPen(QPen(Qt::white, kFocusRingWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(inset, inset, -inset, -inset), kCornerRadius - inset,
                                kCornerRadius - inset);
    }

    // Painted without mnemonics, so an "&" in a title shows as itself.
    painter.setPen(Qt::white);
    painter.setFont(font());
    const QRect textRect = rect().adjusted(kHorizontalTextMargin, 0, -kHorizontalTextMargin, 0);
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, shown);
}
