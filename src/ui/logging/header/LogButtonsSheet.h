#pragma once

#include "model/LogButtonStore.h"
#include "ui/theme/TextStyle.h"

#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QSize>

#include <memory>
#include <optional>
#include <vector>

class QAbstractButton;
class QLabel;
class QMimeData;
class QScrollArea;
class QSlider;
class QVBoxLayout;
class TextAlert;

// "Your buttons": every marker button, shown or not, with its tick, name, shortcut, grab-back
// and rename, in bar order; a row is dragged to reorder. Each change goes straight to the store,
// which saves it, so the sheet has "Done" and nothing to cancel. It keeps only which row's
// grab-back slider is open and which button is being renamed.
//
// A window-modal dialog over its parent; it deletes itself once closed.
class LogButtonsSheet : public QDialog {
    Q_OBJECT
public:
    struct Style {
        QSize size{520, 600};
        int headerPadding = 16;
        int helpPadding = 16;
        int rowHorizontalPadding = 16;
        int rowVerticalPadding = 6;
        // Between the button row and its slider row, and the slider row's leading indent.
        int rowStackSpacing = 10;
        int sliderIndent = 30;
        int buttonRowSpacing = 12;
        int nameSpacing = 2;
        int sliderRowSpacing = 10;
        int sliderValueWidth = 36;
        qreal circleDiameter = 12;
        int tickSide = 24;
        int renameSide = 28;
        // The insertion line a dragged row would land on.
        qreal dropLineWidth = 2;
        TextStyle title = TextStyle::sheetTitle;
        TextStyle enabledName = TextStyle::bundled("DMSans-SemiBold", 14);
        TextStyle disabledName = TextStyle::bundled("DMSans-Regular", 14);
        TextStyle blurb = TextStyle::note;
        TextStyle shortcut = TextStyle::bundled("DMSans-SemiBold", 11);
        TextStyle sliderCaption = TextStyle::detail;
        TextStyle sliderValue = TextStyle::wordChip;
        TextStyle help = TextStyle::note;
        TextStyle tickOn = TextStyle::system(18, QFont::Bold);
        TextStyle tickOff = TextStyle::system(18);
        TextStyle rename = TextStyle::system(13, QFont::DemiBold);
    };

    static constexpr char kRowMimeType[] = "application/x-pindle-button-row";
    static constexpr char kRenameMessage[] =
        "It changes the label only, not the marker type, so exports still know what it is.";

    explicit LogButtonsSheet(LogButtonStore& store, QWidget* parent = nullptr);
    ~LogButtonsSheet() override;

    // The shortcut label of the button at `position` among `buttons`: "Ctrl+1" … "Ctrl+9" for the
    // first nine shown buttons, empty for a hidden one and for the tenth shown on.
    [[nodiscard]] static QString shortcutLabel(const QList<LogButton>& buttons, int position);
    // What a dragged row carries: where it was and whose button it showed, in our own type.
    [[nodiscard]] static std::unique_ptr<QMimeData> rowMimeData(int position, const QString& kind);
    // "Last 7 s": a grab-back of 7.6 s reads 7, as the bar's help does.
    [[nodiscard]] static QString reachText(double seconds);

    // What a row shows, by position in the store's list. A part the row does not show now is
    // null: the timer capsule of a hidden or In / Out button, the slider while it is closed.
    struct RowParts {
        QWidget* row = nullptr;
        QAbstractButton* tick = nullptr;
        QLabel* name = nullptr;
        QLabel* shortcut = nullptr;
        QAbstractButton* reach = nullptr;
        QAbstractButton* rename = nullptr;
        QSlider* slider = nullptr;
        QLabel* sliderValue = nullptr;
    };
    [[nodiscard]] int rowCount() const;
    // All null for a position outside the list.
    [[nodiscard]] RowParts rowParts(int position) const;
    [[nodiscard]] QWidget* rowList() const;
    [[nodiscard]] QPushButton* doneButton() const { return m_done; }
    [[nodiscard]] TextAlert* renameAlert() const { return m_renameAlert; }
    [[nodiscard]] QPushButton* renameResetButton() const { return m_renameReset; }
    [[nodiscard]] const std::optional<QString>& reachOpen() const { return m_reachOpen; }

    // Where a row dropped at `y` in the row list lands: the store position it goes before.
    [[nodiscard]] int dropPosition(int y) const;

private:
    class Row;
    class RowList;

    void follow();
    void restyle();
    void toggleReach(const QString& kind);
    void startRename(const LogButton& button);
    // A row dragged from `from` (a button of `kind`) and dropped before `to`.
    void moveRow(int from, const QString& kind, int to);

    LogButtonStore& m_store;
    Style m_style;
    QPushButton* m_done = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_help = nullptr;
    QScrollArea* m_scroll = nullptr;
    RowList* m_list = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    // One per position, never deleted while the sheet lives: a row may be the source of the drag
    // that reorders them.
    std::vector<Row*> m_rows;
    std::optional<QString> m_reachOpen;
    std::optional<QString> m_renaming;
    QPointer<TextAlert> m_renameAlert;
    QPointer<QPushButton> m_renameReset;
};
