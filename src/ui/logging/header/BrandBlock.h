#pragma once

#include "screens/HeaderModel.h"
#include "ui/theme/TextStyle.h"

#include <QWidget>

class QLabel;

// The header's top-left corner: the Pindle wordmark, the title, the open log's date and, after a
// successful sync, when the log was last saved to the account.
class BrandBlock : public QWidget {
    Q_OBJECT
public:
    struct Style {
        int spacing = 2;
        int wordmarkHeight = 22;
        int wordmarkGap = 6;
        TextStyle title = TextStyle::paneTitle;
        TextStyle date = TextStyle::detail;
        TextStyle saved = TextStyle::note;
    };

    explicit BrandBlock(QWidget* parent = nullptr);

    void setBrand(const HeaderBrand& brand);
    [[nodiscard]] QWidget* wordmark() const { return m_wordmark; }
    [[nodiscard]] QLabel* titleLabel() const { return m_title; }
    [[nodiscard]] QLabel* dateLabel() const { return m_date; }
    // Hidden while there is no saved line.
    [[nodiscard]] QLabel* savedLabel() const { return m_saved; }

private:
    void recolour();

    Style m_style;
    QWidget* m_wordmark;
    QLabel* m_title;
    QLabel* m_date;
    QLabel* m_saved;
};
