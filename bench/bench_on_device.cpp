// On-device transcription cost per channel: CPU seconds spent per second of speech, for the
// decoder alone (one thread) and for the whole engine path (conversion to 16 kHz, queue,
// decoding). The speech is made by espeak-ng at start; without it the benchmarks are skipped.
// Target: a real-time factor of at most 0.3 per channel on one core over ten minutes of speech
// without a pause, finals at most 30 s of audio apart, memory flat, and the words about as right
// as before (the word error rate against the text espeak-ng read).

#include "audio/OnDeviceEngine.h"
#include "audio/Resampler16k.h"
#include "common/BenchRack.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <benchmark/benchmark.h>
#include <soxr.h>

#include <array>
#include <ctime>
#include <thread>

namespace {

const char* const kSentences[] = {
    "quiet on set please, this is a take",
    "the camera is rolling and sound is at speed",
    "scene twelve apple take three, mark it",
    "action, walk towards the window and stop by the table",
    "cut, that was lovely, let us go again from the top",
    "check the gate, we are moving on to the next set up",
};

struct Speech {
    std::vector<float> samples;
    double rate = 0.0;
    [[nodiscard]] double seconds() const { return rate > 0.0 ? static_cast<double>(samples.size()) / rate : 0.0; }
};

std::vector<float> readWav(const QString& path, double& rate)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    if (data.size() < 12 || !data.startsWith("RIFF"))
        return {};
    qsizetype at = 12;
    while (at + 8 <= data.size()) {
        const QByteArray id = data.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(data.constData() + at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt " && body + 16 <= data.size())
            rate = qFromLittleEndian<quint32>(data.constData() + body + 4);
        if (id == "data") {
            const qsizetype end =
                std::min<qsizetype>(data.size(), body + qsizetype(std::min<quint32>(size, 0x7fffffff)));
            std::vector<float> out;
            for (qsizetype i = body; i + 1 < end; i += 2)
                out.push_back(qFromLittleEndian<qint16>(data.constData() + i) / 32768.0f);
            return out;
        }
        at = body + qsizetype(size) + (size & 1u);
    }
    return {};
}

// The sentences spoken one after another with half a second of room tone between them.
const Speech& speech()
{
    static const Speech made = [] {
        Speech out;
        const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
        QTemporaryDir dir;
        if (espeak.isEmpty() || !dir.isValid())
            return out;
        for (const char* sentence : kSentences) {
            const QString wav = QDir(dir.path()).filePath(QStringLiteral("line.wav"));
            if (QProcess::execute(espeak, {QStringLiteral("-w"), wav, QString::fromLatin1(sentence)}) != 0)
                return Speech{};
            double rate = 0.0;
            const std::vector<float> line = readWav(wav, rate);
            if (line.empty() || (out.rate > 0.0 && rate != out.rate))
                return Speech{};
            out.rate = rate;
            out.samples.insert(out.samples.end(), line.begin(), line.end());
            out.samples.insert(out.samples.end(), static_cast<size_t>(rate / 2.0), 0.0f);
        }
        return out;
    }();
    return made;
}

double cpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::unique_ptr<SpeechRecogniser> makeRecogniser(benchmark::State& state)
{
    QString error;
    auto recogniser = OnDeviceModel::pocketsphinxFactory()(error);
    if (!recogniser)
        state.SkipWithError(qPrintable(error));
    return recogniser;
}

// The decoder alone, on audio already at 16 kHz: CPU time of this thread.
void BM_DecoderRealTimeFactor(benchmark::State& state)
{
    const Speech& input = speech();
    if (input.samples.empty()) {
        state.SkipWithError("espeak-ng is not installed");
        return;
    }
    std::vector<qint16> audio;
    {
        Resampler16k resampler(input.rate);
        const auto converted = resampler.process(input.samples);
        audio.assign(converted.begin(), converted.end());
        const auto rest = resampler.flush();
        audio.insert(audio.end(), rest.begin(), rest.end());
    }
    double cpu = 0.0;
    qint64 words = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto recogniser = makeRecogniser(state);
        if (!recogniser)
            return;
        state.ResumeTiming();
        const double before = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        QList<RecognisedResult> results;
        for (size_t at = 0; at < audio.size(); at += 1365)
            recogniser->feed(std::span<const qint16>(audio).subspan(at, std::min<size_t>(1365, audio.size() - at)),
                             results);
        recogniser->finish(results);
        cpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - before;
        for (const auto& result : results)
            words += result.isFinal ? result.text.count(u' ') + 1 : 0;
        benchmark::DoNotOptimize(results);
    }
    const double audioSeconds = static_cast<double>(audio.size()) / Resampler16k::kOutputRate;
    state.counters["audio_s"] = audioSeconds;
    state.counters["rtf"] = cpu / (audioSeconds * static_cast<double>(state.iterations()));
    state.counters["final_words"] = static_cast<double>(words) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DecoderRealTimeFactor)->Unit(benchmark::kMillisecond)->Iterations(3);

