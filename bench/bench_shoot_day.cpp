// A shoot day on the logging screen, hour by hour, on the manual clock: eight live channels whose
// streams the benchmark writes (a final line per channel about every 6 s, interim results in
// between), a marker press every 30 s, a note on every tenth entry, and the screen's own save
// and sync timers running against a real pindle-standin over loopback, signed in, the shoot made
// by starting logging.
//
// Reported per hour of shoot ("hN_..."): main-thread CPU per second of shoot, the longest single
// main-thread step (a clock step with its timers, one stream update, one press, one turn of the
// event loop), the median press (wall time), RSS, and the last sync body with whether the
// stand-in took it (a refused body shows as the cloud's sync problem). What the day should meet:
// hour 10's cost per second at most twice hour 1's, no step over 16 ms, a press within 2 ms at
// hour 10, RSS under 500 MB, every sync accepted.
//
// PINDLE_SHOOT_HOURS sets the length of the day (2 unless set; a full day is 10).
#include "common/BenchRack.h"
#include "common/BenchStandin.h"
#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "platform/WordPool.h"
#include "screens/LoggingScreenModel.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerCloud.h"
#include "timecode/CameraTimecode.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kChannels = 8;
// A line grows through interim results for this many seconds before its final text.
constexpr int kLineSeconds = 6;
constexpr int kPressEverySeconds = 30;
constexpr int kNoteEveryEntries = 10;
constexpr int kDefaultHours = 2;
// How long a sync's answer may take over loopback before the day gives up on it.
constexpr int kSyncWaitMs = 30'000;

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

int shootHours()
{
    bool ok = false;
    const int hours = qEnvironmentVariableIntValue("PINDLE_SHOOT_HOURS", &ok);
    return ok && hours > 0 ? hours : kDefaultHours;
}

// Sleeps until something happens (at most 20 ms), then handles it. The timed overload of
// processEvents never sleeps: it would spin, and the spin would count as the app's own time.
void waitForEvents()
{
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(20);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

QString spoken(qint64 seed, int count)
{
    static const QStringList vocabulary{QStringLiteral("camera"),  QStringLiteral("rolling"), QStringLiteral("speed"),
                                        QStringLiteral("the"),     QStringLiteral("boat"),    QStringLiteral("again"),
                                        QStringLiteral("light"),   QStringLiteral("we"),      QStringLiteral("lose"),
                                        QStringLiteral("\"cut\""), QStringLiteral("über"),    QStringLiteral("take")};
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += u' ';
        text += vocabulary.at(int((seed * 7 + i * 13) % vocabulary.size()));
    }
    return text;
}

// Line `n` of `channel`, begun at `start` seconds into the run, as it stands after `heard` of its
// seconds; the final text (with word timing, as a final result has) once `heard` reaches its end.
DisplaySegment line(qint64 n, int channel, double start, int heard)
{
    constexpr int kFinalWords = 14;
    const bool final = heard >= kLineSeconds - 1;
    const int count = final ? kFinalWords : 2 + heard * 3;
    DisplaySegment s;
    s.id = QStringLiteral("%1-%2").arg(channel).arg(n);
    // A stream labels its lines with its channel's one label, as the engine's streams do.
    static const QStringList labels = [] {
        QStringList names;
        for (int c = 0; c < kChannels; ++c)
            names.append(QStringLiteral("Channel %1").arg(c + 1));
        return names;
    }();
    s.speaker = labels.at(channel);
    s.text = spoken(n, count);
    // A stream's text is decoded from its frame at its own size, with no room to grow.
    s.id.squeeze();
    s.text.squeeze();
    s.startSecs = start;
    s.endSecs = start + 0.4 * count;
    s.channel = channel;
    if (final) {
        const QStringList words = s.text.split(u' ');
        s.words.reserve(words.size());
        for (int i = 0; i < words.size(); ++i)
            s.words.append(Word{WordPool::intern(words.at(i)), start + 0.4 * i, start + 0.4 * i + 0.35});
    }
    return s;
}

// The screen on an eight-channel rack, its summaries and shoot sync on the stand-in.
struct Day {
    QTemporaryDir dir;
    ManualClock clock;
    InMemoryCookieStore cookies;
    APIService service;
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode camera{defaults};
    LoggerCloud cloud{service, camera, LoggerCloud::Timing{}, &clock};
    AudioDevices devices;
    QHash<int, std::shared_ptr<BenchLines>> streams;
    std::unique_ptr<LoggingScreenModel> screen;

