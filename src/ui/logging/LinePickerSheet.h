#pragma once

#include "ui/theme/TextStyle.h"

#include <QColor>
#include <QDialog>
#include <QList>
#include <QSet>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

class QAbstractButton;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

// The sheet that asks which transcript lines a new entry should quote: a heading with the
// marker's glyph and the count of ticked lines, the lines as rows that tick and untick on a click,
// and "Keep the last few seconds" (Esc) beside "Save lines" (Return, only with something ticked).
//
// It holds no ticks of its own: a click reports the line and the owner hands the new set back. It
// never blocks: open() it and wait for exactly one of saveRequested or keepRequested; closing it
// any other way keeps, as Esc does. The dialog deletes itself once answered or withdrawn.
class LinePickerSheet : public QDialog {
    Q_OBJECT
public:
    // One line as shown: its display values are worked out by the owner.
    struct Line {
        QString id;
        QString timecode;
        // None: no name over the text.
        std::optional<QString> speaker;
        QColor speakerColour;
        QString text;

        friend bool operator==(const Line&, const Line&) = default;
    };

    struct Content {
        QString title;
        // The marker glyph's.
        QColor colour;
        QList<Line> lines;
        // Every ticked id, shown or not: all of them count.
        QSet<QString> ticked;
    };

    struct Style {
        QSize size{620, 520};
        int padding = 18;
        int spacing = 12;
        int headingSpacing = 10;
        qreal glyphSize = 18;
        TextStyle title = TextStyle::bundled("DMSans-Bold", 17);
        TextStyle count = TextStyle::detail;
        TextStyle footer = TextStyle::note;
        int rowSpacing = 6;
        // Inside a row.
        int rowPadding = 10;
        qreal rowCornerRadius = 10;
        qreal tickedOpacity = 0.14;
        TextStyle tick = TextStyle::system(16, QFont::DemiBold);
        int tickSpacing = 10;
        TextStyle timecode = TextStyle::bundled("DMSans-Regular", 10);
        TextStyle speaker = TextStyle::bundled("DMSans-Bold", 12);
        TextStyle text = TextStyle::bodyLarge;
        // Between the timecode and the name; between that line and the text.
        int headerSpacing = 6;
        int textSpacing = 2;
        qreal pressedOpacity = 0.7;
        qreal focusRingWidth = 2;
    };

    static inline const QString kSaveTitle = QStringLiteral("Save lines");
    static inline const QString kKeepTitle = QStringLiteral("Keep the last few seconds");
    static inline const QString kFooter = QStringLiteral("Click lines to add or take them out.");

    explicit LinePickerSheet(QWidget* parent = nullptr);
    ~LinePickerSheet() override;

    // Rows are rebuilt only when the lines change; a new tick set only repaints.
    void setContent(const Content& content);
    [[nodiscard]] const Content& content() const { return m_content; }

    [[nodiscard]] QString countText() const;
    [[nodiscard]] QPushButton* saveButton() const { return m_save; }
    [[nodiscard]] QPushButton* keepButton() const { return m_keep; }
    [[nodiscard]] QScrollArea* scrollArea() const { return m_scroll; }
    // In the order of content().lines.
    [[nodiscard]] QList<QAbstractButton*> rows() const { return m_rows; }

    // The owner closed the picker itself (its Save ran from elsewhere): the dialog goes without
    // an answer.
    void withdraw();
    // Every way the dialog closes ends here; the first one answers.
    void done(int result) override;

Q_SIGNALS:
    void toggled(const QString& lineID);
    void saveRequested();
    void keepRequested();

protected:
    void showEvent(QShowEvent* event) override;

private:
    class Glyph;
    class Title;
    class Row;
    struct RowLook;

    void rebuildRows();
    void showTicks();
    void scrollToNewest();
    void restyle();

    Style m_style;
    std::unique_ptr<RowLook> m_look;
    Content m_content;
    Glyph* m_glyph;
    Title* m_title;
    QLabel* m_count;
    QScrollArea* m_scroll;
    QWidget* m_list;
    QVBoxLayout* m_listLayout;
    QList<QAbstractButton*> m_rows;
    QLabel* m_footer;
    QPushButton* m_keep;
    QPushButton* m_save;
    bool m_answered = false;
};
