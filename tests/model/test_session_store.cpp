#include "common/TestMain.h"

#include "model/LogSessionStore.h"
#include "model/SessionWriter.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <limits>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace {

// Bytes no save can produce: still there afterwards means nothing was written.
const QByteArray untouched = "untouched by the store"_ba;

LogEntry entry(const QString& note)
{
    LogEntry e;
    e.id = QUuid::createUuid();
    e.time = Date{700000000.5};
    e.timecode = u"01:00:00:00"_s;
    e.type = u"earmark"_s;
    e.note = note;
    return e;
}

LogSession session(double createdAt, const QString& note = u"a note"_s)
{
    LogSession s;
    s.id = QUuid::createUuid();
    s.createdAt = Date{createdAt};
    s.entries = {entry(note)};
    return s;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList movedAside(const QString& folder)
{
    return QDir(folder).entryList({u"log-sessions.json.unreadable-*"_s}, QDir::AllEntries | QDir::Hidden);
}

QList<QUuid> ids(const QList<LogSession>& sessions)
{
    QList<QUuid> list;
    for (const LogSession& s : sessions)
        list.append(s.id);
    return list;
}

} // namespace

class TestSessionStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;

    // The file holds exactly what the store holds, in the file's own encoding.
    void verifyFileMatches(LogSessionStore& store)
    {
        store.waitForWrites();
        QCOMPARE(readFile(store.url()), LogSessionFile::encode(store.sessions()));
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QVERIFY(QDir().mkpath(m_dir.path()));
        m_path = m_dir.filePath(u"log-sessions.json"_s);
    }

    void defaultFileIsInSupportFolder()
    {
        const LogSessionStore store;
        QCOMPARE(store.url(), AppPaths::appSupportFolder() + u"log-sessions.json"_s);
    }

    void noFileStartsEmpty()
    {
        const QString nested = m_dir.filePath(u"missing/folder/log-sessions.json"_s);
        {
            LogSessionStore store(nested);
            QVERIFY(store.sessions().isEmpty());
            QCOMPARE(store.url(), nested);
        }
        // Reading alone writes nothing.
        QVERIFY(!QFileInfo::exists(nested));
        LogSessionStore store(nested);
        store.upsert(session(1));
        verifyFileMatches(store);
    }

    void undecodableFileIsMovedAsideUnchanged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const LogSession good = session(5);
        QByteArray noOpen = LogSessionFile::encode({good, session(4)});
        noOpen.replace(",\"open\":false", "");
        QTest::newRow("one entry lacking open") << noOpen;
        QByteArray noChannel = LogSessionFile::encode({good});
        noChannel.chop(2);
        noChannel += ",\"transcript\":[{\"id\":\"1-1\",\"text\":\"t\",\"timecode\":\"\"}]}]";
        QTest::newRow("one line lacking channel") << noChannel;
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("not JSON") << "log sessions"_ba;
        QTest::newRow("top-level object") << good.toJson();
        QTest::newRow("truncated") << LogSessionFile::encode({good}).chopped(3);
        QTest::newRow("invalid UTF-8") << "[\"\xc3\x28\"]"_ba;
        QTest::newRow("date beyond double")
            << LogSessionFile::encode({good}).replace("\"createdAt\":5", "\"createdAt\":1e999");
    }
    void undecodableFileIsMovedAsideUnchanged()
    {
        QFETCH(QByteArray, bytes);
        writeFile(m_path, bytes);
        LogSessionStore store(m_path);
        QVERIFY(store.sessions().isEmpty());
        // Nothing moves until something would be written over it.
        QVERIFY(movedAside(m_dir.path()).isEmpty());

        store.upsert(session(1));
        store.upsert(session(2));
        verifyFileMatches(store);
        const QStringList aside = movedAside(m_dir.path());
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(m_dir.filePath(aside.first())), bytes);

        // The moved file is the store's no longer: a later start reads the new file.
        LogSessionStore reopened(m_path);
        QCOMPARE(reopened.sessions(), store.sessions());
    }

    void folderInPlaceOfFileIsMovedAside()
    {
        QVERIFY(QDir().mkpath(m_path));
        writeFile(m_path + u"/kept.txt"_s, "kept"_ba);
        LogSessionStore store(m_path);
        QVERIFY(store.sessions().isEmpty());

        store.upsert(session(1));
        verifyFileMatches(store);
        const QStringList aside = movedAside(m_dir.path());
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(m_dir.filePath(aside.first() + u"/kept.txt"_s)), "kept"_ba);
    }

    void emptyLogIsNeverStored_data()
    {
        QTest::addColumn<bool>("transcriptPresent");
        QTest::newRow("transcript absent") << false;
        QTest::newRow("transcript empty") << true;
    }
    void emptyLogIsNeverStored()
    {
        QFETCH(bool, transcriptPresent);
        LogSessionStore store(m_path);
        const LogSession kept = session(2);
        LogSession stored = session(1);
        store.upsert(kept);
        store.upsert(stored);
        store.waitForWrites();
        writeFile(m_path, untouched);
        QSignalSpy changed(&store, &LogSessionStore::sessionsChanged);

        LogSession empty;
        empty.id = QUuid::createUuid();
        if (transcriptPresent)
            empty.transcript = QList<LogLine>{};
        store.upsert(empty);
        store.waitForWrites();
        QCOMPARE(store.sessions().size(), 2);
        QCOMPARE(readFile(m_path), untouched);
        QCOMPARE(changed.count(), 0);

        // Emptied later, a stored log is removed.
        stored.entries.clear();
        stored.transcript = empty.transcript;
        store.upsert(stored);
        QCOMPARE(ids(store.sessions()), QList<QUuid>{kept.id});
        QCOMPARE(changed.count(), 1);
        verifyFileMatches(store);
    }

    void transcriptWithoutEntriesIsStored()
    {
        LogSessionStore store(m_path);
        LogSession s = session(1);
        s.entries.clear();
        s.transcript = QList<LogLine>{LogLine{u"1700000000-1"_s, std::nullopt, u"rolling"_s, u"01:00:00:00"_s, 2}};
        store.upsert(s);
        QCOMPARE(store.sessions(), QList<LogSession>{s});
        verifyFileMatches(store);
    }

    void upsertKeepsPositionAndCount()
    {
        LogSessionStore store(m_path);
        const LogSession newest = session(30);
        LogSession middle = session(20);
        const LogSession oldest = session(10);
        for (const LogSession& s : {middle, oldest, newest})
            store.upsert(s);
        QCOMPARE(ids(store.sessions()), (QList<QUuid>{newest.id, middle.id, oldest.id}));

        middle.entries.append(entry(u"second"_s));
        middle.shootToken = u"token"_s;
        store.upsert(middle);
        QCOMPARE(store.sessions().size(), 3);
        QCOMPARE(store.sessions().at(1), middle);

        // A changed date moves the session to its new place.
        middle.createdAt = Date{40};
        store.upsert(middle);
        QCOMPARE(ids(store.sessions()), (QList<QUuid>{middle.id, newest.id, oldest.id}));
        verifyFileMatches(store);
    }

    void equalDatesKeepTheirOrder()
    {
        LogSessionStore store(m_path);
        LogSession a = session(7, u"a"_s);
        LogSession b = session(7, u"b"_s);
        LogSession c = session(7, u"c"_s);
        const LogSession older = session(3);
        const LogSession newer = session(9);
        // A new session goes in front of those of its date.
        for (const LogSession& s : {a, b, c})
            store.upsert(s);
        const QList<QUuid> tied{c.id, b.id, a.id};
        QCOMPARE(ids(store.sessions()), tied);

        store.upsert(older);
        store.upsert(newer);
        b.entries.append(entry(u"more"_s));
        store.upsert(b);
        a.entries.first().note = u"edited"_s;
        store.upsert(a);
        QCOMPARE(ids(store.sessions()), (QList<QUuid>{newer.id, c.id, b.id, a.id, older.id}));
        verifyFileMatches(store);

        // The file's order of equal dates survives a restart.
        LogSessionStore reopened(m_path);
        QCOMPARE(reopened.sessions(), store.sessions());
    }

    void fileOrderIsSortedOnLoad()
    {
        const QList<LogSession> unsorted{session(1), session(3), session(2), session(3)};
        writeFile(m_path, LogSessionFile::encode(unsorted));
        LogSessionStore store(m_path);
        QCOMPARE(ids(store.sessions()), (QList<QUuid>{unsorted[1].id, unsorted[3].id, unsorted[2].id, unsorted[0].id}));
    }

    void lineWithoutSpeakerHasNoSpeakerKey()
    {
        LogSessionStore store(m_path);
        LogSession s = session(1);
        s.transcript = QList<LogLine>{LogLine{u"1-1"_s, std::nullopt, u"quiet"_s, u"00:00:00:00"_s, 0},
                                      LogLine{u"1-2"_s, u"Bo"_s, u"loud"_s, u"00:00:01:00"_s, 1}};
        store.upsert(s);
        store.waitForWrites();
        const QJsonArray lines =
            QJsonDocument::fromJson(readFile(m_path)).array().at(0).toObject().value("transcript"_L1).toArray();
        QCOMPARE(lines.size(), 2);
        QVERIFY(!lines.at(0).toObject().contains("speaker"_L1));
        QCOMPARE(lines.at(1).toObject().value("speaker"_L1).toString(), u"Bo"_s);

        LogSessionStore reopened(m_path);
        QCOMPARE(reopened.sessions().at(0).transcript->at(0).speaker, std::nullopt);
    }

    void removeDropsEveryCopy()
    {
        // Two copies of one id cannot come from the store, but can from a file edited by hand.
        const LogSession first = session(2);
        LogSession copy = session(1);
        copy.id = first.id;
        const LogSession other = session(3);
        writeFile(m_path, LogSessionFile::encode({other, first, copy}));
        LogSessionStore store(m_path);
        QCOMPARE(store.sessions().size(), 3);

        // A copy's changes replace the first of the id only.
        LogSession edited = copy;
        edited.entries.first().note = u"edited"_s;
        store.upsert(edited);
        QCOMPARE(store.sessions().at(1), edited);
        QCOMPARE(store.sessions().at(2), copy);
        verifyFileMatches(store);

        writeFile(m_path, untouched);
        store.remove(QUuid::createUuid());
        store.waitForWrites();
        QCOMPARE(readFile(m_path), untouched);

        QSignalSpy changed(&store, &LogSessionStore::sessionsChanged);
        store.remove(first.id);
        QCOMPARE(store.sessions(), QList<LogSession>{other});
        QCOMPARE(changed.count(), 1);
        verifyFileMatches(store);
    }

    void dateThatIsNotANumberIsNotWritten_data()
    {
        QTest::addColumn<int>("field");
        QTest::newRow("createdAt NaN") << 0;
        QTest::newRow("entry time infinite") << 1;
        QTest::newRow("entry endTime NaN") << 2;
    }
    void dateThatIsNotANumberIsNotWritten()
    {
        QFETCH(int, field);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        LogSessionStore store(m_path);
        const LogSession good = session(5);
        store.upsert(good);
        store.waitForWrites();
        writeFile(m_path, untouched);

        LogSession bad = session(6);
        if (field == 0)
            bad.createdAt = Date{nan};
        else if (field == 1)
            bad.entries.first().time = Date{std::numeric_limits<double>::infinity()};
        else
            bad.entries.first().endTime = Date{nan};
        store.upsert(bad);
        store.upsert(session(4));
        store.waitForWrites();
        // Held in memory, but the file is never made unreadable.
        QCOMPARE(store.sessions().size(), 3);
        QCOMPARE(readFile(m_path), untouched);

        store.remove(bad.id);
        verifyFileMatches(store);
    }

    void failedWriteKeepsTheList()
    {
        // A file where a folder should be: no write can succeed, even as root.
        writeFile(m_dir.filePath(u"blocker"_s), "x"_ba);
        LogSessionStore store(m_dir.filePath(u"blocker/log-sessions.json"_s));
        const LogSession s = session(1);
        store.upsert(s);
        store.waitForWrites();
        QVERIFY(store.lastWriteFailed());
        QCOMPARE(store.sessions(), QList<LogSession>{s});
    }

    void burstOfSavesEndsWithTheLastState()
    {
        LogSessionStore store(m_path);
        QList<LogSession> live{session(1), session(2), session(3)};
        for (int i = 0; i < 300; ++i) {
            LogSession& s = live[i % live.size()];
            s.entries.append(entry(QString::number(i)));
            if (i % 7 == 0)
                s.createdAt = Date{double(i % 5)};
            store.upsert(s);
        }
        verifyFileMatches(store);
        QVERIFY(!store.lastWriteFailed());
        LogSessionStore reopened(m_path);
        QCOMPARE(reopened.sessions(), store.sessions());
    }

    void destructionFlushesThePendingWrite()
    {
        QList<LogSession> expected;
        {
            LogSessionStore store(m_path);
            for (int i = 0; i < 20; ++i)
                store.upsert(session(i));
            expected = store.sessions();
        }
        QCOMPARE(readFile(m_path), LogSessionFile::encode(expected));
    }

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
            // The first write is under way; these queue behind it, each replacing the last.
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

            // A write still waiting when the writer goes is finished first.
            writer.submit({});
            release.release();
        }
        QCOMPARE(written.last(), "[]"_ba);
    }

    void joinMatchesTheFileEncoding()
    {
        const QList<LogSession> sessions{session(3, u"\"quoted\"\n"_s), session(2), session(1)};
        QList<QByteArray> parts;
        for (const LogSession& s : sessions)
            parts.append(s.toJson());
        QCOMPARE(SessionWriter::join(parts), LogSessionFile::encode(sessions));
        QCOMPARE(SessionWriter::join({}), LogSessionFile::encode({}));
        QCOMPARE(SessionWriter::join({parts.first()}), LogSessionFile::encode({sessions.first()}));
    }
};

PINDLE_TEST(TestSessionStore)
#include "test_session_store.moc"
