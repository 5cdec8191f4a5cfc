#include "ui/logging/sheets/FileDialogSavePanel.h"

#include "ui/logging/WindowSetup.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>

FileDialogSavePanel::FileDialogSavePanel()
    : m_folder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
{
}

FileDialogSavePanel::~FileDialogSavePanel()
{
    if (m_dialog) {
        m_dialog->disconnect();
        delete m_dialog;
    }
}

QWidget* FileDialogSavePanel::loggingWindow()
{
    const QString title = QString::fromLatin1(WindowSetup::kTitle);
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isWindow() && widget->windowTitle() == title)
            return widget;
    return nullptr;
}

void FileDialogSavePanel::ask(const QString& suggestedName, bool pdfOnly, Answer answer)
{
    // One question at a time: a new one replaces a dialog still open, which counts as cancelled.
    if (m_dialog)
        m_dialog->reject();
    auto* dialog = new QFileDialog(loggingWindow());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (!m_folder.isEmpty() && QFileInfo(m_folder).isDir())
        dialog->setDirectory(m_folder);
    if (pdfOnly) {
        dialog->setNameFilter(kPdfFilter);
        dialog->setDefaultSuffix(QStringLiteral("pdf"));
    }
    dialog->selectFile(suggestedName);
    m_dialog = dialog;

    // Closing a dialog reports its end twice (done, then the close it makes): answer once.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog, answer, connection](int result) {
        QObject::disconnect(*connection);
        const QStringList files = dialog->selectedFiles();
        if (result != QDialog::Accepted || files.isEmpty()) {
            answer(std::nullopt);
            return;
        }
        m_folder = QFileInfo(files.constFirst()).absolutePath();
        answer(files.constFirst());
    });
    // Window-modal over the logging window (a sheet); on its own without one.
    dialog->open();
}
