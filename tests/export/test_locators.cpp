#include "common/TestMain.h"

#include "export/LocatorsWriter.h"

#include <QRandomGenerator>

#include <optional>

namespace {

LoggableMarker locator(const QString& timecode, const QString& kind)
{
    LoggableMarker m;
    m.timecode = timecode;
    m.markerType = kind;
    return m;
}

const QStringList hostilePieces{
    QStringLiteral("\t"),     QStringLiteral("\r\n"), QStringLiteral("\r"),          QStringLiteral("\n"),
    QStringLiteral("\u2028"), QString(QChar(0)),      QStringLiteral(" "),           QStringLiteral("x"),
    QStringLiteral("|"),      QStringLiteral("["),    QStringLiteral("00:00:01:00"), QString(),
};

QString hostileText(QRandomGenerator& random)
{
    QString text;
    for (int i = random.bounded(5); i > 0; --i)
        text += hostilePieces[random.bounded(int(hostilePieces.size()))];
    return text;
}

std::optional<QString> maybeHostile(QRandomGenerator& random)
{
    if (random.bounded(3) == 0)
        return std::nullopt;
    return hostileText(random);
}

} // namespace

class TestLocatorsWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noMarkersIsOneLineBreak()
    {
        QCOMPARE(LogExport::avidLocators({}, 25, false), QStringLiteral("\n"));
        QCOMPARE(LogExport::avidLocators({}, 25, true), QStringLiteral("\n"));
    }

    void colour_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<std::optional<QString>>("userColour");
        QTest::addColumn<QString>("standard");
        QTest::addColumn<QString>("sixteen");
        using Text = std::optional<QString>;
        QTest::newRow("great, no user colour")
            << QStringLiteral("great") << Text() << QStringLiteral("green") << QStringLiteral("green");
        QTest::newRow("lavender") << QStringLiteral("great") << Text(QStringLiteral("LavenderResolveColor"))
                                  << QStringLiteral("magenta") << QStringLiteral("violet");
        QTest::newRow("unknown user colour") << QStringLiteral("EARMARK") << Text(QStringLiteral("OrangeResolveColor"))
                                             << QStringLiteral("red") << QStringLiteral("red");
        QTest::newRow("red in both") << QStringLiteral("great") << Text(QStringLiteral("Red")) << QStringLiteral("red")
                                     << QStringLiteral("red");
        QTest::newRow("empty user colour")
            << QStringLiteral("take") << Text(QString()) << QStringLiteral("magenta") << QStringLiteral("magenta");
        QTest::newRow("other kind") << QStringLiteral("soundbite") << Text() << QStringLiteral("blue")
                                    << QStringLiteral("blue");
    }
    void colour()
    {
        QFETCH(QString, kind);
        QFETCH(std::optional<QString>, userColour);
        QFETCH(QString, standard);
        QFETCH(QString, sixteen);
        LoggableMarker m = locator(QStringLiteral("00:00:01:00"), kind);
        m.userResolveColor = userColour;
        QCOMPARE(LogExport::avidLocators({m}, 25, false),
                 QStringLiteral("Pindle\t00:00:01:00\tV1\t%1\t\t1\n").arg(standard));
        QCOMPARE(LogExport::avidLocators({m}, 25, true),
                 QStringLiteral("Pindle\t00:00:01:00\tV1\t%1\t\t1\n").arg(sixteen));
    }

    void fullLines()
    {
        LoggableMarker first = locator(QStringLiteral("00:00:10:00"), QStringLiteral("great"));
        first.timecodeOut = QStringLiteral("00:00:12:00");
        first.manualNote = QStringLiteral("wide");
        first.summary = QStringLiteral("She laughs");
        first.tags = {QStringLiteral("funny")};
        LoggableMarker second = locator(QStringLiteral(" 00:00:20:00\n"), QStringLiteral("note"));
        second.quote = QStringLiteral("so\tthen");
        second.tags = {QStringLiteral(" "), QStringLiteral("a"), QStringLiteral("b")};
        LoggableMarker unparsable = locator(QStringLiteral("soon"), QStringLiteral("cutaway"));
        unparsable.timecodeOut = QStringLiteral("00:00:12:00");
        LoggableMarker blank = locator(QStringLiteral(" \t"), QString());
        QCOMPARE(LogExport::avidLocators({first, second, unparsable, blank}, 25, false),
                 QStringLiteral("Pindle\t00:00:10:00\tV1\tgreen\twide | She laughs [funny]\t50\n"
                                "Pindle\t00:00:20:00\tV1\twhite\tso then [a, b]\t1\n"
                                "Pindle\tsoon\tV1\tyellow\t\t1\n"
                                "Pindle\t\tV1\tblue\t\t1\n"));
    }

    void length_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<std::optional<QString>>("out");
        QTest::addColumn<int>("fps");
        QTest::addColumn<QString>("length");
        using Text = std::optional<QString>;
        QTest::newRow("two seconds at 25")
            << QStringLiteral("00:00:10:00") << Text(QStringLiteral("00:00:12:00")) << 25 << QStringLiteral("50");
        QTest::newRow("no out") << QStringLiteral("00:00:10:00") << Text() << 25 << QStringLiteral("1");
        QTest::newRow("drop-frame at 30")
            << QStringLiteral("00:00:10;00") << Text(QStringLiteral("00:00:12;00")) << 30 << QStringLiteral("60");
        QTest::newRow("an hour at 60") << QStringLiteral("01:00:00:00") << Text(QStringLiteral("02:00:00:00")) << 60
                                       << QStringLiteral("216000");
        QTest::newRow("overflowing out") << QStringLiteral("00:00:00:00")
                                         << Text(QStringLiteral("9223372036854775807:00:00:00")) << 25
                                         << QStringLiteral("1");
    }
    void length()
    {
        QFETCH(QString, in);
        QFETCH(std::optional<QString>, out);
        QFETCH(int, fps);
        QFETCH(QString, length);
        LoggableMarker m = locator(in, QStringLiteral("note"));
        m.timecodeOut = out;
        const QString line = LogExport::avidLocators({m}, fps, false);
        QCOMPARE(line.section(QLatin1Char('\t'), 5), length + QLatin1Char('\n'));
    }

    // Whatever the texts hold, one line per marker and six fields per line.
    void hostileTextsKeepSixFields_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<bool>("sixteen");
        for (quint32 seed = 1; seed <= 10; ++seed) {
            QTest::newRow(qPrintable(QStringLiteral("standard %1").arg(seed))) << seed << false;
            QTest::newRow(qPrintable(QStringLiteral("sixteen %1").arg(seed))) << seed << true;
        }
    }
    void hostileTextsKeepSixFields()
    {
        QFETCH(quint32, seed);
        QFETCH(bool, sixteen);
        QRandomGenerator random(seed);
        QList<LoggableMarker> markers;
        for (int i = random.bounded(1, 50); i > 0; --i) {
            LoggableMarker m;
            m.timecode = hostileText(random);
            m.timecodeOut = maybeHostile(random);
            m.markerType = hostileText(random);
            m.summary = maybeHostile(random);
            m.quote = maybeHostile(random);
            m.manualNote = maybeHostile(random);
            m.userResolveColor = maybeHostile(random);
            for (int t = random.bounded(4); t > 0; --t)
                m.tags.append(hostileText(random));
            markers.append(m);
        }
        const QString text = LogExport::avidLocators(markers, 25, sixteen);
        QVERIFY(text.endsWith(QLatin1Char('\n')));
        QVERIFY(!text.contains(QLatin1Char('\r')));
        QStringList lines = text.split(QLatin1Char('\n'));
        lines.removeLast();
        QCOMPARE(lines.size(), markers.size());
        static const QStringList colours{
            QStringLiteral("red"),    QStringLiteral("green"),   QStringLiteral("blue"),  QStringLiteral("cyan"),
            QStringLiteral("yellow"), QStringLiteral("magenta"), QStringLiteral("white"), QStringLiteral("black"),
            QStringLiteral("purple"), QStringLiteral("violet"),  QStringLiteral("pink"),  QStringLiteral("denim"),
            QStringLiteral("forest"), QStringLiteral("gold"),    QStringLiteral("grey"),
        };
        for (const QString& line : std::as_const(lines)) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            QCOMPARE(fields.size(), 6);
            QCOMPARE(fields[0], QStringLiteral("Pindle"));
            QCOMPARE(fields[2], QStringLiteral("V1"));
            QVERIFY2(colours.contains(fields[3]), qPrintable(fields[3]));
            bool ok = false;
            QVERIFY(fields[5].toLongLong(&ok) >= 1 && ok);
        }
    }
};

PINDLE_TEST(TestLocatorsWriter)
#include "test_locators.moc"
