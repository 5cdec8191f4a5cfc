#include "common/TestMain.h"

#include "export/EdlWriter.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <optional>

using Format = CameraTimecode::Format;
using Text = std::optional<QString>;

namespace {

const Format pal{25, false, false};
const Format ntscDrop{30, true, true};

LoggableMarker marker(const QString& timecode, const QString& kind, const Text& out = {})
{
    LoggableMarker m;
    m.timecode = timecode;
    m.timecodeOut = out;
    m.markerType = kind;
    return m;
}

// The writer as the export menu calls it for a clock format: no handle, record side from one hour.
QString edlFor(const Format& format, const QList<LoggableMarker>& markers, const QString& title = QStringLiteral("t"),
               const QString& reel = QStringLiteral("A001"))
{
    return LogExport::edl(
        markers, title, reel, format.dropFrame, 0, format.parseFrames(u"01:00:00:00").value_or(0),
        [format](const QString& text) { return LogExport::eventTimecodeFrames(format, text); },
        [format](qint64 frames) { return LogExport::eventTimecodeText(format, frames); });
}

// The writer at 25 fps with a converter that maps some words to chosen frame counts.
QString edlWith(const QList<LoggableMarker>& markers, qint64 handle, qint64 recordStart,
                const QHash<QString, qint64>& special = {})
{
    return LogExport::edl(
        markers, QStringLiteral("t"), QStringLiteral("A001"), false, handle, recordStart,
        [special](const QString& text) -> std::optional<qint64> {
            if (special.contains(text))
                return special.value(text);
            return pal.parseFrames(text);
        },
        [](qint64 frames) { return pal.formatFrames(frames); });
}

struct CmxEvent {
    int number = 0;
    QString reel, sourceIn, sourceOut, recordIn, recordOut, clipName;
};

// Reads a CMX 3600 list as an editing system does: CR LF lines, fields at fixed columns,
// four-line events. Returns the events and FCM, or an error text when the layout is broken.
QString readCmx(const QString& text, QList<CmxEvent>& events, QString* fcm = nullptr)
{
    static const QRegularExpression eventLine(
        QStringLiteral("\\r\\n(\\d{3})  (.{8}) AA/V  C        (\\S{11}) (\\S{11}) (\\S{11}) (\\S{11})\\r\\n"
                       "\\* FROM CLIP NAME: ([^\\r\\n]*)\\r\\n\\* COMMENT: [^\\r\\n]*\\r\\n"));
    const auto head =
        QRegularExpression(QStringLiteral("^TITLE: [^\\r\\n]*\\r\\nFCM: ((NON-)?DROP FRAME)\\r\\n")).match(text);
    if (!head.hasMatch())
        return QStringLiteral("no title and FCM lines");
    if (fcm)
        *fcm = head.captured(1);
    qsizetype at = head.capturedEnd();
    while (at < text.size()) {
        const auto m =
            eventLine.match(text, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch())
            return QStringLiteral("event out of columns: ") + text.mid(at, 100);
        events.append({m.captured(1).toInt(), m.captured(2), m.captured(3), m.captured(4), m.captured(5), m.captured(6),
                       m.captured(7)});
        at = m.capturedEnd();
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
        LoggableMarker first = marker(QStringLiteral("10:00:00:00"), QStringLiteral("earmark"));
        first.summary = QStringLiteral("She said \u201cyes\u201d \u2014 twice\u2026");
        first.speaker = QStringLiteral(" Guest ");
        first.manualNote = QStringLiteral("  ");
        LoggableMarker second =
            marker(QStringLiteral("10:00:02:00"), QStringLiteral(" b\u2013roll\n"), QStringLiteral("10:00:03:00"));
        second.quote = QStringLiteral("so \u201cthen\u201d");
        second.speaker = QStringLiteral(" \t");
        second.manualNote = QStringLiteral("it\u2019s\r\nwide");
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
        QCOMPARE(edlFor(pal, {marker(QStringLiteral("soon"), QStringLiteral("n")),
                              marker(QStringLiteral("25:00:00:00"), QStringLiteral("n"))}),
                 empty);
        QCOMPARE(LogExport::edl({first}, QStringLiteral("t"), QStringLiteral("A001"), false, 0, 0, {}, {}), empty);
    }

    // Titles cut at 60 and reels at 32 characters after cleaning, upper-casing and plain
    // punctuation; a reel pads to 8; both count characters, not code units.
    void titleAndReel_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("titleLine");
        QTest::addColumn<QString>("reel");
        QTest::addColumn<QString>("reelField");
        QTest::newRow("ellipsis counts three; blank reel")
            << QString(58, u'c') + QStringLiteral("\u2026") << QString(58, u'C') + QStringLiteral("..")
            << QStringLiteral(" \t ") << QStringLiteral("AX      ");
        QTest::newRow("accents not split")
            << QString(59, u'e') + QStringLiteral("e\u0301z") << QString(59, u'E') + QStringLiteral("E\u0301")
            << QStringLiteral("E\u0301TE") << QStringLiteral("E\u0301TE     ");
        QTest::newRow("flags cut whole") << QStringLiteral(" a\tb\r\n") << QStringLiteral("A B")
                                         << QStringLiteral("\U0001F1EB\U0001F1F7").repeated(40)
                                         << QStringLiteral("\U0001F1EB\U0001F1F7").repeated(32);
    }
    void titleAndReel()
    {
        QFETCH(QString, title);
        QFETCH(QString, titleLine);
        QFETCH(QString, reel);
        QFETCH(QString, reelField);
        const QString text = edlFor(pal, {marker(QStringLiteral("00:00:00:00"), QStringLiteral("n"))}, title, reel);
        QVERIFY2(text.startsWith(QStringLiteral("TITLE: ") + titleLine +
                                 QStringLiteral("\r\nFCM: NON-DROP FRAME\r\n\r\n001  ") + reelField +
                                 QStringLiteral(" AA/V  C        00:00:00:00")),
                 qPrintable(text));
    }

