#pragma once

#include "platform/Clock.h"
#include "platform/Date.h"
#include "timecode/CameraTimecode.h"

#include <QList>
#include <QLocale>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class LoggingScreenModel;

// One row of the frame-rate pickers: the label shown and the format it picks.
struct FrameRateRow {
    QString label;
    CameraTimecode::Format format;

    friend bool operator==(const FrameRateRow&, const FrameRateRow&) = default;
};

// The line beside the timecode while a phone scan waits or has failed.
struct ScanRowState {
    enum class Kind { Hidden, Waiting, Failed };
    Kind kind = Kind::Hidden;
    QString text;
    // The link after the text: "Cancel" while waiting, "Try again" after a failure.
    QString action;

    friend bool operator==(const ScanRowState&, const ScanRowState&) = default;
};

// What the timecode panel shows besides the running digits, as plain values.
struct TimecodePanelState {
    // The clock follows the camera: ink digits, a green source line, "Rescan", and the way back
    // to the machine clock in the menu. Otherwise muted digits, amber, and a coral pill outline.
    bool synced = false;
    QString sourceLine;
    QString formatLabel;
    QString syncPillTitle;
    bool syncPillActive = true;
    // The frame-rate row the clock's format is; none for a stored format the menu leaves out
    // (48 fps, 59.94 non-drop, 60 fps).
    std::optional<int> formatRow;
    ScanRowState scan;
    // The header is narrow: pills show their symbols alone.
    bool compact = false;

    friend bool operator==(const TimecodePanelState&, const TimecodePanelState&) = default;
};

// The timecode panel without widgets: the shared camera clock as the panel words it, and the
// panel's commands. The running digits are read per frame through `frameAt` and `timecodeAt`;
// everything else is published in `state()` when the clock publishes.
//
// Main thread only.
class TimecodePanelModel : public QObject {
    Q_OBJECT
public:
    // The clock floors a frame position after lifting it by this much, so a moment a hair below
    // a frame boundary counts as on it; frameAt must change exactly where the text does.
    static constexpr double kFrameLift = 0.0001;

    // On the clock alone: the present comes from the clock's own time source, and "Type the
    // camera's timecode…" runs `typeTimecode` (nothing when empty).
    explicit TimecodePanelModel(CameraTimecode& camera, std::function<void()> typeTimecode = {},
                                QObject* parent = nullptr);
    // On the logging screen: its camera clock, its typed-timecode alert and its compact header.
    explicit TimecodePanelModel(LoggingScreenModel& screen, QObject* parent = nullptr);

    [[nodiscard]] const TimecodePanelState& state() const { return m_state; }

    // The frame rates the menus offer, in menu order.
    [[nodiscard]] static const QList<FrameRateRow>& frameRateRows();
    // The source line for `source`; the time of a sync in `locale`'s short style, local time.
    [[nodiscard]] static QString sourceText(const CameraTimecode::Source& source, const QLocale& locale = QLocale());
    [[nodiscard]] static ScanRowState scanRow(const CameraTimecode::ScanState& scan);

    // --- the running digits ---
    [[nodiscard]] Date now() const { return m_camera.timeSource().now(); }
    [[nodiscard]] QString timecodeAt(Date date) const { return m_camera.timecodeAt(date); }
    // The camera frame shown at `date`, as an unwrapped count: it changes exactly when the
    // timecode text does, and costs no text.
    [[nodiscard]] double frameAt(Date date) const;
    // Seconds between two camera frames at the clock's format.
    [[nodiscard]] double frameSeconds() const;

    // --- commands ---
    // Row `row` of frameRateRows(); a row out of range does nothing.
    void chooseFrameRate(int row);
    // Also "Try again" after a failed scan.
    void startScan();
    void cancelScan();
    void beginTypedTimecode();
    void useMacClock();
    void setCompact(bool compact);

Q_SIGNALS:
    void stateChanged();

private:
    void refresh();

    CameraTimecode& m_camera;
    std::function<void()> m_typeTimecode;
    TimecodePanelState m_state;
};
