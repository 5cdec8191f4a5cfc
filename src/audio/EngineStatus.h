#pragma once

#include <QString>

// The engine's run state as the status line shows it: a kind, which the engine's decisions
// read, with the details its text needs. The published text is derived from it, never the other
// way round, so a message's wording can change without changing what the engine does.
struct EngineStatus {
    enum class Kind {
        Off,
        Starting,
        Listening,
        // No input device to record from.
        NoInput,
        // The device refused to open (`device`; the only refusal there is here).
        CouldNotOpen,
        // The device opened but gave no audio.
        CouldNotStart,
        // The device gives fewer channels (`delivered`) than its settings hold (`configured`).
        FewerChannels,
        EveryChannelOff,
        // An idle scan could not open the input.
        ScanCouldNotOpen,
        // A stream's own message (`detail`).
        StreamProblem,
        // The service refused to transcribe (`detail` is its code).
        Refused,
        // The input went away (`device`, `detail` its reason); `loggingStopped` when it ended a run.
        Lost,
    };

    Kind kind = Kind::Off;
    QString device;
    QString detail;
    int delivered = 0;
    int configured = 0;
    bool loggingStopped = false;

    [[nodiscard]] static EngineStatus off() { return {}; }
    [[nodiscard]] static EngineStatus of(Kind kind) { return {kind, {}, {}, 0, 0, false}; }
    [[nodiscard]] static EngineStatus onDevice(Kind kind, const QString& device)
    {
        return {kind, device, {}, 0, 0, false};
    }
    [[nodiscard]] static EngineStatus fewerChannels(const QString& device, int delivered, int configured)
    {
        return {Kind::FewerChannels, device, {}, delivered, configured, false};
    }
    [[nodiscard]] static EngineStatus withDetail(Kind kind, const QString& detail)
    {
        return {kind, {}, detail, 0, 0, false};
    }
    [[nodiscard]] static EngineStatus lost(const QString& device, const QString& reason, bool loggingStopped)
    {
        return {Kind::Lost, device, reason, 0, 0, loggingStopped};
    }

    // The status line. Device names and service texts are put in as they are: a "%1" in them
    // stays "%1".
    [[nodiscard]] QString text() const;

    friend bool operator==(const EngineStatus&, const EngineStatus&) = default;
};
