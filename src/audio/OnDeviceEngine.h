#pragma once

#include "platform/Clock.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <utility>
#include <vector>

class Resampler16k;
namespace Pocketsphinx {
class Decoder;
}

// One recogniser result, in samples of the 16 kHz audio the recogniser was fed.
struct RecognisedResult {
    QString text;
    bool isFinal = false;
    qint64 startSample = 0;
    qint64 endSample = 0;
};

// The speech recogniser behind an on-device stream: fed 16 kHz signed 16-bit mono, it reports
// volatile results that replace each other and one final result per utterance. Used by one
// thread at a time.
class SpeechRecogniser {
public:
    virtual ~SpeechRecogniser() = default;
    // Decodes the next samples; appends any results to `out`.
    virtual void feed(std::span<const qint16> samples, QList<RecognisedResult>& out) = 0;
    // End of the audio: the utterance in progress, if any, is made final.
    virtual void finish(QList<RecognisedResult>& out) = 0;
    // No later result starts before this sample (0: any may).
    [[nodiscard]] virtual qint64 earliestPending() const { return 0; }
};

// Makes the recogniser on the decoding thread; on failure gives nullptr and sets `error` to the
// one-sentence text to show (without the channel name).
using RecogniserFactory = std::function<std::unique_ptr<SpeechRecogniser>(QString& error)>;

// The installed on-device speech models.
namespace OnDeviceModel {
// Where Debian installs the English acoustic model, language model and dictionary.
inline constexpr const char* kDefaultRoot = "/usr/share/pocketsphinx/model";
// Shown when no model serves the user's language.
[[nodiscard]] QString unavailableMessage();
// The model folder for `locale` under `root`: a locale without a language, or one without a
// model, falls back to British English; every English locale uses the "en-us" model. Nothing
// when that model is not installed.
[[nodiscard]] std::optional<QString> folderFor(const QLocale& locale,
                                               const QString& root = QString::fromLatin1(kDefaultRoot));
// In continuous sound the decoder's silence detection never ends an utterance: past `longSeconds`
// of speech one ends at the next short pause, and at `maxSeconds` in any case.
struct UtteranceLimits {
    double longSeconds = 15.0;
    double maxSeconds = 30.0;
};
// True when a model serves the current locale.
[[nodiscard]] bool isAvailable(const QString& root = QString::fromLatin1(kDefaultRoot));
// The pocketsphinx recogniser for the current locale under `root`.
[[nodiscard]] RecogniserFactory pocketsphinxFactory(const QString& root = QString::fromLatin1(kDefaultRoot),
                                                    UtteranceLimits limits = {});
} // namespace OnDeviceModel

// The shared pocketsphinx decoder on one model folder (speech/PocketsphinxDecoder.h): utterances
// end at silence, a long one at a short pause, any one at a hard limit; a volatile guess about
// twice a second while someone speaks. Texts are capped as the service's are.
class PocketsphinxRecogniser final : public SpeechRecogniser {
public:
    [[nodiscard]] static std::unique_ptr<PocketsphinxRecogniser> create(const QString& modelFolder, QString& problem,
                                                                        OnDeviceModel::UtteranceLimits limits = {});
    ~PocketsphinxRecogniser() override;

    void feed(std::span<const qint16> samples, QList<RecognisedResult>& out) override;
    void finish(QList<RecognisedResult>& out) override;
    [[nodiscard]] qint64 earliestPending() const override;

private:
    explicit PocketsphinxRecogniser(std::unique_ptr<Pocketsphinx::Decoder> decoder);

    std::unique_ptr<Pocketsphinx::Decoder> m_decoder;
};

// The decoding behind one on-device stream. The capture thread converts each buffer to 16 kHz
// int16 and queues it (bounded: a buffer that does not fit is dropped and its time is kept, so
// later results stay in place); a worker thread of its own makes the recogniser, decodes and
// posts the results to the main thread.
//
// Result times count from the first buffer the engine accepted; `origin` of every result is the
// time from the engine's making to that buffer.
class OnDeviceEngine {
public:
    // Audio the queue holds while the decoder is busy (or still loading its model).
    static constexpr double kMaxQueuedSeconds = 10.0;

    struct Result {
        QString text;
        bool isFinal = false;
        // Seconds since the first accepted buffer.
        double start = 0.0;
        double end = 0.0;
        // Seconds from the engine's making to the first accepted buffer.
        double origin = 0.0;
    };
    // Both called on the main thread; they may outlive the engine.
    struct Callbacks {
        std::function<void(const Result&)> onResult;
        std::function<void(const QString&)> onError;
    };

    // `clock` measures the time to the first accepted buffer (Clock::system() when null).
    OnDeviceEngine(RecogniserFactory factory, Callbacks callbacks, Clock* clock = nullptr);
    // Stops decoding at once (audio still queued is not decoded) and waits for the worker.
    ~OnDeviceEngine();
    OnDeviceEngine(const OnDeviceEngine&) = delete;
    OnDeviceEngine& operator=(const OnDeviceEngine&) = delete;

    // Capture thread: converts and queues one buffer; never blocks on the decoder.
    void feed(std::span<const float> mono, double sampleRate);
    // End of input: audio fed later is dropped; what is queued is still decoded and the last
    // utterance is made final.
    void finish();

    // Lets the engine go without waiting for it (a model load takes a while): decoding stops,
    // and the worker is waited for and freed on a thread of its own.
    static void release(std::unique_ptr<OnDeviceEngine> engine);

    // 16 kHz samples waiting for the decoder.
    [[nodiscard]] qint64 queuedSamples() const;
    // 16 kHz samples dropped because the queue was full.
    [[nodiscard]] qint64 droppedSamples() const;
    // Gaps the worker still keeps to place results (older ones are merged once no result can
    // reach back to them).
    [[nodiscard]] size_t keptGaps() const { return m_keptGaps.load(); }
    // True once the worker has decoded everything and ended (finished, failed or stopped).
    [[nodiscard]] bool isDone() const { return m_done.load(); }

private:
    void run(RecogniserFactory factory);
    void stopSoon();
    void post(Result result) const;
    void postError(const QString& message) const;
    [[nodiscard]] bool enqueue(std::span<const qint16> samples);
    void deliver(const QList<RecognisedResult>& results, const std::vector<std::pair<qint64, qint64>>& gaps,
                 double origin) const;

    const Callbacks m_callbacks;
    Clock& m_clock;
    const Clock::Duration m_madeAt;

    // Capture thread only.
    std::unique_ptr<Resampler16k> m_resampler;
    double m_rate = 0.0;
    bool m_formatReported = false;
    bool m_accepted = false;

    std::atomic<bool> m_closed{false};
    std::atomic<bool> m_done{false};
    std::atomic<size_t> m_keptGaps{0};

    // Shared between the capture thread and the worker, under m_mutex.
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<qint16> m_ring;
    size_t m_head = 0;
    size_t m_size = 0;
    qint64 m_queuedTotal = 0; // samples ever queued
    qint64 m_pendingGap = 0;  // samples dropped since the last queued buffer
    qint64 m_droppedTotal = 0;
    std::vector<std::pair<qint64, qint64>> m_gaps; // (queued position, samples missing before it)
    double m_origin = 0.0;
    bool m_finished = false;
    bool m_abort = false;

    std::thread m_thread;
};
