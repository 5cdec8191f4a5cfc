#include "common/TestMain.h"

#include "ui/theme/AppearanceNotifier.h"

#include <QGuiApplication>
#include <QSignalSpy>

class AppearanceNotifierTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        QGuiApplication::setPalette(QPalette(QColor(0xF0, 0xF0, 0xF0)));
        QCoreApplication::processEvents();
        QCOMPARE(AppearanceNotifier::shared().appearance(), Appearance::Light);
    }

    // From a light palette, each step sets the window colour (or, when invalid, only other roles);
    // one signal per switch of lightness across 128, none for changes that keep the appearance.
    void oncePerSwitch_data()
    {
        QTest::addColumn<QList<QColor>>("windows");
        QTest::addColumn<QList<Appearance>>("emitted");
        const QColor dark(0x20, 0x20, 0x20);
        const QColor light(0xF8, 0xF8, 0xF8);
        QTest::newRow("there and back") << QList{dark, light} << QList{Appearance::Dark, Appearance::Light};
        QTest::newRow("dark shades stay dark")
            << QList{dark, QColor(0x40, 0x40, 0x40), dark, QColor()} << QList{Appearance::Dark};
        QTest::newRow("lightness 128 is light, 127 dark")
            << QList{QColor(128, 128, 128), QColor(127, 127, 127), QColor(128, 128, 128)}
            << QList{Appearance::Dark, Appearance::Light};
        QTest::newRow("other roles only") << QList{QColor(), light, QColor()} << QList<Appearance>{};
    }
    void oncePerSwitch()
    {
        QFETCH(QList<QColor>, windows);
        QFETCH(QList<Appearance>, emitted);
        AppearanceNotifier& notifier = AppearanceNotifier::shared();
        QSignalSpy spy(&notifier, &AppearanceNotifier::appearanceChanged);
        for (const QColor& window : windows) {
            QPalette palette = QGuiApplication::palette();
            if (window.isValid())
                palette.setColor(QPalette::Window, window);
            else
                palette.setColor(QPalette::Base, palette.color(QPalette::Base).darker(120));
            QGuiApplication::setPalette(palette);
            QCoreApplication::processEvents();
            QCOMPARE(notifier.appearance(), currentAppearance());
        }
        QCOMPARE(spy.size(), emitted.size());
        for (qsizetype i = 0; i < spy.size(); ++i)
            QCOMPARE(spy.at(i).at(0).value<Appearance>(), emitted.at(i));
    }
};

PINDLE_TEST(AppearanceNotifierTest)
#include "AppearanceNotifierTest.moc"
