#include "common/TestMain.h"

#include "export/EdlWriter.h"

#include <QRandomGenerator>

#include <limits>
#include <optional>

using Format = CameraTimecode::Format;

namespace {

const Format pal{25, false, false};
const Format ntscDrop{30, true, true};
const Format ntscDrop60{60, true, true};

LoggableMarker marker(const QString& timecode, const QString& kind, const std::optional<QString>& out = {})
{
    LoggableMarker m;
    m.timecode = timecode;
    m.timecodeOut = out;
    m.markerType = kind;
    return m;
}

// The writer as the export menu calls it for a clock format: no handle, the record side from
// one hour.
QString edlFor(const Format& format, const QList<LoggableMarker>& markers, const QString& title = QStringLiteral("t"),
               const QString& reel = QStringLiteral("A001"))
{
    return LogExport::edl(
        markers, title, reel, format.dropFrame, 0, format.parseFrames(u"01:00:00:00").value_or(0),
        [format](const QString& text) { return LogExport::eventTimecodeFrames(format, text); },
        [format](qint64 frames) { return LogExport::eventTimecodeText(format, frames); });
}

// One event of a CMX 3600 list as an editing system reads it: fields at fixed columns.
struct CmxEvent {
    int number = 0;
    QString reel;
    QString sourceIn, sourceOut, recordIn, recordOut;
    QString clipName;
    QString comment;
};

struct CmxList {
    QString title;
    QString fcm;
    QList<CmxEvent> events;
};

// Reads a list whose event numbers have three digits and whose reel fits the 8-character field.
// Returns an error text when the layout is broken.
QString readCmx(const QString& text, CmxList& list)
{
    if (!text.endsWith(QLatin1String("\r\n")))
        return QStringLiteral("last line not ended by CR LF");
    QStringList lines = text.split(QLatin1String("\r\n"));
    lines.removeLast();
    for (const QString& line : std::as_const(lines)) {
        if (line.contains(QLatin1Char('\r')) || line.contains(QLatin1Char('\n')))
            return QStringLiteral("line break other than CR LF in: ") + line;
    }
    if (lines.size() < 2 || (lines.size() - 2) % 4 != 0)
        return QStringLiteral("%1 lines do not make a header and four-line events").arg(lines.size());
    if (!lines[0].startsWith(QLatin1String("TITLE: ")))
        return QStringLiteral("no title line");
    list.title = lines[0].mid(7);
    if (!lines[1].startsWith(QLatin1String("FCM: ")))
        return QStringLiteral("no FCM line");
    list.fcm = lines[1].mid(5);
    for (qsizetype i = 2; i < lines.size(); i += 4) {
        if (!lines[i].isEmpty())
            return QStringLiteral("no empty line before an event");
        const QString& line = lines[i + 1];
        // 001  REEL____ AA/V  C        00:00:00:00 00:00:00:00 00:00:00:00 00:00:00:00
        if (line.size() != 76)
            return QStringLiteral("event line of %1 characters: %2").arg(line.size()).arg(line);
        CmxEvent event;
        bool ok = false;
        event.number = line.left(3).toInt(&ok);
        if (!ok || line.mid(3, 2) != QLatin1String("  ") || line[13] != QLatin1Char(' ') ||
            line.mid(14, 4) != QLatin1String("AA/V") || line.mid(18, 2) != QLatin1String("  ") ||
            line[20] != QLatin1Char('C') || line.mid(21, 8) != QString(8, QLatin1Char(' ')) || line[40] != u' ' ||
            line[52] != u' ' || line[64] != u' ')
            return QStringLiteral("event line out of columns: ") + line;
        event.reel = line.mid(5, 8);
        event.sourceIn = line.mid(29, 11);
        event.sourceOut = line.mid(41, 11);
        event.recordIn = line.mid(53, 11);
        event.recordOut = line.mid(65, 11);
        if (!lines[i + 2].startsWith(QLatin1String("* FROM CLIP NAME: ")))
            return QStringLiteral("no clip-name line");
        event.clipName = lines[i + 2].mid(18);
        if (!lines[i + 3].startsWith(QLatin1String("* COMMENT: ")))
            return QStringLiteral("no comment line");
        event.comment = lines[i + 3].mid(11);
        list.events.append(event);
    }
    return QString();
}

QString numbered(qint64 n)
{
    return QStringLiteral("m%1").arg(n);
}

} // namespace

class TestEdlWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noEventsIsHeaderOnly()
    {
        const QString expected = QStringLiteral("TITLE: DAY ONE\r\nFCM: NON-DROP FRAME\r\n");
        QCOMPARE(edlFor(pal, {}, QStringLiteral("Day one")), expected);
        QCOMPARE(edlFor(pal,
                        {marker(QStringLiteral("soon"), QStringLiteral("note")),
                         marker(QStringLiteral("25:00:00:00"), QStringLiteral("note"))},
                        QStringLiteral("Day one")),
                 expected);
        QCOMPARE(edlFor(ntscDrop, {}, QStringLiteral("Day one")),
                 QStringLiteral("TITLE: DAY ONE\r\nFCM: DROP FRAME\r\n"));
    }

    void oneEvent()
    {
        LoggableMarker m = marker(QStringLiteral("10:00:00:00"), QStringLiteral("earmark"));
        m.summary = QStringLiteral("She said \u201cyes\u201d \u2014 twice\u2026");
        m.speaker = QStringLiteral(" Guest ");
        QCOMPARE(edlFor(pal, {m}, QStringLiteral("Pindle selects Dec 6, 2026"), QStringLiteral("A 001")),
                 QStringLiteral("TITLE: PINDLE SELECTS DEC 6, 2026\r\n"
                                "FCM: NON-DROP FRAME\r\n"
                                "\r\n"
                                "001  A_001    AA/V  C        10:00:00:00 10:00:00:01 01:00:00:00 01:00:00:01\r\n"
                                "* FROM CLIP NAME: She said \"yes\" - twice...\r\n"
                                "* COMMENT: EARMARK | Guest\r\n"));
    }

    void comment_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<std::optional<QString>>("speaker");
        QTest::addColumn<std::optional<QString>>("note");
        QTest::addColumn<QString>("expected");
        using Text = std::optional<QString>;
        QTest::newRow("speaker, no note") << QStringLiteral("earmark") << Text(QStringLiteral("Guest")) << Text()
                                          << QStringLiteral("EARMARK | Guest");
        QTest::newRow("blank note present") << QStringLiteral("earmark") << Text(QStringLiteral("Guest"))
                                            << Text(QStringLiteral("  ")) << QStringLiteral("EARMARK | Guest | ");
        QTest::newRow("blank speaker") << QStringLiteral("great") << Text(QStringLiteral(" \t")) << Text()
                                       << QStringLiteral("GREAT");
        QTest::newRow("note only") << QStringLiteral("take") << Text() << Text(QStringLiteral("it\u2019s\r\nwide"))
                                   << QStringLiteral("TAKE | it's wide");
        QTest::newRow("kind cleaned and plain")
            << QStringLiteral(" b\u2013roll\n") << Text() << Text() << QStringLiteral("B-ROLL");
    }
    void comment()
    {
        QFETCH(QString, kind);
        QFETCH(std::optional<QString>, speaker);
        QFETCH(std::optional<QString>, note);
        QFETCH(QString, expected);
        LoggableMarker m = marker(QStringLiteral("00:00:01:00"), kind);
        m.speaker = speaker;
        m.manualNote = note;
        CmxList list;
        const QString error = readCmx(edlFor(pal, {m}), list);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(list.events.size(), 1);
        QCOMPARE(list.events[0].comment, expected);
    }

    void eventLength_data()
    {
        QTest::addColumn<std::optional<QString>>("out");
        QTest::addColumn<QString>("sourceOut");
        using Text = std::optional<QString>;
        QTest::newRow("no out") << Text() << QStringLiteral("10:00:00:01");
        QTest::newRow("out before in") << Text(QStringLiteral("09:59:00:00")) << QStringLiteral("10:00:00:01");
        QTest::newRow("out equals in") << Text(QStringLiteral("10:00:00:00")) << QStringLiteral("10:00:00:01");
        QTest::newRow("out does not parse") << Text(QStringLiteral("later")) << QStringLiteral("10:00:00:01");
        QTest::newRow("out after in") << Text(QStringLiteral("10:00:02:10")) << QStringLiteral("10:00:02:10");
    }
    void eventLength()
    {
        QFETCH(std::optional<QString>, out);
        QFETCH(QString, sourceOut);
        CmxList list;
        const QString error =
            readCmx(edlFor(pal, {marker(QStringLiteral("10:00:00:00"), QStringLiteral("n"), out)}), list);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(list.events.size(), 1);
        QCOMPARE(list.events[0].sourceIn, QStringLiteral("10:00:00:00"));
        QCOMPARE(list.events[0].sourceOut, sourceOut);
    }

    void sortedAndNumberedAfterSorting()
    {
        QList<LoggableMarker> markers{
            marker(QStringLiteral("10:00:05:00"), QStringLiteral("c")),
            marker(QStringLiteral("10:00:01:00"), QStringLiteral("a")),
            marker(QStringLiteral("not a timecode"), QStringLiteral("x")),
            marker(QStringLiteral("10:00:01:00"), QStringLiteral("b")),
        };
        CmxList list;
        const QString error = readCmx(edlFor(pal, markers), list);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(list.events.size(), 3);
        QStringList names;
        for (const CmxEvent& e : std::as_const(list.events))
            names << QStringLiteral("%1 %2").arg(e.number).arg(e.clipName);
        QCOMPARE(names, (QStringList{QStringLiteral("1 a"), QStringLiteral("2 b"), QStringLiteral("3 c")}));
        QCOMPARE(list.events[1].recordIn, QStringLiteral("01:00:00:01"));
        QCOMPARE(list.events[2].recordOut, QStringLiteral("01:00:00:03"));
    }

    void sortEventsIsStable()
    {
        using LogExport::EdlEvent;
        QCOMPARE(LogExport::sortEvents({{5, 6, 0}, {1, 2, 1}, {5, 7, 2}, {1, 3, 3}, {0, 9, 4}}),
                 (QList<EdlEvent>{{0, 9, 4}, {1, 2, 1}, {1, 3, 3}, {5, 6, 0}, {5, 7, 2}}));
        QRandomGenerator random(4103);
        QList<EdlEvent> events;
        for (qsizetype i = 0; i < 2000; ++i)
            events.append({random.bounded(20), 0, i});
        const QList<EdlEvent> sorted = LogExport::sortEvents(events);
        QCOMPARE(sorted.size(), events.size());
        for (qsizetype i = 1; i < sorted.size(); ++i) {
            QVERIFY(sorted[i - 1].in <= sorted[i].in);
            if (sorted[i - 1].in == sorted[i].in)
                QVERIFY(sorted[i - 1].marker < sorted[i].marker);
        }
    }

    void reel_data()
    {
        QTest::addColumn<QString>("reel");
        QTest::addColumn<QString>("field");
        QTest::newRow("space to underscore") << QStringLiteral("A 001") << QStringLiteral("A_001   ");
        QTest::newRow("blank") << QStringLiteral(" \t ") << QStringLiteral("AX      ");
        QTest::newRow("exactly eight") << QStringLiteral("ABCDEFGH") << QStringLiteral("ABCDEFGH");
        QTest::newRow("forty cut to 32") << QString(40, QLatin1Char('R')) << QString(32, QLatin1Char('R'));
        QTest::newRow("ten whole") << QStringLiteral("A001_C002x") << QStringLiteral("A001_C002x");
        // Padding counts characters, not code units.
        QTest::newRow("accent") << QStringLiteral("E\u0301TE") << QStringLiteral("E\u0301TE") + QString(5, u' ');
        QTest::newRow("emoji") << QStringLiteral("\U0001F3AC1") << QStringLiteral("\U0001F3AC1") + QString(6, u' ');
        QTest::newRow("flags cut whole") << QStringLiteral("\U0001F1EB\U0001F1F7").repeated(40)
                                         << QStringLiteral("\U0001F1EB\U0001F1F7").repeated(32);
    }
    void reel()
    {
        QFETCH(QString, reel);
        QFETCH(QString, field);
        const QString text =
            edlFor(pal, {marker(QStringLiteral("00:00:00:00"), QStringLiteral("n"))}, QStringLiteral("t"), reel);
        const QString expectedLine = QStringLiteral("001  ") + field + QStringLiteral(" AA/V  C        00:00:00:00");
        QVERIFY2(text.contains(QLatin1String("\r\n") + expectedLine), qPrintable(text));
    }

    void title_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("line");
        const QString sixty = QString(60, QLatin1Char('A'));
        QTest::newRow("cut to sixty") << QString(75, QLatin1Char('a')) << sixty;
        QTest::newRow("quotes straightened before the cut")
            << (QStringLiteral("\u201cx\u201d") + QString(70, QLatin1Char('b')))
            << (QStringLiteral("\"X\"") + QString(57, QLatin1Char('B')));
        QTest::newRow("ellipsis counts three") << (QString(58, QLatin1Char('c')) + QStringLiteral("\u2026"))
                                               << (QString(58, QLatin1Char('C')) + QStringLiteral(".."));
        QTest::newRow("cut after upper-casing") << (QString(59, QLatin1Char('d')) + QStringLiteral("\u00df"))
                                                << (QString(59, QLatin1Char('D')) + QStringLiteral("S"));
        QTest::newRow("cleaned") << QStringLiteral(" a\tb\r\n") << QStringLiteral("A B");
        QTest::newRow("accent not split") << (QString(59, QLatin1Char('e')) + QStringLiteral("e\u0301z"))
                                          << (QString(59, QLatin1Char('E')) + QStringLiteral("E\u0301"));
    }
    void title()
    {
        QFETCH(QString, title);
        QFETCH(QString, line);
        const QString text = edlFor(pal, {}, title);
        QCOMPARE(text, QStringLiteral("TITLE: ") + line + QStringLiteral("\r\nFCM: NON-DROP FRAME\r\n"));
    }

    void clipNameCutAtEightyCharacters()
    {
        LoggableMarker m = marker(QStringLiteral("00:00:00:00"), QStringLiteral("n"));
        const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        m.summary = QString(79, QLatin1Char('s')) + family + QStringLiteral("tail");
        CmxList list;
        const QString error = readCmx(edlFor(pal, {m}), list);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(list.events[0].clipName, QString(79, QLatin1Char('s')) + family);
        m.summary.reset();
        m.quote = QStringLiteral("  ");
        list = {};
        QVERIFY(readCmx(edlFor(pal, {m}), list).isEmpty());
        QCOMPARE(list.events[0].clipName, QStringLiteral("n"));
    }

    void dropFrameSeparators()
    {
        const QList<LoggableMarker> markers{marker(QStringLiteral("00:10:00;00"), QStringLiteral("n"))};
        const QString drop = edlFor(ntscDrop, markers);
        QVERIFY2(drop.contains(QLatin1String("00:10:00;00 00:10:00;01 01:00:00;00 01:00:00;01")), qPrintable(drop));
        // A non-drop list never carries ";", even from a formatter that writes it.
        const QString forced = LogExport::edl(
            markers, QStringLiteral("t"), QStringLiteral("A001"), false, 0, 0,
            [](const QString& text) { return ntscDrop.parseFrames(text); },
            [](qint64 frames) { return ntscDrop.formatFrames(frames); });
        QVERIFY2(forced.contains(QLatin1String("FCM: NON-DROP FRAME")), qPrintable(forced));
        QVERIFY2(!forced.contains(QLatin1Char(';')), qPrintable(forced));
        QVERIFY(forced.contains(QLatin1String("00:10:00:00 00:10:00:01 00:00:00:00 00:00:00:01")));
    }

    void handleWidensEvents()
    {
        const QString text = LogExport::edl(
            {marker(QStringLiteral("00:00:00:03"), QStringLiteral("n"), QStringLiteral("00:00:01:00")),
             marker(QStringLiteral("00:00:10:00"), QStringLiteral("n"))},
            QStringLiteral("t"), QStringLiteral("A001"), false, 5, 0,
            [](const QString& text) { return pal.parseFrames(text); },
            [](qint64 frames) { return pal.formatFrames(frames); });
        QVERIFY2(text.contains(QLatin1String("00:00:00:00 00:00:01:05 00:00:00:00 00:00:01:05")), qPrintable(text));
        QVERIFY2(text.contains(QLatin1String("00:00:09:20 00:00:10:06 00:00:01:05 00:00:01:16")), qPrintable(text));
    }

    // A negative handle, or a converter that hands out negative frames, still makes cuts of at
    // least one frame that start at or after frame 0.
    void negativeFramesAndHandle()
    {
        auto toFrames = [](const QString& text) -> std::optional<qint64> {
            if (text == QLatin1String("before"))
                return -10;
            return pal.parseFrames(text);
        };
        auto toText = [](qint64 frames) { return pal.formatFrames(frames); };
        const QList<LoggableMarker> markers{
            marker(QStringLiteral("before"), QStringLiteral("a")),
            marker(QStringLiteral("00:00:01:00"), QStringLiteral("b"), QStringLiteral("00:00:02:00")),
        };
        const QString text =
            LogExport::edl(markers, QStringLiteral("t"), QStringLiteral("A001"), false, -5, 0, toFrames, toText);
        QVERIFY2(text.contains(
                     QLatin1String("001  A001     AA/V  C        00:00:00:00 00:00:00:01 00:00:00:00 00:00:00:01")),
                 qPrintable(text));
        QVERIFY2(text.contains(
                     QLatin1String("002  A001     AA/V  C        00:00:01:00 00:00:02:00 00:00:00:01 00:00:01:01")),
                 qPrintable(text));
    }

    void missingConvertersGiveNoEvents()
    {
        const QList<LoggableMarker> markers{marker(QStringLiteral("00:00:01:00"), QStringLiteral("n"))};
        QCOMPARE(LogExport::edl(markers, QStringLiteral("t"), QStringLiteral("A001"), false, 0, 0, {}, {}),
                 QStringLiteral("TITLE: T\r\nFCM: NON-DROP FRAME\r\n"));
        QCOMPARE(LogExport::edl(markers, QStringLiteral("t"), QStringLiteral("A001"), false, 0, 0,
                                [](const QString& text) { return pal.parseFrames(text); }, {}),
                 QStringLiteral("TITLE: T\r\nFCM: NON-DROP FRAME\r\n"));
    }

    // A converter that hands out the ends of the 64-bit range: those markers are left out, the
    // rest still numbered from 001.
    void overflowingMarkersAreSkipped()
    {
        constexpr qint64 max = std::numeric_limits<qint64>::max();
        constexpr qint64 min = std::numeric_limits<qint64>::min();
        auto toFrames = [](const QString& text) -> std::optional<qint64> {
            if (text == QLatin1String("max"))
                return max;
            if (text == QLatin1String("min"))
                return min;
            return pal.parseFrames(text);
        };
        auto toText = [](qint64 frames) { return pal.formatFrames(frames); };
        const QList<LoggableMarker> markers{
            marker(QStringLiteral("max"), QStringLiteral("a")),
            marker(QStringLiteral("min"), QStringLiteral("b")),
            marker(QStringLiteral("00:00:01:00"), QStringLiteral("c"), QStringLiteral("max")),
            marker(QStringLiteral("00:00:02:00"), QStringLiteral("d")),
        };
        const QString text =
            LogExport::edl(markers, QStringLiteral("t"), QStringLiteral("A001"), false, 3, 0, toFrames, toText);
        CmxList list;
        const QString error = readCmx(text, list);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(list.events.size(), 1);
        QCOMPARE(list.events[0].number, 1);
        QCOMPARE(list.events[0].clipName, QStringLiteral("d"));

        // The record side would pass the end of the range after two one-frame events.
        const QString late =
            LogExport::edl({marker(QStringLiteral("00:00:01:00"), QStringLiteral("a")),
                            marker(QStringLiteral("00:00:02:00"), QStringLiteral("b")),
                            marker(QStringLiteral("00:00:03:00"), QStringLiteral("c"))},
                           QStringLiteral("t"), QStringLiteral("A001"), false, 0, max - 2, toFrames, toText);
        list = {};
        QVERIFY(readCmx(late, list).isEmpty());
        QCOMPARE(list.events.size(), 2);
        QCOMPARE(list.events[1].number, 2);
    }

    void numbersPastNineHundredNinetyNine()
    {
        QList<LoggableMarker> markers;
        for (int i = 0; i < 1001; ++i)
            markers.append(marker(pal.formatFrames(i * 2), QStringLiteral("n")));
        const QString text = edlFor(pal, markers);
        QVERIFY(text.contains(QLatin1String("\r\n999  A001     AA/V  C        00:01:19:21 ")));
        QVERIFY(text.contains(QLatin1String("\r\n1000  A001     AA/V  C        00:01:19:23 ")));
        QVERIFY(text.contains(QLatin1String("\r\n1001  A001     AA/V  C        00:01:20:00 ")));
    }

    // Many generated logs read back by the CMX reader: each event where its marker says, the
    // record side one gapless sequence from one hour.
    void readsBackAsCmx_data()
    {
        QTest::addColumn<int>("base");
        QTest::addColumn<bool>("pulldown");
        QTest::addColumn<bool>("dropFrame");
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 15; ++seed) {
            QTest::newRow(qPrintable(QStringLiteral("25 #%1").arg(seed))) << 25 << false << false << seed;
            QTest::newRow(qPrintable(QStringLiteral("29.97 DF #%1").arg(seed))) << 30 << true << true << seed;
            QTest::newRow(qPrintable(QStringLiteral("59.94 DF #%1").arg(seed))) << 60 << true << true << seed;
        }
    }
    void readsBackAsCmx()
    {
        QFETCH(int, base);
        QFETCH(bool, pulldown);
        QFETCH(bool, dropFrame);
        QFETCH(quint32, seed);
        const Format format{base, pulldown, dropFrame};
        const qint64 perDay = format.framesPerDay();
        QRandomGenerator random(seed * 7919 + quint32(base));

        // Ins are drawn from a few spots so that equal ins occur; outs stay inside the day.
        QList<qint64> spots;
        for (int i = 0; i < 6; ++i)
            spots.append(random.bounded(perDay - 20000));
        QList<LoggableMarker> markers;
        QList<std::optional<qint64>> expectedIn;
        QList<qint64> expectedOut;
        const int count = random.bounded(80);
        for (int i = 0; i < count; ++i) {
            LoggableMarker m;
            m.markerType = QStringLiteral("note");
            m.summary = numbered(i);
            const int kind = random.bounded(10);
            if (kind == 0) {
                m.timecode = QStringLiteral("24:00:00:00"); // not a timecode of the day
                expectedIn.append(std::nullopt);
                expectedOut.append(0);
                markers.append(m);
                continue;
            }
            const qint64 in = kind < 4 ? spots[random.bounded(int(spots.size()))] : random.bounded(perDay - 20000);
            m.timecode = format.formatFrames(in);
            qint64 out = in + 1;
            switch (random.bounded(5)) {
            case 0:
                break;
            case 1:
                m.timecodeOut = QStringLiteral("garbage");
                break;
            case 2:
                m.timecodeOut = format.formatFrames(in - random.bounded(100));
                break;
            default: {
                const qint64 to = in + 1 + random.bounded(10000);
                m.timecodeOut = format.formatFrames(to);
                out = to;
            }
            }
            expectedIn.append(in);
            expectedOut.append(out);
            markers.append(m);
        }

        const QString text = edlFor(format, markers);
        CmxList list;
        const QString error = readCmx(text, list);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(list.fcm, dropFrame ? QStringLiteral("DROP FRAME") : QStringLiteral("NON-DROP FRAME"));

        qsizetype parsed = 0;
        for (const auto& in : std::as_const(expectedIn))
            parsed += in ? 1 : 0;
        QCOMPARE(list.events.size(), parsed);

        const qint64 oneHour = *format.parseFrames(u"01:00:00:00");
        qint64 cursor = oneHour;
        qint64 previousIn = -1;
        qint64 previousMarker = -1;
        QSet<qint64> seen;
        for (qsizetype i = 0; i < list.events.size(); ++i) {
            const CmxEvent& e = list.events[i];
            QCOMPARE(e.number, int(i + 1));
            QCOMPARE(e.reel, QStringLiteral("A001    "));
            for (const QString* tc : {&e.sourceIn, &e.sourceOut, &e.recordIn, &e.recordOut}) {
                QVERIFY2(format.parseFrames(*tc).has_value(), qPrintable(*tc));
                // Frames follow ";" in drop-frame only.
                QCOMPARE(tc->at(8), dropFrame ? QLatin1Char(';') : QLatin1Char(':'));
                QCOMPARE(tc->count(QLatin1Char(':')), dropFrame ? 2 : 3);
            }
            const qint64 sourceIn = *format.parseFrames(e.sourceIn);
            const qint64 sourceOut = *format.parseFrames(e.sourceOut);
            const qint64 recordIn = *format.parseFrames(e.recordIn);
            const qint64 recordOut = *format.parseFrames(e.recordOut);
            QVERIFY(sourceOut > sourceIn);
            QCOMPARE(recordOut - recordIn, sourceOut - sourceIn);
            QCOMPARE(recordIn, cursor);
            cursor = recordOut;

            QVERIFY(e.clipName.startsWith(QLatin1Char('m')));
            const qint64 index = e.clipName.mid(1).toLongLong();
            QVERIFY(!seen.contains(index));
            seen.insert(index);
            QVERIFY(expectedIn[index].has_value());
            QCOMPARE(sourceIn, *expectedIn[index]);
            QCOMPARE(sourceOut, expectedOut[index]);
            QVERIFY(sourceIn >= previousIn);
            if (sourceIn == previousIn)
                QVERIFY2(index > previousMarker, "equal ins lost their marker order");
            previousIn = sourceIn;
            previousMarker = index;
        }
    }
};

PINDLE_TEST(TestEdlWriter)
#include "test_edl.moc"
