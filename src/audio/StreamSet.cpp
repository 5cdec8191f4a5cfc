#include "audio/StreamSet.h"

#include "audio/ChannelStream.h"
#include "audio/LocalChannelStream.h"
#include "audio/TranscriptBook.h"
#include "service/APIService.h"

#include <QMetaObject>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <span>

namespace {

// Brings `shownIds` (the ids merged last time) up to `display` and gives the lines to upsert and
// the ids that left. Rows before `from` are known to be unchanged. The book holds the last merged
// version of every line and leaves equal ones alone, so every row from `from` on is handed over.
void followDisplay(QStringList& shownIds, const QList<DisplaySegment>& display, qsizetype from,
                   std::span<const DisplaySegment>& changed, QStringList& gone)
{
    from = std::clamp<qsizetype>(from, 0, std::min(shownIds.size(), display.size()));
    changed = std::span<const DisplaySegment>(display.constData() + from, size_t(display.size() - from));

    bool same = shownIds.size() <= display.size();
    for (qsizetype row = from; same && row < shownIds.size(); ++row) {
        same = shownIds.at(row) == display.at(row).id;
    }
    if (!same) {
        QSet<QString> present;
        for (qsizetype row = from; row < display.size(); ++row) {
            present.insert(display.at(row).id);
        }
        for (qsizetype row = from; row < shownIds.size(); ++row) {
            if (!present.contains(shownIds.at(row))) {
                gone.append(shownIds.at(row));
            }
        }
    }
    shownIds.resize(from);
    for (qsizetype row = from; row < display.size(); ++row) {
        shownIds.append(display.at(row).id);
    }
}

} // namespace

StreamSet::StreamSet(CapturePath& path, TranscriptBook& book, StreamFactory makeStream, APIService* service,
                     Clock& clock, QObject* parent)
    : QObject(parent), m_path(path), m_book(book), m_makeStream(std::move(makeStream)), m_service(service),
      m_clock(clock)
{
}

StreamSet::~StreamSet() = default;

std::shared_ptr<TranscriptStream> StreamSet::stream(int index) const
{
    return m_path.stream(index);
}

CapturePath::StreamMap StreamSet::streams() const
{
    return m_path.streams();
}

QList<int> StreamSet::channels() const
{
    QList<int> channels = m_path.streams().keys();
    std::sort(channels.begin(), channels.end());
    return channels;
}

std::shared_ptr<TranscriptStream> StreamSet::make(const StreamRequest& request)
{
    if (m_makeStream) {
        return m_makeStream(request);
    }
    if (request.onDevice) {
        if (!m_localLineCounters) {
            m_localLineCounters = std::make_shared<LocalLineCounters>();
        }
        return std::make_shared<LocalChannelStream>(request.channel, request.label, request.offset, m_localLineCounters,
                                                    nullptr, &m_clock);
    }
    APIService& service = m_service != nullptr ? *m_service : APIService::shared();
    return std::make_shared<ChannelStream>(request.channel, request.offset, request.countsAsStart, service, &m_clock);
}

void StreamSet::open(StreamRequest request, float gain, const std::optional<QString>& shootToken)
{
    const int index = request.channel;
    // The first stream of a run opens the service's session; every later one resumes it.
    request.countsAsStart = m_path.streams().isEmpty();
    std::shared_ptr<TranscriptStream> stream = make(request);
    if (!stream) {
        return;
    }
    QPointer<StreamSet> self(this);
    const TranscriptStream* identity = stream.get();
    stream->label = request.label;
    stream->shootToken = shootToken;
    stream->onRefused = [self, index, identity](const QString& code) {
        if (self && self->speaksFor(index, identity) && self->onRefused) {
            self->onRefused(code);
        }
    };
    stream->setGain(gain);
    stream->onUpdate = [self, index, identity](const QString& text) {
        if (self) {
            self->updated(index, identity, text);
        }
    };
    stream->onError = [self, index, identity](const QString& message) {
        if (self && self->speaksFor(index, identity) && self->onProblem) {
            self->onProblem(message);
        }
    };

    const std::shared_ptr<TranscriptStream> replaced = m_path.insertStream(index, stream);
    m_views.insert(index, View{identity, {}});
    if (replaced) {
        release({replaced});
    }
    stream->start();
}

