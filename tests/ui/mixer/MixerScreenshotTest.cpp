#include "agent/AgentTestSupport.h"
#include "common/Screenshots.h"
#include "common/TestMain.h"

#include "screens/MixerModel.h"
#include "ui/mixer/MixerView.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QVBoxLayout>

// Pictures of the mixer band for a person to look at: six strips with verdicts, a muted and a
// watched channel, the headphones on one and the agent's pin; sixteen channels as rows; the
// collapsed line. Runs only when PINDLE_SCREENSHOTS names a folder to write them to.
class MixerScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }
    void cleanup() { screenshots::setDark(false); }

    void mixer_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("dark");
        for (const bool dark : {false, true}) {
            const char* tone = dark ? "dark" : "light";
            QTest::addRow("strips-%s", tone) << 6 << true << 520 << dark;
            QTest::addRow("rows-%s", tone) << 16 << true << 560 << dark;
            QTest::addRow("rows-narrow-%s", tone) << 12 << true << 380 << dark;
            QTest::addRow("collapsed-%s", tone) << 8 << false << 520 << dark;
        }
    }
    void mixer()
    {
        QFETCH(int, channels);
        QFETCH(bool, open);
        QFETCH(int, width);
        QFETCH(bool, dark);
        screenshots::setDark(dark);

        agent_test::AgentRig rig(channels);
        DesktopTranscriber& engine = rig.transcriber();
        MixerModel model(engine, rig.agent.get(), *rig.rig.defaults, rig.clock);
        model.setOpen(open);
        engine.setOn(1, false);
        engine.setHidden(2, true);
        engine.setFader(3, 0.0);
        engine.setAgent(4, false);
        engine.setMonitorChannel(0);
        engine.renameChannel(0, QStringLiteral("Boom"));
        engine.renameChannel(5, QStringLiteral("Lav Interviewer long name"));
        rig.run();
        rig.rig.play(std::chrono::milliseconds(400));

        FrameClock frames(&rig.clock);
        QWidget host;
        setPaletteColour(&host, QPalette::Window, Theme::background.current());
        host.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new MixerView(model, nullptr, &frames);
        layout->addWidget(view);
        layout->addStretch(1);
        host.resize(width, 420);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        rig.clock.advance(std::chrono::milliseconds(500));
        QVERIFY(screenshots::save(&host, m_folder, QStringLiteral("mixer-%1.png").arg(QTest::currentDataTag())));
    }

private:
    QString m_folder;
};

PINDLE_TEST(MixerScreenshotTest)

#include "MixerScreenshotTest.moc"
