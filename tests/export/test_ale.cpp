#include "common/TestMain.h"

#include "export/AleWriter.h"

#include <QRandomGenerator>
#include <QRegularExpression>

#include <optional>

namespace {

const QString heading25 = QStringLiteral("Heading\n"
                                         "FIELD_DELIM\tTABS\n"
                                         "VIDEO_FORMAT\t1080\n"
                                         "AUDIO_FORMAT\t48khz\n"
                                         "FPS\t25\n"
                                         "\n"
                                         "Column\n");
const QString columnsWithoutTape =
    QStringLiteral("Name\tTracks\tStart\tEnd\tComments\tType\tKeywords\tSpeaker\tNote\tQuote\n\nData\n");
const QString columnsWithTape =
    QStringLiteral("Name\tTracks\tStart\tEnd\tTape\tComments\tType\tKeywords\tSpeaker\tNote\tQuote\n\nData\n");

LoggableMarker marker(const QString& timecode, const QString& kind)
{
    LoggableMarker m;
    m.timecode = timecode;
    m.markerType = kind;
    return m;
}

// An ALE as Avid reads it: the heading pairs, the column names and the data rows, each row
// split at TAB. Returns an error text when the layout is broken.
struct AleFile {
    QList<QPair<QString, QString>> heading;
    QStringList columns;
    QList<QStringList> rows;
};

QString readAle(const QString& text, AleFile& file)
{
    if (text.contains(QLatin1Char('\r')))
        return QStringLiteral("CR in an LF file");
    if (!text.endsWith(QLatin1Char('\n')))
        return QStringLiteral("last line not ended");
    QStringList lines = text.split(QLatin1Char('\n'));
    lines.removeLast(); // after the final LF
    qsizetype i = 0;
    auto next = [&](QString& line) {
        if (i >= lines.size())
            return false;
        line = lines[i++];
        return true;
    };
    QString line;
    if (!next(line) || line != QLatin1String("Heading"))
        return QStringLiteral("no Heading keyword");
    while (next(line) && !line.isEmpty()) {
        const QStringList pair = line.split(QLatin1Char('\t'));
        if (pair.size() != 2)
            return QStringLiteral("heading line without one TAB: ") + line;
        file.heading.append({pair[0], pair[1]});
    }
    if (!next(line) || line != QLatin1String("Column"))
        return QStringLiteral("no Column keyword");
    if (!next(line))
        return QStringLiteral("no column line");
    file.columns = line.split(QLatin1Char('\t'));
    if (!next(line) || !line.isEmpty())
        return QStringLiteral("no empty line after the columns");
    if (!next(line) || line != QLatin1String("Data"))
        return QStringLiteral("no Data keyword");
    while (next(line)) {
        QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.size() != file.columns.size())
            return QStringLiteral("row with %1 cells for %2 columns: %3")
                .arg(cells.size())
                .arg(file.columns.size())
                .arg(line);
        file.rows.append(std::move(cells));
    }
    return QString();
}

// Texts a transcription or a typing user can hand over.
const QStringList hostilePieces{
    QStringLiteral("\t"),
    QStringLiteral("\r\n"),
    QStringLiteral("\r"),
    QStringLiteral("\n"),
    QStringLiteral("\u2028"),
    QString(QChar(0)),
    QStringLiteral(" "),
    QStringLiteral("word"),
    QStringLiteral("\u201cq\u201d"),
    QStringLiteral("\U0001F600"),
    QString(),
};

QString hostileText(QRandomGenerator& random)
{
    QString text;
    const int pieces = random.bounded(5);
    for (int i = 0; i < pieces; ++i)
        text += hostilePieces[random.bounded(int(hostilePieces.size()))];
    return text;
}

std::optional<QString> maybeHostile(QRandomGenerator& random)
{
    if (random.bounded(4) == 0)
        return std::nullopt;
    return hostileText(random);
}

} // namespace

