#include "common/TestMain.h"

#include "platform/ShardedHash.h"

#include <QRandomGenerator>

class ShardedHashTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Random inserts (new keys and overwrites), removals (present and absent) and a clear give what
    // one table gives, across the sizes where the small tables grow.
    void followsOneTable_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("keys");
        for (const auto& [seed, keys] : {std::pair{3u, 10}, std::pair{5u, 700}, std::pair{11u, 5000}})
            QTest::newRow(qPrintable(QStringLiteral("%1 keys").arg(keys))) << seed << keys;
    }
    void followsOneTable()
    {
        QFETCH(quint32, seed);
        QFETCH(int, keys);
        QRandomGenerator random(seed);
        ShardedHash<QString, int, 8> sharded;
        QHash<QString, int> oracle;
        for (int step = 0; step < keys * 4; ++step) {
            const QString key = QStringLiteral("1765100000-%1-%2").arg(step % 8).arg(random.bounded(keys));
            switch (random.bounded(4)) {
            case 0:
                QCOMPARE(sharded.remove(key), oracle.remove(key));
                break;
            default:
                sharded.insert(key, step);
                oracle.insert(key, step);
                break;
            }
            QCOMPARE(sharded.size(), oracle.size());
            const int* found = sharded.find(key);
            QCOMPARE(found != nullptr, oracle.contains(key));
            if (found)
                QCOMPARE(*found, oracle.value(key));
            if (step == keys * 2) {
                sharded.clear();
                oracle.clear();
                QVERIFY(sharded.isEmpty());
            }
        }
        QCOMPARE(sharded.toHash(), oracle);
        QCOMPARE(sharded.value(QStringLiteral("absent"), -7), -7);
    }
};

PINDLE_TEST(ShardedHashTest)
#include "ShardedHashTest.moc"
