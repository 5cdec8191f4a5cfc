#include "common/TestMain.h"

#include "platform/AppPaths.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The child of `durableAcrossKill` writes here.
const char* const childPathVariable = "PINDLE_DEFAULTS_KILL_CHILD";

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

    // Each value, set over `before`, through every typed reader, before and after a reload: only
    // the matching one answers, numbers come back bit for bit, and reading alone creates no file.
    void typedReads_data()
    {
        QTest::addColumn<QJsonValue>("before");
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QString>("type");
        QTest::newRow("false") << QJsonValue(1) << QJsonValue(false) << "bool";
        QTest::newRow("-2^63") << QJsonValue(1) << QJsonValue(-9223372036854775808.0) << "number";
        // Equal as doubles, so a set compared with == would be skipped and the value lost.
        QTest::newRow("2^53 + 1 over 2^53")
            << QJsonValue(9007199254740992.0) << QJsonValue(9007199254740993LL) << "number";
        QTest::newRow("string 'true'") << QJsonValue(1) << QJsonValue(u"true"_s) << "string";
        QTest::newRow("string list") << QJsonValue(1) << QJsonValue(QJsonArray{u"a"_s, QString()}) << "list";
        QTest::newRow("mixed list") << QJsonValue(1) << QJsonValue(QJsonArray{u"a"_s, 1}) << "none";
        // JSON has no NaN or infinity: such a number is no number at all.
        QTest::newRow("NaN") << QJsonValue(1) << QJsonValue(std::numeric_limits<double>::quiet_NaN()) << "none";
        QTest::newRow("Undefined removes") << QJsonValue(1) << QJsonValue(QJsonValue::Undefined) << "none";
    }
    void typedReads()
    {
        QFETCH(QJsonValue, before);
        QFETCH(QJsonValue, stored);
        QFETCH(QString, type);
        Defaults written(m_path);
        QVERIFY(!written.contains(u"k"_s) && !QFileInfo::exists(m_path));
        written.set(u"k"_s, before);
        written.set(u"k"_s, stored);
        QVERIFY(written.flush());
        const Defaults reloaded(m_path);
        for (const Defaults* d : {static_cast<const Defaults*>(&written), &reloaded}) {
            QCOMPARE(d->boolValue(u"k"_s), type == u"bool" ? std::optional(stored.toBool()) : std::nullopt);
            QVERIFY(d->number(u"k"_s) == (type == u"number" ? std::optional(stored.toDouble()) : std::nullopt));
            QVERIFY(type != u"number" || d->value(u"k"_s).toInteger() == stored.toInteger());
            QCOMPARE(d->string(u"k"_s), type == u"string" ? std::optional(stored.toString()) : std::nullopt);
            QCOMPARE(d->stringList(u"k"_s).value_or(QStringList{"-"}),
                     type == u"list" ? stored.toVariant().toStringList() : QStringList{"-"});
            QCOMPARE(d->contains(u"k"_s), !stored.isUndefined());
        }
    }

    // What is not a JSON object is moved aside, never overwritten, the store starts empty and
    // tells where the file went.
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
        QCOMPARE(defaults.movedAsidePath(), asidePath);
        defaults.set(u"a"_s, 1);
        QVERIFY(defaults.flush());
        QCOMPARE(Defaults(m_path).number(u"a"_s), std::optional<double>(1));
        QFile moved(asidePath);
        QVERIFY(folder ? QFileInfo(asidePath).isDir() : moved.open(QIODevice::ReadOnly) && moved.readAll() == bytes);
        // An object with white space around it is still the store's.
        QVERIFY(writeFile(m_path, "\n  {\"a\": true}  \n"));
        const Defaults readable(m_path);
        QVERIFY(readable.boolValue(u"a"_s) == true && readable.movedAsidePath().isEmpty());
        QCOMPARE(aside().size(), 1);
    }

    // The parent "folder" is a plain file, so nothing can be written there (true even for root).
    // Values stay in memory; a flush tries again and reaches the disk once it is writable.
    // A write cut off by a kill leaves its temporary; the next start clears it, never the file.
    void staleTemporaryIsRemoved()
    {
        const QString path = m_dir->filePath(QStringLiteral("defaults.json"));
        const QString temporary = path + QStringLiteral(".aBcDeF");
        QFile file(temporary);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const timespec hourAgo[2]{{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(temporary).constData(), hourAgo, 0), 0);
        Defaults defaults(path);
        QVERIFY(!QFile::exists(temporary));
    }

    void failedWriteKeepsValuesAndRecovers()
    {
        const QString blocker = m_dir->filePath(u"blocker"_s);
        QVERIFY(writeFile(blocker, "x"));
        Defaults defaults(blocker + u"/defaults.json"_s);
        defaults.set(u"a"_s, 1);
        QVERIFY(!defaults.flush() && !defaults.lastWriteSucceeded() && defaults.number(u"a"_s) == 1);
        QVERIFY(QFile::remove(blocker));
        QVERIFY(defaults.flush() && defaults.lastWriteSucceeded());
        QCOMPARE(Defaults(defaults.filePath()).number(u"a"_s), std::optional<double>(1));
    }

    // A fader drag: a thousand moves a millisecond apart go out as a few whole snapshots, none
    // older than the interval once written; a move from another thread arms the same timer, and a
    // value set again writes nothing.
    void burstOfSetsIsCoalesced()
    {
        ManualClock clock;
        Defaults defaults(m_path, &clock);
        for (int i = 0; i < 1000; ++i) {
            if (i == 400) { // just after the timer's write: this move arms it again
                QCOMPARE(clock.activeTimerCount(), 0);
                std::thread([&] { defaults.set(u"fader"_s, i); }).join();
                QTRY_COMPARE(clock.activeTimerCount(), 1);
            }
            defaults.set(u"fader"_s, i);
            clock.advance(1ms);
            if (i % 250 == 249) {
                QTRY_COMPARE(defaults.writeCount(), (i + 1) / 400 + 1);
                QVERIFY(i - Defaults(m_path).number(u"fader"_s).value_or(-1000) < 400);
            }
        }
        QVERIFY(defaults.flush() && defaults.writeCount() == 4);
        for (int i = 0; i < 100; ++i)
            defaults.set(u"fader"_s, 999);
        clock.advance(1s);
        QVERIFY(defaults.flush() && defaults.writeCount() == 4 && clock.activeTimerCount() == 0);
        QCOMPARE(Defaults(m_path).number(u"fader"_s), std::optional<double>(999));
    }

    // A child sets a burst of values, flushes, sets once more and is killed with SIGKILL: the
    // file is whole and holds everything flushed, and the burst took at most two writes.
    void durableAcrossKill()
    {
        if (const QString childPath = qEnvironmentVariable(childPathVariable); !childPath.isEmpty()) {
            Defaults defaults(childPath);
            for (int i = 0; i < 1000; ++i)
                defaults.set(u"fader"_s, i);
            defaults.set(u"name"_s, u"kept"_s);
            std::printf("flushed %d %d\n", int(defaults.flush()), defaults.writeCount());
            std::fflush(stdout);
            defaults.set(u"late"_s, true);
            std::getchar();
            return;
        }
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(childPathVariable), m_path);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {u"DefaultsTest"_s, u"durableAcrossKill"_s});
        QByteArray out;
        while (!out.contains("flushed") || !out.endsWith('\n'))
            QVERIFY(child.waitForReadyRead(60000) && !(out += child.readAll()).isEmpty());
        child.kill();
        QVERIFY(child.waitForFinished(60000));
        const QList<QByteArray> report = out.mid(out.indexOf("flushed")).trimmed().split(' ');
        QVERIFY2(report.size() == 3 && report.at(1) == "1" && report.at(2).toInt() <= 2, out.constData());
        const Defaults reloaded(m_path);
        QVERIFY(reloaded.movedAsidePath().isEmpty() && reloaded.string(u"name"_s) == u"kept"_s);
        QCOMPARE(reloaded.number(u"fader"_s), std::optional<double>(999));
    }

    // Sets, removes, reads and flushes race from eight threads; the last write holds the whole
    // final state, and no temporary file is left behind.
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
                    if (t == 0 && i % 10 == 0)
                        defaults.flush();
                }
            }));
            threads.back()->start();
        }
        for (auto& thread : threads)
            QVERIFY(thread->wait(QDeadlineTimer(120000)));
        QVERIFY(defaults.flush());
        const Defaults reloaded(m_path);
        for (int i = 0; i < 8 * 40; ++i)
            QCOMPARE(reloaded.number(u"t%1-%2"_s.arg(i / 40).arg(i % 40)).value_or(0), i % 8 == 0 ? 0 : i % 40);
        QVERIFY(reloaded.string(u"shared"_s));
        QCOMPARE(QFileInfo(m_path).dir().entryList(QDir::Files | QDir::Hidden), QStringList{u"defaults.json"_s});
    }
};

PINDLE_TEST(DefaultsTest)
#include "DefaultsTest.moc"
