#pragma once

#include "agent/ChannelAgent.h"
#include "audio/ChannelConfig.h"
#include "audio/DesktopTranscriber.h"
#include "screens/AgentChatRows.h"

#include <QList>
#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

// Mark's chat without widgets: the character column's status and sensitivity lines, the
// sensitivity picker, the chat's rows (empty-state text, a bubble per feed item, the "Live on"
// panel) and what tapping, closing, choosing and clicking a bubble do. Every value is read from
// the agent and the engine as they publish, so the panel holds no state of its own.
//
// Main thread only. The agent and the engine must outlive it.
class AgentPanelModel : public QObject {
    Q_OBJECT

public:
    using Sensitivity = ChannelAgent::Sensitivity;
    using FeedItem = ChannelAgent::FeedItem;
    // Listens to a channel and jumps to its latest line; none for items of no channel.
    using OpenChannel = std::function<void(std::optional<int> channel)>;

    static inline const QString kReading = QStringLiteral("Reading\u2026");
    static inline const QString kScanning = QStringLiteral("Scanning\u2026");
    static inline const QString kListening = QStringLiteral("Listening");
    static inline const QString kMenuTitle = QStringLiteral("How much Mark speaks up");
    static inline const QString kCharacterHelp =
        QStringLiteral("Mark, the channel agent. Click for the live lines of the channel he's on; "
                       "right-click to set how much he speaks up.");
    static inline const QString kCharacterName = QStringLiteral("Channel agent");
    static inline const QString kCloseTitle = QStringLiteral("Close");
    static constexpr int kLiveLines = 3;

    struct SensitivityChoice {
        Sensitivity sensitivity = Sensitivity::Normal;
        QString label;
        bool checked = false;

        friend bool operator==(const SensitivityChoice&, const SensitivityChoice&) = default;
    };

    AgentPanelModel(ChannelAgent& agent, DesktopTranscriber& transcriber, OpenChannel onOpen,
                    QObject* parent = nullptr);

    // --- the character column ---
    // "Reading…" while a brief is asked for, "Scanning…" during a channel scan, "On <name>" with
    // a focus, else "Listening".
    [[nodiscard]] QString status() const;
    [[nodiscard]] QString sensitivityLabel() const;
    // Low, normal, high, the agent's own checked.
    [[nodiscard]] QList<SensitivityChoice> sensitivityChoices() const;

    // --- the chat ---
    // Only while the feed is empty.
    [[nodiscard]] std::optional<QString> emptyText() const;
    [[nodiscard]] const QList<AgentBubble>& bubbles() const { return m_bubbles; }
    // While the agent's live lines are open.
    [[nodiscard]] const std::optional<AgentLive>& live() const { return m_live; }
    // All of the above as the chat's rows, in order.
    [[nodiscard]] AgentChatRows& rows() { return m_rows; }

    // --- the pure parts ---
    // The bubble of `item`; `channelName` is the agent's name of the item's channel.
    [[nodiscard]] static AgentBubble bubbleFor(const FeedItem& item, const QString& channelName,
                                               const QLocale& locale = QLocale());
    // The feed's empty state for an engine that runs or not, with these channel settings.
    [[nodiscard]] static QString emptyTextFor(bool running, const QList<ChannelConfig>& channels);
    // The last kLiveLines lines of `channel`, oldest first.
    [[nodiscard]] static QList<AgentLiveLine> liveLines(const QList<DisplaySegment>& segments, int channel);

    // --- actions ---
    // With a focus, opens the live lines of the focused channel, or closes them when open;
    // without one, nothing.
    void tapCharacter();
    void closeLive();
    // A bubble's click: opens its item's channel (none for a scan). Unknown ids do nothing.
    void openBubble(const QUuid& id);
    void chooseSensitivity(Sensitivity sensitivity);

Q_SIGNALS:
    void statusChanged();
    void sensitivityChanged();
    void emptyTextChanged();
    void bubblesChanged();
    void liveChanged();
    // The feed's newest item changed: show it at the bottom.
    void scrollToItemRequested(const QUuid& id);
    // The live lines opened on a channel: show them at the bottom.
    void scrollToLiveRequested();

private:
    void followFeed();
    void followChannels();
    void followBubble();
    void rebuildBubbles();
    void rebuildLive();
    void rebuildRows();

    ChannelAgent& m_agent;
    DesktopTranscriber& m_transcriber;
    OpenChannel m_onOpen;
    QList<AgentBubble> m_bubbles;
    std::optional<AgentLive> m_live;
    std::optional<QUuid> m_lastItem;
    AgentChatRows m_rows;
};
