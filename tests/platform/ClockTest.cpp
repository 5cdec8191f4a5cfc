#include "common/TestMain.h"
#include "platform/ManualClock.h"

#include <QObject>

using namespace std::chrono_literals;

class ClockTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Timers fire in due order, each seeing the clock at its due time, and a repeating timer
    // keeps its phase across a long step.
    void firesInOrderAtTheirDueTimes()
    {
        ManualClock clock;
        const Date start = clock.now();
        QList<QPair<QString, double>> fired;
        auto record = [&](const QString& name) { fired.append({name, clock.now().secondsSince(start)}); };
        auto repeating = clock.makeTimer([&] { record(QStringLiteral("tick")); });
        repeating->start(400ms);
        QObject context;
        clock.singleShot(1000ms, &context, [&] { record(QStringLiteral("once")); });
        clock.singleShot(1000ms, &context, [&] { record(QStringLiteral("second")); });
        clock.advance(1300ms);
        const QList<QPair<QString, double>> expected{{"tick", 0.4}, {"tick", 0.8}, {"once", 1.0}, {"second", 1.0},
                                                     {"tick", 1.2}};
        QCOMPARE(fired.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QCOMPARE(fired[i].first, expected[i].first);
            QVERIFY(qAbs(fired[i].second - expected[i].second) < 1e-6);
        }
        QVERIFY(qAbs(clock.now().secondsSince(start) - 1.3) < 1e-6);
    }

    // Actions that stop, restart or destroy timers while time advances; a gone context never fires.
    void actionsMayChangeTimers()
    {
        ManualClock clock;
        int restarted = 0;
        std::unique_ptr<Clock::Timer> self;
        self = clock.makeTimer([&] {
            if (++restarted == 3)
                self.reset();
            else
                self->start(100ms);
        });
        self->setSingleShot(true);
        self->start(100ms);
        auto context = std::make_unique<QObject>();
        bool late = false;
        clock.singleShot(50ms, context.get(), [&] { late = true; });
        context.reset();
        clock.advance(10s);
        QCOMPARE(restarted, 3);
        QVERIFY(!late);
        QCOMPARE(clock.activeTimerCount(), 0);
    }

    void setNowMovesOnlyTheWallClock()
    {
        ManualClock clock;
        bool fired = false;
        auto timer = clock.makeTimer([&] { fired = true; });
        timer->start(1s);
        const auto before = clock.monotonic();
        clock.setNow(Date{0.0});
        QCOMPARE(clock.now().sinceReferenceDate, 0.0);
        QCOMPARE(clock.monotonic(), before);
        QVERIFY(!fired);
        clock.advance(1s);
        QVERIFY(fired);
    }
};

PINDLE_TEST(ClockTest)
#include "ClockTest.moc"
