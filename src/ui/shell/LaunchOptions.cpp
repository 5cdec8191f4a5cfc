#include "ui/shell/LaunchOptions.h"

#include <QCommandLineParser>

LaunchOptions LaunchOptions::parse(const QStringList& arguments)
{
    LaunchOptions options;
    // Not even the program name: nothing was given.
    if (arguments.isEmpty())
        return options;
    QCommandLineParser parser;
    const QCommandLineOption demo(QStringLiteral("demo"));
    parser.addOption(demo);
    // Unknown options make parse() report failure but still read the ones it knows.
    (void)parser.parse(arguments);
    options.demo = parser.isSet(demo);
    return options;
}
