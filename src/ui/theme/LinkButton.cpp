#include "ui/theme/LinkButton.h"

#include "ui/theme/TextStyle.h"

#include <QPainter>

namespace {

constexpr qreal kPressedOpacity = 0.6;
constexpr int kVerticalPadding = 2;

} // namespace

LinkButton::LinkButton(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setText(title);
    setAccessibleName(title);
    setFont(TextStyle::link.font());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.horizontalAdvance(text()), metrics.height() + 2 * kVerticalPadding};
}

void LinkButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isDown())
        painter.setOpacity(kPressedOpacity);
    painter.setPen(palette().color(QPalette::Link));
    QFont shownFont = font();
    shownFont.setUnderline(hasFocus());
    painter.setFont(shownFont);
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}
