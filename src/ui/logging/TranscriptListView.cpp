#include "ui/logging/TranscriptListView.h"

#include "screens/TranscriptListModel.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/logging/TranscriptRowDelegate.h"
#include "ui/theme/ScrollGlide.h"
#include "ui/theme/Transition.h"

#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

using Role = TranscriptListModel::Role;

} // namespace

TranscriptListView::TranscriptListView(QWidget* parent, FrameClock* frames)
    : QListView(parent), m_frames(frames ? *frames : FrameClock::shared()), m_delegate(new TranscriptRowDelegate(this)),
      m_composerIn(new Transition(this, m_frames, motion::kSelect, true)),
      m_composerOut(new Transition(this, m_frames, motion::kSelect, false)),
      m_glide(new ScrollGlide(verticalScrollBar(), this, m_frames, motion::kDefault)),
      m_badgeMotion(m_frames.add([this](double seconds) { return tickBadges(seconds); }))
{
    m_glide->setApply([this](int value) { setGlidingValue(value); });
    connect(m_composerIn, &Transition::stepped, this, &TranscriptListView::showComposerStep);
    // The rows under the composer that left close in as it goes.
    connect(m_composerOut, &Transition::stepped, viewport(), qOverload<>(&QWidget::update));
    connect(m_composerOut, &Transition::finished, this, [this] {
        if (m_composerOut->isShown())
            return;
        m_composerGhost = QPixmap();
        viewport()->update();
    });
    setItemDelegate(m_delegate);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);
}

TranscriptListView::~TranscriptListView() = default;

void TranscriptListView::setModel(QAbstractItemModel* model)
{
    if (QAbstractItemModel* old = this->model())
        disconnect(old, nullptr, this, nullptr);
    QListView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::rowsRemoved, this,
                [this](const QModelIndex&, int first, int last) { rowsRemoved(first, last); });
    rebuildRows();
}

// --- rows and their heights ---

int TranscriptListView::rowWidth() const
{
    return std::max(1, viewport()->width() - 2 * m_style.inset);
}

int TranscriptListView::composerPart() const
{
    const int height = m_delegate->composerHeight();
    return height > 0 ? int(std::ceil(m_delegate->style().composerSpacing)) + height : 0;
}

int TranscriptListView::estimate(int row) const
{
    const QModelIndex index = model()->index(row, 0);
    return m_delegate->estimatedHeight(index, m_width) + (index == m_composerRow ? composerPart() : 0);
}

bool TranscriptListView::measure(int row)
{
    m_exact[size_t(row)] = true;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, m_width, 0);
    const int height = m_delegate->sizeHint(option, model()->index(row, 0)).height();
    if (height == m_heights[size_t(row)])
        return false;
    m_heights[size_t(row)] = height;
    invalidateTops(row + 1);
    return true;
}

void TranscriptListView::rebuildRows()
{
    const int rows = model() ? model()->rowCount() : 0;
    m_width = rowWidth();
    m_heights.assign(size_t(rows), 0);
    m_exact.assign(size_t(rows), false);
    m_tops.assign(size_t(rows), 0);
    m_validTops = 0;
    m_composerRow = QPersistentModelIndex();
    followSelection(0, rows - 1);
    for (int row = 0; row < rows; ++row)
        m_heights[size_t(row)] = estimate(row);
    scheduleDelayedItemsLayout();
}

void TranscriptListView::ensureTops(int row) const
{
    for (int r = m_validTops; r <= row; ++r)
        m_tops[size_t(r)] =
            r == 0 ? m_style.padding : m_tops[size_t(r) - 1] + m_heights[size_t(r) - 1] + m_style.spacing;
    m_validTops = std::max(m_validTops, row + 1);
}

int TranscriptListView::rowTop(int row) const
{
    ensureTops(row);
    return m_tops[size_t(row)];
}

int TranscriptListView::rowAt(int y) const
{
    const int rows = int(m_heights.size());
    if (rows == 0)
        return -1;
    ensureTops(rows - 1);
    const auto after = std::upper_bound(m_tops.begin(), m_tops.end(), y);
    return std::max(0, int(after - m_tops.begin()) - 1);
}

