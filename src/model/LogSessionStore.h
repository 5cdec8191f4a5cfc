#pragma once

#include "model/LogSession.h"
#include "model/SessionWriter.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <atomic>
#include <memory>

// The saved logs, newest first, kept in "log-sessions.json". Read once when created; every change
// writes the whole file. Main thread only.
//
// The file of a long shoot runs to tens of megabytes, so a save costs the main thread no JSON:
// each session read from the file is kept encoded, and the writer's thread (SessionWriter)
// encodes the sessions stored since, joins and writes the file, always atomically, the latest
// save winning.
//
// Reading and decoding such a file takes about a second, so a store made with
// `LoadMode::Background` reads it on a worker thread and starts empty. Until the load lands
// (`loaded`), changes are kept and nothing is written, since a write then would replace the
// sessions not yet read; when it lands they are merged into what was read (a stored session
// replaces the file's copy of its id, a removed id goes) and a save asked for meanwhile is made.
//
// A file that exists but cannot be read or decoded is never overwritten: the first save moves it
// aside ("log-sessions.json.unreadable-<ms>") so it can still be recovered by hand, and writes
// nothing while it cannot be moved. Sessions of one id load as one, the newest. Temporaries that
// a save killed mid-write left next to the file are removed as it is read, once they are stale
// (`SafeFile::removeStaleTemporaries`), so not one that a save still running writes to.
//
// Every save that does not reach the disk is reported (`saveFailed`, `saveError`), and so is the
// move of an unreadable file (`movedAsidePath`), so the screens can say so.
class LogSessionStore : public QObject {
    Q_OBJECT

public:
    static inline const QString fileName = QStringLiteral("log-sessions.json");

    enum class LoadMode {
        // The file is read before the constructor returns.
        Now,
        // The file is read on a worker thread; `loaded` tells when its sessions are in.
        Background,
    };

    // The file in the application's support folder.
    explicit LogSessionStore(QObject* parent = nullptr);
    explicit LogSessionStore(LoadMode mode, QObject* parent = nullptr);
    explicit LogSessionStore(const QString& filePath, QObject* parent = nullptr);
    LogSessionStore(const QString& filePath, LoadMode mode, QObject* parent = nullptr);
    // Finishes any write still pending. A load still running is abandoned, unless changes made
    // meanwhile wait for it: then it is finished and they are saved.
    ~LogSessionStore() override;

    // Newest first (descending `createdAt`); sessions of equal date keep their order. While
    // loading: only the sessions stored since the store was made.
    [[nodiscard]] const QList<LogSession>& sessions() const { return m_sessions; }
    // The path of the file.
    [[nodiscard]] const QString& url() const { return m_url; }
    // Whether the file's sessions are in; always true for `LoadMode::Now`.
    [[nodiscard]] bool isLoaded() const { return !m_load; }
    // Blocks until the file's sessions are in (and a save asked for meanwhile is submitted).
    void waitForLoad();

    // Stores the session, replacing a stored one with its id. A log with neither entries nor
    // transcript lines is never stored: it removes a stored copy instead.
    void upsert(const LogSession& session);
    // Removes every session with the id; writes the file only when one was removed.
    void remove(const QUuid& id);
    // Writes the whole list; a failure keeps the list as it is and is reported.
    void save();

    // Blocks until the load has landed and every save so far has reached the file (or failed),
    // and their outcome is published.
    void waitForWrites();
    // Whether the last finished write failed.
    [[nodiscard]] bool lastWriteFailed() const { return m_writer->lastWriteFailed(); }
    // Why the latest save did not reach the disk; empty when it did.
    [[nodiscard]] const QString& saveError() const { return m_saveError; }
    // Where the unreadable file was moved; empty while none was.
    [[nodiscard]] const QString& movedAsidePath() const { return m_movedAsidePath; }

Q_SIGNALS:
    void sessionsChanged();
    // A background load has landed; `sessionsChanged` comes just before it.
    void loaded();
    // Each save that did not reach the disk, with the message for the screens.
    void saveFailed(const QString& message);
    void saveErrorChanged();
    void movedAsidePathChanged();

private:
    // A stored session's JSON, or (empty) the revision under which the writer encodes it.
    struct Encoded {
        QByteArray json;
        quint64 revision = 0;
    };
    // The file as read: sessions newest first, one per id, each encoded.
    struct FileContents {
        QList<LogSession> sessions;
        QList<Encoded> encoded;
        // The file is there but could not be read or decoded.
        bool unreadable = false;
    };
    struct PendingLoad;

    [[nodiscard]] static FileContents readFile(const QString& path, const std::atomic<bool>& abandoned);
    static void sortNewestFirst(QList<LogSession>& sessions, QList<Encoded>& encoded);
    static void dropRepeatedIds(QList<LogSession>& sessions, QList<Encoded>& encoded);

    // Replaces the stored session of its id in place, or puts it first; the caller sorts.
    void put(const LogSession& session, Encoded encoded);
    void finishWrite(bool written);
    void setSaveError(const QString& message);
    // Moves an unreadable file out of the way; false while it is still in the way.
    [[nodiscard]] bool clearUnreadableFile();

    const QString m_url;
    QList<LogSession> m_sessions;
    // m_sessions[i] encoded, or its revision.
    QList<Encoded> m_encoded;
    quint64 m_lastRevision = 0;
    // Sessions let go of since the last save, for the writer to free.
    QList<LogSession> m_retired;
    // The file on disk could not be read or decoded and has not been moved aside yet.
    bool m_unreadableFile = false;
    QString m_saveError;
    QString m_movedAsidePath;
    std::unique_ptr<SessionWriter> m_writer;
    // Set while a background load has not landed.
    std::unique_ptr<PendingLoad> m_load;
};
