#pragma once

#include "audio/OnDeviceEngine.h"
#include "audio/TranscriptStream.h"
#include "platform/Date.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>
#include <optional>
#include <span>

// The numbers of the on-device lines of one run, per channel: a channel whose stream is closed
// and opened again within the run goes on counting, so its line ids never repeat. Main thread.
class LocalLineCounters {
public:
    // The number the channel's next final line gets.
    [[nodiscard]] qint64 current(int channel) const { return m_next.value(channel, 0); }
    void advance(int channel) { m_next[channel] = current(channel) + 1; }

private:
    QHash<int, qint64> m_next;
};

// One channel transcribed on this computer (OnDeviceEngine: pocketsphinx), driven by the engine
// exactly like a cloud stream. Volatile results replace each other in one pending line, which a
// final result turns into a finished line "<channel>-L<n>".
//
// Ownership: hold it in a std::shared_ptr (std::make_shared); results come back through
// weak_from_this(), so a stream that is gone receives nothing.
//
// Threads: as TranscriptStream; append only converts and queues (OnDeviceEngine::feed), the
// decoding runs on the engine's own thread.
class LocalChannelStream final : public TranscriptStream, public std::enable_shared_from_this<LocalChannelStream> {
public:
    // `offset`: seconds from the engine's start to the opening of this stream. `counters`: the
    // run's line numbers (a fresh set when none is given). `factory`: the recogniser (pocketsphinx
    // on the installed model for the current locale when none is given). `clock`: when lines were
    // first seen and when audio began (Clock::system() when null).
    LocalChannelStream(int channel, std::optional<QString> label, double offset,
                       std::shared_ptr<LocalLineCounters> counters = nullptr, RecogniserFactory factory = nullptr,
                       Clock* clock = nullptr);
    ~LocalChannelStream() override;

    [[nodiscard]] bool onDevice() const override { return true; }
    [[nodiscard]] double offset() const { return m_offset; }

    [[nodiscard]] const QList<DisplaySegment>& display() const override { return m_display; }
    [[nodiscard]] qsizetype displayChangedFrom() const override { return m_changedFrom; }
    [[nodiscard]] const QList<DisplaySegment>& finals() const { return m_finals; }
    [[nodiscard]] const std::optional<DisplaySegment>& provisional() const { return m_provisional; }
    [[nodiscard]] std::optional<double> lastWordEnd() const override;
    [[nodiscard]] QStringList wordsSince(double cutoff) const override;

    // Makes the engine; it loads the model on its own thread. A second start, or a start after
    // stop, does nothing.
    void start() override;
    // Ends the input: queued audio is still decoded and its results still published.
    void stop() override;
    void append(std::span<const float> mono, double sampleRate) override;

    // Main thread: one recogniser result (public for tests). `start` and `end` are seconds since
    // the stream's opening.
    void publish(const QString& text, bool isFinal, double start, double end);
    // Main thread: an error of the engine, prefixed with the channel's name.
    void reportError(const QString& message);

private:
    const double m_offset;
    const std::shared_ptr<LocalLineCounters> m_counters;
    RecogniserFactory m_factory;
    Clock& m_clock;

    std::mutex m_engineMutex; // the engine pointer, between stop and the capture thread
    std::unique_ptr<OnDeviceEngine> m_engine;
    // After stop: kept until the stream goes, so the last results are still decoded.
    std::unique_ptr<OnDeviceEngine> m_finishing;
    bool m_started = false;

    // Main thread only.
    QList<DisplaySegment> m_finals;
    std::optional<DisplaySegment> m_provisional;
    QList<DisplaySegment> m_display;
    qsizetype m_changedFrom = 0;
};
