#include "common/SmallFileSystem.h"
#include "common/TestMain.h"

#include "model/LogSessionStore.h"
#include "model/SessionWriter.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace {

// Bytes no save can produce: still there afterwards means nothing was written.
const QByteArray untouched = "untouched by the store"_ba;

LogSession session(double createdAt, const QString& note = u"a note"_s)
{
    LogEntry e;
    e.id = QUuid::createUuid();
    e.time = Date{700000000.5};
    e.note = note;
    return LogSession{QUuid::createUuid(), Date{createdAt}, {e}, std::nullopt, std::nullopt};
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

// The file holds exactly what the store holds, in the file's own full encoding.
void verifyFileMatches(LogSessionStore& store)
{
    store.waitForWrites();
    QCOMPARE(readFile(store.url()), LogSessionFile::encode(store.sessions()));
}

} // namespace

class TestSessionStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    QStringList movedAside() const { return QDir(m_dir.path()).entryList({u"log-sessions.json.unreadable-*"_s}); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(QDir(m_dir.path()).removeRecursively() && QDir().mkpath(m_dir.path()));
        m_path = m_dir.filePath(u"log-sessions.json"_s);
    }

    // A failed write (a file where a folder should be: true even for root) keeps the list and is
    // reported, each time, until a save reaches the disk.
    void failedWriteIsReported()
    {
        writeFile(m_dir.filePath(u"blocker"_s), "x"_ba);
        LogSessionStore store(m_dir.filePath(u"blocker/log-sessions.json"_s));
        QSignalSpy failed(&store, &LogSessionStore::saveFailed);
        const LogSession s = session(1);
        store.upsert(s);
        store.waitForWrites();
        store.upsert(s);
        store.waitForWrites();
        QVERIFY(store.lastWriteFailed() && store.sessions() == QList<LogSession>{s});
        QVERIFY(failed.count() == 2 && failed.at(1).at(0).toString().contains(u"blocker"_s));
        QVERIFY(!store.saveError().isEmpty() && QFile::remove(m_dir.filePath(u"blocker"_s)));
        store.save();
        store.waitForWrites();
        QVERIFY(store.saveError().isEmpty() && failed.count() == 2);
    }

    // A file that cannot be read is moved aside, unchanged, at the first save and not before.
    void unreadableFileIsMovedAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("folder");
        QTest::newRow("one entry lacking open")
            << LogSessionFile::encode({session(5), session(4)}).replace(",\"open\":false", "") << false;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("folder in its place") << "kept"_ba << true;
    }
    void unreadableFileIsMovedAside()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, folder);
        QVERIFY(!folder || QDir().mkpath(m_path));
        writeFile(folder ? m_path + u"/kept"_s : m_path, bytes);
        LogSessionStore store(m_path);
        QSignalSpy moved(&store, &LogSessionStore::movedAsidePathChanged);
        QVERIFY(store.sessions().isEmpty() && movedAside().isEmpty());
        store.upsert(session(1));
        store.upsert(session(2));
        verifyFileMatches(store);
        QCOMPARE(movedAside().size(), 1);
        QVERIFY(moved.count() == 1 && store.movedAsidePath() == m_dir.filePath(movedAside().first()));
        QCOMPARE(readFile(m_dir.filePath(movedAside().first() + (folder ? u"/kept"_s : QString()))), bytes);
        // The moved file is the store's no longer: a later start reads the new file.
        QCOMPARE(LogSessionStore(m_path).sessions(), store.sessions());
    }

    // An unreadable file on a read-only disk is left alone, and every save says it did not
    // reach the disk; once the disk is writable the file is moved aside and the log saved.
    void unreadableFileThatCannotMoveIsReported()
    {
        SmallFileSystem disk;
        if (!disk.isMounted())
            QSKIP("cannot mount a file system here");
        const QString path = disk.filePath(LogSessionStore::fileName);
        writeFile(path, untouched);
        QVERIFY(disk.setReadOnly(true));
        LogSessionStore store(path);
        QSignalSpy failed(&store, &LogSessionStore::saveFailed);
        store.upsert(session(1));
        store.upsert(session(2));
        QVERIFY(failed.count() == 2 && !store.saveError().isEmpty() && readFile(path) == untouched);
        QVERIFY(disk.setReadOnly(false));
        store.save();
        verifyFileMatches(store);
        QVERIFY(store.saveError().isEmpty() && readFile(store.movedAsidePath()) == untouched);
    }

    // Reading alone writes nothing. A log with neither entries nor transcript lines is never
    // stored, and emptied it is removed; a transcript alone is worth keeping.
    void emptyLogIsNeverStored()
    {
        QVERIFY(LogSessionStore(m_path).sessions().isEmpty() && !QFileInfo::exists(m_path));
        LogSessionStore store(m_path);
        LogSession kept = session(2);
        LogSession emptied = session(1);
        store.upsert(kept);
        store.upsert(emptied);
        store.waitForWrites();
        writeFile(m_path, untouched);
        QSignalSpy changed(&store, &LogSessionStore::sessionsChanged);
        LogSession empty;
        store.upsert(empty);
        empty.transcript = QList<LogLine>{};
        store.upsert(empty);
        store.waitForWrites();
        QCOMPARE(readFile(m_path), untouched);
        emptied.entries.clear();
        store.upsert(emptied);
        QCOMPARE(store.sessions(), QList<LogSession>{kept});
        emptied.transcript = QList<LogLine>{LogLine{u"1-1"_s, std::nullopt, u"rolling"_s, u"01:00:00:00"_s, 2}};
        store.upsert(emptied);
        QCOMPARE(store.sessions(), (QList<LogSession>{kept, emptied}));
        QCOMPARE(changed.count(), 2);
        verifyFileMatches(store);
    }

    // Newest first; a new session goes before those of its date, an edited one keeps its place
    // unless its date moved; a file's order of equal dates stays; a remove drops every copy of an id.
    void ordering()
    {
        LogSessionStore store(m_path);
        LogSession a = session(7, u"a"_s);
        LogSession b = session(7, u"b"_s);
        const LogSession c = session(7, u"c"_s);
        const LogSession older = session(3);
        for (const LogSession& s : {a, b, c, older})
            store.upsert(s);
        b.entries.first().note = u"edited"_s;
        store.upsert(b);
        QCOMPARE(store.sessions(), (QList<LogSession>{c, b, a, older}));
        a.createdAt = Date{9};
        store.upsert(a);
        QCOMPARE(store.sessions(), (QList<LogSession>{a, c, b, older}));
        verifyFileMatches(store);
        QList<LogSession> file; // enough sessions of equal dates that an unstable sort would show
        for (int i = 0; i < 40; ++i)
            file.append(session(i % 3));
        file[3].id = file[0].id; // a repeated id loads as one: the newest
        file[3].createdAt = Date{5};
        writeFile(m_path, LogSessionFile::encode(file));
        LogSessionStore reopened(m_path);
        QVERIFY(reopened.sessions().size() == 39 && reopened.sessions().first() == file[3]);
        reopened.remove(file[0].id);
        file = file.mid(1, 2) + file.mid(4);
        std::stable_sort(file.begin(), file.end(), [](auto& x, auto& y) { return x.createdAt > y.createdAt; });
        QCOMPARE(reopened.sessions(), file);
        verifyFileMatches(reopened);
    }

    // JSON has no NaN or infinity: a date that is not a finite number is saved as the nearest
    // finite one (NaN as the oldest), so every save still reaches the disk and reads back in order.
    void nonFiniteDatesReadBack_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<double>("seconds");
        QTest::newRow("created NaN") << 0 << std::nan("");
        QTest::newRow("created -infinity") << 0 << -HUGE_VAL;
        QTest::newRow("entry time infinity") << 1 << HUGE_VAL;
        QTest::newRow("entry end -NaN") << 2 << -std::nan("");
    }
    void nonFiniteDatesReadBack()
    {
        QFETCH(int, field);
        QFETCH(double, seconds);
        LogSessionStore store(m_path);
        LogSession bad = session(6);
        (field == 0   ? bad.createdAt
         : field == 1 ? bad.entries.first().time
                      : bad.entries.first().endTime.emplace()) = Date{seconds};
        for (const LogSession& s : {session(5), bad, session(4)})
            store.upsert(s);
        verifyFileMatches(store);
        QVERIFY(store.saveError().isEmpty());
        const auto ids = [](const QList<LogSession>& list) {
            QList<QUuid> out;
            for (const LogSession& s : list)
                out.append(s.id);
            return out;
        };
        QCOMPARE(ids(LogSessionStore(m_path).sessions()), ids(store.sessions()));
    }

    // Each save re-encodes only what it touched: the file must still equal the full encoding,
    // the latest save winning, and the destructor must flush what is pending.
    void burstOfSavesEndsWithTheLastState()
    {
        QList<LogSession> expected;
        {
            LogSessionStore store(m_path);
            QList<LogSession> live{session(1), session(2), session(3)};
            for (int i = 0; i < 300; ++i) {
                LogSession& s = live[i % 3];
                s.entries.append(session(0, QString::number(i)).entries);
                if (i % 7 == 0)
                    s.createdAt = Date{double(i % 5)};
                store.upsert(s);
                if (i == 150)
                    verifyFileMatches(store);
            }
            expected = store.sessions();
        }
        QCOMPARE(readFile(m_path), LogSessionFile::encode(expected));
        QCOMPARE(LogSessionStore(m_path).sessions(), expected);
    }

    // Writes run one at a time; a submission replaces one not yet started; a failed write is
    // reported; a write still waiting when the writer goes is finished first.
    void writerReplacesWritesNotYetStarted()
    {
        QSemaphore started;
        QSemaphore release;
        std::mutex mutex;
        QList<QByteArray> written;
        {
            SessionWriter writer(u"unused"_s, [&](const QString&, const QByteArray& bytes) {
                started.release();
                release.acquire();
                const std::lock_guard lock(mutex);
                written.append(bytes);
                return bytes != "[fail]";
            });
            writer.submit({"1"_ba});
            started.acquire();
            for (int i = 2; i <= 9; ++i)
                writer.submit({QByteArray::number(i), "x"_ba});
            release.release(2);
            writer.waitUntilIdle();
            QCOMPARE(written, (QList<QByteArray>{"[1]"_ba, "[9,x]"_ba}));
            QVERIFY(!writer.lastWriteFailed());
            writer.submit({"fail"_ba});
            release.release();
            writer.waitUntilIdle();
            QVERIFY(writer.lastWriteFailed());
            writer.submit({});
            release.release();
        }
        QCOMPARE(written.last(), "[]"_ba);
    }
};

PINDLE_TEST(TestSessionStore)
#include "test_session_store.moc"
