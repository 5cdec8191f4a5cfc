// The logging screen and the account's shoot: the token step before the engine starts, the
// restart when the service refuses the shoot, and the snapshot the shoot sync sends.
#include "screens/LoggingScreenModel.h"

#include "export/LogExportText.h"
#include "model/LogButtonKind.h"
#include "platform/DateFormat.h"
#include "timecode/CameraTimecode.h"

#include <QJsonArray>
#include <QLocale>

QString LoggingScreenModel::shootTitle() const
{
    const Date created = m_log->createdAt();
    const QString time = QLocale().toString(created.toQDateTime().toLocalTime().time(), QLocale::ShortFormat);
    return QStringLiteral("Log ") + formatDate(created, DateStyle::Abbreviated) + u' ' + time;
}

void LoggingScreenModel::beginShoot(const std::optional<QString>& token)
{
    m_startPending = false;
    Q_EMIT startPendingChanged();
    if (token && token != m_log->shootToken()) {
        m_log->setShootToken(token);
        saveSession();
    }
    m_transcriber->setShootToken(token);
    m_transcriber->start();
}

void LoggingScreenModel::restartLogging()
{
    // A refusal that arrives after the logger stopped (or moved to another log) starts nothing.
    if (!m_transcriber->running())
        return;
    const Date now = m_clock.now();
    const bool refusedAgain = m_lastRestart && now.secondsSince(*m_lastRestart) < kRefusalWindowSeconds;
    m_transcriber->stop();
    if (refusedAgain) {
        // A service that refuses every new shoot would otherwise have us create shoots in a loop.
        m_lastRestart.reset();
        setNotice(QString::fromLatin1(kShootRefusedNotice));
        return;
    }
    m_lastRestart = now;
    startCloudLogging(true);
}

qint64 LoggingScreenModel::epochMilliseconds(Date date)
{
    return date.millisecondsSince1970().value_or(0);
}

QString LoggingScreenModel::buttonLabel(const QString& kind) const
{
    const std::optional<LogButton> button = m_buttons->button(kind);
    return button ? button->name : LogButtonKind::capitalized(kind);
}

std::optional<QJsonObject> LoggingScreenModel::syncSegment(const DisplaySegment& segment) const
{
    // A line not yet placed in the stream's time is left out rather than sent with a guess.
    if (segment.startSecs < 0.0 || segment.endSecs < 0.0)
        return std::nullopt;
    const Date engineStart = m_transcriber->engineStart();
    const Date start = engineStart.addingSeconds(segment.startSecs);
    QJsonObject out{
        {QStringLiteral("id"), QString::number(runStart()) + u'-' + segment.id},
        {QStringLiteral("text"), segment.text},
        {QStringLiteral("start_ms"), epochMilliseconds(start)},
        {QStringLiteral("end_ms"), epochMilliseconds(engineStart.addingSeconds(segment.endSecs))},
        {QStringLiteral("timecode"), m_camera.timecodeAt(start)},
        {QStringLiteral("channel"), segment.channel},
    };
    if (segment.speaker)
        out.insert(QStringLiteral("speaker"), displayedSpeaker(*segment.speaker));
    const qsizetype pieces = segment.text.split(u' ', Qt::SkipEmptyParts).size();
    if (!segment.words.isEmpty() && pieces == segment.words.size()) {
        QJsonArray words;
        for (const Word& word : segment.words)
            words.append(QJsonObject{
                {QStringLiteral("text"), word.text},
                {QStringLiteral("start_ms"), epochMilliseconds(engineStart.addingSeconds(word.start))},
                {QStringLiteral("end_ms"), epochMilliseconds(engineStart.addingSeconds(word.end))},
            });
        out.insert(QStringLiteral("words"), words);
    }
    return out;
}

QJsonObject LoggingScreenModel::syncMarker(const LogEntry& entry) const
{
    QJsonObject out{
        {QStringLiteral("id"), entry.id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("type"), entry.type},
        {QStringLiteral("label"), buttonLabel(entry.type)},
        {QStringLiteral("timecode_in"), entry.timecode},
        {QStringLiteral("start_ms"), epochMilliseconds(entry.time)},
        {QStringLiteral("quote"), entry.highlight},
        {QStringLiteral("summary"), entry.summary},
        {QStringLiteral("note"), entry.note},
        {QStringLiteral("tags"), QJsonArray::fromStringList(entry.tags)},
    };
    if (entry.timecodeOut)
        out.insert(QStringLiteral("timecode_out"), *entry.timecodeOut);
    if (entry.endTime)
        out.insert(QStringLiteral("end_ms"), epochMilliseconds(*entry.endTime));
    if (entry.speaker)
        out.insert(QStringLiteral("speaker"), *entry.speaker);
    return out;
}

LoggerCloud::Snapshot LoggingScreenModel::cloudSnapshot() const
{
    LoggerCloud::Snapshot snapshot;
    for (const DisplaySegment& segment : m_transcriber->segments())
        if (const std::optional<QJsonObject> object = syncSegment(segment))
            snapshot.segments.append(*object);
    for (const LogEntry& entry : m_log->entries())
        if (!entry.open && !entry.suggested)
            snapshot.markers.append(syncMarker(entry));
    return snapshot;
}

LogExport::TranscriptTurn LoggingScreenModel::transcriptTurn(const LogLine& line) const
{
    return {line.speaker ? std::optional(displayedSpeaker(*line.speaker)) : std::nullopt, line.text};
}

QJsonArray LoggingScreenModel::agentLoggedEntries() const
{
    QList<const LogEntry*> seen;
    for (const LogEntry& entry : m_log->entries())
        if (!entry.open && !entry.suggested)
            seen.append(&entry);
    QJsonArray out;
    for (qsizetype i = std::max<qsizetype>(0, seen.size() - kAgentEntryLimit); i < seen.size(); ++i) {
        const LogEntry& entry = *seen.at(i);
        out.append(QJsonObject{
            {QStringLiteral("type"), entry.type},
            {QStringLiteral("label"), buttonLabel(entry.type)},
            {QStringLiteral("summary"), entry.summary},
            {QStringLiteral("quote"), LogExport::leftCharacters(entry.highlight, kAgentQuoteCharacters)},
            {QStringLiteral("note"), entry.note},
        });
    }
    return out;
}
