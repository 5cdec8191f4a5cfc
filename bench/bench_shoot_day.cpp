// A shoot day on the logging screen, hour by hour, on the manual clock, driven as a logger drives
// the screen: eight live channels whose streams the benchmark writes (a final line per channel
// about every 6 s, interim results in between), a marker press every 30 s through the button
// bar that opens the line picker (its lines read as the sheet reads them, then Save with one line
// taken out, or "Keep the last few seconds", a couple of seconds later), a note on every tenth
// entry written through the log pane's rows (the row's "+ Note", a few seconds of typing, the
// note field's write), now and then a note composed on a line and a search keystroke, and the
// screen's own save and sync timers running against a real pindle-standin over loopback, signed
// in, the shoot made by starting logging. The screen has its panes and list models attached, with
// a reader of the rows a view would show.
//
// Reported per hour of shoot ("hN_..."): main-thread CPU per second of shoot, the longest single
// main-thread step (a clock step with its timers, one stream update, one press, a Save, one event
// handled by the loop) and what it was, the longest handling of a service's answer and what it
// answered, the median and longest press and Save (main-thread CPU, as the rest), RSS, and the
// last sync body with whether the stand-in took it (a refused body shows as the cloud's sync
// problem). What the day should meet: hour 10's cost per second at most twice hour 1's, no step
// over 16 ms, a press within 1 ms (median) and 8 ms (longest) at hour 10, a Save within 8 ms,
// RSS growth at most three times the sync body, every sync accepted.
//
// PINDLE_SHOOT_HOURS sets the length of the day (2 unless set; a full day is 10).
#include "common/BenchRack.h"
#include "common/BenchRun.h"
#include "common/BenchStandin.h"
#include "common/MainThreadCost.h"
#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "screens/LogEntryListModel.h"
#include "screens/LogSearchModel.h"
#include "screens/LoggingScreenModel.h"
#include "screens/TranscriptListModel.h"
#include "screens/TranscriptPaneModel.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerCloud.h"
#include "timecode/CameraTimecode.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
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
// The picker is answered this many seconds after its press (the press is the cycle's last second).
constexpr int kPickerSeconds = 2;
// A note in a row is begun this far into a press's cycle and written this many seconds later; a
// composed note takes as long.
constexpr int kNoteStartSecond = 10;
constexpr int kTypingSeconds = 5;
constexpr int kComposerEverySeconds = 300;
constexpr int kComposerSecond = 134;
constexpr int kSearchEverySeconds = 600;
constexpr int kSearchSecond = 200;
constexpr int kDefaultHours = 2;
// How long a sync's answer may take over loopback before the day gives up on it.
constexpr int kSyncWaitMs = 30'000;

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
            s.words.append(Word{words.at(i), start + 0.4 * i, start + 0.4 * i + 0.35});
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
        return LoggerCloud::syncPieces(screen->cloudSnapshot(), {}, std::nullopt).size();
    }
};

// What a view of a list model reads: the rows it shows at the bottom of a long list, as they
// are inserted or redrawn.
class RowReader : public QObject {
public:
    static constexpr int kShownRows = 30;

    RowReader(QAbstractItemModel& model, QList<int> roles) : m_model(model), m_roles(std::move(roles))
    {
        connect(&model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first, int last) { read(first, last); });
        connect(&model, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& from, const QModelIndex& to) { read(from.row(), to.row()); });
        connect(&model, &QAbstractItemModel::modelReset, this, [this] { read(0, m_model.rowCount() - 1); });
    }
    qsizetype reads = 0;

private:
    void read(int first, int last)
    {
        first = std::max(first, m_model.rowCount() - kShownRows);
        for (int row = std::max(first, 0); row <= last && row < m_model.rowCount(); ++row)
            for (int role : m_roles)
                reads += m_model.data(m_model.index(row, 0), role).isValid() ? 1 : 0;
    }

    QAbstractItemModel& m_model;
    QList<int> m_roles;
};

