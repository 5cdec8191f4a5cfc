#pragma once

#include "platform/Fonts.h"
#include "platform/MemoryRelease.h"

#include <QStandardPaths>

#include <benchmark/benchmark.h>

// Runs a benchmark program's benchmarks inside an application of type `App` (a QApplication):
// with the bundled fonts, because the PDF writer and the screens draw text; offscreen, so no
// window is shown; the stores' timers need its event loop, as in the app, and test mode keeps
// benchmarks out of a user's files.
template <typename App> int runBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The app's own memory policy, so resident sizes are the app's.
    MemoryRelease::configure();
    App app(argc, argv);
    registerFonts();
    QStandardPaths::setTestModeEnabled(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
