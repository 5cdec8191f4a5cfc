#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerTimecodeAPI.h"
#include "timecode/CameraTimecode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <memory>

namespace {

constexpr int kWaitMs = 10000;
constexpr int kNone = std::numeric_limits<int>::min();
// A moment a phone saw the camera: 2023-11-14 22:13:20.000 UTC.
constexpr double kSeenMs = 1700000000000.0;

QString describe(const CameraTimecode::ScanState& state)
{
    if (const auto* waiting = std::get_if<CameraTimecode::Waiting>(&state))
        return QStringLiteral("waiting %1").arg(waiting->pushed);
    if (const auto* failed = std::get_if<CameraTimecode::Failed>(&state))
        return QStringLiteral("failed: ") + failed->message;
    return QStringLiteral("idle");
}

QString failed(const char* message)
{
    return QStringLiteral("failed: ") + QString::fromUtf8(message);
}

bool onMacClock(const CameraTimecode& clock)
{
    return std::holds_alternative<CameraTimecode::MacClock>(clock.source()) && clock.offsetFrames() == 0.0;
}

Date seenDate(double ms)
{
    return Date::fromSecondsSince1970(ms / 1000.0);
}

struct ScanRig {
    ScanRig(const QUrl& base, const QString& cookie, const QString& defaultsPath, LoggerTimecodeAPI::ScanTiming timing)
        : store(cookie), service(base.toString(), store), defaults(defaultsPath), clock(defaults)
    {
        LoggerTimecodeAPI::install(clock, service, timing);
    }

    InMemoryCookieStore store;
    APIService service;
    Defaults defaults;
    CameraTimecode clock; // owns the runner, so it goes before the service
};

} // namespace

