#include "common/TestMain.h"

#include "platform/Fonts.h"
#include "ui/theme/FlowChips.h"
#include "ui/theme/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QVBoxLayout>

namespace {

constexpr int kGap = 6;

QStringList shortWords(int count)
{
    QStringList words;
    for (int i = 0; i < count; ++i)
        words << QStringLiteral("w%1").arg(i);
    return words;
}

void show(FlowChips& flow, const QStringList& words, int width)
{
    flow.setWords(words);
    flow.resize(width, flow.heightForWidth(width));
    flow.show();
}

// Clicks every chip in order; each must ask to remove exactly its word.
void clickEach(FlowChips& flow, const QStringList& expected)
{
    QSignalSpy spy(&flow, &FlowChips::removeRequested);
    const QList<QAbstractButton*> chips = flow.chips();
    QCOMPARE(chips.size(), expected.size());
    for (QAbstractButton* chip : chips)
        QTest::mouseClick(chip, Qt::LeftButton, {}, QPoint(4, chip->height() / 2));
    QCOMPARE(spy.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        QCOMPARE(spy.at(i).at(0).toString(), expected.at(i));
}

} // namespace

class FlowChipsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        registerFonts();
    }

    // A column is at least 90 wide with 6 between: a second fits at 186, not 185. The widget is
    // exactly as tall as its rows.
    void grid_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("secondColumnX");
        QTest::newRow("narrower than a column") << 7 << 60 << 1 << 0;
        QTest::newRow("185: one column") << 7 << 185 << 1 << 0;
        QTest::newRow("186: two") << 7 << 186 << 2 << 96;
        QTest::newRow("281: two, half-pixel cells") << 7 << 281 << 2 << 144;
        QTest::newRow("282: three") << 7 << 282 << 3 << 96;
        QTest::newRow("fewer words than columns") << 2 << 600 << 6 << 101;
        QTest::newRow("no words") << 0 << 186 << 2 << 0;
    }
    void grid()
    {
        QFETCH(int, count);
        QFETCH(int, width);
        QFETCH(int, columns);
        QFETCH(int, secondColumnX);
        FlowChips flow;
        show(flow, shortWords(count), width);
        const QList<QAbstractButton*> chips = flow.chips();
        const int chipHeight = chips.isEmpty() ? 0 : chips.first()->height();
        const int rows = (count + columns - 1) / columns;
        QCOMPARE(flow.height(), rows * chipHeight + std::max(rows - 1, 0) * kGap);
        for (qsizetype i = 0; i < chips.size(); ++i) {
            const QRect at = chips.at(i)->geometry();
            QCOMPARE(at.top(), int(i / columns) * (chipHeight + kGap));
            QVERIFY(at.right() < width);
            if (i % columns == 1)
                QCOMPARE(at.left(), secondColumnX);
        }
    }

    // A chip keeps its own width in a wider cell; a longer word is cut to fill its cell, short of
    // it by less than a letter, and still removes the whole word.
    void chipWidth_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("cell");
        const QString longWord = QStringLiteral("supercalifragilistic expialidocious");
        QTest::newRow("long, one column") << longWord << 185 << 185;
        QTest::newRow("long, two columns") << longWord << 186 << 90;
        QTest::newRow("long, no room for a letter") << longWord << 30 << 30;
        QTest::newRow("short") << QStringLiteral("ab") << 600 << -1;
    }
    void chipWidth()
    {
        QFETCH(QString, word);
        QFETCH(int, width);
        QFETCH(int, cell);
        constexpr int kWidestLetter = 12;
        FlowChips flow;
        show(flow, {word}, width);
        const int shown = flow.chips().first()->width();
        if (cell < 0)
            QCOMPARE(shown, flow.chips().first()->sizeHint().width());
        else
            QVERIFY2(shown <= cell && shown > cell - kWidestLetter, qPrintable(QString::number(shown)));
        clickEach(flow, {word});
    }

    // In a layout the height follows the width it is given.
    void wrapsInALayout()
    {
        QWidget sheet;
        auto* layout = new QVBoxLayout(&sheet);
        layout->setContentsMargins(5, 0, 5, 0);
        auto* flow = new FlowChips;
        flow->setWords(shortWords(4));
        layout->addWidget(flow);
        layout->addStretch(1);
        sheet.resize(196, 400);
        sheet.show();
        const int chipHeight = flow->chips().first()->height();
        QTRY_COMPARE(flow->height(), 2 * chipHeight + kGap);
        sheet.resize(100, 400);
        QTRY_COMPARE(flow->height(), 4 * chipHeight + 3 * kGap);
    }

    // One chip per distinct word (compared exactly), named and removed by its word, drawn as typed
    // on one line: no mnemonic, markup or placeholder, no second line spilling into the padding.
    void chipPerWord_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("duplicate later") << QStringList{"tax", "quota", "tax"} << QStringList{"tax", "quota"};
        QTest::newRow("case differs") << QStringList{"Tax", "tax"} << QStringList{"Tax", "tax"};
        QTest::newRow("empty words") << QStringList{"", ""} << QStringList{""};
        QTest::newRow("ampersand") << QStringList{"&Save"} << QStringList{"&Save"};
        QTest::newRow("placeholder") << QStringList{"%1 done"} << QStringList{"%1 done"};
        QTest::newRow("markup") << QStringList{"<b>bold</b>"} << QStringList{"<b>bold</b>"};
        QTest::newRow("line break") << QStringList{"Two\nLines"} << QStringList{"Two\nLines"};
    }
    void chipPerWord()
    {
        QFETCH(QStringList, words);
        QFETCH(QStringList, shown);
        FlowChips flow;
        show(flow, words, 600);
        QCOMPARE(flow.words(), shown);
        QCOMPARE(flow.findChildren<QAbstractButton*>().size(), shown.size());
        FlowChips plain;
        show(plain, {QStringLiteral("plain")}, 600);
        const QRgb fill = Theme::surface.current().rgba();
        for (qsizetype i = 0; i < shown.size(); ++i) {
            QAbstractButton* chip = flow.chips().at(i);
            QCOMPARE(chip->accessibleName(), QStringLiteral("Remove ") + shown.at(i));
            if (!shown.at(i).isEmpty())
                QCOMPARE(chip->height(), plain.chips().first()->height());
            const QImage picture = chip->grab().toImage();
            for (int x = picture.height() / 2; x < picture.width() - picture.height() / 2; ++x)
                QCOMPARE(picture.pixel(x, 3), fill);
        }
        clickEach(flow, shown);
    }

    // A word that stays keeps its chip; a word that goes takes its chip with it.
    void reuse_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("one removed") << QStringList{"a", "b", "c"} << QStringList{"a", "c"};
        QTest::newRow("one added") << QStringList{"a", "b"} << QStringList{"a", "x", "b"};
        QTest::newRow("reordered") << QStringList{"a", "b", "c"} << QStringList{"c", "a", "b"};
        QTest::newRow("cleared") << QStringList{"a", "b"} << QStringList{};
        QTest::newRow("duplicate added") << QStringList{"a", "b"} << QStringList{"a", "b", "a"};
    }
    void reuse()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        FlowChips flow;
        show(flow, before, 100);
        QHash<QString, QPointer<QAbstractButton>> old;
        for (qsizetype i = 0; i < before.size(); ++i)
            old.insert(before.at(i), flow.chips().at(i));
        flow.setWords(after);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        after.removeDuplicates();
        QCOMPARE(flow.findChildren<QAbstractButton*>().size(), after.size());
        for (qsizetype i = 0; i < after.size(); ++i) {
            QAbstractButton* chip = flow.chips().at(i);
            QVERIFY(!old.contains(after.at(i)) || chip == old.value(after.at(i)));
            QVERIFY(chip->isVisible());
            QVERIFY(i == 0 || chip->y() > flow.chips().at(i - 1)->y());
        }
        for (auto it = old.cbegin(); it != old.cend(); ++it)
            QCOMPARE(it.value().isNull(), !after.contains(it.key()));
    }

    // The coral ring marks focus the keyboard moved, not the focus a window gives when it opens.
    void focusRingFollowsTheKeyboard()
    {
        FlowChips flow;
        show(flow, {"a", "b"}, 300);
        QApplication::setActiveWindow(&flow);
        const QList<QAbstractButton*> chips = flow.chips();
        chips.first()->setFocus(Qt::ActiveWindowFocusReason);
        const auto outline = [](QWidget* chip) { return chip->grab().toImage().pixel(chip->width() / 2, 0); };
        QCOMPARE(outline(chips.first()), Theme::line.current().rgba());
        QTest::keyClick(chips.first(), Qt::Key_Tab);
        QVERIFY(chips.last()->hasFocus());
        QCOMPARE(outline(chips.last()), Theme::coral.rgba());
    }
};

PINDLE_TEST(FlowChipsTest)
#include "FlowChipsTest.moc"
