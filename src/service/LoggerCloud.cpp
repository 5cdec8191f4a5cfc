#include "service/LoggerCloud.h"

#include "service/APIService.h"
#include "service/LoggerAPI.h"
#include "service/ServiceUrl.h"
#include "timecode/CameraTimecode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QThreadPool>

#include <algorithm>
#include <utility>

// One shoot open on the service. Its requests hold it, so a wrap can finish a shoot the cloud
// has already let go of.
struct LoggerCloud::Shoot {
    QString token;
    QSet<QString> sentMarkerIDs;
    bool flushing = false;
    bool wrapping = false;
    // Let go of with its screen: its last sync still goes up.
    bool released = false;
    QList<Done> afterSync; // run when the sync in flight ends
    QList<Done> afterWrap; // callers of a second wrap
};

namespace {

QString shootPath(const QString& prefix, const QString& token, const QString& action)
{
    return prefix + ServiceUrl::pathSegment(token) + u'/' + action;
}

QString syncPath(const QString& token)
{
    return shootPath(QStringLiteral("/api/logger/shoots/"), token, QStringLiteral("sync"));
}

QString wrapPath(const QString& token)
{
    return shootPath(QStringLiteral("/api/logger/shoots/"), token, QStringLiteral("wrap"));
}

QString heartbeatPath(const QString& token)
{
    return shootPath(QStringLiteral("/api/velko/session/"), token, QStringLiteral("heartbeat"));
}

// Appends the non-empty rows as one JSON array's items, each row shared, not copied.
void appendArray(QList<QByteArray>& out, const SharedBlocks<QByteArray>& rows, const QList<QByteArray>& packed = {})
{
    constexpr qsizetype kBlockRows = SharedBlocks<QByteArray>::kBlockRows;
    bool first = true;
    const auto add = [&](const QByteArray& bytes) {
        if (bytes.isEmpty())
            return;
        if (!first)
            out.append(QByteArrayLiteral(","));
        out.append(bytes);
        first = false;
    };
    for (qsizetype row = 0; row < rows.size();) {
        const qsizetype block = row / kBlockRows;
        if (block < packed.size() && !packed.at(block).isEmpty()) {
            add(packed.at(block));
            row = (block + 1) * kBlockRows;
        } else {
            add(rows.at(row));
            ++row;
        }
    }
}

void runAll(QList<LoggerCloud::Done> calls)
{
    for (const LoggerCloud::Done& call : calls) {
        if (call)
            call();
    }
}

} // namespace

LoggerCloud::LoggerCloud(APIService& service, CameraTimecode& camera, QObject* parent)
    : LoggerCloud(service, camera, Timing(), nullptr, parent)
{
}

LoggerCloud::LoggerCloud(APIService& service, CameraTimecode& camera, Timing timing, Clock* clock, QObject* parent)
    : QObject(parent), m_service(service), m_clock(camera), m_timing(timing), m_time(Clock::orSystem(clock)),
      m_timer(m_time.makeTimer([this] { tick(); })), m_assembler(std::make_unique<QThreadPool>())
{
    m_assembler->setMaxThreadCount(1);
    // Signing out: the last sync goes while the session is still there.
    connect(&m_service, &APIService::sessionEnding, this, [this] { letGo({}); });
}

LoggerCloud::~LoggerCloud()
{
    // A body still being made posts its result to this object, which drops it when it goes.
    m_assembler->waitForDone();
}

LoggerCloud& LoggerCloud::shared()
{
    static LoggerCloud instance(APIService::shared(), CameraTimecode::shared());
    return instance;
}

std::optional<QString> LoggerCloud::token() const
{
    if (!m_shoot)
        return std::nullopt;
    return m_shoot->token;
}

QSet<QString> LoggerCloud::sentMarkerIDs() const
{
    return m_shoot ? m_shoot->sentMarkerIDs : QSet<QString>();
}

bool LoggerCloud::isFlushing() const
{
    return m_shoot && m_shoot->flushing;
}

bool LoggerCloud::isLive(const std::shared_ptr<Shoot>& shoot) const
{
    return shoot == m_shoot && !shoot->wrapping;
}

