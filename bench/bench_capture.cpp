// The capture thread's work for a 32-channel interface at 48 kHz: one second of audio cut into
// 4096-frame buffers, metered, split per channel at each fader's gain and converted to 16 kHz
// int16 for 32 live streams. It must take at most 30 ms, and allocate nothing per buffer once
// warmed up. Against soxr alone on the same audio (already split, in the same pieces) the whole
// path may cost at most 1.6 times as much: the rest of the per-buffer work stays small beside
// the conversion.

#include "audio/CapturePath.h"
#include "audio/Resampler16k.h"
#include "common/BenchRack.h"
#include "platform/AudioCapture.h"

#include <QCoreApplication>

#include <soxr.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
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
class ResamplingStream final : public QuietStream {
public:
    using QuietStream::QuietStream;
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

// soxr alone: each channel already split out, converted with the settings Resampler16k uses, in
// the 4096-frame pieces the capture path hands over. Nothing else runs.
struct SoxrRig {
    SoxrRig()
    {
        const std::vector<float> interleaved = oneSecond();
        planar.resize(kChannels);
        for (int c = 0; c < kChannels; ++c) {
            planar[size_t(c)].resize(kFramesPerSecond);
            for (int f = 0; f < kFramesPerSecond; ++f)
                planar[size_t(c)][size_t(f)] = interleaved[size_t(f) * kChannels + size_t(c)];
        }
        soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
        io.flags |= SOXR_NO_DITHER;
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        for (int c = 0; c < kChannels; ++c)
            converters.push_back(soxr_create(kRate, 16000.0, 1, nullptr, &io, &quality, &runtime));
        out.resize(CaptureChunker::kFrames);
    }
    ~SoxrRig()
    {
        for (soxr_t converter : converters)
            soxr_delete(converter);
    }
    SoxrRig(const SoxrRig&) = delete;
    SoxrRig& operator=(const SoxrRig&) = delete;

    // The pieces fall where the chunker would cut the same endless audio.
    void runOneSecond()
    {
        for (int done = 0; done < kFramesPerSecond;) {
            const int start = position % kFramesPerSecond;
            const int count = std::min({CaptureChunker::kFrames, kFramesPerSecond - start, kFramesPerSecond - done});
            for (int c = 0; c < kChannels; ++c) {
                size_t used = 0;
                size_t made = 0;
                soxr_process(converters[size_t(c)], planar[size_t(c)].data() + start, size_t(count), &used, out.data(),
                             out.size(), &made);
                benchmark::DoNotOptimize(out.data());
            }
            position += count;
            done += count;
        }
    }

    std::vector<std::vector<float>> planar;
    std::vector<soxr_t> converters;
    std::vector<qint16> out;
    int position = 0;
};

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The conversion's own cost for the same second of audio.
void BM_SoxrAloneOneSecond32Channels(benchmark::State& state)
{
    SoxrRig rig;
    for (int i = 0; i < 3; ++i)
        rig.runOneSecond();
    for (auto _ : state)
        rig.runOneSecond();
}

// The whole path against soxr alone, measured in turns on this thread so that both see the same
// machine: `ratio` is the path's CPU time over soxr's.
void BM_CaptureOverSoxr32Channels(benchmark::State& state)
{
    Rig rig(true);
    SoxrRig soxr;
    for (int i = 0; i < 3; ++i) {
        rig.runOneSecond();
        soxr.runOneSecond();
    }
    double path = 0.0;
    double alone = 0.0;
    for (auto _ : state) {
        const double began = threadSeconds();
        rig.runOneSecond();
        const double between = threadSeconds();
        soxr.runOneSecond();
        path += between - began;
        alone += threadSeconds() - between;
    }
    QCoreApplication::processEvents();
    state.counters["path_ms"] = 1000.0 * path / double(state.iterations());
    state.counters["soxr_ms"] = 1000.0 * alone / double(state.iterations());
    state.counters["ratio"] = alone > 0.0 ? path / alone : 0.0;
}

} // namespace

BENCHMARK(BM_SoxrAloneOneSecond32Channels)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CaptureOverSoxr32Channels)->Unit(benchmark::kMillisecond)->MinTime(4.0);
BENCHMARK(BM_CaptureOneSecond32Channels)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CaptureOneSecond32ChannelsNoPublication)->Unit(benchmark::kMillisecond)->MinTime(2.0);
