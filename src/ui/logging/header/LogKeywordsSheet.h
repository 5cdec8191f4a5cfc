#pragma once

#include "model/LogKeywordStore.h"
#include "ui/theme/TextStyle.h"

#include <QDialog>
#include <QSize>

class FlowChips;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

// "Keyword alerts": the words that raise an alert when anyone says one on a live channel. Typed
// words are added through the store's rules (comma-separated, trimmed, no repeat ignoring case);
// a chip removes its word. The store saves every change, so the sheet only has "Done".
//
// A window-modal dialog over its parent; it deletes itself once closed.
class LogKeywordsSheet : public QDialog {
    Q_OBJECT
public:
    struct Style {
        QSize size{460, 380};
        int padding = 18;
        int spacing = 14;
        int entrySpacing = 8;
        TextStyle title = TextStyle::sheetTitle;
        TextStyle explanation = TextStyle::detail;
        TextStyle field = TextStyle::body;
        TextStyle empty = TextStyle::detail;
    };

    explicit LogKeywordsSheet(LogKeywordStore& store, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* field() const { return m_field; }
    [[nodiscard]] QPushButton* addButton() const { return m_add; }
    [[nodiscard]] QPushButton* doneButton() const { return m_done; }
    [[nodiscard]] FlowChips* chips() const { return m_chips; }
    // "No keywords yet." while the list is empty.
    [[nodiscard]] QLabel* emptyLabel() const { return m_empty; }
    [[nodiscard]] QScrollArea* chipsArea() const { return m_scroll; }

    // The store takes the field's text, and the field is emptied whether or not a word was new.
    void addWords();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    void restyle();

    LogKeywordStore& m_store;
    Style m_style;
    QLabel* m_title = nullptr;
    QLabel* m_explanation = nullptr;
    QLineEdit* m_field = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_done = nullptr;
    QLabel* m_empty = nullptr;
    QScrollArea* m_scroll = nullptr;
    FlowChips* m_chips = nullptr;
};
