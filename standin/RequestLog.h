#pragma once

#include "HttpMessage.h"

#include <QJsonObject>
#include <QMap>
#include <QString>

namespace standin {

// What the client sent, per method and path ("POST /auth/verify"): how often, and the headers
// and body of the last request, so that tests can check the client's side of the exchange.
class RequestLog {
public:
    // Bodies are kept up to this size; longer ones are cut (their full size is kept).
    static constexpr qsizetype kKeptBodyBytes = 64 * 1024;

    void record(const Request& request);

    [[nodiscard]] QJsonObject stateJson() const;

private:
    struct Entry {
        int count = 0;
        HeaderList headers;
        QByteArray body;
        qsizetype bodyBytes = 0;
        QString query;
    };

    QMap<QString, Entry> m_entries;
};

} // namespace standin
