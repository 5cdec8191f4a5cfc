#include "model/SessionWriter.h"

#include "platform/SafeFile.h"

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
    return [](const QString& path, const QByteArray& bytes) { return SafeFile::writeAtomically(path, bytes); };
}

void SessionWriter::submit(QList<QByteArray> encodedSessions)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(encodedSessions);
    }
    m_wake.notify_one();
}

void SessionWriter::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return !m_pending && !m_writing; });
}

QByteArray SessionWriter::join(const QList<QByteArray>& encodedSessions)
{
    qsizetype size = 2 + (encodedSessions.isEmpty() ? 0 : encodedSessions.size() - 1);
    for (const QByteArray& session : encodedSessions)
        size += session.size();
    QByteArray out;
    out.reserve(size);
    out.append('[');
    for (qsizetype i = 0; i < encodedSessions.size(); ++i) {
        if (i > 0)
            out.append(',');
        out.append(encodedSessions.at(i));
    }
    out.append(']');
    return out;
}

void SessionWriter::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // A pending write is finished even when stopping: the destructor flushes.
        m_wake.wait(lock, [this] { return m_pending || m_stopping; });
        if (!m_pending)
            return;
        const QList<QByteArray> sessions = std::move(*m_pending);
        m_pending.reset();
        m_writing = true;
        lock.unlock();

        const bool ok = m_write(m_path, join(sessions));
        m_lastWriteFailed.store(!ok);
        if (m_finished)
            m_finished(ok);

        lock.lock();
        m_writing = false;
        if (!m_pending)
            m_idle.notify_all();
    }
}
