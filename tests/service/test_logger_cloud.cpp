#include "common/StandinProcess.h"
#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerCloud.h"
#include "timecode/CameraTimecode.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kWaitMs = 10000;
// 2023-11-14 22:13:20.2506 UTC: whole milliseconds round up to …251.
const Date kStart = Date::fromSecondsSince1970(1700000000.2506);

QJsonObject marker(const QString& id)
{
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("type"), QStringLiteral("note")},
                       {QStringLiteral("timecode_in"), QStringLiteral("10:00:00:00")}};
}

LoggerCloud::Snapshot snapshotOf(const QStringList& ids)
{
    LoggerCloud::Snapshot snapshot;
    snapshot.segments.append(
        QJsonObject{{QStringLiteral("id"), QStringLiteral("1-1")}, {QStringLiteral("text"), ids.join(u' ')}});
    for (const QString& id : ids)
        snapshot.markers.append(marker(id));
    return snapshot;
}

QStringList idsOf(const QJsonArray& markers)
{
    QStringList ids;
    for (const QJsonValue& value : markers)
        ids.append(value.toObject().value(QStringLiteral("id")).toString());
    return ids;
}

// One client of the stand-in: service, clock and cloud, with a clock the test moves by hand.
struct Rig {
    Rig(const QUrl& base, const QString& cookie, const QString& defaultsPath, LoggerCloud::Timing timing)
        : store(cookie), service(base.toString(), store), defaults(defaultsPath), clock(defaults),
          cloud(service, clock, timing, [this] { return now; })
    {
    }

    Date now = kStart;
    InMemoryCookieStore store;
    APIService service;
    Defaults defaults;
    CameraTimecode clock;
    LoggerCloud cloud;
};

} // namespace

