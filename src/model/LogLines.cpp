#include "model/LogLines.h"

#include "platform/JsonRead.h"
#include "platform/JsonWriter.h"

using namespace Qt::Literals::StringLiterals;

LogLines::Block::Block(const Block& other)
{
    std::lock_guard lock(other.mutex);
    lines.reserve(kBlockLines);
    lines.append(other.lines);
    encoded = other.encoded;
}

void LogLine::write(JsonWriter& w) const
{
    w.beginObject();
    w.field("id", id);
    w.optional("speaker", speaker);
    w.field("text", text);
    w.field("timecode", timecode);
    w.field("channel", channel);
    w.endObject();
}

QByteArray LogLine::toJson() const
{
    QByteArray out;
    out.reserve(96 + 2 * (id.size() + text.size() + timecode.size()));
    JsonWriter writer(out);
    write(writer);
    return out;
}

std::optional<LogLine> LogLine::fromJson(const QJsonValue& value)
{
    using namespace JsonRead;
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    LogLine line;
    const bool ok = required(o, "id"_L1, line.id) && optional(o, "speaker"_L1, line.speaker) &&
                    required(o, "text"_L1, line.text) && required(o, "timecode"_L1, line.timecode) &&
                    required(o, "channel"_L1, line.channel);
    if (!ok)
        return std::nullopt;
    return line;
}

LogLines::LogLines(std::initializer_list<LogLine> lines)
{
    for (const LogLine& line : lines)
        append(line);
}

LogLines::LogLines(const QList<LogLine>& lines)
{
    m_blocks.reserve(size_t((lines.size() + kBlockLines - 1) / kBlockLines));
    for (qsizetype first = 0; first < lines.size(); first += kBlockLines) {
        auto block = std::make_shared<Block>();
        block->lines = lines.mid(first, kBlockLines);
        m_blocks.push_back(std::move(block));
    }
    m_size = lines.size();
}

LogLines::Block& LogLines::ownBlock(qsizetype row)
{
    std::shared_ptr<Block>& block = m_blocks[size_t(row / kBlockLines)];
    if (block.use_count() > 1)
        block = std::make_shared<Block>(*block);
    return *block;
}

void LogLines::append(LogLine line)
{
    if (m_size % kBlockLines == 0)
        m_blocks.push_back(std::make_shared<Block>());
    Block& block = ownBlock(m_size);
    std::lock_guard lock(block.mutex);
    // Lines without JSON of their own are all encoded at the next save.
    if (block.encoded.size() == block.lines.size())
        block.encoded.append(QByteArray());
    else
        block.encoded.clear();
    block.lines.append(std::move(line));
    block.joined.clear();
    ++m_size;
}

void LogLines::replace(qsizetype row, LogLine line)
{
    Block& block = ownBlock(row);
    std::lock_guard lock(block.mutex);
    const qsizetype at = row % kBlockLines;
    block.lines[at] = std::move(line);
    if (block.encoded.size() == block.lines.size())
        block.encoded[at].clear();
    block.joined.clear();
}

void LogLines::shareText(qsizetype row, const QString& text)
{
    Block& block = ownBlock(row);
    std::lock_guard lock(block.mutex);
    block.lines[row % kBlockLines].text = text;
}

void LogLines::clear()
{
    m_blocks.clear();
    m_size = 0;
}

QList<LogLine> LogLines::toList() const
{
    QList<LogLine> out;
    out.reserve(m_size);
    for (const std::shared_ptr<Block>& block : m_blocks)
        out.append(block->lines);
    return out;
}

void LogLines::write(JsonWriter& w) const
{
    w.beginArray();
    for (const std::shared_ptr<Block>& block : m_blocks) {
        std::lock_guard lock(block->mutex);
        if (block->joined.isEmpty()) {
            const QList<LogLine>& lines = block->lines;
            if (block->encoded.size() != lines.size())
                block->encoded = QList<QByteArray>(lines.size());
            qsizetype bytes = lines.size();
            for (qsizetype i = 0; i < lines.size(); ++i) {
                QByteArray& json = block->encoded[i];
                if (json.isEmpty())
                    json = lines.at(i).toJson();
                bytes += json.size();
            }
            block->joined.reserve(bytes);
            for (qsizetype i = 0; i < lines.size(); ++i) {
                if (i > 0)
                    block->joined.append(',');
                block->joined.append(block->encoded.at(i));
            }
            if (lines.size() == kBlockLines)
                block->encoded.clear();
        }
        w.raw(block->joined);
    }
    w.endArray();
}

bool operator==(const LogLines& a, const LogLines& b)
{
    if (a.m_size != b.m_size)
        return false;
    for (size_t i = 0; i < a.m_blocks.size(); ++i) {
        if (a.m_blocks[i] != b.m_blocks[i] && a.m_blocks[i]->lines != b.m_blocks[i]->lines)
            return false;
    }
    return true;
}
