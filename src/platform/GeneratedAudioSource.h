#pragma once

#include "platform/AudioCapture.h"
#include "platform/Clock.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;
class QThread;

// A capture source that plays generated audio (tests, the demo) through the same chunker and
// the same capture-thread delivery as a real device. It slices the audio like a device would
// (slice sizes drawn from a range, seeded), either paced in real time or as fast as possible.
class GeneratedAudioSource final : public AudioCaptureSource {
public:
    // Writes up to `frames` interleaved frames of `channels` channels into `out` and gives how
    // many it wrote; fewer than asked ends the audio. Called on the capture thread.
    using Generator = std::function<qsizetype(float* out, qsizetype frames, int channels)>;

    struct Options {
        double sampleRate = 48000.0;
        int channelCount = 1;
        // Pace slices at the sample rate; false delivers as fast as the consumer takes them.
        bool realTime = true;
        // The time real-time slices are paced by (Clock::system() when null). On a manual clock
        // the audio moves on as the test moves the clock.
        Clock* clock = nullptr;
        // Each slice has a size drawn uniformly from this range (both at least 1).
        int minSliceFrames = 512;
        int maxSliceFrames = 512;
        quint32 seed = 1;
        // A played buffer starts again at its beginning when it ends, instead of finishing.
        bool loop = false;
        // `open` fails with this text, as a device the system refused would.
        QString refuseOpen;
        // `start` fails with this text.
        QString refuseStart;
    };

    // Plays `interleaved` (frames × options.channelCount samples; a trailing partial frame is
    // ignored).
    GeneratedAudioSource(Options options, std::vector<float> interleaved);
    // Plays whatever `generator` writes.
    GeneratedAudioSource(Options options, Generator generator);
    ~GeneratedAudioSource() override;

    // Ignores `uid`: any device opens unless `refuseOpen` is set.
    [[nodiscard]] CaptureOpenResult open(const std::optional<QString>& uid) override;
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] std::optional<CaptureFormat> format() const override;
    [[nodiscard]] QString errorString() const override;

    // Main thread, once the audio ran out (not when looping, not after `stop`). Every full buffer
    // has been delivered by then; the frames of a last partial buffer are dropped, as a device's
    // would be at a stop.
    std::function<void()> onFinished;

    // Any thread: behaves like the device being unplugged: delivery stops and `onLost` is
    // called on the main thread with `reason`.
    void loseDevice(const QString& reason);

    // Frames handed to the chunker so far (capture thread writes, any thread reads).
    [[nodiscard]] qint64 framesGenerated() const { return m_framesGenerated.load(); }
    // Any thread, for a real-time source: every slice due by the clock's present time has been
    // delivered (or the audio ended). A test moving a manual clock waits for this before it lets
    // timers see the audio.
    [[nodiscard]] bool caughtUp() const;

private:
    void run();
    void deliver();
    void postToMain(std::function<void()> call);

    Options m_options;
    // Makes the generator afresh for each start (a played buffer restarts at its beginning).
    std::function<Generator()> m_makeGenerator;
    Generator m_generator;
    std::unique_ptr<QObject> m_mainContext;
    std::unique_ptr<QThread> m_thread;
    CaptureChunker m_chunker;
    std::optional<CaptureFormat> m_format;
    QString m_error;
    bool m_started = false;
    std::mutex m_wakeMutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<qint64> m_framesGenerated{0};
    // The clock's monotonic time at which the next slice is due, in nanoseconds; the most
    // negative value until the capture thread knows it, the largest once it ended.
    std::atomic<qint64> m_nextDueNs;
    // Set before the capture thread starts, read by it.
    Clock::Duration m_startedAt{};
};
