#include "ScanStore.h"

#include "JsonFields.h"
#include "RandomIds.h"

#include <QTimer>

namespace standin {

namespace {
constexpr int kIdBytes = 8;
constexpr int kFramesPerSecond = 25;
const QString kPending = QStringLiteral("pending");
const QString kDone = QStringLiteral("done");
const QString kExpired = QStringLiteral("expired");
const QString kLatest = QStringLiteral("latest");
} // namespace

ScanStore::ScanStore(QObject* parent) : QObject(parent)
{
}

void ScanStore::registerRoutes(Router& router)
{
    router.add("POST", QStringLiteral("/api/logger/tc-request"), Access::Session,
               [this](const Call& call) { return request(call); });
    router.add("GET", QStringLiteral("/api/logger/tc-request/{}"), Access::Session,
               [this](const Call& call) { return poll(call); });
}

QJsonObject ScanStore::readingAt(const QDateTime& now, const QString& timecode, const QString& format)
{
    QString tc = timecode;
    if (tc.isEmpty()) {
        const QTime time = now.time();
        const int frame = time.msec() * kFramesPerSecond / 1000;
        tc = QStringLiteral("%1:%2:%3:%4")
                 .arg(time.hour(), 2, 10, QLatin1Char('0'))
                 .arg(time.minute(), 2, 10, QLatin1Char('0'))
                 .arg(time.second(), 2, 10, QLatin1Char('0'))
                 .arg(frame, 2, 10, QLatin1Char('0'));
    }
    return QJsonObject{
        {QStringLiteral("camera_tc"), tc},
        {QStringLiteral("tc_format"), format.isEmpty() ? QStringLiteral("25|0|0") : format},
        {QStringLiteral("seen_at_ms"), static_cast<double>(now.toMSecsSinceEpoch())},
        {QStringLiteral("tz_offset_min"), now.offsetFromUtc() / 60},
    };
}

void ScanStore::expireIfOld(Scan& scan, qint64 nowMs)
{
    if (scan.status == kPending && nowMs - scan.createdMs > kLifetimeMs)
        scan.status = kExpired;
}

Scan* ScanStore::pendingScan(const QString& id, QString& problem)
{
    Scan* scan = nullptr;
    for (Scan& candidate : m_scans) {
        if (candidate.id == id)
            scan = &candidate;
    }
    // "latest" names the newest scan, unless a scan really carries that id.
    if (!scan && id == kLatest && !m_scans.isEmpty())
        scan = &m_scans.last();
    if (!scan) {
        problem = QStringLiteral("unknown scan");
        return nullptr;
    }
    expireIfOld(*scan, QDateTime::currentMSecsSinceEpoch());
    if (scan->status != kPending) {
        problem = QStringLiteral("scan %1 is %2, not pending").arg(scan->id, scan->status);
        return nullptr;
    }
    return scan;
}

bool ScanStore::complete(const QString& id, const QJsonObject& reading, const QString& status, const QByteArray& raw,
                         QString& problem)
{
    Scan* scan = pendingScan(id, problem);
    if (!scan)
        return false;
    scan->status = status.isEmpty() ? kDone : status;
    scan->reading = reading;
    scan->raw = raw;
    return true;
}

bool ScanStore::fail(const QString& id, QString& problem)
{
    Scan* scan = pendingScan(id, problem);
    if (!scan)
        return false;
    scan->status = kExpired;
    return true;
}

Reply ScanStore::request(const Call& call)
{
    QJsonObject body;
    Reply bad;
    if (!parseObjectBody(call.request, body, bad))
        return bad;

    Scan scan;
    scan.id = m_nextId.isEmpty() ? randomHex(kIdBytes) : m_nextId;
    m_nextId.clear();
    scan.owner = call.account;
    scan.createdMs = QDateTime::currentMSecsSinceEpoch();
    m_scans.append(scan);

    if (onScanRequested)
        onScanRequested(scan.id, scan.owner);
    if (m_autoDelayMs) {
        QTimer::singleShot(*m_autoDelayMs, this, [this, id = scan.id] {
            QString ignored; // already completed or failed by hand: leave it
            (void)complete(id, readingAt(QDateTime::currentDateTime()), kDone, {}, ignored);
        });
    }
    return jsonReply(QJsonObject{{QStringLiteral("id"), scan.id}, {QStringLiteral("pushed"), m_pushed}});
}

Reply ScanStore::poll(const Call& call)
{
    const QString id = call.params.value(0);
    for (Scan& scan : m_scans) {
        if (scan.id != id || scan.owner != call.account)
            continue;
        ++scan.polls;
        expireIfOld(scan, QDateTime::currentMSecsSinceEpoch());
        if (!scan.raw.isEmpty()) {
            Reply reply;
            reply.addHeader("Content-Type", "application/json");
            reply.body = scan.raw;
            return reply;
        }
        QJsonObject answer = scan.reading;
        answer.insert(QStringLiteral("id"), scan.id);
        answer.insert(QStringLiteral("status"), scan.status);
        return jsonReply(answer);
    }
    return errorReply(404, QStringLiteral("unknown scan"));
}

QJsonArray ScanStore::stateJson() const
{
    QJsonArray list;
    for (const Scan& scan : m_scans) {
        list.append(QJsonObject{
            {QStringLiteral("id"), scan.id},
            {QStringLiteral("owner"), scan.owner},
            {QStringLiteral("status"), scan.status},
            {QStringLiteral("polls"), scan.polls},
            {QStringLiteral("reading"), scan.reading},
        });
    }
    return list;
}

} // namespace standin
