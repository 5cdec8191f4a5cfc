#include "common/TestMain.h"

#include "model/LogSessionStore.h"
#include "model/LoggingLog.h"
#include "platform/JsonWriter.h"
#include "platform/ManualClock.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

LogLine lineNumber(int n)
{
    return LogLine{u"1765000000-%1"_s.arg(n), n % 3 ? std::optional(u"Speaker %1"_s.arg(n % 4)) : std::nullopt,
                   u"line %1 says \"über\" and more"_s.arg(n), u"01:00:%1:00"_s.arg(n % 60, 2, 10, QChar(u'0')), n % 8};
}

// The session as a store that never saw it would write it: every line and entry encoded afresh.
QByteArray wholeEncode(const QList<LogSession>& sessions)
{
    QList<LogSession> fresh;
    for (const LogSession& session : sessions) {
        LogSession copy = session;
        if (copy.transcript)
            copy.transcript = LogLines(copy.transcript->toList());
        fresh.append(copy);
    }
    return LogSessionFile::encode(fresh);
}

QByteArray naiveArray(const QList<LogLine>& lines)
{
    QByteArray out;
    JsonWriter w(out);
    w.beginArray();
    for (const LogLine& line : lines)
        line.write(w);
    w.endArray();
    return out;
}

QByteArray encoded(const LogLines& lines)
{
    QByteArray out;
    JsonWriter w(out);
    lines.write(w);
    return out;
}

DisplaySegment segment(int n, const QString& text)
{
    DisplaySegment s;
    s.id = QString::number(n);
    s.text = text;
    s.speaker = u"Speaker %1"_s.arg(n % 3);
    s.startSecs = n;
    s.endSecs = n + 0.5;
    s.channel = n % 4;
    return s;
}

// The child of the kill test: logs as fast as it can into the store in `dir`, reporting each
// save known to be on disk as "saved <lines> <entries>".
int runChurn(const QString& dir)
{
    ManualClock clock;
    LoggingLog log(CameraTimecode::shared(), &clock);
    LogSessionStore store(dir + u"/log-sessions.json"_s);
    QTextStream out(stdout);
    int lines = 0;
    for (int round = 0;; ++round) {
        // A burst of saves the writer may fold together, then one it must finish.
        for (int burst = 0; burst < 5; ++burst) {
            QList<DisplaySegment> fresh;
            for (int i = 0; i < 40; ++i, ++lines)
                fresh.append(segment(lines, lineNumber(lines).text));
            log.mergeSegments(fresh, 1765000000, {});
            LogEntry entry;
            entry.id = QUuid::createUuid();
            entry.note = u"entry %1"_s.arg(log.entries().size());
            log.appendEntry(entry);
            store.upsert(log.snapshotSession());
        }
        store.waitForWrites();
        if (store.lastWriteFailed())
            return 1;
        out << "saved " << log.transcript().size() << ' ' << log.entries().size() << Qt::endl;
    }
}

} // namespace

class SessionIncrementalTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesAcrossBlocks_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("block less one") << int(LogLines::kBlockLines - 1);
        QTest::newRow("one block") << int(LogLines::kBlockLines);
        QTest::newRow("block and one") << int(LogLines::kBlockLines + 1);
        QTest::newRow("many blocks") << int(LogLines::kBlockLines * 5 + 17);
    }

    void linesAcrossBlocks()
    {
        QFETCH(int, count);
        QList<LogLine> expected;
        LogLines lines;
        for (int n = 0; n < count; ++n) {
            expected.append(lineNumber(n));
            lines.append(lineNumber(n));
            // Saves between appends make each block's JSON, which later appends must not keep.
            if (n % 97 == 0)
                QCOMPARE(encoded(lines), naiveArray(expected));
        }
        QCOMPARE(lines.size(), expected.size());
        QCOMPARE(lines.toList(), expected);
        QVERIFY(std::equal(lines.begin(), lines.end(), expected.cbegin(), expected.cend()));
        QCOMPARE(encoded(lines), naiveArray(expected));
        QCOMPARE(encoded(LogLines(expected)), naiveArray(expected));
        if (count > 0) {
            const qsizetype last = count - 1;
            expected[last].text = u"changed"_s;
            lines.replace(last, expected.at(last));
            QCOMPARE(encoded(lines), naiveArray(expected));
        }
    }

    void copiesAreIndependent_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("row");
        QTest::newRow("first of one block") << 10 << 0;
        QTest::newRow("last of a full block") << int(LogLines::kBlockLines) << int(LogLines::kBlockLines - 1);
        QTest::newRow("first of the second block") << int(LogLines::kBlockLines + 3) << int(LogLines::kBlockLines);
    }

    void copiesAreIndependent()
    {
        QFETCH(int, count);
        QFETCH(int, row);
        LogLines lines;
        for (int n = 0; n < count; ++n)
            lines.append(lineNumber(n));
        (void)encoded(lines);
        const LogLines saved = lines;
        const QByteArray savedJson = encoded(saved);

        LogLine changed = lines.at(row);
        changed.text = u"edited after the save"_s;
        lines.replace(row, changed);
        lines.append(lineNumber(count));

        QCOMPARE(saved.size(), qsizetype(count));
        QCOMPARE(saved.at(row), lineNumber(row));
        QCOMPARE(encoded(saved), savedJson);
        QCOMPARE(lines.at(row).text, u"edited after the save"_s);
        QVERIFY(!(lines == saved));
        QCOMPARE(encoded(lines), naiveArray(lines.toList()));
    }

    // A save encodes on the writer's thread while the log goes on appending and editing.
    void encodesWhileTheOwnerChanges()
    {
        LogLines lines;
        std::atomic<bool> done{false};
        QList<LogLines> handed;
        std::mutex handedLock;
        std::thread writer([&] {
            while (!done.load()) {
                LogLines copy;
                {
                    std::lock_guard lock(handedLock);
                    if (handed.isEmpty())
                        continue;
                    copy = handed.takeFirst();
                }
                (void)encoded(copy);
            }
        });
        QList<LogLines> kept;
        for (int n = 0; n < 3000; ++n) {
            lines.append(lineNumber(n));
            if (n % 7 == 0) {
                LogLine changed = lines.at(n / 2);
                changed.text += u'!';
                lines.replace(n / 2, changed);
            }
            if (n % 13 == 0) {
                std::lock_guard lock(handedLock);
                handed.append(lines);
                kept.append(lines);
            }
        }
        done = true;
        writer.join();
        for (const LogLines& copy : std::as_const(kept))
            QCOMPARE(encoded(copy), naiveArray(copy.toList()));
    }

    // Random merges, entry edits, deletions and reorders: each file the store writes is byte for
    // byte what encoding every session afresh gives, and reads back as the sessions held.
    void incrementalFileEqualsWholeEncode_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 7") << 7u;
        QTest::newRow("seed 2024") << 2024u;
    }

    void incrementalFileEqualsWholeEncode()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"log-sessions.json"_s);
        ManualClock clock;
        LoggingLog log(CameraTimecode::shared(), &clock);
        LogSessionStore store(path);
        // An older session already saved sits in the same file.
        LogSession older;
        older.id = QUuid::createUuid();
        older.createdAt = Date{1000};
        older.transcript = LogLines{lineNumber(1), lineNumber(2)};
        store.upsert(older);

        int nextSegment = 0;
        for (int op = 0; op < 160; ++op) {
            const int kind = random.bounded(10);
            if (kind < 5) {
                QList<DisplaySegment> delta;
                const int fresh = random.bounded(1, 90);
                for (int i = 0; i < fresh; ++i, ++nextSegment)
                    delta.append(segment(nextSegment, u"said %1"_s.arg(nextSegment)));
                for (int i = random.bounded(4); i > 0 && nextSegment > 0; --i) {
                    const int n = random.bounded(nextSegment);
                    delta.append(segment(n, u"said again %1 at %2"_s.arg(n).arg(op)));
                }
                log.mergeSegments(delta, 1765000000, [](const DisplaySegment& s) { return u"tc %1"_s.arg(s.id); });
            } else if (kind < 7 || log.entries().isEmpty()) {
                LogEntry entry;
                entry.id = QUuid::createUuid();
                entry.time = Date{double(op)};
                entry.type = u"moment"_s;
                log.appendEntry(entry);
            } else {
                QList<LogEntry> entries = log.entries().toList();
                const int row = random.bounded(int(entries.size()));
                switch (random.bounded(4)) {
                case 0:
                    log.setNote(entries.at(row).id, u"note %1"_s.arg(op));
                    break;
                case 1:
                    log.removeEntry(entries.at(row).id);
                    break;
                case 2:
                    std::reverse(entries.begin(), entries.end());
                    log.setEntries(entries);
                    break;
                default:
                    log.addTag(u"tag %1"_s.arg(op % 5), entries.at(row).id);
                    break;
                }
            }
            store.upsert(log.snapshotSession());
            if (random.bounded(4) == 0 || op == 159) {
                store.waitForWrites();
                const QByteArray file = readFile(path);
                QCOMPARE(file, wholeEncode(store.sessions()));
                QCOMPARE(LogSessionFile::decode(file), std::optional(store.sessions()));
            }
        }
    }

    // A log killed at a random moment keeps, on its next start, everything its last finished
    // save held.
    void killLosesNothingSaved_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("early") << 3u;
        QTest::newRow("middle") << 11u;
        QTest::newRow("late") << 29u;
    }

    void killLosesNothingSaved()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        QTemporaryDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"PINDLE_CHURN_DIR"_s, dir.path());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {u"SessionChurn"_s});
        QVERIFY(child.waitForStarted());

        const int saves = random.bounded(2, 40);
        int lines = 0;
        int entries = 0;
        for (int seen = 0; seen < saves;) {
            QVERIFY2(child.state() == QProcess::Running, child.readAllStandardError().constData());
            if (!child.canReadLine() && !child.waitForReadyRead(30'000))
                continue;
            while (child.canReadLine()) {
                const QList<QByteArray> fields = child.readLine().trimmed().split(' ');
                if (fields.size() == 3 && fields.at(0) == "saved") {
                    lines = fields.at(1).toInt();
                    entries = fields.at(2).toInt();
                    ++seen;
                }
            }
        }
        QThread::usleep(random.bounded(20'000));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        // A save reported after the last line read is a bonus, never a loss.
        while (child.canReadLine()) {
            const QList<QByteArray> fields = child.readLine().trimmed().split(' ');
            if (fields.size() == 3 && fields.at(0) == "saved") {
                lines = fields.at(1).toInt();
                entries = fields.at(2).toInt();
            }
        }

        LogSessionStore store(dir.filePath(u"log-sessions.json"_s));
        QCOMPARE(store.sessions().size(), 1);
        const LogSession& kept = store.sessions().constFirst();
        QVERIFY(kept.transcript && kept.transcript->size() >= lines);
        QVERIFY(kept.entries.size() >= entries);
        for (int n = 0; n < kept.transcript->size(); ++n)
            QCOMPARE(kept.transcript->at(n).text, lineNumber(n).text);
    }
};

// Not a test of its own: the process the kill test starts and kills.
class SessionChurn : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void churn()
    {
        const QString dir = qEnvironmentVariable("PINDLE_CHURN_DIR");
        if (dir.isEmpty())
            QSKIP("run by the kill test");
        QCOMPARE(runChurn(dir), 0);
    }
};

PINDLE_TEST(SessionIncrementalTest)
PINDLE_TEST(SessionChurn)
#include "test_session_incremental.moc"
