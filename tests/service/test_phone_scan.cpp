#include "ServiceTesting.h"
#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerTimecodeAPI.h"
#include "timecode/CameraTimecode.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <limits>
#include <memory>

namespace {

using namespace std::chrono_literals;

constexpr int kWaitMs = 10000;
constexpr auto kPoll = 1500ms;
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

QJsonObject reading(const QString& timecode, const QString& format = QStringLiteral("25|0|0"), double seenMs = kSeenMs)
{
    return {{"timecode", timecode}, {"format", format}, {"tz_offset_min", 0}, {"seen_at_ms", seenMs}};
}

// The scan runner polls on a manual clock: a poll happens when the test moves the clock, and the
// stand-in answers it in real time.
struct ScanRig {
    ScanRig(const QUrl& base, const QString& cookie, const QString& defaultsPath, std::chrono::milliseconds deadline)
        : store(cookie), service(base.toString(), store), defaults(defaultsPath), clock(defaults, &time)
    {
        LoggerTimecodeAPI::install(clock, service, {kPoll, deadline});
    }

    // Runs the scan until its state reads `state`: each poll falls due as soon as it is set, the
    // answers come in real time.
    bool runUntil(const QString& state)
    {
        const QDeadlineTimer deadline(kWaitMs);
        while (describe(clock.scan()) != state) {
            if (deadline.hasExpired())
                return false;
            if (time.activeTimerCount() > 0)
                time.advance(kPoll);
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
        return true;
    }

    InMemoryCookieStore store;
    APIService service;
    Defaults defaults;
    ManualClock time;
    CameraTimecode clock; // owns the runner, so it goes before the service
};

} // namespace

// The phone timecode scan: reading the service's answers, applying them to the clock, and the
// scan runner against a real stand-in, including answers for a scan nobody waits for.
class PhoneScanTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;
    QTemporaryDir m_dir;
    int m_files = 0;

    QString defaultsPath() { return m_dir.filePath(QStringLiteral("defaults-%1.json").arg(++m_files)); }

    // A rig whose scan has been asked for and is waiting on one phone.
    std::unique_ptr<ScanRig> waiting(std::chrono::milliseconds deadline = std::chrono::minutes(10),
                                     const QString& cookie = {}, const QString& state = QStringLiteral("waiting 1"))
    {
        auto r = std::make_unique<ScanRig>(m_standin->baseUrl(), cookie.isEmpty() ? m_cookie : cookie, defaultsPath(),
                                           deadline);
        r->clock.startScan();
        [&] { QVERIFY2(r->runUntil(state), qPrintable(describe(r->clock.scan()))); }();
        return r;
    }

    QJsonObject latestScan() { return m_standin->state().value(QStringLiteral("scans")).toArray().last().toObject(); }

