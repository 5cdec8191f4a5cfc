#include "audio/ChannelStream.h"

#include "audio/Resampler16k.h"
#include "audio/SegmentOrder.h"
#include "service/APIService.h"
#include "service/ServiceUrl.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QNetworkRequest>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <mutex>
#include <vector>

Q_LOGGING_CATEGORY(lcChannelStream, "pindle.audio.stream")

namespace {

constexpr int kTargetRate = 16000;
constexpr qsizetype kBytesPerSample = 2;
constexpr double kBytesPerSecond = static_cast<double>(kTargetRate * kBytesPerSample);
// How often the socket thread sends what the capture thread queued. Capture buffers arrive about
// every 85 ms, so this adds little delay, and the capture thread never has to signal.
constexpr int kDrainIntervalMs = 20;
// After the stop message, how long the service may take to answer the close before the socket
// is cut.
constexpr int kCloseGraceMs = 2000;
// Frames beyond this make Qt close the socket (a service sending them is broken or hostile);
// frames between StreamMessages::kMaxFrameBytes and this are read and ignored.
constexpr qint64 kHardFrameLimit = 4 * StreamMessages::kMaxFrameBytes;
// At most this many appended buffers wait in the queue (besides the byte limit).
constexpr qsizetype kMaxQueuedChunks = 1024;
// Drops remembered to place later words. A link that drops at every capture buffer (about 12 a
// second) still keeps the last five minutes, far longer than any utterance.
constexpr qsizetype kMaxGaps = 4096;
// Audio handed to the socket and not yet written out. A peer that stops reading would otherwise
// let the socket's buffer grow without bound, and the transcript fall ever further behind: past
// this the audio waits in the queue, which drops its oldest.
constexpr qint64 kMaxSocketBacklogBytes =
    static_cast<qint64>(ChannelStream::kMaxSocketBacklogSeconds * kTargetRate) * kBytesPerSample;
// Sample rates a capture device can plausibly have.
constexpr double kMinInputRate = 1000.0;
constexpr double kMaxInputRate = 768000.0;

// The 16 kHz audio waiting for the socket: a ring of bytes (little-endian int16) with the
// boundaries of the appended buffers, so each buffer is sent as one message. Storage is made
// once; the capture thread copies into it under a short lock and never allocates.
class AudioQueue {
public:
    AudioQueue()
        : m_bytes(static_cast<size_t>(ChannelStream::kMaxQueuedSeconds * kTargetRate) * kBytesPerSample),
          m_chunks(static_cast<size_t>(kMaxQueuedChunks)), m_gaps(static_cast<size_t>(kMaxGaps))
    {
    }

    // Capture thread.
    void push(std::span<const qint16> samples)
    {
        const auto capacity = static_cast<qsizetype>(m_bytes.size());
        const std::lock_guard lock(m_mutex);
        // One buffer longer than the whole queue keeps only its newest part.
        if (static_cast<qsizetype>(samples.size()) * kBytesPerSample > capacity) {
            const auto keep = static_cast<size_t>(capacity / kBytesPerSample);
            noteDropped(static_cast<qint64>(samples.size() - keep) * kBytesPerSample);
            samples = samples.last(keep);
        }
        const qsizetype length = static_cast<qsizetype>(samples.size()) * kBytesPerSample;
        if (length == 0)
            return;
        while (m_size + length > capacity || m_chunkCount == static_cast<qsizetype>(m_chunks.size()))
            dropOldest();
        qsizetype at = (m_head + m_size) % capacity;
        // Sample positions are even and the capacity is even, so no sample straddles the wrap.
        const auto firstSamples = std::min<qsizetype>(length, capacity - at) / kBytesPerSample;
        qToLittleEndian<qint16>(samples.data(), firstSamples, m_bytes.data() + at);
        const auto rest = static_cast<qsizetype>(samples.size()) - firstSamples;
        if (rest > 0)
            qToLittleEndian<qint16>(samples.data() + firstSamples, rest, m_bytes.data());
        at = (m_chunkHead + m_chunkCount) % static_cast<qsizetype>(m_chunks.size());
        m_chunks[static_cast<size_t>(at)] = length;
        ++m_chunkCount;
        m_size += length;
    }

