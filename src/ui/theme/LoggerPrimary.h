#pragma once

#include <QAbstractButton>

// The primary button: a coral rounded rectangle the width of the card,
// 46 high, with its title in white. Pressing dims only the fill.
class LoggerPrimary : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kHeight = 46;
    static constexpr qreal kCornerRadius = 12;
    static constexpr qreal kPressedOpacity = 0.8;

    explicit LoggerPrimary(const QString& title, QWidget* parent = nullptr);

    // The title, shown and read out by assistive technology.
    void setTitle(const QString& title);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