void StreamSet::close(int index)
{
    const std::shared_ptr<TranscriptStream> closed = m_path.takeStream(index);
    m_views.remove(index);
    if (closed) {
        release({closed});
    }
}

void StreamSet::closeAll()
{
    const CapturePath::StreamMap open = m_path.takeAllStreams();
    m_views.clear();
    release(open.values());
}

void StreamSet::shutDown()
{
    const CapturePath::StreamMap open = m_path.takeAllStreams();
    m_views.clear();
    for (const auto& stream : open) {
        stream->stop();
    }
}

void StreamSet::release(const QList<std::shared_ptr<TranscriptStream>>& streams)
{
    for (const auto& stream : streams) {
        stream->stop();
    }
    // A close may come from inside a stream's own callback (a refusal that makes the screen stop
    // and start again): the streams are let go on a later turn of the event loop, never while
    // one of them may still be on the stack.
    if (!streams.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [held = streams] { Q_UNUSED(held); }, Qt::QueuedConnection);
    }
}

void StreamSet::setGain(int index, float gain)
{
    if (const auto open = m_path.stream(index)) {
        open->setGain(gain);
    }
}

void StreamSet::setLabel(int index, const std::optional<QString>& label)
{
    if (const auto open = m_path.stream(index)) {
        open->label = label;
    }
}

void StreamSet::newRun()
{
    m_localLineCounters.reset();
}

bool StreamSet::speaksFor(int index, const TranscriptStream* stream) const
{
    const std::shared_ptr<TranscriptStream> open = m_path.stream(index);
    return open && open.get() == stream;
}

QStringList StreamSet::rebuild()
{
    const CapturePath::StreamMap open = m_path.streams();
    QList<DisplaySegment> all;
    for (auto it = open.cbegin(); it != open.cend(); ++it) {
        const QList<DisplaySegment>& display = it.value()->display();
        all.append(display);
        QStringList shownIds;
        shownIds.reserve(display.size());
        for (const DisplaySegment& segment : display) {
            shownIds.append(segment.id);
        }
        m_views.insert(it.key(), View{it.value().get(), std::move(shownIds)});
    }
    return m_book.replaceAll(all);
}

void StreamSet::updated(int index, const TranscriptStream* stream, const QString& text)
{
    const auto view = m_views.find(index);
    const std::shared_ptr<TranscriptStream> open = m_path.stream(index);
    // A stream that was closed meanwhile no longer speaks for its channel.
    if (view == m_views.end() || !open || open.get() != stream || view->stream != stream) {
        return;
    }
    const QList<DisplaySegment>& display = open->display();
    std::span<const DisplaySegment> changed;
    QStringList gone;
    // Read after display(), which may itself rebuild the lines (a new label).
    followDisplay(view->shownIds, display, open->displayChangedFrom(), changed, gone);
    // A copy of the few changed lines: a listener of the book might make the stream rebuild.
    const QList<DisplaySegment> lines(changed.begin(), changed.end());
    if (!gone.isEmpty()) {
        m_book.remove(gone);
    }
    const QStringList touched = m_book.upsert(lines);
    if (onMerged) {
        onMerged(touched, text);
    }
}

std::optional<double> StreamSet::newestWordEnd() const
{
    std::optional<double> newest;
    for (const auto& stream : m_path.streams()) {
        const std::optional<double> end = stream->lastWordEnd();
        if (end && (!newest || *end > *newest)) {
            newest = end;
        }
    }
    return newest;
}

QStringList StreamSet::wordsSince(double cutoff) const
{
    QStringList words;
    for (const int channel : channels()) {
        if (const auto stream = m_path.stream(channel)) {
            words.append(stream->wordsSince(cutoff));
        }
    }
    return words;
}

StreamSet::Route StreamSet::route(Edit edit, const ChannelState& state)
{
    if (!state.running) {
        return Route::Keep;
    }
    if (edit == Edit::Liveness) {
        if (state.isLive == state.wasLive) {
            return Route::Keep;
        }
        return state.wasLive ? Route::Close : Route::Open;
    }
    if (!state.isLive || !state.openOnDevice || *state.openOnDevice == state.wantsOnDevice) {
        return Route::Keep;
    }
    return Route::Reopen;
}

bool StreamSet::wantsOnDevice(int index, bool available, std::optional<int> monitored, bool watchOnly)
{
    return index >= 0 && available && monitored != index && watchOnly;
}
