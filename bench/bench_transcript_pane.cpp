// The transcript pane over a shoot day's transcript (50,000 lines on eight channels), shown at
// 500 × 800 and following the newest line: a new line and a changed line must cost the pane's
// models and list no more than on a 50-line transcript, and within 1 ms of main-thread work;
// drawing a screen of rows within 8 ms. The pane's memory beyond the lines' text is reported per
// line ("bytesPerLine", at most 200).
//
// The pane's share is the difference between each "WithPane" figure and its "ScreenOnly" twin:
// both run the same engine and screen, and the twin has no pane. "WithPane" does not draw (its
// drawing is BM_PaintScreenOfRows); "WithPaneDrawn" adds what a real window's repaint costs.
#include "common/BenchRack.h"
#include "common/FrameIdle.h"
#include "common/ScreenDesk.h"
#include "screens/LoggingScreenModel.h"
#include "screens/TranscriptListModel.h"
#include "screens/TranscriptPaneModel.h"
#include "ui/logging/TranscriptListView.h"
#include "ui/logging/TranscriptPaneView.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace {

constexpr int kChannels = 8;
constexpr QSize kPane(500, 800);

DisplaySegment line(qint64 n, int channel)
{
    DisplaySegment s;
    s.id = QStringLiteral("%1-%2").arg(channel).arg(n);
    s.speaker = QStringLiteral("Channel %1").arg(channel);
    s.text = QStringLiteral("Line %1 of the long take, said at some length by someone on set today.").arg(n);
    s.startSecs = double(n) * 1.5;
    s.endSecs = s.startSecs + 1.2;
    s.channel = channel;
    return s;
}

// A logging screen running on an eight-channel rack whose streams the benchmark writes, holding
// `lines` lines; with the transcript pane shown over it unless `withPane` is false.
struct Desk : ScreenDesk {
    std::unique_ptr<LoggingScreenModel> screen;
    QHash<int, std::shared_ptr<BenchLines>> streams;
    std::unique_ptr<TranscriptPaneModel> pane;
    std::unique_ptr<TranscriptListModel> rows;
    std::unique_ptr<TranscriptPaneView> view;
    qint64 next = 0;
    size_t paneBytes = 0;

    Desk(qint64 lines, bool withPane, bool watchOnly = false, bool drawn = true)
    {
        devices.setSimulatedDevices(QList<AudioInputDevice>{benchRack(kChannels)});
        LoggingScreenEnvironment env = environment();
        env.transcriber.silenceCheckDelayMs = 3'600'000;
        env.transcriber.makeCapture = [this] { return silentCapture(kChannels, &clock); };
        env.transcriber.makeStream = [this](const StreamRequest& request) {
            auto stream = std::make_shared<BenchLines>(request.channel);
            streams.insert(request.channel, stream);
            return stream;
        };
        screen = std::make_unique<LoggingScreenModel>(env);
        screen->appear();
        screen->beginShoot(std::nullopt);
        if (watchOnly)
            screen->transcriber().setHidden(kChannels - 1, true);
        QHash<int, QList<DisplaySegment>> perChannel;
        for (next = 0; next < lines; ++next)
            perChannel[int(next % kChannels)].append(line(next, int(next % kChannels)));
        for (auto it = perChannel.begin(); it != perChannel.end(); ++it)
            streams.value(it.key())->putAll(std::move(it.value()));
        screen->sessions().waitForWrites();
        if (withPane)
            showPane();
        // Without drawing, what is timed is the models' and the list's own work.
        if (view && !drawn)
            view->setUpdatesEnabled(false);
    }
    ~Desk() { screen->transcriber().stop(); }

    void showPane()
    {
        const size_t before = mallinfo2().uordblks;
        pane = std::make_unique<TranscriptPaneModel>(*screen);
        rows = std::make_unique<TranscriptListModel>(*pane);
        view = std::make_unique<TranscriptPaneView>(rows.get());
        QObject::connect(pane.get(), &TranscriptPaneModel::stateChanged, view.get(),
                         [this] { view->setState(pane->state()); });
        view->setState(pane->state());
        view->resize(kPane);
        view->show();
        view->listView()->scrollToEnd();
        QCoreApplication::processEvents();
        paneBytes = mallinfo2().uordblks - before;
    }