    // Socket thread: the oldest buffer into `out` (its storage reused); false when empty.
    bool pop(QByteArray& out)
    {
        const std::lock_guard lock(m_mutex);
        if (m_chunkCount == 0)
            return false;
        const auto capacity = static_cast<qsizetype>(m_bytes.size());
        const qsizetype length = m_chunks[static_cast<size_t>(m_chunkHead)];
        out.resize(length);
        const qsizetype first = std::min(length, capacity - m_head);
        std::copy_n(m_bytes.data() + m_head, first, out.data());
        std::copy_n(m_bytes.data(), length - first, out.data() + first);
        advance(length);
        m_taken += length;
        return true;
    }

    [[nodiscard]] qint64 dropped() const
    {
        const std::lock_guard lock(m_mutex);
        return m_dropped;
    }

    // Main thread: bytes dropped before byte `position` of the audio the socket was handed (the
    // service's own count of the stream's audio).
    [[nodiscard]] qint64 droppedBefore(qint64 position) const
    {
        const std::lock_guard lock(m_mutex);
        const auto capacity = static_cast<qsizetype>(m_gaps.size());
        for (qsizetype n = m_gapCount; n > 0; --n) {
            const Gap& gap = m_gaps[static_cast<size_t>((m_gapHead + n - 1) % capacity)];
            if (gap.at <= position)
                return gap.droppedUpTo;
        }
        return 0;
    }

    // Appends are taken from start until stop (or until the socket is lost).
    std::atomic<bool> accepting{false};

private:
    // Where in the audio handed to the socket bytes went missing: every drop lies between what was
    // taken and what is queued, so it sits at the position taken so far.
    struct Gap {
        qint64 at = 0;
        qint64 droppedUpTo = 0; // all bytes dropped at or before `at`
    };

    void dropOldest()
    {
        const qsizetype length = m_chunks[static_cast<size_t>(m_chunkHead)];
        noteDropped(length);
        advance(length);
    }

    void noteDropped(qint64 length)
    {
        m_dropped += length;
        const auto capacity = static_cast<qsizetype>(m_gaps.size());
        if (m_gapCount > 0) {
            Gap& newest = m_gaps[static_cast<size_t>((m_gapHead + m_gapCount - 1) % capacity)];
            if (newest.at == m_taken) {
                newest.droppedUpTo = m_dropped;
                return;
            }
        }
        // The oldest gap only places words of audio minutes old, which no result reaches back to.
        if (m_gapCount == capacity) {
            m_gapHead = (m_gapHead + 1) % capacity;
            --m_gapCount;
        }
        m_gaps[static_cast<size_t>((m_gapHead + m_gapCount) % capacity)] = Gap{m_taken, m_dropped};
        ++m_gapCount;
    }

    void advance(qsizetype length)
    {
        m_head = (m_head + length) % static_cast<qsizetype>(m_bytes.size());
        m_size -= length;
        m_chunkHead = (m_chunkHead + 1) % static_cast<qsizetype>(m_chunks.size());
        --m_chunkCount;
    }

    mutable std::mutex m_mutex;
    std::vector<char> m_bytes;
    std::vector<qsizetype> m_chunks;
    qsizetype m_head = 0;
    qsizetype m_size = 0;
    qsizetype m_chunkHead = 0;
    qsizetype m_chunkCount = 0;
    qint64 m_dropped = 0;
    qint64 m_taken = 0;
    std::vector<Gap> m_gaps;
    qsizetype m_gapHead = 0;
    qsizetype m_gapCount = 0;
};

class SocketWorker;

// The one thread on which the sockets of all cloud streams live. Sockets are event driven, so one
// thread serves every channel; a stream's close handshake finishes there on its own, and whoever
// drops a stream (the capture thread included) never waits for it. The thread ends when the
// application does, taking any worker still open with it.
class SocketHub {
public:
    static SocketHub& instance()
    {
        static SocketHub hub;
        return hub;
    }

    // Main thread: `worker` moves to the socket thread and may be posted to from now on.
    void adopt(SocketWorker* worker);
    // Socket thread, from the worker's destructor.
    void forget(SocketWorker* worker)
    {
        const std::lock_guard lock(m_mutex);
        m_workers.remove(worker);
    }
    // Any thread: runs `call` on the socket thread, when the worker still exists.
    void post(SocketWorker* worker, std::function<void(SocketWorker&)> call);

private:
    SocketHub() { qAddPostRoutine(&SocketHub::shutdown); }
    static void shutdown();

