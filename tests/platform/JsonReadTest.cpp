#include "common/TestMain.h"

#include "platform/JsonRead.h"
#include "platform/JsonWriter.h"

#include <QJsonDocument>

#include <cmath>
#include <limits>

namespace {

// The value of "v" in the JSON object text `{"v": <json>}`; Undefined when there is no "v".
QJsonValue field(const QByteArray& json)
{
    return QJsonDocument::fromJson("{\"v\":" + json + "}").object().value(QStringLiteral("v"));
}

QJsonObject objectWith(const QByteArray& json)
{
    return json.isNull() ? QJsonObject() : QJsonDocument::fromJson("{\"v\":" + json + "}").object();
}

// "missing" stands for an object without the key.
const QByteArray missing;

} // namespace

class JsonReadTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void integers_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("intOk");
        QTest::addColumn<int>("intValue");
        QTest::addColumn<bool>("int64Ok");
        QTest::addColumn<qint64>("int64Value");
        QTest::newRow("0") << QByteArray("0") << true << 0 << true << qint64(0);
        QTest::newRow("-0") << QByteArray("-0") << true << 0 << true << qint64(0);
        QTest::newRow("7.0") << QByteArray("7.0") << true << 7 << true << qint64(7);
        QTest::newRow("1e3") << QByteArray("1e3") << true << 1000 << true << qint64(1000);
        QTest::newRow("1.5") << QByteArray("1.5") << false << 0 << false << qint64(0);
        QTest::newRow("-0.5") << QByteArray("-0.5") << false << 0 << false << qint64(0);
        QTest::newRow("int max") << QByteArray("2147483647") << true << 2147483647 << true << qint64(2147483647);
        QTest::newRow("int min") << QByteArray("-2147483648") << true << std::numeric_limits<int>::min() << true
                                 << qint64(std::numeric_limits<int>::min());
        QTest::newRow("int max + 1") << QByteArray("2147483648") << false << 0 << true << qint64(2147483648);
        QTest::newRow("int min - 1") << QByteArray("-2147483649") << false << 0 << true << qint64(-2147483649);
        QTest::newRow("2^53") << QByteArray("9007199254740992") << false << 0 << true << qint64(9007199254740992);
        QTest::newRow("int64 min") << QByteArray("-9223372036854775808") << false << 0 << true
                                   << std::numeric_limits<qint64>::min();
        QTest::newRow("2^63") << QByteArray("9223372036854775808") << false << 0 << false << qint64(0);
        QTest::newRow("-2^63 - 2048") << QByteArray("-9223372036854777856") << false << 0 << false << qint64(0);
        QTest::newRow("1e300") << QByteArray("1e300") << false << 0 << false << qint64(0);
        QTest::newRow("-1e300") << QByteArray("-1e300") << false << 0 << false << qint64(0);
        QTest::newRow("1e400 overflows") << QByteArray("1e400") << false << 0 << false << qint64(0);
        QTest::newRow("5e-324") << QByteArray("5e-324") << false << 0 << false << qint64(0);
        QTest::newRow("string") << QByteArray("\"1\"") << false << 0 << false << qint64(0);
        QTest::newRow("bool") << QByteArray("true") << false << 0 << false << qint64(0);
        QTest::newRow("null") << QByteArray("null") << false << 0 << false << qint64(0);
        QTest::newRow("array") << QByteArray("[1]") << false << 0 << false << qint64(0);
        QTest::newRow("object") << QByteArray("{}") << false << 0 << false << qint64(0);
        QTest::newRow("missing") << missing << false << 0 << false << qint64(0);
    }

    void integers()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, intOk);
        QFETCH(int, intValue);
        QFETCH(bool, int64Ok);
        QFETCH(qint64, int64Value);
        const QJsonObject object = objectWith(json);
        constexpr int untouched = -77;
        int i = untouched;
        QCOMPARE(JsonRead::required(object, QLatin1StringView("v"), i), intOk);
        QCOMPARE(i, intOk ? intValue : untouched);
        qint64 wide = untouched;
        QCOMPARE(JsonRead::required(object, QLatin1StringView("v"), wide), int64Ok);
        QCOMPARE(wide, int64Ok ? int64Value : qint64(untouched));
    }

    // Whole numbers above 2^53 that JSON carries exactly, as our own writer writes them.
    void largeInt64RoundTrip_data()
    {
        QTest::addColumn<qint64>("number");
        QTest::newRow("2^53 + 1") << qint64(9007199254740993);
        QTest::newRow("int64 max") << std::numeric_limits<qint64>::max();
        QTest::newRow("int64 min + 1") << std::numeric_limits<qint64>::min() + 1;
    }

    void largeInt64RoundTrip()
    {
        QFETCH(qint64, number);
        QByteArray out;
        JsonWriter writer(out);
        writer.beginObject();
        writer.field("v", number);
        writer.endObject();
        qint64 back = 0;
        const bool ok = JsonRead::required(QJsonDocument::fromJson(out).object(), QLatin1StringView("v"), back);
        QVERIFY2(ok, out.constData());
        QCOMPARE(back, number);
    }

    void doubles_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("1.5") << QByteArray("1.5") << true << 1.5;
        QTest::newRow("int") << QByteArray("3") << true << 3.0;
        QTest::newRow("1e300") << QByteArray("1e300") << true << 1e300;
        QTest::newRow("5e-324") << QByteArray("5e-324") << true << 5e-324;
        QTest::newRow("1e400") << QByteArray("1e400") << false << 0.0;
        QTest::newRow("string") << QByteArray("\"1.5\"") << false << 0.0;
        QTest::newRow("null") << QByteArray("null") << false << 0.0;
        QTest::newRow("bool") << QByteArray("false") << false << 0.0;
    }

    void doubles()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, ok);
        QFETCH(double, value);
        double d = -1.0;
        QCOMPARE(JsonRead::read(field(json), d), ok);
        QVERIFY(d == (ok ? value : -1.0));
        Date date{-1.0};
        QCOMPARE(JsonRead::read(field(json), date), ok);
        QVERIFY(date.sinceReferenceDate == (ok ? value : -1.0));
    }

    void nonFiniteValuesAreRejected()
    {
        for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity()}) {
            double d = 2.0;
            QVERIFY(!JsonRead::read(QJsonValue(bad), d));
            QCOMPARE(d, 2.0);
            qint64 wide = 2;
            QVERIFY(!JsonRead::read(QJsonValue(bad), wide));
            int i = 2;
            QVERIFY(!JsonRead::read(QJsonValue(bad), i));
            Date date{2.0};
            QVERIFY(!JsonRead::read(QJsonValue(bad), date));
        }
    }

    // Tri-state optional fields: missing and null are both "absent"; any other type is a failure
    // that leaves the previous value.
    void optionalFields_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("present");
        QTest::newRow("missing") << missing << true << false;
        QTest::newRow("null") << QByteArray("null") << true << false;
        QTest::newRow("string") << QByteArray("\"A001\"") << true << true;
        QTest::newRow("empty string") << QByteArray("\"\"") << true << true;
        QTest::newRow("number") << QByteArray("1") << false << false;
        QTest::newRow("bool") << QByteArray("true") << false << false;
        QTest::newRow("array") << QByteArray("[\"A001\"]") << false << false;
        QTest::newRow("object") << QByteArray("{}") << false << false;
    }

    void optionalFields()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, ok);
        QFETCH(bool, present);
        const QJsonObject object = objectWith(json);
        std::optional<QString> out = QStringLiteral("previous");
        QCOMPARE(JsonRead::optional(object, QLatin1StringView("v"), out), ok);
        if (!ok)
            QCOMPARE(out, std::optional<QString>(QStringLiteral("previous")));
        else
            QCOMPARE(out.has_value(), present);

        // A required field takes only the right type; null and missing fail and leave `out`.
        QString required = QStringLiteral("previous");
        QCOMPARE(JsonRead::required(object, QLatin1StringView("v"), required), present);
        if (!present)
            QCOMPARE(required, QStringLiteral("previous"));
    }

    void optionalIntegerTriState()
    {
        std::optional<int> out = 5;
        QVERIFY(!JsonRead::optional(objectWith("1.5"), QLatin1StringView("v"), out));
        QCOMPARE(out, std::optional<int>(5));
        QVERIFY(!JsonRead::optional(objectWith("1e300"), QLatin1StringView("v"), out));
        QCOMPARE(out, std::optional<int>(5));
        QVERIFY(JsonRead::optional(objectWith("-3"), QLatin1StringView("v"), out));
        QCOMPARE(out, std::optional<int>(-3));
        QVERIFY(JsonRead::optional(objectWith("null"), QLatin1StringView("v"), out));
        QCOMPARE(out, std::optional<int>());
    }

    void booleans()
    {
        bool flag = false;
        QVERIFY(JsonRead::read(field("true"), flag));
        QVERIFY(flag);
        QVERIFY(!JsonRead::read(field("0"), flag));
        QVERIFY(!JsonRead::read(field("\"false\""), flag));
        QVERIFY(!JsonRead::read(field("null"), flag));
        QVERIFY(flag);
    }

    void uuids_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("ok");
        QTest::newRow("upper") << QByteArray("\"3F2504E0-4F89-11D3-9A0C-0305E82C3301\"") << true;
        QTest::newRow("lower") << QByteArray("\"3f2504e0-4f89-11d3-9a0c-0305e82c3301\"") << true;
        QTest::newRow("nil") << QByteArray("\"00000000-0000-0000-0000-000000000000\"") << true;
        QTest::newRow("braces") << QByteArray("\"{3F2504E0-4F89-11D3-9A0C-0305E82C3301}\"") << false;
        QTest::newRow("no hyphens") << QByteArray("\"3F2504E04F8911D39A0C0305E82C3301\"") << false;
        QTest::newRow("36 without hyphens") << QByteArray("\"3F2504E04F8911D39A0C0305E82C33010000\"") << false;
        QTest::newRow("bad digit") << QByteArray("\"3F2504E0-4F89-11D3-9A0C-0305E82C330G\"") << false;
        QTest::newRow("36 spaces") << QByteArray("\"                                    \"") << false;
        QTest::newRow("empty") << QByteArray("\"\"") << false;
        QTest::newRow("number") << QByteArray("1") << false;
        QTest::newRow("null") << QByteArray("null") << false;
    }

    void uuids()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, ok);
        const QUuid untouched = QUuid::createUuid();
        QUuid out = untouched;
        QCOMPARE(JsonRead::read(field(json), out), ok);
        if (ok)
            QCOMPARE(uuidText(out), field(json).toString().toUpper());
        else
            QCOMPARE(out, untouched);
    }

    void stringLists()
    {
        QStringList out{QStringLiteral("previous")};
        QVERIFY(JsonRead::read(field("[\"a\",\"\",\"\"]"), out));
        QCOMPARE(out, QStringList({QStringLiteral("a"), QString(), QString()}));
        QVERIFY(JsonRead::read(field("[]"), out));
        QVERIFY(out.isEmpty());
        out = QStringList{QStringLiteral("previous")};
        QVERIFY(!JsonRead::read(field("[\"a\",1]"), out));
        QVERIFY(!JsonRead::read(field("[\"a\",null]"), out));
        QVERIFY(!JsonRead::read(field("\"a\""), out));
        QVERIFY(!JsonRead::read(field("null"), out));
        QCOMPARE(out, QStringList{QStringLiteral("previous")});
    }

    void readListFailsAsAWhole()
    {
        const auto decodeEven = [](const QJsonValue& v) -> std::optional<int> {
            int i = 0;
            if (!JsonRead::read(v, i) || i % 2 != 0)
                return std::nullopt;
            return i;
        };
        QList<int> out{99};
        QVERIFY(!JsonRead::readList(field("[2,4,5,6]"), out, decodeEven));
        QVERIFY(!JsonRead::readList(field("{\"0\":2}"), out, decodeEven));
        QVERIFY(!JsonRead::readList(field("null"), out, decodeEven));
        QCOMPARE(out, QList<int>{99});
        QVERIFY(JsonRead::readList(field("[]"), out, decodeEven));
        QVERIFY(out.isEmpty());
        QVERIFY(JsonRead::readList(field("[-2,0,2]"), out, decodeEven));
        QCOMPARE(out, QList<int>({-2, 0, 2}));
    }

    void hugeArrays()
    {
        constexpr int count = 1000000;
        QByteArray json = "[";
        json.reserve(count * 4);
        for (int i = 0; i < count; ++i) {
            json += QByteArray::number(i % 1000);
            json += ',';
        }
        json += "-1]";
        QList<int> numbers;
        QVERIFY(JsonRead::readList(field(json), numbers, [](const QJsonValue& v) -> std::optional<int> {
            int i = 0;
            return JsonRead::read(v, i) ? std::optional<int>(i) : std::nullopt;
        }));
        QCOMPARE(numbers.size(), count + 1);
        QCOMPARE(numbers.last(), -1);

        QByteArray strings = "[";
        for (int i = 0; i < count; ++i)
            strings += "\"x\",";
        strings += "1]";
        QStringList list{QStringLiteral("previous")};
        QVERIFY(!JsonRead::read(field(strings), list)); // the last element is no string
        QCOMPARE(list, QStringList{QStringLiteral("previous")});
    }

    void invalidUtf8Input_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("lone continuation") << QByteArray("\"a\x80z\"");
        QTest::newRow("0xff") << QByteArray("\"\xff\xfe\"");
        QTest::newRow("truncated sequence") << QByteArray("\"\xe2\x82\"");
        QTest::newRow("overlong slash") << QByteArray("\"\xc0\xaf\"");
        QTest::newRow("encoded surrogate") << QByteArray("\"\xed\xa0\x80\"");
        QTest::newRow("above U+10FFFF") << QByteArray("\"\xf4\x90\x80\x80\"");
        QTest::newRow("escaped lone surrogate") << QByteArray("\"\\ud800x\"");
        QTest::newRow("escaped NUL") << QByteArray("\"a\\u0000b\"");
    }

    void invalidUtf8Input()
    {
        QFETCH(QByteArray, json);
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson("{\"v\":" + json + "}", &error);
        QString text = QStringLiteral("previous");
        const bool ok = JsonRead::required(document.object(), QLatin1StringView("v"), text);
        // The parser may refuse the text or replace what it cannot decode; either way a reader
        // gets a string or nothing, never a crash.
        if (error.error != QJsonParseError::NoError)
            QVERIFY(!ok);
        if (!ok)
            QCOMPARE(text, QStringLiteral("previous"));
        QUuid uuid;
        QVERIFY(!JsonRead::required(document.object(), QLatin1StringView("v"), uuid));
    }

    void deepNestingDoesNotCrash_data()
    {
        QTest::addColumn<QByteArray>("json");
        constexpr int depth = 100000;
        QTest::newRow("arrays") << QByteArray(depth, '[') + QByteArray(depth, ']');
        QByteArray objects;
        for (int i = 0; i < depth; ++i)
            objects += "{\"v\":";
        objects += "1" + QByteArray(depth, '}');
        QTest::newRow("objects") << objects;
        QTest::newRow("unclosed") << QByteArray(depth, '[');
        QTest::newRow("deep inside a list") << "[1,2," + QByteArray(depth, '[') + QByteArray(depth, ']') + "]";
    }

    void deepNestingDoesNotCrash()
    {
        QFETCH(QByteArray, json);
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(json, &error);
        QCOMPARE(error.error, QJsonParseError::DeepNesting);
        QVERIFY(document.isNull());
        QVERIFY(document.array().isEmpty());
        QVERIFY(document.object().isEmpty());
    }
};

PINDLE_TEST(JsonReadTest)
#include "JsonReadTest.moc"
