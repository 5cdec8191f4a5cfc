// The logging screen through its widgets with a full shoot day on disk (50 saved logs of 3,000
// lines, about 32 MB): how long from sign-in until the screen is shown and takes a press, and a
// marker press through the button bar on a 3,000-entry log.
#include "common/ShootDay.h"

#include "common/FrameIdle.h"
#include "common/ScreenDesk.h"
#include "platform/SafeFile.h"
#include "ui/agent/PindleCharacterView.h"
#include "ui/logging/ButtonBar.h"
#include "ui/logging/LoggingView.h"
#include "ui/logging/MarkerChipButton.h"
#include "ui/logging/header/TimecodePanel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

namespace {

// A logging screen's desk with the shoot day's sessions file in place.
struct Desk : ScreenDesk {
    bool ready = SafeFile::writeAtomically(sessionsFile, LogSessionFile::encode(shoot_day::shoot()));
};

void pressFirstChip(LoggingView& view)
{
    view.buttonBar()->chipButton(0)->click();
}

// Sign-in to a shown screen that has taken a marker press, with the saved logs still loading.
void BM_ShowScreenWithFullDayOnDisk(benchmark::State& state)
{
    Desk desk;
    if (!desk.ready) {
        state.SkipWithError("cannot write the sessions file");
        return;
    }
    double longest = 0;
    qsizetype loaded = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        auto view = std::make_unique<LoggingView>(desk.environment());
        view->resize(1180, 800);
        view->show();
        QCoreApplication::processEvents();
        pressFirstChip(*view);
        QCoreApplication::processEvents();
        longest = std::max(longest, double(timer.nsecsElapsed()) / 1e6);
        state.PauseTiming();
        view->screen().sessions().waitForLoad();
        loaded = view->screen().sessions().sessions().size();
        view.reset();
        state.ResumeTiming();
    }
    state.counters["longest_ms"] = longest;
    // The saved logs and one new log for each press so far.
    if (loaded != shoot_day::kSessionCount + qsizetype(state.iterations()))
        state.SkipWithError(QStringLiteral("%1 logs loaded").arg(loaded).toUtf8().constData());
}
BENCHMARK(BM_ShowScreenWithFullDayOnDisk)->Unit(benchmark::kMillisecond)->Iterations(5);

// One press through the bar on a log of 3,000 entries: entry made, row inserted, save handed off.
void BM_MarkerPressThroughTheBar(benchmark::State& state)
{
    Desk desk;
    LoggingView view(desk.environment());
    view.resize(1180, 800);
    view.show();
    QCoreApplication::processEvents();
    view.screen().sessions().waitForLoad();
    LogSession session = shoot_day::makeSession(99, 0, 3000);
    session.id = view.screen().log().id();
    view.screen().log().load(session);
    view.screen().sessions().waitForWrites();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        pressFirstChip(view);
        state.PauseTiming();
        QCoreApplication::processEvents();
        view.screen().sessions().waitForWrites();
        desk.clock.advance(std::chrono::seconds(1));
        state.ResumeTiming();
    }
    if (view.screen().log().entries().size() != 3000 + qsizetype(state.iterations()))
        state.SkipWithError("a press was lost");
    // Past the last flash on the screen's clock and the rows' motions, the screen is at rest;
    // all but the two views that move by design all the while they are shown (the running
    // timecode and Mark's idle life), which are put away for the count.
    desk.clock.advance(std::chrono::seconds(2));
    for (TimecodePanel* panel : view.findChildren<TimecodePanel*>())
        panel->hide();
    for (PindleCharacterView* character : view.findChildren<PindleCharacterView*>())
        character->hide();
    const FrameRest rest = waitForRest();
    state.counters["settleMs"] = rest.settleMs;
    state.counters["framesWhileIdle"] = rest.framesWhileIdle;
    if (!rest.idle || rest.framesWhileIdle > 0)
        state.SkipWithError("the screen kept asking for frames");
}
BENCHMARK(BM_MarkerPressThroughTheBar)->Unit(benchmark::kMillisecond)->Iterations(100);

} // namespace
