#include "common/TestMain.h"

#include "model/LogButtonStore.h"
#include "platform/Defaults.h"
#include "ui/logging/sheets/LogExportSheet.h"
#include "ui/theme/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

// One entry per kind; "kind!" is an open range.
QList<LogEntry> log(const QStringList& kinds, const QList<QStringList>& tags = {})
{
    QList<LogEntry> out;
    for (const QString& kind : kinds) {
        LogEntry e;
        e.id = QUuid::createUuid();
        e.type = QString(kind).remove(QLatin1Char('!'));
        e.open = kind.endsWith(QLatin1Char('!'));
        e.tags = tags.value(out.size());
        out.append(e);
    }
    return out;
}

// The sheet open over a shown window, on a button store and defaults of its own.
struct SheetRig {
    explicit SheetRig(const QList<LogEntry>& entries, const QString& storedTape = {})
    {
        if (!storedTape.isEmpty())
            defaults.set(ExportSheetModel::tapeKey, storedTape);
        window.show();
        sheet = new LogExportSheet(entries, buttons, defaults, &window);
        sheet->open();
        exported = std::make_unique<QSignalSpy>(sheet.data(), &LogExportSheet::exported);
        finished = std::make_unique<QSignalSpy>(sheet.data(), &QDialog::finished);
    }
    void choose(ExportFormat format) const
    {
        sheet->formatPicker()->setCurrentIndex(sheet->formatPicker()->findText(exportFormatLabel(format)));
    }

    QTemporaryDir dir;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    LogButtonStore buttons{defaults};
    QWidget window;
    QPointer<LogExportSheet> sheet;
    std::unique_ptr<QSignalSpy> exported;
    std::unique_ptr<QSignalSpy> finished;
};

} // namespace

class LogExportSheetTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Great and cut, no tags: ALE with its reel help, both kinds ticked, no tag picker.
    void opensOnTheWholeLog()
    {
        SheetRig rig(log({"great", "cut"}));
        QVERIFY(QTest::qWaitForWindowExposed(rig.sheet));
        LogExportSheet& sheet = *rig.sheet;
        QCOMPARE(sheet.formatPicker()->currentText(), exportFormatLabel(ExportFormat::Ale));
        QVERIFY(sheet.tapeSection()->isVisible());
        QVERIFY(sheet.tapeHelp()->text().startsWith(QStringLiteral("With a reel name Avid")));
        QStringList names;
        for (QCheckBox* box : sheet.kindBoxes()) {
            QVERIFY(box->isChecked());
            names << box->accessibleName();
        }
        QCOMPARE(names, (QStringList{"Don't use", "Great"}));
        QVERIFY(!sheet.tagPicker() && !sheet.includeBox()->isChecked());
        QCOMPARE(sheet.countLabel()->text(), QStringLiteral("2 of 2 markers"));
        QVERIFY(sheet.exportButton()->isEnabled());
        // The caption over the kinds is secondary text, as the count line is.
        QLabel* caption = nullptr;
        for (QLabel* label : sheet.findChildren<QLabel*>())
            if (label->text() == QStringLiteral("WHICH MARKERS"))
                caption = label;
        QVERIFY(caption);
        QCOMPARE(caption->palette().color(QPalette::WindowText), Theme::muted.current());
        for (QWidget* control : sheet.findChildren<QWidget*>()) {
            if (qobject_cast<QAbstractButton*>(control) || qobject_cast<QComboBox*>(control) ||
                qobject_cast<QLineEdit*>(control))
                QVERIFY2(!control->accessibleName().isEmpty(), control->metaObject()->className());
        }
    }

    void formats_data()
    {
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QString>("help"); // empty: no tape section
        QTest::newRow("pdf") << ExportFormat::Pdf << "";
        QTest::newRow("edl") << ExportFormat::Edl
                             << "The selects in time order as one sequence. The reel name must match the rushes' "
                                "reel so the cut links to them.";
        QTest::newRow("ale") << ExportFormat::Ale
                             << "With a reel name Avid can merge these selects onto the rushes the DIT ingests, "
                                "matched by reel and timecode.";
    }
    void formats()
    {
        QFETCH(ExportFormat, format);
        QFETCH(QString, help);
        SheetRig rig(log({"great"}));
        QVERIFY(QTest::qWaitForWindowExposed(rig.sheet));
        rig.choose(ExportFormat::Csv);
        rig.choose(format);
        QCOMPARE(rig.sheet->model().format(), format);
        QCOMPARE(rig.sheet->tapeSection()->isVisible(), !help.isEmpty());
        QCOMPARE(rig.sheet->tapeHelp()->text(), help);
    }

    // The boxes show the model after each click, also when unticking the only kind changes nothing.
    void kindBoxes_data()
    {
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QList<int>>("clicks");
        QTest::addColumn<QList<bool>>("ticked");
        QTest::addColumn<QString>("count");
        QTest::newRow("untick great") << QStringList{"great", "cut"} << QList<int>{1} << QList<bool>{true, false}
                                      << "1 of 2 markers";
        QTest::newRow("and tick it again")
            << QStringList{"great", "cut"} << QList<int>{1, 1} << QList<bool>{true, true} << "2 of 2 markers";
        QTest::newRow("the only kind") << QStringList{"great"} << QList<int>{0} << QList<bool>{true}
                                       << "1 of 1 markers";
    }
    void kindBoxes()
    {
        QFETCH(QStringList, kinds);
        QFETCH(QList<int>, clicks);
        QFETCH(QList<bool>, ticked);
        QFETCH(QString, count);
        SheetRig rig(log(kinds));
        QVERIFY(QTest::qWaitForWindowExposed(rig.sheet));
        for (const int at : clicks)
            QTest::mouseClick(rig.sheet->kindBoxes().at(at), Qt::LeftButton);
        QList<bool> shown;
        for (QCheckBox* box : rig.sheet->kindBoxes())
            shown << box->isChecked();
        QCOMPARE(shown, ticked);
        QCOMPARE(rig.sheet->countLabel()->text(), count);
    }

    void tagPicker()
    {
        SheetRig rig(log({"great", "cut"}, {{"hero"}, {"Hero", "R&D"}}));
        QVERIFY(QTest::qWaitForWindowExposed(rig.sheet));
        QComboBox* picker = rig.sheet->tagPicker();
        QVERIFY(picker && picker->isVisible());
        QStringList items;
        for (int i = 0; i < picker->count(); ++i)
            items << picker->itemText(i);
        QCOMPARE(items, (QStringList{"Any tag", "Hero", "R&D", "hero"}));
        picker->setCurrentIndex(1);
        QCOMPARE(rig.sheet->countLabel()->text(), QStringLiteral("1 of 2 markers"));
        // A preset clears the tag, and the picker follows.
        QTest::mouseClick(rig.sheet->presetButton(ExportSheetModel::Preset::Everything), Qt::LeftButton);
        QCOMPARE(picker->currentIndex(), 0);
        QCOMPARE(rig.sheet->countLabel()->text(), QStringLiteral("2 of 2 markers"));
    }

    // How the sheet is left: "click" on Export, or Return with the focus in the field or on a preset.
    void exports_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<ExportFormat>("format");
        QTest::addColumn<QString>("how");
        QTest::addColumn<std::optional<QString>>("tape");
        QTest::newRow("trimmed") << "  A001\t" << ExportFormat::Ale << "click" << std::optional<QString>("A001");
        QTest::newRow("typed for ale, csv chosen")
            << "A001" << ExportFormat::Csv << "click" << std::optional<QString>("A001");
        QTest::newRow("return in the field") << " " << ExportFormat::Edl << "field" << std::optional<QString>();
        QTest::newRow("return on a preset") << "B2" << ExportFormat::Pdf << "preset" << std::optional<QString>("B2");
    }
    void exports()
    {
        QFETCH(QString, typed);
        QFETCH(ExportFormat, format);
        QFETCH(QString, how);
        QFETCH(std::optional<QString>, tape);
        SheetRig rig(log({"great", "cut!"}));
        QVERIFY(QTest::qWaitForWindowExposed(rig.sheet));
        // Pasted: a typed tab would move the focus on.
        rig.sheet->tapeField()->setText(typed);
        rig.choose(format);
        QWidget* target = how == u"preset" ? rig.sheet->presetButton(ExportSheetModel::Preset::Compliance)
                                           : static_cast<QWidget*>(rig.sheet->tapeField());
        if (how == u"click") {
            QTest::mouseClick(rig.sheet->exportButton(), Qt::LeftButton);
        } else {
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
        }
        QCOMPARE(rig.exported->count(), 1);
        QCOMPARE(rig.finished->count(), 1);
        const auto choice = rig.exported->at(0).at(0).value<ExportChoice>();
        QCOMPARE(choice.format, format);
        QCOMPARE(choice.tape, tape);
        QCOMPARE(choice.entries, rig.sheet->model().entries().mid(0, 1));
        QCOMPARE(rig.defaults.string(ExportSheetModel::tapeKey), std::optional<QString>(typed));
    }

    // Export is off, and Return anywhere neither exports nor closes.
    void nothingToExport_data()
    {
        QTest::addColumn<QStringList>("kinds");
        QTest::addColumn<QString>("count");
        QTest::newRow("only an open range") << QStringList{"great!"} << "0 of 1 markers";
        QTest::newRow("empty log") << QStringList{} << "0 of 0 markers";
    }
    void nothingToExport()
    {
        QFETCH(QStringList, kinds);
        QFETCH(QString, count);
        SheetRig rig(log(kinds));
        QVERIFY(QTest::qWaitForWindowExposed(rig.sheet));
        QCOMPARE(rig.sheet->kindBoxes().size(), kinds.size());
        QVERIFY(!rig.sheet->tagPicker());
        QCOMPARE(rig.sheet->countLabel()->text(), count);
        QVERIFY(!rig.sheet->exportButton()->isEnabled());
        QTest::keyClicks(rig.sheet->tapeField(), QStringLiteral("A001"));
        QTest::keyClick(rig.sheet->tapeField(), Qt::Key_Return);
        QTest::keyClick(rig.sheet, Qt::Key_Enter);
        QCOMPARE(rig.exported->count(), 0);
        QCOMPARE(rig.finished->count(), 0);
        QVERIFY(!rig.defaults.contains(ExportSheetModel::tapeKey));
    }

    void cancel_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Cancel") << false;
        QTest::newRow("Escape in the field") << true;
    }
    void cancel()
    {
        QFETCH(bool, escape);
        SheetRig rig(log({"great"}), QStringLiteral("old"));
        QVERIFY(QTest::qWaitForWindowExposed(rig.sheet));
        QCOMPARE(rig.sheet->tapeField()->text(), QStringLiteral("old"));
        QTest::keyClicks(rig.sheet->tapeField(), QStringLiteral("new"));
        if (escape)
            QTest::keyClick(rig.sheet->tapeField(), Qt::Key_Escape);
        else
            QTest::mouseClick(rig.sheet->cancelButton(), Qt::LeftButton);
        QCOMPARE(rig.finished->count(), 1);
        QCOMPARE(rig.exported->count(), 0);
        QCOMPARE(rig.defaults.string(ExportSheetModel::tapeKey), std::optional<QString>(QStringLiteral("old")));
        QTRY_VERIFY(!rig.sheet);
    }

    // A button renamed while the sheet is open: shown as written, "&" not taken as a mnemonic.
    void renamedKind()
    {
        SheetRig rig(log({"great"}));
        rig.buttons.rename(QStringLiteral("great"), QStringLiteral("R&D"));
        QCheckBox* box = rig.sheet->kindBoxes().at(0);
        QCOMPARE(box->accessibleName(), QStringLiteral("R&D"));
        QCOMPARE(box->text(), QStringLiteral("R&&D"));
    }
};

PINDLE_TEST(LogExportSheetTest)
#include "LogExportSheetTest.moc"
