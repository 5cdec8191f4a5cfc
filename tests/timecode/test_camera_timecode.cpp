#include "common/TestMain.h"

#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "timecode/CameraTimecode.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

using Format = CameraTimecode::Format;
using namespace std::chrono_literals;

namespace {

const QString formatKey = QStringLiteral("pindle_logger_tc_format");

// Seconds into 2024-03-10 UTC.
Date utcAt(double seconds)
{
    return Date::fromSecondsSince1970(1710028800.0 + seconds);
}

Format formatFrom(const QString& storage)
{
    return Format::fromStorage(storage).value(); // test data is always valid storage text
}

} // namespace

class TestTimecodeFormat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Walks a day's labels like the camera's counter, skipping those drop-frame never shows: the
    // n-th label is frame n and parses back to n. Checked at every frame of the first ten minutes
    // (a whole drop-frame cycle), around every minute's turn (where drop-frame skips labels) and
    // at a prime stride through the rest.
    void everyFrameOfTheDay_data()
    {
        QTest::addColumn<QString>("storage");
        for (const Format& format : CameraTimecode::menuFormats())
            QTest::newRow(qPrintable(format.label())) << format.storageString();
        QTest::newRow("48 fps") << QStringLiteral("48|0|0");
        QTest::newRow("60 fps") << QStringLiteral("60|0|0");
    }
    void everyFrameOfTheDay()
    {
        QFETCH(QString, storage);
        const Format format = formatFrom(storage);
        const int base = format.base;
        const int dropped = format.dropFrame ? base / 15 : 0;
        const char separator = format.dropFrame ? ';' : ':';
        qint64 count = 0;
        for (int h = 0; h < 24; ++h) {
            for (int m = 0; m < 60; ++m) {
                for (int s = 0; s < 60; ++s) {
                    char label[32];
                    std::snprintf(label, sizeof label, "%02d:%02d:%02d%c00", h, m, s, separator);
                    for (int f = (s == 0 && m % 10 != 0) ? dropped : 0; f < base; ++f, ++count) {
                        const bool turn = (s == 59 && f >= base - 2) || (s == 0 && f < dropped + 2);
                        if (!turn && count % 997 != 0 && (h > 0 || m >= 10))
                            continue;
                        label[9] = static_cast<char>('0' + f / 10);
                        label[10] = static_cast<char>('0' + f % 10);
                        const QString formatted = format.formatFrames(count);
                        if (formatted != QLatin1StringView(label) || format.parseFrames(formatted) != count)
                            QFAIL(qPrintable(QStringLiteral("frame %1 formats as %2").arg(count).arg(formatted)));
                    }
                }
            }
        }
        QCOMPARE(count, format.framesPerDay());
        // Whole days either side name the same labels.
        for (const qint64 f : {qint64(0), qint64(1), count / 2, count - 1}) {
            QCOMPARE(format.formatFrames(f + count), format.formatFrames(f));
            QCOMPARE(format.formatFrames(f - 7 * count), format.formatFrames(f));
        }
    }

    void parseFrames_data()
    {
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected"); // -1: no value
        const auto row = [](const char* name, const char* storage, const char* text, qint64 expected) {
            QTest::newRow(name) << QString::fromLatin1(storage) << QString::fromUtf8(text) << expected;
        };
        row("DF label never shown", "30|1|1", "00:01:00;00", 1798);
        row("mixed and empty separators", "25|0|0", "10::00:::00;.00", 900000);
        row("three parts", "25|0|0", "10:00:00", -1);
        row("hour 24", "25|0|0", "24:00:00:00", -1);
        row("minute 60", "25|0|0", "10:60:00:00", -1);
        row("frame 25 at 25", "25|0|0", "10:00:00:25", -1);
        row("stray word skipped", "25|0|0", "TC:10:00:00:00", 900000);
        row("word glued to frames", "25|0|0", "10:00:00:00x", -1);
        row("negative zero", "25|0|0", "00:-0:00:00", -1);
        row("negative is no stray word", "25|0|0", "-1:10:00:00:00", -1);
        row("plus sign", "25|0|0", "+1:00:00:00", 90000);
        row("lone sign skipped", "25|0|0", "+:10:00:00:00", 900000);
        // Too large to read is not a stray word: the text is refused rather than shifted.
        row("overflow is no stray word", "25|0|0", "99999999999999999999:10:00:00:00", -1);
        row("int64 max frame", "25|0|0", "00:00:00:9223372036854775807", -1);
        row("leading zeros", "25|0|0", "000000000000000000000000010:00:00:00", 900000);
        row("fullwidth digits", "25|0|0", "１０:００:００:００", -1);
    }
    void parseFrames()
    {
        QFETCH(QString, storage);
        QFETCH(QString, text);
        QFETCH(qint64, expected);
        const auto frames = formatFrom(storage).parseFrames(text);
        QCOMPARE(frames, expected < 0 ? std::nullopt : std::optional<qint64>(expected));
    }

    // Stored text to format and back, and the label the menu shows for it.
    void fromStorage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("storage"); // empty: refused
        QTest::addColumn<QString>("label");
        const auto row = [](const char* name, const char* text, const char* storage, const char* label) {
            QTest::newRow(name) << QString::fromLatin1(text) << QString::fromLatin1(storage)
                                << QString::fromLatin1(label);
        };
        row("no DF at 25", "25|0|1", "25|0|0", "25 fps");
        row("other flags are false", "30|2|-1", "30|0|0", "30 fps");
        row("empty pieces dropped", "|60||1|1|", "60|1|1", "59.94 DF fps");
        row("23.976", "24|1|0", "24|1|0", "23.976 fps");
        row("49.95", "50|1|0", "50|1|0", "49.95 fps");
        row("no such base", "29|1|0", "", "");
        row("overflow", "25|99999999999999999999|0", "", "");
        row("base beyond int", "4294967321|0|0", "", "");
    }
    void fromStorage()
    {
        QFETCH(QString, text);
        QFETCH(QString, storage);
        const auto format = Format::fromStorage(text);
        QCOMPARE(format ? format->storageString() : QString(), storage);
        if (!format)
            return;
        QTEST(format->label(), "label");
        QCOMPARE(Format::fromStorage(storage), format);
    }

    // Counts wrap at both ends of the integer range. Hand-built formats: no base must not crash or
    // divide by zero; wide bases give frame numbers past two digits and no overflow.
    void limits()
    {
        constexpr qint64 max = std::numeric_limits<qint64>::max();
        constexpr qint64 min = std::numeric_limits<qint64>::min();
        QCOMPARE(formatFrom(QStringLiteral("25|0|0")).formatFrames(max), QStringLiteral("00:37:12:07"));
        QCOMPARE(formatFrom(QStringLiteral("25|0|0")).formatFrames(min), QStringLiteral("23:22:47:17"));
        QCOMPARE(formatFrom(QStringLiteral("30|1|1")).formatFrames(min), QStringLiteral("01:37:44;00"));
        QCOMPARE(formatFrom(QStringLiteral("60|1|1")).formatFrames(max), QStringLiteral("23:11:07;59"));
        for (const int base : {0, std::numeric_limits<int>::min()}) {
            const Format none{base, true, true};
            QCOMPARE(none.framesPerDay(), qint64(0));
            QCOMPARE(none.formatFrames(min), QStringLiteral("00:00:00:00"));
            QVERIFY(!none.parseFrames(u"00:00:00:00"));
        }
        const Format format{1000, false, false};
        QCOMPARE(format.formatFrames(3601000 + 999), QStringLiteral("01:00:01:999"));
        QCOMPARE(format.parseFrames(u"00:00:00:999"), std::optional<qint64>(999));
        const Format widest{std::numeric_limits<int>::max(), false, true};
        const qint64 last = widest.framesPerDay() - 1;
        QCOMPARE(widest.parseFrames(widest.formatFrames(last)), std::optional<qint64>(last));
        QCOMPARE(widest.formatFrames(-1), widest.formatFrames(last));
    }
};

