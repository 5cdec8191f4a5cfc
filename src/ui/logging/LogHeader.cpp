#include "ui/logging/LogHeader.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace {

constexpr std::array<const char*, LogColumns::Control> kCaptions = {"TYPE", "TIMECODE", "WHO", "WHAT WAS SAID", "NOTE"};

} // namespace

LogColumns LogColumns::layout(qreal left, qreal width, const LogColumnsStyle& style)
{
    const qreal fixed = style.type + style.timecode + style.who + style.control;
    const qreal gaps = style.spacing * (Count - 1);
    const qreal free = std::max<qreal>(width - 2 * style.horizontalPadding - fixed - gaps, 0);
    const qreal note = std::clamp(std::floor(free / 2), style.noteMinimum, style.noteMaximum);
    const qreal said = std::max(free - note, style.saidMinimum);
    const std::array<qreal, Count> widths = {style.type, style.timecode, style.who, said, note, style.control};

    LogColumns columns;
    qreal x = left + style.horizontalPadding;
    for (int i = 0; i < Count; ++i) {
        columns.spans[i] = {x, widths[i]};
        x += widths[i] + style.spacing;
    }
    return columns;
}

LogHeader::LogHeader(QWidget* parent)
    : QWidget(parent), m_font(m_style.caption.font()), m_lineHeight(QFontMetricsF(m_font).height())
{
    for (size_t i = 0; i < m_captions.size(); ++i) {
        m_captions[i].setText(QString::fromLatin1(kCaptions[i]));
        m_captions[i].setTextFormat(Qt::PlainText);
        m_captions[i].prepare(QTransform(), m_font);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, qOverload<>(&QWidget::update));
}

void LogHeader::setColumnsWidth(int width)
{
    if (width == m_columnsWidth)
        return;
    m_columnsWidth = width;
    update();
}

QString LogHeader::caption(int column)
{
    return column >= 0 && column < LogColumns::Control ? QString::fromLatin1(kCaptions[size_t(column)]) : QString();
}

QRect LogHeader::captionRect(int column) const
{
    if (column < 0 || column >= LogColumns::Control)
        return {};
    const LogColumns columns = LogColumns::layout(0, m_columnsWidth > 0 ? m_columnsWidth : width(), m_style.columns);
    const LogColumns::Span& span = columns.spans[size_t(column)];
    return QRectF(span.left, 0, span.width, height()).toAlignedRect();
}

QSize LogHeader::sizeHint() const
{
    const LogColumns columns = LogColumns::layout(0, 0, m_style.columns);
    return {int(std::ceil(columns[LogColumns::Control].right() + m_style.columns.horizontalPadding)),
            int(std::ceil(m_lineHeight + 2 * m_style.verticalPadding))};
}

QSize LogHeader::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void LogHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setFont(m_font);
    painter.setPen(Theme::muted.current());
    const LogColumns columns = LogColumns::layout(0, m_columnsWidth > 0 ? m_columnsWidth : width(), m_style.columns);
    const qreal top = (height() - m_lineHeight) / 2;
    for (size_t i = 0; i < m_captions.size(); ++i) {
        const LogColumns::Span& span = columns.spans[i];
        painter.setClipRect(QRectF(span.left, 0, span.width, height()));
        painter.drawStaticText(QPointF(span.left, top), m_captions[i]);
    }
}
