#include "ui/logging/ButtonBar.h"

#include "ui/logging/MarkerChipButton.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/FrameClock.h"

#include <algorithm>

namespace {

// The width the bar asks for on its own: four minimum cells.
constexpr int kPreferredColumns = 4;

QKeySequence shortcutFor(int position)
{
    if (position >= ButtonBar::kShortcutChips)
        return {};
    return QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + position));
}

} // namespace

ButtonBar::ButtonBar(QWidget* parent, FrameClock* frames)
    : QWidget(parent), m_frames(frames ? *frames : FrameClock::shared())
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    // The chips read the appearance when they paint; a switch only needs them painted again.
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, [this] {
        for (MarkerChipButton* button : m_buttons)
            button->update();
    });
}

ButtonBar::~ButtonBar() = default;

void ButtonBar::setChips(const QList<LogButtonChip>& chips)
{
    const int wanted = static_cast<int>(chips.size());
    const bool countChanged = wanted != count();
    while (count() > wanted) {
        // Later, not now: the list may change from inside a press of the very chip that goes.
        MarkerChipButton* gone = m_buttons.back();
        m_buttons.pop_back();
        gone->disconnect(this);
        gone->hide();
        gone->deleteLater();
    }
    while (count() < wanted) {
        auto* button = new MarkerChipButton(m_frames, shortcutFor(count()), this);
        connect(button, &MarkerChipButton::tapped, this, [this, button] { Q_EMIT pressed(button->chip().button); });
        m_buttons.push_back(button);
        button->show();
    }
    for (int i = 0; i < wanted; ++i)
        m_buttons[static_cast<std::size_t>(i)]->setChip(chips.at(i));
    if (countChanged) {
        placeChips();
        updateGeometry();
    }
}

MarkerChipButton* ButtonBar::chipButton(int position) const
{
    if (position < 0 || position >= count())
        return nullptr;
    return m_buttons[static_cast<std::size_t>(position)];
}

int ButtonBar::columns(int width, const Style& style)
{
    const int available = width - 2 * style.padding;
    const int step = style.minimumCellWidth + style.columnSpacing;
    if (step <= 0)
        return 1;
    // Columns and the spacing between them: n cells need n * minimum + (n - 1) * spacing.
    return std::max(1, (available + style.columnSpacing) / step);
}

QList<QRect> ButtonBar::cells(int width, int count, const Style& style)
{
    QList<QRect> result;
    if (count <= 0)
        return result;
    result.reserve(count);
    const int columnCount = columns(width, style);
    const qreal available = std::max(width - 2 * style.padding, 0);
    const qreal cellWidth = std::max<qreal>((available - (columnCount - 1) * style.columnSpacing) / columnCount, 0);
    // Edges are rounded from the exact positions so the cells share the width evenly and the
    // last one ends on the padding.
    for (int i = 0; i < count; ++i) {
        const int column = i % columnCount;
        const int row = i / columnCount;
        const qreal start = column * (cellWidth + style.columnSpacing);
        const int left = style.padding + qRound(start);
        const int right = style.padding + qRound(start + cellWidth);
        const int top = style.padding + row * (style.chipHeight + style.rowSpacing);
        result.append(QRect(left, top, right - left, style.chipHeight));
    }
    return result;
}

int ButtonBar::gridHeight(int width, int count, const Style& style)
{
    const int columnCount = columns(width, style);
    const int rows = count > 0 ? (count + columnCount - 1) / columnCount : 0;
    return 2 * style.padding + rows * style.chipHeight + std::max(rows - 1, 0) * style.rowSpacing;
}

int ButtonBar::heightForWidth(int width) const
{
    return gridHeight(width, count());
}

QSize ButtonBar::sizeHint() const
{
    const Style style;
    const int width =
        2 * style.padding + kPreferredColumns * style.minimumCellWidth + (kPreferredColumns - 1) * style.columnSpacing;
    return {width, heightForWidth(width)};
}

QSize ButtonBar::minimumSizeHint() const
{
    // The height a layout gives follows heightForWidth; the minimum is the one row of a wide bar,
    // so a narrow minimum width does not make the window tall.
    const Style style;
    const int rowHeight = count() > 0 ? style.chipHeight : 0;
    return {2 * style.padding + style.minimumCellWidth, 2 * style.padding + rowHeight};
}

void ButtonBar::resizeEvent(QResizeEvent*)
{
    placeChips();
}

void ButtonBar::placeChips()
{
    const QList<QRect> grid = cells(width(), count());
    for (int i = 0; i < count(); ++i)
        m_buttons[static_cast<std::size_t>(i)]->setCell(grid.at(i));
}
