#include "model/SessionWriter.h"

#include "platform/SafeFile.h"

#include <utility>

SessionWriter::SessionWriter(QString path, WriteFunction write, FinishedFunction finished)
    : m_path(std::move(path)), m_write(std::move(write)), m_finished(std::move(finished)), m_thread([this] { run(); })
{
}

SessionWriter::~SessionWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

SessionWriter::WriteFunction SessionWriter::defaultWrite()
{
    return [](const QString& path, const QList<QByteArray>& pieces) { return SafeFile::writeAtomically(path, pieces); };
}

void SessionWriter::submit(const QList<QByteArray>& encodedSessions)
{
    submitSessions(QList<Part>(encodedSessions.cbegin(), encodedSessions.cend()));
}

void SessionWriter::submitSessions(QList<Part> sessions, QList<LogSession> retired)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(sessions);
        m_retired.append(std::move(retired));
    }
    m_wake.notify_one();
}

void SessionWriter::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_writing; });
}

QList<QByteArray> SessionWriter::filePieces(const QList<QByteArray>& encodedSessions)
{
    QList<QByteArray> pieces;
    pieces.reserve(2 * encodedSessions.size() + 1);
    pieces.append(QByteArrayLiteral("["));
    for (qsizetype i = 0; i < encodedSessions.size(); ++i) {
        if (i > 0)
            pieces.append(QByteArrayLiteral(","));
        pieces.append(encodedSessions.at(i));
    }
    pieces.append(QByteArrayLiteral("]"));
    return pieces;
}

namespace {

// The largest session JSON kept from one file to the next.
constexpr qsizetype kKeptSessionBytes = 256 * 1024;

qsizetype totalSize(const QList<QByteArray>& pieces)
{
    qsizetype size = 0;
    for (const QByteArray& piece : pieces)
        size += piece.size();
    return size;
}

} // namespace

QList<QByteArray> SessionWriter::encode(const QList<Part>& sessions)
{
    QHash<quint64, QByteArray> encodedNow;
    QList<QByteArray> out;
    out.append(QByteArrayLiteral("["));
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        if (i > 0)
            out.append(QByteArrayLiteral(","));
        const Part& part = sessions.at(i);
        if (const auto* json = std::get_if<QByteArray>(&part)) {
            out.append(*json);
            continue;
        }
        const auto& [session, revision] = std::get<Unencoded>(part);
        QByteArray json = m_encodedRevisions.value(revision);
        if (json.isEmpty()) {
            QList<QByteArray> pieces = session.toJsonPieces(&m_entryCache);
            // A long log goes out as its pieces: its lines' and entries' own cached JSON, shared.
            // Keeping its whole JSON too would hold the day's log twice.
            if (totalSize(pieces) > kKeptSessionBytes) {
                out.append(std::move(pieces));
                continue;
            }
            json = pieces.join();
        }
        encodedNow.insert(revision, json);
        out.append(std::move(json));
    }
    out.append(QByteArrayLiteral("]"));
    // Only this file's: a session changed since comes back under a new revision.
    m_encodedRevisions = std::move(encodedNow);
    m_entryCache.sweep();
    return out;
}

bool SessionWriter::write(QList<Part> sessions, QList<LogSession> retired)
{
    const QList<QByteArray> pieces = encode(sessions);
    // Dropped before the write, which waits on the disk: a shoot's sessions need not live that long.
    // The pieces share their bytes with the sessions' caches, not with the sessions' lines.
    sessions.clear();
    retired.clear();
    return m_write(m_path, pieces);
}

void SessionWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // A pending write is finished even when stopping: the destructor flushes.
        m_wake.wait(lock, [this] { return m_pending || m_stopping; });
        if (!m_pending)
            return;
        QList<Part> sessions = std::move(*m_pending);
        m_pending.reset();
        QList<LogSession> retired = std::exchange(m_retired, {});
        m_writing = true;
        lock.unlock();

        const bool ok = write(std::move(sessions), std::move(retired));
        m_lastWriteFailed.store(!ok);
        if (m_finished)
            m_finished(ok);

        lock.lock();
        m_writing = false;
        if (!m_pending)
            m_idle.notify_all();
    }
}
