#pragma once

#include "screens/SavePanel.h"

#include <QPointer>
#include <QString>

#include <QFileDialog>
class QWidget;

// The desktop's save dialog as the exporter's save panel: offers the suggested name in the last
// folder used (Documents at first), as a window-modal sheet on the logging window when there is
// one, else on its own. The PDF may be saved as a PDF only: its name always ends in ".pdf" (a
// typed "day" or "day.txt" becomes "day.pdf" or "day.txt.pdf"); any other file under any name.
// Cancel answers nothing written.
//
// A question still open when the panel goes is dropped unanswered, its dialog closed.
class FileDialogSavePanel : public SavePanel {
public:
    static inline const QString kPdfFilter = QStringLiteral("PDF document (*.pdf)");

    FileDialogSavePanel();
    ~FileDialogSavePanel() override;
    FileDialogSavePanel(const FileDialogSavePanel&) = delete;
    FileDialogSavePanel& operator=(const FileDialogSavePanel&) = delete;

    void ask(const QString& suggestedName, bool pdfOnly, Answer answer) override;

    // The dialog of the open question; null when none is open.
    [[nodiscard]] QFileDialog* openDialog() const { return m_dialog; }

    // The first top-level window titled as the logging window; null when there is none.
    [[nodiscard]] static QWidget* loggingWindow();

private:
    QString m_folder;
    QPointer<QFileDialog> m_dialog;
};
