#include "WebSocketFrames.h"

#include <QCryptographicHash>
#include <QUtf8StringView>
#include <QtEndian>

namespace standin::ws {

namespace {

constexpr qsizetype kMaxControlPayload = 125;
constexpr quint8 kFinal = 0x80;
constexpr quint8 kReservedBits = 0x70;
constexpr quint8 kMasked = 0x80;

bool isControl(quint8 opcode)
{
    return (opcode & 0x8) != 0;
}

bool isKnown(quint8 opcode)
{
    return opcode <= 0x2 || (opcode >= 0x8 && opcode <= 0xA);
}

// Codes a peer may put in a close frame: the defined ones and those for applications, but not
// the ones that only name local events (1005, 1006, 1015).
bool isSendableCloseCode(int code)
{
    return (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1014) || (code >= 3000 && code <= 4999);
}

} // namespace

std::nullopt_t FrameReader::fail(int code, const char* problem)
{
    m_failure = code;
    m_problem = QString::fromLatin1(problem);
    m_buffer.clear();
    m_fragments.clear();
    return std::nullopt;
}

std::optional<Incoming> FrameReader::next()
{
    while (m_failure == 0) {
        const QByteArrayView bytes = QByteArrayView(m_buffer).sliced(m_read);
        if (bytes.size() < 2)
            break;
        const auto first = static_cast<quint8>(bytes[0]);
        const auto second = static_cast<quint8>(bytes[1]);
        const quint8 opcode = first & 0x0F;
        if ((first & kReservedBits) != 0)
            return fail(kProtocolError, "reserved bits set");
        if (!isKnown(opcode))
            return fail(kProtocolError, "unknown opcode");
        if ((second & kMasked) == 0)
            return fail(kProtocolError, "client frames must be masked");
        const quint8 shortLength = second & 0x7F;
        if (isControl(opcode) && ((first & kFinal) == 0 || shortLength > kMaxControlPayload))
            return fail(kProtocolError, "control frames must be whole and at most 125 bytes");

        const qsizetype lengthBytes = shortLength == 126 ? 2 : shortLength == 127 ? 8 : 0;
        const qsizetype headerBytes = 2 + lengthBytes + 4;
        if (bytes.size() < headerBytes)
            break;
        quint64 length = shortLength;
        if (lengthBytes == 2)
            length = qFromBigEndian<quint16>(bytes.data() + 2);
        else if (lengthBytes == 8)
            length = qFromBigEndian<quint64>(bytes.data() + 2);
        if (length > static_cast<quint64>(m_maxMessageBytes) ||
            static_cast<qint64>(length) + m_fragments.size() > m_maxMessageBytes)
            return fail(kTooBig, "message too big");
        if (bytes.size() < headerBytes + static_cast<qsizetype>(length))
            break;

        const uchar* mask = reinterpret_cast<const uchar*>(bytes.data()) + 2 + lengthBytes;
        QByteArray payload = bytes.sliced(headerBytes, static_cast<qsizetype>(length)).toByteArray();
        for (qsizetype i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char>(static_cast<uchar>(payload[i]) ^ mask[i % 4]);
        m_read += headerBytes + static_cast<qsizetype>(length);
        if (m_read > m_buffer.size() / 2) {
            m_buffer.remove(0, m_read);
            m_read = 0;
        }

        if (isControl(opcode)) {
            if (opcode == quint8(Opcode::Close) && !payload.isEmpty()) {
                if (payload.size() < 2 || !isSendableCloseCode(qFromBigEndian<quint16>(payload.constData())))
                    return fail(kProtocolError, "bad close code");
                if (!QUtf8StringView(payload).sliced(2).isValidUtf8())
                    return fail(kBadData, "close reason is not UTF-8");
            }
            return Incoming{static_cast<Opcode>(opcode), payload};
        }
        if (opcode == quint8(Opcode::Continuation) && !m_message)
            return fail(kProtocolError, "continuation without a message");
        if (opcode != quint8(Opcode::Continuation)) {
            if (m_message)
                return fail(kProtocolError, "a new message inside a fragmented one");
            m_message = static_cast<Opcode>(opcode);
        }
        m_fragments += payload;
        if ((first & kFinal) == 0)
            continue;
        Incoming message{*std::exchange(m_message, std::nullopt), std::exchange(m_fragments, {})};
        if (message.opcode == Opcode::Text && !QUtf8StringView(message.payload).isValidUtf8())
            return fail(kBadData, "text is not UTF-8");
        return message;
    }
    return std::nullopt;
}

QByteArray encodeFrame(Opcode opcode, QByteArrayView payload)
{
    QByteArray frame;
    frame.reserve(payload.size() + 10);
    frame.append(static_cast<char>(kFinal | static_cast<quint8>(opcode)));
    const auto size = static_cast<quint64>(payload.size());
    if (size < 126) {
        frame.append(static_cast<char>(size));
    } else if (size <= 0xFFFF) {
        frame.append(static_cast<char>(126));
        char length[2];
        qToBigEndian<quint16>(static_cast<quint16>(size), length);
        frame.append(length, 2);
    } else {
        frame.append(static_cast<char>(127));
        char length[8];
        qToBigEndian<quint64>(size, length);
        frame.append(length, 8);
    }
    frame.append(payload);
    return frame;
}

QByteArray closePayload(int code, const QString& reason)
{
    QByteArray payload(2, '\0');
    qToBigEndian<quint16>(static_cast<quint16>(code), payload.data());
    QByteArray text = reason.toUtf8();
    if (text.size() > kMaxControlPayload - 2) {
        // Never inside a character: while the first byte left out continues one (10xxxxxx),
        // leave that character out too.
        qsizetype cut = kMaxControlPayload - 2;
        while (cut > 0 && (static_cast<uchar>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.truncate(cut);
    }
    return payload + text;
}

QByteArray acceptKey(QByteArrayView key)
{
    static const QByteArray kGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
    return QCryptographicHash::hash(key.toByteArray() + kGuid, QCryptographicHash::Sha1).toBase64();
}

} // namespace standin::ws
