#pragma once

#include "FaultPlan.h"
#include "HttpConnection.h"
#include "HttpMessage.h"
#include "WebSocketLink.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>

namespace standin {

class LiveSocket;
class StandinService;

struct ServerLimits {
    HttpLimits http;
    WebSocketLimits webSocket;
};

// The transport of the stand-in: accepts connections on 127.0.0.1, reads their requests
// (HttpConnection), applies the faults a test asked for and writes the service's answers. WebSocket
// upgrades to "/ws" go to the streaming socket (LiveSocket) once set.
class StandinServer : public QObject {
    Q_OBJECT

public:
    StandinServer(StandinService& service, const ServerLimits& limits = {}, QObject* parent = nullptr);

    // Listens on 127.0.0.1 only; `port` 0 picks a free one. Returns the port, or 0 on failure.
    [[nodiscard]] quint16 listenOnLoopback(quint16 port);

    // Serves the streaming socket "/ws" and its control routes through `live`, which must
    // outlive the server.
    void setLiveSocket(LiveSocket& live) { m_live = &live; }

private:
    void takeConnections();
    void onAcceptError();
    void serve(HttpConnection& connection, const Request& request);
    void upgrade(HttpConnection& connection, const RequestHead& head);
    void applyFault(const Fault& fault, const Request& request, HttpConnection& connection);
    void act(const Fault& fault, const Request& request, const QPointer<HttpConnection>& connection);

    StandinService& m_service;
    const ServerLimits m_limits;
    QTcpServer m_listener;
    LiveSocket* m_live = nullptr;
    int m_backoffMs = 0; // the wait before accepting again after a failure; 0 while accepts work
};

} // namespace standin
