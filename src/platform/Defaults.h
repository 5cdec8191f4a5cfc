#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <optional>

// The user defaults: a typed key/value store kept as one JSON object file. JSON keeps a value's
// type, so a reader can tell a missing value from one of the wrong type and fall back to its
// default. Every change rewrites the file atomically. Safe to use from any thread.
class Defaults {
public:
    // A store backed by `filePath`. A file that is not a JSON object is moved aside (never
    // overwritten) and the store starts empty.
    explicit Defaults(QString filePath);

    // The application's store, in the user's config folder; created on first use.
    static Defaults& shared();

    [[nodiscard]] QString filePath() const { return m_path; }

    // The stored value; QJsonValue::Undefined when the key is absent.
    [[nodiscard]] QJsonValue value(const QString& key) const;
    [[nodiscard]] bool contains(const QString& key) const;

    // Typed reads: nullopt when the key is absent or holds another type.
    [[nodiscard]] std::optional<bool> boolValue(const QString& key) const;
    [[nodiscard]] std::optional<double> number(const QString& key) const;
    [[nodiscard]] std::optional<QString> string(const QString& key) const;
    // Only an array whose every element is a string.
    [[nodiscard]] std::optional<QStringList> stringList(const QString& key) const;

    void set(const QString& key, const QJsonValue& value);
    void set(const QString& key, const QStringList& value);
    void remove(const QString& key);

    // Whether the last write reached the disk.
    [[nodiscard]] bool lastWriteSucceeded() const;

private:
    void writeLocked();

    const QString m_path;
    mutable QMutex m_mutex;
    QJsonObject m_values;
    bool m_lastWriteOk = true;
    // An unreadable file that could not be moved aside is left alone: values stay in memory.
    bool m_readOnly = false;
};
