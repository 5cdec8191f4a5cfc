// Mark's chat while logging, with a full shoot day on disk (50 saved logs of 3,000 lines, about
// 32 MB): a logging screen's engine plays the demo shoot and its agent, on "Everything", asks for
// demo briefs every 6 s. The panel is built as the logging screen builds it (its model, the
// character view and the panel, in the chat-by-channels slot of a 1180-point window) and shown in
// an offscreen window driven by a frame clock on the benchmark's clock.
//
// One iteration is one second of shoot, stepped a frame (16 ms) at a time with the events of each
// step handled, so every frame ticks and paints as a shown window does. Main-thread CPU time of
// the whole step (timers due, frame-clock ticks, painting) is reported as % of one core
// ("core_pct"), with the time of one frame. Measured with the panel shown, and hidden as the
// screen hides its slot. Targets: at most 3 % of one core for panel and character together at
// 60 frames a second; hidden, no frame-clock ticks and no paints (0 %), only the engine's work.
// Qt's raster engine may hand large span runs to its own threads: those are not counted here.
#include "common/MainThreadCost.h"
#include "common/ScreenDesk.h"
#include "common/ShootDay.h"
#include "platform/SafeFile.h"
#include "screens/AgentPanelModel.h"
#include "screens/LoggingScreenModel.h"
#include "screens/ScreenLayout.h"
#include "ui/agent/AgentChatView.h"
#include "ui/agent/AgentPanel.h"
#include "ui/agent/PindleCharacterView.h"
#include "ui/theme/FrameClock.h"
#include "ui/theme/PaneParts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

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

constexpr int kWindowWidth = 1180;
constexpr std::chrono::milliseconds kShootSecond{1000};
// The demo's channel scan (0.9 s a channel) is over and the first briefs have come by then.
constexpr int kWarmUpSeconds = 15;
constexpr int kTimedSeconds = 30;

// What one stretch of frames cost and did.
struct Stretch {
    std::vector<double> frameSeconds;
    double paintSeconds = 0;
    long long tickingFrames = 0;
    // Of those, the frames on which the chat's arrival or glide was under way.
    long long chatMovingFrames = 0;
    double chatMovingSeconds = 0;
};

// A logging screen over the shoot day playing the demo, and Mark's chat in its slot of a shown
// window, as the logging view builds it.
struct Desk : ScreenDesk {
    bool ready = SafeFile::writeAtomically(sessionsFile, LogSessionFile::encode(shoot_day::shoot()));
    std::unique_ptr<LoggingScreenModel> screen;
    FrameClock frames{&clock};
    std::unique_ptr<AgentPanelModel> chat;
    std::unique_ptr<QWidget> window;
    QWidget* slot = nullptr;
    AgentPanel* panel = nullptr;
    PindleCharacterView* character = nullptr;
    long long feedItems = 0;

    Desk()
    {
        LoggingScreenEnvironment env = environment();
        env.agent.demo = true;
        env.transcriber.random = [rng = std::make_shared<std::mt19937>(20240611u)] {
            return std::uniform_real_distribution<double>(0.0, 1.0)(*rng);
        };
        screen = std::make_unique<LoggingScreenModel>(env);
        screen->sessions().waitForLoad();
        ChannelAgent& agent = screen->agent();
        agent.setEnabled(true);
        agent.setSensitivity(ChannelAgent::Sensitivity::High);
        QObject::connect(&agent, &ChannelAgent::feedChanged, [this] { ++feedItems; });

        LoggingScreenModel* model = screen.get();
        chat = std::make_unique<AgentPanelModel>(agent, screen->transcriber(),
                                                 [model](std::optional<int> channel) { model->openChannel(channel); });
        window = std::make_unique<QWidget>();
        auto* column = new QVBoxLayout(window.get());
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        slot = new QWidget;
        auto* stack = new QVBoxLayout(slot);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->setSpacing(0);
        slot->setFixedHeight(ScreenLayout::kChatByChannelsHeight);
        character = new PindleCharacterView(agent.mark(), frames, nullptr, &clock);
        panel = new AgentPanel(*chat, character, &frames);
        QObject::connect(character, &PindleCharacterView::tapped, panel, &AgentPanel::characterTapped);
        stack->addWidget(panel);
        stack->addWidget(new LineDivider);
        column->addWidget(slot);
        column->addStretch(1);
        ScreenLayout::Input input;
        input.width = kWindowWidth;
        window->resize(ScreenLayout::of(input).channelColumnWidth, ScreenLayout::kChatByChannelsHeight);
        window->show();
        QCoreApplication::processEvents();

        screen->appear();
        screen->transcriber().startDemo();
        run(kWarmUpSeconds);
    }
    ~Desk()
    {
        window.reset();
        chat.reset();
        screen->transcriber().stop();
    }

