#include "common/TestMain.h"

#include "platform/AppPaths.h"
#include "platform/Defaults.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QThread>

#include <limits>
#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class DefaultsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;

    // What a failed load moved aside.
    QStringList aside() const { return QDir(m_dir->filePath(u"config"_s)).entryList({u"*.unreadable-*"_s}); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath(u"config/defaults.json"_s);
    }

    // Under test mode the application's files lie in Qt's test folders, never in real user
    // data; the support folder is made again when missing.
    void pathsAreTestFolders()
    {
        const QString support = AppPaths::appSupportFolder();
        QVERIFY(Defaults::shared().filePath().contains(u"qttest"_s) && support.contains(u"qttest"_s));
        QVERIFY(support.endsWith(u"/PindleSync/"_s));
        QVERIFY(QDir(support).removeRecursively() && QFileInfo(AppPaths::appSupportFolder()).isDir());
    }

    // Each value through every typed reader, before and after a reload: only the matching one
    // answers, numbers come back bit for bit, and reading alone creates no file.
    void typedReads_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QString>("type");
        QTest::newRow("false") << QJsonValue(false) << "bool";
        QTest::newRow("-2^63") << QJsonValue(-9223372036854775808.0) << "number";
        QTest::newRow("string 'true'") << QJsonValue(u"true"_s) << "string";
        QTest::newRow("string list") << QJsonValue(QJsonArray{u"a"_s, QString()}) << "list";
        QTest::newRow("mixed list") << QJsonValue(QJsonArray{u"a"_s, 1}) << "none";
        // JSON has no NaN or infinity: such a number is no number at all.
        QTest::newRow("NaN") << QJsonValue(std::numeric_limits<double>::quiet_NaN()) << "none";
        QTest::newRow("Undefined removes") << QJsonValue(QJsonValue::Undefined) << "none";
    }
    void typedReads()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(QString, type);
        Defaults written(m_path);
        QVERIFY(!written.contains(u"k"_s) && !QFileInfo::exists(m_path));
        written.set(u"k"_s, 1);
        written.set(u"k"_s, stored);
        const Defaults reloaded(m_path);
        for (const Defaults* d : {static_cast<const Defaults*>(&written), &reloaded}) {
            QCOMPARE(d->boolValue(u"k"_s), type == u"bool" ? std::optional(stored.toBool()) : std::nullopt);
            QVERIFY(d->number(u"k"_s) == (type == u"number" ? std::optional(stored.toDouble()) : std::nullopt));
            QCOMPARE(d->string(u"k"_s), type == u"string" ? std::optional(stored.toString()) : std::nullopt);
            QCOMPARE(d->stringList(u"k"_s).value_or(QStringList{"-"}),
                     type == u"list" ? stored.toVariant().toStringList() : QStringList{"-"});
            QCOMPARE(d->contains(u"k"_s), !stored.isUndefined());
        }
    }

    // What is not a JSON object is moved aside, never overwritten, and the store starts empty.
    void unreadableFileIsMovedAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("invalid UTF-8 in key") << "{\"\xff\xfe\": 1, "_ba;
        QTest::newRow("deep nesting") << "{\"a\":"_ba + QByteArray(100000, '[');
        QTest::newRow("folder in its place") << "folder"_ba;
    }
    void unreadableFileIsMovedAside()
    {
        QFETCH(QByteArray, bytes);
        const bool folder = bytes == "folder";
        QVERIFY(folder ? QDir().mkpath(m_path) : writeFile(m_path, bytes));
        Defaults defaults(m_path);
        QVERIFY(!defaults.contains(u"a"_s));
        QCOMPARE(aside().size(), 1);
        const QString asidePath = m_dir->filePath(u"config/"_s + aside().first());
        defaults.set(u"a"_s, 1);
        QCOMPARE(Defaults(m_path).number(u"a"_s), std::optional<double>(1));
        QFile moved(asidePath);
        QVERIFY(folder ? QFileInfo(asidePath).isDir() : moved.open(QIODevice::ReadOnly) && moved.readAll() == bytes);
        // An object with white space around it is still the store's.
        QVERIFY(writeFile(m_path, "\n  {\"a\": true}  \n"));
        QCOMPARE(Defaults(m_path).boolValue(u"a"_s), std::optional<bool>(true));
        QCOMPARE(aside().size(), 1);
    }

    // The parent "folder" is a plain file, so nothing can be written there (true even for root).
    // Values stay in memory and reach the disk with the first change once it is writable.
    void failedWriteKeepsValuesAndRecovers()
    {
        const QString blocker = m_dir->filePath(u"blocker"_s);
        QVERIFY(writeFile(blocker, "x"));
        Defaults defaults(blocker + u"/defaults.json"_s);
        defaults.set(u"a"_s, 1);
        QVERIFY(!defaults.lastWriteSucceeded() && defaults.number(u"a"_s) == 1);
        QVERIFY(QFile::remove(blocker));
        defaults.set(u"b"_s, 2);
        QVERIFY(defaults.lastWriteSucceeded());
        QCOMPARE(Defaults(defaults.filePath()).number(u"a"_s), std::optional<double>(1));
    }

    // Sets, removes and reads race from eight threads; the last write holds the whole final
    // state, and no temporary file is left behind.
    void concurrentSetsKeepFileWhole()
    {
        Defaults defaults(m_path);
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < 8; ++t) {
            threads.emplace_back(QThread::create([&defaults, t] {
                for (int i = 0; i < 40; ++i) {
                    const QString key = u"t%1-%2"_s.arg(t).arg(i);
                    defaults.set(key, i);
                    defaults.set(u"shared"_s, QString::number(t));
                    (void)defaults.number(key);
                    if (i % 8 == 0)
                        defaults.remove(key);
                }
            }));
            threads.back()->start();
        }
        for (auto& thread : threads)
            QVERIFY(thread->wait(QDeadlineTimer(120000)));
        QVERIFY(defaults.lastWriteSucceeded());
        const Defaults reloaded(m_path);
        for (int i = 0; i < 8 * 40; ++i)
            QCOMPARE(reloaded.number(u"t%1-%2"_s.arg(i / 40).arg(i % 40)).value_or(0), i % 8 == 0 ? 0 : i % 40);
        QVERIFY(reloaded.string(u"shared"_s));
        QCOMPARE(QFileInfo(m_path).dir().entryList(QDir::Files | QDir::Hidden), QStringList{u"defaults.json"_s});
    }
};

PINDLE_TEST(DefaultsTest)
#include "DefaultsTest.moc"
