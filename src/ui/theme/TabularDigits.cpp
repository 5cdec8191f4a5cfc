#include "ui/theme/TabularDigits.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

TabularDigits::TabularDigits(const QFont& font) : m_raw(QRawFont::fromFont(font))
{
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
        const QList<quint32> glyphs = m_raw.glyphIndexesForString(QString(QChar(digit)));
        if (glyphs.size() == 1)
            m_digitAdvance = std::max(m_digitAdvance, m_raw.advancesForGlyphIndexes(glyphs).value(0).x());
    }
}

QGlyphRun TabularDigits::run(const QString& text, qreal* width) const
{
    const QList<quint32> glyphs = m_raw.glyphIndexesForString(text);
    const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(glyphs);
    const bool oneToOne = glyphs.size() == text.size();
    QList<QPointF> positions;
    positions.reserve(glyphs.size());
    qreal x = 0;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        const qreal advance = advances.value(i).x();
        if (oneToOne && text.at(i).isDigit()) {
            // Centred in its cell, as a figure of a fixed-width font sits.
            positions.append(QPointF(x + (m_digitAdvance - advance) / 2, 0));
            x += m_digitAdvance;
        } else {
            positions.append(QPointF(x, 0));
            x += advance;
        }
    }
    QGlyphRun run;
    run.setRawFont(m_raw);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    if (width)
        *width = x;
    return run;
}

TimecodeLabel::TimecodeLabel(const QFont& font, QWidget* parent) : QLabel(parent), m_digits(font)
{
    setFont(font);
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

const QGlyphRun& TimecodeLabel::laid() const
{
    if (m_run.isEmpty() || text() != m_laidText) {
        m_laidText = text();
        m_run = m_digits.run(m_laidText, &m_width);
    }
    return m_run;
}

QSize TimecodeLabel::sizeHint() const
{
    laid();
    const QMargins margins = contentsMargins();
    return {int(std::ceil(m_width)) + margins.left() + margins.right(),
            int(std::ceil(fontMetrics().height())) + margins.top() + margins.bottom()};
}

void TimecodeLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect box = contentsRect();
    const qreal top = box.top() + (box.height() - fontMetrics().height()) / 2.0;
    painter.drawGlyphRun(QPointF(box.left(), top + fontMetrics().ascent()), laid());
}
