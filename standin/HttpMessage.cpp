#include "HttpMessage.h"

#include <QJsonDocument>

namespace standin {

QByteArray headerValue(const HeaderList& headers, QByteArrayView name)
{
    for (const auto& [key, value] : headers) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QByteArray Request::header(QByteArrayView name) const
{
    return headerValue(headers, name);
}

QByteArray Request::cookie(QByteArrayView name) const
{
    // Every "Cookie" header counts: clients may send one per cookie.
    for (const auto& [key, value] : headers) {
        if (QByteArrayView(key).compare("cookie", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& piece : value.split(';')) {
            const QByteArray pair = piece.trimmed();
            const qsizetype eq = pair.indexOf('=');
            if (eq > 0 && QByteArrayView(pair).first(eq).trimmed() == name)
                return pair.mid(eq + 1).trimmed();
        }
    }
    return {};
}

Reply jsonReply(const QJsonObject& object, int status)
{
    Reply reply;
    reply.status = status;
    reply.addHeader("Content-Type", "application/json");
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return reply;
}

Reply errorReply(int status, const QString& message)
{
    return jsonReply(QJsonObject{{QStringLiteral("error"), message}}, status);
}

Reply htmlReply(const QByteArray& html, int status)
{
    Reply reply;
    reply.status = status;
    reply.addHeader("Content-Type", "text/html; charset=utf-8");
    reply.body = html;
    return reply;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 409:
        return "Conflict";
    case 413:
        return "Payload Too Large";
    case 417:
        return "Expectation Failed";
    case 426:
        return "Upgrade Required";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Status";
    }
}

QByteArray encodeReply(const Reply& reply, bool closeAfter)
{
    QByteArray out;
    out.reserve(reply.body.size() + 256);
    out += "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    for (const auto& [key, value] : reply.headers)
        out += key + ": " + value + "\r\n";
    out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    if (closeAfter)
        out += "Connection: close\r\n";
    out += "\r\n";
    out += reply.body;
    return out;
}

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One pass of percent-decoding; a "%" not followed by two hex digits stays as it is.
QByteArray percentDecoded(QByteArrayView raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == '%' && i + 2 < raw.size() && hexValue(raw[i + 1]) >= 0 && hexValue(raw[i + 2]) >= 0) {
            out.append(static_cast<char>(hexValue(raw[i + 1]) * 16 + hexValue(raw[i + 2])));
            i += 2;
        } else {
            out.append(raw[i]);
        }
    }
    return out;
}

} // namespace

QStringList decodePathSegments(QByteArrayView encodedPath)
{
    QByteArrayView path = encodedPath;
    if (path.startsWith('/'))
        path = path.sliced(1);
    QStringList segments;
    qsizetype start = 0;
    while (true) {
        const qsizetype slash = path.indexOf('/', start);
        const QByteArrayView raw = slash < 0 ? path.sliced(start) : path.sliced(start, slash - start);
        segments.append(QString::fromUtf8(percentDecoded(raw)));
        if (slash < 0)
            break;
        start = slash + 1;
    }
    return segments;
}

Reply invalidJsonReply(const QJsonParseError& error)
{
    return errorReply(
        400, QStringLiteral("body is not valid JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset));
}

Reply notAnObjectReply()
{
    return errorReply(400, QStringLiteral("body must be a JSON object"));
}

bool parseObjectBody(const Request& request, QJsonObject& object, Reply& error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(request.body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = invalidJsonReply(parseError);
        return false;
    }
    if (!document.isObject()) {
        error = notAnObjectReply();
        return false;
    }
    object = document.object();
    return true;
}

} // namespace standin
