#include "ui/logging/ButtonBar.h"
#include "common/TestMain.h"
#include "model/LogButtonKind.h"
#include "platform/ManualClock.h"
#include "ui/logging/MarkerChipButton.h"

#include <QAccessible>
#include <QMimeData>
#include <QShortcut>

using namespace std::chrono_literals;

namespace {

// `count` chips of distinct kinds, starting at kind `first` of the table.
QList<LogButtonChip> chips(int count, int popped = -1, int first = 0)
{
    QList<LogButtonChip> result;
    for (int i = 0; i < count; ++i) {
        const LogButtonKind& kind = LogButtonKind::all().at((first + i) % LogButtonKind::all().size());
        LogButtonChip chip{{kind.kind, kind.label, true, 10}, {}, false, i == popped, false, {}};
        chip.hotkey = i < ButtonBar::kShortcutChips ? QStringLiteral("Ctrl+%1").arg(i + 1) : QString();
        result.append(chip);
    }
    return result;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class ButtonBarTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Whatever the rounding, a row's cells start and end on the padding, 10 apart, none under
    // the minimum width once one fits.
    void gridAtWidth_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("height");
        QTest::newRow("no chips: the padding") << 600 << 0 << 4 << 24;
        QTest::newRow("last width of one column") << 293 << 14 << 1 << 854;
        QTest::newRow("second column fits") << 294 << 3 << 2 << 134;
        QTest::newRow("last width of two") << 433 << 12 << 2 << 374;
        QTest::newRow("third column fits") << 434 << 12 << 3 << 254;
        QTest::newRow("600") << 600 << 12 << 4 << 194;
        QTest::newRow("uneven rounding") << 1003 << 14 << 7 << 134;
    }
    void gridAtWidth()
    {
        QFETCH(int, width);
        QFETCH(int, count);
        QFETCH(int, columns);
        QFETCH(int, height);
        QCOMPARE(ButtonBar::columns(width), columns);
        ButtonBar bar;
        bar.setChips(chips(count));
        QCOMPARE(bar.heightForWidth(width), height);
        bar.resize(width, height);
        bar.show();
        const QList<QRect> cells = ButtonBar::cells(width, count);
        for (int i = 0; i < count; ++i) {
            const QRect& cell = cells.at(i);
            QCOMPARE(bar.chipButton(i)->cell(), cell);
            QCOMPARE(cell.top(), 12 + (i / columns) * 60);
            QVERIFY(cell.width() >= 130 && cell.height() == 50);
            if (i % columns == 0)
                QCOMPARE(cell.left(), 12);
            else
                QCOMPARE(cell.left() - cells.at(i - 1).right() - 1, 10);
            if (i % columns == columns - 1)
                QCOMPARE(cell.right() + 1, width - 12);
        }
    }

