#pragma once

#include "platform/Clock.h"
#include "platform/Date.h"
#include "platform/SharedBlocks.h"
#include "service/EncodedBody.h"
#include "service/ServiceError.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class APIService;
class CameraTimecode;
class QThreadPool;

// Keeps the log of the running shoot in step with the account on the service: creates (or reuses)
// the shoot when logging starts, sends the whole transcript and every marker whenever the log has
// changed, keeps the session alive with a heartbeat while nothing changes, and wraps the shoot at
// the end. What to send comes from the snapshot the logging screen installs.
//
// Every request belongs to the shoot it was made for. An answer that comes back after that shoot
// was wrapped, reset or replaced by another token only completes its caller; it changes nothing
// here. Completions run on the main thread from the event loop, never before the call returns,
// and not at all once the cloud is destroyed.
//
// A sync's body (the whole log) is joined from the snapshot's pieces on the cloud's own worker
// thread, which sees only the snapshot; the main thread sends it when it is ready, with the
// session cookie held when the snapshot was taken. A body made for a shoot that was reset or
// replaced meanwhile is not sent (a wrapping or released shoot's still is).
//
// The shoot belongs to the screen whose snapshot is installed: when that screen goes away, or the
// session ends (sign-out), the log as it stands goes up once more and the cloud lets go of the
// shoot. Nothing is ever sent from a snapshot with no screen behind it: an empty log would list
// every marker sent before as deleted.
class LoggerCloud : public QObject {
    Q_OBJECT
public:
    // The log as a sync sends it: every transcript line and every marker, each already encoded as
    // a compact JSON object, in the order sent. Empty pieces are not sent. The pieces are held in
    // blocks shared with whoever encoded them: a snapshot copies nothing, and while the worker
    // holds it the encoder's next change copies the list of blocks and the block it touches, not
    // the whole day's rows.
    struct Snapshot {
        SharedBlocks<QByteArray> segments;
        // Per block of segments: the block's rows joined by commas where the rows have settled
        // into one run of bytes (their own places in `segments` are then empty), else empty.
        QList<QByteArray> packedSegments;
        SharedBlocks<QByteArray> markers;
        // The ids of the markers sent, in any order; an empty id is none. A later sync lists the
        // ids of its shoot's last successful sync that are not among them as deleted.
        SharedBlocks<QString> markerIDs;
    };
    // None when there is no log behind it (its screen is gone): nothing is sent then.
    using SnapshotFunction = std::function<std::optional<Snapshot>()>;
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
    // Installed by the logging screen `owner` when it is shown; called on the main thread for
    // every sync. A snapshot of another owner first releases the one installed (see release): a
    // screen starts with no shoot until its own start.
    void setSnapshot(SnapshotFunction snapshot, const QObject* owner = nullptr);
    // The screen `owner` goes away: its log as it is now goes up once more (the snapshot and the
    // session are taken by this call; after any sync in flight), then the cloud is idle with no
    // snapshot: timer stopped, no token, no lastSaved, no problem, and a start still waiting for
    // its shoot is superseded. Not wrapped: the shoot stays open on the account. Nothing when
    // `owner`'s snapshot is not the one installed.
    void release(const QObject* owner, Done done = {});

    // The body of a sync, compact JSON: {"segments":[...],"markers":[...],"deleted_markers":
    // `deleted`, "tc_offset_ms": `offsetMs` when there is one}. Callable from any thread.
    [[nodiscard]] static QByteArray syncBody(const Snapshot& snapshot, const QStringList& deleted,
                                             std::optional<qint64> offsetMs);
    // The same body as the pieces it is made of, sharing the snapshot's bytes: what goes up.
    [[nodiscard]] static EncodedBody syncPieces(const Snapshot& snapshot, const QStringList& deleted,
                                                std::optional<qint64> offsetMs);

    // The marker ids of the shoot's last successful sync.
    [[nodiscard]] QSet<QString> sentMarkerIDs() const;
    // The last successful sync or heartbeat; none stands for the distant past.
    [[nodiscard]] std::optional<Date> lastContact() const { return m_lastContact; }
    // From the moment a sync's snapshot is taken until its answer.
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
    // Final sync of the log as it is now (the snapshot and the session are taken by this call),
    // after any sync in flight has ended; then the wrap request, with that same session (none when
    // signed out: no wrap goes); then, unless another shoot has started meanwhile, reset. Failures
    // are not reported. Without a token nothing is sent.
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
        std::optional<QString> session;
    };
    // A sync whose body is being made: what its sending and its answer need, kept on the main
    // thread.
    struct Assembly {
        std::shared_ptr<Shoot> shoot;
        Done done;
        std::optional<QString> session;
    };
    // What the worker hands back.
    struct Assembled {
        EncodedBody body;
        QSet<QString> markerIDs;
    };

    void adopt(const QString& token, bool fresh);
    // None without a snapshot or when it has no log behind it.
    [[nodiscard]] std::optional<Outgoing> takeSnapshot();
    // The last sync of the shoot, then idle without a snapshot.
    void letGo(Done done);
    void sync(const std::shared_ptr<Shoot>& shoot, Outgoing outgoing, Done done);
    [[nodiscard]] static Assembled assemble(const Outgoing& outgoing, const QSet<QString>& sent);
    void sendAssembled(quint64 number, Assembled assembled);
    // A sync's answer: what the shoot now holds and, while it is live, the cloud's own state.
    void synced(const std::shared_ptr<Shoot>& shoot, QSet<QString> current, const ServiceResult<QJsonObject>& result);
    void sendWrap(const std::shared_ptr<Shoot>& shoot, const std::optional<QString>& session, Done done);
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
    // Compared, never used: the screen that installed the snapshot.
    const QObject* m_snapshotOwner = nullptr;
    std::optional<Date> m_lastContact;
    bool m_dirty = false;
    const std::unique_ptr<Clock::Timer> m_timer;
    // Numbers the starts, so that only the latest one takes effect.
    quint64 m_startNumber = 0;
    // One thread: bodies are made one at a time, in the order their syncs were asked for.
    const std::unique_ptr<QThreadPool> m_assembler;
    QHash<quint64, Assembly> m_assemblies;
    quint64 m_assemblyNumber = 0;
};
