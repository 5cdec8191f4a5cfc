// The sound-cue detector's cost at a device's rate: the feature classifier on its one-second
// windows (two per second of audio, as they overlap by half), and the capture thread's share
// (downmix and hand-over of a 4096-frame stereo buffer). The target is at most 1% of one core;
// the "core_share" counter is the measured CPU time per second of 48 kHz audio.

#include "audio/SoundClassifier.h"
#include "audio/SoundEventDetector.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kRate = 48000.0;

std::vector<float> claps(size_t frames)
{
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> out(frames);
    const size_t period = size_t(kRate / 5.0);
    for (size_t i = 0; i < frames; ++i) {
        const size_t into = i % period;
        const double decay = into < 960 ? std::exp(-double(into) / 192.0) : 0.0;
        out[i] = float(0.001 * noise(random) + 0.5 * decay * noise(random));
    }
    return out;
}

void BM_ClassifyWindow(benchmark::State& state)
{
    FeatureSoundClassifier classifier;
    const auto window = claps(size_t(kRate));
    for (auto _ : state) {
        benchmark::DoNotOptimize(classifier.classify(window, kRate));
    }
    // Each window brings one hop of new audio: CPU seconds per second of audio.
    state.counters["core_share"] = benchmark::Counter(classifier.hopSeconds() * double(state.iterations()),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ClassifyWindow)->Unit(benchmark::kMicrosecond);

// The whole detector: 10 s of stereo claps fed in capture-sized buffers and analysed on its
// thread; process CPU time covers both threads.
void BM_DetectorTenSeconds(benchmark::State& state)
{
    const auto mono = claps(size_t(kRate * 10));
    std::vector<float> stereo(mono.size() * 2);
    for (size_t i = 0; i < mono.size(); ++i) {
        stereo[2 * i] = mono[i];
        stereo[2 * i + 1] = mono[i];
    }
    SoundEventDetector detector;
    long long dropped = 0;
    for (auto _ : state) {
        detector.start(kRate, 2);
        for (size_t at = 0; at + 4096 <= mono.size(); at += 4096) {
            detector.feed(stereo.data() + 2 * at, 4096, 2, kRate);
            // Paced like a device so the bounded queue never drops what is being measured.
            if (!detector.waitUntilIdle(1000)) {
                state.SkipWithError("analysis stalled");
                break;
            }
        }
        detector.stop();
        (void)detector.waitUntilIdle(1000);
        dropped = detector.droppedBuffers();
    }
    state.counters["core_share"] = benchmark::Counter(10.0 * double(state.iterations()),
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["dropped"] = double(dropped);
}
BENCHMARK(BM_DetectorTenSeconds)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_FeedBuffer(benchmark::State& state)
{
    const std::vector<float> stereo(4096 * 2, 0.01f);
    SoundEventDetector detector;
    // Idle, so the analysis thread only empties the queue; this is the capture thread's share.
    for (auto _ : state) {
        detector.feed(stereo.data(), 4096, 2, kRate);
        state.PauseTiming();
        (void)detector.waitUntilIdle(1000);
        state.ResumeTiming();
    }
    state.counters["core_share"] = benchmark::Counter(double(state.iterations()) * 4096.0 / kRate,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FeedBuffer)->Unit(benchmark::kMicrosecond);

} // namespace
