#include "common/TestMain.h"
#include "screens/ScreenRig.h"

#include "screens/TimecodePanelModel.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/TextAlert.h"
#include "ui/logging/header/HeaderPillButton.h"
#include "ui/logging/header/TimecodePanel.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/LoggerSpinner.h"
#include "ui/theme/Theme.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>

namespace {

using namespace std::chrono_literals;

// The panel on a camera clock and a frame clock that both run on the test's time.
struct PanelRig {
    explicit PanelRig(const QString& format = QStringLiteral("25|0|0"))
        : defaults(dir.filePath(QStringLiteral("defaults.json"))), camera(defaults, &time),
          model(camera, [this] { ++typeRequests; }), frames(&time), panel(model, nullptr, &frames)
    {
        camera.setFormat(*CameraTimecode::Format::fromStorage(format));
        panel.show();
    }

    QTemporaryDir dir;
    ManualClock time{Date::fromSecondsSince1970(1'700'000'000.5)};
    Defaults defaults;
    CameraTimecode camera;
    TimecodePanelModel model;
    int typeRequests = 0;
    FrameClock frames;
    TimecodePanel panel;
};

QList<int> checkedRows(const QList<QAction*>& actions)
{
    QList<int> rows;
    for (int i = 0; i < actions.size(); ++i) {
        if (actions.at(i)->isChecked())
            rows << i;
    }
    return rows;
}

} // namespace

// The timecode panel through its widgets: digits that follow the camera's frames while shown,
// what follows the source, the two frame-rate pickers, the scan row, and the typed lock through
// the logging screen's alert.
class TimecodePanelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The digits are current after every frame-clock tick and change once per camera frame;
    // hidden, they stop with the frame clock and are right again as soon as they are shown.
    void digitsFollowFramesWhileShown_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("changes");
        QTest::newRow("25") << "25|0|0" << 25;
        QTest::newRow("29.97 DF") << "30|1|1" << 30;
        QTest::newRow("50") << "50|0|0" << 50;
    }
    void digitsFollowFramesWhileShown()
    {
        QFETCH(QString, format);
        QFETCH(int, changes);
        PanelRig r(format);
        QVERIFY(r.panel.isTicking());
        QString shown = r.panel.shownTimecode();
        int seen = 0;
        for (int tick = 0; tick < 64; ++tick) {
            r.time.advance(FrameClock::kInterval);
            QCOMPARE(r.panel.shownTimecode(), r.model.timecodeAt(r.time.now()));
            seen += r.panel.shownTimecode() != shown ? 1 : 0;
            shown = r.panel.shownTimecode();
        }
        // 64 ticks of 16 ms are 1.024 s: one second's frames and at most one more.
        QVERIFY2(seen >= changes && seen <= changes + 1, qPrintable(QString::number(seen)));

        r.panel.hide();
        QVERIFY(!r.panel.isTicking() && !r.frames.isTicking());
        r.time.advance(3s);
        QCOMPARE(r.panel.shownTimecode(), shown);
        r.panel.show();
        QCOMPARE(r.panel.shownTimecode(), r.model.timecodeAt(r.time.now()));
    }

