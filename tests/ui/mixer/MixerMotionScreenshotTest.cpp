#include "MixerRig.h"
#include "common/Screenshots.h"
#include "common/TestMain.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QVBoxLayout>

using namespace mixer_test;

// Pictures of the mixer's scan motions caught midway: the strips coming down as the band opens,
// the scan line fading in, the verdict badges growing in. Runs only when PINDLE_SCREENSHOTS
// names a folder to write them to.
class MixerMotionScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
    }

    void cleanup() { screenshots::setDark(false); }

    void scanMotions_data() { screenshots::addAppearances(); }
    void scanMotions()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark.png") : QStringLiteral(".png");
        MixerRig bench(5, false);
        bench.view.reset();
        QWidget host;
        setPaletteColour(&host, QPalette::Window, Theme::background.current());
        host.setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(&host);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* view = new MixerView(bench.model, nullptr, &bench.frames);
        layout->addWidget(view);
        layout->addStretch(1);
        host.resize(520, 420);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        QTest::mouseClick(view->headerButton(), Qt::LeftButton);
        bench.rig.clock.advance(FrameClock::kInterval * 6);
        QVERIFY(screenshots::save(&host, m_folder, QStringLiteral("motion-mixer-strips-coming-down") + suffix));
        bench.rig.clock.advance(std::chrono::seconds(2));

        bench.engine().scanChannels();
        bench.rig.clock.advance(FrameClock::kInterval * 5);
        QVERIFY(screenshots::save(&host, m_folder, QStringLiteral("motion-mixer-scan-line-fading-in") + suffix));
        for (int played = 0; played < 40000 && bench.engine().scanning(); played += 100)
            bench.rig.rig.play(std::chrono::milliseconds(100));
        bench.rig.clock.advance(FrameClock::kInterval * 6);
        QVERIFY(screenshots::save(&host, m_folder, QStringLiteral("motion-mixer-badges-growing") + suffix));
        bench.rig.clock.advance(std::chrono::seconds(2));
        QVERIFY(screenshots::save(&host, m_folder, QStringLiteral("motion-mixer-at-rest") + suffix));
    }

private:
    QString m_folder;
};

PINDLE_TEST(MixerMotionScreenshotTest)
#include "MixerMotionScreenshotTest.moc"