    std::mutex m_mutex;
    QThread* m_thread = nullptr;
    QObject* m_anchor = nullptr; // lives on the thread; the context of the shutdown call
    QSet<SocketWorker*> m_workers;
};

// One stream's socket, living on the socket thread: opens it, sends the start message and then
// the queued audio, reads the received frames and reports to the stream on the main thread.
class SocketWorker final : public QObject {
public:
    SocketWorker(std::weak_ptr<ChannelStream> stream, std::shared_ptr<AudioQueue> queue, QNetworkRequest request,
                 QByteArray startMessage)
        : m_stream(std::move(stream)), m_queue(std::move(queue)), m_request(std::move(request)),
          m_startMessage(std::move(startMessage))
    {
    }

    ~SocketWorker() override
    {
        SocketHub::instance().forget(this);
        if (m_socket) {
            // Leaving without a close handshake (released while open, or the application ends).
            m_socket->disconnect(this);
            m_socket->abort();
        }
    }

    void open()
    {
        if (m_state != State::Idle)
            return;
        m_state = State::Connecting;
        m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
        m_socket->setMaxAllowedIncomingMessageSize(static_cast<quint64>(kHardFrameLimit));
        m_socket->setMaxAllowedIncomingFrameSize(static_cast<quint64>(kHardFrameLimit));
        connect(m_socket, &QWebSocket::connected, this, &SocketWorker::onConnected);
        connect(m_socket, &QWebSocket::disconnected, this, &SocketWorker::onDisconnected);
        connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
                &SocketWorker::onSocketError);
        connect(m_socket, &QWebSocket::textMessageReceived, this, &SocketWorker::onText);

        m_drainTimer = new QTimer(this);
        m_drainTimer->setInterval(kDrainIntervalMs);
        connect(m_drainTimer, &QTimer::timeout, this, [this] { drain(); });
        m_deadline = new QTimer(this);
        m_deadline->setSingleShot(true);
        connect(m_deadline, &QTimer::timeout, this, &SocketWorker::onDeadline);
        m_deadline->start(ChannelStream::kConnectTimeoutMs);

        m_socket->open(m_request);
    }

    // The stream stopped: the rest of the queued audio, the stop message, then a normal close.
    void close()
    {
        switch (m_state) {
        case State::Idle:
            finish();
            return;
        case State::Connecting:
            finish();
            return;
        case State::Open:
            // The rest of the queue at once: at most its ten seconds, and the socket closes soon.
            drain(Backlog::Unbounded);
            m_socket->sendTextMessage(QString::fromUtf8(StreamMessages::stopMessage()));
            m_state = State::Closing;
            m_drainTimer->stop();
            m_deadline->start(kCloseGraceMs);
            m_socket->close(QWebSocketProtocol::CloseCodeNormal);
            return;
        case State::Closing:
        case State::Closed:
            return;
        }
    }

    // The stream is gone: close (when not yet done) and go once closed.
    void release()
    {
        m_released = true;
        close();
        deleteWhenDone();
    }

private:
    enum class State { Idle, Connecting, Open, Closing, Closed };

