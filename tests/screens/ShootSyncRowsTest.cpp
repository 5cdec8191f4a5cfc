#include "ScreenRig.h"
#include "SentLog.h"
#include "WrittenLines.h"
#include "common/TestMain.h"

#include "audio/TranscriptBook.h"
#include "model/LogButtonKind.h"
#include "model/LogButtonStore.h"
#include "model/LoggingLog.h"
#include "screens/ShootSyncRows.h"

#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

using Text = std::function<QString(const QString&)>;

// The sync as it was built before its rows were kept encoded: every line and marker made a
// QJsonObject on each sync, the body one more. The rows must send exactly this.
struct WholeLogSync {
    std::function<Date()> engineStart;
    std::function<qint64()> runStart;
    const CameraTimecode* camera = nullptr;
    Text speakerName;
    Text buttonLabel;

    static qint64 epochMilliseconds(Date date) { return date.millisecondsSince1970().value_or(0); }

    std::optional<QJsonObject> segment(const DisplaySegment& segment) const
    {
        if (segment.startSecs < 0.0 || segment.endSecs < 0.0)
            return std::nullopt;
        const Date engineStart = this->engineStart();
        const Date start = engineStart.addingSeconds(segment.startSecs);
        QJsonObject out{
            {QStringLiteral("id"), QString::number(runStart()) + u'-' + segment.id},
            {QStringLiteral("text"), segment.text},
            {QStringLiteral("start_ms"), epochMilliseconds(start)},
            {QStringLiteral("end_ms"), epochMilliseconds(engineStart.addingSeconds(segment.endSecs))},
            {QStringLiteral("timecode"), camera->timecodeAt(start)},
            {QStringLiteral("channel"), segment.channel},
        };
        if (segment.speaker)
            out.insert(QStringLiteral("speaker"), speakerName(*segment.speaker));
        const qsizetype pieces = segment.text.split(u' ', Qt::SkipEmptyParts).size();
        if (!segment.words.isEmpty() && pieces == segment.words.size()) {
            QJsonArray words;
            for (const Word& word : segment.words)
                words.append(QJsonObject{
                    {QStringLiteral("text"), word.text()},
                    {QStringLiteral("start_ms"), epochMilliseconds(engineStart.addingSeconds(word.start))},
                    {QStringLiteral("end_ms"), epochMilliseconds(engineStart.addingSeconds(word.end))},
                });
            out.insert(QStringLiteral("words"), words);
        }
        return out;
    }

    QJsonObject marker(const LogEntry& entry) const
    {
        QJsonObject out{
            {QStringLiteral("id"), entry.id.toString(QUuid::WithoutBraces).toUpper()},
            {QStringLiteral("type"), entry.type},
            {QStringLiteral("label"), buttonLabel(entry.type)},
            {QStringLiteral("timecode_in"), entry.timecode},
            {QStringLiteral("start_ms"), epochMilliseconds(entry.time)},
            {QStringLiteral("quote"), entry.highlight},
            {QStringLiteral("summary"), entry.summary},
            {QStringLiteral("note"), entry.note},
            {QStringLiteral("tags"), QJsonArray::fromStringList(entry.tags)},
        };
        if (entry.timecodeOut)
            out.insert(QStringLiteral("timecode_out"), *entry.timecodeOut);
        if (entry.endTime)
            out.insert(QStringLiteral("end_ms"), epochMilliseconds(*entry.endTime));
        if (entry.speaker)
            out.insert(QStringLiteral("speaker"), *entry.speaker);
        return out;
    }

    // The body of one successful sync; `sent` is the shoot's last synced marker ids.
    QJsonObject body(const QList<DisplaySegment>& lines, const QList<LogEntry>& entries, QSet<QString>& sent,
                     std::optional<qint64> offsetMs) const
    {
        QJsonArray segments;
        for (const DisplaySegment& line : lines)
            if (const std::optional<QJsonObject> object = segment(line))
                segments.append(*object);
        QJsonArray markers;
        QSet<QString> current;
        for (const LogEntry& entry : entries) {
            if (entry.open || entry.suggested)
                continue;
            markers.append(marker(entry));
            current.insert(markers.last()[QLatin1String("id")].toString());
        }
        QStringList deleted = (sent - current).values();
        std::sort(deleted.begin(), deleted.end());
        sent = current;
        QJsonObject out{
            {QStringLiteral("segments"), segments},
            {QStringLiteral("markers"), markers},
            {QStringLiteral("deleted_markers"), QJsonArray::fromStringList(deleted)},
        };
        if (offsetMs)
            out.insert(QStringLiteral("tc_offset_ms"), *offsetMs);
        // Through text and back, so that numbers compare as the parsed body's do.
        return QJsonDocument::fromJson(QJsonDocument(out).toJson(QJsonDocument::Compact)).object();
    }
};

// The body a sync of `snapshot` sends, as the cloud's worker joins it.
QJsonObject joinedBody(const LoggerCloud::Snapshot& snapshot, QSet<QString>& sent, std::optional<qint64> offsetMs)
{
    QSet<QString> current;
    for (const QString& id : snapshot.markerIDs)
        if (!id.isEmpty())
            current.insert(id);
    QStringList deleted = (sent - current).values();
    std::sort(deleted.begin(), deleted.end());
    sent = current;
    return screen_test::sentBody(snapshot, deleted, offsetMs);
}

