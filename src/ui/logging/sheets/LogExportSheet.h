#pragma once

#include "screens/ExportSheetModel.h"
#include "ui/theme/TextStyle.h"

#include <QDialog>
#include <QList>
#include <QSize>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// "Export": the format, the reel name for the edit-list formats, which markers go (presets, kinds,
// a tag, the alerts never kept) and how many that is. "Export…" hands the choice on and closes;
// "Cancel" and Escape close and keep nothing, not even the typed reel name.
//
// A window-modal dialog over its parent; it deletes itself once closed.
class LogExportSheet : public QDialog {
    Q_OBJECT
public:
    struct Style {
        QSize size{520, 560};
        int padding = 18;
        int spacing = 16;
        int presetSpacing = 8;
        int tapeSpacing = 6;
        int tapeFieldWidth = 180;
        int kindMinWidth = 120;
        int kindColumnSpacing = 8;
        int kindRowSpacing = 6;
        int dotDiameter = 8;
        TextStyle title = TextStyle::sheetTitle;
        TextStyle tapeLabel = TextStyle::detail;
        TextStyle tapeHelp = TextStyle::note;
        TextStyle caption = TextStyle::caption;
        TextStyle kind = TextStyle::detail;
        TextStyle count = TextStyle::detail;
    };

    static inline const QString kExportTitle = QStringLiteral("Export\u2026");
    static inline const QString kAnyTag = QStringLiteral("Any tag");
    static inline const QString kIncludeTitle = QStringLiteral("Include alerts and suggestions you didn't keep");

    LogExportSheet(QList<LogEntry> entries, const LogButtonStore& buttons, Defaults& defaults,
                   QWidget* parent = nullptr);

    [[nodiscard]] ExportSheetModel& model() { return m_model; }

    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }
    [[nodiscard]] QPushButton* exportButton() const { return m_export; }
    [[nodiscard]] QPushButton* presetButton(ExportSheetModel::Preset preset) const;
    [[nodiscard]] QComboBox* formatPicker() const { return m_format; }
    // Shown for the edit-list formats only.
    [[nodiscard]] QWidget* tapeSection() const { return m_tapeSection; }
    [[nodiscard]] QLineEdit* tapeField() const { return m_tapeField; }
    [[nodiscard]] QLabel* tapeHelp() const { return m_tapeHelp; }
    // One per kind in the log, in the model's order.
    [[nodiscard]] const QList<QCheckBox*>& kindBoxes() const { return m_kindBoxes; }
    // Null when the log has no tags.
    [[nodiscard]] QComboBox* tagPicker() const { return m_tag; }
    [[nodiscard]] QCheckBox* includeBox() const { return m_include; }
    [[nodiscard]] QLabel* countLabel() const { return m_count; }

    // The Export action: nothing while no marker passes.
    void exportNow();

Q_SIGNALS:
    void exported(const ExportChoice& choice);

private:
    QLayout* buildKinds();
    QLayout* buildTags();
    void follow();
    void restyle();

    ExportSheetModel m_model;
    Style m_style;
    QLabel* m_title = nullptr;
    QPushButton* m_cancel = nullptr;
    QList<QPushButton*> m_presets;
    QLabel* m_formatLabel = nullptr;
    QComboBox* m_format = nullptr;
    QWidget* m_tapeSection = nullptr;
    QLabel* m_tapeLabel = nullptr;
    QLineEdit* m_tapeField = nullptr;
    QLabel* m_tapeHelp = nullptr;
    QLabel* m_caption = nullptr;
    QList<QCheckBox*> m_kindBoxes;
    QLabel* m_tagLabel = nullptr;
    QComboBox* m_tag = nullptr;
    QCheckBox* m_include = nullptr;
    QLabel* m_count = nullptr;
    QPushButton* m_export = nullptr;
};
