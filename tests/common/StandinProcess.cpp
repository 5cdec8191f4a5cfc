#include "common/StandinProcess.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

namespace {
constexpr int kStartTimeoutMs = 10'000;
constexpr int kRequestTimeoutMs = 10'000;
constexpr int kStopTimeoutMs = 5'000;
} // namespace

QJsonObject StandinProcess::Answer::json() const
{
    return QJsonDocument::fromJson(body).object();
}

QByteArray StandinProcess::Answer::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QString StandinProcess::executable()
{
    return QStringLiteral(PINDLE_STANDIN_EXE);
}

StandinProcess::StandinProcess(const QStringList& extraArguments, bool fixedCode, const QStringList& launcher)
    : m_process(std::make_unique<QProcess>())
{
    // The tests' own requests carry exactly the cookies they name, and go straight to loopback.
    m_network.setProxy(QNetworkProxy::NoProxy);

    QStringList arguments{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--test-control")};
    if (fixedCode)
        arguments << QStringLiteral("--code") << QString::fromLatin1(kCode);
    arguments += extraArguments;
    if (launcher.isEmpty()) {
        m_process->setProgram(executable());
    } else {
        m_process->setProgram(launcher.first());
        arguments = launcher.mid(1) + QStringList{executable()} + arguments;
    }
    m_process->setArguments(arguments);
    // Sanitizer reports and warnings of the stand-in show up in the test's output.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start();
    if (!m_process->waitForStarted(kStartTimeoutMs)) {
        m_failure = QStringLiteral("cannot start %1: %2").arg(m_process->program(), m_process->errorString());
        return;
    }
    static const QRegularExpression listening(
        QStringLiteral("^pindle-standin listening on (http://127\\.0\\.0\\.1:\\d+)$"),
        QRegularExpression::MultilineOption);
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        m_output += m_process->readAllStandardOutput();
        const auto match = listening.match(QString::fromUtf8(m_output));
        if (match.hasMatch()) {
            m_baseUrl = QUrl(match.captured(1));
            m_ready = true;
            return;
        }
        if (m_process->state() != QProcess::Running)
            break;
        m_process->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    m_failure =
        QStringLiteral("pindle-standin did not report listening; it printed: %1").arg(QString::fromUtf8(m_output));
}

StandinProcess::~StandinProcess()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    m_process->kill();
    m_process->waitForFinished(kStopTimeoutMs);
}

StandinProcess::Answer StandinProcess::request(const QByteArray& method, const QString& pathAndQuery,
                                               const QByteArray& body, const QString& cookie)
{
    Answer answer;
    QNetworkRequest request(QUrl(m_baseUrl.toString() + pathAndQuery));
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(kRequestTimeoutMs);
    if (!cookie.isEmpty())
        request.setRawHeader("Cookie", cookie.toUtf8());
    if (method != "GET")
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));

    QNetworkReply* reply = m_network.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(kRequestTimeoutMs + 1000, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished())
        reply->abort();

    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    answer.headers = reply->rawHeaderPairs();
    if (answer.status == 0)
        answer.error = reply->errorString();
    reply->deleteLater();
    return answer;
}

QJsonObject StandinProcess::control(const QString& path, const QJsonObject& body)
{
    const QString full = path.startsWith(u'/') ? path : QStringLiteral("/__control/") + path;
    return request("POST", full, QJsonDocument(body).toJson(QJsonDocument::Compact)).json();
}

QJsonObject StandinProcess::state()
{
    return request("GET", QStringLiteral("/__control/state")).json();
}

QJsonObject StandinProcess::shoot(const QString& token)
{
    for (const QJsonValue& value : state().value(QStringLiteral("shoots")).toArray())
        if (value[QStringLiteral("token")].toString() == token)
            return value.toObject();
    return {};
}

QStringList StandinProcess::markerIDs(const QString& token)
{
    QStringList ids;
    for (const QJsonValue& marker : shoot(token).value(QStringLiteral("markers")).toArray())
        ids.append(marker[QStringLiteral("id")].toString());
    ids.sort();
    return ids;
}

QString StandinProcess::signIn(const QString& email)
{
    const QJsonObject body{{QStringLiteral("email"), email}, {QStringLiteral("code"), code()}};
    const Answer answer = request("POST", QStringLiteral("/auth/verify"), QJsonDocument(body).toJson());
    const QString sid = answer.json().value(QStringLiteral("sid")).toString();
    if (!sid.isEmpty())
        return QStringLiteral("sid=") + sid;
    // With the "sid" field switched off the cookie comes only in the header.
    return QString::fromUtf8(answer.header("Set-Cookie").split(';').value(0).trimmed());
}

void StandinProcess::sendConsole(const QByteArray& line)
{
    m_process->write(line.endsWith('\n') ? line : line + '\n');
    m_process->waitForBytesWritten(kStopTimeoutMs);
}

QByteArray StandinProcess::output()
{
    m_output += m_process->readAllStandardOutput();
    return m_output;
}

bool StandinProcess::waitForOutput(const QByteArray& needle, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!output().contains(needle)) {
        if (deadline.hasExpired() || m_process->state() != QProcess::Running)
            return false;
        m_process->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

int StandinProcess::stop()
{
    if (m_process->state() == QProcess::NotRunning)
        return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
    sendConsole("quit");
    if (!m_process->waitForFinished(kStopTimeoutMs)) {
        m_process->kill();
        m_process->waitForFinished(kStopTimeoutMs);
        return -1;
    }
    m_output += m_process->readAllStandardOutput();
    return m_process->exitStatus() == QProcess::NormalExit ? m_process->exitCode() : -1;
}
