#include "ui/logging/LogPaneView.h"

#include "screens/LogEntryListModel.h"
#include "ui/logging/LogHeader.h"
#include "ui/logging/LogPaneAccessible.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/PainterState.h"
#include "ui/theme/PaneParts.h"
#include "ui/theme/ScrollGlide.h"
#include "ui/theme/Theme.h"
#include "ui/theme/Transition.h"
#include "ui/theme/WidgetPalette.h"

#include <QFocusEvent>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

using Role = LogEntryListModel::Role;
using Control = EntryRow::Control;

// The list, with the rows taken out drawn over it while they fade.
class EntryList final : public QListView {
public:
    std::function<void()> beforePaint;
    std::function<void(QWidget*)> paintOver;

    // Lays out what changed now, so the scroll range is the rows' own.
    void layOutNow() { executeDelayedItemsLayout(); }

    [[nodiscard]] QStyleOptionViewItem rowOption() const
    {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        return option;
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (beforePaint)
            beforePaint();
        QListView::paintEvent(event);
        if (paintOver)
            paintOver(viewport());
    }
};

} // namespace

LogPaneView::LogPaneView(QAbstractItemModel* model, QWidget* parent, FrameClock* frames)
    : QWidget(parent), m_frames(frames ? *frames : FrameClock::shared()), m_header(new LogHeader),
      m_stack(new QStackedWidget), m_emptyHelp(new QLabel), m_list(new EntryList), m_delegate(new EntryRow(this)),
      m_rows(new QIdentityProxyModel(this)),
      m_glide(new ScrollGlide(m_list->verticalScrollBar(), this, m_frames, motion::kDefault))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(m_stack, 1);

    auto* emptyPage = new QWidget;
    auto* emptyLayout = new QVBoxLayout(emptyPage);
    const int side = int(m_style.emptySidePadding);
    emptyLayout->setContentsMargins(side, int(m_style.emptyTopPadding), side, 0);
    m_emptyHelp->setText(QString::fromUtf8(LogEntryListModel::kEmptyHelp));
    m_emptyHelp->setTextFormat(Qt::PlainText);
    m_emptyHelp->setWordWrap(true);
    m_emptyHelp->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_emptyHelp->setFont(TextStyle::body.font());
    emptyLayout->addWidget(m_emptyHelp);
    emptyLayout->addStretch(1);
    m_stack->addWidget(emptyPage);

    auto* rowsPage = new QWidget;
    auto* rowsLayout = new QVBoxLayout(rowsPage);
    rowsLayout->setContentsMargins(0, 0, 0, 0);
    rowsLayout->setSpacing(0);
    rowsLayout->addWidget(new LineDivider);
    rowsLayout->addWidget(m_list, 1);
    m_stack->addWidget(rowsPage);

    m_list->setAccessibleName(QStringLiteral("Log"));
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setItemDelegate(m_delegate);
    // Ahead of the list's own: a row about to go is still where the list drew it.
    connect(m_rows, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) { rowsAboutToBeRemoved(first, last); });
    m_list->setModel(m_rows);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Rows are as wide as the pane, and their heights follow its width.
    m_list->setResizeMode(QListView::Adjust);
    m_list->setUniformItemSizes(false);
    m_list->viewport()->setAutoFillBackground(false);
    m_list->viewport()->setMouseTracking(true);
    m_list->viewport()->installEventFilter(this);

    connect(m_rows, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { rowsInserted(first, last); });
    connect(m_rows, &QAbstractItemModel::rowsRemoved, this, &LogPaneView::countChanged);
    connect(m_rows, &QAbstractItemModel::dataChanged, this, &LogPaneView::dataChanged);
    connect(m_rows, &QAbstractItemModel::modelReset, this, &LogPaneView::modelReset);
    // Rows moved about keep their ids, and so their laid-out text; their widths are what may change.
    connect(m_rows, &QAbstractItemModel::layoutChanged, this, [this] { m_list->doItemsLayout(); });
    connect(m_delegate, &EntryRow::noteEnded, this, &LogPaneView::noteEnded);
    connect(m_list->verticalScrollBar(), &QScrollBar::valueChanged, this, &LogPaneView::hoverAtCursor);

    const auto restyle = [this] {
        setPaletteColour(m_emptyHelp, QPalette::WindowText, Theme::muted.current());
        m_list->viewport()->update();
    };
    restyle();
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, restyle);

    auto* list = static_cast<EntryList*>(m_list);
    list->beforePaint = [this] { placeGaps(); };
    list->paintOver = [this](QWidget* viewport) { paintLeaving(viewport); };
    m_rowMotion = m_frames.add([this](double elapsed) { return tickRows(elapsed); });
    updateEmptyState();
    setModel(model);
    LogPaneAccessible::attach(this);
}

