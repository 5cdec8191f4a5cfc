#include "ui/agent/AgentChatView.h"

#include "agent/ChannelAgent.h"
#include "screens/AgentPanelModel.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextDocument>
#include <QToolTip>

namespace {

const QString kLiveKey = QStringLiteral("live");

} // namespace

AgentChatView::AgentChatView(AgentPanelModel& model, FrameClock& frames, QWidget* parent)
    : QListView(parent), m_model(model), m_ease(QEasingCurve::BezierSpline),
      m_motion(frames.add([this](double seconds) { return tick(seconds); }))
{
    // The standard ease-out: quick at first, settling gently.
    m_ease.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(false);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);

    m_delegate = new AgentBubbleDelegate(model.rows(), m_state, this);
    setItemDelegate(m_delegate);
    setModel(&model.rows());
    connect(&model, &AgentPanelModel::scrollToItemRequested, this,
            [this](const QUuid& id) { glideTo(id.toString(QUuid::WithoutBraces)); });
    connect(&model, &AgentPanelModel::scrollToLiveRequested, this, [this] { glideTo(kLiveKey); });
}

AgentChatView::~AgentChatView() = default;

QRect AgentChatView::bubbleRect(int row) const
{
    const QModelIndex index = model()->index(row, 0);
    if (!index.isValid())
        return {};
    return m_delegate->bubbleRect(row, visualRect(index)).toAlignedRect();
}

std::optional<QRect> AgentChatView::closeRect() const
{
    const std::optional<int> row = m_model.rows().rowOf(kLiveKey);
    if (!row)
        return std::nullopt;
    const std::optional<QRectF> close = m_delegate->closeRect(*row, visualRect(model()->index(*row, 0)));
    return close ? std::optional<QRect>(close->toAlignedRect()) : std::nullopt;
}

QString AgentChatView::targetAt(const QPoint& point) const
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        return {};
    const AgentChatRow& row = m_model.rows().at(index.row());
    if (row.kind == AgentChatRow::Kind::Live) {
        const std::optional<QRect> close = closeRect();
        // The link takes a little more than its letters, as a button would.
        return close && close->adjusted(-4, -4, 4, 4).contains(point) ? kLiveKey : QString();
    }
    if (row.kind == AgentChatRow::Kind::Bubble && bubbleRect(index.row()).contains(point))
        return row.key();
    return {};
}

void AgentChatView::setPressed(const QString& key)
{
    if (m_state.pressed == key)
        return;
    m_state.pressed = key;
    viewport()->update();
}

void AgentChatView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    setPressed(targetAt(event->position().toPoint()));
}

void AgentChatView::mouseMoveEvent(QMouseEvent* event)
{
    const QString target = targetAt(event->position().toPoint());
    viewport()->setCursor(target == kLiveKey ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void AgentChatView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QString pressed = m_state.pressed;
    setPressed({});
    // A press dragged off its bubble is no click.
    if (pressed.isEmpty() || targetAt(event->position().toPoint()) != pressed)
        return;
    if (pressed == kLiveKey)
        m_model.closeLive();
    else
        m_model.openBubble(QUuid(pressed));
}

void AgentChatView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a press like any other.
    mousePressEvent(event);
}

void AgentChatView::wheelEvent(QWheelEvent* event)
{
    // The logger's own scrolling wins over a glide under way.
    m_glideKey.clear();
    QListView::wheelEvent(event);
}

bool AgentChatView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString key = targetAt(help->pos());
        const QModelIndex index = indexAt(help->pos());
        const QString text = key.isEmpty() || key == kLiveKey ? QString() : index.data(Qt::ToolTipRole).toString();
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        // Channel names are the logger's own words: never markup.
        QToolTip::showText(help->globalPos(),
                           Qt::mightBeRichText(text) ? QStringLiteral("<qt>") + text.toHtmlEscaped() : text, viewport(),
                           visualRect(index));
        return true;
    }
    if (event->type() == QEvent::Leave)
        setPressed({});
    return QListView::viewportEvent(event);
}

void AgentChatView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QListView::rowsInserted(parent, start, end);
    // Unseen, a bubble just appears: a hidden chat keeps the frame clock asleep.
    if (!isVisible())
        return;
    for (int row = start; row <= end; ++row) {
        const AgentChatRow& data = m_model.rows().at(row);
        if (data.kind == AgentChatRow::Kind::Empty)
            continue;
        Spring arrival(ChannelAgent::kFeedMotion, 0.0);
        arrival.setTarget(1.0);
        m_state.arriving.insert(data.key(), arrival);
    }
    if (!m_state.arriving.isEmpty())
        m_motion.start();
}

std::optional<int> AgentChatView::bottomValueOf(const QString& key)
{
    const std::optional<int> row = m_model.rows().rowOf(key);
    if (!row)
        return std::nullopt;
    executeDelayedItemsLayout();
    const QRect rect = visualRect(model()->index(*row, 0));
    QScrollBar* bar = verticalScrollBar();
    return std::clamp(bar->value() + rect.bottom() + 1 - viewport()->height(), bar->minimum(), bar->maximum());
}

void AgentChatView::glideTo(const QString& key)
{
    const std::optional<int> target = bottomValueOf(key);
    if (!target)
        return;
    if (!isVisible()) {
        verticalScrollBar()->setValue(*target);
        return;
    }
    m_glideKey = key;
    m_glideFrom = verticalScrollBar()->value();
    m_glideElapsed = 0;
    m_motion.start();
}

void AgentChatView::hideEvent(QHideEvent* event)
{
    QListView::hideEvent(event);
    // Whatever was moving ends where it was going.
    m_state.arriving.clear();
    if (!m_glideKey.isEmpty()) {
        if (const std::optional<int> target = bottomValueOf(m_glideKey))
            verticalScrollBar()->setValue(*target);
        m_glideKey.clear();
    }
    m_motion.stop();
}

bool AgentChatView::tick(double seconds)
{
    for (auto it = m_state.arriving.begin(); it != m_state.arriving.end();) {
        it->step(seconds);
        it = it->isSettled() ? m_state.arriving.erase(it) : std::next(it);
    }
    if (!m_glideKey.isEmpty()) {
        m_glideElapsed += seconds;
        const double progress = std::min(1.0, m_glideElapsed / kScrollSeconds);
        // Read again each frame: rows may come or grow during the glide.
        if (const std::optional<int> target = bottomValueOf(m_glideKey)) {
            const double eased = m_ease.valueForProgress(progress);
            verticalScrollBar()->setValue(int(std::lround(m_glideFrom + (*target - m_glideFrom) * eased)));
        }
        if (progress >= 1.0)
            m_glideKey.clear();
    }
    viewport()->update();
    return !m_state.arriving.isEmpty() || !m_glideKey.isEmpty();
}
