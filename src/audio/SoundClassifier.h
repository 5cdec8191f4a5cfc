#pragma once

#include <QList>
#include <QString>

#include <complex>
#include <span>
#include <vector>

// One label of a classified window with how sure the classifier is of it (0...1).
struct SoundClassification {
    QString identifier;
    double confidence = 0.0;
};

// Turns about one second of mono audio into labels with confidences, most confident first.
// Called on the sound-analysis thread only, one window at a time; an implementation may keep
// scratch state between calls.
class SoundClassifier {
public:
    virtual ~SoundClassifier() = default;

    // Window length and step between windows, in seconds (windows overlap by length − step).
    [[nodiscard]] virtual double windowSeconds() const { return 1.0; }
    [[nodiscard]] virtual double hopSeconds() const { return 0.5; }

    [[nodiscard]] virtual QList<SoundClassification> classify(std::span<const float> window, double sampleRate) = 0;
};

// The measures a window is judged by, exposed so tests can see why a window was labelled.
struct SoundFeatures {
    double rmsDb = -120.0;        // level of the whole window, dBFS
    double flatness = 0.0;        // spectral flatness of the loud frames, 0 (tonal) ... 1 (white)
    double onsetsPerSecond = 0.0; // sudden rises of the 10 ms envelope
    double modulation = 0.0;      // envelope standard deviation over its mean
    double dutyCycle = 0.0;       // share of frames above half the envelope's peak
    double voiceShare = 0.0;      // share of the loud frames' power between 300 Hz and 3 kHz
};

// A small hand-made classifier on signal measures, standing in for a trained model. It knows
// the shapes of the cues we mark, not their sound: a clap is a short broadband burst, applause
// is many of them blurred together, laughter a train of breathy voiced pulses, cheering a loud
// sustained mix of voice and noise, a crowd a murmur of both. Stationary noise, plain tones and
// speech-like voiced syllables give nothing above half confidence.
class FeatureSoundClassifier final : public SoundClassifier {
public:
    // Below this level a window is silence and gets no labels.
    static constexpr double kSilenceDb = -55.0;

    [[nodiscard]] QList<SoundClassification> classify(std::span<const float> window, double sampleRate) override;
    [[nodiscard]] SoundFeatures measure(std::span<const float> window, double sampleRate);

private:
    void spectrumOf(std::span<const float> frame);

    std::vector<double> m_envelope;
    std::vector<std::complex<double>> m_fft;
    std::vector<double> m_hann;
    std::vector<double> m_power;
    std::vector<int> m_loudFrames;
};
