#pragma once

// What a logging screen is built on in the benchmarks: files in a folder of their own, a service
// on a closed port (summaries fail quietly), no inputs, and a clock the benchmark moves.

#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/ManualClock.h"
#include "screens/LoggingScreenModel.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerCloud.h"
#include "timecode/CameraTimecode.h"

#include <QTemporaryDir>

struct ScreenDesk {
    QTemporaryDir dir;
    ManualClock clock;
    InMemoryCookieStore cookies;
    APIService service{QStringLiteral("http://127.0.0.1:9"), cookies, &clock};
    Defaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    CameraTimecode camera{defaults};
    LoggerCloud cloud{service, camera, {std::chrono::hours(1), 45.0}, &clock};
    AudioDevices devices;
    const QString sessionsFile = dir.filePath(QStringLiteral("log-sessions.json"));

    ScreenDesk() { devices.setSimulatedDevices(QList<AudioInputDevice>{}); }

    [[nodiscard]] LoggingScreenEnvironment environment()
    {
        LoggingScreenEnvironment env;
        env.defaults = &defaults;
        env.service = &service;
        env.cloud = &cloud;
        env.camera = &camera;
        env.clock = &clock;
        env.sessionsFile = sessionsFile;
        env.transcriber.devices = &devices;
        return env;
    }
};