// The blocks of `now` that no longer share their storage with `held`'s: copied or new.
template <typename T> QList<int> copiedBlocks(const SharedBlocks<T>& now, const SharedBlocks<T>& held)
{
    QList<int> copied;
    for (qsizetype row = 0; row < now.size(); row += SharedBlocks<T>::kBlockRows)
        if (row >= held.size() || &now.at(row) != &held.at(row))
            copied.append(int(row / SharedBlocks<T>::kBlockRows));
    return copied;
}

// Where two bodies first part, for a failure message.
QString firstDifference(const QJsonObject& got, const QJsonObject& expected)
{
    for (const QString& key : expected.keys() + got.keys()) {
        const QJsonValue a = got.value(key);
        const QJsonValue b = expected.value(key);
        if (a == b)
            continue;
        if (!a.isArray() || !b.isArray())
            return key;
        const QJsonArray x = a.toArray();
        const QJsonArray y = b.toArray();
        for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
            if (x.at(i) != y.at(i))
                return QStringLiteral("%1[%2] of %3/%4: %5 vs %6")
                    .arg(key)
                    .arg(i)
                    .arg(x.size())
                    .arg(y.size())
                    .arg(QString::fromUtf8(QJsonDocument(x.at(i).toObject()).toJson(QJsonDocument::Compact)),
                         QString::fromUtf8(QJsonDocument(y.at(i).toObject()).toJson(QJsonDocument::Compact)));
        }
    }
    return QStringLiteral("no difference");
}

// What texts on set may hold: quotes, back-slashes, control characters, accents, emoji, a lone
// surrogate half, runs of spaces.
const QStringList& pieces()
{
    static const QStringList all{
        QStringLiteral("camera"),     QStringLiteral("rolling"),   QStringLiteral("\"cut\""),
        QStringLiteral("back\\up"),   QStringLiteral("tab\there"), QStringLiteral("two\nlines"),
        QStringLiteral("bell\a"),     QString(QChar(0x1f)),        QStringLiteral("über"),
        QStringLiteral("\U0001F3AC"), QString(QChar(0xD800)),      QStringLiteral("\u2028"),
        QStringLiteral("</script>"),  QStringLiteral("null"),      QStringLiteral("\u00a0nbsp"),
    };
    return all;
}

QString randomText(QRandomGenerator& rng, int words)
{
    QString text;
    for (int w = 0; w < words; ++w) {
        if (w > 0)
            text += rng.bounded(6) == 0 ? QStringLiteral("  ") : QStringLiteral(" ");
        text += pieces().at(rng.bounded(int(pieces().size())));
    }
    return rng.bounded(8) == 0 ? u' ' + text + u' ' : text;
}

