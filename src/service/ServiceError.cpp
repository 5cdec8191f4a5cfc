#include "service/ServiceError.h"

QString ServiceError::description() const
{
    switch (m_kind) {
    case Kind::LoginFailed:
        return m_text;
    case Kind::InvalidResponse:
        return QStringLiteral("Invalid server response");
    case Kind::Status:
        return QStringLiteral("Server returned status %1").arg(m_status);
    case Kind::Unauthorised:
        return QStringLiteral("Your session has ended. Sign in again.");
    case Kind::BadResponse:
        return QStringLiteral("The service's answer could not be used.");
    case Kind::Transport:
        return m_text.isEmpty() ? QStringLiteral("Could not reach the service.")
                                : QStringLiteral("Could not reach the service (%1).").arg(m_text);
    case Kind::Timeout:
        return QStringLiteral("The service did not answer in time.");
    case Kind::TooLarge:
        return QStringLiteral("The service's answer was too large.");
    case Kind::InsecureUrl:
        return m_text;
    case Kind::Json:
        return QStringLiteral("The service's answer is not valid JSON.");
    }
    return QString();
}
