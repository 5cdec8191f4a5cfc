#pragma once

#include "Router.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace standin {

// A phone timecode scan: asked for by the logger, completed when "the phone" reports what it
// read. There is no phone here: the console, a test, or the automatic delay plays its part.
struct Scan {
    QString id;
    QString owner;
    QString status = QStringLiteral("pending"); // "pending", "done", "expired" (or what a test set)
    QJsonObject reading;                        // the fields the phone reported, under their wire names
    QByteArray raw;                             // when set, polls answer these bytes verbatim (odd answers for tests)
    qint64 createdMs = 0;
    int polls = 0;
};

class ScanStore : public QObject {
    Q_OBJECT

public:
    // A scan that nobody completes runs out after this long, like the logger's own deadline.
    static constexpr qint64 kLifetimeMs = 600'000;

    explicit ScanStore(QObject* parent = nullptr);

    void registerRoutes(Router& router);

    // Completes every new scan after `ms` with the current time of day; none = never.
    void setAutoCompleteDelay(std::optional<int> ms) { m_autoDelayMs = ms; }
    // How many phones each request says it alerted (1 by default; 0 makes the logger give up).
    void setPushed(int pushed) { m_pushed = pushed; }
    // The id that the next scan takes instead of a random one (tests of paths).
    void setNextId(const QString& id) { m_nextId = id; }

    // Completes a pending scan; `id` may be "latest" for the newest scan. `reading` holds the
    // poll answer's fields ("camera_tc", "tc_format", "seen_at_ms", "tz_offset_min"); `raw`,
    // when not empty, replaces the whole answer. Returns false with `problem` set when there is
    // no such pending scan.
    [[nodiscard]] bool complete(const QString& id, const QJsonObject& reading, const QString& status,
                                const QByteArray& raw, QString& problem);
    // Ends a pending scan as "expired", the status on which the logger stops polling.
    [[nodiscard]] bool fail(const QString& id, QString& problem);

    // A reading of the camera as the time of day at `now`, 25 fps, in the local zone.
    [[nodiscard]] static QJsonObject readingAt(const QDateTime& now, const QString& timecode = {},
                                               const QString& format = {});

    [[nodiscard]] QJsonArray stateJson() const;

    // Told of every new scan, so that the console can name its id.
    std::function<void(const QString& id, const QString& owner)> onScanRequested;

private:
    Reply request(const Call& call);
    Reply poll(const Call& call);
    Scan* pendingScan(const QString& id, QString& problem);
    void expireIfOld(Scan& scan, qint64 nowMs);

    QList<Scan> m_scans;
    std::optional<int> m_autoDelayMs;
    int m_pushed = 1;
    QString m_nextId;
};

} // namespace standin
