#include "model/LogButtonStore.h"
#include "model/LogSessionStore.h"
#include "platform/Date.h"
#include "platform/Fonts.h"
#include "timecode/CameraTimecode.h"

#include <QApplication>
#include <QTextStream>

// The window arrives with the application shell; until then the program loads what the
// logger's machine holds (saved logs, marker buttons, the camera clock), reports it and ends.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Pindle"));
    QCoreApplication::setApplicationName(QStringLiteral("pindle-logger"));

    const QStringList fonts = registerFonts();
    LogSessionStore sessions;
    LogButtonStore buttons;
    const CameraTimecode& clock = CameraTimecode::shared();

    QTextStream out(stdout);
    out << "Pindle Logger\n";
    out << "  fonts registered: " << fonts.join(QStringLiteral(", ")) << '\n';
    out << "  saved logs: " << sessions.sessions().size() << " in " << sessions.url() << '\n';
    out << "  marker buttons shown: " << buttons.visible().size() << " of " << buttons.buttons().size() << '\n';
    out << "  camera clock: " << clock.format().label() << ", Mac clock, now " << clock.timecodeAt(Date::now())
        << '\n';
    return 0;
}
