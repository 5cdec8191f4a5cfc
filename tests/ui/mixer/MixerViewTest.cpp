#include "MixerRig.h"
#include "common/TestMain.h"
#include "ui/theme/Transition.h"

#include "ui/mixer/AgentPinBand.h"
#include "ui/mixer/MixerMeters.h"

#include <QProgressBar>

using namespace mixer_test;
using namespace Qt::Literals::StringLiterals;

namespace {

// The meters of the layout on screen, in channel order.
QList<LevelMeter*> meters(const MixerRig& bench)
{
    QList<LevelMeter*> out;
    for (int i = 0; i < bench.model.channelCount(); ++i)
        out.append(bench.view->shownLayout() == MixerModel::Layout::Collapsed
                       ? bench.view->collapsedChannels().at(std::size_t(i))->meter()
                       : bench.part(i, [](auto* control) { return control->meter(); }));
    return out;
}

} // namespace

class MixerViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The count picks strips or rows; the header collapses to the meter line and back, and the
    // user defaults hold the choice.
    void headerTogglesLayout_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("agentOn");
        QTest::addColumn<bool>("pinBand");
        QTest::newRow("eight: most strips") << 8 << true << true;
        QTest::newRow("eight, agent off: no pin") << 8 << false << false;
        QTest::newRow("nine: fewest rows") << 9 << true << false;
        QTest::newRow("thirty-two rows") << 32 << true << false;
    }
    void headerTogglesLayout()
    {
        QFETCH(int, channels);
        QFETCH(bool, agentOn);
        QFETCH(bool, pinBand);
        MixerRig bench(channels);
        bench.rig.agent->setEnabled(agentOn);
        MixerView& view = *bench.view;
        MixerHeaderButton* header = view.headerButton();
        const std::size_t count(channels);
        const auto last = [&] { return bench.part(channels - 1, [](QWidget* control) { return control; }); };
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(view.shownLayout(), bench.compact() ? MixerModel::Layout::Compact : MixerModel::Layout::Strips);
            QCOMPARE(view.strips().size(), bench.compact() ? 0u : count);
            QCOMPARE(view.rows().size(), bench.compact() ? count : 0u);
            QVERIFY(last()->isVisible());
            QCOMPARE(view.pinBand()->isVisible(), pinBand);
            QCOMPARE(header->accessibleName(), u"Collapse channels"_s);
            QCOMPARE(bench.rig.rig.defaults->boolValue(MixerModel::kOpenKey).value_or(true), true);
            QTest::mouseClick(header, Qt::LeftButton);
            QCOMPARE(view.shownLayout(), MixerModel::Layout::Collapsed);
            QCOMPARE(view.collapsedChannels().size(), count);
            QVERIFY(view.collapsedChannels().back()->isVisible());
            QVERIFY(!last()->isVisible() && !view.pinBand()->isVisible());
            QCOMPARE(header->accessibleName(), u"Expand channels"_s);
            QCOMPARE(bench.rig.rig.defaults->boolValue(MixerModel::kOpenKey), std::optional<bool>(false));
            QTest::mouseClick(header, Qt::LeftButton);
        }
    }

    // The scan line shows only while a scan runs with the band open. Over strips the pin follows
    // the scanned channel, and goes back to the agent's once the scan ends.
    void scanLineAndPin_data()
    {
        QTest::addColumn<int>("channels");
        QTest::newRow("strips") << 6;
        QTest::newRow("rows") << 10;
    }
    void scanLineAndPin()
    {
        QFETCH(int, channels);
        MixerRig bench(channels, false);
        DesktopTranscriber& engine = bench.engine();
        MixerView& view = *bench.view;
        bench.rig.agent->hop();
        QVERIFY(bench.rig.agent->focus().has_value());
        engine.scanChannels();
        QVERIFY(engine.scanning());
        QVERIFY(!view.scanLine()->isVisible());
        QTest::mouseClick(view.headerButton(), Qt::LeftButton);
        QVERIFY(view.scanLine()->isVisible());
        QCOMPARE(view.pinBand()->isVisible(), !bench.compact());
        QSet<int> pinned;
        for (int played = 0; played < bench.rig.rig.env.scanDurationMs; played += 500) {
            bench.rig.rig.play(500ms);
            QCOMPARE(view.scanProgress()->value(), int(std::lround(engine.scanProgress() * 1000)));
            if (!engine.scanning())
                break;
            QVERIFY(view.scanLine()->isVisible());
            QCOMPARE(view.pinBand()->pinPosition(), engine.scanFocus());
            if (const std::optional<int> focus = engine.scanFocus(); focus && !bench.compact()) {
                QVERIFY(view.strips().at(std::size_t(*focus))->channel().scanningThis);
                pinned.insert(*focus);
            }
        }
        QVERIFY(bench.compact() || pinned.size() > 1);
        bench.rig.rig.play(1000ms);
        QVERIFY(!engine.scanning());
        // The line leaves as the scan ends, fading out.
        QVERIFY(!view.scanLineFade()->isShown());
        QCOMPARE(view.pinBand()->pinPosition(), bench.rig.agent->focus());
        // The frames run on the agent's clock.
        bench.rig.clock.advance(1s);
        QVERIFY(!view.scanLine()->isVisible());
        QVERIFY(!view.scanLine()->graphicsEffect());
    }

    // The header's count follows every way a channel stops being live, the fader's off mark
    // included.
    void liveCount_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("mutedByTile");
        QTest::addColumn<double>("fader");
        QTest::addColumn<int>("live");
        QTest::newRow("all live") << 4 << -1 << -1.0 << 4;
        QTest::newRow("mute tile") << 4 << 1 << -1.0 << 3;
        QTest::newRow("fader on the off mark") << 4 << -1 << 0.005 << 3;
        QTest::newRow("fader just above it") << 4 << -1 << 0.0051 << 4;
        QTest::newRow("muted with fader down counts once") << 4 << 2 << 0.0 << 3;
        QTest::newRow("rows: one muted, one faded") << 12 << 0 << 0.005 << 10;
    }
    void liveCount()
    {
        QFETCH(int, channels);
        QFETCH(int, mutedByTile);
        QFETCH(double, fader);
        QFETCH(int, live);
        MixerRig bench(channels);
        if (mutedByTile >= 0)
            QTest::mouseClick(bench.tile(mutedByTile, "mute"), Qt::LeftButton);
        if (fader >= 0)
            bench.engine().setFader(2, fader);
        const QString count = u"%1 of %2 live"_s.arg(live).arg(channels);
        QCOMPARE(bench.view->headerButton()->countText(), count);
        QCOMPARE(bench.view->headerButton()->text(), u"CHANNELS "_s + count);
    }

    // Channel 1 is muted. The strips and rows meter every input, muted or not; the collapsed
    // line reads 0 for a muted channel. A capture giving fewer or more channels than the device
    // lists leaves the missing ones at 0 and ignores the extra levels, in every layout.
    void meterLevels_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("captured");
        QTest::addColumn<bool>("open");
        QTest::newRow("strips") << 4 << 4 << true;
        QTest::newRow("collapsed") << 4 << 4 << false;
        QTest::newRow("strips, fewer captured") << 6 << 3 << true;
        QTest::newRow("strips, more captured") << 4 << 12 << true;
        QTest::newRow("rows, fewer captured") << 10 << 4 << true;
        QTest::newRow("rows, more captured") << 9 << 16 << true;
    }
    void meterLevels()
    {
        QFETCH(int, channels);
        QFETCH(int, captured);
        QFETCH(bool, open);
        MixerRig bench(channels);
        QTest::mouseClick(bench.tile(1, "mute"), Qt::LeftButton);
        if (!open)
            QTest::mouseClick(bench.view->headerButton(), Qt::LeftButton);
        bench.rig.rig.captureChannels = captured;
        bench.rig.run();
        for (int round = 0; round < 2; ++round) {
            bench.rig.rig.play(300ms);
            QCoreApplication::processEvents();
            const QList<float>& levels = bench.engine().levels();
            QCOMPARE(levels.size(), captured);
            QVERIFY(levels.at(1) > 0.0f);
            const bool collapsed = bench.view->shownLayout() == MixerModel::Layout::Collapsed;
            const QList<LevelMeter*> shown = meters(bench);
            for (int i = 0; i < channels; ++i)
                QCOMPARE(shown.at(i)->level(), i >= captured || (collapsed && i == 1) ? 0.0f : levels.at(i));
            // The other layout shows the same list.
            QTest::mouseClick(bench.view->headerButton(), Qt::LeftButton);
        }
    }
};

PINDLE_TEST(MixerViewTest)

#include "MixerViewTest.moc"
