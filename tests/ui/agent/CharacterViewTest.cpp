#include "common/TestMain.h"

#include "agent/PindleCharacter.h"
#include "platform/ManualClock.h"
#include "ui/agent/PindleCharacterView.h"

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>

#include <cmath>
#include <limits>

using namespace std::chrono_literals;
using State = PindleCharacter::State;

namespace {

constexpr double kPanelScale = 92.0 / 432;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool allFinite(const State& s)
{
    QList<const PindleCharacter::Spring*> all{&s.squash, &s.lean,        &s.x,         &s.y,      &s.wob,
                                              &s.dent,   &s.lookX,       &s.bubble,    &s.placeS, &s.placeX,
                                              &s.placeY, &s.eyeL.length, &s.eyeR.width};
    return std::ranges::all_of(all, [](const PindleCharacter::Spring* p) {
        return std::isfinite(p->x) && std::isfinite(p->v) && std::isfinite(p->t);
    });
}

// The character in a window of its own, on a manual clock.
struct Stage {
    explicit Stage(QSize size = PindleCharacterView::kPanelSize)
    {
        view = new PindleCharacterView(character, frames, &window, &clock);
        view->setGeometry(QRect(QPoint(), size));
        window.resize(size);
        window.show();
        exposed = QTest::qWaitForWindowExposed(&window);
        run(100ms);
    }

    [[nodiscard]] State& state() { return character.state(); }
    // Frames for `time`, then one paint, so the body outline is the one last drawn.
    void run(std::chrono::milliseconds time)
    {
        clock.advance(time);
        view->repaint();
    }
    [[nodiscard]] QPoint middle() const { return view->lastBodyPath().boundingRect().center().toPoint(); }
    void press(QPoint at) { QTest::mousePress(view, Qt::LeftButton, {}, at); }
    void move(QPoint at) { QTest::mouseMove(view, at); }
    void release(QPoint at) { QTest::mouseRelease(view, Qt::LeftButton, {}, at); }
    // Pressed on the body's middle and moved by `travel` `after` later.
    void drag(QPoint travel, std::chrono::milliseconds after = 16ms)
    {
        start = middle();
        press(start);
        clock.advance(after);
        move(start + travel);
    }

    ManualClock clock;
    FrameClock frames{&clock};
    PindleCharacter character;
    QWidget window;
    PindleCharacterView* view = nullptr;
    bool exposed = false;
    QPoint start;
};

} // namespace

class CharacterViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // At every size the stage is fitted whole and centred, and the body stays inside the view.
    void placementAtEverySize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPointF>("offset");
        QTest::newRow("panel") << QSize(92, 92) << kPanelScale << QPointF(110, 70) * kPanelScale;
        QTest::newRow("wide") << QSize(400, 92) << kPanelScale << QPointF(154 + 110 * kPanelScale, 70 * kPanelScale);
        QTest::newRow("tall") << QSize(92, 300) << kPanelScale << QPointF(110 * kPanelScale, 104 + 70 * kPanelScale);
        QTest::newRow("one point") << QSize(1, 1) << 1.0 / 432 << QPointF(110, 70) / 432;
    }
    void placementAtEverySize()
    {
        QFETCH(QSize, size);
        QFETCH(double, scale);
        QFETCH(QPointF, offset);
        Stage stage(size);
        QVERIFY(stage.exposed);
        QVERIFY(std::abs(stage.state().placeS.x - scale) < 1e-12);
        QVERIFY(std::abs(stage.state().placeX.x - offset.x()) < 1e-9);
        QVERIFY(std::abs(stage.state().placeY.x - offset.y()) < 1e-9);
        for (int i = 0; i < 20; ++i) {
            stage.run(150ms);
            QVERIFY(!stage.view->lastBodyPath().isEmpty());
            QVERIFY(QRectF(QPointF(), QSizeF(size)).contains(stage.view->lastBodyPath().boundingRect()));
        }
    }

    // A size, stage or target that leaves nothing to fit draws nothing, misses every press and
    // never puts a non-finite number into the model, however long it runs.
    void degenerateGeometryDrawsNothing_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRectF>("stage");
        QTest::addColumn<std::optional<QRectF>>("target");
        const QRectF panel = PindleCharacterView::kPanelStage;
        const std::optional<QRectF> none;
        QTest::newRow("zero size") << QSize(0, 0) << panel << none;
        QTest::newRow("empty stage") << QSize(92, 92) << QRectF(0, 0, 0, 0) << none;
        QTest::newRow("NaN stage") << QSize(92, 92) << QRectF(kNaN, 0, 432, 432) << none;
        QTest::newRow("infinite stage") << QSize(92, 92) << QRectF(0, 0, std::numeric_limits<double>::infinity(), 1)
                                        << none;
        QTest::newRow("negative target") << QSize(92, 92) << panel << std::optional(QRectF(0, 0, -10, 10));
        QTest::newRow("NaN target") << QSize(92, 92) << panel << std::optional(QRectF(0, 0, kNaN, 10));
    }
    void degenerateGeometryDrawsNothing()
    {
        QFETCH(QSize, size);
        QFETCH(QRectF, stage);
        QFETCH(std::optional<QRectF>, target);
        Stage rig;
        const State before = rig.state();
        rig.view->resize(size);
        rig.view->setStage(stage);
        rig.view->setTarget(target);
        rig.view->setHeadroom(kNaN);
        for (int i = 0; i < 20; ++i) {
            rig.run(500ms);
            QVERIFY(rig.view->lastBodyPath().isEmpty());
            QVERIFY(allFinite(rig.state()));
        }
        QCOMPARE(rig.state().placeS.x, before.placeS.x);
        QCOMPARE(rig.state().placeX.t, before.placeX.t);
        rig.press({1, 1});
        rig.release({1, 1});
        QVERIFY(!rig.state().dragging);
        QCOMPARE(rig.state().dent.v, 0.0);
    }

    // Headroom is drawing room above the character's frame: the fit and presses are below it.
    void headroomIsAboveTheFrame()
    {
        Stage rig({92, 138});
        rig.view->setHeadroom(0.5);
        rig.run(16ms);
        QVERIFY(std::abs(rig.state().placeY.x - (46 + 70 * kPanelScale)) < 1e-9);
        QVERIFY(std::abs(rig.view->lastBodyPath().boundingRect().top() - 70 * kPanelScale) < 0.5);
        rig.press(rig.middle() + QPoint(0, 46));
        QVERIFY(rig.state().dragging);
        rig.release(rig.middle() + QPoint(0, 46));
        QCOMPARE(rig.state().dent.v, 9.0);
    }

    // A press outside the body, or outside the target, moves nothing; a click in the target that
    // travelled no more than 6 points is a tap wherever it landed.
    void pressOutsideTheBodyOnlyTaps()
    {
        Stage rig({184, 92});
        rig.view->setTarget(QRectF(0, 0, 92, 92));
        QSignalSpy taps(rig.view, &PindleCharacterView::tapped);
        rig.press({3, 3});
        rig.move({60, 60});
        QVERIFY(!rig.state().dragging);
        QCOMPARE(rig.state().x.t, 0.0);
        rig.release({3, 4});
        QCOMPARE(taps.count(), 0);
        rig.press({3, 3});
        rig.release({5, 5});
        QCOMPARE(taps.count(), 1);
        rig.press({150, 40});
        rig.release({150, 40});
        QCOMPARE(taps.count(), 1);
        QCOMPARE(rig.state().dent.v, 0.0);
        QCOMPARE(rig.state().face, PindleFace::Neutral);
    }

    // A press and release on the body within 6 points pokes at the angle from the body's middle
    // to the release; more travel, even back to the start, is a drag for good: the body springs
    // home with a wobble and is never poked.
    void pokeOrDrag_data()
    {
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<QList<QPoint>>("moves");
        QTest::addColumn<QPoint>("release");
        QTest::addColumn<bool>("pokes");
        QTest::newRow("right of the middle") << QPoint(15, 0) << QList<QPoint>{} << QPoint(15, 0) << true;
        QTest::newRow("six points") << QPoint(-6, 0) << QList<QPoint>{{-3, 0}} << QPoint(0, 0) << true;
        QTest::newRow("seven points") << QPoint(-7, 0) << QList<QPoint>{} << QPoint(0, 0) << false;
        QTest::newRow("diagonal 5.7") << QPoint(0, 0) << QList<QPoint>{} << QPoint(4, 4) << true;
        QTest::newRow("diagonal 7.1") << QPoint(0, 0) << QList<QPoint>{} << QPoint(5, 5) << false;
        QTest::newRow("there and back") << QPoint(0, 0) << QList<QPoint>{{10, 0}, {0, 0}} << QPoint(0, 0) << false;
    }
    void pokeOrDrag()
    {
        QFETCH(QPoint, press);
        QFETCH(QList<QPoint>, moves);
        QFETCH(QPoint, release);
        QFETCH(bool, pokes);
        Stage rig;
        QSignalSpy taps(rig.view, &PindleCharacterView::tapped);
        const QPoint middle = rig.middle();
        const QPointF exactMiddle = rig.view->lastBodyPath().boundingRect().center();
        rig.press(middle + press);
        QVERIFY(rig.state().dragging);
        for (const QPoint move : moves)
            rig.move(middle + move);
        const double wob = rig.state().wob.v;
        rig.release(middle + release);
        QVERIFY(!rig.state().dragging);
        QCOMPARE(taps.count(), pokes ? 1 : 0);
        QCOMPARE(rig.state().face, pokes ? PindleFace::Happy : PindleFace::Neutral);
        QCOMPARE(rig.state().dent.v, pokes ? 9.0 : 0.0);
        if (pokes) {
            const QPointF to = QPointF(middle + release) - exactMiddle;
            QVERIFY(std::abs(rig.state().dentAngle - std::atan2(to.y(), to.x())) < 1e-9);
        } else {
            QCOMPARE(rig.state().wob.v, wob + 5);
            QCOMPARE(rig.state().x.t, 0.0);
            QCOMPARE(rig.state().lookX.t, 0.0);
        }
    }

    // The drag's targets stop at 90 units to either side, and at 80 up and 60 down measured from
    // the ground, whatever the rest height; the release sends them back to the rest height.
    void dragLimits_data()
    {
        QTest::addColumn<QPoint>("travel");
        QTest::addColumn<double>("baseY");
        QTest::addColumn<QPointF>("target");
        QTest::newRow("far right") << QPoint(60, 0) << 0.0 << QPointF(90, 0);
        QTest::newRow("just inside") << QPoint(19, 0) << 0.0 << QPointF(19 / kPanelScale, 0);
        QTest::newRow("far down") << QPoint(0, 60) << 0.0 << QPointF(0, 60);
        QTest::newRow("far up") << QPoint(0, -60) << 0.0 << QPointF(0, -80);
        QTest::newRow("down from 12") << QPoint(0, 12) << 12.0 << QPointF(0, 60);
        QTest::newRow("a little down from 12") << QPoint(0, 8) << 12.0 << QPointF(0, 12 + 8 / kPanelScale);
    }
    void dragLimits()
    {
        QFETCH(QPoint, travel);
        QFETCH(double, baseY);
        QFETCH(QPointF, target);
        Stage rig;
        rig.state().baseY = baseY;
        rig.drag(travel);
        QVERIFY(std::abs(rig.state().x.t - target.x()) < 1e-9);
        QVERIFY(std::abs(rig.state().y.t - target.y()) < 1e-9);
        rig.release(rig.start + travel);
        QCOMPARE(rig.state().y.t, baseY);
    }

    // A flick leans the body against its motion, turns the eyes toward it (fully from 600 units
    // a second) and squashes it along it, within -0.45...0.4: past a limit the body is held there
    // and only a velocity back inside is kept.
    void flick_data()
    {
        QTest::addColumn<QPoint>("travel");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QPointF>("squashBefore");
        QTest::addColumn<double>("look");
        QTest::addColumn<QPointF>("squashAfter");
        const double slow = 20 / kPanelScale / 600;
        QTest::newRow("slow right") << QPoint(20, 0) << 1000 << QPointF() << slow << QPointF();
        QTest::newRow("fast left") << QPoint(-20, 0) << 10 << QPointF() << -1.0 << QPointF();
        // 9,391 units a second: the kick is held to 2.5, weighted 0.6 for 10 ms.
        QTest::newRow("fast down") << QPoint(0, 20) << 10 << QPointF() << 0.0 << QPointF(0, -1.5);
        QTest::newRow("squashed, squashing") << QPoint(20, 0) << 10 << QPointF(-0.6, -1) << 1.0 << QPointF(-0.45, 0);
        QTest::newRow("squashed, recovering") << QPoint(20, 0) << 10 << QPointF(-0.6, 2) << 1.0 << QPointF(-0.45, 2);
        QTest::newRow("stretched, stretching") << QPoint(20, 0) << 10 << QPointF(0.5, 1) << 1.0 << QPointF(0.4, 0);
    }
    void flick()
    {
        QFETCH(QPoint, travel);
        QFETCH(int, ms);
        QFETCH(QPointF, squashBefore);
        QFETCH(double, look);
        QFETCH(QPointF, squashAfter);
        Stage rig;
        rig.view->setPaused(true);
        State& s = rig.state();
        rig.start = rig.middle();
        rig.press(rig.start);
        rig.clock.advance(std::chrono::milliseconds(ms));
        s.squash.x = squashBefore.x();
        s.squash.v = squashBefore.y();
        s.lean.v = 0;
        rig.move(rig.start + travel);
        const double dt = ms / 1000.0;
        QVERIFY(std::abs(s.lookX.t - look) < 1e-9);
        QVERIFY(std::abs(s.lean.v - travel.x() / kPanelScale / dt * -0.02 * std::min(dt * 60, 1.0)) < 1e-6);
        QCOMPARE(s.squash.x, squashAfter.x());
        QVERIFY(std::abs(s.squash.v - squashAfter.y()) < 1e-9);
    }

    // A drag cut short goes home without the wobble, and the release that follows does nothing.
    void cancelledDragGoesHomeQuietly_data()
    {
        QTest::addColumn<QString>("cause");
        for (const char* cause :
             {"hidden", "minimised", "right button", "not interactive", "release elsewhere", "gone"})
            QTest::newRow(cause) << QString::fromLatin1(cause);
    }
    void cancelledDragGoesHomeQuietly()
    {
        QFETCH(QString, cause);
        Stage rig;
        rig.state().baseY = 12;
        QSignalSpy taps(rig.view, &PindleCharacterView::tapped);
        rig.drag({20, 10});
        QVERIFY(rig.state().x.t > 0 && rig.state().lookX.t > 0);
        const double wob = rig.state().wob.v;
        const QPoint at = rig.start + QPoint(22, 10);
        if (cause == u"hidden") {
            rig.view->hide();
        } else if (cause == u"minimised") {
            rig.window.setWindowState(Qt::WindowMinimized);
        } else if (cause == u"right button") {
            QTest::mousePress(rig.view, Qt::RightButton, {}, at);
        } else if (cause == u"not interactive") {
            rig.view->setInteractive(false);
        } else if (cause == u"release elsewhere") {
            QMouseEvent move(QEvent::MouseMove, at, rig.view->mapToGlobal(at), Qt::NoButton, Qt::NoButton, {});
            QApplication::sendEvent(rig.view, &move);
        } else {
            delete rig.view;
        }
        QVERIFY(!rig.state().dragging);
        QCOMPARE(QPointF(rig.state().x.t, rig.state().y.t), QPointF(0, 12));
        QCOMPARE(rig.state().lookX.t, 0.0);
        QCOMPARE(rig.state().wob.v, wob);
        if (cause == u"gone")
            return;
        rig.state().x.t = 3;
        rig.release(rig.start);
        QCOMPARE(rig.state().x.t, 3.0);
        QCOMPARE(rig.state().dent.v, 0.0);
        QCOMPARE(taps.count(), 0);
    }

    // With reduced motion a tap on the body shows nothing, but is still a tap; without
    // interaction the body takes neither pokes nor drags.
    void tapsWithoutPokes_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::addColumn<bool>("interactive");
        QTest::newRow("reduced motion") << true << true;
        QTest::newRow("not interactive") << false << false;
    }
    void tapsWithoutPokes()
    {
        QFETCH(bool, reduceMotion);
        QFETCH(bool, interactive);
        Stage rig;
        rig.view->setReduceMotion(reduceMotion);
        rig.view->setInteractive(interactive);
        QCOMPARE(rig.state().reduceMotion, reduceMotion);
        QSignalSpy taps(rig.view, &PindleCharacterView::tapped);
        rig.press(rig.middle());
        rig.release(rig.middle());
        QCOMPARE(taps.count(), 1);
        QCOMPARE(rig.state().dent.v, 0.0);
        QCOMPARE(rig.state().face, PindleFace::Neutral);
        rig.drag({20, 0});
        QCOMPARE(rig.state().dragging, interactive);
        QCOMPARE(rig.state().x.t != 0.0, interactive);
    }

    // The frame clock runs only while the character is on screen and not paused, and a window
    // hidden for hours comes back with one ordinary step, not a burst of catching up.
    void timelineFollowsTheScreen()
    {
        Stage rig;
        const auto running = [&] { return std::pair(rig.view->isAnimating(), rig.clock.activeTimerCount()); };
        const auto on = std::pair(true, 1);
        const auto off = std::pair(false, 0);
        QCOMPARE(running(), on);
        rig.window.setWindowState(Qt::WindowMinimized);
        QCOMPARE(running(), off);
        rig.view->setPaused(true);
        rig.window.setWindowState(Qt::WindowNoState);
        QCOMPARE(running(), off);
        rig.view->setPaused(false);
        QCOMPARE(running(), on);
        rig.view->hide();
        QCOMPARE(running(), off);
        rig.view->show();
        QCOMPARE(running(), on);

        rig.window.hide();
        QCOMPARE(running(), off);
        const double clock = rig.state().clock;
        rig.clock.advance(std::chrono::hours(5));
        QCOMPARE(rig.state().clock, clock);
        rig.window.show();
        QCOMPARE(running(), on);
        rig.clock.advance(16ms);
        QVERIFY(std::abs(rig.state().clock - (clock + PindleCharacter::kMaxStep)) < 1e-12);
        QVERIFY(allFinite(rig.state()));
        rig.clock.advance(16ms);
        QVERIFY(std::abs(rig.state().clock - (clock + PindleCharacter::kMaxStep + 0.016)) < 1e-9);
    }

    // With reduced motion a resting character costs nothing: the clock stops once every spring
    // has settled and starts again when the agent or the user moves him.
    void reducedMotionRestsWhenStill()
    {
        Stage rig;
        rig.view->setReduceMotion(true);
        rig.run(5s);
        QVERIFY(!rig.view->isAnimating());
        rig.character.setAgentState(PindleAgentState::Thinking);
        QVERIFY(rig.view->isAnimating());
        rig.clock.advance(16ms);
        QCOMPARE(rig.state().bubble.x, 1.0);
        rig.run(5s);
        QVERIFY(!rig.view->isAnimating());
        rig.press(rig.middle());
        QVERIFY(rig.view->isAnimating());
    }

    // A new size snaps the fit for 0.15 s of character time; after that a new fit glides.
    void resizeSnapsBriefly()
    {
        Stage rig;
        rig.run(1s);
        rig.view->resize(184, 184);
        QCOMPARE(rig.state().placeS.x, 2 * kPanelScale);
        rig.run(96ms);
        rig.view->setTarget(QRectF(0, 0, 92, 92));
        QCOMPARE(rig.state().placeS.x, kPanelScale);
        rig.run(96ms);
        rig.view->setTarget(std::nullopt);
        QCOMPARE(rig.state().placeS.x, kPanelScale);
        rig.run(32ms);
        QVERIFY(rig.state().placeS.x > kPanelScale && rig.state().placeS.x < 2 * kPanelScale);
        rig.run(5s);
        QVERIFY(std::abs(rig.state().placeS.x - 2 * kPanelScale) < 1e-4);
    }

    void accessibleAsOnePicture()
    {
        Stage rig;
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(rig.view);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::Graphic);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Pindle"));
        QCOMPARE(accessible->childCount(), 0);
    }
};

PINDLE_TEST(CharacterViewTest)

#include "CharacterViewTest.moc"