    explicit Day(const QString& baseUrl) : service(baseUrl, cookies, &clock)
    {
        devices.setSimulatedDevices(QList<AudioInputDevice>{benchRack(kChannels)});

        LoggingScreenEnvironment env;
        env.defaults = &defaults;
        env.service = &service;
        env.cloud = &cloud;
        env.camera = &camera;
        env.clock = &clock;
        env.sessionsFile = dir.filePath(QStringLiteral("log-sessions.json"));
        env.transcriber.devices = &devices;
        env.transcriber.silenceCheckDelayMs = 24 * 3'600'000;
        env.transcriber.makeCapture = [this] { return silentCapture(kChannels, &clock); };
        env.transcriber.makeStream = [this](const StreamRequest& request) {
            auto stream = std::make_shared<BenchLines>(request.channel);
            streams.insert(request.channel, stream);
            return stream;
        };
        screen = std::make_unique<LoggingScreenModel>(env);
    }
    ~Day()
    {
        if (screen)
            screen->transcriber().stop();
    }

    // Signs in with the stand-in's code, as the sign-in screen does.
    [[nodiscard]] bool signIn()
    {
        bool done = false;
        bool ok = false;
        service.verifyLoginCode(QStringLiteral("ada@example.com"), QString::fromLatin1(BenchStandin::kCode), nullptr,
                                [&](std::optional<ServiceError> error) {
                                    ok = !error;
                                    done = true;
                                });
        return pumpUntil([&] { return done; }) && ok;
    }

    // Start: the shoot is made on the account and the engine runs under its token.
    [[nodiscard]] bool startLogging()
    {
        screen->appear();
        screen->toggleLogging();
        return pumpUntil([&] { return !screen->startPending(); }) && cloud.token().has_value() &&
               screen->transcriber().running() && streams.size() == kChannels;
    }

    template <typename Done> bool pumpUntil(Done done, int timeoutMs = BenchStandin::kTimeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            waitForEvents();
        }
        return true;
    }

    // The body the cloud's sync sends for the log as it is now.
    [[nodiscard]] qsizetype syncBodyBytes() const
    {
        return LoggerCloud::syncBody(screen->cloudSnapshot(), {}, std::nullopt).size();
    }
};

// One hour's figures.
struct HourFigures {
    double cpuSeconds = 0;
    double longestStep = 0;
    std::vector<double> presses;
    int syncs = 0;
    int refusedSyncs = 0;
    bool syncStuck = false;
};

// Runs `work` as one main-thread step of `hour`.
template <typename Work> void step(HourFigures& hour, Work work)
{
    const double start = threadSeconds();
    work();
    const double spent = threadSeconds() - start;
    hour.cpuSeconds += spent;
    hour.longestStep = std::max(hour.longestStep, spent);
}

