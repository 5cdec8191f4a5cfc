#include "ui/logging/WindowAccessor.h"
#include "common/TestMain.h"

#include <QMainWindow>

class WindowAccessorTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void configuresTheHostingWindowOnTheNextTurn()
    {
        QMainWindow window;
        auto* view = new QWidget;
        window.setCentralWidget(view);
        QWidget* configured = nullptr;
        WindowAccessor::whenInWindow(view, [&](QWidget* w) { configured = w; });
        QCOMPARE(configured, nullptr);
        QCoreApplication::processEvents();
        QCOMPARE(configured, &window);
        WindowAccessor::configureLoggingWindow(configured);
        QCOMPARE(window.windowTitle(), QStringLiteral("Pindle Logger"));
        QVERIFY(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    }

    void aViewInNoWindowConfiguresNothing()
    {
        int calls = 0;
        {
            QWidget loose;
            WindowAccessor::whenInWindow(&loose, [&](QWidget*) { ++calls; });
            QCoreApplication::processEvents();
        }
        // Nor does a view that is gone by then.
        auto* gone = new QWidget;
        WindowAccessor::whenInWindow(gone, [&](QWidget*) { ++calls; });
        delete gone;
        QCoreApplication::processEvents();
        QCOMPARE(calls, 0);
    }
};

PINDLE_TEST(WindowAccessorTest)
#include "WindowAccessorTest.moc"
