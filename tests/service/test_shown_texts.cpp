#include "ServiceTesting.h"
#include "common/TestMain.h"

#include "service/APIService.h"
#include "service/CookieStore.h"

#include <QJsonDocument>

#include <memory>

namespace {

using namespace servicetesting;

QString u(const char16_t* text)
{
    return QString::fromUtf16(text);
}

QString as(qsizetype count)
{
    return QString(count, u'a');
}

const QString kDevanagari = u(u"\u0928\u093F");

} // namespace

// The service's own texts as the user gets them: trimmed, and cut to a size without leaving
// half a character; and the summary request's cuts, counted in whole characters.
class ShownTextsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<StandinProcess> m_standin;

private Q_SLOTS:
    void initTestCase() { QVERIFY((m_standin = startStandin())); }
    void cleanupTestCase() { m_standin.reset(); }

    // The cap is 500 UTF-16 units; line breaks at the ends go as well as blanks.
    void loginError_data()
    {
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("shown");
        QTest::newRow("accent at the cut") << as(499) + u(u"e\u0301x") << as(499);
        QTest::newRow("flag at the cut") << as(498) + u(u"\U0001F1EC\U0001F1E7") << as(498);
        QTest::newRow("skin tone at the cut") << as(497) + u(u"\U0001F44D\U0001F3FDx") << as(497);
        QTest::newRow("pair at the cut") << as(499) + u(u"\U0001F600") << as(499);
        QTest::newRow("whole at the cap")
            << as(496) + u(u"\U0001F44D\U0001F3FD") << as(496) + u(u"\U0001F44D\U0001F3FD");
        QTest::newRow("trimmed before the cut") << u(u" \t\u00a0") + as(500) + u(u" ") << as(500);
        QTest::newRow("line breaks at the ends") << u(u"\r\n Enter a valid email.\n") << u(u"Enter a valid email.");
        QTest::newRow("unicode spaces at the ends") << u(u"\u3000Wait.\u202f") << u(u"Wait.");
        QTest::newRow("inner line break kept") << u(u"Wait.\nThen retry.") << u(u"Wait.\nThen retry.");
        QTest::newRow("only line breaks") << u(u"\n\r\n\u2028") << u(u"Failed to send code");
    }
    void loginError()
    {
        QFETCH(QString, error);
        const QByteArray body = QJsonDocument(QJsonObject{{QStringLiteral("error"), error}}).toJson();
        const QJsonObject fault{{QStringLiteral("path"), QStringLiteral("/auth/login")},
                                {QStringLiteral("kind"), QStringLiteral("answer")},
                                {QStringLiteral("status"), 400},
                                {QStringLiteral("count"), 1},
                                {QStringLiteral("body"), QString::fromUtf8(body)},
                                {QStringLiteral("headers"), QJsonObject()}};
        QVERIFY(m_standin->control(QStringLiteral("fault"), fault).value(QLatin1String("ok")).toBool());
        InMemoryCookieStore store;
        APIService service(m_standin->baseUrl().toString(), store);
        ErrorLatch done;
        service.sendLoginCode(QStringLiteral("ada@example.com"), nullptr, done.callback());
        QVERIFY(done.wait());
        QVERIFY(done.value->has_value());
        QCOMPARE((*done.value)->kind(), ServiceError::Kind::LoginFailed);
        QTEST((*done.value)->description(), "shown");
    }

    // Beside Indic script an emoji, CR LF or emoji sequence still counts as one character.
    void summaryCuts_data()
    {
        QTest::addColumn<QString>("transcript");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("leadIn");
        QTest::addColumn<QString>("sentTranscript");
        QTest::addColumn<QString>("sentContext");
        QTest::addColumn<QString>("sentLeadIn");
        const QString emoji = u(u"\U0001F600");
        const QString family = u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467");
        const QString syllables1999 = kDevanagari.repeated(APIService::kSummaryTranscriptChars - 1);
        const QString syllables499 = kDevanagari.repeated(APIService::kSummaryContextChars - 1);
        const QString syllables1499 = kDevanagari.repeated(APIService::kSummaryLeadInChars - 1);
        QTest::newRow("emoji last in the cut")
            << syllables1999 + emoji + u(u"x") << syllables499 + family + u(u"x") << u(u"x") + emoji + syllables1499
            << syllables1999 + emoji << syllables499 + family << emoji + syllables1499;
        QTest::newRow("CR LF at the cut")
            << u(u" ") + syllables1999 + u(u"\r\nx") << syllables499 + u(u"\r\nx") << u(u"x\r\n") + syllables1499
            << syllables1999 + u(u"\r\n") << syllables499 + u(u"\r\n") << u(u"\r\n") + syllables1499;
        QTest::newRow("accent at the cut")
            << as(1999) + u(u"e\u0301x") << as(499) + u(u"e\u0301x") << u(u"e\u0301") + as(1499)
            << as(1999) + u(u"e\u0301") << as(499) + u(u"e\u0301") << u(u"e\u0301") + as(1499);
    }
    void summaryCuts()
    {
        QFETCH(QString, transcript);
        QFETCH(QString, context);
        QFETCH(QString, leadIn);
        const std::optional<QJsonObject> body = APIService::summaryBody(transcript, context, leadIn, {}, std::nullopt);
        QVERIFY(body.has_value());
        QTEST(body->value(QLatin1String("transcript")).toString(), "sentTranscript");
        QTEST(body->value(QLatin1String("context")).toString(), "sentContext");
        QTEST(body->value(QLatin1String("leadIn")).toString(), "sentLeadIn");
    }
};

PINDLE_TEST(ShownTextsTest)
#include "test_shown_texts.moc"
