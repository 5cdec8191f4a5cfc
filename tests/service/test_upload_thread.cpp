#include "ServiceTesting.h"
#include "common/TestMain.h"

#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAPI.h"
#include "service/ServiceUrl.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QPointer>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

using Kind = ServiceError::Kind;
using namespace servicetesting;
using namespace std::chrono_literals;

const QString kShoots = QStringLiteral("/api/logger/shoots");
const QByteArray kShoot = "{\"title\":\"Day 1\",\"tc_format\":\"25 fps\",\"audio_epoch_ms\":1700000000000}";

// The queued calls the main thread may see for one exchange, however large its body: its answer,
// and one to spare for the runtime's own. Sent from the main thread, a 1 MB body alone makes over
// a hundred.
constexpr int kMostMainThreadCalls = 2;

// Counts the queued calls delivered to objects of the main thread while it lives.
class MainThreadCalls : public QObject {
public:
    MainThreadCalls() { QCoreApplication::instance()->installEventFilter(this); }
    ~MainThreadCalls() override { QCoreApplication::instance()->removeEventFilter(this); }
    [[nodiscard]] int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MetaCall && watched->thread() == thread())
            ++m_count;
        return false;
    }

private:
    int m_count = 0;
};

// A loopback peer that takes a request's first bytes and no more: a large body stays held up.
class StallingPeer : public QObject {
public:
    StallingPeer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            m_socket = m_server.nextPendingConnection();
            m_socket->setReadBufferSize(64 * 1024);
        });
    }
    [[nodiscard]] bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    [[nodiscard]] QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    [[nodiscard]] bool holdsBytes() const { return m_socket && m_socket->bytesAvailable() > 0; }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
};

// A sync body of about `megabytes` MB of transcript.
QByteArray syncBody(int megabytes)
{
    QByteArray body = "{\"segments\":[";
    for (int i = 0; i < megabytes; ++i)
        body += (i ? ",{\"text\":\"" : "{\"text\":\"") + QByteArray(1024 * 1024, 'a') + "\"}";
    return body + "],\"markers\":[],\"deleted_markers\":[]}";
}

ServiceRequest encoded(const QString& path, QByteArray body, std::chrono::milliseconds timeout = 25s)
{
    ServiceRequest request;
    request.path = path;
    request.encodedBody = std::move(body);
    request.timeout = timeout;
    return request;
}

} // namespace

