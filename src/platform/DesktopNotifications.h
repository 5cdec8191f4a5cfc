#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <optional>

// Desktop notifications through the freedesktop Notifications service on the session bus: each
// alert carries a default action, and clicking it reports the alert's user info back. An alert
// posted again under the same request id replaces the one still shown.
//
// A service that announces "body-markup" reads the body as markup, so the body is escaped for
// it; the title is plain text everywhere. The service's capabilities are asked once, without
// waiting, and again whenever another service takes the name; until the answer is in, the body
// is escaped, which at worst shows a markup-less service an entity instead of letting a line of
// transcript become a link or an image.
//
// Main thread only. Posting never waits for the service; a missing service drops the alert
// without a word (alerts are a courtesy, never in the way of logging).
class DesktopNotifications : public QObject {
    Q_OBJECT

public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kDefaultAction = QStringLiteral("default");

    struct Alert {
        // Alerts with the same id replace each other.
        QString requestId;
        QString title;
        // Shown as the body's first line: the service has no subtitle.
        QString subtitle;
        QString body;
        QVariantMap userInfo;
        bool sound = true;
    };

    explicit DesktopNotifications(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                  QObject* parent = nullptr);

    void post(const Alert& alert);
    // Alerts shown and not yet closed or clicked.
    [[nodiscard]] qsizetype pendingCount() const { return m_userInfo.size(); }
    // Whether the service reads bodies as markup; nullopt until it has said.
    [[nodiscard]] std::optional<bool> bodyMarkup() const { return m_bodyMarkup; }

Q_SIGNALS:
    // The logger clicked an alert (its default action); `userInfo` is the alert's, unchanged.
    void opened(const QVariantMap& userInfo);
    // An alert reached the service.
    void posted(const QString& requestId);

private Q_SLOTS:
    void actionInvoked(uint id, const QString& actionKey);
    void notificationClosed(uint id, uint reason);

private:
    void askCapabilities();

    QDBusConnection m_bus;
    std::optional<bool> m_bodyMarkup;
    // Answers to an earlier question, asked of a service since gone, are not taken.
    quint64 m_capabilitiesAsked = 0;
    // Service id → the user info of the alert shown under it.
    QHash<uint, QVariantMap> m_userInfo;
    // Request id → service id of the alert shown under it, so a repost replaces it.
    QHash<QString, uint> m_shown;
};
