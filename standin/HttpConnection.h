#pragma once

#include "HttpHead.h"
#include "HttpMessage.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

#include <QTcpSocket>
class QTimer;

namespace standin {

struct HttpLimits {
    // Larger bodies are answered 413 without being read, unless the connection's bodyLimit allows
    // more for that request.
    qint64 maxBodyBytes = 8 * 1024 * 1024;
    qsizetype maxHeadBytes = 64 * 1024; // a longer head is answered 431
    // A connection that has not delivered a whole request this long after it opened or after
    // its last answer is closed, idle or dripping alike.
    int idleTimeoutMs = 60'000;
};

// One client connection: reads requests one after the other (keep-alive and pipelining), hands
// each to onRequest, and writes the answers in order. The head is checked before any of the
// body is read. Deletes itself when the connection ends.
class HttpConnection : public QObject {
    Q_OBJECT

public:
    // Takes `socket` (it becomes a child).
    HttpConnection(QTcpSocket* socket, const HttpLimits& limits, QObject* parent = nullptr);

    // Each whole request; answer it with reply() or drop(), at once or later.
    std::function<void(HttpConnection& connection, const Request& request)> onRequest;
    // A WebSocket upgrade, before any of what follows its head is read: answer it with reply()
    // (the connection then ends) or take the socket with takeSocket(), at once.
    std::function<void(HttpConnection& connection, const RequestHead& head)> onUpgrade;
    // The most a request may send as its body, from its head; unset: HttpLimits::maxBodyBytes.
    std::function<qint64(const RequestHead& head)> bodyLimit;
    // The connection is being closed for taking too long.
    std::function<void()> onTimedOut;
    // What the connection holds after each round of reading and answering: bytes received but
    // not yet handled, and answers not yet sent.
    std::function<void(qint64 bytes)> onHeld;

    // Answers the request handed out last. Closes the connection afterwards when the request
    // asked for that, came as HTTP/1.0 or was an upgrade.
    void reply(const Reply& reply);
    // Cuts the connection without an answer.
    void drop();
    // Hands the socket over after an upgrade, with the bytes already read past the head; this
    // object then deletes itself.
    [[nodiscard]] QTcpSocket* takeSocket(QByteArray& rest);

private:
    enum class State { Reading, Handling, Closing };

    void process();
    // Reads from the socket no more than the request under way can use: up to the longest head,
    // or the rest of its body. What lies beyond waits in the socket, so the buffer stays bounded
    // however many requests a client sends ahead. Whether anything was read.
    bool readWanted();
    // Where the blank line that ends the head begins, or -1; `bodyStart` is where the body
    // begins. Resumes where the last call stopped: a head arriving in pieces is scanned once.
    qsizetype headEnd(qsizetype& bodyStart);
    // Reads a head from the buffer; false when more bytes are needed or the connection ends.
    bool takeHead();
    // The body of the request whose head was taken, once the buffer holds it.
    QByteArray takeBody();
    void refuse(int status, const QString& message);
    void write(const Reply& reply, bool closeAfter);
    // Ends the connection once the answer is out, reading on (and dropping) what the client
    // still sends for a moment, so that its last bytes do not turn the close into a reset that
    // would lose the answer.
    void closeAfterWriting();
    void onTimeout();

    QPointer<QTcpSocket> m_socket;
    const HttpLimits m_limits;
    QTimer* m_deadline = nullptr;
    QByteArray m_buffer;
    qsizetype m_scanned = 0;           // how far m_buffer has been searched for the end of the head
    std::optional<RequestHead> m_head; // of the request being read or handled
    State m_state = State::Reading;
    bool m_processing = false;
    bool m_turnQueued = false; // the next requests wait for the event loop's next pass
    bool m_writeShut = false;
};

} // namespace standin
