#include "common/TestMain.h"

#include "model/LoggingLog.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace {

// Where the newest line lives: a merge that changed nothing leaves it where it was.
const LogLine* lastLine(const LogLines& lines)
{
    return lines.isEmpty() ? nullptr : &lines.constLast();
}

DisplaySegment segment(const QString& id, const QString& text, std::optional<QString> speaker = {}, int channel = 0)
{
    return DisplaySegment{id, std::move(speaker), text, "tc " + id, -1.0, -1.0, Date{}, channel, false, {}};
}

LogEntry entry(const QString& type, bool open = false)
{
    LogEntry e;
    std::tie(e.id, e.type, e.open) = std::tuple(QUuid::createUuid(), type, open);
    return e;
}

// Whether `after` holds the very rows of `before` in every block wholly outside rows [from, to):
// an edit copies only the blocks it reaches, never the whole list a snapshot shares.
bool sharedOutside(const LogEntries& before, const LogEntries& after, qsizetype from, qsizetype to)
{
    const qsizetype rows = std::min(before.size(), after.size());
    for (qsizetype first = 0; first < rows; first += LogEntries::kBlockRows) {
        const bool outside = first + LogEntries::kBlockRows <= from || first >= to;
        if (outside && &before.at(first) != &after.at(first))
            return false;
    }
    return true;
}

// Rows announced, as a list model counts them.
struct News {
    int inserted = 0, removed = 0, changed = 0, resets = 0, saves = 0;
    friend bool operator==(const News&, const News&) = default;
};

// Follows the entries through the row signals alone, as a list model would: the rows named by
// each about-to signal (nothing changed yet), then the log's rows once done. `ok` falls on a done
// that is not its about-to's, a change that changed nothing, or a mirror that then differs.
struct Mirror {
    QList<LogEntry> rows;
    News news;
    bool ok = true;
    std::optional<std::pair<int, int>> pending;

    explicit Mirror(LoggingLog& log)
    {
        const LogEntries& now = log.entries();
        const auto about = [this, &now](int f = 0, int l = 0) {
            ok = ok && !pending && now.toList() == rows && f <= l;
            pending = {f, l};
        };
        const auto done = [this, &now](int News::*count, auto apply) {
            return [this, &now, count, apply](int f = 0, int l = 0) {
                ok = ok && pending == std::pair(f, l);
                for (int row = f; ok && row <= l; ++row)
                    apply(f, row);
                news.*count += l - f + 1;
                ok = ok && rows == now.toList();
                pending.reset();
            };
        };
        const auto change = done(&News::changed, [&](int, int row) {
            ok = rows.at(row) != now.at(row);
            rows[row] = now.at(row);
        });
        QObject::connect(&log, &LoggingLog::entryRowsAboutToBeInserted, about);
        QObject::connect(&log, &LoggingLog::entryRowsAboutToBeRemoved, about);
        QObject::connect(&log, &LoggingLog::entriesAboutToBeReset, [about] { about(); });
        QObject::connect(&log, &LoggingLog::entryRowsInserted,
                         done(&News::inserted, [&](int, int row) { rows.insert(row, now.at(row)); }));
        QObject::connect(&log, &LoggingLog::entryRowsRemoved,
                         done(&News::removed, [this](int f, int) { rows.removeAt(f); }));
        QObject::connect(&log, &LoggingLog::entriesReset,
                         [d = done(&News::resets, [&](int, int) { rows = now.toList(); })] { d(); });
        QObject::connect(&log, &LoggingLog::entryRowsChanged, [this, change](int f, int l) {
            ok = ok && !pending;
            pending = {f, l};
            change(f, l);
        });
        QObject::connect(&log, &LoggingLog::entriesChanged, [this] { ++news.saves; });
    }
    News take() { return std::exchange(news, {}); }
};

// A log on a manual clock and camera timecode, on defaults in a temporary folder; it records
// what the log publishes, in order, and mirrors its entries.
struct Harness {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode timecode{defaults};
    ManualClock clock{Date::fromSecondsSince1970(1700000000.0)};
    LoggingLog log{timecode, &clock};
    Mirror mirror{log};
    QStringList events;

