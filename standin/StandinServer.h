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
    // Connections at once (HTTP and WebSocket); past this, new ones wait in the kernel's queue
    // until one closes. See connectionBudget().
    int maxConnections = 256;
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

    // The connections the process's descriptor limit leaves room for, after those kept for
    // everything else: the console, model files, a wake-up descriptor per decoding thread
    // (`streams`), and the sanitizers' own probes in test builds. Connections must never take the
    // last descriptors: accepting then fails, and anything else that needs one with it.
    [[nodiscard]] static int connectionBudget(int streams);

    // Serves the streaming socket "/ws" and its control routes through `live`, which must
    // outlive the server.
    void setLiveSocket(LiveSocket& live) { m_live = &live; }

private:
    // Takes accepted connections while there is room. Past that one waits in Qt's queue, which
    // then stops accepting until it is taken.
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
    int m_backoffMs = 0;   // the wait before accepting again after a failure; 0 while accepts work
    int m_connections = 0; // sockets open, HTTP and WebSocket
};

} // namespace standin
