#include "platform/JsonWriter.h"

#include <charconv>
#include <cmath>
#include <utility>

void JsonWriter::separator()
{
    if (m_needComma)
        m_out.append(',');
    m_needComma = true;
}

void JsonWriter::beginObject()
{
    separator();
    m_out.append('{');
    m_needComma = false;
}

void JsonWriter::endObject()
{
    m_out.append('}');
    m_needComma = true;
}

void JsonWriter::beginArray()
{
    separator();
    m_out.append('[');
    m_needComma = false;
}

void JsonWriter::endArray()
{
    m_out.append(']');
    m_needComma = true;
}

JsonWriter& JsonWriter::key(const char* name)
{
    separator();
    m_out.append('"').append(name).append("\":");
    m_needComma = false;
    return *this;
}

void JsonWriter::writeString(QStringView text)
{
    static constexpr char hex[] = "0123456789abcdef";
    m_out.append('"');
    const QByteArray utf8 = text.toUtf8();
    const char* p = utf8.constData();
    const char* end = p + utf8.size();
    const char* run = p;
    for (; p != end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        m_out.append(run, p - run);
        run = p + 1;
        switch (c) {
        case '"': m_out.append("\\\""); break;
        case '\\': m_out.append("\\\\"); break;
        case '\n': m_out.append("\\n"); break;
        case '\r': m_out.append("\\r"); break;
        case '\t': m_out.append("\\t"); break;
        default: {
            const char escaped[] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
            m_out.append(escaped, sizeof escaped);
        }
        }
    }
    m_out.append(run, end - run);
    m_out.append('"');
}

void JsonWriter::value(const QString& text)
{
    separator();
    writeString(text);
}

void JsonWriter::value(const char* latin1Text)
{
    separator();
    writeString(QString::fromLatin1(latin1Text));
}

void JsonWriter::value(bool flag)
{
    separator();
    m_out.append(flag ? "true" : "false");
}

void JsonWriter::value(double number)
{
    separator();
    // JSON has no NaN or infinity; such a value is written as null so the file stays readable.
    if (!std::isfinite(number)) {
        m_out.append("null");
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    m_out.append(buffer, result.ptr - buffer);
}

void JsonWriter::value(int number)
{
    value(static_cast<qint64>(number));
}

void JsonWriter::value(qint64 number)
{
    separator();
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    m_out.append(buffer, result.ptr - buffer);
}

void JsonWriter::value(Date date)
{
    value(date.sinceReferenceDate);
}

void JsonWriter::value(const QUuid& uuid)
{
    separator();
    m_out.append('"').append(uuid.toByteArray(QUuid::WithoutBraces).toUpper()).append('"');
}

void JsonWriter::value(const QStringList& texts)
{
    beginArray();
    for (const QString& text : texts)
        value(text);
    endArray();
}

void JsonWriter::null()
{
    separator();
    m_out.append("null");
}

void JsonWriter::raw(const QByteArray& encodedValue)
{
    separator();
    if (!m_pieces || encodedValue.size() < kSharedPiece) {
        m_out.append(encodedValue);
        return;
    }
    if (!m_out.isEmpty())
        m_pieces->append(std::exchange(m_out, QByteArray()));
    m_pieces->append(encodedValue);
}

QString uuidText(const QUuid& uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}
