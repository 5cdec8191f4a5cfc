#include "common/TestMain.h"

#include "StandinTestSupport.h"

#include <QDateTime>
#include <QRegularExpression>

using namespace standin_test;

// The phone scan: request, polling, and every way a scan ends (control, console, timer).
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
        QTest::newRow("nothing read") << QJsonObject{} << QJsonObject{};
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
        QTest::newRow("complete no id") << QStringLiteral("scan/complete") << QByteArray(R"({})") << 400;
        QTest::newRow("raw not text") << QStringLiteral("scan/complete") << QByteArray(R"({"id":"latest","raw":{}})")
                                      << 400;
        QTest::newRow("fail id number") << QStringLiteral("scan/fail") << QByteArray(R"({"id":5})") << 400;
        QTest::newRow("phones negative") << QStringLiteral("phones") << QByteArray(R"({"pushed":-1})") << 400;
        QTest::newRow("phones fraction") << QStringLiteral("phones") << QByteArray(R"({"pushed":0.5})") << 400;
        QTest::newRow("next-id kind") << QStringLiteral("next-id") << QByteArray(R"({"kind":"user","id":"a"})") << 400;
        QTest::newRow("next-id empty") << QStringLiteral("next-id") << QByteArray(R"({"kind":"scan","id":""})") << 400;
    }

    void controlRejects()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, body);
        QFETCH(int, status);
        QCOMPARE(m_standin->request("POST", QStringLiteral("/__control/") + path, body).status, status);
    }

    // The console plays the phone: "scan latest <tc> [format]".
    void consoleCompletesLatest()
    {
        const QString id = requestScan(*m_standin, m_ada);
        QVERIFY(m_standin->waitForOutput(QStringLiteral("scan %1 requested by %2").arg(id, kAda).toUtf8()));
        m_standin->sendConsole("scan latest 99:99");
        QVERIFY(m_standin->waitForOutput("not a timecode: 99:99"));
        m_standin->sendConsole("scan latest 11:22:33:44 29|1");
        QVERIFY(m_standin->waitForOutput("not a format: 29|1"));
        m_standin->sendConsole("wave");
        QVERIFY(m_standin->waitForOutput("unknown command \"wave\""));
        m_standin->sendConsole("scan latest 11:22:33:14 24|0|0");
        QVERIFY(m_standin->waitForOutput("scan latest done: 11:22:33:14"));

        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const QJsonObject answer = poll(*m_standin, id, m_ada).json();
        QCOMPARE(answer.value(QStringLiteral("status")).toString(), QStringLiteral("done"));
        QCOMPARE(answer.value(QStringLiteral("camera_tc")).toString(), QStringLiteral("11:22:33:14"));
        QCOMPARE(answer.value(QStringLiteral("tc_format")).toString(), QStringLiteral("24|0|0"));
        QVERIFY(qAbs(answer.value(QStringLiteral("seen_at_ms")).toDouble() - static_cast<double>(now)) < 10'000.0);
        QCOMPARE(answer.value(QStringLiteral("tz_offset_min")).toInt(),
                 QDateTime::currentDateTime().offsetFromUtc() / 60);
    }

    // --scan-delay: the scan completes by itself with the time of day at 25 fps.
    void automaticScan()
    {
        StandinProcess standin({QStringLiteral("--scan-delay"), QStringLiteral("0.2")});
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        const QString cookie = standin.signIn(kAda);
        const QString id = requestScan(standin, cookie);
        QCOMPARE(poll(standin, id, cookie).json().value(QStringLiteral("status")).toString(),
                 QStringLiteral("pending"));
        QJsonObject answer;
        QTRY_COMPARE_WITH_TIMEOUT(
            (answer = poll(standin, id, cookie).json()).value(QStringLiteral("status")).toString(),
            QStringLiteral("done"), 5000);
        static const QRegularExpression tc(QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d:([01]\\d|2[0-4])$"));
        QVERIFY2(tc.match(answer.value(QStringLiteral("camera_tc")).toString()).hasMatch(),
                 qPrintable(answer.value(QStringLiteral("camera_tc")).toString()));
        QCOMPARE(answer.value(QStringLiteral("tc_format")).toString(), QStringLiteral("25|0|0"));
        QCOMPARE(standin.stop(), 0);
    }

    void cleanupTestCase() { QCOMPARE(m_standin->stop(), 0); }
};

PINDLE_TEST(StandinScanTest)
#include "StandinScanTest.moc"
