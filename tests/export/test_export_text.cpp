#include "common/TestMain.h"

#include "export/LogExportText.h"

#include <QRandomGenerator>

#include <limits>
#include <optional>

using OptionalText = std::optional<QString>;
using OptionalFrames = std::optional<qint64>;

namespace {

LoggableMarker rangeMarker(const QString& in, const OptionalText& out)
{
    LoggableMarker marker;
    marker.timecode = in;
    marker.timecodeOut = out;
    marker.markerType = QStringLiteral("note");
    return marker;
}

// Strings of the characters that cleaning and trimming care about, mixed with plain letters.
QString hostileText(QRandomGenerator& random)
{
    static const QString alphabet = QStringLiteral("ab \t\r\n\v\f\u00a0\u2028\u3000\u200b") + QChar(0);
    const int length = random.bounded(12);
    QString text;
    for (int i = 0; i < length; ++i)
        text += alphabet[random.bounded(int(alphabet.size()))];
    return text;
}

const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"); // man ZWJ woman ZWJ girl
const QString flagFrance = QStringLiteral("\U0001F1EB\U0001F1F7");
const QString flagGermany = QStringLiteral("\U0001F1E9\U0001F1EA");
const QString accentedE = QStringLiteral("e\u0301"); // e + combining acute

} // namespace

