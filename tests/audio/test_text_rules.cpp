#include "common/TestMain.h"

#include "audio/StreamMessages.h"
#include "model/LogTagStore.h"
#include "platform/Defaults.h"
#include "platform/TextCuts.h"

#include <QTemporaryDir>

// The socket's texts and the typed tags follow the one rule for blanks and cuts: what the
// transcript shows and what a tag stores are trimmed alike, and a capped text never ends in half
// a character.
class TextRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void trimmedAlike_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("spaces and tabs") << QStringLiteral(" \tSlate\t ") << QStringLiteral("Slate");
        QTest::newRow("no-break spaces") << QString::fromUtf16(u"\u00a0Slate\u00a0") << QStringLiteral("Slate");
        QTest::newRow("ideographic space") << QString::fromUtf16(u"\u3000Slate") << QStringLiteral("Slate");
        QTest::newRow("line breaks stay") << QStringLiteral("\nSlate\n") << QStringLiteral("\nSlate\n");
        QTest::newRow("inner spaces stay") << QStringLiteral(" Key  fact ") << QStringLiteral("Key  fact");
    }
    void trimmedAlike()
    {
        QFETCH(QString, text);
        QFETCH(QString, trimmed);
        QCOMPARE(StreamMessages::trimSpacesAndTabs(text), trimmed);

        const QByteArray frame = QByteArrayLiteral("{\"type\":\"live_transcript\",\"text\":") +
                                 QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
                                 QByteArrayLiteral("}");
        QCOMPARE(std::get<StreamMessages::TranscriptResult>(StreamMessages::parse(frame)).text, trimmed);

        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        LogTagStore tags(defaults);
        tags.add(text);
        QCOMPARE(tags.available().last(), trimmed);
    }

    // At the cap a letter keeps its accent and an emoji its modifier: both are left out whole.
    void capsCutWholeCharacters_data()
    {
        QTest::addColumn<QString>("tail");
        QTest::newRow("accent") << QString::fromUtf16(u"e\u0301x");
        QTest::newRow("skin tone") << QString::fromUtf16(u"\U0001F44D\U0001F3FDx");
        QTest::newRow("flag") << QString::fromUtf16(u"\U0001F1EC\U0001F1E7x");
    }
    void capsCutWholeCharacters()
    {
        QFETCH(QString, tail);
        const QString head(StreamMessages::kMaxTextChars - 1, u'a');
        const QString text = head + tail;
        const QByteArray frame = QByteArrayLiteral("{\"type\":\"live_transcript\",\"speaker\":") +
                                 QJsonDocument(QJsonArray{text.right(StreamMessages::kMaxSpeakerChars + 1)})
                                     .toJson(QJsonDocument::Compact)
                                     .mid(1)
                                     .chopped(1) +
                                 QByteArrayLiteral(",\"text\":") +
                                 QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
                                 QByteArrayLiteral("}");
        const auto result = std::get<StreamMessages::TranscriptResult>(StreamMessages::parse(frame));
        QCOMPARE(result.text, head);
        QVERIFY(result.speaker);
        QVERIFY(result.speaker->size() <= StreamMessages::kMaxSpeakerChars);
        QCOMPARE(*result.speaker, TextCuts::cutToUnits(*result.speaker, StreamMessages::kMaxSpeakerChars));
        QVERIFY(!result.speaker->back().isHighSurrogate());
    }
};

PINDLE_TEST(TextRulesTest)
#include "test_text_rules.moc"
