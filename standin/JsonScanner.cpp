#include "JsonScanner.h"

#include <QByteArray>

namespace standin {

namespace {

// QJsonDocument's limit on objects and arrays inside one another.
constexpr int kNestingLimit = 1024;
// Whole numbers of up to this many digits always fit a qint64, so they need no conversion to be
// known valid.
constexpr int kSafeIntegerDigits = 18;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isContinuation(uchar c)
{
    return (c & 0xC0) == 0x80;
}

} // namespace

QJsonParseError JsonScanner::error() const
{
    QJsonParseError error;
    error.error = m_error;
    error.offset = m_error == QJsonParseError::NoError ? 0 : static_cast<int>(m_pos);
    return error;
}

bool JsonScanner::fail(QJsonParseError::ParseError error)
{
    m_error = error;
    return false;
}

bool JsonScanner::skipSpace()
{
    while (m_pos < m_text.size() && isSpace(m_text[m_pos]))
        ++m_pos;
    return m_pos < m_text.size();
}

char JsonScanner::nextToken()
{
    if (!skipSpace())
        return 0;
    const char c = m_text[m_pos++];
    switch (c) {
    case '[':
    case '{':
    case ':':
    case ',':
    case ']':
    case '}':
    case '"':
        return c;
    default:
        return 0;
    }
}

bool JsonScanner::read()
{
    m_pos = 0;
    m_depth = 0;
    m_error = QJsonParseError::NoError;
    // A byte order mark is skipped only when more than the mark follows it.
    if (m_text.size() > 3 && m_text.first(3) == QByteArrayView("\xEF\xBB\xBF"))
        m_pos = 3;
    const char token = nextToken();
    const qsizetype begin = m_pos - 1;
    bool ok = false;
    if (token == '[')
        ok = array(nullptr);
    else if (token == '{')
        ok = object(true);
    else
        return fail(QJsonParseError::IllegalValue);
    if (!ok)
        return false;
    m_root = {begin, m_pos};
    if (skipSpace())
        return fail(QJsonParseError::GarbageAtEnd);
    return true;
}

bool JsonScanner::object(bool topLevel)
{
    if (++m_depth > kNestingLimit)
        return fail(QJsonParseError::DeepNesting);
    char token = nextToken();
    while (token == '"') {
        if (!member(topLevel))
            return false;
        token = nextToken();
        if (token != ',')
            break;
        token = nextToken();
        if (token == '}')
            return fail(QJsonParseError::MissingObject);
    }
    if (token != '}')
        return fail(QJsonParseError::UnterminatedObject);
    --m_depth;
    return true;
}

bool JsonScanner::member(bool topLevel)
{
    const qsizetype keyBegin = m_pos;
    if (!string())
        return false;
    const QByteArrayView key = m_text.sliced(keyBegin, m_pos - 1 - keyBegin);
    if (nextToken() != ':')
        return fail(QJsonParseError::MissingNameSeparator);
    if (!skipSpace())
        return fail(QJsonParseError::UnterminatedObject);
    QList<TextSpan>* elements = topLevel && elementsOf ? elementsOf(key) : nullptr;
    const qsizetype begin = m_pos;
    if (!value(elements))
        return false;
    if (topLevel && onMember)
        onMember(key, {begin, m_pos});
    return true;
}

bool JsonScanner::array(QList<TextSpan>* elements)
{
    if (++m_depth > kNestingLimit)
        return fail(QJsonParseError::DeepNesting);
    if (!skipSpace())
        return fail(QJsonParseError::UnterminatedArray);
    if (m_text[m_pos] == ']') {
        ++m_pos;
    } else {
        while (true) {
            if (!skipSpace())
                return fail(QJsonParseError::UnterminatedArray);
            const qsizetype begin = m_pos;
            if (!value(nullptr))
                return false;
            if (elements)
                elements->append({begin, m_pos});
            const char token = nextToken();
            if (token == ']')
                break;
            if (token != ',')
                return fail(skipSpace() ? QJsonParseError::MissingValueSeparator : QJsonParseError::UnterminatedArray);
        }
    }
    --m_depth;
    return true;
}

bool JsonScanner::value(QList<TextSpan>* elements)
{
    switch (m_text[m_pos++]) {
    case 'n':
        return literal("ull");
    case 't':
        return literal("rue");
    case 'f':
        return literal("alse");
    case '"':
        return string();
    case '[':
        return array(elements);
    case '{':
        return object(false);
    case ',':
        // A missing value after a colon; after a comma it would be a missing object.
        return fail(QJsonParseError::IllegalValue);
    case ']':
    case '}':
        return fail(QJsonParseError::MissingObject);
    default:
        --m_pos;
        return number();
    }
}

bool JsonScanner::literal(QByteArrayView rest)
{
    // A value never ends the text, so at least one byte must follow it.
    if (m_text.size() - m_pos < rest.size() + 1)
        return fail(QJsonParseError::IllegalValue);
    for (const char expected : rest) {
        if (m_text[m_pos++] != expected)
            return fail(QJsonParseError::IllegalValue);
    }
    return true;
}

bool JsonScanner::string()
{
    const qsizetype size = m_text.size();
    bool escapes = false;
    while (m_pos < size) {
        const auto c = static_cast<uchar>(m_text[m_pos]);
        if (c == '"')
            break;
        if (c == '\\') {
            // QJsonDocument looks for the string's end before it reads its first escape: a first
            // backslash that ends the text makes the string unterminated.
            if (!escapes && m_pos + 1 == size) {
                ++m_pos;
                return fail(QJsonParseError::UnterminatedString);
            }
            escapes = true;
            if (!escape())
                return fail(QJsonParseError::IllegalEscapeSequence);
        } else if (c < 0x80) {
            ++m_pos;
        } else if (!utf8Sequence()) {
            return fail(QJsonParseError::IllegalUTF8String);
        }
    }
    // Past the quote; a string that runs to the end of the text is reported one byte beyond it.
    ++m_pos;
    if (m_pos >= size)
        return fail(QJsonParseError::UnterminatedString);
    return true;
}

bool JsonScanner::escape()
{
    ++m_pos;
    if (m_pos >= m_text.size())
        return false;
    // Any other escaped character stands for itself.
    if (m_text[m_pos++] != 'u')
        return true;
    if (m_pos > m_text.size() - 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (!isHexDigit(m_text[m_pos]))
            return false;
        ++m_pos;
    }
    return true;
}

bool JsonScanner::utf8Sequence()
{
    const auto lead = static_cast<uchar>(m_text[m_pos]);
    qsizetype length = 0;
    char32_t smallest = 0;
    char32_t code = 0;
    if (lead < 0xC2 || lead > 0xF4)
        return false; // a continuation byte, the lead of an overlong pair, or past U+10FFFF
    if (lead < 0xE0) {
        length = 2;
        smallest = 0x80;
        code = lead & 0x1F;
    } else if (lead < 0xF0) {
        length = 3;
        smallest = 0x800;
        code = lead & 0x0F;
    } else {
        length = 4;
        smallest = 0x10000;
        code = lead & 0x07;
    }
    if (m_text.size() - m_pos < length)
        return false;
    for (qsizetype i = 1; i < length; ++i) {
        const auto next = static_cast<uchar>(m_text[m_pos + i]);
        if (!isContinuation(next))
            return false;
        code = (code << 6) | (next & 0x3F);
    }
    if (code < smallest || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return false;
    m_pos += length;
    return true;
}

bool JsonScanner::number()
{
    const qsizetype size = m_text.size();
    const qsizetype begin = m_pos;
    bool whole = true; // no fraction other than zeros, no exponent
    bool plain = true; // digits alone, with an optional minus
    if (m_pos < size && m_text[m_pos] == '-')
        ++m_pos;
    const qsizetype digitsBegin = m_pos;
    if (m_pos < size && m_text[m_pos] == '0') {
        ++m_pos;
    } else {
        while (m_pos < size && isDigit(m_text[m_pos]))
            ++m_pos;
    }
    const qsizetype digits = m_pos - digitsBegin;
    if (m_pos < size && m_text[m_pos] == '.') {
        plain = false;
        ++m_pos;
        while (m_pos < size && isDigit(m_text[m_pos])) {
            whole = whole && m_text[m_pos] == '0';
            ++m_pos;
        }
    }
    if (m_pos < size && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
        plain = false;
        whole = false;
        ++m_pos;
        if (m_pos < size && (m_text[m_pos] == '-' || m_text[m_pos] == '+'))
            ++m_pos;
        while (m_pos < size && isDigit(m_text[m_pos]))
            ++m_pos;
    }
    if (m_pos >= size)
        return fail(QJsonParseError::TerminationByNumber);
    if (plain && digits > 0 && digits <= kSafeIntegerDigits)
        return true;
    // Anything else is whatever Qt's own conversions make of it, as QJsonDocument asks them.
    const QByteArray text = QByteArray::fromRawData(m_text.data() + begin, m_pos - begin);
    bool ok = false;
    if (whole) {
        (void)text.toLongLong(&ok);
        if (ok)
            return true;
    }
    (void)text.toDouble(&ok);
    return ok || fail(QJsonParseError::IllegalNumber);
}

} // namespace standin