// The application of this benchmark: it times every event the main loop hands out at the top
// level, so that a long step of the loop says what it was.
class TimedApplication final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        // Only the main thread's events, and only at the top: other threads deliver theirs here too.
        if (m_depth > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        // Taken before: the event may delete its receiver.
        const char* className = receiver->metaObject()->className();
        QString name = receiver->objectName();
        // A reply is named by what it answers; an answer from the upload thread by its lane.
        const auto* reply = qobject_cast<QNetworkReply*>(receiver);
        if (reply)
            name = reply->url().path();
        // A timer by whose it is.
        else if (name.isEmpty() && receiver->parent())
            name = QStringLiteral("of %1").arg(QLatin1String(receiver->parent()->metaObject()->className()));
        const bool answer = reply || qstrcmp(className, "NetworkThread") == 0;
        const QEvent::Type type = event->type();
        ++m_depth;
        const double start = threadSeconds();
        const bool done = QApplication::notify(receiver, event);
        const double spent = threadSeconds() - start;
        --m_depth;
        if (spent > longestEvent) {
            longestEvent = spent;
            longestWhat = type == QEvent::MetaCall
                              ? QStringLiteral("a queued call to %1").arg(QLatin1String(className))
                              : QStringLiteral("event %1 to %2").arg(int(type)).arg(QLatin1String(className));
            if (!name.isEmpty())
                longestWhat += QStringLiteral(" (%1)").arg(name);
        }
        if (answer && spent > longestAnswer) {
            longestAnswer = spent;
            longestAnswerWhat = reply ? name : QStringLiteral("an upload's answer");
        }
        return done;
    }
    // The longest event handed out since the last reset, and what it was.
    double longestEvent = 0;
    QString longestWhat;
    // The longest handling of a service's answer since the benchmark last took it, and its path.
    double longestAnswer = 0;
    QString longestAnswerWhat;

private:
    int m_depth = 0;
};

TimedApplication* timedApp()
{
    return static_cast<TimedApplication*>(QCoreApplication::instance());
}

// One hour's figures.
struct HourFigures {
    double cpuSeconds = 0;
    double longestStep = 0;
    QString longestWhat;
    std::vector<double> presses;
    std::vector<double> saves;
    int syncs = 0;
    int refusedSyncs = 0;
    bool syncStuck = false;
};

// Runs `work` as one main-thread step of `hour`, named `what`; a turn of the event loop is named
// by its longest event.
template <typename Work> double step(HourFigures& hour, const char* what, Work work)
{
    TimedApplication* app = timedApp();
    app->longestEvent = 0;
    const double start = threadSeconds();
    work();
    const double spent = threadSeconds() - start;
    hour.cpuSeconds += spent;
    if (spent > hour.longestStep) {
        hour.longestStep = spent;
        hour.longestWhat = what ? QString::fromLatin1(what) : app->longestWhat;
    }
    return spent;
}

