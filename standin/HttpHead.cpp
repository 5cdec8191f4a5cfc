#include "HttpHead.h"

#include <QUrl>

namespace standin {

namespace {

// The characters of a token (RFC 9110, 5.6.2): method and header names.
bool isTokenChar(char c)
{
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        return true;
    return QByteArrayView("!#$%&'*+-.^_`|~").contains(c);
}

bool isToken(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isTokenChar);
}

QByteArrayView trimmedSpaces(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

// Whether a comma-separated field of any header of that name holds `token`, ignoring case.
bool listHas(const HeaderList& headers, QByteArrayView name, QByteArrayView token)
{
    for (const auto& [key, value] : headers) {
        if (QByteArrayView(key).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& item : value.split(',')) {
            if (trimmedSpaces(item).compare(token, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

HeadProblem problem(int status, const char* message)
{
    return HeadProblem{status, QString::fromLatin1(message)};
}

// Every Content-Length value must be the same number: a body whose end two readers could place
// differently is refused rather than guessed at.
std::variant<qint64, HeadProblem> contentLength(const HeaderList& headers)
{
    constexpr qsizetype kLongestDigits = 15;
    std::optional<qint64> length;
    for (const auto& [key, value] : headers) {
        if (QByteArrayView(key).compare("content-length", Qt::CaseInsensitive) != 0)
            continue;
        for (const QByteArray& item : value.split(',')) {
            const QByteArrayView digits = trimmedSpaces(item);
            if (digits.isEmpty() || digits.size() > kLongestDigits ||
                !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return problem(400, "Content-Length must be a number");
            const qint64 number = digits.toLongLong();
            if (length && *length != number)
                return problem(400, "conflicting Content-Length headers");
            length = number;
        }
    }
    return length.value_or(0);
}

} // namespace

bool RequestHead::hasToken(QByteArrayView name, QByteArrayView token) const
{
    return listHas(headers, name, token);
}

QByteArray RequestHead::header(QByteArrayView name) const
{
    return headerValue(headers, name);
}

std::variant<RequestHead, HeadProblem> parseRequestHead(QByteArrayView head)
{
    QList<QByteArrayView> lines;
    for (qsizetype start = 0; start <= head.size();) {
        qsizetype end = head.indexOf('\n', start);
        if (end < 0)
            end = head.size();
        QByteArrayView line = head.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        start = end + 1;
    }

    // Empty lines before the request line are tolerated, as a client may end a body with one.
    while (lines.size() > 1 && lines.first().isEmpty())
        lines.removeFirst();

    RequestHead out;
    const QByteArray requestLine = lines.first().toByteArray();
    const QList<QByteArray> words = requestLine.split(' ');
    if (words.size() != 3 || !isToken(words[0]) || words[1].isEmpty())
        return problem(400, "the request line must be \"METHOD target HTTP/1.1\"");
    if (!words[2].startsWith("HTTP/"))
        return problem(400, "the request line must end in the HTTP version");
    if (words[2] != "HTTP/1.1" && words[2] != "HTTP/1.0")
        return problem(505, "only HTTP/1.1 and HTTP/1.0 are served");
    out.method = words[0];

    // Origin form "/path?query", or the absolute form a proxy would send.
    QByteArray target = words[1];
    if (!target.startsWith('/')) {
        const QUrl url = QUrl::fromEncoded(target, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty())
            return problem(400, "the target must be a path");
        target = url.path(QUrl::FullyEncoded).toLatin1();
        if (target.isEmpty())
            target = "/";
        if (url.hasQuery())
            target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    }
    const qsizetype question = target.indexOf('?');
    out.encodedPath = question < 0 ? target : target.left(question);
    out.encodedQuery = question < 0 ? QByteArray() : target.mid(question + 1);

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = lines[i];
        if (line.isEmpty())
            continue;
        if (line.front() == ' ' || line.front() == '\t')
            return problem(400, "folded header lines are not accepted");
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.first(colon)))
            return problem(400, "a header name must be a token followed by \":\"");
        const QByteArrayView value = trimmedSpaces(line.sliced(colon + 1));
        if (std::any_of(value.begin(), value.end(),
                        [](char c) { return (c >= 0 && c < 0x20 && c != '\t') || c == 0x7f; }))
            return problem(400, "a header value holds a control character");
        if (out.headers.size() >= kMaxHeaders)
            return problem(431, "too many header fields");
        out.headers.append(qMakePair(line.first(colon).toByteArray(), value.toByteArray()));
    }

    // Present at all, even empty: a reader that honours a later one would find another body.
    const bool encoded = std::any_of(out.headers.cbegin(), out.headers.cend(), [](const auto& header) {
        return QByteArrayView(header.first).compare("transfer-encoding", Qt::CaseInsensitive) == 0;
    });
    if (encoded)
        return problem(501, "Transfer-Encoding is not supported: send Content-Length");
    const auto length = contentLength(out.headers);
    if (const auto* bad = std::get_if<HeadProblem>(&length))
        return *bad;
    out.contentLength = std::get<qint64>(length);

    const bool http10 = words[2] == "HTTP/1.0";
    out.keepAlive =
        !listHas(out.headers, "connection", "close") && (!http10 || listHas(out.headers, "connection", "keep-alive"));
    out.webSocket = listHas(out.headers, "upgrade", "websocket");
    const QByteArray expect = out.header("expect");
    if (!expect.isEmpty()) {
        if (QByteArrayView(expect).compare("100-continue", Qt::CaseInsensitive) != 0)
            return problem(417, "only \"Expect: 100-continue\" is understood");
        out.expectContinue = !http10;
    }
    return out;
}

Request toRequest(const RequestHead& head, QByteArray body)
{
    Request out;
    out.method = head.method;
    out.segments = decodePathSegments(head.encodedPath);
    out.path = u'/' + out.segments.join(u'/');
    out.query = QUrlQuery(QString::fromLatin1(head.encodedQuery));
    out.headers = head.headers;
    out.body = std::move(body);
    return out;
}

} // namespace standin