    // Synced: ink digits, a green line, "Rescan", the way back offered. Back on the machine clock:
    // muted digits, amber, and the pill outlined in coral, as drawn.
    void sourceFollowsTheClock()
    {
        PanelRig r;
        const auto outlinedInCoral = [&r] {
            const QImage pill = r.panel.syncPill()->grab().toImage();
            const QColor top = pill.pixelColor(pill.width() / 2, 0);
            return top.red() > 200 && top.green() < 160 && top.blue() < 140;
        };
        QVERIFY(r.camera.lockTyped(QStringLiteral("10:00:00:00")));
        QCOMPARE(r.panel.shownTimecode(), QStringLiteral("10:00:00:00"));
        QCOMPARE(r.panel.timecodeColour(), Theme::ink.current());
        QCOMPARE(r.panel.sourceLabel()->palette().color(QPalette::WindowText), Theme::green);
        QCOMPARE(r.panel.syncPill()->title(), QStringLiteral("Rescan"));
        QVERIFY(!outlinedInCoral());
        QVERIFY(r.panel.macClockAction()->isVisible());

        // On this platform the clock is the computer's, not a Mac's.
        QCOMPARE(r.panel.macClockAction()->text(), QStringLiteral("Go back to the computer clock"));
        r.panel.macClockAction()->trigger();
        QCOMPARE(r.panel.sourceLabel()->text(), QStringLiteral("COMPUTER CLOCK · NOT SYNCED TO CAMERA"));
        QCOMPARE(r.panel.shownTimecode(), r.model.timecodeAt(r.time.now()));
        QCOMPARE(r.panel.timecodeColour(), Theme::muted.current());
        QCOMPARE(r.panel.sourceLabel()->palette().color(QPalette::WindowText), Theme::amber);
        QCOMPARE(r.panel.syncPill()->title(), QStringLiteral("Sync to camera"));
        QVERIFY(outlinedInCoral());
        QVERIFY(!r.panel.macClockAction()->isVisible());
    }

    // Either picker sets the format; both tick the clock's row and only it, also when the ticked
    // row is chosen again; a stored rate the menus leave out ticks none.
    void frameRatePickers_data()
    {
        QTest::addColumn<bool>("fromSyncMenu");
        QTest::addColumn<int>("row");
        QTest::newRow("frame-rate menu, 23.976") << false << 0;
        QTest::newRow("sync menu, 29.97 DF") << true << 3;
        QTest::newRow("sync menu, the ticked row again") << true << 2;
    }
    void frameRatePickers()
    {
        QFETCH(bool, fromSyncMenu);
        QFETCH(int, row);
        PanelRig r(QStringLiteral("48|0|0"));
        QCOMPARE(r.panel.frameRatePill()->title(), QStringLiteral("48 fps"));
        QVERIFY(checkedRows(r.panel.frameRateActions()).isEmpty());
        if (row == 2)
            r.panel.frameRateActions().at(2)->trigger();
        (fromSyncMenu ? r.panel.syncFrameRateActions() : r.panel.frameRateActions()).at(row)->trigger();
        const FrameRateRow& chosen = TimecodePanelModel::frameRateRows().at(row);
        QCOMPARE(r.camera.format(), chosen.format);
        QCOMPARE(checkedRows(r.panel.frameRateActions()), QList<int>{row});
        QCOMPARE(checkedRows(r.panel.syncFrameRateActions()), QList<int>{row});
        QCOMPARE(r.panel.frameRatePill()->title(), chosen.label);
    }

