#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "timecode/CameraTimecode.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <memory>

using Format = CameraTimecode::Format;

namespace {

const QString formatKey = QStringLiteral("pindle_logger_tc_format");
// 2024-03-10 00:00:00 UTC.
constexpr double dayStart = 1710028800.0;
constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();

Date utc(double secondsSince1970)
{
    return Date::fromSecondsSince1970(secondsSince1970);
}

Date utcAt(int hours, int minutes, double seconds)
{
    return utc(dayStart + hours * 3600.0 + minutes * 60.0 + seconds);
}

Format formatFrom(const QString& storage)
{
    return Format::fromStorage(storage).value_or(Format{});
}

bool isTimecodeText(const QString& text)
{
    return text.size() == 11 && Format{}.parseFrames(text).has_value();
}

} // namespace

class TestCameraTimecode : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Defaults> m_defaults;

    QString defaultsPath() const { return m_dir->filePath(QStringLiteral("defaults.json")); }

    // A Mac-clock camera clock at the given format and zone.
    std::unique_ptr<CameraTimecode> makeClock(const QString& storage, int tzOffsetSeconds)
    {
        auto clock = std::make_unique<CameraTimecode>(*m_defaults);
        clock->setFormat(formatFrom(storage), utc(dayStart));
        clock->setTzOffsetSeconds(tzOffsetSeconds);
        return clock;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_defaults = std::make_unique<Defaults>(defaultsPath());
    }

    void cleanup()
    {
        m_defaults.reset();
        m_dir.reset();
    }

    void initialState()
    {
        CameraTimecode clock(*m_defaults);
        QCOMPARE(clock.format(), Format{});
        QCOMPARE(clock.source(), CameraTimecode::Source(CameraTimecode::MacClock{}));
        QCOMPARE(clock.scan(), CameraTimecode::ScanState(CameraTimecode::Idle{}));
        QCOMPARE(clock.offsetFrames(), 0.0);
        QCOMPARE(clock.tzOffsetSeconds(), currentTimeZoneOffsetSeconds());
        QVERIFY(!clock.offsetMilliseconds());
        QCOMPARE(&CameraTimecode::shared(), &CameraTimecode::shared());
    }

    void timecodeAt_data()
    {
        // clang-format off
        QTest::addColumn<QString>("storage");
        QTest::addColumn<int>("tz");
        QTest::addColumn<double>("secondsSince1970");
        QTest::addColumn<double>("offsetFrames");
        QTest::addColumn<QString>("expected");
        const double h = 3600.0;
        QTest::newRow("half a second in") << "25|0|0" << 0 << dayStart + 14.5 * h + 0.5 << 0.0 << "14:30:00:12";
        QTest::newRow("frame 7") << "25|0|0" << 0 << dayStart + 10 * h + 0.28 << 0.0 << "10:00:00:07";
        QTest::newRow("frame 24") << "25|0|0" << 0 << dayStart + 10 * h + 0.96 << 0.0 << "10:00:00:24";
        QTest::newRow("tz -8h previous day") << "25|0|0" << -8 * 3600 << dayStart + 6 * h << 0.0 << "22:00:00:00";
        QTest::newRow("tz +14h next day") << "25|0|0" << 14 * 3600 << dayStart + 10 * h << 0.0 << "00:00:00:00";
        QTest::newRow("tz +14h last frame") << "25|0|0" << 14 * 3600 << dayStart + 10 * h - 0.04 << 0.0
                                            << "23:59:59:24";
        QTest::newRow("local midnight") << "25|0|0" << 3600 << dayStart - h << 0.0 << "00:00:00:00";
        QTest::newRow("before 1970") << "25|0|0" << 0 << -0.04 << 0.0 << "23:59:59:24";
        QTest::newRow("1969 afternoon") << "25|0|0" << 0 << -365 * 86400.0 + 15 * h << 0.0 << "15:00:00:00";
        QTest::newRow("offset back over midnight") << "25|0|0" << 0 << dayStart << -1.0 << "23:59:59:24";
        QTest::newRow("offset forward over midnight") << "25|0|0" << 0 << dayStart + 24 * h - 0.04 << 1.0
                                                      << "00:00:00:00";
        QTest::newRow("offset a week back") << "25|0|0" << 0 << dayStart + h << -7 * 2160000.0 << "01:00:00:00";
        QTest::newRow("29.97 DF tracks the hour") << "30|1|1" << 0 << dayStart + h << 0.0 << "01:00:00;00";
        QTest::newRow("29.97 DF tenth minute") << "30|1|1" << 0 << dayStart + 600.0 << 0.0 << "00:10:00;00";
        QTest::newRow("29.97 NDF drifts") << "30|1|0" << 0 << dayStart + h << 0.0 << "00:59:56:12";
        QTest::newRow("59.94 DF") << "60|1|1" << 0 << dayStart + h << 0.0 << "01:00:00;00";
        // clang-format on
    }
    void timecodeAt()
    {
        QFETCH(QString, storage);
        QFETCH(int, tz);
        QFETCH(double, secondsSince1970);
        QFETCH(double, offsetFrames);
        auto clock = makeClock(storage, tz);
        clock->setOffsetFrames(offsetFrames);
        QTEST(clock->timecodeAt(utc(secondsSince1970)), "expected");
    }

    // Offsets and moments no integer can hold are wrapped in floating point, never converted.
    void extremeValues_data()
    {
        QTest::addColumn<double>("offsetFrames");
        QTest::addColumn<double>("secondsSince1970");
        QTest::addColumn<QString>("expected"); // empty: any well-formed timecode
        const double at = dayStart + 3600.0;
        QTest::newRow("inf offset counts as 0") << infinity << at << "01:00:00:00";
        QTest::newRow("-inf offset counts as 0") << -infinity << at << "01:00:00:00";
        QTest::newRow("nan offset counts as 0") << notANumber << at << "01:00:00:00";
        // 2^50 days of frames: far beyond qint64, still a whole number of days. At that size
        // a double steps by 2^19 frames, so only midnight keeps its frame exactly.
        const double days = std::ldexp(2160000.0, 50);
        QTest::newRow("2^50 days") << days << dayStart << "00:00:00:00";
        QTest::newRow("-2^50 days") << -days << dayStart << "00:00:00:00";
        QTest::newRow("2^50 days and 2^19 frames") << days + std::ldexp(1.0, 19) << dayStart << "05:49:31:13";
        QTest::newRow("1e300") << 1e300 << at << "";
        QTest::newRow("-max") << -std::numeric_limits<double>::max() << at << "";
        QTest::newRow("nan moment") << 0.0 << notANumber << "00:00:00:00";
        QTest::newRow("inf moment") << 0.0 << infinity << "00:00:00:00";
        QTest::newRow("moment 1e300") << 0.0 << 1e300 << "";
        QTest::newRow("moment -1e300") << 0.0 << -1e300 << "";
    }
    void extremeValues()
    {
        QFETCH(double, offsetFrames);
        QFETCH(double, secondsSince1970);
        QFETCH(QString, expected);
        auto clock = makeClock(QStringLiteral("25|0|0"), 0);
        clock->setOffsetFrames(offsetFrames);
        QVERIFY(std::isfinite(clock->offsetFrames()));
        const double seconds = clock->secondsOfDay(utc(secondsSince1970));
        QVERIFY(seconds >= 0.0 && seconds < 86400.0);
        const QString text = clock->timecodeAt(utc(secondsSince1970));
        QVERIFY2(isTimecodeText(text), qPrintable(text));
        if (!expected.isEmpty())
            QCOMPARE(text, expected);
    }

    void lockTyped_data()
    {
        // clang-format off
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("later");
        QTest::addColumn<QString>("expected");
        QTest::newRow("same moment") << "25|0|0" << "10:00:00:00" << 0.0 << "10:00:00:00";
        QTest::newRow("just under a frame") << "25|0|0" << "10:00:00:00" << 0.039 << "10:00:00:00";
        QTest::newRow("one frame on") << "25|0|0" << "10:00:00:00" << 0.04 << "10:00:00:01";
        QTest::newRow("an hour on") << "25|0|0" << "10:00:00:00" << 3600.0 << "11:00:00:00";
        QTest::newRow("over midnight") << "25|0|0" << "23:59:59:24" << 0.04 << "00:00:00:00";
        QTest::newRow("dots") << "25|0|0" << "10.00.00.00" << 0.0 << "10:00:00:00";
        QTest::newRow("DF into tenth minute") << "30|1|1" << "00:09:59;29" << 1001.0 / 30000.0 << "00:10:00;00";
        QTest::newRow("DF over a skip") << "30|1|1" << "00:00:59;29" << 1001.0 / 30000.0 << "00:01:00;02";
        QTest::newRow("DF keeps real time") << "30|1|1" << "10:00:00;00" << 3600.0 << "11:00:00;00";
        QTest::newRow("DF never-shown label") << "30|1|1" << "00:01:00;00" << 0.0 << "00:00:59;28";
        // clang-format on
    }
    void lockTyped()
    {
        QFETCH(QString, storage);
        QFETCH(QString, typed);
        QFETCH(double, later);
        auto clock = makeClock(storage, 0);
        QSignalSpy sourceSpy(clock.get(), &CameraTimecode::sourceChanged);
        QSignalSpy formatSpy(clock.get(), &CameraTimecode::formatChanged);
        const Date now = utcAt(17, 3, 21.37);
        const int tz = -5 * 3600;
        QVERIFY(clock->lockTyped(typed, now, tz));
        QCOMPARE(clock->tzOffsetSeconds(), tz);
        QCOMPARE(clock->source(), CameraTimecode::Source(CameraTimecode::Camera{now, false}));
        QVERIFY(clock->offsetMilliseconds().has_value());
        QCOMPARE(sourceSpy.count(), 1);
        QCOMPARE(formatSpy.count(), 0);
        QCOMPARE(clock->format(), formatFrom(storage));
        QTEST(clock->timecodeAt(now.addingSeconds(later)), "expected");
    }

    void lockTypedRefused_data()
    {
        // clang-format off
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("typed");
        QTest::newRow("frame 25 at 25") << "25|0|0" << "10:00:00:25";
        QTest::newRow("frame 24 at 24") << "24|0|0" << "10:00:00:24";
        QTest::newRow("three parts") << "25|0|0" << "10:00:00";
        QTest::newRow("empty") << "25|0|0" << "";
        QTest::newRow("negative") << "30|1|1" << "-1:00:00;00";
        // clang-format on
    }
    void lockTypedRefused()
    {
        QFETCH(QString, storage);
        QFETCH(QString, typed);
        auto clock = makeClock(storage, 7200);
        QVERIFY(clock->lockTyped(QStringLiteral("01:02:03:04"), utcAt(9, 0, 0), 3600));
        const double offset = clock->offsetFrames();
        const CameraTimecode::Source source = clock->source();
        QSignalSpy sourceSpy(clock.get(), &CameraTimecode::sourceChanged);
        QVERIFY(!clock->lockTyped(typed, utcAt(12, 0, 0), -3600));
        QCOMPARE(clock->offsetFrames(), offset);
        QCOMPARE(clock->tzOffsetSeconds(), 3600);
        QCOMPARE(clock->source(), source);
        QCOMPARE(sourceSpy.count(), 0);
    }

    void lockTypedNow()
    {
        CameraTimecode clock(*m_defaults);
        QVERIFY(clock.lockTyped(QStringLiteral("10:00:00:00")));
        QCOMPARE(clock.tzOffsetSeconds(), currentTimeZoneOffsetSeconds());
        const auto frames = clock.format().parseFrames(clock.timecodeAt(Date::now()));
        QVERIFY(frames);
        QVERIFY2(*frames >= 900000 && *frames < 900000 + 25 * 5, qPrintable(QString::number(*frames)));
    }

    void offsetMilliseconds_data()
    {
        QTest::addColumn<QString>("storage");
        QTest::addColumn<double>("offsetFrames");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("one frame at 25") << "25|0|0" << 1.0 << qint64(40);
        QTest::newRow("minus a minute at 25") << "25|0|0" << -1500.0 << qint64(-60000);
        // Offsets whose milliseconds land exactly on a half: away from zero, not to even.
        QTest::newRow("0.5 ms") << "25|0|0" << 0.0125 << qint64(1);
        QTest::newRow("-0.5 ms") << "25|0|0" << -0.0125 << qint64(-1);
        QTest::newRow("12.5 ms") << "25|0|0" << 0.3125 << qint64(13);
        QTest::newRow("62.5 ms") << "25|0|0" << 1.5625 << qint64(63);
        QTest::newRow("-62.5 ms") << "25|0|0" << -1.5625 << qint64(-63);
        QTest::newRow("0.4 ms") << "25|0|0" << 0.01 << qint64(0);
        QTest::newRow("30 frames at 29.97") << "30|1|1" << 30.0 << qint64(1001);
        QTest::newRow("one frame at 29.97") << "30|1|0" << 1.0 << qint64(33);
        QTest::newRow("half a day at 23.976") << "24|1|0" << -43200.0 * 24000.0 / 1001.0 << qint64(-43200000);
    }
    void offsetMilliseconds()
    {
        QFETCH(QString, storage);
        QFETCH(double, offsetFrames);
        auto clock = makeClock(storage, 0);
        clock->setOffsetFrames(offsetFrames);
        QVERIFY(!clock->offsetMilliseconds()); // the Mac clock sends no offset
        clock->setSource(CameraTimecode::Camera{utc(dayStart), true});
        QTEST(clock->offsetMilliseconds().value_or(-999999), "expected");
    }

    void offsetMillisecondsOutOfRange()
    {
        auto clock = makeClock(QStringLiteral("25|0|0"), 0);
        clock->setSource(CameraTimecode::Camera{utc(dayStart), false});
        clock->setOffsetFrames(1e300);
        QVERIFY(!clock->offsetMilliseconds());
        clock->setOffsetFrames(-std::ldexp(1.0, 60));
        QVERIFY(!clock->offsetMilliseconds());
        clock->setOffsetFrames(notANumber);
        QCOMPARE(clock->offsetMilliseconds(), std::optional<qint64>(0));
    }

    void setFormatWhileSynced_data()
    {
        // clang-format off
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("keepsLabel");
        QTest::newRow("25 to 24 frame 10") << "25|0|0" << "10:00:00:10" << "24|0|0" << true;
        QTest::newRow("25 to 24 frame 23") << "25|0|0" << "10:00:00:23" << "24|0|0" << true;
        QTest::newRow("25 to 24 frame 24") << "25|0|0" << "10:00:00:24" << "24|0|0" << false;
        QTest::newRow("29.97 DF to 30") << "30|1|1" << "10:00:00;00" << "30|0|0" << true;
        QTest::newRow("30 to 29.97 DF") << "30|0|0" << "10:05:00:01" << "30|1|1" << true;
        QTest::newRow("50 to 25 frame 30") << "50|0|0" << "10:00:00:30" << "25|0|0" << false;
        QTest::newRow("59.94 DF to 29.97 DF") << "60|1|1" << "00:10:00;59" << "30|1|1" << false;
        QTest::newRow("24 to 60") << "24|0|0" << "23:59:59:23" << "60|0|0" << true;
        // clang-format on
    }
    void setFormatWhileSynced()
    {
        QFETCH(QString, from);
        QFETCH(QString, typed);
        QFETCH(QString, to);
        QFETCH(bool, keepsLabel);
        auto clock = makeClock(from, 0);
        const Date locked = utcAt(8, 0, 0);
        QVERIFY(clock->lockTyped(typed, locked, 0));
        const Date now = locked;
        const QString shown = clock->timecodeAt(now);
        QCOMPARE(shown, typed);
        const double offset = clock->offsetFrames();
        QSignalSpy formatSpy(clock.get(), &CameraTimecode::formatChanged);
        clock->setFormat(formatFrom(to), now);
        QCOMPARE(formatSpy.count(), 1);
        QCOMPARE(clock->format(), formatFrom(to));
        QCOMPARE(m_defaults->string(formatKey), std::optional<QString>(to));
        if (!keepsLabel) {
            QCOMPARE(clock->offsetFrames(), offset);
            return;
        }
        const Format format = clock->format();
        const auto shownFrames = format.parseFrames(shown);
        QVERIFY(shownFrames);
        QCOMPARE(clock->timecodeAt(now), format.formatFrames(*shownFrames));
        // It runs on at the new rate: one frame later is the next label.
        QCOMPARE(clock->timecodeAt(now.addingSeconds(1.0 / format.rate())), format.formatFrames(*shownFrames + 1));
    }

    void setFormatOnMacClock()
    {
        auto clock = makeClock(QStringLiteral("25|0|0"), 0);
        clock->setFormat(formatFrom(QStringLiteral("30|1|1")), utcAt(11, 0, 0));
        QCOMPARE(clock->offsetFrames(), 0.0);
        // Drop-frame gains 0.108 frame on the wall clock every hour: a frame by 10 o'clock.
        QCOMPARE(clock->timecodeAt(utcAt(9, 0, 0)), QStringLiteral("09:00:00;00"));
        QCOMPARE(clock->timecodeAt(utcAt(11, 0, 0)), QStringLiteral("11:00:00;01"));
    }

    void useMacClock()
    {
        auto clock = makeClock(QStringLiteral("30|1|1"), 0);
        QVERIFY(clock->lockTyped(QStringLiteral("01:00:00;00"), utcAt(9, 30, 0), 0));
        QSignalSpy sourceSpy(clock.get(), &CameraTimecode::sourceChanged);
        clock->useMacClock(-3 * 3600);
        QCOMPARE(sourceSpy.count(), 1);
        QCOMPARE(clock->source(), CameraTimecode::Source(CameraTimecode::MacClock{}));
        QCOMPARE(clock->offsetFrames(), 0.0);
        QCOMPARE(clock->tzOffsetSeconds(), -3 * 3600);
        QVERIFY(!clock->offsetMilliseconds());
        QCOMPARE(clock->format(), formatFrom(QStringLiteral("30|1|1")));
        QCOMPARE(clock->timecodeAt(utcAt(9, 30, 0)), QStringLiteral("06:30:00;00"));
        clock->useMacClock();
        QCOMPARE(clock->tzOffsetSeconds(), currentTimeZoneOffsetSeconds());
    }

    void directWriters()
    {
        CameraTimecode clock(*m_defaults);
        QSignalSpy scanSpy(&clock, &CameraTimecode::scanChanged);
        QSignalSpy sourceSpy(&clock, &CameraTimecode::sourceChanged);
        clock.setScan(CameraTimecode::Waiting{3});
        QCOMPARE(clock.scan(), CameraTimecode::ScanState(CameraTimecode::Waiting{3}));
        clock.setScan(CameraTimecode::Failed{QStringLiteral("No phone answered")});
        QCOMPARE(scanSpy.count(), 2);
        clock.setSource(CameraTimecode::Camera{utc(dayStart), true});
        QCOMPARE(sourceSpy.count(), 1);
        QCOMPARE(clock.source(), CameraTimecode::Source(CameraTimecode::Camera{utc(dayStart), true}));
        QVERIFY(clock.source() != CameraTimecode::Source(CameraTimecode::Camera{utc(dayStart), false}));
    }

    void storedFormat_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << "25|0|0";
        QTest::newRow("29.97 DF") << QJsonValue(QStringLiteral("30|1|1")) << "30|1|1";
        QTest::newRow("48") << QJsonValue(QStringLiteral("48|0|0")) << "48|0|0";
        QTest::newRow("30 DF without pulldown") << QJsonValue(QStringLiteral("30|0|1")) << "30|0|1";
        QTest::newRow("unreadable text") << QJsonValue(QStringLiteral("29|1|0")) << "25|0|0";
        QTest::newRow("number") << QJsonValue(30) << "25|0|0";
        QTest::newRow("bool") << QJsonValue(true) << "25|0|0";
        QTest::newRow("array") << QJsonValue(QJsonArray{QStringLiteral("30|1|1")}) << "25|0|0";
        QTest::newRow("null") << QJsonValue(QJsonValue::Null) << "25|0|0";
    }
    void storedFormat()
    {
        QFETCH(QJsonValue, stored);
        m_defaults->set(formatKey, stored);
        Defaults reread(defaultsPath());
        CameraTimecode clock(reread);
        QTEST(clock.format().storageString(), "expected");
    }

    void formatPersistsAcrossLaunches()
    {
        {
            CameraTimecode clock(*m_defaults);
            clock.setFormat(formatFrom(QStringLiteral("60|1|1")), utc(dayStart));
            QVERIFY(m_defaults->lastWriteSucceeded());
        }
        Defaults reread(defaultsPath());
        QCOMPARE(reread.string(formatKey), std::optional<QString>(QStringLiteral("60|1|1")));
        CameraTimecode clock(reread);
        QCOMPARE(clock.format(), formatFrom(QStringLiteral("60|1|1")));
        // Only the format is kept: every launch starts on the Mac clock.
        QCOMPARE(clock.source(), CameraTimecode::Source(CameraTimecode::MacClock{}));
    }
};

PINDLE_TEST(TestCameraTimecode)
#include "test_camera_timecode.moc"
