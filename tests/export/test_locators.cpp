#include "common/TestMain.h"

#include "ExportTesting.h"
#include "export/LocatorsWriter.h"

using readers::marker;
using Text = std::optional<QString>;

class TestLocatorsWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fullLines()
    {
        QCOMPARE(LogExport::avidLocators({}, 25, false), QStringLiteral("\n"));
        LoggableMarker first = marker("00:00:10:00", "great", "00:00:12:00");
        first.manualNote = "wide";
        first.summary = "She laughs";
        first.tags = {"funny"};
        LoggableMarker second = marker(" 00:00:20:00\n", "note");
        second.quote = "so\u2028then\v";
        second.tags = {" ", "a", "b"};
        // A known user colour wins (named apart in the sixteen-colour set); an unknown or empty
        // one falls back to the kind's.
        LoggableMarker unparsable = marker("soon", "cutaway", "00:00:12:00");
        unparsable.userResolveColor = "LavenderResolveColor";
        LoggableMarker overflowing = marker("00:00:00:00", QString(), "9223372036854775807:00:00:00");
        overflowing.userResolveColor = "OrangeResolveColor";
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
        QTest::newRow("odd separators, no label dropped") << "00:00:10;00" << Text("00::00.12;00") << "60";
        // Drop-frame ranges count frames, not labels: ;00 and ;01 open every minute but each tenth.
        QTest::newRow("drop-frame minute") << "00:00:59;29" << Text("00:01:00;02") << "1";
        QTest::newRow("drop-frame, out marked only") << "00:00:59:29" << Text("00:02:00;04") << "1801";
        QTest::newRow("tenth minute drops none") << "00:10:00;00" << Text("00:11:00;02") << "1800";
        QTest::newRow("signs") << "0:0:0:0" << Text("+1:-2:3:4") << "104494";
        QTest::newRow("out not cleaned") << "00:00:10:00" << Text(" 00:00:11:00") << "1";
        QTest::newRow("largest frames") << "0:0:0:1" << Text("0:0:0:9223372036854775807") << "9223372036854775806";
        QTest::newRow("field overflows") << "0:0:0:0" << Text("0:0:0:9223372036854775808") << "1";
        QTest::newRow("sum overflows") << "0:0:0:0" << Text("0:0:1:9223372036854775807") << "1";
        QTest::newRow("difference overflows") << "0:0:0:-9223372036854775808" << Text("0:0:0:1") << "1";
    }
    void length()
    {
        QFETCH(QString, in);
        QFETCH(Text, out);
        QFETCH(QString, length);
        const QString line = LogExport::avidLocators({marker(in, "note", out)}, 30, false);
        QCOMPARE(line.section(QLatin1Char('\t'), 5), length + QLatin1Char('\n'));
    }
};

PINDLE_TEST(TestLocatorsWriter)
#include "test_locators.moc"
