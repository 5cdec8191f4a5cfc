#pragma once

#include "platform/AudioCapture.h"
#include "platform/AudioDevices.h"
#include "platform/Clock.h"
#include "platform/MonitorSink.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CapturePath;
class SoundEventDetector;

// The input of a run or of a channel scan: the capture of one device and everything fed from it
// on the capture thread (the capture path with its meters and stream table, the sound-cue
// detector, the headphone monitor). It owns which device it records, under which name, and who
// opened it, so that nothing records one device under another's name; the meter levels; and the
// monitored channel, a choice that outlives the capture. Main thread only; the capture's
// callbacks come back here and do nothing once the session is gone.
class CaptureSession final : public QObject {
    Q_OBJECT

public:
    using CaptureFactory = std::function<std::unique_ptr<AudioCaptureSource>()>;
    using MonitorSinkFactory = std::function<std::unique_ptr<MonitorSink>()>;

    enum class Opener { Run, Scan };
    enum class Outcome {
        Opened,
        // The factory gave no source.
        NoSource,
        // The device would not open.
        Refused,
        // The device opened but would not start.
        NotStarted,
    };

    // Empty factories take a PulseCaptureSource and a DeviceMonitorSink.
    CaptureSession(CaptureFactory makeCapture, MonitorSinkFactory makeMonitorSink, Clock& clock,
                   QObject* parent = nullptr);
    ~CaptureSession() override;

    [[nodiscard]] bool isOpen() const { return m_source != nullptr; }
    // The device being recorded (nullopt also for the default input of an unknown uid).
    [[nodiscard]] const std::optional<QString>& uid() const { return m_uid; }
    // The name of the device last opened, for texts; kept after the close.
    [[nodiscard]] const QString& name() const { return m_name; }
    // A scan opened the capture and closes it at its end, unless a run takes it over.
    [[nodiscard]] bool openedByScan() const { return isOpen() && m_opener == Opener::Scan; }
    void handOverToRun() { m_opener = Opener::Run; }
    [[nodiscard]] std::optional<CaptureFormat> format() const;

    [[nodiscard]] CapturePath& path() { return *m_path; }
    [[nodiscard]] const CapturePath& path() const { return *m_path; }
    [[nodiscard]] SoundEventDetector& soundDetector() { return *m_soundDetector; }

    // Opens and starts the capture of `target` (nullopt: the system's default input), replacing
    // any open one. `opened` runs once the device is open, before its audio flows. `metering`:
    // the path gathers meters, peaks and scan series (a device with channel settings).
    Outcome open(const std::optional<AudioInputDevice>& target, Opener opener, bool metering,
                 const std::function<void(const CaptureFormat&)>& opened = {});
    // Stops monitoring and the capture (waiting for the capture thread), and the hooks it fed.
    void close();
    // The open capture's source only, when the session goes away.
    void stopCapture();
    // The device was lost while open (on a later turn of the event loop than the loss itself).
    std::function<void(const QString& reason)> onLost;

    // Meter level per device channel, 0...1; levels from the capture arrive while it is open.
    [[nodiscard]] const QList<float>& levels() const { return m_levels; }
    void setLevels(const QList<float>& levels);
    // The meters at rest, as many as there are.
    void zeroLevels();

    [[nodiscard]] std::optional<int> monitorChannel() const { return m_monitorChannel; }
    // Gives whether the choice changed.
    bool setMonitorChannel(std::optional<int> channel);
    [[nodiscard]] bool monitorPlaying() const { return m_monitorSink != nullptr; }
    // Plays the chosen channel while the capture is open. Gives why the output refused, if so.
    [[nodiscard]] std::optional<QString> startMonitor();
    void stopMonitor();

Q_SIGNALS:
    void levelsChanged();
    void monitorChannelChanged();

private:
    CaptureFactory m_makeCapture;
    MonitorSinkFactory m_makeMonitorSink;
    Clock& m_clock;
    // Declared before the capture source: the source's buffers go into the path, so the source
    // must be gone first.
    std::unique_ptr<CapturePath> m_path;
    // Shared with the capture hook, so a late buffer never reaches a destroyed detector.
    std::shared_ptr<SoundEventDetector> m_soundDetector;
    std::unique_ptr<AudioCaptureSource> m_source;
    std::optional<QString> m_uid;
    QString m_name;
    Opener m_opener = Opener::Run;
    QList<float> m_levels;
    std::optional<int> m_monitorChannel;
    // The headphone output and what the capture thread hands it; both set while it plays.
    std::unique_ptr<MonitorSink> m_monitorSink;
    std::shared_ptr<MonitorQueue> m_monitorQueue;
};