class TestExportText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clean_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("tabs and breaks") << QStringLiteral("  a\tb\r\nc\rd  ") << QStringLiteral("a b c d");
        QTest::newRow("inner run kept") << QStringLiteral("a\r\n\r\nb") << QStringLiteral("a  b");
        QTest::newRow("CR LF is one space") << QStringLiteral("a\r\nb") << QStringLiteral("a b");
        QTest::newRow("LF CR is two") << QStringLiteral("a\n\rb") << QStringLiteral("a  b");
        QTest::newRow("CR CR LF") << QStringLiteral("a\r\r\nb") << QStringLiteral("a  b");
        QTest::newRow("lone LF") << QStringLiteral("a\nb") << QStringLiteral("a b");
        QTest::newRow("blank") << QStringLiteral(" \t\r\n ") << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("vertical tab kept") << QStringLiteral(" \vx\v ") << QStringLiteral("\vx\v");
        QTest::newRow("form feed kept") << QStringLiteral("\fx") << QStringLiteral("\fx");
        QTest::newRow("no-break space trimmed") << QStringLiteral("\u00a0x\u3000") << QStringLiteral("x");
        QTest::newRow("line separator kept") << QStringLiteral("\u2028x") << QStringLiteral("\u2028x");
        QTest::newRow("zero width space kept") << QStringLiteral("\u200bx") << QStringLiteral("\u200bx");
    }
    void clean()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::clean(text), expected);
    }

    // Whatever a text holds, its clean form is one line without tabs, and cleaning it again
    // changes nothing.
    void cleanIsOneLineAndStable()
    {
        QRandomGenerator random(4101);
        for (int i = 0; i < 5000; ++i) {
            const QString text = hostileText(random);
            const QString cleaned = LogExport::clean(text);
            QVERIFY(!cleaned.contains(QLatin1Char('\t')));
            QVERIFY(!cleaned.contains(QLatin1Char('\r')));
            QVERIFY(!cleaned.contains(QLatin1Char('\n')));
            QCOMPARE(LogExport::clean(cleaned), cleaned);
        }
    }

    void firstNonEmpty()
    {
        QCOMPARE(LogExport::firstNonEmpty({std::nullopt, QStringLiteral("   "), QStringLiteral("\tx ")}),
                 QStringLiteral("x"));
        QCOMPARE(LogExport::firstNonEmpty({}), QString());
        QCOMPARE(LogExport::firstNonEmpty({QStringLiteral(" "), QStringLiteral("\r\n"), std::nullopt}), QString());
        QCOMPARE(LogExport::firstNonEmpty({QStringLiteral(" a "), QStringLiteral("b")}), QStringLiteral("a"));
    }

    void plainPunctuation()
    {
        QCOMPARE(
            LogExport::plainPunctuation(QStringLiteral("\u2018a\u2019 \u201cb\u201d c\u2013d\u2014e\u2026\u00a0f")),
            QStringLiteral("'a' \"b\" c-d-e... f"));
        QCOMPARE(LogExport::plainPunctuation(QStringLiteral("plain")), QStringLiteral("plain"));
    }

    void commentText_data()
    {
        QTest::addColumn<OptionalText>("note");
        QTest::addColumn<OptionalText>("summary");
        QTest::addColumn<OptionalText>("quote");
        QTest::addColumn<QString>("expected");
        QTest::newRow("note and summary")
            << OptionalText(QStringLiteral("take two")) << OptionalText(QStringLiteral("Great answer"))
            << OptionalText() << QStringLiteral("take two | Great answer");
        QTest::newRow("only quote") << OptionalText() << OptionalText()
                                    << OptionalText(QStringLiteral(" \"so\"\tthen ")) << QStringLiteral("\"so\" then");
        QTest::newRow("nothing") << OptionalText() << OptionalText() << OptionalText() << QString();
        QTest::newRow("blank note") << OptionalText(QStringLiteral(" \r\n")) << OptionalText(QStringLiteral("s"))
                                    << OptionalText() << QStringLiteral("s");
        QTest::newRow("only note") << OptionalText(QStringLiteral("n ")) << OptionalText(QStringLiteral(" "))
                                   << OptionalText() << QStringLiteral("n");
        QTest::newRow("blank summary falls to quote") << OptionalText() << OptionalText(QStringLiteral("\t"))
                                                      << OptionalText(QStringLiteral("q")) << QStringLiteral("q");
    }
    void commentText()
    {
        QFETCH(OptionalText, note);
        QFETCH(OptionalText, summary);
        QFETCH(OptionalText, quote);
        QFETCH(QString, expected);
        LoggableMarker marker;
        marker.manualNote = note;
        marker.summary = summary;
        marker.quote = quote;
        QCOMPARE(LogExport::commentText(marker), expected);
    }

    void tagSuffix_data()
    {
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QString>("expected");
        QTest::newRow("blanks dropped") << QStringList{QStringLiteral("  "), QStringLiteral("b-roll"), QString(),
                                                       QStringLiteral("night")}
                                        << QStringLiteral(" [b-roll, night]");
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("only blank") << QStringList{QStringLiteral(" "), QStringLiteral("\t\n")} << QString();
        QTest::newRow("duplicates kept") << QStringList{QStringLiteral("a"), QStringLiteral(" a")}
                                         << QStringLiteral(" [a, a]");
        QTest::newRow("cleaned") << QStringList{QStringLiteral("x\ty\r\n")} << QStringLiteral(" [x y]");
    }
    void tagSuffix()
    {
        QFETCH(QStringList, tags);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::tagSuffix(tags), expected);
    }

    void colorForType_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("EARMARK") << QStringLiteral("EARMARK") << QStringLiteral("red");
        QTest::newRow("soundbite") << QStringLiteral("soundbite") << QStringLiteral("blue");
        QTest::newRow("great") << QStringLiteral("great") << QStringLiteral("green");
        QTest::newRow("Gv") << QStringLiteral("Gv") << QStringLiteral("yellow");
        QTest::newRow("cutaway") << QStringLiteral("cutaway") << QStringLiteral("yellow");
        QTest::newRow("broll") << QStringLiteral("broll") << QStringLiteral("cyan");
        QTest::newRow("inout") << QStringLiteral("inout") << QStringLiteral("cyan");
        QTest::newRow("take") << QStringLiteral("take") << QStringLiteral("magenta");
        QTest::newRow("note") << QStringLiteral("note") << QStringLiteral("white");
        QTest::newRow("log") << QStringLiteral("LOG") << QStringLiteral("white");
        QTest::newRow("padded is no match") << QStringLiteral(" great") << QStringLiteral("blue");
        QTest::newRow("empty") << QString() << QStringLiteral("blue");
    }
    void colorForType()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::colorForType(kind), expected);
    }

    void colorForResolveName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("sixteen");
        QTest::addColumn<OptionalText>("expected");
        QTest::newRow("lavender standard")
            << QStringLiteral("LavenderResolveColor") << false << OptionalText(QStringLiteral("magenta"));
        QTest::newRow("lavender sixteen")
            << QStringLiteral("LavenderResolveColor") << true << OptionalText(QStringLiteral("violet"));
        QTest::newRow("red sixteen falls back") << QStringLiteral("Red") << true << OptionalText(QStringLiteral("red"));
        QTest::newRow("orange unknown") << QStringLiteral("orange") << false << OptionalText();
        QTest::newRow("orange unknown sixteen") << QStringLiteral("orange") << true << OptionalText();
        QTest::newRow("suffix is case-sensitive") << QStringLiteral("Redresolvecolor") << false << OptionalText();
        QTest::newRow("not trimmed") << QStringLiteral(" red") << false << OptionalText();
        QTest::newRow("suffix anywhere") << QStringLiteral("ResolveColorCocoa") << false
                                         << OptionalText(QStringLiteral("black"));
        QTest::newRow("cocoa sixteen") << QStringLiteral("Cocoa") << true << OptionalText(QStringLiteral("grey"));
        QTest::newRow("cream sixteen") << QStringLiteral("Cream") << true << OptionalText(QStringLiteral("white"));
        QTest::newRow("sky sixteen") << QStringLiteral("SkyResolveColor") << true
                                     << OptionalText(QStringLiteral("denim"));
        QTest::newRow("mint standard") << QStringLiteral("Mint") << false << OptionalText(QStringLiteral("green"));
    }
    void colorForResolveName()
    {
        QFETCH(QString, name);
        QFETCH(bool, sixteen);
        QFETCH(OptionalText, expected);
        QCOMPARE(LogExport::colorForResolveName(name, sixteen), expected);
    }

    void framesFromTimecode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("fps");
        QTest::addColumn<OptionalFrames>("expected");
        QTest::newRow("one hour at 25") << QStringLiteral("01:00:00:00") << 25 << OptionalFrames(90000);
        QTest::newRow("at 24") << QStringLiteral("00:00:01:10") << 24 << OptionalFrames(34);
        QTest::newRow("empty piece dropped") << QStringLiteral("00::00:01:10") << 24 << OptionalFrames(34);
        QTest::newRow("drop-frame separator") << QStringLiteral("00:00:01;10") << 24 << OptionalFrames(34);
        QTest::newRow("full stop separator") << QStringLiteral("00.00.01.10") << 24 << OptionalFrames(34);
        QTest::newRow("three fields") << QStringLiteral("00:00:01") << 24 << OptionalFrames();
        QTest::newRow("five fields") << QStringLiteral("00:00:00:01:10") << 24 << OptionalFrames();
        QTest::newRow("no range check") << QStringLiteral("00:00:00:99") << 25 << OptionalFrames(99);
        QTest::newRow("signs") << QStringLiteral("+1:-2:3:4") << 25 << OptionalFrames((58 * 60 + 3) * 25 + 4);
        QTest::newRow("bare sign") << QStringLiteral("00:+:01:10") << 24 << OptionalFrames();
        QTest::newRow("space inside") << QStringLiteral("00:00:01: 10") << 24 << OptionalFrames();
        QTest::newRow("not cleaned") << QStringLiteral(" 00:00:01:10") << 24 << OptionalFrames();
        QTest::newRow("letters") << QStringLiteral("00:00:0a:10") << 24 << OptionalFrames();
        QTest::newRow("empty") << QString() << 24 << OptionalFrames();
        QTest::newRow("hours overflow") << QStringLiteral("9223372036854775807:00:00:00") << 25 << OptionalFrames();
        QTest::newRow("field overflow") << QStringLiteral("0:0:0:9223372036854775808") << 25 << OptionalFrames();
        QTest::newRow("largest frames") << QStringLiteral("0:0:0:9223372036854775807") << 25
                                        << OptionalFrames(std::numeric_limits<qint64>::max());
        QTest::newRow("sum overflows") << QStringLiteral("0:0:1:9223372036854775807") << 25 << OptionalFrames();
        QTest::newRow("smallest frames") << QStringLiteral("0:0:0:-9223372036854775808") << 25
                                         << OptionalFrames(std::numeric_limits<qint64>::min());
    }
    void framesFromTimecode()
    {
        QFETCH(QString, text);
        QFETCH(int, fps);
        QFETCH(OptionalFrames, expected);
        QCOMPARE(LogExport::framesFromTimecode(text, fps), expected);
    }

    void markerLength_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<OptionalText>("out");
        QTest::addColumn<int>("fps");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("two seconds at 25")
            << QStringLiteral("00:00:10:00") << OptionalText(QStringLiteral("00:00:12:00")) << 25 << qint64(50);
        QTest::newRow("drop-frame range at 30")
            << QStringLiteral("00:00:10;00") << OptionalText(QStringLiteral("00:00:12;00")) << 30 << qint64(60);
        QTest::newRow("out before in") << QStringLiteral("00:00:12:00") << OptionalText(QStringLiteral("00:00:10:00"))
                                       << 25 << qint64(1);
        QTest::newRow("out equals in") << QStringLiteral("00:00:12:00") << OptionalText(QStringLiteral("00:00:12:00"))
                                       << 25 << qint64(1);
        QTest::newRow("no out") << QStringLiteral("00:00:10:00") << OptionalText() << 25 << qint64(1);
        QTest::newRow("empty out") << QStringLiteral("00:00:10:00") << OptionalText(QString()) << 25 << qint64(1);
        QTest::newRow("in does not parse")
            << QStringLiteral("soon") << OptionalText(QStringLiteral("00:00:12:00")) << 25 << qint64(1);
        QTest::newRow("out does not parse")
            << QStringLiteral("00:00:10:00") << OptionalText(QStringLiteral("later")) << 25 << qint64(1);
        QTest::newRow("in is cleaned") << QStringLiteral(" 00:00:10:00\n")
                                       << OptionalText(QStringLiteral("00:00:11:00")) << 25 << qint64(25);
        QTest::newRow("out is not cleaned")
            << QStringLiteral("00:00:10:00") << OptionalText(QStringLiteral(" 00:00:11:00")) << 25 << qint64(1);
        // out − in leaves the 64-bit range: the length is never below 1.
        QTest::newRow("difference overflows")
            << QStringLiteral("-2562047788015215:00:00:00") << OptionalText(QStringLiteral("2562047788015215:00:00:00"))
            << 1 << qint64(1);
        QTest::newRow("out overflows") << QStringLiteral("00:00:00:00")
                                       << OptionalText(QStringLiteral("9223372036854775807:00:00:00")) << 25
                                       << qint64(1);
    }
    void markerLength()
    {
        QFETCH(QString, in);
        QFETCH(OptionalText, out);
        QFETCH(int, fps);
        QFETCH(qint64, expected);
        QCOMPARE(LogExport::markerLength(rangeMarker(in, out), fps), expected);
    }

    void leftCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");
        QTest::newRow("ascii") << QStringLiteral("abcdef") << 3 << QStringLiteral("abc");
        QTest::newRow("shorter") << QStringLiteral("ab") << 3 << QStringLiteral("ab");
        QTest::newRow("zero") << QStringLiteral("ab") << 0 << QString();
        QTest::newRow("negative") << QStringLiteral("ab") << -4 << QString();
        QTest::newRow("surrogate pair") << QStringLiteral("\U0001F600\U0001F600") << 1 << QStringLiteral("\U0001F600");
        QTest::newRow("ZWJ family whole")
            << (QStringLiteral("a") + family + QStringLiteral("b")) << 2 << (QStringLiteral("a") + family);
        QTest::newRow("ZWJ family not split") << family << 1 << family;
        QTest::newRow("flags") << (flagFrance + flagGermany) << 1 << flagFrance;
        QTest::newRow("flags both") << (flagFrance + flagGermany + QStringLiteral("x")) << 2
                                    << (flagFrance + flagGermany);
        QTest::newRow("combining accent") << (accentedE + QStringLiteral("xyz")) << 1 << accentedE;
        QTest::newRow("accent after cut")
            << (QStringLiteral("ab") + accentedE) << 3 << (QStringLiteral("ab") + accentedE);
        QTest::newRow("CR LF one character") << QStringLiteral("\r\nab") << 1 << QStringLiteral("\r\n");
    }
    void leftCharacters()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::leftCharacters(text, count), expected);
    }

    void trimSpacesAndTabs()
    {
        QCOMPARE(LogExport::trimSpacesAndTabs(QStringLiteral("\t \u00a0x y\u2003\t")), QStringLiteral("x y"));
        QCOMPARE(LogExport::trimSpacesAndTabs(QStringLiteral("\vx\n")), QStringLiteral("\vx\n"));
        QCOMPARE(LogExport::trimSpacesAndTabs(QStringLiteral(" \t ")), QString());
    }
};

PINDLE_TEST(TestExportText)
#include "test_export_text.moc"
