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

namespace {

// 2026-12-06 12:00:00 UTC.
const Date fixedDate = Date::fromSecondsSince1970(1796558400);
const QString header = QStringLiteral("DAY 1\nRecorded December 6, 2026\n");

TranscriptTurn turn(const std::optional<QString>& speaker, const QString& text)
{
    return TranscriptTurn{speaker, text};
}

const std::optional<QString> noSpeaker;
const std::optional<QString> presenter = QStringLiteral("Presenter");

LoggableMarker said(const std::optional<QString>& quote, const std::optional<QString>& summary)
{
    LoggableMarker marker;
    marker.timecode = QStringLiteral("01:00:00:00");
    marker.markerType = QStringLiteral("great");
    marker.quote = quote;
    marker.summary = summary;
    return marker;
}

// The filler rules as the desktop platform runs them: through ICU's regular expressions.
class IcuFillerRules {
public:
    IcuFillerRules()
    {
        m_betweenCommas = compile(u"(?i),\\s*(u+m+|u+h+|e+r+m+|e+r+|a+h+)\\s*,");
        m_standalone = compile(u"(?i)(^|[\\s,.;:!?-])(u+m+|u+h+|e+r+m+|e+r+|a+h+|h+m+|m+m+)(?=$|[\\s,.;:!?-])[,.]?");
        m_stutter = compile(u"(?i)\\b([a-z']+)(?:[\\s,]+\\1\\b)+");
        m_spaceBefore = compile(u"\\s+([,.;:!?])");
        m_spaceAfter = compile(u"([,.;:!?])(?=[A-Za-z])");
        m_spaceRun = compile(u"\\s{2,}");
        m_leading = compile(u"^[\\s,.;:-]+");
        UErrorCode status = U_ZERO_ERROR;
        m_graphemes.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    }

    [[nodiscard]] bool isValid() const
    {
        return m_betweenCommas && m_standalone && m_stutter && m_spaceBefore && m_spaceAfter && m_spaceRun &&
               m_leading && m_graphemes;
    }

    QString removeFillers(const QString& input) const
    {
        icu::UnicodeString text = icuText(LogExport::plainPunctuation(input));
        text = replaceAll(*m_betweenCommas, text, u"");
        text = replaceAll(*m_standalone, text, u"$1");
        text = collapseStutters(text);
        text = replaceAll(*m_spaceBefore, text, u"$1");
        text = replaceAll(*m_spaceAfter, text, u"$1 ");
        text = replaceAll(*m_spaceRun, text, u" ");
        text = replaceAll(*m_leading, text, u"");
        text = icuText(LogExport::trimSpacesAndTabs(qtText(text)));
        if (text.isEmpty())
            return QString();
        m_graphemes->setText(text);
        const int32_t firstEnd = m_graphemes->next();
        icu::UnicodeString first(text, 0, firstEnd);
        first.toUpper(icu::Locale::getRoot());
        return qtText(first) + qtText(icu::UnicodeString(text, firstEnd));
    }

private:
    static std::unique_ptr<icu::RegexPattern> compile(const char16_t* pattern)
    {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexPattern> compiled(icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, status));
        return U_SUCCESS(status) ? std::move(compiled) : nullptr;
    }

    static icu::UnicodeString icuText(const QString& text)
    {
        return icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
    }

    static QString qtText(const icu::UnicodeString& text)
    {
        return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
    }

    static icu::UnicodeString replaceAll(const icu::RegexPattern& pattern, const icu::UnicodeString& text,
                                         const char16_t* replacement)
    {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
        return matcher->replaceAll(icu::UnicodeString(replacement), status);
    }