void LoggerCloud::startShoot(const std::optional<QString>& existingToken, const QString& title,
                             const QString& formatStorage, bool forceNew, TokenDone done)
{
    const quint64 start = ++m_startNumber;
    if (!forceNew && existingToken && !existingToken->isEmpty()) {
        adopt(*existingToken, false);
        later([done = std::move(done), token = *existingToken] {
            if (done)
                done(token);
        });
        return;
    }

    QJsonObject body{
        {QStringLiteral("title"), title},
        {QStringLiteral("tc_format"), formatStorage},
        {QStringLiteral("audio_epoch_ms"), m_time.now().millisecondsSince1970().value_or(0)},
    };
    if (const auto offset = m_clock.offsetMilliseconds())
        body.insert(QStringLiteral("tc_offset_ms"), *offset);

    LoggerAPI::request(m_service, QStringLiteral("/api/logger/shoots"), "POST", body, this,
                       [this, start, done = std::move(done)](ServiceResult<QJsonObject> result) {
                           std::optional<QString> token;
                           if (result.ok()) {
                               const QJsonValue value = result.value().value(QLatin1String("token"));
                               if (value.isString() && !value.toString().isEmpty() &&
                                   value.toString().size() <= kMaxTokenLength)
                                   token = value.toString();
                           }
                           // A later start decides the token; this shoot stays unsynced.
                           if (start != m_startNumber)
                               token.reset();
                           if (token)
                               adopt(*token, true);
                           if (done)
                               done(token);
                       });
}

void LoggerCloud::adopt(const QString& token, bool fresh)
{
    // Re-adopting the shoot being synced keeps what was sent to it; any other token starts clean,
    // so that no marker of another shoot is ever listed as deleted.
    const bool same = m_shoot && !m_shoot->wrapping && m_shoot->token == token;
    if (fresh || !same) {
        m_shoot = std::make_shared<Shoot>();
        m_shoot->token = token;
        Q_EMIT tokenChanged();
    }
    m_timer->start(m_timing.tick);
}

void LoggerCloud::setSnapshot(SnapshotFunction snapshot, const QObject* owner)
{
    // The shoot synced so far belongs to the screen that installed the snapshot before: another
    // screen's log must never be sent as that shoot's (its markers would all count as deleted).
    if (m_snapshot && owner != m_snapshotOwner)
        letGo({});
    m_snapshot = std::move(snapshot);
    m_snapshotOwner = owner;
}

void LoggerCloud::release(const QObject* owner, Done done)
{
    if (!m_snapshot || owner != m_snapshotOwner)
        return later(std::move(done));
    letGo(std::move(done));
}

void LoggerCloud::letGo(Done done)
{
    // A shoot still being created was asked for by the screen that is going.
    ++m_startNumber;
    const std::shared_ptr<Shoot> shoot = m_shoot;
    std::optional<Outgoing> last;
    if (shoot && !shoot->wrapping)
        last = takeSnapshot();
    m_snapshot = nullptr;
    m_snapshotOwner = nullptr;
    m_dirty = false;
    reset();
    if (!last)
        return later(std::move(done));

    shoot->released = true;
    Done finalSync = [this, shoot, last = std::move(*last), done = std::move(done)]() mutable {
        sync(shoot, std::move(last), std::move(done));
    };
    if (shoot->flushing)
        shoot->afterSync.append(std::move(finalSync));
    else
        finalSync();
}

std::optional<LoggerCloud::Outgoing> LoggerCloud::takeSnapshot()
{
    if (!m_snapshot)
        return std::nullopt;
    std::optional<Snapshot> snapshot = m_snapshot();
    if (!snapshot)
        return std::nullopt;
    // The session now, not when the body is ready: a sign-out may come in between.
    return Outgoing{std::move(*snapshot), m_clock.offsetMilliseconds(), m_service.sessionCookie()};
}

void LoggerCloud::flush(Done done)
{
    if (!m_shoot || !m_snapshot || m_shoot->flushing || m_shoot->wrapping)
        return later(std::move(done));
    std::optional<Outgoing> outgoing = takeSnapshot();
    if (!outgoing)
        return later(std::move(done));
    m_dirty = false;
    sync(m_shoot, std::move(*outgoing), std::move(done));
}

