#include "common/TestMain.h"
#include "screens/ScreenRig.h"

#include "screens/TimecodePanelModel.h"

namespace {

using namespace std::chrono_literals;
using Format = CameraTimecode::Format;

// 2023-11-14 22:13:20 UTC.
constexpr double kStart = 1'700'000'000.0;

// The short time the source line should end with, in the tests' locale (24-hour "HH:mm").
QString shortTime(Date date)
{
    return date.toQDateTime().toLocalTime().toString(QStringLiteral("HH:mm"));
}

// A camera clock on a manual clock in a format, and the panel's model on it.
struct PanelRig {
    explicit PanelRig(const QString& format = QStringLiteral("25|0|0"))
        : defaults(dir.filePath(QStringLiteral("defaults.json"))), camera(defaults, &time),
          model(camera, [this] { ++typeRequests; })
    {
        camera.setFormat(*Format::fromStorage(format));
    }

    QTemporaryDir dir;
    ManualClock time{Date::fromSecondsSince1970(kStart)};
    Defaults defaults;
    CameraTimecode camera;
    TimecodePanelModel model;
    int typeRequests = 0;
};

} // namespace

// The timecode panel's words and commands on a real camera clock: the source line of each
// source, the frame-rate pickers' ticks, the per-frame reading, the typed lock through the
// screen, and the phone scan's row.
class TimecodePanelModelTest : public QObject {
    Q_OBJECT

private:
    QLocale m_locale;

private Q_SLOTS:
    void initTestCase()
    {
        m_locale = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }

    void cleanupTestCase() { QLocale::setDefault(m_locale); }

    // The source line and the pill follow the source; a sync's time is local, in the short style.
    void sourceLines_data()
    {
        QTest::addColumn<CameraTimecode::Source>("source");
        QTest::addColumn<QString>("line");
        const Date at = Date::fromSecondsSince1970(kStart + 3 * 3600 + 7 * 60 + 59.9);
        QTest::newRow("machine clock") << CameraTimecode::Source(CameraTimecode::MacClock{})
                                       << QStringLiteral("COMPUTER CLOCK · NOT SYNCED TO CAMERA");
        QTest::newRow("phone scan") << CameraTimecode::Source(CameraTimecode::Camera{at, true})
                                    << QStringLiteral("CAMERA TC · SCANNED ") + shortTime(at);
        QTest::newRow("typed") << CameraTimecode::Source(CameraTimecode::Camera{at, false})
                               << QStringLiteral("CAMERA TC · TYPED ") + shortTime(at);
    }
    void sourceLines()
    {
        QFETCH(CameraTimecode::Source, source);
        PanelRig r;
        QSignalSpy changes(&r.model, &TimecodePanelModel::stateChanged);
        r.camera.setSource(source);
        QCOMPARE(changes.count(), 1);
        const TimecodePanelState& state = r.model.state();
        QTEST(state.sourceLine, "line");
        const bool synced = std::holds_alternative<CameraTimecode::Camera>(source);
        QCOMPARE(state.synced, synced);
        QCOMPARE(state.syncPillTitle, synced ? QStringLiteral("Rescan") : QStringLiteral("Sync to camera"));
        QCOMPARE(state.syncPillActive, !synced);
    }

