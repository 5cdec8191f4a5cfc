#pragma once

#include <QString>
#include <QtGlobal>

#include <span>
#include <vector>

struct soxr;

// One streaming conversion of mono float audio at `inputRate` to 16 kHz signed 16-bit, as the
// transcription service takes it (libsoxr, high quality, no dither; samples beyond ±1 clip).
// The filter state is kept across calls, so a signal cut into buffers converts exactly as it
// would in one piece. The output buffer is reused: no allocation per call once it has grown to
// the largest buffer seen. One thread at a time.
class Resampler16k {
public:
    static constexpr double kOutputRate = 16000.0;

    // `inputRate` must be finite and within 1 Hz...1 MHz; otherwise the resampler is invalid
    // and gives no output.
    explicit Resampler16k(double inputRate);
    ~Resampler16k();
    Resampler16k(const Resampler16k&) = delete;
    Resampler16k& operator=(const Resampler16k&) = delete;

    [[nodiscard]] double inputRate() const { return m_inputRate; }
    [[nodiscard]] bool isValid() const { return m_soxr != nullptr; }
    // Why the resampler is invalid; empty when valid.
    [[nodiscard]] QString errorString() const { return m_error; }

    // Converts the next `mono` samples; gives the 16 kHz samples ready so far (the filter's
    // delay holds back a few), valid until the next call.
    [[nodiscard]] std::span<const qint16> process(std::span<const float> mono);
    // The samples still held in the filter, at the end of the audio. Afterwards the resampler
    // gives nothing more.
    [[nodiscard]] std::span<const qint16> flush();

    // Samples given out so far.
    [[nodiscard]] qint64 outputCount() const { return m_outputCount; }

private:
    void ensureCapacity(size_t samples);

    soxr* m_soxr = nullptr;
    double m_inputRate = 0.0;
    QString m_error;
    std::vector<qint16> m_out;
    qint64 m_outputCount = 0;
    bool m_flushed = false;
};
