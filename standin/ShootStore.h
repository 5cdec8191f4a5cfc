#pragma once

#include "Router.h"
#include "SyncedLog.h"

#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace standin {

// One shoot of an account: what the logger last synced, and how it was kept alive and ended.
struct Shoot {
    QString token;
    QString shareToken; // the link that opens the shoot, apart from the token that writes it
    QString owner;
    QString title;
    QJsonObject createBody;
    SyncedLog log;              // the last sync: the whole transcript and every marker
    QStringList deletedMarkers; // every id ever listed as deleted, in arrival order, once each
    QSet<QString> deletedSeen;  // the same ids, so that a sync of many deletions stays linear
    int syncs = 0;
    int heartbeats = 0;
    int wraps = 0;
    bool ended = false;
    qint64 lastContactMs = 0; // the last sync or heartbeat, milliseconds since 1970; 0 = none
};

// The shoots of every account: create, sync, wrap and heartbeat. Tokens in paths are matched
// exactly, and a shoot of another account answers as unknown.
class ShootStore {
public:
    // A sync carries the whole day each time: twelve hours of sixteen channels come to about
    // 125 MiB (bench_standin_sync). Every other route keeps the transport's limit.
    static constexpr qint64 kMaxSyncBodyBytes = 256 * 1024 * 1024;

    void registerRoutes(Router& router);

    // The shoots of one account, oldest first.
    [[nodiscard]] QList<const Shoot*> shootsOf(const QString& owner) const;
    [[nodiscard]] const Shoot* byShareToken(const QString& shareToken) const;

    // The token that the next created shoot takes instead of a random one (tests of paths).
    void setNextToken(const QString& token) { m_nextToken = token; }

    // The shoots as a JSON array, the synced texts spliced in as they came rather than decoded
    // and written out again.
    [[nodiscard]] QByteArray stateJson() const;

private:
    Reply create(const Call& call);
    Reply sync(const Call& call);
    Reply wrap(const Call& call);
    Reply heartbeat(const Call& call);

    // The caller's shoot named by the path, or null with `error` set.
    Shoot* ownShoot(const Call& call, Reply& error);

    QList<Shoot> m_shoots;
    QString m_nextToken;
};

} // namespace standin
