#include "MixerRig.h"
#include "common/TestMain.h"

#include "ui/mixer/AgentPinBand.h"
#include "ui/mixer/MixerMeters.h"

#include <QAccessible>
#include <QAccessibleValueInterface>

using namespace mixer_test;
using namespace Qt::Literals::StringLiterals;

namespace {

// A point `along` pixels from the fader's top (vertical) or left (horizontal) edge, or from the
// far edge, across its middle.
QPoint pointOn(const MixerFader* fader, int along, bool fromFar = false)
{
    if (fader->orientation() == Qt::Vertical)
        return {fader->width() / 2, fromFar ? fader->height() - along : along};
    return {fromFar ? fader->width() - along : along, fader->height() / 2};
}

} // namespace

class MixerFaderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // What the engine holds after one gesture on channel 2's fader. The knob's centre goes where
    // the pointer is, within the strip's travel of 104 less the 14 knob; beyond either end, and
    // for keys stepping past one, the value is exactly 0 or 1. A double-click (press, release,
    // double-click, release, as a widget gets it) is 0 dB wherever it lands.
    void gestureLands_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("start");
        QTest::addColumn<QByteArray>("gesture");
        QTest::addColumn<int>("amount");
        QTest::addColumn<double>("expected");
        QTest::newRow("knob centre at the top") << 4 << 0.3 << "press"_ba << 7 << 1.0;
        QTest::newRow("above the top") << 4 << 0.3 << "press"_ba << -30 << 1.0;
        QTest::newRow("half way") << 4 << 0.3 << "press"_ba << 52 << 0.5;
        QTest::newRow("knob centre at the bottom") << 4 << 0.3 << "press"_ba << 97 << 0.0;
        QTest::newRow("a pixel above it") << 4 << 0.3 << "press"_ba << 96 << 1.0 / 90;
        QTest::newRow("below the bottom") << 4 << 0.3 << "press"_ba << 150 << 0.0;
        QTest::newRow("right button") << 4 << 0.3 << "right"_ba << 97 << 0.3;
        QTest::newRow("row: left of the track") << 10 << 0.3 << "press"_ba << -20 << 0.0;
        QTest::newRow("row: right end") << 10 << 0.3 << "far"_ba << 5 << 1.0;
        QTest::newRow("double-click near the bottom") << 4 << 0.1 << "double"_ba << 90 << 40.0 / 46.0;
        QTest::newRow("row: double-click") << 10 << 1.0 << "double"_ba << 8 << 40.0 / 46.0;
        QTest::newRow("ten up from half way") << 4 << 0.5 << "up"_ba << 10 << 1.0;
        QTest::newRow("down past the bottom") << 4 << 0.02 << "down"_ba << 1 << 0.0;
        QTest::newRow("from 0 dB past the top") << 4 << 40.0 / 46.0 << "up"_ba << 3 << 1.0;
        QTest::newRow("sideways on a strip") << 4 << 0.5 << "rightKey"_ba << 2 << 0.5;
        QTest::newRow("row: right key to the end") << 10 << 0.5 << "rightKey"_ba << 10 << 1.0;
        QTest::newRow("row: up does nothing") << 10 << 0.5 << "up"_ba << 2 << 0.5;
    }
    void gestureLands()
    {
        QFETCH(int, channels);
        QFETCH(double, start);
        QFETCH(QByteArray, gesture);
        QFETCH(int, amount);
        QFETCH(double, expected);
        MixerRig bench(channels);
        bench.engine().setFader(2, start);
        MixerFader* fader = bench.fader(2);
        if (!bench.compact())
            QCOMPARE(fader->travel(), 90.0);
        const QPoint at = pointOn(fader, amount, gesture == "far");
        if (gesture == "press" || gesture == "far" || gesture == "right") {
            const Qt::MouseButton button = gesture == "right" ? Qt::RightButton : Qt::LeftButton;
            QTest::mousePress(fader, button, {}, at);
            QTest::mouseRelease(fader, button, {}, at);
        } else if (gesture == "double") {
            QTest::mouseClick(fader, Qt::LeftButton, {}, at);
            QTest::mouseDClick(fader, Qt::LeftButton, {}, at);
            QTest::mouseRelease(fader, Qt::LeftButton, {}, at);
        } else {
            const Qt::Key key = gesture == "up" ? Qt::Key_Up : gesture == "down" ? Qt::Key_Down : Qt::Key_Right;
            for (int i = 0; i < amount; ++i)
                QTest::keyClick(fader, key);
        }
        const double landed = bench.config(2).fader;
        const bool end = expected == 0.0 || expected == 1.0;
        QVERIFY2(end ? landed == expected : qFuzzyCompare(landed, expected), qPrintable(QString::number(landed, 'g', 17)));
        QCOMPARE(fader->value(), landed);
        QCOMPARE(fader->valueText(), bench.config(2).gainLabel());
        QCOMPARE(bench.config(1).fader, ChannelConfig::kUnityFader);
    }

    // A fast drag writes the engine (and the stored settings) at most once per interval of the
    // manual clock; the value under the pointer at release lands at once, nothing stale after.
    void fastDragIsPaced()
    {
        MixerRig bench(4);
        MixerFader* fader = bench.fader(1);
        QSignalSpy writes(&bench.engine(), &DesktopTranscriber::channelsChanged);
        const auto step = 5ms;
        QTest::mousePress(fader, Qt::LeftButton, {}, pointOn(fader, 97));
        QCOMPARE(writes.size(), 1);
        QCOMPARE(bench.config(1).fader, 0.0);
        double lastMoved = 0.0;
        for (int i = 1; i <= 24; ++i) {
            bench.rig.clock.advance(step);
            // The interval's end writes the newest value of the moves before it.
            if ((i * step) % MixerModel::kFaderInterval == 0ms)
                QCOMPARE(bench.config(1).fader, lastMoved);
            const QPoint at = pointOn(fader, 97 - 3 * i);
            QTest::mouseMove(fader, at);
            lastMoved = fader->valueAt(at);
            QCOMPARE(writes.size(), 1 + (i * step) / MixerModel::kFaderInterval);
        }
        QVERIFY(bench.config(1).fader != lastMoved);
        QTest::mouseRelease(fader, Qt::LeftButton, {}, pointOn(fader, 0));
        QCOMPARE(writes.size(), 4);
        QCOMPARE(bench.config(1).fader, 1.0);
        bench.rig.clock.advance(200ms);
        QCOMPARE(writes.size(), 4);
        QCOMPARE(fader->value(), 1.0);
    }

    // The dragged value is stored per device: an engine made later on the same settings file
    // reads it back, one on another device does not.
    void faderPersistsPerDevice()
    {
        MixerRig bench(4);
        MixerFader* fader = bench.fader(2);
        QTest::mousePress(fader, Qt::LeftButton, {}, pointOn(fader, 52));
        QTest::mouseRelease(fader, Qt::LeftButton, {}, pointOn(fader, 52));
        QVERIFY(bench.rig.rig.defaults->flush());
        Defaults reread(bench.rig.rig.defaults->filePath());
        TranscriberEnvironment env = bench.rig.rig.env;
        env.defaults = &reread;
        DesktopTranscriber again(env);
        QCOMPARE(again.channels().at(2).fader, 0.5);
        AudioDevices elsewhere;
        elsewhere.setSimulatedDevices({{transcriber_test::device(u"e"_s, u"Other"_s, 4, true)}});
        env.devices = &elsewhere;
        DesktopTranscriber other(env);
        QCOMPARE(other.channels().at(2).fader, ChannelConfig::kUnityFader);
    }

    // Assistive tools see one slider whose value is the gain reading; increase and decrease
    // move the engine's fader a step, a value set directly is refused. Meters and the pin band
    // are no controls: they never take focus.
    void accessibleSlider_data()
    {
        QTest::addColumn<int>("channels");
        QTest::newRow("strip") << 4;
        QTest::newRow("row") << 10;
    }
    void accessibleSlider()
    {
        QFETCH(int, channels);
        MixerRig bench(channels);
        bench.engine().setFader(3, 0.5);
        QAccessibleInterface* slider = QAccessible::queryAccessibleInterface(bench.fader(3));
        QVERIFY(slider);
        QCOMPARE(slider->role(), QAccessible::Slider);
        QCOMPARE(slider->childCount(), 0);
        QCOMPARE(slider->text(QAccessible::Name), bench.config(3).name + u" level into transcription"_s);
        QCOMPARE(slider->text(QAccessible::Value), bench.config(3).gainLabel());
        QAccessibleValueInterface* value = slider->valueInterface();
        QAccessibleActionInterface* actions = slider->actionInterface();
        QVERIFY(value && actions);
        QCOMPARE(value->currentValue().toDouble(), 0.5);
        actions->doAction(QAccessibleActionInterface::increaseAction());
        QCOMPARE(bench.config(3).fader, 0.55);
        QCOMPARE(slider->text(QAccessible::Value), bench.config(3).gainLabel());
        actions->doAction(QAccessibleActionInterface::decreaseAction());
        actions->doAction(QAccessibleActionInterface::decreaseAction());
        value->setCurrentValue(0.9);
        actions->doAction(u"no such action"_s);
        QCOMPARE(bench.config(3).fader, 0.45);
        for (int i = 0; i < channels; ++i)
            QCOMPARE(bench.part(i, [](auto* control) { return control->meter(); })->focusPolicy(), Qt::NoFocus);
        QCOMPARE(bench.view->pinBand()->focusPolicy(), Qt::NoFocus);
        QVERIFY(bench.view->pinBand()->testAttribute(Qt::WA_TransparentForMouseEvents));
    }
};

PINDLE_TEST(MixerFaderTest)

#include "MixerFaderTest.moc"
