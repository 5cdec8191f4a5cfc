// Keyword hits and the agent's new-topic alerts: the flagged line, the desktop alert, the
// suggested entry and Mark's chat item.
#include "screens/LoggingScreenModel.h"

#include "timecode/CameraTimecode.h"

#include <cmath>

std::optional<ChannelConfig> LoggingScreenModel::channelConfig(int index) const
{
    for (const ChannelConfig& config : m_transcriber->channels())
        if (config.index == index)
            return config;
    return std::nullopt;
}

DesktopNotifications::Alert LoggingScreenModel::keywordAlert(const QString& keyword, const QString& channelName,
                                                             const DisplaySegment& line) const
{
    DesktopNotifications::Alert alert;
    alert.requestId = QStringLiteral("kw-") + line.id;
    alert.title = u'"' + keyword + QStringLiteral("\" on ") + channelName;
    alert.subtitle = line.startSecs >= 0.0
                         ? m_camera.timecodeAt(m_transcriber->engineStart().addingSeconds(line.startSecs))
                         : line.timecode;
    alert.body = QStringLiteral("Click to listen to ") + channelName + u'.';
    alert.userInfo = {{QStringLiteral("channel"), line.channel}, {QStringLiteral("line"), line.id}};
    return alert;
}

void LoggingScreenModel::onKeywordHit(int channel, const QString& keyword, const DisplaySegment& heard)
{
    // The hit may be handled after its line was removed or replaced: no entry for a ghost line.
    const std::optional<DisplaySegment> current = segment(heard.id);
    if (!current)
        return;
    const DisplaySegment& line = *current;
    const std::optional<ChannelConfig> config = channelConfig(channel);
    const QString name = config ? config->name : line.speaker.value_or(QStringLiteral("the mic"));
    m_flaggedLines.insert(line.id);
    Q_EMIT flaggedLinesChanged();
    m_notifications->post(keywordAlert(keyword, name, line));

    const Date now = m_clock.now();
    const Date engineStart = m_transcriber->engineStart();
    const QUuid id = keywordEntry(line.moment(engineStart),
                                  line.endSecs >= 0.0 ? engineStart.addingSeconds(line.endSecs) : now, line);
    m_log->suggest(id, {QStringLiteral("Keyword: ") + keyword});
    flash(id);

    ChannelAgent::FeedItem item;
    item.channel = channel;
    item.kind = ChannelAgent::FeedItem::Kind::Keyword;
    item.payload = keyword;
    item.text = u'"' + keyword + u'"';
    item.detail = line.text;
    item.at = now;
    m_agent->appendFeedItem(item);
}

QUuid LoggingScreenModel::keywordEntry(Date start, Date end, const DisplaySegment& line)
{
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.time = start;
    entry.timecode = m_camera.timecodeAt(start);
    entry.type = QStringLiteral("earmark");
    entry.endTime = std::max(start, end);
    entry.timecodeOut = m_camera.timecodeAt(*entry.endTime);
    entry.highlight = line.text;
    // No summary is asked for an alert: the flag stays as the entry was born.
    entry.summarising = !line.text.isEmpty();
    entry.speaker = line.speaker;
    entry.lineID = line.id;
    m_log->appendEntry(entry);
    return entry.id;
}

void LoggingScreenModel::postAgentAlert(int channel, const ChannelAgent::Brief& brief)
{
    const std::optional<ChannelConfig> config = channelConfig(channel);
    if (!config || !config->hidden)
        return;
    const QString lineID =
        QStringLiteral("agent-%1-%2").arg(channel).arg(qint64(std::trunc(brief.at.secondsSince1970())));
    DesktopNotifications::Alert alert;
    alert.requestId = QStringLiteral("kw-") + lineID;
    alert.title = QStringLiteral("\"Something new\" on ") + config->name;
    alert.subtitle = m_camera.timecodeAt(brief.at);
    alert.body = QStringLiteral("Click to listen to ") + config->name + u'.';
    alert.userInfo = {{QStringLiteral("channel"), channel}, {QStringLiteral("line"), lineID}};
    m_notifications->post(alert);
}
