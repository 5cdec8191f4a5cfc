#include "common/TestMain.h"

#include "service/SocketQueues.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>

namespace {

constexpr int kWindow = 16 * 1024;

// A loopback connection whose receiving end has a small window and reads nothing until told.
struct Pair {
    QTcpServer server;
    QTcpSocket client;
    QTcpSocket* peer = nullptr;

    bool open()
    {
        if (!server.listen(QHostAddress::LocalHost) ||
            ::setsockopt(int(server.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &kWindow, sizeof kWindow) != 0)
            return false;
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!server.waitForNewConnection(10000) || !client.waitForConnected(10000))
            return false;
        peer = server.nextPendingConnection();
        peer->setReadBufferSize(1024);
        return true;
    }
    // Writes `bytes` and waits until the kernel has all of them.
    bool write(int bytes)
    {
        client.write(QByteArray(bytes, 'x'));
        return QTest::qWaitFor([this] { return client.bytesToWrite() == 0; }, 10000);
    }
};

std::optional<SocketQueues::Connection> connection(const QAbstractSocket& socket)
{
    struct stat status {};
    if (::fstat(int(socket.socketDescriptor()), &status) != 0)
        return std::nullopt;
    for (const SocketQueues::Connection& found : SocketQueues::connections()) {
        if (found.inode == quint64(status.st_ino))
            return found;
    }
    return std::nullopt;
}

} // namespace

// The kernel's account of a loopback connection: what was written to each end, and what the
// peer has not yet taken in.
class SocketQueuesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void queue_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::newRow("nothing") << 0;
        QTest::newRow("one byte") << 1;
        QTest::newRow("past the window") << 192 * 1024;
    }
    void queue()
    {
        if (!SocketQueues::isSupported())
            QSKIP("the system does not tell");
        QFETCH(int, bytes);
        Pair pair;
        QVERIFY(pair.open());
        QVERIFY(pair.write(bytes));
        const std::optional<SocketQueues::Connection> sent = connection(pair.client);
        QVERIFY(sent && connection(*pair.peer));
        // The kernel counts the opening as a byte of the side that opened.
        QCOMPARE(sent->written, bytes + 1);
        QCOMPARE(connection(*pair.peer)->written, 0);
        // More than the window holds waits for the peer to read.
        QCOMPARE(sent->queued > 0, bytes > 2 * kWindow);

        pair.peer->setReadBufferSize(0);
        QByteArray read;
        QTRY_VERIFY((read += pair.peer->readAll()).size() == bytes && connection(pair.client)->queued == 0);
        QCOMPARE(connection(pair.client)->written, bytes + 1);
    }

    // A request's body is told apart from other traffic by where its connection goes and how much
    // it was given since the request began, and is queued until the peer has taken all of it. A
    // second connection to the same peer that fits as well leaves it unknown.
    void bodyState_data()
    {
        QTest::addColumn<int>("before"); // written ahead of the request
        QTest::addColumn<int>("given");  // written since
        QTest::addColumn<bool>("read");  // the peer reads all
        QTest::addColumn<QString>("sentTo");
        QTest::addColumn<int>("state");
        constexpr int kBody = 128 * 1024;
        const int queued = int(SocketQueues::BodyState::Queued);
        const int taken = int(SocketQueues::BodyState::Taken);
        const int unknown = int(SocketQueues::BodyState::Unknown);
        const QString peer = QStringLiteral("the peer");
        QTest::newRow("the body") << 0 << kBody << false << peer << queued;
        QTest::newRow("the body after earlier traffic") << 2 * kBody << kBody << false << peer << queued;
        QTest::newRow("the body and its head") << 0 << kBody + 2000 << false << peer << queued;
        QTest::newRow("most of the body") << 0 << kBody - 32 * 1024 << false << peer << queued;
        QTest::newRow("the body, read") << 0 << kBody << true << peer << taken;
        QTest::newRow("most of the body, read") << 0 << kBody - 32 * 1024 << true << peer << unknown;
        QTest::newRow("much less") << 0 << 48 * 1024 << false << peer << unknown;
        QTest::newRow("much more") << 0 << 4 * kBody << false << peer << unknown;
        QTest::newRow("to its address as IPv6 maps it") << 0 << kBody << false << QStringLiteral("mapped") << queued;
        QTest::newRow("to another port") << 0 << kBody << false << QStringLiteral("another port") << unknown;
        QTest::newRow("to another address") << 0 << kBody << false << QStringLiteral("another address") << unknown;
        QTest::newRow("the body, read, beside its like") << 0 << kBody << true << QStringLiteral("two") << unknown;
    }
    void bodyState()
    {
        if (!SocketQueues::isSupported())
            QSKIP("the system does not tell");
        QFETCH(int, before);
        QFETCH(int, given);
        QFETCH(bool, read);
        QFETCH(QString, sentTo);
        QFETCH(int, state);
        constexpr qint64 kBody = 128 * 1024;
        Pair pair;
        QVERIFY(pair.open());
        QTcpSocket like;
        if (sentTo == QLatin1String("two")) {
            like.connectToHost(QHostAddress::LocalHost, pair.server.serverPort());
            QVERIFY(like.waitForConnected(10000) && pair.server.waitForNewConnection(10000));
        }
        QVERIFY(pair.write(before));
        const SocketQueues::Written written = SocketQueues::written();
        QVERIFY(pair.write(given));
        like.write(QByteArray(given, 'x'));
        QTRY_COMPARE(like.bytesToWrite(), 0);
        if (read) {
            pair.peer->setReadBufferSize(0);
            QByteArray all;
            QTRY_VERIFY((all += pair.peer->readAll()).size() == before + given && connection(pair.client)->queued == 0);
        }
        SocketQueues::Peer peer{{QHostAddress(QHostAddress::LocalHost)}, pair.server.serverPort()};
        if (sentTo == QLatin1String("another port"))
            peer.port = quint16(peer.port + 1);
        if (sentTo == QLatin1String("another address"))
            peer.addresses = {QHostAddress(QStringLiteral("127.0.0.2")), QHostAddress(QHostAddress::LocalHostIPv6)};
        if (sentTo == QLatin1String("mapped"))
            peer.addresses = {QHostAddress(QStringLiteral("::ffff:127.0.0.1"))};
        QCOMPARE(int(SocketQueues::bodyState(written, kBody, peer)), state);
        QCOMPARE(SocketQueues::bodyState(written, 0, peer), SocketQueues::BodyState::Unknown);
    }
};

PINDLE_TEST(SocketQueuesTest)
#include "test_socket_queues.moc"
