#include "common/TestMain.h"

#include "export/LogExportText.h"
#include "export/ScriptSyncWriter.h"

#include <QRandomGenerator>

#include <unicode/brkiter.h>
#include <unicode/regex.h>

#include <iterator>
#include <memory>

using LogExport::TranscriptTurn;
using Turns = QList<TranscriptTurn>;
using Markers = QList<LoggableMarker>;
using Text = std::optional<QString>;

namespace {

// 2026-12-06 12:00:00 UTC.
const Date fixedDate = Date::fromSecondsSince1970(1796558400);
const QString header = QStringLiteral("DAY 1\nRecorded December 6, 2026\n");

LoggableMarker said(const Text& quote, const Text& summary)
{
    LoggableMarker marker;
    marker.timecode = QStringLiteral("01:00:00:00");
    marker.markerType = QStringLiteral("great");
    marker.quote = quote;
    marker.summary = summary;
    return marker;
}

icu::UnicodeString icuText(const QString& text)
{
    return icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
}

QString qtText(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// The filler rules as the desktop platform runs them, through ICU's regular expressions.
QString icuRemoveFillers(const QString& input)
{
    UErrorCode status = U_ZERO_ERROR;
    const auto replaceAll = [&status](const char16_t* pattern, const icu::UnicodeString& text, const char16_t* with) {
        std::unique_ptr<icu::RegexMatcher> matcher(new icu::RegexMatcher(icu::UnicodeString(pattern), text, 0, status));
        return matcher->replaceAll(icu::UnicodeString(with), status);
    };
    icu::UnicodeString text = icuText(LogExport::plainPunctuation(input));
    text = replaceAll(u"(?i),\\s*(u+m+|u+h+|e+r+m+|e+r+|a+h+)\\s*,", text, u"");
    text =
        replaceAll(u"(?i)(^|[\\s,.;:!?-])(u+m+|u+h+|e+r+m+|e+r+|a+h+|h+m+|m+m+)(?=$|[\\s,.;:!?-])[,.]?", text, u"$1");
    // Stutters collapse to their first spelling, except "had had" and "that that".
    icu::RegexMatcher stutter(icu::UnicodeString(u"(?i)\\b([a-z']+)(?:[\\s,]+\\1\\b)+"), text, 0, status);
    icu::UnicodeString out;
    int32_t copied = 0;
    while (stutter.find(status)) {
        const int32_t start = stutter.start(status);
        const int32_t end = stutter.end(status);
        out.append(text, copied, start - copied);
        icu::UnicodeString word = stutter.group(1, status);
        icu::UnicodeString lower = word;
        lower.toLower(icu::Locale::getRoot());
        if (lower == icu::UnicodeString(u"had") || lower == icu::UnicodeString(u"that"))
            out.append(text, start, end - start);
        else
            out.append(word);
        copied = end;
    }
    out.append(text, copied, text.length() - copied);
    text = replaceAll(u"\\s+([,.;:!?])", out, u"$1");
    text = replaceAll(u"([,.;:!?])(?=[A-Za-z])", text, u"$1 ");
    text = replaceAll(u"\\s{2,}", text, u" ");
    text = replaceAll(u"^[\\s,.;:-]+", text, u"");
    text = icuText(LogExport::trimSpacesAndTabs(qtText(text)));
    if (U_FAILURE(status) || text.isEmpty())
        return U_FAILURE(status) ? QStringLiteral("ICU failed") : QString();
    std::unique_ptr<icu::BreakIterator> graphemes(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    graphemes->setText(text);
    const int32_t firstEnd = graphemes->next();
    icu::UnicodeString first(text, 0, firstEnd);
    first.toUpper(icu::Locale::getRoot());
    return qtText(first) + qtText(icu::UnicodeString(text, firstEnd));
}

// Speech and the characters the two engines could disagree on: white space and breaks,
// combining and format marks, letters with odd case partners, apostrophes, digits. Left out:
// sharp s and ligatures (ICU back-references fold "ss" to "ß", PCRE2 does not) and U+0345 and
// Thai vowels (Qt's grapheme clusters differ from ICU's).
const char16_t* const speechPieces[] = {
    u"um",     u"UM",     u"uh",     u"erm",    u"er",     u"ah",     u"Ahh",    u"hm",         u"Hmm",    u"mm",
    u"the",    u"THE",    u"had",    u"HAD",    u"that",   u"thaT",   u"I",      u"a",          u"so",     u"cat",
    u"it's",   u"'",      u"'s",     u" ",      u"  ",     u",",      u", ",     u".",          u";",      u"!",
    u"?",      u"-",      u"\t",     u"\n",     u"\r\n",   u"\u000B", u"\u0085", u"\u00A0",     u"\u2028", u"\u3000",
    u"\u0301", u"\u200B", u"\u200D", u"\u2060", u"\uFEFF", u"\u00AD", u"\u00E9", u"\u017F",     u"\u212A", u"\u0130",
    u"\u0131", u"k",      u"s",      u"i",      u"\u00B2", u"_",      u"7",      u"\U0001F600", u"\u2019", u"\u201C",
    u"\u2014", u"\u2026", u"\u05D0", u"\u0660", u"\u0903", u"\u2160", u"\u24B6", u"x",          u"Um,",    u"er,"};

} // namespace

class TestScriptSync : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One row per step of the rules, and the edges between them.
    void removeFillers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& text, const QString& expected) {
            QTest::newRow(name) << text << expected;
        };
        row("filler between commas", QStringLiteral("um, so, uh, we went there"), QStringLiteral("So we went there"));
        row("nothing but a filler", QStringLiteral("Hmm."), QString());
        row("stutter, first spelling wins", QStringLiteral("the THE The cat"), QStringLiteral("The cat"));
        row("had had and that that stay", QStringLiteral("had had That that the the end"),
            QStringLiteral("Had had That that the end"));
        row("spacing around marks", QStringLiteral("one ,two;three  :four"), QStringLiteral("One, two; three: four"));
        row("upper case is longer", QStringLiteral("\u00DF is fine"), QStringLiteral("SS is fine"));
        row("repeat of a word's end", QStringLiteral("o'clock clock"), QStringLiteral("O'clock"));
        // A lone surrogate cannot reach a UTF-8 file; the rules still apply around it.
        row("lone surrogate", QString::fromUtf16(u"\xD800 um the the"), QStringLiteral("\uFFFD the"));
    }
    void removeFillers()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::removeFillers(text), expected);
    }

    // The rules were written for ICU's regular expressions; PCRE2 spells some classes and
    // assertions differently. Random speech must come out the same.
    void removeFillersAgreesWithIcu()
    {
        QCOMPARE(icuRemoveFillers(QStringLiteral("um, so the the cat")), QStringLiteral("So the cat"));
        QRandomGenerator random(20261206);
        for (int i = 0; i < 20000; ++i) {
            QString text;
            for (int j = random.bounded(14); j > 0; --j)
                text += QString::fromUtf16(speechPieces[random.bounded(int(std::size(speechPieces)))]);
            const QString expected = icuRemoveFillers(text);
            const QString actual = LogExport::removeFillers(text);
            if (actual != expected)
                QFAIL(qPrintable(QStringLiteral("%1 -> %2, ICU %3")
                                     .arg(QString::fromLatin1(text.toUtf8().toPercentEncoding()),
                                          QString::fromLatin1(actual.toUtf8().toPercentEncoding()),
                                          QString::fromLatin1(expected.toUtf8().toPercentEncoding()))));
        }
    }

    void selects_data()
    {
        QTest::addColumn<Markers>("markers");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no marker text") << Markers{said(QStringLiteral(" "), std::nullopt),
                                                   said(std::nullopt, QString())}
                                        << QStringLiteral("title") << QStringLiteral("TITLE\n");
        QTest::newRow("quote wins, straightened, one line")
            << Markers{said(QStringLiteral("\u201CYes,\u201D she\r\nsaid\u2028\u2014 it\u2019s done\u2026\u0085"),
                            QStringLiteral("no"))}
            << QStringLiteral("t") << QStringLiteral("T\n\n\"Yes,\" she said - it's done...\n");
        QTest::newRow("order kept, blank quote: summary")
            << Markers{said(QStringLiteral("a\u00A0b"), std::nullopt), said(std::nullopt, std::nullopt),
                       said(QStringLiteral(" \t"), QStringLiteral("B"))}
            << QStringLiteral("t") << QStringLiteral("T\n\na\u00A0b\n\nB\n");
        QTest::newRow("title punctuation kept, upper case longer")
            << Markers() << QStringLiteral(" \u201CStra\u00DFe\u201D \u2014 1\t")
            << QStringLiteral("\u201CSTRASSE\u201D \u2014 1\n");
    }
    void selects()
    {
        QFETCH(Markers, markers);
        QFETCH(QString, title);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::scriptSyncSelects(markers, title), expected);
    }

    void transcript_data()
    {
        QTest::addColumn<Turns>("turns");
        QTest::addColumn<QString>("expected");
        const Text presenter = QStringLiteral("Presenter");
        const Text ana = QStringLiteral("Ana");
        QTest::newRow("all turns fillers")
            << Turns{{presenter, QStringLiteral("um")}, {std::nullopt, QStringLiteral("Hmm.")}} << header;
        QTest::newRow("one speaker merges, dropped turn between")
            << Turns{{ana, QStringLiteral("um, hello")},
                     {QStringLiteral("Ben"), QStringLiteral("Hmm.")},
                     {ana, QStringLiteral("the the world")}}
            << header + QStringLiteral("\nANA\nHello The world\n");
        QTest::newRow("no speaker between") << Turns{{presenter, QStringLiteral("a")},
                                                     {std::nullopt, QStringLiteral("b")},
                                                     {presenter, QStringLiteral("c")}}
                                            << header + QStringLiteral("\nPRESENTER\nA\n\nB\n\nPRESENTER\nC\n");
        QTest::newRow("speakers compared exactly")
            << Turns{{ana, QStringLiteral("a")}, {QStringLiteral("ana"), QStringLiteral("b")}}
            << header + QStringLiteral("\nANA\nA\n\nANA\nB\n");
        QTest::newRow("empty, blank and absent speakers") << Turns{{QString(), QStringLiteral("a")},
                                                                   {QStringLiteral("   "), QStringLiteral("b")},
                                                                   {std::nullopt, QStringLiteral("c")}}
                                                          << header + QStringLiteral("\nA\n\n\nB\n\nC\n");
        QTest::newRow("a turn is one paragraph") << Turns{{ana, QStringLiteral("one\u2028two\nthree\u0085")}}
                                                 << header + QStringLiteral("\nANA\nOne two three\n");
        QTest::newRow("speaker cleaned") << Turns{{QStringLiteral("  ana \u201Cdir\u201D\t\u2014x "),
                                                   QStringLiteral("ok")}}
                                         << header + QStringLiteral("\nANA \"DIR\" -X\nOk\n");
    }
    void transcript()
    {
        QFETCH(Turns, turns);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::cleanTranscript(turns, QStringLiteral("Day 1"), fixedDate, QLocale(QStringLiteral("en_US")),
                                            "UTC"),
                 expected);
    }

    void recordedDate_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("line");
        QTest::newRow("next day in Tokyo")
            << 1796599800.0 << QByteArray("Asia/Tokyo") << QStringLiteral("December 7, 2026");
    }
    void recordedDate()
    {
        QFETCH(double, seconds);
        QFETCH(QByteArray, zone);
        QFETCH(QString, line);
        QCOMPARE(LogExport::cleanTranscript({}, QStringLiteral(" Stra\u00DFe \u201Cone\u201D\n\u2014 two "),
                                            Date::fromSecondsSince1970(seconds), QLocale(QStringLiteral("en_US")),
                                            zone),
                 QStringLiteral("STRASSE \"ONE\" - TWO\nRecorded ") + line + QStringLiteral("\n"));
    }
};

PINDLE_TEST(TestScriptSync)
#include "test_scriptsync.moc"
