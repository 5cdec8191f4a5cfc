#include "common/TestMain.h"

#include "screens/TranscriptHold.h"

#include <QRandomGenerator>

namespace {

// Live lines in a plain list, announced to a hold as the transcript pane announces its rows.
class LiveLines final : public TranscriptHold::Lines {
public:
    [[nodiscard]] qsizetype lineCount() const override { return rows.size(); }
    [[nodiscard]] const DisplaySegment& lineAt(qsizetype row) const override { return rows.at(row); }
    [[nodiscard]] std::optional<qsizetype> rowOfLine(const QString& id) const override
    {
        for (qsizetype row = 0; row < rows.size(); ++row)
            if (rows.at(row).id == id)
                return row;
        return std::nullopt;
    }

    QList<DisplaySegment> rows;
};

DisplaySegment line(qint64 n, const QString& text)
{
    DisplaySegment segment;
    segment.id = QStringLiteral("L%1").arg(n);
    segment.text = text;
    return segment;
}

// One random change of the live lines, announced to `hold`: mostly lines arriving at the end,
// some arriving earlier, changing in place, leaving in runs, or moving (leaving and coming back).
void change(LiveLines& live, TranscriptHold& hold, QRandomGenerator& random, qint64& next)
{
    const int kind = random.bounded(10);
    const qsizetype count = live.rows.size();
    if (kind < 4 || count < 3) {
        const qsizetype at = random.bounded(4) == 0 ? random.bounded(count + 1) : count;
        const qsizetype many = 1 + random.bounded(3);
        for (qsizetype i = 0; i < many; ++i)
            live.rows.insert(at + i, line(next++, QStringLiteral("new")));
        hold.inserted(at, at + many - 1);
    } else if (kind < 7) {
        const qsizetype row = random.bounded(count);
        hold.aboutToChange(row, row);
        live.rows[row].text += QStringLiteral(" more");
    } else if (kind < 9) {
        const qsizetype first = random.bounded(count);
        const qsizetype last = std::min(count - 1, first + random.bounded(3));
        hold.aboutToRemove(first, last);
        live.rows.remove(first, last - first + 1);
        hold.removed(first, last);
    } else {
        const qsizetype from = random.bounded(count);
        hold.aboutToRemove(from, from);
        DisplaySegment moving = live.rows.takeAt(from);
        hold.removed(from, from);
        moving.text += QStringLiteral(" moved");
        const qsizetype to = random.bounded(live.rows.size() + 1);
        live.rows.insert(to, moving);
        hold.inserted(to, to);
    }
}

bool sameRows(const TranscriptHold& hold, const QList<DisplaySegment>& rows)
{
    if (hold.size() != rows.size())
        return false;
    for (qsizetype row = 0; row < rows.size(); ++row)
        if (!(hold.at(row) == rows.at(row)) || hold.rowOf(rows.at(row).id) != row)
            return false;
    return true;
}

} // namespace

// A held transcript without a copy of its lines: whatever arrives, changes, leaves or moves, its
// rows are what a copy taken at the hold shows, and its release replays the changes, one step at
// a time, from that copy to the live lines.
class TranscriptHoldTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsWhatACopyShows_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("changes");
        QTest::newRow("short hold") << 1u << 50 << 5;
        QTest::newRow("long hold") << 2u << 200 << 300;
        QTest::newRow("from no lines") << 3u << 0 << 40;
        QTest::newRow("more news than lines") << 4u << 5 << 120;
        for (quint32 seed = 10; seed < 30; ++seed)
            QTest::addRow("seed %u", seed) << seed << int(seed * 7 % 60) << int(seed * 13 % 150);
    }
    void showsWhatACopyShows()
    {
        QFETCH(quint32, seed);
        QFETCH(int, lines);
        QFETCH(int, changes);
        QRandomGenerator random(seed);
        LiveLines live;
        qint64 next = 0;
        for (; next < lines; ++next)
            live.rows.append(line(next, QStringLiteral("heard")));
        TranscriptHold hold(live);
        // The copy a hold used to take, element by element so that it shares nothing.
        QList<DisplaySegment> copy;
        for (const DisplaySegment& row : std::as_const(live.rows))
            copy.append(row);

        for (int i = 0; i < changes; ++i) {
            change(live, hold, random, next);
            QVERIFY2(sameRows(hold, copy), qPrintable(QStringLiteral("after change %1").arg(i)));
        }

        // The release, as the list model announces it, on a mirror of the rows.
        QList<DisplaySegment> mirror = copy;
        const std::vector<qsizetype> left = hold.leftRows();
        for (auto row = left.crbegin(); row != left.crend(); ++row) {
            hold.dropLeft(*row);
            mirror.remove(*row);
            QVERIFY(sameRows(hold, mirror));
        }
        for (const QString& id : hold.changedLines()) {
            hold.showLive(id);
            const std::optional<qsizetype> row = hold.rowOf(id);
            const std::optional<qsizetype> liveRow = live.rowOfLine(id);
            QVERIFY(row && liveRow);
            mirror[*row] = live.rows.at(*liveRow);
            QVERIFY(sameRows(hold, mirror));
        }
        while (!hold.cameRows().empty()) {
            const qsizetype row = hold.cameRows().front();
            QVERIFY(row <= hold.size());
            hold.admit();
            mirror.insert(row, live.rows.at(row));
            QVERIFY(sameRows(hold, mirror));
        }
        QVERIFY(mirror == live.rows);
    }

    // A reset while held (a new run) keeps the held rows as they were; nothing is replayed.
    void aResetKeepsTheHeldRows()
    {
        LiveLines live;
        for (qint64 n = 0; n < 10; ++n)
            live.rows.append(line(n, QStringLiteral("heard")));
        TranscriptHold hold(live);
        const QList<DisplaySegment> copy = live.rows;
        hold.aboutToChange(3, 3);
        live.rows[3].text = QStringLiteral("changed");
        hold.aboutToReset();
        live.rows = {line(100, QStringLiteral("next run"))};
        hold.inserted(0, 0);
        QVERIFY(hold.replaced());
        QVERIFY(sameRows(hold, copy));
    }
};

PINDLE_TEST(TranscriptHoldTest)
#include "TranscriptHoldTest.moc"