void BM_ShootDay(benchmark::State& state)
{
    const int hours = int(state.range(0));
    for (auto _ : state) {
        BenchStandin standin;
        if (standin.baseUrl().isEmpty()) {
            state.SkipWithError("pindle-standin did not start");
            return;
        }
        Day day(standin.baseUrl());
        if (!day.signIn() || !day.startLogging()) {
            state.SkipWithError("could not sign in or start logging on the stand-in");
            return;
        }
        const LogButton button{QStringLiteral("moment"), QStringLiteral("Moment"), true, 10};
        QList<qint64> lineNumber(kChannels, -1);
        qint64 nextLine = 0;
        int entries = 0;
        bool everySyncTaken = true;
        // What logging itself adds is measured from here.
        const double rssAtStart = residentMegabytes();
        state.counters["rss_start_MB"] = rssAtStart;
        std::printf("RSS at the start of logging: %.0f MB\n", rssAtStart);
        std::printf(
            "hour  cpu ms/s  longest ms  press med ms  RSS MB  growth/body  sync KB  syncs  refused  problem\n");
        std::fflush(stdout);

        for (int h = 1; h <= hours; ++h) {
            HourFigures hour;
            for (int s = 0; s < 3600; ++s) {
                const int second = (h - 1) * 3600 + s;
                step(hour, [&] { day.clock.advance(std::chrono::seconds(1)); });
                // A tick that sent a sync: its answer comes over loopback before time moves on.
                if (day.cloud.isFlushing()) {
                    ++hour.syncs;
                    // The loop sleeps until the answer (or the deadline) comes; only what it then
                    // runs is the app's. A wake-up timer per turn would charge the waiting to it.
                    QTimer deadline;
                    deadline.setSingleShot(true);
                    deadline.start(kSyncWaitMs);
                    while (day.cloud.isFlushing() && deadline.isActive())
                        step(hour, [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
                    hour.syncStuck = hour.syncStuck || day.cloud.isFlushing();
                    if (day.cloud.problem())
                        ++hour.refusedSyncs;
                }
                for (int c = 0; c < kChannels; ++c) {
                    // Channels staggered so that their lines end on different seconds.
                    const int heard = (second + c) % kLineSeconds;
                    // A channel staggered past its first line's start begins mid-line.
                    const bool begins = heard == 0 || lineNumber[c] < 0;
                    if (begins)
                        lineNumber[c] = nextLine++;
                    const DisplaySegment text = line(lineNumber[c], c, double(second - heard) + 0.1 * c, heard);
                    BenchLines& stream = *day.streams.value(c);
                    step(hour, [&] {
                        if (begins)
                            stream.put(text);
                        else
                            stream.changeLast(text);
                    });
                }
                if (s % kPressEverySeconds == kPressEverySeconds - 1) {
                    const auto start = std::chrono::steady_clock::now();
                    step(hour, [&] { day.screen->tapButton(button); });
                    hour.presses.push_back(
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
                    ++entries;
                    // The logger keeps the grabbed text rather than picking lines.
                    step(hour, [&] { day.screen->keepWindowText(); });
                    if (entries % kNoteEveryEntries == 0) {
                        const QUuid id = day.screen->log().entries().constLast().id;
                        step(hour, [&] {
                            day.screen->logPane().setNote(
                                id, QStringLiteral("Note %1: %2").arg(entries).arg(spoken(entries, 8)));
                        });
                    }
                }
                step(hour, [] { QCoreApplication::processEvents(); });
                if (s % 600 == 599)
                    std::fprintf(stderr, "hour %d: %d min of shoot, %.1f s main-thread CPU so far\n", h, (s + 1) / 60,
                                 hour.cpuSeconds);
            }

            std::nth_element(hour.presses.begin(), hour.presses.begin() + qsizetype(hour.presses.size() / 2),
                             hour.presses.end());
            const double pressMedian = hour.presses.empty() ? 0 : hour.presses.at(hour.presses.size() / 2);
            const double rss = residentMegabytes();
            const qsizetype body = day.syncBodyBytes();
            const std::optional<QString> problem = day.cloud.problem();
            everySyncTaken = everySyncTaken && hour.refusedSyncs == 0 && !hour.syncStuck;

            const QString prefix = QStringLiteral("h%1_").arg(h, 2, 10, QLatin1Char('0'));
            auto counter = [&](const char* name, double value) {
                state.counters[(prefix + QLatin1String(name)).toStdString()] = value;
            };
            counter("cpu_ms_per_s", hour.cpuSeconds * 1000 / 3600);
            counter("longest_ms", hour.longestStep * 1000);
            counter("press_median_ms", pressMedian * 1000);
            counter("rss_MB", rss);
            // The sync body is every line with its word timings and every marker: the data held.
            const double growthPerBody = body > 0 ? (rss - rssAtStart) * 1e6 / double(body) : 0;
            counter("rss_growth_per_body", growthPerBody);
            counter("sync_body_KB", double(body) / 1024);
            counter("syncs", hour.syncs);
            counter("syncs_refused", hour.refusedSyncs);
            counter("sync_accepted", problem || hour.syncStuck ? 0 : 1);
            std::printf("%4d  %8.2f  %10.2f  %12.3f  %6.0f  %11.2f  %7.0f  %5d  %7d  %s\n", h,
                        hour.cpuSeconds * 1000 / 3600, hour.longestStep * 1000, pressMedian * 1000, rss, growthPerBody,
                        double(body) / 1024, hour.syncs, hour.refusedSyncs,
                        problem ? qPrintable(*problem) : (hour.syncStuck ? "no answer" : "-"));
            std::fflush(stdout);
        }
        state.counters["lines"] = double(nextLine);
        state.counters["entries"] = entries;
        state.counters["every_sync_accepted"] = everySyncTaken ? 1 : 0;
        day.screen->sessions().waitForWrites();
        if (day.screen->sessions().lastWriteFailed())
            state.SkipWithError("a session save failed");
    }
}
BENCHMARK(BM_ShootDay)->Arg(shootHours())->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
