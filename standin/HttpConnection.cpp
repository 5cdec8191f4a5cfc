#include "HttpConnection.h"

#include <QScopeGuard>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace standin {

namespace {

// Qt reads at most this much ahead of us, so a client sending faster than it is served meets
// the kernel's flow control instead of filling our memory.
constexpr qint64 kReadAheadBytes = 64 * 1024;
// Answers waiting to be sent beyond this hold the next request back, and the reading with it: a
// client that sends requests without reading the answers then waits on the kernel's flow control
// instead of making them pile up.
constexpr qint64 kMaxUnsentBytes = 1024 * 1024;
// Pipelined requests handled in one go before the other connections get their turn.
constexpr int kRequestsPerTurn = 16;
// What may follow the last character of a head's last line: "\n\r\n".
constexpr qsizetype kHeadEndBytes = 3;
// How long a closing connection still takes (and drops) what the client sends.
constexpr int kLingerMs = 2000;
constexpr qint64 kMiB = 1024 * 1024;

} // namespace

HttpConnection::HttpConnection(QTcpSocket* socket, const HttpLimits& limits, QObject* parent)
    : QObject(parent), m_socket(socket), m_limits(limits), m_deadline(new QTimer(this))
{
    socket->setParent(this);
    socket->setReadBufferSize(kReadAheadBytes);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, &HttpConnection::onTimeout);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::process);
    connect(socket, &QTcpSocket::bytesWritten, this, &HttpConnection::process);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    m_deadline->start(m_limits.idleTimeoutMs);
    // Bytes may have come before the socket was handed over.
    QMetaObject::invokeMethod(this, &HttpConnection::process, Qt::QueuedConnection);
}

void HttpConnection::process()
{
    if (!m_socket || m_processing)
        return;
    m_processing = true;
    const auto done = qScopeGuard([this] {
        m_processing = false;
        if (onHeld && m_socket)
            onHeld(m_buffer.size() + m_socket->bytesAvailable() + m_socket->bytesToWrite());
    });

    if (m_state == State::Closing) {
        m_socket->readAll();
        if (!m_writeShut && m_socket->bytesToWrite() == 0) {
            m_writeShut = true;
            ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR);
        }
        return;
    }
    // One turn of this connection per pass of the event loop, whatever woke it.
    if (m_turnQueued)
        return;
    int handled = 0;
    while (m_state == State::Reading && m_socket) {
        // Answers the client has not taken yet hold it back; bytesWritten resumes.
        if (m_socket->bytesToWrite() > kMaxUnsentBytes)
            return;
        if (handled == kRequestsPerTurn) {
            m_turnQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_turnQueued = false;
                    process();
                },
                Qt::QueuedConnection);
            return;
        }
        const bool received = readWanted();
        if (!m_head && !takeHead()) {
            // Blank lines dropped from the front may have made room for more of the head.
            if (received && m_state == State::Reading)
                continue;
            return;
        }
        if (m_state != State::Reading)
            return;
        if (m_buffer.size() < m_head->contentLength) {
            // The head just taken may have left some of its body in the socket.
            if (m_socket->bytesAvailable() > 0)
                continue;
            return;
        }
        const Request request = toRequest(*m_head, takeBody());
        m_state = State::Handling;
        m_deadline->stop();
        ++handled;
        if (onRequest)
            onRequest(*this, request);
    }
}

bool HttpConnection::readWanted()
{
    const qint64 wanted =
        m_head ? m_head->contentLength - m_buffer.size() : m_limits.maxHeadBytes + kHeadEndBytes - m_buffer.size();
    const qint64 size = std::min(wanted, m_socket->bytesAvailable());
    if (size <= 0)
        return false;
    m_buffer += m_socket->read(size);
    return true;
}

qsizetype HttpConnection::headEnd(qsizetype& bodyStart)
{
    const qsizetype size = m_buffer.size();
    for (qsizetype i = m_buffer.indexOf('\n', m_scanned); i >= 0; i = m_buffer.indexOf('\n', i + 1)) {
        const qsizetype next = i + 1 < size && m_buffer[i + 1] == '\r' ? i + 2 : i + 1;
        if (next >= size) {
            // Whether the next line is blank is not known yet: look here again.
            m_scanned = i;
            return -1;
        }
        if (m_buffer[next] == '\n') {
            bodyStart = next + 1;
            m_scanned = 0;
            return i;
        }
    }
    m_scanned = size;
    return -1;
}

