#include "common/TestMain.h"

#include "audio/ChannelScan.h"
#include "audio/ChannelSettings.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

using namespace std::chrono_literals;

namespace {

using Verdicts = QMap<int, ScanKind>;

ChannelConfig channel(int index, const QString& name, bool on = true)
{
    return ChannelConfig{index, name, on, ChannelConfig::kUnityFader, false, true};
}

// A scan over a mixer of `count` channels on a clock that stands still until moved.
struct ScanRig {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    ChannelSettings settings{defaults};
    ManualClock clock;
    ChannelScan scan{settings, clock};

    explicit ScanRig(int count)
    {
        QList<ChannelConfig> channels;
        for (int i = 0; i < count; ++i) {
            channels.append(channel(i, QStringLiteral("Ch %1").arg(i + 1)));
        }
        settings.setChannels(channels);
    }
};

} // namespace

// The scan's own rules: where the sweep points, which verdicts mute, what the notice says, and
// that a scan called off or begun twice leaves no step behind.
class ChannelScanTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sweepPosition_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("position");
        QTest::newRow("first step of many channels") << 1 << 32 << 64 << 2;
        QTest::newRow("first step of few channels") << 1 << 32 << 6 << 0;
        QTest::newRow("half way") << 16 << 32 << 6 << 3;
        QTest::newRow("last step wraps to the first") << 32 << 32 << 6 << 0;
        QTest::newRow("one channel") << 17 << 32 << 1 << 0;
        QTest::newRow("no channels") << 5 << 32 << 0 << 0;
        QTest::newRow("no steps") << 5 << 0 << 6 << 0;
        QTest::newRow("32 channels, one each") << 31 << 32 << 32 << 31;
    }
    void sweepPosition()
    {
        QFETCH(int, step);
        QFETCH(int, total);
        QFETCH(int, count);
        QFETCH(int, position);
        QCOMPARE(ChannelScan::sweepPosition(step, total, count), qsizetype(position));
    }

    // Only channels that are on and got a verdict that is not their own voice are muted.
    void mutes_data()
    {
        QTest::addColumn<Verdicts>("verdicts");
        QTest::addColumn<QList<int>>("muted");
        QTest::newRow("speech and quiet stay")
            << Verdicts{{0, ScanKind::speech()}, {1, ScanKind::quiet()}} << QList<int>{};
        QTest::newRow("silent, timecode and copies go") << Verdicts{{0, ScanKind::speech()},
                                                                    {1, ScanKind::silent()},
                                                                    {2, ScanKind::timecode()},
                                                                    {3, ScanKind::copy(0)}}
                                                        << QList<int>{1, 2, 3};
        QTest::newRow("a muted channel is not muted again") << Verdicts{{4, ScanKind::silent()}} << QList<int>{};
        QTest::newRow("no verdict, no mute") << Verdicts{} << QList<int>{};
        QTest::newRow("verdict for a channel the mixer lacks") << Verdicts{{9, ScanKind::silent()}} << QList<int>{};
    }
    void mutes()
    {
        QFETCH(Verdicts, verdicts);
        QFETCH(QList<int>, muted);
        QList<ChannelConfig> channels;
        for (int i = 0; i < 5; ++i) {
            channels.append(channel(i, QStringLiteral("Ch %1").arg(i + 1), i != 4));
        }
        QList<int> found;
        for (const ChannelScan::Mute& mute : ChannelScan::mutesFor(channels, verdicts)) {
            found.append(mute.index);
            QCOMPARE(mute.name, channels.at(mute.index).name);
            QCOMPARE(mute.verdict, verdicts.value(mute.index));
        }
        QCOMPARE(found, muted);
    }

    void summary_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<Verdicts>("verdicts");
        QTest::addColumn<QList<ChannelScan::Mute>>("muted");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing muted") << 2 << Verdicts{{0, ScanKind::speech()}, {1, ScanKind::quiet()}}
                                       << QList<ChannelScan::Mute>{}
                                       << "Scanned 2 channels: 1 with speech, nothing to switch off.";
        QTest::newRow("two muted")
            << 3 << Verdicts{{0, ScanKind::speech()}, {1, ScanKind::silent()}, {2, ScanKind::copy(0)}}
            << QList<ChannelScan::Mute>{{1, QStringLiteral("Lav"), ScanKind::silent()},
                                        {2, QStringLiteral("Boom"), ScanKind::copy(0)}}
            << "Scanned 3 channels: 1 with speech. Muted Lav (silent), Boom (copy of 1). Unmute any it got wrong.";
        QTest::newRow("a name with markers stays as it is")
            << 1 << Verdicts{{0, ScanKind::timecode()}}
            << QList<ChannelScan::Mute>{{0, QStringLiteral("%2 TC %1"), ScanKind::timecode()}}
            << "Scanned 1 channels: 0 with speech. Muted %2 TC %1 (timecode). Unmute any it got wrong.";
        QTest::newRow("no verdicts") << 4 << Verdicts{} << QList<ChannelScan::Mute>{}
                                     << "Scanned 4 channels: 0 with speech, nothing to switch off.";
    }
    void summary()
    {
        QFETCH(int, count);
        QFETCH(Verdicts, verdicts);
        QFETCH(QList<ChannelScan::Mute>, muted);
        QFETCH(QString, text);
        QCOMPARE(ChannelScan::summary(count, verdicts, muted), text);
    }

    // A listening scan moves kSteps times over its duration, sweeps the mixer as it is at each
    // step, and calls for judgement once, after the last.
    void listenSteps()
    {
        ScanRig rig(4);
        QSignalSpy progress(&rig.scan, &ChannelScan::progressChanged);
        QSignalSpy focus(&rig.scan, &ChannelScan::focusChanged);
        int listened = 0;
        rig.scan.onListened = [&] {
            ++listened;
            QCOMPARE(rig.scan.progress(), 1.0);
        };
        QVERIFY(rig.scan.begin());
        QVERIFY(rig.scan.scanning());
        QVERIFY(!rig.scan.begin());
        rig.scan.listen(3200);
        QCOMPARE(progress.count(), 1);
        rig.clock.advance(100ms);
        QCOMPARE(progress.count(), 2);
        QCOMPARE(rig.scan.progress(), 1.0 / ChannelScan::kSteps);
        QCOMPARE(rig.scan.focus(), std::optional<int>(0));
        // The mixer shrinks under the sweep: it follows.
        rig.settings.setChannels({channel(7, QStringLiteral("Only"))});
        rig.clock.advance(1500ms);
        QCOMPARE(rig.scan.focus(), std::optional<int>(7));
        QCOMPARE(listened, 0);
        rig.clock.advance(1600ms);
        QCOMPARE(listened, 1);
        QCOMPARE(progress.count(), 1 + ChannelScan::kSteps);
        // Still scanning: the engine ends it once it judged.
        QVERIFY(rig.scan.scanning());
        rig.scan.end();
        QVERIFY(!rig.scan.scanning());
        QCOMPARE(rig.scan.focus(), std::nullopt);
        QVERIFY(focus.count() >= 2);
        rig.clock.advance(10s);
        QCOMPARE(listened, 1);
    }

    // Steps of a scan called off, or of an earlier scan, do nothing, even when a new scan runs.
    void calledOffStepsDoNothing_data()
    {
        QTest::addColumn<int>("offAtMs");
        QTest::newRow("before the first step") << 0;
        QTest::newRow("half way") << 1600;
        QTest::newRow("just before the last") << 3199;
    }
    void calledOffStepsDoNothing()
    {
        QFETCH(int, offAtMs);
        ScanRig rig(3);
        int listened = 0;
        rig.scan.onListened = [&] { ++listened; };
        QVERIFY(rig.scan.begin());
        rig.scan.listen(3200);
        rig.clock.advance(std::chrono::milliseconds(offAtMs));
        rig.scan.callOff();
        rig.scan.end();
        QVERIFY(rig.scan.begin());
        QCOMPARE(rig.scan.progress(), 0.0);
        QSignalSpy progress(&rig.scan, &ChannelScan::progressChanged);
        rig.clock.advance(4s);
        QCOMPARE(progress.count(), 0);
        QCOMPARE(listened, 0);
        QCOMPARE(rig.scan.focus(), std::nullopt);
    }

    // A new scan starts from nothing: old verdicts are withdrawn (announced once), progress is 0.
    void beginClearsVerdicts()
    {
        ScanRig rig(2);
        rig.scan.setResults({{0, ScanKind::speech()}});
        QSignalSpy results(&rig.scan, &ChannelScan::resultsChanged);
        QVERIFY(rig.scan.begin());
        QCOMPARE(results.count(), 1);
        QVERIFY(rig.scan.results().isEmpty());
        rig.scan.end();
        QVERIFY(rig.scan.begin());
        QCOMPARE(results.count(), 1);
    }

    // The pretend scan visits each channel in turn, then publishes its verdicts and asks for them
    // to be applied, once.
    void pretendVisitsThenJudges()
    {
        ScanRig rig(3);
        QList<int> visited;
        connect(&rig.scan, &ChannelScan::focusChanged, this, [&] {
            if (rig.scan.focus()) {
                visited.append(*rig.scan.focus());
            }
        });
        int judged = 0;
        rig.scan.onJudged = [&] {
            ++judged;
            QCOMPARE(rig.scan.results().value(2), ScanKind::silent());
        };
        QVERIFY(rig.scan.begin());
        rig.scan.pretend({2, 0, 1}, 100, 50, {{2, ScanKind::silent()}, {0, ScanKind::speech()}});
        rig.clock.fireDue();
        QCOMPARE(visited, QList<int>{2});
        rig.clock.advance(200ms);
        QCOMPARE(visited, (QList<int>{2, 0, 1}));
        QCOMPARE(rig.scan.progress(), 1.0);
        QCOMPARE(judged, 0);
        rig.clock.advance(149ms);
        QCOMPARE(judged, 0);
        rig.clock.advance(1ms);
        QCOMPARE(judged, 1);
        rig.clock.advance(5s);
        QCOMPARE(judged, 1);
    }

    void pretendCalledOff()
    {
        ScanRig rig(3);
        int judged = 0;
        rig.scan.onJudged = [&] { ++judged; };
        QVERIFY(rig.scan.begin());
        rig.scan.pretend({0, 1, 2}, 100, 0, {{0, ScanKind::speech()}});
        rig.clock.advance(150ms);
        rig.scan.callOff();
        rig.scan.end();
        rig.clock.advance(5s);
        QCOMPARE(judged, 0);
        QVERIFY(rig.scan.results().isEmpty());
        QCOMPARE(rig.scan.focus(), std::nullopt);
    }
};

PINDLE_TEST(ChannelScanTest)
#include "test_channel_scan.moc"