class TestAleWriter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noMarkers()
    {
        QCOMPARE(LogExport::ale({}, QStringLiteral("25"), QStringLiteral("1080"), std::nullopt),
                 heading25 + columnsWithoutTape);
    }

    void headingValuesAreCleaned()
    {
        const QString text = LogExport::ale({}, QStringLiteral(" 29.97\r\n"), QStringLiteral("\t1080 "), std::nullopt);
        QVERIFY(text.startsWith(QStringLiteral("Heading\nFIELD_DELIM\tTABS\nVIDEO_FORMAT\t1080\n"
                                               "AUDIO_FORMAT\t48khz\nFPS\t29.97\n\nColumn\n")));
    }

    void blankTapeHasNoColumn_data()
    {
        QTest::addColumn<std::optional<QString>>("tape");
        QTest::newRow("absent") << std::optional<QString>();
        QTest::newRow("spaces") << std::optional<QString>(QStringLiteral("  "));
        QTest::newRow("tab") << std::optional<QString>(QStringLiteral("\t"));
        QTest::newRow("line breaks") << std::optional<QString>(QStringLiteral("\r\n\n"));
    }
    void blankTapeHasNoColumn()
    {
        QFETCH(std::optional<QString>, tape);
        const QList<LoggableMarker> markers{marker(QStringLiteral("10:00:00:00"), QStringLiteral("great"))};
        QCOMPARE(LogExport::ale(markers, QStringLiteral("25"), QStringLiteral("1080"), tape),
                 heading25 + columnsWithoutTape +
                     QStringLiteral("great\tVA1A2\t10:00:00:00\t10:00:00:00\t\tgreat\t\t\t\t\n"));
    }

    void tapeOnEveryRow()
    {
        const QList<LoggableMarker> markers{marker(QStringLiteral("10:00:00:00"), QStringLiteral("great")),
                                            marker(QStringLiteral("10:00:05:00"), QStringLiteral("note"))};
        QCOMPARE(LogExport::ale(markers, QStringLiteral("25"), QStringLiteral("1080"), QStringLiteral(" A001\t")),
                 heading25 + columnsWithTape +
                     QStringLiteral("great\tVA1A2\t10:00:00:00\t10:00:00:00\tA001\t\tgreat\t\t\t\t\n"
                                    "note\tVA1A2\t10:00:05:00\t10:00:05:00\tA001\t\tnote\t\t\t\t\n"));
    }

    void fullRow()
    {
        LoggableMarker m = marker(QStringLiteral(" 10:00:00:00 "), QStringLiteral("earmark"));
        m.timecodeOut = QStringLiteral("10:00:04:12");
        m.summary = QStringLiteral("She laughs");
        m.quote = QStringLiteral("\u201cno way\u201d");
        m.manualNote = QStringLiteral("wide\r\nshot");
        m.tags = {QString(), QStringLiteral("night"), QStringLiteral(" ")};
        m.speaker = QStringLiteral("Guest ");
        QCOMPARE(LogExport::ale({m}, QStringLiteral("25"), QStringLiteral("1080"), std::nullopt),
                 heading25 + columnsWithoutTape +
                     QStringLiteral("She laughs\tVA1A2\t10:00:00:00\t10:00:04:12\twide shot\tearmark\tnight\tGuest\t"
                                    "wide shot\t\u201cno way\u201d\n"));
    }

    void nameAndCommentFallBacks()
    {
        LoggableMarker quoteOnly = marker(QStringLiteral("01:00:00:00"), QStringLiteral("soundbite"));
        quoteOnly.summary = QStringLiteral(" ");
        quoteOnly.quote = QStringLiteral("so then");
        quoteOnly.tags = {QStringLiteral("a"), QStringLiteral("b\tc")};
        LoggableMarker empty;
        QCOMPARE(
            LogExport::ale({quoteOnly, empty}, QStringLiteral("25"), QStringLiteral("1080"), std::nullopt),
            heading25 + columnsWithoutTape +
                QStringLiteral("so then\tVA1A2\t01:00:00:00\t01:00:00:00\tso then\tsoundbite\ta, b c\t\t\tso then\n"
                               "\tVA1A2\t\t\t\t\t\t\t\t\n"));
    }

    // Whatever the texts hold, every row keeps its cells and the file its three blocks.
    void hostileTextsKeepTheLayout_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 20; ++seed)
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }
    void hostileTextsKeepTheLayout()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        QList<LoggableMarker> markers;
        const int count = random.bounded(60);
        for (int i = 0; i < count; ++i) {
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
        const std::optional<QString> tape = maybeHostile(random);
        const QString text = LogExport::ale(markers, hostileText(random), hostileText(random), tape);

        AleFile file;
        const QString error = readAle(text, file);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(file.heading.size(), 4);
        QCOMPARE(file.heading[0].first, QStringLiteral("FIELD_DELIM"));
        QCOMPARE(file.heading[0].second, QStringLiteral("TABS"));
        QCOMPARE(file.heading[1].first, QStringLiteral("VIDEO_FORMAT"));
        QCOMPARE(file.heading[2], qMakePair(QStringLiteral("AUDIO_FORMAT"), QStringLiteral("48khz")));
        QCOMPARE(file.heading[3].first, QStringLiteral("FPS"));
        QCOMPARE(file.rows.size(), markers.size());

        const qsizetype tapeColumn = file.columns.indexOf(QStringLiteral("Tape"));
        const bool tapeShown = tape && tape->contains(QRegularExpression(QStringLiteral("[^ \\t\\r\\n]")));
        QCOMPARE(tapeColumn >= 0, tapeShown);
        QCOMPARE(file.columns.size(), tapeShown ? 11 : 10);
        const qsizetype tracks = file.columns.indexOf(QStringLiteral("Tracks"));
        for (const QStringList& row : std::as_const(file.rows)) {
            QCOMPARE(row[tracks], QStringLiteral("VA1A2"));
            if (tapeShown) {
                QCOMPARE(row[tapeColumn], file.rows.first()[tapeColumn]);
                QVERIFY(!row[tapeColumn].isEmpty());
            }
            for (const QString& cell : row) {
                // Cleaned cells: no edge blanks an importer could trip over.
                QVERIFY(!cell.startsWith(QLatin1Char(' ')) && !cell.endsWith(QLatin1Char(' ')));
            }
        }
    }
};

PINDLE_TEST(TestAleWriter)
#include "test_ale.moc"
