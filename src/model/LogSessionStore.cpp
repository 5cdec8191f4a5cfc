#include "model/LogSessionStore.h"

#include "platform/AppPaths.h"
#include "platform/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A date that is not a number sorts as the oldest, so the order stays a strict weak ordering.
double sortKey(const LogSession& session)
{
    const double seconds = session.createdAt.sinceReferenceDate;
    return std::isnan(seconds) ? -std::numeric_limits<double>::infinity() : seconds;
}

} // namespace

struct LogSessionStore::PendingLoad {
    // Set when the store goes first: the worker stops at the next step and posts nothing.
    std::atomic<bool> abandoned{false};
    // Written by the worker; read on the main thread once the worker is joined.
    FileContents contents;
    // Main thread: what changed before the file's sessions were in.
    QSet<QUuid> removed;
    bool saveRequested = false;
    std::thread worker;
};

LogSessionStore::LogSessionStore(QObject* parent) : LogSessionStore(LoadMode::Now, parent)
{
}

LogSessionStore::LogSessionStore(LoadMode mode, QObject* parent)
    : LogSessionStore(AppPaths::appSupportFolder() + fileName, mode, parent)
{
}

LogSessionStore::LogSessionStore(const QString& filePath, QObject* parent)
    : LogSessionStore(filePath, LoadMode::Now, parent)
{
}

LogSessionStore::LogSessionStore(const QString& filePath, LoadMode mode, QObject* parent)
    : QObject(parent), m_url(filePath),
      m_writer(std::make_unique<SessionWriter>(filePath, SessionWriter::defaultWrite(), [this](bool written) {
          QMetaObject::invokeMethod(
              this, [this, written] { finishWrite(written); }, Qt::QueuedConnection);
      }))
{
    if (mode == LoadMode::Now) {
        FileContents file = readFile(m_url, std::atomic<bool>{false});
        m_sessions = std::move(file.sessions);
        m_encoded = std::move(file.encoded);
        m_unreadableFile = file.unreadable;
        return;
    }
    m_load = std::make_unique<PendingLoad>();
    m_load->worker = std::thread([this, load = m_load.get()] {
        load->contents = readFile(m_url, load->abandoned);
        // Posted to the store itself: one destroyed before it runs drops it (and joins us first).
        if (!load->abandoned)
            QMetaObject::invokeMethod(
                this, [this] { waitForLoad(); }, Qt::QueuedConnection);
    });
}

LogSessionStore::~LogSessionStore()
{
    if (m_load) {
        if (m_load->saveRequested || !m_load->removed.isEmpty()) {
            // Changes made while loading reach the file only through the load: finish it.
            const QSignalBlocker quiet(this);
            waitForLoad();
        } else {
            m_load->abandoned = true;
            m_load->worker.join();
        }
    }
    // Gone before the QObject: an outcome still posted to it is dropped with it.
    m_writer.reset();
}

LogSessionStore::FileContents LogSessionStore::readFile(const QString& path, const std::atomic<bool>& abandoned)
{
    // Before this store's first save, so none of its own temporaries can be there yet.
    SafeFile::removeStaleTemporaries(path);
    FileContents contents;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        // No file is a first start; a file that is there but will not open must not be lost.
        contents.unreadable = QFileInfo::exists(path);
        return contents;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        contents.unreadable = true;
        return contents;
    }
    if (abandoned)
        return {};
    std::optional<QList<LogSession>> decoded = LogSessionFile::decode(bytes);
    if (!decoded) {
        contents.unreadable = true;
        return contents;
    }
    contents.sessions = std::move(*decoded);
    // Encoded now, while the app starts, rather than as a pause at the first change of a shoot.
    contents.encoded.reserve(contents.sessions.size());
    for (const LogSession& session : std::as_const(contents.sessions)) {
        if (abandoned)
            return {};
        contents.encoded.append(Encoded{session.toJson(), 0});
    }
    sortNewestFirst(contents.sessions, contents.encoded);
    dropRepeatedIds(contents.sessions, contents.encoded);
    return contents;
}

