#include "service/EncodedBody.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Reads the concatenation of byte arrays without joining them.
class PiecesDevice final : public QIODevice {
public:
    explicit PiecesDevice(QList<QByteArray> pieces) : m_pieces(std::move(pieces))
    {
        m_starts.reserve(size_t(m_pieces.size()));
        qint64 at = 0;
        for (const QByteArray& piece : std::as_const(m_pieces)) {
            m_starts.push_back(at);
            at += piece.size();
        }
        m_size = at;
        open(QIODevice::ReadOnly);
    }

    bool isSequential() const override { return false; }
    qint64 size() const override { return m_size; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        qint64 at = pos();
        if (at >= m_size)
            return 0;
        // The last piece that starts at or before `at`.
        auto piece = std::upper_bound(m_starts.cbegin(), m_starts.cend(), at) - m_starts.cbegin() - 1;
        qint64 read = 0;
        while (read < maxSize && piece < m_pieces.size()) {
            const QByteArray& bytes = m_pieces.at(piece);
            const qint64 offset = at - m_starts[size_t(piece)];
            const qint64 count = std::min<qint64>(bytes.size() - offset, maxSize - read);
            if (count > 0) {
                std::memcpy(data + read, bytes.constData() + offset, size_t(count));
                read += count;
                at += count;
            }
            ++piece;
        }
        return read;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QList<QByteArray> m_pieces;
    std::vector<qint64> m_starts;
    qint64 m_size = 0;
};

} // namespace

EncodedBody::EncodedBody(QByteArray bytes) : m_size(bytes.size())
{
    m_pieces.append(std::move(bytes));
}

EncodedBody::EncodedBody(QList<QByteArray> pieces) : m_pieces(std::move(pieces))
{
    for (const QByteArray& piece : std::as_const(m_pieces))
        m_size += piece.size();
}

QByteArray EncodedBody::joined() const
{
    if (isWhole())
        return m_pieces.isEmpty() ? QByteArray() : m_pieces.constFirst();
    QByteArray out;
    out.reserve(m_size);
    for (const QByteArray& piece : m_pieces)
        out.append(piece);
    return out;
}

std::unique_ptr<QIODevice> EncodedBody::takeDevice()
{
    m_size = 0;
    return std::make_unique<PiecesDevice>(std::exchange(m_pieces, {}));
}