int TranscriptListView::contentHeight() const
{
    const int rows = int(m_heights.size());
    return rows == 0 ? 0 : rowTop(rows - 1) + m_heights[size_t(rows) - 1] + m_style.padding;
}

qsizetype TranscriptListView::measuredRowCount() const
{
    return std::count(m_exact.begin(), m_exact.end(), true);
}

void TranscriptListView::followSelection(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0);
        if (index.data(Role::SelectedRole).toBool())
            m_composerRow = index;
        else if (index == m_composerRow)
            m_composerRow = QPersistentModelIndex();
    }
}

void TranscriptListView::rowsInserted(const QModelIndex& parent, int first, int last)
{
    const auto at = size_t(first);
    const size_t count = size_t(last - first + 1);
    m_heights.insert(m_heights.begin() + qsizetype(at), count, 0);
    m_exact.insert(m_exact.begin() + qsizetype(at), count, false);
    m_tops.insert(m_tops.begin() + qsizetype(at), count, 0);
    invalidateTops(first);
    // A row coming back when the hold ends may be the one with the composer.
    followSelection(first, last);
    for (int row = first; row <= last; ++row)
        m_heights[size_t(row)] = estimate(row);
    QAbstractItemView::rowsInserted(parent, first, last);
    scheduleDelayedItemsLayout();
}

void TranscriptListView::rowsAboutToBeRemoved(const QModelIndex& parent, int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const QString id = model()->index(row, 0).data(Role::IdRole).toString();
        m_delegate->forgetRow(id);
        if (m_badgePops.remove(id))
            m_delegate->clearBadgeProgress(id);
    }
    QAbstractItemView::rowsAboutToBeRemoved(parent, first, last);
}

void TranscriptListView::rowsRemoved(int first, int last)
{
    const qsizetype from = first;
    const qsizetype to = qsizetype(last) + 1;
    m_heights.erase(m_heights.begin() + from, m_heights.begin() + to);
    m_exact.erase(m_exact.begin() + from, m_exact.begin() + to);
    m_tops.erase(m_tops.begin() + from, m_tops.begin() + to);
    invalidateTops(first);
    scheduleDelayedItemsLayout();
}

void TranscriptListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                     const QList<int>& roles)
{
    if (topLeft.isValid() && bottomRight.isValid()) {
        const int first = topLeft.row();
        const int last = bottomRight.row();
        const bool text = TranscriptRowDelegate::changesLayout(roles);
        const bool selection = roles.isEmpty() || roles.contains(Role::SelectedRole);
        const bool use = roles.isEmpty() || roles.contains(Role::UseRole);
        // Which rows drew the badge before the change: a row on screen that now gets it pops it in.
        QHash<QString, bool> badges;
        if (use && last - first < m_delegate->style().keptLayouts && viewport()->isVisible() &&
            !m_frames.reduceMotion()) {
            for (int row = first; row <= last; ++row) {
                const QString id = model()->index(row, 0).data(Role::IdRole).toString();
                if (const std::optional<bool> drawn = m_delegate->drawsBadge(id))
                    badges.insert(id, *drawn);
            }
        }
        if (text && last - first >= m_delegate->style().keptLayouts) {
            m_delegate->forgetAll();
        } else if (text) {
            for (int row = first; row <= last; ++row)
                m_delegate->forgetRow(model()->index(row, 0).data(Role::IdRole).toString());
        }
        if (!badges.isEmpty())
            followBadges(first, last, badges);
        if (selection)
            followSelection(first, last);
        if (text || selection) {
            // Rows out of view keep their height until they come into view.
            std::fill(m_exact.begin() + first, m_exact.begin() + last + 1, false);
            scheduleDelayedItemsLayout();
        }
    }
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void TranscriptListView::reset()
{
    m_delegate->forgetAll();
    settleBadges();
    QAbstractItemView::reset();
    rebuildRows();
}

// --- layout and scrolling ---

void TranscriptListView::layoutPass()
{
    if (m_layingOut || !model())
        return;
    const QScopedValueRollback<bool> guard(m_layingOut, true);
    if (rowWidth() != m_width) {
        // Heights at the old width stay as guesses until each row is shown again.
        m_width = rowWidth();
        std::fill(m_exact.begin(), m_exact.end(), false);
    }
    QScrollBar* bar = verticalScrollBar();
    const int rows = int(m_heights.size());
    for (int round = 0; round < m_style.layoutRounds && rows > 0; ++round) {
        const int scroll = bar->value();
        const int first = rowAt(scroll);
        const int last = rowAt(scroll + viewport()->height());
        // The first row in view that was measured before keeps its place on screen.
        int anchor = first;
        for (int row = first; row <= last; ++row)
            if (m_exact[size_t(row)]) {
                anchor = row;
                break;
            }
        const int anchorOffset = rowTop(anchor) - scroll;
        bool moved = false;
        for (int row = first; row <= last; ++row)
            moved = (!m_exact[size_t(row)] && measure(row)) || moved;
        if (!moved)
            break;
        updateScrollRange();
        // A glide moves the rows itself, toward a target it asks for again each frame.
        if (!m_glide->isGliding())
            bar->setValue(m_stickToEnd ? bar->maximum() : rowTop(anchor) - anchorOffset);
    }
    updateScrollRange();
    if (m_stickToEnd && !m_glide->isGliding())
        bar->setValue(bar->maximum());
    placeComposer();
    viewport()->update();
}

void TranscriptListView::doItemsLayout()
{
    layoutPass();
    QAbstractItemView::doItemsLayout();
}

void TranscriptListView::updateScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setSingleStep(m_style.scrollStep);
    bar->setPageStep(viewport()->height());
    bar->setRange(0, std::max(0, contentHeight() - viewport()->height()));
    horizontalScrollBar()->setRange(0, 0);
}

