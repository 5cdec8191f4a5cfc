#include "platform/AudioCapture.h"

#include <algorithm>
#include <cstring>

// --- CaptureChunker ---------------------------------------------------------------------------

void CaptureChunker::reset(int channels, double sampleRate)
{
    m_channels = std::clamp(channels, 0, AudioCaptureSource::kMaxChannels);
    m_rate = sampleRate;
    m_filled = 0;
    m_buffer.assign(static_cast<size_t>(kFrames) * static_cast<size_t>(m_channels), 0.0f);
}

void CaptureChunker::push(const float* interleaved, qsizetype frames, const Handler& handler)
{
    if (interleaved == nullptr || m_channels <= 0) {
        return;
    }
    const auto channels = static_cast<qsizetype>(m_channels);
    while (frames > 0) {
        if (m_filled == 0 && frames >= kFrames) {
            // A whole buffer inside the slice goes out as it is, without a copy.
            if (handler) {
                handler(interleaved, kFrames, m_channels, m_rate);
            }
            interleaved += kFrames * channels;
            frames -= kFrames;
            continue;
        }
        const qsizetype n = std::min<qsizetype>(frames, kFrames - m_filled);
        std::memcpy(m_buffer.data() + static_cast<qsizetype>(m_filled) * channels, interleaved,
                    static_cast<size_t>(n * channels) * sizeof(float));
        m_filled += static_cast<int>(n);
        interleaved += n * channels;
        frames -= n;
        if (m_filled == kFrames) {
            m_filled = 0;
            if (handler) {
                handler(m_buffer.data(), kFrames, m_channels, m_rate);
            }
        }
    }
}
