#include "common/TestMain.h"

#include "platform/JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Writes `text` as the one value of {"v": …} and parses it back.
QJsonValue roundTripString(const QString& text, QByteArray* encoded = nullptr)
{
    QByteArray out;
    JsonWriter writer(out);
    writer.beginObject();
    writer.field("v", text);
    writer.endObject();
    if (encoded)
        *encoded = out;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(out, &error);
    if (error.error != QJsonParseError::NoError)
        return QJsonValue(QJsonValue::Undefined);
    return document.object().value(QStringLiteral("v"));
}

QByteArray encodeNumber(double number)
{
    QByteArray out;
    JsonWriter writer(out);
    writer.value(number);
    return out;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class JsonWriterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void structure()
    {
        QByteArray out;
        JsonWriter writer(out);
        writer.beginObject();
        writer.field("a", 1);
        writer.optional("absent", std::optional<int>());
        writer.optional("present", std::optional<QString>(QStringLiteral("p")));
        writer.key("nested").beginObject();
        writer.key("empty").beginArray();
        writer.endArray();
        writer.key("list").beginArray();
        writer.value(true);
        writer.null();
        writer.beginObject();
        writer.endObject();
        writer.value(QStringList{QStringLiteral("x"), QStringLiteral("y")});
        writer.endArray();
        writer.endObject();
        writer.key("raw");
        writer.raw("{\"r\":[1,2]}");
        writer.optional("absent at end", std::optional<double>());
        writer.endObject();
        QCOMPARE(out, QByteArray(
                          "{\"a\":1,\"present\":\"p\",\"nested\":{\"empty\":[],\"list\":[true,null,{},[\"x\",\"y\"]]},"
                          "\"raw\":{\"r\":[1,2]}}"));
        QVERIFY(!QJsonDocument::fromJson(out).isNull());
    }

    void appendsToExistingBuffer()
    {
        QByteArray out("prefix:");
        JsonWriter writer(out);
        writer.beginArray();
        writer.value(QStringLiteral("a"));
        writer.endArray();
        QCOMPARE(out, QByteArray("prefix:[\"a\"]"));
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("plain") << QStringLiteral("Scene 4, take 2") << QByteArray("\"Scene 4, take 2\"");
        QTest::newRow("quote") << QStringLiteral("say \"cut\"") << QByteArray("\"say \\\"cut\\\"\"");
        QTest::newRow("backslash") << QStringLiteral("C:\\tape\\") << QByteArray("\"C:\\\\tape\\\\\"");
        QTest::newRow("newline") << QStringLiteral("a\nb") << QByteArray("\"a\\nb\"");
        QTest::newRow("cr tab") << QStringLiteral("\r\t") << QByteArray("\"\\r\\t\"");
        QTest::newRow("nul") << QString(QChar(0)) << QByteArray("\"\\u0000\"");
        QTest::newRow("unit separator") << QString(QChar(0x1F)) << QByteArray("\"\\u001f\"");
        QTest::newRow("backspace") << QString(QChar(0x08)) << QByteArray("\"\\u0008\"");
        QTest::newRow("space") << QStringLiteral(" ") << QByteArray("\" \"");
        QTest::newRow("slash") << QStringLiteral("a/b") << QByteArray("\"a/b\"");
        QTest::newRow("delete") << QString(QChar(0x7F)) << QByteArray("\"\x7f\"");
        QTest::newRow("e acute") << QStringLiteral("é") << QByteArray("\"\xc3\xa9\"");
        QTest::newRow("clapper") << QStringLiteral("🎬") << QByteArray("\"\xf0\x9f\x8e\xac\"");
        QTest::newRow("line separator") << QString(QChar(0x2028)) << QByteArray("\"\xe2\x80\xa8\"");
        QTest::newRow("empty") << QString() << QByteArray("\"\"");
    }

    void escaping()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, encoded);
        QByteArray out;
        JsonWriter writer(out);
        writer.value(text);
        QCOMPARE(out, encoded);
    }

    void everyCodePointRoundTrips()
    {
        // All of the BMP outside the surrogates, and a sample of every plane above it.
        QString text;
        for (char32_t c = 0; c < 0x110000; c += (c < 0x10000 ? 1 : 97)) {
            if (c >= 0xD800 && c <= 0xDFFF)
                continue;
            const char32_t one[] = {c};
            text += QString::fromUcs4(one, 1);
        }
        text += QString::fromUcs4(U"\U0010FFFF", 1);
        QCOMPARE(roundTripString(text).toString(), text);
    }

    void controlCharactersEachRoundTrip()
    {
        for (ushort c = 0; c < 0x20; ++c) {
            const QString text = QStringLiteral("a") + QChar(c) + QStringLiteral("b");
            QByteArray encoded;
            QCOMPARE(roundTripString(text, &encoded).toString(), text);
            // No raw control byte reaches the output.
            for (const char byte : encoded)
                QVERIFY(static_cast<unsigned char>(byte) >= 0x20);
        }
    }

    void loneSurrogatesStayValidJson_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("high alone") << QString(QChar(0xD83C));
        QTest::newRow("low alone") << QString(QChar(0xDFAC));
        QTest::newRow("reversed pair") << (QString(QChar(0xDFAC)) + QChar(0xD83C));
        QTest::newRow("high at end") << (QStringLiteral("take") + QChar(0xD800));
        QTest::newRow("high before text") << (QString(QChar(0xDBFF)) + QStringLiteral("x\""));
    }

    void loneSurrogatesStayValidJson()
    {
        QFETCH(QString, text);
        const QJsonValue back = roundTripString(text);
        QVERIFY(back.isString());
        // The surrounding ordinary characters survive.
        for (const QChar c : text) {
            if (!c.isSurrogate())
                QVERIFY(back.toString().contains(c));
        }
    }

    void doublesRoundTripExactly_data()
    {
        QTest::addColumn<double>("number");
        QTest::newRow("0") << 0.0;
        QTest::newRow("-0") << -0.0;
        QTest::newRow("0.1") << 0.1;
        QTest::newRow("1/3") << 1.0 / 3.0;
        QTest::newRow("date") << 786712345.678901;
        QTest::newRow("-1.5") << -1.5;
        QTest::newRow("1e300") << 1e300;
        QTest::newRow("-1e300") << -1e300;
        QTest::newRow("max") << std::numeric_limits<double>::max();
        QTest::newRow("lowest") << std::numeric_limits<double>::lowest();
        QTest::newRow("min normal") << std::numeric_limits<double>::min();
        QTest::newRow("5e-324") << 5e-324;
        QTest::newRow("2^53") << 9007199254740992.0;
        QTest::newRow("2^53+2") << 9007199254740994.0;
        QTest::newRow("2^63") << 9223372036854775808.0;
        QTest::newRow("-2^63") << -9223372036854775808.0;
        QTest::newRow("2^64") << 18446744073709551616.0;
        QTest::newRow("1e21") << 1e21;
        QTest::newRow("123456789012345680000") << 123456789012345680000.0;
    }

    void doublesRoundTripExactly()
    {
        QFETCH(double, number);
        const QByteArray encoded = encodeNumber(number);
        double back = 0;
        const auto result = std::from_chars(encoded.constData(), encoded.constData() + encoded.size(), back);
        QVERIFY(result.ec == std::errc());
        QVERIFY2(sameBits(back, number), encoded.constData());
        // Qt's reader gets the same number back from a saved file.
        const QJsonDocument document = QJsonDocument::fromJson("[" + encoded + "]");
        QVERIFY2(document.isArray(), encoded.constData());
        QVERIFY(document.array().at(0).isDouble());
        // Exact, not QCOMPARE's fuzzy comparison of doubles.
        QVERIFY2(document.array().at(0).toDouble() == number, encoded.constData());
    }

    // Qt's reader holds "-0" as the integer 0; the sign of a negative zero is worth nothing to a
    // log, so only the value is required there, while the text keeps the sign.
    void negativeZeroText() { QCOMPARE(encodeNumber(-0.0), QByteArray("-0")); }

    void nonFiniteWrittenAsNull_data()
    {
        QTest::addColumn<double>("number");
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("+inf") << std::numeric_limits<double>::infinity();
        QTest::newRow("-inf") << -std::numeric_limits<double>::infinity();
    }

    void nonFiniteWrittenAsNull()
    {
        QFETCH(double, number);
        QByteArray out;
        JsonWriter writer(out);
        writer.beginObject();
        writer.field("n", number);
        writer.field("d", Date{number});
        writer.endObject();
        QCOMPARE(out, QByteArray("{\"n\":null,\"d\":null}"));
    }

    void integers_data()
    {
        QTest::addColumn<qint64>("number");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("0") << qint64(0) << QByteArray("0");
        QTest::newRow("-1") << qint64(-1) << QByteArray("-1");
        QTest::newRow("int max") << qint64(std::numeric_limits<int>::max()) << QByteArray("2147483647");
        QTest::newRow("int64 max") << std::numeric_limits<qint64>::max() << QByteArray("9223372036854775807");
        QTest::newRow("int64 min") << std::numeric_limits<qint64>::min() << QByteArray("-9223372036854775808");
    }

    void integers()
    {
        QFETCH(qint64, number);
        QFETCH(QByteArray, encoded);
        QByteArray out;
        JsonWriter writer(out);
        writer.value(number);
        QCOMPARE(out, encoded);
        if (number >= std::numeric_limits<int>::min() && number <= std::numeric_limits<int>::max()) {
            QByteArray small;
            JsonWriter(small).value(static_cast<int>(number));
            QCOMPARE(small, encoded);
        }
    }

    void datesAreSecondsSinceReference()
    {
        QByteArray out;
        JsonWriter writer(out);
        writer.value(Date::fromSecondsSince1970(Date::referenceOffset + 12.25));
        QCOMPARE(out, QByteArray("12.25"));
    }

    void uuids_data()
    {
        QTest::addColumn<QUuid>("uuid");
        QTest::newRow("random") << QUuid::createUuid();
        QTest::newRow("null") << QUuid();
        QTest::newRow("lower-case source") << QUuid::fromString(u"3f2504e0-4f89-11d3-9a0c-0305e82c3301");
    }

    void uuids()
    {
        QFETCH(QUuid, uuid);
        QByteArray out;
        JsonWriter writer(out);
        writer.value(uuid);
        QCOMPARE(out.size(), 38);
        const QString text = QString::fromLatin1(out.mid(1, 36));
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                     .match(text)
                     .hasMatch(),
                 qPrintable(text));
        QCOMPARE(QUuid::fromString(text), uuid);
        QCOMPARE(uuidText(uuid), text);
    }

    void latin1Text()
    {
        QByteArray out;
        JsonWriter writer(out);
        writer.value("caf\xe9 \"x\"");
        QCOMPARE(QJsonDocument::fromJson("[" + out + "]").array().at(0).toString(), QStringLiteral("café \"x\""));
    }

    void largeDocumentParsesToSameValues()
    {
        QByteArray out;
        JsonWriter writer(out);
        writer.beginArray();
        for (int i = 0; i < 20000; ++i) {
            writer.beginObject();
            writer.field("i", i);
            writer.field("t", QStringLiteral("line %1 \"q\" \\ \n ✓").arg(i));
            writer.field("d", i * 0.001);
            writer.endObject();
        }
        writer.endArray();
        const QJsonArray array = QJsonDocument::fromJson(out).array();
        QCOMPARE(array.size(), 20000);
        for (int i = 0; i < 20000; i += 997) {
            const QJsonObject object = array.at(i).toObject();
            QCOMPARE(object.value(QStringLiteral("i")).toInt(), i);
            QCOMPARE(object.value(QStringLiteral("t")).toString(), QStringLiteral("line %1 \"q\" \\ \n ✓").arg(i));
            QVERIFY(object.value(QStringLiteral("d")).toDouble() == i * 0.001);
        }
    }
};

PINDLE_TEST(JsonWriterTest)
#include "JsonWriterTest.moc"
