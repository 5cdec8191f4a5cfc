#include "common/TestMain.h"

#include "audio/ChannelStream.h"
#include "audio/StreamMessages.h"
#include "service/APIService.h"
#include "service/CookieStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>
#include <random>

using namespace StreamMessages;

namespace {

const QString kNone = QStringLiteral("<none>");

QString kindOf(const Received& received)
{
    if (std::holds_alternative<Refusal>(received))
        return QStringLiteral("refusal");
    if (std::holds_alternative<TranscriptResult>(received))
        return QStringLiteral("result");
    return QStringLiteral("ignored");
}

// A result as it may reach the stream: every field within its cap, trimmed, times plausible.
bool wellFormed(const TranscriptResult& result, QString& why)
{
    if (result.id.size() > kMaxIdChars)
        why = QStringLiteral("id too long");
    else if (result.text.size() > kMaxTextChars)
        why = QStringLiteral("text too long");
    else if (result.text != trimSpacesAndTabs(result.text))
        why = QStringLiteral("text not trimmed");
    else if (result.speaker && (result.speaker->isEmpty() || result.speaker->size() > kMaxSpeakerChars))
        why = QStringLiteral("bad speaker");
    else if (result.words.size() > kMaxWords)
        why = QStringLiteral("too many words");
    for (const Word& word : result.words) {
        if (!std::isfinite(word.start) || !std::isfinite(word.end) || word.start < 0.0 || word.end < word.start ||
            word.end > kMaxWordSeconds || word.text().size() > kMaxWordChars)
            why = QStringLiteral("bad word");
    }
    return why.isEmpty();
}

// Random JSON-ish text: mostly valid documents shaped like the service's messages, with every
// value drawn from all JSON types and from the numbers that trouble readers.
class FrameGenerator {
public:
    explicit FrameGenerator(quint32 seed) : m_random(seed) {}

    QByteArray frame()
    {
        QByteArray text = value(0, true);
        switch (pick(6)) {
        case 0: // cut anywhere
            text.truncate(static_cast<qsizetype>(m_random() % static_cast<quint32>(text.size() + 1)));
            break;
        case 1: // a byte flipped
            if (!text.isEmpty())
                text[static_cast<qsizetype>(m_random() % static_cast<quint32>(text.size()))] =
                    static_cast<char>(m_random() % 256);
            break;
        default:
            break;
        }
        return text;
    }

private:
    int pick(int n) { return static_cast<int>(m_random() % static_cast<quint32>(n)); }

    QByteArray number()
    {
        static const char* const plain[] = {"0", "1", "1.5", "2.25", "42", "3"};
        if (pick(5) != 0)
            return plain[pick(std::size(plain))];
        // Beyond a double's range: Qt's reader refuses the whole document.
        static const char* const illegal[] = {"1e400", "-1e400", "1e-400"};
        if (pick(20) == 0)
            return illegal[pick(std::size(illegal))];
        static const char* const odd[] = {
            "-0",   "-1", "1e6", "1000000.5", "1e300", "9007199254740993", "2.5e3", "123456789012345678901234567890",
            "-1e-5"};
        return odd[pick(std::size(odd))];
    }

    QByteArray string()
    {
        static const char* const words[] = {"",
                                            " ",
                                            "\\t",
                                            "hello",
                                            " padded\\t",
                                            "\\u0000",
                                            "\\ud83d\\ude00",
                                            "\\ud83d",
                                            "line\\nbreak",
                                            "\\\"quoted\\\""};
        QByteArray out = "\"";
        const int parts = pick(4);
        for (int i = 0; i < parts; ++i)
            out += words[pick(std::size(words))];
        if (pick(20) == 0)
            out += QByteArray(300 + pick(12000), 'x');
        return out + '"';
    }

    QByteArray value(int depth, bool message = false)
    {
        if (message || (depth < 4 && pick(5) == 0))
            return object(depth, message);
        switch (pick(depth < 4 ? 7 : 5)) {
        case 0:
            return "null";
        case 1:
            return pick(2) ? "true" : "false";
        case 2:
        case 3:
            return number();
        case 4:
            return string();
        default:
            return array(depth);
        }
    }

