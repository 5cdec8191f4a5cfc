#pragma once

#include "ui/theme/TextStyle.h"

#include <QStaticText>
#include <QWidget>

#include <array>

// The log table's columns, shared by the header and every row so that they line up.
struct LogColumnsStyle {
    qreal type = 86;
    qreal timecode = 84;
    qreal who = 70;
    qreal saidMinimum = 150;
    qreal noteMinimum = 80;
    qreal noteMaximum = 190;
    qreal control = 18;
    qreal spacing = 10;
    qreal horizontalPadding = 16;
};

// Where each column starts and how wide it is, in the coordinates of the row it was laid out in.
struct LogColumns {
    enum Column { Type, Timecode, Who, Said, Note, Control, Count };

    struct Span {
        qreal left = 0;
        qreal width = 0;
        [[nodiscard]] qreal right() const { return left + width; }
    };
    std::array<Span, Count> spans{};

    [[nodiscard]] const Span& operator[](Column column) const { return spans[column]; }

    // Columns of a row `width` wide starting at `left`. The note column takes half of the width
    // the fixed columns leave, within its bounds, and the said text the rest; at least its
    // minimum, so a window too narrow cuts the row on the right rather than squeezing it.
    [[nodiscard]] static LogColumns layout(qreal left, qreal width, const LogColumnsStyle& style = {});
};

// The captions over the log table, one per column and none over the control slot.
class LogHeader : public QWidget {
    Q_OBJECT
public:
    struct Style {
        LogColumnsStyle columns;
        TextStyle caption = TextStyle::columnHead;
        qreal verticalPadding = 6;
    };

    explicit LogHeader(QWidget* parent = nullptr);

    // The width the rows are laid out in (the list's viewport, without its scroll bar), so the
    // captions stand over their columns; 0 or less: the header's own width.
    void setColumnsWidth(int width);

    // The caption over `column`, and where it is drawn; none over the control slot.
    [[nodiscard]] static QString caption(int column);
    [[nodiscard]] QRect captionRect(int column) const;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style m_style;
    QFont m_font;
    qreal m_lineHeight;
    std::array<QStaticText, LogColumns::Control> m_captions;
    int m_columnsWidth = 0;
};