std::pair<double, double> medianAndMax(std::vector<double> values)
{
    if (values.empty())
        return {0, 0};
    const auto middle = values.begin() + qsizetype(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return {*middle, *std::max_element(values.begin(), values.end())};
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
        LoggingScreenModel& screen = *day.screen;
        // The panes' list models, as the views hold them, and what the views read of them.
        TranscriptListModel transcriptRows(screen.transcriptPane());
        LogEntryListModel logRows(screen.logPane());
        LogSearchModel search(LogSearchModel::Sources::of(screen, day.service));
        RowReader transcriptReader(transcriptRows, {TranscriptListModel::TextRole, TranscriptListModel::TimecodeRole,
                                                    TranscriptListModel::MarksRole, TranscriptListModel::UseRole});
        RowReader logReader(logRows, {LogEntryListModel::SaidTextRole, LogEntryListModel::BadgeRole,
                                      LogEntryListModel::NoteRole, LogEntryListModel::SelectedRole});
        // The line picker's sheet reads its lines when it opens, as the view builds its rows.
        qsizetype pickerRows = 0;
        QObject::connect(&screen, &LoggingScreenModel::pickingChanged, &screen, [&] {
            if (!screen.pickingFor())
                return;
            for (const DisplaySegment& line : screen.linePicker().lines) {
                const QString name = line.speaker ? screen.displayedSpeaker(*line.speaker) : QString();
                pickerRows += (screen.lineTimecode(line).size() + name.size()) > 0 ? 1 : 0;
            }
        });
        if (!day.signIn() || !day.startLogging()) {
            state.SkipWithError("could not sign in or start logging on the stand-in");
            return;
        }
        const LogButton button{QStringLiteral("moment"), QStringLiteral("Moment"), true, 10};
        QList<qint64> lineNumber(kChannels, -1);
        qint64 nextLine = 0;
        int presses = 0;
        bool everySyncTaken = true;
        std::optional<QUuid> noting;
        // What logging itself adds is measured from here.
        const double rssAtStart = residentMegabytes();
        state.counters["rss_start_MB"] = rssAtStart;
        std::printf("RSS at the start of logging: %.0f MB (heap in use %.0f MB)\n", rssAtStart, heapInUseMegabytes());
        std::printf("hour  cpu ms/s  press med/max ms  save med/max ms  RSS MB  growth/body  sync KB  syncs  "
                    "refused  problem  heap MB  longest ms  longest step  |  longest answer ms (request)\n");
        std::fflush(stdout);

        for (int h = 1; h <= hours; ++h) {
            HourFigures hour;
            for (int s = 0; s < 3600; ++s) {
                const int second = (h - 1) * 3600 + s;
                step(hour, "the clock's second with its timers", [&] { day.clock.advance(std::chrono::seconds(1)); });
                // A tick that sent a sync: its answer comes over loopback before time moves on.
                if (day.cloud.isFlushing()) {
                    ++hour.syncs;
                    // The loop sleeps until the answer (or the deadline) comes; only what it then
                    // runs is the app's. A wake-up timer per turn would charge the waiting to it.
                    QTimer deadline;
                    deadline.setSingleShot(true);
                    deadline.start(kSyncWaitMs);
                    while (day.cloud.isFlushing() && deadline.isActive())
                        step(hour, nullptr, [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
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
                    step(hour, "a stream's result merged", [&] {
                        if (begins)
                            stream.put(text);
                        else
                            stream.changeLast(text);
                    });
                }

                const int inCycle = s % kPressEverySeconds;
                if (inCycle == kPressEverySeconds - 1 && !screen.composingLine() && !noting) {
                    hour.presses.push_back(step(hour, "a marker press", [&] { screen.tapButton(button); }));
                    ++presses;
                }
                // The picker answered a couple of seconds after the press: every other one saved
                // with its first line taken out, the others kept.
                if (inCycle == kPickerSeconds - 1 && screen.pickingFor()) {
                    if (presses % 2 == 0) {
                        const QSet<QString> ticked = screen.pickIDs();
                        if (ticked.size() > 1)
                            step(hour, "a tick in the picker",
                                 [&] { screen.setPicked(*std::min_element(ticked.cbegin(), ticked.cend()), false); });
                        hour.saves.push_back(step(hour, "the picker's Save", [&] { screen.applyPickedLines(); }));
                    } else {
                        step(hour, "the picker's Keep", [&] { screen.keepWindowText(); });
                    }
                }
                // Every tenth press's entry gets a note, typed over a few seconds in its row.
                if (inCycle == kNoteStartSecond && presses > 0 && presses % kNoteEveryEntries == 0 && !noting &&
                    !screen.pickingFor()) {
                    noting = screen.log().entries().constLast().id;
                    step(hour, "a row's + Note", [&] { screen.logPane().startNote(*noting); });
                }
                if (inCycle == kNoteStartSecond + kTypingSeconds && noting) {
                    step(hour, "a note written in its row", [&] {
                        const std::optional<qsizetype> row = screen.log().entryRowOf(*noting);
                        if (row)
                            logRows.setData(logRows.index(int(*row)),
                                            QStringLiteral("Note %1: %2").arg(presses).arg(spoken(presses, 8)),
                                            LogEntryListModel::NoteRole);
                        screen.logPane().endNote();
                    });
                    noting.reset();
                }
                // Now and then a note composed on a recent line.
                if (second % kComposerEverySeconds == kComposerSecond && !screen.pickingFor() && !noting) {
                    const TranscriptPaneModel& pane = screen.transcriptPane();
                    if (pane.visibleCount() > kChannels * 2) {
                        const QString id = pane.visibleLine(pane.visibleCount() - kChannels * 2).id;
                        step(hour, "a click on a line", [&] { screen.selectLine(id); });
                    }
                }
                if (second % kComposerEverySeconds == kComposerSecond + kTypingSeconds && screen.composingLine()) {
                    step(hour, "the composer's Log", [&] {
                        screen.setDraftNote(QStringLiteral("Composed %1").arg(second));
                        screen.commitComposer(*screen.composingLine());
                    });
                }
                // Now and then a search keystroke, and the field cleared again.
                if (second % kSearchEverySeconds == kSearchSecond)
                    step(hour, "a search keystroke", [&] { search.setQuery(QStringLiteral("boat ag")); });
                if (second % kSearchEverySeconds == kSearchSecond + 1)
                    step(hour, "the search cleared", [&] { search.setQuery(QString()); });

                step(hour, nullptr, [] { QCoreApplication::processEvents(); });
                if (s % 600 == 599)
                    std::fprintf(stderr, "hour %d: %d min of shoot, %.1f s main-thread CPU so far\n", h, (s + 1) / 60,
                                 hour.cpuSeconds);
            }

            const auto [pressMedian, pressMax] = medianAndMax(hour.presses);
            const auto [saveMedian, saveMax] = medianAndMax(hour.saves);
            const double rss = residentMegabytes();
            const double heap = heapInUseMegabytes();
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
            counter("press_max_ms", pressMax * 1000);
            counter("save_median_ms", saveMedian * 1000);
            counter("save_max_ms", saveMax * 1000);
            counter("answer_max_ms", timedApp()->longestAnswer * 1000);
            counter("rss_MB", rss);
            counter("heap_MB", heap);
            // The sync body is every line with its word timings and every marker: the data held.
            const double growthPerBody = body > 0 ? (rss - rssAtStart) * 1e6 / double(body) : 0;
            counter("rss_growth_per_body", growthPerBody);
            counter("sync_body_KB", double(body) / 1024);
            counter("syncs", hour.syncs);
            counter("syncs_refused", hour.refusedSyncs);
            counter("sync_accepted", problem || hour.syncStuck ? 0 : 1);
            std::printf(
                "%4d  %8.2f  %7.3f / %6.2f  %7.3f / %6.2f  %6.0f  %11.2f  %7.0f  %5d  %7d  %s  %7.0f  %10.2f  %s  |  "
                "%.2f (%s)\n",
                h, hour.cpuSeconds * 1000 / 3600, pressMedian * 1000, pressMax * 1000, saveMedian * 1000,
                saveMax * 1000, rss, growthPerBody, double(body) / 1024, hour.syncs, hour.refusedSyncs,
                problem ? qPrintable(*problem) : (hour.syncStuck ? "no answer" : "-"), heap, hour.longestStep * 1000,
                qPrintable(hour.longestWhat), timedApp()->longestAnswer * 1000,
                qPrintable(timedApp()->longestAnswerWhat));
            std::fflush(stdout);
            timedApp()->longestAnswer = 0;
        }
        state.counters["lines"] = double(nextLine);
        state.counters["entries"] = double(screen.log().entries().size());
        state.counters["every_sync_accepted"] = everySyncTaken ? 1 : 0;
        state.counters["rows_read"] = double(transcriptReader.reads + logReader.reads + pickerRows);
        screen.sessions().waitForWrites();
        if (screen.sessions().lastWriteFailed())
            state.SkipWithError("a session save failed");
    }
}
BENCHMARK(BM_ShootDay)->Arg(shootHours())->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

// BenchMain's, with an application that names the loop's long steps.
int main(int argc, char** argv)
{
    return runBenchmarks<TimedApplication>(argc, argv);
}
