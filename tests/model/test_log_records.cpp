#include "common/TestMain.h"

#include "model/LogEntry.h"
#include "model/LogSession.h"
#include "platform/JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace {

const QJsonValue absent(QJsonValue::Undefined);

template <typename Record> QJsonObject encodedObject(const Record& record)
{
    QByteArray out;
    JsonWriter writer(out);
    record.write(writer);
    return QJsonDocument::fromJson(out).object();
}

LogEntry minimalEntry()
{
    LogEntry e;
    e.id = QUuid::createUuid();
    e.time = Date{-12.25};
    return e;
}

// Every field present, with texts that need escaping and extreme dates.
LogEntry fullEntry()
{
    return LogEntry{.id = QUuid::fromString(u"6f1c2a4e-9b3d-4c5e-8f70-a1b2c3d4e5f6"_s), .time = Date{700000000.123456},
                    .timecode = u"01:02:03:04"_s, .type = u"broll"_s, .endTime = Date{5e-324}, .timecodeOut = u"x"_s,
                    .open = true, .summary = u"He says \"no\" \\ twice\nthen leaves"_s,
                    .highlight = u"ünïcödé 🎬 \u2028 line separator"_s, .summarising = true,
                    .note = u"tab\tand control \u0001 and NUL "_s + QChar(0) + u" end"_s,
                    .tags = {u"Keyword: boat"_s, u""_s}, .suggested = true, .speaker = u"Speaker 1"_s,
                    .lineID = u"1700000000-3"_s, .lineIDs = QStringList{u"1700000000-3"_s, u"1700000000-4"_s}};
}

LogLine fullLine()
{
    return LogLine{u"1700000000-7"_s, u"Ana"_s, u"We go again, \"from the top\"."_s, u"10:00:00:00"_s, 3};
}

LogSession fullSession()
{
    return LogSession{QUuid::createUuid(), Date{699999000.0625}, {fullEntry(), minimalEntry()}, u"shoot-token-1"_s,
                      QList<LogLine>{fullLine(), LogLine{u"1700000000-8"_s, std::nullopt, u""_s, u""_s, 0}}};
}

ShootMarker fullMarker()
{
    const QString t = u"t"_s;
    return ShootMarker{u"m-1"_s, u"funny"_s, u"01:00"_s, t, t, t, t, t, Date{1.5}, 12.25, 1e300, t, t, t, t, t, t};
}

// Rows of a decoding table: a change to a full record's encoding (Undefined removes the key),
// whether it decodes, and what the decoded record writes back under the key (Undefined: left out).
void addColumns(const QStringList& required, const QStringList& optional)
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("decodes");
    QTest::addColumn<QJsonValue>("reencoded");
    for (const QString& key : required) {
        QTest::newRow(qPrintable(u"missing "_s + key)) << key << absent << false << absent;
        QTest::newRow(qPrintable(u"null "_s + key)) << key << QJsonValue(QJsonValue::Null) << false << absent;
    }
    for (const QString& key : optional) {
        QTest::newRow(qPrintable(u"missing optional "_s + key)) << key << absent << true << absent;
        QTest::newRow(qPrintable(u"null optional "_s + key)) << key << QJsonValue(QJsonValue::Null) << true << absent;
    }
    QTest::newRow("unknown key") << u"colour"_s << QJsonValue(u"red"_s) << true << absent;
}

void addRow(const char* tag, const QString& key, const QJsonValue& value, bool decodes,
            const QJsonValue& reencoded = absent)
{
    QTest::newRow(tag) << key << value << decodes << reencoded;
}

template <typename Record> void checkMutation(const Record& full)
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(QJsonValue, reencoded);
    const QJsonObject base = encodedObject(full);
    QJsonObject object = base;
    object.insert(key, value); // Undefined removes the key
    const std::optional<Record> decoded = Record::fromJson(object);
    QTEST(decoded.has_value(), "decodes");
    if (!decoded)
        return;
    QJsonObject expected = base;
    expected.insert(key, reencoded);
    QCOMPARE(encodedObject(*decoded), expected);
}

} // namespace

class TestLogRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTrips()
    {
        for (const LogEntry& entry : {fullEntry(), minimalEntry()})
            QCOMPARE(LogEntry::fromJson(encodedObject(entry)), std::optional<LogEntry>(entry));
        QCOMPARE(LogLine::fromJson(encodedObject(fullLine())), std::optional<LogLine>(fullLine()));
        for (const ShootMarker& marker : {fullMarker(), ShootMarker{}})
            QCOMPARE(ShootMarker::fromJson(encodedObject(marker)), std::optional<ShootMarker>(marker));
        LogSession bare;
        bare.id = QUuid::createUuid();
        const QList<LogSession> sessions{fullSession(), bare};
        QCOMPARE(LogSessionFile::decode(LogSessionFile::encode(sessions)), std::optional(sessions));
        QCOMPARE(LogSessionFile::encode({}), "[]"_ba);
    }

    void entryDecoding_data()
    {
        addColumns({u"id"_s, u"time"_s, u"timecode"_s, u"type"_s, u"open"_s, u"summary"_s, u"highlight"_s,
                    u"summarising"_s, u"note"_s, u"tags"_s, u"suggested"_s},
                   {u"endTime"_s, u"timecodeOut"_s, u"speaker"_s, u"lineID"_s, u"lineIDs"_s});
        addRow("open as string", u"open"_s, u"true"_s, false);
        addRow("time hugely negative", u"time"_s, -1.7e308, true, -1.7e308);
        addRow("id in braces", u"id"_s, u"{6f1c2a4e-9b3d-4c5e-8f70-a1b2c3d4e5f6}"_s, false);
        addRow("id of 36 without hyphens", u"id"_s, u"6f1c2a4e9b3d4c5e8f70a1b2c3d4e5f60000"_s, false);
        const QString nil = uuidText(QUuid());
        addRow("id nil", u"id"_s, nil, true, nil);
        addRow("id lower case", u"id"_s, u"6f1c2a4e-9b3d-4c5e-8f70-a1b2c3d4e5f6"_s, true,
               u"6F1C2A4E-9B3D-4C5E-8F70-A1B2C3D4E5F6"_s);
        addRow("tags holding null", u"tags"_s, QJsonArray{u"a"_s, QJsonValue()}, false);
        addRow("optional lineIDs holding a number", u"lineIDs"_s, QJsonArray{u"a"_s, 2}, false);
    }
    void entryDecoding() { checkMutation(fullEntry()); }

    void lineDecoding_data()
    {
        addColumns({u"id"_s, u"text"_s, u"timecode"_s, u"channel"_s}, {u"speaker"_s});
        addRow("channel 1.5", u"channel"_s, 1.5, false);
        addRow("channel past int", u"channel"_s, 2147483648.0, false);
        addRow("channel whole double", u"channel"_s, 4.0, true, 4);
    }
    void lineDecoding() { checkMutation(fullLine()); }

    void sessionDecoding_data()
    {
        addColumns({u"id"_s, u"createdAt"_s, u"entries"_s}, {u"shootToken"_s, u"transcript"_s});
        addRow("entries as object", u"entries"_s, QJsonObject{}, false);
        QJsonObject noOpen = encodedObject(fullEntry());
        noOpen.remove("open"_L1);
        addRow("one entry lacking open", u"entries"_s, QJsonArray{encodedObject(minimalEntry()), noOpen}, false);
        QJsonObject badLine = encodedObject(fullLine());
        badLine.insert("channel"_L1, 0.5);
        addRow("one line with a fractional channel", u"transcript"_s, QJsonArray{badLine}, false);
        // Present but empty is not absent.
        addRow("transcript empty", u"transcript"_s, QJsonArray{}, true, QJsonArray{});
    }
    void sessionDecoding() { checkMutation(fullSession()); }

    // The file fails as a whole (-1) or gives its sessions.
    void fileDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("sessions");
        const QByteArray good = LogSessionFile::encode({fullSession(), fullSession()});
        const QByteArray head = "[{\"id\":\"6F1C2A4E-9B3D-4C5E-8F70-A1B2C3D4E5F6\",\"entries\":[],\"createdAt\":";
        QTest::newRow("two sessions") << good << 2;
        QTest::newRow("no bytes") << QByteArray() << -1;
        QTest::newRow("top-level object") << LogSession{}.toJson() << -1;
        QTest::newRow("one malformed entry") << QByteArray(good).replace("\"open\":true", "\"open\":1") << -1;
        QTest::newRow("truncated by one byte") << good.chopped(1) << -1;
        QTest::newRow("invalid UTF-8 in a text") << QByteArray(good).replace("Speaker 1", "Speaker \xff\xfe") << -1;
        QTest::newRow("nested too deep") << QByteArray(5000, '[') + QByteArray(5000, ']') << -1;
        QTest::newRow("number beyond double") << head + "1e400}]" << -1;
    }
    void fileDecoding()
    {
        QFETCH(QByteArray, bytes);
        const std::optional<QList<LogSession>> decoded = LogSessionFile::decode(bytes);
        QTEST(decoded ? int(decoded->size()) : -1, "sessions");
    }

    // An entry's empty texts are absent to the exporters; a shoot marker's present ones stay.
    void asMarker()
    {
        for (const QString& text : {QString(), u" "_s}) {
            LogEntry e = fullEntry();
            e.summary = e.highlight = e.note = text;
            const LoggableMarker m = e.asMarker();
            const auto expected = text.isEmpty() ? std::nullopt : std::optional(text);
            QVERIFY(m.summary == expected && m.quote == expected && m.manualNote == expected && !m.createdAt);
            QVERIFY(m.timecodeOut == e.timecodeOut && m.tags == e.tags && m.speaker == e.speaker);
        }
        ShootMarker s = fullMarker();
        s.summary = u""_s;
        const LoggableMarker m = s.asMarker();
        QVERIFY(m.summary == u""_s && m.createdAt == s.createdAt && m.userResolveColor == s.userResolveColor);
    }
};

PINDLE_TEST(TestLogRecords)
#include "test_log_records.moc"
