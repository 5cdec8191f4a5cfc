#include "common/TestMain.h"

#include "model/LogTagStore.h"
#include "model/LoggingLog.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "screens/LogEntryListModel.h"
#include "screens/LogPaneModel.h"
#include "timecode/CameraTimecode.h"

#include <QTemporaryDir>

#include <cmath>

using namespace std::chrono_literals;

namespace {

// The standard ease-out curve, cubic Bézier (0, 0) (0, 0) (0.58, 1) (1, 1), solved for x by
// bisection: the reference the flash's fade is checked against.
double easeOut(double x)
{
    const auto bezier = [](double p1, double p2, double s) {
        const double r = 1 - s;
        return 3 * r * r * s * p1 + 3 * r * s * s * p2 + s * s * s;
    };
    double low = 0;
    double high = 1;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2;
        (bezier(0, 0.58, mid) < x ? low : high) = mid;
    }
    return bezier(0, 1, (low + high) / 2);
}

// A log pane on a manual clock, over a log of one entry.
struct Pane {
    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode timecode{defaults};
    ManualClock clock{Date::fromSecondsSince1970(1700000000.0)};
    LoggingLog log{timecode, &clock};
    LogTagStore tags{defaults};
    LogPaneModel pane{log, tags, clock};

    QUuid add()
    {
        LogEntry entry;
        entry.id = QUuid::createUuid();
        entry.type = QStringLiteral("moment");
        log.appendEntry(entry);
        return entry.id;
    }
};

} // namespace

// The new-entry flash as the log pane keeps it: full through its hold, then easing out; the
// rule lives here on the pane's clock, and views only read the level.
class LogPaneFlashTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void levelOverTime_data()
    {
        QTest::addColumn<int>("ms");
        QTest::addColumn<bool>("reduced");
        QTest::addColumn<double>("level");
        const auto fading = [](int ms) { return 1 - easeOut((ms - 250) / 1300.0); };
        QTest::newRow("at the press") << 0 << false << 1.0;
        QTest::newRow("mid hold") << 120 << false << 1.0;
        QTest::newRow("end of the hold") << 250 << false << 1.0;
        QTest::newRow("first moment of the fade") << 251 << false << fading(251);
        QTest::newRow("a quarter of the fade") << 575 << false << fading(575);
        QTest::newRow("half the fade") << 900 << false << fading(900);
        QTest::newRow("just before the end") << 1549 << false << fading(1549);
        QTest::newRow("end of the fade") << 1550 << false << 0.0;
        QTest::newRow("long after") << 10000 << false << 0.0;
        QTest::newRow("reduced: end of the hold") << 250 << true << 1.0;
        QTest::newRow("reduced: just after the hold") << 251 << true << 0.0;
        QTest::newRow("reduced: half the fade") << 900 << true << 0.0;
    }

    // The level at chosen moments, boundaries included; with reduced motion the fade is skipped.
    void levelOverTime()
    {
        QFETCH(int, ms);
        QFETCH(bool, reduced);
        QFETCH(double, level);
        Pane p;
        const QUuid id = p.add();
        p.pane.setReduceMotion(reduced);
        p.pane.flash(id);
        p.clock.advance(std::chrono::milliseconds(ms));
        // Within a thousandth: far finer than a step of the row colour's alpha.
        QVERIFY2(std::abs(p.pane.flashLevel(id) - level) < 1e-3,
                 qPrintable(QStringLiteral("%1 instead of %2").arg(p.pane.flashLevel(id)).arg(level)));
        // The flashing set is the hold alone; the level outlives it while it fades.
        QCOMPARE(p.pane.state().flashing.contains(id), ms < 250);
    }

    // The fade only ever falls, from 1 to 0, and the rule agrees with the pane.
    void fadeFallsSteadily()
    {
        double previous = 1;
        for (int ms = 250; ms <= 1550; ms += 10) {
            const double level = LogPaneModel::flashLevelAfter(std::chrono::milliseconds(ms), false);
            QVERIFY(level <= previous && level >= 0);
            previous = level;
        }
        QCOMPARE(previous, 0.0);
        QCOMPARE(LogPaneModel::flashLevelAfter(-1ms, false), 0.0);
    }

    // A row flashed again while it holds or fades starts over: the first flash's timers do not
    // end the second.
    void flashAgainStartsOver()
    {
        Pane p;
        const QUuid id = p.add();
        p.pane.flash(id);
        p.clock.advance(200ms);
        p.pane.flash(id);
        p.clock.advance(200ms);
        QVERIFY(p.pane.state().flashing.contains(id));
        QCOMPARE(p.pane.flashLevel(id), 1.0);
        p.clock.advance(1000ms);
        QVERIFY(!p.pane.state().flashing.contains(id));
        QVERIFY(p.pane.flashLevel(id) > 0 && p.pane.flashLevel(id) < 1);
        QCOMPARE(p.pane.flashCount(), 1);
        p.clock.advance(400ms);
        QCOMPARE(p.pane.flashLevel(id), 0.0);
        QCOMPARE(p.pane.flashCount(), 0);
    }

    // A row with no flash, or one deleted mid-fade, reads 0 and leaves nothing kept.
    void goneRowsLeaveNoFlash()
    {
        Pane p;
        const QUuid kept = p.add();
        const QUuid gone = p.add();
        QCOMPARE(p.pane.flashLevel(kept), 0.0);
        p.pane.flash(gone);
        p.clock.advance(600ms);
        QVERIFY(p.pane.flashLevel(gone) > 0);
        p.log.removeEntry(gone);
        QCOMPARE(p.pane.flashLevel(gone), 0.0);
        QCOMPARE(p.pane.flashCount(), 0);
        // A flash of an id the log never had is harmless.
        p.pane.flash(QUuid::createUuid());
        p.clock.advance(2s);
        QCOMPARE(p.pane.flashCount(), 0);
    }

    // The rows publish the level, and tell the view when the hold ends so it can draw the fade.
    void rowsPublishTheLevel()
    {
        Pane p;
        const QUuid id = p.add();
        LogEntryListModel rows(p.pane);
        QSignalSpy changed(&rows, &QAbstractItemModel::dataChanged);
        p.pane.flash(id);
        const QModelIndex row = rows.index(0);
        QCOMPARE(row.data(LogEntryListModel::FlashLevelRole).toDouble(), 1.0);
        changed.clear();
        p.clock.advance(LogPaneModel::kFlashHold);
        QCOMPARE(changed.size(), 1);
        const auto roles = changed.at(0).at(2).value<QList<int>>();
        QVERIFY(roles.contains(LogEntryListModel::FlashingRole) && roles.contains(LogEntryListModel::FlashLevelRole));
        p.clock.advance(650ms);
        const double mid = row.data(LogEntryListModel::FlashLevelRole).toDouble();
        QVERIFY(std::abs(mid - (1 - easeOut(0.5))) < 1e-3);
        p.clock.advance(LogPaneModel::kFlashFade);
        QCOMPARE(row.data(LogEntryListModel::FlashLevelRole).toDouble(), 0.0);
    }
};

PINDLE_TEST(LogPaneFlashTest)
#include "LogPaneFlashTest.moc"
