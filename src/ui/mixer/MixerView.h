#pragma once

#include "platform/Spring.h"
#include "screens/MixerModel.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/theme/FrameClock.h"

#include <QAbstractButton>
#include <QWidget>

#include <memory>
#include <vector>

class AgentPinBand;
class ChannelControl;
class ChannelStrip;
class CollapsedChannel;
class CompactChannelRow;
class QLabel;
class QProgressBar;
class QScrollArea;
class Transition;

// The band's header: a chevron that turns as the band opens, "CHANNELS" and the live count. The
// whole row takes the click.
class MixerHeaderButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr Spring::Params kTurn{0.5, 0.85};

    explicit MixerHeaderButton(FrameClock& frames, QWidget* parent = nullptr);

    void setState(const MixerModel::Header& header);
    [[nodiscard]] const QString& countText() const { return m_count; }
    // The chevron's angle as drawn now, in degrees: 90 open, 0 collapsed once settled.
    [[nodiscard]] double chevronAngle() const { return m_turn.value(); }

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_count;
    Spring m_turn{kTurn, 90};
    bool m_shown = false;
    FrameClock::Animation m_turning;
};

// The mixer band of the logging screen: one control per input channel of the device, as tall
// strips below nine channels, a two-column grid of rows from nine, or a line of small meters
// while collapsed; the scan's progress; the agent's pin over the strips. Every control goes to
// the engine through the mixer model, and everything shown comes back from it: the view keeps
// no channel state.
//
// A level update touches only the meters, each repainting its own rectangle.
class MixerView : public QWidget {
    Q_OBJECT
public:
    static constexpr QMargins kMargins{16, 10, 16, 10};
    static constexpr int kSpacing = 8;
    static constexpr int kStripSpacing = 6;
    static constexpr int kGridColumnSpacing = 6;
    static constexpr int kGridRowSpacing = 4;
    static constexpr int kGridMaximumHeight = 230;
    static constexpr int kCollapsedSpacing = 6;
    static constexpr int kProgressWidth = 120;
    // In a column too short for the whole band, the strips or the grid scroll in a pane down to
    // this height, which still shows a strip's meter and fader whole; shorter, the column scrolls.
    static constexpr int kLeastPaneHeight = MixerModel::kTrackHeight + 2;

    // `frames` null: the application's frame clock.
    explicit MixerView(MixerModel& mixer, QWidget* parent = nullptr, FrameClock* frames = nullptr);
    ~MixerView() override;

    [[nodiscard]] MixerModel& mixer() { return m_mixer; }
    [[nodiscard]] MixerHeaderButton* headerButton() const { return m_header; }
    [[nodiscard]] QWidget* scanLine() const { return m_scanLine; }
    [[nodiscard]] QProgressBar* scanProgress() const { return m_progress; }
    [[nodiscard]] AgentPinBand* pinBand() const { return m_pinBand; }
    // The layout on screen now, and its per-channel widgets in channel order.
    [[nodiscard]] MixerModel::Layout shownLayout() const { return m_shown; }
    [[nodiscard]] const std::vector<ChannelStrip*>& strips() const { return m_strips; }
    [[nodiscard]] const std::vector<CompactChannelRow*>& rows() const { return m_rows; }
    [[nodiscard]] const std::vector<CollapsedChannel*>& collapsedChannels() const { return m_collapsed; }
    // The compact grid's columns now: two, or one where two rows would not fit side by side.
    [[nodiscard]] int gridColumns() const { return m_gridColumns; }
    [[nodiscard]] MeterMotion& meterMotion() { return m_motion; }
    // The scan line fading in or out, and the strips coming in from the top as the band shows them.
    [[nodiscard]] Transition* scanLineFade() const { return m_scanFade; }
    // The strips coming in as the band opens, or leaving as it closes.
    [[nodiscard]] Transition* stripsEntering() const { return m_stripsIn; }
    [[nodiscard]] QWidget* stripsPage() const { return m_stripsPage; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class BandScroll;

    void build();
    void sync();
    void syncStrips();
    void syncRows();
    void syncCollapsed();
    void placeGrid();
    void showLevels();
    void wire(ChannelControl* control);
    void showScanLineStep();
    void showStripsStep();

    MixerModel& m_mixer;
    FrameClock& m_frames;
    MeterMotion m_motion;
    MixerModel::Layout m_shown = MixerModel::Layout::Strips;
    int m_gridColumns = 2;

    MixerHeaderButton* m_header = nullptr;
    QWidget* m_scanLine = nullptr;
    QProgressBar* m_progress = nullptr;
    QLabel* m_scanText = nullptr;
    QWidget* m_stripsPage = nullptr;
    AgentPinBand* m_pinBand = nullptr;
    BandScroll* m_stripScroll = nullptr;
    QWidget* m_stripRow = nullptr;
    BandScroll* m_gridScroll = nullptr;
    QWidget* m_grid = nullptr;
    QScrollArea* m_collapsedScroll = nullptr;
    QWidget* m_collapsedRow = nullptr;
    std::vector<ChannelStrip*> m_strips;
    std::vector<CompactChannelRow*> m_rows;
    std::vector<CollapsedChannel*> m_collapsed;
    Transition* m_scanFade = nullptr;
    Transition* m_stripsIn = nullptr;
    bool m_synced = false;
};