void TranscriptListView::updateGeometries()
{
    updateScrollRange();
    QAbstractItemView::updateGeometries();
}

void TranscriptListView::scrollToEnd()
{
    m_glide->stop();
    m_stickToEnd = true;
    // The newest rows are measured first, so the end is where it will stay.
    int covered = 0;
    for (int row = int(m_heights.size()) - 1; row >= 0 && covered < viewport()->height(); --row) {
        if (!m_exact[size_t(row)])
            measure(row);
        covered += m_heights[size_t(row)] + m_style.spacing;
    }
    {
        const QScopedValueRollback<bool> guard(m_layingOut, true);
        updateScrollRange();
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
    layoutPass();
}

void TranscriptListView::glideToEnd()
{
    if (!isVisible() || m_frames.reduceMotion())
        return scrollToEnd();
    m_stickToEnd = true;
    // The newest rows are measured first, so the glide heads where the end will stay.
    int covered = 0;
    for (int row = int(m_heights.size()) - 1; row >= 0 && covered < viewport()->height(); --row) {
        if (!m_exact[size_t(row)])
            measure(row);
        covered += m_heights[size_t(row)] + m_style.spacing;
    }
    {
        const QScopedValueRollback<bool> guard(m_layingOut, true);
        updateScrollRange();
    }
    m_glide->glideTo([this] { return verticalScrollBar()->maximum(); });
}

void TranscriptListView::glideTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.row() >= int(m_heights.size()))
        return;
    if (!isVisible() || m_frames.reduceMotion())
        return scrollToRow(index.row(), hint);
    m_stickToEnd = false;
    measureAround(index.row());
    {
        const QScopedValueRollback<bool> guard(m_layingOut, true);
        updateScrollRange();
    }
    const QPersistentModelIndex row(index);
    m_glide->glideTo(
        [this, row, hint] { return row.isValid() ? valueFor(row.row(), hint) : verticalScrollBar()->value(); });
}

void TranscriptListView::setGlidingValue(int value)
{
    const QScopedValueRollback<bool> guard(m_gliding, true);
    verticalScrollBar()->setValue(value);
}

bool TranscriptListView::isMoving() const
{
    return m_glide->isGliding() || m_badgeMotion.isRunning() || m_composerIn->isMoving() || m_composerOut->isMoving();
}

bool TranscriptListView::isAtEnd() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void TranscriptListView::measureAround(int row)
{
    const int height = viewport()->height();
    measure(row);
    for (int r = row - 1, covered = 0; r >= 0 && covered < height; --r) {
        if (!m_exact[size_t(r)])
            measure(r);
        covered += m_heights[size_t(r)] + m_style.spacing;
    }
    for (int r = row + 1, covered = 0; r < int(m_heights.size()) && covered < height; ++r) {
        if (!m_exact[size_t(r)])
            measure(r);
        covered += m_heights[size_t(r)] + m_style.spacing;
    }
}