void LogSessionStore::waitForLoad()
{
    if (!m_load)
        return;
    m_load->worker.join();
    const std::unique_ptr<PendingLoad> load = std::move(m_load);
    QList<LogSession> stored = std::exchange(m_sessions, std::move(load->contents.sessions));
    QList<Encoded> storedEncoded = std::exchange(m_encoded, std::move(load->contents.encoded));
    m_unreadableFile = load->contents.unreadable;
    bool removedFromFile = false;
    for (qsizetype i = m_sessions.size() - 1; i >= 0; --i) {
        if (load->removed.contains(m_sessions.at(i).id)) {
            m_retired.append(m_sessions.takeAt(i));
            m_encoded.removeAt(i);
            removedFromFile = true;
        }
    }
    // From the back, so that the sessions new to the file keep their order among themselves.
    for (qsizetype i = stored.size() - 1; i >= 0; --i)
        put(stored.at(i), std::move(storedEncoded[i]));
    sortNewestFirst(m_sessions, m_encoded);
    if (load->saveRequested || removedFromFile)
        save();
    Q_EMIT sessionsChanged();
    Q_EMIT loaded();
}

void LogSessionStore::dropRepeatedIds(QList<LogSession>& sessions, QList<Encoded>& encoded)
{
    // Newest first by now, so the newest copy of an id is the one kept.
    QSet<QUuid> seen;
    for (qsizetype i = 0; i < sessions.size();) {
        if (seen.contains(sessions.at(i).id)) {
            sessions.removeAt(i);
            encoded.removeAt(i);
        } else {
            seen.insert(sessions.at(i).id);
            ++i;
        }
    }
}

void LogSessionStore::sortNewestFirst(QList<LogSession>& sessions, QList<Encoded>& encoded)
{
    std::vector<qsizetype> order(static_cast<size_t>(sessions.size()));
    std::iota(order.begin(), order.end(), qsizetype{0});
    std::stable_sort(order.begin(), order.end(), [&sessions](qsizetype a, qsizetype b) {
        return sortKey(sessions.at(a)) > sortKey(sessions.at(b));
    });
    if (std::is_sorted(order.begin(), order.end()))
        return;
    QList<LogSession> sortedSessions;
    QList<Encoded> sortedEncoded;
    sortedSessions.reserve(sessions.size());
    sortedEncoded.reserve(encoded.size());
    for (const qsizetype i : order) {
        sortedSessions.append(std::move(sessions[i]));
        sortedEncoded.append(std::move(encoded[i]));
    }
    sessions = std::move(sortedSessions);
    encoded = std::move(sortedEncoded);
}

void LogSessionStore::put(const LogSession& session, Encoded encoded)
{
    const auto it = std::find_if(m_sessions.cbegin(), m_sessions.cend(),
                                 [&session](const LogSession& stored) { return stored.id == session.id; });
    if (it != m_sessions.cend()) {
        const qsizetype index = it - m_sessions.cbegin();
        m_retired.append(std::exchange(m_sessions[index], session));
        m_encoded[index] = std::move(encoded);
    } else {
        m_sessions.prepend(session);
        m_encoded.prepend(std::move(encoded));
    }
}

void LogSessionStore::upsert(const LogSession& session)
{
    if (session.isEmpty()) {
        remove(session.id);
        return;
    }
    // Encoded on the writer's thread: a long log's JSON takes milliseconds, once per marker press.
    put(session, Encoded{QByteArray(), ++m_lastRevision});
    sortNewestFirst(m_sessions, m_encoded);
    save();
    Q_EMIT sessionsChanged();
}

void LogSessionStore::remove(const QUuid& id)
{
    // The file's copy is not known yet: it goes when the load lands.
    if (m_load)
        m_load->removed.insert(id);
    bool removed = false;
    for (qsizetype i = m_sessions.size() - 1; i >= 0; --i) {
        if (m_sessions.at(i).id == id) {
            m_retired.append(m_sessions.takeAt(i));
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
    if (m_load) {
        // A write now would replace the sessions not yet read with the few stored since.
        m_load->saveRequested = true;
        return;
    }
    if (m_unreadableFile && !clearUnreadableFile()) {
        const QString message = QStringLiteral("The logs are not being saved: %1 cannot be read and cannot be moved "
                                               "out of the way.")
                                    .arg(QDir::toNativeSeparators(m_url));
        m_retired.clear();
        setSaveError(message);
        Q_EMIT saveFailed(message);
        return;
    }
    // The writer reads these copies while the lists here change: safe, as a stored session is
    // only ever replaced or dropped here, never changed in place.
    QList<SessionWriter::Part> parts;
    parts.reserve(m_sessions.size());
    for (qsizetype i = 0; i < m_sessions.size(); ++i) {
        const Encoded& encoded = m_encoded.at(i);
        if (encoded.json.isEmpty())
            parts.append(SessionWriter::Unencoded{m_sessions.at(i), encoded.revision});
        else
            parts.append(encoded.json);
    }
    m_writer->submitSessions(std::move(parts), std::exchange(m_retired, {}));
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
    // A save asked for while loading is made when the load lands.
    waitForLoad();
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
