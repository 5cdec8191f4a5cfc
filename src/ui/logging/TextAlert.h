#pragma once

#include "ui/theme/TextStyle.h"

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

// A small window-modal question with one line of text to fill in: a title, a message, the field,
// and an accept button beside "Cancel". It never blocks: open() it and wait for exactly one of
// accepted or cancelled. Return in the field accepts; Esc, Cancel and closing the window cancel.
// The alert deletes itself once answered.
class TextAlert : public QDialog {
    Q_OBJECT
public:
    struct Texts {
        QString title;
        QString message;
        QString placeholder;
        QString text;
        QString acceptTitle;
    };

    struct Style {
        TextStyle title = TextStyle::sheetTitle;
        TextStyle message = TextStyle::body;
        TextStyle field = TextStyle::bodyLarge;
        int width = 360;
        int margin = 20;
        int spacing = 10;
        // Above the buttons, apart from the field.
        int buttonGap = 8;
    };

    explicit TextAlert(const Texts& texts, QWidget* parent = nullptr);

    // Renaming a transcript speaker: `text` is the name to start from.
    [[nodiscard]] static TextAlert* renameSpeaker(const QString& speaker, const QString& text, QWidget* parent);
    // Naming an input channel, by its 0-based index (none reads as the first).
    [[nodiscard]] static TextAlert* nameChannel(std::optional<int> index, const QString& text, QWidget* parent);
    // Typing the camera's timecode to lock to: `draft` is a guess a few seconds ahead.
    [[nodiscard]] static TextAlert* typeTimecode(const QString& draft, QWidget* parent);

    [[nodiscard]] QString title() const;
    [[nodiscard]] QString message() const;
    [[nodiscard]] QString text() const;
    [[nodiscard]] QLineEdit* field() const { return m_field; }
    [[nodiscard]] QPushButton* acceptButton() const { return m_accept; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }

    // Every way the alert closes ends here; the first one answers.
    void done(int result) override;

Q_SIGNALS:
    // The field's text as typed, untrimmed.
    void accepted(const QString& text);
    void cancelled();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void restyle();

    QLabel* m_title;
    QLabel* m_message;
    QLineEdit* m_field;
    QPushButton* m_accept;
    QPushButton* m_cancel;
    bool m_answered = false;
};
