#include "screens/AgentPanelModel.h"

#include <QDateTime>

#include <algorithm>

namespace {

using Kind = ChannelAgent::FeedItem::Kind;

const QString kQuote = QStringLiteral("\"");

QString withoutQuotes(const QString& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from) == u'"')
        ++from;
    while (to > from && text.at(to - 1) == u'"')
        --to;
    return text.sliced(from, to - from);
}

QString shortTime(Date at, const QLocale& locale)
{
    return locale.toString(at.toQDateTime().toLocalTime().time(), QLocale::ShortFormat);
}

} // namespace

AgentPanelModel::AgentPanelModel(ChannelAgent& agent, DesktopTranscriber& transcriber, OpenChannel onOpen,
                                 QObject* parent)
    : QObject(parent), m_agent(agent), m_transcriber(transcriber), m_onOpen(std::move(onOpen))
{
    for (const auto signal : {&ChannelAgent::askingChanged, &ChannelAgent::focusChanged})
        connect(&agent, signal, this, &AgentPanelModel::statusChanged);
    connect(&transcriber, &DesktopTranscriber::scanningChanged, this, &AgentPanelModel::statusChanged);
    connect(&agent, &ChannelAgent::sensitivityChanged, this, &AgentPanelModel::sensitivityChanged);
    connect(&agent, &ChannelAgent::feedChanged, this, &AgentPanelModel::followFeed);
    connect(&agent, &ChannelAgent::bubbleChanged, this, &AgentPanelModel::followBubble);
    connect(&transcriber, &DesktopTranscriber::channelsChanged, this, &AgentPanelModel::followChannels);
    connect(&transcriber, &DesktopTranscriber::runningChanged, this, [this] {
        rebuildRows();
        Q_EMIT emptyTextChanged();
    });
    connect(&transcriber, &DesktopTranscriber::segmentsChanged, this, [this] {
        if (m_live)
            rebuildLive();
    });

    if (!agent.feed().isEmpty())
        m_lastItem = agent.feed().constLast().id;
    rebuildBubbles();
    rebuildLive();
    rebuildRows();
}

QString AgentPanelModel::status() const
{
    if (m_agent.asking())
        return kReading;
    if (m_transcriber.scanning())
        return kScanning;
    if (const std::optional<int> focus = m_agent.focus())
        return QStringLiteral("On ") + m_agent.channelName(*focus);
    return kListening;
}

QString AgentPanelModel::sensitivityLabel() const
{
    return ChannelAgent::label(m_agent.sensitivity());
}

QList<AgentPanelModel::SensitivityChoice> AgentPanelModel::sensitivityChoices() const
{
    QList<SensitivityChoice> choices;
    for (const Sensitivity s : {Sensitivity::Low, Sensitivity::Normal, Sensitivity::High})
        choices.append({s, ChannelAgent::label(s), s == m_agent.sensitivity()});
    return choices;
}

std::optional<QString> AgentPanelModel::emptyText() const
{
    if (!m_agent.feed().isEmpty())
        return std::nullopt;
    return emptyTextFor(m_transcriber.running(), m_transcriber.channels());
}

QString AgentPanelModel::emptyTextFor(bool running, const QList<ChannelConfig>& channels)
{
    if (!running)
        return QStringLiteral("Press Start logging and I'll keep an eye on the channels for you.");
    if (channels.isEmpty())
        return QStringLiteral("I'm keeping an eye on your mic. I'll message you here when something's worth a look.");
    // The channels the agent watches: live and tagged for it.
    const auto watched = std::count_if(channels.cbegin(), channels.cend(),
                                       [](const ChannelConfig& config) { return config.isLive() && config.agent; });
    return QStringLiteral("I'm keeping an eye on %1 channels. I'll message you here when something's worth a look.")
        .arg(watched);
}

