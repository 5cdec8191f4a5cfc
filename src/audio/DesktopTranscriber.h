#pragma once

#include "audio/ChannelConfig.h"
#include "audio/ChannelScan.h"
#include "audio/ChannelSettings.h"
#include "audio/EngineStatus.h"
#include "audio/ScanKind.h"
#include "audio/StreamRequest.h"
#include "audio/TranscriptBook.h"
#include "audio/TranscriptStream.h"
#include "model/DisplaySegment.h"
#include "platform/AudioDevices.h"
#include "platform/Clock.h"
#include "platform/Date.h"
#include "platform/MonitorSink.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class APIService;
class AudioCaptureSource;
class CaptureSession;
class Defaults;
class DemoPlayer;
class KeywordAlerts;
class SoundEventDetector;
class StreamSet;
class TranscriptQueries;

// What the engine is built on, so a test can put generated audio, scripted streams and its own
// clock in place of the real ones. Empty members take the application's own.
struct TranscriberEnvironment {
    using CaptureFactory = std::function<std::unique_ptr<AudioCaptureSource>()>;
    using StreamFactory = ::StreamFactory;
    using MonitorSinkFactory = std::function<std::unique_ptr<MonitorSink>()>;

    // The user defaults (Defaults::shared()).
    Defaults* defaults = nullptr;
    // The input device list; the engine makes its own when none is given. Must outlive it.
    AudioDevices* devices = nullptr;
    // A capture source for the chosen device (a PulseCaptureSource).
    CaptureFactory makeCapture;
    // A stream for a channel (a ChannelStream on `service`). Called on the main thread; a null
    // result leaves the channel without a stream.
    StreamFactory makeStream;
    // The headphone output for the monitored channel (a DeviceMonitorSink on the default output).
    MonitorSinkFactory makeMonitorSink;
    // The service the default cloud streams talk to (APIService::shared()).
    APIService* service = nullptr;
    // The time and every timer of the engine, its capture pacing and its streams
    // (Clock::system()). Must outlive the engine.
    Clock* clock = nullptr;
    // Whether on-device transcription exists here; watch-only channels use it when it does.
    // Unset: when the on-device model is installed (OnDeviceModel::isAvailable).
    std::optional<bool> onDeviceAvailable;
    // How long a first run on a device with fresh settings listens before it mutes the
    // channels that stayed silent.
    int silenceCheckDelayMs = 6000;
    // How long a channel scan listens.
    int scanDurationMs = 8000;
    // The demo shoot's pace: a script line, a meter move, a scanned channel, the scan's settling.
    int demoLineIntervalMs = 3200;
    int demoLevelIntervalMs = 80;
    int demoScanStepMs = 900;
    int demoScanSettleMs = 400;
    // Uniform in [0, 1): the demo meters' wobble (QRandomGenerator::global()).
    std::function<double()> random;
};

// The audio and transcription engine of one logging screen: the input devices, the per-device
// channel settings, the capture of every channel of the chosen device, one transcription stream
// per live channel, and the merged transcript they produce, with keyword hits and the queries
// that pick transcript text for a marked moment.
//
// Built of components that each own their state: ChannelSettings (the mixer), CaptureSession
// (the input, its meters and the monitor), StreamSet (the streams and their merge into the
// book), ChannelScan, DemoPlayer, KeywordAlerts and TranscriptQueries. The engine itself keeps
// the device list and choice, the run (its state, start time and key) and the published texts,
// and decides what one component's news means for the others.
//
// Main thread only; every callback it hands to capture and streams comes back there and does
// nothing once the engine is gone. Problems are reported as texts: run-state problems in
// `status`, one-off messages in `notice`. The owner stops the engine before dropping it.
class DesktopTranscriber final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString latestLine READ latestLine NOTIFY latestLineChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    Q_PROPERTY(bool scanning READ scanning NOTIFY scanningChanged)
    Q_PROPERTY(double scanProgress READ scanProgress NOTIFY scanProgressChanged)

