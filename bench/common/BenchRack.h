#pragma once

// An input rack for the screen and engine benchmarks: a simulated interface of `channels`
// silent inputs, and transcript streams the benchmark writes itself instead of a service.

#include "audio/TranscriptStream.h"
#include "platform/AudioDevices.h"
#include "platform/GeneratedAudioSource.h"

#include <QFile>

#include <unistd.h>

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <memory>

// The default input: `channels` unnamed channels.
inline AudioInputDevice benchRack(int channels)
{
    AudioInputDevice rack;
    rack.uid = QStringLiteral("rack");
    rack.id = AudioDevices::idForUid(rack.uid);
    rack.name = QStringLiteral("Rack");
    rack.channelCount = channels;
    rack.channelNames = QStringList(channels, QString());
    rack.isDefault = true;
    return rack;
}

// The rack's capture: silence on every channel, paced by `clock` (null: real time).
inline std::unique_ptr<GeneratedAudioSource> silentCapture(int channels, Clock* clock = nullptr)
{
    GeneratedAudioSource::Options options;
    options.channelCount = channels;
    options.clock = clock;
    return std::make_unique<GeneratedAudioSource>(options, [](float* out, qsizetype frames, int count) -> qsizetype {
        std::fill_n(out, frames * count, 0.0f);
        return frames;
    });
}

// A service stream that hears nothing and shows nothing: what a benchmark does not measure.
class QuietStream : public TranscriptStream {
public:
    using TranscriptStream::TranscriptStream;

    bool onDevice() const override { return false; }
    const QList<DisplaySegment>& display() const override { return m_none; }
    std::optional<double> lastWordEnd() const override { return std::nullopt; }
    QStringList wordsSince(double) const override { return {}; }
    void start() override {}
    void stop() override {}
    void append(std::span<const float>, double) override {}

private:
    QList<DisplaySegment> m_none;
};

// Resident memory of the process in MB (10^6 bytes).
inline double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() < 2 ? 0 : fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

// What the program holds of the C library's heap (blocks in use, mapped ones included), to tell
// what is kept from what the heaps leave between kept blocks.
inline double heapInUseMegabytes()
{
#if defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / 1e6;
#else
    return 0;
#endif
}

// One channel's lines, written by the benchmark as a stream publishes them; the engine merges
// from the first changed one.
class BenchLines final : public QuietStream {
public:
    using QuietStream::QuietStream;

    const QList<DisplaySegment>& display() const override { return m_lines; }
    qsizetype displayChangedFrom() const override { return m_changedFrom; }
    std::optional<double> lastWordEnd() const override
    {
        return m_lines.isEmpty() ? std::nullopt : std::optional(m_lines.constLast().endSecs);
    }

    void putAll(QList<DisplaySegment> lines)
    {
        m_changedFrom = m_lines.size();
        m_lines.append(std::move(lines));
        onUpdate(QString());
    }
    void put(const DisplaySegment& line)
    {
        m_changedFrom = m_lines.size();
        m_lines.append(line);
        onUpdate(line.text);
    }
    // The newest line as it stands after another interim result, or its final text.
    void changeLast(const DisplaySegment& line)
    {
        m_changedFrom = m_lines.size() - 1;
        m_lines.last() = line;
        onUpdate(line.text);
    }
    void change(qsizetype row, const QString& text)
    {
        m_changedFrom = row;
        m_lines[row].text = text;
        onUpdate(text);
    }
    [[nodiscard]] qsizetype size() const { return m_lines.size(); }

private:
    QList<DisplaySegment> m_lines;
    qsizetype m_changedFrom = 0;
};
