#include "MixerRig.h"
#include "common/TestMain.h"
#include "platform/MotionPreference.h"
#include "ui/theme/Transition.h"

using namespace mixer_test;

namespace {

// Plays the engine until the running scan is over.
bool finishScan(MixerRig& bench)
{
    for (int played = 0; played < 4 * bench.rig.rig.env.scanDurationMs && bench.engine().scanning(); played += 100)
        bench.rig.rig.play(100ms);
    return !bench.engine().scanning();
}

} // namespace

// The mixer's scan motions, on the frame clock of the rig (the agent's clock; the engine plays on
// its own): the scan line fading, the strips coming down as the
// band opens, and the verdict badges growing in and shrinking away.
class MixerMotionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The scan line fades in with the scan and out after it, with an effect only while it moves.
    void scanLineFades()
    {
        MixerRig bench(4);
        QVERIFY(QTest::qWaitForWindowExposed(bench.view.get()));
        Transition* fade = bench.view->scanLineFade();
        bench.engine().scanChannels();
        QVERIFY(bench.view->scanLine()->isVisible());
        QVERIFY(fade->isMoving() && fade->progress() == 0.0);
        QVERIFY(bench.view->scanLine()->graphicsEffect());
        bench.rig.clock.advance(FrameClock::kInterval * 4);
        QVERIFY(fade->opacity() > 0 && fade->opacity() < 1);
        bench.rig.clock.advance(1s);
        QVERIFY(bench.engine().scanning());
        QCOMPARE(fade->progress(), 1.0);
        QVERIFY(!bench.view->scanLine()->graphicsEffect());
        QVERIFY(finishScan(bench));
        QVERIFY(fade->isMoving() && bench.view->scanLine()->isVisible());
        bench.rig.clock.advance(2s);
        QVERIFY(!fade->isMoving());
        QVERIFY(!bench.view->scanLine()->isVisible());
    }

    // Opening the band brings the strips down from the top edge of their place as they fade in.
    void stripsComeDownAsTheBandOpens()
    {
        MixerRig bench(4, false);
        QVERIFY(QTest::qWaitForWindowExposed(bench.view.get()));
        QTest::mouseClick(bench.view->headerButton(), Qt::LeftButton);
        Transition* entering = bench.view->stripsEntering();
        QVERIFY(entering->isMoving());
        bench.rig.clock.advance(FrameClock::kInterval * 4);
        ChannelStrip* strip = bench.view->strips().front();
        QVERIFY(strip->drawnOpacity() > 0 && strip->drawnOpacity() < strip->opacity());
        QVERIFY(strip->parentWidget()->y() < 0);
        bench.rig.clock.advance(2s);
        QVERIFY(!entering->isMoving());
        QCOMPARE(strip->drawnOpacity(), strip->opacity());
        QCOMPARE(strip->parentWidget()->y(), 0);
    }

    // Closing the band takes the strips up to the top edge as they fade, then their page goes.
    void stripsGoUpAsTheBandCloses()
    {
        MixerRig bench(4, false);
        QVERIFY(QTest::qWaitForWindowExposed(bench.view.get()));
        QTest::mouseClick(bench.view->headerButton(), Qt::LeftButton);
        bench.rig.clock.advance(2s);
        Transition* strips = bench.view->stripsEntering();
        QVERIFY(!strips->isMoving() && bench.view->stripsPage()->isVisible());
        QTest::mouseClick(bench.view->headerButton(), Qt::LeftButton);
        QVERIFY(strips->isMoving() && !strips->isShown());
        QVERIFY(bench.view->stripsPage()->isVisible());
        bench.rig.clock.advance(FrameClock::kInterval * 4);
        ChannelStrip* strip = bench.view->strips().front();
        QVERIFY(strip->drawnOpacity() > 0 && strip->drawnOpacity() < strip->opacity());
        QVERIFY(strip->parentWidget()->y() < 0);
        bench.rig.clock.advance(2s);
        QVERIFY(!strips->isMoving());
        QVERIFY(!bench.view->stripsPage()->isVisible());
        // Opened again, they come down afresh.
        QTest::mouseClick(bench.view->headerButton(), Qt::LeftButton);
        QVERIFY(strips->isMoving() && bench.view->stripsPage()->isVisible());
        bench.rig.clock.advance(2s);
        QCOMPARE(strip->drawnOpacity(), strip->opacity());
        QCOMPARE(strip->parentWidget()->y(), 0);
    }

    // A verdict grows in from nearly nothing; a new scan clears it and it shrinks away.
    void verdictBadgesGrowAndShrink()
    {
        MixerRig bench(3);
        QVERIFY(QTest::qWaitForWindowExposed(bench.view.get()));
        ChannelStrip* strip = bench.view->strips().front();
        QCOMPARE(strip->badgeProgress(), 0.0);
        bench.engine().scanChannels();
        QVERIFY(finishScan(bench));
        QVERIFY(!strip->badgeText().isEmpty());
        QCOMPARE(strip->badgeProgress(), 0.0);
        bench.rig.clock.advance(FrameClock::kInterval * 5);
        QVERIFY(strip->badgeProgress() > 0 && strip->badgeProgress() < 1);
        bench.rig.clock.advance(1s);
        QCOMPARE(strip->badgeProgress(), 1.0);

        bench.engine().scanChannels();
        QVERIFY(strip->badgeText().isEmpty());
        QCOMPARE(strip->badgeProgress(), 1.0);
        bench.rig.clock.advance(FrameClock::kInterval * 5);
        QVERIFY(strip->badgeProgress() > 0 && strip->badgeProgress() < 1);
        bench.rig.clock.advance(1s);
        QCOMPARE(strip->badgeProgress(), 0.0);
    }

    // With reduced motion every one of them is at its end at once.
    void reducedMotionShowsTheEndState()
    {
        MixerRig bench(3, false);
        MotionPreference reduced(true);
        FrameClock frames(&bench.rig.clock, &reduced);
        bench.view = std::make_unique<MixerView>(bench.model, nullptr, &frames);
        bench.view->resize(680, 420);
        bench.view->show();
        QVERIFY(QTest::qWaitForWindowExposed(bench.view.get()));
        QTest::mouseClick(bench.view->headerButton(), Qt::LeftButton);
        QVERIFY(!bench.view->stripsEntering()->isMoving());
        QCOMPARE(bench.view->strips().front()->drawnOpacity(), bench.view->strips().front()->opacity());
        bench.engine().scanChannels();
        QVERIFY(!bench.view->scanLineFade()->isMoving());
        QVERIFY(bench.view->scanLine()->isVisible() && !bench.view->scanLine()->graphicsEffect());
        QVERIFY(finishScan(bench));
        QCOMPARE(bench.view->strips().front()->badgeProgress(), 1.0);
        QVERIFY(!bench.view->scanLine()->isVisible());
        bench.view.reset();
    }
};

PINDLE_TEST(MixerMotionTest)
#include "MixerMotionTest.moc"
