#include "MixerRig.h"
#include "common/TestMain.h"
#include "common/WidgetReach.h"
#include "ui/theme/Transition.h"

#include "ui/mixer/AgentPinBand.h"
#include "ui/mixer/MixerMeters.h"

#include "platform/ManualClock.h"
#include "ui/theme/Theme.h"

#include <QAccessible>
#include <QImage>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>

using namespace mixer_test;
using namespace Qt::Literals::StringLiterals;

namespace {

// The meters of the layout on screen, in channel order.
QList<MiniMeter*> meters(const MixerRig& bench)
{
    QList<MiniMeter*> out;
    for (int i = 0; i < bench.model.channelCount(); ++i)
        out.append(bench.view->shownLayout() == MixerModel::Layout::Collapsed
                       ? bench.view->collapsedChannels().at(std::size_t(i))->meter()
                       : bench.part(i, [](auto* control) { return control->meter(); }));
    return out;
}

// The widget drawn alone on a clear image: what it does not paint stays clear.
QImage paintedAlone(QWidget* widget)
{
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

bool near(const QColor& a, const QColor& b, int by = 3)
{
    return std::abs(a.red() - b.red()) <= by && std::abs(a.green() - b.green()) <= by &&
           std::abs(a.blue() - b.blue()) <= by && std::abs(a.alpha() - b.alpha()) <= by;
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
            // Strips leave with a fade; once it is over they are gone.
            bench.rig.clock.advance(2s);
            QVERIFY(!last()->isVisible() && !view.pinBand()->isVisible());
            QCOMPARE(header->accessibleName(), u"Expand channels"_s);
            QCOMPARE(bench.rig.rig.defaults->boolValue(MixerModel::kOpenKey), std::optional<bool>(false));
            QTest::mouseClick(header, Qt::LeftButton);
        }
    }

