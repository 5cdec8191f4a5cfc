#pragma once

// The built stand-in for a benchmark that talks to a real one: started with a fixed sign-in
// code on a free port, killed with this object. The benchmark names the program with the
// compile definition PINDLE_STANDIN_EXE.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QUrl>

class BenchStandin {
public:
    static constexpr char kCode[] = "424242";
    static constexpr int kTimeoutMs = 10'000;

    BenchStandin()
    {
        m_process.setProgram(QStringLiteral(PINDLE_STANDIN_EXE));
        m_process.setArguments(
            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--code"), QString::fromLatin1(kCode)});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(kTimeoutMs))
            return;
        static const QRegularExpression listening(
            QStringLiteral("^pindle-standin listening on (http://127\\.0\\.0\\.1:\\d+)$"),
            QRegularExpression::MultilineOption);
        QByteArray output;
        const QDeadlineTimer deadline(kTimeoutMs);
        while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
            output += m_process.readAllStandardOutput();
            const auto match = listening.match(QString::fromUtf8(output));
            if (match.hasMatch()) {
                m_baseUrl = match.captured(1);
                return;
            }
            m_process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
    }
    ~BenchStandin()
    {
        m_process.kill();
        m_process.waitForFinished(kTimeoutMs);
    }
    BenchStandin(const BenchStandin&) = delete;
    BenchStandin& operator=(const BenchStandin&) = delete;

    // Empty when it did not start.
    [[nodiscard]] const QString& baseUrl() const { return m_baseUrl; }
    [[nodiscard]] quint16 port() const { return quint16(QUrl(m_baseUrl).port()); }
    [[nodiscard]] qint64 processId() const { return m_process.processId(); }

private:
    QProcess m_process;
    QString m_baseUrl;
};
