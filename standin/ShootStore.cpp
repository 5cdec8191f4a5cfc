#include "ShootStore.h"

#include "JsonFields.h"
#include "RandomIds.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

namespace standin {

namespace {
constexpr int kTokenBytes = 12;
// Room for a shoot's state besides its synced texts.
constexpr qsizetype kSmallStateBytes = 4096;

QJsonObject okAnswer()
{
    return QJsonObject{{QStringLiteral("ok"), true}};
}
} // namespace

void ShootStore::registerRoutes(Router& router)
{
    router.add("POST", QStringLiteral("/api/logger/shoots"), Access::Session,
               [this](const Call& call) { return create(call); });
    router.add(
        "POST", QStringLiteral("/api/logger/shoots/{}/sync"), Access::Session,
        [this](const Call& call) { return sync(call); }, kMaxSyncBodyBytes);
    router.add("POST", QStringLiteral("/api/logger/shoots/{}/wrap"), Access::Session,
               [this](const Call& call) { return wrap(call); });
    router.add("POST", QStringLiteral("/api/velko/session/{}/heartbeat"), Access::Session,
               [this](const Call& call) { return heartbeat(call); });
}

QList<const Shoot*> ShootStore::shootsOf(const QString& owner) const
{
    QList<const Shoot*> list;
    for (const Shoot& shoot : m_shoots) {
        if (shoot.owner == owner)
            list.append(&shoot);
    }
    return list;
}

const Shoot* ShootStore::byShareToken(const QString& shareToken) const
{
    for (const Shoot& shoot : m_shoots) {
        if (shoot.shareToken == shareToken)
            return &shoot;
    }
    return nullptr;
}

Shoot* ShootStore::ownShoot(const Call& call, Reply& error)
{
    const QString token = call.params.value(0);
    for (Shoot& shoot : m_shoots) {
        if (shoot.token == token && shoot.owner == call.account)
            return &shoot;
    }
    error = errorReply(404, QStringLiteral("unknown shoot"));
    return nullptr;
}

Reply ShootStore::create(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;
    JsonFields fields(body);
    const QString title = fields.string(QLatin1StringView("title"), true);
    fields.string(QLatin1StringView("tc_format"), true);
    fields.integer(QLatin1StringView("audio_epoch_ms"), true);
    fields.integer(QLatin1StringView("tc_offset_ms"), false);
    if (!fields.ok())
        return fields.error();

    Shoot shoot;
    shoot.token = m_nextToken.isEmpty() ? randomHex(kTokenBytes) : m_nextToken;
    m_nextToken.clear();
    shoot.shareToken = randomHex(kTokenBytes);
    shoot.owner = call.account;
    shoot.title = title;
    shoot.createBody = body;
    m_shoots.append(shoot);
    return jsonReply(QJsonObject{{QStringLiteral("token"), shoot.token},
                                 {QStringLiteral("share_token"), shoot.shareToken},
                                 {QStringLiteral("title"), shoot.title}});
}

Reply ShootStore::sync(const Call& call)
{
    Reply error;
    Shoot* shoot = ownShoot(call, error);
    if (!shoot)
        return error;
    if (shoot->ended)
        return errorReply(409, QStringLiteral("shoot_ended"));

    SyncedLog log;
    QStringList deleted;
    if (!readSyncBody(call.request.body, log, deleted, error))
        return error;

    // Each sync carries the whole log; only deletions are told apart.
    shoot->log = std::move(log);
    for (const QString& id : std::as_const(deleted)) {
        if (!shoot->deletedSeen.contains(id)) {
            shoot->deletedSeen.insert(id);
            shoot->deletedMarkers.append(id);
        }
    }
    ++shoot->syncs;
    shoot->lastContactMs = QDateTime::currentMSecsSinceEpoch();
    return jsonReply(okAnswer());
}

Reply ShootStore::wrap(const Call& call)
{
    Reply error;
    Shoot* shoot = ownShoot(call, error);
    if (!shoot)
        return error;
    QJsonObject body;
    if (!parseObjectBody(call.request, body, error))
        return error;
    // Wrapping twice is harmless: a retried wrap must not fail the client.
    shoot->ended = true;
    ++shoot->wraps;
    return jsonReply(okAnswer());
}

Reply ShootStore::heartbeat(const Call& call)
{
    Reply error;
    Shoot* shoot = ownShoot(call, error);
    if (!shoot)
        return error;
    QJsonObject body;
    if (!parseObjectBody(call.request, body, error))
        return error;
    ++shoot->heartbeats;
    shoot->lastContactMs = QDateTime::currentMSecsSinceEpoch();
    return jsonReply(okAnswer());
}

QByteArray ShootStore::stateJson() const
{
    qsizetype size = 2;
    for (const Shoot& shoot : m_shoots)
        size += shoot.log.body.size() * 2 + kSmallStateBytes;
    QByteArray out;
    out.reserve(size);
    out += '[';
    for (const Shoot& shoot : m_shoots) {
        if (out.size() > 1)
            out += ',';
        QByteArray small =
            QJsonDocument(QJsonObject{
                              {QStringLiteral("token"), shoot.token},
                              {QStringLiteral("share_token"), shoot.shareToken},
                              {QStringLiteral("owner"), shoot.owner},
                              {QStringLiteral("title"), shoot.title},
                              {QStringLiteral("create_body"), shoot.createBody},
                              {QStringLiteral("deleted_markers"), QJsonArray::fromStringList(shoot.deletedMarkers)},
                              {QStringLiteral("syncs"), shoot.syncs},
                              {QStringLiteral("heartbeats"), shoot.heartbeats},
                              {QStringLiteral("wraps"), shoot.wraps},
                              {QStringLiteral("ended"), shoot.ended},
                              {QStringLiteral("last_contact_ms"), static_cast<double>(shoot.lastContactMs)},
                          })
                .toJson(QJsonDocument::Compact);
        small.chop(1); // its closing brace: the synced texts follow
        out += small;
        out += ",\"last_sync\":";
        out += shoot.log.objectText();
        out += ",\"segments\":";
        out += shoot.log.segmentListText();
        out += ",\"markers\":";
        out += shoot.log.markerListText();
        out += '}';
    }
    out += ']';
    return out;
}

} // namespace standin
