#include "platform/PulseConnection.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/subscribe.h>

#include <utility>

namespace {

const char* const kClientName = "Pindle Logger";

void signalLoop(pa_operation*, void* loop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

QString channelName(pa_channel_position_t position)
{
    if (position >= PA_CHANNEL_POSITION_AUX0 && position <= PA_CHANNEL_POSITION_AUX31) {
        return {};
    }
    const char* pretty = pa_channel_position_to_pretty_string(position);
    return pretty != nullptr ? QString::fromUtf8(pretty) : QString();
}

void collectSource(pa_context*, const pa_source_info* info, int eol, void* list)
{
    if (eol != 0 || info == nullptr) {
        return;
    }
    PulseSource source;
    source.name = QString::fromUtf8(info->name);
    source.description = QString::fromUtf8(info->description).trimmed();
    source.sampleRate = info->sample_spec.rate;
    source.channelCount = info->channel_map.channels;
    source.channelMap = info->channel_map;
    for (int c = 0; c < info->channel_map.channels; ++c) {
        source.channelNames.append(channelName(info->channel_map.map[c]));
    }
    source.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    static_cast<QList<PulseSource>*>(list)->append(std::move(source));
}

void collectDefaultSource(pa_context*, const pa_server_info* info, void* name)
{
    if (info != nullptr && info->default_source_name != nullptr) {
        *static_cast<QString*>(name) = QString::fromUtf8(info->default_source_name);
    }
}

} // namespace

void PulseOperationRelease::operator()(pa_operation* operation) const
{
    if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
        pa_operation_cancel(operation);
    }
    pa_operation_unref(operation);
}

void PulseStreamRelease::operator()(pa_stream* stream) const
{
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        pa_stream_disconnect(stream);
    }
    pa_stream_unref(stream);
}

void PulseConnection::ContextRelease::operator()(pa_context* context) const
{
    pa_context_set_state_callback(context, nullptr, nullptr);
    pa_context_set_subscribe_callback(context, nullptr, nullptr);
    pa_context_disconnect(context);
    pa_context_unref(context);
}

PulseConnection::PulseConnection(const char* threadName) : m_loop(pa_threaded_mainloop_new())
{
    if (m_loop) {
        m_context.reset(pa_context_new(pa_threaded_mainloop_get_api(m_loop.get()), kClientName));
    }
    if (!m_context) {
        m_error = QStringLiteral("Couldn't set up a connection to the sound server.");
        return;
    }
    pa_threaded_mainloop_set_name(m_loop.get(), threadName);
    pa_context_set_state_callback(m_context.get(), &PulseConnection::stateChanged, this);
    // Failing at once (no server named or running) leaves the context failed: waitForReady says why.
    (void)pa_context_connect(m_context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
    if (pa_threaded_mainloop_start(m_loop.get()) < 0) {
        m_context.reset();
        m_error = QStringLiteral("Couldn't start the sound server connection's thread.");
    }
}

PulseConnection::~PulseConnection()
{
    if (m_loop) {
        // With the loop's thread gone the context can go without the lock.
        pa_threaded_mainloop_stop(m_loop.get());
    }
    m_context.reset();
}

void PulseConnection::stateChanged(pa_context*, void* self)
{
    auto* connection = static_cast<PulseConnection*>(self);
    pa_threaded_mainloop_signal(connection->m_loop.get(), 0);
    if (connection->m_onStateChange) {
        connection->m_onStateChange();
    }
}

void PulseConnection::subscribed(pa_context*, pa_subscription_event_type_t, uint32_t, void* self)
{
    auto* connection = static_cast<PulseConnection*>(self);
    if (connection->m_onSourcesChange) {
        connection->m_onSourcesChange();
    }
}

bool PulseConnection::waitForReady()
{
    if (!m_context) {
        return false;
    }
    PulseLock lock(m_loop.get());
    pa_context* context = m_context.get();
    if (waitLocked([context] { return pa_context_get_state(context) == PA_CONTEXT_READY; })) {
        return true;
    }
    m_error = PA_CONTEXT_IS_GOOD(pa_context_get_state(context))
                  ? QStringLiteral("The sound server did not answer in time.")
                  : QStringLiteral("Couldn't reach the sound server: %1.").arg(lastError());
    return false;
}

bool PulseConnection::isReady() const
{
    if (!m_context) {
        return false;
    }
    PulseLock lock(m_loop.get());
    return pa_context_get_state(m_context.get()) == PA_CONTEXT_READY;
}

QString PulseConnection::lastError() const
{
    return m_context ? QString::fromUtf8(pa_strerror(pa_context_errno(m_context.get()))) : m_error;
}

void PulseConnection::setOnStateChange(std::function<void()> hook)
{
    if (!m_context) {
        return;
    }
    PulseLock lock(m_loop.get());
    m_onStateChange = std::move(hook);
}

bool PulseConnection::watchSources(std::function<void()> onChange)
{
    if (!m_context) {
        return false;
    }
    PulseLock lock(m_loop.get());
    m_onSourcesChange = std::move(onChange);
    pa_context_set_subscribe_callback(m_context.get(), &PulseConnection::subscribed, this);
    const auto mask = static_cast<pa_subscription_mask_t>(PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);
    const PulseOperationPtr operation(pa_context_subscribe(m_context.get(), mask, nullptr, nullptr));
    return operation && finishLocked(operation.get());
}

std::optional<QList<PulseSource>> PulseConnection::sources()
{
    if (!m_context) {
        return std::nullopt;
    }
    PulseLock lock(m_loop.get());
    QList<PulseSource> list;
    const PulseOperationPtr operation(pa_context_get_source_info_list(m_context.get(), &collectSource, &list));
    if (!operation || !finishLocked(operation.get())) {
        return std::nullopt;
    }
    return list;
}

std::optional<QString> PulseConnection::defaultSourceName()
{
    if (!m_context) {
        return std::nullopt;
    }
    PulseLock lock(m_loop.get());
    QString name;
    const PulseOperationPtr operation(pa_context_get_server_info(m_context.get(), &collectDefaultSource, &name));
    if (!operation || !finishLocked(operation.get())) {
        return std::nullopt;
    }
    return name;
}

bool PulseConnection::waitLocked(const std::function<bool()>& done, std::chrono::milliseconds timeout)
{
    if (!m_context || pa_threaded_mainloop_in_thread(m_loop.get()) != 0) {
        return done();
    }
    struct Alarm {
        pa_threaded_mainloop* loop;
        bool rang = false;
    } alarm{m_loop.get()};
    const auto ring = [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data) {
        auto* a = static_cast<Alarm*>(data);
        a->rang = true;
        pa_threaded_mainloop_signal(a->loop, 0);
    };
    const auto due = pa_rtclock_now() + static_cast<pa_usec_t>(std::chrono::microseconds(timeout).count());
    pa_time_event* event = pa_context_rttime_new(m_context.get(), due, ring, &alarm);
    if (event == nullptr) {
        return done();
    }
    while (!done() && !alarm.rang && PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context.get()))) {
        pa_threaded_mainloop_wait(m_loop.get());
    }
    pa_threaded_mainloop_get_api(m_loop.get())->time_free(event);
    return done();
}

bool PulseConnection::finishLocked(pa_operation* operation)
{
    pa_operation_set_state_callback(operation, &signalLoop, m_loop.get());
    return waitLocked([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }) &&
           pa_operation_get_state(operation) == PA_OPERATION_DONE;
}