bool HttpConnection::takeHead()
{
    qsizetype blank = 0;
    while (blank < m_buffer.size() && (m_buffer[blank] == '\r' || m_buffer[blank] == '\n'))
        ++blank;
    m_buffer.remove(0, blank);
    m_scanned = std::max<qsizetype>(0, m_scanned - blank);
    qsizetype bodyStart = 0;
    const qsizetype end = headEnd(bodyStart);
    if (end > m_limits.maxHeadBytes || (end < 0 && m_buffer.size() > m_limits.maxHeadBytes)) {
        refuse(431, QStringLiteral("request head larger than %1 KiB").arg(m_limits.maxHeadBytes / 1024));
        return false;
    }
    if (end < 0)
        return false;
    auto parsed = parseRequestHead(QByteArrayView(m_buffer).first(end));
    if (const auto* bad = std::get_if<HeadProblem>(&parsed)) {
        refuse(bad->status, bad->message);
        return false;
    }
    m_head = std::get<RequestHead>(std::move(parsed));
    m_buffer.remove(0, bodyStart);
    if (m_head->webSocket) {
        m_state = State::Handling;
        m_deadline->stop();
        if (onUpgrade)
            onUpgrade(*this, *m_head);
        else
            refuse(404, QStringLiteral("not found"));
        return false;
    }
    const qint64 maxBodyBytes = bodyLimit ? bodyLimit(*m_head) : m_limits.maxBodyBytes;
    if (m_head->contentLength > maxBodyBytes) {
        refuse(413, QStringLiteral("body larger than %1 MiB").arg(maxBodyBytes / kMiB));
        return false;
    }
    // A long body is read into one allocation of its size: grown piece by piece it would pass
    // through the heap, which keeps what it freed resident.
    if (m_head->contentLength > kReadAheadBytes)
        m_buffer.reserve(m_head->contentLength);
    if (m_head->expectContinue)
        m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
    return true;
}

QByteArray HttpConnection::takeBody()
{
    // A large body fills the buffer to the byte (reading stops at its end): it leaves whole
    // rather than as a copy, so that it is held once.
    if (m_buffer.size() == m_head->contentLength)
        return std::exchange(m_buffer, {});
    QByteArray body = m_buffer.left(m_head->contentLength);
    m_buffer.remove(0, m_head->contentLength);
    return body;
}

void HttpConnection::reply(const Reply& reply)
{
    if (!m_socket || m_state != State::Handling)
        return;
    const bool closeAfter = !m_head || !m_head->keepAlive || m_head->webSocket;
    write(reply, closeAfter);
    m_head.reset();
    if (closeAfter)
        return;
    m_state = State::Reading;
    m_deadline->start(m_limits.idleTimeoutMs);
    process();
}

void HttpConnection::drop()
{
    m_state = State::Closing;
    if (m_socket)
        m_socket->abort();
    deleteLater();
}

QTcpSocket* HttpConnection::takeSocket(QByteArray& rest)
{
    QTcpSocket* socket = m_socket;
    socket->disconnect(this);
    socket->setParent(nullptr);
    m_socket = nullptr;
    rest = std::exchange(m_buffer, {});
    m_scanned = 0;
    m_state = State::Closing;
    m_deadline->stop();
    deleteLater();
    return socket;
}

void HttpConnection::refuse(int status, const QString& message)
{
    write(errorReply(status, message), true);
}

void HttpConnection::write(const Reply& reply, bool closeAfter)
{
    QByteArray bytes = encodeReply(reply, closeAfter);
    // The answer to HEAD states the length of a body it leaves out.
    if (m_head && m_head->method == "HEAD")
        bytes.chop(reply.body.size());
    m_socket->write(bytes);
    if (closeAfter)
        closeAfterWriting();
}

void HttpConnection::closeAfterWriting()
{
    m_state = State::Closing;
    m_buffer.clear();
    m_scanned = 0;
    m_deadline->start(kLingerMs);
    if (!m_processing)
        process();
}

void HttpConnection::onTimeout()
{
    if (!m_socket || m_state == State::Closing) {
        drop();
        return;
    }
    if (onTimedOut)
        onTimedOut();
    // A request begun but not finished is told why; a quiet connection just ends.
    if (m_head || !m_buffer.isEmpty() || m_socket->bytesAvailable() > 0)
        refuse(408, QStringLiteral("the request took too long"));
    else
        closeAfterWriting();
}

} // namespace standin