// The whole engine path of one channel: capture-rate buffers of 4096 frames fed at three times
// the audio's pace, converted, queued and decoded on the engine's thread (model loading
// included); CPU time of the process.
void BM_EngineRealTimeFactor(benchmark::State& state)
{
    const Speech& input = speech();
    if (input.samples.empty()) {
        state.SkipWithError("espeak-ng is not installed");
        return;
    }
    double cpu = 0.0;
    for (auto _ : state) {
        const double before = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        {
            OnDeviceEngine engine(OnDeviceModel::pocketsphinxFactory(), {});
            const auto began = std::chrono::steady_clock::now();
            for (size_t at = 0; at < input.samples.size(); at += 4096) {
                // Three times faster than the audio lasts: the decoder keeps up, the queue never drops.
                const double due = static_cast<double>(at) / input.rate / 3.0;
                std::this_thread::sleep_until(began + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                          std::chrono::duration<double>(due)));
                engine.feed(std::span<const float>(input.samples)
                                .subspan(at, std::min<size_t>(4096, input.samples.size() - at)),
                            input.rate);
            }
            engine.finish();
            while (!engine.isDone())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (engine.droppedSamples() > 0)
                state.SkipWithError("the queue dropped audio");
        }
        cpu += cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - before;
    }
    state.counters["audio_s"] = input.seconds();
    state.counters["rtf"] = cpu / (input.seconds() * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_EngineRealTimeFactor)->Unit(benchmark::kMillisecond)->Iterations(2);

// espeak-ng reading every sentence once without its commas (no pause longer than a word's), at
// its own rate; no samples without espeak-ng.
struct Reading {
    std::vector<float> samples;
    double rate = 0.0;
    QString text;
};
Reading readAloud()
{
    Reading reading;
    for (const char* sentence : kSentences)
        reading.text += QString::fromLatin1(sentence).remove(u',') + u' ';
    const QString espeak = QStandardPaths::findExecutable(QStringLiteral("espeak-ng"));
    QTemporaryDir dir;
    const QString wav = QDir(dir.path()).filePath(QStringLiteral("long.wav"));
    if (!espeak.isEmpty() && QProcess::execute(espeak, {QStringLiteral("-w"), wav, reading.text}) == 0)
        reading.samples = readWav(wav, reading.rate);
    return reading;
}

// Ten minutes of speech without a pause, straight into the decoder: the longest stretch of audio
// between two finals, and the CPU time per audio second in the first and the last minute (a
// decoder that decodes a growing utterance again and again gets slower as it goes).
void BM_ContinuousSpeech(benchmark::State& state)
{
    const auto [once, rate, text] = readAloud();
    if (once.empty()) {
        state.SkipWithError("espeak-ng is not installed");
        return;
    }
    std::vector<qint16> audio;
    {
        Resampler16k resampler(rate);
        const auto converted = resampler.process(once);
        while (audio.size() < 600 * 16000)
            audio.insert(audio.end(), converted.begin(), converted.end());
    }
    constexpr size_t kMinute = 60 * 16000;
    double longest = 0.0;
    double firstMinute = 0.0;
    double lastMinute = 0.0;
    double cpu = 0.0;
    for (auto _ : state) {
        auto recogniser = makeRecogniser(state);
        if (!recogniser)
            return;
        QList<RecognisedResult> results;
        qint64 lastFinal = 0;
        const double began = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        double minuteBegan = began;
        for (size_t at = 0; at < audio.size(); at += 1365) {
            results.clear();
            recogniser->feed(std::span<const qint16>(audio).subspan(at, std::min<size_t>(1365, audio.size() - at)),
                             results);
            for (const auto& result : results) {
                if (result.isFinal) {
                    longest = std::max(longest, static_cast<double>(result.endSample - lastFinal) / 16000.0);
                    lastFinal = result.endSample;
                }
            }
            if ((at + 1365) / kMinute != at / kMinute) {
                const double now = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
                (at < kMinute ? firstMinute : lastMinute) = (now - minuteBegan) / 60.0;
                minuteBegan = now;
            }
        }
        cpu += cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - began;
    }
    const double audioSeconds = static_cast<double>(audio.size()) / 16000.0;
    state.counters["audio_s"] = audioSeconds;
    state.counters["longest_utterance_s"] = longest;
    state.counters["rtf"] = cpu / (audioSeconds * static_cast<double>(state.iterations()));
    state.counters["rtf_first_min"] = firstMinute;
    state.counters["rtf_last_min"] = lastMinute;
}
BENCHMARK(BM_ContinuousSpeech)->Unit(benchmark::kMillisecond)->Iterations(1);

