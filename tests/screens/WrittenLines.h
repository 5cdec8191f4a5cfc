#pragma once

// A channel stream whose lines the test writes itself, published as a real stream publishes
// them: exact texts and timings without playing audio or the demo.

#include "audio/TranscriptStream.h"

#include <span>

namespace screen_test {

class WrittenLines final : public TranscriptStream {
public:
    using TranscriptStream::TranscriptStream;

    bool onDevice() const override { return false; }
    const QList<DisplaySegment>& display() const override { return m_lines; }
    std::optional<double> lastWordEnd() const override { return std::nullopt; }
    QStringList wordsSince(double) const override { return {}; }
    void start() override {}
    void stop() override {}
    void append(std::span<const float>, double) override {}

    void put(const DisplaySegment& line)
    {
        m_lines.append(line);
        onUpdate(line.text);
    }
    void change(const QString& id, const QString& text)
    {
        for (DisplaySegment& line : m_lines)
            if (line.id == id)
                line.text = text;
        onUpdate(text);
    }
    void takeBack(const QString& id)
    {
        m_lines.removeIf([&](const DisplaySegment& line) { return line.id == id; });
        onUpdate(QString());
    }

private:
    QList<DisplaySegment> m_lines;
};

} // namespace screen_test
