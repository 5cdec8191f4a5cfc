#include "audio/Resampler16k.h"

#include <soxr.h>

#include <cmath>

namespace {

constexpr double kMinInputRate = 1.0;
constexpr double kMaxInputRate = 1.0e6;
// Room for the filter's held-back samples on top of the ratio's share of a buffer.
constexpr size_t kOutputSlack = 64;

} // namespace

Resampler16k::Resampler16k(double inputRate) : m_inputRate(inputRate)
{
    if (!std::isfinite(inputRate) || inputRate < kMinInputRate || inputRate > kMaxInputRate) {
        m_error = QStringLiteral("Unsupported input sample rate %1 Hz.").arg(inputRate);
        return;
    }
    // Float in, int16 out: soxr rounds and clips. No dither: a recogniser gains nothing from it,
    // and without it a signal converts identically however it is cut into buffers.
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    // 16-bit precision is all a 16-bit output can carry.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_16_BITQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    m_soxr = soxr_create(inputRate, kOutputRate, 1, &error, &io, &quality, &runtime);
    if (error != nullptr) {
        if (m_soxr != nullptr) {
            soxr_delete(m_soxr);
            m_soxr = nullptr;
        }
        m_error = QStringLiteral("Couldn't create the resampler: %1").arg(QString::fromUtf8(error));
    }
}

Resampler16k::~Resampler16k()
{
    if (m_soxr != nullptr) {
        soxr_delete(m_soxr);
    }
}

void Resampler16k::ensureCapacity(size_t samples)
{
    if (m_out.size() < samples) {
        m_out.resize(samples);
    }
}

std::span<const qint16> Resampler16k::process(std::span<const float> mono)
{
    if (m_soxr == nullptr || m_flushed || mono.empty()) {
        return {};
    }
    const double expected = std::ceil(static_cast<double>(mono.size()) * kOutputRate / m_inputRate);
    ensureCapacity(static_cast<size_t>(expected) + kOutputSlack);

    size_t produced = 0;
    size_t consumed = 0;
    // soxr hands out at most the room it is given and keeps the rest for later: a full output
    // means more may be waiting, so grow and ask again until it leaves room to spare.
    for (;;) {
        size_t inDone = 0;
        size_t outDone = 0;
        const soxr_error_t error = soxr_process(m_soxr, mono.data() + consumed, mono.size() - consumed, &inDone,
                                                m_out.data() + produced, m_out.size() - produced, &outDone);
        if (error != nullptr) {
            m_error = QString::fromUtf8(error);
            break;
        }
        consumed += inDone;
        produced += outDone;
        if (produced == m_out.size()) {
            m_out.resize(m_out.size() * 2);
        } else if (consumed == mono.size() || (inDone == 0 && outDone == 0)) {
            break;
        }
    }
    m_outputCount += static_cast<qint64>(produced);
    return {m_out.data(), produced};
}

std::span<const qint16> Resampler16k::flush()
{
    if (m_soxr == nullptr || m_flushed) {
        return {};
    }
    m_flushed = true;
    ensureCapacity(kOutputSlack * 16);
    size_t produced = 0;
    for (;;) {
        if (produced == m_out.size()) {
            m_out.resize(m_out.size() * 2);
        }
        size_t outDone = 0;
        const soxr_error_t error =
            soxr_process(m_soxr, nullptr, 0, nullptr, m_out.data() + produced, m_out.size() - produced, &outDone);
        if (error != nullptr) {
            m_error = QString::fromUtf8(error);
            break;
        }
        if (outDone == 0) {
            break;
        }
        produced += outDone;
    }
    m_outputCount += static_cast<qint64>(produced);
    return {m_out.data(), produced};
}