// A desk of its own: transcript book, log, camera clock and buttons, with the rows following them
// the way the logging screen wires them.
struct Desk {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    ManualClock clock{Date::fromSecondsSince1970(1'700'000'000.25)};
    CameraTimecode camera{defaults, &clock};
    LogButtonStore buttons{defaults};
    TranscriptBook book;
    LoggingLog log{camera, &clock};
    Date engineStart = clock.now();
    qint64 runStart = 1'700'000'000;
    QHash<QString, QString> speakerNames;
    int nextLine = 0;

    Text speakerName = [this](const QString& label) { return speakerNames.value(label, label); };
    Text buttonLabel = [this](const QString& kind) {
        const std::optional<LogButton> button = buttons.button(kind);
        return button ? button->name : LogButtonKind::capitalized(kind);
    };
    ShootSyncRows rows{ShootSyncRows::Sources{
        .book = &book,
        .log = &log,
        .camera = &camera,
        .engineStart = [this] { return engineStart; },
        .runStart = [this] { return runStart; },
        .speakerName = speakerName,
        .buttonLabel = buttonLabel,
    }};
    WholeLogSync oracle{[this] { return engineStart; }, [this] { return runStart; }, &camera, speakerName, buttonLabel};

    Desk() { book.clear(engineStart); }

    DisplaySegment line(QRandomGenerator& rng, const QString& id)
    {
        DisplaySegment s;
        s.id = id;
        s.channel = rng.bounded(9) - 1;
        if (rng.bounded(5) > 0)
            s.speaker = QStringLiteral("Channel %1").arg(rng.bounded(4));
        const int words = rng.bounded(7);
        s.text = randomText(rng, words);
        s.startSecs = rng.bounded(12) == 0 ? -1.0 : rng.bounded(36000.0);
        s.endSecs = rng.bounded(12) == 0 ? -1.0 : s.startSecs + rng.bounded(6.0);
        s.firstSeen = engineStart.addingSeconds(rng.bounded(36000.0));
        // Timings for every word, one too few, or none.
        const int timed = rng.bounded(6) == 0 ? std::max(0, words - 1) : rng.bounded(6) == 0 ? 0 : words;
        for (int w = 0; w < timed; ++w)
            s.words.append(Word{pieces().at(rng.bounded(int(pieces().size()))), s.startSecs + w * 0.3,
                                s.startSecs + w * 0.3 + 0.25});
        return s;
    }
    QString newLineId(QRandomGenerator& rng) { return QStringLiteral("%1-%2").arg(rng.bounded(8)).arg(nextLine++); }
    // A line placed at `secs`, a second long.
    DisplaySegment placed(QRandomGenerator& rng, const QString& id, double secs)
    {
        DisplaySegment s = line(rng, id);
        s.startSecs = secs;
        s.endSecs = secs + 1.0;
        return s;
    }
    // The block tests' changes of the lines: "line appended", "line <row>" (its text), "line
    // inserted" (at `insertAt` seconds), "line removed" (row `removedRow`) and "camera" (its
    // offset); false for any other.
    bool changeLines(QRandomGenerator& rng, const QString& change, double insertAt, qsizetype removedRow)
    {
        using namespace Qt::Literals::StringLiterals;
        if (change == "line appended"_L1) {
            book.upsert(QList<DisplaySegment>{placed(rng, QStringLiteral("0-late"), 5000.0)});
        } else if (change.startsWith("line "_L1) && change.back().isDigit()) {
            DisplaySegment changed = book.rows().at(change.mid(5).toInt());
            changed.text += QStringLiteral(" again");
            book.upsert(QList<DisplaySegment>{changed});
        } else if (change == "line inserted"_L1) {
            book.upsert(QList<DisplaySegment>{placed(rng, QStringLiteral("0-early"), insertAt)});
        } else if (change == "line removed"_L1) {
            book.remove({book.rows().at(removedRow).id});
        } else if (change == "camera"_L1) {
            camera.setOffsetFrames(camera.offsetFrames() + 1.0);
        } else {
            return false;
        }
        return true;
    }

    LogEntry entry(QRandomGenerator& rng)
    {
        static const QStringList kinds{QStringLiteral("earmark"), QStringLiteral("broll"), QStringLiteral("funny"),
                                       QStringLiteral("note"), QStringLiteral("custom kind")};
        LogEntry e;
        e.id = QUuid::createUuid();
        e.type = kinds.at(rng.bounded(int(kinds.size())));
        e.time = engineStart.addingSeconds(rng.bounded(36000.0));
        e.timecode = camera.timecodeAt(e.time);
        if (rng.bounded(3) == 0) {
            e.endTime = e.time.addingSeconds(rng.bounded(30.0));
            e.timecodeOut = camera.timecodeAt(*e.endTime);
        }
        e.highlight = randomText(rng, rng.bounded(5));
        e.summary = randomText(rng, rng.bounded(4));
        e.note = rng.bounded(2) ? randomText(rng, 2) : QString();
        for (int t = rng.bounded(3); t > 0; --t)
            e.tags.append(randomText(rng, 1));
        if (rng.bounded(2))
            e.speaker = QStringLiteral("Channel %1").arg(rng.bounded(4));
        e.open = rng.bounded(6) == 0;
        e.suggested = rng.bounded(6) == 0;
        return e;
    }

    [[nodiscard]] std::optional<QString> someLineId(QRandomGenerator& rng) const
    {
        if (book.size() == 0)
            return std::nullopt;
        return book.rows().at(rng.bounded(int(book.size()))).id;
    }
    [[nodiscard]] std::optional<QUuid> someEntry(QRandomGenerator& rng) const
    {
        if (log.entries().isEmpty())
            return std::nullopt;
        return log.entries().at(rng.bounded(int(log.entries().size()))).id;
    }

    // One random change of whatever the sync reads.
    QString change(QRandomGenerator& rng)
    {
        switch (rng.bounded(17)) {
        case 0:
        case 1:
        case 2: {
            QList<DisplaySegment> fresh;
            for (int n = 1 + rng.bounded(4); n > 0; --n)
                fresh.append(line(rng, newLineId(rng)));
            book.upsert(fresh);
            return QStringLiteral("new lines");
        }
        case 3:
        case 4:
            if (const auto id = someLineId(rng)) {
                DisplaySegment changed = book.rows().at(*book.rowOf(*id));
                const DisplaySegment other = line(rng, *id);
                changed.text = other.text;
                changed.words = other.words;
                changed.speaker = other.speaker;
                book.upsert(QList<DisplaySegment>{changed});
            }
            return QStringLiteral("changed line");
        case 5:
            if (const auto id = someLineId(rng))
                book.upsert(QList<DisplaySegment>{line(rng, *id)});
            return QStringLiteral("moved line");
        case 6: {
            QStringList gone;
            const int count = rng.bounded(8) == 0 ? int(book.size()) / 2 : 1 + rng.bounded(3);
            for (int n = 0; n < count; ++n)
                if (const auto id = someLineId(rng))
                    gone.append(*id);
            book.remove(gone);
            return QStringLiteral("lines removed");
        }
        case 7:
            if (rng.bounded(2)) {
                engineStart = engineStart.addingSeconds(60.0 + rng.bounded(600.0));
                ++runStart;
                book.clear(engineStart);
                return QStringLiteral("new run");
            } else {
                QList<DisplaySegment> kept;
                for (const DisplaySegment& s : book.rows())
                    if (rng.bounded(3) > 0)
                        kept.append(s);
                kept.append(line(rng, newLineId(rng)));
                book.replaceAll(kept);
                return QStringLiteral("transcript replaced");
            }
        case 8:
        case 9:
            log.appendEntry(entry(rng));
            return QStringLiteral("marker added");
        case 10:
            if (const auto id = someEntry(rng)) {
                switch (rng.bounded(6)) {
                case 0:
                    log.setNote(*id, randomText(rng, 3));
                    break;
                case 1:
                    log.setSummary(*id, randomText(rng, 4));
                    break;
                case 2:
                    log.addTag(randomText(rng, 1), *id);
                    break;
                case 3:
                    log.removeTag(log.entries().at(*log.entryRowOf(*id)).tags.value(0), *id);
                    break;
                case 4:
                    log.keep(*id);
                    break;
                default:
                    log.closeRange(*id, randomText(rng, 2));
                    break;
                }
            }
            return QStringLiteral("marker edited");
        case 11:
            if (rng.bounded(4) > 0) {
                if (const auto id = someEntry(rng))
                    log.removeEntry(*id);
                return QStringLiteral("marker removed");
            } else {
                QList<LogEntry> entries = log.entries().toList();
                std::shuffle(entries.begin(), entries.end(), rng);
                if (!entries.isEmpty() && rng.bounded(2))
                    entries.removeLast();
                log.setEntries(entries);
                return QStringLiteral("markers reordered");
            }
        case 12:
            if (rng.bounded(3) == 0) {
                log.reset();
                return QStringLiteral("log reset");
            } else {
                LogSession session = log.snapshotSession();
                session.entries.append(entry(rng));
                log.load(session);
                return QStringLiteral("log loaded");
            }
        case 13: {
            const QString label = QStringLiteral("Channel %1").arg(rng.bounded(4));
            if (rng.bounded(4) == 0)
                speakerNames.remove(label);
            else
                speakerNames.insert(label, randomText(rng, 1 + rng.bounded(2)));
            return QStringLiteral("speaker renamed");
        }
        case 14: {
            const QList<LogButton> all = buttons.buttons();
            buttons.rename(all.at(rng.bounded(int(all.size()))).kind, randomText(rng, rng.bounded(3)));
            return QStringLiteral("button renamed");
        }
        case 15:
            switch (rng.bounded(4)) {
            case 0:
                camera.setOffsetFrames(rng.bounded(100000.0) - 50000.0);
                break;
            case 1:
                camera.setTzOffsetSeconds(rng.bounded(2 * 50400) - 50400);
                break;
            case 2: {
                const QList<CameraTimecode::Format>& formats = CameraTimecode::menuFormats();
                camera.setFormat(formats.at(rng.bounded(int(formats.size()))));
                break;
            }
            default:
                camera.setSource(CameraTimecode::Camera{clock.now(), false});
                break;
            }
            return QStringLiteral("camera changed");
        default:
            if (rng.bounded(2))
                engineStart = engineStart.addingSeconds(0.5);
            else
                ++runStart;
            return QStringLiteral("run start moved");
        }
    }

    [[nodiscard]] QJsonObject expected(QSet<QString>& sent) const
    {
        return oracle.body(book.rows(), log.entries().toList(), sent, camera.offsetMilliseconds());
    }
};

// A logging screen on lines the test writes, for the rows as the screen wires them.
struct WrittenRig : screen_test::RigParts {
    WrittenRig() : RigParts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 100)
    {
        LoggingScreenEnvironment env = environment(false);
        env.transcriber.makeStream = [this](const StreamRequest& request) {
            stream = std::make_shared<screen_test::WrittenLines>(request.channel);
            return stream;
        };
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        screen->appear();
    }

