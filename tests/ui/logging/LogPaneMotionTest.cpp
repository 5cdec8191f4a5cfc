#include "common/TestMain.h"
#include "platform/Fonts.h"
#include "platform/MotionPreference.h"
#include "screens/LogEntryListModel.h"
#include "screens/ScreenRig.h"
#include "ui/logging/LogPaneView.h"
#include "ui/theme/Theme.h"

#include <QListView>
#include <QScrollBar>
#include <QStandardItemModel>

using namespace std::chrono_literals;
using Role = LogEntryListModel::Role;
using screen_test::Rig;

namespace {

// The log pane over a real screen's rows, its frames on the screen's own clock, so the flash the
// model keeps and the motion the pane draws move together.
struct PaneRig {
    explicit PaneRig(bool reduced = false, bool shown = true)
        : rig(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), true), motion(reduced),
          frames(&rig.clock, &motion)
    {
        rig.screen->logPane().setReduceMotion(reduced);
        rows = std::make_unique<LogEntryListModel>(rig.screen->logPane());
        pane = std::make_unique<LogPaneView>(rows.get(), nullptr, &frames);
        pane->resize(900, 500);
        if (shown) {
            pane->show();
            exposed = QTest::qWaitForWindowExposed(pane.get());
        }
    }

    QUuid press()
    {
        rig.screen->tapButton(Rig::button(QStringLiteral("moment"), 10));
        // The pane's scroll waits for the list to lay the row out.
        QCoreApplication::processEvents();
        return rig.screen->log().entries().constLast().id;
    }
    [[nodiscard]] QModelIndex row(const QUuid& id) const { return rows->index(int(*rig.screen->log().entryRowOf(id))); }
    [[nodiscard]] qreal backgroundAlpha(const QUuid& id) const
    {
        return pane->delegate()->backgroundOf(row(id)).alphaF();
    }
    // Frames until nothing moves, at most `limit`.
    void settle(std::chrono::milliseconds limit = 5s)
    {
        for (auto run = 0ms; run < limit && frames.isTicking(); run += FrameClock::kInterval)
            rig.clock.advance(FrameClock::kInterval);
    }

    Rig rig;
    MotionPreference motion;
    FrameClock frames;
    std::unique_ptr<LogEntryListModel> rows;
    std::unique_ptr<LogPaneView> pane;
    bool exposed = false;
};

} // namespace

