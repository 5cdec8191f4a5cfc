#pragma once

#include "ui/theme/TextStyle.h"

#include <QWidget>

class QLineEdit;

// The text field of the kit: a borderless line edit padded by 12 inside a rounded
// surface with a thin outline.
class LoggerField : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPadding = 12;
    static constexpr qreal kCornerRadius = 10;
    static constexpr qreal kStrokeWidth = 1;

    LoggerField(const TextStyle& style, const QString& placeholder, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* lineEdit() const { return m_edit; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void restyle();

    QLineEdit* m_edit;
};
