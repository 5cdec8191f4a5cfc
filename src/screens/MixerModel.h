#pragma once

#include "agent/ChannelAgent.h"
#include "audio/ChannelConfig.h"
#include "audio/DesktopTranscriber.h"
#include "audio/ScanKind.h"
#include "platform/Clock.h"
#include "platform/Defaults.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

// The mixer band without widgets: which of its three layouts shows, what each channel's strip or
// row shows, where the agent's pin stands, and the per-channel actions, each of which goes
// straight to the engine. It holds no channel state: every value is read from the engine and the
// agent when asked, so a view drawn from it always shows what the engine does.
//
// Main thread only. The expanded flag lives in the user defaults.
class MixerModel : public QObject {
    Q_OBJECT
public:
    static inline const QString kOpenKey = QStringLiteral("pindle_logger_mixer_open");
    // From this many channels the strips give way to the two-column grid of rows.
    static constexpr int kCompactFrom = 9;
    // The pitch of one strip column, and the strips' meter and fader height.
    static constexpr double kStripStride = 74;
    static constexpr int kTrackHeight = 104;
    // The pin's size, and where its left edge stands in a strip column.
    static constexpr double kPinSize = 14;
    static constexpr double kPinInset = 34 - 7;
    // A fader being dragged writes the engine (which stores the channel settings) at most this
    // often; the last value always lands.
    static constexpr std::chrono::milliseconds kFaderInterval{50};

    enum class Layout { Strips, Compact, Collapsed };

    // The header's caption, drawn before the live count.
    static inline const QString kCaption = QStringLiteral("CHANNELS");

    // What the band's header draws, and how assistive tools read it: its name is what a click
    // does, its description the caption and count it draws.
    struct Header {
        bool open = true;
        // "<live> of <total> live".
        QString count;
        // "Collapse channels" while open, "Expand channels" while collapsed.
        QString name;
        // "CHANNELS, <live> of <total> live".
        QString description;
    };

    // What one strip or compact row shows.
    struct Channel {
        ChannelConfig config;
        std::optional<ScanKind> scan;
        // This channel plays in the headphones.
        bool monitoring = false;
        std::optional<ChannelAgent::Brief> brief;
        // The running scan listens to this channel (strips draw it outlined).
        bool scanningThis = false;
        // While scanning the scan's channel, else the agent's (rows draw it outlined).
        bool focused = false;

        friend bool operator==(const Channel&, const Channel&) = default;
    };

    // `agent` may be null (no pin band, no briefs, no agent focus).
    MixerModel(DesktopTranscriber& transcriber, ChannelAgent* agent, Defaults& defaults, Clock& clock,
               QObject* parent = nullptr);
    ~MixerModel() override;

    [[nodiscard]] DesktopTranscriber& transcriber() { return m_transcriber; }

    // --- the band ---
    [[nodiscard]] bool isOpen() const;
    void setOpen(bool open);
    void toggleOpen() { setOpen(!isOpen()); }
    [[nodiscard]] Layout layout() const;
    [[nodiscard]] bool showsScanLine() const;
    [[nodiscard]] double scanProgress() const { return m_transcriber.scanProgress(); }
    // "<live> of <total> live".
    [[nodiscard]] QString countText() const;
    [[nodiscard]] QString headerAccessibleName() const;
    [[nodiscard]] Header header() const;

    // --- channels, in the engine's order ---
    [[nodiscard]] int channelCount() const { return static_cast<int>(m_transcriber.channels().size()); }
    [[nodiscard]] QList<Channel> channels() const;
    [[nodiscard]] Channel channel(int position) const;
    // The meter level of the channel with this index: 0 when the engine's level list has no such
    // entry (a device that changed under a running capture).
    [[nodiscard]] float level(int index) const;
    // The collapsed line's level: 0 as well for a muted channel.
    [[nodiscard]] float collapsedLevel(const ChannelConfig& config) const;

    // --- the agent's pin over the strips ---
    [[nodiscard]] bool showsPinBand() const;
    // The position in the channel list of the channel the scan (while scanning) or the agent is
    // on; none when there is no such channel.
    [[nodiscard]] std::optional<int> pinPosition() const;
    [[nodiscard]] double pinOpacity() const;
    // The pin's left edge over strip `position` (fractional while it slides) in a band `width`
    // wide: inside the band, never left of 0.
    [[nodiscard]] static double pinX(double position, double width, double stride = kStripStride);

    // --- per-channel actions (by channel index) ---
    void toggleMute(int index);
    void toggleWatch(int index);
    void toggleAgent(int index);
    // Headphones: stops monitoring the channel already monitored, else moves monitoring here.
    void toggleListen(int index);
    // While dragging: the engine gets the value now or within kFaderInterval.
    void moveFader(int index, double value);
    // The drag ended: a value still waiting lands now.
    void finishFader(int index);
    void rename(int index);

    // The verdict is worth transcribing (speech or quiet).
    [[nodiscard]] static bool worthTranscribing(const ScanKind& scan);

Q_SIGNALS:
    // Anything the band shows but the levels: channels, verdicts, scan, monitoring, agent.
    void changed();
    void levelsChanged();
    void openChanged();
    // The pin's target or opacity.
    void pinChanged();
    void renameRequested(int index);

private:
    struct PendingFader;
    [[nodiscard]] std::optional<ChannelConfig> config(int index) const;
    void writeFader(int index);

    DesktopTranscriber& m_transcriber;
    QPointer<ChannelAgent> m_agent;
    Defaults& m_defaults;
    Clock& m_clock;
    QHash<int, std::shared_ptr<PendingFader>> m_faders;
};
