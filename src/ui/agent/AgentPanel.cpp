#include "ui/agent/AgentPanel.h"

#include "screens/AgentPanelModel.h"
#include "ui/agent/AgentChatView.h"
#include "ui/theme/AppearanceNotifier.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

namespace {

QLabel* oneLine(const TextStyle& style)
{
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(style.font());
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    return label;
}

// One line, cut with an ellipsis to the column; assistive tools read it whole.
void setLine(QLabel* label, const QString& text, int width)
{
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, width));
    label->setAccessibleName(text);
}

} // namespace

AgentPanel::AgentPanel(AgentPanelModel& model, QWidget* character, FrameClock* frames, QWidget* parent,
                       const AgentPanelStyle& style)
    : QWidget(parent), m_model(model), m_style(style), m_character(character), m_status(oneLine(style.status)),
      m_sensitivity(oneLine(style.sensitivity))
{
    setMinimumHeight(style.minimumHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(style.padding);
    layout->setSpacing(style.spacing);

    auto* column = new QWidget;
    column->setFixedWidth(style.columnWidth);
    auto* stack = new QVBoxLayout(column);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(style.columnSpacing);
    character->setFixedSize(style.characterSize);
    character->setToolTip(AgentPanelModel::kCharacterHelp);
    character->setAccessibleName(AgentPanelModel::kCharacterName);
    character->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(character, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { showSensitivityMenu(m_character->mapToGlobal(at)); });
    stack->addWidget(character, 0, Qt::AlignHCenter);
    stack->addWidget(m_status);
    stack->addWidget(m_sensitivity);
    layout->addWidget(column, 0, Qt::AlignTop);

    m_chat = new AgentChatView(model, frames ? *frames : FrameClock::shared());
    layout->addWidget(m_chat, 1);

    connect(&model, &AgentPanelModel::statusChanged, this, &AgentPanel::showStatus);
    connect(&model, &AgentPanelModel::sensitivityChanged, this, &AgentPanel::showSensitivity);
    connect(&AppearanceNotifier::shared(), &AppearanceNotifier::appearanceChanged, this, &AgentPanel::applyAppearance);
    showStatus();
    showSensitivity();
    applyAppearance();
}

AgentPanel::~AgentPanel() = default;

void AgentPanel::characterTapped()
{
    m_model.tapCharacter();
}

void AgentPanel::showSensitivityMenu(const QPoint& globalPosition)
{
    if (m_menu)
        m_menu->close();
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // The picker's title heads its rows, as an inline picker shows it.
    menu->addAction(AgentPanelModel::kMenuTitle)->setEnabled(false);
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    for (const AgentPanelModel::SensitivityChoice& choice : m_model.sensitivityChoices()) {
        QAction* action = menu->addAction(choice.label);
        action->setCheckable(true);
        action->setChecked(choice.checked);
        group->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, sensitivity = choice.sensitivity] { m_model.chooseSensitivity(sensitivity); });
    }
    m_menu = menu;
    menu->popup(globalPosition);
}

void AgentPanel::showStatus()
{
    setLine(m_status, m_model.status(), m_style.columnWidth);
}

void AgentPanel::showSensitivity()
{
    setLine(m_sensitivity, m_model.sensitivityLabel(), m_style.columnWidth);
}

void AgentPanel::applyAppearance()
{
    const QColor muted = Theme::muted.resolve(AppearanceNotifier::shared().appearance());
    setPaletteColour(m_status, QPalette::WindowText, muted);
    setPaletteColour(m_sensitivity, QPalette::WindowText, muted);
    m_chat->viewport()->update();
}
