#include "StandinService.h"

namespace standin {

StandinService::StandinService(const StandinConfig& config, QObject* parent)
    : QObject(parent), m_auth(config.fixedCode), m_scans(this), m_answers(m_shoots)
{
    m_router.setAuthenticate([this](const Request& request) { return m_auth.accountFor(request); });
    m_auth.registerRoutes(m_router);
    m_shoots.registerRoutes(m_router);
    m_scans.registerRoutes(m_router);
    m_answers.registerRoutes(m_router);

    m_scans.setAutoCompleteDelay(config.scanDelayMs);
    m_auth.onCodeIssued = [this](const QString& email, const QString& code) {
        notice(QStringLiteral("sign-in code for %1: %2").arg(email, code));
    };
    m_scans.onScanRequested = [this](const QString& id, const QString& owner) {
        notice(QStringLiteral("scan %1 requested by %2 (complete it with: scan %1 HH:MM:SS:FF)").arg(id, owner));
    };

    if (config.testControl) {
        m_control = std::make_unique<ControlDesk>(*this);
        m_control->registerRoutes(m_router);
    }
}

bool StandinService::isControlPath(const Request& request)
{
    return request.segments.value(0) == QLatin1StringView(ControlDesk::kPrefix);
}

void StandinService::notice(const QString& line) const
{
    if (onNotice)
        onNotice(line);
}

} // namespace standin
