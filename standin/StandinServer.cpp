#include "StandinServer.h"

#include "LiveSocket.h"
#include "StandinService.h"

#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

namespace standin {

namespace {

const QByteArray kNotJsonPage = "<!doctype html>\n<html><body><h1>Bad gateway</h1></body></html>\n";
constexpr int kFirstBackoffMs = 50;
constexpr int kLongestBackoffMs = 2000;
constexpr qsizetype kWebSocketKeyBytes = 16;
constexpr rlim_t kReservedDescriptors = 32;
constexpr int kFewestConnections = 4;
constexpr int kMostConnections = 10'000;

} // namespace

StandinServer::StandinServer(StandinService& service, const ServerLimits& limits, QObject* parent)
    : QObject(parent), m_service(service), m_transport(service.transport()), m_limits(limits), m_retry(new QTimer(this))
{
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &StandinServer::takeConnections);
}

int StandinServer::connectionBudget(int streams)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return kMostConnections;
    const rlim_t kept = kReservedDescriptors + static_cast<rlim_t>(std::max(streams, 0));
    if (limit.rlim_cur <= kept + kFewestConnections)
        return kFewestConnections;
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur - kept, kMostConnections));
}

quint16 StandinServer::listenOnLoopback(quint16 port)
{
    delete m_waiting;
    m_waiting = nullptr;
    const quint16 listening = m_listener.listen(port);
    if (listening == 0)
        return 0;
    m_waiting = new QSocketNotifier(m_listener.descriptor(), QSocketNotifier::Read, this);
    connect(m_waiting, &QSocketNotifier::activated, this, &StandinServer::takeConnections);
    return listening;
}

void StandinServer::takeConnections()
{
    while (m_waiting && m_connections < m_limits.maxConnections) {
        const LoopbackListener::Accepted accepted = m_listener.accept();
        if (accepted.outcome == LoopbackListener::Outcome::NoneWaiting)
            break;
        if (accepted.outcome == LoopbackListener::Outcome::Failed) {
            backOff();
            return;
        }
        m_backoffMs = 0;
        auto* socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(accepted.descriptor)) {
            ::close(accepted.descriptor);
            delete socket;
            continue;
        }
        ++m_connections;
        connect(socket, &QObject::destroyed, this, [this] {
            --m_connections;
            // Its descriptor is free again: no need to wait out a back-off.
            m_retry->stop();
            takeConnections();
        });
        auto* connection = new HttpConnection(socket, m_limits.http, this);
        connection->onRequest = [this](HttpConnection& from, const Request& request) { serve(from, request); };
        connection->onUpgrade = [this](HttpConnection& from, const RequestHead& head) { upgrade(from, head); };
        connection->bodyLimit = [this](const RequestHead& head) {
            return m_service.bodyLimit(head.method, decodePathSegments(head.encodedPath))
                .value_or(m_limits.http.maxBodyBytes);
        };
        connection->onTimedOut = [this] { ++m_transport.timedOut; };
        connection->onHeld = [this](qint64 bytes) {
            m_transport.mostHeldBytes = std::max(m_transport.mostHeldBytes, bytes);
        };
    }
    updateWatch();
}

void StandinServer::backOff()
{
    ++m_transport.acceptFailures;
    m_backoffMs = qBound(kFirstBackoffMs, m_backoffMs * 2, kLongestBackoffMs);
    m_retry->start(m_backoffMs);
    updateWatch();
}

void StandinServer::updateWatch()
{
    if (m_waiting)
        m_waiting->setEnabled(m_connections < m_limits.maxConnections && !m_retry->isActive());
}

void StandinServer::serve(HttpConnection& connection, const Request& request)
{
    if (m_live) {
        if (const auto reply = m_live->handleControl(request)) {
            connection.reply(*reply);
            return;
        }
    }
    if (!StandinService::isControlPath(request)) {
        m_service.requests().record(request, m_service.knowsPath(request));
        if (const auto fault = m_service.faults().take(request)) {
            applyFault(*fault, request, connection);
            return;
        }
    }
    connection.reply(m_service.handle(request));
}

void StandinServer::upgrade(HttpConnection& connection, const RequestHead& head)
{
    Request request = toRequest(head, {});
    if (!m_live || request.path != QLatin1StringView("/ws")) {
        connection.reply(errorReply(404, QStringLiteral("not found")));
        return;
    }
    if (head.method != "GET" || !head.hasToken("connection", "upgrade")) {
        connection.reply(errorReply(400, QStringLiteral("a WebSocket upgrade is a GET with \"Connection: Upgrade\"")));
        return;
    }
    if (head.header("sec-websocket-version") != "13") {
        Reply reply = errorReply(426, QStringLiteral("WebSocket version 13 only"));
        reply.addHeader("Sec-WebSocket-Version", "13");
        connection.reply(reply);
        return;
    }
    const QByteArray key = head.header("sec-websocket-key");
    const auto decoded = QByteArray::fromBase64Encoding(key, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != kWebSocketKeyBytes) {
        connection.reply(errorReply(400, QStringLiteral("Sec-WebSocket-Key must be 16 bytes in base64")));
        return;
    }
    QByteArray rest;
    QTcpSocket* socket = connection.takeSocket(rest);
    // A 1xx answer carries no Content-Length, so it is written here rather than by encodeReply.
    socket->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Accept: " +
                  ws::acceptKey(key) + "\r\n\r\n");
    m_live->accept(std::make_unique<WebSocketLink>(socket, std::move(request), rest, m_limits.webSocket));
}

void StandinServer::applyFault(const Fault& fault, const Request& request, HttpConnection& connection)
{
    const QPointer<HttpConnection> guarded(&connection);
    if (fault.delayMs <= 0) {
        act(fault, request, guarded);
        return;
    }
    // The connection is the timer's context: a client that gives up first cancels the answer. A
    // slow request is handled only when the delay ends, as a slow service would.
    QTimer::singleShot(fault.delayMs, &connection, [this, fault, request, guarded] { act(fault, request, guarded); });
}

void StandinServer::act(const Fault& fault, const Request& request, const QPointer<HttpConnection>& connection)
{
    if (!connection)
        return;
    switch (fault.kind) {
    case FaultKind::Slow:
        connection->reply(m_service.handle(request));
        return;
    case FaultKind::Status:
        connection->reply(errorReply(fault.status, QStringLiteral("injected fault")));
        return;
    case FaultKind::NonJson:
        connection->reply(htmlReply(kNotJsonPage));
        return;
    case FaultKind::Empty:
        connection->reply(Reply{});
        return;
    case FaultKind::Answer: {
        Reply reply;
        reply.status = fault.status;
        reply.headers = fault.headers;
        reply.body = fault.body;
        connection->reply(reply);
        return;
    }
    case FaultKind::Drop:
        connection->drop();
        return;
    }
}

} // namespace standin
