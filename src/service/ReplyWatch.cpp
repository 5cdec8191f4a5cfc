#include "service/ReplyWatch.h"

#include <QHostInfo>
#include <QNetworkReply>

#include <algorithm>
#include <utility>

namespace {

using namespace std::chrono_literals;

// Whether the network layer's error only restates the HTTP status of a complete answer (4xx,
// 5xx; 400 is reported as an invalid operation) rather than a failed transfer. Below 400 a
// content error is the body's own failure (one that would not decompress), not the status.
bool isStatusError(QNetworkReply::NetworkError error, int status)
{
    return error == QNetworkReply::NoError ||
           (status >= 400 &&
            ((error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
             error == QNetworkReply::ProtocolInvalidOperationError ||
             (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError)));
}

} // namespace

ReplyWatch* ReplyWatch::watch(QNetworkReply* reply, std::chrono::milliseconds silence, Done done,
                              SocketQueues::Written writtenBefore)
{
    return new ReplyWatch(reply, silence, std::move(done), std::move(writtenBefore));
}

ReplyWatch::ReplyWatch(QNetworkReply* reply, std::chrono::milliseconds silence, Done done,
                       SocketQueues::Written writtenBefore)
    : QObject(reply), m_reply(reply), m_silenceLimit(silence), m_done(std::move(done)),
      m_silence(Clock::system().makeTimer([this] { abort(); })), m_writtenBefore(std::move(writtenBefore))
{
    // Silence ends the exchange, but not while the body is still going up: Qt reports upload
    // progress only as the socket's buffers drain, so on a slow link a large body goes quiet for
    // longer than the timeout between bursts (Qt's own transfer timeout cannot be paused for it).
    // The deadline bounds the sending. Silence is real time, like the network's own timers.
    m_silence->setSingleShot(true);
    m_silence->start(m_silenceLimit);
    connect(reply, &QNetworkReply::uploadProgress, this, &ReplyWatch::sent);
    connect(reply, &QNetworkReply::downloadProgress, this, &ReplyWatch::heard);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        // The answer has begun: the peer has taken what it wanted of the body.
        m_answerBegun = true;
        m_drainPoll.reset();
        heard();
        bool known = false;
        const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > APIService::kMaxBodyBytes && !m_tooLarge) {
            m_tooLarge = true;
            m_reply->abort();
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, &ReplyWatch::take);
    connect(reply, &QNetworkReply::finished, this, &ReplyWatch::finish);
}

void ReplyWatch::setDeadline(Clock& clock, std::chrono::milliseconds span)
{
    m_deadline = clock.makeTimer([this] { abort(); });
    m_deadline->setSingleShot(true);
    m_deadline->start(span);
}

void ReplyWatch::abort()
{
    if (m_reply->isRunning())
        m_reply->abort();
}

void ReplyWatch::heard()
{
    if (m_silence && !m_sending)
        m_silence->start(m_silenceLimit);
}

void ReplyWatch::sent(qint64 sent, qint64 total)
{
    m_sending = total > 0 && sent < total;
    if (m_sending) {
        if (m_silence)
            m_silence->stop();
        return;
    }
    heard();
    // "All sent" is Qt handing the last bytes to the socket, not the peer reading them: on a slow
    // link its kernel and ours may still hold megabytes of the body. While they do, it is not
    // silence. Polled on real time, like the silence itself.
    // (Qt may send the body again, on a new connection, when a kept-alive one was found closed.)
    if (total > 0 && !m_answerBegun && m_silence && SocketQueues::isSupported()) {
        m_bodySize = total;
        if (!m_drainPoll) {
            findPeer();
            m_drainPoll = Clock::system().makeTimer([this] { watchDrain(); });
        }
        if (!m_drainPoll->isActive())
            m_drainPoll->start(std::clamp<std::chrono::milliseconds>(m_silenceLimit / 4, 50ms, 250ms));
        watchDrain();
    }
}

void ReplyWatch::findPeer()
{
    const QUrl url = m_reply->url();
    m_peer.port = quint16(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
    const QString host = url.host();
    if (QHostAddress address; address.setAddress(host)) {
        m_peer.addresses = {address};
        return;
    }
    // The network layer has just looked the host up: the answer comes from the lookup cache. Until
    // it comes no connection is the request's, and silence counts.
    QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) { m_peer.addresses = info.addresses(); });
}

void ReplyWatch::watchDrain()
{
    switch (SocketQueues::bodyState(m_writtenBefore, m_bodySize, m_peer)) {
    case SocketQueues::BodyState::Queued:
        heard();
        break;
    case SocketQueues::BodyState::Taken:
        // From here on waiting for the answer is silence.
        m_drainPoll->stop();
        break;
    case SocketQueues::BodyState::Unknown:
        // Not told apart (yet): silence counts, as it would without looking.
        break;
    }
}

void ReplyWatch::take()
{
    // A timed-out or aborted reply is closed and has nothing more to give.
    if (m_tooLarge || !m_reply->isOpen())
        return;
    if (m_body.size() + m_reply->bytesAvailable() > APIService::kMaxBodyBytes) {
        m_tooLarge = true;
        m_reply->abort();
        return;
    }
    m_body += m_reply->readAll();
}

void ReplyWatch::finish()
{
    m_drainPoll.reset();
    m_silence.reset();
    m_deadline.reset();
    m_reply->deleteLater();
    take();
    // Let go of the caller's captures now, on this thread, whatever `done` does.
    if (Done done = std::exchange(m_done, {}))
        done(outcome());
}

ServiceResult<ServiceReply> ReplyWatch::outcome()
{
    if (m_tooLarge)
        return ServiceError::tooLarge();
    const QNetworkReply::NetworkError error = m_reply->error();
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || !isStatusError(error, status.toInt())) {
        if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError)
            return ServiceError::timeout();
        if (error == QNetworkReply::NoError)
            return ServiceError::invalidResponse();
        return ServiceError::transport(m_reply->errorString());
    }
    ServiceReply answer;
    answer.status = status.toInt();
    answer.body = std::move(m_body);
    answer.setCookie = m_reply->rawHeader("Set-Cookie");
    return answer;
}
