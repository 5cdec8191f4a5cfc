#include "platform/PulseCapture.h"

#include "platform/PulseConnection.h"

#include <QMetaObject>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const char* const kThreadName = "pindle-capture";
const char* const kStreamName = "Pindle Logger capture";
// How often the server hands over what it recorded; the chunker makes the engine's buffers.
constexpr pa_usec_t kFragmentUsec = 20'000;
// Frames gathered at a time from the server's fragments before they go to the chunker.
constexpr size_t kStagingFrames = 2048;

QString labelOf(const PulseSource& source)
{
    return source.description.isEmpty() ? source.name : source.description;
}

} // namespace

// The running stream and everything its callbacks touch; they run on the connection's thread
// with its lock held, so whoever holds the lock may destroy it.
struct PulseCaptureSource::Reader {
    pa_threaded_mainloop* loop = nullptr;
    PulseCaptureSource* owner = nullptr;
    QObject* mainContext = nullptr;
    quint64 run = 0;
    QString label;
    const CaptureChunker::Handler* handler = nullptr;
    CaptureChunker chunker;
    // The server's bytes gathered into whole frames of floats: a fragment may end inside a
    // frame, or begin where a float may not be read.
    std::vector<float> staging;
    size_t stagedBytes = 0;
    size_t frameBytes = 0;
    // Set once the stream ran, so a failure to start is not also reported as a loss.
    bool delivering = false;
    bool lost = false;
    PulseStreamPtr stream;

    // `bytes` null is a hole in the recording, taken as silence so later audio keeps its time.
    void take(const char* bytes, size_t size)
    {
        auto* staged = reinterpret_cast<char*>(staging.data());
        const size_t capacity = staging.size() * sizeof(float);
        while (size > 0) {
            const size_t n = std::min(size, capacity - stagedBytes);
            if (bytes != nullptr) {
                std::memcpy(staged + stagedBytes, bytes, n);
                bytes += n;
            } else {
                std::memset(staged + stagedBytes, 0, n);
            }
            size -= n;
            stagedBytes += n;
            const size_t frames = stagedBytes / frameBytes;
            chunker.push(staging.data(), static_cast<qsizetype>(frames), *handler);
            stagedBytes -= frames * frameBytes;
            if (stagedBytes > 0) {
                std::memmove(staged, staged + frames * frameBytes, stagedBytes);
            }
        }
    }

    static void readable(pa_stream* stream, size_t, void* self)
    {
        auto* reader = static_cast<Reader*>(self);
        for (;;) {
            const void* data = nullptr;
            size_t size = 0;
            if (pa_stream_peek(stream, &data, &size) < 0 || size == 0) {
                return;
            }
            reader->take(static_cast<const char*>(data), size);
            pa_stream_drop(stream);
        }
    }

    static void stateChanged(pa_stream* stream, void* self)
    {
        auto* reader = static_cast<Reader*>(self);
        pa_threaded_mainloop_signal(reader->loop, 0);
        if (!reader->delivering || reader->lost || PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
            return;
        }
        reader->lost = true;
        const bool serverGone = !PA_CONTEXT_IS_GOOD(pa_context_get_state(pa_stream_get_context(stream)));
        const QString reason = serverGone ? QStringLiteral("%1 stopped: the sound server went away.").arg(reader->label)
                                          : QStringLiteral("%1 was disconnected.").arg(reader->label);
        QMetaObject::invokeMethod(
            reader->mainContext, [owner = reader->owner, run = reader->run, reason] { owner->reportLost(run, reason); },
            Qt::QueuedConnection);
    }
};

PulseCaptureSource::PulseCaptureSource() : m_mainContext(std::make_unique<QObject>())
{
}

PulseCaptureSource::~PulseCaptureSource()
{
    stop();
    m_connection.reset();
}

CaptureOpenResult PulseCaptureSource::refuse(const QString& error)
{
    m_error = error;
    return {std::nullopt, error};
}

