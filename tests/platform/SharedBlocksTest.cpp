#include "common/TestMain.h"

#include "platform/SharedBlocks.h"

#include <QRandomGenerator>

namespace {

// Small blocks, so that a few dozen rows cross many block edges.
using Rows = SharedBlocks<int, 4>;

QList<int> listOf(const Rows& rows)
{
    QList<int> out;
    for (const int row : rows)
        out.append(row);
    return out;
}

} // namespace

class SharedBlocksTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Random appends, inserts, removals and edits, at block edges and between them, give what a
    // plain list gives; a copy taken at any point keeps what it saw.
    void followsAPlainList_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("steps");
        for (const quint32 seed : {1u, 7u, 42u, 1234u, 99999u})
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed << 400;
    }
    void followsAPlainList()
    {
        QFETCH(quint32, seed);
        QFETCH(int, steps);
        QRandomGenerator random(seed);
        Rows rows;
        QList<int> oracle;
        QList<std::pair<Rows, QList<int>>> copies;
        int next = 0;
        for (int step = 0; step < steps; ++step) {
            const auto size = oracle.size();
            switch (random.bounded(6)) {
            case 0:
            case 1:
                rows.append(next);
                oracle.append(next++);
                break;
            case 2: {
                const auto at = qsizetype(random.bounded(int(size) + 1));
                const auto count = qsizetype(random.bounded(3));
                rows.insert(at, count, next);
                oracle.insert(at, count, next++);
                break;
            }
            case 3:
                if (size > 0) {
                    const auto at = qsizetype(random.bounded(int(size)));
                    const auto count = qsizetype(random.bounded(int(std::min<qsizetype>(size - at, 6)) + 1));
                    rows.remove(at, count);
                    oracle.remove(at, count);
                }
                break;
            case 4:
                if (size > 0) {
                    const auto at = qsizetype(random.bounded(int(size)));
                    rows.edit(at) = -next;
                    oracle[at] = -next++;
                }
                break;
            default:
                copies.append({rows, oracle});
                break;
            }
            QCOMPARE(rows.size(), oracle.size());
        }
        QCOMPARE(listOf(rows), oracle);
        QCOMPARE(rows.toList(), oracle);
        for (const auto& [copy, seen] : copies)
            QCOMPARE(listOf(copy), seen);
    }

    // Copies compare equal while they share their blocks and after the same change; a change to
    // one alone is seen.
    void equality()
    {
        Rows a(QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9});
        Rows b = a;
        QVERIFY(a == b);
        b.edit(8) = 10;
        QVERIFY(!(a == b));
        a.replace(8, 10);
        QVERIFY(a == b);
        b.removeLast();
        QVERIFY(!(a == b));
        QCOMPARE(Rows(QList<int>{}).size(), 0);
        QVERIFY(Rows() == Rows(QList<int>{}));
    }
};

PINDLE_TEST(SharedBlocksTest)
#include "SharedBlocksTest.moc"
