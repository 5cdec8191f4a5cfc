#include "platform/AudioDevices.h"

#include "platform/AudioCapture.h"

#include <QAudioDevice>
#include <QHash>
#include <QMediaDevices>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds kPollInterval{1000};

// The channels a device delivers natively. The sound server reports its own limit as the
// maximum for every device, so the preferred format's count is the device's own.
int inputChannels(const QAudioDevice& device)
{
    const int preferred = device.preferredFormat().channelCount();
    if (preferred > 0) {
        return std::min(preferred, AudioCaptureSource::kMaxChannels);
    }
    return std::clamp(device.maximumChannelCount(), 0, AudioCaptureSource::kMaxChannels);
}

} // namespace

AudioDevices::AudioDevices(QObject* parent) : QObject(parent), m_media(new QMediaDevices(this))
{
    m_seen = systemSnapshot();
    connect(m_media, &QMediaDevices::audioInputsChanged, this, &AudioDevices::checkForChange);
    // The sound server's backend updates its list without always emitting the change: look.
    auto* poll = new QTimer(this);
    poll->setInterval(kPollInterval);
    connect(poll, &QTimer::timeout, this, &AudioDevices::checkForChange);
    poll->start();
}

QList<QByteArray> AudioDevices::systemSnapshot()
{
    QList<QByteArray> snapshot{QMediaDevices::defaultAudioInput().id()};
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& input : inputs) {
        snapshot.append(input.id());
    }
    return snapshot;
}

void AudioDevices::checkForChange()
{
    QList<QByteArray> now = systemSnapshot();
    if (now == m_seen) {
        return;
    }
    m_seen = std::move(now);
    if (!m_simulated) {
        Q_EMIT devicesChanged();
    }
}

AudioDevices::~AudioDevices() = default;

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
    if (m_simulated) {
        return *m_simulated;
    }
    QList<AudioInputDevice> devices;
    // The sound server's list does not always flag its default; the default query does.
    const QByteArray defaultId = QMediaDevices::defaultAudioInput().id();
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    for (const QAudioDevice& input : inputs) {
        const int channels = inputChannels(input);
        if (channels < 1) {
            continue;
        }
        AudioInputDevice device;
        device.uid = QString::fromUtf8(input.id());
        device.id = idForUid(device.uid);
        if (device.uid.isEmpty()) {
            device.uid = QString::number(device.id);
        }
        device.name = input.description().trimmed();
        if (device.name.isEmpty()) {
            device.name = QStringLiteral("Input %1").arg(device.id);
        }
        device.channelCount = channels;
        device.channelNames = QStringList(channels, QString());
        device.isDefault = input.isDefault() || (!defaultId.isEmpty() && input.id() == defaultId);
        devices.append(device);
    }
    return devices;
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
