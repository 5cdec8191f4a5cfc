#pragma once

#include "audio/CapturePath.h"
#include "audio/StreamRequest.h"
#include "platform/Clock.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class APIService;
class LocalLineCounters;
class TranscriptBook;

// The transcription streams of a run, one per live channel, and the merge of what they hear
// into the transcript book. The streams sit in the capture path's table, where the capture thread
// feeds them; this class opens, closes and re-routes them, remembers which of each stream's lines
// it merged last, and brings the book up to a stream's display by row, costing what changed.
// A stream that was closed or replaced no longer speaks for its channel. Main thread only.
class StreamSet final : public QObject {
    Q_OBJECT

public:
    // What an edit of a channel does to its stream.
    enum class Route { Keep, Open, Close, Reopen };
    // Which kind of edit: one that may make the channel live or dead (on, fader), or one that
    // may move it between the service and this machine (watch-only, monitoring).
    enum class Edit { Liveness, Routing };
    struct ChannelState {
        bool running = false;
        bool wasLive = false;
        bool isLive = false;
        // Whether the open stream transcribes on this machine; nullopt when none is open.
        std::optional<bool> openOnDevice;
        bool wantsOnDevice = false;
    };

    // Empty `makeStream`: cloud streams on `service` (APIService::shared() when null), on-device
    // streams for requests that ask for one.
    StreamSet(CapturePath& path, TranscriptBook& book, StreamFactory makeStream, APIService* service, Clock& clock,
              QObject* parent = nullptr);
    ~StreamSet() override;

    // A stream's merge changed the book (`touched`: the ids added or changed); `text` is its
    // latest words.
    std::function<void(const QStringList& touched, const QString& text)> onMerged;
    // A stream's one-sentence error.
    std::function<void(const QString& message)> onProblem;
    // The service refused a stream, with its code.
    std::function<void(const QString& code)> onRefused;

    [[nodiscard]] std::shared_ptr<TranscriptStream> stream(int index) const;
    [[nodiscard]] CapturePath::StreamMap streams() const;
    // Channels with an open stream, ascending.
    [[nodiscard]] QList<int> channels() const;

    // Opens the stream of `request.channel` (replacing any), at `gain`, for the shoot of
    // `shootToken`. The first stream of a run counts as its start.
    void open(StreamRequest request, float gain, const std::optional<QString>& shootToken);
    void close(int index);
    // Closes every stream; they are let go on a later turn of the event loop.
    void closeAll();
    // Stops every stream at once, for an engine going away.
    void shutDown();
    void setGain(int index, float gain);
    void setLabel(int index, const std::optional<QString>& label);
    // A new run: on-device line numbers start again.
    void newRun();

    // Makes the book hold exactly the lines of the open streams; gives the ids added or changed.
    [[nodiscard]] QStringList rebuild();
    // The newest word end any open stream knows.
    [[nodiscard]] std::optional<double> newestWordEnd() const;
    // The words ending at or after `cutoff`, channel by channel in ascending order.
    [[nodiscard]] QStringList wordsSince(double cutoff) const;

    [[nodiscard]] static Route route(Edit edit, const ChannelState& state);
    // Watch-only channels go on-device where it is available, unless they are monitored (the
    // monitored channel is always transcribed by the service).
    [[nodiscard]] static bool wantsOnDevice(int index, bool available, std::optional<int> monitored, bool watchOnly);

private:
    // What was merged last of one open stream: the ids of its display, in order. (Not a copy of
    // the lines: sharing the stream's list would make its next change copy it whole.)
    struct View {
        const TranscriptStream* stream = nullptr;
        QStringList shownIds;
    };

    [[nodiscard]] std::shared_ptr<TranscriptStream> make(const StreamRequest& request);
    void release(const QList<std::shared_ptr<TranscriptStream>>& streams);
    void updated(int index, const TranscriptStream* stream, const QString& text);
    [[nodiscard]] bool speaksFor(int index, const TranscriptStream* stream) const;

    CapturePath& m_path;
    TranscriptBook& m_book;
    StreamFactory m_makeStream;
    APIService* m_service;
    Clock& m_clock;
    QHash<int, View> m_views;
    // On-device line numbers per channel for the whole run: a reopened channel counts on.
    std::shared_ptr<LocalLineCounters> m_localLineCounters;
};