    QByteArray array(int depth)
    {
        QByteArray out = "[";
        const int count = pick(6);
        for (int i = 0; i < count; ++i) {
            if (i)
                out += ',';
            out += pick(2) ? word(depth) : value(depth + 1);
        }
        return out + ']';
    }

    QByteArray word(int depth)
    {
        QByteArray out = "{";
        const char* keys[] = {"\"word\":", "\"start\":", "\"end\":"};
        bool first = true;
        for (const char* key : keys) {
            if (pick(6) == 0)
                continue;
            out += first ? "" : ",";
            first = false;
            out += key;
            out += pick(3) ? (key[1] == 'w' ? string() : number()) : value(depth + 1);
        }
        return out + '}';
    }

    QByteArray object(int depth, bool message)
    {
        static const char* const keys[] = {"type",    "id",          "interim", "text",
                                           "speaker", "wordTimings", "code",    "message"};
        static const char* const types[] = {"\"live_transcript\"", "\"live_transcript\"", "\"live_transcript\"",
                                            "\"error\"",           "\"other\"",           "7"};
        QByteArray out = "{";
        bool first = true;
        for (const char* key : keys) {
            const QByteArrayView name(key);
            if (pick(4) == 0 && !(message && name == "type"))
                continue;
            out += first ? "" : ",";
            first = false;
            out += '"';
            out += key;
            out += "\":";
            if (message && name == "type")
                out += types[pick(std::size(types))];
            else if (name == "wordTimings" && pick(3))
                out += array(depth + 1);
            else
                out += value(depth + 1);
        }
        return out + '}';
    }

    std::mt19937 m_random;
};

} // namespace

// The reading of the socket's frames: every field type-checked and capped, malformed entries
// skipped, and no input, however broken, crashing or yielding an unusable line.
class StreamMessagesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsFrames_data();
    void readsFrames();
    void longTextIsCutWhole();
    void tooManyWordsAreCapped();
    void startAndStopMessages();
    // Thousands of random, truncated and corrupted documents through the reader and the merge, as
    // the socket thread and then the main thread apply them.
    void fuzzedFramesNeverMakeBadLines();
};

