#pragma once

#include <QtGlobal>

#include <cstdlib>
#include <span>

// Tells a short pause in continuous speech, where a decoder's own silence detection hears none:
// a few 10 ms frames (at 16 kHz) in a row below a tenth of the speech's mean level so far.
// Header-only, so the stand-in's recogniser uses the same rule without linking the app's layers.
class PauseDetector {
public:
    static constexpr size_t kFrameSamples = 160;
    static constexpr int kPauseFrames = 3;
    static constexpr double kQuietRatio = 10.0;

    // Forgets the speech heard so far: a new utterance starts.
    void reset() { *this = PauseDetector(); }

    // Feeds the next samples (whole frames; a trailing part frame is ignored). True when the
    // slice ends or holds a pause.
    bool heardPause(std::span<const qint16> slice)
    {
        bool pause = false;
        for (; slice.size() >= kFrameSamples; slice = slice.subspan(kFrameSamples)) {
            qint64 sum = 0;
            for (const qint16 sample : slice.first(kFrameSamples))
                sum += std::abs(static_cast<int>(sample));
            const double level = static_cast<double>(sum) / kFrameSamples;
            m_levelSum += level;
            ++m_levelFrames;
            m_quietRun = level * kQuietRatio < m_levelSum / static_cast<double>(m_levelFrames) ? m_quietRun + 1 : 0;
            pause = pause || m_quietRun >= kPauseFrames;
        }
        return pause;
    }

private:
    double m_levelSum = 0.0;
    qint64 m_levelFrames = 0;
    int m_quietRun = 0;
};
