#include "common/TestMain.h"

#include "platform/JsonRead.h"
#include "platform/JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

template <typename T> QByteArray encode(const T& value)
{
    QByteArray out;
    JsonWriter(out).value(value);
    return out;
}

// What Qt's reader, as a later start uses it, makes of one encoded value.
QJsonValue readBack(const QByteArray& encoded)
{
    return QJsonDocument::fromJson("[" + encoded + "]").array().at(0);
}

} // namespace

class JsonWriterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Compact, keys in the order written, dates as seconds since 2001, UUIDs upper case.
    void structure()
    {
        QByteArray out("prefix:"); // appended to, never cleared
        JsonWriter writer(out);
        writer.beginObject();
        writer.field("a", 1);
        writer.optional("absent", std::optional<int>());
        writer.optional("present", std::optional<QString>(QStringLiteral("p")));
        writer.key("nested").beginObject();
        writer.key("empty").beginArray();
        writer.endArray();
        writer.key("list").beginArray();
        writer.null();
        writer.beginObject();
        writer.endObject();
        writer.value(QStringList{QStringLiteral("x"), QStringLiteral("y")});
        writer.value("caf\xe9"); // Latin-1
        // JSON has no NaN or infinity: written as null so the file stays readable.
        writer.value(std::numeric_limits<double>::quiet_NaN());
        writer.value(Date{-std::numeric_limits<double>::infinity()});
        writer.value(std::numeric_limits<qint64>::min());
        writer.value(std::numeric_limits<int>::min());
        writer.value(QUuid::fromString(u"3f2504e0-4f89-11d3-9a0c-0305e82c3301"));
        writer.endArray();
        writer.endObject();
        writer.key("raw");
        writer.raw("{\"r\":[1,2]}");
        writer.field("date", Date::fromSecondsSince1970(Date::referenceOffset + 12.25));
        writer.optional("absent at end", std::optional<double>());
        writer.endObject();
        QCOMPARE(out, QByteArray("prefix:{\"a\":1,\"present\":\"p\",\"nested\":{\"empty\":[],\"list\":[null,{},"
                                 "[\"x\",\"y\"],\"caf\xc3\xa9\",null,null,-9223372036854775808,"
                                 "-2147483648,\"3F2504E0-4F89-11D3-9A0C-0305E82C3301\"]},"
                                 "\"raw\":{\"r\":[1,2]},\"date\":12.25}"));
    }

    // Written as pieces, the text is the same bytes; an encoded value from the shared size up is
    // its own piece, holding the very bytes it was given, and nothing after it is lost.
    void piecesJoinToTheWholeText_data()
    {
        QTest::addColumn<QList<int>>("rawSizes");
        QTest::newRow("all copied") << QList<int>{10, JsonWriter::kSharedPiece - 1};
        QTest::newRow("one shared") << QList<int>{JsonWriter::kSharedPiece};
        QTest::newRow("shared back to back") << QList<int>{JsonWriter::kSharedPiece, 4096, 3};
        QTest::newRow("shared last") << QList<int>{3, 70000};
    }
    void piecesJoinToTheWholeText()
    {
        QFETCH(QList<int>, rawSizes);
        QList<QByteArray> raws;
        for (const int size : std::as_const(rawSizes))
            raws.append("\"" + QByteArray(size - 2, 'r') + "\"");
        const auto write = [&raws](JsonWriter& w) {
            w.beginObject();
            w.key("list").beginArray();
            for (const QByteArray& raw : std::as_const(raws)) {
                w.value(QStringLiteral("glue"));
                w.raw(raw);
            }
            w.endArray();
            w.field("after", 1);
            w.endObject();
        };
        QByteArray whole;
        JsonWriter wholeWriter(whole);
        write(wholeWriter);

        QList<QByteArray> pieces;
        QByteArray rest;
        JsonWriter piecesWriter(rest, pieces);
        write(piecesWriter);
        pieces.append(rest);
        QCOMPARE(pieces.join(), whole);
        for (const QByteArray& raw : std::as_const(raws)) {
            const bool shared = std::any_of(pieces.cbegin(), pieces.cend(), [&raw](const QByteArray& piece) {
                return piece.constData() == raw.constData();
            });
            QCOMPARE(shared, raw.size() >= JsonWriter::kSharedPiece);
        }
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("quote, backslash") << QStringLiteral("\"C:\\") << QByteArray("\"\\\"C:\\\\\"");
        QTest::newRow("newline cr tab") << QStringLiteral("\n\r\t") << QByteArray("\"\\n\\r\\t\"");
        QTest::newRow("nul") << QString(QChar(0)) << QByteArray("\"\\u0000\"");
        QTest::newRow("unit separator") << QString(QChar(0x1F)) << QByteArray("\"\\u001f\"");
        QTest::newRow("space and delete") << QStringLiteral(" \x7f") << QByteArray("\" \x7f\"");
    }
    void escaping()
    {
        QFETCH(QString, text);
        QTEST(encode(text), "encoded");
    }

    // All of the BMP outside the surrogates and a sample of every plane above; no raw control
    // byte reaches the output. Lone surrogates still give readable JSON around them.
    void everyCodePointRoundTrips()
    {
        QString text;
        for (char32_t c = 0; c < 0x110000; c += (c < 0x10000 ? 1 : 97)) {
            if (c < 0xD800 || c > 0xDFFF)
                text += QString::fromUcs4(&c, 1);
        }
        text += QString::fromUcs4(U"\U0010FFFF", 1);
        const QByteArray encoded = encode(text);
        QCOMPARE(readBack(encoded).toString(), text);
        QVERIFY(std::none_of(encoded.cbegin(), encoded.cend(), [](char b) { return uchar(b) < 0x20; }));
        const QString lone = QString(QChar(0xDFAC)) + QChar(0xD83C) + QStringLiteral("x\"") + QChar(0xD800);
        QVERIFY(readBack(encode(lone)).toString().contains(QStringLiteral("x\"")));
    }

    void doublesRoundTripExactly_data()
    {
        QTest::addColumn<double>("number");
        QTest::newRow("-0") << -0.0;
        QTest::newRow("1/3") << 1.0 / 3.0;
        QTest::newRow("max") << std::numeric_limits<double>::max();
        QTest::newRow("5e-324") << 5e-324;
        QTest::newRow("2^63") << 9223372036854775808.0;
        QTest::newRow("1e21") << 1e21;
    }
    void doublesRoundTripExactly()
    {
        QFETCH(double, number);
        const QByteArray encoded = encode(number);
        double back = 1;
        QVERIFY(std::from_chars(encoded.cbegin(), encoded.cend(), back).ec == std::errc());
        QVERIFY2(std::memcmp(&back, &number, sizeof back) == 0, encoded.constData()); // the sign of zero too
        // Exact, not QCOMPARE's fuzzy comparison of doubles.
        QVERIFY2(readBack(encoded).isDouble() && readBack(encoded).toDouble() == number, encoded.constData());
    }

    // Readers take back what was written: whole numbers past 2^53 exactly; no integer past int64,
    // no number from NaN or infinity, and a failed read leaves its output (records test the rest).
    void readersTakeBackExactly()
    {
        const auto readInt64 = [](const QJsonValue& value) {
            qint64 out = -77;
            return JsonRead::read(value, out) ? out : -77;
        };
        for (const qint64 wide : {qint64(9007199254740993), std::numeric_limits<qint64>::min()})
            QCOMPARE(readInt64(readBack(encode(wide))), wide);
        QVERIFY(readInt64(readBack(encode(9223372036854775808.0))) == -77 && readInt64(readBack(encode(7.5))) == -77);
        for (const double bad : {std::nan(""), -HUGE_VAL}) {
            double d = 2.0;
            int i = 2;
            Date date{2.0};
            QVERIFY(!JsonRead::read(QJsonValue(bad), d) && !JsonRead::read(QJsonValue(bad), i));
            QVERIFY(!JsonRead::read(QJsonValue(bad), date) && readInt64(QJsonValue(bad)) == -77);
            QVERIFY(d == 2.0 && i == 2 && date.sinceReferenceDate == 2.0);
        }
    }
};

PINDLE_TEST(JsonWriterTest)
#include "JsonWriterTest.moc"
