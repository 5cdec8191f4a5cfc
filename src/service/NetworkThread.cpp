#include "service/NetworkThread.h"

#include "service/ReplyWatch.h"
#include "service/ServiceUrl.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>

#include <utility>

namespace {

// The session cookie is ours to send; the network layer must neither keep what the service sets
// nor add anything of its own.
class NoCookieJar final : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

} // namespace

// The network thread's side: its manager and the exchanges in flight, by number.
class NetworkThread::Lane final : public QObject {
public:
    Lane(QString baseUrl, NetworkThread* owner) : m_baseUrl(std::move(baseUrl)), m_owner(owner) {}

    void send(quint64 id, const QNetworkRequest& request, const QByteArray& method, EncodedBody body,
              std::chrono::milliseconds silence)
    {
        if (!m_network)
            m_network = makeManager(m_baseUrl, this);
        SocketQueues::Written writtenBefore = SocketQueues::written();
        QNetworkReply* reply = nullptr;
        if (body.isWhole()) {
            reply = m_network->sendCustomRequest(request, method, body.joined());
        } else {
            // Read from its pieces as it goes up: the body is never joined into one array.
            std::unique_ptr<QIODevice> device = body.takeDevice();
            QNetworkRequest sized = request;
            sized.setHeader(QNetworkRequest::ContentLengthHeader, device->size());
            reply = m_network->sendCustomRequest(sized, method, device.get());
            device.release()->setParent(reply);
        }
        // From here the reply holds the body, and frees it with itself on this thread.
        body = EncodedBody();
        NetworkThread* owner = m_owner;
        m_watches.insert(id, ReplyWatch::watch(
                                 reply, silence,
                                 [this, owner, id](ServiceResult<ServiceReply> result) {
                                     m_watches.remove(id);
                                     QMetaObject::invokeMethod(
                                         owner,
                                         [owner, id, result = std::move(result)]() mutable {
                                             owner->answered(id, std::move(result));
                                         },
                                         Qt::QueuedConnection);
                                 },
                                 std::move(writtenBefore)));
    }

    void abort(quint64 id)
    {
        if (ReplyWatch* watch = m_watches.value(id))
            watch->abort();
    }

private:
    const QString m_baseUrl;
    NetworkThread* const m_owner;
    QNetworkAccessManager* m_network = nullptr;
    QHash<quint64, QPointer<ReplyWatch>> m_watches;
};

NetworkThread::NetworkThread(const QString& baseUrl, QObject* parent) : QObject(parent), m_lane(new Lane(baseUrl, this))
{
    m_thread.setObjectName(QStringLiteral("Pindle uploads"));
    m_lane->moveToThread(&m_thread);
    // The lane, its manager and what is still in flight go with the thread, on the thread.
    connect(&m_thread, &QThread::finished, m_lane, &QObject::deleteLater);
    m_thread.start();
}

NetworkThread::~NetworkThread()
{
    m_thread.quit();
    m_thread.wait();
}

QNetworkAccessManager* NetworkThread::makeManager(const QString& baseUrl, QObject* parent)
{
    auto* network = new QNetworkAccessManager(parent);
    network->setCookieJar(new NoCookieJar(network));
    network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    if (ServiceUrl::isLoopbackHost(QUrl(baseUrl).host()))
        network->setProxy(QNetworkProxy::NoProxy);
    return network;
}

void NetworkThread::send(const QNetworkRequest& request, const QByteArray& method, EncodedBody body,
                         std::chrono::milliseconds silence, Clock& clock, std::chrono::milliseconds deadline, Done done)
{
    const quint64 id = ++m_lastId;
    Lane* lane = m_lane;
    Waiting& waiting = m_waiting[id];
    waiting.done = std::move(done);
    waiting.deadline = clock.makeTimer([lane, id] {
        QMetaObject::invokeMethod(
            lane, [lane, id] { lane->abort(id); }, Qt::QueuedConnection);
    });
    waiting.deadline->setSingleShot(true);
    waiting.deadline->start(deadline);
    QMetaObject::invokeMethod(
        lane,
        [lane, id, request, method, body = std::move(body), silence]() mutable {
            lane->send(id, request, method, std::move(body), silence);
        },
        Qt::QueuedConnection);
}

QObject* NetworkThread::exchanges() const
{
    return m_lane;
}

void NetworkThread::answered(quint64 id, ServiceResult<ServiceReply> result)
{
    const auto found = m_waiting.find(id);
    if (found == m_waiting.end())
        return;
    Done done = std::move(found->second.done);
    m_waiting.erase(found);
    done(std::move(result));
}
