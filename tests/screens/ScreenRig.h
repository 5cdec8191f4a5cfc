#pragma once

// Shared by the screen tests: one logging screen on a real engine and service client.

#include "WrittenLines.h"
#include "common/StandinProcess.h"
#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/GeneratedAudioSource.h"
#include "platform/ManualClock.h"
#include "screens/LoggingScreenModel.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "timecode/CameraTimecode.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

namespace screen_test {

inline constexpr int kWaitMs = 10000;

// A new earmark at `timecode`, to be filled in and logged.
inline LogEntry earmark(const QString& timecode)
{
    LogEntry entry;
    entry.id = QUuid::createUuid();
    entry.timecode = timecode;
    entry.type = QStringLiteral("earmark");
    return entry;
}

// What a logging screen is built on in the tests: a real engine (the demo shoot at a fast pace,
// or generated input for cloud runs), a real stand-in for summaries and shoots, and a clock the
// test moves.
struct RigParts {
    RigParts(const QUrl& base, const QString& cookie, int lineMs)
        : lineMs(lineMs), store(cookie), service(base.toString(), store, &clock),
          defaults(dir.filePath(QStringLiteral("defaults.json"))), camera(defaults),
          cloud(service, camera, {std::chrono::hours(1), 45.0}, &clock)
    {
    }

    // The demo plays a line every `lineMs` of the clock.
    [[nodiscard]] LoggingScreenEnvironment environment(bool demo, const QString& sessionsFile = {},
                                                       int scanStepMs = 3'600'000)
    {
        AudioInputDevice mic;
        mic.uid = QStringLiteral("mic");
        mic.id = AudioDevices::idForUid(mic.uid);
        mic.name = QStringLiteral("Mic");
        mic.channelNames = QStringList{QString()};
        mic.isDefault = true;
        devices.setSimulatedDevices(QList<AudioInputDevice>{mic});
        LoggingScreenEnvironment env;
        env.defaults = &defaults;
        env.service = &service;
        env.cloud = &cloud;
        env.camera = &camera;
        env.clock = &clock;
        env.demo = demo;
        env.sessionsFile = sessionsFile.isEmpty() ? dir.filePath(QStringLiteral("log-sessions.json")) : sessionsFile;
        env.transcriber.devices = &devices;
        env.transcriber.demoLineIntervalMs = lineMs;
        env.transcriber.demoLevelIntervalMs = 3'600'000;
        env.transcriber.demoScanStepMs = scanStepMs;
        env.transcriber.demoScanSettleMs = 1;
        env.transcriber.silenceCheckDelayMs = 3'600'000;
        env.transcriber.makeCapture = [] {
            GeneratedAudioSource::Options options;
            options.realTime = true;
            options.channelCount = 1;
            return std::make_unique<GeneratedAudioSource>(options, [](float* out, qsizetype frames, int channels) {
                std::fill_n(out, frames * channels, 0.0f);
                return frames;
            });
        };
        env.transcriber.makeStream = [](const StreamRequest&) { return nullptr; };
        return env;
    }

    const int lineMs;
    QTemporaryDir dir;
    ManualClock clock{Date::fromSecondsSince1970(1'700'000'000.25)};
    InMemoryCookieStore store;
    APIService service;
    Defaults defaults;
    CameraTimecode camera;
    LoggerCloud cloud;
    AudioDevices devices;
};

// One screen model on the rig's parts.
struct Rig : RigParts {
    Rig(const QUrl& base, const QString& cookie, bool demo, const QString& sessionsFile = {}, int lineMs = 3000,
        int scanStepMs = 3'600'000)
        : RigParts(base, cookie, lineMs)
    {
        screen = std::make_unique<LoggingScreenModel>(environment(demo, sessionsFile, scanStepMs));
        screen->appear();
    }

    DesktopTranscriber& engine() { return screen->transcriber(); }
    // Plays demo lines until there are `count`, moving the clock a line's interval at a time.
    bool playLines(qsizetype count)
    {
        for (int step = 0; step < 1000 && engine().segments().size() < count; ++step)
            clock.advance(std::chrono::milliseconds(lineMs));
        return engine().segments().size() >= count;
    }
    [[nodiscard]] const LogSession* stored() const
    {
        const auto& all = screen->sessions().sessions();
        return all.isEmpty() ? nullptr : &all.constFirst();
    }
    [[nodiscard]] LogEntry entry(const QUuid& id) const
    {
        return screen->log().entries().at(*screen->log().entryRowOf(id));
    }
    static LogButton button(const QString& kind, double reach) { return LogButton{kind, kind.toUpper(), true, reach}; }

    std::unique_ptr<LoggingScreenModel> screen;
};

// A screen on the rig's parts, running either the demo shoot or the test's own lines.
struct WrittenRig : RigParts {
    WrittenRig(const QUrl& base, const QString& cookie, bool scripted, const QJsonArray& buttons = {})
        : RigParts(base, cookie, 100)
    {
        if (!buttons.isEmpty()) {
            defaults.set(LogButtonStore::buttonsKey, buttons);
            defaults.set(LogButtonStore::defaultsFlagKey, true);
        }
        LoggingScreenEnvironment env = environment(!scripted);
        if (scripted)
            env.transcriber.makeStream = [this](const StreamRequest& request) {
                stream = std::make_shared<WrittenLines>(request.channel);
                return stream;
            };
        screen = std::make_unique<LoggingScreenModel>(std::move(env));
        screen->appear();
        if (scripted)
            screen->transcriber().start();
        else
            screen->toggleLogging();
    }

    bool play(qsizetype count)
    {
        for (int step = 0; step < 2000 && screen->visibleSegments().size() < count; ++step)
            clock.advance(std::chrono::milliseconds(lineMs));
        return screen->visibleSegments().size() >= count;
    }
    DisplaySegment put(const QString& id, const QString& text, double start = 1, double end = 2,
                       const std::optional<QString>& speaker = std::nullopt)
    {
        DisplaySegment line;
        line.id = id;
        line.text = text;
        line.startSecs = start;
        line.endSecs = end;
        line.speaker = speaker;
        line.firstSeen = clock.now();
        stream->put(line);
        return line;
    }
    void rename(const QString& speaker, const QString& name)
    {
        screen->setRenamingSpeaker(speaker);
        screen->renameText = name;
        screen->saveSpeakerName();
    }
    [[nodiscard]] Date engineStart() const { return screen->transcriber().engineStart(); }
    [[nodiscard]] const LogEntries& entries() const { return screen->log().entries(); }
    [[nodiscard]] LogEntry entry(const QUuid& id) const { return entries().at(*screen->log().entryRowOf(id)); }
    [[nodiscard]] LineUse::State state(const QString& id) const
    {
        return screen->lineUse().state(*screen->segment(id));
    }

    std::shared_ptr<WrittenLines> stream;
    std::unique_ptr<LoggingScreenModel> screen;
};

// The summary request the stand-in received for `text`.
inline std::optional<QJsonObject> summaryAsked(StandinProcess& standin, const QString& text)
{
    for (const QJsonValue& kept : standin.state().value(QStringLiteral("summaries")).toArray()) {
        const QJsonObject request = kept[QStringLiteral("request")].toObject();
        if (request.value(QStringLiteral("transcript")).toString() == text)
            return request;
    }
    return std::nullopt;
}

} // namespace screen_test
