#include "common/TestMain.h"

#include "model/LogEntry.h"
#include "model/LogSession.h"
#include "platform/JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

const QJsonValue absent(QJsonValue::Undefined);

template <typename Record> QByteArray encoded(const Record& record)
{
    QByteArray out;
    JsonWriter writer(out);
    record.write(writer);
    return out;
}

template <typename Record> QJsonObject encodedObject(const Record& record)
{
    return QJsonDocument::fromJson(encoded(record)).object();
}

LogEntry fullEntry()
{
    LogEntry e;
    e.id = QUuid::fromString(u"6f1c2a4e-9b3d-4c5e-8f70-a1b2c3d4e5f6"_s);
    e.time = Date{700000000.123456};
    e.timecode = u"01:02:03:04"_s;
    e.type = u"broll"_s;
    e.endTime = Date{700000012.5};
    e.timecodeOut = u"01:02:15:16"_s;
    e.open = true;
    e.summary = u"He says \"no\" \\ twice\nthen leaves"_s;
    e.highlight = u"ünïcödé 🎬 \u2028 line separator"_s;
    e.summarising = true;
    e.note = u"tab\tand control \u0001 and NUL "_s + QChar(0) + u" end"_s;
    e.tags = {u"Keyword: boat"_s, u"b"_s, u""_s};
    e.suggested = true;
    e.speaker = u"Speaker 1"_s;
    e.lineID = u"1700000000-3"_s;
    e.lineIDs = QStringList{u"1700000000-3"_s, u"1700000000-4"_s};
    return e;
}

LogEntry minimalEntry()
{
    LogEntry e;
    e.id = QUuid::createUuid();
    e.time = Date{-12.25};
    return e;
}

LogLine fullLine()
{
    return LogLine{u"1700000000-7"_s, u"Ana"_s, u"We go again, \"from the top\"."_s, u"10:00:00:00"_s, 3};
}

LogSession fullSession()
{
    LogSession s;
    s.id = QUuid::createUuid();
    s.createdAt = Date{699999000.0625};
    s.entries = {fullEntry(), minimalEntry()};
    s.shootToken = u"shoot-token-1"_s;
    s.transcript = QList<LogLine>{fullLine(), LogLine{u"1700000000-8"_s, std::nullopt, u""_s, u""_s, 0}};
    return s;
}

ShootMarker fullMarker()
{
    ShootMarker m;
    m.id = u"m-1"_s;
    m.markerType = u"funny"_s;
    m.timecode = u"01:00:00:00"_s;
    m.timecodeOut = u"01:00:05:00"_s;
    m.summary = u"s"_s;
    m.quote = u"q"_s;
    m.raw = u"r"_s;
    m.manualNote = u"n"_s;
    m.createdAt = Date{1.5};
    m.streamIn = 12.25;
    m.streamOut = 1e300;
    m.grade = u"A"_s;
    m.timelineId = u"t1"_s;
    m.timelineName = u"Day 1"_s;
    m.timelineColor = u"Blue"_s;
    m.userColorHex = u"#FF0000"_s;
    m.userResolveColor = u"Rose"_s;
    return m;
}

QJsonValue nested(int depth)
{
    QJsonValue v(1);
    for (int i = 0; i < depth; ++i)
        v = QJsonArray{v};
    return v;
}

void addMutationColumns()
{
    QTest::addColumn<QString>("key");
    // Undefined removes the key.
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("decodes");
    // What encoding the decoded record writes under the key; Undefined: the key is left out.
    QTest::addColumn<QJsonValue>("reencoded");
}

void addRow(const QString& tag, const QString& key, const QJsonValue& value, bool decodes,
            const QJsonValue& reencoded = absent)
{
    QTest::newRow(qPrintable(tag)) << key << value << decodes << reencoded;
}

void addPresenceRows(const QStringList& required, const QStringList& optional)
{
    for (const QString& key : required) {
        addRow(u"missing "_s + key, key, absent, false);
        addRow(u"null "_s + key, key, QJsonValue(QJsonValue::Null), false);
    }
    for (const QString& key : optional) {
        addRow(u"missing optional "_s + key, key, absent, true);
        addRow(u"null optional "_s + key, key, QJsonValue(QJsonValue::Null), true);
    }
    addRow(u"unknown key"_s, u"colour"_s, u"red"_s, true);
    addRow(u"unknown key, deeply nested value"_s, u"extra"_s, nested(200), true);
}

