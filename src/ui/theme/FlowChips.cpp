#include "ui/theme/FlowChips.h"

#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/Theme.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QPainter>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

// The chip keeps to one line: a line break in a word shows as a space.
QString oneLine(QString word)
{
    for (const QChar breaking :
         {QChar(u'\n'), QChar(u'\r'), QChar(QChar::LineSeparator), QChar(QChar::ParagraphSeparator)})
        word.replace(breaking, QChar(u' '));
    return word;
}

QSize ceilSize(const QSizeF& size)
{
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

} // namespace

// One word and its cross on a capsule. The word is painted as it is: never a mnemonic or markup,
// which is why it is not the button's text.
class FlowChips::Chip final : public QAbstractButton {
public:
    Chip(const QString& word, const Style& style, QWidget* parent)
        : QAbstractButton(parent), m_title(oneLine(word)), m_label{QString(), QColor(), m_title, style.removeSymbol},
          m_chipStyle(style.chip), m_metrics(style.chip.title.font()), m_pressedOpacity(style.pressedOpacity)
    {
        const QSizeF natural = capsuleSize(m_label, m_chipStyle);
        m_size = ceilSize(natural);
        m_besideTitle = natural.width() - m_metrics.horizontalAdvance(m_title);
        setObjectName(QStringLiteral("wordChip"));
        setAccessibleName(QStringLiteral("Remove ") + word);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
    }

    [[nodiscard]] QSize sizeHint() const override { return m_size; }
    [[nodiscard]] QSize minimumSizeHint() const override { return m_size; }

    // The chip's width in `room`: its own when that fits, else with the word cut to fit. The cut
    // is made here, once per room, and the chip hugs it rather than leaving a gap at its cross.
    int fit(int room)
    {
        if (room == m_room)
            return m_fitted;
        m_room = room;
        if (room >= m_size.width()) {
            m_label.title = m_title;
            m_fitted = m_size.width();
        } else {
            m_label.title = m_metrics.elidedText(m_title, Qt::ElideRight, std::max<qreal>(room - m_besideTitle, 0));
            m_fitted = std::min(room, ceilSize(capsuleSize(m_label, m_chipStyle)).width());
        }
        return m_fitted;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (isDown())
            painter.setOpacity(m_pressedOpacity);
        ControlColours colours = ControlColours::plain(currentAppearance());
        // Focus given when the window opens is not shown: Qt marks the window only once the
        // keyboard has moved focus, and a click clears the mark.
        if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange))
            colours.outline = Theme::coral;
        paintCapsule(painter, QRectF(rect()), m_label, m_chipStyle, colours);
    }

private:
    QString m_title;
    CapsuleLabel m_label;
    CapsuleStyle m_chipStyle;
    QFontMetricsF m_metrics;
    qreal m_pressedOpacity;
    QSize m_size;
    // The padding, the gap and the cross.
    qreal m_besideTitle = 0;
    int m_room = -1;
    int m_fitted = 0;
};

FlowChips::FlowChips(QWidget* parent) : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, qOverload<>(&QWidget::update));
}

QList<QAbstractButton*> FlowChips::chips() const
{
    QList<QAbstractButton*> ordered;
    ordered.reserve(m_words.size());
    for (const QString& word : m_words)
        ordered.append(m_chips.value(word));
    return ordered;
}

void FlowChips::setWords(const QStringList& words)
{
    QStringList shown = words;
    shown.removeDuplicates();
    if (shown == m_words)
        return;

    const QSet<QString> kept(shown.cbegin(), shown.cend());
    for (auto it = m_chips.begin(); it != m_chips.end();) {
        if (kept.contains(it.key())) {
            ++it;
            continue;
        }
        // Usually this runs from the chip's own click: it must outlive the signal it is emitting.
        it.value()->hide();
        it.value()->deleteLater();
        it = m_chips.erase(it);
    }

    QWidget* previous = nullptr;
    for (const QString& word : std::as_const(shown)) {
        Chip*& chip = m_chips[word];
        if (!chip) {
            chip = new Chip(word, m_style, this);
            connect(chip, &QAbstractButton::clicked, this, [this, word] { Q_EMIT removeRequested(word); });
            chip->show();
        }
        if (previous)
            setTabOrder(previous, chip);
        previous = chip;
    }
    m_words = std::move(shown);
    placeChips();
    updateGeometry();
}

FlowChips::Grid FlowChips::gridFor(int contentWidth) const
{
    const int width = std::max(contentWidth, 0);
    const int spacing = m_style.columnSpacing;
    Grid grid;
    grid.columns = std::max(1, (width + spacing) / (m_style.minimumColumnWidth + spacing));
    grid.cellWidth = std::max<qreal>(0, qreal(width - (grid.columns - 1) * spacing) / grid.columns);
    return grid;
}

QList<int> FlowChips::rowHeights(int columns) const
{
    QList<int> heights((m_words.size() + columns - 1) / columns, 0);
    for (qsizetype i = 0; i < m_words.size(); ++i) {
        int& row = heights[i / columns];
        row = std::max(row, m_chips.value(m_words.at(i))->sizeHint().height());
    }
    return heights;
}

int FlowChips::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const QList<int> heights = rowHeights(gridFor(width - margins.left() - margins.right()).columns);
    int height = margins.top() + margins.bottom();
    for (const int row : heights)
        height += row;
    if (!heights.isEmpty())
        height += int(heights.size() - 1) * m_style.rowSpacing;
    return height;
}

QSize FlowChips::sizeHint() const
{
    const QMargins margins = contentsMargins();
    const int width = m_style.minimumColumnWidth + margins.left() + margins.right();
    return {width, heightForWidth(width)};
}

QSize FlowChips::minimumSizeHint() const
{
    // The height follows the width given (heightForWidth); one column is the least width.
    const QMargins margins = contentsMargins();
    return {m_style.minimumColumnWidth + margins.left() + margins.right(), 0};
}

void FlowChips::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeChips();
}

void FlowChips::placeChips()
{
    const QRect area = contentsRect();
    const Grid grid = gridFor(area.width());
    const QList<int> heights = rowHeights(grid.columns);
    int top = area.top();
    for (qsizetype i = 0; i < m_words.size(); ++i) {
        const qsizetype row = i / grid.columns;
        const int column = int(i % grid.columns);
        if (column == 0 && row > 0)
            top += heights.at(row - 1) + m_style.rowSpacing;
        // Cells share the width to the fraction; rounding both edges keeps the gaps even.
        const qreal cellLeft = area.left() + column * (grid.cellWidth + m_style.columnSpacing);
        const int left = qRound(cellLeft);
        const int room = qRound(cellLeft + grid.cellWidth) - left;
        Chip* chip = m_chips.value(m_words.at(i));
        const int height = chip->sizeHint().height();
        chip->setGeometry(left, top + (heights.at(row) - height) / 2, chip->fit(room), height);
    }
}
