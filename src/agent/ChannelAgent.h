#pragma once

#include "agent/PindleCharacter.h"
#include "audio/DesktopTranscriber.h"
#include "platform/Clock.h"
#include "platform/Date.h"
#include "platform/Spring.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class APIService;
class Defaults;

// What the agent is built on; empty members take the application's own.
struct AgentEnvironment {
    // The user defaults (Defaults::shared()).
    Defaults* defaults = nullptr;
    // The service the briefs are asked of (APIService::shared()).
    APIService* service = nullptr;
    // Time and timers (Clock::system()).
    Clock* clock = nullptr;
    // The launch's demo shoot: a shorter ask interval and fewer words.
    bool demo = false;
};

// Mark, the channel agent: watches the channels tagged for it, hops its focus across them every
// few seconds, and at its sensitivity's pace sends the fresh lines of up to six channels to the
// service for a brief of what each is on. Briefs become chat bubbles, played one by one, and a
// channel that turns to something new raises an alert. Its body is the character `mark`.
//
// Main thread only. The transcriber is held weakly, and the timers, the request's completion and
// the bubble player hold the agent weakly: nothing acts on either once it is gone. At most one
// brief request is out at a time, also across a stop and start.
class ChannelAgent final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool asking READ asking NOTIFY askingChanged)
    Q_PROPERTY(bool enabled READ enabled WRITE setEnabled NOTIFY enabledChanged)