    // On the logging screen both pills follow the header's compact rule: below 1240 wide they
    // show their symbol alone, narrower, their title still their help over it; from 1240 the
    // title too.
    void pillsFollowTheCompactHeader_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("compact");
        QTest::newRow("minimum 420") << 420 << true;
        QTest::newRow("default 1180") << 1180 << true;
        QTest::newRow("1239") << 1239 << true;
        QTest::newRow("1240") << 1240 << false;
        QTest::newRow("1400") << 1400 << false;
    }
    void pillsFollowTheCompactHeader()
    {
        QFETCH(int, width);
        QFETCH(bool, compact);
        screen_test::RigParts parts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000);
        parts.camera.setFormat({25, false, false});
        LoggingView view(parts.environment(true));
        view.resize(width, 800);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QTRY_COMPARE(view.screen().compactHeader(), compact);
        auto* panel = view.findChild<TimecodePanel*>();
        QVERIFY(panel);
        const struct {
            HeaderPillButton* pill;
            QString symbol;
            QString title;
        } pills[] = {{panel->frameRatePill(), QStringLiteral("film"), QStringLiteral("25 fps")},
                     {panel->syncPill(), QStringLiteral("camera.viewfinder"), QStringLiteral("Sync to camera")}};
        for (const auto& [pill, symbol, title] : pills) {
            QCOMPARE(pill->isCompact(), compact);
            QCOMPARE(pill->title(), title);
            QCOMPARE(pill->helpAt(pill->contentRect().center().toPoint()), title);
            HeaderPillButton full;
            full.setContent(symbol, title);
            QCOMPARE(pill->sizeHint().width() < full.sizeHint().width() / 2, compact);
        }
    }

    // The sync menu's first two items scan and ask for the alert; the pill opens the menu; the
    // scan row offers "Cancel" while waiting and shows a failure as written, in coral.
    void syncMenuAndScanRow()
    {
        PanelRig r;
        QTest::mouseClick(r.panel.syncPill(), Qt::LeftButton);
        QTRY_VERIFY(r.panel.syncMenu()->isVisible());
        r.panel.syncMenu()->close();
        r.panel.syncMenu()->actions().at(1)->trigger();
        QCOMPARE(r.typeRequests, 1);

        r.camera.setDemoMode(true, {1000ms, 3500ms});
        QVERIFY(!r.panel.scanRow()->isVisible());
        r.panel.syncMenu()->actions().at(0)->trigger();
        QVERIFY(r.panel.scanSpinner()->isVisible() && r.panel.scanCancelButton()->isVisible());
        QCOMPARE(r.panel.scanLabel()->text(), QStringLiteral("Asking your phone…"));
        QTest::mouseClick(r.panel.scanCancelButton(), Qt::LeftButton);
        QVERIFY(!r.panel.scanRow()->isVisible());

        r.camera.setScan(CameraTimecode::Failed{QStringLiteral("No phone & <b>none</b>")});
        QCOMPARE(r.panel.scanLabel()->text(), QStringLiteral("No phone & <b>none</b>"));
        QCOMPARE(r.panel.scanLabel()->textFormat(), Qt::PlainText);
        QCOMPARE(r.panel.scanLabel()->palette().color(QPalette::WindowText), Theme::coral);
        QVERIFY(!r.panel.scanSpinner()->isVisible() && !r.panel.scanCancelButton()->isVisible());
        QTest::mouseClick(r.panel.scanRetryButton(), Qt::LeftButton);
        QCOMPARE(r.panel.scanLabel()->text(), QStringLiteral("Asking your phone…"));
    }

    // On the logging screen: "Type the camera's timecode…" opens its alert with a draft the clock
    // reads; Return locks what the clock parses and refuses anything else, changing nothing.
    void typedLockThroughTheScreen_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("locks");
        QTest::newRow("commas") << "10,00,00,00" << false;
        QTest::newRow("semicolons") << "10;00;00;00" << true;
    }
    void typedLockThroughTheScreen()
    {
        QFETCH(QString, typed);
        QFETCH(bool, locks);
        screen_test::RigParts parts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000);
        parts.camera.setFormat({25, false, false});
        LoggingView view(parts.environment(true));
        // Parented to the view, as the screen's views are: it goes after the panel does.
        auto* model = new TimecodePanelModel(view.screen(), &view);
        auto* panel = new TimecodePanel(*model);
        view.headerSlot()->layout()->addWidget(panel);
        view.show();

        panel->syncMenu()->actions().at(1)->trigger();
        QTRY_VERIFY(view.openAlert());
        QVERIFY(parts.camera.format().parseFrames(view.openAlert()->text()));
        view.openAlert()->field()->setText(typed);
        QTest::keyClick(view.openAlert()->field(), Qt::Key_Return);
        QVERIFY(!view.screen().showTCEntry());
        QCOMPARE(model->state().synced, locks);
        QCOMPARE(panel->timecodeColour(), locks ? Theme::ink.current() : Theme::muted.current());
        const QString notice = view.screen().transcriber().notice().value_or(QString());
        QCOMPARE(notice.startsWith(QStringLiteral("That isn't a timecode at 25 fps.")), !locks);
    }
};

PINDLE_TEST(TimecodePanelTest)
#include "TimecodePanelTest.moc"
