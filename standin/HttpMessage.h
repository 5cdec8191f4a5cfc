#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QJsonParseError>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrlQuery>

namespace standin {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// The first header of that name (case-insensitive); empty when absent.
[[nodiscard]] QByteArray headerValue(const HeaderList& headers, QByteArrayView name);

// A request as the routes see it. The path is split at "/" before each segment is
// percent-decoded, once: "%2F" inside an id stays part of that id.
struct Request {
    QByteArray method; // upper case: "GET", "POST"
    QString path;      // the decoded segments joined by "/", for logs and fault matching
    QStringList segments;
    QUrlQuery query;
    HeaderList headers; // names as the client sent them
    QByteArray body;

    // The first header of that name (case-insensitive); empty when absent.
    [[nodiscard]] QByteArray header(QByteArrayView name) const;
    // The value of one cookie from the "Cookie" header; empty when absent.
    [[nodiscard]] QByteArray cookie(QByteArrayView name) const;
};

// An answer before it is written to the connection.
struct Reply {
    int status = 200;
    HeaderList headers;
    QByteArray body;

    void addHeader(const QByteArray& name, const QByteArray& value) { headers.append(qMakePair(name, value)); }
};

[[nodiscard]] Reply jsonReply(const QJsonObject& object, int status = 200);
// The service's error shape: {"error": message}.
[[nodiscard]] Reply errorReply(int status, const QString& message);
[[nodiscard]] Reply htmlReply(const QByteArray& html, int status = 200);

// The complete HTTP/1.1 response; `closeAfter` announces that the connection ends with it.
[[nodiscard]] QByteArray encodeReply(const Reply& reply, bool closeAfter);
[[nodiscard]] QByteArray reasonPhrase(int status);

// Splits a percent-encoded path ("/a/b%2Fc") into decoded segments ({"a", "b/c"}). A leading
// "/" is dropped; empty segments ("//", a trailing "/") are kept so that paths match exactly.
[[nodiscard]] QStringList decodePathSegments(QByteArrayView encodedPath);

// The body as a JSON object. On failure returns false and sets `error` to the 400 answer:
// the body must be well-formed JSON whose top level is an object.
[[nodiscard]] bool parseObjectBody(const Request& request, QJsonObject& object, Reply& error);
// Those two 400 answers: the parser's problem and offset, or a top level that is no object.
[[nodiscard]] Reply invalidJsonReply(const QJsonParseError& error);
[[nodiscard]] Reply notAnObjectReply();

} // namespace standin
