#include "audio/SoundClassifier.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Envelope frames of 10 ms: short enough to see a single clap.
constexpr double kEnvelopeSeconds = 0.010;
// Spectral frames of about 40 ms: long enough to resolve a voice's harmonics.
constexpr double kSpectrumSeconds = 0.040;
constexpr int kMaxSpectrumSize = 4096;
// Loud frames whose spectra are averaged per window; more adds cost, not accuracy.
constexpr int kMaxSpectra = 8;
// Flatness is measured between these frequencies, above hum and below the anti-alias roll-off.
constexpr double kFlatLowHz = 200.0;
constexpr double kFlatHighHz = 6000.0;
// Where voices carry most of their power; a rumble or hiss lies mostly outside.
constexpr double kVoiceLowHz = 300.0;
constexpr double kVoiceHighHz = 3000.0;
constexpr double kBandLowHz = 50.0;
// An onset: the envelope jumps to this many times its recent minimum ...
constexpr double kOnsetRise = 4.0;
// ... reaching at least this share of the window's peak, and at most one per 50 ms.
constexpr double kOnsetFloor = 0.3;
constexpr int kOnsetRefractoryFrames = 5;

// 0 below `from`, 1 above `to`, linear between.
double ramp(double x, double from, double to)
{
    return std::clamp((x - from) / (to - from), 0.0, 1.0);
}

// In-place radix-2 transform; `data.size()` is a power of two.
void fft(std::vector<std::complex<double>>& data)
{
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2.0 * std::numbers::pi / double(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t start = 0; start < n; start += length) {
            std::complex<double> w(1.0, 0.0);
            for (size_t k = 0; k < length / 2; ++k) {
                const auto even = data[start + k];
                const auto odd = data[start + k + length / 2] * w;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
                w *= step;
            }
        }
    }
}

} // namespace

void FeatureSoundClassifier::spectrumOf(std::span<const float> frame)
{
    const size_t n = m_fft.size();
    for (size_t i = 0; i < n; ++i) {
        const double sample = i < frame.size() ? double(frame[i]) : 0.0;
        m_fft[i] = {sample * m_hann[i], 0.0};
    }
    fft(m_fft);
    for (size_t i = 0; i < m_power.size(); ++i) {
        m_power[i] += std::norm(m_fft[i]);
    }
}