    Harness()
    {
        const auto note = [this](const char* name) {
            return [this, name](auto... rows) { events << QStringList{name, QString::number(rows)...}.join(' '); };
        };
        QObject::connect(&log, &LoggingLog::transcriptRowsInserted, note("inserted"));
        QObject::connect(&log, &LoggingLog::transcriptRowsChanged, note("changed"));
        QObject::connect(&log, &LoggingLog::transcriptReset, note("reset"));
        QObject::connect(&log, &LoggingLog::transcriptChanged, note("transcript"));
        QObject::connect(&log, &LoggingLog::entriesReset, note("entries reset"));
        QObject::connect(&log, &LoggingLog::entriesChanged, note("entries"));
        QObject::connect(&log, &LoggingLog::idChanged, note("id"));
        QObject::connect(&log, &LoggingLog::createdAtChanged, note("createdAt"));
        QObject::connect(&log, &LoggingLog::shootTokenChanged, note("shootToken"));
    }
    void merge(const QList<DisplaySegment>& segments, qint64 runStart = 1)
    {
        log.mergeSegments(segments, runStart, [](const DisplaySegment& s) { return s.timecode; });
    }
    QStringList take() { return std::exchange(events, {}); }
};

const QStringList wholeLog{"id", "createdAt", "shootToken", "reset", "transcript", "entries reset", "entries"};

// The merge as the log's rules state it, over a copy of the whole transcript: a known line takes
// the segment's text and speaker but keeps its timecode and channel.
QList<LogLine> referenceMerge(QList<LogLine> lines, const QList<DisplaySegment>& segments, qint64 runStart)
{
    for (const DisplaySegment& s : segments) {
        const QString key = QString::number(runStart) + QLatin1Char('-') + s.id;
        const auto it = std::find_if(lines.begin(), lines.end(), [&](const LogLine& line) { return line.id == key; });
        if (it == lines.end())
            lines.append(LogLine{key, s.speaker, s.text, s.timecode, s.channel});
        else
            std::tie(it->text, it->speaker) = std::tie(s.text, s.speaker);
    }
    return lines;
}

} // namespace

class TestLoggingLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Random steps against plain reference lists. Merges handed only what changed (edits undone
    // or repeated within one, lines edited in the merge that adds them) announce exactly the runs
    // of rows that changed, and nothing, not even a detach, when nothing did. Entry edits (ids
    // repeat in hand-edited files) announce exactly the rows that came, left and changed, a reset
    // only for a reordering. Both indexes name each id's first row.
    void randomEditsMatchReference()
    {
        QRandomGenerator random(20240611);
        const QStringList words{"hi", "hello", "hello there", "", "ok"};
        const QList<std::optional<QString>> speakers{std::nullopt, u""_s, u"Ann"_s, u"Bob"_s};
        const auto pick = [&](const auto& from) { return from.at(random.bounded(int(from.size()))); };
        Harness h;
        QList<LogLine> lines;
        QList<DisplaySegment> engine;
        QList<LogEntry> entries;
        QHash<QUuid, qsizetype> firstRows;
        QSet<QUuid> seen;
        qint64 runStart = 1000;
        int nextId = 0;
        const auto any = [&](const auto& list) { return int(random.bounded(int(list.size()))); };
        const auto edit = [&](DisplaySegment& s, QList<DisplaySegment>& delta) {
            const DisplaySegment before = s;
            std::tie(s.text, s.speaker, s.timecode, s.channel) =
                std::tuple(pick(words), pick(speakers), pick(words), random.bounded(3));
            delta << s;
            if (random.bounded(4) == 0)
                delta << (s = before);
        };
        for (int step = 0; step < 4000; ++step) {
            const QString where = QStringLiteral("step %1").arg(step);
            const auto fresh = [&] {
                LogEntry e = entry(where);
                e.id = !entries.isEmpty() && random.bounded(8) == 0 ? entries.at(any(entries)).id : e.id;
                seen << e.id;
                return e;
            };
            const bool repeated = firstRows.size() != entries.size();
            QList<DisplaySegment> delta;
            News expected;
            const int op = random.bounded(41);
            if (op == 40) {
                h.log.reset();
                QVERIFY2(h.take() == wholeLog && h.mirror.take() == (News{0, 0, 0, 1, 1}), qPrintable(where));
                lines.clear(), engine.clear(), entries.clear();
            } else if (op < 8 || (op < 20 && engine.isEmpty())) {
                for (int n = random.bounded(1, 4); n > 0; --n, ++nextId) {
                    delta << (engine << segment(u"%1-%2"_s.arg(nextId % 3).arg(nextId), pick(words), pick(speakers),
                                                nextId % 3))
                                 .last();
                    if (random.bounded(3) == 0)
                        edit(engine.last(), delta);
                }
            } else if (op < 14) {
                for (int n = random.bounded(1, 4); n > 0; --n)
                    edit(engine[any(engine)], delta);
            } else if (op < 18) {
                delta = op < 16 ? QList{engine.at(any(engine))} : engine;
            } else if (op < 20) { // a new run: the engine starts its list again, ids and all
                runStart += random.bounded(2);
                engine.clear();
                nextId = 0;
            } else if (op < 24 || entries.isEmpty()) {
                h.log.appendEntry((entries << fresh()).last());
                expected = {1, 0, 0, 0, 1};
            } else if (op < 28) {
                const QUuid id = random.bounded(4) ? entries.at(any(entries)).id : QUuid::createUuid();
                const int removed = int(entries.removeIf([&](const LogEntry& e) { return e.id == id; }));
                h.log.removeEntry(id);
                expected = {0, removed, 0, 0, removed > 0};
            } else if (op < 32) {
                LogEntry& first = entries[firstRows.value(entries.at(any(entries)).id)];
                const bool same = random.bounded(3) == 0;
                first.note = same ? first.note : where;
                h.log.setNote(first.id, first.note);
                expected = {0, 0, !same, 0, !same};
            } else if (op == 32 && entries.size() > 1) {
                entries.move(0, entries.size() - 1);
                h.log.setEntries(entries);
                expected = {0, 0, 0, 1, 1};
            } else {
                const int removals = random.bounded(std::min(4, int(entries.size()) + 1));
                for (int n = 0; n < removals; ++n)
                    entries.removeAt(any(entries));
                QSet<int> changes;
                for (int n = entries.isEmpty() ? 0 : random.bounded(4); n > 0; --n)
                    changes << any(entries);
                for (const int row : changes)
                    entries[row].tags << where;
                const int insertions = random.bounded(4);
                for (int n = 0; n < insertions; ++n)
                    entries.insert(random.bounded(int(entries.size()) + 1), fresh());
                h.log.setEntries(entries);
                const int changed = int(changes.size());
                expected = {insertions, removals, changed, 0, removals + insertions + changed > 0};
            }
            firstRows.clear();
            for (qsizetype row = entries.size() - 1; row >= 0; --row)
                firstRows[entries.at(row).id] = row;
            if (op < 20) {
                const QList<LogLine> merged = referenceMerge(lines, delta, runStart);
                const LogLine* before = lastLine(h.log.transcript());
                h.merge(delta, runStart);
                QStringList news;
                for (int row = 0; row < lines.size(); ++row) {
                    if (merged.at(row) == lines.at(row))
                        continue;
                    const int first = row;
                    while (row + 1 < lines.size() && merged.at(row + 1) != lines.at(row + 1))
                        ++row;
                    news << u"changed %1 %2"_s.arg(first).arg(row);
                }
                if (merged.size() > lines.size())
                    news << u"inserted %1 %2"_s.arg(lines.size()).arg(merged.size() - 1);
                news << (news.isEmpty() ? QStringList{} : QStringList{"transcript"});
                QVERIFY2(h.take() == news && (!news.isEmpty() || lastLine(h.log.transcript()) == before),
                         qPrintable(where));
                lines = merged;
            } else if (op < 40) {
                // With an id twice, how a whole-list edit pairs the copies is a free choice.
                const bool free = op >= 32 && (repeated || firstRows.size() != entries.size());
                QVERIFY2(h.mirror.take() == expected || free, qPrintable(where));
                h.take();
            }
            bool indexed = h.log.lineIndex().size() == lines.size();
            for (int row = 0; row < lines.size(); ++row)
                indexed = indexed && h.log.lineIndex().value(lines.at(row).id, -1) == row;
            for (const QUuid& id : std::as_const(seen))
                indexed = indexed && h.log.entryRowOf(id).value_or(-1) == firstRows.value(id, -1);
            QVERIFY2(h.log.transcript() == lines && h.log.entries() == entries && h.mirror.ok && indexed,
                     qPrintable(where));
        }
    }

    // A final text repeating the last interim one is held once, in the transcript's copy: the
    // line announces nothing, its JSON is what a fresh encode writes, and a snapshot taken before
    // keeps its own copy and bytes while the save's thread may be reading them.
    void repeatedFinalTextIsHeldOnce_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<bool>("saved");
        QTest::newRow("first line") << 0 << false;
        QTest::newRow("first line, saved between") << 0 << true;
        QTest::newRow("end of a block, saved between") << int(LogLines::kBlockLines - 1) << true;
        QTest::newRow("start of a block, saved between") << int(LogLines::kBlockLines) << true;
        QTest::newRow("start of a block") << int(LogLines::kBlockLines) << false;
    }

    void repeatedFinalTextIsHeldOnce()
    {
        QFETCH(int, before);
        QFETCH(bool, saved);
        Harness h;
        QList<DisplaySegment> lines;
        for (int row = 0; row < before; ++row)
            lines << segment(u"a%1"_s.arg(row), u"line %1"_s.arg(row));
        const DisplaySegment interim = segment(u"last"_s, u"so we go again"_s, u"Ann"_s);
        h.merge(lines << interim);
        std::optional<LogSession> kept;
        QByteArray keptJson;
        if (saved) {
            kept = h.log.snapshotSession();
            keptJson = kept->toJson();
        }
        h.take();

        DisplaySegment final = interim;
        final.text = QString::fromUtf8("so we go " + QByteArray("again"));
        final.words = {Word{u"so"_s, 0.0, 0.2}};
        QVERIFY(final.text.constData() != interim.text.constData());
        h.merge({final});
        QCOMPARE(h.take(), QStringList{});
        const LogLines& transcript = h.log.transcript();
        QCOMPARE(transcript.at(before).text.constData(), final.text.constData());

        LogSession now = h.log.snapshotSession();
        const QByteArray incremental = now.toJson();
        now.transcript = LogLines(now.transcript->toList());
        QCOMPARE(incremental, now.toJson());
        if (kept) {
            QCOMPARE(kept->transcript->at(before).text.constData(), interim.text.constData());
            QCOMPARE(kept->toJson(), keptJson);
        }
    }

    // A save keeps a snapshot while the log goes on: each snapshot keeps exactly the entries and
    // bytes it was taken with, the log follows a plain list put through the same edits, and an
    // edit leaves every block it does not reach shared with the snapshot taken just before it.
    void snapshotsKeepTheirEntries_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<quint32>("seed");
        QTest::newRow("empty") << 0 << 1u;
        QTest::newRow("a block less one") << int(LogEntries::kBlockRows - 1) << 2u;
        QTest::newRow("one block") << int(LogEntries::kBlockRows) << 3u;
        QTest::newRow("a block and one") << int(LogEntries::kBlockRows + 1) << 4u;
        QTest::newRow("a shoot day") << 1200 << 5u;
    }

    void snapshotsKeepTheirEntries()
    {
        QFETCH(int, rows);
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        constexpr qsizetype kEnd = std::numeric_limits<qsizetype>::max();
        Harness h;
        QList<LogEntry> oracle;
        for (int row = 0; row < rows; ++row)
            oracle << entry(u"kind %1"_s.arg(row % 7));
        h.log.load(LogSession{QUuid::createUuid(), Date{}, oracle, std::nullopt, std::nullopt});
        struct Kept {
            LogSession session;
            QList<LogEntry> entries;
            QByteArray json;
        };
        std::vector<Kept> kept;
        for (int step = 0; step < 300; ++step) {
            const QString where = u"step %1"_s.arg(step);
            const LogSession before = h.log.snapshotSession();
            if (step % 25 == 0)
                kept.push_back({before, before.entries.toList(), before.toJson()});
            const int op = oracle.isEmpty() ? 0 : random.bounded(6);
            const qsizetype row = oracle.isEmpty() ? 0 : random.bounded(int(oracle.size()));
            // The rows the edit may reach.
            qsizetype from = row;
            qsizetype to = row + 1;
            if (op == 0) {
                h.log.appendEntry((oracle << entry(where)).constLast());
                std::tie(from, to) = std::pair(oracle.size() - 1, kEnd);
            } else if (op == 1) {
                h.log.removeEntry(oracle.takeAt(row).id);
                to = kEnd;
            } else if (op == 2) {
                h.log.setNote(oracle.at(row).id, oracle[row].note = where);
            } else if (op == 3) {
                std::tie(oracle[row].summary, oracle[row].summarising) = std::tuple(where, false);
                h.log.setSummary(oracle.at(row).id, where);
            } else if (op == 4) {
                oracle[row].tags << where;
                h.log.addTag(where, oracle.at(row).id);
            } else {
                oracle.move(row, random.bounded(int(oracle.size())));
                h.log.setEntries(oracle);
                std::tie(from, to) = std::pair(qsizetype(0), kEnd);
            }
            QVERIFY2(h.log.entries().toList() == oracle, qPrintable(where));
            QVERIFY2(sharedOutside(before.entries, h.log.entries(), from, to), qPrintable(where));
        }
        for (const Kept& k : kept) {
            QVERIFY(k.session.entries.toList() == k.entries);
            QCOMPARE(k.session.toJson(), k.json);
        }
        QVERIFY(h.mirror.ok);
    }

    // Load closes ranges and summary requests; a repeated line id (a hand-edited file) keeps every
    // line, the id its first. Load publishes the whole log once everything is in place.
    void loadAndReset()
    {
        Harness h;
        h.merge({segment("z", "stale")}, 5);
        h.log.appendEntry(entry("gone"));
        LogEntry open = entry("broll", true);
        open.summarising = true;
        const QList<LogLine> lines{{"5-a", std::nullopt, "first", "tc1", 0},
                                   {"5-b", std::nullopt, "other", "tc2", 1},
                                   {"5-a", QString("Ann"), "twin", "tc3", 0}};
        const LogSession session{QUuid::createUuid(), Date{}, {open, entry("note")}, QStringLiteral("tok"), lines};
        h.take();
        h.log.load(session);
        QCOMPARE(h.take(), wholeLog);
        open.open = open.summarising = false;
        QCOMPARE(h.log.entries(), QList<LogEntry>({open, session.entries.at(1)}));
        QVERIFY(h.log.entryRowOf(session.entries.at(1).id) == 1 && h.mirror.ok);
        const LogSession snapshot = h.log.snapshotSession();
        h.merge({segment("a", "updated"), segment("c", "new")}, 5);
        QCOMPARE(h.take(), QStringList({"changed 0 0", "inserted 3 3", "transcript"}));
        QCOMPARE(h.log.transcript().at(2).text, QStringLiteral("twin"));
        QCOMPARE(h.log.lineIndex().toHash(), (QHash<QString, int>{{"5-a", 0}, {"5-b", 1}, {"5-c", 3}}));
        QCOMPARE(snapshot.transcript, std::optional(lines)); // a snapshot is a value
        h.clock.advance(std::chrono::seconds(60));
        h.log.reset();
        QVERIFY(h.log.id() != session.id && !h.log.id().isNull() && h.log.createdAt() == h.clock.now());
        QVERIFY(!h.log.shootToken() && h.log.snapshotSession().transcript == std::optional(QList<LogLine>{}));
    }

    // A range starts its grab-back before now (none when that is not finite) and is closed by the
    // latest open entry of its kind, compared exactly; words said within it ask for a summary. Tags
    // compare exactly, suggestions append theirs as given; an edit that changes nothing, or names
    // an id the log does not hold, publishes nothing. An empty token is not an absent one.
    void entryOperations()
    {
        Harness h;
        const Date start = h.clock.now();
        const QUuid first = h.log.openRange(QStringLiteral("broll"), 5.0);
        const QUuid second = h.log.openRange(QStringLiteral("broll"), std::nan(""));
        h.log.appendEntry(entry("Broll", true));
        QVERIFY(h.log.entries().at(0).time == start.addingSeconds(-5.0) && h.log.entries().at(1).time == start);
        QCOMPARE(h.log.openEntry("broll"), std::optional<QUuid>(second));
        h.clock.advance(std::chrono::seconds(12));
        h.log.closeRange(second, QStringLiteral(" "));
        h.log.closeRange(first, QString());
        QCOMPARE(h.log.openEntry("broll"), std::nullopt);
        const LogEntry& closed = h.log.entries().at(1);
        QVERIFY(closed.endTime == h.clock.now() && closed.timecodeOut == h.timecode.timecodeAt(h.clock.now()));
        QVERIFY(!closed.open && closed.summarising && !h.log.entries().at(0).summarising);
        h.log.setSummary(second, QStringLiteral("A wide shot"));
        QVERIFY(!h.log.entries().at(1).summarising);
        h.log.addTag(QStringLiteral("Sync"), first);
        for (int twice = 0; twice < 2; ++twice) {
            h.log.addTag(QStringLiteral("sync"), first);
            h.log.removeTag(QStringLiteral("SYNC"), first);
        }
        h.log.suggest(first, {QStringLiteral("Sync"), QStringLiteral("X")});
        QCOMPARE(h.log.entries().at(0).tags, QStringList({"Sync", "sync", "Sync", "X"}));
        h.log.removeTag(QStringLiteral("Sync"), first);
        h.log.keep(first);
        h.log.keep(first);
        h.log.closeRange(QUuid::createUuid(), QStringLiteral("w"));
        h.log.setSummary(QUuid::createUuid(), QStringLiteral("w"));
        QVERIFY(h.log.entries().at(0).tags == QStringList({"sync", "X"}) && !h.log.entries().at(0).suggested);
        QVERIFY(h.mirror.take() == (News{3, 0, 8, 0, 11}) && h.mirror.ok);
        h.take();
        h.log.setShootToken(std::nullopt);
        h.log.setShootToken(QString());
        h.log.setShootToken(QString());
        QCOMPARE(h.take(), QStringList({"shootToken"}));
    }
};

PINDLE_TEST(TestLoggingLog)
#include "test_logging_log.moc"