    bool put(const QString& id, const QString& text, double start, const std::optional<QString>& speaker)
    {
        DisplaySegment line;
        line.id = id;
        line.text = text;
        line.startSecs = start;
        line.endSecs = start + 0.5;
        line.speaker = speaker;
        line.channel = -1;
        line.firstSeen = clock.now();
        const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
        for (qsizetype w = 0; w < words.size(); ++w)
            line.words.append(Word{words.at(w), start + double(w) * 0.1, start + double(w) * 0.1 + 0.05});
        const qsizetype before = screen->transcriber().segments().size();
        stream->put(line);
        return QTest::qWaitFor([&] { return screen->transcriber().segments().size() > before; }, 2000);
    }

    [[nodiscard]] QJsonObject expected(QSet<QString>& sent)
    {
        LoggingScreenModel* s = screen.get();
        const WholeLogSync oracle{[s] { return s->transcriber().engineStart(); }, [s] { return s->runStart(); },
                                  &camera, [s](const QString& label) { return s->displayedSpeaker(label); },
                                  [s](const QString& kind) { return s->buttonLabel(kind); }};
        return oracle.body(s->transcriber().segments(), s->log().entries().toList(), sent, camera.offsetMilliseconds());
    }

    std::shared_ptr<screen_test::WrittenLines> stream;
    std::unique_ptr<LoggingScreenModel> screen;
};

} // namespace

