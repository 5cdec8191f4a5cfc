#include "ServiceTesting.h"
#include "common/TestMain.h"

#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAPI.h"
#include "service/NetworkThread.h"

#include <QBuffer>
#include <QJsonDocument>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

using Kind = ServiceError::Kind;
using namespace servicetesting;
using JsonLatch = Latch<ServiceResult<QJsonObject>>;

const QString kShoots = QStringLiteral("/api/logger/shoots");

// A body as the shoot sync sends it: keys in our own order, text the way JSON escapes it.
QByteArray encodedShoot()
{
    return "{\"title\":\"Day 1 \\\"wide\\\" \\u00e9\\n\",\"tc_format\":\"25 fps\",\"audio_epoch_ms\":1700000000000}";
}

// The bytes each body buffer of the service's exchanges reads, those of its upload thread looked
// at on that thread.
QList<const char*> bodyBuffers(APIService& service)
{
    QList<const char*> bytes;
    const auto collect = [&bytes](const QObject& owner) {
        for (const QBuffer* buffer : owner.findChildren<QBuffer*>())
            bytes.append(buffer->data().constData());
    };
    collect(service);
    if (const NetworkThread* uploads = service.findChild<NetworkThread*>()) {
        QObject* exchanges = uploads->exchanges();
        QMetaObject::invokeMethod(
            exchanges, [&] { collect(*exchanges); }, Qt::BlockingQueuedConnection);
    }
    return bytes;
}

} // namespace

// Pre-encoded JSON bodies through LoggerAPI::requestEncoded: the very bytes reach the service,
// with the headers, session, deadline and answers of the JSON path, and nothing copies them.
class LoggerAPIEncodedTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;

    QJsonObject received(const QString& key)
    {
        return m_standin->state().value("requests"_L1).toObject().value(key).toObject();
    }

    void prepare(const QString& setup, int status, const QByteArray& body = {})
    {
        if (setup.isEmpty())
            return;
        QJsonObject fault{{"path", kShoots},
                          {"kind", setup},
                          {"status", status > 0 ? status : 500},
                          {"delay_ms", 300},
                          {"count", setup == "drop"_L1 ? -1 : 1}};
        if (setup == "answer"_L1)
            fault.insert("body"_L1, QString::fromUtf8(body));
        QVERIFY(m_standin->control(QStringLiteral("fault"), fault).value("ok"_L1).toBool());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY((m_standin = startStandin())); }
    void init() { m_standin->control(QStringLiteral("clear")); }
    void cleanupTestCase() { m_standin.reset(); }

    // The answers read as LoggerAPI::request reads them.
    void answers_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("advanceMs"); // how far the service's clock moves once the request is sent
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("kind"); // -1: success
        QTest::addColumn<bool>("hasToken");
        QTest::newRow("created") << "" << 0 << QByteArray() << 0 << true << -1 << true;
        QTest::newRow("201 not JSON") << "answer" << 201 << QByteArray("<html>") << 0 << true << -1 << false;
        QTest::newRow("204 empty") << "answer" << 204 << QByteArray() << 0 << true << -1 << false;
        QTest::newRow("not signed in") << "" << 0 << QByteArray() << 0 << false << int(Kind::Unauthorised) << false;
        QTest::newRow("500") << "status" << 500 << QByteArray() << 0 << true << int(Kind::Status) << false;
        QTest::newRow("past the 25 s deadline")
            << "slow" << 0 << QByteArray() << 25000 << true << int(Kind::Timeout) << false;
        QTest::newRow("within the deadline") << "slow" << 0 << QByteArray() << 24000 << true << -1 << true;
        QTest::newRow("cut connection") << "drop" << 0 << QByteArray() << 0 << true << int(Kind::Transport) << false;
    }
    void answers()
    {
        QFETCH(QString, setup);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(int, advanceMs);
        QFETCH(bool, signedIn);
        QFETCH(int, kind);
        QFETCH(bool, hasToken);
        prepare(setup, status, answer);
        InMemoryCookieStore store(signedIn ? std::optional(m_standin->signIn(QStringLiteral("ada@example.com")))
                                           : std::nullopt);
        ManualClock clock;
        APIService service(m_standin->baseUrl().toString(), store, &clock);
        JsonLatch done;
        LoggerAPI::requestEncoded(service, kShoots, "POST", encodedShoot(), nullptr, done.callback());
        clock.advance(std::chrono::milliseconds(advanceMs));
        QVERIFY(done.wait());
        m_standin->control(QStringLiteral("clear"));
        const ServiceResult<QJsonObject>& result = *done.value;
        QCOMPARE(result.ok() ? -1 : int(result.error().kind()), kind);
        QCOMPARE(done.calls, 1);
        if (result.ok())
            QCOMPARE(result.value().contains("token"_L1), hasToken);
    }

    // The bytes arrive as given, under the JSON path's headers and the session cookie.
    void bytesAndHeaders()
    {
        InMemoryCookieStore store(m_standin->signIn(QStringLiteral("ada@example.com")));
        APIService service(m_standin->baseUrl().toString(), store);
        JsonLatch done;
        LoggerAPI::requestEncoded(service, kShoots, "POST", encodedShoot(), nullptr, done.callback());
        QVERIFY(done.wait() && done.value->ok());
        const QJsonObject sent = received(QStringLiteral("POST ") + kShoots);
        QCOMPARE(sent.value("body"_L1).toString().toUtf8(), encodedShoot());
        const QJsonObject headers = sent.value("headers"_L1).toObject();
        QCOMPARE(headers.value("content-type"_L1).toString(), QStringLiteral("application/json"));
        QCOMPARE(headers.value("x-pindle-client"_L1).toString(), QStringLiteral("pindle-logger"));
        QCOMPARE(headers.value("cookie"_L1).toString(), store.stored().value_or(QString()));
        QCOMPARE(QJsonDocument::fromJson(encodedShoot()).object().value("title"_L1).toString(),
                 QStringLiteral("Day 1 \"wide\" \u00e9\n"));
    }

    // The network layer reads the caller's bytes, however large: no second copy of the body.
    void bodyIsShared_data()
    {
        QTest::addColumn<int>("kilobytes");
        QTest::newRow("small") << 1;
        QTest::newRow("a long shoot's worth") << 6 * 1024;
    }
    void bodyIsShared()
    {
        QFETCH(int, kilobytes);
        QByteArray body = "{\"title\":\"Day 1\",\"tc_format\":\"25 fps\",\"audio_epoch_ms\":1700000000000,"
                          "\"padding\":\"" +
                          QByteArray(kilobytes * 1024, 'a') + "\"}";
        const char* bytes = body.constData();
        InMemoryCookieStore store(m_standin->signIn(QStringLiteral("ada@example.com")));
        APIService service(m_standin->baseUrl().toString(), store);
        JsonLatch done;
        LoggerAPI::requestEncoded(service, kShoots, "POST", body, nullptr, done.callback());
        const QList<const char*> buffers = bodyBuffers(service);
        QCOMPARE(buffers.size(), 1);
        QCOMPARE(buffers.constFirst(), bytes);
        QVERIFY(done.wait() && done.value->ok());
        QCOMPARE(received(QStringLiteral("POST ") + kShoots).value("body_bytes"_L1).toInteger(), body.size());
    }
};

PINDLE_TEST(LoggerAPIEncodedTest)
#include "test_logger_api_encoded.moc"
