#include "WebSocketLink.h"

#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

namespace standin {

namespace {

constexpr qint64 kReadAheadBytes = 64 * 1024;
// Frames a client leaves unread beyond this end the connection: memory is not its mailbox.
constexpr qint64 kMaxUnsentBytes = 8 * 1024 * 1024;
// After our close frame, how long the client has to answer it.
constexpr int kCloseGraceMs = 2000;

} // namespace

WebSocketLink::WebSocketLink(QTcpSocket* socket, Request upgrade, const QByteArray& rest, const WebSocketLimits& limits,
                             QObject* parent)
    : QObject(parent), m_socket(socket), m_request(std::move(upgrade)), m_limits(limits),
      m_reader(limits.maxMessageBytes), m_deadline(new QTimer(this))
{
    socket->setParent(this);
    socket->setReadBufferSize(kReadAheadBytes);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_closeSent)
            abort();
        else
            close(ws::kGoingAway, QStringLiteral("idle"));
    });
    connect(socket, &QTcpSocket::readyRead, this, &WebSocketLink::readFrames);
    connect(socket, &QTcpSocket::disconnected, this, &WebSocketLink::onDisconnected);
    m_deadline->start(m_limits.idleTimeoutMs);
    m_reader.append(rest);
    QMetaObject::invokeMethod(this, &WebSocketLink::readFrames, Qt::QueuedConnection);
}

WebSocketLink::~WebSocketLink()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void WebSocketLink::readFrames()
{
    if (!m_socket)
        return;
    const QByteArray bytes = m_socket->readAll();
    // After the client's close nothing it sends counts.
    if (m_closeReceived)
        return;
    m_reader.append(bytes);
    // Frames may end the connection or its owner's interest: check the socket on each turn.
    while (m_socket && !m_closeReceived) {
        const std::optional<ws::Incoming> incoming = m_reader.next();
        if (!incoming)
            break;
        if (!m_closeSent)
            m_deadline->start(m_limits.idleTimeoutMs);
        switch (incoming->opcode) {
        case ws::Opcode::Text:
            if (!m_closeSent)
                Q_EMIT textReceived(incoming->payload);
            break;
        case ws::Opcode::Binary:
            if (!m_closeSent)
                Q_EMIT binaryReceived(incoming->payload);
            break;
        case ws::Opcode::Ping:
            send(ws::Opcode::Pong, incoming->payload);
            break;
        case ws::Opcode::Close: {
            m_closeReceived = true;
            m_closeCode =
                incoming->payload.size() >= 2 ? qFromBigEndian<quint16>(incoming->payload.constData()) : ws::kNoStatus;
            // Answered with the same code; the server ends the TCP connection first.
            if (!m_closeSent) {
                m_closeSent = true;
                send(ws::Opcode::Close, incoming->payload.left(2));
            }
            if (m_socket)
                m_socket->disconnectFromHost();
            break;
        }
        case ws::Opcode::Pong:
        case ws::Opcode::Continuation:
            break;
        }
    }
    if (m_socket && m_reader.failure() != 0 && !m_closeSent) {
        // A client that breaks the framing is failed: its close frame goes out, then the
        // connection, without waiting for an answer that may never come.
        close(m_reader.failure(), m_reader.problem());
        if (m_socket)
            m_socket->disconnectFromHost();
    }
}

void WebSocketLink::sendText(const QByteArray& utf8)
{
    if (isOpen())
        send(ws::Opcode::Text, utf8);
}

void WebSocketLink::sendBinary(const QByteArray& bytes)
{
    if (isOpen())
        send(ws::Opcode::Binary, bytes);
}

void WebSocketLink::close(int code, const QString& reason)
{
    if (!isOpen())
        return;
    m_closeSent = true;
    m_closeCode = code;
    send(ws::Opcode::Close, ws::closePayload(code, reason));
    m_deadline->start(kCloseGraceMs);
}

void WebSocketLink::abort()
{
    if (m_socket)
        m_socket->abort();
    onDisconnected();
}

void WebSocketLink::send(ws::Opcode opcode, QByteArrayView payload)
{
    if (!m_socket)
        return;
    if (m_socket->bytesToWrite() > kMaxUnsentBytes) {
        abort();
        return;
    }
    m_socket->write(ws::encodeFrame(opcode, payload));
}

void WebSocketLink::onDisconnected()
{
    if (m_ended)
        return;
    m_ended = true;
    m_deadline->stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    Q_EMIT disconnected();
}

} // namespace standin
