#pragma once

#include <QString>
#include <QWidget>

// A line divider: one logical pixel in the palette's line colour, across the width (horizontal)
// or down the height (vertical) of where the layout puts it.
class LineDivider : public QWidget {
    Q_OBJECT
public:
    explicit LineDivider(Qt::Orientation orientation = Qt::Horizontal, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A pane's title in capitals over its content ("LOG"): leading-aligned across the full width.
class SectionTitle : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHorizontalPadding = 16;
    static constexpr int kTopPadding = 12;
    static constexpr int kBottomPadding = 6;

    explicit SectionTitle(const QString& text, QWidget* parent = nullptr);

    [[nodiscard]] const QString& text() const { return m_text; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};
