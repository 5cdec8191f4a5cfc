#pragma once

#include "audio/TranscriptStream.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

// What the engine asks a stream factory for: one channel's transcriber.
struct StreamRequest {
    // -1 is the whole input of a device without channel settings.
    int channel = -1;
    // The channel's name, the speaker of its lines.
    std::optional<QString> label;
    // Seconds from the engine's start to now, added to every time the stream reports.
    double offset = 0.0;
    // No stream of the run is open: this one opens the shoot's transcription session.
    bool countsAsStart = true;
    // Transcribe on this machine rather than through the service.
    bool onDevice = false;
};

// Makes a channel's stream; a null result leaves the channel without one. Main thread.
using StreamFactory = std::function<std::shared_ptr<TranscriptStream>(const StreamRequest&)>;
