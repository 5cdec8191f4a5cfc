#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QtGlobal>

#include <vector>

// What the kernel still holds of the bytes this process gave its TCP connections to send. Qt's
// network layer does not hand out its sockets, so a connection is known here by its socket's
// inode, the far end it goes to and how many bytes it has been given: a caller that knows where
// it sent how much can pick its own connection out of the list.
namespace SocketQueues {

struct Connection {
    // The socket's inode: unique among the sockets open at one time.
    quint64 inode = 0;
    // Bytes written to the connection since it opened: those the peer acknowledged, and those
    // still queued. As the kernel counts them: the opening (and the closing) each count as one
    // on the side that sent it.
    qint64 written = 0;
    // Bytes written and not yet acknowledged by the peer: unsent, or sent and not yet taken into
    // the peer's receive window.
    qint64 queued = 0;
    // The far end.
    QHostAddress peer;
    quint16 peerPort = 0;
};

// Where a request goes: its host's addresses and its port.
struct Peer {
    QList<QHostAddress> addresses;
    quint16 port = 0;

    [[nodiscard]] bool isFarEndOf(const Connection& connection) const;
};

// Whether this system tells (Linux does); elsewhere connections() is always empty.
[[nodiscard]] bool isSupported();

// Every TCP connection (IPv4 or IPv6) this process has open. Thread-safe.
[[nodiscard]] std::vector<Connection> connections();

// How many bytes each open connection had been given, by inode: taken before a request is made,
// so that none of its own bytes count as earlier traffic.
using Written = QHash<quint64, qint64>;
[[nodiscard]] Written written();

// Where a request body of `body` bytes sent to `peer` stands, going by the one connection to
// `peer` that has been given about that many bytes since `before`. Besides the body a connection
// carries the request's head and, over TLS, the handshake and the records' framing; and when Qt
// reports a body all sent, the last of it may still be in Qt's own socket buffer. A connection
// to another peer, or given much more or much less than the body, carried something else; when
// two connections to `peer` fit (the service's own streams go there too), neither is known to be
// the request's.
enum class BodyState {
    Queued,  // the kernel still holds some of it the peer has not taken in
    Taken,   // all of it reached the peer
    Unknown, // no connection could be told to be the one
};
[[nodiscard]] BodyState bodyState(const Written& before, qint64 body, const Peer& peer);

} // namespace SocketQueues