SoundFeatures FeatureSoundClassifier::measure(std::span<const float> window, double sampleRate)
{
    SoundFeatures features;
    if (!std::isfinite(sampleRate) || sampleRate < 8000.0 || sampleRate > 400000.0) {
        return features;
    }
    const size_t frameLength = size_t(std::lround(sampleRate * kEnvelopeSeconds));
    const size_t frames = window.size() / frameLength;
    if (frames < 8) {
        return features;
    }

    m_envelope.assign(frames, 0.0);
    double total = 0.0;
    for (size_t k = 0; k < frames; ++k) {
        double sum = 0.0;
        for (size_t i = k * frameLength; i < (k + 1) * frameLength; ++i) {
            const double x = std::isfinite(window[i]) ? double(window[i]) : 0.0;
            sum += x * x;
        }
        total += sum;
        m_envelope[k] = std::sqrt(sum / double(frameLength));
    }
    features.rmsDb = 10.0 * std::log10(std::max(total / double(frames * frameLength), 1e-12));

    const double peak = *std::max_element(m_envelope.begin(), m_envelope.end());
    double mean = 0.0;
    for (double e : m_envelope) {
        mean += e;
    }
    mean /= double(frames);
    double variance = 0.0;
    int loud = 0;
    for (double e : m_envelope) {
        variance += (e - mean) * (e - mean);
        loud += e > 0.5 * peak ? 1 : 0;
    }
    features.modulation = mean > 0.0 ? std::sqrt(variance / double(frames)) / mean : 0.0;
    features.dutyCycle = double(loud) / double(frames);

    int onsets = 0;
    size_t lastOnset = 0;
    bool anyOnset = false;
    for (size_t k = 1; k < frames; ++k) {
        double recent = m_envelope[k - 1];
        for (size_t back = 2; back <= 3 && back <= k; ++back) {
            recent = std::min(recent, m_envelope[k - back]);
        }
        const bool rises = m_envelope[k] > kOnsetRise * recent + 1e-9 && m_envelope[k] >= kOnsetFloor * peak;
        if (rises && (!anyOnset || k - lastOnset >= size_t(kOnsetRefractoryFrames))) {
            ++onsets;
            lastOnset = k;
            anyOnset = true;
        }
    }
    features.onsetsPerSecond = double(onsets) * sampleRate / double(window.size());

    // Spectral flatness of the averaged spectrum of the loudest part of the window.
    size_t spectrumSize = 256;
    while (spectrumSize < size_t(sampleRate * kSpectrumSeconds) && spectrumSize < size_t(kMaxSpectrumSize)) {
        spectrumSize <<= 1;
    }
    if (spectrumSize > window.size()) {
        return features;
    }
    if (m_fft.size() != spectrumSize) {
        m_fft.resize(spectrumSize);
        m_hann.resize(spectrumSize);
        for (size_t i = 0; i < spectrumSize; ++i) {
            m_hann[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(spectrumSize));
        }
    }
    m_power.assign(spectrumSize / 2, 0.0);
    m_loudFrames.clear();
    for (size_t k = 0; k < frames; ++k) {
        if (m_envelope[k] > 0.5 * peak) {
            m_loudFrames.push_back(int(k));
        }
    }
    const size_t picks = std::min(m_loudFrames.size(), size_t(kMaxSpectra));
    for (size_t p = 0; p < picks; ++p) {
        const size_t frame = size_t(m_loudFrames[p * m_loudFrames.size() / picks]);
        const size_t centre = frame * frameLength + frameLength / 2;
        const size_t start =
            std::min(centre > spectrumSize / 2 ? centre - spectrumSize / 2 : 0, window.size() - spectrumSize);
        spectrumOf(window.subspan(start, spectrumSize));
    }
    const double binHz = sampleRate / double(spectrumSize);
    const size_t low = size_t(std::ceil(kFlatLowHz / binHz));
    const size_t high = std::min(size_t(std::min(kFlatHighHz, 0.45 * sampleRate) / binHz), m_power.size() - 1);
    if (picks == 0 || high <= low) {
        return features;
    }
    double logSum = 0.0;
    double sum = 0.0;
    for (size_t i = low; i <= high; ++i) {
        logSum += std::log(m_power[i] + 1e-20);
        sum += m_power[i];
    }
    const double count = double(high - low + 1);
    features.flatness = sum > 0.0 ? std::clamp(std::exp(logSum / count) / (sum / count), 0.0, 1.0) : 0.0;

    double voice = 0.0;
    double band = 0.0;
    for (size_t i = size_t(std::ceil(kBandLowHz / binHz)); i <= high; ++i) {
        const double hz = double(i) * binHz;
        band += m_power[i];
        voice += hz >= kVoiceLowHz && hz <= kVoiceHighHz ? m_power[i] : 0.0;
    }
    features.voiceShare = band > 0.0 ? voice / band : 0.0;
    return features;
}

QList<SoundClassification> FeatureSoundClassifier::classify(std::span<const float> window, double sampleRate)
{
    const SoundFeatures f = measure(window, sampleRate);
    if (f.rmsDb < kSilenceDb) {
        return {};
    }
    // Broadband: claps and applause. Mixed: voice with breath or many voices at once.
    const double broadband = ramp(f.flatness, 0.3, 0.6);
    const double mixed =
        ramp(f.flatness, 0.05, 0.15) * (1.0 - ramp(f.flatness, 0.35, 0.55)) * ramp(f.voiceShare, 0.4, 0.6);
    const double rhythmic = ramp(f.onsetsPerSecond, 0.5, 2.0) * (1.0 - ramp(f.onsetsPerSecond, 9.0, 12.0));
    const double impulsive = 1.0 - ramp(f.dutyCycle, 0.3, 0.55);
    const double pulsing = ramp(f.modulation, 0.3, 0.7);
    const double steady = 1.0 - ramp(f.modulation, 0.25, 0.5);

    const QList<SoundClassification> all = {
        {QStringLiteral("clapping"), broadband * rhythmic * impulsive * pulsing},
        {QStringLiteral("applause"), broadband * ramp(f.onsetsPerSecond, 7.0, 12.0) * ramp(f.modulation, 0.15, 0.35)},
        {QStringLiteral("laughter"), mixed * rhythmic * pulsing},
        {QStringLiteral("cheering"), mixed * steady * ramp(f.rmsDb, -30.0, -18.0)},
        {QStringLiteral("crowd"),
         mixed * (1.0 - ramp(f.onsetsPerSecond, 3.0, 6.0)) * ramp(f.modulation, 0.1, 0.25) * (1.0 - pulsing)},
    };
    QList<SoundClassification> out;
    for (const auto& c : all) {
        if (c.confidence > 0.01) {
            out.append(c);
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const SoundClassification& a, const SoundClassification& b) {
        return a.confidence > b.confidence;
    });
    return out;
}
