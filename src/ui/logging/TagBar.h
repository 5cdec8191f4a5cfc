#pragma once

#include "ui/theme/Capsule.h"

#include <QStringList>
#include <QWidget>

class QAbstractButton;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QScrollArea;

// The palette's tags as chips that tag the current target with one click, and a "+" that adds a
// tag to the palette through a small popover. The owner pads it (12 across, 8 down) and decides
// what a click does; the bar only reports it.
class TagBar : public QWidget {
    Q_OBJECT
public:
    struct Style {
        CapsuleStyle chip = CapsuleStyles::tagChip;
        int chipSpacing = 6;
        int chipsVerticalPadding = 2;
        // Between the chips' strip and the "+".
        int spacing = 8;
        TextStyle addSymbol = TextStyle::system(11, QFont::Bold);
        qreal addPadding = 6;
        qreal addCornerRadius = 6;
        int popoverPadding = 12;
        int popoverSpacing = 8;
        int newTagFieldWidth = 160;
        // Between the "+" and the popover under it.
        int popoverGap = 4;
        qreal pressedOpacity = 0.6;
    };

    explicit TagBar(QWidget* parent = nullptr);
    ~TagBar() override;

    void setTags(const QStringList& tags);
    [[nodiscard]] QStringList tags() const { return m_tags; }
    // What a chip tags ("selected clip", "open range", "latest clip"), for its help text.
    void setTargetLabel(const QString& label);
    [[nodiscard]] QString targetLabel() const { return m_targetLabel; }

    // Shows the new-tag popover under the "+" with `text` in its field (replacing what is there
    // when it differs), or closes it. Closing it here reports nothing; only a dismissal by the
    // user does.
    void setAddPopoverOpen(bool open, const QString& text = {});
    [[nodiscard]] bool isAddPopoverOpen() const;

    [[nodiscard]] QList<QAbstractButton*> chips() const { return m_chips; }
    [[nodiscard]] QAbstractButton* addButton() const { return m_add; }
    [[nodiscard]] QWidget* addPopover() const { return m_popover; }
    [[nodiscard]] QLineEdit* newTagField() const { return m_field; }
    [[nodiscard]] QPushButton* newTagAddButton() const { return m_submit; }

Q_SIGNALS:
    void tagClicked(const QString& tag);
    void addRequested();
    // The user typed in the popover's field: the other half of the text setAddPopoverOpen puts there.
    void newTagEdited(const QString& text);
    // "Add" or Return in the popover's field.
    void newTagSubmitted(const QString& text);
    // The user closed the popover some other way (Escape, a click elsewhere); the typed text is kept.
    void addPopoverDismissed(const QString& typedText);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void describeChips();
    void placePopover();
    void popoverHidden();

    Style m_style;
    QStringList m_tags;
    QString m_targetLabel;
    QScrollArea* m_scroll;
    QWidget* m_strip;
    QHBoxLayout* m_stripLayout;
    QList<QAbstractButton*> m_chips;
    QAbstractButton* m_add;
    QWidget* m_popover;
    QLineEdit* m_field;
    QPushButton* m_submit;
    bool m_closingPopover = false;
};
