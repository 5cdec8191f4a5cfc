// The logging screen's panes in two columns or, in a narrow window, behind two tabs.
#include "ui/logging/LoggingView.h"

#include "platform/MotionPreference.h"
#include "screens/AgentPanelModel.h"
#include "ui/agent/AgentPanel.h"
#include "ui/agent/PindleCharacterView.h"
#include "ui/mixer/MixerView.h"
#include "ui/theme/FrameClock.h"

#include "screens/ScreenLayout.h"
#include "screens/TimecodePanelModel.h"
#include "ui/logging/ButtonBar.h"
#include "ui/logging/LogPaneView.h"
#include "ui/logging/TagBar.h"
#include "ui/logging/header/HeaderView.h"
#include "ui/logging/header/TimecodePanel.h"
#include "ui/mixer/MixerView.h"
#include "ui/theme/PaneParts.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The header block: padded 16 all round, 10 between its rows.
constexpr int kHeaderPadding = 16;
constexpr int kHeaderSpacing = 10;
// The tag bar's row: 8 between its pieces, padded 12 across and 8 down.
constexpr int kTagRowSpacing = 8;
constexpr QMargins kTagRowMargins{12, 8, 12, 8};

QVBoxLayout* stack(QWidget* owner)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

// A place a later view goes into; it takes no room while empty.
QWidget* emptySlot(const QString& name)
{
    auto* slot = new QWidget;
    slot->setObjectName(name);
    stack(slot);
    slot->hide();
    return slot;
}

bool filled(const QWidget* slot)
{
    return slot->layout()->count() > 0;
}

// A column whose panes scroll together when the window is too short for their least heights,
// rather than be cut; taller, they fill it.
QWidget* scrollingColumn(QWidget* panes)
{
    auto* column = new QWidget;
    auto* area = new QScrollArea;
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->viewport()->setAutoFillBackground(false);
    area->setWidget(panes);
    panes->setAutoFillBackground(false);
    stack(column)->addWidget(area);
    return column;
}

} // namespace

void LoggingView::buildLayout()
{
    // Header block: the header's top bar (its own issue fills it) and the narrow tabs.
    auto* header = new QWidget;
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->setContentsMargins(kHeaderPadding, kHeaderPadding, kHeaderPadding, kHeaderPadding);
    headerLayout->setSpacing(kHeaderSpacing);
    m_headerSlot = emptySlot(QStringLiteral("headerSlot"));
    headerLayout->addWidget(m_headerSlot);
    m_header = new HeaderView(*m_screen);
    m_headerSlot->layout()->addWidget(m_header);
    auto* timecode = new TimecodePanelModel(*m_screen, this);
    m_header->timecodeSlot()->layout()->addWidget(new TimecodePanel(*timecode));
    // The timecode row does not wrap: its least width must not make the header measure the top
    // bar's wrapped height at a width the window does not give it.
    m_header->timecodeSlot()->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_tabs = new QWidget;
    auto* tabLayout = new QHBoxLayout(m_tabs);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->setSpacing(0);
    m_tabGroup = new QButtonGroup(this);
    int id = 0;
    for (const QString& title : {QStringLiteral("Log"), QStringLiteral("Transcript")}) {
        auto* button = new QPushButton(title);
        button->setCheckable(true);
        button->setAccessibleName(title);
        m_tabGroup->addButton(button, id++);
        tabLayout->addWidget(button);
    }
    headerLayout->addWidget(m_tabs);

    // Log column: title, table, Mark's chat when it sits here, tags, then the marker buttons.
    auto* logPanes = new QWidget;
    QVBoxLayout* log = stack(logPanes);
    m_logColumn = scrollingColumn(logPanes);
    m_logTitle = new SectionTitle(QStringLiteral("LOG"));
    log->addWidget(m_logTitle);
    log->addWidget(m_logPane, 1);
    m_chatUnderLog = emptySlot(QStringLiteral("chatUnderLogSlot"));
    m_chatUnderLog->setFixedHeight(ScreenLayout::kChatUnderLogHeight);
    log->addWidget(m_chatUnderLog);
    m_tagDivider = new LineDivider;
    log->addWidget(m_tagDivider);
    m_tagRow = new QWidget;
    auto* tagLayout = new QHBoxLayout(m_tagRow);
    tagLayout->setContentsMargins(kTagRowMargins);
    tagLayout->setSpacing(kTagRowSpacing);
    tagLayout->addWidget(m_tagBar);
    log->addWidget(m_tagRow);
    log->addWidget(new LineDivider);
    log->addWidget(m_buttonBar);

    // Channel column: the mixer band, Mark's chat when it sits here, the transcript.
    auto* channelPanes = new QWidget;
    QVBoxLayout* channels = stack(channelPanes);
    m_channelColumn = scrollingColumn(channelPanes);
    m_mixerSlot = emptySlot(QStringLiteral("mixerSlot"));
    m_mixer = new MixerView(m_screen->mixer());
    m_mixerSlot->layout()->addWidget(m_mixer);
    m_mixerSlot->layout()->addWidget(new LineDivider);
    channels->addWidget(m_mixerSlot);
    m_chatByChannels = emptySlot(QStringLiteral("chatByChannelsSlot"));
    channels->addWidget(m_chatByChannels);
    buildAgentChat();
    m_transcriptTitle = new SectionTitle(QStringLiteral("TRANSCRIPT · CLICK A LINE TO SELECT IT"));
    channels->addWidget(m_transcriptTitle);
    m_transcriptSlot = new QWidget;
    m_transcriptSlot->setObjectName(QStringLiteral("transcriptSlot"));
    stack(m_transcriptSlot);
    channels->addWidget(m_transcriptSlot, 1);
    m_channelPanes = channels;

    auto* content = new QHBoxLayout;
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(0);
    content->addWidget(m_logColumn, 1);
    m_columnDivider = new LineDivider(Qt::Vertical);
    content->addWidget(m_columnDivider);
    content->addWidget(m_channelColumn);

    QVBoxLayout* screen = stack(this);
    screen->addWidget(header);
    screen->addWidget(new LineDivider);
    screen->addLayout(content, 1);
}

