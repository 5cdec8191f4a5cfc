#include "common/TestMain.h"

#include "audio/KeywordMatcher.h"
#include "test_transcriber_support.h"

using namespace transcriber_test;

namespace {

DisplaySegment said(const QString& id, const QString& text, int channel = 0)
{
    DisplaySegment s;
    s.id = id;
    s.text = text;
    s.channel = channel;
    return s;
}

struct Hit {
    int channel;
    QString keyword;
    QString line;
};

} // namespace

class TranscriberKeywordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matching_data()
    {
        QTest::addColumn<QStringList>("keywords");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hit");
        const auto row = [](const char* name, const QStringList& keywords, const char* text, const char* hit) {
            QTest::newRow(name) << keywords << QString::fromUtf8(text) << QString::fromUtf8(hit);
        };
        row("case does not matter", {"Boat"}, "The boat is sold", "Boat");
        row("whole words only", {"boat"}, "down at the boatyard", "");
        row("surrounding spaces trimmed", {"  boat "}, "a boat", "  boat ");
        row("punctuation is a boundary", {"boat"}, "Boat, sold.", "boat");
        row("pattern characters are literal", {"a+b"}, "then a+b again", "a+b");
        row("literal plus needs the plus", {"a+b"}, "then aab again", "");
        row("dot is literal", {"e.g"}, "say eXg now", "");
        row("brackets do not break the pattern", {"[x"}, "a [x b", "");
        row("first keyword in list order wins", {"sold", "boat"}, "the boat is sold", "sold");
        row("empty keywords are skipped", {"", "   ", "boat"}, "boat", "boat");
        row("accented words have boundaries", {"café"}, "Le CAFÉ est fermé", "café");
        row("accented letter is part of the word", {"caf"}, "le café", "");
        row("nothing to find", {"police"}, "", "");
    }
    void matching()
    {
        QFETCH(QStringList, keywords);
        QFETCH(QString, text);
        QFETCH(QString, hit);
        KeywordMatcher matcher;
        matcher.setKeywords(keywords);
        QCOMPARE(matcher.firstMatch(text).value_or(QString()), hit);
    }

    void aLineAlertsOnce()
    {
        KeywordMatcher matcher;
        matcher.setKeywords({"boat", "sold"});
        QCOMPARE(matcher.alertOnce(said("0-1", "nothing yet")), std::nullopt);
        QCOMPARE(matcher.alertOnce(said("0-1", "the boat")), std::optional<QString>("boat"));
        // The line grows, or another keyword turns up in it: still no second hit.
        QCOMPARE(matcher.alertOnce(said("0-1", "the boat is sold")), std::nullopt);
        matcher.setKeywords({"sold"});
        QCOMPARE(matcher.alertOnce(said("0-1", "the boat is sold")), std::nullopt);
        QCOMPARE(matcher.alertOnce(said("1-1", "sold")), std::optional<QString>("sold"));
        matcher.clearAlerted();
        QCOMPARE(matcher.alertOnce(said("0-1", "sold")), std::optional<QString>("sold"));
    }

    // Through the engine: hits follow the merged transcript, once per line, and new keywords
    // look at the lines already there.
    void engineReportsEachLineOnce()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(3, "D");
        QList<Hit> hits;
        engine.setKeywords({"Boat", "quota"});
        engine.setOnKeyword([&hits](int channel, const QString& keyword, const DisplaySegment& line) {
            hits.append({channel, keyword, line.id});
        });
        engine.start();
        ScriptedStream* a = rig.open(0);
        ScriptedStream* b = rig.open(2);
        QVERIFY(a && b);
        const Date t0 = engine.engineStart();

        a->put("1", "the boat and the quota", 1.0, 2.0, t0);
        b->put("1", "nothing here", 0.5, 1.0, t0);
        a->announce("the boat and the quota");
        b->announce("nothing here");
        QCOMPARE(hits.size(), 1);
        QCOMPARE(hits.at(0).channel, 0);
        QCOMPARE(hits.at(0).keyword, QStringLiteral("Boat"));
        QCOMPARE(hits.at(0).line, QStringLiteral("0-1"));

        // The line grows and another line changes: only the new hit.
        a->put("1", "the boat and the quota, boat again", 1.0, 2.5, t0);
        b->put("1", "the QUOTA is gone", 0.5, 1.0, t0);
        a->announce("x");
        b->announce("y");
        QCOMPARE(hits.size(), 2);
        QCOMPARE(hits.at(1).line, QStringLiteral("2-1"));
        QCOMPARE(hits.at(1).keyword, QStringLiteral("quota"));
        QCOMPARE(engine.alertedLines(), (QSet<QString>{"0-1", "2-1"}));

        // A new keyword finds a line that was already there at the next merge.
        b->put("2", "a plane overhead", 3.0, 4.0, t0);
        b->announce("a plane overhead");
        QCOMPARE(hits.size(), 2);
        engine.setKeywords({"plane"});
        a->put("2", "unrelated", 5.0, 6.0, t0);
        a->announce("unrelated");
        QCOMPARE(hits.size(), 3);
        QCOMPARE(hits.at(2).line, QStringLiteral("2-2"));

        // A new run may alert the same line ids again.
        engine.stop();
        QCOMPARE(engine.alertedLines().size(), 3);
        engine.start();
        QVERIFY(engine.alertedLines().isEmpty());
        rig.open(2)->put("2", "the plane again", 1.0, 2.0, engine.engineStart());
        rig.open(2)->announce("the plane again");
        QCOMPARE(hits.size(), 4);
    }

    void noHandlerNoMemory()
    {
        Rig rig;
        DesktopTranscriber& engine = rig.desk(1, "D");
        engine.setKeywords({"boat"});
        engine.start();
        ScriptedStream* mic = rig.open(-1);
        QVERIFY(mic);
        mic->put("1", "boat", 1.0, 2.0, engine.engineStart());
        mic->announce("boat");
        // Without a listener nothing is remembered as alerted, so a listener set later hears it.
        QVERIFY(engine.alertedLines().isEmpty());
        int calls = 0;
        engine.setOnKeyword([&calls](int channel, const QString&, const DisplaySegment&) {
            QCOMPARE(channel, -1);
            ++calls;
        });
        mic->put("2", "more", 3.0, 4.0, engine.engineStart());
        mic->announce("more");
        QCOMPARE(calls, 1);
    }
};

PINDLE_TEST(TranscriberKeywordsTest)
#include "test_transcriber_keywords.moc"
