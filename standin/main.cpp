// pindle-standin: the local stand-in of the online service. See README.md beside this file.

#include "Console.h"
#include "LiveSocket.h"
#include "StandinServer.h"
#include "StandinService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>

namespace {

// Longest automatic scan delay: the logger stops polling after ten minutes anyway.
constexpr double kLongestScanDelaySeconds = 600.0;
constexpr int kUsageError = 2;

void printLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

int usageError(const QString& message)
{
    std::fprintf(stderr, "pindle-standin: %s\n", qPrintable(message));
    return kUsageError;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pindle-standin"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local stand-in of the Pindle online service, on 127.0.0.1 only."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on; 0 picks a free one."), QStringLiteral("N"),
                                        QStringLiteral("0"));
    const QCommandLineOption codeOption(QStringLiteral("code"),
                                        QStringLiteral("Fixed sign-in code for every address (tests)."),
                                        QStringLiteral("DIGITS"));
    const QCommandLineOption delayOption(QStringLiteral("scan-delay"),
                                         QStringLiteral("Complete phone scans by themselves after this long, "
                                                        "with the time of day as the camera timecode."),
                                         QStringLiteral("SECONDS"));
    const QCommandLineOption controlOption(QStringLiteral("test-control"),
                                           QStringLiteral("Serve the /__control/ routes that tests use."));
    parser.addOptions({portOption, codeOption, delayOption, controlOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printLine(parser.helpText());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return usageError(QStringLiteral("--port takes a number from 0 to 65535"));

    standin::StandinConfig config;
    config.testControl = parser.isSet(controlOption);
    if (parser.isSet(codeOption)) {
        config.fixedCode = parser.value(codeOption);
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,12}$"));
        if (!digits.match(config.fixedCode).hasMatch())
            return usageError(QStringLiteral("--code takes 1 to 12 digits"));
    }
    if (parser.isSet(delayOption)) {
        const double seconds = parser.value(delayOption).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds < 0.0 || seconds > kLongestScanDelaySeconds)
            return usageError(QStringLiteral("--scan-delay takes seconds from 0 to 600"));
        config.scanDelayMs = static_cast<int>(std::lround(seconds * 1000.0));
    }

    standin::StandinService service(config);
    service.onNotice = printLine;
    standin::LiveSocket live(service, standin::LiveConfig{config.testControl, QString()});
    standin::StandinServer server(service);
    server.setLiveSocket(live);
    const quint16 listening = server.listenOnLoopback(static_cast<quint16>(port));
    if (listening == 0) {
        std::fprintf(stderr, "pindle-standin: cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    printLine(QStringLiteral("pindle-standin listening on http://127.0.0.1:%1").arg(listening));

    standin::Console console(service, printLine);
    console.onQuit = [] { QCoreApplication::quit(); };
    console.start();
    return QCoreApplication::exec();
}
