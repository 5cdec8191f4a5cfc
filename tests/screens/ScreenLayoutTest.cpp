#include "common/TestMain.h"

#include "screens/ScreenLayout.h"

#include <cmath>

// Where the logging screen's panes go: the breakpoints, the narrow tabs, and the settings that
// only the wide layout obeys.
class ScreenLayoutTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void breakpoints_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<bool>("wide");
        QTest::addColumn<bool>("compact");
        QTest::addColumn<int>("channelWidth");
        QTest::newRow("just narrow") << 819.9 << false << true << 0;
        QTest::newRow("wide from 820") << 820.0 << true << true << 344;
        QTest::newRow("1000: 42 %") << 1000.0 << true << true << 420;
        QTest::newRow("1239 compact") << 1239.0 << true << true << 520;
        QTest::newRow("1240 full header") << 1240.0 << true << false << 520;
        QTest::newRow("700: tabs") << 700.0 << false << true << 0;
        QTest::newRow("minimum window") << 420.0 << false << true << 0;
        QTest::newRow("not a number") << qQNaN() << false << true << 0;
    }
    void breakpoints()
    {
        QFETCH(double, width);
        QFETCH(bool, wide);
        QFETCH(bool, compact);
        QFETCH(int, channelWidth);
        ScreenLayout::Input input;
        input.width = width;
        const ScreenLayout layout = ScreenLayout::of(input);
        QCOMPARE(layout.wide, wide);
        QCOMPARE(layout.tabs, !wide);
        QCOMPARE(layout.compactHeader, compact);
        QCOMPARE(layout.channelColumnWidth, channelWidth);
        QCOMPARE(layout.channelColumn, wide);
        QCOMPARE(layout.logColumn, true);
        // Only the wide transcript keeps a least height and only the wide chat has a fixed one;
        // in the Transcript tab the mixer band stays whole before either gets room.
        QCOMPARE(layout.transcriptMinimumHeight, wide ? 200 : 0);
        QCOMPARE(layout.chatByChannelsHeight, wide ? 170 : 0);
        input.tab = 1;
        input.agentEnabled = true;
        input.hasChannels = true;
        const ScreenLayout transcriptTab = ScreenLayout::of(input);
        QCOMPARE(transcriptTab.transcriptMinimumHeight, wide ? 200 : 0);
        QCOMPARE(transcriptTab.chatByChannelsHeight, wide ? 170 : 0);
    }

    // Which optional panes show, wide and in each narrow tab.
    void panes_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("showMixer");
        QTest::addColumn<bool>("showTags");
        QTest::addColumn<QString>("place");
        QTest::addColumn<bool>("agent");
        QTest::addColumn<bool>("channels");
        // Expected: mixer band, chat under the log, chat by the channels, tag bar.
        QTest::addColumn<QList<bool>>("shown");
        QTest::newRow("wide, agent off") << 1000.0 << 0 << true << true << "log" << false << true
                                         << QList<bool>{true, false, false, true};
        QTest::newRow("wide, chat under the log")
            << 1000.0 << 0 << true << true << "log" << true << true << QList<bool>{true, true, false, true};
        QTest::newRow("wide, chat by the channels")
            << 1000.0 << 0 << true << true << "channels" << true << true << QList<bool>{true, false, true, true};
        QTest::newRow("wide, unknown place")
            << 1000.0 << 0 << true << true << "elsewhere" << true << true << QList<bool>{true, false, false, true};
        QTest::newRow("wide, mixer and tags off")
            << 1000.0 << 0 << false << false << "channels" << true << true << QList<bool>{false, false, true, false};
        QTest::newRow("wide, no channels")
            << 1000.0 << 0 << true << true << "channels" << false << false << QList<bool>{false, false, false, true};
        QTest::newRow("narrow log tab keeps the tags")
            << 700.0 << 0 << true << false << "log" << true << true << QList<bool>{false, false, false, true};
        QTest::newRow("narrow transcript tab, chat wherever it sits")
            << 700.0 << 1 << false << true << "log" << true << true << QList<bool>{true, false, true, false};
        QTest::newRow("narrow transcript tab, no channels")
            << 700.0 << 1 << true << true << "channels" << false << false << QList<bool>{false, false, false, false};
        QTest::newRow("narrow, any other tab is the transcript")
            << 700.0 << 7 << true << true << "channels" << false << true << QList<bool>{true, false, false, false};
    }
    void panes()
    {
        QFETCH(double, width);
        QFETCH(int, tab);
        QFETCH(bool, showMixer);
        QFETCH(bool, showTags);
        QFETCH(QString, place);
        QFETCH(bool, agent);
        QFETCH(bool, channels);
        QFETCH(QList<bool>, shown);
        const ScreenLayout layout = ScreenLayout::of({width, tab, showMixer, showTags, place, agent, channels});
        QCOMPARE((QList<bool>{layout.mixerBand, layout.chatUnderLog, layout.chatByChannels, layout.tagBar}), shown);
        // The section titles belong to the wide layout only; a narrow window shows one tab.
        QCOMPARE(layout.logTitle, layout.wide);
        QCOMPARE(layout.transcriptTitle, layout.wide);
        if (!layout.wide)
            QCOMPARE(layout.logColumn, !layout.channelColumn);
    }

    // The top bar: every item at its natural size, the controls right-aligned on one line, else
    // wrapped in order beside the brand block while no taller than it, else under it.
    void topBar_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("brandHeight");
        QTest::addColumn<int>("controls");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("under");
        QTest::addColumn<double>("height");
        // Brand 180 wide; Sessions, Input, four pills, Export, Start/Stop: 514 wide with 56 of
        // spacing, so one line is 180 + 8 + 570 = 758.
        QTest::newRow("one line, exactly") << 758.0 << 75.0 << 8 << 1 << false << 75.0;
        QTest::newRow("a point short: Start/Stop wraps beside") << 757.0 << 75.0 << 8 << 2 << false << 75.0;
        QTest::newRow("two lines beside") << 500.0 << 75.0 << 8 << 2 << false << 75.0;
        QTest::newRow("taller than the brand: under it") << 388.0 << 75.0 << 8 << 2 << true << 153.0;
        QTest::newRow("a taller brand keeps four lines beside") << 388.0 << 150.0 << 8 << 4 << false << 150.0;
        QTest::newRow("Start/Stop wider than the room beside") << 300.0 << 75.0 << 8 << 2 << true << 153.0;
        QTest::newRow("no controls") << 300.0 << 75.0 << 0 << 0 << false << 75.0;
        QTest::newRow("wide window") << 2000.0 << 75.0 << 8 << 1 << false << 75.0;
        // Each control on a line of its own under the brand: 75 + 8 + 240 + 7 × 8.
        QTest::newRow("no width") << 0.0 << 75.0 << 8 << 8 << true << 379.0;
        QTest::newRow("not a number") << qQNaN() << 75.0 << 8 << 8 << true << 379.0;
    }
    void topBar()
    {
        QFETCH(double, width);
        QFETCH(double, brandHeight);
        QFETCH(int, controls);
        const QList<QSizeF> bar{{100, 31}, {78, 31}, {33, 29}, {33, 29}, {33, 29}, {33, 29}, {86, 31}, {118, 31}};
        TopBarPlan::Input input;
        input.width = width;
        input.brand = QSizeF(180, brandHeight);
        input.controls = bar.first(controls);
        const TopBarPlan plan = TopBarPlan::of(input);
        QTEST(plan.lines, "lines");
        QTEST(plan.underBrand, "under");
        QTEST(plan.height, "height");
        QCOMPARE(plan.brand, QRectF(0, 0, 180, brandHeight));
        QCOMPARE(plan.controls.size(), controls);
        QList<QRectF> all{plan.brand};
        for (qsizetype i = 0; i < plan.controls.size(); ++i) {
            const QRectF& control = plan.controls[i];
            QCOMPARE(control.size(), bar[i]);
            QVERIFY(control.bottom() <= plan.height);
            if (i > 0) {
                // Reading order: further right on the same line, or on a lower one.
                const QRectF& before = plan.controls[i - 1];
                QVERIFY(control.top() > before.top() ||
                        (control.top() == before.top() && control.left() > before.right()));
            }
            all.append(control);
        }
        for (qsizetype i = 0; i < all.size(); ++i)
            for (qsizetype j = i + 1; j < all.size(); ++j)
                QVERIFY2(!all[i].intersects(all[j]),
                         qPrintable(QStringLiteral("items %1 and %2 overlap").arg(i).arg(j)));
        if (controls > 0 && width >= 300) {
            // Start/Stop ends the last line at the right edge; nothing pokes out of the bar.
            QCOMPARE(plan.controls.constLast().right(), width);
            for (const QRectF& control : plan.controls)
                QVERIFY(control.left() >= 0 && control.right() <= width);
        }
    }

    // The timecode panel: digits, two pills, the source block and the scan row (trailing). One
    // line while it fits, each item centred on it and the scan row at the right; else wrapped in
    // order under the digits. An absent item takes no room; one wider than the panel gets its width.
    void timecodeRow_data()
    {
        QTest::addColumn<double>("width");
        QTest::addColumn<QList<QSizeF>>("items");
        QTest::addColumn<int>("lines");
        QTest::addColumn<double>("height");
        // Digits 209, pills 36, source 300, scan 250: one line is 831 + 4 × 14 = 887 wide.
        const QList<QSizeF> all{{209, 36}, {36, 29}, {36, 29}, {300, 30}, {250, 20}};
        QList<QSizeF> noScan = all;
        noScan[4] = QSizeF();
        QList<QSizeF> longScan = all;
        longScan[4] = QSizeF(500, 20);
        QTest::newRow("one line, exactly") << 887.0 << all << 1 << 36.0;
        QTest::newRow("a point short: the scan row under it") << 886.0 << all << 2 << 64.0;
        QTest::newRow("no scan row, a point short") << 622.0 << noScan << 2 << 74.0;
        // The minimum window's header: the clock and its pills, the source, the scan row.
        QTest::newRow("minimum window") << 388.0 << all << 3 << 102.0;
        QTest::newRow("a scan message wider than the panel") << 388.0 << longScan << 3 << 102.0;
        QTest::newRow("not a number") << qQNaN() << all << 5 << 36.0 + 29 + 29 + 30 + 20 + 4 * 8;
    }
    void timecodeRow()
    {
        QFETCH(double, width);
        QFETCH(QList<QSizeF>, items);
        TimecodeRowPlan::Input input;
        input.width = width;
        input.items = items;
        input.trailingFrom = 4;
        const TimecodeRowPlan plan = TimecodeRowPlan::of(input);
        QTEST(plan.lines, "lines");
        QTEST(plan.height, "height");
        QCOMPARE(plan.items.size(), items.size());
        const double room = std::isfinite(width) ? width : 0.0;
        QList<QRectF> placed;
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QRectF& item = plan.items[i];
            if (items[i].isEmpty()) {
                QVERIFY(item.isNull());
                continue;
            }
            QCOMPARE(item.size(), QSizeF(std::min(items[i].width(), room), items[i].height()));
            QVERIFY(item.left() >= 0 && item.right() <= room && item.top() >= 0 && item.bottom() <= plan.height);
            if (i == 4 && room > 0)
                QCOMPARE(item.right(), room);
            placed.append(item);
        }
        // Reading order on leading items; each line starts at the left edge.
        for (qsizetype i = 1; i < 4 && !items[i].isEmpty(); ++i) {
            const QRectF& before = plan.items[i - 1];
            const QRectF& item = plan.items[i];
            const bool sameLine = item.center().y() == before.center().y();
            QVERIFY(sameLine ? item.left() == before.right() + 14 : item.top() > before.bottom() && item.left() == 0);
        }
        for (qsizetype i = 0; i < placed.size(); ++i)
            for (qsizetype j = i + 1; j < placed.size(); ++j)
                QVERIFY2(!placed[i].intersects(placed[j]),
                         qPrintable(QStringLiteral("items %1 and %2 overlap").arg(i).arg(j)));
    }
};

PINDLE_TEST(ScreenLayoutTest)
#include "ScreenLayoutTest.moc"
