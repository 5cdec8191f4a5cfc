// The log pane over a 3,000-entry log in a 1180 × 800 window: a full repaint of the visible rows
// must stay within 8 ms; first showing the pane and a width change (every row laid out again)
// are measured alongside.
#include "common/FrameIdle.h"
#include "common/ScreenDesk.h"
#include "screens/LogEntryListModel.h"
#include "screens/LoggingScreenModel.h"
#include "ui/logging/LogPaneView.h"

#include <QCoreApplication>
#include <QImage>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kEntries = 3000;
constexpr QSize kWindow(1180, 800);

QString words(int seed, int count)
{
    static const QStringList vocabulary{QStringLiteral("camera"), QStringLiteral("rolling"), QStringLiteral("speed"),
                                        QStringLiteral("the"),    QStringLiteral("boat"),    QStringLiteral("again"),
                                        QStringLiteral("light"),  QStringLiteral("we"),      QStringLiteral("lose"),
                                        QStringLiteral("über"),   QStringLiteral("take"),    QStringLiteral("harbour")};
    QStringList picked;
    for (int i = 0; i < count; ++i)
        picked.append(vocabulary.at((seed * 7 + i * 13) % vocabulary.size()));
    return picked.join(QLatin1Char(' '));
}

// Entries of a long day: one said line to three and more, every other one with a note.
LogEntry dayEntry(int i, Date at)
{
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.time = at.addingSeconds(-i * 60);
    entry.timecode =
        QStringLiteral("10:%1:%2:00").arg(i / 60 % 60, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'));
    entry.type = i % 5 == 0 ? QStringLiteral("broll") : QStringLiteral("earmark");
    entry.summary = words(i, 20);
    entry.highlight = i % 3 == 0 ? QString() : words(i + 1, 4 + i % 40);
    entry.note = i % 2 == 0 ? words(i + 2, 6) : QString();
    entry.speaker = QStringLiteral("Speaker %1").arg(i % 4);
    return entry;
}

// A logging screen's log pane holding a long day's log.
struct Desk : ScreenDesk {
    std::unique_ptr<LoggingScreenModel> screen;
    std::unique_ptr<LogEntryListModel> rows;

    Desk()
    {
        screen = std::make_unique<LoggingScreenModel>(environment());
        screen->appear();
        rows = std::make_unique<LogEntryListModel>(screen->logPane());
        LogSession session = screen->log().snapshotSession();
        for (int i = 0; i < kEntries; ++i)
            session.entries.append(dayEntry(kEntries - i, clock.now()));
        screen->log().load(session);
        screen->sessions().waitForWrites();
    }
};

std::unique_ptr<LogPaneView> shownPane(Desk& desk)
{
    auto pane = std::make_unique<LogPaneView>(desk.rows.get());
    pane->resize(kWindow);
    pane->show();
    QCoreApplication::processEvents();
    return pane;
}

// As the pane sits while logging: scrolled to the newest rows.
void BM_RepaintVisibleRows(benchmark::State& state)
{
    Desk desk;
    const std::unique_ptr<LogPaneView> pane = shownPane(desk);
    pane->listView()->scrollToBottom();
    QWidget* viewport = pane->listView()->viewport();
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    // The first paint draws each visible row's text for the first time.
    viewport->render(&image);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        viewport->render(&image);
        benchmark::ClobberMemory();
    }
    if (desk.rows->rowCount() != kEntries || pane->listView()->verticalScrollBar()->maximum() <= 0)
        state.SkipWithError("the log did not fill the pane");
}
BENCHMARK(BM_RepaintVisibleRows)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// A marker press on the long log, as the pane takes it: the new row laid out, the list scrolled to
// it and the visible rows drawn. The list measures every row again (from the kept layouts).
void BM_NewRowShown(benchmark::State& state)
{
    Desk desk;
    const std::unique_ptr<LogPaneView> pane = shownPane(desk);
    QWidget* viewport = pane->listView()->viewport();
    QImage image(viewport->size(), QImage::Format_ARGB32_Premultiplied);
    const LogButton button{QStringLiteral("earmark"), QStringLiteral("Earmark"), true, 10};
    for (auto _ : state) {
        state.PauseTiming();
        desk.screen->tapButton(button);
        state.ResumeTiming();
        QCoreApplication::processEvents();
        viewport->render(&image);
        state.PauseTiming();
        desk.screen->sessions().waitForWrites();
        desk.clock.advance(std::chrono::seconds(1));
        state.ResumeTiming();
    }
    if (desk.rows->rowCount() != kEntries + qsizetype(state.iterations()))
        state.SkipWithError("a press was lost");
    // The flash fades on the screen's clock: past it and past the rows' motions, nothing moves.
    desk.clock.advance(std::chrono::seconds(2));
    const FrameRest rest = waitForRest();
    state.counters["settleMs"] = rest.settleMs;
    state.counters["framesWhileIdle"] = rest.framesWhileIdle;
    if (!rest.idle || rest.framesWhileIdle > 0)
        state.SkipWithError("the pane kept asking for frames");
}
BENCHMARK(BM_NewRowShown)->Unit(benchmark::kMillisecond)->Iterations(100);

// The pane made and shown over the whole log: every row measured once, the visible ones drawn.
void BM_ShowPaneOverFullLog(benchmark::State& state)
{
    Desk desk;
    for (auto _ : state) {
        std::unique_ptr<LogPaneView> pane = shownPane(desk);
        pane->listView()->viewport()->grab();
        state.PauseTiming();
        pane.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ShowPaneOverFullLog)->Unit(benchmark::kMillisecond)->Iterations(10);

// A width change lays every row's text out again.
void BM_ResizeWidth(benchmark::State& state)
{
    Desk desk;
    const std::unique_ptr<LogPaneView> pane = shownPane(desk);
    int step = 0;
    for (auto _ : state) {
        pane->resize(kWindow.width() - 40 * (++step % 2), kWindow.height());
        QCoreApplication::processEvents();
        pane->listView()->viewport()->grab();
    }
}
BENCHMARK(BM_ResizeWidth)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
