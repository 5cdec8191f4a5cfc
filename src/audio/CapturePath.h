#pragma once

#include "audio/TranscriptStream.h"
#include "platform/Clock.h"

#include <QHash>
#include <QList>
#include <QMutex>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QObject;

// The dB and zero-crossing-rate series of every device channel gathered while a scan runs: one
// value per capture buffer, `db[channel][buffer]`.
struct ScanStatistics {
    QList<QList<float>> db;
    QList<QList<float>> zcr;
};

// The per-buffer work of the capture thread: metering, scan statistics, the monitor and
// sound-cue hooks, and a mono copy of each stream's channel at its gain.
//
// Threads: `handleBuffer` runs on the capture thread, one buffer at a time; everything else on
// the main thread. The stream table, the monitor, the hooks, the meters' running values and the
// scan series share one short lock; streams are appended to, and hooks called, outside it.
// Streams and hooks taken out of the path are only ever released on the main thread, even when
// the capture thread held the last reference, so a stream's destructor never runs on the
// capture thread. Destroy the path on the main thread after its capture source has stopped.
//
// Metering per channel and buffer:
//   mean square ms = sum of squares / frames; dB = 10·log10(max(ms, 1e-12));
//   level = clamp((dB + 60) / 60, 0, 1);
//   zcr = crossings / frames, a crossing being a change of sign class (x >= 0 or x < 0) from
//   the previous sample, the sample before the first counting as non-negative.
class CapturePath {
public:
    // Main thread: the meter levels, one per device channel, 0...1.
    using LevelsHandler = std::function<void(const QList<float>& levels)>;
    // Capture thread: the monitored channel's mono copy (gain 1), valid only during the call.
    using MonitorHook = std::function<void(std::span<const float> mono, double sampleRate)>;
    // Capture thread: the whole buffer, after the streams had theirs.
    using SoundCueHook = std::function<void(const float* interleaved, int frames, int channels, double sampleRate)>;
    using StreamMap = QHash<int, std::shared_ptr<TranscriptStream>>;

    // Levels are published when strictly more than this many seconds passed since the last.
    static constexpr double kLevelInterval = 0.066;
    // Between publications a channel's level falls by this factor per buffer (peak hold).
    static constexpr float kPeakFall = 0.6f;

    // `onLevels` is called on the main thread by queued call; calls still queued when the path
    // is destroyed are dropped. `clock` paces the publications (Clock::system() when null).
    explicit CapturePath(LevelsHandler onLevels, Clock* clock = nullptr);
    ~CapturePath();
    CapturePath(const CapturePath&) = delete;
    CapturePath& operator=(const CapturePath&) = delete;

    // Meters, peaks and scan statistics are gathered only when enabled (a device with channel
    // settings); a single microphone has none. Off at first.
    void setMeteringEnabled(bool enabled);
    [[nodiscard]] bool meteringEnabled() const;

    // The stream table: at most one stream per channel index. A stream for index -1 receives
    // the whole input: channel 0 of a mono input, else the average of all channels, with no
    // gain applied. Any other index receives its channel at the stream's gain, or nothing when
    // the device has no such channel. Removal never stops a stream: the caller does, after.
    [[nodiscard]] StreamMap streams() const;
    [[nodiscard]] std::shared_ptr<TranscriptStream> stream(int index) const;
    // Puts `stream` under `index` and gives the stream it replaced (nullptr when none).
    [[nodiscard]] std::shared_ptr<TranscriptStream> insertStream(int index, std::shared_ptr<TranscriptStream> stream);
    // Takes the stream of `index` out (nullptr when none).
    [[nodiscard]] std::shared_ptr<TranscriptStream> takeStream(int index);
    // Replaces the whole table and gives the old one.
    [[nodiscard]] StreamMap setStreams(StreamMap streams);
    [[nodiscard]] StreamMap takeAllStreams() { return setStreams({}); }