    // Chip widgets are kept by position, and so are shortcuts: Ctrl+1 to Ctrl+9 on the first
    // nine, none after, none outliving its chip.
    void chipsAndShortcutsFollowPositions_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("shrinks below nine") << 12 << 5;
        QTest::newRow("grows to the tenth") << 3 << 10;
        QTest::newRow("loses the tenth") << 10 << 9;
        QTest::newRow("empties") << 14 << 0;
    }
    void chipsAndShortcutsFollowPositions()
    {
        QFETCH(int, before);
        QFETCH(int, after);
        ButtonBar bar;
        bar.setChips(chips(before));
        QList<MarkerChipButton*> first;
        for (int i = 0; i < before; ++i)
            first.append(bar.chipButton(i));
        bar.setChips(chips(after));
        flushDeletes();
        QCOMPARE(bar.findChildren<MarkerChipButton*>().size(), after);
        QCOMPARE(bar.findChildren<QShortcut*>().size(), std::min(after, ButtonBar::kShortcutChips));
        for (int i = 0; i < after; ++i) {
            MarkerChipButton* chip = bar.chipButton(i);
            QVERIFY(i >= before || chip == first.at(i));
            const QKeySequence key = chip->shortcut() ? chip->shortcut()->key() : QKeySequence();
            QCOMPARE(key, i < 9 ? QKeySequence(QStringLiteral("Ctrl+%1").arg(i + 1)) : QKeySequence());
        }
    }

    // Shortcut and click press the button now at that position; a click on the pop's margin is
    // no press, and the shortcut of a chip that went does nothing.
    void shortcutsAndClicksPress_data()
    {
        QTest::addColumn<int>("position");
        QTest::newRow("Ctrl+1") << 0;
        QTest::newRow("Ctrl+9") << 8;
        QTest::newRow("tenth, click only") << 9;
    }
    void shortcutsAndClicksPress()
    {
        QFETCH(int, position);
        QWidget window;
        auto* bar = new ButtonBar(&window);
        bar->setChips(chips(12));
        const QList<LogButtonChip> shifted = chips(12, -1, 1);
        bar->setChips(shifted);
        bar->resize(1000, bar->heightForWidth(1000));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy pressed(bar, &ButtonBar::pressed);
        if (position < ButtonBar::kShortcutChips) {
            QTest::keyClick(&window, static_cast<Qt::Key>(Qt::Key_1 + position), Qt::ControlModifier);
            QCOMPARE(pressed.size(), 1);
            QCOMPARE(pressed.takeFirst().at(0).value<LogButton>(), shifted.at(position).button);
        }
        MarkerChipButton* chip = bar->chipButton(position);
        QTest::mouseClick(chip, Qt::LeftButton, {}, chip->rect().center());
        QTest::mouseClick(chip, Qt::LeftButton, {}, QPoint(1, 1));
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(pressed.takeFirst().at(0).value<LogButton>(), shifted.at(position).button);

        bar->setChips(shifted.mid(0, 3));
        flushDeletes();
        QTest::keyClick(&window, Qt::Key_7, Qt::ControlModifier);
        QCOMPARE(pressed.size(), 0);
    }

    void titleIsReadOut_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("recording");
        QTest::addColumn<QString>("title");
        QTest::newRow("idle") << QStringLiteral("In / Out") << false << QStringLiteral("In / Out");
        QTest::newRow("recording") << QStringLiteral("In / Out") << true << QStringLiteral("Stop In / Out");
        QTest::newRow("ampersand") << QStringLiteral("R&D") << true << QStringLiteral("Stop R&D");
    }
    void titleIsReadOut()
    {
        QFETCH(QString, name);
        QFETCH(bool, recording);
        QFETCH(QString, title);
        ButtonBar bar;
        bar.setChips({{{QStringLiteral("broll"), name, true, 10}, {}, recording, false, recording, {}}});
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(bar.chipButton(0));
        QCOMPARE(accessible->text(QAccessible::Name), title);
        QCOMPARE(accessible->role(), QAccessible::Button);
    }

    // What a drag carries reads back as its kind; anything else reads as none.
    void dragPayload_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("own");
        QTest::addColumn<std::optional<QString>>("kind");
        QTest::addColumn<bool>("dragged");
        const auto kind = [](const char* k) { return std::optional<QString>(QString::fromUtf8(k)); };
        for (const char* k : {"broll", "a:b", "ünï ✓", " spaced "}) {
            const std::unique_ptr<QMimeData> dragged = ButtonDrag::mimeData(QString::fromUtf8(k));
            QTest::newRow(k) << dragged->text() << dragged->data(QStringLiteral("application/x-pindle-button"))
                             << kind(k) << true;
        }
        QTest::newRow("nothing") << QString() << QByteArray() << std::optional<QString>() << false;
        QTest::newRow("plain words") << QStringLiteral("broll") << QByteArray() << std::optional<QString>() << false;
        QTest::newRow("prefix alone") << QStringLiteral("pindle-button:") << QByteArray() << std::optional<QString>()
                                      << false;
        QTest::newRow("other case") << QStringLiteral("PINDLE-BUTTON:x") << QByteArray() << std::optional<QString>()
                                    << false;
        QTest::newRow("text alone") << QStringLiteral("pindle-button:x") << QByteArray() << kind("x") << false;
        QTest::newRow("ours first") << QStringLiteral("pindle-button:b") << QByteArray("pindle-button:a") << kind("a")
                                    << false;
        QTest::newRow("ours malformed") << QStringLiteral("pindle-button:b") << QByteArray("a")
                                        << std::optional<QString>() << false;
    }
    void dragPayload()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, own);
        QFETCH(std::optional<QString>, kind);
        QFETCH(bool, dragged);
        QMimeData data;
        if (!text.isNull())
            data.setText(text);
        if (!own.isNull())
            data.setData(QStringLiteral("application/x-pindle-button"), own);
        if (dragged) {
            QCOMPARE(text, QStringLiteral("pindle-button:") + *kind);
            QCOMPARE(own, text.toUtf8());
        }
        QCOMPARE(ButtonDrag::kind(data), kind);
    }

    // The pop is immediate; the way back springs past 1, settles on exactly 1 and stops the
    // frame clock. A chip that goes mid-spring takes its animation with it.
    void popSpringsBackAndSettles()
    {
        ManualClock clock;
        FrameClock frames(&clock);
        ButtonBar bar(nullptr, &frames);
        bar.setChips(chips(3, 1));
        QCOMPARE(bar.chipButton(1)->scale(), MarkerChipButton::kPopScale);
        QCOMPARE(bar.chipButton(0)->scale(), 1.0);
        QCOMPARE(frames.runningCount(), 0);
        bar.setChips(chips(3));
        qreal lowest = MarkerChipButton::kPopScale;
        int frameCount = 0;
        for (; frames.isTicking() && frameCount < 100; ++frameCount) {
            clock.advance(16ms);
            lowest = std::min(lowest, bar.chipButton(1)->scale());
        }
        QVERIFY(frameCount > 10 && frameCount < 100);
        QVERIFY(lowest < 1.0);
        QCOMPARE(bar.chipButton(1)->scale(), 1.0);

        bar.setChips(chips(3, 2));
        bar.setChips(chips(3));
        clock.advance(32ms);
        bar.setChips({});
        flushDeletes();
        QCOMPARE(frames.runningCount(), 0);
        QCOMPARE(clock.activeTimerCount(), 0);
    }
};

PINDLE_TEST(ButtonBarTest)
#include "ButtonBarTest.moc"
