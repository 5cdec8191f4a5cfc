// The logging screen and the account's shoot: the token step before the engine starts, the
// restart when the service refuses the shoot, and the snapshot the shoot sync sends.
#include "screens/LoggingScreenModel.h"

#include "export/LogExportText.h"
#include "model/LogButtonKind.h"
#include "platform/DateFormat.h"
#include "screens/ShootSyncRows.h"
#include "timecode/CameraTimecode.h"

#include <QJsonArray>
#include <QJsonDocument>
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

QString LoggingScreenModel::buttonLabel(const QString& kind) const
{
    const std::optional<LogButton> button = m_buttons->button(kind);
    return button ? button->name : LogButtonKind::capitalized(kind);
}

std::optional<QJsonObject> LoggingScreenModel::syncSegment(const DisplaySegment& segment) const
{
    const QByteArray encoded = m_syncRows->encodeSegment(segment);
    if (encoded.isEmpty())
        return std::nullopt;
    return QJsonDocument::fromJson(encoded).object();
}

QJsonObject LoggingScreenModel::syncMarker(const LogEntry& entry) const
{
    return QJsonDocument::fromJson(m_syncRows->encodeMarker(entry)).object();
}

LoggerCloud::Snapshot LoggingScreenModel::cloudSnapshot() const
{
    // Only the rows that changed since the last sync are encoded again.
    return m_syncRows->snapshot();
}

LogExport::TranscriptTurn LoggingScreenModel::transcriptTurn(const LogLine& line) const
{
    return {line.speaker ? std::optional(displayedSpeaker(*line.speaker)) : std::nullopt, line.text};
}

QJsonArray LoggingScreenModel::agentLoggedEntries() const
{
    // The newest few, found from the end: the agent asks every few seconds all day long.
    const LogEntries& entries = m_log->entries();
    QList<const LogEntry*> seen;
    for (qsizetype row = entries.size() - 1; row >= 0 && seen.size() < kAgentEntryLimit; --row)
        if (const LogEntry& entry = entries.at(row); !entry.open && !entry.suggested)
            seen.append(&entry);
    QJsonArray out;
    for (auto it = seen.crbegin(); it != seen.crend(); ++it) {
        const LogEntry& entry = **it;
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