LogPaneView::~LogPaneView() = default;

void LogPaneView::setModel(QAbstractItemModel* model)
{
    m_source = model;
    m_rows->setSourceModel(model);
}

bool LogPaneView::showsEmptyHelp() const
{
    return m_stack->currentIndex() == 0;
}

QUuid LogPaneView::idAt(const QModelIndex& index) const
{
    return index.data(Role::IdRole).toUuid();
}

QModelIndex LogPaneView::rowOf(const QUuid& id) const
{
    for (int row = m_rows->rowCount() - 1; row >= 0; --row) {
        const QModelIndex index = m_rows->index(row, 0);
        if (idAt(index) == id)
            return index;
    }
    return {};
}

bool LogPaneView::mayAnimate() const
{
    return isVisible() && !m_frames.reduceMotion();
}

bool LogPaneView::isMoving() const
{
    return m_rowMotion.isRunning() || m_glide->isGliding();
}

void LogPaneView::startRowMotion()
{
    if (!m_pops.isEmpty() || !m_fades.isEmpty() || !m_leaving.empty())
        m_rowMotion.start();
}

void LogPaneView::rowsInserted(int first, int last)
{
    if (last - first < m_style.maximumPoppingRows && mayAnimate()) {
        const EntryRowStyle& style = m_delegate->style();
        for (int row = first; row <= last; ++row) {
            const QModelIndex index = m_rows->index(row, 0);
            const QUuid id = idAt(index);
            Pop pop{index, style.popDelaySeconds, Spring(style.popSpring, 0), Spring(style.enterSpring, 0)};
            pop.enter.setTarget(1);
            m_pops.insert(id, pop);
            m_delegate->setBadgeReveal(id, 0);
            m_delegate->setEnterProgress(id, 0);
        }
        startRowMotion();
    }
    followEditing(first, last);
    countChanged();
}

void LogPaneView::rowsAboutToBeRemoved(int first, int last)
{
    // Taking every row out shows the help text instead: nothing is left to fade over.
    const bool fade =
        mayAnimate() && last - first < m_style.maximumPoppingRows && !(first == 0 && last == m_rows->rowCount() - 1);
    const QRect area = m_list->viewport()->rect();
    const int scroll = m_list->verticalScrollBar()->value();
    const qreal ratio = m_list->viewport()->devicePixelRatioF();
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = m_rows->index(row, 0);
        const QRect rect = m_list->visualRect(index);
        if (fade && rect.intersects(area)) {
            QPixmap picture(rect.size() * ratio);
            picture.setDevicePixelRatio(ratio);
            picture.fill(Qt::transparent);
            {
                QPainter painter(&picture);
                QStyleOptionViewItem option = static_cast<EntryList*>(m_list)->rowOption();
                option.rect = QRect(QPoint(0, 0), rect.size());
                m_delegate->paint(&painter, option, index);
            }
            Spring spring(m_delegate->style().leaveSpring, 1);
            spring.setTarget(0);
            m_leaving.push_back({std::move(picture), rect.translated(0, scroll), spring});
        }
        const QUuid id = idAt(index);
        m_pops.remove(id);
        m_fades.remove(id);
    }
    m_delegate->forgetRows(m_rows, first, last);
    startRowMotion();
}

