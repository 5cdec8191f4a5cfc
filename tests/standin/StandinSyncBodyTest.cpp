#include "common/TestMain.h"

#include "JsonFields.h"
#include "JsonScanner.h"
#include "SyncedLog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace standin;

namespace {

// The sync handler as it was, on a QJsonDocument of the whole body: the reference for answers.
struct Reference {
    Reply error;
    QJsonObject body;
    QStringList deleted;
};

bool referenceSync(const QByteArray& bytes, Reference& out)
{
    Request request;
    request.body = bytes;
    if (!parseObjectBody(request, out.body, out.error))
        return false;
    JsonFields fields(out.body);
    fields.objectArray(QLatin1StringView("segments"), true);
    fields.objectArray(QLatin1StringView("markers"), true);
    const auto deleted = fields.stringArray(QLatin1StringView("deleted_markers"), true);
    fields.integer(QLatin1StringView("tc_offset_ms"), false);
    if (!fields.ok()) {
        out.error = fields.error();
        return false;
    }
    out.deleted = *deleted;
    return true;
}

QJsonValue parsed(QByteArrayView text)
{
    return QJsonDocument::fromJson("[" + text.toByteArray() + "]").array().at(0);
}

// A small sync in the app's shape, with what a transcript brings: accents, quotes, escapes.
QByteArray sampleBody()
{
    const QJsonObject word{{"text", "Caf\u00e9"}, {"start_ms", 1765100000123.0}, {"end_ms", 1765100000456.0}};
    const QJsonObject segment{{"id", "1765100000-3-1"},      {"text", "Caf\u00e9 \"one\"\\ \U0001F3AC"},
                              {"start_ms", 1765100000123.0}, {"end_ms", 1765100001123.0},
                              {"timecode", "01:02:03:04"},   {"channel", 3},
                              {"speaker", "Channel 4"},      {"words", QJsonArray{word, word}}};
    const QJsonObject marker{{"id", "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
                             {"type", "good"},
                             {"label", "Good"},
                             {"timecode_in", "01:02:03:04"},
                             {"start_ms", -1.5e-3},
                             {"tags", QJsonArray{"a", "b"}}};
    return QJsonDocument(QJsonObject{{"segments", QJsonArray{segment, segment}},
                                     {"markers", QJsonArray{marker}},
                                     {"deleted_markers", QJsonArray{"x"}},
                                     {"tc_offset_ms", -40}})
        .toJson(QJsonDocument::Indented);
}

// Every way to spoil the sample at each byte: cut there, the byte dropped, or swapped for one of
// the characters that change how JSON reads. Each with what was done.
QList<std::pair<QString, QByteArray>> damagedSamples()
{
    static const QByteArray swaps("\"\\,:[]{}0-.e x\x80\xC3\xFF");
    const QByteArray sample = sampleBody();
    QList<std::pair<QString, QByteArray>> out;
    for (qsizetype i = 0; i < sample.size(); ++i) {
        out.append({QStringLiteral("cut at %1").arg(i), sample.left(i)});
        out.append({QStringLiteral("byte %1 dropped").arg(i), sample.left(i) + sample.mid(i + 1)});
        for (const char swap : swaps) {
            if (swap != sample[i]) {
                QByteArray changed = sample;
                changed[i] = swap;
                out.append({QStringLiteral("byte %1 made 0x%2").arg(i).arg(uchar(swap), 2, 16, QChar(u'0')), changed});
            }
        }
    }
    return out;
}

// How the scanner's verdict on `text` differs from QJsonDocument's; empty when it does not.
QString scannerDisagreement(const QByteArray& text)
{
    QJsonParseError expected{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &expected);
    JsonScanner scanner(text);
    const bool read = scanner.read();
    const QJsonParseError got = scanner.error();
    if (read != (expected.error == QJsonParseError::NoError) || got.error != expected.error ||
        got.offset != expected.offset)
        return QStringLiteral("\"%1\" at %2, where Qt finds \"%3\" at %4")
            .arg(got.errorString())
            .arg(got.offset)
            .arg(expected.errorString())
            .arg(expected.offset);
    if (read && QJsonDocument::fromJson(text.sliced(scanner.root().begin, scanner.root().size())) != document)
        return QStringLiteral("another top-level value");
    return {};
}

// How the sync's answer to `body`, or what it keeps, differs from the whole document's handler;
// empty when it does not.
QString syncDisagreement(const QByteArray& body)
{
    Reference expected;
    const bool expectedOk = referenceSync(body, expected);
    SyncedLog log;
    QStringList deleted;
    Reply error;
    if (readSyncBody(body, log, deleted, error) != expectedOk)
        return expectedOk ? QStringLiteral("refused: ") + QString::fromUtf8(error.body) : QStringLiteral("taken");
    if (!expectedOk) {
        if (error.status != expected.error.status || error.body != expected.error.body)
            return QStringLiteral("%1 %2, where it was %3 %4")
                .arg(error.status)
                .arg(QString::fromUtf8(error.body))
                .arg(expected.error.status)
                .arg(QString::fromUtf8(expected.error.body));
        return {};
    }
    const QJsonArray segments = expected.body.value("segments").toArray();
    if (deleted != expected.deleted || parsed(log.objectText()) != QJsonValue(expected.body) ||
        parsed(log.segmentListText()) != segments || parsed(log.markerListText()) != expected.body.value("markers") ||
        log.markers.size() != expected.body.value("markers").toArray().size() || log.segments.size() != segments.size())
        return QStringLiteral("other content kept");
    for (qsizetype i = 0; i < segments.size(); ++i) {
        if (log.segment(i) != segments.at(i).toObject() ||
            log.segmentText(i) != segments.at(i)[QLatin1StringView("text")].toString())
            return QStringLiteral("segment %1 differs").arg(i);
    }
    return {};
}

} // namespace

// The sync body read in one pass over its text: the same verdicts and answers as the parser and
// field checks of a whole QJsonDocument, and the same content kept.
class StandinSyncBodyTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scannerMatchesQt_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray deep = QByteArray(1024, '[') + QByteArray(1024, ']');
        const QList<std::pair<const char*, QByteArray>> rows{
            {"empty", ""},
            {"white space only", " \r\n\t"},
            {"scalar", "1"},
            {"byte order mark", "\xEF\xBB\xBF{}"},
            {"byte order mark alone", "\xEF\xBB\xBF"},
            {"garbage after", "{} x"},
            {"space after", "[] \n"},
            {"comma before brace", "{\"a\":1,}"},
            {"comma before bracket", "[1,]"},
            {"leading comma", "[,1]"},
            {"missing colon", "{\"a\" 1}"},
            {"missing value", "{\"a\":}"},
            {"comma for value", "{\"a\":,}"},
            {"missing separator", "[1 2]"},
            {"bad separator", "[1;2]"},
            {"key not string", "{a:1}"},
            {"string to the end", "[\"abc"},
            {"string at the last byte", "[\"abc\""},
            {"short escape", "[\"\\u12\"]"},
            {"bad hex", "[\"\\uZZZZ\"]"},
            {"any escape", "[\"\\x\"]"},
            {"escaped lead byte", "[\"\\\xC3\xA9\"]"},
            {"lone surrogate escape", "[\"\\ud800\"]"},
            {"backslash at the end", "[\"\\"},
            {"overlong", "[\"\xC0\x80\"]"},
            {"encoded surrogate", "[\"\xED\xA0\x80\"]"},
            {"past U+10FFFF", "[\"\xF4\x90\x80\x80\"]"},
            {"cut sequence", "[\"\xE2\x82\"]"},
            {"noncharacter", "[\"\xEF\xBF\xBF\"]"},
            {"control character", "[\"\x01\t\"]"},
            {"minus alone", "[-]"},
            {"leading zero", "[01]"},
            {"dot alone", "[1.]"},
            {"leading dot", "[.5]"},
            {"bare exponent", "[1e]"},
            {"overflow", "[1e400]"},
            {"negative zero", "[-0]"},
            {"past qint64", "[99999999999999999999]"},
            {"zero fraction", "[1.000]"},
            {"plus sign", "[+1]"},
            {"number at the end", "[1"},
            {"short true", "[tru]"},
            {"true at the end", "[true"},
            {"bad null", "[nulx]"},
            {"nesting at the limit", deep},
            {"nesting past the limit", "[" + deep + "]"},
        };
        for (const auto& [name, text] : rows)
            QTest::newRow(name) << text;
    }

    void scannerMatchesQt()
    {
        QFETCH(QByteArray, text);
        const QString disagreement = scannerDisagreement(text);
        QVERIFY2(disagreement.isEmpty(), qPrintable(disagreement));
    }

    // Every damage at every byte of a sync in the app's shape.
    void scannerMatchesQtOnDamagedSync()
    {
        for (const auto& [damage, text] : damagedSamples()) {
            const QString disagreement = scannerDisagreement(text);
            QVERIFY2(disagreement.isEmpty(), qPrintable(damage + u' ' + disagreement));
        }
    }

    void syncAnswersAsBefore_data()
    {
        QTest::addColumn<QByteArray>("body");
        const QList<std::pair<const char*, QByteArray>> rows{
            {"not an object", "[{}]"},
            {"segments missing", R"({"markers":[],"deleted_markers":[]})"},
            {"segments null", R"({"segments":null,"markers":[],"deleted_markers":[]})"},
            {"segments an object", R"({"segments":{"a":[]},"markers":[],"deleted_markers":[]})"},
            {"segments a string", R"({"segments":"[]","markers":[],"deleted_markers":[]})"},
            {"segment a number", R"({"segments":[{},1],"markers":[],"deleted_markers":[]})"},
            {"marker null", R"({"segments":[],"markers":[null],"deleted_markers":[]})"},
            {"markers false", R"({"segments":[],"markers":false,"deleted_markers":[]})"},
            {"deleted not strings", R"({"segments":[],"markers":[],"deleted_markers":["a",1]})"},
            {"deleted missing", R"({"segments":[],"markers":[]})"},
            {"offset fractional", R"({"segments":[],"markers":[],"deleted_markers":[],"tc_offset_ms":0.5})"},
            {"offset a string", R"({"segments":[],"markers":[],"deleted_markers":[],"tc_offset_ms":"1"})"},
            {"offset past 2^53",
             R"({"segments":[],"markers":[],"deleted_markers":[],"tc_offset_ms":9007199254740994})"},
            {"offset null", R"({"segments":[],"markers":[],"deleted_markers":[],"tc_offset_ms":null})"},
            {"later segments win", R"({"segments":5,"markers":[],"segments":[{"a":1}],"deleted_markers":[]})"},
            {"later bad segments win", R"({"segments":[{}],"markers":[],"deleted_markers":[],"segments":[2]})"},
            {"escaped key", R"({"segm\u0065nts":[{"b":2}],"markers":[],"deleted_markers":[]})"},
            {"other members", R"({"x":[1,[2]],"segments":[],"markers":[{}],"deleted_markers":[],"y":{"z":0}})"},
            {"texts of every kind",
             "{\"segments\":[{\"text\":1},{\"text\":\"a\",\"text\":\"b\"},{\"t\\u0065xt\":\"\\u00e9\\\"\","
             "\"x\":{\"text\":\"no\"}},{}],\"markers\":[],\"deleted_markers\":[]}"},
            {"sample", sampleBody()},
        };
        for (const auto& [name, body] : rows)
            QTest::newRow(name) << body;
    }

    // Same status and text for every refusal; on success the same segments, markers, deletions
    // and last sync as the whole document held.
    void syncAnswersAsBefore()
    {
        QFETCH(QByteArray, body);
        const QString disagreement = syncDisagreement(body);
        QVERIFY2(disagreement.isEmpty(), qPrintable(disagreement));
    }

    void syncAnswersAsBeforeOnDamagedSync()
    {
        for (const auto& [damage, body] : damagedSamples()) {
            const QString disagreement = syncDisagreement(body);
            QVERIFY2(disagreement.isEmpty(), qPrintable(damage + u' ' + disagreement));
        }
    }

    // A refused body leaves the log it was read into as it was.
    void refusalKeepsTheLog()
    {
        SyncedLog log;
        QStringList deleted;
        Reply error;
        QVERIFY(readSyncBody(sampleBody(), log, deleted, error));
        const SyncedLog before = log;
        QVERIFY(!readSyncBody(sampleBody().chopped(2), log, deleted, error));
        QCOMPARE(log.body, before.body);
        QCOMPARE(log.segments.size(), before.segments.size());
        QCOMPARE(log.segment(1), before.segment(1));
    }

    // Before any sync the state shows an empty log.
    void emptyLog()
    {
        const SyncedLog log;
        QCOMPARE(log.objectText(), QByteArrayView("{}"));
        QCOMPARE(log.segmentListText(), QByteArrayView("[]"));
        QCOMPARE(log.markerListText(), QByteArrayView("[]"));
    }
};

PINDLE_TEST(StandinSyncBodyTest)
#include "StandinSyncBodyTest.moc"
