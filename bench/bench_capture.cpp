// The capture thread's work for a 32-channel interface at 48 kHz: one second of audio cut into
// 4096-frame buffers, metered, split per channel at each fader's gain and converted to 16 kHz
// int16 for 32 live streams. It must take at most 30 ms, and allocate nothing per buffer once
// warmed up.

#include "audio/CapturePath.h"
#include "audio/Resampler16k.h"
#include "platform/AudioCapture.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <random>

// Counts every heap allocation of the process (operator new comes through malloc too). The
// sanitizers bring their own allocator, so a sanitized build counts nothing.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCountsAllocations = false;
#else
constexpr bool kCountsAllocations = true;
#endif

namespace {
std::atomic<long long> g_allocations{0};
} // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);

void* malloc(size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size)
{
    return memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size)
{
    void* pointer = memalign(alignment, size);
    if (pointer == nullptr) {
        return ENOMEM;
    }
    *out = pointer;
    return 0;
}
}
#endif

namespace {

constexpr int kChannels = 32;
constexpr double kRate = 48000.0;
constexpr int kFramesPerSecond = 48000;

// A cloud stream's capture-thread share: convert to 16 kHz int16 (the socket send is elsewhere).
class ResamplingStream final : public TranscriptStream {
public:
    using TranscriptStream::TranscriptStream;
    bool onDevice() const override { return false; }
    const QList<DisplaySegment>& display() const override { return m_display; }
    std::optional<double> lastWordEnd() const override { return std::nullopt; }
    QStringList wordsSince(double) const override { return {}; }
    void start() override {}
    void stop() override {}
    void append(std::span<const float> mono, double sampleRate) override
    {
        if (!m_resampler) {
            m_resampler = std::make_unique<Resampler16k>(sampleRate);
        }
        const auto out = m_resampler->process(mono);
        m_samples += static_cast<qint64>(out.size());
        benchmark::DoNotOptimize(out.data());
    }
    [[nodiscard]] qint64 samples() const { return m_samples; }

private:
    QList<DisplaySegment> m_display;
    std::unique_ptr<Resampler16k> m_resampler;
    qint64 m_samples = 0;
};

// One second of a shoot: every channel a voice-band mix at its own level, a few near silence.
std::vector<float> oneSecond()
{
    std::vector<float> audio(static_cast<size_t>(kFramesPerSecond) * kChannels);
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    for (int c = 0; c < kChannels; ++c) {
        const double level = c % 8 == 7 ? 0.001 : 0.1 + 0.02 * (c % 5);
        const double hz = 120.0 + 37.0 * c;
        for (int f = 0; f < kFramesPerSecond; ++f) {
            const double t = f / kRate;
            const double voice =
                std::sin(2.0 * std::numbers::pi * hz * t) + 0.5 * std::sin(2.0 * std::numbers::pi * 3.1 * hz * t);
            audio[static_cast<size_t>(f) * kChannels + static_cast<size_t>(c)] =
                static_cast<float>(level * voice) + noise(random) * static_cast<float>(level);
        }
    }
    return audio;
}

struct Rig {
    explicit Rig(bool publishLevels)
        : path(publishLevels ? CapturePath::LevelsHandler([](const QList<float>&) {}) : CapturePath::LevelsHandler{})
    {
        path.setMeteringEnabled(true);
        path.armPeakSinceStart(kChannels);
        for (int c = 0; c < kChannels; ++c) {
            auto stream = std::make_shared<ResamplingStream>(c);
            // Faders spread around unity, some above it (the clamp runs).
            stream->setGain(static_cast<float>(std::pow(10.0, (0.6 + 0.012 * c) * 46.0 / 20.0 - 2.0)));
            streams.push_back(stream);
            (void)path.insertStream(c, stream);
        }
        path.setMonitorIndex(3);
        path.setMonitorHook([](std::span<const float> mono, double) { benchmark::DoNotOptimize(mono.data()); });
        chunker.reset(kChannels, kRate);
        handler = [this](const float* data, int frames, int channels, double rate) {
            path.handleBuffer(data, frames, channels, rate);
            ++buffers;
        };
    }

    void runOneSecond() { chunker.push(audio.data(), kFramesPerSecond, handler); }

    std::vector<float> audio = oneSecond();
    CapturePath path;
    std::vector<std::shared_ptr<ResamplingStream>> streams;
    CaptureChunker chunker;
    CaptureChunker::Handler handler;
    long long buffers = 0;
};

void runBench(benchmark::State& state, bool publishLevels)
{
    Rig rig(publishLevels);
    // Warm-up: the resamplers, scratch buffers and snapshot reach their working size.
    for (int i = 0; i < 3; ++i) {
        rig.runOneSecond();
    }
    const long long buffersBefore = rig.buffers;
    const long long allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        rig.runOneSecond();
    }
    const long long buffers = rig.buffers - buffersBefore;
    const long long allocations = g_allocations.load() - allocationsBefore;
    state.counters["buffers"] = benchmark::Counter(double(buffers), benchmark::Counter::kAvgIterations);
    state.counters["time_per_buffer"] =
        benchmark::Counter(double(buffers), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (kCountsAllocations) {
        state.counters["allocs_per_buffer"] = buffers > 0 ? double(allocations) / double(buffers) : 0.0;
    }
    QCoreApplication::processEvents();
}

// The whole per-second load, levels published to the main thread as the engine does (one small
// allocation per publication, at most every 66 ms of wall time).
void BM_CaptureOneSecond32Channels(benchmark::State& state)
{
    runBench(state, true);
}

// The same without level publication: the buffer path alone must allocate nothing.
void BM_CaptureOneSecond32ChannelsNoPublication(benchmark::State& state)
{
    runBench(state, false);
}

} // namespace

BENCHMARK(BM_CaptureOneSecond32Channels)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CaptureOneSecond32ChannelsNoPublication)->Unit(benchmark::kMillisecond)->MinTime(2.0);
