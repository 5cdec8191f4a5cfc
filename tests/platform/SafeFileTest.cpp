#include "common/SmallFileSystem.h"
#include "common/TestMain.h"

#include "platform/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class SafeFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Out of space, a write must fail and leave the old file whole: sizes below and above the
    // save file's 16 KiB buffer, whose last flush fails only inside the commit. Where no small
    // disk can be mounted, a file-size limit on the process refuses the bytes instead.
    void fullDiskKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("pieces");
        QTest::newRow("buffered") << 10 * 1024 << 1;
        QTest::newRow("past the buffer") << 40 * 1024 << 1;
        QTest::newRow("in pieces, buffered") << 10 * 1024 << 5;
        QTest::newRow("in pieces, past the buffer") << 40 * 1024 << 4;
    }
    void fullDiskKeepsTheOldFile()
    {
        QFETCH(int, size);
        QFETCH(int, pieces);
        SmallFileSystem disk;
        QTemporaryDir dir;
        const QString path = (disk.isMounted() ? disk.filePath(QStringLiteral("x")) : dir.filePath("x")) + ".json";
        QVERIFY(put(path, "old") && (!disk.isMounted() || disk.fill()));
        rlimit before{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &before) == 0);
        const rlimit limit{4096, before.rlim_max};
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(disk.isMounted() || setrlimit(RLIMIT_FSIZE, &limit) == 0);
        const bool written = SafeFile::writeAtomically(path, QList<QByteArray>(pieces, QByteArray(size, 'n')));
        QVERIFY(disk.isMounted() || setrlimit(RLIMIT_FSIZE, &before) == 0);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!written);
        QCOMPARE(readAll(path), "old");
        QCOMPARE(QDir(QFileInfo(path).path()).entryList({"*x.json*"}, QDir::Files | QDir::Hidden),
                 QStringList{"x.json"});
    }

    // With the next stamps and their "-1" twins taken, the move takes "-2" and overwrites nothing.
    // A missing file is not moved; writing over a folder fails (the stores' tests cover the rest).
    void moveAsideAvoidsCollisions()
    {
        QTemporaryDir dir;
        QCOMPARE(SafeFile::moveAside(dir.filePath(QStringLiteral("missing"))), QString());
        QVERIFY(!SafeFile::writeAtomically(dir.path(), "data") && QFileInfo(dir.path()).isDir());
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        const QString aside = path + QStringLiteral(".unreadable-");
        // Only a short window is prepared, so a stalled machine that steps past it tries again.
        for (int attempt = 0; attempt < 20; ++attempt) {
            const qint64 start = QDateTime::currentMSecsSinceEpoch();
            for (qint64 ms = start; ms < start + 20; ++ms)
                QVERIFY(put(aside + QString::number(ms), "older") && put(aside + QString::number(ms) + "-1", "older"));
            QVERIFY(put(path, "newest"));
            const QString moved = SafeFile::moveAside(path);
            QVERIFY(!QFileInfo::exists(path) && readAll(moved) == "newest");
            const qint64 stamp = moved.mid(aside.size()).section(QLatin1Char('-'), 0, 0).toLongLong();
            if (stamp >= start + 20 && QFile::remove(moved))
                continue;
            QCOMPARE(moved, aside + QString::number(stamp) + QStringLiteral("-2"));
            for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
                QCOMPARE(readAll(dir.filePath(name)), dir.filePath(name) == moved ? "newest" : "older");
            return;
        }
        QSKIP("the clock ran past every prepared stamp");
    }
};

PINDLE_TEST(SafeFileTest)
#include "SafeFileTest.moc"
