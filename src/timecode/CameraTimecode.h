#pragma once

#include "platform/Clock.h"
#include "platform/Date.h"

#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <variant>

class Defaults;

// The one camera clock: turns a wall-clock moment into the camera's timecode text
// ("HH:MM:SS:FF", ";" before the frames in drop-frame) so entries, synced markers and exports
// line up with the rushes.
class CameraTimecode : public QObject {
    Q_OBJECT
public:
    // A camera frame-rate format. Labels count frames 0 … base − 1 within a timecode second.
    struct Format {
        int base = 25;          // 24, 25, 30, 48, 50 or 60
        bool pulldown = false;  // real rate is base × 1000 / 1001
        bool dropFrame = false; // SMPTE drop-frame labels (30 and 60 only)

        [[nodiscard]] double rate() const;
        [[nodiscard]] QString storageString() const;
        [[nodiscard]] static std::optional<Format> fromStorage(const QString& text);
        [[nodiscard]] QString label() const;
        // Frame count since 00:00:00:00 named by a timecode text; nullopt when it is not one.
        // Pieces between ":", ";" or "." that are not ASCII integers are skipped; exactly four
        // must remain, none negative or too large to read.
        [[nodiscard]] std::optional<qint64> parseFrames(QStringView text) const;
        // Timecode text of a frame count, wrapped into one day (negative counts included).
        [[nodiscard]] QString formatFrames(qint64 frames) const;
        // Frames in one day of labels at this format; 0 for a base below 1, which names no
        // frames (nothing parses, every count formats as 00:00:00:00).
        [[nodiscard]] qint64 framesPerDay() const;

        friend bool operator==(const Format&, const Format&) = default;
    };

    // The formats offered by the frame-rate menu, in menu order.
    static const QList<Format>& menuFormats();

    struct MacClock {
        friend bool operator==(const MacClock&, const MacClock&) = default;
    };
    struct Camera {
        Date scannedAt;
        bool viaPhone = false;
        friend bool operator==(const Camera&, const Camera&) = default;
    };
    using Source = std::variant<Camera, MacClock>;

    struct Waiting {
        int pushed = 0;
        friend bool operator==(const Waiting&, const Waiting&) = default;
    };
    struct Failed {
        QString message;
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    struct Idle {
        friend bool operator==(const Idle&, const Idle&) = default;
    };
    using ScanState = std::variant<Waiting, Failed, Idle>;

    // What the phone reported for a finished scan. Absent fields take the clock's fallbacks: the
    // current format, the moment the report is applied, the current time zone.
    struct ScanResult {
        std::optional<QString> cameraTC;
        std::optional<QString> tcFormat; // a format storage text
        std::optional<Date> seenAt;
        std::optional<int> tzOffsetMinutes; // east of GMT
        // False when the report carried a number the clock cannot use (out of range, not whole);
        // such a report fails like an unreadable timecode.
        bool readable = true;
    };

    // Runs phone scans through the service, which lives in a layer above the clock. The clock
    // numbers every scan; the backend reports back through the reportScan… members with that
    // number, and the clock drops any report of a scan that was cancelled, replaced or has ended.
    class ScanBackend {
    public:
        virtual ~ScanBackend() = default;
        virtual void startScan(CameraTimecode& clock, quint64 scan) = 0;
        // Stops scan `scan` if it is still running; nothing more is reported for it.
        virtual void cancelScan(quint64 scan) = 0;
    };

    // The canned scan of the demo shoot: the phone is alerted after `ask`, and reads the camera
    // `read` later.
    struct DemoScanTiming {
        std::chrono::milliseconds ask{1000};
        std::chrono::milliseconds read{3500};
    };

    // Time-zone offsets beyond ±18 h name no zone.
    static constexpr int kMaxTzOffsetMinutes = 18 * 60;
    static constexpr char kUnreadableScanMessage[] = "The phone sent a timecode the logger couldn't read.";
    static constexpr char kNoScanServiceMessage[] = "Couldn't reach Pindle: phone scans are not set up.";

