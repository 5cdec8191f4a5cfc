#include "common/TestMain.h"

#include "platform/SafeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class SafeFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writeCreatesParents()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("a/b/c/file.json"));
        QVERIFY(SafeFile::writeAtomically(path, "{}"));
        QCOMPARE(readAll(path), QByteArray("{}"));
    }

    void writeReplacesWholeFile_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("shorter") << QByteArray(100000, 'x') << QByteArray("short");
        QTest::newRow("longer") << QByteArray("short") << QByteArray(3 * 1024 * 1024, 'y');
        QTest::newRow("empty") << QByteArray("something") << QByteArray();
        QTest::newRow("binary") << QByteArray("text") << QByteArray::fromHex("00ff00ff0d0a1a");
    }

    void writeReplacesWholeFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("file"));
        QVERIFY(SafeFile::writeAtomically(path, before));
        QVERIFY(SafeFile::writeAtomically(path, after));
        QCOMPARE(readAll(path), after);
        QCOMPARE(QFileInfo(path).size(), after.size());
        // The temporary file of the atomic write is gone.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("file")});
    }

    void writeFailsWhereNothingCanBeWritten()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // A plain file where a parent folder should be.
        const QString blocker = dir.filePath(QStringLiteral("blocker"));
        QVERIFY(writeFile(blocker, "keep"));
        QVERIFY(!SafeFile::writeAtomically(blocker + QStringLiteral("/file"), "data"));
        QCOMPARE(readAll(blocker), QByteArray("keep"));
        // A folder where the file should be.
        const QString folder = dir.filePath(QStringLiteral("folder"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/inside")));
        QVERIFY(!SafeFile::writeAtomically(folder, "data"));
        QVERIFY(QFileInfo(folder + QStringLiteral("/inside")).isDir());
    }

    void moveAsideKeepsContentUnderStampedName()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("log-sessions.json"));
        QVERIFY(writeFile(path, "broken{"));
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const QString moved = SafeFile::moveAside(path);
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(readAll(moved), QByteArray("broken{"));
        const auto match = QRegularExpression(QStringLiteral("^(.*)\\.unreadable-(\\d+)$")).match(moved);
        QVERIFY2(match.hasMatch(), qPrintable(moved));
        QCOMPARE(match.captured(1), path);
        const qint64 stamp = match.captured(2).toLongLong();
        QVERIFY(stamp >= before && stamp <= after);
    }

    // Files already carry the stamps of the next few milliseconds, so the move must take a suffix.
    void moveAsideAvoidsCollisions()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        constexpr qint64 window = 50;
        // A stalled machine may step past the prepared stamps; try again then.
        for (int attempt = 0; attempt < 10; ++attempt) {
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            for (qint64 ms = now; ms < now + window; ++ms) {
                const QString taken = path + QStringLiteral(".unreadable-") + QString::number(ms);
                if (!QFileInfo::exists(taken)) {
                    QVERIFY(writeFile(taken, "older"));
                    QVERIFY(writeFile(taken + QStringLiteral("-1"), "older"));
                }
            }
            QVERIFY(writeFile(path, "newest"));
            const QString moved = SafeFile::moveAside(path);
            QCOMPARE(readAll(moved), QByteArray("newest"));
            const auto match = QRegularExpression(QStringLiteral("^(.*)\\.unreadable-(\\d+)(-2)?$")).match(moved);
            QVERIFY2(match.hasMatch(), qPrintable(moved));
            QCOMPARE(match.captured(1), path);
            const qint64 stamp = match.captured(2).toLongLong();
            if (stamp >= now + window)
                continue;
            QVERIFY2(!match.captured(3).isEmpty(), qPrintable(moved));
            // Nothing that was there before was overwritten.
            const QString base = path + QStringLiteral(".unreadable-") + QString::number(stamp);
            QCOMPARE(readAll(base), QByteArray("older"));
            QCOMPARE(readAll(base + QStringLiteral("-1")), QByteArray("older"));
            return;
        }
        QSKIP("the clock ran past every prepared stamp");
    }

    void moveAsideManyInOneMillisecond()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("file"));
        QSet<QString> names;
        for (int i = 0; i < 200; ++i) {
            const QByteArray content = QByteArray::number(i);
            QVERIFY(writeFile(path, content));
            const QString moved = SafeFile::moveAside(path);
            QVERIFY(!moved.isEmpty());
            QVERIFY(!names.contains(moved));
            names.insert(moved);
            QCOMPARE(readAll(moved), content);
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 200);
    }

    void moveAsideOfMissingFile()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QCOMPARE(SafeFile::moveAside(dir.filePath(QStringLiteral("missing"))), QString());
        QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    }
};

PINDLE_TEST(SafeFileTest)
#include "SafeFileTest.moc"
