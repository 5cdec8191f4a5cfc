#include "platform/DesktopNotifications.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>

namespace {

// Alerts stay until the logger acts on them; the service decides when -1 is given.
constexpr int kServerTimeout = -1;

} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(notificationClosed(uint, uint)));
}

void DesktopNotifications::post(const Alert& alert)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    if (alert.sound)
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    const QString body = alert.subtitle.isEmpty() ? alert.body : alert.subtitle + u'\n' + alert.body;
    const uint replaces = m_shown.value(alert.requestId, 0);
    call << QCoreApplication::applicationName() << replaces << QString() << alert.title << body
         << QStringList{kDefaultAction, QStringLiteral("Open")} << hints << kServerTimeout;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, requestId = alert.requestId, userInfo = alert.userInfo] {
                watcher->deleteLater();
                const QDBusPendingReply<uint> reply = *watcher;
                if (reply.isError())
                    return;
                const uint id = reply.value();
                if (const auto old = m_shown.constFind(requestId); old != m_shown.cend() && *old != id)
                    m_userInfo.remove(*old);
                m_shown.insert(requestId, id);
                m_userInfo.insert(id, userInfo);
                Q_EMIT posted(requestId);
            });
}

void DesktopNotifications::actionInvoked(uint id, const QString& actionKey)
{
    // Other applications' alerts share the signal: only ours have user info here.
    const auto it = m_userInfo.constFind(id);
    if (it == m_userInfo.cend() || actionKey != kDefaultAction)
        return;
    const QVariantMap userInfo = *it;
    Q_EMIT opened(userInfo);
}

void DesktopNotifications::notificationClosed(uint id, uint)
{
    m_userInfo.remove(id);
    m_shown.removeIf([id](const auto& it) { return it.value() == id; });
}