QByteArray LoggerCloud::syncBody(const Snapshot& snapshot, const QStringList& deleted, std::optional<qint64> offsetMs)
{
    return syncPieces(snapshot, deleted, offsetMs).joined();
}

EncodedBody LoggerCloud::syncPieces(const Snapshot& snapshot, const QStringList& deleted,
                                    std::optional<qint64> offsetMs)
{
    QList<QByteArray> pieces;
    pieces.reserve(2 * (snapshot.segments.size() + snapshot.markers.size()) + 8);
    pieces.append(QByteArrayLiteral("{\"segments\":["));
    appendArray(pieces, snapshot.segments, snapshot.packedSegments);
    pieces.append(QByteArrayLiteral("],\"markers\":["));
    appendArray(pieces, snapshot.markers);
    pieces.append(QByteArrayLiteral("],\"deleted_markers\":"));
    pieces.append(QJsonDocument(QJsonArray::fromStringList(deleted)).toJson(QJsonDocument::Compact));
    if (offsetMs)
        pieces.append(QByteArrayLiteral(",\"tc_offset_ms\":") + QByteArray::number(*offsetMs));
    pieces.append(QByteArrayLiteral("}"));
    return EncodedBody(std::move(pieces));
}

LoggerCloud::Assembled LoggerCloud::assemble(const Outgoing& outgoing, const QSet<QString>& sent)
{
    QSet<QString> current;
    current.reserve(outgoing.snapshot.markerIDs.size());
    for (const QString& id : outgoing.snapshot.markerIDs) {
        if (!id.isEmpty())
            current.insert(id);
    }
    QStringList deleted = (sent - current).values();
    std::sort(deleted.begin(), deleted.end());
    return Assembled{syncPieces(outgoing.snapshot, deleted, outgoing.offsetMs), std::move(current)};
}

void LoggerCloud::sync(const std::shared_ptr<Shoot>& shoot, Outgoing outgoing, Done done)
{
    shoot->flushing = true;
    const quint64 number = ++m_assemblyNumber;
    m_assemblies.insert(number, Assembly{shoot, std::move(done), std::exchange(outgoing.session, std::nullopt)});
    // The worker gets data only: the shoot and the callers stay with the main thread.
    m_assembler->start([this, number, outgoing = std::move(outgoing), sent = shoot->sentMarkerIDs] {
        Assembled assembled = assemble(outgoing, sent);
        QMetaObject::invokeMethod(
            this,
            [this, number, assembled = std::move(assembled)]() mutable { sendAssembled(number, std::move(assembled)); },
            Qt::QueuedConnection);
    });
}

void LoggerCloud::sendAssembled(quint64 number, Assembled assembled)
{
    const auto found = m_assemblies.find(number);
    if (found == m_assemblies.end())
        return;
    const std::shared_ptr<Shoot> shoot = std::move(found->shoot);
    Done done = std::move(found->done);
    const std::optional<QString> session = std::move(found->session);
    m_assemblies.erase(found);

    // Reset or replaced while its body was being made: nothing goes out for it. A wrap or a
    // release still sends what it holds to the shoot it is finishing.
    if (shoot != m_shoot && !shoot->wrapping && !shoot->released) {
        shoot->flushing = false;
        if (done)
            done();
        runAll(std::exchange(shoot->afterSync, {}));
        return;
    }

    LoggerAPI::requestEncoded(m_service, syncPath(shoot->token), "POST", std::move(assembled.body), session, this,
                              [this, shoot, current = std::move(assembled.markerIDs),
                               done = std::move(done)](ServiceResult<QJsonObject> result) mutable {
                                  synced(shoot, std::move(current), result);
                                  if (done)
                                      done();
                                  runAll(std::exchange(shoot->afterSync, {}));
                              });
}

