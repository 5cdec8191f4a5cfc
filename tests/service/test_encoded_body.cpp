#include "common/TestMain.h"

#include "service/EncodedBody.h"

#include <QIODevice>
#include <QRandomGenerator>

namespace {

QList<QByteArray> piecesOf(const QList<int>& sizes, char first = 'a')
{
    QList<QByteArray> pieces;
    char c = first;
    for (const int size : sizes) {
        pieces.append(QByteArray(size, c));
        c = c == 'z' ? 'a' : char(c + 1);
    }
    return pieces;
}

} // namespace

// A body read from its pieces gives the joined bytes, whatever the reads' sizes and wherever the
// network layer seeks.
class EncodedBodyTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsTheJoinedBytes_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<int>("chunk");
        QTest::newRow("one piece") << QList<int>{10} << 3;
        QTest::newRow("empty pieces between") << QList<int>{0, 4, 0, 0, 5, 0} << 2;
        QTest::newRow("all empty") << QList<int>{0, 0} << 8;
        QTest::newRow("reads across many pieces") << QList<int>{1, 1, 1, 1, 1, 1, 1} << 5;
        QTest::newRow("reads larger than the body") << QList<int>{7, 9} << 4096;
        QTest::newRow("a day's rows") << QList<int>(2000, 37) << 16384;
    }

    void readsTheJoinedBytes()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(int, chunk);
        const EncodedBody body(piecesOf(sizes));
        QByteArray expected;
        for (const QByteArray& piece : piecesOf(sizes))
            expected += piece;
        QCOMPARE(body.size(), expected.size());
        QCOMPARE(body.joined(), expected);

        EncodedBody taken = body;
        std::unique_ptr<QIODevice> device = taken.takeDevice();
        QVERIFY(device->isOpen() && !device->isSequential());
        QCOMPARE(device->size(), qint64(expected.size()));
        QByteArray read;
        while (!device->atEnd()) {
            const QByteArray part = device->read(chunk);
            QVERIFY(!part.isEmpty());
            read += part;
        }
        QCOMPARE(read, expected);
        QVERIFY(device->read(chunk).isEmpty());
    }

    void seeksAnywhere_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::newRow("seed 1") << 1u;
        QTest::newRow("seed 9") << 9u;
    }

    void seeksAnywhere()
    {
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        QList<int> sizes;
        for (int i = 0; i < 60; ++i)
            sizes.append(random.bounded(5) == 0 ? 0 : random.bounded(1, 40));
        const EncodedBody body(piecesOf(sizes));
        const QByteArray expected = body.joined();
        EncodedBody taken = body;
        std::unique_ptr<QIODevice> device = taken.takeDevice();
        for (int n = 0; n < 200; ++n) {
            const qint64 at = random.bounded(int(expected.size()) + 1);
            const int length = random.bounded(1, 64);
            QVERIFY(device->seek(at));
            QCOMPARE(device->read(length), expected.mid(at, length));
        }
        // A resend starts again from the top.
        QVERIFY(device->reset());
        QCOMPARE(device->readAll(), expected);
    }

    // One run of bytes stays that very array: nothing is copied for a small body.
    void wholeBodyIsShared()
    {
        const QByteArray bytes(1000, 'x');
        const EncodedBody body(bytes);
        QVERIFY(body.isWhole());
        QCOMPARE(body.joined().constData(), bytes.constData());
        QVERIFY(EncodedBody().isWhole());
        QCOMPARE(EncodedBody().size(), qsizetype(0));
    }
};

PINDLE_TEST(EncodedBodyTest)
#include "test_encoded_body.moc"