// Lower case words without punctuation.
QStringList wordsOf(const QString& text)
{
    QString plain;
    for (const QChar c : text)
        plain += c.isLetterOrNumber() || c == u'\'' ? c.toLower() : QChar(u' ');
    return plain.split(u' ', Qt::SkipEmptyParts);
}

// Word edits (substitutions, insertions, deletions) from `reference` to `heard`, over the
// reference's length.
double wordErrorRate(const QStringList& reference, const QStringList& heard)
{
    std::vector<qsizetype> previous(static_cast<size_t>(heard.size()) + 1);
    std::vector<qsizetype> current(previous.size());
    for (size_t j = 0; j < previous.size(); ++j)
        previous[j] = static_cast<qsizetype>(j);
    for (qsizetype i = 1; i <= reference.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= heard.size(); ++j) {
            const qsizetype replace = previous[size_t(j - 1)] + (reference[i - 1] == heard[j - 1] ? 0 : 1);
            current[size_t(j)] = std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, replace});
        }
        std::swap(previous, current);
    }
    return reference.isEmpty() ? 0.0 : static_cast<double>(previous.back()) / static_cast<double>(reference.size());
}

// The whole engine path of one channel over ten minutes of speech without a pause, as the capture
// hands it over (48 kHz, 4096-frame buffers), fed as fast as the decoder keeps up: CPU time of the
// process (model load, conversion, queue, decoding, posting) per second of audio, resident memory
// after minutes 1, 5 and 10, the longest stretch of audio between two finals, and the word error
// rate of the finals against the text read.
void BM_EngineTenMinutes(benchmark::State& state)
{
    const auto [once, rate, text] = readAloud();
    if (once.empty()) {
        state.SkipWithError("espeak-ng is not installed");
        return;
    }
    constexpr double kCaptureRate = 48000.0;
    std::vector<float> audio;
    QStringList reference;
    {
        std::vector<float> up(static_cast<size_t>(static_cast<double>(once.size()) * kCaptureRate / rate) + 4096);
        size_t used = 0;
        size_t made = 0;
        soxr_oneshot(rate, kCaptureRate, 1, once.data(), once.size(), &used, up.data(), up.size(), &made, nullptr,
                     nullptr, nullptr);
        up.resize(made);
        while (static_cast<double>(audio.size()) < 600.0 * kCaptureRate) {
            audio.insert(audio.end(), up.begin(), up.end());
            reference += wordsOf(text);
        }
    }
    const double audioSeconds = static_cast<double>(audio.size()) / kCaptureRate;
    double cpu = 0.0;
    double longest = 0.0;
    double wer = 0.0;
    std::array<double, 3> resident{};
    for (auto _ : state) {
        QStringList heard;
        double lastFinal = 0.0;
        OnDeviceEngine::Callbacks callbacks;
        callbacks.onResult = [&](const OnDeviceEngine::Result& result) {
            if (!result.isFinal)
                return;
            longest = std::max(longest, result.end - lastFinal);
            lastFinal = result.end;
            heard += wordsOf(result.text);
        };
        const double before = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        {
            OnDeviceEngine engine(OnDeviceModel::pocketsphinxFactory(), std::move(callbacks));
            constexpr size_t kBuffer = 4096;
            const size_t minute = static_cast<size_t>(60.0 * kCaptureRate);
            for (size_t at = 0; at < audio.size(); at += kBuffer) {
                while (engine.queuedSamples() > 5 * 16000) {
                    QCoreApplication::processEvents();
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                engine.feed(std::span<const float>(audio).subspan(at, std::min(kBuffer, audio.size() - at)),
                            kCaptureRate);
                const size_t next = at + kBuffer;
                for (const auto& [index, minutes] : {std::pair{0, 1}, std::pair{1, 5}, std::pair{2, 10}}) {
                    if (at < minutes * minute && next >= minutes * minute)
                        resident[size_t(index)] = residentMegabytes();
                }
            }
            engine.finish();
            while (!engine.isDone()) {
                QCoreApplication::processEvents();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            QCoreApplication::processEvents();
            if (engine.droppedSamples() > 0)
                state.SkipWithError("the queue dropped audio");
        }
        cpu += cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - before;
        longest = std::max(longest, audioSeconds - lastFinal);
        wer = wordErrorRate(reference, heard);
    }
    state.counters["audio_s"] = audioSeconds;
    state.counters["cpu_per_audio_s"] = cpu / (audioSeconds * static_cast<double>(state.iterations()));
    state.counters["longest_between_finals_s"] = longest;
    state.counters["rss_min1_mb"] = resident[0];
    state.counters["rss_min5_mb"] = resident[1];
    state.counters["rss_min10_mb"] = resident[2];
    state.counters["wer"] = wer;
}
BENCHMARK(BM_EngineTenMinutes)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
