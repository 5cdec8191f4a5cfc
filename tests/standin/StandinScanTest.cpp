#include "common/TestMain.h"

#include "StandinTestSupport.h"

using namespace standin_test;

// The phone scan: request, polling, and the ways a scan ends.
class StandinScanTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_ada;

    QString requestScan(StandinProcess& standin, const QString& cookie, int* pushed = nullptr)
    {
        const auto answer = standin.request("POST", QStringLiteral("/api/logger/tc-request"), "{}", cookie);
        if (pushed)
            *pushed = answer.json().value(QStringLiteral("pushed")).toInt(-1);
        return answer.json().value(QStringLiteral("id")).toString();
    }

    StandinProcess::Answer poll(StandinProcess& standin, const QString& id, const QString& cookie)
    {
        return standin.request("GET", QStringLiteral("/api/logger/tc-request/") + QUrl::toPercentEncoding(id), {},
                               cookie);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_ada = m_standin->signIn(kAda);
    }

    void pendingThenDone()
    {
        int pushed = -1;
        const QString id = requestScan(*m_standin, m_ada, &pushed);
        QVERIFY(!id.isEmpty());
        QCOMPARE(pushed, 1);
        const auto pending = poll(*m_standin, id, m_ada);
        QCOMPARE(pending.status, 200);
        QCOMPARE(pending.json().value(QStringLiteral("status")).toString(), QStringLiteral("pending"));
        QVERIFY(!pending.json().contains(QStringLiteral("camera_tc")));

        const QJsonObject done = m_standin->control(QStringLiteral("scan/complete"),
                                                    {{QStringLiteral("id"), id},
                                                     {QStringLiteral("timecode"), QStringLiteral("10:00:00;00")},
                                                     {QStringLiteral("format"), QStringLiteral("30|1|1")},
                                                     {QStringLiteral("tz_offset_min"), 60},
                                                     {QStringLiteral("seen_at_ms"), 1700000000123.5}});
        QVERIFY(done.value(QStringLiteral("ok")).toBool());
        const QJsonObject answer = poll(*m_standin, id, m_ada).json();
        QCOMPARE(answer.value(QStringLiteral("status")).toString(), QStringLiteral("done"));
        QCOMPARE(answer.value(QStringLiteral("camera_tc")).toString(), QStringLiteral("10:00:00;00"));
        QCOMPARE(answer.value(QStringLiteral("tc_format")).toString(), QStringLiteral("30|1|1"));
        QCOMPARE(answer.value(QStringLiteral("tz_offset_min")).toDouble(), 60.0);
        QCOMPARE(answer.value(QStringLiteral("seen_at_ms")).toDouble(), 1700000000123.5);

        // A finished scan cannot be finished again.
        const auto again =
            m_standin->request("POST", QStringLiteral("/__control/scan/fail"), json({{QStringLiteral("id"), id}}));
        QCOMPARE(again.status, 409);
        QCOMPARE(m_standin->state().value(QStringLiteral("scans")).toArray().last()[QStringLiteral("polls")].toInt(),
                 2);
    }

    void failedScanExpires()
    {
        const QString id = requestScan(*m_standin, m_ada);
        QVERIFY(m_standin->control(QStringLiteral("scan/fail"), {{QStringLiteral("id"), id}})
                    .value(QStringLiteral("ok"))
                    .toBool());
        QCOMPARE(poll(*m_standin, id, m_ada).json().value(QStringLiteral("status")).toString(),
                 QStringLiteral("expired"));
    }

    void readingsPassThrough_data()
    {
        QTest::addColumn<QJsonObject>("control");
        QTest::addColumn<QJsonObject>("expected");
        QTest::newRow("timecode only") << QJsonObject{{QStringLiteral("timecode"), QStringLiteral("01:02:03:04")}}
                                       << QJsonObject{{QStringLiteral("camera_tc"), QStringLiteral("01:02:03:04")}};
        QTest::newRow("wrong types") << QJsonObject{{QStringLiteral("timecode"), 10},
                                                    {QStringLiteral("seen_at_ms"), QStringLiteral("soon")},
                                                    {QStringLiteral("tz_offset_min"), 59.5},
                                                    {QStringLiteral("format"), QJsonArray{25, 0, 0}}}
                                     << QJsonObject{{QStringLiteral("camera_tc"), 10},
                                                    {QStringLiteral("seen_at_ms"), QStringLiteral("soon")},
                                                    {QStringLiteral("tz_offset_min"), 59.5},
                                                    {QStringLiteral("tc_format"), QJsonArray{25, 0, 0}}};
        QTest::newRow("odd status") << QJsonObject{{QStringLiteral("status"), QStringLiteral("thinking")}}
                                    << QJsonObject{};
    }

    // What a test hands over is answered as it is, so the client's reading of bad values is testable.
    void readingsPassThrough()
    {
        QFETCH(QJsonObject, control);
        QFETCH(QJsonObject, expected);
        const QString id = requestScan(*m_standin, m_ada);
        control.insert(QStringLiteral("id"), id);
        QVERIFY(m_standin->control(QStringLiteral("scan/complete"), control).value(QStringLiteral("ok")).toBool());
        QJsonObject answer = poll(*m_standin, id, m_ada).json();
        QCOMPARE(answer.take(QStringLiteral("id")).toString(), id);
        QCOMPARE(answer.take(QStringLiteral("status")).toString(),
                 control.value(QStringLiteral("status")).toString(QStringLiteral("done")));
        QCOMPARE(answer, expected);
    }

    // Raw text goes out byte for byte: values no JSON writer would produce.
    void rawAnswer()
    {
        const QString id = requestScan(*m_standin, m_ada);
        const QByteArray raw = R"({"status":"done","camera_tc":"10:00:00:00","seen_at_ms":1e400,"tz_offset_min":1e10})";
        m_standin->control(QStringLiteral("scan/complete"),
                           {{QStringLiteral("id"), id}, {QStringLiteral("raw"), QString::fromLatin1(raw)}});
        const auto answer = poll(*m_standin, id, m_ada);
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.body, raw);
    }

    void noPhoneAlerted()
    {
        m_standin->control(QStringLiteral("phones"), {{QStringLiteral("pushed"), 0}});
        int pushed = -1;
        QVERIFY(!requestScan(*m_standin, m_ada, &pushed).isEmpty());
        m_standin->control(QStringLiteral("phones"), {{QStringLiteral("pushed"), 1}});
        QCOMPARE(pushed, 0);
    }

    // Scans belong to the account that asked; ids are matched exactly after one decoding.
    void pollFindsOwnScansOnly()
    {
        m_standin->control(QStringLiteral("next-id"), {{QStringLiteral("kind"), QStringLiteral("scan")},
                                                       {QStringLiteral("id"), QStringLiteral("x y/z")}});
        QCOMPARE(requestScan(*m_standin, m_ada), QStringLiteral("x y/z"));
        QCOMPARE(poll(*m_standin, QStringLiteral("x y/z"), m_ada).status, 200);
        QCOMPARE(poll(*m_standin, QStringLiteral("x y/z"), m_standin->signIn(kBob)).status, 404);
        QCOMPARE(poll(*m_standin, QStringLiteral("X Y/Z"), m_ada).status, 404);
        QCOMPARE(poll(*m_standin, QStringLiteral("x%20y%2Fz"), m_ada).status, 404);
        QCOMPARE(poll(*m_standin, QStringLiteral("latest"), m_ada).status, 404);
    }

    void controlRejects_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("status");
        QTest::newRow("complete unknown") << QStringLiteral("scan/complete") << QByteArray(R"({"id":"nope"})") << 409;
        QTest::newRow("raw not text") << QStringLiteral("scan/complete") << QByteArray(R"({"id":"latest","raw":{}})")
                                      << 400;
        QTest::newRow("phones fraction") << QStringLiteral("phones") << QByteArray(R"({"pushed":0.5})") << 400;
        QTest::newRow("next-id empty") << QStringLiteral("next-id") << QByteArray(R"({"kind":"scan","id":""})") << 400;
    }

    void controlRejects()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QCOMPARE(m_standin->request("POST", QStringLiteral("/__control/") + path, body).status, status);
    }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }
};

PINDLE_TEST(StandinScanTest)
#include "StandinScanTest.moc"
