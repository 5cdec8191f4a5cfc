#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>
#include <mutex>
#include <span>
#include <vector>

// The samples on their way from the capture thread to the headphones: mono Float32, at most
// `capacity` frames. Pushing more than fits drops the oldest, so a stalled or slow output can
// neither delay what is heard by more than the capacity nor make memory grow. The storage is
// allocated once, at construction. Thread-safe: the capture thread pushes, the output pulls.
class MonitorQueue {
public:
    // The longest the monitor lags behind the input.
    static constexpr double kMaxSeconds = 0.25;

    explicit MonitorQueue(qsizetype capacity);

    // Frames for kMaxSeconds at `sampleRate`; at least 1, and bounded for absurd rates.
    [[nodiscard]] static qsizetype capacityFor(double sampleRate);

    // Capture thread: appends `samples`, dropping the oldest samples that no longer fit.
    void push(std::span<const float> samples);
    // Output side: moves up to `maxFrames` of the oldest samples to `out` (raw bytes, any
    // alignment) and gives how many it moved.
    qsizetype pull(char* out, qsizetype maxFrames);

    [[nodiscard]] qsizetype capacity() const { return static_cast<qsizetype>(m_ring.size()); }
    [[nodiscard]] qsizetype size() const;
    // Samples dropped because the output did not keep up.
    [[nodiscard]] qint64 dropped() const;

private:
    mutable std::mutex m_mutex;
    std::vector<float> m_ring;
    qsizetype m_head = 0;
    qsizetype m_size = 0;
    qint64 m_dropped = 0;
};

// Plays one mono channel to an output. Main thread only.
class MonitorSink {
public:
    MonitorSink() = default;
    virtual ~MonitorSink() = default;
    MonitorSink(const MonitorSink&) = delete;
    MonitorSink& operator=(const MonitorSink&) = delete;

    // Starts playing what arrives in `queue` (mono Float32 at `sampleRate`); false with
    // `errorString` when the output cannot play.
    [[nodiscard]] virtual bool start(std::shared_ptr<MonitorQueue> queue, double sampleRate) = 0;
    // Stops playing and lets go of the queue. Safe to call twice.
    virtual void stop() = 0;
    // One sentence: why the last `start` failed.
    [[nodiscard]] virtual QString errorString() const = 0;
};

// The system's default output through QAudioSink. When the queue runs dry it plays silence
// rather than letting the output stall and build up delay.
class DeviceMonitorSink final : public MonitorSink {
public:
    DeviceMonitorSink();
    ~DeviceMonitorSink() override;

    [[nodiscard]] bool start(std::shared_ptr<MonitorQueue> queue, double sampleRate) override;
    void stop() override;
    [[nodiscard]] QString errorString() const override { return m_error; }

private:
    struct Player;
    std::unique_ptr<Player> m_player;
    QString m_error;
};
