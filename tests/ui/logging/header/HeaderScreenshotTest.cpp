#include "common/Screenshots.h"
#include "common/StandinProcess.h"
#include "common/TestMain.h"
#include "screens/ScreenRig.h"

#include "screens/TimecodePanelModel.h"
#include "ui/logging/header/HeaderPillButton.h"
#include "ui/logging/header/HeaderView.h"
#include "ui/logging/header/TimecodePanel.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/Theme.h"
#include "ui/theme/WidgetPalette.h"

#include <QLayout>
#include <QMenu>
#include <QVBoxLayout>

// Pictures of the header for a person to look at: a running shoot on a six-channel input, saved
// once, then failing to sync, with a notice; full and compact widths, light and dark, and the
// three menus. Runs only when PINDLE_SCREENSHOTS names a folder to write them to.
class HeaderScreenshotTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_folder = screenshots::prepare();
        if (m_folder.isEmpty())
            QSKIP("PINDLE_SCREENSHOTS is not set");
        QStandardPaths::setTestModeEnabled(true);
        if (!m_standin) {
            m_standin = std::make_unique<StandinProcess>();
            QVERIFY2(m_standin->isReady(), qPrintable(m_standin->failure()));
            m_cookie = m_standin->signIn(QStringLiteral("ada@example.com"));
        }
    }

    void cleanup() { screenshots::setDark(false); }

    void header_data()
    {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void header()
    {
        QFETCH(bool, dark);
        screenshots::setDark(dark);
        const QString suffix = dark ? QStringLiteral("-dark") : QString();

        screen_test::RigParts parts(m_standin->baseUrl(), m_cookie, 3000);
        LoggingScreenEnvironment env = parts.environment(false);
        AudioInputDevice mixer;
        mixer.uid = QStringLiteral("mixpre");
        mixer.id = AudioDevices::idForUid(mixer.uid);
        mixer.name = QStringLiteral("MixPre-6 II");
        mixer.channelCount = 6;
        mixer.channelNames = QStringList(6, QString());
        mixer.isDefault = true;
        parts.devices.setSimulatedDevices(QList<AudioInputDevice>{mixer});
        LoggingScreenModel screen(std::move(env));
        screen.appear();
        screen.sessions().waitForLoad();
        for (int day = 1; day <= 3; ++day) {
            LogSession older{QUuid::createUuid(), parts.clock.now().addingSeconds(-86400.0 * day), {}, {}, {}};
            older.entries = QList<LogEntry>(day * 4);
            screen.sessions().upsert(older);
        }
        screen.transcriber().setOn(4, false);

        FrameClock frames(&parts.clock);
        QWidget host;
        setPaletteColour(&host, QPalette::Window, Theme::background.current());
        host.setAutoFillBackground(true);
        auto* block = new QVBoxLayout(&host);
        block->setContentsMargins(16, 16, 16, 16);
        auto* view = new HeaderView(screen, nullptr, &frames);
        block->addWidget(view);
        TimecodePanelModel timecode(screen);
        view->timecodeSlot()->layout()->addWidget(new TimecodePanel(timecode, nullptr, &frames));
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));

        view->model().toggleLogging();
        QVERIFY(QTest::qWaitFor([&] { return screen.transcriber().running(); }, screen_test::kWaitMs));
        bool synced = false;
        parts.cloud.flush([&] { synced = true; });
        QVERIFY(QTest::qWaitFor([&] { return synced; }, screen_test::kWaitMs));
        m_standin->control(
            QStringLiteral("fault"),
            {{"path", "/api/logger/shoots/" + *screen.log().shootToken() + "/sync"}, {"kind", "status"}});
        synced = false;
        parts.cloud.flush([&] { synced = true; });
        QVERIFY(QTest::qWaitFor([&] { return synced; }, screen_test::kWaitMs));
        screen.transcriber().setNotice(QStringLiteral("Channel 5 went quiet, so it was switched off. Turn it back on "
                                                      "in the mixer if you need it."));

        // The minimum window's width too, where the clock's line wraps; then with a phone scan
        // that failed with a long message.
        const auto save = [&](int width, const QString& name) {
            screen.setCompactHeader(width < 1240);
            parts.clock.advance(std::chrono::milliseconds(500));
            QCoreApplication::processEvents();
            host.resize(width, host.hasHeightForWidth() ? host.heightForWidth(width) : host.sizeHint().height());
            QCoreApplication::processEvents();
            return screenshots::save(&host, m_folder, name.arg(width).arg(suffix));
        };
        for (const int width : {1300, 1000, 420})
            QVERIFY(save(width, QStringLiteral("header-%1%2.png")));
        parts.camera.setScan(CameraTimecode::Failed{QStringLiteral(
            "The phone could not read a timecode on the camera's screen. Hold it closer and try again.")});
        for (const int width : {1000, 420})
            QVERIFY(save(width, QStringLiteral("header-%1-scan-failed%2.png")));
        parts.camera.setScan(CameraTimecode::Idle{});

        for (const auto& [name, pill] : {std::pair{QStringLiteral("sessions"), view->sessionsButton()},
                                         std::pair{QStringLiteral("input"), view->inputButton()},
                                         std::pair{QStringLiteral("layout"), view->pill(ToolbarPill::Kind::Layout)}}) {
            QTest::mouseClick(pill, Qt::LeftButton);
            QVERIFY(QTest::qWaitForWindowExposed(pill->menu()));
            QVERIFY(
                screenshots::save(pill->menu(), m_folder, QStringLiteral("header-menu-%1%2.png").arg(name, suffix)));
            pill->menu()->hide();
        }

        // The open Sessions menu after a save brought a newer log: the pointed-at row stays lit.
        QMenu* sessions = view->sessionsMenu();
        QTest::mouseClick(view->sessionsButton(), Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(sessions));
        sessions->setActiveAction(sessions->actions().constLast());
        const qsizetype rows = sessions->actions().size();
        LogSession newer{QUuid::createUuid(), parts.clock.now(), QList<LogEntry>(2), {}, {}};
        screen.sessions().upsert(newer);
        QTRY_COMPARE(sessions->actions().size(), rows + 1);
        QVERIFY(screenshots::save(sessions, m_folder, QStringLiteral("header-menu-sessions-open%1.png").arg(suffix)));
        sessions->hide();
        screen.transcriber().stop();
    }

private:
    QString m_folder;
    std::unique_ptr<StandinProcess> m_standin;
    QString m_cookie;
};

PINDLE_TEST(HeaderScreenshotTest)

#include "HeaderScreenshotTest.moc"
