#include "common/TestMain.h"

#include "platform/DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace {

// A notification service of the test's own, on its own connection to the session bus, so every
// call and signal goes through the bus daemon as it does with a desktop's service.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        uint id;
        uint replaces;
        QString summary;
        QString body;
        QStringList actions;
    };
    QList<Shown> shown;

public Q_SLOTS:
    uint Notify(const QString&, uint replacesId, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        const uint id = replacesId ? replacesId : uint(shown.size() + 1);
        shown.append({id, replacesId, summary, body, actions});
        return id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
};

void emitSignal(QDBusConnection& bus, const QString& name, const QVariantList& arguments)
{
    QDBusMessage message =
        QDBusMessage::createSignal(DesktopNotifications::kPath, DesktopNotifications::kInterface, name);
    message.setArguments(arguments);
    QVERIFY(bus.send(message));
}

} // namespace

// Alerts round trip through a real bus: posted with a default action, replaced under one
// request id, and a click on ours (never another application's) reports the user info.
class DesktopNotificationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTrip()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus (scripts/test runs one)");
        QDBusConnection serverBus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("server"));
        NotificationServer server;
        QVERIFY(serverBus.registerObject(DesktopNotifications::kPath, &server, QDBusConnection::ExportAllSlots));
        QVERIFY(serverBus.registerService(DesktopNotifications::kService));

        DesktopNotifications notifications;
        QSignalSpy posted(&notifications, &DesktopNotifications::posted);
        QSignalSpy opened(&notifications, &DesktopNotifications::opened);
        const QVariantMap info{{"channel", 2}, {"line", "2-7"}};
        notifications.post({"kw-2-7", "\"police\" on Boom", "10:00:01:00", "Click to listen to Boom.", info});
        QVERIFY(posted.wait());
        notifications.post({"kw-2-7", "\"police\" on Boom", "10:00:02:00", "Click to listen to Boom.", info});
        QVERIFY(posted.wait());
        QCOMPARE(server.shown.size(), 2);
        QCOMPARE(server.shown.at(1).replaces, server.shown.at(0).id);
        QCOMPARE(server.shown.at(1).body, QStringLiteral("10:00:02:00\nClick to listen to Boom."));
        QVERIFY(server.shown.at(0).actions.contains(DesktopNotifications::kDefaultAction));
        QCOMPARE(notifications.pendingCount(), 1);

        emitSignal(serverBus, QStringLiteral("ActionInvoked"), {uint(99), DesktopNotifications::kDefaultAction});
        emitSignal(serverBus, QStringLiteral("ActionInvoked"),
                   {server.shown.at(0).id, DesktopNotifications::kDefaultAction});
        QVERIFY(opened.wait());
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).toMap().value("line").toString(), QStringLiteral("2-7"));
        QCOMPARE(opened.at(0).at(0).toMap().value("channel").toInt(), 2);

        emitSignal(serverBus, QStringLiteral("NotificationClosed"), {server.shown.at(0).id, uint(2)});
        QVERIFY(QTest::qWaitFor([&] { return notifications.pendingCount() == 0; }));
        serverBus.unregisterService(DesktopNotifications::kService);
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
    }
};

PINDLE_TEST(DesktopNotificationsTest)
#include "DesktopNotificationsTest.moc"