    // A band given less than its whole height keeps its header and scrolls its strips or rows
    // up and down, so every control can still be brought into view whole; given its whole height
    // it does not scroll.
    void shortBandScrolls_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("agentOn");
        QTest::newRow("strips with the pin") << 6 << true;
        QTest::newRow("strips, no pin") << 8 << false;
        QTest::newRow("a wide row of strips") << 8 << true;
        QTest::newRow("rows") << 12 << true;
    }
    void shortBandScrolls()
    {
        QFETCH(int, channels);
        QFETCH(bool, agentOn);
        MixerRig bench(channels);
        bench.rig.agent->setEnabled(agentOn);
        MixerView& view = *bench.view;
        const int whole = view.sizeHint().height();
        const int least = view.minimumSizeHint().height();
        QVERIFY2(least < whole, qPrintable(QStringLiteral("least %1, whole %2").arg(least).arg(whole)));
        const int width = QTest::currentDataTag() == QByteArray("a wide row of strips") ? 300 : 680;
        for (const int height : {least, (least + whole) / 2, whole}) {
            view.resize(width, height);
            QCoreApplication::processEvents();
            QVERIFY(widget_reach::whyNotWhole(view.headerButton(), &view).isEmpty());
            int scrolling = 0;
            for (int i = 0; i < channels; ++i) {
                auto* control = bench.part(i, [](ChannelControl* c) { return c; });
                for (QWidget* part :
                     {static_cast<QWidget*>(control->nameButton()), static_cast<QWidget*>(control->meter()),
                      static_cast<QWidget*>(control->fader()), static_cast<QWidget*>(control->muteButton()),
                      static_cast<QWidget*>(control->watchButton()), static_cast<QWidget*>(control->listenButton()),
                      static_cast<QWidget*>(control->agentButton())}) {
                    const QString why = widget_reach::whyNotWhole(part, &view);
                    QVERIFY2(why.isEmpty(), qPrintable(QStringLiteral("height %1: %2").arg(height).arg(why)));
                }
            }
            for (const QScrollArea* area : view.findChildren<QScrollArea*>())
                if (area->isVisible())
                    scrolling += area->verticalScrollBar()->maximum();
            QCOMPARE(scrolling > 0, height < whole);
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

    // The header reads its action as its name and, as its description, the caption and count it
    // draws, in every layout and after the count changes. (That tools hear of a change needs the
    // accessibility bus: the bus test listens for it.)
    void headerReadsCount_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("muted");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::newRow("strips, all live") << 4 << true << -1 << "Collapse channels"
                                          << "CHANNELS, 4 of 4 live";
        QTest::newRow("strips, one muted") << 4 << true << 3 << "Collapse channels"
                                           << "CHANNELS, 3 of 4 live";
        QTest::newRow("collapsed, one muted") << 4 << false << 0 << "Expand channels"
                                              << "CHANNELS, 3 of 4 live";
        QTest::newRow("rows, one muted") << 12 << true << 11 << "Collapse channels"
                                         << "CHANNELS, 11 of 12 live";
    }
    void headerReadsCount()
    {
        QFETCH(int, channels);
        QFETCH(bool, open);
        QFETCH(int, muted);
        QFETCH(QString, name);
        QFETCH(QString, description);
        MixerRig bench(channels, open);
        MixerHeaderButton* header = bench.view->headerButton();
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(header);
        if (muted >= 0)
            bench.engine().setOn(muted, false);
        QCOMPARE(read->text(QAccessible::Name), name);
        QCOMPARE(read->text(QAccessible::Description), description);
        // The painted count is the one read.
        QVERIFY(description.endsWith(header->countText()));
        // Toggled, the name says the other action; the count read stays.
        QTest::mouseClick(header, Qt::LeftButton);
        QCOMPARE(read->text(QAccessible::Name), open ? u"Expand channels"_s : u"Collapse channels"_s);
        QCOMPARE(read->text(QAccessible::Description), description);
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
            const QList<MiniMeter*> shown = meters(bench);
            for (int i = 0; i < channels; ++i)
                QCOMPARE(shown.at(i)->level(), i >= captured || (collapsed && i == 1) ? 0.0f : levels.at(i));
            // The other layout shows the same list.
            QTest::mouseClick(bench.view->headerButton(), Qt::LeftButton);
        }
    }

    // The pin is fully opaque while the agent waits for an answer and while a scan runs; while
    // the agent only hops it is drawn at 0.7.
    void pinOpacity_data()
    {
        QTest::addColumn<QByteArray>("doing");
        QTest::addColumn<double>("opacity");
        QTest::newRow("hopping") << QByteArray("hop") << 0.7;
        QTest::newRow("asking") << QByteArray("ask") << 1.0;
        QTest::newRow("scanning") << QByteArray("scan") << 1.0;
    }
    void pinOpacity()
    {
        QFETCH(QByteArray, doing);
        QFETCH(double, opacity);
        MixerRig bench(4);
        ChannelAgent& agent = *bench.rig.agent;
        agent.setEnabled(true);
        bench.rig.run();
        agent.start();
        agent.hop();
        QCoreApplication::processEvents();
        if (doing == "ask") {
            bench.rig.say(0, u"1"_s, u"rope rope "_s + agent_test::words(10), 5.0);
            agent.askTick();
            // The service is a closed port: look before its refusal comes back.
            QVERIFY(agent.asking());
        } else if (doing == "scan") {
            bench.engine().scanChannels();
            for (int i = 0; i < 20 && !bench.engine().scanFocus(); ++i)
                bench.rig.rig.play(100ms);
            QVERIFY(bench.engine().scanning() && bench.engine().scanFocus());
        } else {
            QVERIFY(!agent.asking());
        }
        AgentPinBand* band = bench.view->pinBand();
        QVERIFY(band->isVisible());
        const std::optional<double> x = band->pinX();
        QVERIFY(x.has_value());
        const QImage pin = paintedAlone(band);
        const QColor middle = pin.pixelColor(int(*x + MixerModel::kPinSize / 2), int(MixerModel::kPinSize / 2));
        QVERIFY2(std::abs(middle.alpha() - std::lround(255 * opacity)) <= 2,
                 qPrintable(QString::number(middle.alpha())));
        QVERIFY(near(QColor(middle.red(), middle.green(), middle.blue()), Theme::coral));
    }

    // A compact row's bar is green up to 0.6, amber above it up to 0.8 and coral above that:
    // strictly above each threshold, as drawn.
    void barColours_data()
    {
        QTest::addColumn<float>("level");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("0.3") << 0.3f << QColor(Theme::green);
        QTest::newRow("exactly 0.6") << 0.6f << QColor(Theme::green);
        QTest::newRow("just above 0.6") << std::nextafter(0.6f, 1.0f) << QColor(Theme::amber);
        QTest::newRow("0.7") << 0.7f << QColor(Theme::amber);
        QTest::newRow("exactly 0.8") << 0.8f << QColor(Theme::amber);
        QTest::newRow("just above 0.8") << std::nextafter(0.8f, 1.0f) << QColor(Theme::coral);
        QTest::newRow("full") << 1.0f << QColor(Theme::coral);
    }
    void barColours()
    {
        QFETCH(float, level);
        QFETCH(QColor, colour);
        QCOMPARE(MiniMeter::barColour(level), colour);
        MiniMeter bar(MiniMeter::Kind::Bar, nullptr);
        bar.resize(60, 5);
        bar.setLevel(level);
        const QImage drawn = paintedAlone(&bar);
        QVERIFY2(near(drawn.pixelColor(6, 2), colour), qPrintable(drawn.pixelColor(6, 2).name()));
    }

    // Every meter glides linearly to a new level over 0.08 s of the frame clock (16 ms a
    // frame), then stops.
    void meterGlide_data()
    {
        QTest::addColumn<MiniMeter::Kind>("kind");
        QTest::addColumn<float>("from");
        QTest::addColumn<float>("to");
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<float>("shown");
        const std::pair<MiniMeter::Kind, const char*> kinds[] = {
            {MiniMeter::Kind::Vertical, "strip"}, {MiniMeter::Kind::Mini, "collapsed"}, {MiniMeter::Kind::Bar, "row"}};
        for (const auto& [kind, name] : kinds) {
            QTest::addRow("%s, up, 48 ms", name) << kind << 0.0f << 1.0f << 48 << 0.6f;
            QTest::addRow("%s, up, 64 ms", name) << kind << 0.0f << 1.0f << 64 << 0.8f;
            QTest::addRow("%s, down, 32 ms", name) << kind << 1.0f << 0.5f << 32 << 0.8f;
            QTest::addRow("%s, there after 96 ms", name) << kind << 0.0f << 1.0f << 96 << 1.0f;
        }
    }
    void meterGlide()
    {
        QFETCH(MiniMeter::Kind, kind);
        QFETCH(float, from);
        QFETCH(float, to);
        QFETCH(int, afterMs);
        QFETCH(float, shown);
        ManualClock clock;
        FrameClock frames(&clock);
        MeterMotion motion(frames);
        MiniMeter meter(kind, &motion);
        meter.setTrackLength(104);
        meter.resize(meter.sizeHint());
        meter.setVisible(true);
        meter.setLevel(from);
        clock.advance(1s);
        QCOMPARE(meter.shownLevel(), from);
        meter.setLevel(to);
        clock.advance(std::chrono::milliseconds(afterMs));
        QVERIFY2(std::abs(meter.shownLevel() - shown) < 1e-4, qPrintable(QString::number(meter.shownLevel())));
        QCOMPARE(motion.isMoving(), shown != to);
    }
};

PINDLE_TEST(MixerViewTest)

#include "MixerViewTest.moc"