public:
    using ChannelConfig = ::ChannelConfig;
    using DisplaySegment = ::DisplaySegment;
    using Word = ::Word;
    using ScanKind = ::ScanKind;
    using Environment = TranscriberEnvironment;
    using KeywordHandler = std::function<void(int channel, const QString& keyword, const DisplaySegment& line)>;

    // User defaults: the chosen input's uid (absent for the system default), and per device uid
    // the JSON array of its channel settings.
    static inline const QString kInputDeviceKey = QStringLiteral("pindle_log_input_device");
    static inline const QString kChannelsKeyPrefix = ChannelSettings::kKeyPrefix;
    [[nodiscard]] static QString channelsKey(const QString& uid) { return kChannelsKeyPrefix + uid; }

    // Channels below this peak level (1/12, about -55 dB) in the first seconds of a run on a
    // device with fresh settings are muted.
    static constexpr float kSilentPeak = 1.0f / 12.0f;

    explicit DesktopTranscriber(Environment environment = {}, QObject* parent = nullptr);
    ~DesktopTranscriber() override;

    // --- published state ---
    // The newest update of any stream (possibly interim).
    [[nodiscard]] const QString& latestLine() const { return m_latestLine; }
    // The whole transcript, one "speaker: text" (or text) per line, joined by newlines.
    [[nodiscard]] QString fullTranscript() const;
    // The merged transcript, in moment order.
    [[nodiscard]] const QList<DisplaySegment>& segments() const { return m_book.rows(); }
    // The same with its row-level change signals.
    [[nodiscard]] const TranscriptBook& transcript() const { return m_book; }
    [[nodiscard]] const QString& status() const { return m_statusText; }
    // What `status` says, as the kind a caller can decide on (never the text).
    [[nodiscard]] EngineStatus::Kind statusKind() const { return m_status.kind; }
    // Capture is open and transcription runs.
    [[nodiscard]] bool running() const { return m_running; }
    [[nodiscard]] const QList<AudioInputDevice>& devices() const { return m_devices; }
    // nullopt stands for the system's default input.
    [[nodiscard]] const std::optional<QString>& deviceUID() const { return m_deviceUID; }
    // One per input channel of the chosen device; empty for fewer than 3 inputs (a single
    // microphone). While running, those of the device being captured, even when the default
    // input has moved on meanwhile (they follow it at the stop).
    [[nodiscard]] const QList<ChannelConfig>& channels() const { return m_settings->channels(); }
    // Meter level per channel, 0...1.
    [[nodiscard]] const QList<float>& levels() const;
    [[nodiscard]] const std::optional<QString>& notice() const { return m_notice; }
    // The banner's Dismiss passes nullopt; the screen writes its own one-off messages.
    void setNotice(const std::optional<QString>& notice);
    [[nodiscard]] const QMap<int, ScanKind>& scanResults() const { return m_scan->results(); }
    [[nodiscard]] bool scanning() const { return m_scan->scanning(); }
    [[nodiscard]] double scanProgress() const { return m_scan->progress(); }
    [[nodiscard]] std::optional<int> scanFocus() const { return m_scan->focus(); }
    // The channel played to the output.
    [[nodiscard]] std::optional<int> monitorChannel() const;
    // Whether the monitored channel is being played right now.
    [[nodiscard]] bool monitorPlaying() const;

    // --- written by the logging screen ---
    // Handed to every stream opened from now on.
    [[nodiscard]] const std::optional<QString>& shootToken() const { return m_shootToken; }
    void setShootToken(const std::optional<QString>& token) { m_shootToken = token; }
    // Called when the service refuses with "shoot_ended" or "shoot_required".
    std::function<void()> onShootEnded;
    [[nodiscard]] const QStringList& keywords() const;
    // Compiles the list; the next merge looks at every line again for the new words.
    void setKeywords(const QStringList& keywords);
    // A keyword hit: the line's channel, the keyword as stored, the line. Once per line.
    void setOnKeyword(KeywordHandler handler);
    [[nodiscard]] const QSet<QString>& alertedLines() const;

    // Time 0 of every stream and of every line's seconds: when capture last opened.
    [[nodiscard]] Date engineStart() const { return m_engineStart; }
    // The key of the current (or last) run, whole seconds since 1970 of its start, strictly
    // greater than the previous run's so that two runs within a second never share line keys.
    // 0 before the first run.
    [[nodiscard]] qint64 runKey() const { return m_runKey; }

    // --- devices and channel settings ---
    // Chooses the input (nullopt: the system default), stores the choice, and restarts a run. A
    // channel scan under way ends without verdicts.
    void selectDevice(const std::optional<QString>& uid);
    // The chosen device, or the default input when none is chosen; nullopt when not present.
    [[nodiscard]] std::optional<AudioInputDevice> currentDevice() const;
    // Reads the device list again ("Refresh inputs").
    void refreshDevices();
    // 1 for a single microphone, else the number of live channels.
    [[nodiscard]] int liveChannelCount() const;

    // --- runs ---
    void start();
    // Ends the run; the transcript stays on screen until the next start. A channel scan listening
    // along loses its input: it ends without verdicts.
    void stop();
    void setOn(int index, bool on);
    void setFader(int index, double value);
    void setHidden(int index, bool hidden);
    void setAgent(int index, bool agent);
    // A blank name gives the channel its default name back.
    void renameChannel(int index, const QString& name);

    // The open stream of a channel (-1: the single microphone); null when none.
    [[nodiscard]] std::shared_ptr<TranscriptStream> stream(int index) const;
    // Channels with an open stream, ascending.
    [[nodiscard]] QList<int> openStreamChannels() const;

    // --- demo shoot ---
    // Plays the scripted pretend shoot on `channelCount` pretend channels (6 when none, clamped
    // to 6...32): a line every few seconds, moving meters and a pretend channel scan. Nothing is
    // captured, sent or saved: the pretend mixer lives in memory only and the real device's
    // stored settings stay as they are. Does nothing while running; stop() ends it.
    void startDemo(std::optional<int> channelCount = std::nullopt);
    // The demo was started on this engine (never cleared): streams are never opened, Start plays
    // the demo again, scans are pretend and the transcript time comes from the demo's lines.
    [[nodiscard]] bool isDemo() const;
    // Script lines played in the current (or last) demo, skipped ones included.
    [[nodiscard]] qint64 demoLinesPlayed() const;

    // --- channel scan ---
    // Listens to every channel for a while, judges each one and mutes those without usable
    // speech. Opens the input itself when idle. Nothing happens for a single microphone or while
    // a scan runs. A scan belongs to the device it listens to: when its input changes, closes or
    // is lost before the end, it judges nothing and the notice says so.
    void scanChannels();
    // Steps of a scan: the progress bar and the sweeping pin move this many times.
    static constexpr int kScanSteps = ChannelScan::kSteps;
    // The verdicts for `indices` from their dB and zero-crossing-rate series (one series per
    // device channel); an index without a dB series gets none.
    [[nodiscard]] static QMap<int, ScanKind> classifyScan(const QList<QList<float>>& db, const QList<QList<float>>& zcr,
                                                          const QList<int>& indices);
    // Pearson correlation of the common length of two series; 0 below 5 values or when either
    // is flat.
    [[nodiscard]] static float scanCorrelation(const QList<float>& a, const QList<float>& b);

    // --- headphone monitoring ---
    // Plays `channel` (nullopt: none) to the output while capture is open; the choice survives
    // a stop and playback resumes with the next start.
    void setMonitorChannel(std::optional<int> channel);

    // --- transcript queries (seconds since engineStart) ---
    // The newest word end any open stream knows; nullopt before the first word.
    [[nodiscard]] std::optional<double> currentTranscriptTime() const;
    // The timed lines of the last `seconds`, else the newest words still in progress.
    [[nodiscard]] QString recentText(double seconds) const;
    // The lines ending in (t - window, t], one per line.
    [[nodiscard]] QString textInWindow(double t, double window) const;

    // The sound-cue detector of the input; the screen sets its onEvent.
    [[nodiscard]] SoundEventDetector& soundDetector();

