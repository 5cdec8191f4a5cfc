#include "common/TestMain.h"

#include "platform/WordPool.h"

#include <thread>
#include <vector>

class WordPoolTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A word comes back equal, and a repeated one as the very same copy; long words and the
    // empty word are given back as they are.
    void internsRepeatedWords_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<bool>("shared");
        QTest::newRow("plain") << QStringLiteral("rolling") << true;
        QTest::newRow("accented") << QStringLiteral("über") << true;
        QTest::newRow("quoted") << QStringLiteral("\"cut\"") << true;
        QTest::newRow("32 characters") << QString(32, u'a') << true;
        QTest::newRow("33 characters") << QString(33, u'a') << false;
        QTest::newRow("empty") << QString() << false;
    }
    void internsRepeatedWords()
    {
        QFETCH(QString, word);
        QFETCH(bool, shared);
        // Separate copies of the same text, as two messages would parse them.
        const QString first = WordPool::intern(QString(word.constData(), word.size()));
        const QString again = WordPool::intern(QString(word.constData(), word.size()));
        QCOMPARE(first, word);
        QCOMPARE(again, word);
        QCOMPARE(first.isEmpty() || first.constData() == again.constData(), shared || word.isEmpty());
    }

    // Streams parse on their own threads: every thread gets the one copy.
    void sharedAcrossThreads()
    {
        constexpr int kThreads = 8;
        std::vector<const QChar*> seen(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t, &seen] {
                const QString word = QStringLiteral("speed");
                for (int i = 0; i < 1000; ++i)
                    seen[size_t(t)] = WordPool::intern(QString(word.constData(), word.size())).constData();
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        for (const QChar* data : seen)
            QCOMPARE(data, seen.front());
    }
};

PINDLE_TEST(WordPoolTest)
#include "WordPoolTest.moc"
