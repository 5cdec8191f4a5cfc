#include "RequestLog.h"

namespace standin {

void RequestLog::record(const Request& request)
{
    Entry& entry = m_entries[QString::fromLatin1(request.method) + u' ' + request.path];
    ++entry.count;
    entry.headers = request.headers;
    entry.body = request.body.left(kKeptBodyBytes);
    entry.bodyBytes = request.body.size();
    entry.query = request.query.toString(QUrl::FullyDecoded);
}

QJsonObject RequestLog::stateJson() const
{
    QJsonObject all;
    for (auto it = m_entries.constBegin(); it != m_entries.constEnd(); ++it) {
        // Header names in lower case, as HTTP compares them; a repeated header keeps its last value.
        QJsonObject headers;
        for (const auto& [name, value] : it->headers)
            headers.insert(QString::fromLatin1(name).toLower(), QString::fromUtf8(value));
        QJsonObject entry{
            {QStringLiteral("count"), it->count},
            {QStringLiteral("headers"), headers},
            {QStringLiteral("body"), QString::fromUtf8(it->body)},
            {QStringLiteral("body_bytes"), static_cast<double>(it->bodyBytes)},
        };
        if (!it->query.isEmpty())
            entry.insert(QStringLiteral("query"), it->query);
        all.insert(it.key(), entry);
    }
    return all;
}

} // namespace standin