    // Each offered format ticks its own row; a stored rate the menus leave out ticks none but is
    // still shown.
    void frameRateTicks_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("row"); // -1: none
        QTest::addColumn<QString>("label");
        QTest::newRow("23.976") << "24|1|0" << 0 << "23.976 fps";
        QTest::newRow("25") << "25|0|0" << 2 << "25 fps";
        QTest::newRow("29.97 DF") << "30|1|1" << 3 << "29.97 DF fps";
        QTest::newRow("59.94 DF") << "60|1|1" << 7 << "59.94 DF fps";
        QTest::newRow("48, not offered") << "48|0|0" << -1 << "48 fps";
        QTest::newRow("59.94 non-drop, not offered") << "60|1|0" << -1 << "59.94 fps";
        QTest::newRow("60, not offered") << "60|0|0" << -1 << "60 fps";
    }
    void frameRateTicks()
    {
        QFETCH(QString, format);
        QFETCH(int, row);
        PanelRig r(format);
        QCOMPARE(r.model.state().formatRow, row < 0 ? std::nullopt : std::optional(row));
        QTEST(r.model.state().formatLabel, "label");
    }

    // The count read per tick changes exactly when the text does, once per camera frame, on the
    // machine clock and on a fractional typed offset, across a drop-frame minute and midnight.
    void frameReading_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("typed"); // empty: machine clock
        QTest::addColumn<double>("interval");
        const auto row = [](const char* name, const char* format, const char* typed, double interval) {
            QTest::newRow(name) << QString::fromLatin1(format) << QString::fromLatin1(typed) << interval;
        };
        row("25", "25|0|0", "", 0.04);
        row("23.976", "24|1|0", "", 1001.0 / 24000.0);
        row("29.97 DF over a minute", "30|1|1", "10:00:59;28", 1001.0 / 30000.0);
        row("50 over midnight", "50|0|0", "23:59:59:49", 0.02);
    }
    void frameReading()
    {
        QFETCH(QString, format);
        QFETCH(QString, typed);
        QFETCH(double, interval);
        PanelRig r(format);
        QCOMPARE(r.model.frameSeconds(), interval);
        r.time.advance(std::chrono::microseconds(333));
        if (!typed.isEmpty())
            QVERIFY(r.camera.lockTyped(typed));
        double frame = r.model.frameAt(r.model.now());
        QString text = r.model.timecodeAt(r.model.now());
        int changes = 0;
        for (int ms = 0; ms < 1000; ++ms) {
            r.time.advance(1ms);
            const double nextFrame = r.model.frameAt(r.model.now());
            const QString nextText = r.model.timecodeAt(r.model.now());
            QCOMPARE(nextFrame != frame, nextText != text);
            changes += nextText != text ? 1 : 0;
            frame = nextFrame;
            text = nextText;
        }
        QVERIFY2(changes >= std::floor(1.0 / interval) && changes <= std::ceil(1.0 / interval),
                 qPrintable(QString::number(changes)));
    }

    // The draft, kept and locked five seconds later, is the timecode on screen then and runs on
    // from it; back on the machine clock the offset goes.
    void typedDraftLockedOnTime()
    {
        PanelRig r(QStringLiteral("30|1|1"));
        const QString draft = r.model.timecodeAt(r.model.now().addingSeconds(LoggingScreenModel::kTypedTimecodeLead));
        r.time.advance(5s);
        const QString shown = r.model.timecodeAt(r.model.now());
        QVERIFY(r.camera.lockTyped(draft));
        QCOMPARE(r.model.timecodeAt(r.model.now()), shown);
        const Format format = r.camera.format();
        QCOMPARE(r.model.timecodeAt(r.model.now().addingSeconds(r.model.frameSeconds())),
                 format.formatFrames(*format.parseFrames(draft) + 1));
        QCOMPARE(r.model.state().sourceLine, QStringLiteral("CAMERA TC · TYPED ") + shortTime(r.time.now()));
        r.model.useMacClock();
        QCOMPARE(r.camera.offsetFrames(), 0.0);
        QVERIFY(!r.model.state().synced);
        r.model.beginTypedTimecode();
        QCOMPARE(r.typeRequests, 1);
    }

    // "Type the camera's timecode…" fills the field with the timecode five seconds on, at the
    // clock's format: on a frame's first instant a shorter lead would give the frame before, in
    // its last instant a longer one the frame after. Kept and locked five seconds later, the
    // shown timecode runs on without a jump.
    void typedDraftLeadsByFiveSeconds_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<double>("pastTheSecond");
        QTest::addColumn<QString>("draft");
        // The clock reads 22:13:20 and the fraction, on a zone of GMT.
        QTest::newRow("25, a frame's first instant") << "25|0|0" << 0.0 << "22:13:25:00";
        QTest::newRow("25, a frame's last instant") << "25|0|0" << 0.0399 << "22:13:25:00";
        QTest::newRow("29.97 DF") << "30|1|1" << 0.0 << "22:13:25;02";
        QTest::newRow("23.976") << "24|1|0" << 0.0 << "22:12:05:01";
    }
    void typedDraftLeadsByFiveSeconds()
    {
        QFETCH(QString, format);
        QFETCH(double, pastTheSecond);
        QFETCH(QString, draft);
        screen_test::Rig r(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), true);
        r.camera.setFormat(*Format::fromStorage(format));
        r.camera.setTzOffsetSeconds(0);
        r.clock.setNow(Date::fromSecondsSince1970(kStart + pastTheSecond));
        TimecodePanelModel model(*r.screen);
        model.beginTypedTimecode();
        QVERIFY(r.screen->showTCEntry());
        QCOMPARE(r.screen->tcDraft, draft);

        const Date later = r.clock.now().addingSeconds(5.0);
        const QString shown = r.camera.timecodeAt(later);
        QCOMPARE(shown, draft);
        QVERIFY(r.camera.lockTyped(r.screen->tcDraft, later, 0));
        QCOMPARE(r.camera.timecodeAt(later), shown);
    }

    // Lock through the screen, as the typed-timecode alert does: what the clock parses locks;
    // anything else shows the message with the format's label and changes nothing.
    void lockThroughScreen_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("locks");
        const auto row = [](const char* name, const char* format, const char* typed, bool locks) {
            QTest::newRow(name) << QString::fromLatin1(format) << QString::fromLatin1(typed) << locks;
        };
        row("dots", "25|0|0", "23.59.59.24", true);
        row("commas", "25|0|0", "10,00,00,00", false);
        row("hour 24", "25|0|0", "24:00:00:00", false);
        row("frame at the base", "25|0|0", "10:00:00:25", false);
        row("five fields", "25|0|0", "10:00:00:00:00", false);
        row("DF frame 29", "30|1|1", "10:01:00;29", true);
        row("DF frame 30", "30|1|1", "10:01:00;30", false);
    }
    void lockThroughScreen()
    {
        QFETCH(QString, format);
        QFETCH(QString, typed);
        QFETCH(bool, locks);
        screen_test::Rig r(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), true);
        r.camera.setFormat(*Format::fromStorage(format));
        TimecodePanelModel model(*r.screen);
        const TimecodePanelState before = model.state();
        const double offset = r.camera.offsetFrames();
        model.beginTypedTimecode();
        QVERIFY(r.screen->showTCEntry());
        QVERIFY(r.camera.format().parseFrames(r.screen->tcDraft));

        QSignalSpy changes(&model, &TimecodePanelModel::stateChanged);
        r.screen->tcDraft = typed;
        QCOMPARE(r.screen->lockTypedTimecode(), locks);
        const QString refused = QStringLiteral("That isn't a timecode at ") + r.camera.format().label() +
                                QStringLiteral(". Use HH:MM:SS:FF.");
        QCOMPARE(r.engine().notice() == refused, !locks);
        if (locks) {
            QVERIFY(model.state().sourceLine.startsWith(QStringLiteral("CAMERA TC · TYPED ")));
            return;
        }
        QCOMPARE(changes.count(), 0);
        QCOMPARE(model.state(), before);
        QCOMPARE(r.camera.offsetFrames(), offset);
    }

    // The demo scan asks, waits on the phone and syncs when it reads; without
    // a service a scan fails at once with a message and "Try again".
    void scanOnTheClock()
    {
        PanelRig r;
        r.camera.setDemoMode(true, {1000ms, 3500ms});
        r.model.startScan();
        QCOMPARE(r.model.state().scan, (ScanRowState{ScanRowState::Kind::Waiting, QStringLiteral("Asking your phone…"),
                                                     QStringLiteral("Cancel")}));
        r.time.advance(1000ms);
        QCOMPARE(r.model.state().scan.text, QStringLiteral("Check your phone and scan the camera"));
        r.time.advance(3500ms);
        QCOMPARE(r.model.state().scan.kind, ScanRowState::Kind::Hidden);
        QCOMPARE(r.model.state().sourceLine, QStringLiteral("CAMERA TC · SCANNED ") + shortTime(r.time.now()));

        r.camera.setDemoMode(false);
        r.model.startScan();
        QCOMPARE(r.model.state().scan,
                 (ScanRowState{ScanRowState::Kind::Failed, QString::fromLatin1(CameraTimecode::kNoScanServiceMessage),
                               QStringLiteral("Try again")}));
        QVERIFY(r.model.state().synced);
    }
};

PINDLE_TEST(TimecodePanelModelTest)
#include "TimecodePanelModelTest.moc"
