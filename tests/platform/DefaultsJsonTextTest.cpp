#include "common/TestMain.h"

#include "platform/Defaults.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// A value stored as its own JSON text keeps that text in the file, key order and all, while
// reads see it parsed like any other value.
class DefaultsJsonTextTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void textKeepsItsOrder_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("taken");
        QTest::newRow("object in its own order") << R"({"z":1,"a":[true,"x"],"m":{"b":2,"a":1}})"_ba << true;
        QTest::newRow("array of records") << R"([{"name":"Boom","on":true},{"name":"Lav","on":false}])"_ba << true;
        QTest::newRow("plain number") << "12.5"_ba << true;
        QTest::newRow("cut short") << R"({"z":1,"a":)"_ba << false;
        QTest::newRow("two values") << R"({"a":1}{"b":2})"_ba << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void textKeepsItsOrder()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, taken);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"defaults.json"_s);
        {
            Defaults defaults(path);
            defaults.set(u"before"_s, QJsonValue(1));
            defaults.setJson(u"channels"_s, json);
            QCOMPARE(defaults.contains(u"channels"_s), taken);
            QVERIFY(defaults.flush());
        }
        const QByteArray file = readFile(path);
        QCOMPARE(file.contains(json) && !json.isEmpty(), taken);
        // Read back by a new store: the value parsed, the other key untouched.
        Defaults again(path);
        QCOMPARE(again.value(u"before"_s), QJsonValue(1));
        if (taken) {
            const QJsonDocument expected = QJsonDocument::fromJson("[" + json + "]");
            QCOMPARE(again.value(u"channels"_s), expected.array().at(0));
        } else {
            QVERIFY(!again.contains(u"channels"_s));
        }
    }

    // A later plain set or a removal replaces the text: the file never carries a stale one.
    void laterWritesReplaceTheText_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::newRow("set") << false;
        QTest::newRow("remove") << true;
    }

    void laterWritesReplaceTheText()
    {
        QFETCH(bool, remove);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"defaults.json"_s);
        const QByteArray text = R"({"z":1,"a":2})"_ba;
        {
            Defaults defaults(path);
            defaults.setJson(u"record"_s, text);
            QVERIFY(defaults.flush());
            if (remove)
                defaults.remove(u"record"_s);
            else
                defaults.set(u"record"_s, QJsonValue(u"plain"_s));
            QVERIFY(defaults.flush());
        }
        QVERIFY(!readFile(path).contains(text));
        Defaults again(path);
        QCOMPARE(again.contains(u"record"_s), !remove);
        if (!remove)
            QCOMPARE(again.value(u"record"_s), QJsonValue(u"plain"_s));
    }
};

PINDLE_TEST(DefaultsJsonTextTest)
#include "DefaultsJsonTextTest.moc"
