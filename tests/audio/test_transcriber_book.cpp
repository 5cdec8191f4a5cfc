#include "common/TestMain.h"

#include "audio/SegmentOrder.h"
#include "audio/TranscriptBook.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace {

const Date kStart = Date::fromSecondsSince1970(1'700'000'000.0);

DisplaySegment line(const QString& id, int channel, double startSecs, double firstSeenOffset = 0.0,
                    const QString& text = QStringLiteral("words"))
{
    DisplaySegment s;
    s.id = id;
    s.channel = channel;
    s.text = text;
    s.startSecs = startSecs;
    s.endSecs = startSecs >= 0.0 ? startSecs + 1.0 : -1.0;
    s.firstSeen = kStart.addingSeconds(firstSeenOffset);
    return s;
}

QStringList idsOf(const QList<DisplaySegment>& rows)
{
    QStringList out;
    for (const DisplaySegment& s : rows) {
        out.append(s.id);
    }
    return out;
}

// Writes down every signal of a book, and keeps a copy of its rows built only from the signals,
// the way a list view's model would.
struct Mirror : QObject {
    const TranscriptBook& book;
    QList<DisplaySegment> rows;
    QStringList log;
    int pendingInsert = -1;

    explicit Mirror(const TranscriptBook& b) : book(b), rows(b.rows())
    {
        connect(&book, &TranscriptBook::rowsAboutToBeInserted, this, [this](int first, int last) {
            QCOMPARE_LE(first, rows.size());
            pendingInsert = first;
            Q_UNUSED(last);
        });
        connect(&book, &TranscriptBook::rowsInserted, this, [this](int first, int last) {
            QCOMPARE(first, pendingInsert);
            for (int row = first; row <= last; ++row) {
                rows.insert(row, book.rows().at(row));
            }
            log.append(QStringLiteral("ins %1-%2").arg(first).arg(last));
        });
        connect(&book, &TranscriptBook::rowsAboutToBeRemoved, this, [this](int first, int last) {
            // Still there when announced.
            QCOMPARE(book.rows().at(first).id, rows.at(first).id);
            QCOMPARE(book.rows().at(last).id, rows.at(last).id);
        });
        connect(&book, &TranscriptBook::rowsRemoved, this, [this](int first, int last) {
            rows.remove(first, last - first + 1);
            log.append(QStringLiteral("rem %1-%2").arg(first).arg(last));
        });
        connect(&book, &TranscriptBook::rowsChanged, this, [this](int first, int last) {
            for (int row = first; row <= last; ++row) {
                QCOMPARE(rows.at(row).id, book.rows().at(row).id);
                rows[row] = book.rows().at(row);
            }
            log.append(QStringLiteral("chg %1-%2").arg(first).arg(last));
        });
        connect(&book, &TranscriptBook::wasReset, this, [this] {
            rows = book.rows();
            log.append(QStringLiteral("reset"));
        });
        connect(&book, &TranscriptBook::contentChanged, this, [this] { log.append(QStringLiteral("changed")); });
    }
    QStringList take() { return std::exchange(log, {}); }
};

} // namespace

class TranscriberBookTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The rules themselves are the order's own table; here, that the book applies them whether
    // lines come one by one or all at once.
    void orderByMoment_data()
    {
        QTest::addColumn<QList<DisplaySegment>>("lines");
        QTest::addColumn<QStringList>("order");

        // The mixed comparison of old was no order at all: untimed lines sat by when they were
        // seen and timed ones by their start, each against its own kind only.
        QTest::newRow("timed and untimed mix by one key")
            << QList<DisplaySegment>{line("t5", 0, 5.0), line("u3", 1, -1.0, 3.0), line("t2", 2, 2.0),
                                     line("u6", 0, -1.0, 6.0)}
            << QStringList{"t2", "u3", "t5", "u6"};
        QTest::newRow("infinite start sorts last")
            << QList<DisplaySegment>{line("inf", 0, std::numeric_limits<double>::infinity()), line("t", 0, 9e9)}
            << QStringList{"t", "inf"};
    }
    void orderByMoment()
    {
        QFETCH(QList<DisplaySegment>, lines);
        QFETCH(QStringList, order);
        TranscriptBook one;
        one.clear(kStart);
        for (const DisplaySegment& s : lines) {
            one.upsert(QList<DisplaySegment>{s});
        }
        QCOMPARE(idsOf(one.rows()), order);

        TranscriptBook all;
        all.clear(kStart);
        all.replaceAll(lines);
        QCOMPARE(idsOf(all.rows()), order);
        for (qsizetype row = 0; row < order.size(); ++row) {
            QCOMPARE(all.rowOf(order.at(row)), std::optional<qsizetype>(row));
        }
        QCOMPARE(all.rowOf(QStringLiteral("missing")), std::nullopt);
    }

    void rowSignals()
    {
        TranscriptBook book;
        book.clear(kStart);
        Mirror mirror(book);

        book.upsert(QList<DisplaySegment>{line("a", 0, 1.0), line("c", 0, 3.0)});
        QCOMPARE(mirror.take(), (QStringList{"ins 0-0", "ins 1-1", "changed"}));

        // A line that arrived late lands between the others.
        book.upsert(QList<DisplaySegment>{line("b", 1, 2.0)});
        QCOMPARE(mirror.take(), (QStringList{"ins 1-1", "changed"}));

        // The same line again announces nothing.
        QCOMPARE(book.upsert(QList<DisplaySegment>{line("b", 1, 2.0)}), QStringList{});
        QCOMPARE(mirror.take(), QStringList{});

        // New text in place.
        QCOMPARE(book.upsert(QList<DisplaySegment>{line("b", 1, 2.0, 0.0, "more words")}), QStringList{"b"});
        QCOMPARE(mirror.take(), (QStringList{"chg 1-1", "changed"}));

        // A new start that keeps it between its neighbours.
        book.upsert(QList<DisplaySegment>{line("b", 1, 2.5)});
        QCOMPARE(mirror.take(), (QStringList{"chg 1-1", "changed"}));

        // A new start that moves it past "c".
        book.upsert(QList<DisplaySegment>{line("b", 1, 4.0)});
        QCOMPARE(mirror.take(), (QStringList{"rem 1-1", "ins 2-2", "changed"}));
        QCOMPARE(idsOf(book.rows()), (QStringList{"a", "c", "b"}));

        book.upsert(QList<DisplaySegment>{line("d", 0, 5.0), line("e", 0, 6.0), line("f", 0, 7.0)});
        mirror.take();
        // Removals go from the end, one per run of rows.
        QCOMPARE(book.remove({"a", "e", "d", "nope", "a"}), 3);
        QCOMPARE(mirror.take(), (QStringList{"rem 3-4", "rem 0-0", "changed"}));
        QCOMPARE(book.remove({"nope"}), 0);
        QCOMPARE(mirror.take(), QStringList{});
        QCOMPARE(mirror.rows, book.rows());

        book.clear(kStart.addingSeconds(60));
        QCOMPARE(mirror.take(), (QStringList{"reset", "changed"}));
        QCOMPARE(book.size(), 0);
        book.clear(kStart);
        QCOMPARE(mirror.take(), QStringList{});
    }

    void scatteredRemovalIsOneReset()
    {
        TranscriptBook book;
        book.clear(kStart);
        QList<DisplaySegment> lines;
        QStringList everyOther;
        for (int i = 0; i < 200; ++i) {
            lines.append(line(QStringLiteral("L%1").arg(i), i % 2, double(i)));
            if (i % 2) {
                everyOther.append(lines.last().id);
            }
        }
        book.upsert(lines);
        Mirror mirror(book);
        book.remove(everyOther);
        QCOMPARE(mirror.take(), (QStringList{"reset", "changed"}));
        QCOMPARE(book.size(), 100);
        QCOMPARE(mirror.rows, book.rows());
        QCOMPARE(book.rowOf(QStringLiteral("L2")), std::optional<qsizetype>(1));
        QCOMPARE(book.rowOf(QStringLiteral("L3")), std::nullopt);
    }

    void replaceAllAnnouncesOnlyDifferences()
    {
        TranscriptBook book;
        book.clear(kStart);
        book.upsert(QList<DisplaySegment>{line("a", 0, 1.0), line("b", 1, 2.0), line("c", 0, 3.0)});
        Mirror mirror(book);
        // "b"'s stream closed; "c" got new text; "d" is new.
        const QStringList touched =
            book.replaceAll({line("a", 0, 1.0), line("c", 0, 3.0, 0.0, "new"), line("d", 0, 4.0)});
        QCOMPARE(touched, (QStringList{"c", "d"}));
        QCOMPARE(mirror.take(), (QStringList{"rem 1-1", "chg 1-1", "ins 2-2", "changed"}));
        QCOMPARE(mirror.rows, book.rows());

        // An id given twice keeps its last copy and is reported once.
        QCOMPARE(book.replaceAll(
                     {line("a", 0, 1.0), line("c", 0, 3.0, 0.0, "x"), line("c", 0, 3.0, 0.0, "y"), line("d", 0, 4.0)}),
                 QStringList{"c"});
        QCOMPARE(book.rows().at(1).text, QStringLiteral("y"));
        QCOMPARE(mirror.rows, book.rows());
    }

    // Random merges against a full sort: the book always holds the sorted lines, and its signals
    // alone rebuild exactly that list.
    void randomMergesMatchAFullSort_data()
    {
        QTest::addColumn<quint32>("seed");
        for (quint32 seed = 1; seed <= 6; ++seed) {
            QTest::addRow("seed %u", seed) << seed;
        }
    }
    void randomMergesMatchAFullSort()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        TranscriptBook book;
        book.clear(kStart);
        Mirror mirror(book);
        QHash<QString, DisplaySegment> model;

        for (int step = 0; step < 400; ++step) {
            const int action = random.bounded(10);
            if (action < 7) {
                QList<DisplaySegment> batch;
                const int count = 1 + random.bounded(3);
                for (int i = 0; i < count; ++i) {
                    const QString id = QStringLiteral("%1").arg(random.bounded(60));
                    // Coarse times make ties common; a third of the lines are untimed.
                    const double start = random.bounded(3) == 0 ? -1.0 : double(random.bounded(20));
                    DisplaySegment s = line(id, random.bounded(3), start, double(random.bounded(20)),
                                            QStringLiteral("t%1").arg(random.bounded(4)));
                    batch.append(s);
                    model.insert(id, s);
                }
                book.upsert(batch);
            } else if (action < 9) {
                QStringList gone;
                for (int i = 0; i < 1 + random.bounded(4); ++i) {
                    gone.append(QStringLiteral("%1").arg(random.bounded(60)));
                }
                for (const QString& id : gone) {
                    model.remove(id);
                }
                book.remove(gone);
            } else {
                QList<DisplaySegment> all = model.values();
                all.removeIf([&random](const DisplaySegment&) { return random.bounded(5) == 0; });
                model.clear();
                for (const DisplaySegment& s : all) {
                    model.insert(s.id, s);
                }
                book.replaceAll(all);
            }
            QList<DisplaySegment> expected = model.values();
            sortSegments(expected, kStart);
            QCOMPARE(book.rows(), expected);
            QCOMPARE(mirror.rows, book.rows());
        }
    }

    // Whatever merges, moves, removals and resets come, the rows before firstEndingFrom(t) all end
    // before t, and the first row from there on, or one before it, reaches t.
    void firstEndingFromFollowsEveryChange_data() { randomMergesMatchAFullSort_data(); }
    void firstEndingFromFollowsEveryChange()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        TranscriptBook book;
        book.clear(kStart);
        QCOMPARE(book.firstEndingFrom(0.0), qsizetype(0));
        for (int step = 0; step < 300; ++step) {
            const int action = random.bounded(10);
            const QString id = QString::number(random.bounded(40));
            if (action < 7) {
                // Some lines run long, so that an early line can outlast later ones.
                const double start = random.bounded(6) == 0 ? -1.0 : double(random.bounded(60));
                DisplaySegment s = line(id, random.bounded(3), start);
                if (start >= 0.0)
                    s.endSecs = start + 0.5 + random.bounded(random.bounded(4) == 0 ? 30 : 3);
                book.upsert(QList<DisplaySegment>{s});
            } else if (action < 9) {
                book.remove({id});
            } else {
                QList<DisplaySegment> kept = book.rows();
                kept.removeIf([&random](const DisplaySegment&) { return random.bounded(3) == 0; });
                book.replaceAll(kept);
            }
            const QList<DisplaySegment>& rows = book.rows();
            for (const double t : {-5.0, 0.0, double(random.bounded(90)), 200.0}) {
                const qsizetype first = book.firstEndingFrom(t);
                QVERIFY(first >= 0 && first <= rows.size());
                for (qsizetype row = 0; row < first; ++row)
                    QVERIFY2(rows.at(row).endSecs < t, qPrintable(QStringLiteral("step %1 row %2").arg(step).arg(row)));
                if (first < rows.size())
                    QVERIFY(std::any_of(rows.cbegin(), rows.cbegin() + first + 1,
                                        [t](const DisplaySegment& s) { return s.endSecs >= t; }));
            }
        }
    }
};

PINDLE_TEST(TranscriberBookTest)
#include "test_transcriber_book.moc"
