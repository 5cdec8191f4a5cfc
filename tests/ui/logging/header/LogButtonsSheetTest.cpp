#include "common/TestMain.h"
#include "screens/ScreenRig.h"

#include "ui/logging/ButtonBar.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/logging/TextAlert.h"
#include "ui/logging/header/LogButtonsSheet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSlider>

#include <limits>

namespace {

// A button store on its own defaults file, and the sheet open over a shown window.
struct SheetRig {
    SheetRig() : path(dir.filePath(QStringLiteral("defaults.json"))), defaults(path), store(defaults)
    {
        window.show();
        sheet = new LogButtonsSheet(store, &window);
        sheet->open();
    }

    QTemporaryDir dir;
    QString path;
    Defaults defaults;
    LogButtonStore store;
    QWidget window;
    QPointer<LogButtonsSheet> sheet;
};

// `data` dragged over the row list and dropped on the upper half of row `before` (below the last
// row for the end), as a drag from a row does. Whether the drop was taken.
bool drop(const LogButtonsSheet& sheet, const QMimeData& data, int before)
{
    const int last = sheet.rowCount() - 1;
    const QPoint at = before > last ? sheet.rowParts(last).row->geometry().bottomLeft() + QPoint(40, 1)
                                    : sheet.rowParts(before).row->geometry().topLeft() + QPoint(40, 2);
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(sheet.rowList(), &enter);
    QDropEvent dropped(QPointF(at), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted())
        QApplication::sendEvent(sheet.rowList(), &dropped);
    return enter.isAccepted() && dropped.isAccepted();
}

bool dragRow(const LogButtonsSheet& sheet, const LogButtonStore& store, int from, int before)
{
    return drop(sheet, *LogButtonsSheet::rowMimeData(from, store.buttons().at(from).kind), before);
}

} // namespace

