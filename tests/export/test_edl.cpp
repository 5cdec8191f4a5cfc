#include "common/TestMain.h"

#include "ExportTesting.h"
#include "export/EdlWriter.h"

#include <QRegularExpression>

#include <algorithm>
#include <limits>

using Format = CameraTimecode::Format;
using Text = std::optional<QString>;
using Markers = QList<LoggableMarker>;

namespace {

using readers::marker;

const Format pal{25, false, false};
const Format ntscDrop{30, true, true};
constexpr qint64 max = std::numeric_limits<qint64>::max();

// The writer as the export menu calls it for a clock format, record side from one hour; the
// converter also hands out negative frames and the ends of the 64-bit range for some words.
QString edlFor(const Format& format, const Markers& markers, const QString& title = QStringLiteral("t"),
               const QString& reel = QStringLiteral("A001"), int handle = 0,
               std::optional<qint64> recordStart = std::nullopt)
{
    static const QHash<QString, qint64> oddWords{
        {QStringLiteral("before"), -10}, {QStringLiteral("max"), max}, {QStringLiteral("min"), -max - 1}};
    return LogExport::edl(
        markers, title, reel, format.dropFrame, handle,
        recordStart.value_or(format.parseFrames(u"01:00:00:00").value_or(0)),
        [format](const QString& text) {
            return oddWords.contains(text) ? oddWords.value(text) : LogExport::eventTimecodeFrames(format, text);
        },
        [format](qint64 frames) { return LogExport::eventTimecodeText(format, frames); });
}

struct CmxEvent {
    int number = 0;
    QString reel, sourceIn, sourceOut, recordIn, recordOut, clipName;
};

// Reads a CMX 3600 list as editing systems do: CR LF lines, event fields split at any white space,
// four-line events whose source and record sides are timecodes of `format` running forwards by the
// same length. Returns the events and FCM, or an error text.
QString readCmx(const QString& text, const Format& format, QList<CmxEvent>& events, QString* fcm = nullptr)
{
    static const QRegularExpression space(QStringLiteral("\\s+"), QRegularExpression::UseUnicodePropertiesOption);
    QStringList lines;
    const QString error = readers::splitLines(text, QStringLiteral("\r\n"), lines);
    if (!error.isEmpty() || lines.size() < 2 || !lines[0].startsWith(u"TITLE: ") ||
        !lines[1].contains(QRegularExpression(QStringLiteral("^FCM: (NON-)?DROP FRAME$"))))
        return error.isEmpty() ? QStringLiteral("no title and FCM lines") : error;
    if (fcm)
        *fcm = lines[1].mid(5);
    for (qsizetype i = 2; i < lines.size(); i += 4) {
        const QStringList f = lines.value(i + 1).split(space, Qt::SkipEmptyParts);
        QList<qint64> frames;
        for (qsizetype k = 4; k < f.size(); ++k)
            frames.append(format.parseFrames(f[k]).value_or(-1));
        if (!lines[i].isEmpty() || !lines.value(i + 2).startsWith(u"* FROM CLIP NAME: ") ||
            !lines.value(i + 3).startsWith(u"* COMMENT: ") || f.size() != 8 || f[0].size() < 3 || f[2] != u"AA/V" ||
            f[3] != u"C" || frames.contains(-1) || frames[1] <= frames[0] ||
            frames[3] - frames[2] != frames[1] - frames[0])
            return QStringLiteral("unreadable event: ") + lines.mid(i, 4).join(u'|');
        events.append({f[0].toInt(), f[1], f[4], f[5], f[6], f[7], lines[i + 2].mid(18)});
    }
    return QString();
}

} // namespace

class TestEdlWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Comments: a blank speaker is left out, a present note always added; texts plain.
    void exactText()
    {
        LoggableMarker first = marker("10:00:00:00", "earmark");
        first.summary = "She said \u201cyes\u201d \u2014 twice\u2026";
        first.speaker = " Guest\u2028";
        first.manualNote = "  ";
        LoggableMarker second = marker("10:00:02:00", " b\u2013roll\n", "10:00:03:00");
        second.quote = "so \u201cthen\u201d";
        second.speaker = " \t";
        second.manualNote = "it\u2019s\r\nwide\u0085";
        QCOMPARE(edlFor(pal, {second, first}, QStringLiteral("Pindle selects Dec 6, 2026"), QStringLiteral("A 001")),
                 QStringLiteral("TITLE: PINDLE SELECTS DEC 6, 2026\r\n"
                                "FCM: NON-DROP FRAME\r\n"
                                "\r\n"
                                "001  A_001    AA/V  C        10:00:00:00 10:00:00:01 01:00:00:00 01:00:00:01\r\n"
                                "* FROM CLIP NAME: She said \"yes\" - twice...\r\n"
                                "* COMMENT: EARMARK | Guest | \r\n"
                                "\r\n"
                                "002  A_001    AA/V  C        10:00:02:00 10:00:03:00 01:00:00:01 01:00:01:01\r\n"
                                "* FROM CLIP NAME: so \"then\"\r\n"
                                "* COMMENT: B-ROLL | it's wide\r\n"));
        // Unparsable and out-of-day markers, or no converters, leave the header alone.
        const QString empty = QStringLiteral("TITLE: T\r\nFCM: NON-DROP FRAME\r\n");
        QCOMPARE(edlFor(pal, {marker("soon", "n"), marker("25:00:00:00", "n")}), empty);
        QCOMPARE(LogExport::edl({first}, QStringLiteral("t"), QStringLiteral("A001"), false, 0, 0, {}, {}), empty);
        // "%03d" grows past 999.
        Markers many;
        for (int i = 0; i < 1001; ++i)
            many.append(marker(pal.formatFrames(i * 2), "n"));
        QVERIFY(edlFor(pal, many).contains(QLatin1String("\r\n1000  A001     AA/V  C        00:01:19:23 ")));
        // A non-drop list never carries ";", even from a formatter that writes it.
        const QString forced = LogExport::edl(
            {marker("00:10:00;00", "n")}, QStringLiteral("t"), QStringLiteral("A001"), false, 0, 0,
            [](const QString& text) { return ntscDrop.parseFrames(text); },
            [](qint64 frames) { return ntscDrop.formatFrames(frames); });
        QVERIFY2(forced.contains(QLatin1String("FCM: NON-DROP FRAME")) && !forced.contains(QLatin1Char(';')),
                 qPrintable(forced));
    }

    // Titles cut at 60 and reels at 32 characters after cleaning, upper-casing and plain
    // punctuation; a reel is one token padded to 8; both count characters, not code units.
    void titleAndReel_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("titleLine");
        QTest::addColumn<QString>("reel");
        QTest::addColumn<QString>("reelField");
        const auto row = [](const char* name, const QString& title, const QString& line, const QString& reel,
                            const QString& field) { QTest::newRow(name) << title << line << reel << field; };
        row("ellipsis counts three; blank reel", QString(58, u'c') + "\u2026", QString(58, u'C') + "..", " \t\u2028 ",
            "AX      ");
        row("accents not split", QString(59, u'e') + "e\u0301z", QString(59, u'E') + "E\u0301", "E\u0301TE",
            "E\u0301TE     ");
        const QString flag = QStringLiteral("\U0001F1EB\U0001F1F7");
        row("flags cut whole", " a\tb\r\n", "A B", flag.repeated(40), flag.repeated(32));
        row("every space and break in a reel", "t\u0085x", "T X", "\vA\u00A0001\u2003B\u0001C\u3000", "A_001_B_C");
    }
    void titleAndReel()
    {
        QFETCH(QString, title);
        QFETCH(QString, titleLine);
        QFETCH(QString, reel);
        QFETCH(QString, reelField);
        const QString text = edlFor(pal, {marker("00:00:00:00", "n")}, title, reel);
        QVERIFY2(text.startsWith(QStringLiteral("TITLE: ") + titleLine +
                                 QStringLiteral("\r\nFCM: NON-DROP FRAME\r\n\r\n001  ") + reelField +
                                 QStringLiteral(" AA/V  C        00:00:00:00")),
                 qPrintable(text));
        QList<CmxEvent> events;
        QCOMPARE(readCmx(text, pal, events), QString());
    }

    // Event timecodes: a handle widens events but not before frame 0, a negative one narrows
    // nothing; frames past the 64-bit range leave a marker out; no event crosses midnight, on
    // either side: it ends on the day's last label, and a single frame there starts a frame early.
    void events_data()
    {
        QTest::addColumn<Format>("format");
        QTest::addColumn<QStringList>("ranges");
        QTest::addColumn<int>("handle");
        QTest::addColumn<qint64>("recordStart");
        QTest::addColumn<QStringList>("events");
        const qint64 hour = 90000;
        QTest::newRow("handle") << pal << QStringList{"00:00:00:03 00:00:01:00", "00:00:10:00"} << 5 << qint64(0)
                                << QStringList{"00:00:00:00 00:00:01:05 00:00:00:00 00:00:01:05",
                                               "00:00:09:20 00:00:10:06 00:00:01:05 00:00:01:16"};
        QTest::newRow("negative frames and handle")
            << pal << QStringList{"00:00:00:03 00:00:01:00", "before"} << -5 << hour
            << QStringList{"00:00:00:00 00:00:00:01 01:00:00:00 01:00:00:01",
                           "00:00:00:03 00:00:01:00 01:00:00:01 01:00:00:23"};
        QTest::newRow("64-bit ends") << pal << QStringList{"max", "min", "00:00:01:00 max", "00:00:02:00"} << 3
                                     << qint64(0) << QStringList{"00:00:01:22 00:00:02:04 00:00:00:00 00:00:00:07"};
        QTest::newRow("record side past 64 bits")
            << pal << QStringList{"00:00:01:00", "00:00:02:00", "00:00:03:00"} << 0 << max - 2
            << QStringList{"00:00:01:00 00:00:01:01 00:37:12:05 00:37:12:06",
                           "00:00:02:00 00:00:02:01 00:37:12:06 00:37:12:07"};
        QTest::newRow("last frame") << pal << QStringList{"23:59:59:24"} << 0 << hour
                                    << QStringList{"23:59:59:23 23:59:59:24 01:00:00:00 01:00:00:01"};
        QTest::newRow("handle past midnight") << pal << QStringList{"23:59:59:20"} << 10 << hour
                                              << QStringList{"23:59:59:10 23:59:59:24 01:00:00:00 01:00:00:14"};
        QTest::newRow("29.97 DF range over midnight")
            << ntscDrop << QStringList{"23:59:59;29 00:00:00;10"} << 0 << *ntscDrop.parseFrames(u"01:00:00;00")
            << QStringList{"23:59:59;28 23:59:59;29 01:00:00;00 01:00:00;01"};
        QTest::newRow("record day full") << pal
                                         << QStringList{"00:00:01:00 00:00:01:02", "00:00:02:00 00:00:02:05",
                                                        "00:00:03:00"}
                                         << 0 << *pal.parseFrames(u"23:59:59:21")
                                         << QStringList{"00:00:01:00 00:00:01:02 23:59:59:21 23:59:59:23",
                                                        "00:00:02:00 00:00:02:01 23:59:59:23 23:59:59:24"};
    }
    void events()
    {
        QFETCH(Format, format);
        QFETCH(QStringList, ranges);
        QFETCH(int, handle);
        QFETCH(qint64, recordStart);
        Markers markers;
        for (const QString& range : std::as_const(ranges))
            markers.append(marker(range.section(u' ', 0, 0), "n", range.section(u' ', 1, 1)));
        QList<CmxEvent> read;
        QCOMPARE(readCmx(edlFor(format, markers, QStringLiteral("t"), QStringLiteral("A001"), handle, recordStart),
                         format, read),
                 QString());
        QStringList timecodes;
        for (qsizetype i = 0; i < read.size(); ++i) {
            QCOMPARE(read[i].number, int(i + 1));
            timecodes.append(
                QStringList{read[i].sourceIn, read[i].sourceOut, read[i].recordIn, read[i].recordOut}.join(u' '));
        }
        QTEST(timecodes, "events");
    }

    // Generated logs read back by the CMX reader: each event where its marker says, sorted
    // stably by in, the record side one gapless sequence from one hour.
    void readsBackAsCmx_data()
    {
        QTest::addColumn<int>("base");
        QTest::addColumn<bool>("dropFrame");
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 5; ++seed) {
            QTest::addRow("25 #%u", seed) << 25 << false << seed;
            QTest::addRow("29.97 DF #%u", seed) << 30 << true << seed;
            QTest::addRow("59.94 DF #%u", seed) << 60 << true << seed;
        }
    }
    void readsBackAsCmx()
    {
        QFETCH(int, base);
        QFETCH(bool, dropFrame);
        QFETCH(quint32, seed);
        const Format format{base, dropFrame, dropFrame};
        const qint64 perDay = format.framesPerDay();
        QRandomGenerator random(seed * 7919 + quint32(base));

        // Ins are drawn from a few spots so that equal ins occur, and from the day's last frames.
        QList<qint64> spots;
        for (int i = 0; i < 6; ++i)
            spots.append(random.bounded(perDay - 20000));
        Markers markers;
        QList<std::optional<qint64>> expectedIn;
        QList<std::optional<qint64>> rangeOut;
        for (int i = random.bounded(80); i > 0; --i) {
            LoggableMarker m;
            m.markerType = readers::hostileText(random);
            m.speaker = readers::hostileText(random);
            m.manualNote = readers::hostileText(random);
            m.summary = QStringLiteral("m%1").arg(markers.size());
            const int kind = random.bounded(10);
            const qint64 in = kind < 4   ? spots[random.bounded(int(spots.size()))]
                              : kind < 6 ? perDay - 1 - random.bounded(3)
                                         : random.bounded(perDay - 20000);
            m.timecode = kind == 0 ? QStringLiteral("24:00:00:00") : format.formatFrames(in);
            const int outKind = random.bounded(4);
            if (outKind > 0)
                m.timecodeOut =
                    outKind == 1 ? QStringLiteral("garbage") : format.formatFrames(in + random.bounded(-100, 10000));
            const auto out = format.parseFrames(m.timecodeOut.value_or(QString()));
            expectedIn.append(kind == 0 ? std::nullopt : std::optional<qint64>(in));
            rangeOut.append(out && *out > in ? out : std::nullopt);
            markers.append(m);
        }

        QList<CmxEvent> events;
        QString fcm;
        QCOMPARE(
            readCmx(edlFor(format, markers, QStringLiteral("t"), readers::hostileText(random)), format, events, &fcm),
            QString());
        QCOMPARE(fcm, dropFrame ? QStringLiteral("DROP FRAME") : QStringLiteral("NON-DROP FRAME"));
        QCOMPARE(events.size(), expectedIn.size() - expectedIn.count(std::nullopt));

        qint64 cursor = *format.parseFrames(u"01:00:00:00");
        qint64 previousIn = -1;
        qint64 previousMarker = -1;
        for (qsizetype i = 0; i < events.size(); ++i) {
            const CmxEvent& e = events[i];
            QCOMPARE(e.number, int(i + 1));
            for (const QString* tc : {&e.sourceIn, &e.sourceOut, &e.recordIn, &e.recordOut})
                QCOMPARE(tc->at(8), dropFrame ? QLatin1Char(';') : QLatin1Char(':'));
            const qint64 sourceIn = *format.parseFrames(e.sourceIn);
            QCOMPARE(*format.parseFrames(e.recordIn), cursor);
            cursor = *format.parseFrames(e.recordOut);

            // A range keeps its frames; a single frame on the day's last label moves back one.
            const qint64 index = e.clipName.mid(1).toLongLong();
            QVERIFY(expectedIn.value(index).has_value());
            const qint64 in = *expectedIn[index];
            QCOMPARE(sourceIn, in == perDay - 1 && !rangeOut[index] ? in - 1 : in);
            QCOMPARE(*format.parseFrames(e.sourceOut), rangeOut[index].value_or(std::min(in + 1, perDay - 1)));
            QVERIFY(sourceIn > previousIn || (sourceIn == previousIn && index > previousMarker));
            previousIn = sourceIn;
            previousMarker = index;
        }
    }
};

PINDLE_TEST(TestEdlWriter)
#include "test_edl.moc"
