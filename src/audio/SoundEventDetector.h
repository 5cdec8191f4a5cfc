#pragma once

#include "audio/SoundClassifier.h"
#include "platform/Clock.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;
class QThread;

// Listens to the whole captured input and raises a sound-cue event when it hears laughter,
// applause, cheering, clapping or a crowd.
//
// Threads: `start`, `stop` and the destructor on the main thread; `feed` on the capture thread.
// Neither ever waits for the analysis: the analysis runs on the detector's own serial thread
// ("io.pindle.soundanalysis"), which takes commands and buffers in the order they were given.
// The capture thread downmixes each buffer and hands it over through a bounded queue; when the
// analysis falls behind, new buffers are dropped rather than delaying capture. Events reach the
// main thread by queued call; those still queued when the detector is destroyed are dropped.
// Destroy the detector after its feeder has stopped.
class SoundEventDetector {
public:
    // (cue, confidence), main thread.
    using EventHandler = std::function<void(const QString& cue, double confidence)>;

    static constexpr double kMinConfidence = 0.5;
    static constexpr double kDebounce = 4.0;
    // Buffers waiting for the analysis; a full queue drops what comes next.
    static constexpr int kQueueSlots = 32;
    static constexpr int kSlotFrames = 4096;

    // The cue words in the order a label is matched against them.
    [[nodiscard]] static const QStringList& cueWords();
    // The first cue word contained in `identifier` (case-insensitive), or "" when none.
    [[nodiscard]] static QString cueFor(const QString& identifier);

    // Without a classifier the detector uses FeatureSoundClassifier; without a clock,
    // Clock::system(). The debounce reads the clock's date on the analysis thread.
    explicit SoundEventDetector(std::unique_ptr<SoundClassifier> classifier = nullptr, Clock* clock = nullptr);
    ~SoundEventDetector();
    SoundEventDetector(const SoundEventDetector&) = delete;
    SoundEventDetector& operator=(const SoundEventDetector&) = delete;

    EventHandler onEvent;

    // Listens to input at `sampleRate` with `channels` interleaved channels from the next fed
    // buffer on, forgetting the debounce memory. A format the classifier cannot take leaves the
    // detector idle.
    void start(double sampleRate, int channels);
    // Idle again; later buffers are ignored until the next start.
    void stop();
    // Capture thread: one buffer of interleaved frames. Never waits and never allocates.
    void feed(const float* interleaved, int frames, int channels, double sampleRate);

    // Waits until everything handed over so far has been analysed; false on timeout.
    [[nodiscard]] bool waitUntilIdle(int timeoutMs);
    // Buffers dropped because the queue was full, since construction.
    [[nodiscard]] long long droppedBuffers() const;

private:
    enum class Command { Start, Stop, Quit };
    struct Control {
        Command command;
        double sampleRate;
        int channels;
        // Buffers handed over before this command; they are analysed first.
        long long after;
    };
    struct Slot {
        std::vector<float> mono;
        int frames = 0;
        double sampleRate = 0.0;
    };

    void run();
    void apply(const Control& control);
    void analyse(const Slot& slot);
    void handleResult(const QList<SoundClassification>& classifications);

    std::unique_ptr<SoundClassifier> m_classifier;
    Clock& m_clock;
    std::unique_ptr<QObject> m_mainContext;
    QThread* m_thread = nullptr;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    // --- under m_lock ---
    std::deque<Control> m_controls;
    std::vector<Slot> m_slots;
    int m_head = 0;  // next slot to analyse
    int m_count = 0; // slots waiting
    long long m_handed = 0;
    long long m_dropped = 0;
    bool m_busy = false;

    // --- capture thread only ---
    std::vector<float> m_downmix;

    // --- analysis thread only ---
    bool m_listening = false;
    double m_sampleRate = 0.0;
    long long m_framePos = 0;
    std::vector<float> m_window;
    size_t m_windowFill = 0;
    size_t m_hop = 0;
    QHash<QString, double> m_lastFired;
};
