#include "ui/logging/sheets/FileDialogSavePanel.h"

#include "ui/logging/WindowAccessor.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardPaths>

#include <memory>

namespace {

bool isPdfName(const QString& path)
{
    return QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0;
}

// The save dialog. For the PDF a name typed with another suffix ("day.txt") gets ".pdf" after
// it (nothing typed is dropped), and before the dialog asks about replacing a file, so that the
// question is about the file that will be written.
class SaveDialog final : public QFileDialog {
public:
    SaveDialog(bool pdfOnly, QWidget* parent) : QFileDialog(parent), m_pdfOnly(pdfOnly) {}

    void accept() override
    {
        if (m_pdfOnly)
            ensurePdfName();
        QFileDialog::accept();
    }

private:
    void ensurePdfName()
    {
        // Only the dialog's own widgets have the field; a platform dialog keeps to the type itself.
        auto* name = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QStringList files = selectedFiles();
        if (!name || files.size() != 1 || QFileInfo(files.constFirst()).isDir() || isPdfName(files.constFirst()))
            return;
        const QString pdf = files.constFirst() + QStringLiteral(".pdf");
        // Also drops a file picked in the list, which would count before the typed name.
        selectFile(pdf);
        name->setText(QFileInfo(pdf).fileName());
    }

    bool m_pdfOnly;
};

} // namespace

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
    const QString title = QString::fromLatin1(WindowAccessor::kTitle);
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
    auto* dialog = new SaveDialog(pdfOnly, loggingWindow());
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
    *connection =
        QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog, pdfOnly, answer, connection](int result) {
            QObject::disconnect(*connection);
            const QStringList files = dialog->selectedFiles();
            if (result != QDialog::Accepted || files.isEmpty()) {
                answer(std::nullopt);
                return;
            }
            QString path = files.constFirst();
            if (pdfOnly && !isPdfName(path))
                path += QStringLiteral(".pdf");
            m_folder = QFileInfo(path).absolutePath();
            answer(path);
        });
    // Window-modal over the logging window (a sheet); on its own without one.
    dialog->open();
}
