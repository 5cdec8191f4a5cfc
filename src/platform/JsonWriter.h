#pragma once

#include "platform/Date.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// A streaming JSON writer into one byte buffer: compact (no white space), keys in the order
// written. Faster than building QJsonObjects for large saved logs, and it writes dates and
// UUIDs the way the saved files carry them (seconds since 2001 as a number, upper-case UUID).
class JsonWriter {
public:
    explicit JsonWriter(QByteArray& out) : m_out(out) {}
    // Writes a long text as pieces: what is written goes to `out`, and an encoded value spliced
    // in with raw() from this size up is handed to `pieces` as it is, sharing its bytes, after
    // what `out` held so far. The text is the pieces in order, then what is left in `out`.
    JsonWriter(QByteArray& out, QList<QByteArray>& pieces) : m_out(out), m_pieces(&pieces) {}
    static constexpr qsizetype kSharedPiece = 512;

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();

    // Writes the key of the next value inside an object.
    JsonWriter& key(const char* name);

    void value(const QString& text);
    void value(const char* latin1Text);
    void value(bool flag);
    void value(double number);
    void value(int number);
    void value(qint64 number);
    void value(Date date);
    void value(const QUuid& uuid);
    void value(const QStringList& texts);
    void null();
    // Splices already-encoded JSON (one complete value) in as the next value.
    void raw(const QByteArray& encodedValue);

    // Writes the key and value, or nothing when the value is absent.
    template <typename T> void optional(const char* name, const std::optional<T>& v)
    {
        if (v) {
            key(name);
            value(*v);
        }
    }
    template <typename T> void field(const char* name, const T& v)
    {
        key(name);
        value(v);
    }

private:
    void separator();
    void writeString(QStringView text);

    QByteArray& m_out;
    QList<QByteArray>* m_pieces = nullptr;
    bool m_needComma = false;
};

// The 36-character hyphenated upper-case form of a UUID.
QString uuidText(const QUuid& uuid);