    icu::UnicodeString collapseStutters(const icu::UnicodeString& text) const
    {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(m_stutter->matcher(text, status));
        icu::UnicodeString out;
        int32_t copied = 0;
        while (matcher->find(status)) {
            const int32_t start = matcher->start(status);
            const int32_t end = matcher->end(status);
            out.append(text, copied, start - copied);
            const icu::UnicodeString word = matcher->group(1, status);
            icu::UnicodeString lower = word;
            lower.toLower(icu::Locale::getRoot());
            if (lower == icu::UnicodeString(u"had") || lower == icu::UnicodeString(u"that"))
                out.append(text, start, end - start);
            else
                out.append(word);
            copied = end;
        }
        out.append(text, copied, text.length() - copied);
        return out;
    }

    std::unique_ptr<icu::RegexPattern> m_betweenCommas;
    std::unique_ptr<icu::RegexPattern> m_standalone;
    std::unique_ptr<icu::RegexPattern> m_stutter;
    std::unique_ptr<icu::RegexPattern> m_spaceBefore;
    std::unique_ptr<icu::RegexPattern> m_spaceAfter;
    std::unique_ptr<icu::RegexPattern> m_spaceRun;
    std::unique_ptr<icu::RegexPattern> m_leading;
    std::unique_ptr<icu::BreakIterator> m_graphemes;
};

// Pieces of speech and the characters the two regex engines could disagree on: every kind of
// white space and line break, combining marks and format characters next to words, letters with
// unusual case partners (Kelvin sign, long s, dotless i), apostrophes, digits and underscores.
// Left out: sharp s and the ligatures, which ICU's back-references match by full case folding
// ("ss" repeats as "ß") and PCRE2's do not; and U+0345 and Thai vowels, where Qt's grapheme
// clusters differ from ICU's.
const char16_t* const speechPieces[] = {
    u"um",     u"UM",     u"uh",     u"erm",    u"er",         u"ah",         u"Ahh",        u"hm",     u"Hmm",
    u"mm",     u"the",    u"The",    u"THE",    u"had",        u"HAD",        u"that",       u"thaT",   u"I",
    u"a",      u"so",     u"we",     u"cat",    u"it's",       u"'",          u"''",         u"'s",     u" ",
    u"  ",     u",",      u", ",     u".",      u";",          u":",          u"!",          u"?",      u"-",
    u"\t",     u"\n",     u"\r",     u"\r\n",   u"\u000B",     u"\u000C",     u"\u0085",     u"\u00A0", u"\u2028",
    u"\u3000", u"\u0301", u"\u0300", u"\u200B", u"\u200C",     u"\u200D",     u"\u200E",     u"\u2060", u"\uFEFF",
    u"\u00AD", u"\u00E9", u"\u017F", u"\u212A", u"\u0130",     u"\u0131",     u"k",          u"s",      u"i",
    u"\u00B2", u"_",      u"7",      u"2",      u"\U0001F600", u"\U0001F3FB", u"\U000E0020", u"\u2019", u"\u201C",
    u"\u2014", u"\u2026", u"\u05D0", u"\u0660", u"\u0903",     u"\u2160",     u"\u24B6",     u"\u203F", u"x",
    u"Um,",    u"um.",    u"er,",    u"ss",     u"ff"};

} // namespace

