#pragma once

// Shared by the transcriber engine tests: a scripted stream, generated multichannel audio paced
// by a manual clock, a device list and user defaults in a temporary folder.

#include "audio/DesktopTranscriber.h"
#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/GeneratedAudioSource.h"
#include "platform/ManualClock.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <numbers>
#include <optional>

namespace transcriber_test {

using namespace std::chrono_literals;

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
                out.append(word.text());
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

// One channel's signal, sample by sample, at 48 kHz.
using Voice = std::function<float(qint64 frame)>;
constexpr double kRate = 48000.0;

inline Voice tone(float amplitude, double hz = 440.0)
{
    return [amplitude, hz](qint64 frame) {
        return amplitude * float(std::sin(2.0 * std::numbers::pi * hz * double(frame) / kRate));
    };
}

// A talker: a 300 Hz voice whose level jumps from one 4096-frame block to the next in the order
// `step` picks, so its dB series has a wide spread.
inline Voice talker(int step, int offset)
{
    static const float levels[] = {0.5f, 0.02f, 0.3f, 0.005f, 0.4f, 0.05f, 0.25f, 0.01f};
    return [step, offset](qint64 frame) {
        const qint64 block = frame / 4096;
        const float level = levels[(block * step + offset) % 8];
        return level * float(std::sin(2.0 * std::numbers::pi * 300.0 * double(frame) / kRate));
    };
}

// White noise, the same for the same frame.
inline Voice noise(float amplitude)
{
    return [amplitude](qint64 frame) {
        quint64 x = quint64(frame) * 0x9E3779B97F4A7C15ull;
        x ^= x >> 29;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 32;
        return amplitude * (float(x % 20001) / 10000.0f - 1.0f);
    };
}

// One letter per delivered channel: talkers a, b and c (each its own rhythm), s silence, n noise,
// h a steady hum.
inline QList<Voice> voices(const char* code)
{
    const QHash<char, Voice> byLetter{
        {'a', talker(7, 0)}, {'b', talker(3, 1)}, {'c', talker(5, 2)}, {'n', noise(0.2f)}, {'h', tone(0.1414f)}};
    QList<Voice> out;
    for (const char* c = code; *c; ++c) {
        out.append(byLetter.value(*c, tone(0.0f)));
    }
    return out;
}

// Channels beyond the list are silent.
inline GeneratedAudioSource::Generator mix(QList<Voice> voices)
{
    auto frame = std::make_shared<qint64>(0);
    return [voices, frame](float* out, qsizetype frames, int channels) -> qsizetype {
        for (qsizetype f = 0; f < frames; ++f, ++*frame) {
            for (int c = 0; c < channels; ++c) {
                out[f * channels + c] = c < voices.size() ? voices.at(c)(*frame) : 0.0f;
            }
        }
        return frames;
    };
}

// Runs the event loop until `done`, for at most ten seconds of real time.
inline bool spinUntil(const std::function<bool()>& done)
{
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents();
        QThread::usleep(100);
    }
    QCoreApplication::processEvents();
    return true;
}

// One engine with everything it is built on under the test's control. Time stands still until
// the test moves `clock`; `play` moves it with the capture keeping up.
struct Rig {
    QTemporaryDir dir;
    std::unique_ptr<Defaults> defaults = std::make_unique<Defaults>(dir.filePath(QStringLiteral("defaults.json")));
    std::unique_ptr<AudioDevices> devices = std::make_unique<AudioDevices>();
    ManualClock clock{Date::fromSecondsSince1970(1'700'000'000.25)};
    int captureChannels = 8;
    QList<Voice> voices = QList<Voice>(32, tone(0.1f));
    QString refuseOpen;
    QString refuseStart;
    int capturesOpened = 0;
    // The newest capture the engine made; valid while `sourceAlive` has not expired.
    GeneratedAudioSource* source = nullptr;
    std::weak_ptr<void> sourceAlive;
    QList<std::shared_ptr<ScriptedStream>> streams;
    // When set, the engine makes its real cloud streams on this service instead of scripted ones.
    APIService* service = nullptr;
    // What `make` builds the engine on; a test may change it first.
    TranscriberEnvironment env;
    std::unique_ptr<DesktopTranscriber> engine;

    Rig()
    {
        env.defaults = defaults.get();
        env.devices = devices.get();
        env.clock = &clock;
        env.makeCapture = [this]() -> std::unique_ptr<AudioCaptureSource> {
            GeneratedAudioSource::Options options;
            options.sampleRate = kRate;
            options.channelCount = captureChannels;
            options.clock = &clock;
            options.minSliceFrames = 256;
            options.maxSliceFrames = 1024;
            options.refuseOpen = refuseOpen;
            options.refuseStart = refuseStart;
            // The generator lives as long as the source: its token tells when the engine let go.
            auto alive = std::make_shared<int>(0);
            sourceAlive = alive;
            auto made = std::make_unique<GeneratedAudioSource>(
                options, [play = mix(voices), alive](float* out, qsizetype frames, int channels) {
                    return play(out, frames, channels);
                });
            source = made.get();
            ++capturesOpened;
            return made;
        };
        env.makeStream = [this](const StreamRequest& request) {
            auto stream = std::make_shared<ScriptedStream>(request);
            streams.append(stream);
            return stream;
        };
    }
    ~Rig()
    {
        if (engine) {
            engine->stop();
        }
        engine.reset();
    }

    void setDevices(const QList<AudioInputDevice>& list) { devices->setSimulatedDevices(list); }

    // The engine on `env`; a given delay replaces that of its silence check.
    DesktopTranscriber& make(std::optional<int> silenceCheckMs = std::nullopt)
    {
        TranscriberEnvironment made = env;
        made.silenceCheckDelayMs = silenceCheckMs.value_or(env.silenceCheckDelayMs);
        made.service = service;
        if (service != nullptr) {
            made.makeStream = nullptr;
        }
        engine = std::make_unique<DesktopTranscriber>(made);
        return *engine;
    }

    // Moves the clock on by `duration` in steps; after each step the capture has delivered the
    // audio due by then and its queued calls have run, so the timers of the next step see it.
    void play(Clock::Duration duration, Clock::Duration step = 50ms)
    {
        for (Clock::Duration done{}; done < duration;) {
            const Clock::Duration next = std::min(step, duration - done);
            clock.advance(next);
            done += next;
            QVERIFY(spinUntil([this] { return sourceAlive.expired() || source->caughtUp(); }));
        }
    }

    // The engine on one default input "d" of `inputs` channels.
    DesktopTranscriber& desk(int inputs, const char* name = "Desk")
    {
        setDevices({device(QStringLiteral("d"), QString::fromLatin1(name), inputs, true)});
        return make();
    }

    // The engine's open stream of `channel` as the scripted stream it is.
    ScriptedStream* open(int channel) const { return dynamic_cast<ScriptedStream*>(engine->stream(channel).get()); }
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
