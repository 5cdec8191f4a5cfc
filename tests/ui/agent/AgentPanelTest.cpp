#include "agent/AgentTestSupport.h"
#include "common/TestMain.h"

#include "screens/AgentPanelModel.h"
#include "ui/agent/AgentChatView.h"
#include "ui/agent/AgentPanel.h"
#include "ui/theme/FrameClock.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>

using namespace agent_test;
using namespace std::chrono_literals;
using FeedItem = ChannelAgent::FeedItem;
using Kind = FeedItem::Kind;

namespace {

FeedItem item(Kind kind, std::optional<int> channel, const QString& payload, const QString& text,
              const QString& detail = {})
{
    return agent_test::feedItem(kind, channel, payload, text, detail);
}

// The panel on screen over a real engine and agent, with a plain stand-in for the character.
struct PanelBench {
    explicit PanelBench(int channels = 4, QSize size = {600, 190})
        : rig(channels), model(*rig.agent, rig.transcriber(), [this](std::optional<int> c) { opened.append(c); }),
          frames(&rig.clock), character(new QWidget), panel(model, character, &frames)
    {
        panel.resize(size);
        panel.show();
    }
    ChannelAgent& agent() { return *rig.agent; }
    AgentChatView& chat() { return *panel.chat(); }
    void click(const QPoint& at) { QTest::mouseClick(chat().viewport(), Qt::LeftButton, {}, at); }
    // Lets arrivals and glides finish.
    void settle()
    {
        for (int i = 0; i < 120 && chat().isMoving(); ++i)
            rig.clock.advance(16ms);
        QCoreApplication::processEvents();
    }

    AgentRig rig;
    QList<std::optional<int>> opened;
    AgentPanelModel model;
    FrameClock frames;
    QWidget* character;
    AgentPanel panel;
};

} // namespace

class AgentPanelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The character column: the stand-in takes the character's size, help and name; the lines
    // under it follow the agent.
    void characterColumn()
    {
        PanelBench bench;
        QCOMPARE(bench.character->size(), QSize(92, 92));
        QCOMPARE(bench.character->toolTip(), AgentPanelModel::kCharacterHelp);
        QCOMPARE(bench.character->accessibleName(), u"Channel agent"_s);
        QCOMPARE(bench.panel.statusLine()->accessibleName(), u"Listening"_s);
        QCOMPARE(bench.panel.sensitivityLine()->text(), u"Normal"_s);
        bench.rig.run();
        bench.rig.transcriber().renameChannel(1, u"A very long name for a lavalier microphone"_s);
        bench.agent().hop();
        QCOMPARE(bench.panel.statusLine()->accessibleName(), u"On A very long name for a lavalier microphone"_s);
        // Cut to the column, never wider.
        QVERIFY(bench.panel.statusLine()->text().endsWith(QChar(0x2026)));
        QVERIFY(bench.panel.statusLine()->fontMetrics().horizontalAdvance(bench.panel.statusLine()->text()) <= 110);
    }

    // With nothing said yet, one bubble of the empty-state text, which no click opens.
    void emptyState()
    {
        PanelBench bench;
        QCOMPARE(bench.chat().model()->rowCount(), 1);
        QCOMPARE(bench.chat().model()->index(0, 0).data().toString(),
                 u"Press Start logging and I'll keep an eye on the channels for you."_s);
        bench.click(bench.chat().bubbleRect(0).center());
        QVERIFY(bench.opened.isEmpty());
    }

    // One bubble per item in feed order, top to bottom; a click opens the item's channel, none
    // for a scan; a click beside a bubble or dragged off it opens nothing.
    void bubblesClickOpen()
    {
        PanelBench bench;
        bench.agent().appendFeedItem(item(Kind::Brief, 0, u"new"_s, u"the boat"_s, u"A turn"_s));
        bench.agent().appendFeedItem(item(Kind::Keyword, 1, u"boat"_s, u"\"boat\""_s, u"sell the boat"_s));
        bench.agent().appendFeedItem(item(Kind::Scan, std::nullopt, {}, u"4 channels"_s));
        bench.settle();
        QAbstractItemModel& rows = *bench.chat().model();
        QCOMPARE(rows.rowCount(), 3);
        QCOMPARE(rows.index(0, 0).data().toString(), u"Ch 1's on to something new: the boat."_s);
        QCOMPARE(rows.index(1, 0).data().toString(), u"Heads up, \"boat\" on Ch 2."_s);
        QCOMPARE(rows.index(2, 0).data().toString(), u"Scanned the channels: 4 channels."_s);
        QVERIFY(bench.chat().bubbleRect(0).bottom() < bench.chat().bubbleRect(1).top());
        QCOMPARE(rows.index(1, 0).data(Qt::ToolTipRole).toString(), u"Listen to Ch 2 and jump to its latest line"_s);
        QVERIFY(!rows.index(2, 0).data(Qt::ToolTipRole).isValid());

        for (int row = 0; row < 3; ++row) {
            bench.chat().scrollTo(rows.index(row, 0));
            bench.click(bench.chat().bubbleRect(row).center());
        }
        QCOMPARE(bench.opened, (QList<std::optional<int>>{0, 1, std::nullopt}));

        bench.opened.clear();
        bench.chat().scrollToTop();
        const QRect first = bench.chat().bubbleRect(0);
        QVERIFY(first.right() + 20 < bench.chat().viewport()->width());
        bench.click(QPoint(first.right() + 10, first.center().y()));
        QTest::mousePress(bench.chat().viewport(), Qt::LeftButton, {}, first.center());
        QTest::mouseRelease(bench.chat().viewport(), Qt::LeftButton, {}, bench.chat().bubbleRect(1).center());
        QVERIFY(bench.opened.isEmpty());
    }

    // A bubble that grows in place pushes those under it down.
    void grownBubbleMakesRoom()
    {
        PanelBench bench(4, {420, 400});
        bench.agent().appendFeedItem(item(Kind::Brief, 1, u"quiet"_s, u"x"_s));
        bench.agent().appendFeedItem(item(Kind::Brief, 2, u"quiet"_s, u"y"_s));
        bench.settle();
        const QRect before = bench.chat().bubbleRect(0);
        bench.rig.transcriber().renameChannel(1, QString(u"Lavalier "_s).repeated(12));
        QTRY_VERIFY(bench.chat().bubbleRect(0).height() > before.height());
        QVERIFY(bench.chat().bubbleRect(1).top() > bench.chat().bubbleRect(0).bottom());
    }

    // A detail and each live line stop at two lines, however long.
    void longTextsCut()
    {
        PanelBench bench(4, {420, 400});
        const QString shortDetail = u"x"_s;
        const QString endless = QString(u"word "_s).repeated(200);
        bench.agent().appendFeedItem(item(Kind::Brief, 0, u"same"_s, u"a"_s, shortDetail));
        bench.agent().appendFeedItem(item(Kind::Brief, 0, u"same"_s, u"a"_s, endless));
        bench.settle();
        const int lineHeight = QFontMetrics(TextStyle::note.font()).height();
        const int grown = bench.chat().bubbleRect(1).height() - bench.chat().bubbleRect(0).height();
        QVERIFY2(grown > 0 && grown <= lineHeight + 2, qPrintable(QString::number(grown)));
    }

    // Right-clicking the character offers the three sensitivities under the picker's title, the
    // agent's checked; a choice reaches the agent.
    void sensitivityMenu()
    {
        PanelBench bench;
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(40, 40), bench.character->mapToGlobal(QPoint(40, 40)));
        QApplication::sendEvent(bench.character, &event);
        QMenu* menu = bench.panel.sensitivityMenu();
        QVERIFY(menu);
        QTRY_VERIFY(menu->isVisible());
        const QList<QAction*> actions = menu->actions();
        QCOMPARE(actions.size(), 4);
        QCOMPARE(actions.at(0)->text(), u"How much Mark speaks up"_s);
        QVERIFY(!actions.at(0)->isEnabled());
        QStringList labels;
        for (int i = 1; i < 4; ++i)
            labels.append(actions.at(i)->text());
        QCOMPARE(labels, (QStringList{u"Only big moments"_s, u"Normal"_s, u"Everything"_s}));
        QVERIFY(actions.at(2)->isChecked() && !actions.at(1)->isChecked() && !actions.at(3)->isChecked());
        actions.at(3)->trigger();
        QCOMPARE(bench.agent().sensitivity(), ChannelAgent::Sensitivity::High);
        QCOMPARE(bench.panel.sensitivityLine()->text(), u"Everything"_s);
        menu->close();
    }

    // A tap opens the live lines of the channel Mark is on, below the bubbles; Close hides them.
    void liveOpensAndCloses()
    {
        PanelBench bench;
        bench.rig.run();
        bench.agent().appendFeedItem(item(Kind::Brief, 2, u"quiet"_s, u"crew chat"_s));
        bench.panel.characterTapped();
        QCOMPARE(bench.agent().bubble(), std::nullopt);
        bench.agent().hop();
        bench.rig.say(1, u"1"_s, u"first line"_s, 2.0);
        bench.panel.characterTapped();
        QCOMPARE(bench.agent().bubble(), 1);
        bench.settle();
        QAbstractItemModel& rows = *bench.chat().model();
        QCOMPARE(rows.rowCount(), 2);
        QCOMPARE(rows.index(1, 0).data().toString(), u"Live on Ch 2"_s);
        // New lines grow the panel in place.
        const auto laidHeight = [&] { return bench.chat().visualRect(rows.index(1, 0)).height(); };
        const int oneLine = laidHeight();
        bench.rig.say(1, u"2"_s, u"second line"_s, 3.0);
        QTRY_VERIFY(laidHeight() > oneLine);
        const std::optional<QRect> close = bench.chat().closeRect();
        QVERIFY(close);
        QVERIFY(bench.chat().viewport()->rect().contains(*close));
        // A click on the panel beside Close leaves it open.
        bench.click(bench.chat().bubbleRect(1).bottomLeft() + QPoint(20, -4));
        QCOMPARE(bench.agent().bubble(), 1);
        bench.click(close->center());
        QCOMPARE(bench.agent().bubble(), std::nullopt);
        QCOMPARE(rows.rowCount(), 1);
        QCOMPARE(bench.chat().closeRect(), std::nullopt);
        QVERIFY(bench.opened.isEmpty());
    }

    // A new item glides into view at the bottom of a full column.
    void newestShown()
    {
        PanelBench bench(4, {600, 130});
        for (int i = 0; i < 12; ++i)
            bench.agent().appendFeedItem(item(Kind::Scan, std::nullopt, {}, QString::number(i)));
        bench.settle();
        QScrollBar* bar = bench.chat().verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(0);
        bench.agent().appendFeedItem(item(Kind::Scan, std::nullopt, {}, u"last"_s));
        bench.settle();
        QCOMPARE(bar->value(), bar->maximum());
        const QRect last = bench.chat().bubbleRect(bench.chat().model()->rowCount() - 1);
        QVERIFY(bench.chat().viewport()->rect().contains(last));
    }

    // A hidden chat takes its bubbles without waking the frame clock, and shows the newest when
    // it comes back; hiding mid-glide ends the glide where it was going.
    void hiddenChatStaysAsleep()
    {
        PanelBench bench(4, {600, 130});
        for (int i = 0; i < 12; ++i)
            bench.agent().appendFeedItem(item(Kind::Scan, std::nullopt, {}, QString::number(i)));
        QVERIFY(bench.chat().isMoving());
        bench.panel.hide();
        QVERIFY(!bench.chat().isMoving() && !bench.frames.isTicking());
        bench.agent().appendFeedItem(item(Kind::Scan, std::nullopt, {}, u"while hidden"_s));
        QVERIFY(!bench.chat().isMoving() && !bench.frames.isTicking());
        bench.panel.show();
        QCoreApplication::processEvents();
        QScrollBar* bar = bench.chat().verticalScrollBar();
        QCOMPARE(bar->value(), bar->maximum());
    }
};

PINDLE_TEST(AgentPanelTest)

#include "AgentPanelTest.moc"
