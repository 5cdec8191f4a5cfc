#include "common/NotificationServer.h"
#include "common/TestMain.h"

#include "platform/DesktopNotifications.h"

#include <memory>

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

    // A transcript line's "&", "<" and ">" reach a service that reads bodies as markup escaped,
    // as they do any service before it has said what it reads; the title is plain text for all.
    // The service is asked once, however many alerts follow.
    void markup_data()
    {
        QTest::addColumn<bool>("markup");   // the service announces "body-markup"
        QTest::addColumn<bool>("answered"); // posted once the service has said
        QTest::addColumn<bool>("escaped");
        QTest::newRow("markup") << true << true << true;
        QTest::newRow("markup, not yet said") << true << false << true;
        QTest::newRow("plain") << false << true << false;
        QTest::newRow("plain, not yet said") << false << false << true;
    }
    void markup()
    {
        QFETCH(bool, markup);
        QFETCH(bool, answered);
        QFETCH(bool, escaped);
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus (scripts/test runs one)");
        NotificationServer server(markup ? NotificationServer::kMarkupCapabilities
                                         : QStringList{QStringLiteral("actions"), QStringLiteral("body")});
        QVERIFY(server.isReady());
        DesktopNotifications notifications;
        QSignalSpy posted(&notifications, &DesktopNotifications::posted);
        if (answered) {
            QTRY_VERIFY(notifications.bodyMarkup().has_value());
            QCOMPARE(*notifications.bodyMarkup(), markup);
        }
        const QString title = QStringLiteral("\"R&D\" on <Boom>");
        const QString line =
            QStringLiteral("R&D <3 <a href=\"https://example.com\">here</a> <img src=\"file:///etc/passwd\"/>");
        const QString text = QStringLiteral("10:00:01:00\n") + line;
        for (int i = 0; i < 3; ++i) {
            notifications.post({QStringLiteral("kw-%1").arg(i), title, QStringLiteral("10:00:01:00"), line, {}});
            QVERIFY(posted.wait());
        }
        QCOMPARE(server.shown().size(), 3);
        QCOMPARE(server.shown().constFirst().summary, title);
        QCOMPARE(server.shown().constFirst().body, escaped ? text.toHtmlEscaped() : text);
        if (escaped) {
            QVERIFY(server.shown().constFirst().body.startsWith(QStringLiteral("10:00:01:00\nR&amp;D &lt;3 &lt;a")));
            QVERIFY(!server.shown().constFirst().body.contains(u'<'));
        }
        // The answer comes before the first alert's: the later alerts follow it.
        QVERIFY(notifications.bodyMarkup().has_value());
        QCOMPARE(server.shown().constLast().body, markup ? text.toHtmlEscaped() : text);
        QCOMPARE(server.capabilityCalls(), 1);
    }

    // Another service taking the name is asked again: what the last one read says nothing of it.
    void serviceReplaced()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus (scripts/test runs one)");
        auto plain = std::make_unique<NotificationServer>(QStringList{QStringLiteral("body")});
        QVERIFY(plain->isReady());
        DesktopNotifications notifications;
        QTRY_VERIFY(notifications.bodyMarkup() == std::optional<bool>(false));
        plain.reset();
        QTRY_VERIFY(!notifications.bodyMarkup().has_value());
        NotificationServer markup;
        QVERIFY(markup.isReady());
        QTRY_VERIFY(notifications.bodyMarkup() == std::optional<bool>(true));
        QSignalSpy posted(&notifications, &DesktopNotifications::posted);
        notifications.post(
            {QStringLiteral("kw-1"), QStringLiteral("\"R&D\" on Boom"), QString(), QStringLiteral("R&D"), {}});
        QVERIFY(posted.wait());
        QCOMPARE(markup.shown().constFirst().body, QStringLiteral("R&amp;D"));
        QCOMPARE(markup.capabilityCalls(), 1);
    }
};

PINDLE_TEST(DesktopNotificationsTest)
#include "DesktopNotificationsTest.moc"
