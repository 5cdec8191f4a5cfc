#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <pulse/channelmap.h>
#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// Owning handles for the sound server's client library. Operations and streams belong to a
// connection's loop: release them with its lock held (PulseLock).
struct PulseOperationRelease {
    // A running operation is cancelled first, so its callback never sees the caller's gone state.
    void operator()(pa_operation* operation) const;
};
struct PulseStreamRelease {
    void operator()(pa_stream* stream) const;
};
using PulseOperationPtr = std::unique_ptr<pa_operation, PulseOperationRelease>;
using PulseStreamPtr = std::unique_ptr<pa_stream, PulseStreamRelease>;

// Holds a connection's loop lock for its scope. Callbacks run with it held, so while a thread
// holds it none of them is running.
class PulseLock {
public:
    explicit PulseLock(pa_threaded_mainloop* loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~PulseLock() { pa_threaded_mainloop_unlock(m_loop); }
    PulseLock(const PulseLock&) = delete;
    PulseLock& operator=(const PulseLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

// A recording source as the sound server describes it.
struct PulseSource {
    // The server's name for it, stable while the device is present: what capture opens.
    QString name;
    QString description;
    double sampleRate = 0.0;
    int channelCount = 0;
    // The source's own channel order; recording with it keeps the server from remixing.
    pa_channel_map channelMap{};
    // Per channel, the name of its position ("Front Left"); "" for a position that is only a
    // number (auxN), which would otherwise read one below the interface's own input number.
    QStringList channelNames;
    // It records what a sink plays: not an input.
    bool isMonitor = false;
};

// One connection to the sound server (PulseAudio, or PipeWire's server for its clients), with
// the library's loop on a thread of its own. Use from one thread (the owner's); callbacks and
// hooks run on the connection's thread with the lock held.
//
// Every wait is bounded, so a server that hangs costs at most kTimeout per call, never a hang.
class PulseConnection {
public:
    static constexpr std::chrono::milliseconds kTimeout{2000};

    // Starts connecting to the server the environment names (PULSE_SERVER, else the session's);
    // never starts a server. `threadName` names the loop's thread.
    explicit PulseConnection(const char* threadName);
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Waits until connected, at most kTimeout; false (with `error`) when not.
    [[nodiscard]] bool waitForReady();
    [[nodiscard]] bool isReady() const;
    // Why connecting failed, one sentence.
    [[nodiscard]] QString error() const { return m_error; }

    // Runs on the connection's thread, lock held, whenever the connection's state changes
    // (ready, failed because the server went away).
    void setOnStateChange(std::function<void()> hook);
    // Subscribes to changes of the sources and of the server (its default source); `onChange`
    // runs on the connection's thread, lock held. False when the server did not confirm.
    [[nodiscard]] bool watchSources(std::function<void()> onChange);

    // The server's sources, in its order; nullopt when it did not answer.
    [[nodiscard]] std::optional<QList<PulseSource>> sources();
    // The default source's name ("" when there is none); nullopt when the server did not answer.
    [[nodiscard]] std::optional<QString> defaultSourceName();

    [[nodiscard]] pa_threaded_mainloop* mainloop() const { return m_loop.get(); }
    [[nodiscard]] pa_context* context() const { return m_context.get(); }
    // Lock held, not on the connection's thread: waits until `done` holds, the connection fails
    // or `timeout` passes, and returns `done()`.
    bool waitLocked(const std::function<bool()>& done, std::chrono::milliseconds timeout = kTimeout);
    // Lock held: waits for `operation` to finish; true when it completed in time. The caller's
    // PulseOperationPtr cancels one that did not.
    [[nodiscard]] bool finishLocked(pa_operation* operation);
    // The library's message for the connection's last error.
    [[nodiscard]] QString lastError() const;

private:
    struct LoopFree {
        void operator()(pa_threaded_mainloop* loop) const { pa_threaded_mainloop_free(loop); }
    };
    struct ContextRelease {
        void operator()(pa_context* context) const;
    };
    static void stateChanged(pa_context* context, void* self);
    static void subscribed(pa_context* context, pa_subscription_event_type_t event, uint32_t index, void* self);

    std::unique_ptr<pa_threaded_mainloop, LoopFree> m_loop;
    std::unique_ptr<pa_context, ContextRelease> m_context;
    std::function<void()> m_onStateChange;
    std::function<void()> m_onSourcesChange;
    QString m_error;
};
