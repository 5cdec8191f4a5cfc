#pragma once

#include "audio/StreamMessages.h"
#include "audio/TranscriptStream.h"
#include "platform/Clock.h"
#include "platform/Date.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <span>

class APIService;
class Resampler16k;

// One channel transcribed by the service: a WebSocket to the service's "/ws" carrying the
// channel's audio up as 16 kHz 16-bit mono and transcript results down, and the rules that turn
// those results into the channel's display lines.
//
// Ownership: hold it in a std::shared_ptr (std::make_shared). Results come back through
// weak_from_this(), so a stream that is gone simply receives nothing; the last reference may be
// dropped on any thread (the capture thread included).
//
// Threads:
// - main thread: construction, start, stop, the properties, display and the queries; every
//   callback is called there;
// - capture thread: append, which only converts the samples to 16 kHz int16 and queues them
//   (bounded; the oldest audio is dropped when the socket does not keep up, and what the socket
//   holds unwritten is bounded too). It never touches the socket;
// - the socket thread, shared by all cloud streams: the socket, the sending of the queued
//   messages and the reading of received frames.
//
// A lost connection is reported once through onError and is not re-made: the engine opens a new
// stream for the channel when it starts again.
class ChannelStream final : public TranscriptStream, public std::enable_shared_from_this<ChannelStream> {
public:
    // Audio the queue keeps while the socket is not (yet) sending; older audio is dropped.
    static constexpr double kMaxQueuedSeconds = 10.0;
    // Audio handed to the socket that it has not written out yet; beyond it the rest waits in the
    // queue, so a peer that stops reading costs the queue's audio, never unbounded memory.
    static constexpr double kMaxSocketBacklogSeconds = 1.0;
    // The opening handshake is abandoned after this long.
    static constexpr int kConnectTimeoutMs = 60000;

    // `offset`: seconds from the engine's start to the opening of this stream, added to every
    // word time of the service. `countsAsStart`: this stream opens the shoot's transcription
    // session (no other cloud stream of the run is open); otherwise it resumes it. The endpoint
    // and the session cookie are read from `service` at start(). `clock` dates the lines
    // (Clock::system() when null).
    ChannelStream(int channel, double offset, bool countsAsStart, APIService& service, Clock* clock = nullptr);
    ~ChannelStream() override;

    [[nodiscard]] bool onDevice() const override { return false; }
    [[nodiscard]] double offset() const { return m_offset; }
    [[nodiscard]] bool countsAsStart() const { return m_countsAsStart; }

    // Rebuilt after every result, and when the label has changed since (the label is every
    // line's speaker).
    [[nodiscard]] const QList<DisplaySegment>& display() const override;
    [[nodiscard]] std::optional<double> lastWordEnd() const override;
    [[nodiscard]] QStringList wordsSince(double cutoff) const override;

    // Opens the socket ("/ws" of the service, with the session cookie and the client header).
    // The start message, and the audio appended before the socket is open, wait until it is.
    // A second start does nothing; a stopped stream is not started again.
    void start() override;
    // Sends the stop message and closes the socket. Appends and results after it are ignored.
    void stop() override;
    void append(std::span<const float> mono, double sampleRate) override;

    // Main thread: one result, as the socket thread hands it over (public for tests). Interim
    // text only changes the latest text; a final result adds or replaces its utterance.
    void mergeResult(const StreamMessages::TranscriptResult& result);
    // Main thread: a refusal, as the socket thread hands it over (public for tests). The closing
    // of the socket that follows a refusal is part of it and is not reported as a loss.
    void handleRefusal(const StreamMessages::Refusal& refusal);
    // Main thread: the socket failed or was closed by the service, as the socket thread reports
    // it (public for tests). Reported once through onError, unless the stream was stopped or
    // refused first.
    void handleConnectionLost(const QString& reason);

    // The latest interim text; empty once a final result followed it.
    [[nodiscard]] const QString& interimText() const { return m_interimText; }
    // The first display line the last rebuild changed (display().size() when none did): lines
    // before it are the same as before, so a merge of all streams may start there.
    [[nodiscard]] qsizetype displayChangedFrom() const override { return m_changedFrom; }
    // Bytes of 16 kHz audio dropped because the queue was full: the socket was not open yet, or
    // the service did not take the audio as fast as it came. Later word times count it back in.
    [[nodiscard]] qint64 droppedAudioBytes() const;

    struct Link; // the state shared with the capture and socket threads

private:
    struct Segment {
        QString id;
        std::optional<QString> speaker;
        QString text;
        // In the transcript's time already: the line shown shares this list.
        QList<Word> words;
    };
    struct FirstSeen {
        Date at;
        QString timecode;
    };

    // The service's word times (seconds of the audio it was sent) as the transcript's seconds:
    // since the stream's opening, plus the stream's offset.
    [[nodiscard]] QList<Word> spokenAt(QList<Word> words) const;
    [[nodiscard]] DisplaySegment displaySegment(const Segment& segment) const;
    void rebuildDisplay() const;
    [[nodiscard]] QString errorPrefix() const;

    const double m_offset;
    const bool m_countsAsStart;
    APIService& m_service;
    Clock& m_clock;
    const std::shared_ptr<Link> m_link;
    // Capture thread only.
    std::unique_ptr<Resampler16k> m_resampler;
    double m_resamplerRate = 0.0;

    // Main thread only.
    bool m_started = false;
    bool m_stopped = false;
    bool m_refused = false;
    bool m_lossReported = false;
    QHash<QString, Segment> m_byUtterance;
    QStringList m_order;
    QHash<QString, FirstSeen> m_firstSeen;
    QString m_interimText;
    mutable QList<DisplaySegment> m_display;
    // Utterance id -> its line in m_display.
    mutable QHash<QString, qsizetype> m_displayIndex;
    mutable std::optional<QString> m_displayLabel;
    mutable qsizetype m_changedFrom = 0;
};
