#include "platform/TextCuts.h"
#include "common/TestMain.h"

#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

QString u(const char16_t* text)
{
    return QString::fromUtf16(text);
}

// Pieces that trouble cuts: surrogate pairs, combining marks, emoji sequences, a flag, CR LF,
// a lone surrogate, and the blanks of several kinds.
const QStringList kPieces = {
    u(u"a"),
    u(u" "),
    u(u"\t"),
    u(u"\u00a0"),
    u(u"\u3000"),
    u(u"\n"),
    u(u"\r\n"),
    u(u"e\u0301"),
    u(u"\U0001F600"),
    u(u"\U0001F44D\U0001F3FD"),
    u(u"\U0001F1EC\U0001F1E7"),
    u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467"),
    QString(QChar(0xD83D)),
    u(u"\u0928\u093F"),
    u(u"\u200B"),
};

QString randomText(QRandomGenerator& random, int pieces)
{
    QString text;
    for (int i = 0; i < pieces; ++i)
        text += kPieces.at(int(random.bounded(quint32(kPieces.size()))));
    return text;
}

} // namespace

class TextCutsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Tabs and every Unicode space go; line breaks, vertical tabs, form feeds and zero-width
    // characters stay; inner blanks stay.
    void trim_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("only blanks") << u(u" \t\u00a0\u3000") << QString();
        QTest::newRow("ascii spaces") << u(u"  hi  ") << u(u"hi");
        QTest::newRow("tabs") << u(u"\thi\t") << u(u"hi");
        QTest::newRow("no-break space") << u(u"\u00a0hi\u00a0") << u(u"hi");
        QTest::newRow("narrow no-break space") << u(u"\u202fhi\u202f") << u(u"hi");
        QTest::newRow("ideographic space") << u(u"\u3000\u3053\u3093\u3000") << u(u"\u3053\u3093");
        QTest::newRow("en space") << u(u"\u2002hi") << u(u"hi");
        QTest::newRow("line breaks stay") << u(u"\nhi\n ") << u(u"\nhi\n");
        QTest::newRow("CR LF stays") << u(u" \r\nhi") << u(u"\r\nhi");
        QTest::newRow("vertical tab and form feed stay") << u(u"\vhi\f") << u(u"\vhi\f");
        QTest::newRow("line separator stays") << u(u"\u2028hi") << u(u"\u2028hi");
        QTest::newRow("zero-width space stays") << u(u"\u200bhi ") << u(u"\u200bhi");
        QTest::newRow("inner blanks stay") << u(u" a \u00a0 b ") << u(u"a \u00a0 b");
        QTest::newRow("emoji at the ends") << u(u" \U0001F600 ") << u(u"\U0001F600");
    }
    void trim()
    {
        QFETCH(QString, text);
        QFETCH(QString, trimmed);
        QCOMPARE(TextCuts::trimSpacesAndTabs(text), trimmed);
        QCOMPARE(TextCuts::trimSpacesAndTabs(trimmed), trimmed);
    }

    // A text with nothing to trim is handed back, not copied.
    void trimKeepsATrimmedTextShared()
    {
        const QString text = QString(1000, u'x');
        QCOMPARE(TextCuts::trimSpacesAndTabs(text).constData(), text.constData());
    }

    void firstAndLastCharacters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::newRow("none") << u(u"abc") << 0 << QString() << QString();
        QTest::newRow("negative") << u(u"abc") << -3 << QString() << QString();
        QTest::newRow("empty text") << QString() << 4 << QString() << QString();
        QTest::newRow("shorter text is whole") << u(u"ab") << 5 << u(u"ab") << u(u"ab");
        QTest::newRow("exactly") << u(u"abc") << 3 << u(u"abc") << u(u"abc");
        QTest::newRow("ascii") << u(u"abcdef") << 2 << u(u"ab") << u(u"ef");
        QTest::newRow("surrogate pairs") << u(u"\U0001F600\U0001F601\U0001F602") << 2 << u(u"\U0001F600\U0001F601")
                                         << u(u"\U0001F601\U0001F602");
        QTest::newRow("combining accent") << u(u"e\u0301e\u0301x") << 1 << u(u"e\u0301") << u(u"x");
        QTest::newRow("skin tone") << u(u"\U0001F44D\U0001F3FDok") << 1 << u(u"\U0001F44D\U0001F3FD") << u(u"k");
        QTest::newRow("flag") << u(u"\U0001F1EC\U0001F1E7\U0001F1EB\U0001F1F7") << 1 << u(u"\U0001F1EC\U0001F1E7")
                              << u(u"\U0001F1EB\U0001F1F7");
        QTest::newRow("family") << u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467!") << 1
                                << u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467") << u(u"!");
        QTest::newRow("CR LF is one") << u(u"\r\nab\r\n") << 2 << u(u"\r\na") << u(u"b\r\n");
        QTest::newRow("devanagari syllable") << u(u"\u0928\u093F\u0928") << 1 << u(u"\u0928\u093F") << u(u"\u0928");
        // Next to Indic script Qt's own finder breaks these apart.
        QTest::newRow("emoji and CR LF beside devanagari")
            << u(u"\r\n\U0001F600\u0928\u093F\r\n") << 2 << u(u"\r\n\U0001F600") << u(u"\u0928\u093F\r\n");
        QTest::newRow("family beside devanagari")
            << u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u0928\u093F") << 1
            << u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467") << u(u"\u0928\u093F");
    }
    void firstAndLastCharacters()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QCOMPARE(TextCuts::firstCharacters(text, count), first);
        QCOMPARE(TextCuts::lastCharacters(text, count), last);
    }

    void characterCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << QString() << 10 << 0;
        QTest::newRow("zero limit") << u(u"abc") << 0 << 0;
        QTest::newRow("negative limit") << u(u"abc") << -1 << 0;
        QTest::newRow("under the limit") << u(u"abc") << 10 << 3;
        QTest::newRow("stops at the limit") << u(u"abcdef") << 4 << 4;
        QTest::newRow("pairs count once") << u(u"\U0001F600\U0001F600") << 10 << 2;
        QTest::newRow("sequences count once") << u(u"e\u0301\U0001F44D\U0001F3FD\r\n") << 10 << 3;
        QTest::newRow("lone surrogate counts") << QString(QChar(0xD83D)) + u(u"a") << 10 << 2;
    }
    void characterCount()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(int, count);
        QCOMPARE(TextCuts::characterCount(text, limit), qsizetype(count));
    }

    void cutToUnits_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("cut");
        QTest::newRow("within") << u(u"abc") << 5 << u(u"abc");
        QTest::newRow("exactly") << u(u"abc") << 3 << u(u"abc");
        QTest::newRow("plain cut") << u(u"abcdef") << 4 << u(u"abcd");
        QTest::newRow("zero") << u(u"abc") << 0 << QString();
        QTest::newRow("negative") << u(u"abc") << -2 << QString();
        QTest::newRow("pair left out") << u(u"aa\U0001F600b") << 3 << u(u"aa");
        QTest::newRow("pair kept") << u(u"aa\U0001F600b") << 4 << u(u"aa\U0001F600");
        QTest::newRow("accent stays on its letter") << u(u"ae\u0301b") << 2 << u(u"a");
        QTest::newRow("skin tone stays on its hand") << u(u"a\U0001F44D\U0001F3FD") << 4 << u(u"a");
        QTest::newRow("half a flag is none") << u(u"\U0001F1EC\U0001F1E7") << 3 << QString();
        QTest::newRow("family stays whole") << u(u"x\U0001F468\u200D\U0001F469\u200D\U0001F467") << 7 << u(u"x");
        QTest::newRow("CR LF stays whole") << u(u"a\r\nb") << 2 << u(u"a");
        QTest::newRow("one character too big") << u(u"\U0001F600") << 1 << QString();
        QTest::newRow("pair beside devanagari left out") << u(u"\U0001F600\u0928") << 1 << QString();
        QTest::newRow("lone surrogate is its own")
            << QString(QChar(0xD83D)) + u(u"ab") << 2 << QString(QChar(0xD83D)) + u(u"a");
    }
    void cutToUnits()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(QString, cut);
        QCOMPARE(TextCuts::cutToUnits(text, limit), cut);
    }

    // For random texts of troublesome pieces and every cap: the cut is the longest start of the
    // text, within the cap, that ends where a character ends. The ends are found by walking
    // forward through the whole text, not as the cut finds them.
    void cutToUnitsIsTheLongestWholeStart_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("pieces");
        QTest::newRow("short") << 1u << 4;
        QTest::newRow("medium") << 7u << 20;
        QTest::newRow("long") << 42u << 60;
    }
    void cutToUnitsIsTheLongestWholeStart()
    {
        QFETCH(quint32, seed);
        QFETCH(int, pieces);
        QRandomGenerator random(seed);
        for (int round = 0; round < 40; ++round) {
            const QString text = randomText(random, pieces);
            QList<qsizetype> ends;
            for (qsizetype n = 0; ends.isEmpty() || ends.last() < text.size(); ++n)
                ends.append(TextCuts::firstCharacters(text, n).size());
            for (qsizetype end : std::as_const(ends)) {
                // No end splits a surrogate pair or a CR LF.
                QVERIFY(end == 0 || end == text.size() || !text.at(end).isLowSurrogate() ||
                        !text.at(end - 1).isHighSurrogate());
                QVERIFY(end == 0 || end == text.size() || text.at(end) != u'\n' || text.at(end - 1) != u'\r');
            }
            for (qsizetype limit = 0; limit <= text.size(); ++limit) {
                const auto fits = std::upper_bound(ends.cbegin(), ends.cend(), limit);
                QCOMPARE(TextCuts::cutToUnits(text, limit), text.left(*(fits - 1)));
            }
        }
    }

    // First and last characters of any count put back together give the text.
    void firstAndLastMeet()
    {
        QRandomGenerator random(99);
        for (int round = 0; round < 200; ++round) {
            const QString text = randomText(random, 12);
            const qsizetype total = TextCuts::characterCount(text, text.size() + 1);
            for (qsizetype n = 0; n <= total; ++n) {
                const QString head = TextCuts::firstCharacters(text, n);
                QCOMPARE(head + TextCuts::lastCharacters(text, total - n), text);
            }
        }
    }

    // Streams parse on their socket threads: cuts made on several threads at once agree with
    // the same cuts made on one.
    void cutsAgreeAcrossThreads()
    {
        QRandomGenerator random(5);
        QStringList texts;
        for (int i = 0; i < 64; ++i)
            texts.append(randomText(random, 30));
        const auto cuts = [](const QString& text) {
            return TextCuts::cutToUnits(text, text.size() / 2) + u'|' + TextCuts::firstCharacters(text, 7) + u'|' +
                   TextCuts::lastCharacters(text, 5) + u'|' + QString::number(TextCuts::characterCount(text, 99));
        };
        QStringList expected;
        for (const QString& text : std::as_const(texts))
            expected.append(cuts(text));
        std::atomic<int> mismatches{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 6; ++t) {
            threads.emplace_back([&, t] {
                for (int round = 0; round < 200; ++round) {
                    const qsizetype i = (round * 7 + t) % texts.size();
                    if (cuts(texts.at(i)) != expected.at(i))
                        ++mismatches;
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(mismatches.load(), 0);
    }
};

PINDLE_TEST(TextCutsTest)
#include "TextCutsTest.moc"
