#include "common/TestMain.h"

#include "screens/ScreenLayout.h"

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
        QTest::newRow("wide, chat under the log") << 1000.0 << 0 << true << true << "log" << true << true
                                                  << QList<bool>{true, true, false, true};
        QTest::newRow("wide, chat by the channels") << 1000.0 << 0 << true << true << "channels" << true << true
                                                    << QList<bool>{true, false, true, true};
        QTest::newRow("wide, unknown place") << 1000.0 << 0 << true << true << "elsewhere" << true << true
                                             << QList<bool>{true, false, false, true};
        QTest::newRow("wide, mixer and tags off") << 1000.0 << 0 << false << false << "channels" << true << true
                                                  << QList<bool>{false, false, true, false};
        QTest::newRow("wide, no channels") << 1000.0 << 0 << true << true << "channels" << false << false
                                           << QList<bool>{false, false, false, true};
        QTest::newRow("narrow log tab keeps the tags") << 700.0 << 0 << true << false << "log" << true << true
                                                       << QList<bool>{false, false, false, true};
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
};

PINDLE_TEST(ScreenLayoutTest)
#include "ScreenLayoutTest.moc"
