#include "ui/theme/FrameClock.h"
#include "common/TestMain.h"
#include "platform/ManualClock.h"

#include <optional>

using namespace std::chrono_literals;

class FrameClockTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One timer for every running animation, each told the time since its own last tick; the
    // timer stops once none runs and starts again with the next, whose first tick counts from its
    // start and not from the idle time before it.
    void ticksWhileAnythingRuns()
    {
        ManualClock clock;
        FrameClock frames(&clock);
        QList<double> a, b;
        FrameClock::Animation three = frames.add([&](double dt) {
            a.append(dt);
            return a.size() < 3;
        });
        FrameClock::Animation two = frames.add([&](double dt) {
            b.append(dt);
            return b.size() % 2 != 0;
        });
        QCOMPARE(clock.activeTimerCount(), 0);
        three.start();
        clock.advance(8ms);
        two.start();
        two.start();
        QCOMPARE(clock.activeTimerCount(), 1);
        clock.advance(1s);
        QCOMPARE(a, (QList<double>{0.016, 0.016, 0.016}));
        QCOMPARE(b, (QList<double>{0.008, 0.016}));
        QVERIFY(!frames.isTicking() && !three.isRunning());
        QCOMPARE(clock.activeTimerCount(), 0);

        two.start();
        clock.advance(20ms);
        QCOMPARE(b.size(), 3);
        QCOMPARE(b.last(), 0.016);
        QCOMPARE(frames.runningCount(), 1);
        two.stop();
        QCOMPARE(clock.activeTimerCount(), 0);
    }

    // An animation may drop its own handle or another's in the middle of a tick: the dropped one
    // ticks no more (not even later in the same frame), and new ones may join.
    void handlesGoMidTick()
    {
        ManualClock clock;
        FrameClock frames(&clock);
        std::optional<FrameClock::Animation> self, later, added;
        int laterTicks = 0, addedTicks = 0;
        self = frames.add([&](double) {
            self.reset();
            later.reset();
            added = frames.add([&](double) { return ++addedTicks < 2; });
            added->start();
            return true;
        });
        later = frames.add([&](double) { return ++laterTicks > 0; });
        self->start();
        later->start();
        clock.advance(100ms);
        QCOMPARE(laterTicks, 0);
        QCOMPARE(addedTicks, 2);
        QCOMPARE(clock.activeTimerCount(), 0);

        // A handle that outlives its clock does nothing.
        auto gone = std::make_unique<FrameClock>(&clock);
        FrameClock::Animation orphan = gone->add([](double) { return true; });
        orphan.start();
        gone.reset();
        orphan.start();
        QVERIFY(!orphan.isRunning());
        QCOMPARE(clock.activeTimerCount(), 0);
    }
};

PINDLE_TEST(FrameClockTest)
#include "FrameClockTest.moc"
