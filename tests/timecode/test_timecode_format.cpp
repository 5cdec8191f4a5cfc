#include "common/TestMain.h"

#include "timecode/CameraTimecode.h"

#include <limits>

using Format = CameraTimecode::Format;

namespace {

Format formatFrom(const QString& storage)
{
    const auto format = Format::fromStorage(storage);
    if (!format)
        qFatal("bad storage text in test data: %s", qPrintable(storage));
    return *format;
}

// Every menu format plus the whole-rate ones only storage and the service can ask for.
void addEveryFormatRow()
{
    QTest::addColumn<QString>("storage");
    for (const Format& format : CameraTimecode::menuFormats())
        QTest::newRow(qPrintable(format.label())) << format.storageString();
    QTest::newRow("48 fps") << QStringLiteral("48|0|0");
    QTest::newRow("60 fps") << QStringLiteral("60|0|0");
}

} // namespace

class TestTimecodeFormat : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Walks the labels of a day in order like the camera's counter, skipping the labels
    // drop-frame never shows: the n-th label shown must be frame n, and must parse back to n.
    void everyFrameOfTheDay_data() { addEveryFormatRow(); }
    void everyFrameOfTheDay()
    {
        QFETCH(QString, storage);
        const Format format = formatFrom(storage);
        const int base = format.base;
        const int dropped = format.dropFrame ? base / 15 : 0;
        char label[12] = "00:00:00:00";
        label[8] = format.dropFrame ? ';' : ':';
        const auto put = [&label](int at, int value) {
            label[at] = static_cast<char>('0' + value / 10);
            label[at + 1] = static_cast<char>('0' + value % 10);
        };
        qint64 count = 0;
        for (int h = 0; h < 24; ++h) {
            put(0, h);
            for (int m = 0; m < 60; ++m) {
                put(3, m);
                for (int s = 0; s < 60; ++s) {
                    put(6, s);
                    for (int f = 0; f < base; ++f) {
                        if (s == 0 && f < dropped && m % 10 != 0)
                            continue;
                        put(9, f);
                        const QString formatted = format.formatFrames(count);
                        if (formatted != QLatin1StringView(label, 11))
                            QFAIL(qPrintable(QStringLiteral("frame %1 formats as %2, expected %3")
                                                 .arg(count)
                                                 .arg(formatted, QLatin1StringView(label, 11))));
                        if (format.parseFrames(formatted) != count)
                            QFAIL(qPrintable(QStringLiteral("%1 does not parse back to %2").arg(formatted).arg(count)));
                        ++count;
                    }
                }
            }
        }
        QCOMPARE(count, format.framesPerDay());
        // Whole days either side name the same labels.
        for (const qint64 f : {qint64(0), qint64(1), count / 2, count - 1}) {
            QCOMPARE(format.formatFrames(f + count), format.formatFrames(f));
            QCOMPARE(format.formatFrames(f - count), format.formatFrames(f));
            QCOMPARE(format.formatFrames(f - 7 * count), format.formatFrames(f));
        }
    }

    void framesPerDay_data()
    {
        QTest::addColumn<QString>("storage");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("25") << "25|0|0" << qint64(2160000);
        QTest::newRow("29.97 DF") << "30|1|1" << qint64(2589408);
        QTest::newRow("29.97") << "30|1|0" << qint64(2592000);
        QTest::newRow("59.94 DF") << "60|1|1" << qint64(5178816);
        QTest::newRow("30 DF") << "30|0|1" << qint64(2589408);
    }
    void framesPerDay()
    {
        QFETCH(QString, storage);
        QFETCH(qint64, expected);
        QCOMPARE(formatFrom(storage).framesPerDay(), expected);
    }

    void formatFrames_data()
    {
        constexpr qint64 max = std::numeric_limits<qint64>::max();
        constexpr qint64 min = std::numeric_limits<qint64>::min();
        QTest::addColumn<QString>("storage");
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<QString>("expected");
        QTest::newRow("DF last of first minute") << "30|1|1" << qint64(1799) << "00:00:59;29";
        QTest::newRow("DF skips ;00 ;01") << "30|1|1" << qint64(1800) << "00:01:00;02";
        QTest::newRow("DF tenth minute keeps ;00") << "30|1|1" << qint64(17982) << "00:10:00;00";
        QTest::newRow("DF one hour") << "30|1|1" << qint64(107892) << "01:00:00;00";
        QTest::newRow("DF minus one") << "30|1|1" << qint64(-1) << "23:59:59;29";
        QTest::newRow("59.94 DF one hour") << "60|1|1" << qint64(215784) << "01:00:00;00";
        QTest::newRow("59.94 DF skips four") << "60|1|1" << qint64(3600) << "00:01:00;04";
        QTest::newRow("25 one hour") << "25|0|0" << qint64(90000) << "01:00:00:00";
        QTest::newRow("25 minus one") << "25|0|0" << qint64(-1) << "23:59:59:24";
        QTest::newRow("25 minus a day") << "25|0|0" << qint64(-2160000) << "00:00:00:00";
        QTest::newRow("25 one day") << "25|0|0" << qint64(2160000) << "00:00:00:00";
        QTest::newRow("25 a day and one back") << "25|0|0" << qint64(-2160001) << "23:59:59:24";
        QTest::newRow("25 int64 max") << "25|0|0" << max << "00:37:12:07";
        QTest::newRow("25 int64 min") << "25|0|0" << min << "23:22:47:17";
        QTest::newRow("DF int64 max") << "30|1|1" << max << "22:22:15;29";
        QTest::newRow("DF int64 min") << "30|1|1" << min << "01:37:44;00";
        QTest::newRow("59.94 DF int64 max") << "60|1|1" << max << "23:11:07;59";
        QTest::newRow("59.94 DF int64 min") << "60|1|1" << min << "00:48:52;00";
    }
    void formatFrames()
    {
        QFETCH(QString, storage);
        QFETCH(qint64, frames);
        QFETCH(QString, expected);
        QCOMPARE(formatFrom(storage).formatFrames(frames), expected);
    }

    void parseFrames_data()
    {
        // clang-format off
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("expected"); // -1: no value
        QTest::newRow("DF after the skip") << "30|1|1" << "00:01:00;02" << qint64(1800);
        QTest::newRow("DF tenth minute") << "30|1|1" << "00:10:00;00" << qint64(17982);
        QTest::newRow("DF label never shown") << "30|1|1" << "00:01:00;00" << qint64(1798);
        QTest::newRow("59.94 DF hour") << "60|1|1" << "01:00:00;00" << qint64(215784);
        QTest::newRow("DF with colons") << "30|1|1" << "10:00:00:00" << qint64(1078920);
        QTest::newRow("NDF with semicolon") << "25|0|0" << "10:00:00;00" << qint64(900000);
        QTest::newRow("dots") << "25|0|0" << "10.00.00.00" << qint64(900000);
        QTest::newRow("empty pieces dropped") << "25|0|0" << "10::00:::00;.00" << qint64(900000);
        QTest::newRow("last frame") << "25|0|0" << "23:59:59:24" << qint64(2159999);
        QTest::newRow("three parts") << "25|0|0" << "10:00:00" << qint64(-1);
        QTest::newRow("five parts") << "25|0|0" << "10:00:00:00:00" << qint64(-1);
        QTest::newRow("hour 24") << "25|0|0" << "24:00:00:00" << qint64(-1);
        QTest::newRow("minute 60") << "25|0|0" << "10:60:00:00" << qint64(-1);
        QTest::newRow("second 60") << "25|0|0" << "10:00:60:00" << qint64(-1);
        QTest::newRow("frame 25 at 25") << "25|0|0" << "10:00:00:25" << qint64(-1);
        QTest::newRow("frame 29 at 29.97") << "30|1|0" << "10:00:00:29" << qint64(1080029);
        QTest::newRow("frame 30 at 29.97 DF") << "30|1|1" << "10:00:00;30" << qint64(-1);
        QTest::newRow("comma separates nothing") << "25|0|0" << "10,00,00,00" << qint64(-1);
        QTest::newRow("stray word skipped") << "25|0|0" << "TC:10:00:00:00" << qint64(900000);
        QTest::newRow("word glued to frames") << "25|0|0" << "10:00:00:00x" << qint64(-1);
        QTest::newRow("empty") << "25|0|0" << "" << qint64(-1);
        QTest::newRow("only separators") << "25|0|0" << "::::" << qint64(-1);
        QTest::newRow("negative hour") << "25|0|0" << "-1:00:00:00" << qint64(-1);
        QTest::newRow("negative among five") << "25|0|0" << "-1:10:00:00:00" << qint64(-1);
        QTest::newRow("negative zero") << "25|0|0" << "00:-0:00:00" << qint64(-1);
        QTest::newRow("negative frame DF") << "30|1|1" << "00:01:00;-2" << qint64(-1);
        // A plus sign reads as the number it signs.
        QTest::newRow("plus sign") << "25|0|0" << "+1:00:00:00" << qint64(90000);
        QTest::newRow("lone sign skipped") << "25|0|0" << "+:10:00:00:00" << qint64(900000);
        QTest::newRow("huge hour") << "25|0|0" << "99999999999999999999:00:00:00" << qint64(-1);
        // Too large to read is not a stray word: the text is refused rather than shifted.
        QTest::newRow("huge fifth piece") << "25|0|0" << "99999999999999999999:10:00:00:00" << qint64(-1);
        QTest::newRow("int64 max hour") << "25|0|0" << "9223372036854775807:00:00:00" << qint64(-1);
        QTest::newRow("int64 max frame") << "25|0|0" << "00:00:00:9223372036854775807" << qint64(-1);
        QTest::newRow("leading zeros") << "25|0|0" << "000000000000000000000000010:00:00:00" << qint64(900000);
        QTest::newRow("arabic-indic digits") << "25|0|0" << QString::fromUtf8("١٠:00:00:00") << qint64(-1);
        QTest::newRow("fullwidth digits") << "25|0|0" << QString::fromUtf8("１０:００:００:００") << qint64(-1);
        QTest::newRow("leading space") << "25|0|0" << " 10:00:00:00" << qint64(-1);
        QTest::newRow("trailing newline") << "25|0|0" << "10:00:00:00\n" << qint64(-1);
        QTest::newRow("inner space") << "25|0|0" << "10 :00:00:00" << qint64(-1);
        QTest::newRow("nul") << "25|0|0" << QString(QChar(0)) + "10:00:00:00" << qint64(-1);
        // clang-format on
    }
    void parseFrames()
    {
        QFETCH(QString, storage);
        QFETCH(QString, text);
        QFETCH(qint64, expected);
        const auto frames = formatFrom(storage).parseFrames(text);
        if (expected < 0)
            QVERIFY2(!frames, qPrintable(QString::number(frames.value_or(0))));
        else
            QCOMPARE(frames, std::optional<qint64>(expected));
    }

    void fromStorage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("base");
        QTest::addColumn<bool>("pulldown");
        QTest::addColumn<bool>("dropFrame");
        QTest::newRow("30|0|1") << "30|0|1" << true << 30 << false << true;
        QTest::newRow("25|0|1 no DF at 25") << "25|0|1" << true << 25 << false << false;
        QTest::newRow("24|1|1 no DF at 24") << "24|1|1" << true << 24 << true << false;
        QTest::newRow("48|0|0") << "48|0|0" << true << 48 << false << false;
        QTest::newRow("other flags are false") << "30|2|-1" << true << 30 << false << false;
        QTest::newRow("empty pieces dropped") << "|60||1|1|" << true << 60 << true << true;
        QTest::newRow("29|1|0") << "29|1|0" << false << 0 << false << false;
        QTest::newRow("0|0|0") << "0|0|0" << false << 0 << false << false;
        QTest::newRow("-30|1|1") << "-30|1|1" << false << 0 << false << false;
        QTest::newRow("25|0") << "25|0" << false << 0 << false << false;
        QTest::newRow("25|0|0|0") << "25|0|0|0" << false << 0 << false << false;
        QTest::newRow("empty") << "" << false << 0 << false << false;
        QTest::newRow("bars") << "|||" << false << 0 << false << false;
        QTest::newRow("word") << "x|0|0" << false << 0 << false << false;
        QTest::newRow("space") << "25|0|0 " << false << 0 << false << false;
        QTest::newRow("comma") << "25,0,0" << false << 0 << false << false;
        QTest::newRow("huge") << "25|99999999999999999999|0" << false << 0 << false << false;
        QTest::newRow("base beyond int") << "4294967321|0|0" << false << 0 << false << false;
    }
    void fromStorage()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        const auto format = Format::fromStorage(text);
        QCOMPARE(format.has_value(), valid);
        if (!valid)
            return;
        QTEST(format->base, "base");
        QTEST(format->pulldown, "pulldown");
        QTEST(format->dropFrame, "dropFrame");
    }

    void menuAndLabels_data()
    {
        // clang-format off
        QTest::addColumn<QString>("storage");
        QTest::addColumn<QString>("label");
        QTest::newRow("23.976") << "24|1|0" << "23.976 fps";
        QTest::newRow("24") << "24|0|0" << "24 fps";
        QTest::newRow("25") << "25|0|0" << "25 fps";
        QTest::newRow("29.97 DF") << "30|1|1" << "29.97 DF fps";
        QTest::newRow("29.97") << "30|1|0" << "29.97 fps";
        QTest::newRow("30") << "30|0|0" << "30 fps";
        QTest::newRow("50") << "50|0|0" << "50 fps";
        QTest::newRow("59.94 DF") << "60|1|1" << "59.94 DF fps";
        QTest::newRow("30 DF") << "30|0|1" << "30 DF fps";
        QTest::newRow("47.952") << "48|1|0" << "47.952 fps";
        QTest::newRow("49.95") << "50|1|0" << "49.95 fps";
        QTest::newRow("59.94") << "60|1|0" << "59.94 fps";
        // clang-format on
    }
    void menuAndLabels()
    {
        QFETCH(QString, storage);
        QFETCH(QString, label);
        const Format format = formatFrom(storage);
        QCOMPARE(format.label(), label);
        QCOMPARE(format.storageString(), storage);
        QCOMPARE(Format::fromStorage(format.storageString()), std::optional<Format>(format));
    }

    void menuOrder()
    {
        QStringList storage;
        for (const Format& format : CameraTimecode::menuFormats())
            storage << format.storageString();
        QCOMPARE(storage.join(u' '), QStringLiteral("24|1|0 24|0|0 25|0|0 30|1|1 30|1|0 30|0|0 50|0|0 60|1|1"));
        QCOMPARE(Format{}, formatFrom(QStringLiteral("25|0|0")));
    }

    // Formats built by hand rather than read from storage must not crash or divide by zero.
    void degenerateBase_data()
    {
        QTest::addColumn<int>("base");
        QTest::addColumn<bool>("dropFrame");
        QTest::newRow("zero") << 0 << false;
        QTest::newRow("zero DF") << 0 << true;
        QTest::newRow("negative") << -25 << false;
        QTest::newRow("int min DF") << std::numeric_limits<int>::min() << true;
    }
    void degenerateBase()
    {
        QFETCH(int, base);
        QFETCH(bool, dropFrame);
        const Format format{base, true, dropFrame};
        QCOMPARE(format.framesPerDay(), qint64(0));
        QCOMPARE(format.formatFrames(12345), QStringLiteral("00:00:00:00"));
        QCOMPARE(format.formatFrames(std::numeric_limits<qint64>::min()), QStringLiteral("00:00:00:00"));
        QVERIFY(!format.parseFrames(u"00:00:00:00"));
    }

    void wideFrameNumbers()
    {
        const Format format{1000, false, false};
        QCOMPARE(format.formatFrames(999), QStringLiteral("00:00:00:999"));
        QCOMPARE(format.formatFrames(3601000 + 5), QStringLiteral("01:00:01:05"));
        QCOMPARE(format.parseFrames(u"00:00:00:999"), std::optional<qint64>(999));
        const Format widest{std::numeric_limits<int>::max(), false, true};
        const qint64 last = widest.framesPerDay() - 1;
        QCOMPARE(widest.parseFrames(widest.formatFrames(last)), std::optional<qint64>(last));
        QCOMPARE(widest.formatFrames(-1), widest.formatFrames(last));
    }
};

PINDLE_TEST(TestTimecodeFormat)
#include "test_timecode_format.moc"