class TestScriptSync : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void removeFillers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const QString& text, const QString& expected) {
            QTest::newRow(name) << text << expected;
        };
        row("filler between commas", QStringLiteral("um, so, uh, we went there"), QStringLiteral("So we went there"));
        row("filler inside", QStringLiteral("I, um, think so"), QStringLiteral("I think so"));
        row("nothing but a filler", QStringLiteral("Hmm."), QString());
        row("stutter", QStringLiteral("the the the cat"), QStringLiteral("The cat"));
        row("had had stays", QStringLiteral("We had had enough"), QStringLiteral("We had had enough"));
        row("stutter across commas", QStringLiteral("I I, I know"), QStringLiteral("I know"));
        row("space after comma", QStringLiteral("wait,what"), QStringLiteral("Wait, what"));
        row("no space before mark", QStringLiteral("really ?"), QStringLiteral("Really?"));
        row("that that stays, any case", QStringLiteral("That that is it"), QStringLiteral("That that is it"));
        row("kept and reduced in one text", QStringLiteral("had had the the end"), QStringLiteral("Had had the end"));
        row("first spelling wins", QStringLiteral("the THE The cat"), QStringLiteral("The cat"));
        row("repeat must end a word", QStringLiteral("the theory"), QStringLiteral("The theory"));
        row("filler inside a word", QStringLiteral("umbrella"), QStringLiteral("Umbrella"));
        row("hum is a word", QStringLiteral("hum"), QStringLiteral("Hum"));
        row("long filler and its comma", QStringLiteral("Ummm, right"), QStringLiteral("Right"));
        row("filler between ellipses", QStringLiteral("so... um... yes"), QStringLiteral("So..... yes"));
        row("upper case is longer", QStringLiteral("\u00DF is fine"), QStringLiteral("SS is fine"));
        row("ligature upper case", QStringLiteral("\uFB01ne"), QStringLiteral("FIne"));
        row("accented first letter", QStringLiteral("\u00E9clair"), QStringLiteral("\u00C9clair"));
        row("no-break spaces", QStringLiteral("\u00A0um\u00A0hello"), QStringLiteral("Hello"));
        row("curly apostrophes", QStringLiteral("it\u2019s it\u2019s fine"), QStringLiteral("It's fine"));
        row("filler before final line break", QStringLiteral("um\n"), QString());
        row("uh-huh", QStringLiteral("Uh-huh"), QStringLiteral("Huh"));
        row("accented repeat untouched", QStringLiteral("caf\u00E9 caf\u00E9"), QStringLiteral("Caf\u00E9 caf\u00E9"));
        row("combining mark ends no word", QStringLiteral("the the\u0301 end"), QStringLiteral("The the\u0301 end"));
        row("format character is see-through", QStringLiteral("x\u200Bthe the"), QStringLiteral("X\u200Bthe the"));
        row("next line is a space", QStringLiteral("um\u0085so"), QStringLiteral("So"));
        row("empty", QString(), QString());
        row("blank", QStringLiteral(" \t "), QString());
        row("only commas left", QStringLiteral(", , um"), QString());
        row("filler after a mark", QStringLiteral("Hello!Um"), QStringLiteral("Hello!"));
        row("leading question marks stay", QStringLiteral("?? what"), QStringLiteral("?? what"));
        row("upper-case filler", QStringLiteral("so, ERM, yes"), QStringLiteral("So yes"));
        row("mm keeps its commas", QStringLiteral("we, mm, left"), QStringLiteral("We, left"));
        row("filler before a tab", QStringLiteral("well uh\tyes"), QStringLiteral("Well yes"));
        row("stutter before a mark", QStringLiteral("go go, go!"), QStringLiteral("Go!"));
        row("apostrophe word", QStringLiteral("it's it's"), QStringLiteral("It's"));
        row("no boundary before an apostrophe", QStringLiteral("'tis 'tis"), QStringLiteral("'tis 'tis"));
        row("repeat from an apostrophe", QStringLiteral("it's 's"), QStringLiteral("It's"));
        row("repeat after an apostrophe", QStringLiteral("'the the"), QStringLiteral("'the"));
        row("repeat of a word's end", QStringLiteral("o'clock clock"), QStringLiteral("O'clock"));
        row("repeats across commas", QStringLiteral("the, the, THE."), QStringLiteral("The."));
        row("stutter over a line break", QStringLiteral("the\nthe"), QStringLiteral("The"));
        row("dash joins no repeat", QStringLiteral("That\u2014that"), QStringLiteral("That-that"));
        row("filler between hyphens", QStringLiteral("a-um-b"), QStringLiteral("A--b"));
        row("spacing", QStringLiteral("one,two;three:four"), QStringLiteral("One, two; three: four"));
        row("marks before letters", QStringLiteral("hi!how?are"), QStringLiteral("Hi! how? are"));
        row("spaces around a comma", QStringLiteral("x  ,  y"), QStringLiteral("X, y"));
        row("fillers only", QStringLiteral("uh, uh, uh"), QString());
        row("hums", QStringLiteral("hmmm mmm"), QString());
        row("emoji first", QStringLiteral("\U0001F600 um wow"), QStringLiteral("\U0001F600 wow"));
        row("right to left", QStringLiteral("\u05E9\u05DC\u05D5\u05DD um \u05E9\u05DC\u05D5\u05DD"),
            QStringLiteral("\u05E9\u05DC\u05D5\u05DD \u05E9\u05DC\u05D5\u05DD"));
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
    // assertions differently. Random speech over the characters where they could part ways
    // must come out the same.
    void removeFillersAgreesWithIcu()
    {
        const IcuFillerRules icu;
        QVERIFY(icu.isValid());
        QRandomGenerator random(20261206);
        const int pieces = int(std::size(speechPieces));
        for (int i = 0; i < 20000; ++i) {
            QString text;
            const int length = random.bounded(14);
            for (int j = 0; j < length; ++j)
                text += QString::fromUtf16(speechPieces[random.bounded(pieces)]);
            const QString expected = icu.removeFillers(text);
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
        QTest::newRow("no markers") << Markers() << QStringLiteral("title") << QStringLiteral("TITLE\n");
        QTest::newRow("no marker text") << Markers{said(QStringLiteral(" "), std::nullopt),
                                                   said(std::nullopt, QString())}
                                        << QStringLiteral("title") << QStringLiteral("TITLE\n");
        QTest::newRow("quote wins, straightened")
            << Markers{said(QStringLiteral("\u201CYes,\u201D she said \u2014 it\u2019s done\u2026"),
                            QStringLiteral("no"))}
            << QStringLiteral("t") << QStringLiteral("T\n\n\"Yes,\" she said - it's done...\n");
        QTest::newRow("blank quote: summary")
            << Markers{said(QStringLiteral(" \t"), QStringLiteral("Summary \u2018one\u2019"))} << QStringLiteral("t")
            << QStringLiteral("T\n\nSummary 'one'\n");
        QTest::newRow("no-break space stays") << Markers{said(QStringLiteral("a\u00A0b"), std::nullopt)}
                                              << QStringLiteral("t") << QStringLiteral("T\n\na\u00A0b\n");
        QTest::newRow("one line") << Markers{said(QStringLiteral("line one\r\nline two\n"), std::nullopt)}
                                  << QStringLiteral("t") << QStringLiteral("T\n\nline one line two\n");
        QTest::newRow("order kept, empty skipped")
            << Markers{said(QStringLiteral("A"), std::nullopt), said(std::nullopt, std::nullopt),
                       said(std::nullopt, QStringLiteral("B"))}
            << QStringLiteral("t") << QStringLiteral("T\n\nA\n\nB\n");
        QTest::newRow("title punctuation kept") << Markers() << QStringLiteral(" \u201Cday\u201D \u2014 1\t")
                                                << QStringLiteral("\u201CDAY\u201D \u2014 1\n");
        QTest::newRow("title upper case is longer")
            << Markers() << QStringLiteral("Stra\u00DFe") << QStringLiteral("STRASSE\n");
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
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("expected");
        const QString day = QStringLiteral("Day 1");
        QTest::newRow("no turns") << Turns() << day << header;
        QTest::newRow("all turns fillers")
            << Turns{turn(presenter, QStringLiteral("um")), turn(noSpeaker, QStringLiteral("Hmm."))} << day << header;
        QTest::newRow("one speaker merges")
            << Turns{turn(presenter, QStringLiteral("um, so, uh, we went there")),
                     turn(presenter, QStringLiteral("the the the cat"))}
            << day << header + QStringLiteral("\nPRESENTER\nSo we went there The cat\n");
        QTest::newRow("no speaker between")
            << Turns{turn(presenter, QStringLiteral("a")), turn(noSpeaker, QStringLiteral("b")),
                     turn(presenter, QStringLiteral("c"))}
            << day << header + QStringLiteral("\nPRESENTER\nA\n\nB\n\nPRESENTER\nC\n");
        QTest::newRow("dropped turn between") << Turns{turn(QStringLiteral("Ana"), QStringLiteral("hello")),
                                                       turn(QStringLiteral("Ben"), QStringLiteral("Hmm.")),
                                                       turn(QStringLiteral("Ana"), QStringLiteral("world"))}
                                              << day << header + QStringLiteral("\nANA\nHello World\n");
        QTest::newRow("speakers compared exactly")
            << Turns{turn(QStringLiteral("Ana"), QStringLiteral("a")), turn(QStringLiteral("ana"), QStringLiteral("b"))}
            << day << header + QStringLiteral("\nANA\nA\n\nANA\nB\n");
        QTest::newRow("empty speaker: no line")
            << Turns{turn(QString(), QStringLiteral("hi"))} << day << header + QStringLiteral("\nHi\n");
        QTest::newRow("blank speaker: empty line")
            << Turns{turn(QStringLiteral("   "), QStringLiteral("hi"))} << day << header + QStringLiteral("\n\nHi\n");
        QTest::newRow("empty and absent differ")
            << Turns{turn(noSpeaker, QStringLiteral("a")), turn(QString(), QStringLiteral("b"))} << day
            << header + QStringLiteral("\nA\n\nB\n");
        QTest::newRow("speaker cleaned") << Turns{turn(QStringLiteral("  ana \u201Cdir\u201D\t\u2014x "),
                                                       QStringLiteral("ok"))}
                                         << day << header + QStringLiteral("\nANA \"DIR\" -X\nOk\n");
        QTest::newRow("title cleaned") << Turns() << QStringLiteral("  Stra\u00DFe \u201Cone\u201D\n\u2014 two ")
                                       << QStringLiteral("STRASSE \"ONE\" - TWO\nRecorded December 6, 2026\n");
    }

    void transcript()
    {
        QFETCH(Turns, turns);
        QFETCH(QString, title);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::cleanTranscript(turns, title, fixedDate, QLocale(QStringLiteral("en_US")), "UTC"),
                 expected);
    }

    void recordedDate_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QString>("line");
        QTest::newRow("noon UTC") << 1796558400.0 << QByteArray("UTC") << QStringLiteral("Recorded December 6, 2026");
        QTest::newRow("next day in Tokyo")
            << 1796599800.0 << QByteArray("Asia/Tokyo") << QStringLiteral("Recorded December 7, 2026");
        QTest::newRow("same day in Los Angeles")
            << 1796599800.0 << QByteArray("America/Los_Angeles") << QStringLiteral("Recorded December 6, 2026");
        QTest::newRow("leap day") << 1835438400.0 << QByteArray("UTC") << QStringLiteral("Recorded February 29, 2028");
        QTest::newRow("new year at +14") << 1798761540.0 << QByteArray("Pacific/Kiritimati")
                                         << QStringLiteral("Recorded January 1, 2027");
        QTest::newRow("before 1970 in New York")
            << 0.0 << QByteArray("America/New_York") << QStringLiteral("Recorded December 31, 1969");
    }

    void recordedDate()
    {
        QFETCH(double, seconds);
        QFETCH(QByteArray, zone);
        QFETCH(QString, line);
        const QString text = LogExport::cleanTranscript({}, QStringLiteral("t"), Date::fromSecondsSince1970(seconds),
                                                        QLocale(QStringLiteral("en_US")), zone);
        QCOMPARE(text, QStringLiteral("T\n") + line + QStringLiteral("\n"));
    }

    void userLocaleAndZoneByDefault()
    {
        const Turns turns{turn(presenter, QStringLiteral("um, hello"))};
        QCOMPARE(LogExport::cleanTranscript(turns, QStringLiteral("t"), fixedDate),
                 LogExport::cleanTranscript(turns, QStringLiteral("t"), fixedDate, QLocale(), QByteArray()));
    }
};

PINDLE_TEST(TestScriptSync)
#include "test_scriptsync.moc"
