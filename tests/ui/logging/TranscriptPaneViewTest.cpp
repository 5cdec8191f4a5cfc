#include "ui/logging/TranscriptPaneView.h"
#include "common/TestMain.h"
#include "platform/Fonts.h"
#include "platform/ManualClock.h"
#include "platform/MotionPreference.h"
#include "screens/ScreenRig.h"
#include "screens/TranscriptListModel.h"
#include "screens/WrittenLines.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/logging/TranscriptListView.h"
#include "ui/logging/TranscriptRowDelegate.h"

#include <QApplication>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

using Role = TranscriptListModel::Role;

namespace {

constexpr QSize kPaneSize(500, 600);
constexpr int kComposerHeight = 80;

using screen_test::WrittenLines;

// The pane on a real logging screen, wired as the screen's view wires it. Its motion runs on a
// frame clock of its own time; with `reduced` (the default, for tests of what is drawn at rest)
// every motion is at its end at once.
struct ViewRig : screen_test::RigParts {
    explicit ViewRig(bool reduced = true)
        : RigParts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 100), motion(reduced)
    {
        LoggingScreenEnvironment env = environment(false);
        env.transcriber.makeStream = [this](const StreamRequest& request) {
            stream = std::make_shared<WrittenLines>(request.channel);
            return stream;
        };
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        screen->appear();
        pane = std::make_unique<TranscriptPaneModel>(*screen);
        rows = std::make_unique<TranscriptListModel>(*pane);
        view = std::make_unique<TranscriptPaneView>(rows.get(), nullptr, &frames);
        TranscriptPaneModel* model = pane.get();
        QObject::connect(model, &TranscriptPaneModel::stateChanged, view.get(),
                         [this] { view->setState(pane->state()); });
        view->setState(model->state());
        QObject::connect(view.get(), &TranscriptPaneView::selectRequested, model, &TranscriptPaneModel::select);
        QObject::connect(view.get(), &TranscriptPaneView::hoverChanged, model, &TranscriptPaneModel::setHover);
        QObject::connect(view.get(), &TranscriptPaneView::hoverLeft, model, &TranscriptPaneModel::leaveHover);
        QObject::connect(view.get(), &TranscriptPaneView::renameRequested, model, &TranscriptPaneModel::renameFromLine);
        QObject::connect(view.get(), &TranscriptPaneView::dropped, model,
                         [model](const QStringList& texts, const QString& id) { model->drop(texts, id); });
        view->resize(kPaneSize);
        view->show();
        exposed = QTest::qWaitForWindowExposed(view.get());
    }

    void start() { screen->transcriber().start(); }
    void putLines(int count, int from = 0, const std::optional<QString>& speaker = std::nullopt)
    {
        for (int n = from; n < from + count; ++n) {
            DisplaySegment line;
            line.id = QStringLiteral("L%1").arg(n);
            line.text = QStringLiteral("Line %1: we lose the light in ten minutes, so this is the last one").arg(n);
            line.startSecs = n + 1;
            line.endSecs = n + 1.5;
            line.speaker = speaker;
            line.channel = -1;
            line.firstSeen = clock.now();
            stream->put(line);
        }
        QCoreApplication::processEvents();
    }
    [[nodiscard]] TranscriptListView* list() const { return view->listView(); }
    [[nodiscard]] QWidget* viewport() const { return list()->viewport(); }
    [[nodiscard]] QModelIndex row(const QString& id) const { return rows->index(*rows->rowOf(id)); }
    [[nodiscard]] QRect lineRect(const QString& id) const
    {
        const QModelIndex index = row(id);
        return view->delegate()->lineRect(index, list()->visualRect(index));
    }

    // Runs the frames until no motion is left, at most `limit` of frame time.
    void settle(std::chrono::milliseconds limit = std::chrono::seconds(3))
    {
        for (auto run = std::chrono::milliseconds(0); run < limit && frames.isTicking(); run += FrameClock::kInterval)
            frameTime.advance(FrameClock::kInterval);
    }

    MotionPreference motion;
    ManualClock frameTime;
    FrameClock frames{&frameTime, &motion};
    std::shared_ptr<WrittenLines> stream;
    std::unique_ptr<LoggingScreenModel> screen;
    std::unique_ptr<TranscriptPaneModel> pane;
    std::unique_ptr<TranscriptListModel> rows;
    std::unique_ptr<TranscriptPaneView> view;
    bool exposed = false;
};

// A drag entering `target` and moving to `at`, as the window system delivers it: no move after
// a refused entry.
void sendDrag(QWidget* target, const QPoint& at, const QMimeData& data, bool* entered, bool* moved)
{
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    *entered = enter.isAccepted();
    *moved = false;
    if (!*entered)
        return;
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    *moved = move.isAccepted();
}

} // namespace

