#pragma once

// Shared by the transcriber engine tests: a scripted stream, generated multichannel audio, a
// device list, user defaults in a temporary folder and a clock the test moves.

#include "audio/DesktopTranscriber.h"
#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/GeneratedAudioSource.h"

#include <QList>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cmath>
#include <memory>
#include <numbers>

namespace transcriber_test {

// A stream whose lines the test writes; it counts the audio it is given.
class ScriptedStream final : public TranscriptStream {
public:
    explicit ScriptedStream(const StreamRequest& request) : TranscriptStream(request.channel), request(request) {}

    bool onDevice() const override { return request.onDevice; }
    const QList<DisplaySegment>& display() const override { return lines; }
    std::optional<double> lastWordEnd() const override { return lastEnd; }
    QStringList wordsSince(double cutoff) const override
    {
        QStringList out;
        for (const Word& word : words) {
            if (word.end >= cutoff) {
                out.append(word.text);
            }
        }
        return out;
    }
    void start() override { ++starts; }
    void stop() override
    {
        ++stops;
        stopped = true;
    }
    void append(std::span<const float> mono, double) override
    {
        if (stopped) {
            return;
        }
        framesIn += qint64(mono.size());
        float peak = 0.0f;
        for (const float x : mono) {
            peak = std::max(peak, std::abs(x));
        }
        lastPeak = peak;
    }

    // A final line "<channel>-<utterance>" with the stream's label as speaker; start < 0 makes it
    // untimed. Replaces the line with the same id in place.
    DisplaySegment& put(const QString& utterance, const QString& text, double start, double end, Date firstSeen)
    {
        DisplaySegment segment;
        segment.id = QStringLiteral("%1-%2").arg(channel()).arg(utterance);
        segment.speaker = label;
        segment.text = text;
        segment.startSecs = start;
        segment.endSecs = end;
        segment.firstSeen = firstSeen;
        segment.channel = channel();
        if (start >= 0.0) {
            segment.words = {Word{text, start, end}};
            words.append(Word{text, start, end});
            lastEnd = std::max(lastEnd.value_or(end), end);
        }
        for (DisplaySegment& line : lines) {
            if (line.id == segment.id) {
                line = segment;
                return line;
            }
        }
        lines.append(segment);
        return lines.last();
    }
    void announce(const QString& text)
    {
        if (onUpdate) {
            onUpdate(text);
        }
    }

    const StreamRequest request;
    QList<DisplaySegment> lines;
    QList<Word> words;
    std::optional<double> lastEnd;
    int starts = 0;
    int stops = 0;
    std::atomic<bool> stopped{false};
    std::atomic<qint64> framesIn{0};
    std::atomic<float> lastPeak{0.0f};
};

inline AudioInputDevice device(const QString& uid, const QString& name, int channels, bool isDefault = false,
                               QStringList names = {})
{
    AudioInputDevice d;
    d.uid = uid;
    d.id = AudioDevices::idForUid(uid);
    d.name = name;
    d.channelCount = channels;
    d.channelNames = names.isEmpty() ? QStringList(channels, QString()) : names;
    d.isDefault = isDefault;
    return d;
}

// Per channel: the amplitude of a 440 Hz tone (0 is silence).
inline GeneratedAudioSource::Generator tones(QList<float> amplitudes, double rate)
{
    auto frame = std::make_shared<qint64>(0);
    return [amplitudes, rate, frame](float* out, qsizetype frames, int channels) -> qsizetype {
        for (qsizetype f = 0; f < frames; ++f, ++*frame) {
            const double phase = 2.0 * std::numbers::pi * 440.0 * double(*frame) / rate;
            const float s = float(std::sin(phase));
            for (int c = 0; c < channels; ++c) {
                const float a = c < amplitudes.size() ? amplitudes.at(c) : 0.0f;
                out[f * channels + c] = a * s;
            }
        }
        return frames;
    };
}

// One engine with everything it is built on under the test's control.
struct Rig {
    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<AudioDevices> devices;
    std::shared_ptr<Date> clock = std::make_shared<Date>(Date::fromSecondsSince1970(1'700'000'000.25));
    // The audio every capture plays: per channel amplitudes.
    int captureChannels = 8;
    QList<float> amplitudes = QList<float>(32, 0.1f);
    QString refuseOpen;
    QString refuseStart;
    int capturesOpened = 0;
    GeneratedAudioSource* source = nullptr;
    QList<std::shared_ptr<ScriptedStream>> streams;
    // When set, the engine makes its real cloud streams on this service instead of scripted ones.
    APIService* service = nullptr;
    std::unique_ptr<DesktopTranscriber> engine;

    Rig()
    {
        defaults = std::make_unique<Defaults>(dir.filePath(QStringLiteral("defaults.json")));
        devices = std::make_unique<AudioDevices>();
    }
    ~Rig()
    {
        if (engine) {
            engine->stop();
        }
        engine.reset();
    }

    void setDevices(const QList<AudioInputDevice>& list) { devices->setSimulatedDevices(list); }

    DesktopTranscriber& make(int silenceCheckMs = 300)
    {
        TranscriberEnvironment env;
        env.defaults = defaults.get();
        env.devices = devices.get();
        env.now = [clock = clock] { return *clock; };
        env.silenceCheckDelayMs = silenceCheckMs;
        env.makeCapture = [this]() -> std::unique_ptr<AudioCaptureSource> {
            GeneratedAudioSource::Options options;
            options.sampleRate = 48000.0;
            options.channelCount = captureChannels;
            options.realTime = true;
            options.minSliceFrames = 256;
            options.maxSliceFrames = 1024;
            options.refuseOpen = refuseOpen;
            options.refuseStart = refuseStart;
            auto made = std::make_unique<GeneratedAudioSource>(options, tones(amplitudes, options.sampleRate));
            source = made.get();
            ++capturesOpened;
            return made;
        };
        env.service = service;
        if (service == nullptr) {
            env.makeStream = [this](const StreamRequest& request) {
                auto stream = std::make_shared<ScriptedStream>(request);
                streams.append(stream);
                return stream;
            };
        }
        engine = std::make_unique<DesktopTranscriber>(env);
        return *engine;
    }

    // The engine's open stream of `channel` as the scripted stream it is.
    ScriptedStream* open(int channel) const { return dynamic_cast<ScriptedStream*>(engine->stream(channel).get()); }
    void advance(double seconds) { *clock = clock->addingSeconds(seconds); }
};

inline QStringList ids(const QList<DisplaySegment>& segments)
{
    QStringList out;
    for (const DisplaySegment& segment : segments) {
        out.append(segment.id);
    }
    return out;
}

} // namespace transcriber_test
