#pragma once

#include "platform/SharedBlocks.h"

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <initializer_list>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class JsonWriter;

// One saved transcript line. Its id is "<run start in whole seconds since 1970>-<segment id>",
// so a segment seen again in a later run makes a new line.
struct LogLine {
    QString id;
    std::optional<QString> speaker;
    QString text;
    // Camera timecode of the line's start, fixed when the line was first saved.
    QString timecode;
    int channel = 0;

    void write(JsonWriter& writer) const;
    [[nodiscard]] QByteArray toJson() const;
    [[nodiscard]] static std::optional<LogLine> fromJson(const QJsonValue& value);

    friend bool operator==(const LogLine&, const LogLine&) = default;
};

Q_DECLARE_TYPEINFO(LogLine, Q_RELOCATABLE_TYPE);

// A saved transcript: a list of lines held in fixed-size blocks that copies share.
//
// A live log hands its transcript to the store on every save, and the store keeps that copy.
// A plain list would then be copied whole by the log's next append (48,000 lines after a day);
// here a copy shares the blocks, and a change copies only the block it touches. Every block but
// the last is full, so a row is found by division.
//
// Each block keeps its lines' JSON once made, so a save encodes only the lines that are new or
// changed since the last save and joins the rest. The JSON is made and read on the save's
// thread, under the block's own lock, while the lines themselves are only ever changed on the
// owner's thread in a block no copy shares.
class LogLines {
public:
    static constexpr qsizetype kBlockLines = 256;

    using const_iterator = RowIterator<LogLines, LogLine>;
    using iterator = const_iterator;
    using value_type = LogLine;

    LogLines() = default;
    LogLines(std::initializer_list<LogLine> lines);
    // Implicit: a list of lines is a transcript.
    LogLines(const QList<LogLine>& lines); // NOLINT(google-explicit-constructor)

    [[nodiscard]] qsizetype size() const { return m_size; }
    [[nodiscard]] bool isEmpty() const { return m_size == 0; }
    [[nodiscard]] const LogLine& at(qsizetype row) const;
    [[nodiscard]] const LogLine& operator[](qsizetype row) const { return at(row); }
    [[nodiscard]] const LogLine& constFirst() const { return at(0); }
    [[nodiscard]] const LogLine& constLast() const { return at(m_size - 1); }
    [[nodiscard]] const_iterator begin() const { return {this, 0}; }
    [[nodiscard]] const_iterator end() const { return {this, m_size}; }
    [[nodiscard]] const_iterator cbegin() const { return begin(); }
    [[nodiscard]] const_iterator cend() const { return end(); }

    void append(LogLine line);
    void replace(qsizetype row, LogLine line);
    // Makes the row hold `text`'s copy of its text, which `text` must equal: what the row reads
    // and writes stays as it was, so its JSON is kept.
    void shareText(qsizetype row, const QString& text);
    void clear();

    [[nodiscard]] QList<LogLine> toList() const;
    // The lines as one JSON array, spliced from each block's JSON (made here for the lines that
    // have none yet). Safe on any thread while the owner's thread goes on changing its own copy.
    void write(JsonWriter& writer) const;

    friend bool operator==(const LogLines& a, const LogLines& b);

private:
    struct Block;
    // The block holding `row`, copied first when another copy shares it.
    Block& ownBlock(qsizetype row);

    std::vector<std::shared_ptr<Block>> m_blocks;
    qsizetype m_size = 0;
};

struct LogLines::Block {
    // Changed only on the owner's thread while no copy shares the block, and then under the
    // lock, so the save's thread never reads a line half-written.
    QList<LogLine> lines;
    mutable std::mutex mutex;
    // Each line's JSON, an empty one not made yet; either empty or one per line. Dropped once a
    // full block is joined, as a line of a full block rarely changes.
    mutable QList<QByteArray> encoded;
    // The lines' JSON joined by commas; empty until made.
    mutable QByteArray joined;

    Block() { lines.reserve(kBlockLines); }
    Block(const Block& other);
    Block& operator=(const Block&) = delete;
};

inline const LogLine& LogLines::at(qsizetype row) const
{
    return m_blocks[size_t(row / kBlockLines)]->lines.at(row % kBlockLines);
}
