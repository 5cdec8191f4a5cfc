#include "service/ServiceUrl.h"

#include <QHostAddress>

namespace ServiceUrl {

namespace {

bool isUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '~';
}

// Empty, "." and ".." segments would let a path name another resource (the network layer turns
// "%2E" back into "."), so a path holding one is refused instead of sent.
bool hasUnsafeSegment(const QString& path)
{
    const QStringList segments = path.split(QLatin1Char('/'));
    // The first piece is what precedes the leading "/".
    for (qsizetype i = 1; i < segments.size(); ++i) {
        const QString& segment = segments.at(i);
        if (segment.isEmpty() || segment == QLatin1String(".") || segment == QLatin1String(".."))
            return true;
    }
    return false;
}

ServiceResult<QUrl> resolveWith(const QString& base, const QString& path, const QString& plainScheme,
                                const QString& secureScheme)
{
    const QString root = normalisedBase(base);
    const QUrl baseUrl(root, QUrl::StrictMode);
    if (root.isEmpty() || !baseUrl.isValid() || baseUrl.host().isEmpty())
        return ServiceError::insecureUrl(QStringLiteral("The service address \"%1\" is not a valid URL.").arg(root));

    const QString scheme = baseUrl.scheme().toLower();
    const bool loopback = isLoopbackHost(baseUrl.host());
    if (scheme == QLatin1String("http")) {
        if (!loopback)
            return ServiceError::insecureUrl(
                QStringLiteral("Refusing to talk to %1 over plain http: the service must use https.")
                    .arg(baseUrl.host()));
    } else if (scheme != QLatin1String("https")) {
        return ServiceError::insecureUrl(
            QStringLiteral("The service address must begin with https:// (got \"%1\").").arg(scheme));
    }
    if (!baseUrl.path().isEmpty() || baseUrl.hasQuery() || baseUrl.hasFragment() || !baseUrl.userInfo().isEmpty())
        return ServiceError::insecureUrl(
            QStringLiteral("The service address must be a scheme and host only (got \"%1\").").arg(root));

    if (!path.startsWith(QLatin1Char('/')))
        return ServiceError::badResponse();

    QUrl url(root + path, QUrl::StrictMode);
    if (!url.isValid() || url.hasFragment() || url.host() != baseUrl.host() || url.port() != baseUrl.port() ||
        hasUnsafeSegment(url.path(QUrl::FullyEncoded)))
        return ServiceError::badResponse();

    url.setScheme(scheme == QLatin1String("http") ? plainScheme : secureScheme);
    return url;
}

} // namespace

QString baseUrlFromEnvironment()
{
    const QString fromEnvironment = normalisedBase(qEnvironmentVariable(kBaseUrlVariable));
    return fromEnvironment.isEmpty() ? QString::fromLatin1(kDefaultBaseUrl) : fromEnvironment;
}

QString normalisedBase(const QString& base)
{
    QString text = base.trimmed();
    while (text.endsWith(QLatin1Char('/')))
        text.chop(1);
    return text;
}

bool isLoopbackHost(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    if (!address.setAddress(host))
        return false;
    if (address.isLoopback())
        return true;
    // An IPv4 loopback address written as IPv6 (::ffff:127.x.y.z).
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    return isIpv4 && (ipv4 >> 24) == 127;
}

ServiceResult<QUrl> resolve(const QString& base, const QString& path)
{
    return resolveWith(base, path, QStringLiteral("http"), QStringLiteral("https"));
}

ServiceResult<QUrl> resolveWebSocket(const QString& base, const QString& path)
{
    return resolveWith(base, path, QStringLiteral("ws"), QStringLiteral("wss"));
}

QString pathSegment(const QString& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QString out;
    out.reserve(utf8.size() * 3);
    for (const char byte : utf8) {
        if (isUnreserved(byte)) {
            out.append(QLatin1Char(byte));
        } else {
            const auto value = static_cast<unsigned char>(byte);
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(kHex[value >> 4]));
            out.append(QLatin1Char(kHex[value & 0x0F]));
        }
    }
    return out;
}

} // namespace ServiceUrl