    // A new line on the channel whose turn it is.
    void newLine()
    {
        const int channel = int(next % kChannels);
        streams.value(channel)->put(line(next++, channel));
    }
    // The text of a recent line of channel 0 changes.
    void changeLine(bool flip)
    {
        BenchLines& stream = *streams.value(0);
        stream.change(stream.size() - 2, flip ? QStringLiteral("corrected once") : QStringLiteral("corrected twice"));
    }
    void settle() { screen->sessions().waitForWrites(); }
};

void newLine(benchmark::State& state, bool withPane, bool watchOnly = false, bool drawn = false)
{
    Desk desk(state.range(0), withPane, watchOnly, drawn);
    // The line's own handling, and what waits for the event loop (the list's deferred layout
    // pass; drawing too when drawn).
    qint64 handlingNs = 0;
    qint64 eventLoopNs = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        clock.start();
        desk.newLine();
        handlingNs += clock.nsecsElapsed();
        clock.start();
        QCoreApplication::processEvents();
        eventLoopNs += clock.nsecsElapsed();
        state.PauseTiming();
        desk.settle();
        state.ResumeTiming();
    }
    if (withPane) {
        // The list glides to each new line; once the last glide is over nothing moves.
        const FrameRest rest = waitForRest();
        state.counters["settleMs"] = rest.settleMs;
        state.counters["framesWhileIdle"] = rest.framesWhileIdle;
        if (!rest.idle || rest.framesWhileIdle > 0)
            state.SkipWithError("the pane kept asking for frames");
        if (desk.rows->rowCount() != int(desk.pane->visibleCount()) || !desk.view->listView()->isAtEnd())
            state.SkipWithError("the pane lost a line or stopped following");
        state.counters["bytesPerLine"] = double(desk.paneBytes) / double(state.range(0));
        state.counters["measured"] = double(desk.view->listView()->measuredRowCount());
    }
    state.counters["handlingUs"] = double(handlingNs) / 1000 / double(state.iterations());
    state.counters["eventLoopUs"] = double(eventLoopNs) / 1000 / double(state.iterations());
}

void changedLine(benchmark::State& state, bool withPane)
{
    Desk desk(state.range(0), withPane, false, false);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        desk.changeLine(flip);
        QCoreApplication::processEvents();
        state.PauseTiming();
        desk.settle();
        state.ResumeTiming();
    }
}

void BM_NewLineScreenOnly(benchmark::State& state)
{
    newLine(state, false);
}
void BM_NewLineWithPane(benchmark::State& state)
{
    newLine(state, true);
}
// One channel watch-only: the pane keeps its lines out by row.
void BM_NewLineWithPaneWatchOnly(benchmark::State& state)
{
    newLine(state, true, true);
}
// The same with the rows drawn on screen: the list scrolls, so every row in view is drawn again.
void BM_NewLineWithPaneDrawn(benchmark::State& state)
{
    newLine(state, true, false, true);
}
void BM_ChangedLineScreenOnly(benchmark::State& state)
{
    changedLine(state, false);
}
void BM_ChangedLineWithPane(benchmark::State& state)
{
    changedLine(state, true);
}

// A screen of rows drawn again, as the pane sits while logging: at the newest lines.
void BM_PaintScreenOfRows(benchmark::State& state)
{
    Desk desk(state.range(0), true);
    QWidget* viewport = desk.view->listView()->viewport();
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    viewport->render(&image);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        viewport->render(&image);
        benchmark::ClobberMemory();
    }
    if (desk.view->listView()->verticalScrollBar()->maximum() <= 0)
        state.SkipWithError("the rows did not fill the pane");
}

// The pane made and shown over the whole transcript, its first screen drawn.
void BM_ShowPane(benchmark::State& state)
{
    Desk desk(state.range(0), false);
    for (auto _ : state) {
        desk.showPane();
        desk.view->listView()->viewport()->grab();
        state.PauseTiming();
        desk.view.reset();
        desk.rows.reset();
        desk.pane.reset();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_NewLineScreenOnly)->Arg(50)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_NewLineWithPane)->Arg(50)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_NewLineWithPaneWatchOnly)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_NewLineWithPaneDrawn)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_ChangedLineScreenOnly)->Arg(50)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_ChangedLineWithPane)->Arg(50)->Arg(50000)->Unit(benchmark::kMicrosecond)->Iterations(2000);
BENCHMARK(BM_PaintScreenOfRows)->Arg(50000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ShowPane)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);
