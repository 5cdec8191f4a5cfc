#include "common/TestMain.h"
#include "screens/ScreenRig.h"

#include "screens/TimecodePanelModel.h"
#include "ui/logging/ButtonBar.h"
#include "ui/logging/ComposerView.h"
#include "ui/logging/LinePickerSheet.h"
#include "ui/logging/LogPaneAccessible.h"
#include "ui/logging/LogPaneView.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/logging/TranscriptAccessible.h"
#include "ui/logging/TranscriptListView.h"
#include "ui/logging/TranscriptPaneView.h"
#include "ui/logging/header/TimecodePanel.h"
#include "ui/theme/FrameClock.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

using screen_test::RigParts;

namespace {

using namespace std::chrono_literals;

// A logging screen with no service behind it, hearing the demo shoot on the test's clock.
struct ViewRig : RigParts {
    ViewRig() : RigParts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000)
    {
        view = std::make_unique<LoggingView>(environment(true));
        view->resize(1180, 800);
        view->show();
    }
    LoggingScreenModel& screen() { return view->screen(); }
    void hearLines(qsizetype lines)
    {
        screen().toggleLogging();
        for (int i = 0; i < 20 && screen().transcriber().segments().size() < lines; ++i)
            clock.advance(std::chrono::milliseconds(lineMs));
        screen().toggleLogging();
    }
    QAccessibleInterface* logRow(int row)
    {
        return QAccessible::queryAccessibleInterface(view->logPane()->listView())->child(row);
    }
    QAccessibleInterface* transcript()
    {
        return QAccessible::queryAccessibleInterface(view->transcriptPane()->listView());
    }
    std::unique_ptr<LoggingView> view;
};

QAccessibleInterface* accessibleOf(QWidget* widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

void press(QAccessibleInterface* iface, const QString& action)
{
    QVERIFY(iface && iface->actionInterface());
    QVERIFY2(iface->actionInterface()->actionNames().contains(action), qPrintable(action));
    iface->actionInterface()->doAction(action);
}

} // namespace