    // A non-drop list never carries ";", even from a formatter that writes it.
    void dropFrameSeparators()
    {
        const QList<LoggableMarker> markers{marker(QStringLiteral("00:10:00;00"), QStringLiteral("n"))};
        QVERIFY(edlFor(ntscDrop, markers).contains(QLatin1String("00:10:00;00 00:10:00;01 01:00:00;00 01:00:00;01")));
        const QString forced = LogExport::edl(
            markers, QStringLiteral("t"), QStringLiteral("A001"), false, 0, 0,
            [](const QString& text) { return ntscDrop.parseFrames(text); },
            [](qint64 frames) { return ntscDrop.formatFrames(frames); });
        QVERIFY2(forced.contains(QLatin1String("FCM: NON-DROP FRAME")) && !forced.contains(QLatin1Char(';')),
                 qPrintable(forced));
    }

    // Converters that hand out negative frames or the ends of the 64-bit range: those markers
    // are left out or clamped, the rest still numbered from 001.
    void hostileFrames()
    {
        constexpr qint64 max = std::numeric_limits<qint64>::max();
        const QHash<QString, qint64> special{{QStringLiteral("before"), -10},
                                             {QStringLiteral("max"), max},
                                             {QStringLiteral("min"), std::numeric_limits<qint64>::min()}};
        // A handle widens events but not before frame 0; a negative one narrows nothing.
        const QList<LoggableMarker> two{
            marker(QStringLiteral("00:00:00:03"), QStringLiteral("n"), QStringLiteral("00:00:01:00")),
            marker(QStringLiteral("00:00:10:00"), QStringLiteral("n"))};
        QString text = edlWith(two, 5, 0);
        QVERIFY2(text.contains(QLatin1String("00:00:00:00 00:00:01:05 00:00:00:00 00:00:01:05\r\n")) &&
                     text.contains(QLatin1String("00:00:09:20 00:00:10:06 00:00:01:05 00:00:01:16\r\n")),
                 qPrintable(text));
        text =
            edlWith(two + QList<LoggableMarker>{marker(QStringLiteral("before"), QStringLiteral("a"))}, -5, 0, special);
        QVERIFY2(text.contains(
                     QLatin1String("001  A001     AA/V  C        00:00:00:00 00:00:00:01 00:00:00:00 00:00:00:01")) &&
                     text.contains(QLatin1String("00:00:00:03 00:00:01:00 00:00:00:01 00:00:00:23")),
                 qPrintable(text));

        QList<CmxEvent> events;
        text = edlWith({marker(QStringLiteral("max"), QStringLiteral("a")),
                        marker(QStringLiteral("min"), QStringLiteral("b")),
                        marker(QStringLiteral("00:00:01:00"), QStringLiteral("c"), QStringLiteral("max")),
                        marker(QStringLiteral("00:00:02:00"), QStringLiteral("d"))},
                       3, 0, special);
        QVERIFY(readCmx(text, events).isEmpty());
        QCOMPARE(events.size(), 1);
        QCOMPARE(events[0].number, 1);
        QCOMPARE(events[0].clipName, QStringLiteral("d"));

        // The record side would pass the end of the range after two one-frame events.
        events.clear();
        text = edlWith({marker(QStringLiteral("00:00:01:00"), QStringLiteral("a")),
                        marker(QStringLiteral("00:00:02:00"), QStringLiteral("b")),
                        marker(QStringLiteral("00:00:03:00"), QStringLiteral("c"))},
                       0, max - 2, special);
        QVERIFY(readCmx(text, events).isEmpty());
        QCOMPARE(events.size(), 2);
    }

