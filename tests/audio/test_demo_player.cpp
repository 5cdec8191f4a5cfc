#include "common/TestMain.h"

#include "audio/ChannelScan.h"
#include "audio/ChannelSettings.h"
#include "audio/DemoPlayer.h"
#include "audio/DemoShoot.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"

#include <QTemporaryDir>

using namespace std::chrono_literals;

namespace {

// A player over the pretend mixer, on a clock that stands still until moved.
struct DemoRig {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    ChannelSettings settings{defaults};
    ManualClock clock{Date::fromSecondsSince1970(1'700'000'000.0)};
    ChannelScan scan{settings, clock};
    DemoPlayer player{settings, scan, clock, DemoPlayer::Pacing{1000, 100}, [] { return 0.5; }};
    QList<DisplaySegment> played;
    QList<QList<float>> meters;

    DemoRig()
    {
        player.onLine = [this](const DisplaySegment& line) { played.append(line); };
        player.onLevels = [this](const QList<float>& levels) { meters.append(levels); };
    }
    void begin(std::optional<int> count = std::nullopt)
    {
        settings.showPretend(DemoShoot::channels(player.begin(count)));
        player.play(clock.now());
    }
};

} // namespace

// The demo player on its own: the script's pace, muted speakers skipped without stalling the
// script, the meters, and nothing after a stop.
class DemoPlayerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void channelCount_data()
    {
        QTest::addColumn<bool>("given");
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("count");
        QTest::newRow("none") << false << 0 << DemoShoot::kDefaultChannels;
        QTest::newRow("too few") << true << 2 << DemoShoot::kMinChannels;
        QTest::newRow("negative") << true << -40 << DemoShoot::kMinChannels;
        QTest::newRow("within") << true << 10 << 10;
        QTest::newRow("too many") << true << 99 << DemoShoot::kMaxChannels;
    }
    void channelCount()
    {
        QFETCH(bool, given);
        QFETCH(int, requested);
        QFETCH(int, count);
        DemoRig rig;
        QVERIFY(!rig.player.started());
        QCOMPARE(rig.player.begin(given ? std::optional<int>(requested) : std::nullopt), count);
        QCOMPARE(rig.player.channelCount(), count);
        QVERIFY(rig.player.started());
        // Begun is not playing: nothing moves until play.
        rig.clock.advance(5s);
        QCOMPARE(rig.player.linesPlayed(), 0);
        QVERIFY(rig.meters.isEmpty());
    }

    // Each tick plays the next script row; a muted (or missing) speaker's row is skipped but
    // counted, so the conversation goes on where it would have.
    void mutedSpeakersAreSkipped()
    {
        DemoRig rig;
        rig.begin();
        const QList<DemoShoot::ScriptRow>& script = DemoShoot::script();
        QVERIFY(rig.settings.setOn(script.at(0).channel, false));
        rig.player.tick();
        QCOMPARE(rig.player.linesPlayed(), 1);
        QVERIFY(rig.played.isEmpty());
        int expected = 0;
        for (int i = 1; i < 6; ++i) {
            rig.player.tick();
            if (script.at(i).channel != script.at(0).channel) {
                ++expected;
                QCOMPARE(rig.played.last().text, script.at(i).text);
            }
        }
        QCOMPARE(rig.player.linesPlayed(), 6);
        QCOMPARE(rig.played.size(), expected);
        QCOMPARE(rig.player.lines().size(), expected);
    }

    // Lines come at the configured pace, each ending where the clock stood, and stop with the
    // player; the newest end is the transcript's time.
    void paceAndStop()
    {
        DemoRig rig;
        rig.begin(8);
        QCOMPARE(rig.settings.channels().size(), 8);
        QCOMPARE(rig.player.newestLineEnd(), std::nullopt);
        rig.clock.advance(1000ms);
        QCOMPARE(rig.player.linesPlayed(), 1);
        rig.clock.advance(2000ms);
        QCOMPARE(rig.player.linesPlayed(), 3);
        QVERIFY(!rig.played.isEmpty());
        QCOMPARE(rig.played.last().endSecs, 3.0);
        QCOMPARE(rig.player.newestLineEnd(), std::optional<double>(3.0));
        QCOMPARE(rig.meters.size(), 30);
        QCOMPARE(rig.meters.last().size(), 8);

        rig.player.stop();
        QVERIFY(!rig.player.playing());
        QVERIFY(rig.player.started());
        rig.player.tick();
        rig.player.levelsTick();
        rig.clock.advance(10s);
        QCOMPARE(rig.player.linesPlayed(), 3);
        QCOMPARE(rig.meters.size(), 30);
    }

    // A new demo starts the script and its lines afresh.
    void beginRewinds()
    {
        DemoRig rig;
        rig.begin();
        rig.clock.advance(3000ms);
        QVERIFY(rig.player.linesPlayed() > 0);
        rig.player.stop();
        QCOMPARE(rig.player.begin(7), 7);
        QCOMPARE(rig.player.linesPlayed(), 0);
        QVERIFY(rig.player.lines().isEmpty());
        QCOMPARE(rig.player.newestLineEnd(), std::nullopt);
    }

    // A muted channel's meter rests, unless a scan listens to it.
    void metersFollowTheMixerAndTheScan()
    {
        DemoRig rig;
        rig.begin();
        const int channel = DemoShoot::script().at(0).channel;
        QVERIFY(rig.settings.setOn(channel, false));
        rig.player.levelsTick();
        QCOMPARE(rig.meters.last().at(channel), 0.0f);
        QVERIFY(rig.scan.begin());
        rig.player.levelsTick();
        QVERIFY(rig.meters.last().at(channel) > 0.0f);
    }
};

PINDLE_TEST(DemoPlayerTest)
#include "test_demo_player.moc"