int TranscriptListView::valueFor(int row, ScrollHint hint) const
{
    const int height = viewport()->height();
    const int top = rowTop(row);
    const int bottom = top + m_heights[size_t(row)];
    int value = verticalScrollBar()->value();
    switch (hint) {
    case PositionAtCenter:
        value = (top + bottom - height) / 2;
        break;
    case PositionAtTop:
        value = top - m_style.padding;
        break;
    case PositionAtBottom:
        value = bottom + m_style.padding - height;
        break;
    case EnsureVisible:
        if (top - m_style.padding < value)
            value = top - m_style.padding;
        else if (bottom + m_style.padding > value + height)
            value = bottom + m_style.padding - height;
        break;
    }
    return value;
}

void TranscriptListView::scrollToRow(int row, ScrollHint hint)
{
    if (row < 0 || row >= int(m_heights.size()))
        return;
    m_glide->stop();
    m_stickToEnd = false;
    // The row and a screen around it are measured first, so it lands where it is asked to.
    measureAround(row);
    const int value = valueFor(row, hint);
    QScrollBar* bar = verticalScrollBar();
    {
        const QScopedValueRollback<bool> guard(m_layingOut, true);
        updateScrollRange();
        bar->setValue(std::clamp(value, 0, bar->maximum()));
    }
    layoutPass();
}

void TranscriptListView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (index.isValid())
        scrollToRow(index.row(), hint);
}

void TranscriptListView::scrollContentsBy(int, int)
{
    if (!m_layingOut) {
        // The logger scrolled: back at the end, the list follows the newest rows again.
        if (!m_gliding)
            m_stickToEnd = isAtEnd();
        layoutPass();
    }
    placeComposer();
    viewport()->update();
    hoverAtCursor();
}

void TranscriptListView::resizeEvent(QResizeEvent* event)
{
    QAbstractItemView::resizeEvent(event);
    updateComposerHeight();
    layoutPass();
}

QRect TranscriptListView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.row() >= int(m_heights.size()))
        return {};
    const int top = rowTop(index.row()) - verticalScrollBar()->value();
    return {m_style.inset, top, m_width, m_heights[size_t(index.row())]};
}

QModelIndex TranscriptListView::indexAt(const QPoint& point) const
{
    const int y = point.y() + verticalScrollBar()->value();
    const int row = rowAt(y);
    if (row < 0 || !model())
        return {};
    const int top = rowTop(row);
    if (y < top || y >= top + m_heights[size_t(row)] || point.x() < m_style.inset ||
        point.x() >= m_style.inset + m_width)
        return {};
    return model()->index(row, 0);
}

QModelIndex TranscriptListView::lineAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid() || !m_delegate->lineRect(index, visualRect(index)).contains(point))
        return {};
    return index;
}

int TranscriptListView::verticalOffset() const
{
    return verticalScrollBar()->value();
}

void TranscriptListView::paintEvent(QPaintEvent* event)
{
    if (!model())
        return;
    // Rows that changed since the last pass are measured before anything is drawn.
    executeDelayedItemsLayout();
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QRect area = event->rect();
    const int scroll = verticalScrollBar()->value();
    // While the composer that left fades, the rows that were under it keep part of its room.
    const bool ghost = !m_composerGhost.isNull();
    const double left = ghost ? std::clamp(m_composerOut->progress(), 0.0, 1.0) : 0.0;
    const int gapTop = ghost ? m_ghostRect.top() - scroll : 0;
    const int gap = int(std::lround(m_ghostGap * left));
    const int first = rowAt(scroll + area.top() - gap);
    const int last = rowAt(scroll + area.bottom());
    for (int row = std::max(first, 0); row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0);
        option.rect = visualRect(index);
        if (ghost && option.rect.top() >= gapTop)
            option.rect.translate(0, gap);
        if (option.rect.intersects(area))
            m_delegate->paint(&painter, option, index);
    }
    if (ghost) {
        // The composer that left goes back up under its line as it fades.
        const int lift = int(std::lround((1 - left) * m_ghostRect.height()));
        painter.setClipRect(QRect(0, 0, viewport()->width(), gapTop + gap));
        painter.setOpacity(left);
        painter.drawPixmap(m_ghostRect.topLeft() - QPoint(0, scroll + lift), m_composerGhost);
    }
}

