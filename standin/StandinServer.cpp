#include "StandinServer.h"

#include "LiveSocket.h"
#include "StandinService.h"

#include <QHostAddress>
#include <QHttpServerRequest>
#include <QTcpSocket>
#include <QTimer>

namespace standin {

namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return "GET";
    case QHttpServerRequest::Method::Put:
        return "PUT";
    case QHttpServerRequest::Method::Delete:
        return "DELETE";
    case QHttpServerRequest::Method::Post:
        return "POST";
    case QHttpServerRequest::Method::Head:
        return "HEAD";
    case QHttpServerRequest::Method::Options:
        return "OPTIONS";
    case QHttpServerRequest::Method::Patch:
        return "PATCH";
    case QHttpServerRequest::Method::Connect:
        return "CONNECT";
    case QHttpServerRequest::Method::Trace:
        return "TRACE";
    default:
        return "UNKNOWN";
    }
}

const QByteArray kNotJsonPage = "<!doctype html>\n<html><body><h1>Bad gateway</h1></body></html>\n";

} // namespace

Request toRequest(const QHttpServerRequest& request)
{
    Request out;
    out.method = methodName(request.method());
    const QUrl url = request.url();
    out.segments = decodePathSegments(url.path(QUrl::FullyEncoded).toLatin1());
    out.path = u'/' + out.segments.join(u'/');
    out.query = QUrlQuery(url.query(QUrl::FullyEncoded));
    out.headers = request.headers();
    out.body = request.body();
    return out;
}

StandinServer::StandinServer(StandinService& service, QObject* parent) : QAbstractHttpServer(parent), m_service(service)
{
}

void StandinServer::setLiveSocket(LiveSocket& live)
{
    m_live = &live;
    live.attach(*this);
}

quint16 StandinServer::listenOnLoopback(quint16 port)
{
    return listen(QHostAddress(QHostAddress::LocalHost), port);
}

void StandinServer::write(QTcpSocket* socket, const Reply& reply, bool closeAfter)
{
    socket->write(encodeReply(reply, closeAfter));
    if (closeAfter)
        socket->disconnectFromHost();
}

bool StandinServer::handleRequest(const QHttpServerRequest& httpRequest, QTcpSocket* socket)
{
    const Request request = toRequest(httpRequest);
    const bool closeAfter = request.header("connection").compare("close", Qt::CaseInsensitive) == 0;
    if (m_live) {
        // Qt 6.4 hands an upgrade to its WebSocket server only when this returns true without
        // having answered.
        if (request.header("upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
            return true;
        if (const auto reply = m_live->handleControl(request)) {
            write(socket, *reply, closeAfter);
            return true;
        }
    }
    const bool control = StandinService::isControlPath(request);
    if (!control)
        m_service.requests().record(request);

    if (request.body.size() > kMaxBodyBytes) {
        write(socket, errorReply(413, QStringLiteral("body larger than 8 MiB")), closeAfter);
        return true;
    }
    if (!control) {
        if (const auto fault = m_service.faults().take(request)) {
            applyFault(*fault, request, socket, closeAfter);
            return true;
        }
    }
    write(socket, m_service.handle(request), closeAfter);
    return true;
}

void StandinServer::applyFault(const Fault& fault, const Request& request, QTcpSocket* socket, bool closeAfter)
{
    const QPointer<QTcpSocket> guarded(socket);
    if (fault.delayMs <= 0) {
        act(fault, request, guarded, closeAfter);
        return;
    }
    // The socket is the timer's context: a client that gives up first cancels the answer. A slow
    // request is handled only when the delay ends, as a slow service would.
    QTimer::singleShot(fault.delayMs, socket,
                       [this, fault, request, guarded, closeAfter] { act(fault, request, guarded, closeAfter); });
}

void StandinServer::act(const Fault& fault, const Request& request, const QPointer<QTcpSocket>& socket, bool closeAfter)
{
    if (!socket || socket->state() != QAbstractSocket::ConnectedState)
        return;
    switch (fault.kind) {
    case FaultKind::Slow:
        write(socket, m_service.handle(request), closeAfter);
        return;
    case FaultKind::Status:
        write(socket, errorReply(fault.status, QStringLiteral("injected fault")), closeAfter);
        return;
    case FaultKind::NonJson:
        write(socket, htmlReply(kNotJsonPage), closeAfter);
        return;
    case FaultKind::Empty:
        write(socket, Reply{}, closeAfter);
        return;
    case FaultKind::Answer: {
        Reply reply;
        reply.status = fault.status;
        reply.headers = fault.headers;
        reply.body = fault.body;
        write(socket, reply, closeAfter);
        return;
    }
    case FaultKind::Drop:
        socket->abort();
        return;
    }
}

void StandinServer::missingHandler(const QHttpServerRequest&, QTcpSocket* socket)
{
    // handleRequest answers every request itself; this is only reached if that ever changes.
    write(socket, errorReply(404, QStringLiteral("not found")), true);
}

} // namespace standin
