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
#include <optional>

namespace {

// Longest automatic scan delay: the logger stops polling after ten minutes anyway.
constexpr double kLongestScanDelaySeconds = 600.0;
constexpr double kLongestTimeoutSeconds = 86'400.0;
constexpr int kMostStreams = 1000;
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

// Seconds from `low` to `high` as milliseconds; nullopt when the text is not such a number.
std::optional<int> milliseconds(const QString& text, double low, double high)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < low || seconds > high)
        return std::nullopt;
    return static_cast<int>(std::lround(seconds * 1000.0));
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
    const QCommandLineOption idleOption(QStringLiteral("idle-timeout"),
                                        QStringLiteral("Close a connection that sends no whole request for this "
                                                       "long (default 60)."),
                                        QStringLiteral("SECONDS"));
    const QCommandLineOption streamIdleOption(QStringLiteral("stream-idle-timeout"),
                                              QStringLiteral("Close a stream that sends no message for this long "
                                                             "(default 120)."),
                                              QStringLiteral("SECONDS"));
    const QCommandLineOption streamsOption(QStringLiteral("max-streams"),
                                           QStringLiteral("Streams at once; more are refused (default 8)."),
                                           QStringLiteral("N"));
    parser.addOptions(
        {portOption, codeOption, delayOption, controlOption, idleOption, streamIdleOption, streamsOption});
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
        config.scanDelayMs = milliseconds(parser.value(delayOption), 0.0, kLongestScanDelaySeconds);
        if (!config.scanDelayMs)
            return usageError(QStringLiteral("--scan-delay takes seconds from 0 to 600"));
    }
    standin::ServerLimits limits;
    for (const auto& [option, timeout] : {std::pair{&idleOption, &limits.http.idleTimeoutMs},
                                          std::pair{&streamIdleOption, &limits.webSocket.idleTimeoutMs}}) {
        if (!parser.isSet(*option))
            continue;
        const auto ms = milliseconds(parser.value(*option), 0.001, kLongestTimeoutSeconds);
        if (!ms)
            return usageError(QStringLiteral("--%1 takes seconds from 0.001 to 86400").arg(option->names().first()));
        *timeout = *ms;
    }
    standin::LiveConfig liveConfig{config.testControl, QString()};
    if (parser.isSet(streamsOption)) {
        liveConfig.maxStreams = parser.value(streamsOption).toInt(&ok);
        if (!ok || liveConfig.maxStreams < 1 || liveConfig.maxStreams > kMostStreams)
            return usageError(QStringLiteral("--max-streams takes a number from 1 to 1000"));
    }

    standin::StandinService service(config);
    service.onNotice = printLine;
    standin::LiveSocket live(service, liveConfig);
    limits.maxConnections = standin::StandinServer::connectionBudget(liveConfig.maxStreams);
    standin::StandinServer server(service, limits);
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
