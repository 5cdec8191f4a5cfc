#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

// The format a capture delivers: interleaved Float32 at the device's rate, all its channels.
struct CaptureFormat {
    double sampleRate = 0.0;
    int channelCount = 0;

    friend bool operator==(const CaptureFormat&, const CaptureFormat&) = default;
};

// What `AudioCaptureSource::open` gives: a format when the device could be opened, else a
// one-sentence reason (an open that fails is how "refused" shows on this platform).
struct CaptureOpenResult {
    std::optional<CaptureFormat> format;
    QString error;

    [[nodiscard]] bool ok() const { return format.has_value(); }
};

// Cuts slices of any size into buffers of exactly `kFrames` frames. A partial buffer waits for
// the next slice; nothing is dropped, however large a slice is. The buffer is allocated once
// per `reset`, never per slice. Used on one thread at a time (the capture thread).
class CaptureChunker {
public:
    static constexpr int kFrames = 4096;

    // Called with every full buffer; `interleaved` holds kFrames × channels samples and is
    // valid only during the call.
    using Handler = std::function<void(const float* interleaved, int frames, int channels, double sampleRate)>;

    // Forgets any partial buffer and sizes the buffer for `channels` (1...kMaxChannels).
    void reset(int channels, double sampleRate);
    // Appends `frames` interleaved frames; calls `handler` for each buffer completed.
    void push(const float* interleaved, qsizetype frames, const Handler& handler);
    // Drops the partial buffer (a stop); the allocation is kept.
    void clear() { m_filled = 0; }

    [[nodiscard]] int channels() const { return m_channels; }
    [[nodiscard]] int pendingFrames() const { return m_filled; }

private:
    std::vector<float> m_buffer;
    int m_channels = 0;
    int m_filled = 0;
    double m_rate = 0.0;
};

// One capture of one input device. Its buffers arrive on the source's own capture thread (the
// serial capture queue), in order, each exactly CaptureChunker::kFrames frames of interleaved
// Float32 at the opened format.
//
// Use from the main thread: set `onBuffer` (and `onLost`), `open`, `start`, later `stop`. The
// callbacks must not be changed while started. Destroying a source stops it.
class AudioCaptureSource {
public:
    // Largest channel count any source delivers (the sound server's limit).
    static constexpr int kMaxChannels = 32;

    AudioCaptureSource() = default;
    virtual ~AudioCaptureSource() = default;
    AudioCaptureSource(const AudioCaptureSource&) = delete;
    AudioCaptureSource& operator=(const AudioCaptureSource&) = delete;

    // Prepares capture of the device with `uid` (nullopt: the system's default input) without
    // starting it. Opening again replaces the earlier device.
    [[nodiscard]] virtual CaptureOpenResult open(const std::optional<QString>& uid) = 0;
    // Starts delivery; false (with `errorString`) when the device would not start.
    [[nodiscard]] virtual bool start() = 0;
    // Stops delivery and waits for the capture thread to finish the buffer in hand: once it
    // returns no `onBuffer` call runs. A partial buffer is dropped. Safe to call twice.
    virtual void stop() = 0;
    // The format of the last successful `open`.
    [[nodiscard]] virtual std::optional<CaptureFormat> format() const = 0;
    // Why the last `open` or `start` failed.
    [[nodiscard]] virtual QString errorString() const = 0;

    // Capture thread: every full buffer.
    CaptureChunker::Handler onBuffer;
    // Main thread, from the event loop: the device went away or failed while started
    // (unplugged, the sound server stopped it). Delivery has already stopped; `reason` is one
    // sentence naming the device. Not called after `stop`. The handler may destroy the source.
    std::function<void(const QString& reason)> onLost;
};
