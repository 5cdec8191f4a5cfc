#pragma once

#include "FaultPlan.h"
#include "HttpMessage.h"

#include <QAbstractHttpServer>
#include <QPointer>

namespace standin {

class LiveSocket;
class StandinService;

// The HTTP side of the stand-in. QAbstractHttpServer parses each request; the answer is then
// written to the connection here, byte for byte, so that a fault can hold it back, replace it
// or cut the connection without one.
//
// WebSocket upgrades on the same port are taken by QAbstractHttpServer itself and announced
// with newWebSocketConnection(); the streaming socket (LiveSocket) takes them once set.
class StandinServer : public QAbstractHttpServer {
    Q_OBJECT

public:
    // Larger request bodies are answered 413 without being handled.
    static constexpr qsizetype kMaxBodyBytes = 8 * 1024 * 1024;

    explicit StandinServer(StandinService& service, QObject* parent = nullptr);

    // Listens on 127.0.0.1 only; `port` 0 picks a free one. Returns the port, or 0 on failure.
    [[nodiscard]] quint16 listenOnLoopback(quint16 port);

    // Serves the streaming socket "/ws" and its control routes through `live`, which must
    // outlive the server.
    void setLiveSocket(LiveSocket& live);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    void applyFault(const Fault& fault, const Request& request, QTcpSocket* socket, bool closeAfter);
    void act(const Fault& fault, const Request& request, const QPointer<QTcpSocket>& socket, bool closeAfter);
    static void write(QTcpSocket* socket, const Reply& reply, bool closeAfter);

    StandinService& m_service;
    LiveSocket* m_live = nullptr;
};

// The request as the routes see it; exposed for tests of the path decoding.
[[nodiscard]] Request toRequest(const QHttpServerRequest& request);

} // namespace standin
