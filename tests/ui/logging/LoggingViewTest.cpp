#include "common/TestMain.h"
#include "screens/ScreenRig.h"

#include "screens/LogEntryListModel.h"
#include "ui/logging/ButtonBar.h"
#include "ui/logging/ComposerView.h"
#include "ui/logging/LinePickerSheet.h"
#include "ui/logging/LogPaneView.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/logging/TagBar.h"
#include "ui/logging/TextAlert.h"
#include "ui/logging/header/HeaderPillButton.h"
#include "ui/logging/header/HeaderView.h"
#include "ui/logging/header/StatusBanner.h"
#include "ui/logging/sheets/FileDialogSavePanel.h"
#include "ui/logging/sheets/LogExportSheet.h"
#include "ui/logging/sheets/LogSearchSheet.h"
#include "ui/mixer/ChannelControls.h"
#include "ui/mixer/ChannelStrip.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/mixer/MixerView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSettings>

using screen_test::RigParts;

namespace {

// A logging screen with no service behind it: summaries fail quietly.
struct ViewRig : RigParts {
    ViewRig() : RigParts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000)
    {
        LoggingScreenEnvironment env = environment(true);
        env.transcriber.demoLevelIntervalMs = 66;
        view = std::make_unique<LoggingView>(std::move(env));
        view->resize(1180, 800);
        view->show();
    }
    LoggingScreenModel& screen() { return view->screen(); }
    QListView* list() { return view->logPane()->listView(); }
    QModelIndex row(int i) { return list()->model()->index(i, 0); }
    // Clicks a control the delegate draws on row `i`, hovering the row first as a pointer would.
    bool clickControl(int i, EntryRow::Control control)
    {
        const QRect rowRect = list()->visualRect(row(i));
        QTest::mouseMove(list()->viewport(), rowRect.center());
        const QRectF at = view->logPane()->delegate()->controlRect(row(i), rowRect, control);
        if (at.isEmpty())
            return false;
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at.center().toPoint());
        return true;
    }
    std::unique_ptr<LoggingView> view;
};

// Answers the open save dialog with `path`, as a user types it, and presses Save.
bool saveAs(LoggingView& view, const QString& path, bool typedWhole = false)
{
    if (!QTest::qWaitFor([&] { return view.savePanel().openDialog() != nullptr; }, 5000))
        return false;
    QFileDialog* dialog = view.savePanel().openDialog();
    if (!typedWhole)
        dialog->setDirectory(QFileInfo(path).absolutePath());
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!name)
        return false;
    name->setText(typedWhole ? path : QFileInfo(path).fileName());
    static_cast<QDialog*>(dialog)->accept();
    return true;
}

// Logging runs until the demo has said `lines` lines, then stops: presses and Ctrl+Return then
// find lines in their window.
void hearLines(ViewRig& r, qsizetype lines)
{
    r.screen().toggleLogging();
    for (int i = 0; i < 20 && r.screen().transcriber().segments().size() < lines; ++i)
        r.clock.advance(std::chrono::milliseconds(r.lineMs));
    r.screen().toggleLogging();
}

const LogEntry* entryOf(LoggingScreenModel& screen, const QUuid& id)
{
    for (const LogEntry& entry : screen.log().entries())
        if (entry.id == id)
            return &entry;
    return nullptr;
}

