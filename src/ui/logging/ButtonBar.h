#pragma once

#include "model/LogButton.h"
#include "screens/LoggingScreenModel.h"

#include <QList>
#include <QRect>
#include <QWidget>

#include <vector>

class FrameClock;
class MarkerChipButton;

struct ButtonBarStyle {
    int minimumCellWidth = 130;
    int columnSpacing = 10;
    int rowSpacing = 10;
    int padding = 12;
    int chipHeight = 50;
};

// The marker-button grid under the log: one chip per visible button, in as many columns as fit,
// wrapping into rows. It knows nothing of the screen: it shows the chips it is given and reports
// presses of them (click or Ctrl+digit).
class ButtonBar : public QWidget {
    Q_OBJECT
public:
    using Style = ButtonBarStyle;
    // Ctrl+1 to Ctrl+9 go to the first nine chips; the rest have none.
    static constexpr int kShortcutChips = 9;

    // `frames` null: the application's frame clock.
    explicit ButtonBar(QWidget* parent = nullptr, FrameClock* frames = nullptr);
    ~ButtonBar() override;

    // Chips keep their widgets (and each position its shortcut) from one list to the next.
    void setChips(const QList<LogButtonChip>& chips);
    [[nodiscard]] int count() const { return static_cast<int>(m_buttons.size()); }
    [[nodiscard]] MarkerChipButton* chipButton(int position) const;

    // As many columns as fit at least the minimum cell width, never fewer than one.
    [[nodiscard]] static int columns(int width, const Style& style = {});
    // The cell of each of `count` chips in a grid `width` wide, row by row.
    [[nodiscard]] static QList<QRect> cells(int width, int count, const Style& style = {});
    [[nodiscard]] static int gridHeight(int width, int count, const Style& style = {});

    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    [[nodiscard]] int heightForWidth(int width) const override;
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

Q_SIGNALS:
    void pressed(const LogButton& button);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeChips();

    FrameClock& m_frames;
    std::vector<MarkerChipButton*> m_buttons;
};