    void onConnected()
    {
        if (m_state != State::Connecting)
            return;
        m_state = State::Open;
        m_deadline->stop();
        // The system's send buffer grows to megabytes (minutes of audio) before a write waits:
        // held near the backlog bound, a stalled peer costs seconds. The TCP socket is the web
        // socket's child; without one the system's default stays.
        for (QAbstractSocket* tcp : m_socket->findChildren<QAbstractSocket*>())
            tcp->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, static_cast<int>(kMaxSocketBacklogBytes));
        m_socket->sendTextMessage(QString::fromUtf8(m_startMessage));
        drain();
        m_drainTimer->start();
    }

    enum class Backlog { Bounded, Unbounded };

    void drain(Backlog backlog = Backlog::Bounded)
    {
        if (m_state != State::Open)
            return;
        while ((backlog == Backlog::Unbounded || m_socket->bytesToWrite() < kMaxSocketBacklogBytes) &&
               m_queue->pop(m_chunk))
            m_socket->sendBinaryMessage(m_chunk);
    }

    void onText(const QString& message)
    {
        if (m_state != State::Open && m_state != State::Closing)
            return;
        // A cheap first cut before converting: UTF-8 is never shorter than its UTF-16 units.
        if (message.size() > StreamMessages::kMaxFrameBytes)
            return;
        StreamMessages::Received received = StreamMessages::parse(message.toUtf8());
        if (auto* result = std::get_if<StreamMessages::TranscriptResult>(&received)) {
            toStream([result = std::move(*result)](ChannelStream& stream) { stream.mergeResult(result); });
        } else if (auto* refusal = std::get_if<StreamMessages::Refusal>(&received)) {
            toStream([refusal = std::move(*refusal)](ChannelStream& stream) { stream.handleRefusal(refusal); });
        }
    }

    void onSocketError(QAbstractSocket::SocketError) { lost(m_socket->errorString()); }

    void onDisconnected()
    {
        if (m_state == State::Closing) {
            finish();
            return;
        }
        const int code = static_cast<int>(m_socket->closeCode());
        const QString reason = m_socket->closeReason();
        const QString prefix = QStringLiteral("closed by the service, code ") + QString::number(code);
        lost(reason.isEmpty() ? prefix : prefix + QStringLiteral(": ") + reason);
    }

    void onDeadline()
    {
        if (m_state == State::Connecting)
            lost(QStringLiteral("no answer within %1 seconds").arg(ChannelStream::kConnectTimeoutMs / 1000));
        else if (m_state == State::Closing)
            finish();
    }

    // The first failure while connecting or open is reported; the socket is then done.
    void lost(const QString& reason)
    {
        if (m_state != State::Connecting && m_state != State::Open) {
            if (m_state == State::Closing)
                finish();
            return;
        }
        m_queue->accepting.store(false, std::memory_order_release);
        toStream([reason](ChannelStream& stream) { stream.handleConnectionLost(reason); });
        finish();
    }

    void finish()
    {
        m_state = State::Closed;
        if (m_drainTimer)
            m_drainTimer->stop();
        if (m_deadline)
            m_deadline->stop();
        if (m_socket) {
            m_socket->disconnect(this);
            m_socket->abort();
        }
        deleteWhenDone();
    }

    void deleteWhenDone()
    {
        if (m_released && m_state == State::Closed)
            deleteLater();
    }

    // Runs `call` on the main thread with the stream, when the stream still exists then.
    void toStream(std::function<void(ChannelStream&)> call) const
    {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [stream = m_stream, call = std::move(call)] {
                if (const auto strong = stream.lock())
                    call(*strong);
            },
            Qt::QueuedConnection);
    }

    const std::weak_ptr<ChannelStream> m_stream;
    const std::shared_ptr<AudioQueue> m_queue;
    const QNetworkRequest m_request;
    const QByteArray m_startMessage;
    QWebSocket* m_socket = nullptr;
    // Qt timers of the socket thread, not the engine's clock: a test's manual clock fires on its own thread.
    QTimer* m_drainTimer = nullptr;
    QTimer* m_deadline = nullptr;
    QByteArray m_chunk;
    State m_state = State::Idle;
    bool m_released = false;
};

void SocketHub::adopt(SocketWorker* worker)
{
    const std::lock_guard lock(m_mutex);
    if (!m_thread) {
        m_thread = new QThread;
        m_thread->setObjectName(QStringLiteral("io.pindle.logger.socket"));
        m_anchor = new QObject;
        m_anchor->moveToThread(m_thread);
        m_thread->start();
    }
    worker->moveToThread(m_thread);
    m_workers.insert(worker);
}

void SocketHub::post(SocketWorker* worker, std::function<void(SocketWorker&)> call)
{
    // Under the lock the worker cannot finish its destructor, and an event posted to it is
    // discarded if it is deleted before the event is delivered.
    const std::lock_guard lock(m_mutex);
    if (!m_workers.contains(worker))
        return;
    QMetaObject::invokeMethod(
        worker, [worker, call = std::move(call)] { call(*worker); }, Qt::QueuedConnection);
}

void SocketHub::shutdown()
{
    SocketHub& hub = instance();
    QThread* thread = nullptr;
    QObject* anchor = nullptr;
    {
        const std::lock_guard lock(hub.m_mutex);
        thread = std::exchange(hub.m_thread, nullptr);
        anchor = std::exchange(hub.m_anchor, nullptr);
    }
    if (!thread)
        return;
    // Workers still open when the application ends are closed on their own thread.
    QMetaObject::invokeMethod(
        anchor,
        [&hub, anchor] {
            QList<SocketWorker*> remaining;
            {
                const std::lock_guard lock(hub.m_mutex);
                remaining = hub.m_workers.values();
            }
            qDeleteAll(remaining);
            delete anchor;
        },
        Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
}

} // namespace