// The logging screen driven the way an assistive tool drives it: through QAccessible only, and
// what it does reaching the screen's model.
class LoggingAccessibilityTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // A log row's actions run the screen's commands on that row's entry, as clicks do.
    void logRowActionsRunTheCommands()
    {
        using namespace LogPaneAccessible;
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        press(accessibleOf(r.view->buttonBar()->chipButton(0)), QAccessibleActionInterface::pressAction());
        QTRY_COMPARE(r.screen().log().entries().size(), 1);
        LogEntry suggestion;
        suggestion.id = QUuid::createUuid();
        suggestion.type = QStringLiteral("moment");
        suggestion.highlight = QStringLiteral("the boat");
        suggestion.suggested = true;
        r.screen().log().appendEntry(suggestion);
        const QUuid first = r.screen().log().entries().at(0).id;

        // The row's tap toggles its selection.
        const bool wasSelected = r.screen().selectedEntry() == std::optional(first);
        press(r.logRow(0), kSelectAction);
        QCOMPARE(r.screen().selectedEntry() == std::optional(first), !wasSelected);
        QCOMPARE(bool(r.logRow(0)->state().selected), !wasSelected);
        press(r.logRow(0), kAddNoteAction);
        QCOMPARE(r.screen().editingNote(), std::optional(first));
        r.screen().logPane().endNote();

        QCOMPARE(r.logRow(1)->actionInterface()->actionNames(),
                 (QStringList{kSelectAction, kAddNoteAction, kKeepAction, kDismissAction}));
        press(r.logRow(1), kKeepAction);
        QVERIFY(!r.screen().log().entries().at(1).suggested);
        QCOMPARE(r.logRow(1)->actionInterface()->actionNames().last(), kDeleteAction);
        press(r.logRow(1), kDeleteAction);
        QCOMPARE(r.screen().log().entries().size(), 1);
        const QModelIndex kept = r.view->logPane()->listView()->model()->index(0, 0);
        QCOMPARE(r.logRow(0)->text(QAccessible::Name), kept.data(Qt::AccessibleTextRole).toString());
    }

    // A line's action selects it; the composer opens as that line's child and is driven from
    // there: a chip picks the kind, text written into the field is the note, "Log" logs it.
    void composerUnderItsLine()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        r.hearLines(3);
        QAccessibleInterface* lines = r.transcript();
        QCOMPARE(lines->role(), QAccessible::List);
        QVERIFY(lines->childCount() >= 3);
        QAccessibleInterface* line = lines->child(1);
        QCOMPARE(line->childCount(), 0);
        press(line, TranscriptAccessible::kSelectAction);
        const QString lineID = r.screen().transcriber().segments().at(1).id;
        QCOMPARE(r.screen().composingLine(), std::optional(lineID));
        QTRY_VERIFY(r.view->composer()->isVisible());
        QVERIFY(line->state().selected);

        QCOMPARE(line->childCount(), 1);
        QAccessibleInterface* composer = line->child(0);
        QCOMPARE(composer, accessibleOf(r.view->composer()));
        QCOMPARE(composer->parent(), line);
        QCOMPARE(line->indexOfChild(composer), 0);
        QCOMPARE(lines->child(0)->childCount(), 0);

        QAbstractButton* chip = r.view->composer()->chips().at(1);
        QAccessibleInterface* chipRead = accessibleOf(chip);
        QCOMPARE(chipRead->role(), QAccessible::CheckBox);
        QVERIFY(!chipRead->state().checked);
        press(chipRead, QAccessibleActionInterface::toggleAction());
        QCOMPARE(r.screen().draftKind(), std::optional(r.screen().buttons().visible().at(1).kind));
        QVERIFY(chipRead->state().checked);

        QAccessibleInterface* field = accessibleOf(r.view->composer()->noteField());
        QCOMPARE(field->text(QAccessible::Name), ComposerView::kPlaceholder);
        field->editableTextInterface()->replaceText(0, 0, QStringLiteral("wide on the boat"));
        QCOMPARE(r.screen().draftNote(), QStringLiteral("wide on the boat"));
        press(accessibleOf(r.view->composer()->logButton()), QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!r.screen().composingLine());
        const LogEntry logged = r.screen().log().entries().constLast();
        QCOMPARE(logged.note, QStringLiteral("wide on the boat"));
        QCOMPARE(logged.lineID, std::optional(lineID));
        QCOMPARE(logged.type, r.screen().buttons().visible().at(1).kind);
        // The composer stays the line's child while it slides away.
        QTRY_COMPARE(line->childCount(), 0);
    }

    // A picker row is a check box whose Toggle asks the screen, as a click does; the tick then
    // comes back from the screen.
    void pickerRowsAskTheScreen()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        r.hearLines(3);
        press(accessibleOf(r.view->buttonBar()->chipButton(0)), QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(r.view->openPicker() && r.view->openPicker()->isVisible());
        LinePickerSheet* picker = r.view->openPicker();
        QAccessibleInterface* dialog = accessibleOf(picker);
        QCOMPARE(dialog->role(), QAccessible::Dialog);
        QCOMPARE(dialog->text(QAccessible::Name), picker->content().title);
        QAccessibleInterface* row = accessibleOf(picker->rows().constLast());
        const QString lineID = picker->content().lines.constLast().id;
        QCOMPARE(row->role(), QAccessible::CheckBox);
        QVERIFY(row->state().checked);
        QCOMPARE(row->text(QAccessible::Name), QStringLiteral("Ticked: ") + picker->content().lines.constLast().text);

        press(row, QAccessibleActionInterface::toggleAction());
        QVERIFY(!r.screen().pickIDs().contains(lineID));
        QVERIFY(!row->state().checked);
        QCOMPARE(row->text(QAccessible::Name), picker->content().lines.constLast().text);
        press(row, QAccessibleActionInterface::toggleAction());
        QVERIFY(r.screen().pickIDs().contains(lineID));
        QVERIFY(row->state().checked);

        press(accessibleOf(picker->saveButton()), QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!r.screen().pickingFor());
        QVERIFY(r.screen().log().entries().constLast().lineIDs->contains(lineID));
    }

    // The running digits are text a tool reads when it likes, always the frame shown.
    void timecodeDigitsAreText()
    {
        QTemporaryDir dir;
        ManualClock time{Date::fromSecondsSince1970(1'700'000'000.02)};
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        CameraTimecode camera(defaults, &time);
        camera.setFormat(*CameraTimecode::Format::fromStorage(QStringLiteral("25|0|0")));
        TimecodePanelModel model(camera, [] {});
        FrameClock frames(&time);
        TimecodePanel panel(model, nullptr, &frames);
        panel.show();
        QWidget* digits = nullptr;
        for (QWidget* child : panel.findChildren<QWidget*>())
            if (child->accessibleName() == QStringLiteral("Timecode"))
                digits = child;
        QVERIFY(digits);
        QAccessibleInterface* read = accessibleOf(digits);
        QCOMPARE(read->role(), QAccessible::StaticText);
        QCOMPARE(read->text(QAccessible::Name), QStringLiteral("Timecode"));
        QVERIFY(read->textInterface());
        QCOMPARE(read->textInterface()->text(0, -1), panel.shownTimecode());
        QCOMPARE(read->text(QAccessible::Value), panel.shownTimecode());

        // Read again a frame later, the text is the new frame's.
        time.advance(40ms);
        QCOMPARE(read->textInterface()->text(0, -1), model.timecodeAt(time.now()));
        QCOMPARE(read->textInterface()->characterCount(), panel.shownTimecode().size());
    }
};

PINDLE_TEST(LoggingAccessibilityTest)
#include "LoggingAccessibilityTest.moc"