// The shoot sync's encoded rows: what a sync sends after any change equals the whole log built
// anew, and a snapshot encodes only what changed.
class ShootSyncRowsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Random changes of every kind the sync reads, each followed by a sync.
    void sendsWhatTheWholeLogWould_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("lines"); // before the first sync
        QTest::addColumn<int>("markers");
        QTest::addColumn<int>("steps");
        QTest::newRow("empty start, seed 1") << 1u << 0 << 0 << 400;
        QTest::newRow("empty start, seed 2") << 2u << 0 << 0 << 400;
        QTest::newRow("long log, seed 3") << 3u << 300 << 40 << 200;
        QTest::newRow("long log, seed 4") << 4u << 300 << 40 << 200;
        QTest::newRow("many markers, seed 5") << 5u << 20 << 150 << 200;
        // Long enough that settled blocks are packed, and changes reach them.
        QTest::newRow("packed log, seed 6") << 6u << 1300 << 20 << 60;
    }
    void sendsWhatTheWholeLogWould()
    {
        QFETCH(quint32, seed);
        QFETCH(int, lines);
        QFETCH(int, markers);
        QFETCH(int, steps);
        QRandomGenerator rng(seed);
        auto desk = std::make_unique<Desk>();
        QList<DisplaySegment> first;
        for (int n = 0; n < lines; ++n)
            first.append(desk->line(rng, desk->newLineId(rng)));
        desk->book.upsert(first);
        for (int n = 0; n < markers; ++n)
            desk->log.appendEntry(desk->entry(rng));

        QSet<QString> sentByRows;
        QSet<QString> sentWhole;
        for (int step = 0; step <= steps; ++step) {
            // Several changes may come between two syncs.
            QStringList changes;
            for (int n = step == 0 ? 0 : 1 + rng.bounded(3); n > 0; --n)
                changes.append(desk->change(rng));
            const LoggerCloud::Snapshot snapshot = desk->rows.snapshot();
            const QJsonObject got = joinedBody(snapshot, sentByRows, desk->camera.offsetMilliseconds());
            const QJsonObject expected = desk->expected(sentWhole);
            QVERIFY2(got == expected,
                     qPrintable(QStringLiteral("step %1 after %2: %3")
                                    .arg(step)
                                    .arg(changes.join(QStringLiteral(", ")), firstDifference(got, expected))));
            // Nothing changed since: nothing is encoded again.
            (void)desk->rows.snapshot();
            QCOMPARE(desk->rows.lastEncoded(), 0);
        }
    }

    // A snapshot after one change encodes the rows that change touched and no others.
    void encodesOnlyWhatChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("encoded"); // -1: every line; -2: the lines of "Channel 1"; -3: the "funny" markers
        QTest::newRow("nothing") << "nothing" << 0;
        QTest::newRow("a new line") << "new line" << 1;
        QTest::newRow("a line's text") << "line text" << 1;
        QTest::newRow("a line moved") << "line moved" << 1;
        QTest::newRow("a line removed") << "line removed" << 0;
        QTest::newRow("a marker's note") << "marker note" << 1;
        QTest::newRow("a marker added") << "marker added" << 1;
        QTest::newRow("a marker removed") << "marker removed" << 0;
        QTest::newRow("a speaker renamed") << "speaker" << -2;
        QTest::newRow("a speaker named as before") << "same speaker name" << 0;
        QTest::newRow("a button renamed") << "button" << -3;
        QTest::newRow("the camera's offset") << "camera" << -1;
        QTest::newRow("a camera source without a new offset") << "camera source" << 0;
        QTest::newRow("the run start") << "run start" << -1;
    }
    void encodesOnlyWhatChanged()
    {
        QFETCH(QString, change);
        QFETCH(int, encoded);
        QRandomGenerator rng(7);
        auto desk = std::make_unique<Desk>();
        QList<DisplaySegment> lines;
        for (int n = 0; n < 60; ++n) {
            DisplaySegment line = desk->line(rng, QStringLiteral("0-%1").arg(n));
            line.startSecs = n * 2.0;
            line.endSecs = line.startSecs + 1.0;
            line.speaker = QStringLiteral("Channel %1").arg(n % 3);
            lines.append(line);
        }
        desk->book.upsert(lines);
        const QStringList kinds{QStringLiteral("funny"), QStringLiteral("earmark")};
        for (int n = 0; n < 10; ++n) {
            LogEntry entry = desk->entry(rng);
            entry.type = kinds.at(n % 2);
            desk->log.appendEntry(entry);
        }
        desk->speakerNames.insert(QStringLiteral("Channel 1"), QStringLiteral("Ada"));
        (void)desk->rows.snapshot();
        QCOMPARE(desk->rows.lastEncoded(), 70);

        const QUuid entry = desk->log.entries().at(4).id;
        if (change == "new line"_L1) {
            desk->book.upsert(QList<DisplaySegment>{desk->line(rng, QStringLiteral("1-new"))});
        } else if (change == "line text"_L1) {
            DisplaySegment line = desk->book.rows().at(30);
            line.text += QStringLiteral(" again");
            desk->book.upsert(QList<DisplaySegment>{line});
        } else if (change == "line moved"_L1) {
            DisplaySegment line = desk->book.rows().at(30);
            line.startSecs = 500.0;
            desk->book.upsert(QList<DisplaySegment>{line});
        } else if (change == "line removed"_L1) {
            desk->book.remove({desk->book.rows().at(30).id});
        } else if (change == "marker note"_L1) {
            desk->log.setNote(entry, QStringLiteral("keep"));
        } else if (change == "marker added"_L1) {
            desk->log.appendEntry(desk->entry(rng));
        } else if (change == "marker removed"_L1) {
            desk->log.removeEntry(entry);
        } else if (change == "speaker"_L1) {
            desk->speakerNames.insert(QStringLiteral("Channel 1"), QStringLiteral("Grace"));
        } else if (change == "same speaker name"_L1) {
            desk->speakerNames.insert(QStringLiteral("Channel 1"), QStringLiteral("Ada"));
        } else if (change == "button"_L1) {
            desk->buttons.rename(QStringLiteral("funny"), QStringLiteral("Laugh"));
        } else if (change == "camera"_L1) {
            desk->camera.setOffsetFrames(desk->camera.offsetFrames() + 1.0);
        } else if (change == "camera source"_L1) {
            desk->camera.setSource(CameraTimecode::Camera{desk->clock.now(), true});
        } else if (change == "run start"_L1) {
            ++desk->runStart;
        }

        QSet<QString> sent;
        QSet<QString> sentWhole;
        const LoggerCloud::Snapshot snapshot = desk->rows.snapshot();
        const int lineCount = int(desk->book.size());
        const int expectedCount = encoded == -1 ? lineCount : encoded == -2 ? 20 : encoded == -3 ? 5 : encoded;
        QCOMPARE(desk->rows.lastEncoded(), expectedCount);
        QCOMPARE(joinedBody(snapshot, sent, desk->camera.offsetMilliseconds()), desk->expected(sentWhole));
    }

    // The catch-up between syncs: its turns, run between random changes, leave each sync sending
    // exactly what the whole log would; after a new camera format it encodes a turn's worth of
    // lines per turn of the event loop, and once it has run out a sync has nothing left to encode.
    void catchUpLeavesTheSyncNothingToDo_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("markers");
        QTest::newRow("a turn's worth less one") << 21u << int(ShootSyncRows::kCatchUpRows) - 1 << 0;
        QTest::newRow("a turn's worth, with markers") << 22u << int(ShootSyncRows::kCatchUpRows) << 30;
        QTest::newRow("several turns") << 23u << int(ShootSyncRows::kCatchUpRows) * 5 / 2 << 60;
    }
    void catchUpLeavesTheSyncNothingToDo()
    {
        QFETCH(quint32, seed);
        QFETCH(int, lines);
        QFETCH(int, markers);
        QRandomGenerator rng(seed);
        auto desk = std::make_unique<Desk>();
        QList<DisplaySegment> first;
        for (int n = 0; n < lines; ++n) {
            DisplaySegment line = desk->line(rng, desk->newLineId(rng));
            std::tie(line.startSecs, line.endSecs) = std::pair(n * 2.0, n * 2.0 + 1.0);
            first.append(line);
        }
        desk->book.upsert(first);
        for (int n = 0; n < markers; ++n)
            desk->log.appendEntry(desk->entry(rng));
        (void)desk->rows.snapshot();

        QSet<QString> sentByRows;
        QSet<QString> sentWhole;
        for (int step = 0; step < 30; ++step) {
            QStringList changes;
            for (int n = 1 + rng.bounded(3); n > 0; --n)
                changes.append(desk->change(rng));
            desk->rows.catchUp();
            for (int turns = rng.bounded(4); turns > 0; --turns)
                QCoreApplication::processEvents();
            const QJsonObject got = joinedBody(desk->rows.snapshot(), sentByRows, desk->camera.offsetMilliseconds());
            const QJsonObject expected = desk->expected(sentWhole);
            QVERIFY2(got == expected,
                     qPrintable(QStringLiteral("step %1 after %2: %3")
                                    .arg(step)
                                    .arg(changes.join(QStringLiteral(", ")), firstDifference(got, expected))));
        }

        const QList<CameraTimecode::Format>& formats = CameraTimecode::menuFormats();
        const qsizetype format = formats.indexOf(desk->camera.format());
        desk->camera.setFormat(formats.at((format + 1) % formats.size()));
        QCoreApplication::processEvents();
        const qsizetype rows = desk->book.size();
        (void)desk->rows.snapshot();
        QCOMPARE(desk->rows.lastEncoded(), std::max<qsizetype>(0, rows - ShootSyncRows::kCatchUpRows));

        desk->camera.setFormat(formats.at((format + 2) % formats.size()));
        for (qsizetype turn = 0; turn <= rows / ShootSyncRows::kCatchUpRows + 1; ++turn)
            QCoreApplication::processEvents();
        const LoggerCloud::Snapshot last = desk->rows.snapshot();
        QCOMPARE(desk->rows.lastEncoded(), 0);
        QCOMPARE(joinedBody(last, sentByRows, desk->camera.offsetMilliseconds()), desk->expected(sentWhole));
    }

    // A snapshot shares the encoded rows: taking one copies no bytes, and a later change leaves
    // the pieces an earlier snapshot holds as they were.
    void snapshotsShareTheirBytes()
    {
        QRandomGenerator rng(11);
        auto desk = std::make_unique<Desk>();
        QList<DisplaySegment> lines;
        for (int n = 0; n < 20; ++n) {
            DisplaySegment line = desk->line(rng, QStringLiteral("0-%1").arg(n));
            line.startSecs = n;
            line.endSecs = n + 0.5;
            lines.append(line);
        }
        desk->book.upsert(lines);
        desk->log.appendEntry(desk->entry(rng));
        const LoggerCloud::Snapshot first = desk->rows.snapshot();
        const LoggerCloud::Snapshot again = desk->rows.snapshot();
        QCOMPARE(&again.segments.at(0), &first.segments.at(0));
        QCOMPARE(&again.markers.at(0), &first.markers.at(0));

        const QByteArray firstLine = first.segments.at(0);
        DisplaySegment changed = desk->book.rows().at(0);
        changed.text = QStringLiteral("changed");
        changed.words.clear();
        desk->book.upsert(QList<DisplaySegment>{changed});
        desk->book.upsert(QList<DisplaySegment>{desk->line(rng, QStringLiteral("0-late"))});
        const LoggerCloud::Snapshot later = desk->rows.snapshot();
        QCOMPARE(first.segments.at(0), firstLine);
        QVERIFY(later.segments.at(0) != firstLine);
        for (qsizetype row = 1; row < first.segments.size(); ++row) {
            const qsizetype now = *desk->book.rowOf(desk->book.rows().at(row).id);
            QCOMPARE(later.segments.at(now).constData(), first.segments.at(row).constData());
        }
    }

    // A snapshot the worker still holds sends what it held whatever changes next, and the change
    // copies only the blocks of the rows it touched (an insertion or removal moves the rows after).
    void heldSnapshotKeepsItsBody_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QList<int>>("lineBlocks");   // copied, of 700 lines: 256 + 256 + 188
        QTest::addColumn<QList<int>>("markerBlocks"); // copied, of 300 markers: 256 + 44
        QTest::newRow("a line appended") << "line appended" << QList<int>{2} << QList<int>{};
        QTest::newRow("a line's text, first block") << "line 10" << QList<int>{0} << QList<int>{};
        QTest::newRow("a line's text, middle block") << "line 300" << QList<int>{1} << QList<int>{};
        QTest::newRow("a line inserted early") << "line inserted" << QList<int>{0, 1, 2} << QList<int>{};
        QTest::newRow("a block's first line removed") << "line removed" << QList<int>{1, 2} << QList<int>{};
        QTest::newRow("a marker's note") << "marker note" << QList<int>{} << QList<int>{0};
        QTest::newRow("a marker appended") << "marker appended" << QList<int>{} << QList<int>{1};
        QTest::newRow("a marker removed") << "marker removed" << QList<int>{} << QList<int>{0, 1};
        QTest::newRow("the camera's offset") << "camera" << QList<int>{0, 1, 2} << QList<int>{};
        QTest::newRow("a new run") << "new run" << QList<int>{} << QList<int>{};
    }
    void heldSnapshotKeepsItsBody()
    {
        QFETCH(QString, change);
        QFETCH(QList<int>, lineBlocks);
        QFETCH(QList<int>, markerBlocks);
        QRandomGenerator rng(13);
        auto desk = std::make_unique<Desk>();
        const auto sentEntry = [&] {
            LogEntry entry = desk->entry(rng);
            entry.open = entry.suggested = false;
            return entry;
        };
        QList<DisplaySegment> lines;
        for (int n = 0; n < 700; ++n)
            lines.append(desk->placed(rng, QStringLiteral("0-%1").arg(n), n * 2.0));
        desk->book.upsert(lines);
        for (int n = 0; n < 300; ++n)
            desk->log.appendEntry(sentEntry());
        QSet<QString> sent;
        QSet<QString> sentWhole;
        const LoggerCloud::Snapshot held = desk->rows.snapshot();
        const QByteArray heldBody = LoggerCloud::syncBody(held, {}, 40);
        QCOMPARE(joinedBody(held, sent, desk->camera.offsetMilliseconds()), desk->expected(sentWhole));

        const QUuid fifth = desk->log.entries().at(5).id;
        const bool linesChanged = desk->changeLines(rng, change, 21.0, 256);
        if (linesChanged) {
            // Done above.
        } else if (change == "marker note"_L1) {
            desk->log.setNote(fifth, QStringLiteral("for the trailer"));
        } else if (change == "marker appended"_L1) {
            desk->log.appendEntry(sentEntry());
        } else if (change == "marker removed"_L1) {
            desk->log.removeEntry(fifth);
        } else {
            desk->engineStart = desk->engineStart.addingSeconds(600.0);
            ++desk->runStart;
            desk->book.clear(desk->engineStart);
        }

        const LoggerCloud::Snapshot later = desk->rows.snapshot();
        QCOMPARE(LoggerCloud::syncBody(held, {}, 40), heldBody);
        QCOMPARE(joinedBody(later, sent, desk->camera.offsetMilliseconds()), desk->expected(sentWhole));
        QCOMPARE(copiedBlocks(later.segments, held.segments), lineBlocks);
        QCOMPARE(copiedBlocks(later.markers, held.markers), markerBlocks);
        for (const int block : copiedBlocks(later.markerIDs, held.markerIDs))
            QVERIFY(markerBlocks.contains(block));
    }

    // Settled blocks of lines are held packed, each as one run of bytes; a change that reaches one
    // encodes its rows again, the rows after an insertion or removal too, and packs them again.
    // What is sent is always the whole log, and a snapshot held across the change keeps its body.
    void settledBlocksArePacked_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("encoded"); // of 1300 lines, blocks 0-2 packed, the newest 532 rows not
        QTest::newRow("nothing") << "nothing" << 0;
        QTest::newRow("a line's text, packed block") << "line 10" << 256;
        QTest::newRow("a line's text, open rows") << "line 900" << 1;
        QTest::newRow("a line appended") << "line appended" << 1;
        QTest::newRow("a line inserted early") << "line inserted" << 769;
        QTest::newRow("a line removed from the second block") << "line removed" << 511;
        QTest::newRow("the camera's offset") << "camera" << 1300;
    }
    void settledBlocksArePacked()
    {
        QFETCH(QString, change);
        QFETCH(int, encoded);
        QRandomGenerator rng(17);
        auto desk = std::make_unique<Desk>();
        QList<DisplaySegment> lines;
        for (int n = 0; n < 1300; ++n)
            lines.append(desk->placed(rng, QStringLiteral("0-%1").arg(n), n * 2.0));
        desk->book.upsert(lines);
        const auto packedBlocks = [](const LoggerCloud::Snapshot& snapshot) {
            QList<int> blocks;
            for (int block = 0; block < snapshot.packedSegments.size(); ++block)
                if (!snapshot.packedSegments.at(block).isEmpty())
                    blocks.append(block);
            return blocks;
        };
        QSet<QString> sent;
        QSet<QString> sentWhole;
        const LoggerCloud::Snapshot held = desk->rows.snapshot();
        QCOMPARE(packedBlocks(held), (QList<int>{0, 1, 2}));
        for (qsizetype row = 0; row < 3 * SharedBlocks<QByteArray>::kBlockRows; ++row)
            QVERIFY(held.segments.at(row).isEmpty());
        const QByteArray heldBody = LoggerCloud::syncBody(held, {}, 40);
        QCOMPARE(joinedBody(held, sent, desk->camera.offsetMilliseconds()), desk->expected(sentWhole));

        desk->changeLines(rng, change, 41.0, 300);

        const LoggerCloud::Snapshot later = desk->rows.snapshot();
        QCOMPARE(desk->rows.lastEncoded(), encoded);
        QCOMPARE(packedBlocks(later), (QList<int>{0, 1, 2}));
        QCOMPARE(LoggerCloud::syncBody(held, {}, 40), heldBody);
        QCOMPARE(joinedBody(later, sent, desk->camera.offsetMilliseconds()), desk->expected(sentWhole));
    }

    // The screen's own wiring: its engine's lines, its log, its speaker names, its buttons, its
    // camera and its runs reach the snapshot as the whole log built anew would send them.
    void screenSendsWhatItShows_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("speaker renamed") << "speaker";
        QTest::newRow("button renamed") << "button";
        QTest::newRow("camera locked to a typed timecode") << "camera";
        QTest::newRow("a new run") << "run";
        QTest::newRow("entry note and removal") << "entries";
    }
    void screenSendsWhatItShows()
    {
        QFETCH(QString, change);
        WrittenRig r;
        r.screen->transcriber().start();
        QVERIFY(QTest::qWaitFor([&] { return r.stream != nullptr; }, 2000));
        QVERIFY(r.put(QStringLiteral("L1"), QStringLiteral("rolling on three"), 1.0, QStringLiteral("Boom")));
        QVERIFY(r.put(QStringLiteral("L2"), QStringLiteral("and action"), 2.0, std::nullopt));
        r.screen->tapButton(screen_test::Rig::button(QStringLiteral("funny"), 10));
        r.screen->tapButton(screen_test::Rig::button(QStringLiteral("earmark"), 10));

        QSet<QString> sent;
        QSet<QString> sentWhole;
        const auto sync = [&] {
            return std::pair(joinedBody(r.screen->cloudSnapshot(), sent, r.camera.offsetMilliseconds()),
                             r.expected(sentWhole));
        };
        auto [got, expected] = sync();
        QCOMPARE(got, expected);
        QCOMPARE(got.value("segments"_L1).toArray().size(), 2);
        const QJsonObject before = got;

        if (change == "speaker"_L1) {
            r.screen->setRenamingSpeaker(QStringLiteral("Boom"));
            r.screen->renameText = QStringLiteral("Ada \"boom\" Op");
            r.screen->saveSpeakerName();
        } else if (change == "button"_L1) {
            r.screen->buttons().rename(QStringLiteral("funny"), QStringLiteral("Laugh \\ \"it\""));
        } else if (change == "camera"_L1) {
            r.screen->tcDraft = QStringLiteral("14:00:00:00");
            QVERIFY(r.screen->lockTypedTimecode());
        } else if (change == "run"_L1) {
            r.screen->transcriber().stop();
            r.clock.advance(std::chrono::seconds(5));
            r.screen->transcriber().start();
            QVERIFY(QTest::qWaitFor([&] { return r.screen->transcriber().running(); }, 2000));
            QVERIFY(r.put(QStringLiteral("L3"), QStringLiteral("new run"), 0.5, std::nullopt));
        } else {
            const QList<LogEntry> entries = r.screen->log().entries().toList();
            r.screen->log().setNote(entries.at(0).id, QStringLiteral("for the trailer"));
            r.screen->log().removeEntry(entries.at(1).id);
        }
        std::tie(got, expected) = sync();
        QVERIFY2(got == expected, qPrintable(firstDifference(got, expected)));
        QVERIFY(got != before);
    }
};

PINDLE_TEST(ShootSyncRowsTest)
#include "ShootSyncRowsTest.moc"
