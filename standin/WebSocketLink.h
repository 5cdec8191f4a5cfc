#pragma once

#include "HttpMessage.h"
#include "WebSocketFrames.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <QTcpSocket>
class QTimer;

namespace standin {

struct WebSocketLimits {
    qint64 maxMessageBytes = 1024 * 1024; // audio messages are a few KiB
    // A socket that completes no message or control frame this long is closed (1001), idle or
    // dripping alike.
    int idleTimeoutMs = 120'000;
};

// The server's side of one WebSocket, after the upgrade was answered: messages in and out, pings
// answered, the closing handshake. A fault in what the client sends (see ws::FrameReader) closes
// it with the matching code.
class WebSocketLink : public QObject {
    Q_OBJECT

public:
    // Takes `socket`; `rest` holds the bytes that came after the upgrade request.
    WebSocketLink(QTcpSocket* socket, Request upgrade, const QByteArray& rest, const WebSocketLimits& limits,
                  QObject* parent = nullptr);
    ~WebSocketLink() override;

    // The upgrade request: its path and headers.
    [[nodiscard]] const Request& request() const { return m_request; }
    [[nodiscard]] bool isOpen() const { return m_socket && !m_closeSent; }

    void sendText(const QByteArray& utf8);
    void sendBinary(const QByteArray& bytes);
    // Sends a close frame; the connection ends when the client answers it, or soon after.
    void close(int code, const QString& reason);
    // Cuts the connection without a close frame.
    void abort();

    // The code of the client's close frame, else of ours, else 1006 (cut).
    [[nodiscard]] int closeCode() const { return m_closeCode; }

Q_SIGNALS:
    void textReceived(const QByteArray& utf8);
    void binaryReceived(const QByteArray& bytes);
    // Once, when the TCP connection has ended.
    void disconnected();

private:
    void readFrames();
    void send(ws::Opcode opcode, QByteArrayView payload);
    void onDisconnected();

    QPointer<QTcpSocket> m_socket;
    const Request m_request;
    const WebSocketLimits m_limits;
    ws::FrameReader m_reader;
    QTimer* m_deadline = nullptr;
    bool m_closeSent = false;
    bool m_closeReceived = false;
    int m_closeCode = ws::kAbnormal;
    bool m_ended = false;
};

} // namespace standin
