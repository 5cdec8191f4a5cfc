#pragma once

#include "ui/theme/FrameClock.h"
#include "ui/theme/TextStyle.h"

#include <QMargins>
#include <QStaticText>
#include <QWidget>

#include <optional>

class QAbstractButton;

// A one-line message of the header on a rounded card, with a Dismiss cross: the transcriber's
// notice or the cloud's sync problem. It fades in when a message comes and out when it goes,
// then takes no room. The message is drawn as written (never markup) and wraps when long.
class StatusBanner : public QWidget {
    Q_OBJECT
public:
    struct Style {
        TextStyle message = TextStyle::detail;
        // The cross, small and bold.
        TextStyle dismissSymbol = TextStyle::system(10, QFont::Bold);
        QMargins padding{12, 8, 12, 8};
        int spacing = 10;
        qreal cornerRadius = 8;
        qreal outlineWidth = 1;
        // Room around the cross that still takes the click.
        int dismissPadding = 4;
        double fadeSeconds = 0.2;
        qreal pressedOpacity = 0.6;
    };

    // `frames` null: the application's frame clock.
    explicit StatusBanner(QWidget* parent = nullptr, FrameClock* frames = nullptr);
    ~StatusBanner() override;

    // Shows `message`, or fades out and hides once none.
    void setMessage(const std::optional<QString>& message);
    // What the banner stands for now (none while fading out).
    [[nodiscard]] const std::optional<QString>& message() const { return m_message; }
    // The text drawn, kept while fading out.
    [[nodiscard]] const QString& shownText() const { return m_shown; }
    [[nodiscard]] QAbstractButton* dismissButton() const { return m_dismiss; }
    // 0 (gone) to 1 (shown).
    [[nodiscard]] qreal opacity() const { return m_opacity; }

    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    [[nodiscard]] int heightForWidth(int width) const override;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

Q_SIGNALS:
    void dismissed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    [[nodiscard]] int dismissSide() const;
    [[nodiscard]] qreal textWidth(int width) const;
    [[nodiscard]] QRect textRect() const;
    void relayoutText();
    bool stepFade(double seconds);
    void placeDismiss();

    Style m_style;
    QFont m_font;
    std::optional<QString> m_message;
    QString m_shown;
    QStaticText m_text;
    QAbstractButton* m_dismiss = nullptr;
    qreal m_opacity = 0;
    FrameClock::Animation m_fade;
};
