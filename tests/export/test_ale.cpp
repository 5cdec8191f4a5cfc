#include "common/TestMain.h"

#include "export/AleWriter.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <optional>

using Text = std::optional<QString>;
using Markers = QList<LoggableMarker>;

namespace {

const QString heading25 =
    QStringLiteral("Heading\nFIELD_DELIM\tTABS\nVIDEO_FORMAT\t1080\nAUDIO_FORMAT\t48khz\nFPS\t25\n\nColumn\n");
const QString noTape =
    QStringLiteral("Name\tTracks\tStart\tEnd\tComments\tType\tKeywords\tSpeaker\tNote\tQuote\n\nData\n");
const QString withTape =
    QStringLiteral("Name\tTracks\tStart\tEnd\tTape\tComments\tType\tKeywords\tSpeaker\tNote\tQuote\n\nData\n");

LoggableMarker marker(const QString& timecode, const QString& kind)
{
    LoggableMarker m;
    m.timecode = timecode;
    m.markerType = kind;
    return m;
}

// An ALE as Avid reads it: heading pairs, column names and TAB-split data rows. Returns an
// error text when the layout is broken.
struct AleFile {
    QList<QPair<QString, QString>> heading;
    QStringList columns;
    QList<QStringList> rows;
};

QString readAle(const QString& text, AleFile& file)
{
    if (text.contains(QLatin1Char('\r')) || !text.endsWith(QLatin1Char('\n')))
        return QStringLiteral("CR, or last line not ended");
    QStringList lines = text.split(QLatin1Char('\n'));
    lines.removeLast();
    qsizetype i = 0;
    const auto next = [&]() { return i < lines.size() ? std::optional<QString>(lines[i++]) : std::nullopt; };
    if (next() != QStringLiteral("Heading"))
        return QStringLiteral("no Heading keyword");
    for (auto line = next(); line && !line->isEmpty(); line = next()) {
        const QStringList pair = line->split(QLatin1Char('\t'));
        if (pair.size() != 2)
            return QStringLiteral("heading line without one TAB: ") + *line;
        file.heading.append({pair[0], pair[1]});
    }
    if (next() != QStringLiteral("Column"))
        return QStringLiteral("no Column keyword");
    const auto columns = next();
    if (!columns)
        return QStringLiteral("no column line");
    file.columns = columns->split(QLatin1Char('\t'));
    if (next() != QString() || next() != QStringLiteral("Data"))
        return QStringLiteral("no empty line and Data keyword after the columns");
    while (const auto line = next()) {
        QStringList cells = line->split(QLatin1Char('\t'));
        if (cells.size() != file.columns.size())
            return QStringLiteral("row with %1 cells for %2 columns: %3")
                .arg(cells.size())
                .arg(file.columns.size())
                .arg(*line);
        file.rows.append(std::move(cells));
    }
    return QString();
}

QString hostileText(QRandomGenerator& random)
{
    static const QStringList pieces{QStringLiteral("\t"), QStringLiteral("\r\n"),   QStringLiteral("\r"),
                                    QStringLiteral("\n"), QStringLiteral("\u2028"), QString(QChar(0)),
                                    QStringLiteral(" "),  QStringLiteral("word"),   QStringLiteral("\U0001F600")};
    QString text;
    for (int i = random.bounded(5); i > 0; --i)
        text += pieces[random.bounded(int(pieces.size()))];
    return text;
}

Text maybeHostile(QRandomGenerator& random)
{
    return random.bounded(4) == 0 ? Text() : Text(hostileText(random));
}

} // namespace

class TestAleWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exactText_data()
    {
        QTest::addColumn<Markers>("markers");
        QTest::addColumn<Text>("tape");
        QTest::addColumn<QString>("expected");
        const LoggableMarker great = marker(QStringLiteral("10:00:00:00"), QStringLiteral("great"));
        QTest::newRow("no markers") << Markers() << Text() << heading25 + noTape;
        QTest::newRow("blank tape: no column")
            << Markers{great} << Text(QStringLiteral(" \t\r\n"))
            << heading25 + noTape + QStringLiteral("great\tVA1A2\t10:00:00:00\t10:00:00:00\t\tgreat\t\t\t\t\n");
        QTest::newRow("tape on every row")
            << Markers{great, marker(QStringLiteral("10:00:05:00"), QStringLiteral("note"))}
            << Text(QStringLiteral(" A001\t"))
            << heading25 + withTape +
                   QStringLiteral("great\tVA1A2\t10:00:00:00\t10:00:00:00\tA001\t\tgreat\t\t\t\t\n"
                                  "note\tVA1A2\t10:00:05:00\t10:00:05:00\tA001\t\tnote\t\t\t\t\n");

        LoggableMarker full = marker(QStringLiteral(" 10:00:00:00 "), QStringLiteral("earmark"));
        full.timecodeOut = QStringLiteral("10:00:04:12");
        full.summary = QStringLiteral("She laughs");
        full.quote = QStringLiteral("\u201cno way\u201d");
        full.manualNote = QStringLiteral("wide\r\nshot");
        full.tags = {QString(), QStringLiteral("night"), QStringLiteral(" ")};
        full.speaker = QStringLiteral("Guest ");
        QTest::newRow("every field") << Markers{full} << Text()
                                     << heading25 + noTape +
                                            QStringLiteral("She laughs\tVA1A2\t10:00:00:00\t10:00:04:12\twide shot\t"
                                                           "earmark\tnight\tGuest\twide shot\t\u201cno way\u201d\n");

        // The name falls back to the quote, the comment to the quote; an empty marker keeps its cells.
        LoggableMarker quoteOnly = marker(QStringLiteral("01:00:00:00"), QStringLiteral("soundbite"));
        quoteOnly.summary = QStringLiteral(" ");
        quoteOnly.quote = QStringLiteral("so then");
        quoteOnly.tags = {QStringLiteral("a"), QStringLiteral("b\tc")};
        QTest::newRow("fall-backs") << Markers{quoteOnly, LoggableMarker()} << Text()
                                    << heading25 + noTape +
                                           QStringLiteral("so then\tVA1A2\t01:00:00:00\t01:00:00:00\tso then\t"
                                                          "soundbite\ta, b c\t\t\tso then\n"
                                                          "\tVA1A2\t\t\t\t\t\t\t\t\n");
    }
    void exactText()
    {
        QFETCH(Markers, markers);
        QFETCH(Text, tape);
        QFETCH(QString, expected);
        // Heading values are cleaned too.
        QCOMPARE(LogExport::ale(markers, QStringLiteral(" 25\r\n"), QStringLiteral("\t1080 "), tape), expected);
    }

    // Whatever the texts hold, every row keeps its cells and the file its three blocks.
    void hostileTextsKeepTheLayout_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 8; ++seed)
            QTest::addRow("seed %u", seed) << seed;
    }
    void hostileTextsKeepTheLayout()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        Markers markers;
        for (int i = random.bounded(60); i > 0; --i) {
            LoggableMarker m;
            m.timecode = hostileText(random);
            m.timecodeOut = maybeHostile(random);
            m.markerType = hostileText(random);
            m.summary = maybeHostile(random);
            m.quote = maybeHostile(random);
            m.manualNote = maybeHostile(random);
            for (int t = random.bounded(4); t > 0; --t)
                m.tags.append(hostileText(random));
            m.speaker = maybeHostile(random);
            markers.append(m);
        }
        const Text tape = maybeHostile(random);
        AleFile file;
        const QString error = readAle(LogExport::ale(markers, hostileText(random), hostileText(random), tape), file);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(file.heading.size(), 4);
        QCOMPARE(file.heading[0], qMakePair(QStringLiteral("FIELD_DELIM"), QStringLiteral("TABS")));
        QCOMPARE(file.heading[2], qMakePair(QStringLiteral("AUDIO_FORMAT"), QStringLiteral("48khz")));
        QCOMPARE(file.rows.size(), markers.size());

        const bool tapeShown = tape && tape->contains(QRegularExpression(QStringLiteral("[^ \\t\\r\\n]")));
        const qsizetype tapeColumn = file.columns.indexOf(QStringLiteral("Tape"));
        QCOMPARE(tapeColumn >= 0, tapeShown);
        for (const QStringList& row : std::as_const(file.rows)) {
            QCOMPARE(row[1], QStringLiteral("VA1A2"));
            if (tapeShown)
                QVERIFY(!row[tapeColumn].isEmpty());
            for (const QString& cell : row)
                QVERIFY(!cell.startsWith(QLatin1Char(' ')) && !cell.endsWith(QLatin1Char(' ')));
        }
    }
};

PINDLE_TEST(TestAleWriter)
#include "test_ale.moc"