AgentBubble AgentPanelModel::bubbleFor(const FeedItem& item, const QString& channelName, const QLocale& locale)
{
    AgentBubble bubble;
    bubble.id = item.id;
    bubble.channel = item.channel;
    bubble.channelName = item.channel ? channelName : QString();
    bubble.dot = AgentDot::forChannel(item.channel);
    const QString& ch = bubble.channelName;
    switch (item.kind) {
    case Kind::Brief:
        if (item.payload == u"new") {
            bubble.sentence = ch + QStringLiteral("'s on to something new: ") + item.text + u'.';
            bubble.tag = QStringLiteral("New");
        } else if (item.payload == u"quiet") {
            bubble.sentence = ch + QStringLiteral("'s gone quiet: ") + item.text + u'.';
        } else {
            bubble.sentence =
                ch + QStringLiteral("'s still on ") + item.text + QStringLiteral(". You've got that covered.");
        }
        break;
    case Kind::Keyword:
        bubble.sentence =
            QStringLiteral("Heads up, ") + kQuote + item.payload + kQuote + QStringLiteral(" on ") + ch + u'.';
        bubble.tag = QStringLiteral("Alert");
        bubble.bell = true;
        // The heard line under its own word reads as a quote.
        bubble.detailItalic = withoutQuotes(item.text) == item.payload;
        break;
    case Kind::Scan:
        bubble.sentence = QStringLiteral("Scanned the channels: ") + item.text + u'.';
        break;
    }
    bubble.detail = item.detail;
    if (bubble.detail.isEmpty())
        bubble.detailItalic = false;
    bubble.time = shortTime(item.at, locale);
    if (item.channel)
        bubble.help = QStringLiteral("Listen to ") + ch + QStringLiteral(" and jump to its latest line");
    return bubble;
}

QList<AgentLiveLine> AgentPanelModel::liveLines(const QList<DisplaySegment>& segments, int channel)
{
    // From the end: on a long shoot day the last lines of a talking channel are near it.
    QList<AgentLiveLine> lines;
    for (auto it = segments.crbegin(); it != segments.crend() && lines.size() < kLiveLines; ++it) {
        if (it->channel == channel)
            lines.prepend({it->id, it->text});
    }
    return lines;
}

void AgentPanelModel::tapCharacter()
{
    if (const std::optional<int> focus = m_agent.focus())
        m_agent.toggleBubble(*focus);
}

void AgentPanelModel::closeLive()
{
    m_agent.setBubble(std::nullopt);
}

void AgentPanelModel::openBubble(const QUuid& id)
{
    for (const FeedItem& item : m_agent.feed()) {
        if (item.id != id)
            continue;
        if (m_onOpen)
            m_onOpen(item.channel);
        return;
    }
}

void AgentPanelModel::chooseSensitivity(Sensitivity sensitivity)
{
    m_agent.setSensitivity(sensitivity);
}

void AgentPanelModel::followFeed()
{
    rebuildBubbles();
    rebuildRows();
    Q_EMIT bubblesChanged();
    Q_EMIT emptyTextChanged();
    const QList<FeedItem>& feed = m_agent.feed();
    const std::optional<QUuid> last = feed.isEmpty() ? std::nullopt : std::optional<QUuid>(feed.constLast().id);
    if (last == m_lastItem)
        return;
    m_lastItem = last;
    if (last)
        Q_EMIT scrollToItemRequested(*last);
}

void AgentPanelModel::followChannels()
{
    // Names, the watched count and the live panel's title follow the channel settings.
    rebuildBubbles();
    rebuildLive();
    rebuildRows();
    Q_EMIT bubblesChanged();
    Q_EMIT emptyTextChanged();
    Q_EMIT statusChanged();
}

void AgentPanelModel::followBubble()
{
    rebuildLive();
    if (m_agent.bubble())
        Q_EMIT scrollToLiveRequested();
}

void AgentPanelModel::rebuildBubbles()
{
    const QLocale locale;
    m_bubbles.clear();
    m_bubbles.reserve(m_agent.feed().size());
    for (const FeedItem& item : m_agent.feed())
        m_bubbles.append(bubbleFor(item, item.channel ? m_agent.channelName(*item.channel) : QString(), locale));
}

void AgentPanelModel::rebuildLive()
{
    std::optional<AgentLive> live;
    if (const std::optional<int> channel = m_agent.bubble()) {
        live = AgentLive{*channel, AgentDot::forChannel(*channel),
                         QStringLiteral("Live on ") + m_agent.channelName(*channel),
                         liveLines(m_transcriber.segments(), *channel)};
    }
    if (live == m_live)
        return;
    m_live = std::move(live);
    rebuildRows();
    Q_EMIT liveChanged();
}

void AgentPanelModel::rebuildRows()
{
    QList<AgentChatRow> rows;
    rows.reserve(m_bubbles.size() + 2);
    if (const std::optional<QString> empty = emptyText())
        rows.append({AgentChatRow::Kind::Empty, *empty, {}, {}});
    for (const AgentBubble& bubble : m_bubbles)
        rows.append({AgentChatRow::Kind::Bubble, {}, bubble, {}});
    if (m_live)
        rows.append({AgentChatRow::Kind::Live, {}, {}, *m_live});
    m_rows.setRows(rows);
}