Q_SIGNALS:
    void latestLineChanged();
    void fullTranscriptChanged();
    // After every change of `segments` (the book has the row-level detail).
    void segmentsChanged();
    void statusChanged();
    void runningChanged();
    void devicesChanged();
    void deviceUIDChanged();
    void channelsChanged();
    void levelsChanged();
    void noticeChanged();
    void scanResultsChanged();
    void scanningChanged();
    void scanProgressChanged();
    void scanFocusChanged();
    void monitorChannelChanged();
    // A new multi-channel interface was chosen on arrival and wants its channels scanned.
    void channelScanRequested();

private:
    [[nodiscard]] Date now() const;
    void setStatus(const EngineStatus& status);
    void setRunning(bool running);
    void setLatestLine(const QString& line);
    void wireParts();

    // Devices and settings (DesktopTranscriber.cpp).
    void handleDeviceListChange();
    void loadChannels();
    // Makes `index`'s stream follow an edit that may have made the channel live or dead
    // (`wasLive`: before the edit), or one that may have moved it on or off this machine.
    void followLiveness(int index, bool wasLive);
    void followRouting(int index);

    // Runs and capture (DesktopTranscriberRun.cpp).
    void beginCapture();
    // The device a capture opened now would record: the chosen one, else the default input.
    [[nodiscard]] std::optional<AudioInputDevice> captureTarget() const;
    [[nodiscard]] bool openCapture(bool forScan);
    void closeCapture();
    void captureLost(const QString& reason);
    // The next run's key, strictly above the last one.
    void advanceRunKey();
    void scheduleSilenceCheck();
    void muteSilentChannels(quint64 run);
    void startMonitorPlayback();

    // Streams (DesktopTranscriberStreams.cpp).
    void openStream(int index, const std::optional<QString>& label, float gain);
    [[nodiscard]] bool usesOnDevice(int index) const;
    void rebuildTranscript();
    void streamMerged(const QStringList& touched, const QString& text);
    void handleRefusal(const QString& code);

    // Channel scan (DesktopTranscriberScan.cpp).
    void finishScan();
    void applyScanResults();
    // Drops a scan under way without judging (its pending steps do nothing), closing the
    // capture it opened.
    void cancelScan();
    // Ends a real scan whose input closes or changes under it: nothing is judged, and the notice
    // says why (`why` is a sentence). A pretend scan goes on.
    void abandonScan(const QString& why);

    // Demo shoot (DesktopTranscriberDemo.cpp).
    void demoLine(const DisplaySegment& line);

    void transcriptChanged();

    Environment m_env;
    Clock& m_clock;
    Defaults& m_defaults;
    AudioDevices* m_deviceSource = nullptr;
    TranscriptBook m_book;
    // The components, in the order they are built: later ones read earlier ones.
    std::unique_ptr<ChannelSettings> m_settings;
    std::unique_ptr<CaptureSession> m_session;
    std::unique_ptr<StreamSet> m_streams;
    std::unique_ptr<ChannelScan> m_scan;
    std::unique_ptr<DemoPlayer> m_demo;
    std::unique_ptr<KeywordAlerts> m_keywords;
    std::unique_ptr<TranscriptQueries> m_queries;

    QString m_latestLine;
    EngineStatus m_status;
    QString m_statusText;
    bool m_running = false;
    QList<AudioInputDevice> m_devices;
    std::optional<QString> m_deviceUID;
    std::optional<QString> m_notice;

    std::optional<QString> m_shootToken;
    Date m_engineStart;
    qint64 m_runKey = 0;
    bool m_hadRun = false;
    // Bumped at every start, so a silence check of an earlier run does nothing.
    quint64 m_runGeneration = 0;
};