// The marker-button sheet through its widgets: every edit reaches a new store, Return in the
// rename field never closes the sheet, and a reorder keeps the bar's Ctrl+digit shortcuts on the
// buttons their labels name.
class LogButtonsSheetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shortcutLabel_data()
    {
        QTest::addColumn<int>("shown"); // the first `shown` of twelve buttons are enabled
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("label");
        QTest::newRow("ninth shown") << 12 << 8 << "Ctrl+9";
        QTest::newRow("tenth shown") << 12 << 9 << "";
        QTest::newRow("hidden") << 3 << 5 << "";
        QTest::newRow("outside the list") << 12 << 12 << "";
    }
    void shortcutLabel()
    {
        QFETCH(int, shown);
        QFETCH(int, position);
        QList<LogButton> buttons;
        for (int i = 0; i < 12; ++i)
            buttons.append({QStringLiteral("k%1").arg(i), QStringLiteral("K"), i < shown, 10});
        QTEST(LogButtonsSheet::shortcutLabel(buttons, position), "label");
    }

    // The capsule reads whole seconds, cut rather than rounded; no number reads as nonsense.
    void reachText_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("7.6") << 7.6 << "Last 7 s";
        QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "Last 0 s";
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "Last 0 s";
    }
    void reachText()
    {
        QFETCH(double, seconds);
        QTEST(LogButtonsSheet::reachText(seconds), "text");
    }

    // Ticking shows a button with the next shortcut (In / Out without a timer); one slider is open
    // at a time and sets the grab-back within the store's bounds; every edit, a drag included, is
    // what a later start reads.
    void editsPersist()
    {
        SheetRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        const int inOut = 7;
        QCOMPARE(r.store.buttons().at(inOut).kind, QStringLiteral("broll"));
        QTest::mouseClick(r.sheet->rowParts(inOut).tick, Qt::LeftButton);
        QCOMPARE(r.sheet->rowParts(inOut).shortcut->text(), QStringLiteral("Ctrl+5"));
        QCOMPARE(r.sheet->rowParts(inOut).tick->accessibleName(), QStringLiteral("Hide In / Out"));
        QVERIFY(!r.sheet->rowParts(inOut).reach);

        QTest::mouseClick(r.sheet->rowParts(0).reach, Qt::LeftButton);
        QTest::mouseClick(r.sheet->rowParts(2).reach, Qt::LeftButton);
        QVERIFY(!r.sheet->rowParts(0).slider);
        r.sheet->rowParts(2).slider->setValue(0);
        QCOMPARE(r.sheet->rowParts(2).reach->accessibleName(), QStringLiteral("Last 1 s"));
        r.sheet->rowParts(2).slider->setValue(45);
        QCOMPARE(r.sheet->rowParts(2).sliderValue->text(), QStringLiteral("45 s"));

        QTest::mouseClick(r.sheet->rowParts(1).rename, Qt::LeftButton);
        r.sheet->renameAlert()->field()->setText(QStringLiteral("Pick-up"));
        QTest::keyClick(r.sheet->renameAlert()->field(), Qt::Key_Return);
        QVERIFY(dragRow(*r.sheet, r.store, inOut, 0));
        const QList<LogButton> edited = r.store.buttons();
        QCOMPARE(edited.at(0).kind, QStringLiteral("broll"));
        QCOMPARE(edited.at(2).name, QStringLiteral("Pick-up"));
        QCOMPARE(edited.at(3).reach, 45.0);
        QVERIFY(r.defaults.flush());
        Defaults reread(r.path);
        QCOMPARE(LogButtonStore(reread).buttons(), edited);
    }

    // A row's timer opens its slider and a second press on it closes it again; another row's
    // timer moves the one open slider to that row.
    void reachToggle_data()
    {
        QTest::addColumn<QList<int>>("presses"); // rows whose timer is pressed, in order
        QTest::addColumn<int>("open");           // -1: none
        QTest::newRow("one press opens") << QList<int>{0} << 0;
        QTest::newRow("a second press closes") << QList<int>{0, 0} << -1;
        QTest::newRow("a third opens again") << QList<int>{0, 0, 0} << 0;
        QTest::newRow("another row takes it") << QList<int>{0, 2} << 2;
        QTest::newRow("that row's second press closes") << QList<int>{0, 2, 2} << -1;
    }
    void reachToggle()
    {
        QFETCH(QList<int>, presses);
        QFETCH(int, open);
        SheetRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        for (const int row : presses)
            QTest::mouseClick(r.sheet->rowParts(row).reach, Qt::LeftButton);
        QCOMPARE(r.sheet->reachOpen(), open < 0 ? std::nullopt : std::optional(r.store.buttons().at(open).kind));
        for (int row = 0; row < r.sheet->rowCount(); ++row)
            QVERIFY2((r.sheet->rowParts(row).slider != nullptr) == (row == open), qPrintable(QString::number(row)));
    }

    // Every way the rename alert is answered: the name it leaves, shown as written, and the sheet
    // still open.
    void rename_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer"); // 0 Return, 1 Enter, 2 Reset, 3 Escape
        QTest::addColumn<QString>("name");
        QTest::newRow("Return saves, trimmed") << "  Boom & <b>op</b>\t" << 0 << "Boom & <b>op</b>";
        QTest::newRow("Enter saves") << "Wide" << 1 << "Wide";
        QTest::newRow("blank restores the label") << "   " << 0 << "Earmark";
        QTest::newRow("Reset") << "Ignored" << 2 << "Earmark";
        QTest::newRow("Escape") << "Ignored" << 3 << "Mine";
    }
    void rename()
    {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        SheetRig r;
        r.store.rename(QStringLiteral("earmark"), QStringLiteral("Mine"));
        QSignalSpy finished(r.sheet.data(), &QDialog::finished);
        QTest::mouseClick(r.sheet->rowParts(0).rename, Qt::LeftButton);
        TextAlert* alert = r.sheet->renameAlert();
        QCOMPARE(alert->text(), QStringLiteral("Mine"));
        alert->field()->setText(typed);
        if (answer == 2)
            QTest::mouseClick(r.sheet->renameResetButton(), Qt::LeftButton);
        else
            QTest::keyClick(alert->field(), answer == 0   ? Qt::Key_Return
                                            : answer == 1 ? Qt::Key_Enter
                                                          : Qt::Key_Escape);
        QTRY_VERIFY(!r.sheet->renameAlert());
        QTEST(r.store.buttons().at(0).name, "name");
        QTEST(r.sheet->rowParts(0).name->text(), "name");
        QVERIFY(r.sheet->isVisible());
        QCOMPARE(finished.count(), 0);
    }

    // A row lands before the row it is dropped on, or at the end; on itself or just below itself
    // nothing moves; a drop naming a moved row follows its kind; a payload of another kind or
    // a garbled one is refused.
    void drops_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("before");
        QTest::addColumn<QByteArray>("payload"); // empty: the row's own
        QTest::addColumn<QString>("firstFour");
        QTest::newRow("to the top") << 3 << 0 << QByteArray() << "sad earmark cutaway funny";
        QTest::newRow("down past two") << 0 << 3 << QByteArray() << "cutaway funny earmark sad";
        QTest::newRow("onto itself") << 2 << 2 << QByteArray() << "earmark cutaway funny sad";
        QTest::newRow("just below itself") << 2 << 3 << QByteArray() << "earmark cutaway funny sad";
        QTest::newRow("to the end") << 0 << 99 << QByteArray() << "cutaway funny sad great";
        QTest::newRow("stale position") << 0 << 0 << QByteArray("0|great") << "great earmark cutaway funny";
        QTest::newRow("garbled") << 0 << 3 << QByteArray("earmark") << "earmark cutaway funny sad";
        QTest::newRow("plain text") << 0 << 3 << QByteArray("text") << "earmark cutaway funny sad";
    }
    void drops()
    {
        QFETCH(int, from);
        QFETCH(int, before);
        QFETCH(QByteArray, payload);
        SheetRig r;
        QVERIFY(QTest::qWaitForWindowExposed(r.sheet));
        QMimeData data;
        if (payload == "text")
            data.setText(QStringLiteral("0|earmark"));
        else
            data.setData(QString::fromLatin1(LogButtonsSheet::kRowMimeType),
                         payload.isEmpty() ? QByteArray::number(from) + '|' + r.store.buttons().at(from).kind.toUtf8()
                                           : payload);
        QCOMPARE(drop(*r.sheet, data, before), payload != "text" && payload != "earmark");
        QStringList firstFour;
        for (int i = 0; i < 4; ++i)
            firstFour << r.store.buttons().at(i).kind;
        QTEST(firstFour.join(u' '), "firstFour");
        QCOMPARE(r.sheet->rowParts(0).shortcut->text(),
                 r.store.buttons().at(0).enabled ? QStringLiteral("Ctrl+1") : QString());
        QCOMPARE(r.sheet->rowParts(0).name->text(), r.store.buttons().at(0).name);
    }

    // On the logging screen: after a reorder and a rename in the sheet, a held Ctrl+1 presses
    // what the first chip now shows, and every chip's shortcut matches its place.
    void reorderKeepsBarShortcuts()
    {
        screen_test::RigParts parts(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), 3000);
        LoggingView view(parts.environment(true));
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        LogButtonStore& store = view.screen().buttons();
        QTest::keyPress(&view, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(view.screen().log().entries().constLast().type, store.visible().at(0).kind);

        QPointer<LogButtonsSheet> sheet = new LogButtonsSheet(store, &view);
        sheet->open();
        QVERIFY(QTest::qWaitForWindowExposed(sheet));
        QVERIFY(dragRow(*sheet, store, 2, 0));
        QTest::mouseClick(sheet->rowParts(0).rename, Qt::LeftButton);
        sheet->renameAlert()->field()->setText(QStringLiteral("Moved up"));
        QTest::keyClick(sheet->renameAlert()->field(), Qt::Key_Return);
        QTest::mouseClick(sheet->doneButton(), Qt::LeftButton);
        QTRY_VERIFY(!sheet);
        // The window's shortcuts act while it is the active window, as it is again without the sheet.
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));

        const QList<LogButton> visible = store.visible();
        ButtonBar* bar = view.buttonBar();
        QCOMPARE(bar->count(), int(visible.size()));
        for (int i = 0; i < bar->count(); ++i) {
            QCOMPARE(bar->chipButton(i)->chip().button, visible.at(i));
            QCOMPARE(bar->chipButton(i)->chip().hotkey, QStringLiteral("Ctrl+%1").arg(i + 1));
        }
        QCOMPARE(bar->chipButton(0)->title(), QStringLiteral("Moved up"));
        // Still held: the repeat presses the new first button.
        QTest::keyPress(&view, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(view.screen().log().entries().constLast().type, visible.at(0).kind);
        QTest::keyRelease(&view, Qt::Key_1, Qt::ControlModifier);
        QTest::keyClick(&view, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(view.screen().log().entries().constLast().type, visible.at(1).kind);
    }
};

PINDLE_TEST(LogButtonsSheetTest)
#include "LogButtonsSheetTest.moc"
