#include "common/TestMain.h"

#include "platform/ManualClock.h"
#include "ui/theme/LoggerSpinner.h"

using namespace std::chrono_literals;

class SpinnerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The wheel turns by elapsed time, once a second, and only while shown: hidden, it leaves the
    // frame clock idle.
    void turnsByTimeOnlyWhileShown()
    {
        ManualClock clock;
        FrameClock frames(&clock);
        LoggerSpinner spinner(nullptr, &frames);
        QVERIFY(!frames.isTicking());
        spinner.show();
        QVERIFY(spinner.isSpinning() && frames.isTicking());
        clock.advance(260ms);
        QCOMPARE(spinner.step(), 3);
        clock.advance(1008ms); // a whole turn, frames at 16 ms
        QCOMPARE(spinner.step(), 3);
        spinner.hide();
        QVERIFY(!spinner.isSpinning() && !frames.isTicking());
        QCOMPARE(clock.activeTimerCount(), 0);
    }
};

PINDLE_TEST(SpinnerTest)
#include "SpinnerTest.moc"