// Requests with an encoded body go up from the service's upload thread: the main thread sees the
// answer, not the body's chunks, and the outcomes are those of any other request.
class UploadThreadTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;

    QString base() const { return m_standin->baseUrl().toString(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY((m_standin = startStandin())); }
    void init() { m_standin->control(QStringLiteral("clear")); }
    void cleanupTestCase() { m_standin.reset(); }

    // A whole day's sync goes up with a fixed number of main-thread calls, and is let go of after.
    void largeBody_data()
    {
        QTest::addColumn<int>("megabytes");
        QTest::newRow("1 MB") << 1;
        QTest::newRow("20 MB") << 20;
    }
    void largeBody()
    {
        QFETCH(int, megabytes);
        InMemoryCookieStore store(m_standin->signIn(QStringLiteral("ada@example.com")));
        APIService service(base(), store);
        Latch<ServiceResult<QJsonObject>> shoot;
        LoggerAPI::request(service, kShoots, "POST", QJsonDocument::fromJson(kShoot).object(), nullptr,
                           shoot.callback());
        QVERIFY(shoot.wait() && shoot.value->ok());
        const QString token = shoot.value->value().value("token"_L1).toString();

        const QByteArray body = syncBody(megabytes);
        Latch<ServiceResult<QJsonObject>> synced;
        {
            MainThreadCalls calls;
            LoggerAPI::requestEncoded(service, kShoots + u'/' + ServiceUrl::pathSegment(token) + "/sync"_L1, "POST",
                                      body, nullptr, synced.callback());
            QVERIFY(synced.wait(60000));
            QVERIFY2(calls.count() <= kMostMainThreadCalls, qPrintable(QString::number(calls.count())));
        }
        QVERIFY2(synced.value->ok(), qPrintable(synced.value->ok() ? QString() : synced.value->error().description()));
        QCOMPARE(synced.value->value(), QJsonObject({{"ok"_L1, true}}));
        QCOMPARE(synced.calls, 1);
        QVERIFY(QTest::qWaitFor([&] { return body.isDetached(); }, 5000));
    }

    // Answers, timeouts and failures of the upload thread map as on the main thread.
    void outcomes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("advanceMs"); // how far the service's clock moves once the request is sent
        QTest::addColumn<int>("kind");      // -1: an answer
        QTest::addColumn<int>("status");
        const QJsonObject cookie{{"kind", "answer"},
                                 {"status", 201},
                                 {"body", "{}"},
                                 {"headers", QJsonObject{{"Set-Cookie", "sid=abc; Path=/"}}}};
        const QJsonObject huge{
            {"kind", "answer"}, {"status", 200}, {"body", QString(APIService::kMaxBodyBytes + 1, u'x')}};
        QTest::newRow("answer with a cookie") << kShoots << cookie << 25000 << 0 << -1 << 201;
        QTest::newRow("500 is an answer") << kShoots << QJsonObject{{"kind", "status"}} << 25000 << 0 << -1 << 500;
        QTest::newRow("silent past the timeout")
            << kShoots << QJsonObject{{"kind", "slow"}, {"delay_ms", 3000}} << 1000 << 0 << int(Kind::Timeout) << 0;
        QTest::newRow("past the deadline") << kShoots << QJsonObject{{"kind", "slow"}, {"delay_ms", 2000}} << 25000
                                           << 25000 << int(Kind::Timeout) << 0;
        QTest::newRow("answer over the size limit") << kShoots << huge << 25000 << 0 << int(Kind::TooLarge) << 0;
        QTest::newRow("cut connection") << kShoots << QJsonObject{{"kind", "drop"}, {"count", -1}} << 25000 << 0
                                        << int(Kind::Transport) << 0;
        QTest::newRow("path forms no URL")
            << "api/shoots" << QJsonObject() << 25000 << 0 << int(Kind::BadResponse) << 0;
    }
    void outcomes()
    {
        QFETCH(QString, path);
        QFETCH(QJsonObject, fault);
        QFETCH(int, timeoutMs);
        QFETCH(int, advanceMs);
        QFETCH(int, kind);
        QFETCH(int, status);
        if (!fault.isEmpty()) {
            fault.insert("path"_L1, kShoots);
            QVERIFY(m_standin->control(QStringLiteral("fault"), fault).value("ok"_L1).toBool());
        }
        InMemoryCookieStore store(m_standin->signIn(QStringLiteral("ada@example.com")));
        ManualClock clock;
        APIService service(base(), store, &clock);
        Latch<ServiceResult<ServiceReply>> done;
        service.send(encoded(path, kShoot, std::chrono::milliseconds(timeoutMs)), nullptr, done.callback());
        clock.advance(std::chrono::milliseconds(advanceMs));
        QVERIFY(done.wait());
        m_standin->control(QStringLiteral("clear"));
        const ServiceResult<ServiceReply>& result = *done.value;
        QCOMPARE(result.ok() ? -1 : int(result.error().kind()), kind);
        QCOMPARE(done.calls, 1);
        if (result.ok()) {
            QCOMPARE(result.value().status, status);
            QCOMPARE(result.value().setCookie, status == 201 ? QByteArray("sid=abc; Path=/") : QByteArray());
        }
    }

    // Exchanges in flight together each get their own answer, once.
    void manyAtOnce_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("two") << 2;
        QTest::newRow("twelve") << 12;
    }
    void manyAtOnce()
    {
        QFETCH(int, count);
        InMemoryCookieStore store(m_standin->signIn(QStringLiteral("ada@example.com")));
        APIService service(base(), store);
        std::vector<Latch<ServiceResult<ServiceReply>>> done(count);
        for (int i = 0; i < count; ++i) {
            const QString path = i % 2 ? QStringLiteral("/api/logger/nowhere/%1").arg(i) : kShoots;
            service.send(encoded(path, kShoot), nullptr, done[i].callback());
        }
        QSet<QString> tokens;
        for (int i = 0; i < count; ++i) {
            QVERIFY(done[i].wait());
            QCOMPARE(done[i].calls, 1);
            QVERIFY(done[i].value->ok());
            const ServiceReply& reply = done[i].value->value();
            QCOMPARE(reply.isSuccess(), i % 2 == 0);
            if (i % 2)
                QCOMPARE(reply.status, 404);
            else
                tokens.insert(reply.jsonObjectOrEmpty().value("token"_L1).toString());
        }
        QCOMPARE(tokens.size(), (count + 1) / 2);
    }

    // A service or caller gone while a body is still going up: nothing completes, the body is let
    // go of, and nothing crashes.
    void letGo_data()
    {
        QTest::addColumn<bool>("service"); // false: the caller's context goes
        QTest::addColumn<bool>("heldUp");  // false: at once, before the upload thread took the body
        QTest::newRow("service, at once") << true << false;
        QTest::newRow("service, body held up") << true << true;
        QTest::newRow("context, at once") << false << false;
        QTest::newRow("context, body held up") << false << true;
    }
    void letGo()
    {
        QFETCH(bool, service);
        QFETCH(bool, heldUp);
        StallingPeer peer;
        QVERIFY(peer.listen());
        InMemoryCookieStore store;
        ManualClock clock;
        auto api = std::make_unique<APIService>(peer.baseUrl(), store, &clock);
        auto context = std::make_unique<QObject>();
        const QByteArray body = syncBody(20);
        Latch<ServiceResult<ServiceReply>> done;
        api->send(encoded(QStringLiteral("/api/logger/sync"), body), context.get(), done.callback());
        if (heldUp)
            QVERIFY(QTest::qWaitFor([&] { return peer.holdsBytes(); }, 10000));
        if (service) {
            api.reset();
            QVERIFY(body.isDetached());
        } else {
            context.reset();
            // The deadline ends the held-up exchange; its answer finds no caller.
            clock.advance(25s + std::chrono::seconds(body.size() / APIService::kSlowestUploadRate));
            QVERIFY(QTest::qWaitFor([&] { return body.isDetached(); }, 10000));
        }
        QTest::qWait(200);
        QCOMPARE(done.calls, 0);
    }
};

PINDLE_TEST(UploadThreadTest)
#include "test_upload_thread.moc"
