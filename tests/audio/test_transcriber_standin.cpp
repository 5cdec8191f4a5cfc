#include "common/TestMain.h"

#include "ScriptedStandinTest.h"
#include "audio/ChannelStream.h"
#include "audio/SegmentOrder.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/ServiceUrl.h"
#include "test_transcriber_support.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace transcriber_test;

namespace {

constexpr int kWaitMs = 15000;

} // namespace

// The engine with its real cloud streams against a real stand-in socket that plays scripted
// results: the run's streams, their lines in the merged transcript, a refusal that makes the
// screen start again under a new shoot, and stop.
class TranscriberStandinTest : public ScriptedStandinTest {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startStandin(); }

    void cleanup() { m_standin->control(QStringLiteral("ws-clear")); }

    void runWithCloudStreams()
    {
        const QString shoot = createShoot(QStringLiteral("Engine test"));
        QVERIFY(!shoot.isEmpty());
        Rig rig;
        rig.service = m_service.get();
        rig.captureChannels = 3;
        DesktopTranscriber& engine = rig.desk(3);
        engine.setOn(1, false);
        engine.setOn(2, false);
        engine.renameChannel(0, QStringLiteral("Boom"));
        engine.setShootToken(shoot);
        const qsizetype before = connections().size();

        script({QJsonObject{{QStringLiteral("type"), QStringLiteral("interim")},
                            {QStringLiteral("after_ms"), 50},
                            {QStringLiteral("id"), QStringLiteral("u1")},
                            {QStringLiteral("text"), QStringLiteral("hello th")}},
                finalResult(150, QStringLiteral("u1"), QStringLiteral("hello there"), 0.5, 1.0)});
        engine.start();
        QVERIFY(engine.running());
        QCOMPARE(engine.status(), QStringLiteral("Listening…"));
        QTRY_COMPARE_WITH_TIMEOUT(engine.segments().size(), 1, kWaitMs);
        const DisplaySegment first = engine.segments().at(0);
        QCOMPARE(first.id, QStringLiteral("0-u1"));
        QCOMPARE(first.speaker, std::optional<QString>(QStringLiteral("Boom")));
        QCOMPARE(first.text, QStringLiteral("hello there"));
        const auto cloud = std::dynamic_pointer_cast<ChannelStream>(engine.stream(0));
        QVERIFY(cloud);
        QCOMPARE(first.startSecs, cloud->offset() + 0.5);
        QCOMPARE(engine.latestLine(), QStringLiteral("hello there"));

        // A second channel joins the running session.
        script({finalResult(100, QStringLiteral("u2"), QStringLiteral("second channel"), 0.1, 0.3)});
        engine.setOn(1, true);
        QTRY_COMPARE_WITH_TIMEOUT(engine.segments().size(), 2, kWaitMs);
        QVERIFY(
            std::is_sorted(engine.segments().cbegin(), engine.segments().cend(), SegmentOrder(engine.engineStart())));
        QCOMPARE(engine.fullTranscript().count(QLatin1Char('\n')), 1);

        // The generated audio reaches the service on both sockets.
        rig.play(300ms);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const QJsonArray all = connections();
                return all.size() == before + 2 &&
                       all.at(before).toObject().value(QStringLiteral("audio_bytes")).toInteger() > 0 &&
                       all.at(before + 1).toObject().value(QStringLiteral("audio_bytes")).toInteger() > 0;
            }(),
            kWaitMs);
        const QJsonArray all = connections();
        const QJsonObject opening = all.at(before).toObject().value(QStringLiteral("start")).toObject();
        const QJsonObject joining = all.at(before + 1).toObject().value(QStringLiteral("start")).toObject();
        QVERIFY(!opening.contains(QStringLiteral("resume")));
        QCOMPARE(joining.value(QStringLiteral("resume")), QJsonValue(true));
        QCOMPARE(opening.value(QStringLiteral("token")).toString(), shoot);
        QCOMPARE(joining.value(QStringLiteral("token")).toString(), shoot);

        engine.stop();
        QVERIFY(!engine.running());
        QCOMPARE(engine.segments().size(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const QJsonValue& connection : connections()) {
                    if (connection.toObject().value(QStringLiteral("open")).toBool()) {
                        return false;
                    }
                }
                return true;
            }(),
            kWaitMs);
    }

    void endedShootStartsAgainUnderANewOne()
    {
        const QString wrapped = createShoot(QStringLiteral("Engine test"));
        const auto answer = m_standin->request(
            "POST", QStringLiteral("/api/logger/shoots/%1/wrap").arg(ServiceUrl::pathSegment(wrapped)), "{}", m_cookie);
        QCOMPARE(answer.status, 200);

        Rig rig;
        rig.service = m_service.get();
        rig.setDevices({device(QStringLiteral("m"), QStringLiteral("Mic"), 1, true)});
        DesktopTranscriber& engine = rig.make();
        engine.setShootToken(wrapped);
        QString fresh;
        int restarts = 0;
        engine.onShootEnded = [&] {
            ++restarts;
            engine.stop();
            fresh = createShoot(QStringLiteral("Engine test"));
            engine.setShootToken(fresh);
            engine.start();
        };
        script({finalResult(50, QStringLiteral("n1"), QStringLiteral("new shoot"), 0.2, 0.4)});
        engine.start();
        QTRY_COMPARE_WITH_TIMEOUT(restarts, 1, kWaitMs);
        QVERIFY(engine.running());
        QTRY_COMPARE_WITH_TIMEOUT(engine.segments().size(), 1, kWaitMs);
        QCOMPARE(engine.segments().at(0).id, QStringLiteral("-1-n1"));
        QCOMPARE(engine.segments().at(0).speaker, std::optional<QString>(QStringLiteral("Speaker 1")));
        const QJsonArray all = connections();
        QCOMPARE(
            all.last().toObject().value(QStringLiteral("start")).toObject().value(QStringLiteral("token")).toString(),
            fresh);
        engine.stop();
    }
};

PINDLE_TEST(TranscriberStandinTest)
#include "test_transcriber_standin.moc"
