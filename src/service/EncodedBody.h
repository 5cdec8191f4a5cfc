#pragma once

#include <QByteArray>
#include <QList>

#include <memory>

class QIODevice;
class QObject;

// A request body already encoded as JSON: one run of bytes, or the pieces it is made of, in
// order. Pieces go up as they are, so the body of a long shoot's sync (tens of megabytes joined
// from rows kept encoded) is never copied into one array; they share their bytes with whoever
// encoded them.
class EncodedBody {
public:
    EncodedBody() = default;
    EncodedBody(QByteArray bytes); // NOLINT(google-explicit-constructor): a body is its bytes
    explicit EncodedBody(QList<QByteArray> pieces);

    [[nodiscard]] qsizetype size() const { return m_size; }
    [[nodiscard]] const QList<QByteArray>& pieces() const { return m_pieces; }
    // Whether the body is one run of bytes (or none).
    [[nodiscard]] bool isWhole() const { return m_pieces.size() <= 1; }
    // The bytes as one array; the array itself when the body is one.
    [[nodiscard]] QByteArray joined() const;
    // A device reading the body from its pieces, which it takes over; random access, so the
    // network layer can start again from the top.
    [[nodiscard]] std::unique_ptr<QIODevice> takeDevice();

private:
    QList<QByteArray> m_pieces;
    qsizetype m_size = 0;
};
