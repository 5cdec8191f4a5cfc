#pragma once

#include "FaultPlan.h"
#include "HttpConnection.h"
#include "HttpMessage.h"
#include "LoopbackListener.h"
#include "WebSocketLink.h"

#include <QObject>
#include <QPointer>

class QSocketNotifier;
class QTimer;

namespace standin {

class LiveSocket;
class StandinService;
struct TransportStats;

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
    // Takes waiting connections while there is room; past that they wait in the kernel's queue.
    void takeConnections();
    // Stops accepting for a while after a failed accept: out of descriptors, trying again at once
    // would only fail again.
    void backOff();
    // Watches for waiting connections only while they can be taken.
    void updateWatch();
    void serve(HttpConnection& connection, const Request& request);
    void upgrade(HttpConnection& connection, const RequestHead& head);
    void applyFault(const Fault& fault, const Request& request, HttpConnection& connection);
    void act(const Fault& fault, const Request& request, const QPointer<HttpConnection>& connection);

    StandinService& m_service;
    TransportStats& m_transport;
    const ServerLimits m_limits;
    LoopbackListener m_listener;
    QSocketNotifier* m_waiting = nullptr; // a connection waits to be accepted
    QTimer* m_retry = nullptr;            // the end of a back-off
    LiveSocket* m_live = nullptr;
    int m_backoffMs = 0;   // the wait before accepting again after a failure; 0 while accepts work
    int m_connections = 0; // sockets open, HTTP and WebSocket
};

} // namespace standin