void LogPaneView::countChanged()
{
    updateEmptyState();
    if (m_scrollPending)
        return;
    m_scrollPending = true;
    // After the list has laid out the new rows.
    QTimer::singleShot(0, this, [this] {
        m_scrollPending = false;
        if (m_rows->rowCount() > 0) {
            static_cast<EntryList*>(m_list)->layOutNow();
            QScrollBar* bar = m_list->verticalScrollBar();
            m_glide->glideTo([bar] { return bar->maximum(); });
        }
        hoverAtCursor();
    });
}

void LogPaneView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (!topLeft.isValid() || !bottomRight.isValid())
        return;
    m_delegate->rowsChanged(m_rows, topLeft.row(), bottomRight.row(), roles);
    if (roles.isEmpty() || roles.contains(Role::EditingNoteRole))
        followEditing(topLeft.row(), bottomRight.row());
    if (roles.isEmpty() || roles.contains(Role::FlashingRole) || roles.contains(Role::FlashLevelRole))
        followFlash(topLeft.row(), bottomRight.row());
}

void LogPaneView::followFlash(int first, int last)
{
    if (!mayAnimate())
        return;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = m_rows->index(row, 0);
        // The flash holds still while the row is flashing; it moves once it fades.
        if (index.data(Role::FlashingRole).toBool() || index.data(Role::FlashLevelRole).toReal() <= 0)
            continue;
        m_fades.insert(idAt(index), index);
    }
    startRowMotion();
}

void LogPaneView::modelReset()
{
    m_delegate->forgetAll();
    m_pops.clear();
    m_fades.clear();
    m_leaving.clear();
    m_delegate->setGaps({});
    m_rowMotion.stop();
    // The list drops its editors on a reset.
    m_editorRow = QPersistentModelIndex();
    m_delegate->setEditorRow({});
    m_delegate->setHoveredRow({});
    m_editingRow = QPersistentModelIndex();
    followEditing(0, m_rows->rowCount() - 1);
    updateEmptyState();
}

void LogPaneView::followEditing(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = m_rows->index(row, 0);
        if (index.data(Role::EditingNoteRole).toBool())
            m_editingRow = index;
        else if (m_editingRow == index)
            m_editingRow = QPersistentModelIndex();
    }
    syncEditor();
}

void LogPaneView::syncEditor()
{
    // One field is open: the one with the keyboard, else the one of the row editing its note.
    QModelIndex target;
    if (m_focusedNote)
        target = m_editorRow.isValid() && idAt(m_editorRow) == *m_focusedNote ? QModelIndex(m_editorRow)
                                                                              : rowOf(*m_focusedNote);
    if (!target.isValid())
        target = m_editingRow;
    if (target != m_editorRow) {
        if (m_editorRow.isValid())
            m_list->closePersistentEditor(m_editorRow);
        m_editorRow = target;
        m_delegate->setEditorRow(target);
        if (target.isValid()) {
            m_list->openPersistentEditor(target);
            if (QWidget* field = m_list->indexWidget(target))
                field->installEventFilter(this);
        }
    }
    if (!target.isValid() || !m_focusedNote || idAt(target) != *m_focusedNote)
        return;
    auto* field = qobject_cast<QPlainTextEdit*>(m_list->indexWidget(target));
    if (!field || field->hasFocus())
        return;
    m_list->scrollTo(target);
    field->setFocus(Qt::OtherFocusReason);
    field->moveCursor(QTextCursor::End);
}

void LogPaneView::setFocusedNote(std::optional<QUuid> id)
{
    m_focusedNote = id;
    if (!id && m_editorRow.isValid()) {
        QWidget* field = m_list->indexWidget(m_editorRow);
        if (field && field->hasFocus())
            m_list->setFocus(Qt::OtherFocusReason);
    }
    syncEditor();
}

void LogPaneView::noteEnded()
{
    const bool hadFocus = m_focusedNote.has_value();
    setFocusedNote(std::nullopt);
    if (hadFocus)
        Q_EMIT focusedNoteChanged(std::nullopt);
    Q_EMIT endNoteRequested();
}

void LogPaneView::setHovered(const QModelIndex& index)
{
    const QModelIndex old = m_delegate->hoveredRow();
    if (old == index)
        return;
    m_delegate->setHoveredRow(index);
    if (old.isValid())
        m_list->viewport()->update(m_list->visualRect(old));
    if (index.isValid())
        m_list->viewport()->update(m_list->visualRect(index));
}

