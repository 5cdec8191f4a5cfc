#include "platform/AudioDevices.h"

#include "platform/AudioCapture.h"
#include "platform/PulseConnection.h"

#include <QHash>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>

namespace {

const char* const kThreadName = "pindle-devices";

// The inputs among the server's sources, in its order.
QList<AudioInputDevice> inputsFrom(const QList<PulseSource>& sources, const QString& defaultName)
{
    QList<AudioInputDevice> devices;
    for (const PulseSource& source : sources) {
        const int channels = std::min(source.channelCount, AudioCaptureSource::kMaxChannels);
        // A monitor records what an output plays: nobody picks it as a microphone.
        if (source.isMonitor || channels < 1) {
            continue;
        }
        AudioInputDevice device;
        device.id = AudioDevices::idForUid(source.name);
        device.uid = source.name.isEmpty() ? QString::number(device.id) : source.name;
        device.name = source.description.isEmpty() ? QStringLiteral("Input %1").arg(device.id) : source.description;
        device.channelCount = channels;
        device.channelNames = source.channelNames.mid(0, channels);
        device.isDefault = !defaultName.isEmpty() && source.name == defaultName;
        devices.append(device);
    }
    return devices;
}

} // namespace

AudioDevices::AudioDevices(QObject* parent, Clock* clock) : QObject(parent)
{
    m_retry = Clock::orSystem(clock).makeTimer([this] {
        if (!m_connection->isReady()) {
            connectToServer();
        }
        sync();
    });
    connectToServer();
    // The engine reads the list as soon as it is built: the first one is there on return.
    (void)m_connection->waitForReady();
    sync();
}

AudioDevices::~AudioDevices()
{
    // The connection's thread goes first, so no hook runs into a half-destroyed object.
    m_connection.reset();
}

void AudioDevices::connectToServer()
{
    m_watching = false;
    m_connection = std::make_unique<PulseConnection>(kThreadName);
    m_connection->setOnStateChange([this] { scheduleSync(); });
    // It may have come up before the hook was there.
    scheduleSync();
}

void AudioDevices::scheduleSync()
{
    if (!m_syncQueued.exchange(true)) {
        QMetaObject::invokeMethod(
            this, [this] { sync(); }, Qt::QueuedConnection);
    }
}

void AudioDevices::sync()
{
    m_syncQueued = false;
    std::optional<QList<PulseSource>> sources;
    std::optional<QString> defaultName;
    if (m_connection->isReady()) {
        if (!m_watching) {
            m_watching = m_connection->watchSources([this] { scheduleSync(); });
        }
        if (m_watching) {
            sources = m_connection->sources();
            defaultName = sources ? m_connection->defaultSourceName() : std::nullopt;
        }
    }
    const bool listed = sources && defaultName;
    if (listed) {
        m_retry->stop();
    } else if (!m_retry->isActive()) {
        m_retry->start(kRetryInterval);
    }
    QList<AudioInputDevice> now = listed ? inputsFrom(*sources, *defaultName) : QList<AudioInputDevice>{};
    if (now == m_system) {
        return;
    }
    m_system = std::move(now);
    if (!m_simulated) {
        Q_EMIT devicesChanged();
    }
}

quint32 AudioDevices::idForUid(const QString& uid)
{
    static QMutex mutex;
    static QHash<QString, quint32> ids;
    QMutexLocker locker(&mutex);
    const auto found = ids.constFind(uid);
    if (found != ids.constEnd()) {
        return *found;
    }
    // Numbering from 1 leaves 0 free as "no device".
    const auto id = static_cast<quint32>(ids.size() + 1);
    ids.insert(uid, id);
    return id;
}

QList<AudioInputDevice> AudioDevices::list() const
{
    return m_simulated ? *m_simulated : m_system;
}

std::optional<AudioInputDevice> AudioDevices::defaultInput() const
{
    const QList<AudioInputDevice> devices = list();
    const auto found =
        std::find_if(devices.cbegin(), devices.cend(), [](const AudioInputDevice& d) { return d.isDefault; });
    if (found == devices.cend()) {
        return std::nullopt;
    }
    return *found;
}

void AudioDevices::setSimulatedDevices(std::optional<QList<AudioInputDevice>> devices)
{
    m_simulated = std::move(devices);
    Q_EMIT devicesChanged();
}