    // The channel fed to the monitor hook; nullopt (or no hook) monitors nothing.
    void setMonitorIndex(std::optional<int> index);
    [[nodiscard]] std::optional<int> monitorIndex() const;
    void setMonitorHook(MonitorHook hook);
    void setSoundCueHook(SoundCueHook hook);

    // A scan: `setScanActive(true)` empties the series and starts gathering, false stops.
    void setScanActive(bool active);
    [[nodiscard]] bool scanActive() const;
    // Gives the series gathered and empties them.
    [[nodiscard]] ScanStatistics takeScanStatistics();

    // The highest level per channel since armed with `channelCount` zeros; updated only while
    // its count equals the device's channel count.
    void armPeakSinceStart(int channelCount);
    [[nodiscard]] QList<float> peakSinceStart() const;

    // Capture thread: one buffer of `frames` interleaved frames. No allocation once the first
    // buffer of the largest size and channel count went through (and the stream table did not
    // grow), except a level publication at most every kLevelInterval.
    void handleBuffer(const float* interleaved, int frames, int channels, double sampleRate);

private:
    struct Retired {
        std::shared_ptr<void> object;
        quint64 generation;
    };
    struct Entry {
        int index;
        std::shared_ptr<TranscriptStream> stream;
    };
    // Splits the channels in `m_wanted` out of the buffer into their rows of `m_planar`: each
    // metered on the way when `metering`, then put at its gain in `m_gains` except `rawChannel`
    // (the monitored one, which the monitor hears at gain 1 first).
    void splitChannels(const float* interleaved, int frames, int channels, bool metering, int rawChannel);
    void meterPiece(size_t channel, const float* samples, int count);
    void updateMeters(int channels);
    [[nodiscard]] std::span<float> row(int channel, int frames);
    [[nodiscard]] std::span<const float> downmix(const float* interleaved, int frames, int channels);
    // Under m_lock: a change of what the capture thread may hold; the old object is kept until
    // the capture thread can no longer hold it.
    void retireLocked(std::shared_ptr<void> object);
    // Under m_lock: moves the retired objects that are safe to release into `out`.
    void collectLocked(std::vector<std::shared_ptr<void>>& out);
    void collectRetired();

    LevelsHandler m_onLevels;
    Clock& m_clock;
    // Main thread: the receiver of level publications and release requests.
    std::unique_ptr<QObject> m_mainContext;

    mutable QMutex m_lock;
    // --- under m_lock ---
    StreamMap m_streams;
    std::optional<int> m_monitorIndex;
    std::shared_ptr<MonitorHook> m_monitorHook;
    std::shared_ptr<SoundCueHook> m_soundCueHook;
    bool m_metering = false;
    bool m_scanActive = false;
    ScanStatistics m_scan;
    std::vector<float> m_pendingLevels;
    QList<float> m_peakSinceStart;
    std::optional<Clock::Duration> m_lastLevelPush;
    // Bumped on every change of the streams or hooks; `m_heldGeneration` is the value when the
    // capture thread took its snapshot, valid while `m_holding`.
    quint64 m_generation = 0;
    quint64 m_heldGeneration = 0;
    bool m_holding = false;
    bool m_collectPosted = false;
    std::vector<Retired> m_retired;

    // --- capture thread only ---
    std::vector<Entry> m_snapshot;
    std::shared_ptr<MonitorHook> m_heldMonitor;
    std::shared_ptr<SoundCueHook> m_heldSoundCue;
    // The buffer's channels one after another, `frames` samples each; only wanted rows are filled.
    std::vector<float> m_planar;
    std::vector<int> m_wanted;
    // Each channel's gain for this buffer: its stream's, 1 for a channel without one.
    std::vector<float> m_gains;
    std::vector<float> m_mono;
    std::vector<double> m_sumSquares;
    std::vector<int> m_crossings;
    std::vector<unsigned char> m_negative;
    std::vector<float> m_db;
    std::vector<float> m_level;
    std::vector<float> m_zcr;
};