void LoggingView::buildAgentChat()
{
    LoggingScreenModel* screen = m_screen.get();
    m_agentPanel = std::make_unique<AgentPanelModel>(
        screen->agent(), screen->transcriber(), [screen](std::optional<int> channel) { screen->openChannel(channel); });
    // Mark's chat has two places; the layout shows the one the Layout menu chose. Each holds its
    // own view of the one character, and a hidden view stops drawing it. Under the log its line
    // comes first (the tag bar or the buttons bring their own below); by the channels the band
    // above ends in a line, so the chat's own closes it off from the transcript.
    for (QWidget* slot : {m_chatByChannels, m_chatUnderLog}) {
        auto* character = new PindleCharacterView(screen->agent().mark(), FrameClock::shared());
        MotionPreference& motion = FrameClock::shared().motion();
        character->setReduceMotion(motion.reduceMotion());
        connect(&motion, &MotionPreference::reduceMotionChanged, character, &PindleCharacterView::setReduceMotion);
        auto* panel = new AgentPanel(*m_agentPanel, character);
        connect(character, &PindleCharacterView::tapped, panel, &AgentPanel::characterTapped);
        if (slot == m_chatUnderLog)
            slot->layout()->addWidget(new LineDivider);
        slot->layout()->addWidget(panel);
        if (slot == m_chatByChannels)
            slot->layout()->addWidget(new LineDivider);
        m_agentPanels.append(panel);
    }
}

void LoggingView::wireLayout()
{
    connect(m_tabGroup, &QButtonGroup::idClicked, m_screen.get(), &LoggingScreenModel::setTab);
    for (const auto signal : {&LoggingScreenModel::layoutStateChanged, &LoggingScreenModel::settingsChanged})
        connect(m_screen.get(), signal, this, &LoggingView::applyLayout);
    connect(&m_screen->agent(), &ChannelAgent::enabledChanged, this, &LoggingView::applyLayout);
    connect(&m_screen->transcriber(), &DesktopTranscriber::channelsChanged, this, &LoggingView::applyLayout);
    applyLayout();
}

QAbstractButton* LoggingView::tabButton(int tab) const
{
    return m_tabGroup->button(tab);
}

void LoggingView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applyLayout();
}

void LoggingView::applyLayout()
{
    LoggingScreenModel& screen = *m_screen;
    ScreenLayout::Input input;
    input.width = width();
    input.tab = screen.tab();
    input.showMixer = screen.showMixer();
    input.showTags = screen.showTags();
    input.agentPlace = screen.agentPlace();
    input.agentEnabled = screen.agent().enabled();
    input.hasChannels = !screen.transcriber().channels().isEmpty();
    const ScreenLayout layout = ScreenLayout::of(input);

    m_tabs->setVisible(layout.tabs);
    if (QAbstractButton* current = m_tabGroup->button(screen.tab() == 0 ? 0 : 1))
        current->setChecked(true);
    m_headerSlot->setVisible(filled(m_headerSlot));

    m_logColumn->setVisible(layout.logColumn);
    m_logTitle->setVisible(layout.logTitle);
    m_chatUnderLog->setVisible(layout.chatUnderLog && filled(m_chatUnderLog));
    m_tagDivider->setVisible(layout.tagBar);
    m_tagRow->setVisible(layout.tagBar);

    m_columnDivider->setVisible(layout.wide);
    m_channelColumn->setVisible(layout.channelColumn);
    if (layout.wide) {
        m_channelColumn->setFixedWidth(layout.channelColumnWidth);
    } else {
        m_channelColumn->setMinimumWidth(0);
        m_channelColumn->setMaximumWidth(QWIDGETSIZE_MAX);
    }
    m_mixerSlot->setVisible(layout.mixerBand && filled(m_mixerSlot));
    m_chatByChannels->setVisible(layout.chatByChannels && filled(m_chatByChannels));
    m_transcriptTitle->setVisible(layout.transcriptTitle);
    // Wide, the chat has its height and the transcript keeps its least, so the mixer band gives
    // way (its strips scroll); narrow, the band stays whole and the chat and the transcript
    // share what is left.
    const int chatStretch = layout.chatByChannelsHeight > 0 ? 0 : 1;
    if (layout.chatByChannelsHeight > 0) {
        m_chatByChannels->setFixedHeight(layout.chatByChannelsHeight);
    } else {
        // As short as its panel allows.
        m_chatByChannels->setMinimumHeight(0);
        m_chatByChannels->setMaximumHeight(QWIDGETSIZE_MAX);
    }
    // A new stretch redoes the layout: only when it changes, not on every resize.
    if (m_channelPanes->stretch(m_channelPanes->indexOf(m_chatByChannels)) != chatStretch)
        m_channelPanes->setStretchFactor(m_chatByChannels, chatStretch);
    m_transcriptSlot->setMinimumHeight(layout.transcriptMinimumHeight);

    // The header follows the width a turn later, not while the window is being laid out.
    if (layout.compactHeader != screen.compactHeader())
        QTimer::singleShot(0, this, [this] {
            const bool compact = width() < ScreenLayout::kFullHeaderFrom;
            m_screen->setCompactHeader(compact);
        });
}
