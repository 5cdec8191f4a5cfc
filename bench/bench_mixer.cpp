// The mixer band's meters on a live level feed, with a full shoot day on disk (50 saved logs of
// 3,000 lines, about 32 MB): a logging screen's engine plays the demo shoot, publishing levels at
// the capture's fastest pace (one publication every 66 ms, about 15 a second), every channel live.
// The band is a shown offscreen window driven by a frame clock on the benchmark's clock.
//
// One iteration is one level publication reaching the band and the main-thread work it causes
// until the next one: the meters set gliding, and every glide frame ticked and painted. Measured
// for 32 channels in the compact grid, 8 channels as strips, and the collapsed line at 32.
// Targets: at most 1 ms of main-thread time per update ("ms_per_update"), and at most 2 % of one
// core at 15 updates a second ("core_pct_at_15_per_s" = ms per update × 15 / 1 s).
#include "common/MainThreadCost.h"
#include "common/ScreenDesk.h"
#include "common/ShootDay.h"
#include "platform/SafeFile.h"
#include "screens/LoggingScreenModel.h"
#include "screens/MixerModel.h"
#include "ui/mixer/ChannelStrip.h"
#include "ui/mixer/CompactChannelRow.h"
#include "ui/mixer/MixerMeters.h"
#include "ui/mixer/MixerView.h"
#include "ui/theme/FrameClock.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace {

using namespace std::chrono_literals;

// The capture publishes levels at most every 0.066 s; the demo is paced the same here.
constexpr std::chrono::milliseconds kPublication{66};
constexpr double kUpdatesPerSecond = 15;
constexpr int kWindowWidth = 1180;

// A logging screen over the shoot day, its engine playing the demo on `channels` channels, and
// its mixer band shown open or collapsed.
struct Desk : ScreenDesk {
    bool ready = SafeFile::writeAtomically(sessionsFile, LogSessionFile::encode(shoot_day::shoot()));
    std::unique_ptr<LoggingScreenModel> screen;
    FrameClock frames{&clock};
    std::unique_ptr<MixerView> view;
    // Nothing but the meters animates.
    bool settled = false;

    Desk(int channels, bool open)
    {
        LoggingScreenEnvironment env = environment();
        env.transcriber.demoLevelIntervalMs = int(kPublication.count());
        // No script lines and an instant scan: only level publications reach the band while timed.
        env.transcriber.demoLineIntervalMs = 3'600'000;
        env.transcriber.demoScanStepMs = 0;
        env.transcriber.demoScanSettleMs = 0;
        env.transcriber.random = [rng = std::make_shared<std::mt19937>(20240611u)] {
            return std::uniform_real_distribution<double>(0.0, 1.0)(*rng);
        };
        screen = std::make_unique<LoggingScreenModel>(env);
        screen->sessions().waitForLoad();
        screen->mixer().setOpen(open);

        view = std::make_unique<MixerView>(screen->mixer(), nullptr, &frames);
        view->resize(kWindowWidth, view->sizeHint().height());
        view->show();
        QCoreApplication::processEvents();

        DesktopTranscriber& engine = screen->transcriber();
        engine.startDemo(channels);
        // The scan's verdicts, then every channel live again: all meters move.
        clock.fireDue();
        for (const ChannelConfig& config : QList<ChannelConfig>(engine.channels()))
            engine.setOn(config.index, true);
        view->resize(kWindowWidth, view->sizeHint().height());
        QCoreApplication::processEvents();
        // What the scan and the unmuting set moving (fades, the pin's slide) comes to rest, so
        // only the meters move from here on.
        for (int i = 0; i < 300 && frames.runningCount() > (view->meterMotion().isMoving() ? 1 : 0); ++i)
            publicationPeriod();
        for (int i = 0; i < 15; ++i)
            publicationPeriod();
        settled = frames.runningCount() <= 1;
    }
    ~Desk()
    {
        view.reset();
        screen->transcriber().stop();
    }

    void frame(std::chrono::milliseconds step)
    {
        clock.advance(step);
        QCoreApplication::processEvents();
    }

