#pragma once

#include "platform/Clock.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>

class PulseConnection;

// One audio input as the engine sees it.
struct AudioInputDevice {
    // A number for the row, stable for the life of the process: the same `uid` always gets the
    // same id, and two different uids never share one.
    quint32 id = 0;
    // The sound server's name of the source, stable while it is present; what the engine stores
    // and opens capture with.
    QString uid;
    // The device's description; "Input " + id when the server gives none.
    QString name;
    // Input channels, at least 1.
    int channelCount = 1;
    // One entry per input channel: the name of its position ("Front Left"), "" where the server
    // gives only a number (the inputs of a pro interface).
    QStringList channelNames;
    // The system's default input.
    bool isDefault = false;

    friend bool operator==(const AudioInputDevice&, const AudioInputDevice&) = default;
};

// The sound server's inputs, in its order, and a signal when that list changes. Monitors of
// outputs are not inputs and are left out. When the server is unreachable or goes away the list
// is empty, and a connection is tried again every few seconds (on `clock`'s timers).
// Main thread only.
class AudioDevices : public QObject {
    Q_OBJECT
public:
    explicit AudioDevices(QObject* parent = nullptr, Clock* clock = nullptr);
    ~AudioDevices() override;

    static constexpr std::chrono::milliseconds kRetryInterval{3000};

    // The inputs now present (devices without input channels are left out). Empty when there is
    // no sound server or no input.
    [[nodiscard]] QList<AudioInputDevice> list() const;
    // The entry of `list()` that is the default input; nullopt when there is none.
    [[nodiscard]] std::optional<AudioInputDevice> defaultInput() const;

    // Replaces the system's list with `devices` (tests, the demo): `list()` then returns exactly
    // them, and `devicesChanged` is emitted; nullopt goes back to the system's list (and emits).
    // While simulated, changes of the system's list are not reported.
    void setSimulatedDevices(std::optional<QList<AudioInputDevice>> devices);

    // The row id for a device uid (see AudioInputDevice::id). Thread-safe.
    [[nodiscard]] static quint32 idForUid(const QString& uid);

Q_SIGNALS:
    // The list of inputs or the default input changed.
    void devicesChanged();

private:
    void connectToServer();
    // Connection thread: asks the main thread to read the list again, once however many ask.
    void scheduleSync();
    // Reads the list when connected (an empty one when not) and reports a change.
    void sync();

    std::unique_ptr<Clock::Timer> m_retry;
    QList<AudioInputDevice> m_system;
    std::optional<QList<AudioInputDevice>> m_simulated;
    std::atomic<bool> m_syncQueued = false;
    bool m_watching = false;
    std::unique_ptr<PulseConnection> m_connection;
};
