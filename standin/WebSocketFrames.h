#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The framing of RFC 6455 as a server reads and writes it.
namespace standin::ws {

// Close codes (RFC 6455, 7.4.1).
inline constexpr int kNormal = 1000;
inline constexpr int kGoingAway = 1001;
inline constexpr int kProtocolError = 1002;
inline constexpr int kNoStatus = 1005;
inline constexpr int kAbnormal = 1006;
inline constexpr int kBadData = 1007;
inline constexpr int kPolicy = 1008;
inline constexpr int kTooBig = 1009;

enum class Opcode : quint8 {
    Continuation = 0x0,
    Text = 0x1,
    Binary = 0x2,
    Close = 0x8,
    Ping = 0x9,
    Pong = 0xA,
};

// One whole message (fragments joined) or control frame from the client.
struct Incoming {
    Opcode opcode = Opcode::Text; // Text, Binary, Close, Ping or Pong
    QByteArray payload;           // unmasked
};

// Reads what a client sends. A fault ends the reading with the close code to answer: every
// client frame must be masked (1002); reserved bits or opcodes, a control frame over 125 bytes or
// in fragments, a continuation without a message or a message inside another, a close frame of
// one byte or with a code that may not be sent (1002); text or a close reason that is not UTF-8
// (1007); a message over the size limit (1009, found from the frame header, before the payload
// is waited for).
class FrameReader {
public:
    explicit FrameReader(qint64 maxMessageBytes) : m_maxMessageBytes(maxMessageBytes) {}

    // Bytes after a fault are dropped.
    void append(QByteArrayView bytes)
    {
        if (m_failure == 0)
            m_buffer.append(bytes);
    }
    // The next whole message or control frame; nullopt when more bytes are needed or after a fault.
    [[nodiscard]] std::optional<Incoming> next();

    // After a fault: the close code to end with (0 before any), and why.
    [[nodiscard]] int failure() const { return m_failure; }
    [[nodiscard]] const QString& problem() const { return m_problem; }

private:
    std::nullopt_t fail(int code, const char* problem);

    const qint64 m_maxMessageBytes;
    QByteArray m_buffer;
    qsizetype m_read = 0;            // bytes of m_buffer already taken
    std::optional<Opcode> m_message; // the opcode of a message coming in fragments
    QByteArray m_fragments;
    int m_failure = 0;
    QString m_problem;
};

// A final, unmasked frame, as a server sends it.
[[nodiscard]] QByteArray encodeFrame(Opcode opcode, QByteArrayView payload);
// A close frame's payload: the code, then the reason cut to fit 125 bytes between characters.
[[nodiscard]] QByteArray closePayload(int code, const QString& reason);
// Sec-WebSocket-Accept for a client's Sec-WebSocket-Key.
[[nodiscard]] QByteArray acceptKey(QByteArrayView key);

} // namespace standin::ws