// --- the composer ---

void TranscriptListView::setComposer(QWidget* composer)
{
    if (m_composer == composer)
        return;
    if (m_composer)
        m_composer->removeEventFilter(this);
    m_composer = composer;
    if (composer) {
        composer->setParent(viewport());
        composer->installEventFilter(this);
    }
    updateComposerHeight();
    placeComposer();
}

void TranscriptListView::updateComposerHeight()
{
    int height = 0;
    if (m_composer) {
        height =
            m_composer->hasHeightForWidth() ? m_composer->heightForWidth(rowWidth()) : m_composer->sizeHint().height();
        // A widget with a fixed height but no layout has no size hint of its own.
        height = std::clamp(height, m_composer->minimumHeight(), m_composer->maximumHeight());
    }
    if (height == m_delegate->composerHeight())
        return;
    m_delegate->setComposerHeight(height);
    if (m_composerRow.isValid()) {
        m_exact[size_t(m_composerRow.row())] = false;
        scheduleDelayedItemsLayout();
    }
}

void TranscriptListView::placeComposer()
{
    if (!m_composer)
        return;
    if (m_composerRow != m_placedRow) {
        // Another line, or none: the composer that was open leaves, and a new one enters.
        if (m_placedRow.isValid() && m_composer->isVisible())
            leaveComposer();
        m_placedRow = m_composerRow;
        if (m_composerRow.isValid())
            m_composerIn->restart(true);
    }
    if (!m_composerRow.isValid()) {
        m_composer->hide();
        return;
    }
    QRect rect = m_delegate->composerRect(m_composerRow, visualRect(m_composerRow));
    // It comes down from the top edge of its place.
    rect.translate(0, -int(std::lround((1 - m_composerIn->progress()) * rect.height())));
    m_composer->setGeometry(rect);
    // Its opacity while it comes in; a composer at rest draws itself with no effect in between.
    if (m_composerIn->isMoving()) {
        auto* effect = qobject_cast<QGraphicsOpacityEffect*>(m_composer->graphicsEffect());
        if (!effect) {
            effect = new QGraphicsOpacityEffect;
            m_composer->setGraphicsEffect(effect);
        }
        effect->setOpacity(m_composerIn->opacity());
    } else if (m_composer->graphicsEffect()) {
        m_composer->setGraphicsEffect(nullptr);
    }
    m_composer->show();
}

void TranscriptListView::showComposerStep()
{
    if (m_composer && m_composerRow.isValid())
        placeComposer();
}

double TranscriptListView::composerProgress() const
{
    return m_composerRow.isValid() ? m_composerIn->progress() : 0.0;
}

void TranscriptListView::leaveComposer()
{
    if (!isVisible() || m_frames.reduceMotion())
        return;
    m_composer->setGraphicsEffect(nullptr);
    m_composerGhost = m_composer->grab();
    m_ghostRect = m_composer->geometry().translated(0, verticalScrollBar()->value());
    m_ghostGap = composerPart();
    m_composerOut->restart(false);
}

// --- the "SELECTED" badge ---

void TranscriptListView::followBadges(int first, int last, const QHash<QString, bool>& before)
{
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = model()->index(row, 0);
        const QString id = index.data(Role::IdRole).toString();
        const auto drawn = before.constFind(id);
        if (drawn == before.cend() || *drawn || index.data(Role::UseRole).toInt() == int(LineUse::State::Unused))
            continue;
        BadgePop pop{index, Spring(motion::kPop, 0)};
        pop.spring.setTarget(1);
        m_badgePops.insert(id, pop);
        m_delegate->setBadgeProgress(id, 0);
    }
    if (!m_badgePops.isEmpty())
        m_badgeMotion.start();
}

