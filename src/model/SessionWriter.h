#pragma once

#include "model/LogSession.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <variant>

// Writes the saved-sessions file on its own thread, so that a save costs the main thread next to
// nothing. The main thread hands over each session either as its encoded JSON or as the session
// itself (a shared copy, no deep copy); this thread encodes what needs it and writes the whole
// file from the sessions' pieces, never joined into one array: a day's log would be held twice.
//
// Writes run one at a time, in the order submitted. A submission replaces one that has not yet
// started: during a burst of saves the file skips the states in between but always ends with
// the latest.
class SessionWriter {
public:
    // Writes the whole file, the pieces in order, or nothing; returns false on failure.
    using WriteFunction = std::function<bool(const QString& path, const QList<QByteArray>& pieces)>;
    // Told the outcome of every write, on the writer's thread, before `waitUntilIdle` returns.
    using FinishedFunction = std::function<void(bool written)>;

    // A session this thread encodes. The caller must not change the copy it shares with this one.
    // `revision` names that content: what was encoded for the last file is kept by revision, so a
    // session saved again unchanged is not encoded again.
    struct Unencoded {
        LogSession session;
        quint64 revision = 0;
    };
    // One session of the file: its JSON, or the session to encode here.
    using Part = std::variant<QByteArray, Unencoded>;

    explicit SessionWriter(QString path, WriteFunction write = defaultWrite(), FinishedFunction finished = {});
    // Finishes the pending write, then stops the thread.
    ~SessionWriter();

    SessionWriter(const SessionWriter&) = delete;
    SessionWriter& operator=(const SessionWriter&) = delete;

    // Queues the file made of these encoded sessions, in this order.
    void submit(const QList<QByteArray>& encodedSessions);
    // Queues the file made of these sessions, in this order. `retired` are copies the caller has
    // let go of, dropped here: the last copy of a long log takes a while to free.
    void submitSessions(QList<Part> sessions, QList<LogSession> retired = {});
    // Blocks until every submitted write has finished.
    void waitUntilIdle();
    // Whether the last finished write failed (the file keeps its earlier contents).
    [[nodiscard]] bool lastWriteFailed() const { return m_lastWriteFailed.load(); }

    // "[a,b,...]": the file's pieces from the encoded sessions.
    [[nodiscard]] static QList<QByteArray> filePieces(const QList<QByteArray>& encodedSessions);
    [[nodiscard]] static WriteFunction defaultWrite();

private:
    void run();
    // Writer thread only, without the lock: what it makes is freed before the caller locks again,
    // as freeing a whole file's bytes takes milliseconds.
    [[nodiscard]] bool write(QList<Part> sessions, QList<LogSession> retired);
    // The file's pieces.
    [[nodiscard]] QList<QByteArray> encode(const QList<Part>& sessions);

    const QString m_path;
    const WriteFunction m_write;
    const FinishedFunction m_finished;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::optional<QList<Part>> m_pending;
    QList<LogSession> m_retired;
    bool m_writing = false;
    bool m_stopping = false;
    std::atomic<bool> m_lastWriteFailed{false};
    // Writer thread only: the JSON of the last file's unencoded sessions, by revision, and the
    // entries encoded for it.
    QHash<quint64, QByteArray> m_encodedRevisions;
    LogEntryCache m_entryCache;

    // Last, so that everything it reads exists before it starts.
    std::thread m_thread;
};
