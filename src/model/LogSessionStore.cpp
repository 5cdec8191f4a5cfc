#include "model/LogSessionStore.h"

#include "platform/AppPaths.h"
#include "platform/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace {

// A date that is not a number sorts as the oldest, so the order stays a strict weak ordering.
double sortKey(const LogSession& session)
{
    const double seconds = session.createdAt.sinceReferenceDate;
    return std::isnan(seconds) ? -std::numeric_limits<double>::infinity() : seconds;
}

} // namespace

LogSessionStore::LogSessionStore(QObject* parent) : LogSessionStore(AppPaths::appSupportFolder() + fileName, parent)
{
}

LogSessionStore::LogSessionStore(const QString& filePath, QObject* parent)
    : QObject(parent), m_url(filePath),
      m_writer(std::make_unique<SessionWriter>(filePath, SessionWriter::defaultWrite(), [this](bool written) {
          QMetaObject::invokeMethod(
              this, [this, written] { finishWrite(written); }, Qt::QueuedConnection);
      }))
{
    load();
}

LogSessionStore::~LogSessionStore()
{
    // Gone before the QObject: an outcome still posted to it is dropped with it.
    m_writer.reset();
}

void LogSessionStore::load()
{
    QFile file(m_url);
    if (!file.open(QIODevice::ReadOnly)) {
        // No file is a first start; a file that is there but will not open must not be lost.
        m_unreadableFile = QFileInfo::exists(m_url);
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_unreadableFile = true;
        return;
    }
    std::optional<QList<LogSession>> decoded = LogSessionFile::decode(bytes);
    if (!decoded) {
        m_unreadableFile = true;
        return;
    }
    m_sessions = std::move(*decoded);
    // Encoded now, while the app starts, rather than as a pause at the first change of a shoot.
    m_encoded.reserve(m_sessions.size());
    for (const LogSession& session : std::as_const(m_sessions))
        m_encoded.append(session.toJson());
    sortNewestFirst();
    dropRepeatedIds();
}

void LogSessionStore::dropRepeatedIds()
{
    // Newest first by now, so the newest copy of an id is the one kept.
    QSet<QUuid> seen;
    for (qsizetype i = 0; i < m_sessions.size();) {
        if (seen.contains(m_sessions.at(i).id)) {
            m_sessions.removeAt(i);
            m_encoded.removeAt(i);
        } else {
            seen.insert(m_sessions.at(i).id);
            ++i;
        }
    }
}

void LogSessionStore::sortNewestFirst()
{
    std::vector<qsizetype> order(static_cast<size_t>(m_sessions.size()));
    std::iota(order.begin(), order.end(), qsizetype{0});
    std::stable_sort(order.begin(), order.end(), [this](qsizetype a, qsizetype b) {
        return sortKey(m_sessions.at(a)) > sortKey(m_sessions.at(b));
    });
    if (std::is_sorted(order.begin(), order.end()))
        return;
    QList<LogSession> sessions;
    QList<QByteArray> encoded;
    sessions.reserve(m_sessions.size());
    encoded.reserve(m_encoded.size());
    for (const qsizetype i : order) {
        sessions.append(std::move(m_sessions[i]));
        encoded.append(std::move(m_encoded[i]));
    }
    m_sessions = std::move(sessions);
    m_encoded = std::move(encoded);
}

void LogSessionStore::upsert(const LogSession& session)
{
    if (session.isEmpty()) {
        remove(session.id);
        return;
    }
    const auto it = std::find_if(m_sessions.cbegin(), m_sessions.cend(),
                                 [&session](const LogSession& stored) { return stored.id == session.id; });
    if (it != m_sessions.cend()) {
        const qsizetype index = it - m_sessions.cbegin();
        m_sessions[index] = session;
        m_encoded[index] = QByteArray();
    } else {
        m_sessions.prepend(session);
        m_encoded.prepend(QByteArray());
    }
    sortNewestFirst();
    save();
    Q_EMIT sessionsChanged();
}

void LogSessionStore::remove(const QUuid& id)
{
    bool removed = false;
    for (qsizetype i = m_sessions.size() - 1; i >= 0; --i) {
        if (m_sessions.at(i).id == id) {
            m_sessions.removeAt(i);
            m_encoded.removeAt(i);
            removed = true;
        }
    }
    if (!removed)
        return;
    save();
    Q_EMIT sessionsChanged();
}

void LogSessionStore::save()
{
    for (qsizetype i = 0; i < m_sessions.size(); ++i) {
        if (m_encoded.at(i).isEmpty())
            m_encoded[i] = m_sessions.at(i).toJson();
    }
    if (m_unreadableFile && !clearUnreadableFile()) {
        const QString message = QStringLiteral("The logs are not being saved: %1 cannot be read and cannot be moved "
                                               "out of the way.")
                                    .arg(QDir::toNativeSeparators(m_url));
        setSaveError(message);
        Q_EMIT saveFailed(message);
        return;
    }
    // A list of its own for the writer: m_encoded is edited in place here, and Qt's detach check
    // alone does not order those edits after the writer's reads. The byte arrays themselves are
    // shared and only ever replaced, never changed.
    m_writer->submit(QList<QByteArray>(m_encoded.cbegin(), m_encoded.cend()));
}

bool LogSessionStore::clearUnreadableFile()
{
    const QString moved = SafeFile::moveAside(m_url);
    // A move that failed because the file has gone since (removed by hand) leaves nothing to keep.
    if (moved.isEmpty() && QFileInfo::exists(m_url))
        return false;
    m_unreadableFile = false;
    if (!moved.isEmpty()) {
        m_movedAsidePath = moved;
        Q_EMIT movedAsidePathChanged();
    }
    return true;
}

void LogSessionStore::waitForWrites()
{
    m_writer->waitUntilIdle();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void LogSessionStore::finishWrite(bool written)
{
    if (written) {
        setSaveError(QString());
        return;
    }
    const QString message = QStringLiteral("The logs could not be saved to %1.").arg(QDir::toNativeSeparators(m_url));
    setSaveError(message);
    Q_EMIT saveFailed(message);
}

void LogSessionStore::setSaveError(const QString& message)
{
    if (message == m_saveError)
        return;
    m_saveError = message;
    Q_EMIT saveErrorChanged();
}
