#include "Console.h"

#include "StandinService.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

namespace {

constexpr qsizetype kLongestLine = 4096;

const char* const kHelp =
    "commands:\n"
    "  scan <id|latest> <HH:MM:SS:FF> [format]   complete a phone scan (format 25|0|0 unless given)\n"
    "  help                                      this list\n"
    "  quit                                      stop the stand-in";

bool isTerminalOrPipe(int fd)
{
    if (::isatty(fd) == 1)
        return true;
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode);
}

} // namespace

Console::Console(StandinService& service, Print print, QObject* parent)
    : QObject(parent), m_service(service), m_print(std::move(print))
{
}

bool Console::start()
{
    if (m_notifier || !isTerminalOrPipe(STDIN_FILENO))
        return false;
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Console::readAvailable);
    return true;
}

void Console::readAvailable()
{
    char buffer[1024];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        // End of input (or an unreadable one): the service goes on without a console.
        m_notifier->setEnabled(false);
        return;
    }
    m_pending.append(buffer, n);
    qsizetype newline;
    while ((newline = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(newline);
        m_pending.remove(0, newline + 1);
        run(QString::fromUtf8(line));
    }
    if (m_pending.size() > kLongestLine) {
        m_print(QStringLiteral("line too long, ignored"));
        m_pending.clear();
    }
}

void Console::run(const QString& line)
{
    const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return;
    const QString& command = words.first();
    if (command == QLatin1StringView("scan")) {
        scan(words);
    } else if (command == QLatin1StringView("help")) {
        m_print(QString::fromLatin1(kHelp));
    } else if (command == QLatin1StringView("quit")) {
        if (onQuit)
            onQuit();
    } else {
        m_print(QStringLiteral("unknown command \"%1\"; type help").arg(command));
    }
}

void Console::scan(const QStringList& words)
{
    static const QRegularExpression timecode(QStringLiteral("^\\d{2}:\\d{2}:\\d{2}[:;.]\\d{2}$"));
    static const QRegularExpression format(QStringLiteral("^\\d{2}\\|[01]\\|[01]$"));
    if (words.size() < 3 || words.size() > 4) {
        m_print(QStringLiteral("usage: scan <id|latest> <HH:MM:SS:FF> [format]"));
        return;
    }
    if (!timecode.match(words[2]).hasMatch()) {
        m_print(QStringLiteral("not a timecode: %1 (HH:MM:SS:FF)").arg(words[2]));
        return;
    }
    const QString tcFormat = words.value(3);
    if (!tcFormat.isEmpty() && !format.match(tcFormat).hasMatch()) {
        m_print(QStringLiteral("not a format: %1 (like 25|0|0 or 30|1|1)").arg(tcFormat));
        return;
    }
    QString problem;
    const QJsonObject reading = ScanStore::readingAt(QDateTime::currentDateTime(), words[2], tcFormat);
    if (!m_service.scans().complete(words[1], reading, {}, {}, problem)) {
        m_print(problem);
        return;
    }
    m_print(QStringLiteral("scan %1 done: %2").arg(words[1], words[2]));
}

} // namespace standin
