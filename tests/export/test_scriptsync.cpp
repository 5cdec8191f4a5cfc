#include "common/TestMain.h"

#include "export/LogExportText.h"
#include "export/ScriptSyncWriter.h"

#include <QRandomGenerator>

#include <unicode/brkiter.h>
#include <unicode/regex.h>

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
    marker.timecode = "01:00:00:00";
    marker.markerType = "great";
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
const QStringList speechPieces =
    QStringLiteral(
        "um|UM|uh|erm|er|ah|Ahh|hm|Hmm|mm|the|THE|had|HAD|that|thaT|I|a|so|cat|it's|'|'s| |  |,|, |.|;|!|?|-|"
        "\t|\n|\r\n|\u000B|\u0085|\u00A0|\u2028|\u3000|\u0301|\u200B|\u200D|\u2060|\uFEFF|\u00AD|\u00E9|"
        "\u017F|\u212A|\u0130|\u0131|k|s|i|\u00B2|_|7|\U0001F600|\u2019|\u201C|\u2014|\u2026|\u05D0|"
        "\u0660|\u0903|\u2160|\u24B6|x|Um,|er,")
        .split(u'|');

} // namespace

class TestScriptSync : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Edges the random comparison below leaves out.
    void removeFillers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QString& text, const QString& expected) {
            QTest::newRow(name) << text << expected;
        };
        row("upper case is longer", "\u00DF is fine", "SS is fine");
        row("repeat of a word's end", "o'clock clock", "O'clock");
        // A lone surrogate cannot reach a UTF-8 file; the rules still apply around it.
        row("lone surrogate", QString::fromUtf16(u"\xD800 um the the"), "\uFFFD the");
    }
    void removeFillers()
    {
        QFETCH(QString, text);
        QTEST(LogExport::removeFillers(text), "expected");
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
                text += speechPieces[random.bounded(int(speechPieces.size()))];
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
        QTest::newRow("no marker text") << Markers{said(" ", std::nullopt), said(std::nullopt, QString())} << "title"
                                        << "TITLE\n";
        QTest::newRow("quote wins, straightened, one line")
            << Markers{said("\u201CYes,\u201D she\r\nsaid\u2028\u2014 it\u2019s done\u2026\u0085", "no")} << "t"
            << "T\n\n\"Yes,\" she said - it's done...\n";
        QTest::newRow("order kept, blank quote: summary")
            << Markers{said("a\u00A0b", std::nullopt), said(std::nullopt, std::nullopt), said(" \t", "B")} << "t"
            << "T\n\na\u00A0b\n\nB\n";
        QTest::newRow("title punctuation kept, upper case longer") << Markers() << " \u201CStra\u00DFe\u201D \u2014 1\t"
                                                                   << "\u201CSTRASSE\u201D \u2014 1\n";
    }
    void selects()
    {
        QFETCH(Markers, markers);
        QFETCH(QString, title);
        QTEST(LogExport::scriptSyncSelects(markers, title), "expected");
    }

    void transcript_data()
    {
        QTest::addColumn<Turns>("turns");
        QTest::addColumn<QString>("expected");
        const Text presenter = "Presenter";
        const Text ana = "Ana";
        QTest::newRow("all turns fillers") << Turns{{presenter, "um"}, {std::nullopt, "Hmm."}} << header;
        QTest::newRow("one speaker merges, dropped turn between")
            << Turns{{ana, "um, hello"}, {"Ben", "Hmm."}, {ana, "the the world"}}
            << header + "\nANA\nHello The world\n";
        QTest::newRow("no speaker between") << Turns{{presenter, "a"}, {std::nullopt, "b"}, {presenter, "c"}}
                                            << header + "\nPRESENTER\nA\n\nB\n\nPRESENTER\nC\n";
        QTest::newRow("speakers compared exactly")
            << Turns{{ana, "a"}, {"ana", "b"}} << header + "\nANA\nA\n\nANA\nB\n";
        QTest::newRow("empty, blank and absent speakers")
            << Turns{{QString(), "a"}, {"   ", "b"}, {std::nullopt, "c"}} << header + "\nA\n\n\nB\n\nC\n";
        QTest::newRow("speaker cleaned, a turn one paragraph")
            << Turns{{"  ana \u201Cdir\u201D\t\u2014x ", "one\u2028two\nthree\u0085"}}
            << header + "\nANA \"DIR\" -X\nOne two three\n";
    }
    void transcript()
    {
        QFETCH(Turns, turns);
        QFETCH(QString, expected);
        QCOMPARE(LogExport::cleanTranscript(turns, QStringLiteral("Day 1"), fixedDate, QLocale(QStringLiteral("en_US")),
                                            "UTC"),
                 expected);
    }

    // The title cleaned and upper-cased (longer in upper case), the date in the zone given.
    void recordedDate()
    {
        QCOMPARE(LogExport::cleanTranscript({}, QStringLiteral(" Stra\u00DFe \u201Cone\u201D\n\u2014 two\u2028"),
                                            Date::fromSecondsSince1970(1796599800.0), QLocale(QStringLiteral("en_US")),
                                            "Asia/Tokyo"),
                 QStringLiteral("STRASSE \"ONE\" - TWO\nRecorded December 7, 2026\n"));
    }
};

PINDLE_TEST(TestScriptSync)
#include "test_scriptsync.moc"
