#include "common/TestMain.h"

#include "export/LocatorsWriter.h"

#include <optional>

using Text = std::optional<QString>;

namespace {

LoggableMarker locator(const QString& timecode, const QString& kind, const Text& out = {})
{
    LoggableMarker m;
    m.timecode = timecode;
    m.timecodeOut = out;
    m.markerType = kind;
    return m;
}

} // namespace

class TestLocatorsWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fullLines()
    {
        QCOMPARE(LogExport::avidLocators({}, 25, false), QStringLiteral("\n"));
        LoggableMarker first =
            locator(QStringLiteral("00:00:10:00"), QStringLiteral("great"), QStringLiteral("00:00:12:00"));
        first.manualNote = QStringLiteral("wide");
        first.summary = QStringLiteral("She laughs");
        first.tags = {QStringLiteral("funny")};
        LoggableMarker second = locator(QStringLiteral(" 00:00:20:00\n"), QStringLiteral("note"));
        second.quote = QStringLiteral("so\u2028then\v");
        second.tags = {QStringLiteral(" "), QStringLiteral("a"), QStringLiteral("b")};
        // A known user colour wins (named apart in the sixteen-colour set); an unknown or empty
        // one falls back to the kind's.
        LoggableMarker unparsable =
            locator(QStringLiteral("soon"), QStringLiteral("cutaway"), QStringLiteral("00:00:12:00"));
        unparsable.userResolveColor = QStringLiteral("LavenderResolveColor");
        LoggableMarker overflowing =
            locator(QStringLiteral("00:00:00:00"), QString(), QStringLiteral("9223372036854775807:00:00:00"));
        overflowing.userResolveColor = QStringLiteral("OrangeResolveColor");
        second.userResolveColor = QString();
        const QString lines = QStringLiteral("Pindle\t00:00:10:00\tV1\tgreen\twide | She laughs [funny]\t50\n"
                                             "Pindle\t00:00:20:00\tV1\twhite\tso then [a, b]\t1\n"
                                             "Pindle\tsoon\tV1\t%1\t\t1\n"
                                             "Pindle\t00:00:00:00\tV1\tblue\t\t1\n");
        QCOMPARE(LogExport::avidLocators({first, second, unparsable, overflowing}, 25, false), lines.arg(u"magenta"));
        QCOMPARE(LogExport::avidLocators({first, second, unparsable, overflowing}, 25, true), lines.arg(u"violet"));
    }

    // The length field: out − in in frames, at least 1, without overflow; only the in is cleaned.
    void length_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<Text>("out");
        QTest::addColumn<QString>("length");
        QTest::newRow("odd separators, no label dropped")
            << QStringLiteral("00:00:10;00") << Text(QStringLiteral("00::00.12;00")) << QStringLiteral("60");
        // Drop-frame ranges count frames, not labels: ;00 and ;01 open every minute but each tenth.
        QTest::newRow("drop-frame minute")
            << QStringLiteral("00:00:59;29") << Text(QStringLiteral("00:01:00;02")) << QStringLiteral("1");
        QTest::newRow("drop-frame, out marked only")
            << QStringLiteral("00:00:59:29") << Text(QStringLiteral("00:02:00;04")) << QStringLiteral("1801");
        QTest::newRow("tenth minute drops none")
            << QStringLiteral("00:10:00;00") << Text(QStringLiteral("00:11:00;02")) << QStringLiteral("1800");
        QTest::newRow("signs") << QStringLiteral("0:0:0:0") << Text(QStringLiteral("+1:-2:3:4"))
                               << QStringLiteral("104494");
        QTest::newRow("out not cleaned") << QStringLiteral("00:00:10:00") << Text(QStringLiteral(" 00:00:11:00"))
                                         << QStringLiteral("1");
        QTest::newRow("largest frames") << QStringLiteral("0:0:0:1")
                                        << Text(QStringLiteral("0:0:0:9223372036854775807"))
                                        << QStringLiteral("9223372036854775806");
        QTest::newRow("field overflows") << QStringLiteral("0:0:0:0")
                                         << Text(QStringLiteral("0:0:0:9223372036854775808")) << QStringLiteral("1");
        QTest::newRow("sum overflows") << QStringLiteral("0:0:0:0") << Text(QStringLiteral("0:0:1:9223372036854775807"))
                                       << QStringLiteral("1");
        QTest::newRow("difference overflows")
            << QStringLiteral("0:0:0:-9223372036854775808") << Text(QStringLiteral("0:0:0:1")) << QStringLiteral("1");
    }
    void length()
    {
        QFETCH(QString, in);
        QFETCH(Text, out);
        QFETCH(QString, length);
        const QString line = LogExport::avidLocators({locator(in, QStringLiteral("note"), out)}, 30, false);
        QCOMPARE(line.section(QLatin1Char('\t'), 5), length + QLatin1Char('\n'));
    }
};

PINDLE_TEST(TestLocatorsWriter)
#include "test_locators.moc"
