#pragma once

#include "screens/TimecodePanelModel.h"
#include "ui/theme/TextStyle.h"

#include <QColor>
#include <QList>
#include <QWidget>

class FrameClock;
class HeaderPillButton;
class QAbstractButton;
class QAction;
class QLabel;
class QMenu;
class LoggerSpinner;

// The header's camera-clock row: the running camera timecode, the frame-rate and camera-sync
// menus on pills, where the clock's time comes from, and a running or failed phone scan. It shows
// the model's values and forwards the menus' choices; the digits follow the frame clock only
// while the panel is shown.
class TimecodePanel : public QWidget {
    Q_OBJECT
public:
    struct Style {
        TextStyle sourceLine = TextStyle::bundled("DMSans-Bold", 11, 0.8);
        TextStyle formatLine = TextStyle::note;
        TextStyle scanText = TextStyle::detail;
        int spacing = 14;
        // Between the lines of a panel too narrow for one.
        int lineSpacing = 8;
        int sourceSpacing = 2;
        int scanSpacing = 8;
    };

    static constexpr char kFrameRateHelp[] = "The camera's frame rate. Stamps, exports and the ALE all use it.";
    static constexpr char kSyncHelp[] = "Stamp the log in the camera's timecode so it lines up with the rushes";

    // `frames` null: the application's frame clock.
    explicit TimecodePanel(TimecodePanelModel& model, QWidget* parent = nullptr, FrameClock* frames = nullptr);
    ~TimecodePanel() override;

    [[nodiscard]] HeaderPillButton* frameRatePill() const { return m_frameRatePill; }
    [[nodiscard]] QMenu* frameRateMenu() const { return m_frameRateMenu; }
    [[nodiscard]] HeaderPillButton* syncPill() const { return m_syncPill; }
    [[nodiscard]] QMenu* syncMenu() const { return m_syncMenu; }
    // The picker rows of the frame-rate menu and of the sync menu's "Frame rate" submenu.
    [[nodiscard]] const QList<QAction*>& frameRateActions() const { return m_frameRateActions; }
    [[nodiscard]] const QList<QAction*>& syncFrameRateActions() const { return m_syncFrameRateActions; }
    [[nodiscard]] QAction* macClockAction() const { return m_macClockAction; }

    // The digits as drawn now, their colour, and whether they follow the frame clock.
    [[nodiscard]] QString shownTimecode() const;
    [[nodiscard]] QColor timecodeColour() const;
    [[nodiscard]] bool isTicking() const;

    [[nodiscard]] QLabel* sourceLabel() const { return m_sourceLabel; }
    [[nodiscard]] QLabel* formatLabel() const { return m_formatLabel; }
    [[nodiscard]] QWidget* scanRow() const { return m_scanRow; }
    [[nodiscard]] LoggerSpinner* scanSpinner() const { return m_scanSpinner; }
    [[nodiscard]] QLabel* scanLabel() const { return m_scanLabel; }
    // "Cancel" while a scan waits, "Try again" after it failed.
    [[nodiscard]] QAbstractButton* scanCancelButton() const { return m_scanCancel; }
    [[nodiscard]] QAbstractButton* scanRetryButton() const { return m_scanRetry; }

private:
    class Digits;

    [[nodiscard]] HeaderPillButton* makePill(const QString& help);
    void buildMenus();
    [[nodiscard]] QList<QAction*> addFrameRateRows(QMenu* menu);
    void buildScanRow(FrameClock* frames);
    void follow();
    void restyle();

    TimecodePanelModel& m_model;
    Style m_style;
    Digits* m_digits = nullptr;
    HeaderPillButton* m_frameRatePill = nullptr;
    HeaderPillButton* m_syncPill = nullptr;
    QMenu* m_frameRateMenu = nullptr;
    QMenu* m_syncMenu = nullptr;
    QList<QAction*> m_frameRateActions;
    QList<QAction*> m_syncFrameRateActions;
    QAction* m_macClockSeparator = nullptr;
    QAction* m_macClockAction = nullptr;
    QLabel* m_sourceLabel = nullptr;
    QLabel* m_formatLabel = nullptr;
    QWidget* m_scanRow = nullptr;
    LoggerSpinner* m_scanSpinner = nullptr;
    QLabel* m_scanLabel = nullptr;
    QAbstractButton* m_scanCancel = nullptr;
    QAbstractButton* m_scanRetry = nullptr;
};
