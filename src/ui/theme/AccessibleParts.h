#pragma once

#include <QAccessible>
#include <QString>

#include <functional>

class QAbstractButton;
class QWidget;

// Text for assistive tools that no text widget holds: a painted caption, a table cell, a running
// clock. Read only; a subclass builds the text when a tool reads it.
class AccessibleReadOnlyText : public QAccessibleTextInterface {
public:
    [[nodiscard]] virtual QString readText() const = 0;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    [[nodiscard]] int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    [[nodiscard]] int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    [[nodiscard]] QString text(int startOffset, int endOffset) const override;
    [[nodiscard]] int characterCount() const override;
    [[nodiscard]] QRect characterRect(int) const override { return {}; }
    [[nodiscard]] int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    [[nodiscard]] QString attributes(int offset, int* startOffset, int* endOffset) const override;
};

// Widgets whose looks Qt's own accessibility cannot read, told to assistive tools.
namespace AccessibleParts {

// `widget` paints its text: it reads as `role`, named by its accessible name, with the text
// `text` gives, asked for only when a tool reads it.
void paintedText(QWidget* widget, QAccessible::Role role, std::function<QString()> text);
// The painted text may have changed: assistive tools hear of it when it did. Nothing is built
// while none listen.
void textChanged(QWidget* widget);

// Scroll areas (plain ones and QScrollArea) read as Qt reads them, but an assistive tool that asks
// for a child the area no longer has (a scroll bar gone since it counted) gets none instead of
// crashing the application. Once per process, before the first window is shown.
void guardScrollAreas();

// A check box whose tick its owner keeps (a click asks the owner, who sets the tick): an
// assistive tool's Toggle asks the same way, instead of flipping the tick behind the owner's back.
void ownerTicked(QAbstractButton* button);

// Qt makes a widget's interface the first time anything asks, and any accessibility event asks
// (a name set, a show), also while the widget is still being built, before it is known to need
// one of its own: `isWanted` false drops that one, so the next ask makes the right one.
void replaceEarlyInterface(QWidget* widget, const std::function<bool(QAccessibleInterface*)>& isWanted);

} // namespace AccessibleParts
