#include "common/NotificationServer.h"
#include "common/TestMain.h"

#include "platform/DesktopNotifications.h"

// Alerts round trip through a real bus: posted with a default action, replaced under one
// request id, and a click on ours (never another application's) reports the user info.
class DesktopNotificationsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTrip()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus (scripts/test runs one)");
        NotificationServer server;
        QVERIFY(server.isReady());
        DesktopNotifications notifications;
        QSignalSpy posted(&notifications, &DesktopNotifications::posted);
        QSignalSpy opened(&notifications, &DesktopNotifications::opened);
        const QVariantMap info{{"channel", 2}, {"line", "2-7"}};
        notifications.post({"kw-2-7", "\"police\" on Boom", "10:00:01:00", "Click to listen to Boom.", info});
        QVERIFY(posted.wait());
        notifications.post({"kw-2-7", "\"police\" on Boom", "10:00:02:00", "Click to listen to Boom.", info});
        QVERIFY(posted.wait());
        QCOMPARE(server.shown().size(), 2);
        const uint id = server.shown().at(0).id;
        QCOMPARE(server.shown().at(1).replaces, id);
        QCOMPARE(server.shown().at(1).body, QStringLiteral("10:00:02:00\nClick to listen to Boom."));
        QVERIFY(server.shown().at(0).actions.contains(DesktopNotifications::kDefaultAction));
        QCOMPARE(notifications.pendingCount(), 1);

        server.click(99);
        server.click(id);
        QVERIFY(opened.wait());
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened.at(0).at(0).toMap(), info);
        server.close(id);
        QVERIFY(QTest::qWaitFor([&] { return notifications.pendingCount() == 0; }));
    }
};

PINDLE_TEST(DesktopNotificationsTest)
#include "DesktopNotificationsTest.moc"
