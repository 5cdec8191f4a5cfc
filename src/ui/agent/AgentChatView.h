#pragma once

#include "ui/agent/AgentBubbleDelegate.h"
#include "ui/theme/FrameClock.h"

#include <QEasingCurve>
#include <QListView>

#include <optional>

class AgentPanelModel;

// The chat column of Mark's panel: the panel model's rows as a list of painted bubbles. A click
// on a bubble opens its channel, a click on the live panel's Close shuts it; bubbles that arrive
// rise in and fade up, and the column glides to the newest item or to the opened live lines.
class AgentChatView : public QListView {
    Q_OBJECT
public:
    // How long the glide to a new item or the live panel takes.
    static constexpr double kScrollSeconds = 0.3;

    AgentChatView(AgentPanelModel& model, FrameClock& frames, QWidget* parent = nullptr);
    ~AgentChatView() override;

    [[nodiscard]] AgentBubbleDelegate* bubbleDelegate() const { return m_delegate; }
    // In viewport coordinates: a row's bubble, and the live panel's Close link when it shows.
    [[nodiscard]] QRect bubbleRect(int row) const;
    [[nodiscard]] std::optional<QRect> closeRect() const;
    // A glide or an arrival is under way.
    [[nodiscard]] bool isMoving() const { return m_motion.isRunning(); }

protected:
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    // Bubbles are read and clicked, not selected or walked with the keyboard.
    QModelIndex moveCursor(CursorAction, Qt::KeyboardModifiers) override { return {}; }

private:
    // What a point of the viewport would press: a bubble's key, "live" for Close, or nothing.
    [[nodiscard]] QString targetAt(const QPoint& point) const;
    void glideTo(const QString& key);
    // The scroll value that shows row `key` at the bottom; none when it is gone.
    [[nodiscard]] std::optional<int> bottomValueOf(const QString& key);
    bool tick(double seconds);
    void setPressed(const QString& key);

    AgentPanelModel& m_model;
    AgentChatMotion m_state;
    AgentBubbleDelegate* m_delegate;
    QEasingCurve m_ease;
    QString m_glideKey;
    int m_glideFrom = 0;
    double m_glideElapsed = -1;
    FrameClock::Animation m_motion;
};
