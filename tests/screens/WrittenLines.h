#pragma once

// A channel stream whose lines the test writes itself, published as a real stream publishes
// them: exact texts and timings without playing audio or the demo.

#include "audio/TranscriptStream.h"

#include <algorithm>
#include <span>
#include <utility>

namespace screen_test {

class WrittenLines final : public TranscriptStream {
public:
    using TranscriptStream::TranscriptStream;

    bool onDevice() const override { return false; }
    const QList<DisplaySegment>& display() const override { return m_lines; }
    std::optional<double> lastWordEnd() const override { return m_lastWordEnd; }
    QStringList wordsSince(double cutoff) const override
    {
        QStringList out;
        for (const auto& [word, end] : m_words)
            if (end >= cutoff)
                out.append(word);
        return out;
    }
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
    // A word still being heard, ending `end` seconds after the engine's start: it moves the
    // transcript's clock on without making a line.
    void hear(const QString& word, double end)
    {
        m_words.append({word, end});
        m_lastWordEnd = std::max(m_lastWordEnd.value_or(end), end);
    }
    void takeBack(const QString& id)
    {
        m_lines.removeIf([&](const DisplaySegment& line) { return line.id == id; });
        onUpdate(QString());
    }

private:
    QList<DisplaySegment> m_lines;
    QList<std::pair<QString, double>> m_words;
    std::optional<double> m_lastWordEnd;
};

} // namespace screen_test
