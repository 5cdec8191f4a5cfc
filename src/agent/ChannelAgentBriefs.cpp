// Asking the service for briefs, reading its answer, and what a brief becomes: the stored brief,
// a chat bubble played in turn, a new-topic alert.
#include "agent/ChannelAgent.h"

#include "platform/JsonRead.h"
#include "platform/TextCuts.h"
#include "service/APIService.h"

namespace {

const QString kNew = QStringLiteral("new");
const QString kQuiet = QStringLiteral("quiet");

} // namespace

QJsonObject ChannelAgent::channelPayload(const Pick& pick, const std::optional<QString>& previousTopic)
{
    QJsonArray lines;
    for (const DisplaySegment& line : pick.lines) {
        lines.append(QJsonObject{{QStringLiteral("speaker"), line.speaker.value_or(pick.name)},
                                 {QStringLiteral("text"), line.text}});
    }
    // The service numbers channels from 0: the plain microphone (-1) goes as 0.
    QJsonObject payload{{QStringLiteral("index"), std::max(pick.index, 0)},
                        {QStringLiteral("name"), pick.name},
                        {QStringLiteral("lines"), lines}};
    if (previousTopic)
        payload.insert(QStringLiteral("previous_topic"), *previousTopic);
    return payload;
}

QList<ChannelAgent::ReceivedBrief> ChannelAgent::readBriefs(const QJsonObject& answer)
{
    QList<ReceivedBrief> items;
    for (const QJsonValue& value : answer.value(QLatin1StringView("briefs")).toArray()) {
        const QJsonObject item = value.toObject();
        ReceivedBrief brief;
        if (!JsonRead::required(item, QLatin1StringView("index"), brief.index) ||
            !JsonRead::required(item, QLatin1StringView("topic"), brief.topic) || brief.topic.isEmpty())
            continue;
        if (!JsonRead::required(item, QLatin1StringView("verdict"), brief.verdict))
            brief.verdict = QStringLiteral("same");
        JsonRead::required(item, QLatin1StringView("why"), brief.why);
        JsonRead::required(item, QLatin1StringView("changed"), brief.changed);
        brief.topic = TextCuts::firstCharacters(brief.topic, kMaxTopicChars);
        brief.verdict = TextCuts::firstCharacters(brief.verdict, kMaxVerdictChars);
        brief.why = TextCuts::firstCharacters(brief.why, kMaxWhyChars);
        items.append(brief);
    }
    return items;
}

void ChannelAgent::requestBriefs(const QList<Pick>& picks)
{
    const quint64 request = beginAsking(picks);

    QJsonArray channels;
    QSet<int> asked;
    for (const Pick& pick : picks) {
        const auto previous = m_briefs.constFind(pick.index);
        channels.append(channelPayload(
            pick, previous == m_briefs.constEnd() ? std::nullopt : std::optional<QString>(previous->topic)));
        asked.insert(std::max(pick.index, 0));
    }
    QJsonObject body{{QStringLiteral("channels"), channels},
                     {QStringLiteral("logged"), logged ? logged() : QJsonArray()},
                     {QStringLiteral("sensitivity"), rawValue(m_sensitivity)}};
    if (const std::optional<QString> shoot = token ? token() : std::nullopt)
        body.insert(QStringLiteral("token"), *shoot);

    m_service.postJSON(
        kBriefPath, body, kRequestTimeout, this, [this, request, asked](ServiceResult<QJsonObject> result) {
            receiveBriefs(request, result.ok() ? readBriefs(result.value()) : QList<ReceivedBrief>(), asked);
        });
    // The network's timeout measures silence only: a trickling answer must not keep the agent
    // asking for ever. Whatever comes after this is dropped.
    m_clock.singleShot(kRequestTimeout, this, [this, request] { receiveBriefs(request, {}, {}); });
}

void ChannelAgent::receiveBriefs(quint64 request, const QList<ReceivedBrief>& items, const QSet<int>& asked)
{
    if (!finishAsking(request))
        return;
    const bool hasChannels = m_transcriber && !m_transcriber->channels().isEmpty();
    for (const ReceivedBrief& item : items) {
        // A channel not asked about is ignored; a plain microphone's brief is its own whatever
        // index the service gives.
        if (hasChannels && !asked.contains(item.index))
            continue;
        apply(hasChannels ? item.index : -1, Brief{item.topic, item.verdict, item.why, now()}, item.changed);
    }
    flushBubbles();
}

void ChannelAgent::apply(int channel, const Brief& brief, bool changed)
{
    const auto found = m_briefs.constFind(channel);
    const std::optional<Brief> previous = found == m_briefs.constEnd() ? std::nullopt : std::optional<Brief>(*found);
    Brief b = brief;
    if (!changed && previous)
        b.topic = previous->topic;
    m_briefs.insert(channel, b);
    Q_EMIT briefsChanged();
    if (!changed && previous && previous->verdict == b.verdict)
        return;

    m_latest = Latest{channel, b};
    Q_EMIT latestChanged();

    bool show = true;
    if (m_sensitivity == Sensitivity::Low)
        show = b.verdict == kNew;
    else if (m_sensitivity == Sensitivity::Normal)
        show = !(b.verdict == kQuiet && previous);
    if (show)
        m_bubbleQueue.append(channel);

    // Monotonic time: a clock set back or forth neither repeats nor swallows an alert.
    const double nowSeconds = m_clock.monotonicSeconds();
    const auto lastAlert = m_lastAlert.constFind(channel);
    if (b.verdict == kNew && (!previous || previous->verdict != kNew) &&
        (lastAlert == m_lastAlert.constEnd() || nowSeconds - *lastAlert > kAlertSpacingSeconds)) {
        m_lastAlert.insert(channel, nowSeconds);
        if (onNew)
            onNew(channel, b);
    }
}

void ChannelAgent::flushBubbles()
{
    // A new batch cancels the bubbles still waiting from the last one.
    const quint64 run = ++m_bubbleRun;
    const QList<int> channels = std::exchange(m_bubbleQueue, {});
    if (!channels.isEmpty())
        playBubble(run, channels, 0);
}

void ChannelAgent::playBubble(quint64 run, QList<int> channels, qsizetype next)
{
    setFocus(channels.at(next), kBubbleFocusMotion);
    m_clock.singleShot(kBubbleInterval, this, [this, run, channels = std::move(channels), next] {
        if (run != m_bubbleRun)
            return;
        const int channel = channels.at(next);
        // Read now: a newer brief for the channel wins.
        if (const auto found = m_briefs.constFind(channel); found != m_briefs.constEnd()) {
            FeedItem item;
            item.channel = channel;
            item.kind = FeedItem::Kind::Brief;
            item.payload = found->verdict;
            item.text = found->topic;
            item.detail = found->why;
            item.at = found->at;
            appendFeedItem(item);
        }
        if (next + 1 < channels.size())
            playBubble(run, channels, next + 1);
    });
}

void ChannelAgent::appendFeedItem(const FeedItem& item)
{
    m_feed.append(item);
    if (m_feed.size() > kFeedLimit)
        m_feed.remove(0, m_feed.size() - kFeedLimit);
    Q_EMIT feedChanged();
}