void LogPaneView::hoverAtCursor()
{
    QWidget* viewport = m_list->viewport();
    setHovered(viewport->underMouse() ? m_list->indexAt(viewport->mapFromGlobal(QCursor::pos())) : QModelIndex());
}

void LogPaneView::act(const QModelIndex& index, Control control)
{
    const QUuid id = idAt(index);
    switch (control) {
    case Control::Row:
        Q_EMIT selectRequested(id);
        break;
    case Control::AddNote:
    case Control::Note:
        Q_EMIT startNoteRequested(id);
        break;
    case Control::Keep:
        Q_EMIT keepRequested(id);
        break;
    case Control::Delete:
        Q_EMIT deleteRequested(id);
        break;
    case Control::None:
        break;
    }
}

void LogPaneView::activate(const QUuid& id, Control control)
{
    const QModelIndex index = rowOf(id);
    if (index.isValid())
        act(index, control);
}

void LogPaneView::fieldFocusChanged(QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        const QUuid id = idAt(m_editorRow);
        if (m_focusedNote != id) {
            m_focusedNote = id;
            Q_EMIT focusedNoteChanged(id);
        }
        return;
    }
    // A menu or another window takes the keyboard only for a while.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason || !m_focusedNote)
        return;
    m_focusedNote.reset();
    Q_EMIT focusedNoteChanged(std::nullopt);
    // A field opened only to take the keyboard goes with it.
    syncEditor();
}

bool LogPaneView::eventFilter(QObject* watched, QEvent* event)
{
    if ((event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) && m_editorRow.isValid() &&
        watched == m_list->indexWidget(m_editorRow)) {
        fieldFocusChanged(event);
        return false;
    }
    if (watched != m_list->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseMove: {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        const QModelIndex index = m_list->indexAt(at);
        setHovered(index);
        const Control control = m_delegate->controlAt(index, m_list->visualRect(index), at);
        const bool pressable = control != Control::Row && control != Control::None;
        m_list->viewport()->setCursor(pressable ? Qt::PointingHandCursor : Qt::ArrowCursor);
        return false;
    }
    case QEvent::Leave:
        setHovered({});
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        const QPoint at = mouse->position().toPoint();
        const QModelIndex index = m_list->indexAt(at);
        if (event->type() != QEvent::MouseButtonRelease) {
            // A click with no move before it still hovers the row it lands on, and takes the
            // keyboard from a note field, as a click beside a text field does.
            setHovered(index);
            m_list->setFocus(Qt::MouseFocusReason);
            m_pressedRow = index;
            m_pressedControl = m_delegate->controlAt(index, m_list->visualRect(index), at);
            return true;
        }
        const Control control = m_delegate->controlAt(index, m_list->visualRect(index), at);
        // A press that moved off its control before the release does nothing, as a button.
        if (index.isValid() && index == m_pressedRow && control == m_pressedControl)
            act(index, control);
        m_pressedRow = QPersistentModelIndex();
        m_pressedControl = Control::None;
        return true;
    }
    case QEvent::Resize: {
        const int width = m_list->viewport()->width();
        if (!showsEmptyHelp())
            m_header->setColumnsWidth(width);
        // The list lays its rows out again when it grows taller, not wider; our rows' heights
        // follow the width.
        if (width != m_laidOutWidth && !m_layingOut) {
            m_laidOutWidth = width;
            m_layingOut = true;
            m_list->doItemsLayout();
            m_layingOut = false;
        }
        return false;
    }
    default:
        return false;
    }
}

bool LogPaneView::tickRows(double elapsed)
{
    if (!mayAnimate()) {
        settleRows();
        return false;
    }
    tickPops(elapsed);
    tickFades();
    tickLeaving(elapsed);
    return !m_pops.isEmpty() || !m_fades.isEmpty() || !m_leaving.empty();
}

