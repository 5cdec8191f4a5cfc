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
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>

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

LogSession withLines(double createdAt, int lines)
{
    LogSession s = session(createdAt);
    s.transcript.emplace();
    for (int i = 0; i < lines; ++i)
        s.transcript->append(
            LogLine{QString::number(i), std::nullopt, u"we lose the \"light\""_s, u"01:00:00:00"_s, i % 8});
    return s;
}

// Changes as words: store (+) or remove (-) the stored session (0, edited), the new one (n) or
// an unknown one (x); store session 0 emptied (e0); save (s).
void apply(LogSessionStore& store, const QString& ops, const LogSession& stored, const LogSession& fresh)
{
    for (const QString& op : ops.split(u' ', Qt::SkipEmptyParts)) {
        LogSession s = op.back() == u'n' ? fresh : op.back() == u'x' ? session(0) : stored;
        if (op.front() == u'+') {
            s.entries.edit(0).note = u"edited"_s;
            store.upsert(s);
        } else if (op.front() == u'-') {
            store.remove(s.id);
        } else if (op.front() == u'e') {
            s.entries.clear();
            store.upsert(s);
        } else {
            store.save();
        }
    }
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

    // A save killed before its rename leaves the writer's temporary behind; opening the store
    // removes its own stale ones and nothing else: not one a live save may still be writing, not
    // a link, not a name that differs by a character.
    void staleTemporariesAreRemoved_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("link");
        QTest::addColumn<bool>("stale");
        QTest::addColumn<bool>("removed");
        QTest::newRow("stale") << u"log-sessions.json.aBcDeF"_s << false << true << true;
        QTest::newRow("recent") << u"log-sessions.json.aBcDeF"_s << false << false << false;
        QTest::newRow("link") << u"log-sessions.json.aBcDeF"_s << true << true << false;
        QTest::newRow("moved aside") << u"log-sessions.json.unreadable-1"_s << false << true << false;
        QTest::newRow("seven letters") << u"log-sessions.json.aBcDeFg"_s << false << true << false;
        QTest::newRow("another file's") << u"defaults.json.aBcDeF"_s << false << true << false;
    }
    void staleTemporariesAreRemoved()
    {
        QFETCH(QString, name);
        QFETCH(bool, link);
        QFETCH(bool, stale);
        writeFile(m_path, LogSessionFile::encode({session(1)}));
        const QString path = m_dir.filePath(name);
        QVERIFY(link ? QFile::link(m_path, path) : QFile(path).open(QIODevice::WriteOnly));
        const timespec hourAgo[2]{{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
        QVERIFY(!stale || ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), hourAgo, 0) == 0);
        const LogSessionStore store(m_path);
        QTEST(!QDir(m_dir.path()).entryList(QDir::Files | QDir::System).contains(name), "removed");
        QCOMPARE(store.sessions().size(), 1);
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
        b.entries.edit(0).note = u"edited"_s;
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
         : field == 1 ? bad.entries.edit(0).time
                      : bad.entries.edit(0).endTime.emplace()) = Date{seconds};
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
                for (const LogEntry& entry : session(0, QString::number(i)).entries.toList())
                    s.entries.append(entry);
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

    // A background load ends where a synchronous load followed by the same changes ends, in the
    // list and byte for byte in the file. Until it lands the list holds only what was stored
    // since and the file is untouched; a store destroyed meanwhile still saves those changes.
    void backgroundLoadMergesChanges_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("ops");
        QTest::addColumn<int>("end"); // landed: 0 by the event loop, 1 by waitForLoad; destroyed: 2 at once, 3 later
        QTest::newRow("large shoot, nothing changed") << u"valid"_s << 3000 << QString() << 0;
        QTest::newRow("large shoot, waited for") << u"valid"_s << 3000 << u"+n"_s << 1;
        QTest::newRow("new session of a stored date") << u"valid"_s << 2 << u"+n"_s << 0;
        QTest::newRow("stored session edited, saved") << u"valid"_s << 2 << u"+0 s"_s << 0;
        QTest::newRow("stored session removed") << u"valid"_s << 2 << u"-0"_s << 0;
        QTest::newRow("removed, then stored again") << u"valid"_s << 2 << u"-0 +0"_s << 1;
        QTest::newRow("new, then removed") << u"valid"_s << 2 << u"+n -n"_s << 0;
        QTest::newRow("stored session emptied") << u"valid"_s << 2 << u"e0"_s << 0;
        QTest::newRow("unknown id removed") << u"valid"_s << 2 << u"-x"_s << 0;
        QTest::newRow("save only") << u"valid"_s << 2 << u"s"_s << 0;
        QTest::newRow("no file") << u"none"_s << 2 << u"+n"_s << 0;
        QTest::newRow("unreadable, nothing changed") << u"corrupt"_s << 2 << QString() << 0;
        QTest::newRow("unreadable, new session") << u"corrupt"_s << 2 << u"+n"_s << 0;
        QTest::newRow("destroyed at once") << u"valid"_s << 3000 << QString() << 2;
        QTest::newRow("destroyed at once with a change") << u"valid"_s << 3000 << u"+0"_s << 2;
        QTest::newRow("destroyed later") << u"valid"_s << 2 << QString() << 3;
        QTest::newRow("destroyed later, unreadable, with a change") << u"corrupt"_s << 2 << u"+n"_s << 3;
    }
    void backgroundLoadMergesChanges()
    {
        QFETCH(QString, file);
        QFETCH(int, lines);
        QFETCH(QString, ops);
        QFETCH(int, end);
        QList<LogSession> stored; // oldest first, in pairs of one date
        for (int i = 0; i < 12; ++i)
            stored.append(withLines(i / 2, lines));
        const LogSession fresh = session(1);
        QByteArray bytes = LogSessionFile::encode(stored);
        if (file == u"corrupt"_s)
            bytes.replace(",\"open\":false", "");
        const QString reference = m_dir.filePath(u"reference.json"_s);
        for (const QString& path : {m_path, reference}) {
            if (file != u"none"_s)
                writeFile(path, bytes);
        }
        auto store = std::make_unique<LogSessionStore>(m_path, LogSessionStore::LoadMode::Background);
        LogSessionStore expected(reference);
        LogSessionStore meanwhile(m_dir.filePath(u"meanwhile.json"_s));
        for (LogSessionStore* s : {store.get(), &expected, &meanwhile})
            apply(*s, ops, stored.first(), fresh);
        QVERIFY(!store->isLoaded() && store->sessions() == meanwhile.sessions());
        if (end != 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            QVERIFY(!store->isLoaded() && readFile(m_path) == (file == u"none"_s ? QByteArray() : bytes));
        }
        expected.waitForWrites();
        const bool written = readFile(reference) != (file == u"none"_s ? QByteArray() : bytes);
        if (end < 2) {
            QSignalSpy loaded(store.get(), &LogSessionStore::loaded);
            QSignalSpy changed(store.get(), &LogSessionStore::sessionsChanged);
            if (end == 1)
                store->waitForLoad();
            QVERIFY(end == 1 || loaded.wait(120000));
            QCoreApplication::processEvents();
            QVERIFY(store->isLoaded() && loaded.count() == 1 && changed.count() == 1);
            QCOMPARE(store->sessions(), expected.sessions());
            if (written)
                verifyFileMatches(*store);
        }
        store.reset();
        QCOMPARE(readFile(m_path), readFile(reference));
        QCOMPARE(movedAside().size(), expected.movedAsidePath().isEmpty() ? 0 : 1);
        QVERIFY(movedAside().isEmpty() || readFile(m_dir.filePath(movedAside().first())) == bytes);
    }

    // The writer encodes the sessions it is handed as the main thread would, and a session
    // changed under a new revision is encoded anew while an unchanged one may be reused.
    void writerEncodesSessions()
    {
        QList<QByteArray> written;
        std::mutex mutex;
        SessionWriter writer(u"unused"_s, [&](const QString&, const QList<QByteArray>& pieces) {
            const std::lock_guard lock(mutex);
            written.append(pieces.join());
            return true;
        });
        QList<LogSession> list{withLines(3, 5), session(2), withLines(1, 0)};
        QList<QByteArray> expected;
        for (const quint64 revision : {1, 2}) {
            writer.submitSessions(
                {list[0].toJson(), SessionWriter::Unencoded{list[1], 7}, SessionWriter::Unencoded{list[2], revision}});
            writer.waitUntilIdle();
            expected.append(LogSessionFile::encode(list));
            list[2].transcript->append(LogLine{u"1-1"_s, u"Ann"_s, u"\u00fcber \\ \U0001F3AC"_s, u"x"_s, -1});
        }
        QCOMPARE(written, expected);
    }

    // A long log is handed to the file in pieces no larger than a block of its lines: a save
    // never holds a copy of the whole log. The file is still every byte of it, twice in a row
    // (the second time from what the writer kept).
    void longLogGoesOutInPieces_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("whole");
        QTest::newRow("short, kept whole") << 600 << true;
        QTest::newRow("long, in pieces") << 5000 << false;
    }
    void longLogGoesOutInPieces()
    {
        QFETCH(int, lines);
        QFETCH(bool, whole);
        QList<QList<QByteArray>> written;
        std::mutex mutex;
        SessionWriter writer(u"unused"_s, [&](const QString&, const QList<QByteArray>& pieces) {
            const std::lock_guard lock(mutex);
            written.append(pieces);
            return true;
        });
        LogSession log = withLines(3, lines);
        for (int i = 0; i < 40; ++i)
            log.entries.append(session(4, u"entry %1 "_s.arg(i).repeated(60)).entries.first());
        const LogSession other = session(2);
        const QByteArray expected = LogSessionFile::encode({log, other});
        for (int save = 0; save < 2; ++save) {
            writer.submitSessions({SessionWriter::Unencoded{log, 1}, other.toJson()});
            writer.waitUntilIdle();
        }
        QCOMPARE(written.size(), 2);
        for (const QList<QByteArray>& pieces : std::as_const(written)) {
            QCOMPARE(pieces.join(), expected);
            const qsizetype largest =
                std::max_element(pieces.cbegin(), pieces.cend(), [](const QByteArray& a, const QByteArray& b) {
                    return a.size() < b.size();
                })->size();
            QCOMPARE(largest > expected.size() / 2, whole);
        }
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
            SessionWriter writer(u"unused"_s, [&](const QString&, const QList<QByteArray>& pieces) {
                const QByteArray bytes = pieces.join();
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