PINDLE_TEST(TestTimecodeFormat)

class TestCameraTimecode : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Defaults> m_defaults;

    // A camera clock on the Mac clock at the given format and zone.
    std::unique_ptr<CameraTimecode> makeClock(const QString& storage, int tzOffsetSeconds = 0)
    {
        auto clock = std::make_unique<CameraTimecode>(*m_defaults);
        clock->setFormat(formatFrom(storage), utcAt(0));
        clock->setTzOffsetSeconds(tzOffsetSeconds);
        return clock;
    }

private Q_SLOTS:
    void init()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("defaults.json")));
        m_defaults = std::make_unique<Defaults>(m_dir.filePath(QStringLiteral("defaults.json")));
    }

    // Offsets and moments no integer can hold are wrapped in floating point, never converted;
    // an offset that is not finite counts as none. Empty `expected`: any well-formed timecode.
    void timecodeAt_data()
    {
        QTest::addColumn<QString>("storage");
        QTest::addColumn<int>("tz");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("offsetFrames");
        QTest::addColumn<QString>("expected");
        const double h = 3600.0;
        QTest::newRow("frame 24 a hair below its boundary") << "25|0|0" << 0 << 10 * h + 0.96 << 0.0 << "10:00:00:24";
        QTest::newRow("tz +14h last frame") << "25|0|0" << 14 * 3600 << 10 * h - 0.04 << 0.0 << "23:59:59:24";
        QTest::newRow("before 1970") << "25|0|0" << 0 << -1710028800.04 << 0.0 << "23:59:59:24";
        QTest::newRow("offset back over midnight") << "30|1|1" << 0 << 0.0 << -1.0 << "23:59:59;29";
        QTest::newRow("infinite offset counts as none") << "25|0|0" << 0 << h << HUGE_VAL << "01:00:00:00";
        // 2^50 days of frames and 2^19 more: beyond qint64, where a double steps by 2^19 frames.
        QTest::newRow("2^50 days and 2^19 frames")
            << "25|0|0" << 0 << 0.0 << std::ldexp(2160000.0, 50) + 524288.0 << "05:49:31:13";
        QTest::newRow("nan moment") << "25|0|0" << 0 << std::nan("") << 0.0 << "00:00:00:00";
        QTest::newRow("moment -1e300") << "25|0|0" << 0 << -1e300 << 0.0 << "";
    }
    void timecodeAt()
    {
        QFETCH(QString, storage);
        QFETCH(int, tz);
        QFETCH(double, seconds);
        QFETCH(double, offsetFrames);
        QFETCH(QString, expected);
        auto clock = makeClock(storage, tz);
        clock->setOffsetFrames(offsetFrames);
        const double ofDay = clock->secondsOfDay(utcAt(seconds));
        QVERIFY(ofDay >= 0.0 && ofDay < 86400.0 && std::isfinite(clock->offsetFrames()));
        const QString text = clock->timecodeAt(utcAt(seconds));
        QVERIFY2(text.size() == 11 && clock->format().parseFrames(text), qPrintable(text));
        QVERIFY2(expected.isEmpty() || text == expected, qPrintable(text));
    }

    // The camera shows the typed label at that moment; a refused text changes nothing.
    void lockTyped_data()
    {
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("later");
        QTest::addColumn<QString>("expected");
        QTest::newRow("just under a frame") << QStringLiteral("25|0|0") << "10:00:00:00" << 0.039 << "10:00:00:00";
        QTest::newRow("DF over a skip") << QStringLiteral("30|1|1") << "00:00:59;29" << 1001.0 / 30000.0
                                        << "00:01:00;02";
        QTest::newRow("DF never-shown label") << QStringLiteral("30|1|1") << "00:01:00;00" << 0.0 << "00:00:59;28";
    }
    void lockTyped()
    {
        QFETCH(QString, storage);
        QFETCH(QString, typed);
        QFETCH(double, later);
        auto clock = makeClock(storage);
        QSignalSpy sourceSpy(clock.get(), &CameraTimecode::sourceChanged);
        const Date now = utcAt(17 * 3600 + 3 * 60 + 21.37);
        QVERIFY(clock->lockTyped(typed, now, -5 * 3600));
        QCOMPARE(clock->source(), CameraTimecode::Source(CameraTimecode::Camera{now, false}));
        QTEST(clock->timecodeAt(now.addingSeconds(later)), "expected");
        const double offset = clock->offsetFrames();
        QVERIFY(!clock->lockTyped(QStringLiteral("10:00:00:60"), utcAt(3600), 3600));
        QVERIFY(!clock->lockTyped(QStringLiteral("-1:00:00:00"), utcAt(3600), 3600));
        QVERIFY(clock->offsetFrames() == offset && clock->tzOffsetSeconds() == -5 * 3600);
        QCOMPARE(sourceSpy.count(), 1);
    }

    // Whole milliseconds, halves away from zero, only while synced to the camera.
    void offsetMilliseconds()
    {
        auto clock = makeClock(QStringLiteral("25|0|0"));
        clock->setOffsetFrames(1.0);
        QVERIFY(!clock->offsetMilliseconds());
        clock->setSource(CameraTimecode::Camera{utcAt(0), true});
        for (const auto& [frames, ms] : {std::pair{1.5625, qint64(63)}, {-1.5625, qint64(-63)}, {0.01, qint64(0)}}) {
            clock->setOffsetFrames(frames);
            QCOMPARE(clock->offsetMilliseconds(), std::optional<qint64>(ms));
        }
        clock->setOffsetFrames(1e300);
        QVERIFY(!clock->offsetMilliseconds());
    }

    // The label on screen stays and runs on at the new rate; when the new base cannot show it,
    // the offset keeps its time, counted in frames of the new rate.
    void setFormatWhileSynced()
    {
        for (const auto& [from, typed, to] :
             {std::array{"25|0|0", "10:00:00:23", "24|0|0"}, std::array{"25|0|0", "10:00:00:24", "24|0|0"},
              std::array{"30|0|0", "10:05:00:01", "30|1|1"}}) {
            auto clock = makeClock(QLatin1String(from));
            const Date now = utcAt(8 * 3600);
            QVERIFY(clock->lockTyped(QLatin1String(typed), now, 0));
            const double offset = clock->offsetFrames();
            QSignalSpy formatSpy(clock.get(), &CameraTimecode::formatChanged);
            clock->setFormat(formatFrom(QLatin1String(to)), now);
            QCOMPARE(formatSpy.count(), 1);
            QCOMPARE(m_defaults->string(formatKey), std::optional<QString>(QLatin1String(to)));
            const Format format = clock->format();
            if (const auto shown = format.parseFrames(QString::fromLatin1(typed)))
                QCOMPARE(clock->timecodeAt(now.addingSeconds(1.0 / format.rate())), format.formatFrames(*shown + 1));
            else
                QCOMPARE(clock->offsetFrames(), offset / formatFrom(QLatin1String(from)).rate() * format.rate());
        }
    }

    // Drop-frame gains 0.108 frame on the wall clock every hour: a frame by 10 o'clock. Only the
    // format is kept: a later start reads it back, on the Mac clock.
    void macClockAndStoredFormat()
    {
        auto clock = makeClock(QStringLiteral("25|0|0"));
        clock->setFormat(formatFrom(QStringLiteral("30|1|1")), utcAt(11 * 3600));
        QCOMPARE(clock->timecodeAt(utcAt(9 * 3600)), QStringLiteral("09:00:00;00"));
        QCOMPARE(clock->timecodeAt(utcAt(11 * 3600)), QStringLiteral("11:00:00;01"));
        QVERIFY(clock->lockTyped(QStringLiteral("01:00:00;00"), utcAt(9.5 * 3600), 0));
        clock->useMacClock(-3 * 3600);
        QCOMPARE(clock->offsetFrames(), 0.0);
        QCOMPARE(clock->timecodeAt(utcAt(9.5 * 3600)), QStringLiteral("06:30:00;00"));
        QVERIFY(m_defaults->flush());
        Defaults reread(m_defaults->filePath());
        CameraTimecode relaunched(reread);
        QCOMPARE(relaunched.format().storageString(), QStringLiteral("30|1|1"));
        QCOMPARE(relaunched.source(), CameraTimecode::Source(CameraTimecode::MacClock{}));
        for (const QJsonValue& unreadable : {QJsonValue(QStringLiteral("29|1|0")), QJsonValue(30)}) {
            m_defaults->set(formatKey, unreadable);
            QCOMPARE(CameraTimecode(*m_defaults).format(), Format{});
        }
    }

    // The demo's canned scan on the clock: the phone is alerted after a second and reads the
    // camera 3.5 s later; the steps of a scan cancelled or started again do nothing.
    void demoScan()
    {
        ManualClock time(utcAt(10 * 3600));
        CameraTimecode clock(*m_defaults, &time);
        clock.setDemoMode(true);
        const auto phones = [&clock] {
            const auto* waiting = std::get_if<CameraTimecode::Waiting>(&clock.scan());
            return waiting ? waiting->pushed : -1;
        };
        clock.startScan();
        QCOMPARE(phones(), 0);
        time.advance(500ms);
        clock.cancelScan();
        time.advance(10s);
        QCOMPARE(phones(), -1);
        clock.startScan();
        time.advance(2s);
        QCOMPARE(phones(), 1);
        clock.startScan();
        time.advance(1s);
        QCOMPARE(phones(), 1);
        time.advance(2500ms); // the replaced scan's reading falls due here
        QCOMPARE(clock.source(), CameraTimecode::Source(CameraTimecode::MacClock{}));
        time.advance(1s);
        QCOMPARE(clock.scan(), CameraTimecode::ScanState(CameraTimecode::Idle{}));
        QCOMPARE(clock.source(), CameraTimecode::Source(CameraTimecode::Camera{time.now(), true}));
        QCOMPARE(clock.timecodeAt(time.now()), QStringLiteral("14:32:10:00"));
        QCOMPARE(time.activeTimerCount(), 0);
    }
};

PINDLE_TEST(TestCameraTimecode)
#include "test_camera_timecode.moc"