// The Export menu's item titled `text`, as the menu shows it when opened.
QAction* exportItem(LoggingView& view, const QString& text)
{
    QMenu* menu = view.exportButton()->menu();
    Q_EMIT menu->aboutToShow();
    for (QAction* action : menu->actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

} // namespace

// The logging screen through its real widgets: the bar and its shortcuts make entries, rows
// edit and delete them, the tag bar tags them, and the alerts answer the screen.
class LoggingViewTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // A save dialog opens where the last one left off, kept in Qt's own settings: an earlier
        // run's folder (one whose listing can block, such as /proc) must not carry over.
        QSettings(QSettings::UserScope, QStringLiteral("QtProject")).remove(QStringLiteral("FileDialog"));
    }

    void pressesAndShortcutsMakeRows()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        QVERIFY(r.view->logPane()->showsEmptyHelp());
        QTest::mouseClick(r.view->buttonBar()->chipButton(0), Qt::LeftButton);
        QTest::keyClick(r.view.get(), Qt::Key_2, Qt::ControlModifier);
        const LogEntries& entries = r.screen().log().entries();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).type, r.view->buttonBar()->chipButton(0)->chip().button.kind);
        QCOMPARE(entries.at(1).type, r.view->buttonBar()->chipButton(1)->chip().button.kind);
        QCOMPARE(r.list()->model()->rowCount(), 2);
        QVERIFY(!r.view->logPane()->showsEmptyHelp());
        // The newest is selected and flashing; the flash ends on the screen's clock.
        QVERIFY(r.row(1).data(LogEntryListModel::SelectedRole).toBool());
        QVERIFY(r.row(1).data(LogEntryListModel::FlashingRole).toBool());
        r.clock.advance(LogPaneModel::kFlashHold);
        QVERIFY(!r.row(1).data(LogEntryListModel::FlashingRole).toBool());
        // The pressed chip pops, then settles when the hold ends.
        QTest::mouseClick(r.view->buttonBar()->chipButton(0), Qt::LeftButton);
        QVERIFY(r.view->buttonBar()->chipButton(0)->chip().popped);
        r.clock.advance(LoggingScreenModel::kPopHold);
        QVERIFY(!r.view->buttonBar()->chipButton(0)->chip().popped);
    }

    // "+ Note" opens the row's field with the keyboard; what is typed is the entry's note and
    // reaches the saved session; Return ends the edit.
    void noteEditedInPlace()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        const QUuid id = r.screen().log().entries().at(0).id;
        QVERIFY(r.clickControl(0, EntryRow::Control::AddNote));
        QCOMPARE(r.screen().editingNote(), std::optional(id));
        r.clock.advance(std::chrono::milliseconds(0));
        QTRY_VERIFY(QApplication::focusWidget() && r.list()->isAncestorOf(QApplication::focusWidget()));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("wide & <b>close</b>"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(r.screen().log().entries().at(0).note, QStringLiteral("wide & <b>close</b>"));
        QVERIFY(!r.screen().editingNote());
        r.screen().sessions().waitForWrites();
        QCOMPARE(r.screen().sessions().sessions().value(0).entries.toList().value(0).note,
                 QStringLiteral("wide & <b>close</b>"));
    }

    // A tag chip tags the selected row; the cross deletes a row and the selection with it.
    void tagAndDelete()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        const QList<QAbstractButton*> chips = r.view->tagBar()->chips();
        QVERIFY(!chips.isEmpty());
        const QString tag = r.screen().tags().available().constFirst();
        QCOMPARE(chips.at(0)->accessibleDescription(), QStringLiteral("Tag the selected clip with ") + tag);
        QTest::mouseClick(chips.at(0), Qt::LeftButton);
        QCOMPARE(r.screen().log().entries().at(1).tags, QStringList{tag});
        QVERIFY(r.screen().log().entries().at(0).tags.isEmpty());

        QVERIFY(r.clickControl(1, EntryRow::Control::Delete));
        QCOMPARE(r.screen().log().entries().size(), 1);
        QCOMPARE(r.list()->model()->rowCount(), 1);
        QVERIFY(!r.screen().selectedEntry());
        QTRY_COMPARE(chips.at(0)->accessibleDescription(), QStringLiteral("Tag the latest clip with ") + tag);
    }

    // Each alert answers the screen once: Save stores, Esc forgets, a bad timecode says so.
    void alertsAnswerTheScreen()
    {
        ViewRig r;
        r.screen().setRenamingSpeaker(QStringLiteral("S1"));
        QVERIFY(r.view->openAlert());
        QCOMPARE(r.view->openAlert()->title(), QStringLiteral("Rename speaker"));
        // A speaker never named starts with an empty field.
        QCOMPARE(r.view->openAlert()->text(), QString());
        r.view->openAlert()->field()->setText(QStringLiteral("  Ada\t"));
        QTest::keyClick(r.view->openAlert()->field(), Qt::Key_Return);
        QCOMPARE(r.screen().speakerNames().value(QStringLiteral("S1")), QStringLiteral("Ada"));
        QVERIFY(!r.screen().renamingSpeaker());
        QTRY_VERIFY(!r.view->openAlert());

        r.screen().renameChannel(0);
        QVERIFY(r.view->openAlert());
        QCOMPARE(r.view->openAlert()->title(), QStringLiteral("Name this channel"));
        QTest::keyClick(r.view->openAlert()->field(), Qt::Key_Escape);
        QVERIFY(!r.screen().renamingChannel());

        r.screen().tcDraft = QStringLiteral("10:00:00:00");
        r.screen().setShowTCEntry(true);
        QTRY_VERIFY(r.view->openAlert());
        QCOMPARE(r.view->openAlert()->text(), QStringLiteral("10:00:00:00"));
        r.view->openAlert()->field()->setText(QStringLiteral("ten o'clock"));
        r.view->openAlert()->acceptButton()->click();
        QVERIFY(!r.screen().showTCEntry());
        QCOMPARE(r.screen().tcDraft, QStringLiteral("ten o'clock"));
        QVERIFY(r.screen().transcriber().notice().value_or(QString()).startsWith(
            QStringLiteral("That isn't a timecode at ")));
    }

    // The demo's channels fill the mixer band with live meters; a strip's name opens the screen's
    // rename alert, whose answer comes back as the strip's name; hiding the mixer hides the band.
    void mixerShowsTheDemoChannels()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        QVERIFY(!r.view->mixerSlot()->isVisible());
        r.screen().transcriber().startDemo(6);
        QTRY_VERIFY(r.view->mixerSlot()->isVisible());
        MixerView* mixer = r.view->mixer();
        QCOMPARE(mixer->strips().size(), std::size_t(6));
        r.clock.advance(std::chrono::milliseconds(70));
        bool anyLevel = false;
        for (ChannelStrip* strip : mixer->strips()) {
            QCOMPARE(strip->meter()->level(), r.screen().mixer().level(strip->index()));
            anyLevel = anyLevel || strip->meter()->level() > 0;
        }
        QVERIFY(anyLevel);

        QTest::mouseClick(mixer->strips().at(2)->nameButton(), Qt::LeftButton);
        QTRY_VERIFY(r.view->openAlert());
        QCOMPARE(r.view->openAlert()->title(), QStringLiteral("Name this channel"));
        r.view->openAlert()->field()->setText(QStringLiteral("Boom op"));
        QTest::keyClick(r.view->openAlert()->field(), Qt::Key_Return);
        QTRY_COMPARE(mixer->strips().at(2)->channel().config.name, QStringLiteral("Boom op"));
        QCOMPARE(mixer->strips().at(2)->nameButton()->accessibleName(), QStringLiteral("Boom op"));

        r.screen().setShowMixer(false);
        QTRY_VERIFY(!r.view->mixerSlot()->isVisible());
        r.screen().transcriber().stop();
    }

    // The header's Export menu writes its file where the save dialog says; a write that fails
    // says so in the header's banner, naming the file. The sheet's choice goes the same way.
    void exportFromMenuAndSheet()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(r.screen().log().entries().size(), 1);
        QTemporaryDir out;

        // Each opening of the menu makes its rows afresh.
        QVERIFY(!exportItem(*r.view, QStringLiteral("Clean transcript for ScriptSync (.txt)"))->isEnabled());
        QAction* csv = exportItem(*r.view, QStringLiteral("Spreadsheet (.csv)"));
        QVERIFY(csv && csv->isEnabled());
        csv->trigger();
        QVERIFY(saveAs(*r.view, out.filePath(QStringLiteral("day.csv"))));
        QTRY_VERIFY(QFile::exists(out.filePath(QStringLiteral("day.csv"))));

        exportItem(*r.view, QStringLiteral("Avid markers (.xml)"))->trigger();
        // A place nobody may write into, root included: a "folder" that is a device. Typed in
        // whole, so the dialog never lists a system folder (a listing of /proc can block for ever).
        const QString unwritable = QStringLiteral("/dev/null/markers.xml");
        QVERIFY(saveAs(*r.view, unwritable, true));
        QTRY_VERIFY(r.view->header()->noticeBanner()->isVisible());
        QVERIFY(r.screen().transcriber().notice().value_or(QString()).contains(QStringLiteral("markers.xml")));
        QVERIFY(!QFile::exists(unwritable));

        exportItem(*r.view, QStringLiteral("Export selects\u2026"))->trigger();
        QTRY_VERIFY(r.view->openExportSheet());
        r.view->openExportSheet()->tapeField()->setText(QStringLiteral(" A001 "));
        QTest::mouseClick(r.view->openExportSheet()->exportButton(), Qt::LeftButton);
        QTRY_VERIFY(!r.view->openExportSheet());
        QVERIFY(!r.screen().showExport());
        QVERIFY(saveAs(*r.view, out.filePath(QStringLiteral("day.ale"))));
        QTRY_VERIFY(QFile::exists(out.filePath(QStringLiteral("day.ale"))));
        QFile ale(out.filePath(QStringLiteral("day.ale")));
        QVERIFY(ale.open(QIODevice::ReadOnly));
        QVERIFY(ale.readAll().contains("A001"));
    }

    // Mark's chat sits by the channels or under the log, as the Layout menu says, and only while
    // the agent is on; the demo's canned briefs reach its bubbles.
    void agentChatFollowsItsPlace()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        r.screen().agent().setEnabled(true);
        r.screen().setAgentPlace(QStringLiteral("channels"));
        QTRY_VERIFY(r.view->chatByChannelsSlot()->isVisible());
        QVERIFY(!r.view->chatUnderLogSlot()->isVisible());
        r.screen().setAgentPlace(QStringLiteral("log"));
        QTRY_VERIFY(r.view->chatUnderLogSlot()->isVisible());
        QVERIFY(!r.view->chatByChannelsSlot()->isVisible());
        r.screen().agent().setEnabled(false);
        QTRY_VERIFY(!r.view->chatUnderLogSlot()->isVisible());
    }

    // A narrow window shows one tab at a time; the tab is kept across widths, and the header turns
    // compact a turn after the width crosses its breakpoint.
    void narrowTabsAndWideColumns()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        r.view->resize(700, 700);
        QTRY_COMPARE(r.view->width(), 700);
        QVERIFY(r.view->tabButton(0)->isVisible() && r.view->logColumn()->isVisible());
        QVERIFY(!r.view->channelColumn()->isVisible());
        QTest::mouseClick(r.view->tabButton(1), Qt::LeftButton);
        QCOMPARE(r.screen().tab(), 1);
        QVERIFY(!r.view->logColumn()->isVisible() && r.view->channelColumn()->isVisible());

        r.view->resize(1000, 700);
        QTRY_COMPARE(r.view->channelColumn()->width(), 420);
        QVERIFY(r.view->logColumn()->isVisible() && !r.view->tabButton(0)->isVisible());
        QCOMPARE(r.screen().tab(), 1);
        QTRY_VERIFY(r.screen().compactHeader());
        r.view->resize(1300, 700);
        QTRY_VERIFY(!r.screen().compactHeader());
        r.view->resize(700, 700);
        QTRY_VERIFY(r.view->channelColumn()->isVisible() && !r.view->logColumn()->isVisible());
    }

    // Ctrl+N edits the newest entry's note; Ctrl+Return selects the newest line no entry uses;
    // Ctrl+F asks for search. They act from anywhere in the window.
    void windowShortcuts()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        QTest::keyClick(r.view.get(), Qt::Key_N, Qt::ControlModifier);
        QVERIFY(!r.screen().editingNote());
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        QTest::keyClick(r.view->buttonBar(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(r.screen().editingNote(), std::optional(r.screen().log().entries().at(0).id));
        r.screen().logPane().endNote();

        r.screen().toggleLogging();
        for (int i = 0; i < 20 && r.screen().transcriber().segments().size() < 2; ++i)
            r.clock.advance(std::chrono::milliseconds(r.lineMs));
        QVERIFY(r.screen().transcriber().segments().size() >= 2);
        QTest::keyClick(r.view.get(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(r.screen().composingLine(), std::optional(r.screen().transcriber().segments().constLast().id));
        QTest::keyClick(r.view.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(r.screen().showSearch());

        // The search sheet finds the line as it is typed; a click jumps to it and closes the sheet.
        QTRY_VERIFY(r.view->openSearchSheet());
        LogSearchSheet* search = r.view->openSearchSheet();
        const DisplaySegment line = r.screen().transcriber().segments().constLast();
        QTest::keyClicks(search->field(), line.text.left(12).toUpper());
        QTRY_VERIFY(search->hitList()->model()->rowCount() > 0);
        QListView* hits = search->hitList();
        const int row = hits->model()->rowCount() - 1;
        hits->scrollTo(hits->model()->index(row, 0));
        QTest::mouseClick(hits->viewport(), Qt::LeftButton, {},
                          hits->visualRect(hits->model()->index(row, 0)).center());
        QTRY_VERIFY(!r.view->openSearchSheet());
        QVERIFY(!r.screen().showSearch());
        QCOMPARE(r.screen().scrollTarget(), std::optional(line.id));
    }

    // A press with lines in its window opens the picker with them ticked: Save rebuilds the entry
    // from them; Esc keeps the grabbed words; either way the picker goes.
    void pickerSavesOrKeeps()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        r.screen().toggleLogging();
        for (int i = 0; i < 20 && r.screen().transcriber().segments().size() < 3; ++i)
            r.clock.advance(std::chrono::milliseconds(r.lineMs));
        r.screen().toggleLogging();
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        QVERIFY(r.screen().pickingFor());
        QTRY_VERIFY(r.view->openPicker() && r.view->openPicker()->isVisible());
        const QSet<QString> ticked = r.screen().pickIDs();
        QVERIFY(!ticked.isEmpty());
        r.view->openPicker()->saveButton()->click();
        QVERIFY(!r.screen().pickingFor());
        QTRY_VERIFY(!r.view->openPicker());
        const LogEntry saved = r.screen().log().entries().constLast();
        QCOMPARE(QSet<QString>(saved.lineIDs->cbegin(), saved.lineIDs->cend()), ticked);

        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        QTRY_VERIFY(r.view->openPicker() && r.view->openPicker()->isVisible());
        QTest::keyClick(r.view->openPicker(), Qt::Key_Escape);
        QVERIFY(!r.screen().pickingFor());
        QVERIFY(!r.screen().log().entries().constLast().lineIDs);
    }

    // The picker holds the keyboard, yet the window's keys act as they would in the window:
    // Ctrl+N saves the ticked lines first, then edits that entry's note; a marker key marks again,
    // keeps the first entry's grabbed words and opens the picker for the new entry; Ctrl+Return opens the composer on
    // the newest line and Ctrl+F the search, the picker staying open; Esc keeps the grabbed words.
    void windowKeysReachThroughThePicker_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Ctrl+N") << int(Qt::Key_N) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+1") << int(Qt::Key_1) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier);
        QTest::newRow("Ctrl+F") << int(Qt::Key_F) << int(Qt::ControlModifier);
        QTest::newRow("Esc") << int(Qt::Key_Escape) << int(Qt::NoModifier);
    }
    void windowKeysReachThroughThePicker()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        hearLines(r, 3);
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        const QPointer<LinePickerSheet> picker = r.view->openPicker();
        QVERIFY(picker);
        QVERIFY(QTest::qWaitForWindowActive(picker));
        QTRY_VERIFY(picker->isAncestorOf(QApplication::focusWidget()));
        const QUuid picked = r.screen().pickingFor().value_or(QUuid());
        const QSet<QString> ticked = r.screen().pickIDs();
        const qsizetype entries = r.screen().log().entries().size();

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));

        const LogEntry* entry = entryOf(r.screen(), picked);
        QVERIFY(entry);
        // A marker key answers the open picker as a dismissal would; the new entry gets its own.
        const bool closes = key == Qt::Key_N || key == Qt::Key_Escape || key == Qt::Key_1;
        if (closes) {
            QVERIFY(r.screen().pickingFor() != std::optional(picked));
            QTRY_VERIFY(!picker);
        } else {
            QVERIFY(picker && picker->isVisible() && r.view->openPicker() == picker);
        }
        switch (key) {
        case Qt::Key_N:
            QCOMPARE(QSet<QString>(entry->lineIDs->cbegin(), entry->lineIDs->cend()), ticked);
            QCOMPARE(r.screen().editingNote(), std::optional(picked));
            r.clock.advance(std::chrono::milliseconds(0));
            // The note field has the window's keyboard once the desktop hands the window back.
            QTRY_VERIFY(r.view->focusWidget() && r.list()->isAncestorOf(r.view->focusWidget()));
            r.view->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(r.view.get()));
            QVERIFY(QApplication::focusWidget() && r.list()->isAncestorOf(QApplication::focusWidget()));
            break;
        case Qt::Key_1:
            QCOMPARE(r.screen().log().entries().size(), entries + 1);
            QCOMPARE(r.screen().pickingFor(), std::optional(r.screen().log().entries().constLast().id));
            QTRY_VERIFY(r.view->openPicker() && r.view->openPicker()->isVisible());
            QVERIFY(!entry->lineIDs);
            break;
        case Qt::Key_Return:
            QCOMPARE(r.screen().composingLine(), std::optional(r.screen().transcriber().segments().constLast().id));
            QCOMPARE(r.screen().pickingFor(), std::optional(picked));
            break;
        case Qt::Key_F:
            QVERIFY(r.screen().showSearch());
            QTRY_VERIFY(r.view->openSearchSheet());
            QCOMPARE(r.screen().pickingFor(), std::optional(picked));
            break;
        default:
            QVERIFY(!entry->lineIDs);
            QVERIFY(!r.screen().editingNote());
        }
    }

    // Return logs the note and Esc drops it; either way the keyboard stays with the screen, not
    // on the next control of the window (a header pill).
    void composerLeavesTheKeyboardWithTheScreen_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Return logs") << int(Qt::Key_Return);
        QTest::newRow("Esc cancels") << int(Qt::Key_Escape);
    }
    void composerLeavesTheKeyboardWithTheScreen()
    {
        QFETCH(int, key);
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowActive(r.view.get()));
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        hearLines(r, 2);
        QTest::keyClick(r.view.get(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(r.screen().composingLine());
        r.clock.advance(std::chrono::milliseconds(0));
        QLineEdit* field = r.view->composer()->noteField();
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QTest::keyClicks(field, QStringLiteral("wide"));
        const qsizetype entries = r.screen().log().entries().size();
        QTest::keyClick(field, Qt::Key(key));
        QVERIFY(!r.screen().composingLine());
        QCOMPARE(r.screen().log().entries().size(), entries + (key == Qt::Key_Return ? 1 : 0));
        QTRY_VERIFY(!r.view->composer()->isVisible());
        QCOMPARE(QApplication::focusWidget(), r.view.get());
    }

    // The Export menu opens only while the log has entries.
    void exportMenuNeedsEntries()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        HeaderPillButton* pill = r.view->exportButton();
        QVERIFY(!pill->isEnabled());
        QTest::mouseClick(pill, Qt::LeftButton);
        QVERIFY(!pill->menu()->isVisible());
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        QVERIFY(pill->isEnabled());
        QTest::mouseClick(pill, Qt::LeftButton);
        QTRY_VERIFY(pill->menu()->isVisible());
        pill->menu()->hide();
        QVERIFY(r.clickControl(0, EntryRow::Control::Delete));
        QVERIFY(r.screen().log().entries().isEmpty());
        QVERIFY(!pill->isEnabled());
    }

    // Going away saves the session; a second view of the same files reads it back.
    void closingSavesTheLog()
    {
        ViewRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.view.get()));
        QTest::keyClick(r.view.get(), Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(r.screen().log().entries().size(), 1);
        const QUuid id = r.screen().log().entries().at(0).id;
        r.view.reset();
        LogSessionStore again(r.dir.filePath(QStringLiteral("log-sessions.json")));
        QCOMPARE(again.sessions().value(0).entries.toList().value(0).id, id);
    }
};

PINDLE_TEST(LoggingViewTest)
#include "LoggingViewTest.moc"
