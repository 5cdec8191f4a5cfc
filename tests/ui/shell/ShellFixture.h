#pragma once

#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "screens/LoggingScreenModel.h"
#include "service/APIService.h"
#include "service/CookieStore.h"
#include "service/LoggerAccount.h"
#include "service/LoggerCloud.h"
#include "timecode/CameraTimecode.h"

#include <QTemporaryDir>

#include <optional>

// An account as the app makes it, with a stored cookie (or none) and a last address, on the
// service at `url`: the stand-in, or by default a closed port for screens that decide from the
// cookie alone.
struct ShellFixture {
    QTemporaryDir dir;
    InMemoryCookieStore store;
    Defaults defaults;
    APIService service;
    LoggerAccount account;
    CameraTimecode camera{defaults};
    LoggerCloud cloud{service, camera};
    AudioDevices devices;

    explicit ShellFixture(std::optional<QString> cookie = std::nullopt, const QString& email = {},
                          const QString& url = QStringLiteral("http://127.0.0.1:9"))
        : store(std::move(cookie)), defaults(prepared(dir, email)), service(url, store), account(service, defaults)
    {
        devices.setSimulatedDevices(QList<AudioInputDevice>{});
    }

    // The logging screen a sign-in shows, on this fixture's service and files, with no inputs.
    [[nodiscard]] LoggingScreenEnvironment screen()
    {
        LoggingScreenEnvironment env;
        env.defaults = &defaults;
        env.service = &service;
        env.cloud = &cloud;
        env.camera = &camera;
        env.sessionsFile = dir.filePath(QStringLiteral("log-sessions.json"));
        env.transcriber.devices = &devices;
        return env;
    }
    ~ShellFixture() { service.waitForCookieWrites(); }

    static QString prepared(const QTemporaryDir& dir, const QString& email)
    {
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        if (!email.isEmpty())
            Defaults(path).set(QString::fromLatin1(LoggerAccount::kEmailKey), email);
        return path;
    }
};
