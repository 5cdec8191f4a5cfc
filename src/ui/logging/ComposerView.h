#pragma once

#include "model/LogButton.h"
#include "ui/theme/Capsule.h"
#include "ui/theme/TextStyle.h"

#include <QList>
#include <QString>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QLineEdit;

// The note composer under a selected transcript line: the note field with its "Log ⏎" button, a
// chip per visible marker kind, and the hint. It shows the value it is given and reports what the
// logger does; the owner decides. Return in the field asks to log, Esc to cancel; both are taken
// here, so neither reaches a default button or a window shortcut. The owner sizes it by
// heightForWidth: the chips wrap onto more rows when the column is narrow.
class ComposerView : public QWidget {
    Q_OBJECT
public:
    struct Content {
        QString note;
        // The visible marker buttons, in the bar's order.
        QList<LogButton> chips;
        // The kind the entry would get: its chip is drawn chosen.
        QString kind;
        // The note field has the keyboard.
        bool focused = false;

        friend bool operator==(const Content&, const Content&) = default;
    };

    struct Style {
        TextStyle field = TextStyle::bodyLarge;
        TextStyle logTitle = TextStyle::bundled("DMSans-SemiBold", 13);
        TextStyle hint = TextStyle::note;
        CapsuleStyle chip = CapsuleStyles::kindChip;
        int controlHeight = 34;
        qreal cornerRadius = 8;
        qreal outlineWidth = 1;
        int fieldPadding = 10;
        int logPadding = 12;
        // Between the three rows; between the field and "Log ⏎"; between chips.
        int rowSpacing = 7;
        int noteSpacing = 8;
        int chipSpacing = 6;
        int leadingPadding = 8;
        int bottomPadding = 4;
        qreal pressedOpacity = 0.8;
        qreal focusRingWidth = 2;
        qreal focusRingInset = 3;
    };

    static inline const QString kPlaceholder = QStringLiteral("Add a note, then press Enter");
    static inline const QString kLogTitle = QStringLiteral("Log ⏎");
    static inline const QString kHint =
        QStringLiteral("Enter logs it · Esc cancels · a button or Ctrl+1, Ctrl+2… picks the type");

    explicit ComposerView(QWidget* parent = nullptr);

    // Takes the keyboard when `focused` turns on, or when the kind changes while it is on (a
    // chip, a marker button or its shortcut picked it).
    void setContent(const Content& content);
    [[nodiscard]] const Content& content() const { return m_content; }

    [[nodiscard]] QSize minimumSizeHint() const override;

    // The chosen chip's title colour: dark on the kinds whose colour is light.
    [[nodiscard]] static bool takesDarkTitle(const QString& kind);

    [[nodiscard]] QLineEdit* noteField() const { return m_field; }
    [[nodiscard]] QAbstractButton* logButton() const { return m_log; }
    // In the order of content().chips.
    [[nodiscard]] QList<QAbstractButton*> chips() const { return m_chips; }
    [[nodiscard]] QLabel* hintLabel() const { return m_hint; }

Q_SIGNALS:
    void noteEdited(const QString& text);
    void commitRequested();
    void cancelRequested();
    void kindPicked(const QString& kind);
    // The composer is going away with the keyboard in it (Return logged, Esc cancelled). Unless
    // the owner takes the keyboard now, Qt hands it to the next control of the window's tab
    // chain, which is a header control far from the transcript.
    void keyboardLeaving();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    class NoteBox;
    class SubmitButton;
    class KindChip;
    class ChipRow;

    void rebuildChips();
    void takeKeyboard();
    void restyle();

    Style m_style;
    Content m_content;
    QLineEdit* m_field;
    QAbstractButton* m_log;
    ChipRow* m_chipRow;
    QList<QAbstractButton*> m_chips;
    QLabel* m_hint;
};
