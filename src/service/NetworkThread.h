#pragma once

#include "platform/Clock.h"
#include "service/APIService.h"

#include <QByteArray>
#include <QObject>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>
#include <unordered_map>

class QNetworkAccessManager;
class QNetworkRequest;

// Exchanges whose bodies may be large go through a QNetworkAccessManager on a thread of its own.
// Qt feeds a body to the socket through the thread that owns the manager (a queued round trip
// and a copy per ~16 KB chunk, with a progress event each), so on this thread the main one only
// hands a request over and takes the answer back.
//
// Threads: create, use and destroy it on the main thread; answers are delivered there. Destroying
// it stops and joins its thread: exchanges still going end there without an answer, and the
// bodies are let go of there.
class NetworkThread final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(ServiceResult<ServiceReply>)>;

    // `baseUrl` as the service's. The thread starts at once; its manager is made on first use.
    explicit NetworkThread(const QString& baseUrl, QObject* parent = nullptr);
    ~NetworkThread() override;

    // A manager set up as the service needs it: cookies are ours alone, redirects are not
    // followed, and the local stand-in is reached directly, never through a proxy that would see
    // the cookie.
    static QNetworkAccessManager* makeManager(const QString& baseUrl, QObject* parent);

    // Sends `body` to `request` with `method`, watched as ReplyWatch does with `silence`, and
    // ended `deadline` from now on `clock` (whose timers run on this thread). `done` runs once on
    // this thread, never before send() returns, and not at all once this object is gone.
    void send(const QNetworkRequest& request, const QByteArray& method, EncodedBody body,
              std::chrono::milliseconds silence, Clock& clock, std::chrono::milliseconds deadline, Done done);

    // The object on the network thread that parents the exchanges (their replies, and the buffers
    // their bodies are read from). Only that thread may look into it.
    [[nodiscard]] QObject* exchanges() const;

private:
    class Lane;
    struct Waiting {
        Done done;
        std::unique_ptr<Clock::Timer> deadline;
    };

    void answered(quint64 id, ServiceResult<ServiceReply> result);

    QThread m_thread;
    Lane* const m_lane;
    std::unordered_map<quint64, Waiting> m_waiting;
    quint64 m_lastId = 0;
};