    // `seconds` of shoot, a frame at a time, each frame's events handled.
    Stretch run(int seconds)
    {
        Stretch out;
        out.frameSeconds.reserve(std::size_t(seconds) * 64);
        for (int s = 0; s < seconds; ++s)
            second(out);
        return out;
    }

    void second(Stretch& out)
    {
        std::chrono::milliseconds left = kShootSecond;
        while (left > 0ms) {
            const std::chrono::milliseconds step = std::min(left, FrameClock::kInterval);
            // The frame clock's timer fires within this step when it runs at its start.
            out.tickingFrames += frames.isTicking() ? 1 : 0;
            const bool chatMoving = panel->chat()->isMoving();
            out.chatMovingFrames += chatMoving ? 1 : 0;
            const double start = threadSeconds();
            clock.advance(step);
            const double ticked = threadSeconds();
            QCoreApplication::processEvents();
            const double painted = threadSeconds();
            out.frameSeconds.push_back(painted - start);
            out.chatMovingSeconds += chatMoving ? painted - start : 0;
            out.paintSeconds += painted - ticked;
            left -= step;
        }
    }

    // The panel and everything in it that paints.
    [[nodiscard]] std::vector<QWidget*> panelWidgets() const
    {
        return {panel, character, panel->chat()->viewport(), panel->statusLine(), panel->sensitivityLine()};
    }
};

void BM_AgentPanel(benchmark::State& state, bool shown)
{
    Desk desk;
    if (!desk.ready) {
        state.SkipWithError("cannot write the sessions file");
        return;
    }
    if (!desk.screen->transcriber().running() || !desk.screen->agent().isRunning()) {
        state.SkipWithError("the demo shoot or the agent is not running");
        return;
    }
    if (desk.chat->bubbles().isEmpty()) {
        state.SkipWithError("no demo brief reached the chat");
        return;
    }
    if (!shown) {
        desk.slot->setVisible(false);
        // A glide or arrival under way when the slot went comes to its end.
        desk.run(2);
    }

    // Untimed check over a few seconds of shoot: every paint in the application, and the panel's.
    PaintCounter all;
    PaintCounter ofPanel;
    qApp->installEventFilter(&all);
    for (QWidget* widget : desk.panelWidgets())
        widget->installEventFilter(&ofPanel);
    PaintCounter ofCharacter;
    desk.character->installEventFilter(&ofCharacter);
    constexpr int kChecked = 3;
    const Stretch checked = desk.run(kChecked);
    qApp->removeEventFilter(&all);
    desk.character->removeEventFilter(&ofCharacter);
    if (shown && (ofCharacter.paints < kChecked * 50 || !desk.character->isAnimating())) {
        state.SkipWithError("the character is not drawn every frame");
        return;
    }
    if (!shown && desk.character->isAnimating()) {
        state.SkipWithError("the hidden character still animates");
        return;
    }

    ofPanel.paints = 0;
    const long long feedBefore = desk.feedItems;
    Stretch timed;
    timed.frameSeconds.reserve(std::size_t(state.max_iterations) * 64);
    for (auto _ : state)
        desk.second(timed);
    const double seconds = double(state.iterations());

    std::vector<double>& frames = timed.frameSeconds;
    const double total = std::accumulate(frames.begin(), frames.end(), 0.0);
    const double frameCount = double(frames.size());
    std::sort(frames.begin(), frames.end());
    state.counters["core_pct"] = total / seconds * 100;
    state.counters["paint_core_pct"] = timed.paintSeconds / seconds * 100;
    state.counters["frame_ms"] = total / frameCount * 1000;
    state.counters["frame_median_ms"] = frames[frames.size() / 2] * 1000;
    state.counters["frame_p99_ms"] = frames[std::size_t(frameCount * 0.99)] * 1000;
    state.counters["ticks_per_s"] = double(timed.tickingFrames) / seconds;
    state.counters["chat_ticks_per_s"] = double(timed.chatMovingFrames) / seconds;
    state.counters["chat_moving_frame_ms"] =
        timed.chatMovingFrames > 0 ? timed.chatMovingSeconds / double(timed.chatMovingFrames) * 1000 : 0;
    state.counters["panel_paints_per_s"] = double(ofPanel.paints) / seconds;
    state.counters["app_paints_per_s_checked"] = double(all.paints) / kChecked;
    state.counters["check_ticks_per_s"] = double(checked.tickingFrames) / kChecked;
    state.counters["feed_changes"] = double(desk.feedItems - feedBefore);
}

} // namespace

BENCHMARK_CAPTURE(BM_AgentPanel, shown, true)->Unit(benchmark::kMillisecond)->Iterations(kTimedSeconds);
BENCHMARK_CAPTURE(BM_AgentPanel, hidden, false)->Unit(benchmark::kMillisecond)->Iterations(kTimedSeconds);
