#include "common/TestMain.h"

#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Files next to `path` that a failed load moved aside.
QStringList asideFiles(const QString& path)
{
    const QFileInfo info(path);
    return info.dir().entryList({info.fileName() + QStringLiteral(".unreadable-*")}, QDir::Files);
}

} // namespace

class DefaultsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(QStringLiteral("config/defaults.json"));
    }

    void missingFileStartsEmpty()
    {
        Defaults defaults(m_path);
        QVERIFY(!defaults.contains(QStringLiteral("a")));
        QVERIFY(defaults.value(QStringLiteral("a")).isUndefined());
        QVERIFY(!defaults.boolValue(QStringLiteral("a")));
        QVERIFY(!defaults.number(QStringLiteral("a")));
        QVERIFY(!defaults.string(QStringLiteral("a")));
        QVERIFY(!defaults.stringList(QStringLiteral("a")));
        // Reading creates nothing.
        QVERIFY(!QFileInfo::exists(m_path));
    }

    // Each stored value read through every typed reader: only the matching one answers.
    void typedReads_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QString>("type");
        QTest::newRow("true") << QJsonValue(true) << "bool";
        QTest::newRow("false") << QJsonValue(false) << "bool";
        QTest::newRow("int") << QJsonValue(42) << "number";
        QTest::newRow("zero") << QJsonValue(0) << "number";
        QTest::newRow("fraction") << QJsonValue(0.1) << "number";
        QTest::newRow("1e300") << QJsonValue(1e300) << "number";
        QTest::newRow("smallest subnormal") << QJsonValue(5e-324) << "number";
        QTest::newRow("int64 max") << QJsonValue(std::numeric_limits<qint64>::max()) << "number";
        QTest::newRow("string") << QJsonValue(QStringLiteral("29.97")) << "string";
        QTest::newRow("empty string") << QJsonValue(QString()) << "string";
        QTest::newRow("string 'true'") << QJsonValue(QStringLiteral("true")) << "string";
        QTest::newRow("string list") << QJsonValue(QJsonArray{QStringLiteral("a"), QStringLiteral("")}) << "list";
        QTest::newRow("empty list") << QJsonValue(QJsonArray()) << "list";
        QTest::newRow("mixed list") << QJsonValue(QJsonArray{QStringLiteral("a"), 1}) << "none";
        QTest::newRow("list of lists") << QJsonValue(QJsonArray{QJsonArray{QStringLiteral("a")}}) << "none";
        QTest::newRow("null") << QJsonValue(QJsonValue::Null) << "none";
        QTest::newRow("object") << QJsonValue(QJsonObject{{QStringLiteral("a"), 1}}) << "none";
        // JSON has no NaN or infinity: such a number is no number at all.
        QTest::newRow("NaN") << QJsonValue(std::numeric_limits<double>::quiet_NaN()) << "none";
        QTest::newRow("infinity") << QJsonValue(std::numeric_limits<double>::infinity()) << "none";
    }

    void typedReads()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(QString, type);
        const QString key = QStringLiteral("key");
        auto check = [&](const Defaults& defaults) {
            QCOMPARE(defaults.boolValue(key).has_value(), type == u"bool");
            QCOMPARE(defaults.number(key).has_value(), type == u"number");
            QCOMPARE(defaults.string(key).has_value(), type == u"string");
            QCOMPARE(defaults.stringList(key).has_value(), type == u"list");
            if (type == u"bool")
                QCOMPARE(*defaults.boolValue(key), stored.toBool());
            if (type == u"number")
                QVERIFY(*defaults.number(key) == stored.toDouble()); // exact, not fuzzy
            if (type == u"string")
                QCOMPARE(*defaults.string(key), stored.toString());
            if (type == u"list")
                QCOMPARE(QJsonArray::fromStringList(*defaults.stringList(key)), stored.toArray());
        };
        {
            Defaults defaults(m_path);
            defaults.set(key, stored);
            QVERIFY(defaults.lastWriteSucceeded());
            check(defaults);
            if (QTest::currentTestFailed())
                return;
        }
        // The same answers from a new store on the same file: types survive the round trip.
        Defaults reloaded(m_path);
        QVERIFY(asideFiles(m_path).isEmpty());
        check(reloaded);
    }

    void numbersSurviveReloadExactly_data()
    {
        QTest::addColumn<double>("number");
        QTest::newRow("0.1") << 0.1;
        QTest::newRow("1/3") << 1.0 / 3.0;
        QTest::newRow("date") << 786712345.678901;
        QTest::newRow("1e300") << 1e300;
        QTest::newRow("-1e300") << -1e300;
        QTest::newRow("max") << std::numeric_limits<double>::max();
        QTest::newRow("5e-324") << 5e-324;
        QTest::newRow("2^53+2") << 9007199254740994.0;
        QTest::newRow("2^64") << 18446744073709551616.0;
        QTest::newRow("-2^63") << -9223372036854775808.0;
    }

    void numbersSurviveReloadExactly()
    {
        QFETCH(double, number);
        Defaults(m_path).set(QStringLiteral("n"), number);
        const std::optional<double> read = Defaults(m_path).number(QStringLiteral("n"));
        QVERIFY(read);
        QVERIFY2(*read == number, qPrintable(QString::number(*read, 'g', 17))); // exact, not fuzzy
    }

    void severalKeysAndRemove()
    {
        {
            Defaults defaults(m_path);
            defaults.set(QStringLiteral("flag"), true);
            defaults.set(QStringLiteral("name"), QStringLiteral("Ünïcödé \"quoted\" 🎬"));
            defaults.set(QStringLiteral("tags"), QStringList{QStringLiteral("one"), QStringLiteral("two")});
            defaults.set(QStringLiteral("gone"), 1);
            defaults.remove(QStringLiteral("gone"));
            defaults.set(QStringLiteral("flag"), false); // overwrites
            defaults.set(QStringLiteral("undefined"), 5);
            defaults.set(QStringLiteral("undefined"), QJsonValue(QJsonValue::Undefined)); // removes
            defaults.remove(QStringLiteral("never there"));
            QVERIFY(defaults.lastWriteSucceeded());
        }
        const Defaults reloaded(m_path);
        QCOMPARE(reloaded.boolValue(QStringLiteral("flag")), std::optional<bool>(false));
        QCOMPARE(reloaded.string(QStringLiteral("name")),
                 std::optional<QString>(QStringLiteral("Ünïcödé \"quoted\" 🎬")));
        QCOMPARE(reloaded.stringList(QStringLiteral("tags")),
                 std::optional<QStringList>(QStringList{QStringLiteral("one"), QStringLiteral("two")}));
        QVERIFY(!reloaded.contains(QStringLiteral("gone")));
        QVERIFY(!reloaded.contains(QStringLiteral("undefined")));
        const QJsonDocument onDisk = QJsonDocument::fromJson(readAll(m_path));
        QVERIFY(onDisk.isObject());
        QCOMPARE(onDisk.object().size(), 3);
    }

    void unreadableFileIsMovedAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("truncated object") << QByteArray("{\"a\": tr");
        QTest::newRow("array") << QByteArray("[1, 2, 3]");
        QTest::newRow("string") << QByteArray("\"text\"");
        QTest::newRow("number") << QByteArray("42");
        QTest::newRow("null") << QByteArray("null");
        QTest::newRow("two objects") << QByteArray("{} {}");
        QTest::newRow("binary") << QByteArray::fromHex("00ff10fe7f80");
        QTest::newRow("invalid UTF-8 in key") << QByteArray("{\"\xff\xfe\": 1, ");
        QTest::newRow("deep nesting") << QByteArray("{\"a\":") + QByteArray(100000, '[');
    }

    void unreadableFileIsMovedAside()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        QVERIFY(writeFile(m_path, bytes));
        Defaults defaults(m_path);
        QVERIFY(!defaults.contains(QStringLiteral("a")));
        QVERIFY(!QFileInfo::exists(m_path));
        const QStringList aside = asideFiles(m_path);
        QCOMPARE(aside.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^defaults\\.json\\.unreadable-\\d{13,}$"))
                     .match(aside.first())
                     .hasMatch(),
                 qPrintable(aside.first()));
        const QString asidePath = QFileInfo(m_path).dir().filePath(aside.first());
        QCOMPARE(readAll(asidePath), bytes);

        // The next change writes a fresh file and leaves the moved file alone.
        defaults.set(QStringLiteral("a"), 1);
        QVERIFY(defaults.lastWriteSucceeded());
        QCOMPARE(Defaults(m_path).number(QStringLiteral("a")), std::optional<double>(1));
        QCOMPARE(readAll(asidePath), bytes);
    }

    void objectWithSurroundingWhiteSpace()
    {
        QVERIFY(QDir().mkpath(QFileInfo(m_path).absolutePath()));
        QVERIFY(writeFile(m_path, "\n  {\"a\": true}  \n"));
        QCOMPARE(Defaults(m_path).boolValue(QStringLiteral("a")), std::optional<bool>(true));
        QVERIFY(asideFiles(m_path).isEmpty());
    }

    // The parent "folder" is a plain file, so nothing can be written there (true even for root).
    void unwritableLocationKeepsValueInMemory()
    {
        const QString blocker = m_dir->filePath(QStringLiteral("blocker"));
        QVERIFY(writeFile(blocker, "x"));
        Defaults defaults(blocker + QStringLiteral("/defaults.json"));
        QVERIFY(defaults.lastWriteSucceeded()); // nothing written yet
        defaults.set(QStringLiteral("a"), QStringLiteral("kept"));
        QVERIFY(!defaults.lastWriteSucceeded());
        QCOMPARE(defaults.string(QStringLiteral("a")), std::optional<QString>(QStringLiteral("kept")));
        QCOMPARE(readAll(blocker), QByteArray("x"));
    }

    void directoryInPlaceOfFile()
    {
        QVERIFY(QDir().mkpath(m_path));
        Defaults defaults(m_path);
        QVERIFY(!defaults.contains(QStringLiteral("a")));
        // What stood in the way is moved aside, not overwritten, and the store works on.
        QVERIFY(QFileInfo(m_path).isFile() == false);
        QCOMPARE(QDir(QFileInfo(m_path).absolutePath()).entryList({QStringLiteral("*.unreadable-*")}, QDir::Dirs).size(), 1);
        defaults.set(QStringLiteral("a"), 1);
        QVERIFY(defaults.lastWriteSucceeded());
        QCOMPARE(defaults.number(QStringLiteral("a")), std::optional<double>(1));
    }

    void writeRecoversAfterFailure()
    {
        const QString folder = m_dir->filePath(QStringLiteral("later"));
        QVERIFY(writeFile(folder, "x"));
        Defaults defaults(folder + QStringLiteral("/defaults.json"));
        defaults.set(QStringLiteral("a"), 1);
        QVERIFY(!defaults.lastWriteSucceeded());
        QVERIFY(QFile::remove(folder));
        defaults.set(QStringLiteral("b"), 2);
        QVERIFY(defaults.lastWriteSucceeded());
        // The value set while the disk refused is written with the next change.
        const Defaults reloaded(folder + QStringLiteral("/defaults.json"));
        QCOMPARE(reloaded.number(QStringLiteral("a")), std::optional<double>(1));
        QCOMPARE(reloaded.number(QStringLiteral("b")), std::optional<double>(2));
    }

    void concurrentSetsKeepFileWhole()
    {
        constexpr int threadCount = 8;
        constexpr int setsPerThread = 40;
        Defaults defaults(m_path);
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back(QThread::create([&defaults, t] {
                for (int i = 0; i < setsPerThread; ++i) {
                    const QString key = QStringLiteral("t%1-%2").arg(t).arg(i);
                    defaults.set(key, i);
                    defaults.set(QStringLiteral("shared"), QStringLiteral("%1").arg(t));
                    // Reads race with the other threads' writes.
                    (void)defaults.number(key);
                    (void)defaults.stringList(QStringLiteral("shared"));
                    if (i % 8 == 0)
                        defaults.remove(key);
                }
            }));
        }
        for (auto& thread : threads)
            thread->start();
        for (auto& thread : threads)
            QVERIFY(thread->wait(QDeadlineTimer(120000)));

        QVERIFY(defaults.lastWriteSucceeded());
        const QJsonDocument onDisk = QJsonDocument::fromJson(readAll(m_path));
        QVERIFY(onDisk.isObject());
        const Defaults reloaded(m_path);
        for (int t = 0; t < threadCount; ++t) {
            for (int i = 0; i < setsPerThread; ++i) {
                const QString key = QStringLiteral("t%1-%2").arg(t).arg(i);
                if (i % 8 == 0)
                    QVERIFY(!reloaded.contains(key));
                else
                    QCOMPARE(reloaded.number(key), std::optional<double>(i));
            }
        }
        QVERIFY(reloaded.string(QStringLiteral("shared")).has_value());
        // The last write holds the whole final state: file and memory agree.
        QCOMPARE(onDisk.object().size(), threadCount * (setsPerThread - setsPerThread / 8) + 1);
        // No temporary files of the atomic writes are left behind.
        QCOMPARE(QFileInfo(m_path).dir().entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("defaults.json")});
    }

    void sharedStoreLivesInTestFolder()
    {
        const QString path = Defaults::shared().filePath();
        QVERIFY(path.endsWith(QStringLiteral("/defaults.json")));
        QVERIFY2(path.contains(QStringLiteral("qttest")), qPrintable(path));
        QCOMPARE(&Defaults::shared(), &Defaults::shared());
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

PINDLE_TEST(DefaultsTest)
#include "DefaultsTest.moc"
