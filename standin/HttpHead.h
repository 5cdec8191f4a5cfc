#pragma once

#include "HttpMessage.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <variant>

namespace standin {

// The head of a request (request line and header fields), read and checked before any of the
// body is, so that an oversized or ambiguous request is refused without being buffered.
struct RequestHead {
    QByteArray method;
    QByteArray encodedPath;  // "/a/b%2Fc": split and decoded by toRequest()
    QByteArray encodedQuery; // after "?", still encoded
    HeaderList headers;      // names as sent
    qint64 contentLength = 0;
    bool keepAlive = true;       // false: the connection ends with the answer
    bool webSocket = false;      // "Upgrade: websocket" (the handshake is checked apart)
    bool expectContinue = false; // "Expect: 100-continue"

    [[nodiscard]] QByteArray header(QByteArrayView name) const;
    // Whether a comma-separated field of that name holds `token`, ignoring case and spacing.
    [[nodiscard]] bool hasToken(QByteArrayView name, QByteArrayView token) const;
};

// A head that cannot be served: the status and text of the answer, after which the connection
// ends (what follows the head can no longer be told apart from the next request).
struct HeadProblem {
    int status = 400;
    QString message;
};

// Parses the head without its closing blank line. Lines end in CRLF or LF. Refused: a request
// line that is not "METHOD target HTTP/1.x" (505 for another version), a header without a name
// or with white space before its colon, a folded line, a control character in a value, more
// than kMaxHeaders fields, Content-Length values that are not digits or that disagree (even in
// one comma-separated field), and any Transfer-Encoding field, even an empty one (501: bodies
// must state their length).
// "Connection" is a comma-separated list of tokens compared without regard to case or spacing;
// HTTP/1.0 closes unless it names "keep-alive".
[[nodiscard]] std::variant<RequestHead, HeadProblem> parseRequestHead(QByteArrayView head);

inline constexpr int kMaxHeaders = 100;

// The request as the routes see it.
[[nodiscard]] Request toRequest(const RequestHead& head, QByteArray body);

} // namespace standin