void LoggerCloud::synced(const std::shared_ptr<Shoot>& shoot, QSet<QString> current,
                         const ServiceResult<QJsonObject>& result)
{
    shoot->flushing = false;
    if (result.ok()) {
        // A long shoot's set holds thousands of ids: the one it replaces is let go off this thread.
        m_assembler->start([previous = std::exchange(shoot->sentMarkerIDs, std::move(current))] {});
    }
    if (!isLive(shoot))
        return;
    if (result.ok()) {
        const Date now = m_time.now();
        m_lastContact = now;
        setLastSaved(now);
        setProblem(std::nullopt);
    } else {
        m_dirty = true;
        setProblem(result.error().description());
    }
}

void LoggerCloud::heartbeat(Done done)
{
    if (!m_shoot || m_shoot->wrapping)
        return later(std::move(done));
    std::shared_ptr<Shoot> shoot = m_shoot;
    LoggerAPI::request(m_service, heartbeatPath(shoot->token), "POST", QJsonObject(), this,
                       [this, shoot, done = std::move(done)](ServiceResult<QJsonObject> result) {
                           if (result.ok() && isLive(shoot))
                               m_lastContact = m_time.now();
                           if (done)
                               done();
                       });
}

void LoggerCloud::wrap(Done done)
{
    if (!m_shoot)
        return later(std::move(done));
    std::shared_ptr<Shoot> shoot = m_shoot;
    if (shoot->wrapping) {
        shoot->afterWrap.append(std::move(done));
        return;
    }
    shoot->wrapping = true;
    m_timer->stop();

    // The caller moves the log on right after this call: what the wrap sends is the log now, and
    // it goes with the session of now, as its final sync does, whoever is signed in by then.
    std::optional<Outgoing> last;
    if (m_snapshot) {
        m_dirty = false;
        last = takeSnapshot();
    }
    std::optional<QString> session = last ? last->session : m_service.sessionCookie();
    Done finalSync = [this, shoot, last = std::move(last), session = std::move(session),
                      done = std::move(done)]() mutable {
        if (!last)
            return sendWrap(shoot, session, std::move(done));
        sync(shoot, std::move(*last), [this, shoot, session = std::move(session), done = std::move(done)]() mutable {
            sendWrap(shoot, session, std::move(done));
        });
    };
    if (shoot->flushing)
        shoot->afterSync.append(std::move(finalSync));
    else
        finalSync();
}

void LoggerCloud::sendWrap(const std::shared_ptr<Shoot>& shoot, const std::optional<QString>& session, Done done)
{
    // A failed wrap is not retried; the cloud lets go of the shoot either way.
    Done wrapped = [this, shoot, done = std::move(done)] {
        if (shoot == m_shoot)
            reset();
        if (done)
            done();
        runAll(std::exchange(shoot->afterWrap, {}));
    };
    // Signed out when it was asked for: refused without a session, so nothing goes.
    if (!session)
        return later(std::move(wrapped));
    LoggerAPI::request(m_service, wrapPath(shoot->token), "POST", QJsonObject(), session, this,
                       [wrapped = std::move(wrapped)](ServiceResult<QJsonObject>) { wrapped(); });
}

void LoggerCloud::reset()
{
    m_timer->stop();
    if (m_shoot) {
        m_shoot.reset();
        Q_EMIT tokenChanged();
    }
    setLastSaved(std::nullopt);
    setProblem(std::nullopt);
}

void LoggerCloud::tick()
{
    if (!m_shoot || m_shoot->wrapping)
        return;
    if (m_dirty) {
        flush();
        return;
    }
    if (!m_lastContact || m_time.now().secondsSince(*m_lastContact) > m_timing.heartbeatAfterSeconds)
        heartbeat();
}

void LoggerCloud::setLastSaved(std::optional<Date> date)
{
    if (m_lastSaved == date)
        return;
    m_lastSaved = date;
    Q_EMIT lastSavedChanged();
}

void LoggerCloud::setProblem(std::optional<QString> problem)
{
    if (m_problem == problem)
        return;
    m_problem = std::move(problem);
    Q_EMIT problemChanged();
}

void LoggerCloud::later(Done done)
{
    if (done)
        QMetaObject::invokeMethod(this, std::move(done), Qt::QueuedConnection);
}
