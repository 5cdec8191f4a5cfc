#include "ui/logging/header/HeaderPillButton.h"

#include "ui/theme/Theme.h"

#include <QFocusEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>

#include <cmath>

namespace {

QSize ceilSize(const QSizeF& size)
{
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

// Tool tips guess rich text: a device name like "<b>" must show as written.
QString plainTip(const QString& text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

} // namespace

HeaderPillButton::HeaderPillButton(QWidget* parent) : QAbstractButton(parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    connect(this, &QAbstractButton::clicked, this, &HeaderPillButton::openMenu);
    relabel();
}

void HeaderPillButton::setContent(const QString& symbol, const QString& title)
{
    if (m_label.symbol == symbol && m_label.title == title)
        return;
    m_label.symbol = symbol;
    m_label.title = title;
    setAccessibleName(title);
    relabel();
}

void HeaderPillButton::setDot(Dot dot)
{
    if (std::exchange(m_dot, dot) != dot)
        relabel();
}

void HeaderPillButton::setCompact(bool compact)
{
    if (std::exchange(m_compact, compact) != compact)
        relabel();
}

void HeaderPillButton::setActive(bool active)
{
    if (std::exchange(m_active, active) != active)
        update();
}

void HeaderPillButton::setHelp(const QString& help)
{
    m_help = help;
    setAccessibleDescription(help);
}

void HeaderPillButton::relabel()
{
    // Only the size matters here; the dot's colour is resolved when painted.
    CapsuleLabel measured = m_label;
    measured.dot = m_dot == Dot::None ? QColor() : Theme::coral;
    const QSize size = ceilSize(capsuleSize(measured, capsuleStyle()));
    if (size != m_size) {
        m_size = size;
        updateGeometry();
    }
    update();
}

QRectF HeaderPillButton::contentRect() const
{
    CapsuleLabel measured = m_label;
    measured.dot = m_dot == Dot::None ? QColor() : Theme::coral;
    const CapsuleLayout layout = layoutCapsule(measured, capsuleStyle(), QRectF(rect()));
    return layout.lead.united(layout.title);
}

QString HeaderPillButton::helpAt(const QPoint& pos) const
{
    if (m_titleHelp && contentRect().contains(pos))
        return m_label.title;
    return m_help;
}

QSize HeaderPillButton::sizeHint() const
{
    return m_size;
}

QSize HeaderPillButton::minimumSizeHint() const
{
    return m_size;
}

bool HeaderPillButton::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString text = helpAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), plainTip(text), this);
        }
        return true;
    }
    return QAbstractButton::event(event);
}

void HeaderPillButton::focusInEvent(QFocusEvent* event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
}

void HeaderPillButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!isEnabled())
        painter.setOpacity(m_style.disabledOpacity);
    else if (isDown())
        painter.setOpacity(m_style.pressedOpacity);
    const Appearance appearance = currentAppearance();
    ControlColours colours = ControlColours::plain(appearance);
    if (m_active || (hasFocus() && m_keyboardFocus))
        colours.outline = Theme::coral;
    CapsuleLabel label = m_label;
    if (m_dot != Dot::None)
        label.dot = m_dot == Dot::Lit ? Theme::coral : Theme::faint.resolve(appearance);
    paintCapsule(painter, QRectF(rect()), label, capsuleStyle(), colours);
}

void HeaderPillButton::openMenu()
{
    if (m_menu)
        m_menu->popup(mapToGlobal(rect().bottomLeft()));
}