    void completeLatest(QJsonObject body)
    {
        body.insert(QStringLiteral("id"), latestScan().value(QStringLiteral("id")).toString());
        const QJsonObject answer = m_standin->control(QStringLiteral("scan/complete"), body);
        QVERIFY2(answer.value(QStringLiteral("ok")).toBool(), QJsonDocument(answer).toJson().constData());
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY((m_standin = servicetesting::startStandin()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
    }

    void init()
    {
        m_standin->control(QStringLiteral("clear"));
        m_standin->control(QStringLiteral("phones"), {{QStringLiteral("pushed"), 1}});
    }

    // Wrong types are absent; numbers out of range make the answer unreadable.
    void readResult_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<double>("seenSeconds"); // NaN for none
        QTest::addColumn<int>("tzMinutes");
        QTest::addColumn<bool>("readable");
        const double none = std::numeric_limits<double>::quiet_NaN();
        const auto row = [](const char* name, const char* json, double seen, int zone, bool readable) {
            QTest::newRow(name) << QByteArray(json) << seen << zone << readable;
        };
        row("wrong types", R"({"status":5,"camera_tc":10,"seen_at_ms":"1","tz_offset_min":"60"})", none, kNone, true);
        row("fractional seen", R"({"seen_at_ms":1700000000123.5})", 1700000000.1235, kNone, true);
        row("zone at 18 h", R"({"tz_offset_min":-1080})", none, -1080, true);
        row("zone beyond 18 h", R"({"tz_offset_min":1081})", none, kNone, false);
    }
    void readResult()
    {
        QFETCH(QByteArray, json);
        QFETCH(double, seenSeconds);
        QFETCH(int, tzMinutes);
        const auto result = LoggerTimecodeAPI::readResult(QJsonDocument::fromJson(json).object());
        QCOMPARE(result.status, QStringLiteral("pending"));
        QCOMPARE(result.cameraTC, std::nullopt);
        QCOMPARE(result.seenAt.has_value(), !std::isnan(seenSeconds));
        if (result.seenAt)
            QCOMPARE(result.seenAt->secondsSince1970(), seenSeconds);
        QCOMPARE(result.tzOffsetMinutes, tzMinutes == kNone ? std::nullopt : std::optional<int>(tzMinutes));
        QTEST(result.readable, "readable");
    }

    // A good scan puts the clock on the camera at the moment seen and stores a new format; an
    // unreadable one fails and leaves the Mac clock.
    void applyScanResult_data()
    {
        QTest::addColumn<QString>("format"); // "" for none
        QTest::addColumn<QString>("cameraTC");
        QTest::addColumn<int>("tzMinutes");
        QTest::addColumn<QString>("stored"); // the clock's format afterwards; "" when the scan fails
        const auto row = [](const char* name, const char* format, const char* tc, int zone, const char* stored) {
            QTest::newRow(name) << format << tc << zone << stored;
        };
        row("switches to 29.97 DF", "30|1|1", "10:00:00;00", 60, "30|1|1");
        row("unknown format keeps the clock's", "29|1|0", "10:00:00:00", -300, "25|0|0");
        row("zone absent: the current zone", "", "23:59:59:24", kNone, "25|0|0");
        row("timecode absent", "30|1|1", "", 0, "");
        row("frame beyond the base", "", "10:00:00:25", 0, "");
    }
    void applyScanResult()
    {
        QFETCH(QString, format);
        QFETCH(QString, cameraTC);
        QFETCH(int, tzMinutes);
        QFETCH(QString, stored);
        Defaults defaults(defaultsPath());
        CameraTimecode clock(defaults);
        const Date seen = seenDate(kSeenMs + 480.0);
        CameraTimecode::ScanResult result;
        if (!format.isEmpty())
            result.tcFormat = format;
        if (!cameraTC.isEmpty())
            result.cameraTC = cameraTC;
        result.seenAt = seen;
        if (tzMinutes != kNone)
            result.tzOffsetMinutes = tzMinutes;
        clock.applyScanResult(result, seen, 7200);
        if (stored.isEmpty()) {
            QCOMPARE(describe(clock.scan()), failed(CameraTimecode::kUnreadableScanMessage));
            QVERIFY(onMacClock(clock));
            QVERIFY(!defaults.contains(QStringLiteral("pindle_logger_tc_format")));
            return;
        }
        QCOMPARE(describe(clock.scan()), QStringLiteral("idle"));
        QCOMPARE(clock.source(), CameraTimecode::Source(CameraTimecode::Camera{seen, true}));
        QCOMPARE(clock.format().storageString(), stored);
        QCOMPARE(defaults.contains(QStringLiteral("pindle_logger_tc_format")), stored != QLatin1String("25|0|0"));
        QCOMPARE(clock.tzOffsetSeconds(), tzMinutes == kNone ? 7200 : tzMinutes * 60);
        // The camera showed the label at the moment the phone saw it, and runs on from there.
        QCOMPARE(clock.timecodeAt(seen), cameraTC);
        QVERIFY(clock.timecodeAt(seen.addingSeconds(1.0)) != cameraTC);
    }

    void noBackendOrNoPhoneFails()
    {
        Defaults defaults(defaultsPath());
        CameraTimecode clock(defaults);
        clock.startScan();
        QCOMPARE(describe(clock.scan()), failed(CameraTimecode::kNoScanServiceMessage));

        m_standin->control(QStringLiteral("phones"), {{QStringLiteral("pushed"), 0}});
        auto r = waiting(10min, {}, failed(LoggerTimecodeAPI::kNoPhoneMessage));
        QCOMPARE(r->time.activeTimerCount(), 0);
        r->time.advance(1h);
        QCOMPARE(latestScan().value(QStringLiteral("polls")).toInt(), 0);
    }

    void answerFromService_data()
    {
        QTest::addColumn<QString>("id"); // the scan id the stand-in gives out; "" for its own
        QTest::addColumn<QJsonObject>("control");
        QTest::addColumn<QString>("outcome"); // "idle" when synced, else the failed state
        const auto row = [](const char* name, const QString& id, const QJsonObject& control, const QString& outcome) {
            QTest::newRow(name) << id << control << outcome;
        };
        row("29.97 DF, fractional seen", "", reading("10:00:00;00", "30|1|1", kSeenMs + 0.5), "idle");
        row("scan id is one path segment", "a/b ?%2F#\u00e9", reading("03:00:00:00"), "idle");
        row("NaN in the answer", "", {{"raw", R"({"status":"done","camera_tc":"10:00:00:00","seen_at_ms":NaN})"}},
            failed("Couldn't reach Pindle: The service's answer is not valid JSON."));
        row("negative seen", "", reading("10:00:00:00", "25|0|0", -1.0),
            failed(CameraTimecode::kUnreadableScanMessage));
        row("expired", "", {{"status", "expired"}}, failed(LoggerTimecodeAPI::kExpiredMessage));
    }
    void answerFromService()
    {
        QFETCH(QString, id);
        QFETCH(QJsonObject, control);
        QFETCH(QString, outcome);
        if (!id.isEmpty())
            m_standin->control(QStringLiteral("next-id"), {{"kind", "scan"}, {"id", id}});
        auto r = waiting();
        if (!id.isEmpty())
            QCOMPARE(latestScan().value(QStringLiteral("id")).toString(), id);
        completeLatest(control);
        QVERIFY2(r->runUntil(outcome), qPrintable(describe(r->clock.scan())));
        QCOMPARE(onMacClock(r->clock), outcome != QLatin1String("idle"));
        if (outcome != QLatin1String("idle"))
            return;
        const Date seen = seenDate(control.value(QStringLiteral("seen_at_ms")).toDouble());
        QCOMPARE(r->clock.source(), CameraTimecode::Source(CameraTimecode::Camera{seen, true}));
        QCOMPARE(r->clock.timecodeAt(seen), control.value(QStringLiteral("timecode")).toString());
        QCOMPARE(r->clock.format().storageString(), control.value(QStringLiteral("format")).toString());
    }

    void requestFailure_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const char* path, const char* kind, int status, const char* message) {
            QTest::newRow(name) << path << kind << status << QStringLiteral("Couldn't reach Pindle: ") + message;
        };
        row("signed out", "", "", 0, "sign in first");
        row("201 is not 200", "/api/logger/tc-request", "status", 201, "server said 201");
        row("html page", "/api/logger/tc-request", "nonjson", 200, "The service's answer is not valid JSON.");
        row("poll 401", "/api/logger/tc-request/*", "status", 401, "sign in first");
    }
    void requestFailure()
    {
        QFETCH(QString, path);
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QString, message);
        if (!path.isEmpty())
            m_standin->control(QStringLiteral("fault"),
                               {{"path", path}, {"kind", kind}, {"status", status}, {"count", -1}});
        auto r = waiting(10min, path.isEmpty() ? QStringLiteral("sid=not-a-session") : QString(),
                         QStringLiteral("failed: ") + message);
        QVERIFY(!QTest::currentTestFailed() && onMacClock(r->clock));
    }

    // Answers without a status keep the poll going every 1.5 s until the deadline passes: the
    // poll at the deadline is the last.
    void deadlinePasses()
    {
        auto r = waiting(6s);
        completeLatest({{QStringLiteral("raw"), QStringLiteral(R"({"camera_tc":"10:00:00:00"})")}});
        QVERIFY(r->runUntil(failed(LoggerTimecodeAPI::kNoAnswerMessage)));
        QCOMPARE(latestScan().value(QStringLiteral("polls")).toInt(), 4);
        QCOMPARE(r->time.activeTimerCount(), 0);
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
        m_standin->control(
            QStringLiteral("fault"),
            {{"path", "/api/logger/tc-request/*"}, {"method", "GET"}, {"kind", "slow"}, {"delay_ms", 200}});
        auto r = waiting();
        const QString oldId = latestScan().value(QStringLiteral("id")).toString();
        const QString pollKey = QStringLiteral("GET /api/logger/tc-request/") + oldId;
        r->time.advance(kPoll);
        QVERIFY(QTest::qWaitFor(
            [&] { return m_standin->state().value(QStringLiteral("requests")).toObject().contains(pollKey); },
            kWaitMs));
        completeLatest(reading(QStringLiteral("01:00:00:00")));
        if (tryAgain)
            r->clock.startScan();
        else
            r->clock.cancelScan();
        QTest::qWait(400); // the stand-in's delay, and the slow answer's way back
        QVERIFY(onMacClock(r->clock));
        QCOMPARE(describe(r->clock.scan()), tryAgain ? QStringLiteral("waiting 1") : QStringLiteral("idle"));
        if (!tryAgain)
            return;
        QVERIFY(latestScan().value(QStringLiteral("id")).toString() != oldId);
        completeLatest(reading(QStringLiteral("02:00:00:00")));
        QVERIFY(r->runUntil(QStringLiteral("idle")));
        QCOMPARE(r->clock.timecodeAt(seenDate(kSeenMs)), QStringLiteral("02:00:00:00"));
    }
};

PINDLE_TEST(PhoneScanTest)
#include "test_phone_scan.moc"
