#pragma once

#include "ui/theme/Capsule.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QWidget>

class QAbstractButton;

// Removable words (the keyword sheet's keywords) as chips in a wrapping grid: as many equal
// columns as fit, each chip at its own width on the leading side of its cell. A click on a chip
// only reports its word; the owner decides and passes the new list back.
class FlowChips : public QWidget {
    Q_OBJECT
public:
    struct Style {
        CapsuleStyle chip = CapsuleStyles::wordChip;
        QString removeSymbol = QStringLiteral("xmark");
        int minimumColumnWidth = 90;
        int columnSpacing = 6;
        int rowSpacing = 6;
        qreal pressedOpacity = 0.6;
    };

    explicit FlowChips(QWidget* parent = nullptr);

    // One chip per distinct word, in first-seen order. A chip whose word stays is kept as it is.
    void setWords(const QStringList& words);
    // The words shown, duplicates dropped.
    [[nodiscard]] QStringList words() const { return m_words; }
    // The chips in the order of words().
    [[nodiscard]] QList<QAbstractButton*> chips() const;

    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    [[nodiscard]] int heightForWidth(int width) const override;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

Q_SIGNALS:
    void removeRequested(const QString& word);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Chip;
    struct Grid {
        int columns = 1;
        qreal cellWidth = 0;
    };
    [[nodiscard]] Grid gridFor(int contentWidth) const;
    // Row heights for `columns` columns: the tallest chip of each row.
    [[nodiscard]] QList<int> rowHeights(int columns) const;
    void placeChips();

    Style m_style;
    QStringList m_words;
    QHash<QString, Chip*> m_chips;
};
