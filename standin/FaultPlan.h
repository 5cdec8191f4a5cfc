#pragma once

#include "HttpMessage.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace standin {

// How an injected fault spoils an answer.
enum class FaultKind {
    Slow,    // the normal answer, after the delay
    Status,  // the given status with {"error": ...}, nothing done
    NonJson, // status 200 with an HTML page, nothing done
    Drop,    // the connection is cut without an answer, nothing done
    Empty,   // status 200 with an empty body, nothing done
    Answer,  // exactly the given status, headers and body, nothing done
};

struct Fault {
    QString path;      // exact decoded path; a trailing "*" matches any path that starts so
    QByteArray method; // empty = any method
    FaultKind kind = FaultKind::Status;
    int status = 500;
    int delayMs = 0;   // every kind waits this long first; "slow" defaults to 3000
    int remaining = 1; // requests still to spoil; -1 = until cleared
    // "answer" only: sent verbatim.
    QByteArray body;
    HeaderList headers;
};

// The faults tests have asked for, applied in the order they were added.
class FaultPlan {
public:
    // Reads the body of POST /__control/fault; nullopt with `problem` set when it is not valid.
    [[nodiscard]] static std::optional<Fault> parse(const QJsonObject& body, QString& problem);

    void add(const Fault& fault) { m_faults.append(fault); }
    void clear() { m_faults.clear(); }

    // The first fault that matches the request, counted as used; nullopt when none does.
    [[nodiscard]] std::optional<Fault> take(const Request& request);

    [[nodiscard]] QJsonArray stateJson() const;

private:
    QList<Fault> m_faults;
};

} // namespace standin