struct ChannelStream::Link {
    std::shared_ptr<AudioQueue> queue = std::make_shared<AudioQueue>();
    // Made by start() on the main thread; after that only posted to through the hub.
    SocketWorker* worker = nullptr;
};

ChannelStream::ChannelStream(int channel, double offset, bool countsAsStart, APIService& service, Clock* clock)
    : TranscriptStream(channel), m_offset(std::isfinite(offset) ? offset : 0.0), m_countsAsStart(countsAsStart),
      m_service(service), m_clock(Clock::orSystem(clock)), m_link(std::make_shared<Link>())
{
}

ChannelStream::~ChannelStream()
{
    // May run on any thread (the last reference may be the capture thread's).
    m_link->queue->accepting.store(false, std::memory_order_release);
    if (m_link->worker)
        SocketHub::instance().post(m_link->worker, [](SocketWorker& worker) { worker.release(); });
}

void ChannelStream::start()
{
    if (m_started || m_stopped)
        return;
    m_started = true;
    const std::weak_ptr<ChannelStream> self = weak_from_this();
    if (self.expired())
        qCWarning(lcChannelStream, "a stream not held by a shared pointer receives no results");

    const ServiceResult<QUrl> url = ServiceUrl::resolveWebSocket(m_service.baseURL(), QStringLiteral("/ws"));
    if (!url.ok()) {
        // Reported on a later turn, as a socket's failure would be.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, reason = url.error().description()] {
                if (const auto stream = self.lock())
                    stream->handleConnectionLost(reason);
            },
            Qt::QueuedConnection);
        return;
    }
    QNetworkRequest request(url.value());
    request.setRawHeader("x-pindle-client", "pindle-logger");
    if (const std::optional<QString> cookie = m_service.sessionCookie(); cookie && APIService::isUsableCookie(*cookie))
        request.setRawHeader("Cookie", cookie->toUtf8());

    m_link->queue->accepting.store(true, std::memory_order_release);
    m_link->worker =
        new SocketWorker(self, m_link->queue, request, StreamMessages::startMessage(m_countsAsStart, shootToken));
    SocketHub::instance().adopt(m_link->worker);
    SocketHub::instance().post(m_link->worker, [](SocketWorker& worker) { worker.open(); });
}

void ChannelStream::stop()
{
    if (m_stopped)
        return;
    m_stopped = true;
    m_link->queue->accepting.store(false, std::memory_order_release);
    if (m_link->worker)
        SocketHub::instance().post(m_link->worker, [](SocketWorker& worker) { worker.close(); });
}

void ChannelStream::append(std::span<const float> mono, double sampleRate)
{
    AudioQueue& queue = *m_link->queue;
    if (!queue.accepting.load(std::memory_order_acquire) || mono.empty())
        return;
    if (!(sampleRate >= kMinInputRate && sampleRate <= kMaxInputRate))
        return;
    if (!m_resampler || m_resamplerRate != sampleRate) {
        m_resampler = std::make_unique<Resampler16k>(sampleRate);
        m_resamplerRate = sampleRate;
    }
    const std::span<const qint16> converted = m_resampler->process(mono);
    if (!converted.empty())
        queue.push(converted);
}

qint64 ChannelStream::droppedAudioBytes() const
{
    return m_link->queue->dropped();
}

QList<Word> ChannelStream::spokenAt(QList<Word> words) const
{
    // The service counts only the audio it was sent: a word it places at t was spoken t plus
    // whatever was dropped before that point into the stream.
    const AudioQueue& queue = *m_link->queue;
    const auto spoken = [&queue, this](double t) {
        const auto position = static_cast<qint64>(t * kTargetRate) * kBytesPerSample;
        return t + static_cast<double>(queue.droppedBefore(position)) / kBytesPerSecond + m_offset;
    };
    for (Word& word : words) {
        word.start = spoken(word.start);
        word.end = spoken(word.end);
    }
    return words;
}

QString ChannelStream::errorPrefix() const
{
    return label && !label->isEmpty() ? *label + QStringLiteral(": ") : QString();
}

