#include "common/TestMain.h"

#include "agent/ChannelAgent.h"

#include <QJsonArray>

namespace {

QString u(const char16_t* text)
{
    return QString::fromUtf16(text);
}

const QString kDevanagari = u(u"\u0928\u093F");

} // namespace

// A brief's texts are cut to their limits in whole characters, whatever script they are in.
class BriefCutsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cuts_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("kept");
        const int topic = ChannelAgent::kMaxTopicChars;
        const int verdict = ChannelAgent::kMaxVerdictChars;
        const int why = ChannelAgent::kMaxWhyChars;
        const QString emoji = u(u"\U0001F600");
        const QString family = u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467");
        QTest::newRow("topic at its limit") << "topic" << kDevanagari.repeated(topic) << kDevanagari.repeated(topic);
        QTest::newRow("topic, emoji beside devanagari")
            << "topic" << kDevanagari.repeated(topic - 1) + emoji + u(u"x") << kDevanagari.repeated(topic - 1) + emoji;
        QTest::newRow("topic, family beside devanagari")
            << "topic" << kDevanagari.repeated(topic - 1) + family + kDevanagari
            << kDevanagari.repeated(topic - 1) + family;
        QTest::newRow("verdict, CR LF beside devanagari")
            << "verdict" << kDevanagari.repeated(verdict - 1) + u(u"\r\nx")
            << kDevanagari.repeated(verdict - 1) + u(u"\r\n");
        QTest::newRow("why, flag after accents")
            << "why" << u(u"e\u0301").repeated(why - 1) + u(u"\U0001F1EC\U0001F1E7!")
            << u(u"e\u0301").repeated(why - 1) + u(u"\U0001F1EC\U0001F1E7");
        QTest::newRow("why, lone surrogate counts as one")
            << "why" << QString(why - 1, u'a') + QChar(0xD83D) + u(u"b") << QString(why - 1, u'a') + QChar(0xD83D);
    }
    void cuts()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QJsonObject item{{QStringLiteral("index"), 0}, {QStringLiteral("topic"), QStringLiteral("boat")}};
        item.insert(key, text);
        const QList<ChannelAgent::ReceivedBrief> briefs =
            ChannelAgent::readBriefs(QJsonObject{{QStringLiteral("briefs"), QJsonArray{item}}});
        QCOMPARE(briefs.size(), 1);
        const ChannelAgent::ReceivedBrief& brief = briefs.first();
        const QString cut = key == QLatin1String("topic")     ? brief.topic
                            : key == QLatin1String("verdict") ? brief.verdict
                                                              : brief.why;
        QTEST(cut, "kept");
    }
};

PINDLE_TEST(BriefCutsTest)
#include "BriefCutsTest.moc"
