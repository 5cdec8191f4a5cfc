#pragma once

#include "platform/Clock.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// The user defaults: a typed key/value store kept as one JSON object file. JSON keeps a value's
// type, so a reader can tell a missing value from one of the wrong type and fall back to its
// default. Safe to use from any thread.
//
// Reads answer from memory and see every set at once. The file is rewritten whole and atomically
// on a writer thread of its own: a fader drag sets a value a thousand times a second, so a set
// only hands over a snapshot, at most once per `writeInterval`, and the writer always writes the
// latest one it was given. A crash loses at most the last `writeInterval` of changes; `flush`
// (called at quit and by the destructor) loses none.
class Defaults {
public:
    static constexpr std::chrono::milliseconds writeInterval{400};

    // A store backed by `filePath`. A file that is not a JSON object is moved aside (never
    // overwritten) and the store starts empty. The store's timer belongs to the calling thread,
    // which must run an event loop for changes to reach the file between flushes.
    explicit Defaults(QString filePath, Clock* clock = nullptr);
    // Flushes.
    ~Defaults();

    Defaults(const Defaults&) = delete;
    Defaults& operator=(const Defaults&) = delete;

    // The application's store, in the user's config folder; created on first use.
    static Defaults& shared();

    [[nodiscard]] QString filePath() const { return m_path; }
    // Where an unreadable file was moved when the store was created; empty when none was.
    [[nodiscard]] QString movedAsidePath() const { return m_movedAside; }

    // The stored value; QJsonValue::Undefined when the key is absent.
    [[nodiscard]] QJsonValue value(const QString& key) const;
    [[nodiscard]] bool contains(const QString& key) const;

    // Typed reads: nullopt when the key is absent or holds another type.
    [[nodiscard]] std::optional<bool> boolValue(const QString& key) const;
    [[nodiscard]] std::optional<double> number(const QString& key) const;
    [[nodiscard]] std::optional<QString> string(const QString& key) const;
    // Only an array whose every element is a string.
    [[nodiscard]] std::optional<QStringList> stringList(const QString& key) const;

    // Setting the value a key already holds writes nothing.
    void set(const QString& key, const QJsonValue& value);
    void set(const QString& key, const QStringList& value);
    // A value given as its JSON text (one complete value): reads see it parsed, and the file
    // carries the text as given, so a record keeps the key order it documents (a QJsonObject
    // sorts its keys). Text that does not parse sets nothing.
    void setJson(const QString& key, const QByteArray& json);
    void remove(const QString& key);

    // Writes every change not yet on disk and waits for it. True when the file holds every value
    // set so far.
    bool flush();

    // Whether the last finished write reached the disk.
    [[nodiscard]] bool lastWriteSucceeded() const;
    // Files written since the store was created.
    [[nodiscard]] int writeCount() const;

private:
    void changedLocked();
    void submitLocked();
    void startTimer();
    void onTimer();
    void run();

    const QString m_path;
    Clock& m_clock;
    QString m_movedAside;
    // An unreadable file that could not be moved aside is left alone: values stay in memory.
    bool m_readOnly = false;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    QJsonObject m_values;
    // Every change counts up; the writer's progress is measured against it.
    quint64 m_generation = 0;
    quint64 m_submittedGeneration = 0;
    quint64 m_finishedGeneration = 0;
    quint64 m_writtenGeneration = 0;
    // Keys whose file text was given by setJson.
    QHash<QString, QByteArray> m_texts;
    struct Snapshot {
        quint64 generation = 0;
        QJsonObject values;
        QHash<QString, QByteArray> texts;
    };
    std::optional<Snapshot> m_pending;
    Clock::Duration m_lastSubmit{};
    bool m_submittedOnce = false;
    bool m_timerArmed = false;
    bool m_lastWriteOk = true;
    bool m_stopping = false;
    int m_writeCount = 0;

    // Lives on the creating thread: sets from other threads reach the timer through it.
    QObject m_owner;
    std::unique_ptr<Clock::Timer> m_timer;
    // Last, so that everything it reads exists before it starts.
    std::thread m_writer;
};
