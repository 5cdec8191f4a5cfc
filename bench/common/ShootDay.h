#pragma once

// Saved logs of a long shoot, as the benchmarks load them: 50 sessions of 3,000 transcript lines
// and 200 entries each (about 32 MB as a sessions file).

#include "model/LogSession.h"

#include <QStringList>
#include <QUuid>

namespace shoot_day {

inline constexpr int kSessionCount = 50;
inline constexpr int kLinesPerSession = 3000;
inline constexpr int kEntriesPerSession = 200;

inline QString words(int seed, int count)
{
    static const QStringList vocabulary{QStringLiteral("camera"),  QStringLiteral("rolling"), QStringLiteral("speed"),
                                        QStringLiteral("the"),     QStringLiteral("boat"),    QStringLiteral("again"),
                                        QStringLiteral("light"),   QStringLiteral("we"),      QStringLiteral("lose"),
                                        QStringLiteral("\"cut\""), QStringLiteral("über"),    QStringLiteral("take")};
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        text += vocabulary.at((seed * 7 + i * 13) % vocabulary.size());
    }
    return text;
}

inline QString timecode(int n)
{
    return QStringLiteral("%1:%2:%3:%4")
        .arg(1 + n / 86400, 2, 10, QLatin1Char('0'))
        .arg(n / 1440 % 60, 2, 10, QLatin1Char('0'))
        .arg(n / 24 % 60, 2, 10, QLatin1Char('0'))
        .arg(n % 24, 2, 10, QLatin1Char('0'));
}

inline LogSession makeSession(int index, int lines = kLinesPerSession, int entries = kEntriesPerSession)
{
    LogSession s;
    s.id = QUuid::createUuid();
    s.createdAt = Date{700000000.0 + index * 86400.0};
    s.shootToken = QStringLiteral("shoot-%1").arg(index);
    if (lines > 0) {
        QList<LogLine> transcript;
        transcript.reserve(lines);
        for (int i = 0; i < lines; ++i)
            transcript.append(
                LogLine{QStringLiteral("1700000000-%1").arg(i),
                        i % 3 == 0 ? std::nullopt : std::optional<QString>(QStringLiteral("Speaker %1").arg(i % 4)),
                        words(i, 16), timecode(i * 90), i % 8});
        s.transcript = std::move(transcript);
    }
    for (int i = 0; i < entries; ++i) {
        LogEntry e;
        e.id = QUuid::createUuid();
        e.time = Date{s.createdAt.sinceReferenceDate + i * 60.5};
        e.timecode = timecode(i * 1452);
        e.type = i % 5 == 0 ? QStringLiteral("broll") : QStringLiteral("earmark");
        if (i % 5 == 0) {
            e.endTime = Date{e.time.sinceReferenceDate + 12.25};
            e.timecodeOut = timecode(i * 1452 + 294);
        }
        e.summary = words(i, 20);
        e.highlight = words(i + 1, 12);
        e.note = i % 2 == 0 ? words(i + 2, 6) : QString();
        e.tags = {QStringLiteral("Keyword: boat"), QStringLiteral("pickup")};
        e.speaker = QStringLiteral("Speaker 1");
        e.lineID = QStringLiteral("1700000000-%1").arg(i * 15);
        e.lineIDs = QStringList{e.lineID.value(), QStringLiteral("1700000000-%1").arg(i * 15 + 1)};
        s.entries.append(std::move(e));
    }
    return s;
}

// Newest first, as the store keeps them.
inline const QList<LogSession>& shoot()
{
    static const QList<LogSession> sessions = [] {
        QList<LogSession> list;
        for (int i = kSessionCount - 1; i >= 0; --i)
            list.append(makeSession(i));
        return list;
    }();
    return sessions;
}

} // namespace shoot_day
