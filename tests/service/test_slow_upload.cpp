#include "ServiceTesting.h"
#include "common/TestMain.h"

#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

#include <sys/socket.h>

namespace {

using namespace servicetesting;
using namespace std::chrono_literals;

// A loopback HTTP peer on a slow link. After the request's headers it takes nothing of the body
// for `hold` (negative: never), then the rest as fast as it comes, and answers `answerDelay` after
// the last byte (negative: never). Once the sender's socket buffer is full, Qt reports no upload
// progress for the rest of the hold: the silence between the bursts of a slow link. Connections
// from the ports it is told to leave are kept open and never read.
class SlowPeer : public QObject {
public:
    static constexpr qint64 kBuffer = 64 * 1024;

    SlowPeer(std::chrono::milliseconds hold, std::chrono::milliseconds answerDelay)
        : m_hold(hold), m_answerDelay(answerDelay)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            if (m_unread.contains(socket->peerPort())) {
                socket->setReadBufferSize(1);
                return;
            }
            m_socket = socket;
            m_socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, kBuffer);
            m_socket->setReadBufferSize(kBuffer);
            connect(m_socket, &QTcpSocket::readyRead, this, &SlowPeer::pump);
        });
    }

    [[nodiscard]] bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    [[nodiscard]] QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    [[nodiscard]] bool hasHeaders() const { return m_length >= 0; }
    [[nodiscard]] qint64 bodyRead() const { return m_bodyRead; }
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }
    void leaveUnread(quint16 clientPort) { m_unread.insert(clientPort); }

private:
    void pump()
    {
        if (!m_socket)
            return;
        if (m_length < 0) {
            m_head += m_socket->read(kBuffer);
            const qsizetype end = m_head.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            for (const QByteArray& line : m_head.left(end).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    m_length = line.mid(15).trimmed().toLongLong();
            }
            m_length = std::max<qint64>(m_length, 0);
            m_bodyRead = m_head.size() - (end + 4);
            if (m_hold.count() >= 0)
                QTimer::singleShot(m_hold, this, [this] {
                    m_reading = true;
                    pump();
                });
        }
        while (m_reading && m_socket->bytesAvailable() > 0)
            m_bodyRead += m_socket->read(kBuffer).size();
        if (m_reading && m_bodyRead >= m_length) {
            m_reading = false;
            if (m_answerDelay.count() < 0)
                return;
            QTimer::singleShot(m_answerDelay, this, [socket = m_socket] {
                if (socket && socket->state() == QAbstractSocket::ConnectedState)
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\n"
                                  "Connection: close\r\n\r\n{\"ok\":true}");
            });
        }
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    const std::chrono::milliseconds m_hold;
    const std::chrono::milliseconds m_answerDelay;
    QByteArray m_head;
    qint64 m_length = -1;
    qint64 m_bodyRead = 0;
    bool m_reading = false;
    QSet<quint16> m_unread;
};

// A loopback listener that never reads what its connections send: once their small windows are
// full, the bytes stay queued on the sending side.
class Sink : public QObject {
public:
    Sink()
    {
        connect(&m_server, &QTcpServer::newConnection, this,
                [this] { m_server.nextPendingConnection()->setReadBufferSize(1); });
    }

    [[nodiscard]] bool listen()
    {
        const int size = 16 * 1024;
        return m_server.listen(QHostAddress::LocalHost) &&
               ::setsockopt(int(m_server.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &size, sizeof size) == 0;
    }
    [[nodiscard]] quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
};

// A loopback HTTP peer that reads slowly through a small receive window: `chunk` bytes every
// `tick`, however much is waiting, and answers `answerDelay` after it has read the whole body.
// With `stopAt` it stops reading once it has that much of the body. The sender's kernel takes the
// body into its socket buffer long before the peer has read it.
class TricklePeer : public QObject {
public:
    static constexpr int kWindow = 16 * 1024;

    TricklePeer(qint64 chunk, std::chrono::milliseconds tick, std::chrono::milliseconds answerDelay = 0ms,
                qint64 stopAt = -1)
        : m_chunk(chunk), m_answerDelay(answerDelay), m_stopAt(stopAt)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_socket = m_server.nextPendingConnection();
            // Qt would otherwise drain the kernel's buffer into its own as fast as it fills.
            m_socket->setReadBufferSize(m_chunk);
        });
        connect(&m_tick, &QTimer::timeout, this, &TricklePeer::read);
        m_tick.start(tick);
    }

    [[nodiscard]] bool listen()
    {
        if (!m_server.listen(QHostAddress::LocalHost))
            return false;
        // Accepted sockets take the listener's receive buffer, so the window is small from the
        // handshake on.
        const int size = kWindow;
        return ::setsockopt(int(m_server.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &size, sizeof size) == 0;
    }
    [[nodiscard]] QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    [[nodiscard]] qint64 bodyRead() const { return m_bodyRead; }

private:
    void read()
    {
        if (!m_socket || m_answered || (m_stopAt >= 0 && m_bodyRead >= m_stopAt))
            return;
        const QByteArray bytes = m_socket->read(m_chunk);
        if (m_length < 0) {
            m_head += bytes;
            const qsizetype end = m_head.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            m_length = 0;
            for (const QByteArray& line : m_head.left(end).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    m_length = line.mid(15).trimmed().toLongLong();
            }
            m_bodyRead = m_head.size() - (end + 4);
        } else {
            m_bodyRead += bytes.size();
        }
        if (m_bodyRead >= m_length) {
            m_answered = true;
            QTimer::singleShot(m_answerDelay, this, [socket = m_socket] {
                if (socket && socket->state() == QAbstractSocket::ConnectedState)
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 11\r\n"
                                  "Connection: close\r\n\r\n{\"ok\":true}");
            });
        }
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    QTimer m_tick;
    const qint64 m_chunk;
    const std::chrono::milliseconds m_answerDelay;
    const qint64 m_stopAt;
    QByteArray m_head;
    qint64 m_length = -1;
    qint64 m_bodyRead = 0;
    bool m_answered = false;
};

