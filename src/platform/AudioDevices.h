#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QMediaDevices;

// One audio input as the engine sees it.
struct AudioInputDevice {
    // A number for the row, stable for the life of the process: the same `uid` always gets the
    // same id, and two different uids never share one.
    quint32 id = 0;
    // The sound server's persistent id of the device (QAudioDevice::id()); what the engine stores
    // and opens capture with.
    QString uid;
    // The device's description; "Input " + id when the server gives none.
    QString name;
    // Input channels, at least 1.
    int channelCount = 1;
    // One entry per input channel. The sound server names no single inputs, so every entry is "".
    QStringList channelNames;
    // The system's default input.
    bool isDefault = false;

    friend bool operator==(const AudioInputDevice&, const AudioInputDevice&) = default;
};

// The system's audio inputs, in the system's order, and a signal when that list changes.
// Main thread only.
class AudioDevices : public QObject {
    Q_OBJECT
public:
    explicit AudioDevices(QObject* parent = nullptr);
    ~AudioDevices() override;

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
    // The list of inputs or the default input changed (noticed within about a second).
    void devicesChanged();

private:
    // The default input's id, then every input's id.
    static QList<QByteArray> systemSnapshot();
    void checkForChange();

    QMediaDevices* m_media = nullptr;
    QList<QByteArray> m_seen;
    std::optional<QList<AudioInputDevice>> m_simulated;
};