    // `defaults` holds the stored format; the shared clock uses Defaults::shared(). `clock` gives
    // the present moment and runs the demo scan (Clock::system() when null); it must outlive this.
    explicit CameraTimecode(Defaults& defaults, Clock* clock = nullptr, QObject* parent = nullptr);
    static CameraTimecode& shared();

    // The time this camera clock reads the present from; scan backends wait on it too.
    [[nodiscard]] Clock& timeSource() const { return m_clock; }

    [[nodiscard]] const Format& format() const { return m_format; }
    [[nodiscard]] const Source& source() const { return m_source; }
    [[nodiscard]] const ScanState& scan() const { return m_scan; }
    [[nodiscard]] double offsetFrames() const { return m_offsetFrames; }
    [[nodiscard]] int tzOffsetSeconds() const { return m_tzOffsetSeconds; }

    // Direct writers (the timecode panel sets these, then publishes the source).
    // An offset that is not finite counts as 0.
    void setOffsetFrames(double frames);
    void setTzOffsetSeconds(int seconds);
    void setSource(const Source& source);
    void setScan(const ScanState& state);

    // Seconds since local midnight under tzOffsetSeconds; 0 for a moment that is not finite.
    [[nodiscard]] double secondsOfDay(Date date) const;
    [[nodiscard]] QString timecodeAt(Date date) const;
    // The offset in whole milliseconds while synced to the camera; nullopt on the Mac clock
    // (and for an offset too large to count in whole milliseconds).
    [[nodiscard]] std::optional<qint64> offsetMilliseconds() const;

    void setFormat(const Format& format);
    void setFormat(const Format& format, Date now);
    [[nodiscard]] bool lockTyped(const QString& text);
    [[nodiscard]] bool lockTyped(const QString& text, Date now, int tzOffsetSeconds);
    void useMacClock();
    void useMacClock(int tzOffsetSeconds);

    // Phone scan. The backend is installed once at start-up by the service layer.
    void setScanBackend(std::unique_ptr<ScanBackend> backend);
    // The demo shoot scans with the canned scan instead of the service.
    void setDemoMode(bool on);
    void setDemoMode(bool on, DemoScanTiming timing);
    [[nodiscard]] bool isDemoMode() const { return m_demoMode; }

    // Cancels any running scan, sets `scan` to waiting (0 phones) and starts a new one.
    void startScan();
    // Cancels the running scan; `scan` becomes idle.
    void cancelScan();
    // Syncs the clock to a finished scan, or fails the scan when the report cannot be read; the
    // clock is changed only by a readable report.
    void applyScanResult(const ScanResult& result);
    void applyScanResult(const ScanResult& result, Date now, int tzOffsetSeconds);

    // Reports of the backend about scan `scan`; each returns whether it was taken.
    bool reportScanWaiting(quint64 scan, int pushed);
    bool reportScanFailed(quint64 scan, const QString& message);
    bool reportScanResult(quint64 scan, const ScanResult& result);

Q_SIGNALS:
    void formatChanged();
    void sourceChanged();
    void scanChanged();

private:
    void storeFormat();
    void stopRunningScan();
    [[nodiscard]] bool isRunningScan(quint64 scan) const { return m_scanRunning && scan == m_scanNumber; }
    void runDemoScan(quint64 scan);
    // Sets the clock to show label `frames` of `format` at the moment `seen`, half a frame in
    // (a scan reads a frame somewhere within it), and ends the scan.
    void syncToScannedFrame(const Format& format, qint64 frames, Date seen, int tzOffsetSeconds);

    Defaults& m_defaults;
    Clock& m_clock;
    Format m_format;
    Source m_source = MacClock{};
    double m_offsetFrames = 0.0;
    int m_tzOffsetSeconds = 0;
    ScanState m_scan = Idle{};

    std::unique_ptr<ScanBackend> m_scanBackend;
    quint64 m_scanNumber = 0;
    bool m_scanRunning = false;
    bool m_demoMode = false;
    DemoScanTiming m_demoTiming;
};
