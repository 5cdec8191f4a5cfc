#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "timecode/CameraTimecode.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <memory>

using Format = CameraTimecode::Format;

namespace {

// Seconds into 2024-03-10 UTC.
Date utcAt(double seconds)
{
    return Date::fromSecondsSince1970(1710028800.0 + seconds);
}

Format formatFrom(const QString& storage)
{
    return Format::fromStorage(storage).value(); // test data is always valid storage text
}

// The label `format` gives the camera moment `cameraSeconds` (seconds of the camera's own day,
// counted at the format's real rate), a hair lifted as the clock lifts it.
QString labelAt(const Format& format, double cameraSeconds)
{
    return format.formatFrames(static_cast<qint64>(std::floor(cameraSeconds * format.rate() + 0.0001)));
}

} // namespace

// A new frame rate while synced to a camera: a label the new base cannot show no longer leaves
// an offset counted in frames of the old rate; the clock keeps the camera's moment and runs on
// at the new rate, also across midnight.
class TestTimecodeRateChange : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Defaults> m_defaults;

private Q_SLOTS:
    void init() { m_defaults = std::make_unique<Defaults>(m_dir.filePath(QStringLiteral("defaults.json"))); }
    void cleanup() { m_defaults.reset(); }

    void labelTheNewBaseCannotShow_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("now"); // seconds of the UTC day when typed and changed
        const double h = 3600.0;
        const auto row = [](const char* name, const char* from, const char* to, const char* typed, double now) {
            QTest::newRow(name) << QString::fromLatin1(from) << QString::fromLatin1(to) << QString::fromLatin1(typed)
                                << now;
        };
        row("25 to 24 at frame 24", "25|0|0", "24|0|0", "10:00:00:24", 8 * h);
        row("25 to 23.976 at frame 24", "25|0|0", "24|1|0", "10:00:00:24", 8 * h);
        row("30 to 25 at frame 25", "30|0|0", "25|0|0", "15:30:10:25", 14 * h + 12.5);
        row("29.97 DF to 25 at frame 28", "30|1|1", "25|0|0", "10:00:00;28", 9 * h);
        row("29.97 DF to 24 at frame 29", "30|1|1", "24|0|0", "01:09:59;29", 22 * h);
        row("29.97 to 23.976 at frame 24", "30|1|0", "24|1|0", "20:00:00:24", 20 * h);
        row("50 to 30 at frame 49", "50|0|0", "30|0|0", "12:00:00:49", 12 * h);
        row("50 to 29.97 DF at frame 30", "50|0|0", "30|1|1", "06:06:06:30", 6 * h);
        row("59.94 DF to 29.97 DF at frame 59", "60|1|1", "30|1|1", "10:10:00;59", 10 * h);
        row("59.94 DF to 50 at frame 50", "60|1|1", "50|0|0", "18:01:00;50", 3 * h);
        row("60 to 50 at frame 50", "60|0|0", "50|0|0", "00:00:00:50", 23 * h);
        row("60 to 24 at the day's last frame", "60|0|0", "24|0|0", "23:59:59:59", 24 * h - 0.1);
        row("camera past midnight, wall clock before", "60|0|0", "25|0|0", "00:00:00:55", 24 * h - 0.5);
        row("camera before midnight, wall clock past", "30|0|0", "24|0|0", "23:59:59:27", 0.2);
    }
    void labelTheNewBaseCannotShow()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, typed);
        QFETCH(double, now);
        CameraTimecode clock(*m_defaults);
        clock.setFormat(formatFrom(from), utcAt(0));
        const Date at = utcAt(now);
        QVERIFY(clock.lockTyped(typed, at, 0));
        const Format before = clock.format();
        const Format after = formatFrom(to);
        QVERIFY(!after.parseFrames(typed));
        // The camera's moment: the typed label's frame at the old rate.
        const double camera = static_cast<double>(*before.parseFrames(typed)) / before.rate();
        const std::optional<qint64> offset = clock.offsetMilliseconds();

        QSignalSpy formatSpy(&clock, &CameraTimecode::formatChanged);
        clock.setFormat(after, at);
        QCOMPARE(formatSpy.count(), 1);
        QCOMPARE(clock.format(), after);
        QCOMPARE(clock.offsetMilliseconds(), offset);
        for (const double later : {0.0, 1.0 / after.rate(), 0.5, 61.0, 3600.0}) {
            QCOMPARE(clock.timecodeAt(at.addingSeconds(later)), labelAt(after, camera + later));
        }
    }

    // Where the new base does show the label, the label stays on screen; one frame higher, the
    // moment stays instead. Either way the clock moves by less than a second.
    void eitherSideOfTheNewBase_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("above");
        QTest::newRow("60 to 50") << "60|0|0"
                                  << "50|0|0"
                                  << "10:00:00:49"
                                  << "10:00:00:41";
        QTest::newRow("30 to 25") << "30|0|0"
                                  << "25|0|0"
                                  << "10:00:00:24"
                                  << "10:00:00:20";
        QTest::newRow("25 to 24") << "25|0|0"
                                  << "24|0|0"
                                  << "10:00:00:23"
                                  << "10:00:00:23";
        QTest::newRow("59.94 DF to 29.97 DF") << "60|1|1"
                                              << "30|1|1"
                                              << "10:00:00;29"
                                              << "10:00:00;15";
    }
    void eitherSideOfTheNewBase()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, shown);
        QFETCH(QString, above);
        const Date at = utcAt(9 * 3600.0);
        const Format before = formatFrom(from);
        const Format after = formatFrom(to);
        const qint64 frame = *before.parseFrames(shown);
        for (const qint64 typed : {frame, frame + 1}) {
            CameraTimecode clock(*m_defaults);
            clock.setFormat(before, utcAt(0));
            QVERIFY(clock.lockTyped(before.formatFrames(typed), at, 0));
            clock.setFormat(after, at);
            QCOMPARE(clock.timecodeAt(at), typed == frame ? shown : above);
            const double moved =
                static_cast<double>(*after.parseFrames(clock.timecodeAt(at))) / after.rate() - typed / before.rate();
            QVERIFY2(std::fabs(moved) < 1.0, qPrintable(QString::number(moved)));
        }
    }

    // On the Mac clock there is no camera to keep: the offset stays none.
    void macClockKeepsNoOffset()
    {
        CameraTimecode clock(*m_defaults);
        clock.useMacClock(0);
        for (const Format& format : CameraTimecode::menuFormats()) {
            clock.setFormat(format, utcAt(23 * 3600.0 + 59 * 60));
            QCOMPARE(clock.offsetFrames(), 0.0);
            QCOMPARE(clock.offsetMilliseconds(), std::nullopt);
        }
    }
};

PINDLE_TEST(TestTimecodeRateChange)
#include "test_timecode_rate_change.moc"
