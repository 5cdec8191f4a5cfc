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
// nothing while it cannot be moved. Sessions of one id load as one, the newest.
//
// Every save that does not reach the disk is reported (`saveFailed`, `saveError`), and so is the
// move of an unreadable file (`movedAsidePath`), so the screens can say so.
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
    // Writes the whole list; a failure keeps the list as it is and is reported.
    void save();

    // Blocks until every save so far has reached the file (or failed) and its outcome is published.
    void waitForWrites();
    // Whether the last finished write failed.
    [[nodiscard]] bool lastWriteFailed() const { return m_writer->lastWriteFailed(); }
    // Why the latest save did not reach the disk; empty when it did.
    [[nodiscard]] const QString& saveError() const { return m_saveError; }
    // Where the unreadable file was moved; empty while none was.
    [[nodiscard]] const QString& movedAsidePath() const { return m_movedAsidePath; }

Q_SIGNALS:
    void sessionsChanged();
    // Each save that did not reach the disk, with the message for the screens.
    void saveFailed(const QString& message);
    void saveErrorChanged();
    void movedAsidePathChanged();

private:
    void load();
    void sortNewestFirst();
    void dropRepeatedIds();
    void finishWrite(bool written);
    void setSaveError(const QString& message);
    // Moves an unreadable file out of the way; false while it is still in the way.
    [[nodiscard]] bool clearUnreadableFile();

    const QString m_url;
    QList<LogSession> m_sessions;
    // m_sessions[i] encoded; empty when not yet encoded.
    QList<QByteArray> m_encoded;
    // The file on disk could not be read or decoded and has not been moved aside yet.
    bool m_unreadableFile = false;
    QString m_saveError;
    QString m_movedAsidePath;
    std::unique_ptr<SessionWriter> m_writer;
};