void LogPaneView::tickPops(double elapsed)
{
    for (auto it = m_pops.begin(); it != m_pops.end();) {
        Pop& pop = it.value();
        pop.enter.step(elapsed);
        const bool entered = pop.enter.isSettled();
        if (entered)
            m_delegate->clearEnterProgress(it.key());
        else
            m_delegate->setEnterProgress(it.key(), pop.enter.value());

        double step = elapsed;
        if (pop.delay > 0) {
            pop.delay -= step;
            step = pop.delay > 0 ? 0 : -pop.delay;
            if (pop.delay <= 0) {
                pop.delay = 0;
                pop.spring.setTarget(1);
            }
        }
        pop.spring.step(step);
        const bool popped = pop.delay <= 0 && pop.spring.isSettled();
        if (popped)
            m_delegate->clearBadgeReveal(it.key());
        else
            m_delegate->setBadgeReveal(it.key(), pop.spring.value());

        if (pop.row.isValid())
            m_list->viewport()->update(m_list->visualRect(pop.row));
        it = entered && popped ? m_pops.erase(it) : std::next(it);
    }
}

void LogPaneView::tickFades()
{
    for (auto it = m_fades.begin(); it != m_fades.end();) {
        const QPersistentModelIndex& row = it.value();
        if (row.isValid())
            m_list->viewport()->update(m_list->visualRect(row));
        const bool done = !row.isValid() || row.data(Role::FlashLevelRole).toReal() <= 0;
        it = done ? m_fades.erase(it) : std::next(it);
    }
}

void LogPaneView::tickLeaving(double elapsed)
{
    if (m_leaving.empty())
        return;
    for (Leaving& leaving : m_leaving)
        leaving.fade.step(elapsed);
    std::erase_if(m_leaving,
                  [](const Leaving& leaving) { return leaving.fade.value() <= 0 || leaving.fade.isSettled(); });
    // The rows under a gap move as it closes.
    m_list->viewport()->update();
}

void LogPaneView::placeGaps()
{
    QList<EntryRow::Gap> gaps;
    const int scroll = m_list->verticalScrollBar()->value();
    for (const Leaving& leaving : m_leaving)
        gaps.append({qreal(leaving.contentRect.top() - scroll),
                     leaving.contentRect.height() * std::max(0.0, leaving.fade.value())});
    m_delegate->setGaps(std::move(gaps));
}

void LogPaneView::paintLeaving(QWidget* viewport) const
{
    if (m_leaving.empty())
        return;
    QPainter painter(viewport);
    const int scroll = m_list->verticalScrollBar()->value();
    for (const Leaving& leaving : m_leaving) {
        const double left = std::clamp(leaving.fade.value(), 0.0, 1.0);
        const QRect at = leaving.contentRect.translated(0, -scroll);
        // The row fades within the room it still has: the rows under it close in.
        const PainterState state(painter);
        painter.setClipRect(QRectF(at.left(), at.top(), at.width(), at.height() * left));
        painter.setOpacity(left);
        painter.drawPixmap(at.topLeft(), leaving.picture);
    }
}

void LogPaneView::settleRows()
{
    m_rowMotion.stop();
    m_glide->finish();
    const bool drawn = !m_pops.isEmpty() || !m_fades.isEmpty() || !m_leaving.empty();
    for (auto it = m_pops.cbegin(); it != m_pops.cend(); ++it) {
        m_delegate->clearBadgeReveal(it.key());
        m_delegate->clearEnterProgress(it.key());
    }
    m_pops.clear();
    m_fades.clear();
    m_leaving.clear();
    m_delegate->setGaps({});
    if (drawn)
        m_list->viewport()->update();
}

void LogPaneView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A flash that went on fading while the pane was away goes on where it is now.
    const QRect area = m_list->viewport()->rect();
    const QModelIndex top = m_list->indexAt(area.topLeft());
    if (!top.isValid())
        return;
    const QModelIndex bottom = m_list->indexAt(area.bottomLeft());
    followFlash(top.row(), bottom.isValid() ? bottom.row() : m_rows->rowCount() - 1);
}

void LogPaneView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    settleRows();
}

void LogPaneView::updateEmptyState()
{
    const bool empty = m_rows->rowCount() == 0;
    m_stack->setCurrentIndex(empty ? 0 : 1);
    m_header->setColumnsWidth(empty ? 0 : m_list->viewport()->width());
}
