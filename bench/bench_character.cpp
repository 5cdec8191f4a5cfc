// One frame of Mark at the agent panel's size, 92 x 92 points on a screen of device pixel ratio 2
// (a 184 x 184 image): the model stepped by 1/60 s, the stage fitted, the image cleared and the
// character drawn, as the view does 60 times a second while it is shown.
//
// Measured at rest (breathing, blinking, glancing), while thinking (the thought bubble with its
// hopping dots, clipped at the panel's top edge as in the panel), and large with the whole bubble.
// Target: at most 0.5 ms a frame (3 % of one core at 60 frames a second). Measured as main-thread
// CPU time; Qt's raster engine hands large span runs to its own thread pool besides.
#include "agent/PindleCharacter.h"
#include "ui/agent/CharacterPainter.h"
#include "ui/agent/CharacterShape.h"
#include "ui/agent/PindleCharacterView.h"

#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

constexpr double kFrame = 1.0 / 60;

void frames(benchmark::State& bench, PindleAgentState agentState, QSize size, QRectF view)
{
    PindleCharacter::State s;
    s.setAgentState(agentState);
    CharacterShape::Placement placement;
    CharacterPainter painter;
    QImage image(size * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    for (int i = 0; i < 120; ++i)
        s = PindleCharacter::step(std::move(s), kFrame);

    for (auto _ : bench) {
        s = PindleCharacter::step(std::move(s), kFrame);
        CharacterShape::place(s, placement, PindleCharacterView::kPanelStage, view, QSizeF(size));
        image.fill(Qt::transparent);
        QPainter p(&image);
        painter.draw(p, s, {QRectF(QPointF(), QSizeF(size)), view, std::nullopt, false});
        p.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PanelFrameAtRest(benchmark::State& bench)
{
    frames(bench, PindleAgentState::Idle, {92, 92}, {0, 0, 92, 92});
}
BENCHMARK(BM_PanelFrameAtRest)->Unit(benchmark::kMicrosecond);

void BM_PanelFrameThinking(benchmark::State& bench)
{
    frames(bench, PindleAgentState::Thinking, {92, 92}, {0, 0, 92, 92});
}
BENCHMARK(BM_PanelFrameThinking)->Unit(benchmark::kMicrosecond);

// 300 points with room above and to the right: the whole bubble is drawn.
void BM_LargeFrameThinking(benchmark::State& bench)
{
    frames(bench, PindleAgentState::Thinking, {380, 420}, {0, 110, 300, 300});
}
BENCHMARK(BM_LargeFrameThinking)->Unit(benchmark::kMicrosecond);

} // namespace
