#pragma once

#include "HttpMessage.h"

#include <QJsonObject>
#include <QMap>
#include <QString>

namespace standin {

// What the client sent, per method and path ("POST /auth/verify"): how often, and the headers
// and body of the last request, so that tests can check the client's side of the exchange.
// Bounded, so that requests to made-up paths cannot fill the memory.
class RequestLog {
public:
    // Bodies are kept up to this size; longer ones are cut (their full size is kept).
    static constexpr qsizetype kKeptBodyBytes = 64 * 1024;
    // Kinds of request ("METHOD /path") kept; past this the one seen least recently goes.
    static constexpr int kMaxEntries = 256;

    // `knownPath` false (no route has the path): the body's size is kept, not the body.
    void record(const Request& request, bool knownPath);

    [[nodiscard]] QJsonObject stateJson() const;

private:
    struct Entry {
        int count = 0;
        HeaderList headers;
        QByteArray body;
        qsizetype bodyBytes = 0;
        QString query;
        quint64 lastSeen = 0;
    };

    QMap<QString, Entry> m_entries;
    quint64 m_recorded = 0;
};

} // namespace standin