// How the log pane's rows move: in from the trailing edge, the flash fading after its hold, out
// with a fade, the list gliding to its end; and that all of it stops, off screen too.
class LogPaneMotionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        registerFonts();
    }

    // A new row slides and fades in, its badge pops, and after the flash's fade the frames stop.
    void newRowComesIn()
    {
        PaneRig p;
        QVERIFY(p.exposed);
        const QUuid id = p.press();
        QCOMPARE(p.pane->poppingCount(), 1);
        QCOMPARE(p.pane->delegate()->enterProgress(id), std::optional<double>(0.0));
        p.rig.clock.advance(FrameClock::kInterval * 4);
        const std::optional<double> entering = p.pane->delegate()->enterProgress(id);
        QVERIFY(entering && *entering > 0 && *entering < 1);
        p.settle();
        QCOMPARE(p.pane->poppingCount(), 0);
        QVERIFY(!p.pane->delegate()->enterProgress(id));
        QVERIFY(!p.pane->isMoving());
        QVERIFY(!p.frames.isTicking());
    }

    // The flash holds at full for 0.25 s with no frame of its own, then fades to the selected
    // row's colour over 1.3 s as the model's level falls; then nothing ticks.
    void flashFadesOverTheSelection()
    {
        PaneRig p;
        QVERIFY(p.exposed);
        const QUuid id = p.press();
        QVERIFY(p.row(id).data(Role::SelectedRole).toBool());
        QVERIFY(qAbs(p.backgroundAlpha(id) - 0.2) < 0.001);
        p.rig.clock.advance(LogPaneModel::kFlashHold);
        QCOMPARE(p.pane->fadingFlashCount(), 1);
        QVERIFY(p.frames.isTicking());
        p.rig.clock.advance(650ms);
        const double level = p.row(id).data(Role::FlashLevelRole).toDouble();
        QVERIFY(level > 0.1 && level < 0.9);
        QVERIFY(qAbs(p.backgroundAlpha(id) - (0.08 + 0.12 * level)) < 0.01);
        p.settle();
        QCOMPARE(p.pane->fadingFlashCount(), 0);
        QVERIFY(qAbs(p.backgroundAlpha(id) - 0.08) < 0.005);
        QVERIFY(!p.frames.isTicking());
    }

    void flashOverEachBackground_data()
    {
        QTest::addColumn<QString>("under");
        QTest::addColumn<QVariant>("level");
        QTest::addColumn<bool>("flashing");
        QTest::addColumn<QColor>("drawn");
        const QColor coral = Theme::coral;
        const auto withAlpha = [](QColor colour, qreal alpha) {
            colour.setAlphaF(float(alpha));
            return colour;
        };
        for (const QString& under : {QStringLiteral("plain"), QStringLiteral("selected"), QStringLiteral("suggested")})
            QTest::addRow("%s, full flash", qPrintable(under))
                << under << QVariant(1.0) << false << withAlpha(coral, 0.2);
        QTest::newRow("plain, half") << "plain" << QVariant(0.5) << false << withAlpha(coral, 0.1);
        QTest::newRow("selected, half") << "selected" << QVariant(0.5) << false << withAlpha(coral, 0.14);
        QTest::newRow("plain, done") << "plain" << QVariant(0.0) << false << QColor();
        QTest::newRow("selected, done") << "selected" << QVariant(0.0) << false << withAlpha(coral, 0.08);
        QTest::newRow("suggested, done") << "suggested" << QVariant(0.0) << false << withAlpha(Theme::amber, 0.07);
        // A model without the level: flashing is the full flash.
        QTest::newRow("no level, flashing") << "selected" << QVariant() << true << withAlpha(coral, 0.2);
        QTest::newRow("no level, not flashing") << "plain" << QVariant() << false << QColor();
    }

    // The flash is laid over what the row shows without it, by how much of it is left: the
    // selection's colour under a fading flash shows through, and a full flash hides it.
    void flashOverEachBackground()
    {
        QFETCH(QString, under);
        QFETCH(QVariant, level);
        QFETCH(bool, flashing);
        QFETCH(QColor, drawn);
        QStandardItemModel model;
        auto* item = new QStandardItem;
        item->setData(under == QLatin1String("selected"), Role::SelectedRole);
        item->setData(under == QLatin1String("suggested"), Role::SuggestedRole);
        item->setData(flashing, Role::FlashingRole);
        if (level.isValid())
            item->setData(level, Role::FlashLevelRole);
        model.appendRow(item);
        const EntryRow delegate;
        const QColor background = delegate.backgroundOf(model.index(0, 0));
        QCOMPARE(background.isValid(), drawn.isValid());
        if (!drawn.isValid())
            return;
        QVERIFY2(qAbs(background.alphaF() - drawn.alphaF()) < 0.002, qPrintable(background.name(QColor::HexArgb)));
        QCOMPARE(background.rgb(), drawn.rgb());
    }

    // A deleted row fades where it was, over the rows that took its place.
    void deletedRowFadesOut()
    {
        PaneRig p;
        QVERIFY(p.exposed);
        p.press();
        const QUuid second = p.press();
        p.press();
        p.settle();
        p.rig.screen->logPane().deleteEntry(second);
        QCOMPARE(p.pane->leavingCount(), 1);
        QVERIFY(p.frames.isTicking());
        p.settle();
        QCOMPARE(p.pane->leavingCount(), 0);
        QVERIFY(!p.frames.isTicking());
    }

    // Scrolled away from the end, a new row glides the list back to it.
    void newRowGlidesToTheEnd()
    {
        PaneRig p;
        QVERIFY(p.exposed);
        for (int i = 0; i < 20; ++i)
            p.press();
        p.settle();
        QScrollBar* bar = p.pane->listView()->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(0);
        p.press();
        QVERIFY(p.pane->isMoving());
        p.rig.clock.advance(FrameClock::kInterval * 3);
        QVERIFY(bar->value() > 0 && bar->value() < bar->maximum());
        p.settle();
        QCOMPARE(bar->value(), bar->maximum());
    }

    // With reduced motion rows are drawn at their end state: no slide, no pop, no fade, and the
    // flash ends with its hold; no frame runs.
    void reducedMotionShowsTheEndState()
    {
        PaneRig p(true);
        QVERIFY(p.exposed);
        const QUuid first = p.press();
        const QUuid id = p.press();
        QCOMPARE(p.pane->poppingCount(), 0);
        QVERIFY(!p.pane->delegate()->enterProgress(id));
        p.rig.clock.advance(LogPaneModel::kFlashHold + 1ms);
        QCOMPARE(p.row(id).data(Role::FlashLevelRole).toDouble(), 0.0);
        QCOMPARE(p.pane->fadingFlashCount(), 0);
        p.rig.screen->logPane().deleteEntry(first);
        QCOMPARE(p.pane->leavingCount(), 0);
        QVERIFY(!p.frames.isTicking());
    }

    // Off screen the pane asks for no frame; shown again mid-fade it draws the rest of the fade;
    // hidden mid-motion it stops at once.
    void hiddenPaneMakesNoFrame()
    {
        PaneRig p(false, false);
        const QUuid id = p.press();
        QCOMPARE(p.pane->poppingCount(), 0);
        p.rig.clock.advance(LogPaneModel::kFlashHold);
        QVERIFY(!p.frames.isTicking());
        p.rig.clock.advance(300ms);
        p.pane->show();
        QVERIFY(QTest::qWaitForWindowExposed(p.pane.get()));
        QCOMPARE(p.pane->fadingFlashCount(), 1);
        QVERIFY(p.frames.isTicking());
        p.press();
        QVERIFY(p.pane->poppingCount() > 0);
        p.pane->hide();
        QVERIFY(!p.frames.isTicking());
        QCOMPARE(p.pane->poppingCount() + p.pane->fadingFlashCount() + p.pane->leavingCount(), 0);
        QVERIFY(p.row(id).data(Role::FlashLevelRole).toDouble() > 0);
    }
};

PINDLE_TEST(LogPaneMotionTest)
#include "LogPaneMotionTest.moc"