void StreamMessagesTest::readsFrames_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("id");
    QTest::addColumn<bool>("interim");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("speaker");
    QTest::addColumn<int>("words");

    const auto row = [](const char* name, const QByteArray& frame, const char* kind, const QString& id = {},
                        bool interim = false, const QString& text = {}, const QString& speaker = kNone, int words = 0) {
        QTest::newRow(name) << frame << QString::fromLatin1(kind) << id << interim << text << speaker << words;
    };
    row("full result",
        R"({"type":"live_transcript","id":"u7","interim":true,"text":"  hi there\t","speaker":"Sam",)"
        R"("wordTimings":[{"word":"hi","start":0.5,"end":0.75},{"word":"there","start":1,"end":2}]})",
        "result", "u7", true, "hi there", "Sam", 2);
    row("nothing but the type", R"({"type":"live_transcript"})", "result", "0", false, "", kNone, 0);
    row("integer id", R"({"type":"live_transcript","id":42})", "result", "42");
    row("negative integer id", R"({"type":"live_transcript","id":-3})", "result", "-3");
    row("fractional id", R"({"type":"live_transcript","id":4.5})", "result", "0");
    row("id beyond exact integers", R"({"type":"live_transcript","id":1e300})", "result", "0");
    row("id of another type", R"({"type":"live_transcript","id":[1]})", "result", "0");
    row("empty string id", R"({"type":"live_transcript","id":""})", "result", "");
    row("id of 200 characters", "{\"type\":\"live_transcript\",\"id\":\"" + QByteArray(200, 'i') + "\"}", "result",
        QString(200, u'i'));
    row("id of 201 characters", "{\"type\":\"live_transcript\",\"id\":\"" + QByteArray(201, 'i') + "\"}", "ignored");
    row("interim as a string", R"({"type":"live_transcript","interim":"true"})", "result", "0", false);
    row("interim as a number", R"({"type":"live_transcript","interim":1})", "result", "0", false);
    row("text as a number", R"({"type":"live_transcript","text":5})", "result", "0", false, "");
    row("line breaks are kept", R"({"type":"live_transcript","text":"\nhi\n "})", "result", "0", false, "\nhi\n");
    row("empty speaker", R"({"type":"live_transcript","speaker":""})", "result", "0", false, "", kNone);
    row("speaker as a number", R"({"type":"live_transcript","speaker":3})", "result", "0", false, "", kNone);
    row("long speaker is cut", "{\"type\":\"live_transcript\",\"speaker\":\"" + QByteArray(500, 's') + "\"}", "result",
        "0", false, "", QString(kMaxSpeakerChars, u's'));
    row("words not an array", R"({"type":"live_transcript","wordTimings":{"word":"a","start":0,"end":1}})", "result",
        "0", false, "", kNone, 0);
    row("malformed words skipped",
        R"({"type":"live_transcript","wordTimings":[{"word":"ok","start":1,"end":2},{"word":"no end","start":1},)"
        R"({"word":5,"start":1,"end":2},{"word":"text times","start":"1","end":"2"},7,null,)"
        R"({"word":"backwards","start":2,"end":1},{"word":"negative","start":-1,"end":1},)"
        R"({"word":"absurd","start":1,"end":1e9},{"word":"tiny","start":1e-300,"end":1e-300},)"
        R"({"word":"same","start":3,"end":3}]})",
        "result", "0", false, "", kNone, 3);
    // Qt's reader refuses a number beyond a double's range, and with it the frame.
    row("number beyond a double",
        R"({"type":"live_transcript","text":"x","wordTimings":[{"word":"a","start":1,"end":1e400}]})", "ignored");
    row("word of 201 characters skipped",
        "{\"type\":\"live_transcript\",\"wordTimings\":[{\"word\":\"" + QByteArray(201, 'w') +
            "\",\"start\":0,\"end\":1}]}",
        "result", "0", false, "", kNone, 0);
    row("refusal", R"({"type":"error","code":"shoot_ended","message":"wrapped"})", "refusal", "shoot_ended");
    row("refusal without a string code", R"({"type":"error","code":7})", "ignored");
    row("refusal without a code", R"({"type":"error"})", "ignored");
    row("refusal code of 201 characters", "{\"type\":\"error\",\"code\":\"" + QByteArray(201, 'c') + "\"}", "ignored");
    row("other type", R"({"type":"keepalive","text":"x"})", "ignored");
    row("type not a string", R"({"type":1,"text":"x"})", "ignored");
    row("no type", R"({"text":"x"})", "ignored");
    row("array", R"([{"type":"live_transcript"}])", "ignored");
    row("string", R"("live_transcript")", "ignored");
    row("truncated", R"({"type":"live_transcript","text":"hel)", "ignored");
    row("empty", "", "ignored");
    row("not UTF-8 JSON", "\xff\xfe{", "ignored");
    row("trailing spaces are still JSON", QByteArray(R"({"type":"live_transcript","id":"p"})") + QByteArray(1000, ' '),
        "result", "p");
    row("frame over the cap", QByteArray(R"({"type":"live_transcript","id":"p"})") + QByteArray(kMaxFrameBytes, ' '),
        "ignored");
}

void StreamMessagesTest::readsFrames()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, kind);
    QFETCH(QString, id);
    QFETCH(bool, interim);
    QFETCH(QString, text);
    QFETCH(QString, speaker);
    QFETCH(int, words);
    const Received received = parse(frame);
    QCOMPARE(kindOf(received), kind);
    if (const auto* refusal = std::get_if<Refusal>(&received))
        QCOMPARE(refusal->code, id);
    if (const auto* result = std::get_if<TranscriptResult>(&received)) {
        QCOMPARE(result->id, id);
        QCOMPARE(result->interim, interim);
        QCOMPARE(result->text, text);
        QCOMPARE(result->speaker.value_or(kNone), speaker);
        QCOMPARE(result->words.size(), words);
        QString why;
        QVERIFY2(wellFormed(*result, why), qPrintable(why));
    }
}

