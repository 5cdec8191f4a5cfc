#pragma once

#include "model/LoggableMarker.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <optional>

// What the export tests share: their markers and their independent readers.
namespace readers {

inline LoggableMarker marker(const QString& timecode, const QString& kind,
                             const std::optional<QString>& out = std::nullopt)
{
    LoggableMarker m;
    m.timecode = timecode;
    m.timecodeOut = out;
    m.markerType = kind;
    return m;
}

// The lines of a text as a strict reader takes them: ended by `lineEnd` only, the last one too.
// An error text when a missing final line end or any other break would shift the reading: Python's
// str.splitlines also ends lines at CR, LF, VT, FF, U+001C to U+001E, U+0085, U+2028 and U+2029,
// C readers stop at NUL, and the other C0 and C1 controls are no text at all.
inline QString splitLines(const QString& text, const QString& lineEnd, QStringList& lines)
{
    if (!text.endsWith(lineEnd))
        return QStringLiteral("last line not ended");
    lines = text.chopped(lineEnd.size()).split(lineEnd);
    for (const QString& line : std::as_const(lines)) {
        for (const QChar c : line) {
            const char16_t u = c.unicode();
            if ((u < 0x20 && u != u'\t') || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
                return QStringLiteral("U+%1 inside the line: %2").arg(u, 4, 16, QLatin1Char('0')).arg(line);
        }
    }
    return QString();
}

// What an installed program writes for `input`; nullopt when it is missing, fails or complains.
inline std::optional<QByteArray> run(const QString& program, const QStringList& arguments,
                                     const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return std::nullopt;
    process.write(input);
    process.closeWriteChannel();
    const QByteArray complaints = process.waitForFinished(60000) ? process.readAllStandardError() : "no end";
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0 || !complaints.isEmpty()) {
        qWarning("%s failed: %s", qPrintable(program), complaints.constData());
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// A text of the pieces writers trip on: every kind of break and space, NUL, emoji, words.
inline QString hostileText(QRandomGenerator& random)
{
    static const QStringList pieces =
        QStringLiteral("\t|\r\n|\r|\n|\u2028|\u2029|\u0085|\v\f|\0|\u001E|\u00A0|\u3000| |word|\U0001F600").split(u'|');
    QString text;
    for (int i = random.bounded(5); i > 0; --i)
        text += pieces[random.bounded(int(pieces.size()))];
    return text;
}

} // namespace readers
