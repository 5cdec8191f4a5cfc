#include <QGuiApplication>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

// The main of every benchmark program that has none of its own. A GUI application, because the
// PDF writer needs fonts and a paint engine; offscreen, so no window is shown. The stores' timers
// need its event loop, as in the app, and test mode keeps benchmarks out of a user's files.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
