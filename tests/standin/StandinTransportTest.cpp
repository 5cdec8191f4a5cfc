#include "common/TestMain.h"

#include "StandinTestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

using namespace standin_test;

namespace {

const QByteArray kClear = "POST /__control/clear HTTP/1.1\r\nHost: x\r\n";
const QByteArray kState = "GET /__control/state HTTP/1.1\r\nHost: x\r\n\r\n";

// A client frame: masked unless asked otherwise.
QByteArray frame(quint8 first, const QByteArray& payload, bool masked = true)
{
    QByteArray out(1, static_cast<char>(first));
    out.append(static_cast<char>((masked ? 0x80 : 0) | payload.size()));
    if (!masked)
        return out + payload;
    const QByteArray key("\x11\x22\x33\x44", 4);
    out += key;
    for (qsizetype i = 0; i < payload.size(); ++i)
        out.append(static_cast<char>(payload[i] ^ key[i % 4]));
    return out;
}

// The CPU time (user and system) a process has used, in clock ticks: the 12th and 13th fields
// after the command name, which may hold spaces.
qint64 cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// Sets the soft descriptor limit of a running process.
bool setDescriptorLimit(const QString& prlimit, qint64 pid, rlim_t soft)
{
    return QProcess::execute(
               prlimit, {QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--nofile=%1:").arg(soft)}) == 0;
}

} // namespace

// The transport under clients that are not well-behaved: ambiguous and oversized heads, odd
// spellings of "Connection: close", idle and dripping connections, unmasked and broken frames,
// too many streams, and a stand-in that runs out of descriptors.
class StandinTransportTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_ada;

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>(QStringList{QStringLiteral("--max-streams"), QStringLiteral("2")});
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_ada = m_standin->signIn(kAda);
    }

    void heads_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("closes");
        QTest::newRow("keep-alive by default") << kClear + "Content-Length: 2\r\n\r\n{}" << 200 << false;
        QTest::newRow("same length twice")
            << kClear + "Content-Length: 2\r\ncontent-length: 2\r\n\r\n{}" << 200 << false;
        QTest::newRow("conflicting lengths")
            << kClear + "Content-Length: 2\r\nContent-Length: 3\r\n\r\n{}x" << 400 << true;
        QTest::newRow("disagreeing list") << kClear + "Content-Length: 2, 3\r\n\r\n{}x" << 400 << true;
        QTest::newRow("signed length") << kClear + "Content-Length: +2\r\n\r\n{}" << 400 << true;
        QTest::newRow("chunked") << kClear + "Transfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n" << 501 << true;
        QTest::newRow("empty, then chunked")
            << kClear + "Transfer-Encoding:\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n"
            << 501 << true;
        QTest::newRow("empty encoding") << kClear + "Transfer-Encoding: \r\nContent-Length: 2\r\n\r\n{}" << 501 << true;
        QTest::newRow("close, no space") << kClear + "connection:close\r\nContent-Length: 2\r\n\r\n{}" << 200 << true;
        QTest::newRow("close among tokens")
            << kClear + "CONNECTION:  keep-alive ,  Close \r\nContent-Length: 2\r\n\r\n{}" << 200 << true;
        QTest::newRow("HTTP/1.0") << QByteArray("POST /__control/clear HTTP/1.0\r\nContent-Length: 2\r\n\r\n{}") << 200
                                  << true;
        QTest::newRow("HTTP/1.0 keep-alive")
            << QByteArray("POST /__control/clear HTTP/1.0\r\nConnection: Keep-Alive\r\nContent-Length: 2\r\n\r\n{}")
            << 200 << false;
        // Refused from the head alone: the body is never sent.
        QTest::newRow("body over 8 MiB") << kClear + "Content-Length: 8388609\r\n\r\n" << 413 << true;
        QTest::newRow("body of 8 MiB") << kClear + "Content-Length: 8388608\r\n\r\n" + QByteArray(8388608, ' ') << 200
                                       << false;
        QTest::newRow("space before colon") << kClear + "Content-Length : 2\r\n\r\n{}" << 400 << true;
        QTest::newRow("HTTP/2.0") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 505 << true;
        QTest::newRow("head over 64 KiB") << "GET / HTTP/1.1\r\nX: " + QByteArray(70'000, 'a') + "\r\n\r\n"
                                          << 431 << true;
    }

