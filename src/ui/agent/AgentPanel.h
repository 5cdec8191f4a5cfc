#pragma once

#include "ui/theme/TextStyle.h"

#include <QMargins>
#include <QMenu>
#include <QPointer>
#include <QSize>
#include <QWidget>

class AgentChatView;
class AgentPanelModel;
class FrameClock;
class QLabel;

// How Mark's panel is laid out.
struct AgentPanelStyle {
    QMargins padding{16, 10, 16, 10};
    int spacing = 14;
    int minimumHeight = 110;
    // The character column.
    int columnWidth = 110;
    int columnSpacing = 6;
    QSize characterSize{92, 92};
    TextStyle status = TextStyle::bundled("DMSans-SemiBold", 10);
    TextStyle sensitivity = TextStyle::fine;
};

// Mark's chat: on the left the character over a status line and the sensitivity, on the right
// the chat of the agent's feed with the live lines of an opened channel. The character widget is
// the caller's (the character view); the panel gives it its help, name and right-click menu.
// Its own click comes in through characterTapped(), since the character view tells a tap from a
// poke or a drag itself.
class AgentPanel : public QWidget {
    Q_OBJECT
public:
    // `frames` null: the application's frame clock.
    AgentPanel(AgentPanelModel& model, QWidget* character, FrameClock* frames = nullptr, QWidget* parent = nullptr,
               const AgentPanelStyle& style = {});
    ~AgentPanel() override;

    [[nodiscard]] QWidget* character() const { return m_character; }
    [[nodiscard]] AgentChatView* chat() const { return m_chat; }
    [[nodiscard]] QLabel* statusLine() const { return m_status; }
    [[nodiscard]] QLabel* sensitivityLine() const { return m_sensitivity; }
    // The sensitivity menu while it is open.
    [[nodiscard]] QMenu* sensitivityMenu() const { return m_menu; }

public Q_SLOTS:
    // A tap on the character: opens or closes the live lines of the channel Mark is on.
    void characterTapped();
    // Opens "How much Mark speaks up" at `globalPosition`.
    void showSensitivityMenu(const QPoint& globalPosition);

private:
    void showStatus();
    void showSensitivity();
    void applyAppearance();

    AgentPanelModel& m_model;
    AgentPanelStyle m_style;
    QWidget* m_character;
    QLabel* m_status;
    QLabel* m_sensitivity;
    AgentChatView* m_chat;
    QPointer<QMenu> m_menu;
};
