#include "RequestLog.h"

#include <algorithm>

namespace standin {

void RequestLog::record(const Request& request, bool knownPath)
{
    const QString key = QString::fromLatin1(request.method) + u' ' + request.path;
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        if (m_entries.size() >= kMaxEntries)
            m_entries.erase(std::min_element(m_entries.begin(), m_entries.end(),
                                             [](const Entry& a, const Entry& b) { return a.lastSeen < b.lastSeen; }));
        it = m_entries.insert(key, Entry{});
    }
    Entry& entry = *it;
    entry.lastSeen = ++m_recorded;
    ++entry.count;
    entry.headers = request.headers;
    entry.body = knownPath ? request.body.left(kKeptBodyBytes) : QByteArray();
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
