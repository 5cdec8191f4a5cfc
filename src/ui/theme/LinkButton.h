#pragma once

#include <QAbstractButton>

// A button drawn as a link: its title alone, in the window's accent (the palette's Link colour).
class LinkButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit LinkButton(const QString& title, QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
