#pragma once

#include "platform/Clock.h"
#include "platform/Date.h"

#include <QJsonArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class APIService;
class CameraTimecode;

// Keeps the log of the running shoot in step with the account on the service: creates (or reuses)
// the shoot when logging starts, sends the whole transcript and every marker whenever the log has
// changed, keeps the session alive with a heartbeat while nothing changes, and wraps the shoot at
// the end. What to send comes from the snapshot the logging screen installs.
//
// Every request belongs to the shoot it was made for. An answer that comes back after that shoot
// was wrapped, reset or replaced by another token only completes its caller; it changes nothing
// here. Completions run on the main thread from the event loop, never before the call returns,
// and not at all once the cloud is destroyed.
class LoggerCloud : public QObject {
    Q_OBJECT
public:
    struct Snapshot {
        QJsonArray segments;
        QJsonArray markers;
    };
    using SnapshotFunction = std::function<Snapshot()>;
    using Done = std::function<void()>;
    using TokenDone = std::function<void(std::optional<QString> token)>;

    struct Timing {
        std::chrono::milliseconds tick{6000};
        // A quiet tick sends a heartbeat when more than this has passed since the last contact.
        double heartbeatAfterSeconds = 45.0;
    };

    // A token longer than this is no token we put into paths.
    static constexpr qsizetype kMaxTokenLength = 512;

    // `service`, `camera` and `clock` must outlive the cloud; a null `clock` is the system's.
    LoggerCloud(APIService& service, CameraTimecode& camera, QObject* parent = nullptr);
    LoggerCloud(APIService& service, CameraTimecode& camera, Timing timing, Clock* clock, QObject* parent = nullptr);
    ~LoggerCloud() override;

    // The application's cloud, over APIService::shared() and CameraTimecode::shared().
    static LoggerCloud& shared();

    // The token of the shoot being synced; none when idle.
    [[nodiscard]] std::optional<QString> token() const;
    // When the last sync of this shoot succeeded; none until then and after a wrap.
    [[nodiscard]] std::optional<Date> lastSaved() const { return m_lastSaved; }
    // The last sync failure's description, cleared by the next successful sync.
    [[nodiscard]] std::optional<QString> problem() const { return m_problem; }

    // Set by the logging screen whenever its log changes.
    [[nodiscard]] bool isDirty() const { return m_dirty; }
    void setDirty(bool dirty) { m_dirty = dirty; }
    // Installed by the logging screen; called on the main thread for every sync.
    void setSnapshot(SnapshotFunction snapshot) { m_snapshot = std::move(snapshot); }

    // The marker ids of the shoot's last successful sync.
    [[nodiscard]] QSet<QString> sentMarkerIDs() const;
    // The last successful sync or heartbeat; none stands for the distant past.
    [[nodiscard]] std::optional<Date> lastContact() const { return m_lastContact; }
    [[nodiscard]] bool isFlushing() const;
    [[nodiscard]] bool isTimerRunning() const { return m_timer->isActive(); }

    // The token to log under: `existingToken` as it is unless `forceNew` (no request), else a new
    // shoot created on the account; none when it could not be created, or when a later start
    // superseded this one before the service answered.
    void startShoot(const std::optional<QString>& existingToken, const QString& title, const QString& formatStorage,
                    bool forceNew, TokenDone done);
    // One sync now. Does nothing without a token or snapshot, while a sync is in flight, or while
    // the shoot is being wrapped.
    void flush(Done done = {});
    // One heartbeat now (nothing without a token).
    void heartbeat(Done done = {});
    // Final sync of the log as it is now (the snapshot is taken by this call), after any sync in
    // flight has ended; then the wrap request; then, unless another shoot has started meanwhile,
    // reset. Failures are not reported. Without a token nothing is sent.
    void wrap(Done done = {});
    // Back to idle: timer stopped, no token, no sent marker ids, no lastSaved, no problem.
    void reset();
    // The timer's step: a sync when dirty, else a heartbeat when the session has been quiet.
    void tick();

Q_SIGNALS:
    void tokenChanged();
    void lastSavedChanged();
    void problemChanged();

private:
    struct Shoot;
    struct Outgoing {
        Snapshot snapshot;
        std::optional<qint64> offsetMs;
    };

    void adopt(const QString& token, bool fresh);
    [[nodiscard]] Outgoing takeSnapshot();
    void sync(const std::shared_ptr<Shoot>& shoot, const Outgoing& outgoing, Done done);
    void sendWrap(const std::shared_ptr<Shoot>& shoot, Done done);
    // Whether answers for `shoot` may still change the cloud's own state.
    [[nodiscard]] bool isLive(const std::shared_ptr<Shoot>& shoot) const;
    void setLastSaved(std::optional<Date> date);
    void setProblem(std::optional<QString> problem);
    void later(Done done);

    APIService& m_service;
    CameraTimecode& m_clock;
    const Timing m_timing;
    Clock& m_time;

    std::shared_ptr<Shoot> m_shoot;
    std::optional<Date> m_lastSaved;
    std::optional<QString> m_problem;
    SnapshotFunction m_snapshot;
    std::optional<Date> m_lastContact;
    bool m_dirty = false;
    const std::unique_ptr<Clock::Timer> m_timer;
    // Numbers the starts, so that only the latest one takes effect.
    quint64 m_startNumber = 0;
};
