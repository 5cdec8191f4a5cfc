#include "ServiceTesting.h"
#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerCloud.h"
#include "timecode/CameraTimecode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int kWaitMs = 10000;
// 2023-11-14 22:13:20.2506 UTC: whole milliseconds round up to …251.
const Date kStart = Date::fromSecondsSince1970(1700000000.2506);

QByteArray encoded(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

LoggerCloud::Snapshot snapshotOf(const QStringList& ids)
{
    LoggerCloud::Snapshot snapshot;
    snapshot.segments.append(encoded(QJsonObject{{"id", "1-1"}, {"text", ids.join(u' ')}}));
    for (const QString& id : ids) {
        snapshot.markers.append(encoded(QJsonObject{{"id", id}, {"type", "note"}, {"timecode_in", "10:00:00:00"}}));
        snapshot.markerIDs.append(id);
    }
    return snapshot;
}

// One client of the stand-in: service, camera clock and cloud, on a clock the test moves by hand;
// the test runs ticks itself.
struct Rig {
    Rig(const QUrl& base, const QString& cookie, const QString& defaultsPath)
        : store(cookie), service(base.toString(), store), defaults(defaultsPath), clock(defaults),
          cloud(service, clock, {std::chrono::hours(1), 45.0}, &time)
    {
    }

    std::optional<QString> start(const std::optional<QString>& existing = {}, bool forceNew = true)
    {
        bool finished = false;
        std::optional<QString> token;
        cloud.startShoot(existing, QStringLiteral("Log 14 Nov"), clock.format().storageString(), forceNew,
                         [&](std::optional<QString> answered) {
                             token = answered;
                             finished = true;
                         });
        return QTest::qWaitFor([&] { return finished; }, kWaitMs) ? token : std::nullopt;
    }

    // Runs one operation of the cloud (flush, heartbeat, wrap) and waits for its completion.
    template <typename Operation> bool await(Operation operation)
    {
        bool finished = false;
        (cloud.*operation)([&] { finished = true; });
        return QTest::qWaitFor([&] { return finished; }, kWaitMs);
    }

    ManualClock time{kStart};
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

    std::unique_ptr<Rig> rig()
    {
        return std::make_unique<Rig>(m_standin->baseUrl(), m_cookie,
                                     m_dir.filePath(QStringLiteral("defaults-%1.json").arg(++m_rigs)));
    }

    // A started rig whose log is `ids`.
    std::unique_ptr<Rig> started(const QStringList& ids = {})
    {
        auto r = rig();
        const bool ok = r->start().has_value();
        [&] { QVERIFY(ok); }();
        r->cloud.setSnapshot([ids] { return snapshotOf(ids); });
        return r;
    }

    QJsonObject shoot(const std::optional<QString>& token) { return token ? m_standin->shoot(*token) : QJsonObject(); }
    int count(const std::optional<QString>& token, const char* what)
    {
        return shoot(token).value(QLatin1String(what)).toInt();
    }
    QStringList markerIDs(const std::optional<QString>& token)
    {
        return token ? m_standin->markerIDs(*token) : QStringList();
    }

    int creates()
    {
        const QJsonValue requests = m_standin->state().value(QStringLiteral("requests"));
        return requests[QStringLiteral("POST /api/logger/shoots")][QStringLiteral("count")].toInt();
    }

    // Spoils requests to a path: kind "status", "nonjson", "drop" (until cleared) or "slow".
    void fault(const QString& path, const QString& kind, int status = 500, int delayMs = 500)
    {
        const QJsonObject body{{"path", path},
                               {"kind", kind},
                               {"status", status},
                               {"delay_ms", delayMs},
                               {"count", kind == QLatin1String("drop") ? -1 : 1}};
        QVERIFY(m_standin->control(QStringLiteral("fault"), body).value(QStringLiteral("ok")).toBool());
    }
    void signIn(Rig& r, const QString& email)
    {
        servicetesting::ErrorLatch codeSent;
        servicetesting::ErrorLatch verified;
        r.service.sendLoginCode(email, nullptr, codeSent.callback());
        QVERIFY(codeSent.wait());
        r.service.verifyLoginCode(email, m_standin->code(), nullptr, verified.callback());
        QVERIFY(verified.wait());
        QVERIFY(r.service.sessionCookie());
    }
    static QString syncPath(const std::optional<QString>& token)
    {
        return QStringLiteral("/api/logger/shoots/") + token.value_or(QString()) + QStringLiteral("/sync");
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY((m_standin = servicetesting::startStandin()));
        m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
    }

    void init() { m_standin->control(QStringLiteral("clear")); }

    // A known token is reused unless a new shoot is forced; an empty one counts as none.
    void startShoot_data()
    {
        QTest::addColumn<bool>("known");
        QTest::addColumn<bool>("forceNew");
        QTest::newRow("existing token reused") << true << false;
        QTest::newRow("existing token, forced new") << true << true;
        QTest::newRow("empty token counts as none") << false << false;
    }
    void startShoot()
    {
        QFETCH(bool, known);
        QFETCH(bool, forceNew);
        const std::optional<QString> first = rig()->start();
        QVERIFY(first);
        const int before = creates();
        auto r = rig();
        QSignalSpy tokenSpy(&r->cloud, &LoggerCloud::tokenChanged);
        const std::optional<QString> token = r->start(known ? *first : QString(), forceNew);
        QVERIFY(token);
        QCOMPARE(r->cloud.token(), token);
        QCOMPARE(tokenSpy.count(), 1);
        QVERIFY(r->cloud.isTimerRunning());
        const bool creates = forceNew || !known;
        QCOMPARE(this->creates(), before + (creates ? 1 : 0));
        QCOMPARE(*token == *first, !creates);
        r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("M1")}); });
        QVERIFY(r->await(&LoggerCloud::flush));
        QCOMPARE(count(token, "syncs"), 1);
        QCOMPARE(r->cloud.lastSaved(), std::optional<Date>(kStart));
    }

    void createFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("html page, no token") << QStringLiteral("nonjson");
        QTest::newRow("connection dropped") << QStringLiteral("drop");
    }
    void createFailure()
    {
        QFETCH(QString, kind);
        fault(QStringLiteral("/api/logger/shoots"), kind, 200);
        auto r = rig();
        QCOMPARE(r->start(), std::nullopt);
        QCOMPARE(r->cloud.token(), std::nullopt);
        QVERIFY(!r->cloud.isTimerRunning());
    }

    // A marker removed after a successful sync is listed once; a failed sync lists it again.
    void deletedMarkersListedOnce()
    {
        auto r = started();
        const std::optional<QString> token = r->cloud.token();
        LoggerCloud::Snapshot current = snapshotOf({QStringLiteral("A"), QStringLiteral("B")});
        current.markers.append(encoded(QJsonObject{{QStringLiteral("id"), 7}})); // no string id: never tracked
        r->cloud.setSnapshot([&] { return current; });
        const auto syncAndRead = [&] {
            QStringList deleted;
            if (r->await(&LoggerCloud::flush)) {
                for (const QJsonValue& id :
                     shoot(token).value(QStringLiteral("last_sync"))[QStringLiteral("deleted_markers")].toArray())
                    deleted.append(id.toString());
            }
            return deleted;
        };
        QCOMPARE(syncAndRead(), QStringList());
        QCOMPARE(r->cloud.sentMarkerIDs(), (QSet<QString>{QStringLiteral("A"), QStringLiteral("B")}));
        current = snapshotOf({QStringLiteral("A")});
        QCOMPARE(syncAndRead(), QStringList{QStringLiteral("B")});
        QCOMPARE(syncAndRead(), QStringList());
        current = snapshotOf({});
        fault(syncPath(token), QStringLiteral("status"));
        QVERIFY(r->await(&LoggerCloud::flush));
        QVERIFY(r->cloud.isDirty());
        QCOMPARE(syncAndRead(), QStringList{QStringLiteral("A")});
    }

    // A failed sync shows its problem and stays dirty until the next one succeeds; any 2xx is
    // a success, whatever its body.
    void syncFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("problem"); // empty: a success
        QTest::newRow("500") << "status" << 500 << "Server returned status 500";
        QTest::newRow("401") << "status" << 401 << "Your session has ended. Sign in again.";
        QTest::newRow("drop") << "drop" << 200 << "Could not reach the service";
        QTest::newRow("2xx html page") << "nonjson" << 200 << QString();
    }
    void syncFailure()
    {
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QString, problem);
        auto r = started({QStringLiteral("A")});
        fault(QStringLiteral("/api/logger/shoots/*"), kind, status);
        r->cloud.setDirty(true);
        QVERIFY(r->await(&LoggerCloud::flush));
        m_standin->control(QStringLiteral("clear"));
        QVERIFY2(r->cloud.problem().value_or(QString()).startsWith(problem) &&
                     r->cloud.problem().has_value() == !problem.isEmpty(),
                 qPrintable(r->cloud.problem().value_or(QStringLiteral("none"))));
        QCOMPARE(r->cloud.isDirty(), !problem.isEmpty());
        QCOMPARE(r->cloud.lastSaved().has_value(), problem.isEmpty());
        QVERIFY(r->await(&LoggerCloud::flush));
        QCOMPARE(r->cloud.problem(), std::nullopt);
        QVERIFY(r->cloud.lastSaved() && !r->cloud.isDirty());
    }

    // A flush during an in-flight sync leaves the log dirty; the next tick sends the change.
    void flushWhileInFlightLeavesDirty()
    {
        auto r = started({QStringLiteral("A")});
        const std::optional<QString> token = r->cloud.token();
        fault(syncPath(token), QStringLiteral("slow"), 200, 600);
        bool firstDone = false;
        r->cloud.flush([&] { firstDone = true; });
        QVERIFY(r->cloud.isFlushing());
        r->cloud.setDirty(true);
        QVERIFY(r->await(&LoggerCloud::flush));
        QVERIFY(!firstDone);
        QVERIFY(QTest::qWaitFor([&] { return firstDone; }, kWaitMs));
        QVERIFY(r->cloud.isDirty());
        QCOMPARE(count(token, "syncs"), 1);
        r->cloud.tick();
        QVERIFY(QTest::qWaitFor([&] { return count(token, "syncs") == 2; }, kWaitMs));
    }

    // A heartbeat goes after more than 45 quiet seconds, not at exactly 45.
    void heartbeatAfterQuiet_data()
    {
        QTest::addColumn<double>("quietSeconds");
        QTest::newRow("exactly 45 s") << 45.0;
        QTest::newRow("45.001 s") << 45.001;
    }
    void heartbeatAfterQuiet()
    {
        QFETCH(double, quietSeconds);
        auto r = started();
        const std::optional<QString> token = r->cloud.token();
        QVERIFY(r->await(&LoggerCloud::flush));
        QCOMPARE(r->cloud.lastContact(), std::optional<Date>(kStart));
        r->time.advance(std::chrono::duration_cast<Clock::Duration>(std::chrono::duration<double>(quietSeconds)));
        r->cloud.tick();
        const bool sends = quietSeconds > 45.0;
        QCOMPARE(QTest::qWaitFor([&] { return r->cloud.lastContact() == std::optional<Date>(r->time.now()); },
                                 sends ? kWaitMs : 300),
                 sends);
        QCOMPARE(count(token, "heartbeats"), sends ? 1 : 0);
    }

    // Edits made while a sync is in flight reach the service before the wrap; what the caller
    // does to the log after calling wrap does not; a second wrap sends no second request.
    void wrapDuringInFlightSync()
    {
        QStringList log{QStringLiteral("A")};
        auto r = started();
        const std::optional<QString> token = r->cloud.token();
        r->cloud.setSnapshot([&] { return snapshotOf(log); });
        fault(syncPath(token), QStringLiteral("slow"), 200);
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
        QStringList ids;
        for (const QJsonValue& marker : state.value(QStringLiteral("markers")).toArray())
            ids.append(marker[QStringLiteral("id")].toString());
        QCOMPARE(ids, (QStringList{"A", "B"}));
        QCOMPARE(state.value(QStringLiteral("syncs")).toInt(), 2);
        QCOMPARE(state.value(QStringLiteral("wraps")).toInt(), 1);
        QCOMPARE(r->cloud.token(), std::nullopt);
        QVERIFY(!r->cloud.isTimerRunning());
    }

    // Answers that come back after a reset or a new start change nothing of the new state.
    void lateAnswersChangeNothing_data()
    {
        QTest::addColumn<QString>("late");
        QTest::addColumn<QString>("then");
        QTest::newRow("sync success after reset") << QStringLiteral("slow") << QStringLiteral("reset");
        QTest::newRow("sync failure after new token") << QStringLiteral("status") << QStringLiteral("restart");
        QTest::newRow("heartbeat after reset") << QStringLiteral("heartbeat") << QStringLiteral("reset");
        QTest::newRow("wrap after new token") << QStringLiteral("wrap") << QStringLiteral("restart");
    }
    void lateAnswersChangeNothing()
    {
        QFETCH(QString, late);
        QFETCH(QString, then);
        QStringList log{QStringLiteral("OLD")};
        auto r = started();
        const std::optional<QString> old = r->cloud.token();
        r->cloud.setSnapshot([&] { return snapshotOf(log); });
        bool done = false;
        if (late == QLatin1String("heartbeat")) {
            fault(QStringLiteral("/api/velko/session/*"), QStringLiteral("slow"), 200);
            r->cloud.heartbeat([&] { done = true; });
        } else if (late == QLatin1String("wrap")) {
            fault(QStringLiteral("/api/logger/shoots/") + *old + QStringLiteral("/wrap"), QStringLiteral("slow"), 200);
            r->cloud.wrap([&] { done = true; });
        } else {
            fault(syncPath(old), late, late == QLatin1String("slow") ? 200 : 500);
            r->cloud.flush([&] { done = true; });
        }
        const std::optional<QString> fresh =
            then == QLatin1String("reset") ? (r->cloud.reset(), std::nullopt) : r->start();
        QVERIFY(!done);
        QVERIFY(QTest::qWaitFor([&] { return done; }, kWaitMs));
        QCOMPARE(r->cloud.token(), fresh);
        QCOMPARE(r->cloud.isTimerRunning(), fresh.has_value());
        QCOMPARE(r->cloud.lastSaved(), std::nullopt);
        QCOMPARE(r->cloud.problem(), std::nullopt);
        QCOMPARE(r->cloud.lastContact(), std::nullopt);
        if (!fresh)
            return;
        // The new shoot knows nothing of the old one's markers.
        QVERIFY(fresh != old && r->cloud.sentMarkerIDs().isEmpty());
        log = QStringList{QStringLiteral("NEW")};
        QVERIFY(r->await(&LoggerCloud::flush));
        QCOMPARE(shoot(fresh).value(QStringLiteral("last_sync"))[QStringLiteral("deleted_markers")].toArray(),
                 QJsonArray());
    }

    // The body goes together off the main thread: from the snapshot to the answer the sync is
    // in flight, a second flush is refused, and what arrives is the snapshot as taken (deleted
    // markers sorted, the camera's offset while synced), whatever the log does meanwhile.
    void bodyMadeOffTheMainThread()
    {
        QStringList log{QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("B")};
        auto r = started();
        const std::optional<QString> token = r->cloud.token();
        r->cloud.setSnapshot([&] { return snapshotOf(log); });
        QVERIFY(r->await(&LoggerCloud::flush));
        r->clock.setSource(CameraTimecode::Camera{kStart, false});
        r->clock.setOffsetFrames(-31.25);
        log = QStringList{QStringLiteral("B")};

        bool done = false;
        r->cloud.flush([&] { done = true; });
        QVERIFY(r->cloud.isFlushing());
        log.append(QStringLiteral("late")); // after the snapshot: not in this sync
        bool refused = false;
        r->cloud.flush([&] { refused = true; });
        QVERIFY(QTest::qWaitFor([&] { return refused; }, kWaitMs));
        QVERIFY(QTest::qWaitFor([&] { return done; }, kWaitMs));
        QVERIFY(!r->cloud.isFlushing());
        QCOMPARE(count(token, "syncs"), 2);
        const QJsonObject sent = shoot(token).value(QStringLiteral("last_sync")).toObject();
        const QJsonObject expected =
            QJsonDocument::fromJson(LoggerCloud::syncBody(snapshotOf({QStringLiteral("B")}),
                                                          {QStringLiteral("A"), QStringLiteral("C")}, qint64(-1250)))
                .object();
        QCOMPARE(sent, expected);
        QCOMPARE(r->cloud.sentMarkerIDs(), QSet<QString>{QStringLiteral("B")});
    }

    // A shoot let go of while its body was being made sends nothing and changes nothing, but
    // still completes its caller; re-adopting the same shoot keeps the sync; a wrap right after a
    // flush sends both syncs, then the wrap.
    void shootMovesOnWhileBodyIsMade_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<int>("oldSyncs");
        QTest::addColumn<bool>("saved");
        QTest::newRow("reset") << QStringLiteral("reset") << 0 << false;
        QTest::newRow("another shoot adopted") << QStringLiteral("other") << 0 << false;
        QTest::newRow("same shoot adopted again") << QStringLiteral("same") << 1 << true;
        QTest::newRow("wrapped") << QStringLiteral("wrap") << 2 << false;
    }
    void shootMovesOnWhileBodyIsMade()
    {
        QFETCH(QString, then);
        QFETCH(int, oldSyncs);
        QFETCH(bool, saved);
        const std::optional<QString> other = rig()->start();
        QVERIFY(other);
        QStringList log{QStringLiteral("A"), QStringLiteral("B")};
        auto r = started();
        const std::optional<QString> old = r->cloud.token();
        r->cloud.setSnapshot([&] { return snapshotOf(log); });
        QStringList order;
        r->cloud.flush([&] { order.append(QStringLiteral("flush")); });
        if (then == QLatin1String("reset")) {
            r->cloud.reset();
        } else if (then == QLatin1String("wrap")) {
            log.append(QStringLiteral("C")); // between the flush and the wrap: sent by the wrap
            r->cloud.wrap([&] { order.append(QStringLiteral("wrap")); });
            log = QStringList{QStringLiteral("NEW")};
        } else {
            r->cloud.startShoot(then == QLatin1String("same") ? old : other, QStringLiteral("Log"),
                                r->clock.format().storageString(), false, [](std::optional<QString>) {});
        }
        QVERIFY(order.isEmpty());
        const QStringList expectedOrder = then == QLatin1String("wrap")
                                              ? QStringList{QStringLiteral("flush"), QStringLiteral("wrap")}
                                              : QStringList{QStringLiteral("flush")};
        QVERIFY(QTest::qWaitFor([&] { return order.size() == expectedOrder.size(); }, kWaitMs));
        QCOMPARE(order, expectedOrder);
        QCOMPARE(count(old, "syncs"), oldSyncs);
        QCOMPARE(r->cloud.lastSaved().has_value(), saved);
        QCOMPARE(r->cloud.problem(), std::nullopt);
        QVERIFY(!r->cloud.isDirty());
        if (then == QLatin1String("wrap")) {
            QCOMPARE(count(old, "wraps"), 1);
            QStringList ids;
            for (const QJsonValue& marker : shoot(old).value(QStringLiteral("markers")).toArray())
                ids.append(marker[QStringLiteral("id")].toString());
            QCOMPARE(ids, (QStringList{"A", "B", "C"}));
            QCOMPARE(r->cloud.token(), std::nullopt);
        }
        if (then == QLatin1String("other")) {
            // The adopted shoot never saw the old one's markers, and nothing reached it.
            QCOMPARE(r->cloud.token(), other);
            QVERIFY(r->cloud.sentMarkerIDs().isEmpty() && !r->cloud.isFlushing());
            QCOMPARE(count(other, "syncs"), 0);
            QVERIFY(r->await(&LoggerCloud::flush));
            QCOMPARE(count(other, "syncs"), 1);
        }
    }

    // Signing out: the log as it is then goes up once more with the session it was made in (after
    // any sync in flight), then the cloud lets go. No tick or flush sends afterwards, not even
    // once signed in again with another screen's (empty) log installed, and that screen has no
    // shoot until its own start.
    void signOutLetsGo_data()
    {
        QTest::addColumn<bool>("inFlight");
        QTest::newRow("idle") << false;
        QTest::newRow("sync in flight") << true;
    }
    void signOutLetsGo()
    {
        QFETCH(bool, inFlight);
        QStringList log{QStringLiteral("A"), QStringLiteral("B")};
        auto r = started();
        const std::optional<QString> token = r->cloud.token();
        r->cloud.setSnapshot([&] { return snapshotOf(log); });
        QVERIFY(r->await(&LoggerCloud::flush));
        if (inFlight) {
            fault(syncPath(token), QStringLiteral("slow"), 200, 600);
            r->cloud.flush();
            QVERIFY(r->cloud.isFlushing());
        }
        log.append(QStringLiteral("C"));
        r->cloud.setDirty(true);
        QSignalSpy tokenSpy(&r->cloud, &LoggerCloud::tokenChanged);
        r->service.forgetSessionCookie();
        log.clear(); // the screen is gone
        QCOMPARE(r->cloud.token(), std::nullopt);
        QCOMPARE(tokenSpy.count(), 1);
        QVERIFY(!r->cloud.isTimerRunning());
        QVERIFY(QTest::qWaitFor([&] { return count(token, "syncs") == (inFlight ? 3 : 2); }, kWaitMs));
        QCOMPARE(markerIDs(token), (QStringList{"A", "B", "C"}));
        QCOMPARE(r->cloud.lastSaved(), std::nullopt);

        // Signed in again, a new screen installs its log; nothing goes to the old shoot.
        signIn(*r, QStringLiteral("ada@example.com"));
        r->cloud.setSnapshot([] { return snapshotOf({}); });
        r->cloud.setDirty(true);
        r->cloud.tick();
        QVERIFY(r->await(&LoggerCloud::flush));
        QVERIFY(!r->cloud.isFlushing());
        QCOMPARE(r->cloud.token(), std::nullopt);
        QCOMPARE(count(token, "syncs"), inFlight ? 3 : 2);
        QCOMPARE(markerIDs(token), (QStringList{"A", "B", "C"}));
        QCOMPARE(shoot(token).value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());

        // Its own start makes a shoot of its own, which lists nothing as deleted.
        const std::optional<QString> fresh = r->start();
        QVERIFY(fresh && fresh != token);
        QVERIFY(r->await(&LoggerCloud::flush));
        QCOMPARE(count(fresh, "syncs"), 1);
        QCOMPARE(shoot(fresh).value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());
    }

    // A wrap goes with the session it was asked in, as its final sync does: a sign-out (and any
    // sign-in) before the sync's answer changes neither; asked with no session, no wrap goes.
    void wrapKeepsItsSession_data()
    {
        QTest::addColumn<QString>("then"); // who signs in before the final sync's answer
        QTest::newRow("nobody") << QString();
        QTest::newRow("the same account") << QStringLiteral("ada@example.com");
        QTest::newRow("another account") << QStringLiteral("bob@example.com");
        QTest::newRow("no session when asked") << QStringLiteral("-");
    }
    void wrapKeepsItsSession()
    {
        QFETCH(QString, then);
        const bool signedOut = then == QLatin1String("-");
        auto owner = started({QStringLiteral("A")});
        const std::optional<QString> token = owner->cloud.token();
        QVERIFY(owner->await(&LoggerCloud::flush));
        // Signed out when it is asked for: a cloud with the shoot's token and no session.
        std::unique_ptr<Rig> r = signedOut ? std::make_unique<Rig>(m_standin->baseUrl(), QString(),
                                                                   m_dir.filePath(QStringLiteral("defaults-out.json")))
                                           : std::move(owner);
        if (signedOut) {
            QCOMPARE(r->start(token, false), token);
            r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("A")}); });
        }
        const QString cookie = r->service.sessionCookie().value_or(QString());
        fault(syncPath(token), QStringLiteral("slow"), 200, 800);
        bool wrapped = false;
        r->cloud.wrap([&] { wrapped = true; });
        if (!signedOut)
            r->service.forgetSessionCookie();
        if (!then.isEmpty() && !signedOut)
            signIn(*r, then);
        QVERIFY(QTest::qWaitFor([&] { return wrapped; }, kWaitMs));
        QCOMPARE(r->cloud.token(), std::nullopt);

        const QJsonObject held = shoot(token);
        QCOMPARE(held.value(QStringLiteral("ended")).toBool(), !signedOut);
        QCOMPARE(held.value(QStringLiteral("wraps")).toInt(), signedOut ? 0 : 1);
        const QJsonObject requests = m_standin->state().value(QStringLiteral("requests")).toObject();
        const QString wrapKey = QStringLiteral("POST /api/logger/shoots/%1/wrap").arg(*token);
        QCOMPARE(requests.contains(wrapKey), !signedOut);
        for (const QString& key : {wrapKey, QStringLiteral("POST ") + syncPath(token)}) {
            const QJsonValue sent = requests.value(key)[QStringLiteral("headers")][QStringLiteral("cookie")];
            QCOMPARE(sent.toString(), cookie);
        }
    }

    // A screen going away (or another one shown) sends its log once more, then the cloud lets go:
    // later ticks and flushes send nothing to any shoot, and the next screen has none. A release
    // by a screen whose snapshot is not installed changes nothing.
    void releaseLetsGo_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<bool>("letsGo");
        QTest::newRow("its screen goes away") << QStringLiteral("release") << true;
        QTest::newRow("another screen shown") << QStringLiteral("replace") << true;
        QTest::newRow("another screen goes away") << QStringLiteral("other") << false;
    }
    void releaseLetsGo()
    {
        QFETCH(QString, then);
        QFETCH(bool, letsGo);
        QObject first;
        QObject second;
        QStringList log{QStringLiteral("A"), QStringLiteral("B")};
        auto r = rig();
        r->cloud.setSnapshot([&] { return snapshotOf(log); }, &first);
        const std::optional<QString> token = r->start();
        QVERIFY(token);
        QVERIFY(r->await(&LoggerCloud::flush));
        QVERIFY(r->cloud.lastSaved());
        log.append(QStringLiteral("C"));
        r->cloud.setDirty(true);

        bool released = false;
        if (then == QLatin1String("replace"))
            r->cloud.setSnapshot([] { return snapshotOf({}); }, &second);
        else
            r->cloud.release(then == QLatin1String("release") ? &first : &second, [&] { released = true; });
        log.clear(); // the screen is gone: nothing more may be read of it
        QCOMPARE(r->cloud.token(), letsGo ? std::nullopt : token);
        QCOMPARE(r->cloud.isTimerRunning(), !letsGo);
        QCOMPARE(r->cloud.lastSaved().has_value(), !letsGo);
        if (then != QLatin1String("replace"))
            QVERIFY(QTest::qWaitFor([&] { return released; }, kWaitMs));
        QVERIFY(QTest::qWaitFor([&] { return count(token, "syncs") == (letsGo ? 2 : 1); }, kWaitMs));
        if (!letsGo) {
            // Still the first screen's shoot and log.
            QVERIFY(r->cloud.isDirty());
            log = QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};
            QVERIFY(r->await(&LoggerCloud::flush));
            QCOMPARE(count(token, "syncs"), 2);
        }
        QCOMPARE(markerIDs(token), (QStringList{"A", "B", "C"}));
        if (!letsGo)
            return;

        r->cloud.setSnapshot([] { return snapshotOf({}); }, &second);
        r->cloud.setDirty(true);
        r->cloud.tick();
        QVERIFY(r->await(&LoggerCloud::flush));
        QVERIFY(r->await(&LoggerCloud::heartbeat));
        QCOMPARE(count(token, "syncs"), 2);
        QCOMPARE(count(token, "heartbeats"), 0);
        QCOMPARE(shoot(token).value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());
        QCOMPARE(r->cloud.lastSaved(), std::nullopt);
    }

    // A snapshot with no screen behind it is never sent, not even by a wrap: an empty log would
    // list every marker sent before as deleted.
    void goneScreenSendsNothing()
    {
        auto r = started();
        const std::optional<QString> token = r->cloud.token();
        bool gone = false;
        r->cloud.setSnapshot([&]() -> std::optional<LoggerCloud::Snapshot> {
            if (gone)
                return std::nullopt;
            return snapshotOf({QStringLiteral("A")});
        });
        QVERIFY(r->await(&LoggerCloud::flush));
        gone = true;
        r->cloud.setDirty(true);
        r->cloud.tick();
        QVERIFY(r->await(&LoggerCloud::flush));
        QVERIFY(r->cloud.isDirty());
        QVERIFY(r->await(&LoggerCloud::wrap));
        QCOMPARE(count(token, "syncs"), 1);
        QCOMPARE(count(token, "wraps"), 1);
        QCOMPARE(markerIDs(token), QStringList{QStringLiteral("A")});
        QCOMPARE(shoot(token).value(QStringLiteral("deleted_markers")).toArray(), QJsonArray());
    }

    // A shoot that is still being created when its screen goes away is not taken up.
    void releaseBeforeShootArrives()
    {
        QObject screen;
        auto r = rig();
        r->cloud.setSnapshot([] { return snapshotOf({QStringLiteral("A")}); }, &screen);
        fault(QStringLiteral("/api/logger/shoots"), QStringLiteral("slow"), 200);
        bool answered = false;
        std::optional<QString> token = QStringLiteral("unset");
        r->cloud.startShoot({}, QStringLiteral("Log"), r->clock.format().storageString(), false,
                            [&](std::optional<QString> t) {
                                token = t;
                                answered = true;
                            });
        r->cloud.release(&screen);
        QVERIFY(QTest::qWaitFor([&] { return answered; }, kWaitMs));
        QCOMPARE(token, std::nullopt);
        QCOMPARE(r->cloud.token(), std::nullopt);
        QVERIFY(!r->cloud.isTimerRunning());
    }

    // A cloud destroyed while a long shoot's body is being made waits for the worker, sends
    // nothing and completes no one.
    void cloudGoneWhileBodyIsMade()
    {
        auto r = started();
        const std::optional<QString> token = r->cloud.token();
        LoggerCloud::Snapshot longLog = snapshotOf({QStringLiteral("A")});
        const QByteArray line = encoded(QJsonObject{{"id", "1-2"}, {"text", QString(200, u'w')}});
        for (int n = 0; n < 20000; ++n)
            longLog.segments.append(line);
        r->cloud.setSnapshot([longLog] { return longLog; });
        bool done = false;
        r->cloud.flush([&] { done = true; });
        r.reset();
        QTest::qWait(300);
        QVERIFY(!done);
        QCOMPARE(count(token, "syncs"), 0);
    }

    // The token goes into paths as one segment; one that would climb is never sent.
    void tokenIsOnePathSegment_data()
    {
        QTest::addColumn<QString>("token");
        QTest::addColumn<bool>("reachable");
        QTest::newRow("slash, space, percent, query") << QStringLiteral("a/b x%2F?q=1#\u00e9") << true;
        QTest::newRow("dot-dot") << QStringLiteral("..") << false;
    }
    void tokenIsOnePathSegment()
    {
        QFETCH(QString, token);
        QFETCH(bool, reachable);
        m_standin->control(QStringLiteral("next-id"), {{"kind", "shoot"}, {"id", token}});
        auto r = started({QStringLiteral("A")});
        QCOMPARE(r->cloud.token(), std::optional<QString>(token));
        QVERIFY(r->await(&LoggerCloud::flush));
        QVERIFY(r->await(&LoggerCloud::heartbeat));
        QCOMPARE(count(token, "syncs"), reachable ? 1 : 0);
        QCOMPARE(count(token, "heartbeats"), reachable ? 1 : 0);
        QCOMPARE(r->cloud.problem().has_value(), !reachable);
    }
};

PINDLE_TEST(LoggerCloudTest)
#include "test_logger_cloud.moc"
