#pragma once

#include "AnswerDesk.h"
#include "AuthStore.h"
#include "ControlDesk.h"
#include "FaultPlan.h"
#include "RequestLog.h"
#include "Router.h"
#include "ScanStore.h"
#include "ShootStore.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace standin {

// What the transport went through, for the test state.
struct TransportStats {
    qint64 acceptFailures = 0; // connections that could not be taken (descriptors ran out)
    qint64 timedOut = 0;       // connections closed for taking too long
    // The most one connection held at once: requests read but not yet handled, and answers not
    // yet sent.
    qint64 mostHeldBytes = 0;
};

struct StandinConfig {
    QString fixedCode;              // empty: a new code per e-mail, shown on the console
    std::optional<int> scanDelayMs; // complete scans by themselves after this long
    bool testControl = false;       // serve the "/__control/" routes
};

// Everything the stand-in knows, in memory, and the route table over it. Transport-free: the
// server hands it parsed requests; tests may drive it in-process the same way.
class StandinService : public QObject {
    Q_OBJECT

public:
    explicit StandinService(const StandinConfig& config, QObject* parent = nullptr);

    // The answer of the routes, without faults.
    [[nodiscard]] Reply handle(const Request& request) { return m_router.dispatch(request); }
    [[nodiscard]] bool knowsPath(const Request& request) const { return m_router.knowsPath(request.segments); }
    // The body limit of a route that has its own (the sync's); nullopt: the transport's.
    [[nodiscard]] std::optional<qint64> bodyLimit(const QByteArray& method, const QStringList& segments) const
    {
        return m_router.bodyLimit(method, segments);
    }

    // Test control requests are neither logged nor spoiled by faults.
    [[nodiscard]] static bool isControlPath(const Request& request);

    [[nodiscard]] AuthStore& auth() { return m_auth; }
    [[nodiscard]] ShootStore& shoots() { return m_shoots; }
    [[nodiscard]] ScanStore& scans() { return m_scans; }
    [[nodiscard]] const AnswerDesk& answers() const { return m_answers; }
    [[nodiscard]] FaultPlan& faults() { return m_faults; }
    [[nodiscard]] RequestLog& requests() { return m_requests; }
    [[nodiscard]] TransportStats& transport() { return m_transport; }
    [[nodiscard]] const TransportStats& transport() const { return m_transport; }

    // Lines for the person at the console: generated sign-in codes, new scans.
    std::function<void(const QString& line)> onNotice;

private:
    void notice(const QString& line) const;

    Router m_router;
    AuthStore m_auth;
    ShootStore m_shoots;
    ScanStore m_scans;
    AnswerDesk m_answers;
    FaultPlan m_faults;
    RequestLog m_requests;
    TransportStats m_transport;
    std::unique_ptr<ControlDesk> m_control;
};

} // namespace standin
