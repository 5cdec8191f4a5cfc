#pragma once

#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <optional>

// What the export tests' independent readers share.
namespace readers {

// Where some reader ends a line, a row or a string: Python's str.splitlines ends lines at LF,
// CR, VT, FF, U+001C to U+001E, U+0085, U+2028 and U+2029; C readers stop at NUL; the other C0
// and C1 controls are no text at all.
inline bool isBreak(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

// The lines of a text as a strict reader takes them: ended by `lineEnd` only, the last one too.
// An error text when any other break or a missing final line end would shift the reading.
inline QString splitLines(const QString& text, const QString& lineEnd, QStringList& lines)
{
    if (!text.endsWith(lineEnd))
        return QStringLiteral("last line not ended");
    lines = text.chopped(lineEnd.size()).split(lineEnd);
    for (const QString& line : std::as_const(lines)) {
        for (const QChar c : line) {
            if (isBreak(c) && c != u'\t')
                return QStringLiteral("U+%1 inside the line: %2").arg(c.unicode(), 4, 16, QLatin1Char('0')).arg(line);
        }
    }
    return QString();
}

// What an installed program writes for `input`; nullopt when it is missing or fails.
inline std::optional<QByteArray> run(const QString& program, const QStringList& arguments,
                                     const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return std::nullopt;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), process.readAllStandardError().constData());
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

// A text of the pieces writers trip on: every kind of break and space, NUL, emoji, words.
inline QString hostileText(QRandomGenerator& random)
{
    static const QStringList pieces{QStringLiteral("\t"),     QStringLiteral("\r\n"),   QStringLiteral("\r"),
                                    QStringLiteral("\n"),     QStringLiteral("\u2028"), QStringLiteral("\u2029"),
                                    QStringLiteral("\u0085"), QStringLiteral("\v\f"),   QString(QChar(0)),
                                    QStringLiteral("\u001E"), QStringLiteral("\u00A0"), QStringLiteral("\u3000"),
                                    QStringLiteral(" "),      QStringLiteral("word"),   QStringLiteral("\U0001F600")};
    QString text;
    for (int i = random.bounded(5); i > 0; --i)
        text += pieces[random.bounded(int(pieces.size()))];
    return text;
}

} // namespace readers
