#include "ui/theme/PaneParts.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/TextStyle.h"
#include "ui/theme/Theme.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

// Views repaint when the desktop turns light or dark; their colours are resolved in paint.
void repaintOnAppearance(QWidget* widget)
{
    QObject::connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, widget,
                     [widget] { widget->update(); });
}

} // namespace

LineDivider::LineDivider(Qt::Orientation orientation, QWidget* parent) : QWidget(parent)
{
    if (orientation == Qt::Horizontal) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
    repaintOnAppearance(this);
}

void LineDivider::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::line.current());
}

SectionTitle::SectionTitle(const QString& text, QWidget* parent) : QWidget(parent), m_text(text)
{
    setFont(TextStyle::caption.font());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(text);
    repaintOnAppearance(this);
}

QSize SectionTitle::sizeHint() const
{
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(m_text) + 2 * kHorizontalPadding,
            metrics.height() + kTopPadding + kBottomPadding};
}

QSize SectionTitle::minimumSizeHint() const
{
    return {2 * kHorizontalPadding, sizeHint().height()};
}

void SectionTitle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(Theme::faint.current());
    painter.setFont(font());
    const QRect text = rect().adjusted(kHorizontalPadding, kTopPadding, -kHorizontalPadding, -kBottomPadding);
    painter.drawText(text, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                     QFontMetrics(font()).elidedText(m_text, Qt::ElideRight, text.width()));
}