// Runs the event loop until `condition` holds or `limit` passes. Unlike QTest::qWaitFor it never
// sleeps between turns: sleeping paces how fast Qt feeds the body to the socket, which would
// hide the silence a filled socket buffer makes.
bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    check.start(5ms);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    if (!condition())
        loop.exec();
    return condition();
}

} // namespace

// A large body going up a slow link: silence while it is still being sent is not a timeout (its
// total deadline is), but once it is all sent the answer must come within the timeout.
class SlowUploadTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void upload_data()
    {
        QTest::addColumn<int>("holdMs"); // -1: the peer never takes the body
        QTest::addColumn<int>("answerDelayMs");
        QTest::addColumn<int>("clockShortMs"); // how far short of the deadline the service's clock stops
        QTest::addColumn<bool>("answered");
        QTest::newRow("held longer than the timeout") << 2500 << 0 << 1 << true;
        QTest::newRow("answer silent past the timeout") << 0 << 3000 << 1 << false;
        QTest::newRow("never taken, deadline reached") << -1 << 0 << 0 << false;
    }
    void upload()
    {
        QFETCH(int, holdMs);
        QFETCH(int, answerDelayMs);
        QFETCH(int, clockShortMs);
        QFETCH(bool, answered);
        SlowPeer peer{std::chrono::milliseconds(holdMs), std::chrono::milliseconds(answerDelayMs)};
        QVERIFY(peer.listen());
        InMemoryCookieStore store;
        ManualClock clock;
        APIService service(peer.baseUrl(), store, &clock);

        // Twice what Linux lets a socket's send buffer grow to by default, so a hold stalls the
        // sender part-way through the body.
        ServiceRequest request;
        request.path = QStringLiteral("/api/logger/sync");
        request.body = QJsonObject{{QStringLiteral("pad"), QString(8 * 1024 * 1024, QLatin1Char('a'))}};
        request.timeout = 2s;
        request.withSession = false;
        const qint64 size = QJsonDocument(*request.body).toJson(QJsonDocument::Compact).size();
        const auto deadline = request.timeout + std::chrono::seconds(size / APIService::kSlowestUploadRate);

        Latch<ServiceResult<ServiceReply>> done;
        service.send(request, nullptr, done.callback());
        QVERIFY(runUntil([&] { return peer.hasHeaders(); }, 5s));
        clock.advance(deadline - std::chrono::milliseconds(clockShortMs));
        QVERIFY(runUntil([&] { return done.value.has_value(); }, 8s));
        const ServiceResult<ServiceReply>& result = *done.value;
        if (answered) {
            QVERIFY2(result.ok(), qPrintable(result.ok() ? QString() : result.error().description()));
            QCOMPARE(result.value().status, 200);
        } else {
            QVERIFY(!result.ok());
            QCOMPARE(result.error().kind(), ServiceError::Kind::Timeout);
        }
        QCOMPARE(peer.bodyRead() == size, holdMs >= 0);
    }

    // A body the peer has read whole, and no answer: silence ends it, whatever else the process
    // sends meanwhile. Another connection with bytes queued, to another peer or to the same one,
    // with about the body's count or (for a small body) far fewer, is not the request's.
    void silenceBesideOtherTraffic_data()
    {
        QTest::addColumn<int>("bodyKb");
        QTest::addColumn<int>("otherKb");   // given to the other connection while the request runs
        QTest::addColumn<int>("prefillKb"); // given to it before, to fill its peer's window
        QTest::addColumn<bool>("samePeer");
        QTest::newRow("a like count elsewhere") << 300 << 300 << 0 << false;
        QTest::newRow("a like count to the same peer") << 300 << 300 << 0 << true;
        QTest::newRow("a small body, far fewer elsewhere") << 30 << 2 << 256 << false;
    }
    void silenceBesideOtherTraffic()
    {
        QFETCH(int, bodyKb);
        QFETCH(int, otherKb);
        QFETCH(int, prefillKb);
        QFETCH(bool, samePeer);
        SlowPeer peer{300ms, -1ms};
        QVERIFY(peer.listen());
        Sink sink;
        QVERIFY(sink.listen());
        QTcpSocket other;
        other.connectToHost(QHostAddress::LocalHost, samePeer ? peer.port() : sink.port());
        QVERIFY(other.waitForConnected(10000));
        if (samePeer)
            peer.leaveUnread(other.localPort());
        other.write(QByteArray(prefillKb * 1024, 'p'));
        QVERIFY(runUntil([&] { return other.bytesToWrite() == 0; }, 5s));

        InMemoryCookieStore store;
        ManualClock clock; // the deadline never comes
        APIService service(peer.baseUrl(), store, &clock);
        ServiceRequest request;
        request.path = QStringLiteral("/api/logger/sync");
        request.body = QJsonObject{{QStringLiteral("pad"), QString(bodyKb * 1024, QLatin1Char('a'))}};
        request.timeout = 1500ms;
        request.withSession = false;
        const qint64 size = QJsonDocument(*request.body).toJson(QJsonDocument::Compact).size();

        Latch<ServiceResult<ServiceReply>> done;
        QElapsedTimer elapsed;
        elapsed.start();
        service.send(request, nullptr, done.callback());
        other.write(QByteArray(otherKb * 1024, 'o'));
        other.flush();
        QVERIFY(runUntil([&] { return done.value.has_value(); }, 4 * request.timeout));
        QVERIFY(elapsed.elapsed() >= request.timeout.count());
        QVERIFY(!done.value->ok());
        QCOMPARE(done.value->error().kind(), ServiceError::Kind::Timeout);
        QCOMPARE(peer.bodyRead(), size);
        QVERIFY(other.state() == QAbstractSocket::ConnectedState);
    }

    // A peer reading a body its kernel and ours already hold, slower than the timeout allows for
    // all of it: not silence, as long as it is still reading. Once it has read it all, the answer
    // must come within the timeout; a peer that stops reading is ended by the deadline.
    void slowReader_data()
    {
        QTest::addColumn<bool>("encoded"); // sent from the upload thread
        QTest::addColumn<int>("answerDelayMs");
        QTest::addColumn<int>("stopAtKb"); // -1: reads it all
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QString>("host");
        const QString address = QStringLiteral("127.0.0.1");
        QTest::newRow("main thread") << false << 0 << -1 << true << address;
        QTest::newRow("upload thread") << true << 0 << -1 << true << address;
        QTest::newRow("upload thread, host by name") << true << 0 << -1 << true << QStringLiteral("localhost");
        QTest::newRow("read, answer silent past the timeout") << true << 3000 << -1 << false << address;
        QTest::newRow("stops reading, main thread") << false << 0 << 256 << false << address;
        QTest::newRow("stops reading, upload thread") << true << 0 << 256 << false << address;
    }
    void slowReader()
    {
        QFETCH(bool, encoded);
        QFETCH(int, answerDelayMs);
        QFETCH(int, stopAtKb);
        QFETCH(bool, answered);
        QFETCH(QString, host);
        // 1 MB at 320 KB/s: over three seconds of reading, twice the timeout.
        const qint64 stopAt = stopAtKb < 0 ? -1 : stopAtKb * 1024;
        TricklePeer peer{16 * 1024, 50ms, std::chrono::milliseconds(answerDelayMs), stopAt};
        QVERIFY(peer.listen());
        InMemoryCookieStore store;
        ManualClock clock;
        APIService service(QString(peer.baseUrl()).replace(QStringLiteral("127.0.0.1"), host), store, &clock);

        ServiceRequest request;
        request.path = QStringLiteral("/api/logger/sync");
        const QJsonObject body{{QStringLiteral("pad"), QString(1024 * 1024, QLatin1Char('a'))}};
        const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
        if (encoded)
            request.encodedBody = bytes;
        else
            request.body = body;
        request.timeout = 1500ms;
        request.withSession = false;

        Latch<ServiceResult<ServiceReply>> done;
        service.send(request, nullptr, done.callback());
        if (stopAt >= 0) {
            // Held in the buffers for good: silence never starts, and only the deadline ends it.
            QVERIFY(runUntil([&] { return peer.bodyRead() >= stopAt; }, 30s));
            QVERIFY(!runUntil([&] { return done.value.has_value(); }, 2 * request.timeout));
            clock.advance(request.timeout + std::chrono::seconds(bytes.size() / APIService::kSlowestUploadRate));
        }
        QVERIFY(runUntil([&] { return done.value.has_value(); }, 30s));
        const ServiceResult<ServiceReply>& result = *done.value;
        if (answered) {
            QVERIFY2(result.ok(), qPrintable(result.ok() ? QString()
                                                         : result.error().description() +
                                                               QStringLiteral(" after %1 bytes").arg(peer.bodyRead())));
            QCOMPARE(result.value().status, 200);
        } else {
            QVERIFY(!result.ok());
            QCOMPARE(result.error().kind(), ServiceError::Kind::Timeout);
        }
        QCOMPARE(peer.bodyRead() == bytes.size(), stopAt < 0);
        QCOMPARE(done.calls, 1);
    }
};

PINDLE_TEST(SlowUploadTest)
#include "test_slow_upload.moc"