public:
    enum class Sensitivity { Low, Normal, High };

    // What the service says a channel is on.
    struct Brief {
        QString topic;
        // "new", "same" or "quiet"; any other text is kept as it came.
        QString verdict;
        QString why;
        // When it was received (or made up, in the demo).
        Date at;

        friend bool operator==(const Brief&, const Brief&) = default;
    };

    // One chat bubble of the feed.
    struct FeedItem {
        enum class Kind { Brief, Keyword, Scan };

        QUuid id = QUuid::createUuid();
        // The channel spoken of; none for scan items.
        std::optional<int> channel;
        Kind kind = Kind::Brief;
        // A brief's verdict, or the keyword heard; empty for scans.
        QString payload;
        QString text;
        QString detail;
        Date at;

        friend bool operator==(const FeedItem&, const FeedItem&) = default;
    };

    struct Latest {
        int channel = 0;
        Brief brief;

        friend bool operator==(const Latest&, const Latest&) = default;
    };

    // A channel the agent watches.
    struct Watched {
        int index = 0;
        QString name;

        friend bool operator==(const Watched&, const Watched&) = default;
    };

    // A channel picked for judgement, with its lines of the judgement window in transcript order.
    struct Pick {
        int index = 0;
        QString name;
        QList<DisplaySegment> lines;
    };

    // An item of the service's answer that passed the checks.
    struct ReceivedBrief {
        int index = 0;
        QString topic;
        QString verdict;
        QString why;
        bool changed = true;
    };

    static inline const QString kEnabledKey = QStringLiteral("pindle_logger_agent_on");
    static inline const QString kSensitivityKey = QStringLiteral("pindle_logger_agent_sensitivity");
    static inline const QString kBriefPath = QStringLiteral("/api/logger/channel-brief");

    static constexpr std::chrono::milliseconds kHopInterval{4000};
    static constexpr std::chrono::seconds kRequestTimeout{25};
    static constexpr std::chrono::milliseconds kDemoThinking{1500};
    static constexpr std::chrono::milliseconds kBubbleInterval{900};
    static constexpr int kMaxPicks = 6;
    // Only lines that ended this recently are counted and sent for judgement.
    static constexpr double kWindowSeconds = 90.0;
    static constexpr int kFeedLimit = 30;
    static constexpr double kAlertSpacingSeconds = 300.0;
    // The demo shoot asks this many times faster.
    static constexpr double kDemoPace = 2.5;
    // Longest texts kept from an answer, in user-perceived characters.
    static constexpr int kMaxTopicChars = 200;
    static constexpr int kMaxWhyChars = 400;
    static constexpr int kMaxVerdictChars = 24;

    // How focus and the feed move, for the views that animate them.
    static constexpr Spring::Params kFocusMotion{1.1, 0.75};
    static constexpr Spring::Params kBubbleFocusMotion{1.0, 0.8};
    static constexpr Spring::Params kFeedMotion{0.45, 0.85};

    [[nodiscard]] static QString rawValue(Sensitivity sensitivity);
    [[nodiscard]] static std::optional<Sensitivity> sensitivityFromRaw(const QString& raw);
    // "Only big moments", "Normal", "Everything".
    [[nodiscard]] static QString label(Sensitivity sensitivity);
    [[nodiscard]] static std::chrono::milliseconds askInterval(Sensitivity sensitivity);
    [[nodiscard]] static int minimumWords(Sensitivity sensitivity);

    explicit ChannelAgent(AgentEnvironment environment = {}, QObject* parent = nullptr);
    ~ChannelAgent() override;

    // --- published state ---
    // Oldest first, at most kFeedLimit.
    [[nodiscard]] const QList<FeedItem>& feed() const { return m_feed; }
    [[nodiscard]] const QMap<int, Brief>& briefs() const { return m_briefs; }
    [[nodiscard]] const std::optional<Latest>& latest() const { return m_latest; }
    // The channel the agent is on; the pin follows it.
    [[nodiscard]] std::optional<int> focus() const { return m_focus; }
    // How the last change of focus moves (none: it jumps).
    [[nodiscard]] std::optional<Spring::Params> focusMotion() const { return m_focusMotion; }
    // The channel whose live lines are open in the panel; while set, the hop stands still.
    [[nodiscard]] std::optional<int> bubble() const { return m_bubble; }
    // A brief request (or a demo brief) is out.
    [[nodiscard]] bool asking() const { return m_asking; }
    [[nodiscard]] bool enabled() const { return m_enabled; }
    [[nodiscard]] Sensitivity sensitivity() const { return m_sensitivity; }
    // The agent's body, created once with the standard palette; the views draw and poke it.
    [[nodiscard]] PindleCharacter& mark() { return m_mark; }
    [[nodiscard]] const PindleCharacter& mark() const { return m_mark; }
    // Built for the demo shoot (AgentEnvironment::demo).
    [[nodiscard]] bool isDemo() const { return m_demo; }

    // Stores the switch and starts or stops.
    void setEnabled(bool enabled);
    // Stores the choice; while running, restarts the timers so the new pace takes effect.
    void setSensitivity(Sensitivity sensitivity);

    // --- wired by the logging screen ---
    [[nodiscard]] DesktopTranscriber* transcriber() const { return m_transcriber; }
    void setTranscriber(DesktopTranscriber* transcriber) { m_transcriber = transcriber; }
    // The logged entries the service may see, as objects with "type", "label", "summary",
    // "quote" and "note".
    std::function<QJsonArray()> logged;
    // The shoot's token, when it has one.
    std::function<std::optional<QString>()> token;
    // A channel turned to something new.
    std::function<void(int channel, const Brief& brief)> onNew;

    // --- running ---
    // Starts both timers and hops once, when enabled and not running.
    void start();
    // Stops the timers; the agent idles. Feed, briefs, focus and bubble stay; a request or bubble
    // player under way goes on.
    void stop();
    [[nodiscard]] bool isRunning() const { return m_askTimer != nullptr; }

    // No transcriber: none. No channel settings (a plain microphone): (-1, "Mic"). Otherwise the
    // live channels tagged for the agent, in channel order.
    [[nodiscard]] QList<Watched> watchedChannels() const;
    // The name of the channel with this index; "Mic" when there is none.
    [[nodiscard]] QString channelName(int index) const;
    // Opens the live lines of `channel`, or closes them when they are open.
    void toggleBubble(int channel);
    void setBubble(std::optional<int> channel);
    // The sensitivity's minimum, lowered in demo mode (at least 4).
    [[nodiscard]] int minimumWords() const;

    // Moves the focus on to the next watched channel (the hop timer's body).
    void hop();
    // Picks the channels with enough new words and asks for their briefs (the ask timer's body).
    void askTick();

    // Stores `brief` for `channel` and decides on its bubble and alert.
    void apply(int channel, const Brief& brief, bool changed);
    // Plays the bubbles queued since the last flush, cancelling those still waiting.
    void flushBubbles();
    // Appends to the feed, dropping the oldest beyond kFeedLimit.
    void appendFeedItem(const FeedItem& item);

    // --- the pure parts of a tick and an answer ---
    // Pieces of `text` between U+0020 spaces, empty ones dropped.
    [[nodiscard]] static int wordCount(QStringView text);
    // Up to kMaxPicks channels from `cursor` on whose lines changed since `judgedUpTo` and whose
    // lines that ended in the last kWindowSeconds before `now` hold `minimumWords` words. Moves
    // the cursor past the picks (no picks leave it) and marks them judged. Rows before
    // `firstRow` must end before the window (TranscriptBook::firstEndingFrom); with a minimum of
    // at least one word they cannot change the picks, and a tick late in a day skips them.
    [[nodiscard]] static QList<Pick> pickChannels(const QList<DisplaySegment>& segments, const QList<Watched>& watched,
                                                  double now, int minimumWords, int& cursor,
                                                  QHash<int, QString>& judgedUpTo, qsizetype firstRow = 0);
    // The request's object for one pick.
    [[nodiscard]] static QJsonObject channelPayload(const Pick& pick, const std::optional<QString>& previousTopic);
    // The service's "briefs" items that are objects with an integer "index" and a non-empty
    // string "topic", in order; wrong-typed optional keys take their defaults and texts are cut
    // to their limits.
    [[nodiscard]] static QList<ReceivedBrief> readBriefs(const QJsonObject& answer);

    // Where the agent is in the transcript.
    [[nodiscard]] int cursor() const { return m_cursor; }
    [[nodiscard]] const QHash<int, QString>& judgedUpTo() const { return m_judgedUpTo; }
    // Set before each start: a new run's line ids may repeat the last run's.
    void setJudgedUpTo(QHash<int, QString> judged) { m_judgedUpTo = std::move(judged); }

