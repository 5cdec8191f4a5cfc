#include "platform/Defaults.h"
#include "platform/Fonts.h"
#include "platform/MemoryRelease.h"
#include "platform/MotionPreference.h"
#include "service/APIService.h"
#include "service/LoggerAccount.h"
#include "service/LoggerTimecodeAPI.h"
#include "timecode/CameraTimecode.h"
#include "ui/shell/LaunchOptions.h"
#include "ui/shell/PindleLoggerApp.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    MemoryRelease::configure();
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Pindle"));
    QCoreApplication::setApplicationName(QStringLiteral("pindle-logger"));

    // Qt has taken its own options out of the arguments by now.
    const LaunchOptions options = LaunchOptions::parse(QCoreApplication::arguments());

    // The first use of the account: it reads the last address and the stored session cookie
    // (on the service at PINDLE_SERVICE_URL, or the local default) before the window opens.
    LoggerAccount& account = LoggerAccount::shared();
    registerFonts();
    // Animations put things at their end state where the desktop asks for less motion.
    MotionPreference::shared().followDesktop();
    // The camera clock's phone scan asks the service for a reading.
    LoggerTimecodeAPI::install(CameraTimecode::shared(), APIService::shared());
    // The pretend shoot answers phone scans with its canned camera reading.
    if (options.demo)
        CameraTimecode::shared().setDemoMode(true);

    // Settings changed in the last moments before quit are still on their way to the file.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [] { Defaults::shared().flush(); });

    PindleLoggerApp app(account, options);
    app.window()->show();
    return QApplication::exec();
}
