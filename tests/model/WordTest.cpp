#include "common/TestMain.h"

#include "model/DisplaySegment.h"

#include <QList>

#include <memory>

#include <utility>

class WordTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Whether its text is the pool's or its own, a word keeps it through copies, moves and
    // assignments, each copy outliving the word it came from; words equal by text and times.
    void keepsItsTextThroughCopies_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("pooled");
        QTest::newRow("pooled") << QStringLiteral("rolling") << true;
        QTest::newRow("accented") << QStringLiteral("über") << true;
        QTest::newRow("too long for the pool") << QString(40, u'x') << false;
        QTest::newRow("empty") << QString() << false;
    }
    void keepsItsTextThroughCopies()
    {
        QFETCH(QString, text);
        QFETCH(bool, pooled);
        auto first = std::make_unique<Word>(text, 1.0, 1.5);
        const Word again(QString(text.constData(), text.size()), 1.0, 1.5);
        QCOMPARE(first->text(), text);
        QCOMPARE(*first, again);
        QCOMPARE(first->text().constData() == again.text().constData() && !text.isEmpty(), pooled);

        Word copied(*first);
        Word assigned(QStringLiteral("other"), 0.0, 0.1);
        assigned = *first;
        Word moved(std::move(*first));
        Word moveAssigned(QString(50, u'y'), 0.0, 0.1);
        moveAssigned = std::move(moved);
        first.reset();
        for (const Word* word : {&copied, &assigned, &moveAssigned}) {
            QCOMPARE(word->text(), text);
            QCOMPARE(word->start, 1.0);
            QCOMPARE(word->end, 1.5);
        }
        Word& self = copied;
        copied = self;
        QCOMPARE(copied.text(), text);
        QVERIFY(copied != Word(text, 1.0, 1.6));
        QCOMPARE(copied == Word(QStringLiteral("rolling!"), 1.0, 1.5), false);
    }

    // A line's words move when its list grows or is copied and changed: none loses its text.
    void listsMoveAndShareWords()
    {
        QList<Word> words;
        for (int i = 0; i < 100; ++i)
            words.insert(0, Word(i % 2 ? QString(40 + i, u'a') : QStringLiteral("take %1").arg(i % 7), i, i + 0.5));
        QList<Word> shared = words;
        shared.removeAt(10);
        shared.append(Word(QString(60, u'z'), 200.0, 201.0));
        words.clear();
        QCOMPARE(shared.size(), 100);
        for (qsizetype row = 0; row < 99; ++row) {
            const int i = 99 - int(row < 10 ? row : row + 1);
            QCOMPARE(shared.at(row).text(), i % 2 ? QString(40 + i, u'a') : QStringLiteral("take %1").arg(i % 7));
        }
        QCOMPARE(shared.constLast().text(), QString(60, u'z'));
    }
};

PINDLE_TEST(WordTest)
#include "WordTest.moc"