void StreamMessagesTest::longTextIsCutWhole()
{
    // A cut that would split a surrogate pair leaves the pair out.
    QByteArray frame =
        "{\"type\":\"live_transcript\",\"text\":\"" + QByteArray(kMaxTextChars - 1, 'a') + "\\ud83d\\ude00 tail\"}";
    QCOMPARE(std::get<TranscriptResult>(parse(frame)).text, QString(kMaxTextChars - 1, u'a'));
    frame = "{\"type\":\"live_transcript\",\"text\":\"" + QByteArray(3 * kMaxTextChars, 'b') + "\"}";
    QCOMPARE(std::get<TranscriptResult>(parse(frame)).text.size(), kMaxTextChars);
    // Leading blanks do not eat into the cap.
    frame = "{\"type\":\"live_transcript\",\"text\":\"" + QByteArray(kMaxTextChars, ' ') + "word\"}";
    QCOMPARE(std::get<TranscriptResult>(parse(frame)).text, QStringLiteral("word"));
}

void StreamMessagesTest::tooManyWordsAreCapped()
{
    QByteArray frame = R"({"type":"live_transcript","wordTimings":[)";
    for (int i = 0; i < kMaxWords + 10; ++i)
        frame += (i ? "," : "") + QByteArray(R"({"word":"w","start":1,"end":2})");
    frame += "]}";
    QCOMPARE(std::get<TranscriptResult>(parse(frame)).words.size(), kMaxWords);
}

// An empty token is still sent; the stream's other start messages are checked over the socket.
void StreamMessagesTest::startAndStopMessages()
{
    const QByteArray expected = R"({"client":"logger","encoding":"linear16","language":"en","sample_rate":16000,)"
                                R"("token":"","type":"questions_transcribe_start"})";
    QCOMPARE(QJsonDocument::fromJson(startMessage(true, QString())).object(),
             QJsonDocument::fromJson(expected).object());
    QCOMPARE(stopMessage(), QByteArray(R"({"type":"recording_stop"})"));
}

void StreamMessagesTest::fuzzedFramesNeverMakeBadLines()
{
    InMemoryCookieStore store;
    APIService service(QStringLiteral("http://127.0.0.1:9"), store);
    auto stream = std::make_shared<ChannelStream>(5, 2.0, true, service);
    int updates = 0;
    int refusals = 0;
    stream->onUpdate = [&](const QString& text) {
        ++updates;
        QVERIFY(text == trimSpacesAndTabs(text));
    };
    stream->onRefused = [&](const QString&) { ++refusals; };

    FrameGenerator generator(0x5eed1234u);
    int results = 0;
    for (int i = 0; i < 6000; ++i) {
        const QByteArray frame = generator.frame();
        const Received received = parse(frame);
        if (const auto* result = std::get_if<TranscriptResult>(&received)) {
            ++results;
            QString why;
            QVERIFY2(wellFormed(*result, why), qPrintable(why + u' ' + QString::fromUtf8(frame.left(300))));
            stream->mergeResult(*result);
        } else if (const auto* refusal = std::get_if<Refusal>(&received)) {
            QVERIFY(refusal->code.size() <= kMaxCodeChars);
            stream->handleRefusal(*refusal);
        }
    }
    // The generator must reach the merge often, or the test proves little.
    QVERIFY2(results > 1000, QByteArray::number(results));
    QCOMPARE(updates, results);

    QSet<QString> ids;
    for (const DisplaySegment& line : stream->display()) {
        QVERIFY(line.id.startsWith(QStringLiteral("5-")));
        QVERIFY(!ids.contains(line.id));
        ids.insert(line.id);
        QVERIFY(!line.text.isEmpty());
        QVERIFY(line.text.size() <= kMaxTextChars);
        QCOMPARE(line.channel, 5);
        if (line.words.isEmpty()) {
            QCOMPARE(line.startSecs, -1.0);
        } else {
            QCOMPARE(line.startSecs, line.words.first().start);
            QCOMPARE(line.endSecs, line.words.last().end);
            for (const Word& word : line.words)
                QVERIFY(word.start >= 2.0 && word.end >= word.start && word.end <= 2.0 + kMaxWordSeconds);
        }
    }
    QVERIFY(!ids.isEmpty());
    if (const auto end = stream->lastWordEnd())
        QVERIFY(std::isfinite(*end));
}

PINDLE_TEST(StreamMessagesTest)
#include "test_stream_messages.moc"
