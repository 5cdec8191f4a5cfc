#pragma once

#include "screens/HeaderModel.h"

#include <QWidget>

#include <memory>

class BrandBlock;
class FrameClock;
class HeaderPillButton;
class QMenu;
class StatusBanner;

// The logging screen's header rows: the top bar (brand block, Sessions and Input menus, the
// Search, Buttons, Alerts and Layout pills, the Export menu's place, Start/Stop), the place of
// the timecode panel, then the notice and sync-problem banners. It shows the header model's
// values and forwards every click to it; nothing here decides anything.
//
// The timecode panel and the Export menu are put into their places by their owners; an empty
// place takes no room.
class HeaderView : public QWidget {
    Q_OBJECT
public:
    struct Style {
        // Between the rows; the screen pads the header block.
        int rowSpacing = 10;
        int topBarSpacing = 8;
        int timecodeSpacing = 14;
    };

    // With a header model of its own on `screen`, which must outlive the view's model calls.
    // `frames` null: the application's frame clock.
    explicit HeaderView(LoggingScreenModel& screen, QWidget* parent = nullptr, FrameClock* frames = nullptr);
    // On a header model owned elsewhere, which must outlive the view.
    explicit HeaderView(HeaderModel& model, QWidget* parent = nullptr, FrameClock* frames = nullptr);
    ~HeaderView() override;

    [[nodiscard]] HeaderModel& model() const { return *m_model; }

    // Where the timecode panel goes: a centred row, 14 between its items.
    [[nodiscard]] QWidget* timecodeSlot() const { return m_timecodeSlot; }
    // Where the Export menu goes, between the Layout menu and Start/Stop.
    [[nodiscard]] QWidget* exportSlot() const { return m_exportSlot; }

    [[nodiscard]] BrandBlock* brand() const { return m_brand; }
    [[nodiscard]] HeaderPillButton* sessionsButton() const { return m_sessions; }
    [[nodiscard]] HeaderPillButton* inputButton() const { return m_input; }
    [[nodiscard]] HeaderPillButton* pill(ToolbarPill::Kind kind) const;
    [[nodiscard]] HeaderPillButton* startStopButton() const { return m_startStop; }
    [[nodiscard]] QMenu* sessionsMenu() const { return m_sessionsMenu; }
    [[nodiscard]] QMenu* inputMenu() const { return m_inputMenu; }
    [[nodiscard]] QMenu* layoutMenu() const { return m_layoutMenu; }
    [[nodiscard]] StatusBanner* noticeBanner() const { return m_notice; }
    [[nodiscard]] StatusBanner* syncBanner() const { return m_sync; }

private:
    void build(FrameClock* frames);
    void wire();
    QMenu* attachMenu(HeaderPillButton* pill, QList<HeaderMenuItem> (HeaderModel::*items)() const,
                      void (HeaderModel::*changed)());
    void showPills();
    void showInput();
    void showStartStop();
    void showBanners();
    // A place shows while something is in it.
    void watchSlot(QWidget* slot);
    void followSlots();

    std::unique_ptr<HeaderModel> m_ownModel;
    HeaderModel* m_model;
    Style m_style;
    BrandBlock* m_brand = nullptr;
    HeaderPillButton* m_sessions = nullptr;
    HeaderPillButton* m_input = nullptr;
    QList<HeaderPillButton*> m_pills;
    HeaderPillButton* m_startStop = nullptr;
    QMenu* m_sessionsMenu = nullptr;
    QMenu* m_inputMenu = nullptr;
    QMenu* m_layoutMenu = nullptr;
    QWidget* m_exportSlot = nullptr;
    QWidget* m_timecodeSlot = nullptr;
    StatusBanner* m_notice = nullptr;
    StatusBanner* m_sync = nullptr;
};