Q_SIGNALS:
    void feedChanged();
    void briefsChanged();
    void latestChanged();
    void focusChanged();
    void bubbleChanged();
    void askingChanged();
    void enabledChanged();
    void sensitivityChanged();

private:
    void setFocus(std::optional<int> focus, std::optional<Spring::Params> motion);
    void setAsking(bool asking);
    // Marks a request as the one in flight and shows the agent thinking about the first pick.
    quint64 beginAsking(const QList<Pick>& picks);
    // Ends the request in flight if `request` is it; false for a stale one, which changes nothing.
    bool finishAsking(quint64 request);
    void askDemo(const QList<Pick>& picks);
    void finishDemo(quint64 request, const QList<Pick>& picks);
    void requestBriefs(const QList<Pick>& picks);
    // `asked`: the indices the request sent, the only ones taken when there are channels.
    void receiveBriefs(quint64 request, const QList<ReceivedBrief>& items, const QSet<int>& asked);
    void playBubble(quint64 run, QList<int> channels, qsizetype next);
    [[nodiscard]] Date now() const { return m_clock.now(); }

    Defaults& m_defaults;
    APIService& m_service;
    Clock& m_clock;
    const bool m_demo;
    PindleCharacter m_mark;
    QPointer<DesktopTranscriber> m_transcriber;

    QList<FeedItem> m_feed;
    QMap<int, Brief> m_briefs;
    std::optional<Latest> m_latest;
    std::optional<int> m_focus;
    std::optional<Spring::Params> m_focusMotion;
    std::optional<int> m_bubble;
    bool m_asking = false;
    bool m_enabled = true;
    Sensitivity m_sensitivity = Sensitivity::Normal;

    std::unique_ptr<Clock::Timer> m_askTimer;
    std::unique_ptr<Clock::Timer> m_hopTimer;
    int m_cursor = 0;
    int m_hopIndex = 0;
    QHash<int, QString> m_judgedUpTo;
    QHash<int, double> m_lastAlert;
    QList<int> m_bubbleQueue;

    // The request (or demo brief) out, by number; 0 when none. A stop clears `asking` but not
    // this, so no second request starts before the first has returned or timed out.
    quint64 m_pendingRequest = 0;
    quint64 m_requestCount = 0;
    // Bumped by every flush: a player of an earlier batch finds itself cancelled.
    quint64 m_bubbleRun = 0;
};
