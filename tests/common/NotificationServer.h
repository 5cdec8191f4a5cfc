#pragma once

// A freedesktop notification service of the test's own, on its own connection to the session
// bus (scripts/test runs a private one), so every call and signal goes through the bus daemon
// as it does with a desktop's service. It answers Notify and GetCapabilities (with the
// capabilities it is made with: by default, like most desktops', bodies with markup) and can
// click or close what it shows.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QList>
#include <QStringList>
#include <QVariantMap>
#include <QtTest>

class NotificationServer final : public QDBusVirtualObject {
public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    static inline const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

    struct Shown {
        uint id = 0;
        uint replaces = 0;
        QString summary;
        QString body;
        QStringList actions;
    };

    static inline const QStringList kMarkupCapabilities{QStringLiteral("actions"), QStringLiteral("body"),
                                                        QStringLiteral("body-markup"), QStringLiteral("sound")};

    explicit NotificationServer(QStringList capabilities = kMarkupCapabilities)
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("server"))),
          m_capabilities(std::move(capabilities))
    {
        // Test programs run side by side on one bus: a server of another one may hold the name
        // for a moment. Wait in line for it rather than fail.
        m_ready =
            m_bus.isConnected() && m_bus.registerVirtualObject(kPath, this) &&
            m_bus.interface()
                ->registerService(kService, QDBusConnectionInterface::QueueService,
                                  QDBusConnectionInterface::DontAllowReplacement)
                .isValid() &&
            QTest::qWaitFor([this] { return m_bus.interface()->serviceOwner(kService).value() == m_bus.baseService(); },
                            30000);
    }
    ~NotificationServer() override
    {
        m_bus.unregisterService(kService);
        m_bus.unregisterObject(kPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
    }

    [[nodiscard]] bool isReady() const { return m_ready; }
    [[nodiscard]] const QList<Shown>& shown() const { return m_shown; }
    // How many times GetCapabilities was asked.
    [[nodiscard]] int capabilityCalls() const { return m_capabilityCalls; }

    // The logger clicks alert `id` (its default action), or it closes.
    void click(uint id) { emitSignal(QStringLiteral("ActionInvoked"), {id, QStringLiteral("default")}); }
    void close(uint id) { emitSignal(QStringLiteral("NotificationClosed"), {id, uint(2)}); }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        // Only this program's calls are the test's: another one's alerts are answered, not kept.
        const bool ours = message.service() == QDBusConnection::sessionBus().baseService();
        if (message.member() == QLatin1String("GetCapabilities")) {
            if (ours)
                ++m_capabilityCalls;
            return connection.send(message.createReply(QVariant(m_capabilities)));
        }
        if (message.member() != QLatin1String("Notify") || message.arguments().size() != 8)
            return false;
        const QVariantList a = message.arguments();
        const uint replaces = a.at(1).toUInt();
        if (!ours)
            return connection.send(message.createReply(QVariant(replaces ? replaces : 1000000u)));
        const uint id = replaces ? replaces : uint(m_shown.size() + 1);
        m_shown.append({id, replaces, a.at(3).toString(), a.at(4).toString(), a.at(5).toStringList()});
        return connection.send(message.createReply(QVariant(id)));
    }

private:
    void emitSignal(const QString& name, const QVariantList& arguments)
    {
        QDBusMessage message = QDBusMessage::createSignal(kPath, kInterface, name);
        message.setArguments(arguments);
        m_bus.send(message);
    }

    QDBusConnection m_bus;
    const QStringList m_capabilities;
    QList<Shown> m_shown;
    int m_capabilityCalls = 0;
    bool m_ready = false;
};