// Applies the row's change to a full record's encoding, decodes it, and checks the outcome and
// what the decoded record encodes back to.
template <typename Record> void checkMutation(const Record& full)
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(bool, decodes);
    QFETCH(QJsonValue, reencoded);

    const QJsonObject base = encodedObject(full);
    QJsonObject object = base;
    if (value.isUndefined())
        object.remove(key);
    else
        object.insert(key, value);

    const std::optional<Record> decoded = Record::fromJson(object);
    QCOMPARE(decoded.has_value(), decodes);
    if (!decoded)
        return;
    QJsonObject expected = base;
    if (reencoded.isUndefined())
        expected.remove(key);
    else
        expected.insert(key, reencoded);
    QCOMPARE(encodedObject(*decoded), expected);
}

} // namespace

class TestLogRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void entryRoundTrip_data()
    {
        QTest::addColumn<LogEntry>("entry");
        QTest::newRow("every field") << fullEntry();
        QTest::newRow("required fields only") << minimalEntry();
        LogEntry emptyLists = minimalEntry();
        emptyLists.lineIDs = QStringList{};
        emptyLists.speaker = u""_s;
        QTest::newRow("present but empty optionals") << emptyLists;
        LogEntry extremes = minimalEntry();
        extremes.time = Date{1e300};
        extremes.endTime = Date{std::numeric_limits<double>::denorm_min()};
        QTest::newRow("extreme dates") << extremes;
        LogEntry fraction = minimalEntry();
        fraction.time = Date{0.1 + 0.2};
        QTest::newRow("inexact fraction") << fraction;
    }
    void entryRoundTrip()
    {
        QFETCH(LogEntry, entry);
        QCOMPARE(LogEntry::fromJson(encodedObject(entry)), std::optional<LogEntry>(entry));
    }

    void sessionFileRoundTrip()
    {
        LogSession bare;
        bare.id = QUuid::createUuid();
        const QList<LogSession> sessions{fullSession(), bare};
        const QByteArray bytes = LogSessionFile::encode(sessions);
        QCOMPARE(LogSessionFile::decode(bytes), std::optional<QList<LogSession>>(sessions));
        QCOMPARE(LogSessionFile::encode({}), "[]"_ba);
        QVERIFY(!bytes.contains('\n'));
    }

    void lineAndMarkerRoundTrip()
    {
        const LogLine line = fullLine();
        QCOMPARE(LogLine::fromJson(encodedObject(line)), std::optional<LogLine>(line));
        const ShootMarker marker = fullMarker();
        QCOMPARE(ShootMarker::fromJson(encodedObject(marker)), std::optional<ShootMarker>(marker));
        ShootMarker bare;
        bare.id = u"m"_s;
        QCOMPARE(ShootMarker::fromJson(encodedObject(bare)), std::optional<ShootMarker>(bare));
    }

    void absentOptionalsAreLeftOut()
    {
        const auto keys = [](const QJsonObject& o) {
            QStringList k = o.keys();
            k.sort();
            return k;
        };
        QStringList entryKeys{u"highlight"_s, u"id"_s,   u"note"_s, u"open"_s,     u"suggested"_s, u"summarising"_s,
                              u"summary"_s,   u"tags"_s, u"time"_s, u"timecode"_s, u"type"_s};
        entryKeys.sort();
        QCOMPARE(keys(encodedObject(minimalEntry())), entryKeys);

        QCOMPARE(keys(encodedObject(LogLine{u"1-1"_s, std::nullopt, u"t"_s, u"tc"_s, 0})),
                 (QStringList{u"channel"_s, u"id"_s, u"text"_s, u"timecode"_s}));
        QCOMPARE(keys(encodedObject(LogSession{})), (QStringList{u"createdAt"_s, u"entries"_s, u"id"_s}));
        QCOMPARE(keys(encodedObject(ShootMarker{})),
                 (QStringList{u"createdAt"_s, u"id"_s, u"markerType"_s, u"timecode"_s}));
        // Present but empty is not absent.
        LogSession emptyTranscript;
        emptyTranscript.transcript = QList<LogLine>{};
        QCOMPARE(encodedObject(emptyTranscript).value("transcript"_L1), QJsonValue(QJsonArray{}));
    }

    void uuidsAndDatesAsSaved()
    {
        LogSession s;
        s.id = QUuid::fromString(u"{abcdef01-2345-4789-abcd-ef0123456789}"_s);
        s.createdAt = Date::fromSecondsSince1970(978307200.0 + 1.25);
        LogEntry e = minimalEntry();
        e.time = Date::fromSecondsSince1970(978307200.0 - 3600.5);
        s.entries = {e};
        const QJsonObject o = encodedObject(s);
        QCOMPARE(o.value("id"_L1).toString(), u"ABCDEF01-2345-4789-ABCD-EF0123456789"_s);
        QVERIFY(o.value("createdAt"_L1).isDouble());
        QCOMPARE(o.value("createdAt"_L1).toDouble(), 1.25);
        const QJsonObject entry = o.value("entries"_L1).toArray().at(0).toObject();
        QCOMPARE(entry.value("time"_L1).toDouble(), -3600.5);
        static const QRegularExpression upper(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);
        QVERIFY(upper.match(entry.value("id"_L1).toString()).hasMatch());
    }

    void entryDecoding_data()
    {
        addMutationColumns();
        addPresenceRows({u"id"_s, u"time"_s, u"timecode"_s, u"type"_s, u"open"_s, u"summary"_s, u"highlight"_s,
                         u"summarising"_s, u"note"_s, u"tags"_s, u"suggested"_s},
                        {u"endTime"_s, u"timecodeOut"_s, u"speaker"_s, u"lineID"_s, u"lineIDs"_s});
        addRow(u"open as string"_s, u"open"_s, u"true"_s, false);
        addRow(u"suggested as number"_s, u"suggested"_s, 1, false);
        addRow(u"summary as number"_s, u"summary"_s, 5, false);
        addRow(u"type as bool"_s, u"type"_s, true, false);
        addRow(u"time as string"_s, u"time"_s, u"700000000"_s, false);
        addRow(u"time huge"_s, u"time"_s, 1e300, true, 1e300);
        addRow(u"time hugely negative"_s, u"time"_s, -1.7e308, true, -1.7e308);
        addRow(u"id as number"_s, u"id"_s, 7, false);
        addRow(u"id not hex"_s, u"id"_s, u"zzzzzzzz-zzzz-zzzz-zzzz-zzzzzzzzzzzz"_s, false);
        addRow(u"id in braces"_s, u"id"_s, u"{6f1c2a4e-9b3d-4c5e-8f70-a1b2c3d4e5f6}"_s, false);
        addRow(u"id empty"_s, u"id"_s, u""_s, false);
        addRow(u"id lower case"_s, u"id"_s, u"6f1c2a4e-9b3d-4c5e-8f70-a1b2c3d4e5f6"_s, true,
               u"6F1C2A4E-9B3D-4C5E-8F70-A1B2C3D4E5F6"_s);
        addRow(u"id nil"_s, u"id"_s, u"00000000-0000-0000-0000-000000000000"_s, true,
               u"00000000-0000-0000-0000-000000000000"_s);
        addRow(u"tags as string"_s, u"tags"_s, u"a"_s, false);
        addRow(u"tags holding a number"_s, u"tags"_s, QJsonArray{u"a"_s, 1}, false);
        addRow(u"tags holding null"_s, u"tags"_s, QJsonArray{u"a"_s, QJsonValue()}, false);
        addRow(u"tags empty"_s, u"tags"_s, QJsonArray{}, true, QJsonArray{});
        addRow(u"optional endTime as string"_s, u"endTime"_s, u"1"_s, false);
        addRow(u"optional timecodeOut as number"_s, u"timecodeOut"_s, 1, false);
        addRow(u"optional speaker as bool"_s, u"speaker"_s, false, false);
        addRow(u"optional lineID as array"_s, u"lineID"_s, QJsonArray{u"a"_s}, false);
        addRow(u"optional lineIDs as string"_s, u"lineIDs"_s, u"a"_s, false);
        addRow(u"optional lineIDs holding a number"_s, u"lineIDs"_s, QJsonArray{u"a"_s, 2}, false);
    }
    void entryDecoding() { checkMutation(fullEntry()); }

    void lineDecoding_data()
    {
        addMutationColumns();
        addPresenceRows({u"id"_s, u"text"_s, u"timecode"_s, u"channel"_s}, {u"speaker"_s});
        addRow(u"channel 1.5"_s, u"channel"_s, 1.5, false);
        addRow(u"channel 1e300"_s, u"channel"_s, 1e300, false);
        addRow(u"channel -1e300"_s, u"channel"_s, -1e300, false);
        addRow(u"channel past int"_s, u"channel"_s, 2147483648.0, false);
        addRow(u"channel below int"_s, u"channel"_s, -2147483649.0, false);
        addRow(u"channel int max"_s, u"channel"_s, 2147483647.0, true, 2147483647);
        addRow(u"channel whole double"_s, u"channel"_s, 4.0, true, 4);
        addRow(u"channel as string"_s, u"channel"_s, u"3"_s, false);
        addRow(u"channel as bool"_s, u"channel"_s, true, false);
        addRow(u"optional speaker as number"_s, u"speaker"_s, 3, false);
        addRow(u"text as array"_s, u"text"_s, QJsonArray{}, false);
    }
    void lineDecoding() { checkMutation(fullLine()); }

    void sessionDecoding_data()
    {
        addMutationColumns();
        addPresenceRows({u"id"_s, u"createdAt"_s, u"entries"_s}, {u"shootToken"_s, u"transcript"_s});
        addRow(u"createdAt as string"_s, u"createdAt"_s, u"0"_s, false);
        addRow(u"entries as object"_s, u"entries"_s, QJsonObject{}, false);
        addRow(u"entries empty"_s, u"entries"_s, QJsonArray{}, true, QJsonArray{});
        QJsonObject noOpen = encodedObject(fullEntry());
        noOpen.remove("open"_L1);
        addRow(u"one entry lacking open"_s, u"entries"_s, QJsonArray{encodedObject(minimalEntry()), noOpen}, false);
        addRow(u"entries holding null"_s, u"entries"_s, QJsonArray{QJsonValue()}, false);
        QJsonObject badLine = encodedObject(fullLine());
        badLine.insert("channel"_L1, 0.5);
        addRow(u"one line with a fractional channel"_s, u"transcript"_s, QJsonArray{badLine}, false);
        addRow(u"transcript as string"_s, u"transcript"_s, u"x"_s, false);
        addRow(u"transcript empty"_s, u"transcript"_s, QJsonArray{}, true, QJsonArray{});
        addRow(u"optional shootToken as number"_s, u"shootToken"_s, 3, false);
    }
    void sessionDecoding() { checkMutation(fullSession()); }

    void markerDecoding_data()
    {
        addMutationColumns();
        addPresenceRows({u"id"_s, u"markerType"_s, u"timecode"_s, u"createdAt"_s},
                        {u"timecodeOut"_s, u"summary"_s, u"quote"_s, u"raw"_s, u"manualNote"_s, u"streamIn"_s,
                         u"streamOut"_s, u"grade"_s, u"timelineId"_s, u"timelineName"_s, u"timelineColor"_s,
                         u"userColorHex"_s, u"userResolveColor"_s});
        addRow(u"id not a uuid"_s, u"id"_s, u"any text"_s, true, u"any text"_s);
        addRow(u"optional streamIn as string"_s, u"streamIn"_s, u"1"_s, false);
        addRow(u"optional grade as number"_s, u"grade"_s, 3, false);
    }
    void markerDecoding() { checkMutation(fullMarker()); }

    void fileDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // -1: the file fails as a whole.
        QTest::addColumn<int>("sessions");

        const QByteArray good = LogSessionFile::encode({fullSession(), fullSession()});
        QByteArray badEntry = good;
        badEntry.replace("\"open\":true", "\"open\":\"true\"");
        QVERIFY(badEntry != good);

        QTest::newRow("empty array") << "[]"_ba << 0;
        QTest::newRow("white space around") << " \n[ ]\t"_ba << 0;
        QTest::newRow("two sessions") << good << 2;
        QTest::newRow("no bytes") << QByteArray() << -1;
        QTest::newRow("top-level object") << LogSession{}.toJson() << -1;
        QTest::newRow("top-level null") << "null"_ba << -1;
        QTest::newRow("top-level string") << "\"[]\""_ba << -1;
        QTest::newRow("array of numbers") << "[1]"_ba << -1;
        QTest::newRow("one malformed entry") << badEntry << -1;
        QTest::newRow("truncated by one byte") << good.chopped(1) << -1;
        QTest::newRow("truncated in half") << good.left(good.size() / 2) << -1;
        QTest::newRow("trailing garbage") << "[]x"_ba << -1;
        QTest::newRow("two arrays") << "[][]"_ba << -1;
        QTest::newRow("NUL after array") << QByteArray("[]\0", 3) << -1;
        QByteArray invalidUtf8 = good;
        invalidUtf8.replace("Speaker 1", "Speaker \xff\xfe");
        QTest::newRow("invalid UTF-8 in a text") << invalidUtf8 << -1;
        QTest::newRow("lone surrogate escape") << QByteArray(good).replace("Speaker 1", "\\ud800") << 2;
        QTest::newRow("nested too deep") << QByteArray(5000, '[') + QByteArray(5000, ']') << -1;
        QTest::newRow("number beyond double") << "[{\"id\":\"6F1C2A4E-9B3D-4C5E-8F70-A1B2C3D4E5F6\","
                                                 "\"createdAt\":1e400,\"entries\":[]}]"_ba
                                              << -1;
        QTest::newRow("400-digit integer") << "[{\"id\":\"6F1C2A4E-9B3D-4C5E-8F70-A1B2C3D4E5F6\",\"createdAt\":1"_ba +
                                                  QByteArray(400, '0') + ",\"entries\":[]}]"_ba
                                           << -1;
        QTest::newRow("largest double") << "[{\"id\":\"6F1C2A4E-9B3D-4C5E-8F70-A1B2C3D4E5F6\","
                                           "\"createdAt\":1.7976931348623157e308,\"entries\":[]}]"_ba
                                        << 1;
    }
    void fileDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, sessions);
        const std::optional<QList<LogSession>> decoded = LogSessionFile::decode(bytes);
        QCOMPARE(decoded ? int(decoded->size()) : -1, sessions);
    }

    void entryAsMarker_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("present");
        QTest::newRow("empty") << u""_s << false;
        QTest::newRow("single space") << u" "_s << true;
        QTest::newRow("words") << u"a take"_s << true;
    }
    void entryAsMarker()
    {
        QFETCH(QString, text);
        QFETCH(bool, present);
        LogEntry e = fullEntry();
        e.summary = text;
        e.highlight = text;
        e.note = text;
        const LoggableMarker m = e.asMarker();
        const std::optional<QString> expected = present ? std::optional<QString>(text) : std::nullopt;
        QCOMPARE(m.summary, expected);
        QCOMPARE(m.quote, expected);
        QCOMPARE(m.manualNote, expected);
        QCOMPARE(m.timecode, e.timecode);
        QCOMPARE(m.timecodeOut, e.timecodeOut);
        QCOMPARE(m.markerType, e.type);
        QCOMPARE(m.tags, e.tags);
        QCOMPARE(m.speaker, e.speaker);
        QCOMPARE(m.userResolveColor, std::nullopt);
        QCOMPARE(m.createdAt, std::nullopt);
    }

    void shootMarkerAsMarker()
    {
        ShootMarker s = fullMarker();
        s.summary = u""_s;
        s.manualNote = std::nullopt;
        const LoggableMarker m = s.asMarker();
        QCOMPARE(m.summary, std::optional<QString>(u""_s));
        QCOMPARE(m.manualNote, std::nullopt);
        QCOMPARE(m.quote, s.quote);
        QCOMPARE(m.markerType, s.markerType);
        QCOMPARE(m.timecodeOut, s.timecodeOut);
        QCOMPARE(m.userResolveColor, s.userResolveColor);
        QCOMPARE(m.createdAt, std::optional<Date>(s.createdAt));
        QVERIFY(m.tags.isEmpty());
        QCOMPARE(m.speaker, std::nullopt);
    }
};

PINDLE_TEST(TestLogRecords)
#include "test_log_records.moc"
