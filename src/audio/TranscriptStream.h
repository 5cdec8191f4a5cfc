#pragma once

#include "model/DisplaySegment.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <span>

// One channel's transcriber, as the engine drives it: set the properties, start, append audio
// from the capture thread, stop. Implemented by the cloud stream (the service's socket) and the
// on-device stream.
//
// Threads: everything but `append` and `gain` runs on the main thread, and the callbacks are
// called there. `append` runs on the capture thread and must not block; it may still be called
// once or twice after `stop` (the engine holds streams by shared pointer so that is safe) and
// must then do nothing.
class TranscriptStream {
public:
    explicit TranscriptStream(int channel) : m_channel(channel) {}
    virtual ~TranscriptStream() = default;
    TranscriptStream(const TranscriptStream&) = delete;
    TranscriptStream& operator=(const TranscriptStream&) = delete;

    // The channel index transcribed; -1 is the whole input of a device without channel settings.
    [[nodiscard]] int channel() const { return m_channel; }
    // True for the on-device stream.
    [[nodiscard]] virtual bool onDevice() const = 0;

    // The channel's display name: the speaker of every line and the prefix of error texts.
    std::optional<QString> label;
    // The shoot's token, sent when the stream opens.
    std::optional<QString> shootToken;
    // Main thread, with the service's refusal code ("shoot_ended", "shoot_required", ...).
    std::function<void(const QString& code)> onRefused;
    // Main thread, after every result, with the latest text.
    std::function<void(const QString& text)> onUpdate;
    // Main thread, with a one-sentence error text.
    std::function<void(const QString& text)> onError;

    // Linear gain of the channel: set on the main thread, read by the capture thread for every
    // buffer before `append`.
    void setGain(float gain) { m_gain.store(gain, std::memory_order_relaxed); }
    [[nodiscard]] float gain() const { return m_gain.load(std::memory_order_relaxed); }

    // The stream's display lines, oldest first.
    [[nodiscard]] virtual const QList<DisplaySegment>& display() const = 0;
    // The first display line the last change touched (display().size() when none did): lines
    // before it are as they were, so the engine's merge may start there. 0 = "assume all".
    [[nodiscard]] virtual qsizetype displayChangedFrom() const { return 0; }
    // End of the stream's last word, in seconds since the engine's start.
    [[nodiscard]] virtual std::optional<double> lastWordEnd() const = 0;
    // Words whose end (seconds since the engine's start) is at or after `cutoff`.
    [[nodiscard]] virtual QStringList wordsSince(double cutoff) const = 0;

    virtual void start() = 0;
    virtual void stop() = 0;
    // Capture thread: one mono buffer of the channel at `sampleRate`, already at the channel's
    // gain. The samples are only valid during the call.
    virtual void append(std::span<const float> mono, double sampleRate) = 0;

private:
    const int m_channel;
    std::atomic<float> m_gain{1.0f};
};
