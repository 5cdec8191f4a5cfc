#pragma once

#include "model/LogSession.h"
#include "model/SessionWriter.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>

// The saved logs, newest first, kept in "log-sessions.json". Read once when created; every change
// writes the whole file. Main thread only.
//
// The file of a long shoot runs to tens of megabytes, so each session's JSON is kept encoded and
// a change re-encodes only the session it touches; the file itself is joined and written on a
// background thread (SessionWriter), always atomically, the latest save winning.
//
// A file that exists but cannot be read or decoded is never overwritten: the first save moves it
// aside ("log-sessions.json.unreadable-<ms>") so it can still be recovered by hand, and writes
// nothing while it cannot be moved.
class LogSessionStore : public QObject {
    Q_OBJECT

public:
    static inline const QString fileName = QStringLiteral("log-sessions.json");

    // The file in the application's support folder.
    explicit LogSessionStore(QObject* parent = nullptr);
    explicit LogSessionStore(const QString& filePath, QObject* parent = nullptr);
    // Finishes any write still pending.
    ~LogSessionStore() override;

    // Newest first (descending `createdAt`); sessions of equal date keep their order.
    [[nodiscard]] const QList<LogSession>& sessions() const { return m_sessions; }
    // The path of the file.
    [[nodiscard]] const QString& url() const { return m_url; }

    // Stores the session, replacing a stored one with its id. A log with neither entries nor
    // transcript lines is never stored: it removes a stored copy instead.
    void upsert(const LogSession& session);
    // Removes every session with the id; writes the file only when one was removed.
    void remove(const QUuid& id);
    // Writes the whole list. Nothing is written when a session cannot be encoded (a date that is
    // not a finite number); a failed write is ignored and the list stays as it is.
    void save();

    // Blocks until every save so far has reached the file (or failed).
    void waitForWrites();
    // Whether the last finished write failed.
    [[nodiscard]] bool lastWriteFailed() const { return m_writer->lastWriteFailed(); }

Q_SIGNALS:
    void sessionsChanged();

private:
    void load();
    void sortNewestFirst();
    // Moves an unreadable file out of the way; false while it is still in the way.
    [[nodiscard]] bool clearUnreadableFile();

    const QString m_url;
    QList<LogSession> m_sessions;
    // m_sessions[i] encoded; empty when not yet encoded.
    QList<QByteArray> m_encoded;
    // The file on disk could not be read or decoded and has not been moved aside yet.
    bool m_unreadableFile = false;
    std::unique_ptr<SessionWriter> m_writer;
};
