#include "ui/theme/LoggerField.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

LoggerField::LoggerField(const TextStyle& style, const QString& placeholder, QWidget* parent)
    : QWidget(parent), m_edit(new QLineEdit(this))
{
    m_edit->setFrame(false);
    m_edit->setFont(style.font());
    m_edit->setPlaceholderText(placeholder);
    // The placeholder is all the field shows of what it is for.
    m_edit->setAccessibleName(placeholder);
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    setFocusProxy(m_edit);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->addWidget(m_edit);
    restyle();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &LoggerField::restyle);
}

void LoggerField::restyle()
{
    QPalette palette = m_edit->palette();
    // The surface is painted by the field; the line edit only draws its text over it.
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, Theme::ink.current());
    palette.setColor(QPalette::PlaceholderText, Theme::muted.current());
    palette.setColor(QPalette::Highlight, Theme::coral);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    m_edit->setPalette(palette);
}

void LoggerField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // The stroke is centred on the outline: inset by half its width so all of it shows.
    const qreal half = kStrokeWidth / 2;
    const QRectF outline = QRectF(rect()).adjusted(half, half, -half, -half);
    QPainterPath shape;
    shape.addRoundedRect(outline, kCornerRadius, kCornerRadius);
    painter.fillPath(shape, Theme::surface.current());
    painter.setPen(QPen(Theme::line.current(), kStrokeWidth));
    painter.drawPath(shape);
}