// The transcript pane through its widgets, on a real logging screen.
class TranscriptPaneViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        registerFonts();
    }

    void cleanup() { QToolTip::hideText(); }

    // A click on a line selects it (the composer opens under it); a press that leaves its line
    // before the release does nothing; the line's help names what a click does.
    void clickSelectsTheLine()
    {
        ViewRig r;
        QVERIFY(r.exposed);
        r.start();
        r.putLines(3);
        QSignalSpy select(r.view.get(), &TranscriptPaneView::selectRequested);
        QTest::mousePress(r.viewport(), Qt::LeftButton, {}, r.lineRect(QStringLiteral("L0")).center());
        QTest::mouseRelease(r.viewport(), Qt::LeftButton, {}, r.lineRect(QStringLiteral("L2")).center());
        QCOMPARE(select.size(), 0);

        QTest::mouseClick(r.viewport(), Qt::LeftButton, {}, r.lineRect(QStringLiteral("L1")).center());
        QCOMPARE(select.size(), 1);
        QCOMPARE(select.at(0).at(0).toString(), QStringLiteral("L1"));
        QCOMPARE(r.screen->composingLine(), std::optional<QString>(QStringLiteral("L1")));
        QVERIFY(r.row(QStringLiteral("L1")).data(Role::SelectedRole).toBool());

        const QPoint at = r.lineRect(QStringLiteral("L2")).center();
        QHelpEvent help(QEvent::ToolTip, at, r.viewport()->mapToGlobal(at));
        QApplication::sendEvent(r.viewport(), &help);
        QCOMPARE(QToolTip::text(), QStringLiteral("Select this line"));
        QCOMPARE(r.list()->accessibleName(), QStringLiteral("Transcript"));
    }

    // The pointer's line is the hover line; leaving the list clears it.
    void hoverFollowsThePointer()
    {
        ViewRig r;
        QVERIFY(r.exposed);
        r.start();
        r.putLines(3);
        QTest::mouseMove(r.viewport(), r.lineRect(QStringLiteral("L0")).center());
        QCOMPARE(r.pane->state().hoverLine, std::optional<QString>(QStringLiteral("L0")));
        QTest::mouseMove(r.viewport(), r.lineRect(QStringLiteral("L2")).center());
        QCOMPARE(r.pane->state().hoverLine, std::optional<QString>(QStringLiteral("L2")));
        QVERIFY(r.row(QStringLiteral("L2")).data(Role::HoverRole).toBool());
        QVERIFY(!r.row(QStringLiteral("L0")).data(Role::HoverRole).toBool());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(r.viewport(), &leave);
        QVERIFY(!r.pane->state().hoverLine);
    }

    // A marker button's payload dropped on a line logs that line; other text and drops between
    // lines are refused. The line under the dragged button is the hover line.
    void dropOnALine_data()
    {
        QTest::addColumn<bool>("ownType");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("betweenLines");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("marker button") << true << "pindle-button:funny" << false << true;
        QTest::newRow("plain text payload") << false << "pindle-button:funny" << false << true;
        QTest::newRow("other text") << false << "funny" << false << false;
        QTest::newRow("between lines") << true << "pindle-button:funny" << true << false;
    }
    void dropOnALine()
    {
        QFETCH(bool, ownType);
        QFETCH(QString, text);
        QFETCH(bool, betweenLines);
        QFETCH(bool, accepted);
        ViewRig r;
        QVERIFY(r.exposed);
        r.start();
        r.putLines(3);
        QMimeData data;
        if (ownType)
            data.setData(QString::fromLatin1(ButtonDrag::kMimeType), text.toUtf8());
        else
            data.setText(text);
        const QRect line = r.lineRect(QStringLiteral("L1"));
        const QPoint at =
            betweenLines ? QPoint(line.center().x(), r.list()->visualRect(r.row(QStringLiteral("L1"))).bottom() + 8)
                         : line.center();
        QSignalSpy dropped(r.view.get(), &TranscriptPaneView::dropped);
        bool entered = false;
        bool moved = false;
        sendDrag(r.viewport(), at, data, &entered, &moved);
        QCOMPARE(entered, ownType || text.startsWith(u"pindle-button:"));
        QCOMPARE(moved, accepted);
        QCOMPARE(r.pane->state().hoverLine.has_value(), entered && !betweenLines);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(r.viewport(), &drop);
        QCOMPARE(drop.isAccepted(), accepted);
        QCOMPARE(dropped.size(), accepted ? 1 : 0);
        QVERIFY(!r.pane->state().hoverLine);
        if (!accepted)
            return;
        QCOMPARE(dropped.at(0).at(1).toString(), QStringLiteral("L1"));
        QVERIFY(dropped.at(0).at(0).toStringList().contains(text));
        QCOMPARE(r.screen->log().entries().size(), 1);
        QCOMPARE(r.screen->log().entries().constFirst().lineID, std::optional<QString>(QStringLiteral("L1")));
        QCOMPARE(r.screen->log().entries().constFirst().type, QStringLiteral("funny"));
    }

    // The context menu renames the line's speaker by the name shown; a line without a speaker
    // has no menu.
    void renameMenu_data()
    {
        QTest::addColumn<QString>("speaker");
        QTest::addColumn<QString>("givenName");
        QTest::addColumn<QString>("item");
        QTest::newRow("speaker") << "Ada"
                                 << ""
                                 << "Rename Ada…";
        QTest::newRow("ampersand") << "R&D"
                                   << ""
                                   << "Rename R&&D…";
        QTest::newRow("given name") << "Ben"
                                    << "Benjamin"
                                    << "Rename Benjamin…";
        QTest::newRow("no speaker") << ""
                                    << ""
                                    << "";
    }
    void renameMenu()
    {
        QFETCH(QString, speaker);
        QFETCH(QString, givenName);
        QFETCH(QString, item);
        ViewRig r;
        QVERIFY(r.exposed);
        r.start();
        r.putLines(2, 0, speaker.isEmpty() ? std::nullopt : std::optional(speaker));
        if (!givenName.isEmpty()) {
            r.screen->setRenamingSpeaker(speaker);
            r.screen->renameText = givenName;
            r.screen->saveSpeakerName();
        }
        const std::unique_ptr<QMenu> menu = r.view->menuFor(r.row(QStringLiteral("L1")));
        if (item.isEmpty()) {
            QVERIFY(!menu);
            return;
        }
        QVERIFY(menu);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().constFirst()->text(), item);
        QSignalSpy rename(r.view.get(), &TranscriptPaneView::renameRequested);
        menu->actions().constFirst()->trigger();
        QCOMPARE(rename.size(), 1);
        QCOMPARE(rename.at(0).at(0).toString(), QStringLiteral("L1"));
        QCOMPARE(r.screen->renamingSpeaker(), std::optional(speaker));
    }

    // A right click opens the menu at the line.
    void rightClickOpensTheMenu()
    {
        ViewRig r;
        QVERIFY(r.exposed);
        r.start();
        r.putLines(2, 0, QStringLiteral("Ada"));
        QString shown;
        QTimer::singleShot(0, [&shown] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                shown = menu->actions().value(0) ? menu->actions().constFirst()->text() : QString();
                menu->close();
            }
        });
        const QPoint at = r.lineRect(QStringLiteral("L0")).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, r.viewport()->mapToGlobal(at));
        QApplication::sendEvent(r.viewport(), &event);
        QCOMPARE(shown, QStringLiteral("Rename Ada…"));
    }

    // Held rows stand still and the banner counts the lines waiting; the release shows them
    // and goes to the end.
    void bannerWhileHeld()
    {
        ViewRig r;
        QVERIFY(r.exposed);
        QVERIFY(r.view->showsEmptyText());
        QCOMPARE(r.view->emptyText(), QString::fromUtf8(TranscriptPaneModel::kStartHint));
        r.start();
        r.putLines(12);
        QVERIFY(!r.view->showsEmptyText());
        // "Listening…" is a resting state: no status line.
        QVERIFY(!r.view->showsStatus());
        r.screen->selectLine(QStringLiteral("L3"));
        r.putLines(1, 12);
        QVERIFY(r.view->showsBanner());
        QCOMPARE(r.view->bannerText(), QStringLiteral("Paused while you type · 1 new line waiting"));
        r.putLines(1, 13);
        QCOMPARE(r.view->bannerText(), QStringLiteral("Paused while you type · 2 new lines waiting"));
        QCOMPARE(r.rows->rowCount(), 12);
        r.screen->cancelComposer();
        QCoreApplication::processEvents();
        QVERIFY(!r.view->showsBanner());
        QCOMPARE(r.rows->rowCount(), 14);
        QVERIFY(r.list()->isAtEnd());
        QVERIFY(r.list()->visualRect(r.row(QStringLiteral("L13"))).bottom() <= r.viewport()->height());
    }

    // New lines bring the list to the end, unless a jump target is set (that row is centred)
    // or the rows are held.
    void followsNewLinesUnlessJumpingOrHeld()
    {
        ViewRig r;
        QVERIFY(r.exposed);
        r.start();
        r.putLines(40);
        QVERIFY(r.list()->verticalScrollBar()->maximum() > 0);
        r.list()->verticalScrollBar()->setValue(0);
        r.putLines(1, 40);
        QVERIFY(r.list()->isAtEnd());

        r.screen->scrollTo(QStringLiteral("L10"));
        QCoreApplication::processEvents();
        const QRect target = r.list()->visualRect(r.row(QStringLiteral("L10")));
        QVERIFY(qAbs(target.center().y() - r.viewport()->height() / 2) <= 1);
        QVERIFY(r.row(QStringLiteral("L10")).data(Role::JumpTargetRole).toBool());
        r.putLines(1, 41);
        QCOMPARE(r.list()->visualRect(r.row(QStringLiteral("L10"))), target);

        r.clock.advance(LoggingScreenModel::kJumpHold);
        r.screen->selectLine(QStringLiteral("L5"));
        const int held = r.list()->verticalScrollBar()->value();
        r.putLines(1, 42);
        QCOMPARE(r.list()->verticalScrollBar()->value(), held);
    }

    // The composer sits under the selected line, the rows below make room for it, and it goes
    // when the line is no longer selected.
    void composerUnderTheSelectedLine()
    {
        ViewRig r;
        QVERIFY(r.exposed);
        QWidget composer;
        composer.setFixedHeight(kComposerHeight);
        r.view->setComposer(&composer);
        r.start();
        r.putLines(4);
        QVERIFY(composer.isHidden());
        const int nextTop = r.list()->visualRect(r.row(QStringLiteral("L2"))).top();
        r.screen->selectLine(QStringLiteral("L1"));
        QCoreApplication::processEvents();
        QVERIFY(composer.isVisible());
        const QRect line = r.lineRect(QStringLiteral("L1"));
        const int spacing = int(std::ceil(r.view->delegate()->style().composerSpacing));
        QCOMPARE(composer.geometry().top(), line.bottom() + 1 + spacing);
        QCOMPARE(composer.height(), kComposerHeight);
        QCOMPARE(r.list()->visualRect(r.row(QStringLiteral("L2"))).top(), nextTop + spacing + kComposerHeight);
        r.screen->cancelComposer();
        QCoreApplication::processEvents();
        QVERIFY(composer.isHidden());
        QCOMPARE(r.list()->visualRect(r.row(QStringLiteral("L2"))).top(), nextTop);
        r.view->setComposer(nullptr);
    }

    // New lines glide the list to its end; the glide ends there and the frames stop.
    void newLinesGlideToTheEnd()
    {
        ViewRig r(false);
        QVERIFY(r.exposed);
        r.start();
        r.putLines(40);
        r.settle();
        QVERIFY(r.list()->isAtEnd() && !r.frames.isTicking());
        r.list()->verticalScrollBar()->setValue(0);
        r.putLines(1, 40);
        QVERIFY(r.list()->followsEnd());
        QVERIFY(r.list()->isMoving() && !r.list()->isAtEnd());
        r.frameTime.advance(FrameClock::kInterval * 3);
        const int moving = r.list()->verticalScrollBar()->value();
        QVERIFY(moving > 0 && moving < r.list()->verticalScrollBar()->maximum());
        r.settle();
        QVERIFY(r.list()->isAtEnd());
        QVERIFY(!r.frames.isTicking());
    }

    // A jump glides to the line and rests with it centred; the logger scrolling meanwhile
    // leaves the list where the logger put it.
    void jumpGlidesToTheLine()
    {
        ViewRig r(false);
        QVERIFY(r.exposed);
        r.start();
        r.putLines(40);
        r.settle();
        r.screen->scrollTo(QStringLiteral("L10"));
        QCoreApplication::processEvents();
        QVERIFY(r.list()->isMoving());
        r.settle();
        const QRect target = r.list()->visualRect(r.row(QStringLiteral("L10")));
        QVERIFY(qAbs(target.center().y() - r.viewport()->height() / 2) <= 1);
        QVERIFY(!r.frames.isTicking());

        r.clock.advance(LoggingScreenModel::kJumpHold);
        r.screen->scrollTo(QStringLiteral("L30"));
        QCoreApplication::processEvents();
        r.frameTime.advance(FrameClock::kInterval);
        r.list()->verticalScrollBar()->setValue(5);
        QVERIFY(!r.frames.isTicking());
        QCOMPARE(r.list()->verticalScrollBar()->value(), 5);
    }

    // The banner fades in over the held rows and out when they are let go, keeping its room
    // until it has faded; the release glides to the end.
    void bannerFadesInAndOut()
    {
        ViewRig r(false);
        QVERIFY(r.exposed);
        r.start();
        r.putLines(30);
        r.settle();
        r.screen->selectLine(QStringLiteral("L3"));
        r.settle();
        r.putLines(2, 30);
        QVERIFY(r.view->showsBanner());
        QCOMPARE(r.view->bannerOpacity(), 0.0);
        r.frameTime.advance(FrameClock::kInterval * 4);
        QVERIFY(r.view->bannerOpacity() > 0 && r.view->bannerOpacity() < 1);
        r.settle();
        QCOMPARE(r.view->bannerOpacity(), 1.0);

        r.screen->cancelComposer();
        QCoreApplication::processEvents();
        QVERIFY(!r.view->showsBanner());
        r.frameTime.advance(FrameClock::kInterval * 2);
        QVERIFY(r.view->bannerOpacity() > 0 && r.view->bannerOpacity() < 1);
        r.settle();
        QCOMPARE(r.view->bannerOpacity(), 0.0);
        QVERIFY(r.list()->isAtEnd());
        QVERIFY(!r.frames.isTicking());
    }

    // The composer comes down from the top edge of its place as it fades in, and goes back up
    // as it fades out; at rest it is exactly in its place and draws with no effect.
    void composerSlidesInAndOut()
    {
        ViewRig r(false);
        QVERIFY(r.exposed);
        QWidget composer;
        composer.setFixedHeight(kComposerHeight);
        r.view->setComposer(&composer);
        r.start();
        r.putLines(4);
        r.settle();
        r.screen->selectLine(QStringLiteral("L1"));
        QCoreApplication::processEvents();
        const int spacing = int(std::ceil(r.view->delegate()->style().composerSpacing));
        const int place = r.lineRect(QStringLiteral("L1")).bottom() + 1 + spacing;
        QVERIFY(composer.isVisible());
        QVERIFY(r.list()->composerProgress() < 1);
        QVERIFY(composer.geometry().top() < place);
        QVERIFY(composer.graphicsEffect());
        r.frameTime.advance(FrameClock::kInterval * 3);
        QVERIFY(composer.geometry().top() > place - kComposerHeight && composer.geometry().top() < place);
        r.settle();
        QCOMPARE(composer.geometry().top(), place);
        QVERIFY(!composer.graphicsEffect());

        r.screen->cancelComposer();
        QCoreApplication::processEvents();
        QVERIFY(composer.isHidden());
        QVERIFY(r.list()->composerLeaving());
        r.settle();
        QVERIFY(!r.list()->composerLeaving());
        QVERIFY(!r.frames.isTicking());
        r.view->setComposer(nullptr);
    }

    // A line that becomes used grows its "SELECTED" badge in from a third of its size.
    void selectedBadgePopsIn()
    {
        ViewRig r(false);
        QVERIFY(r.exposed);
        r.start();
        r.putLines(4);
        r.settle();
        r.screen->selectLine(QStringLiteral("L2"));
        r.screen->commitComposer(QStringLiteral("L2"));
        QCoreApplication::processEvents();
        QCOMPARE(r.list()->poppingBadgeCount(), 1);
        QCOMPARE(r.view->delegate()->badgeProgress(QStringLiteral("L2")), std::optional<double>(0.0));
        r.frameTime.advance(FrameClock::kInterval * 3);
        const std::optional<double> growing = r.view->delegate()->badgeProgress(QStringLiteral("L2"));
        QVERIFY(growing && *growing > 0);
        r.settle();
        QCOMPARE(r.list()->poppingBadgeCount(), 0);
        QVERIFY(!r.view->delegate()->badgeProgress(QStringLiteral("L2")));
        QVERIFY(!r.frames.isTicking());
    }

    // Off screen nothing moves: lines, holds and jumps put the list where it ends, with no frame.
    void hiddenPaneMakesNoFrame()
    {
        ViewRig r(false);
        QVERIFY(r.exposed);
        r.start();
        r.putLines(30);
        r.settle();
        r.view->hide();
        r.list()->verticalScrollBar()->setValue(0);
        r.putLines(3, 30);
        r.screen->selectLine(QStringLiteral("L3"));
        r.putLines(1, 33);
        r.screen->cancelComposer();
        QCoreApplication::processEvents();
        QVERIFY(!r.frames.isTicking());
        QVERIFY(!r.view->showsBanner() && r.view->bannerOpacity() == 0.0);
        QVERIFY(r.list()->followsEnd());
    }
};

PINDLE_TEST(TranscriptPaneViewTest)
#include "TranscriptPaneViewTest.moc"