void ChannelStream::handleRefusal(const StreamMessages::Refusal& refusal)
{
    if (m_stopped)
        return;
    m_refused = true;
    if (onRefused)
        onRefused(refusal.code);
}

void ChannelStream::handleConnectionLost(const QString& reason)
{
    if (m_stopped || m_refused || m_lossReported)
        return;
    m_lossReported = true;
    if (onError)
        onError(errorPrefix() + QStringLiteral("Connection lost — are you signed in? (") + reason + u')');
}

DisplaySegment ChannelStream::displaySegment(const Segment& segment) const
{
    DisplaySegment line;
    line.id = QString::number(channel()) + u'-' + segment.id;
    line.speaker = label ? label : segment.speaker;
    line.text = segment.text;
    const FirstSeen seen = m_firstSeen.value(segment.id);
    line.timecode = seen.timecode;
    line.firstSeen = seen.at;
    line.channel = channel();
    line.onDevice = false;
    // Shared, not copied: a day's word timings are most of what its lines hold.
    line.words = segment.words;
    if (!line.words.isEmpty()) {
        line.startSecs = line.words.first().start;
        line.endSecs = line.words.last().end;
    }
    return line;
}

void ChannelStream::rebuildDisplay() const
{
    m_display.clear();
    m_displayIndex.clear();
    for (const QString& id : m_order) {
        const auto it = m_byUtterance.constFind(id);
        if (it == m_byUtterance.constEnd() || it->text.isEmpty())
            continue;
        m_displayIndex.insert(id, m_display.size());
        m_display.append(displaySegment(*it));
    }
    m_displayLabel = label;
}

const QList<DisplaySegment>& ChannelStream::display() const
{
    if (m_displayLabel != label) {
        rebuildDisplay();
        m_changedFrom = 0;
    }
    return m_display;
}

void ChannelStream::mergeResult(const StreamMessages::TranscriptResult& result)
{
    if (m_stopped)
        return;
    if (result.interim) {
        m_interimText = result.text;
        m_changedFrom = m_display.size();
    } else {
        const auto existing = m_byUtterance.constFind(result.id);
        const bool known = existing != m_byUtterance.constEnd();
        const bool wasShown = known && !existing->text.isEmpty();
        const bool shown = !result.text.isEmpty();
        if (!known)
            m_order.append(result.id);
        m_byUtterance.insert(result.id, Segment{result.id, result.speaker, result.text, spokenAt(result.words)});
        m_interimText.clear();
        if (shown && !m_firstSeen.contains(result.id)) {
            const Date now = m_clock.now();
            m_firstSeen.insert(result.id, FirstSeen{now, wallClockTimecode(now)});
        }

        // A new utterance can only join the end; a replaced one stays in place. Only a line that
        // appears or disappears in the middle needs the whole list again.
        const qsizetype oldIndex = m_displayIndex.value(result.id, -1);
        if (m_displayLabel != label) {
            rebuildDisplay();
            m_changedFrom = 0;
        } else if (!known && shown) {
            m_displayIndex.insert(result.id, m_display.size());
            m_changedFrom = m_display.size();
            m_display.append(displaySegment(m_byUtterance.value(result.id)));
        } else if (wasShown && shown) {
            m_display[oldIndex] = displaySegment(m_byUtterance.value(result.id));
            m_changedFrom = oldIndex;
        } else if (wasShown != shown) {
            rebuildDisplay();
            m_changedFrom = shown ? m_displayIndex.value(result.id) : oldIndex;
        } else {
            m_changedFrom = m_display.size();
        }
    }

    QString latest = m_interimText;
    if (latest.isEmpty() && !m_display.isEmpty())
        latest = m_display.last().text;
    if (onUpdate)
        onUpdate(StreamMessages::trimSpacesAndTabs(latest));
}

std::optional<double> ChannelStream::lastWordEnd() const
{
    const QList<DisplaySegment>& lines = display();
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (!it->words.isEmpty())
            return it->words.last().end;
    }
    return std::nullopt;
}

QStringList ChannelStream::wordsSince(double cutoff) const
{
    QStringList words;
    for (const DisplaySegment& line : display()) {
        for (const Word& word : line.words) {
            if (word.end >= cutoff)
                words.append(word.text());
        }
    }
    return words;
}
