#include "ui/logging/header/StatusBanner.h"

#include "ui/theme/Capsule.h"
#include "ui/theme/Symbols.h"
#include "ui/theme/Theme.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QString kDismissName = QStringLiteral("Dismiss");

// The cross, drawn in the secondary colour at the banner's own opacity.
class DismissCross final : public QAbstractButton {
public:
    DismissCross(const StatusBanner& banner, const StatusBanner::Style& style, QWidget* parent)
        : QAbstractButton(parent), m_banner(banner), m_style(style)
    {
        setObjectName(QStringLiteral("dismissButton"));
        setAccessibleName(kDismissName);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        const int side = int(std::ceil(Symbols::side(style.dismissSymbol))) + 2 * style.dismissPadding;
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setOpacity(m_banner.opacity() * (isDown() ? m_style.pressedOpacity : 1.0));
        const QColor colour = hasFocus() ? Theme::coral : Theme::muted.current();
        Symbols::paint(painter, QRectF(rect()), QStringLiteral("xmark"), m_style.dismissSymbol, colour);
    }

private:
    const StatusBanner& m_banner;
    StatusBanner::Style m_style;
};

} // namespace

StatusBanner::StatusBanner(QWidget* parent, FrameClock* frames) : QWidget(parent), m_font(m_style.message.font())
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_text.setTextFormat(Qt::PlainText);
    m_text.setPerformanceHint(QStaticText::AggressiveCaching);
    m_dismiss = new DismissCross(*this, m_style, this);
    connect(m_dismiss, &QAbstractButton::clicked, this, &StatusBanner::dismissed);
    m_fade = (frames ? *frames : FrameClock::shared()).add([this](double seconds) { return stepFade(seconds); });
    hide();
}

StatusBanner::~StatusBanner() = default;

void StatusBanner::setMessage(const std::optional<QString>& message)
{
    if (message == m_message)
        return;
    m_message = message;
    if (message) {
        m_shown = *message;
        setAccessibleName(m_shown);
        m_text.setText(m_shown);
        relayoutText();
        updateGeometry();
        show();
    } else if (isHidden()) {
        return;
    }
    m_fade.start();
    update();
}

int StatusBanner::dismissSide() const
{
    return m_dismiss->width();
}

qreal StatusBanner::textWidth(int width) const
{
    return std::max<qreal>(width - m_style.padding.left() - m_style.padding.right() - m_style.spacing - dismissSide(),
                           1);
}

int StatusBanner::heightForWidth(int width) const
{
    const QFontMetricsF metrics(m_font);
    const qreal room = textWidth(width);
    const QRectF text = metrics.boundingRect(QRectF(0, 0, room, 1e6), Qt::TextWordWrap, m_shown);
    const qreal content = std::max({text.height(), metrics.height(), qreal(dismissSide())});
    return int(std::ceil(content)) + m_style.padding.top() + m_style.padding.bottom();
}

QSize StatusBanner::sizeHint() const
{
    const int natural = int(std::ceil(QFontMetricsF(m_font).horizontalAdvance(m_shown))) + m_style.padding.left() +
                        m_style.padding.right() + m_style.spacing + dismissSide();
    return {natural, heightForWidth(natural)};
}

QSize StatusBanner::minimumSizeHint() const
{
    // One line high: the height at a given width comes from heightForWidth, and a minimum taken
    // at the narrowest width would hold the window as tall as a word per line.
    const int narrow = m_style.padding.left() + m_style.padding.right() + m_style.spacing + 2 * dismissSide();
    const qreal line = std::max(QFontMetricsF(m_font).height(), qreal(dismissSide()));
    return {narrow, int(std::ceil(line)) + m_style.padding.top() + m_style.padding.bottom()};
}

QRect StatusBanner::textRect() const
{
    return QRect(m_style.padding.left(), m_style.padding.top(), int(textWidth(width())),
                 height() - m_style.padding.top() - m_style.padding.bottom());
}

void StatusBanner::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayoutText();
    placeDismiss();
}

void StatusBanner::relayoutText()
{
    m_text.setTextWidth(textWidth(width()));
    m_text.prepare(QTransform(), m_font);
}

void StatusBanner::placeDismiss()
{
    const int side = dismissSide();
    m_dismiss->move(width() - m_style.padding.right() - side + m_style.dismissPadding, (height() - side) / 2);
}

bool StatusBanner::stepFade(double seconds)
{
    const qreal target = m_message ? 1.0 : 0.0;
    const qreal step = m_style.fadeSeconds > 0 ? seconds / m_style.fadeSeconds : 1.0;
    m_opacity = m_opacity < target ? std::min(target, m_opacity + step) : std::max(target, m_opacity - step);
    update();
    m_dismiss->update();
    if (m_opacity != target)
        return true;
    if (target == 0.0)
        hide();
    return false;
}

void StatusBanner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_opacity);
    const ControlColours colours = ControlColours::plain(currentAppearance());
    paintControlShape(painter, QRectF(rect()), m_style.cornerRadius, m_style.outlineWidth, colours);
    const QRect text = textRect();
    const qreal top = text.top() + (text.height() - m_text.size().height()) / 2;
    painter.setFont(m_font);
    painter.setPen(colours.content);
    painter.drawStaticText(QPointF(text.left(), top), m_text);
}