bool TranscriptListView::tickBadges(double seconds)
{
    if (!isVisible() || m_frames.reduceMotion()) {
        settleBadges();
        return false;
    }
    for (auto it = m_badgePops.begin(); it != m_badgePops.end();) {
        Spring& spring = it->spring;
        spring.step(seconds);
        const bool settled = spring.isSettled() || !it->row.isValid();
        if (settled)
            m_delegate->clearBadgeProgress(it.key());
        else
            m_delegate->setBadgeProgress(it.key(), spring.value());
        if (it->row.isValid())
            viewport()->update(visualRect(it->row));
        it = settled ? m_badgePops.erase(it) : std::next(it);
    }
    return !m_badgePops.isEmpty();
}

void TranscriptListView::settleBadges()
{
    m_badgeMotion.stop();
    for (auto it = m_badgePops.cbegin(); it != m_badgePops.cend(); ++it)
        m_delegate->clearBadgeProgress(it.key());
    if (!m_badgePops.isEmpty())
        viewport()->update();
    m_badgePops.clear();
}

void TranscriptListView::hideEvent(QHideEvent* event)
{
    QListView::hideEvent(event);
    settleBadges();
    m_composerIn->finish();
    m_composerOut->finish();
}

bool TranscriptListView::eventFilter(QObject* watched, QEvent* event)
{
    // The composer asks for another height (a wrapped hint, a second row of chips).
    if (watched == m_composer && event->type() == QEvent::LayoutRequest)
        updateComposerHeight();
    return QListView::eventFilter(watched, event);
}

// --- pointer, menu and drops ---

void TranscriptListView::setHovered(const QModelIndex& row)
{
    const QString id = row.isValid() ? row.data(Role::IdRole).toString() : QString();
    m_hovered = row;
    if (id == m_hoveredId)
        return;
    const QString previous = std::exchange(m_hoveredId, id);
    if (!previous.isEmpty())
        Q_EMIT hoverLeft(previous);
    if (!id.isEmpty())
        Q_EMIT hoverEntered(id);
}

void TranscriptListView::hoverAtCursor()
{
    if (viewport()->underMouse())
        setHovered(lineAt(viewport()->mapFromGlobal(QCursor::pos())));
}

bool TranscriptListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        setHovered({});
    return QListView::viewportEvent(event);
}

void TranscriptListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex row = lineAt(event->position().toPoint());
    // A click with no move before it still hovers the line it lands on.
    setHovered(row);
    m_pressed = row;
}

void TranscriptListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void TranscriptListView::mouseMoveEvent(QMouseEvent* event)
{
    setHovered(lineAt(event->position().toPoint()));
}

void TranscriptListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex row = lineAt(event->position().toPoint());
    // A press that left its line before the release is no click, as with a button.
    if (row.isValid() && row == m_pressed)
        Q_EMIT lineClicked(row);
    m_pressed = QPersistentModelIndex();
}

void TranscriptListView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex row = lineAt(event->pos());
    if (row.isValid())
        Q_EMIT menuRequested(row, event->globalPos());
    event->accept();
}

QStringList TranscriptListView::droppedTexts(const QMimeData* data)
{
    QStringList texts;
    if (!data)
        return texts;
    const QString ownType = QString::fromLatin1(ButtonDrag::kMimeType);
    if (data->hasFormat(ownType))
        texts.append(QString::fromUtf8(data->data(ownType)));
    if (data->hasText())
        texts.append(data->text());
    return texts;
}

bool TranscriptListView::carriesButton(const QStringList& texts)
{
    const QLatin1StringView prefix(ButtonDrag::kPrefix);
    return std::any_of(texts.begin(), texts.end(), [&](const QString& text) { return text.startsWith(prefix); });
}

void TranscriptListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (carriesButton(droppedTexts(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TranscriptListView::dragMoveEvent(QDragMoveEvent* event)
{
    const QModelIndex row = lineAt(event->position().toPoint());
    setHovered(row);
    if (row.isValid() && carriesButton(droppedTexts(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TranscriptListView::dragLeaveEvent(QDragLeaveEvent* event)
{
    setHovered({});
    event->accept();
}

void TranscriptListView::dropEvent(QDropEvent* event)
{
    const QModelIndex row = lineAt(event->position().toPoint());
    const QStringList texts = droppedTexts(event->mimeData());
    setHovered({});
    if (!row.isValid() || !carriesButton(texts)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT dropped(row, texts);
}
