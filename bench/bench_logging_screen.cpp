// A marker press on a long log: the main thread's share (entry made, its row inserted, the
// session save handed to the writer) must stay within 2 ms at 3,000 entries.
#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "screens/LogEntryListModel.h"
#include "screens/LoggingScreenModel.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "timecode/CameraTimecode.h"

#include <QTemporaryDir>

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
    QTemporaryDir dir;
    ManualClock clock;
    InMemoryCookieStore cookies;
    APIService service(QStringLiteral("http://127.0.0.1:9"), cookies, &clock);
    Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    CameraTimecode camera(defaults);
    LoggerCloud cloud(service, camera, {std::chrono::hours(1), 45.0}, &clock);
    AudioDevices devices;
    devices.setSimulatedDevices(QList<AudioInputDevice>{});
    LoggingScreenEnvironment env;
    env.defaults = &defaults;
    env.service = &service;
    env.cloud = &cloud;
    env.camera = &camera;
    env.clock = &clock;
    env.sessionsFile = dir.filePath(QStringLiteral("log-sessions.json"));
    env.transcriber.devices = &devices;
    LoggingScreenModel screen(std::move(env));
    screen.appear();
    LogEntryListModel rows(screen.logPane());

    LogSession session = screen.log().snapshotSession();
    for (int i = 0; i < state.range(0); ++i)
        session.entries.append(oldEntry(i, clock.now()));
    screen.log().load(session);
    screen.sessions().waitForWrites();

    const LogButton button{QStringLiteral("moment"), QStringLiteral("Moment"), true, 10};
    for (auto _ : state) {
        screen.tapButton(button);
        state.PauseTiming();
        screen.sessions().waitForWrites();
        clock.advance(std::chrono::seconds(1));
        state.ResumeTiming();
    }
    if (rows.rowCount() != state.range(0) + qsizetype(state.iterations()) || screen.sessions().lastWriteFailed())
        state.SkipWithError("a press was lost or a save failed");
}
BENCHMARK(BM_MarkerPress)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(200);

} // namespace
