#include "platform/DesktopNotifications.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QStringList>

namespace {

// Alerts stay until the logger acts on them; the service decides when -1 is given.
constexpr int kServerTimeout = -1;
// A service that has not said what it reads by then is taken to read markup.
constexpr int kCapabilitiesTimeoutMs = 5000;

} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(notificationClosed(uint, uint)));
    // Another notification service (the desktop's restarted, or a different one) may read
    // bodies otherwise.
    auto* watcher = new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                ++m_capabilitiesAsked;
                m_bodyMarkup.reset();
                if (!owner.isEmpty())
                    askCapabilities();
            });
    askCapabilities();
}

void DesktopNotifications::askCapabilities()
{
    const quint64 asked = ++m_capabilitiesAsked;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kCapabilitiesTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, asked] {
        watcher->deleteLater();
        const QDBusPendingReply<QStringList> reply = *watcher;
        // No answer (no service yet, or none that answers): the body stays escaped.
        if (asked != m_capabilitiesAsked || reply.isError())
            return;
        m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
    });
}

void DesktopNotifications::post(const Alert& alert)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    if (alert.sound)
        hints.insert(QStringLiteral("sound-name"), QStringLiteral("message-new-instant"));
    QString body = alert.subtitle.isEmpty() ? alert.body : alert.subtitle + u'\n' + alert.body;
    // Transcript words and channel names are text: "R&D" or "<3" must not be read as markup.
    if (m_bodyMarkup.value_or(true))
        body = body.toHtmlEscaped();
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