    // An ambiguous head is refused and the connection closed; a connection stays open unless
    // the client asks otherwise, in any spelling.
    void heads()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(bool, closes);
        RawClient client(m_standin->baseUrl());
        client.send(request);
        QCOMPARE(client.answer(), status);
        if (closes) {
            QVERIFY(client.waitClosed());
        } else {
            client.send(kState);
            QCOMPARE(client.answer(), 200);
        }
    }

    void frames_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("opcode");
        QTest::addColumn<QByteArray>("payload");
        const auto closing = [](quint16 code) {
            return QByteArray(1, static_cast<char>(code >> 8)) + static_cast<char>(code & 0xff);
        };
        QTest::newRow("ping") << frame(0x89, "hi") << 0xA << QByteArray("hi");
        QTest::newRow("unmasked") << frame(0x82, "abc", false) << 0x8 << closing(1002);
        QTest::newRow("reserved bit") << frame(0xC2, "abc") << 0x8 << closing(1002);
        QTest::newRow("continuation first") << frame(0x00, "a") << 0x8 << closing(1002);
        QTest::newRow("text not UTF-8") << frame(0x81, "\xff") << 0x8 << closing(1007);
        // The header alone declares 2 MiB: refused before any of it is awaited.
        QTest::newRow("over 1 MiB") << QByteArray::fromHex("82ff0000000000200000") + "abcd" << 0x8 << closing(1009);
        QTest::newRow("client closes") << frame(0x88, closing(1000)) << 0x8 << closing(1000);
    }

    // What a client sends over "/ws" is read to the letter: every frame masked, within the size
    // limit, text in UTF-8. The first frame back answers it.
    void frames()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, opcode);
        QFETCH(QByteArray, payload);
        RawClient client(m_standin->baseUrl());
        client.send(
            "GET /ws HTTP/1.1\r\nHost: x\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nCookie: " + m_ada.toUtf8() +
            "\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        QVERIFY(QTest::qWaitFor([&] { return client.received.contains("\r\n\r\n"); }, kWaitMs));
        QVERIFY2(client.received.startsWith("HTTP/1.1 101 "), client.received.constData());
        QVERIFY(client.received.contains("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"));
        QCOMPARE(client.answer(), 101);
        client.send(sent);
        QVERIFY(QTest::qWaitFor([&] { return client.received.size() >= 2 + payload.size(); }, kWaitMs));
        QCOMPARE(client.received[0] & 0x0F, opcode);
        QCOMPARE(client.received.mid(2, payload.size()), payload);
        if (opcode == 0x8)
            QVERIFY(client.waitClosed());
    }

    // Streams past --max-streams are refused in the way the client knows; a closed one makes room.
    void streamLimit()
    {
        const QString token = createShoot(*m_standin, m_ada);
        std::vector<std::unique_ptr<WsClient>> clients;
        for (int i = 0; i < 4; ++i) {
            // An accepted start plays its script at once, a refused one is told why: either way the
            // start is taken before the next comes.
            m_standin->control(QStringLiteral("ws-script"),
                               {{"results", QJsonArray{QJsonObject{{"type", "interim"}}}}});
            if (i == 3) {
                clients[0]->close();
                QVERIFY(clients[0]->waitClosed());
            }
            clients.push_back(std::make_unique<WsClient>());
            QVERIFY(clients.back()->open(m_standin->baseUrl(), m_ada));
            clients.back()->start(token);
            QVERIFY(clients.back()->waitTexts(1));
        }
        m_standin->control(QStringLiteral("ws-clear"));
        QCOMPARE(clients[2]->texts[0].value(QStringLiteral("code")).toString(), QStringLiteral("too_many_streams"));
        QVERIFY(clients[2]->waitClosed());
        QCOMPARE(clients[2]->closeCode, 1008);
        QCOMPARE(clients[3]->texts[0].value(QStringLiteral("type")).toString(), QStringLiteral("live_transcript"));
        QVERIFY(!clients[1]->closed && !clients[3]->closed);
    }

    void timeouts_data()
    {
        QTest::addColumn<QByteArray>("start");
        QTest::addColumn<QByteArray>("drip");
        QTest::addColumn<QList<int>>("answers");
        QTest::newRow("idle") << QByteArray() << QByteArray() << QList<int>{};
        QTest::newRow("idle after an answer") << kState << QByteArray() << QList<int>{200};
        QTest::newRow("dripping head") << QByteArray("GET /__control/state HTTP/1.1\r\nX: ") << QByteArray(200, 'a')
                                       << QList<int>{408};
        QTest::newRow("dripping body") << kClear + "Content-Length: 200\r\n\r\n"
                                       << QByteArray(200, ' ') << QList<int>{408};
    }

    // A connection that delivers no whole request within the idle time is closed, however slowly
    // it keeps sending; one begun is told so (408).
    void timeouts()
    {
        QFETCH(QByteArray, start);
        QFETCH(QByteArray, drip);
        QFETCH(QList<int>, answers);
        StandinProcess quick({QStringLiteral("--idle-timeout"), QStringLiteral("0.3")});
        QVERIFY2(quick.isReady(), qPrintable(quick.failure()));
        RawClient client(quick.baseUrl());
        client.send(start);
        QTimer dripping;
        qsizetype sent = 0;
        QObject::connect(&dripping, &QTimer::timeout, [&] {
            if (sent < drip.size())
                client.send(drip.mid(sent++, 1));
        });
        dripping.start(20);
        QVERIFY(client.waitClosed());
        QList<int> got;
        while (const int status = client.answer())
            got.append(status);
        QCOMPARE(got, answers);
        QVERIFY(sent < drip.size() || drip.isEmpty());
    }

    // A stream that sends nothing is closed as going away.
    void idleStream()
    {
        StandinProcess quick({QStringLiteral("--stream-idle-timeout"), QStringLiteral("0.3")});
        QVERIFY2(quick.isReady(), qPrintable(quick.failure()));
        WsClient client;
        QVERIFY(client.open(quick.baseUrl(), quick.signIn(kAda)));
        QVERIFY(client.waitClosed());
        QCOMPARE(client.closeCode, 1001);
    }

    // Clients past what the descriptor limit leaves room for wait for it, rather than run the
    // stand-in out of descriptors (after which it never accepted again); idle ones are closed to
    // make that room.
    void moreClientsThanDescriptors()
    {
        const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
        if (prlimit.isEmpty())
            QSKIP("prlimit limits the stand-in's descriptors");
        StandinProcess limited({QStringLiteral("--idle-timeout"), QStringLiteral("0.3")}, true,
                               {prlimit, QStringLiteral("--nofile=48")});
        QVERIFY2(limited.isReady(), qPrintable(limited.failure()));
        std::vector<std::unique_ptr<QTcpSocket>> sockets;
        for (int i = 0; i < 80; ++i) {
            sockets.push_back(std::make_unique<QTcpSocket>());
            sockets.back()->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(limited.baseUrl().port()));
        }
        QCOMPARE(limited.request("GET", QStringLiteral("/__control/state")).status, 200);
        const QJsonObject transport = limited.state().value(QStringLiteral("transport")).toObject();
        QCOMPARE(transport.value(QStringLiteral("accept_failures")).toDouble(), 0.0);
        QVERIFY(transport.value(QStringLiteral("timed_out")).toDouble() > 0);
        sockets.clear();
        QCOMPARE(limited.stop(), 0);
    }

    // A client that sends requests and never reads the answers is held back once they pile up:
    // it slows no one else, and what the stand-in holds for it stays bounded.
    void clientThatNeverReads()
    {
        StandinProcess fresh;
        QVERIFY2(fresh.isReady(), qPrintable(fresh.failure()));
        QTcpSocket flooder;
        flooder.setReadBufferSize(1);
        flooder.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(fresh.baseUrl().port()));
        QVERIFY(flooder.waitForConnected(kWaitMs));
        const QByteArray request = "GET /nowhere HTTP/1.1\r\nHost: x\r\n\r\n";
        flooder.write(request.repeated(200'000));

        constexpr qint64 kSlowestMs = 300;
        for (int i = 0; i < 5; ++i) {
            QTest::qWait(100);
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(fresh.request("GET", QStringLiteral("/__control/state")).status, 200);
            QVERIFY2(clock.elapsed() < kSlowestMs, qPrintable(QStringLiteral("%1 ms").arg(clock.elapsed())));
        }
        constexpr double kMostHeldBytes = 1.5 * 1024 * 1024;
        const double held = fresh.state()
                                .value(QStringLiteral("transport"))
                                .toObject()
                                .value(QStringLiteral("most_held_bytes"))
                                .toDouble();
        QVERIFY2(held > 0 && held < kMostHeldBytes, qPrintable(QString::number(held)));
        flooder.abort();
        QCOMPARE(fresh.stop(), 0);
    }

    // When accepting fails for want of descriptors the stand-in waits before trying again, rather
    // than retrying at full speed, and serves new clients once connections close.
    void outOfDescriptors()
    {
        const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
        if (prlimit.isEmpty())
            QSKIP("prlimit limits the stand-in's descriptors");
        rlimit own{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &own), 0);
        StandinProcess fresh;
        QVERIFY2(fresh.isReady(), qPrintable(fresh.failure()));
        QCOMPARE(fresh.request("GET", QStringLiteral("/__control/state")).status, 200);
        const qint64 pid = fresh.processId();
        // Lowered after the start, the limit is below the connection budget worked out from it.
        const qsizetype open = QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                   .size();
        constexpr int kRoom = 3;
        QVERIFY(setDescriptorLimit(prlimit, pid, static_cast<rlim_t>(open + kRoom)));
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 3 * kRoom; ++i) {
            clients.push_back(std::make_unique<QTcpSocket>());
            clients.back()->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(fresh.baseUrl().port()));
            QVERIFY(clients.back()->waitForConnected(kWaitMs));
        }
        QTest::qWait(200);

        constexpr int kWindowMs = 500;
        const qint64 before = cpuTicks(pid);
        QTest::qWait(kWindowMs);
        const qint64 usedMs = (cpuTicks(pid) - before) * 1000 / sysconf(_SC_CLK_TCK);
        QVERIFY2(before >= 0 && usedMs < kWindowMs / 5, qPrintable(QStringLiteral("%1 ms of CPU").arg(usedMs)));

        clients.clear();
        RawClient late(fresh.baseUrl());
        late.send(kState);
        QCOMPARE(late.answer(), 200);
        const QJsonObject transport = fresh.state().value(QStringLiteral("transport")).toObject();
        QVERIFY(transport.value(QStringLiteral("accept_failures")).toDouble() > 0);
        QVERIFY(setDescriptorLimit(prlimit, pid, own.rlim_cur));
        QCOMPARE(fresh.stop(), 0);
    }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }
};

PINDLE_TEST(StandinTransportTest)
#include "StandinTransportTest.moc"
