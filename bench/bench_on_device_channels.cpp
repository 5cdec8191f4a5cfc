// Eight watch-only channels transcribed on this machine, through the engine as the app runs it:
// the resident memory they add over an idle engine (one decoder per channel, at most 100 MB each)
// and the longest the main thread is held on start, stop and a reroute between the service and
// the machine (at most 16 ms, one frame). Speech made by espeak-ng at start plays on every
// channel, each from another place; without espeak-ng or the model the benchmark is skipped.

#include "audio/DesktopTranscriber.h"
#include "audio/LocalChannelStream.h"
#include "audio/OnDeviceEngine.h"
#include "common/BenchRack.h"
#include "platform/AudioDevices.h"
#include "platform/Defaults.h"
#include "platform/GeneratedAudioSource.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <benchmark/benchmark.h>
#include <soxr.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

constexpr int kChannels = 8;
constexpr double kRate = 48000.0;

double millisecondsSince(Steady::time_point began)
{
    return std::chrono::duration<double, std::milli>(Steady::now() - began).count();
}

// espeak-ng's reading of a few lines at 48 kHz; empty when it cannot be made.
std::vector<float> speech()
{
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    QTemporaryDir dir;
    if (espeak.isEmpty() || !dir.isValid())
        return {};
    const QString path = dir.filePath(QStringLiteral("lines.wav"));
    const QString text = QStringLiteral("quiet on set please this is a take. the camera is rolling and sound is at "
                                        "speed. scene twelve apple take three mark it. cut that was lovely let us go "
                                        "again from the top.");
    QFile file(path);
    if (QProcess::execute(espeak, {QStringLiteral("-w"), path, text}) != 0 || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    // espeak-ng writes 16-bit mono at 22050 Hz with a 44-byte header.
    if (bytes.size() <= 44 || !bytes.startsWith("RIFF"))
        return {};
    const double rate = qFromLittleEndian<quint32>(bytes.constData() + 24);
    std::vector<float> samples;
    for (qsizetype at = 44; at + 1 < bytes.size(); at += 2)
        samples.push_back(qFromLittleEndian<qint16>(bytes.constData() + at) / 32768.0f);
    // Half a second of room tone between the readings.
    samples.resize(samples.size() + static_cast<size_t>(rate / 2), 0.0f);
    std::vector<float> out(static_cast<size_t>(static_cast<double>(samples.size()) * kRate / rate) + 4096);
    size_t used = 0;
    size_t made = 0;
    soxr_oneshot(rate, kRate, 1, samples.data(), samples.size(), &used, out.data(), out.size(), &made, nullptr, nullptr,
                 nullptr);
    out.resize(made);
    return out;
}

// Runs the event loop for `duration`, giving the longest single turn in milliseconds.
double spin(Clock::Duration duration)
{
    const auto until = Steady::now() + duration;
    double longest = 0.0;
    while (Steady::now() < until) {
        const auto began = Steady::now();
        QCoreApplication::processEvents();
        longest = std::max(longest, millisecondsSince(began));
        std::this_thread::sleep_for(1ms);
    }
    return longest;
}

// Runs `action` on the main thread, then the event loop for a second: the longer of the call and
// the longest turn after it.
double stallOf(const std::function<void()>& action)
{
    const auto began = Steady::now();
    action();
    const double call = millisecondsSince(began);
    return std::max(call, spin(1s));
}

void BM_EightWatchOnlyChannels(benchmark::State& state)
{
    const std::vector<float> voice = speech();
    if (voice.empty() || !OnDeviceModel::isAvailable()) {
        state.SkipWithError("espeak-ng or the pocketsphinx model is not installed");
        return;
    }
    for (auto _ : state) {
        QTemporaryDir dir;
        Defaults defaults(dir.filePath(QStringLiteral("defaults.json")));
        AudioDevices devices;
        devices.setSimulatedDevices(QList<AudioInputDevice>{benchRack(kChannels)});

        TranscriberEnvironment env;
        env.defaults = &defaults;
        env.devices = &devices;
        env.onDeviceAvailable = true;
        env.makeCapture = [&voice]() -> std::unique_ptr<AudioCaptureSource> {
            GeneratedAudioSource::Options options;
            options.sampleRate = kRate;
            options.channelCount = kChannels;
            options.minSliceFrames = 480;
            options.maxSliceFrames = 480;
            auto frame = std::make_shared<qint64>(0);
            return std::make_unique<GeneratedAudioSource>(
                options, [&voice, frame](float* out, qsizetype frames, int channels) {
                    const auto length = static_cast<qint64>(voice.size());
                    for (qsizetype f = 0; f < frames; ++f, ++*frame) {
                        for (int c = 0; c < channels; ++c)
                            out[f * channels + c] = voice[size_t((*frame + c * length / kChannels) % length)];
                    }
                    return frames;
                });
        };
        // On-device channels get the engine's own stream; the others a stand-in for the service.
        auto counters = std::make_shared<LocalLineCounters>();
        env.makeStream = [counters](const StreamRequest& request) -> std::shared_ptr<TranscriptStream> {
            if (request.onDevice)
                return std::make_shared<LocalChannelStream>(request.channel, request.label, request.offset, counters);
            return std::make_shared<QuietStream>(request.channel);
        };

        DesktopTranscriber engine(env);
        for (int c = 0; c < kChannels; ++c)
            engine.setHidden(c, true);
        spin(500ms);
        const double idle = residentMegabytes();

        const double start = stallOf([&engine] { engine.start(); });
        // Every decoder loaded and decoding for a while.
        const double running = spin(25s);
        const double busy = residentMegabytes();
        const double toService = stallOf([&engine] { engine.setHidden(3, false); });
        const double toDevice = stallOf([&engine] { engine.setHidden(3, true); });
        const double settled = spin(5s);
        const double stop = stallOf([&engine] { engine.stop(); });
        // The decoders finish what was queued, then go.
        spin(10s);
        const double after = residentMegabytes();

        state.counters["rss_idle_mb"] = idle;
        state.counters["rss_running_mb"] = busy;
        state.counters["rss_per_channel_mb"] = (busy - idle) / kChannels;
        state.counters["rss_after_stop_mb"] = after;
        state.counters["start_stall_ms"] = start;
        state.counters["stop_stall_ms"] = stop;
        state.counters["reroute_to_service_stall_ms"] = toService;
        state.counters["reroute_to_device_stall_ms"] = toDevice;
        state.counters["longest_turn_running_ms"] = std::max(running, settled);
    }
}

} // namespace

BENCHMARK(BM_EightWatchOnlyChannels)->Unit(benchmark::kMillisecond)->Iterations(1);