// The phone timecode scan: reading the service's answers, applying them to the clock, and the
// scan runner against a real stand-in, including answers that arrive for a scan nobody waits for.
class PhoneScanTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;
    QTemporaryDir m_dir;
    int m_files = 0;

    QString defaultsPath() { return m_dir.filePath(QStringLiteral("defaults-%1.json").arg(++m_files)); }

    std::unique_ptr<ScanRig> rig(std::chrono::milliseconds deadline = std::chrono::minutes(10),
                                 const QString& cookie = {})
    {
        return std::make_unique<ScanRig>(m_standin->baseUrl(), cookie.isEmpty() ? m_cookie : cookie, defaultsPath(),
                                         LoggerTimecodeAPI::ScanTiming{std::chrono::milliseconds(20), deadline});
    }

    static bool waitFor(const CameraTimecode& clock, const QString& state)
    {
        return QTest::qWaitFor([&] { return describe(clock.scan()) == state; }, kWaitMs);
    }

    QJsonObject latestScan() { return m_standin->state().value(QStringLiteral("scans")).toArray().last().toObject(); }

    void completeLatest(QJsonObject body)
    {
        body.insert(QStringLiteral("id"), latestScan().value(QStringLiteral("id")).toString());
        const QJsonObject answer = m_standin->control(QStringLiteral("scan/complete"), body);
        QVERIFY2(answer.value(QStringLiteral("ok")).toBool(), QJsonDocument(answer).toJson().constData());
    }

    static QJsonObject reading(const QString& timecode, double seenMs = kSeenMs)
    {
        return QJsonObject{{QStringLiteral("timecode"), timecode},
                           {QStringLiteral("format"), QStringLiteral("25|0|0")},
                           {QStringLiteral("tz_offset_min"), 0},
                           {QStringLiteral("seen_at_ms"), seenMs}};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_standin = std::make_unique<StandinProcess>();
        QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        QVERIFY(!m_cookie.isEmpty());
    }

    void init()
    {
        m_standin->control(QStringLiteral("clear"));
        m_standin->control(QStringLiteral("phones"), {{QStringLiteral("pushed"), 1}});
    }

    void readResult_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("cameraTC");   // "-" for none
        QTest::addColumn<double>("seenSeconds"); // NaN for none
        QTest::addColumn<int>("tzMinutes");
        QTest::addColumn<bool>("readable");
        const double none = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("empty is pending") << QByteArray("{}") << "pending"
                                          << "-" << none << kNone << true;
        QTest::newRow("wrong types are absent")
            << QByteArray(R"({"status":5,"camera_tc":10,"tc_format":true,"seen_at_ms":"1","tz_offset_min":"60"})")
            << "pending"
            << "-" << none << kNone << true;
        QTest::newRow("integer seen")
            << QByteArray(R"({"status":"done","camera_tc":"10:00:00:00","seen_at_ms":1700000000123})") << "done"
            << "10:00:00:00" << 1700000000.123 << kNone << true;
        QTest::newRow("fractional seen") << QByteArray(R"({"seen_at_ms":1700000000123.5})") << "pending"
                                         << "-" << 1700000000.1235 << kNone << true;
        QTest::newRow("negative seen") << QByteArray(R"({"seen_at_ms":-5})") << "pending"
                                       << "-" << none << kNone << false;
        QTest::newRow("huge seen") << QByteArray(R"({"seen_at_ms":1e300})") << "pending"
                                   << "-" << none << kNone << false;
        QTest::newRow("zone west") << QByteArray(R"({"tz_offset_min":-300})") << "pending"
                                   << "-" << none << -300 << true;
        QTest::newRow("zone at ±18 h") << QByteArray(R"({"tz_offset_min":1080})") << "pending"
                                       << "-" << none << 1080 << true;
        QTest::newRow("zone beyond 18 h") << QByteArray(R"({"tz_offset_min":-1081})") << "pending"
                                          << "-" << none << kNone << false;
        QTest::newRow("zone fractional") << QByteArray(R"({"tz_offset_min":60.5})") << "pending"
                                         << "-" << none << kNone << false;
        QTest::newRow("zone huge") << QByteArray(R"({"tz_offset_min":1e12})") << "pending"
                                   << "-" << none << kNone << false;
    }

    void readResult()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, status);
        QFETCH(QString, cameraTC);
        QFETCH(double, seenSeconds);
        QFETCH(int, tzMinutes);
        QFETCH(bool, readable);
        const LoggerTimecodeAPI::Result result = LoggerTimecodeAPI::readResult(QJsonDocument::fromJson(json).object());
        QCOMPARE(result.status, status);
        QCOMPARE(result.cameraTC, cameraTC == QLatin1String("-") ? std::nullopt : std::optional<QString>(cameraTC));
        QCOMPARE(result.seenAt.has_value(), !std::isnan(seenSeconds));
        if (result.seenAt)
            QCOMPARE(result.seenAt->secondsSince1970(), seenSeconds);
        QCOMPARE(result.tzOffsetMinutes, tzMinutes == kNone ? std::nullopt : std::optional<int>(tzMinutes));
        QCOMPARE(result.readable, readable);
    }

    void readRequested_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("pushed"); // -1: the answer is refused
        QTest::newRow("count") << QByteArray(R"({"id":"x","pushed":3})") << 3;
        QTest::newRow("no count") << QByteArray(R"({"id":"x"})") << 0;
        QTest::newRow("count as text") << QByteArray(R"({"id":"x","pushed":"3"})") << 0;
        QTest::newRow("id not a string") << QByteArray(R"({"id":5,"pushed":1})") << -1;
        QTest::newRow("negative count") << QByteArray(R"({"id":"x","pushed":-1})") << -1;
        QTest::newRow("fractional count") << QByteArray(R"({"id":"x","pushed":1.5})") << -1;
        QTest::newRow("huge count") << QByteArray(R"({"id":"x","pushed":1e12})") << -1;
    }

    void readRequested()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, pushed);
        const auto result = LoggerTimecodeAPI::readRequested(QJsonDocument::fromJson(json).object());
        QCOMPARE(result.ok(), pushed >= 0);
        if (result.ok())
            QCOMPARE(result.value().pushed, pushed);
    }

    void applyScanResult_data()
    {
        QTest::addColumn<QString>("format");   // "-" for none
        QTest::addColumn<QString>("cameraTC"); // "-" for none
        QTest::addColumn<bool>("seenGiven");
        QTest::addColumn<int>("tzMinutes");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<QString>("stored"); // the clock's format afterwards; "" when the scan fails
        QTest::newRow("25 fps") << "-"
                                << "10:00:00:00" << true << 0 << true << "25|0|0";
        QTest::newRow("switches to 29.97 DF") << "30|1|1"
                                              << "10:00:00;00" << true << 60 << true << "30|1|1";
        QTest::newRow("unknown format text keeps the clock's") << "29|1|0"
                                                               << "10:00:00:00" << true << -300 << true << "25|0|0";
        QTest::newRow("seen absent: now") << "-"
                                          << "23:59:59:24" << false << 0 << true << "25|0|0";
        QTest::newRow("zone absent: the current zone") << "-"
                                                       << "00:00:00:00" << true << kNone << true << "25|0|0";
        QTest::newRow("timecode absent") << "30|1|1"
                                         << "-" << true << 0 << true << "";
        QTest::newRow("frame beyond the base") << "-"
                                               << "10:00:00:25" << true << 0 << true << "";
        QTest::newRow("unreadable numbers") << "-"
                                            << "10:00:00:00" << true << 0 << false << "";
    }

    void applyScanResult()
    {
        QFETCH(QString, format);
        QFETCH(QString, cameraTC);
        QFETCH(bool, seenGiven);
        QFETCH(int, tzMinutes);
        QFETCH(bool, readable);
        QFETCH(QString, stored);
        Defaults defaults(defaultsPath());
        CameraTimecode clock(defaults);
        const Date seen = seenDate(kSeenMs + 480.0);
        constexpr int zoneSeconds = 7200;
        CameraTimecode::ScanResult result;
        if (format != QLatin1String("-"))
            result.tcFormat = format;
        if (cameraTC != QLatin1String("-"))
            result.cameraTC = cameraTC;
        if (seenGiven)
            result.seenAt = seen;
        if (tzMinutes != kNone)
            result.tzOffsetMinutes = tzMinutes;
        result.readable = readable;
        clock.applyScanResult(result, seen, zoneSeconds);

        if (stored.isEmpty()) {
            QCOMPARE(describe(clock.scan()), failed(CameraTimecode::kUnreadableScanMessage));
            QVERIFY(onMacClock(clock));
            QCOMPARE(clock.format().storageString(), QStringLiteral("25|0|0"));
            QVERIFY(!defaults.contains(QStringLiteral("pindle_logger_tc_format")));
            return;
        }
        QCOMPARE(describe(clock.scan()), QStringLiteral("idle"));
        QCOMPARE(clock.source(), CameraTimecode::Source(CameraTimecode::Camera{seen, true}));
        QCOMPARE(clock.format().storageString(), stored);
        QCOMPARE(defaults.contains(QStringLiteral("pindle_logger_tc_format")), stored != QLatin1String("25|0|0"));
        QCOMPARE(clock.tzOffsetSeconds(), tzMinutes == kNone ? zoneSeconds : tzMinutes * 60);
        // The camera showed the label at the moment the phone saw it, and runs on from there.
        QCOMPARE(clock.timecodeAt(seen), cameraTC);
        QVERIFY(clock.timecodeAt(seen.addingSeconds(1.0)) != cameraTC);
        QVERIFY(clock.offsetMilliseconds().has_value());
    }

    void withoutBackendFails()
    {
        Defaults defaults(defaultsPath());
        CameraTimecode clock(defaults);
        clock.startScan();
        QCOMPARE(describe(clock.scan()), failed(CameraTimecode::kNoScanServiceMessage));
    }

    void noPhoneFailsWithoutPolling()
    {
        m_standin->control(QStringLiteral("phones"), {{QStringLiteral("pushed"), 0}});
        auto r = rig();
        r->clock.startScan();
        QCOMPARE(describe(r->clock.scan()), QStringLiteral("waiting 0"));
        QVERIFY(waitFor(r->clock, failed(LoggerTimecodeAPI::kNoPhoneMessage)));
        QTest::qWait(100);
        QCOMPARE(latestScan().value(QStringLiteral("polls")).toInt(), 0);
    }

    void answerFromService_data()
    {
        QTest::addColumn<QJsonObject>("control");
        QTest::addColumn<QString>("outcome"); // "idle" when synced, else the failed state
        QTest::addColumn<QString>("shown");   // the timecode at the moment seen
        const QString unreadable = failed(CameraTimecode::kUnreadableScanMessage);
        QJsonObject dropFrame = reading(QStringLiteral("10:00:00;00"));
        dropFrame.insert(QStringLiteral("format"), QStringLiteral("30|1|1"));
        dropFrame.insert(QStringLiteral("tz_offset_min"), 60);
        QTest::newRow("29.97 DF") << dropFrame << "idle"
                                  << "10:00:00;00";
        QTest::newRow("fractional seen") << reading(QStringLiteral("12:00:00:00"), kSeenMs + 0.5) << "idle"
                                         << "12:00:00:00";
        QJsonObject noTimecode = reading({});
        noTimecode.remove(QStringLiteral("timecode"));
        QTest::newRow("no timecode") << noTimecode << unreadable << "";
        QJsonObject hugeZone = reading(QStringLiteral("10:00:00:00"));
        hugeZone.insert(QStringLiteral("tz_offset_min"), 1e12);
        QTest::newRow("huge zone") << hugeZone << unreadable << "";
        QTest::newRow("negative seen") << reading(QStringLiteral("10:00:00:00"), -1.0) << unreadable << "";
        QTest::newRow("NaN in the answer")
            << QJsonObject{{QStringLiteral("raw"),
                            QStringLiteral(R"({"status":"done","camera_tc":"10:00:00:00","seen_at_ms":NaN})")}}
            << QStringLiteral("failed: Couldn't reach Pindle: The service's answer is not valid JSON.") << "";
        QTest::newRow("expired") << QJsonObject{{QStringLiteral("status"), QStringLiteral("expired")}}
                                 << failed(LoggerTimecodeAPI::kExpiredMessage) << "";
    }

    void answerFromService()
    {
        QFETCH(QJsonObject, control);
        QFETCH(QString, outcome);
        QFETCH(QString, shown);
        auto r = rig();
        r->clock.startScan();
        QVERIFY(waitFor(r->clock, QStringLiteral("waiting 1")));
        completeLatest(control);
        QVERIFY2(waitFor(r->clock, outcome), qPrintable(describe(r->clock.scan())));
        if (outcome != QLatin1String("idle")) {
            QVERIFY(onMacClock(r->clock));
            return;
        }
        const Date seen = seenDate(control.value(QStringLiteral("seen_at_ms")).toDouble());
        QCOMPARE(r->clock.source(), CameraTimecode::Source(CameraTimecode::Camera{seen, true}));
        QCOMPARE(r->clock.timecodeAt(seen), shown);
        QCOMPARE(r->clock.format().storageString(), control.value(QStringLiteral("format")).toString());
    }

    void answerWithoutStatusKeepsPolling()
    {
        auto r = rig();
        r->clock.startScan();
        QVERIFY(waitFor(r->clock, QStringLiteral("waiting 1")));
        completeLatest({{QStringLiteral("raw"), QStringLiteral(R"({"camera_tc":"10:00:00:00"})")}});
        QVERIFY(QTest::qWaitFor([&] { return latestScan().value(QStringLiteral("polls")).toInt() >= 4; }, kWaitMs));
        QCOMPARE(describe(r->clock.scan()), QStringLiteral("waiting 1"));
        r->clock.cancelScan();
        QCOMPARE(describe(r->clock.scan()), QStringLiteral("idle"));
        QVERIFY(onMacClock(r->clock));
    }

    void requestFailure_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString request = QStringLiteral("/api/logger/tc-request");
        const QString poll = QStringLiteral("/api/logger/tc-request/*");
        QTest::newRow("signed out") << QString() << QString() << 0 << "Couldn't reach Pindle: sign in first";
        QTest::newRow("500") << request << "status" << 500 << "Couldn't reach Pindle: server said 500";
        QTest::newRow("201 is not 200") << request << "status" << 201 << "Couldn't reach Pindle: server said 201";
        QTest::newRow("html page") << request << "nonjson" << 200
                                   << "Couldn't reach Pindle: The service's answer is not valid JSON.";
        QTest::newRow("empty 200") << request << "empty" << 200
                                   << "Couldn't reach Pindle: The service's answer is not valid JSON.";
        QTest::newRow("dropped") << request << "drop" << 200 << "Couldn't reach Pindle: Could not reach the service";
        QTest::newRow("poll 500") << poll << "status" << 500 << "Couldn't reach Pindle: server said 500";
        QTest::newRow("poll 401") << poll << "status" << 401 << "Couldn't reach Pindle: sign in first";
    }

    void requestFailure()
    {
        QFETCH(QString, path);
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QString, message);
        if (!path.isEmpty()) {
            m_standin->control(QStringLiteral("fault"), {{QStringLiteral("path"), path},
                                                         {QStringLiteral("kind"), kind},
                                                         {QStringLiteral("status"), status},
                                                         {QStringLiteral("count"), -1}});
        }
        auto r = rig(std::chrono::minutes(10), path.isEmpty() ? QStringLiteral("sid=not-a-session") : QString());
        r->clock.startScan();
        QVERIFY(
            QTest::qWaitFor([&] { return std::holds_alternative<CameraTimecode::Failed>(r->clock.scan()); }, kWaitMs));
        QVERIFY2(describe(r->clock.scan()).startsWith(QStringLiteral("failed: ") + message),
                 qPrintable(describe(r->clock.scan())));
        QVERIFY(onMacClock(r->clock));
    }

    void deadlinePasses()
    {
        auto r = rig(std::chrono::milliseconds(250));
        r->clock.startScan();
        QVERIFY(waitFor(r->clock, failed(LoggerTimecodeAPI::kNoAnswerMessage)));
        QVERIFY(latestScan().value(QStringLiteral("polls")).toInt() > 1);
    }

    // A poll is in flight when the user cancels or tries again; its "done" answer comes back
    // late and must change neither the clock nor the new scan.
    void lateAnswerOfOldScanIsDropped_data()
    {
        QTest::addColumn<bool>("tryAgain");
        QTest::newRow("cancel") << false;
        QTest::newRow("try again") << true;
    }

    void lateAnswerOfOldScanIsDropped()
    {
        QFETCH(bool, tryAgain);
        m_standin->control(QStringLiteral("fault"),
                           {{QStringLiteral("path"), QStringLiteral("/api/logger/tc-request/*")},
                            {QStringLiteral("method"), QStringLiteral("GET")},
                            {QStringLiteral("kind"), QStringLiteral("slow")},
                            {QStringLiteral("delay_ms"), 400}});
        auto r = rig();
        r->clock.startScan();
        QVERIFY(waitFor(r->clock, QStringLiteral("waiting 1")));
        const QString oldId = latestScan().value(QStringLiteral("id")).toString();
        const QString pollKey = QStringLiteral("GET /api/logger/tc-request/") + oldId;
        QVERIFY(QTest::qWaitFor(
            [&] { return m_standin->state().value(QStringLiteral("requests")).toObject().contains(pollKey); },
            kWaitMs));
        completeLatest(reading(QStringLiteral("01:00:00:00")));
        if (tryAgain)
            r->clock.startScan();
        else
            r->clock.cancelScan();
        // Long enough for the slow answer to arrive.
        QTest::qWait(700);
        QVERIFY(onMacClock(r->clock));
        if (!tryAgain) {
            QCOMPARE(describe(r->clock.scan()), QStringLiteral("idle"));
            return;
        }
        QCOMPARE(describe(r->clock.scan()), QStringLiteral("waiting 1"));
        QVERIFY(latestScan().value(QStringLiteral("id")).toString() != oldId);
        completeLatest(reading(QStringLiteral("02:00:00:00")));
        QVERIFY(waitFor(r->clock, QStringLiteral("idle")));
        QCOMPARE(r->clock.timecodeAt(seenDate(kSeenMs)), QStringLiteral("02:00:00:00"));
    }

    void scanIdIsOnePathSegment()
    {
        const QString id = QStringLiteral("a/b ?%2F#\u00e9");
        m_standin->control(QStringLiteral("next-id"),
                           {{QStringLiteral("kind"), QStringLiteral("scan")}, {QStringLiteral("id"), id}});
        auto r = rig();
        r->clock.startScan();
        QVERIFY(waitFor(r->clock, QStringLiteral("waiting 1")));
        QCOMPARE(latestScan().value(QStringLiteral("id")).toString(), id);
        completeLatest(reading(QStringLiteral("03:00:00:00")));
        QVERIFY(waitFor(r->clock, QStringLiteral("idle")));
        QCOMPARE(r->clock.timecodeAt(seenDate(kSeenMs)), QStringLiteral("03:00:00:00"));
    }

    void demoScan_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("cancel");
        // The camera's label for 52,330 s worth of frames, read in the clock's own format.
        QTest::newRow("25 fps") << "25|0|0"
                                << "14:32:10:" << false;
        QTest::newRow("29.97 DF") << "30|1|1"
                                  << "14:33:02;" << false;
        QTest::newRow("cancelled") << "25|0|0"
                                   << "" << true;
    }

    void demoScan()
    {
        QFETCH(QString, format);
        QFETCH(QString, shown);
        QFETCH(bool, cancel);
        Defaults defaults(defaultsPath());
        CameraTimecode clock(defaults);
        clock.setFormat(*CameraTimecode::Format::fromStorage(format));
        clock.setDemoMode(true, {std::chrono::milliseconds(20), std::chrono::milliseconds(150)});
        clock.startScan();
        QCOMPARE(describe(clock.scan()), QStringLiteral("waiting 0"));
        QVERIFY(waitFor(clock, QStringLiteral("waiting 1")));
        if (cancel) {
            clock.cancelScan();
            QTest::qWait(300);
            QCOMPARE(describe(clock.scan()), QStringLiteral("idle"));
            QVERIFY(onMacClock(clock));
            return;
        }
        QVERIFY(waitFor(clock, QStringLiteral("idle")));
        const auto* camera = std::get_if<CameraTimecode::Camera>(&clock.source());
        QVERIFY(camera && camera->viaPhone);
        QVERIFY2(clock.timecodeAt(Date::now()).startsWith(shown), qPrintable(clock.timecodeAt(Date::now())));
    }
};

PINDLE_TEST(PhoneScanTest)
#include "test_phone_scan.moc"
