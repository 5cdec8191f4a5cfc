// A marker press on a long log: the main thread's share (entry made, its row inserted, the
// session save handed to the writer) must stay within 2 ms at 3,000 entries.
#include "common/ScreenDesk.h"
#include "screens/LogEntryListModel.h"
#include "screens/LoggingScreenModel.h"

#include <benchmark/benchmark.h>

namespace {

LogEntry oldEntry(int i, Date at)
{
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.time = at.addingSeconds(-i);
    entry.timecode = QStringLiteral("10:00:00:00");
    entry.type = QStringLiteral("moment");
    entry.endTime = entry.time.addingSeconds(10);
    entry.highlight = QStringLiteral("Words said on set around the moment, line %1 of the long shoot.").arg(i);
    entry.summary = QStringLiteral("A one-line summary of the moment %1.").arg(i);
    entry.tags = {QStringLiteral("wide")};
    return entry;
}

void BM_MarkerPress(benchmark::State& state)
{
    ScreenDesk desk;
    LoggingScreenModel screen(desk.environment());
    screen.appear();
    LogEntryListModel rows(screen.logPane());

    LogSession session = screen.log().snapshotSession();
    for (int i = 0; i < state.range(0); ++i)
        session.entries.append(oldEntry(i, desk.clock.now()));
    screen.log().load(session);
    screen.sessions().waitForWrites();

    const LogButton button{QStringLiteral("moment"), QStringLiteral("Moment"), true, 10};
    for (auto _ : state) {
        screen.tapButton(button);
        state.PauseTiming();
        screen.sessions().waitForWrites();
        desk.clock.advance(std::chrono::seconds(1));
        state.ResumeTiming();
    }
    if (rows.rowCount() != state.range(0) + qsizetype(state.iterations()) || screen.sessions().lastWriteFailed())
        state.SkipWithError("a press was lost or a save failed");
}
BENCHMARK(BM_MarkerPress)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace
