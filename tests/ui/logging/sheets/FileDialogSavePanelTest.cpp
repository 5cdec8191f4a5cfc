#include "common/StandinProcess.h"
#include "common/TestMain.h"
#include "export/ExportTesting.h"
#include "screens/ScreenRig.h"

#include "screens/LogExporter.h"
#include "ui/logging/sheets/FileDialogSavePanel.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// What the panel answered, once it has.
struct Answers {
    SavePanel::Answer recorder()
    {
        return [this](const std::optional<QString>& path) { answers.append(path); };
    }
    QList<std::optional<QString>> answers;
};

// Types `path` into the dialog as a user does (its folder, then the name field) and presses Save.
void saveAs(QFileDialog* dialog, const QString& path)
{
    dialog->setDirectory(QFileInfo(path).absolutePath());
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name);
    name->setText(QFileInfo(path).fileName());
    static_cast<QDialog*>(dialog)->accept();
}

// Answers every question with one path at once, as a user saving straight away does.
struct FixedPanel : SavePanel {
    explicit FixedPanel(QString path) : path(std::move(path)) {}
    void ask(const QString&, bool, Answer answer) override { answer(path); }
    QString path;
};

} // namespace

// The save panel on a real file dialog, and the PDF log sheet written through it: the one file
// only an application with a GUI can draw.
class FileDialogSavePanelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // A sheet on the logging window when one is shown, on its own otherwise; the PDF may only be
    // a PDF, so a name typed without the suffix gets it.
    void dialogPlacementAndTypes_data()
    {
        QTest::addColumn<QString>("windowTitle");
        QTest::addColumn<bool>("pdfOnly");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("on the logging window") << "Pindle Logger" << false << "selects.edl"
                                               << "selects.edl";
        QTest::newRow("any name for a text") << "Pindle Logger" << false << "selects"
                                             << "selects";
        QTest::newRow("PDF gets its suffix") << "Pindle Logger" << true << "sheet"
                                             << "sheet.pdf";
        QTest::newRow("PDF after another suffix") << "Pindle Logger" << true << "day.txt"
                                                  << "day.txt.pdf";
        QTest::newRow("PDF suffix in capitals") << "Pindle Logger" << true << "DAY.PDF"
                                                << "DAY.PDF";
        QTest::newRow("PDF with a dot at the end") << "Pindle Logger" << true << "day."
                                                   << "day..pdf";
        QTest::newRow("a text may end in .pdf") << "Pindle Logger" << false << "day.pdf"
                                                << "day.pdf";
        QTest::newRow("no logging window") << "Pindle Logger 2" << false << "log.csv"
                                           << "log.csv";
    }
    void dialogPlacementAndTypes()
    {
        QFETCH(QString, windowTitle);
        QFETCH(bool, pdfOnly);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QWidget window;
        window.setWindowTitle(windowTitle);
        window.show();
        QTemporaryDir dir;
        FileDialogSavePanel panel;
        Answers answers;
        panel.ask(QStringLiteral("pindle-log.csv"), pdfOnly, answers.recorder());
        QFileDialog* dialog = panel.openDialog();
        QVERIFY(dialog && dialog->isVisible());
        const bool sheet = windowTitle == u"Pindle Logger";
        QCOMPARE(dialog->parentWidget(), sheet ? &window : nullptr);
        QCOMPARE(dialog->windowModality(), Qt::WindowModal);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->nameFilters().contains(FileDialogSavePanel::kPdfFilter), pdfOnly);
        QCOMPARE(dialog->nameFilters().size(), 1);
        QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).fileName(), QStringLiteral("pindle-log.csv"));
        saveAs(dialog, dir.filePath(typed));
        QCOMPARE(answers.answers, QList<std::optional<QString>>{dir.filePath(saved)});
        // The next question starts in the folder of the last answer.
        panel.ask(QStringLiteral("pindle-log.ale"), false, answers.recorder());
        QCOMPARE(QDir(panel.openDialog()->directory()).canonicalPath(), QDir(dir.path()).canonicalPath());
        panel.openDialog()->reject();
        QCOMPARE(answers.answers.size(), 2);
        QCOMPARE(answers.answers.last(), std::nullopt);
    }

    // The dialog asks about replacing the file that will be written: for "day.txt" typed as the
    // PDF, an existing "day.txt.pdf", never a text named "day.txt". Declined, the dialog stays.
    void replaceQuestionIsAboutThePdf_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<bool>("asked");
        QTest::newRow("a text of the typed name") << "day.txt" << false;
        QTest::newRow("the PDF it becomes") << "day.txt.pdf" << true;
    }
    void replaceQuestionIsAboutThePdf()
    {
        QFETCH(QString, existing);
        QFETCH(bool, asked);
        QTemporaryDir dir;
        QFile file(dir.filePath(existing));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("kept") == 4);
        file.close();
        FileDialogSavePanel panel;
        Answers answers;
        panel.ask(QStringLiteral("pindle-log.pdf"), true, answers.recorder());
        QFileDialog* dialog = panel.openDialog();
        QVERIFY(dialog);
        // Runs inside the question's own event loop, if one opens: answer "No".
        QString question;
        QTimer::singleShot(0, dialog, [&question] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                question = box->text();
                box->button(QMessageBox::No)->click();
            }
        });
        saveAs(dialog, dir.filePath(QStringLiteral("day.txt")));
        QCoreApplication::processEvents();
        QCOMPARE(!question.isEmpty(), asked);
        if (asked) {
            QVERIFY(question.contains(QStringLiteral("day.txt.pdf")));
            QVERIFY(answers.answers.isEmpty());
            QVERIFY(panel.openDialog() == dialog && dialog->isVisible());
            dialog->reject();
            QCOMPARE(answers.answers, QList<std::optional<QString>>{std::nullopt});
        } else {
            QCOMPARE(answers.answers, QList<std::optional<QString>>{dir.filePath(QStringLiteral("day.txt.pdf"))});
        }
    }

    // A second question while one is open cancels the first; a panel that goes closes its dialog
    // and answers nothing more.
    void overlappingAndDroppedQuestions()
    {
        Answers answers;
        QPointer<QFileDialog> first;
        {
            FileDialogSavePanel panel;
            panel.ask(QStringLiteral("a.txt"), false, answers.recorder());
            first = panel.openDialog();
            panel.ask(QStringLiteral("b.txt"), false, answers.recorder());
            QCOMPARE(answers.answers, QList<std::optional<QString>>{std::nullopt});
            QVERIFY(panel.openDialog() && panel.openDialog() != first);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!first);
        QCOMPARE(answers.answers.size(), 1);
    }

    // The log sheet drawn from the kept entries, from the menu or the export sheet, written
    // through the dialog and read by poppler: one A4 page, the open range left out.
    void pdfLogSheet_data()
    {
        QTest::addColumn<bool>("fromSheet");
        QTest::newRow("menu") << false;
        QTest::newRow("export sheet") << true;
    }
    void pdfLogSheet()
    {
        QFETCH(bool, fromSheet);
        StandinProcess standin;
        QVERIFY2(standin.isReady(), qPrintable(standin.failure()));
        screen_test::Rig rig(standin.baseUrl(), standin.signIn(QStringLiteral("ada@example.com")), true);
        LogEntry kept;
        kept.id = QUuid::createUuid();
        kept.type = QStringLiteral("great");
        kept.timecode = QStringLiteral("01:00:10:00");
        kept.summary = QStringLiteral("Harbour at dawn");
        LogEntry open = kept;
        open.id = QUuid::createUuid();
        open.summary = QStringLiteral("Open range");
        open.open = true;
        rig.screen->log().appendEntry(kept);
        rig.screen->log().appendEntry(open);

        QWidget window;
        window.setWindowTitle(QStringLiteral("Pindle Logger"));
        window.show();
        FileDialogSavePanel panel;
        LogExporter exporter(*rig.screen);
        exporter.setSavePanel(&panel);
        QSignalSpy saved(&exporter, &LogExporter::saved);
        if (fromSheet)
            exporter.exportChoice({ExportFormat::Pdf, rig.screen->log().entries().toList(), std::nullopt});
        else
            exporter.trigger(LogExporter::Action::Pdf);
        QTRY_VERIFY(panel.openDialog());
        QCOMPARE(QFileInfo(panel.openDialog()->selectedFiles().value(0)).fileName(), QStringLiteral("pindle-log.pdf"));
        QTemporaryDir dir;
        saveAs(panel.openDialog(), dir.filePath(QStringLiteral("day one")));
        QCOMPARE(saved.size(), 1);
        const QString path = dir.filePath(QStringLiteral("day one.pdf"));
        QCOMPARE(saved[0][0].toString(), path);

        const auto info = readers::run(QStringLiteral("pdfinfo"), {path});
        QVERIFY(info);
        const QString facts = QString::fromUtf8(*info);
        QVERIFY2(facts.contains(QRegularExpression(QStringLiteral("^Pages: +1$"), QRegularExpression::MultilineOption)),
                 qPrintable(facts));
        QVERIFY2(facts.contains(QRegularExpression(QStringLiteral("^Page size: +595 x 842 pts \\(A4\\)"),
                                                   QRegularExpression::MultilineOption)),
                 qPrintable(facts));
        const auto text = readers::run(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
        QVERIFY(text);
        QVERIFY(text->contains("Harbour at dawn"));
        QVERIFY(!text->contains("Open range"));
        QVERIFY(!rig.screen->transcriber().notice());
    }

    // The sheet's info line names the clock's frame rate by its label, drop-frame mark and all,
    // and says whether the timecodes follow the camera (typed or scanned) or the Mac's clock.
    void pdfFrameRateAndSync_data()
    {
        QTest::addColumn<QString>("format"); // as stored
        QTest::addColumn<int>("source");     // 0 the computer clock, 1 typed, 2 scanned by the phone
        QTest::addColumn<QString>("shown");
        const QString camera = QStringLiteral(" · camera timecode · ");
        const QString computer = QStringLiteral(" · Computer clock, not synced to camera · ");
        QTest::newRow("23.976, computer clock") << "24|1|0" << 0 << " · 23.976 fps" + computer;
        QTest::newRow("24, typed") << "24|0|0" << 1 << " · 24 fps" + camera;
        QTest::newRow("25, scanned") << "25|0|0" << 2 << " · 25 fps" + camera;
        QTest::newRow("29.97 DF, typed") << "30|1|1" << 1 << " · 29.97 DF fps" + camera;
        QTest::newRow("29.97 DF, computer clock") << "30|1|1" << 0 << " · 29.97 DF fps" + computer;
        QTest::newRow("29.97, scanned") << "30|1|0" << 2 << " · 29.97 fps" + camera;
        QTest::newRow("30, computer clock") << "30|0|0" << 0 << " · 30 fps" + computer;
        QTest::newRow("50, typed") << "50|0|0" << 1 << " · 50 fps" + camera;
        QTest::newRow("59.94 DF, computer clock") << "60|1|1" << 0 << " · 59.94 DF fps" + computer;
    }
    void pdfFrameRateAndSync()
    {
        QFETCH(QString, format);
        QFETCH(int, source);
        QFETCH(QString, shown);
        screen_test::Rig rig(QUrl(QStringLiteral("http://127.0.0.1:9")), QStringLiteral("sid=x"), true);
        rig.camera.setFormat(*CameraTimecode::Format::fromStorage(format));
        if (source > 0)
            rig.camera.setSource(CameraTimecode::Camera{rig.clock.now(), source == 2});
        QTemporaryDir dir;
        FixedPanel panel(dir.filePath(QStringLiteral("sheet.pdf")));
        LogExporter exporter(*rig.screen);
        exporter.setSavePanel(&panel);
        QSignalSpy saved(&exporter, &LogExporter::saved);
        exporter.trigger(LogExporter::Action::Pdf);
        QCOMPARE(saved.size(), 1);
        const auto text =
            readers::run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), panel.path, QStringLiteral("-")});
        QVERIFY(text);
        const QString page =
            QString::fromUtf8(*text).replace(QRegularExpression(QStringLiteral(" +")), QStringLiteral(" "));
        QVERIFY2(page.contains(QRegularExpression(QRegularExpression::escape(shown + "0 selects") + " ?\n")),
                 qPrintable(page));
    }
};

PINDLE_TEST(FileDialogSavePanelTest)
#include "FileDialogSavePanelTest.moc"