    void numbersPastNineHundredNinetyNine()
    {
        QList<LoggableMarker> markers;
        for (int i = 0; i < 1001; ++i)
            markers.append(marker(pal.formatFrames(i * 2), QStringLiteral("n")));
        const QString text = edlFor(pal, markers);
        QVERIFY(text.contains(QLatin1String("\r\n999  A001     AA/V  C        00:01:19:21 ")));
        QVERIFY(text.contains(QLatin1String("\r\n1000  A001     AA/V  C        00:01:19:23 ")));
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

        // Ins are drawn from a few spots so that equal ins occur; outs stay inside the day.
        QList<qint64> spots;
        for (int i = 0; i < 6; ++i)
            spots.append(random.bounded(perDay - 20000));
        QList<LoggableMarker> markers;
        QList<std::optional<qint64>> expectedIn;
        QList<qint64> expectedOut;
        for (int i = random.bounded(80); i > 0; --i) {
            LoggableMarker m;
            m.markerType = QStringLiteral("note");
            m.summary = QStringLiteral("m%1").arg(markers.size());
            const int kind = random.bounded(10);
            const qint64 in = kind < 4 ? spots[random.bounded(int(spots.size()))] : random.bounded(perDay - 20000);
            qint64 out = in + 1;
            m.timecode = kind == 0 ? QStringLiteral("24:00:00:00") : format.formatFrames(in);
            switch (random.bounded(4)) {
            case 0:
                m.timecodeOut = QStringLiteral("garbage");
                break;
            case 1:
                m.timecodeOut = format.formatFrames(in - random.bounded(100));
                break;
            case 2:
                out = in + 1 + random.bounded(10000);
                m.timecodeOut = format.formatFrames(out);
                break;
            default:
                break;
            }
            expectedIn.append(kind == 0 ? std::nullopt : std::optional<qint64>(in));
            expectedOut.append(out);
            markers.append(m);
        }

        QList<CmxEvent> events;
        QString fcm;
        const QString error = readCmx(edlFor(format, markers), events, &fcm);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(fcm, dropFrame ? QStringLiteral("DROP FRAME") : QStringLiteral("NON-DROP FRAME"));
        QCOMPARE(events.size(),
                 std::count_if(expectedIn.cbegin(), expectedIn.cend(), [](const auto& in) { return in.has_value(); }));

        qint64 cursor = *format.parseFrames(u"01:00:00:00");
        qint64 previousIn = -1;
        qint64 previousMarker = -1;
        for (qsizetype i = 0; i < events.size(); ++i) {
            const CmxEvent& e = events[i];
            QCOMPARE(e.number, int(i + 1));
            QCOMPARE(e.reel, QStringLiteral("A001    "));
            for (const QString* tc : {&e.sourceIn, &e.sourceOut, &e.recordIn, &e.recordOut})
                QCOMPARE(tc->at(8), dropFrame ? QLatin1Char(';') : QLatin1Char(':'));
            const qint64 sourceIn = format.parseFrames(e.sourceIn).value_or(-1);
            const qint64 sourceOut = format.parseFrames(e.sourceOut).value_or(-1);
            const qint64 recordIn = format.parseFrames(e.recordIn).value_or(-1);
            const qint64 recordOut = format.parseFrames(e.recordOut).value_or(-1);
            QCOMPARE(recordIn, cursor);
            QCOMPARE(recordOut - recordIn, sourceOut - sourceIn);
            cursor = recordOut;

            const qint64 index = e.clipName.mid(1).toLongLong();
            QVERIFY(expectedIn.value(index).has_value());
            QCOMPARE(sourceIn, *expectedIn[index]);
            QCOMPARE(sourceOut, expectedOut[index]);
            QVERIFY(sourceIn > previousIn || (sourceIn == previousIn && index > previousMarker));
            previousIn = sourceIn;
            previousMarker = index;
        }
    }
};

PINDLE_TEST(TestEdlWriter)
#include "test_edl.moc"
