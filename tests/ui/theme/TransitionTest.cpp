#include "ui/theme/Transition.h"
#include "common/TestMain.h"
#include "platform/ManualClock.h"
#include "platform/MotionPreference.h"
#include "ui/theme/ScrollGlide.h"

#include <QScrollBar>

using namespace std::chrono_literals;

namespace {

// A shown widget with a frame clock on a manual clock and a motion preference of its own.
struct Stage {
    explicit Stage(bool reduced = false) : motion(reduced)
    {
        widget.resize(200, 100);
        widget.show();
        exposed = QTest::qWaitForWindowExposed(&widget);
    }

    // Frames until nothing moves, at most `limit`; the frame time it took.
    std::chrono::milliseconds settle(std::chrono::milliseconds limit = 5s)
    {
        auto run = 0ms;
        for (; run < limit && frames.isTicking(); run += FrameClock::kInterval)
            clock.advance(FrameClock::kInterval);
        return run;
    }

    MotionPreference motion;
    ManualClock clock;
    FrameClock frames{&clock, &motion};
    QWidget widget;
    bool exposed = false;
};

} // namespace

// Transitions and glides: values on the frame clock that reach their end and then ask for no
// frame, and that are at their end at once where motion would be wasted or unwanted.
class TransitionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void frameClockHandsOutItsPreference()
    {
        MotionPreference reduced(true);
        FrameClock frames(nullptr, &reduced);
        QVERIFY(frames.reduceMotion());
        reduced.setReduceMotion(false);
        QVERIFY(!frames.reduceMotion());
        QCOMPARE(&FrameClock().motion(), &MotionPreference::shared());
    }

    // In and out on the spring: the progress moves frame by frame, ends exactly at its target
    // and then the clock stops; `finished` once per motion.
    void movesThenRests()
    {
        Stage s;
        QVERIFY(s.exposed);
        Transition transition(&s.widget, s.frames, motion::kDefault);
        QSignalSpy finished(&transition, &Transition::finished);
        QVERIFY(!transition.isPresent());
        transition.setShown(true);
        QVERIFY(transition.isMoving() && s.frames.isTicking());
        QCOMPARE(transition.progress(), 0.0);
        s.clock.advance(100ms);
        const double early = transition.progress();
        QVERIFY(early > 0 && early < 1);
        QVERIFY(s.settle() < 3s);
        QCOMPARE(transition.progress(), 1.0);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!s.frames.isTicking());

        transition.setShown(false);
        s.clock.advance(50ms);
        QVERIFY(transition.isPresent() && transition.opacity() < 1);
        s.settle();
        QCOMPARE(transition.progress(), 0.0);
        QVERIFY(!transition.isPresent());
        QCOMPARE(finished.size(), 2);

        // Asking again for where it is asks for no frame.
        transition.setShown(false);
        QVERIFY(!s.frames.isTicking());
    }

    // A bouncy spring passes its end, but what it draws stays within 0 and 1.
    void opacityStaysInRange()
    {
        Stage s;
        QVERIFY(s.exposed);
        Transition transition(&s.widget, s.frames, motion::kPop);
        transition.setShown(true);
        double highest = 0;
        for (int frame = 0; frame < 200 && s.frames.isTicking(); ++frame) {
            s.clock.advance(FrameClock::kInterval);
            highest = std::max(highest, transition.progress());
            QVERIFY(transition.opacity() >= 0 && transition.opacity() <= 1);
        }
        QVERIFY(highest > 1);
        transition.restart(false);
        QCOMPARE(transition.progress(), 1.0);
        QVERIFY(s.frames.isTicking());
    }

    void endStateAtOnce_data()
    {
        QTest::addColumn<bool>("reduced");
        QTest::addColumn<bool>("hidden");
        QTest::newRow("reduced motion") << true << false;
        QTest::newRow("hidden owner") << false << true;
    }

    // With reduced motion, or with the owner off screen, a transition and a glide are at their
    // end at once and no frame runs.
    void endStateAtOnce()
    {
        QFETCH(bool, reduced);
        QFETCH(bool, hidden);
        Stage s(reduced);
        if (hidden)
            s.widget.hide();
        Transition transition(&s.widget, s.frames, motion::kSelect);
        QSignalSpy finished(&transition, &Transition::finished);
        transition.restart(true);
        QCOMPARE(transition.progress(), 1.0);
        QCOMPARE(finished.size(), 1);

        QScrollBar bar(Qt::Vertical, &s.widget);
        bar.setRange(0, 1000);
        ScrollGlide glide(&bar, &s.widget, s.frames);
        glide.glideTo([] { return 600; });
        QCOMPARE(bar.value(), 600);
        QVERIFY(!glide.isGliding());
        QVERIFY(!s.frames.isTicking());
    }

    // Hiding the owner mid-motion stops the frames at once; the end state follows on the next
    // turn of the event loop.
    void hidingStopsTheFrames()
    {
        Stage s;
        QVERIFY(s.exposed);
        Transition transition(&s.widget, s.frames, motion::kDefault);
        transition.setShown(true);
        QScrollBar bar(Qt::Vertical, &s.widget);
        bar.setRange(0, 1000);
        ScrollGlide glide(&bar, &s.widget, s.frames);
        glide.glideTo([] { return 900; });
        s.clock.advance(50ms);
        QVERIFY(s.frames.isTicking());
        s.widget.hide();
        QVERIFY(!s.frames.isTicking());
        QCoreApplication::processEvents();
        QCOMPARE(transition.progress(), 1.0);
        QCOMPARE(bar.value(), 900);
        QVERIFY(!s.frames.isTicking());
    }

    // A glide moves the value toward its target without passing it, follows a target that moves,
    // and rests on it exactly.
    void glideReachesAMovingTarget()
    {
        Stage s;
        QVERIFY(s.exposed);
        QScrollBar bar(Qt::Vertical, &s.widget);
        bar.setRange(0, 5000);
        ScrollGlide glide(&bar, &s.widget, s.frames);
        int target = 1200;
        glide.glideTo([&target] { return target; });
        int previous = 0;
        for (int frame = 0; frame < 10; ++frame) {
            s.clock.advance(FrameClock::kInterval);
            QVERIFY(bar.value() >= previous && bar.value() <= target);
            previous = bar.value();
        }
        QVERIFY(previous > 0);
        target = 2400;
        s.settle();
        QCOMPARE(bar.value(), 2400);
        QVERIFY(!glide.isGliding());

        // Past the range: it rests on the end of the range.
        target = 9000;
        glide.glideTo([&target] { return target; });
        s.settle();
        QCOMPARE(bar.value(), 5000);
    }

    // The logger scrolling mid-glide keeps the list where the logger put it.
    void scrollingByHandEndsTheGlide()
    {
        Stage s;
        QVERIFY(s.exposed);
        QScrollBar bar(Qt::Vertical, &s.widget);
        bar.setRange(0, 5000);
        ScrollGlide glide(&bar, &s.widget, s.frames);
        glide.glideTo([] { return 4000; });
        s.clock.advance(50ms);
        bar.setValue(100);
        QVERIFY(!glide.isGliding());
        s.settle();
        QCOMPARE(bar.value(), 100);
        // Nor does the list go back there when it is put away.
        glide.finish();
        s.widget.hide();
        QCoreApplication::processEvents();
        QCOMPARE(bar.value(), 100);
    }
};

PINDLE_TEST(TransitionTest)
#include "TransitionTest.moc"