// The shoot sync against a real stand-in: create, sync, heartbeat and wrap, and what a late
// answer may no longer change.
class LoggerCloudTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;
    QTemporaryDir m_dir;
    int m_rigs = 0;

    // Ticks stay manual unless a test asks for a running timer.
    std::unique_ptr<Rig> rig(LoggerCloud::Timing timing = {std::chrono::hours(1), 45.0})
    {
        return std::make_unique<Rig>(m_standin->baseUrl(), m_cookie,
                                     m_dir.filePath(QStringLiteral("defaults-%1.json").arg(++m_rigs)), timing);
    }

    static std::optional<QString> start(Rig& r, const std::optional<QString>& existing = {}, bool forceNew = true)
    {
        bool finished = false;
        std::optional<QString> token;
        r.cloud.startShoot(existing, QStringLiteral("Log 14 Nov"), r.clock.format().storageString(), forceNew,
                           [&](std::optional<QString> answered) {
                               token = answered;
                               finished = true;
                           });
        if (!QTest::qWaitFor([&] { return finished; }, kWaitMs))
            qWarning("startShoot did not complete");
        return token;
    }

    // Runs one operation of the cloud and waits for its completion.
    template <typename Operation> static bool await(Operation operation)
    {
        bool finished = false;
        operation([&] { finished = true; });
        return QTest::qWaitFor([&] { return finished; }, kWaitMs);
    }

    QJsonObject shoot(const QString& token)
    {
        for (const QJsonValue& value : m_standin->state().value(QStringLiteral("shoots")).toArray()) {
            if (value.toObject().value(QStringLiteral("token")).toString() == token)
                return value.toObject();
        }
        return {};
    }

    int totalRequests()
    {
        int total = 0;
        for (const QJsonValue& entry : m_standin->state().value(QStringLiteral("requests")).toObject())
            total += entry.toObject().value(QStringLiteral("count")).toInt();
        return total;
    }

    int requestCount(const QString& key)
    {
        const QJsonObject requests = m_standin->state().value(QStringLiteral("requests")).toObject();
        return requests.value(key).toObject().value(QStringLiteral("count")).toInt();
    }

    void fault(const QString& path, const QString& kind, int status = 500, int delayMs = 0, int count = 1)
    {
        QJsonObject body{{QStringLiteral("path"), path},
                         {QStringLiteral("kind"), kind},
                         {QStringLiteral("status"), status},
                         {QStringLiteral("count"), count}};
        if (delayMs > 0)
            body.insert(QStringLiteral("delay_ms"), delayMs);
        QVERIFY(m_standin->control(QStringLiteral("fault"), body).value(QStringLiteral("ok")).toBool());
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

    void init() { m_standin->control(QStringLiteral("clear")); }

    void startShoot_data()
    {
        QTest::addColumn<QString>("existing"); // "-" for none
        QTest::addColumn<bool>("forceNew");
        QTest::addColumn<bool>("creates");
        QTest::newRow("existing token reused") << QStringLiteral("known") << false << false;
        QTest::newRow("existing token, forced new") << QStringLiteral("known") << true << true;
        QTest::newRow("no token") << QStringLiteral("-") << false << true;
        QTest::newRow("empty token counts as none") << QString() << false << true;
    }

    void startShoot()
    {
        QFETCH(QString, existing);
        QFETCH(bool, forceNew);
        QFETCH(bool, creates);
        auto first = rig();
        const std::optional<QString> known = start(*first);
        QVERIFY(known);
        const QString given = existing == QLatin1String("known") ? *known : existing;
        const int before = requestCount(QStringLiteral("POST /api/logger/shoots"));

        auto r = rig();
        QSignalSpy tokenSpy(&r->cloud, &LoggerCloud::tokenChanged);
        const std::optional<QString> token =
            start(*r, existing == QLatin1String("-") ? std::nullopt : std::optional<QString>(given), forceNew);
        QVERIFY(token);
        QCOMPARE(token, r->cloud.token());
        QCOMPARE(tokenSpy.count(), 1);
        QVERIFY(r->cloud.isTimerRunning());
        QCOMPARE(requestCount(QStringLiteral("POST /api/logger/shoots")), before + (creates ? 1 : 0));
        QCOMPARE(*token == *known, !creates);

        // The log then syncs under that token.
        r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("M1")}); });
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        QCOMPARE(shoot(*token).value(QStringLiteral("syncs")).toInt(), 1);
        QCOMPARE(r->cloud.lastSaved(), std::optional<Date>(kStart));
    }

    void offsetOnlyWhileCameraSynced_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("mac clock") << QStringLiteral("mac");
        QTest::newRow("typed lock") << QStringLiteral("typed");
        QTest::newRow("phone scan") << QStringLiteral("scan");
    }

    void offsetOnlyWhileCameraSynced()
    {
        QFETCH(QString, source);
        auto r = rig();
        if (source == QLatin1String("typed")) {
            QVERIFY(r->clock.lockTyped(QStringLiteral("10:00:00:00"), kStart, 0));
        } else if (source == QLatin1String("scan")) {
            CameraTimecode::ScanResult scan;
            scan.cameraTC = QStringLiteral("14:00:00:00");
            scan.seenAt = kStart;
            scan.tzOffsetMinutes = 60;
            r->clock.applyScanResult(scan);
        }
        const std::optional<qint64> offset = r->clock.offsetMilliseconds();
        QCOMPARE(offset.has_value(), source != QLatin1String("mac"));

        const std::optional<QString> token = start(*r);
        QVERIFY(token);
        const QJsonObject created = shoot(*token).value(QStringLiteral("create_body")).toObject();
        QCOMPARE(created.value(QStringLiteral("title")).toString(), QStringLiteral("Log 14 Nov"));
        QCOMPARE(created.value(QStringLiteral("tc_format")).toString(), QStringLiteral("25|0|0"));
        QCOMPARE(created.value(QStringLiteral("audio_epoch_ms")).toInteger(), Q_INT64_C(1700000000251));
        QCOMPARE(created.contains(QStringLiteral("tc_offset_ms")), offset.has_value());
        if (offset)
            QCOMPARE(created.value(QStringLiteral("tc_offset_ms")).toInteger(), *offset);

        r->cloud.setSnapshot([] { return snapshotOf({}); });
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        QJsonObject synced = shoot(*token).value(QStringLiteral("last_sync")).toObject();
        QCOMPARE(synced.contains(QStringLiteral("tc_offset_ms")), offset.has_value());
        if (offset)
            QCOMPARE(synced.value(QStringLiteral("tc_offset_ms")).toInteger(), *offset);

        // Back on the Mac clock the next sync carries no offset.
        r->clock.useMacClock(0);
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        synced = shoot(*token).value(QStringLiteral("last_sync")).toObject();
        QVERIFY(!synced.contains(QStringLiteral("tc_offset_ms")));
    }

    void createFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::newRow("401") << QStringLiteral("status") << 401;
        QTest::newRow("500") << QStringLiteral("status") << 500;
        QTest::newRow("html page, no token") << QStringLiteral("nonjson") << 200;
        QTest::newRow("empty answer") << QStringLiteral("empty") << 200;
        QTest::newRow("connection dropped") << QStringLiteral("drop") << 200;
    }

    void createFailure()
    {
        QFETCH(QString, kind);
        QFETCH(int, status);
        // A drop is resent once by the network layer: spoil every try.
        fault(QStringLiteral("/api/logger/shoots"), kind, status, 0, kind == QLatin1String("drop") ? -1 : 1);
        auto r = rig();
        QCOMPARE(start(*r), std::nullopt);
        QCOMPARE(r->cloud.token(), std::nullopt);
        QVERIFY(!r->cloud.isTimerRunning());
    }

    // A marker removed after a successful sync is listed once; a failed sync lists it again.
    void deletedMarkersListedOnce()
    {
        auto r = rig();
        QVERIFY(start(*r));
        const QString token = *r->cloud.token();
        LoggerCloud::Snapshot current = snapshotOf({QStringLiteral("A"), QStringLiteral("B")});
        current.markers.append(QJsonObject{{QStringLiteral("id"), 7}}); // no string id: never tracked
        r->cloud.setSnapshot([&] { return current; });
        const auto syncAndRead = [&] {
            if (!await([&](auto done) { r->cloud.flush(done); }))
                return QStringList{QStringLiteral("no completion")};
            QStringList deleted;
            for (const QJsonValue& id : shoot(token)
                                            .value(QStringLiteral("last_sync"))
                                            .toObject()
                                            .value(QStringLiteral("deleted_markers"))
                                            .toArray())
                deleted.append(id.toString());
            return deleted;
        };
        QCOMPARE(syncAndRead(), QStringList());
        QCOMPARE(r->cloud.sentMarkerIDs(), (QSet<QString>{QStringLiteral("A"), QStringLiteral("B")}));

        current = snapshotOf({QStringLiteral("A")});
        QCOMPARE(syncAndRead(), QStringList{QStringLiteral("B")});
        QCOMPARE(syncAndRead(), QStringList());

        current = snapshotOf({});
        fault(QStringLiteral("/api/logger/shoots/") + token + QStringLiteral("/sync"), QStringLiteral("status"), 500);
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        QVERIFY(r->cloud.isDirty());
        QCOMPARE(syncAndRead(), QStringList{QStringLiteral("A")});
        QCOMPARE(syncAndRead(), QStringList());
    }

    void syncFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("problem"); // empty: the sync counts as a success
        QTest::newRow("500") << QStringLiteral("status") << 500 << QStringLiteral("Server returned status 500");
        QTest::newRow("401") << QStringLiteral("status") << 401
                             << QStringLiteral("Your session has ended. Sign in again.");
        QTest::newRow("drop") << QStringLiteral("drop") << 200 << QStringLiteral("Could not reach the service");
        // Any 2xx is a success, whatever its body.
        QTest::newRow("2xx html page") << QStringLiteral("nonjson") << 200 << QString();
    }

    void syncFailure()
    {
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QString, problem);
        auto r = rig();
        QVERIFY(start(*r));
        r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("A")}); });
        fault(QStringLiteral("/api/logger/shoots/*"), kind, status, 0, kind == QLatin1String("drop") ? -1 : 1);
        r->cloud.setDirty(true);
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        m_standin->control(QStringLiteral("clear"));
        if (problem.isEmpty()) {
            QCOMPARE(r->cloud.problem(), std::nullopt);
            QVERIFY(r->cloud.lastSaved());
            QVERIFY(!r->cloud.isDirty());
            return;
        }
        QVERIFY(r->cloud.problem());
        QVERIFY2(r->cloud.problem()->startsWith(problem), qPrintable(*r->cloud.problem()));
        QVERIFY(r->cloud.isDirty());
        QCOMPARE(r->cloud.lastSaved(), std::nullopt);

        // The next sync succeeds and clears the problem.
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        QCOMPARE(r->cloud.problem(), std::nullopt);
        QVERIFY(r->cloud.lastSaved());
        QVERIFY(!r->cloud.isDirty());
    }

    void flushWhileInFlightLeavesDirty()
    {
        auto r = rig();
        QVERIFY(start(*r));
        const QString token = *r->cloud.token();
        r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("A")}); });
        fault(QStringLiteral("/api/logger/shoots/") + token + QStringLiteral("/sync"), QStringLiteral("slow"), 200,
              600);
        bool firstDone = false;
        r->cloud.flush([&] { firstDone = true; });
        QVERIFY(r->cloud.isFlushing());
        r->cloud.setDirty(true);
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        QVERIFY(!firstDone);
        QVERIFY(r->cloud.isDirty());
        QVERIFY(QTest::qWaitFor([&] { return firstDone; }, kWaitMs));
        QVERIFY(r->cloud.isDirty());
        QCOMPARE(shoot(token).value(QStringLiteral("syncs")).toInt(), 1);
        // The change goes out with the next tick.
        r->cloud.tick();
        QVERIFY(QTest::qWaitFor([&] { return shoot(token).value(QStringLiteral("syncs")).toInt() == 2; }, kWaitMs));
    }

    void heartbeatAfterQuiet_data()
    {
        QTest::addColumn<double>("quietSeconds");
        QTest::addColumn<bool>("sends");
        QTest::newRow("42 s") << 42.0 << false;
        QTest::newRow("exactly 45 s") << 45.0 << false;
        QTest::newRow("45.001 s") << 45.001 << true;
        QTest::newRow("48 s") << 48.0 << true;
    }

    void heartbeatAfterQuiet()
    {
        QFETCH(double, quietSeconds);
        QFETCH(bool, sends);
        auto r = rig();
        QVERIFY(start(*r));
        const QString token = *r->cloud.token();
        r->cloud.setSnapshot([] { return snapshotOf({}); });
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        QCOMPARE(r->cloud.lastContact(), std::optional<Date>(kStart));

        r->now = kStart.addingSeconds(quietSeconds);
        r->cloud.tick();
        if (sends) {
            QVERIFY(QTest::qWaitFor([&] { return r->cloud.lastContact() == std::optional<Date>(r->now); }, kWaitMs));
            QCOMPARE(shoot(token).value(QStringLiteral("heartbeats")).toInt(), 1);
        } else {
            QTest::qWait(200);
            QCOMPARE(shoot(token).value(QStringLiteral("heartbeats")).toInt(), 0);
        }
    }

    // Ticks 6 s apart: the first quiet one after a start sends a heartbeat at once (no contact
    // yet); after that contact, the 8th tick (48 s) is the next to send one; a dirty tick syncs.
    void tickSchedule()
    {
        auto r = rig();
        QVERIFY(start(*r));
        const QString token = *r->cloud.token();
        r->cloud.setSnapshot([] { return snapshotOf({}); });
        r->cloud.tick();
        QVERIFY(QTest::qWaitFor([&] { return r->cloud.lastContact().has_value(); }, kWaitMs));
        QCOMPARE(shoot(token).value(QStringLiteral("heartbeats")).toInt(), 1);
        for (int tick = 1; tick <= 8; ++tick) {
            r->now = kStart.addingSeconds(6.0 * tick);
            r->cloud.tick();
        }
        QVERIFY(QTest::qWaitFor([&] { return r->cloud.lastContact() == std::optional<Date>(r->now); }, kWaitMs));
        QCOMPARE(shoot(token).value(QStringLiteral("heartbeats")).toInt(), 2);

        r->cloud.setDirty(true);
        r->cloud.tick();
        QVERIFY(QTest::qWaitFor([&] { return shoot(token).value(QStringLiteral("syncs")).toInt() == 1; }, kWaitMs));
        QCOMPARE(shoot(token).value(QStringLiteral("heartbeats")).toInt(), 2);
    }

    void timerDrivesSync()
    {
        auto r = rig({std::chrono::milliseconds(30), 45.0});
        QVERIFY(start(*r));
        const QString token = *r->cloud.token();
        r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("A")}); });
        r->cloud.setDirty(true);
        QVERIFY(QTest::qWaitFor([&] { return shoot(token).value(QStringLiteral("syncs")).toInt() >= 1; }, kWaitMs));
        r->cloud.reset();
        QVERIFY(!r->cloud.isTimerRunning());
        QCOMPARE(r->cloud.token(), std::nullopt);
    }

    void wrapWithoutToken()
    {
        auto r = rig();
        r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("A")}); });
        const int requests = totalRequests();
        QSignalSpy savedSpy(&r->cloud, &LoggerCloud::lastSavedChanged);
        QVERIFY(await([&](auto done) { r->cloud.wrap(done); }));
        QTest::qWait(100);
        QCOMPARE(totalRequests(), requests);
        QCOMPARE(savedSpy.count(), 0);
    }

    // Edits made while a sync is in flight reach the service before the wrap; what the caller
    // does to the log after calling wrap does not; a second wrap sends no second request.
    void wrapDuringInFlightSync()
    {
        auto r = rig();
        QVERIFY(start(*r));
        const QString token = *r->cloud.token();
        QStringList log{QStringLiteral("A")};
        r->cloud.setSnapshot([&] { return snapshotOf(log); });
        fault(QStringLiteral("/api/logger/shoots/") + token + QStringLiteral("/sync"), QStringLiteral("slow"), 200,
              500);
        r->cloud.flush();
        log.append(QStringLiteral("B")); // edited after the in-flight snapshot
        bool wrapped = false;
        bool wrappedAgain = false;
        r->cloud.wrap([&] { wrapped = true; });
        r->cloud.wrap([&] { wrappedAgain = true; });
        log = QStringList{QStringLiteral("NEW")}; // the caller moves on to another log
        r->cloud.setDirty(true);
        r->cloud.flush(); // refused while wrapping
        QVERIFY(QTest::qWaitFor([&] { return wrapped && wrappedAgain; }, kWaitMs));

        const QJsonObject state = shoot(token);
        QCOMPARE(idsOf(state.value(QStringLiteral("markers")).toArray()), (QStringList{"A", "B"}));
        QCOMPARE(state.value(QStringLiteral("syncs")).toInt(), 2);
        QCOMPARE(state.value(QStringLiteral("wraps")).toInt(), 1);
        QVERIFY(state.value(QStringLiteral("ended")).toBool());
        QCOMPARE(r->cloud.token(), std::nullopt);
        QCOMPARE(r->cloud.lastSaved(), std::nullopt);
        QVERIFY(!r->cloud.isTimerRunning());
    }

    void lateSyncAnswerChangesNothing_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("kind");
        QTest::newRow("success after reset") << QStringLiteral("reset") << QStringLiteral("slow");
        QTest::newRow("failure after reset") << QStringLiteral("reset") << QStringLiteral("status");
        QTest::newRow("success after new token") << QStringLiteral("restart") << QStringLiteral("slow");
        QTest::newRow("failure after new token") << QStringLiteral("restart") << QStringLiteral("status");
    }

    void lateSyncAnswerChangesNothing()
    {
        QFETCH(QString, then);
        QFETCH(QString, kind);
        auto r = rig();
        QVERIFY(start(*r));
        const QString old = *r->cloud.token();
        QStringList log{QStringLiteral("OLD")};
        r->cloud.setSnapshot([&] { return snapshotOf(log); });
        fault(QStringLiteral("/api/logger/shoots/") + old + QStringLiteral("/sync"), kind,
              kind == QLatin1String("slow") ? 200 : 500, 500);
        bool late = false;
        r->cloud.flush([&] { late = true; });
        if (then == QLatin1String("reset"))
            r->cloud.reset();
        else
            QVERIFY(start(*r));
        QVERIFY(!late);
        QVERIFY(QTest::qWaitFor([&] { return late; }, kWaitMs));

        QCOMPARE(r->cloud.lastSaved(), std::nullopt);
        QCOMPARE(r->cloud.problem(), std::nullopt);
        QCOMPARE(r->cloud.lastContact(), std::nullopt);
        QVERIFY(!r->cloud.isDirty());
        if (then == QLatin1String("reset")) {
            QCOMPARE(r->cloud.token(), std::nullopt);
            return;
        }
        // The new shoot knows nothing of the old one's markers.
        const QString fresh = *r->cloud.token();
        QVERIFY(fresh != old);
        QVERIFY(r->cloud.sentMarkerIDs().isEmpty());
        log = QStringList{QStringLiteral("NEW")};
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        const QJsonObject synced = shoot(fresh).value(QStringLiteral("last_sync")).toObject();
        QCOMPARE(synced.value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());
    }

    void lateHeartbeatAfterReset()
    {
        auto r = rig();
        QVERIFY(start(*r));
        fault(QStringLiteral("/api/velko/session/*"), QStringLiteral("slow"), 200, 400);
        bool late = false;
        r->cloud.heartbeat([&] { late = true; });
        r->cloud.reset();
        QVERIFY(QTest::qWaitFor([&] { return late; }, kWaitMs));
        QCOMPARE(r->cloud.lastContact(), std::nullopt);
    }

    // The wrap of an old shoot ends after the next shoot has started: the new one keeps syncing.
    void lateWrapKeepsNewShoot()
    {
        auto r = rig();
        QVERIFY(start(*r));
        const QString old = *r->cloud.token();
        r->cloud.setSnapshot([] { return snapshotOf({}); });
        fault(QStringLiteral("/api/logger/shoots/") + old + QStringLiteral("/wrap"), QStringLiteral("slow"), 200, 500);
        bool wrapped = false;
        r->cloud.wrap([&] { wrapped = true; });
        const std::optional<QString> fresh = start(*r);
        QVERIFY(fresh);
        QVERIFY(QTest::qWaitFor([&] { return wrapped; }, kWaitMs));
        QCOMPARE(r->cloud.token(), fresh);
        QVERIFY(r->cloud.isTimerRunning());
        QVERIFY(shoot(old).value(QStringLiteral("ended")).toBool());
    }

    void tokenIsOnePathSegment_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("reachable");
        QTest::newRow("slash") << QStringLiteral("a/b") << true;
        QTest::newRow("space, percent, query") << QStringLiteral("x y%2F?q=1#f") << true;
        QTest::newRow("non-ascii") << QStringLiteral("t\u00e9st-\U0001F3AC") << true;
        QTest::newRow("dot-dot") << QStringLiteral("..") << false;
    }

    void tokenIsOnePathSegment()
    {
        QFETCH(QString, token);
        QFETCH(bool, reachable);
        m_standin->control(QStringLiteral("next-id"),
                           {{QStringLiteral("kind"), QStringLiteral("shoot")}, {QStringLiteral("id"), token}});
        auto r = rig();
        QCOMPARE(start(*r), std::optional<QString>(token));
        r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("A")}); });
        QVERIFY(await([&](auto done) { r->cloud.flush(done); }));
        QVERIFY(await([&](auto done) { r->cloud.heartbeat(done); }));
        const QJsonObject state = shoot(token);
        QCOMPARE(state.value(QStringLiteral("syncs")).toInt(), reachable ? 1 : 0);
        QCOMPARE(state.value(QStringLiteral("heartbeats")).toInt(), reachable ? 1 : 0);
        QCOMPARE(r->cloud.problem().has_value(), !reachable);
    }
};

PINDLE_TEST(LoggerCloudTest)
#include "test_logger_cloud.moc"
