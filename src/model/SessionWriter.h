#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

// Writes the saved-sessions file on its own thread, so that a save costs the main thread only
// the encoding of what changed. The main thread hands over each session's encoded JSON (shared
// byte arrays, no copy); this thread joins them into one array and writes the whole file.
//
// Writes run one at a time, in the order submitted. A submission replaces one that has not yet
// started: during a burst of saves the file skips the states in between but always ends with
// the latest.
class SessionWriter {
public:
    // Writes the whole file or nothing; returns false on failure.
    using WriteFunction = std::function<bool(const QString& path, const QByteArray& bytes)>;
    // Told the outcome of every write, on the writer's thread, before `waitUntilIdle` returns.
    using FinishedFunction = std::function<void(bool written)>;

    explicit SessionWriter(QString path, WriteFunction write = defaultWrite(), FinishedFunction finished = {});
    // Finishes the pending write, then stops the thread.
    ~SessionWriter();

    SessionWriter(const SessionWriter&) = delete;
    SessionWriter& operator=(const SessionWriter&) = delete;

    // Queues the file made of these encoded sessions, in this order.
    void submit(QList<QByteArray> encodedSessions);
    // Blocks until every submitted write has finished.
    void waitUntilIdle();
    // Whether the last finished write failed (the file keeps its earlier contents).
    [[nodiscard]] bool lastWriteFailed() const { return m_lastWriteFailed.load(); }

    // "[a,b,...]": the file's bytes from the encoded sessions.
    [[nodiscard]] static QByteArray join(const QList<QByteArray>& encodedSessions);
    [[nodiscard]] static WriteFunction defaultWrite();

private:
    void run();

    const QString m_path;
    const WriteFunction m_write;
    const FinishedFunction m_finished;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<QList<QByteArray>> m_pending;
    bool m_writing = false;
    bool m_stopping = false;
    std::atomic<bool> m_lastWriteFailed{false};

    // Last, so that everything it reads exists before it starts.
    std::thread m_thread;
};