CaptureOpenResult PulseCaptureSource::open(const std::optional<QString>& uid)
{
    stop();
    m_format.reset();
    m_source.reset();
    m_error.clear();
    if (!m_connection || !m_connection->isReady()) {
        m_connection = std::make_unique<PulseConnection>(kThreadName);
        if (!m_connection->waitForReady()) {
            return refuse(m_connection->error());
        }
    }
    const std::optional<QList<PulseSource>> sources = m_connection->sources();
    const std::optional<QString> wanted = uid ? uid : m_connection->defaultSourceName();
    if (!sources || !wanted) {
        return refuse(QStringLiteral("The sound server did not answer in time."));
    }
    const auto found = std::find_if(sources->cbegin(), sources->cend(),
                                    [&wanted](const PulseSource& source) { return source.name == *wanted; });
    // A monitor records what is playing: never taken for the default microphone.
    if (found == sources->cend() || (!uid && found->isMonitor)) {
        return refuse(uid ? QStringLiteral("The input device \"%1\" is not present.").arg(*uid)
                          : QStringLiteral("No microphone input found."));
    }
    if (found->channelCount < 1 || found->channelCount > kMaxChannels || found->sampleRate <= 0.0 ||
        found->sampleRate > PA_RATE_MAX || pa_channel_map_valid(&found->channelMap) == 0) {
        return refuse(QStringLiteral("%1 reports %2 channels at %3 Hz, which can't be captured.")
                          .arg(labelOf(*found))
                          .arg(found->channelCount)
                          .arg(found->sampleRate));
    }
    m_source = std::make_unique<PulseSource>(*found);
    m_format = CaptureFormat{found->sampleRate, found->channelCount};
    return {m_format, {}};
}

bool PulseCaptureSource::start()
{
    if (m_started) {
        return true;
    }
    if (!m_source || !m_connection) {
        m_error = QStringLiteral("Capture was not opened.");
        return false;
    }
    m_error.clear();
    auto reader = std::make_unique<Reader>();
    reader->loop = m_connection->mainloop();
    reader->owner = this;
    reader->mainContext = m_mainContext.get();
    reader->run = ++m_run;
    reader->label = labelOf(*m_source);
    reader->handler = &onBuffer;
    reader->chunker.reset(m_source->channelCount, m_source->sampleRate);
    reader->frameBytes = static_cast<size_t>(m_source->channelCount) * sizeof(float);
    reader->staging.assign(kStagingFrames * static_cast<size_t>(m_source->channelCount), 0.0f);

    PulseLock lock(m_connection->mainloop());
    const QString failure = connectStream(*reader);
    if (!failure.isEmpty()) {
        reader.reset();
        m_error = QStringLiteral("Couldn't start audio from %1: %2.").arg(labelOf(*m_source), failure);
        return false;
    }
    reader->delivering = true;
    m_reader = std::move(reader);
    m_started = true;
    return true;
}

QString PulseCaptureSource::connectStream(Reader& reader)
{
    pa_context* context = m_connection->context();
    if (pa_context_get_state(context) != PA_CONTEXT_READY) {
        return QStringLiteral("the sound server went away");
    }
    const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32NE, static_cast<uint32_t>(m_source->sampleRate),
                              static_cast<uint8_t>(m_source->channelCount)};
    reader.stream.reset(pa_stream_new(context, kStreamName, &sampleSpec, &m_source->channelMap));
    pa_stream* stream = reader.stream.get();
    if (stream == nullptr) {
        return m_connection->lastError();
    }
    pa_stream_set_state_callback(stream, &Reader::stateChanged, &reader);
    pa_stream_set_read_callback(stream, &Reader::readable, &reader);
    pa_buffer_attr attr{};
    attr.maxlength = attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
    attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentUsec, &sampleSpec));
    // Never moved to another input when this one goes: that would be a different microphone.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE |
                                                      PA_STREAM_NO_REMAP_CHANNELS | PA_STREAM_NO_REMIX_CHANNELS);
    const QByteArray device = m_source->name.toUtf8();
    if (pa_stream_connect_record(stream, device.constData(), &attr, flags) != 0) {
        return m_connection->lastError();
    }
    const bool settled =
        m_connection->waitLocked([stream] { return pa_stream_get_state(stream) != PA_STREAM_CREATING; });
    if (pa_stream_get_state(stream) == PA_STREAM_READY) {
        return {};
    }
    return settled ? m_connection->lastError() : QStringLiteral("the sound server did not answer in time");
}

void PulseCaptureSource::stop()
{
    if (!m_started) {
        return;
    }
    m_started = false;
    // Holding the lock waits out a buffer in hand; with the stream gone no callback follows.
    PulseLock lock(m_connection->mainloop());
    m_reader.reset();
}

void PulseCaptureSource::reportLost(quint64 run, const QString& reason)
{
    if (!m_started || run != m_run) {
        return;
    }
    stop();
    if (onLost) {
        // The handler may destroy this source: nothing is touched after the call.
        const auto handler = onLost;
        handler(reason);
    }
}

std::optional<CaptureFormat> PulseCaptureSource::format() const
{
    return m_format;
}

QString PulseCaptureSource::errorString() const
{
    return m_error;
}
