#include "service/LoggerAccount.h"

#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "service/APIService.h"

#include <QPointer>

namespace {

// Runs `done` with `error` only while the caller's context object lives.
void complete(const QPointer<QObject>& context, bool hadContext, const LoggerAccount::Completion& done,
              std::optional<ServiceError> error)
{
    if ((hadContext && context.isNull()) || !done)
        return;
    done(std::move(error));
}

} // namespace

LoggerAccount::LoggerAccount(APIService& service, Defaults& defaults, Clock* clock, QObject* parent)
    : QObject(parent), m_service(service), m_defaults(defaults), m_clock(Clock::orSystem(clock)),
      m_state(service.sessionCookie() ? State::checking() : State::signedOut()),
      m_email(defaults.string(QString::fromLatin1(kEmailKey)).value_or(QString()))
{
}

LoggerAccount& LoggerAccount::shared()
{
    static LoggerAccount* account = new LoggerAccount(APIService::shared(), Defaults::shared());
    return *account;
}

void LoggerAccount::setState(State state)
{
    if (state == m_state)
        return;
    m_state = std::move(state);
    Q_EMIT stateChanged();
}

void LoggerAccount::refresh()
{
    if (!m_service.sessionCookie()) {
        setState(State::signedOut());
        return;
    }
    if (m_state.kind() != State::Kind::Allowed)
        setState(State::checking());
    setState(State::allowed());
}

void LoggerAccount::sendCode(const QString& email, QObject* context, Completion done)
{
    m_service.sendLoginCode(email, this,
                            [this, email, guard = QPointer<QObject>(context), hadContext = context != nullptr,
                             done = std::move(done)](std::optional<ServiceError> error) {
                                if (!error) {
                                    m_defaults.set(QString::fromLatin1(kEmailKey), email);
                                    if (m_email != email) {
                                        m_email = email;
                                        Q_EMIT emailChanged();
                                    }
                                }
                                complete(guard, hadContext, done, std::move(error));
                            });
}

void LoggerAccount::verify(const QString& code, QObject* context, Completion done)
{
    // Always the address the code was sent to.
    m_service.verifyLoginCode(m_email, code, this,
                              [this, guard = QPointer<QObject>(context), hadContext = context != nullptr,
                               done = std::move(done)](std::optional<ServiceError> error) {
                                  Completion finish = [guard, hadContext, done](std::optional<ServiceError> e) {
                                      complete(guard, hadContext, done, std::move(e));
                                  };
                                  if (error)
                                      return finish(std::move(error));
                                  waitForCookie(kCookieChecks, std::move(finish));
                              });
}

void LoggerAccount::waitForCookie(int checksLeft, Completion done)
{
    if (m_service.sessionCookie()) {
        refresh();
        return done(std::nullopt);
    }
    if (checksLeft <= 1) {
        // The code was accepted but no session followed: say so rather than fall silently back
        // to the sign-in screen.
        refresh();
        return done(ServiceError::loginFailed(QString::fromLatin1(APIService::kNoSessionText)));
    }
    m_clock.singleShot(kCookieCheckInterval, this, [this, checksLeft, done = std::move(done)]() mutable {
        waitForCookie(checksLeft - 1, std::move(done));
    });
}

void LoggerAccount::signOut()
{
    m_service.forgetSessionCookie();
    setState(State::signedOut());
}