    // One publication and the frames up to the next, each painted as a shown window is.
    void publicationPeriod()
    {
        std::chrono::milliseconds left = kPublication;
        while (left > 0ms) {
            const std::chrono::milliseconds step = std::min(left, FrameClock::kInterval);
            frame(step);
            left -= step;
        }
    }

    [[nodiscard]] std::vector<MiniMeter*> meters() const
    {
        std::vector<MiniMeter*> out;
        switch (view->shownLayout()) {
        case MixerModel::Layout::Strips:
            for (ChannelStrip* strip : view->strips())
                out.push_back(strip->meter());
            break;
        case MixerModel::Layout::Compact:
            for (CompactChannelRow* row : view->rows())
                out.push_back(row->meter());
            break;
        case MixerModel::Layout::Collapsed:
            for (CollapsedChannel* channel : view->collapsedChannels())
                out.push_back(channel->meter());
            break;
        }
        return out;
    }
};

void BM_LevelUpdate(benchmark::State& state, MixerModel::Layout layout, int channels)
{
    Desk desk(channels, layout != MixerModel::Layout::Collapsed);
    if (!desk.ready) {
        state.SkipWithError("cannot write the sessions file");
        return;
    }
    if (desk.view->shownLayout() != layout || desk.screen->mixer().channelCount() != channels) {
        state.SkipWithError("the band shows another layout");
        return;
    }
    if (!desk.settled) {
        state.SkipWithError("something besides the meters keeps animating");
        return;
    }
    const std::vector<MiniMeter*> meters = desk.meters();

    // Untimed check that updates really paint: every paint event in the application, and those
    // of the meters, over a few publications.
    PaintCounter all;
    PaintCounter ofMeters;
    qApp->installEventFilter(&all);
    for (MiniMeter* meter : meters)
        meter->installEventFilter(&ofMeters);
    constexpr int kChecked = 15;
    std::vector<float> before;
    for (const MiniMeter* meter : meters)
        before.push_back(meter->shownLevel());
    for (int i = 0; i < kChecked; ++i)
        desk.publicationPeriod();
    qApp->removeEventFilter(&all);
    int moved = 0;
    for (std::size_t i = 0; i < meters.size(); ++i)
        moved += meters[i]->shownLevel() != before[i] ? 1 : 0;
    if (ofMeters.paints == 0 || moved == 0) {
        state.SkipWithError("level updates did not move or paint the meters");
        return;
    }
    const double paintsPerUpdate = double(all.paints) / kChecked;

    ofMeters.paints = 0;
    // Each update's main-thread time, for a median that other load on the machine moves less.
    std::vector<double> perUpdate;
    perUpdate.reserve(std::size_t(state.max_iterations));
    const Clock::Duration started = desk.clock.monotonic();
    for (auto _ : state) {
        const double before = threadSeconds();
        desk.publicationPeriod();
        perUpdate.push_back(threadSeconds() - before);
    }
    const double updates = double(state.iterations());
    const double elapsed = std::chrono::duration<double>(desk.clock.monotonic() - started).count();

    const double msPerUpdate = std::accumulate(perUpdate.begin(), perUpdate.end(), 0.0) * 1000 / updates;
    std::nth_element(perUpdate.begin(), perUpdate.begin() + std::ptrdiff_t(perUpdate.size() / 2), perUpdate.end());
    state.counters["ms_per_update"] = msPerUpdate;
    state.counters["median_ms"] = perUpdate[perUpdate.size() / 2] * 1000;
    state.counters["core_pct_at_15_per_s"] = msPerUpdate * kUpdatesPerSecond / 1000 * 100;
    state.counters["meter_paints_per_update"] = double(ofMeters.paints) / updates;
    state.counters["paints_per_update"] = paintsPerUpdate;
    state.counters["updates_per_s"] = updates / elapsed;
    state.counters["meters_moving"] = moved;
}

} // namespace

BENCHMARK_CAPTURE(BM_LevelUpdate, compact_grid_32, MixerModel::Layout::Compact, 32)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(450);
BENCHMARK_CAPTURE(BM_LevelUpdate, strips_8, MixerModel::Layout::Strips, 8)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(450);
BENCHMARK_CAPTURE(BM_LevelUpdate, collapsed_32, MixerModel::Layout::Collapsed, 32)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(450);
