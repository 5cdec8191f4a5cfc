#include "model/DisplaySegment.h"

#include "platform/WordPool.h"

namespace {

constexpr quintptr kOwned = 1;

quintptr handleOf(const QString& text)
{
    if (text.isEmpty())
        return 0;
    if (const QString* pooled = WordPool::keep(text))
        return reinterpret_cast<quintptr>(pooled);
    return reinterpret_cast<quintptr>(new QString(text)) | kOwned;
}

quintptr copyOf(quintptr handle)
{
    if (!(handle & kOwned))
        return handle;
    return reinterpret_cast<quintptr>(new QString(*reinterpret_cast<const QString*>(handle & ~kOwned))) | kOwned;
}

void release(quintptr handle)
{
    if (handle & kOwned)
        delete reinterpret_cast<QString*>(handle & ~kOwned);
}

} // namespace

Word::Word(const QString& text, double start, double end) : start(start), end(end), m_text(handleOf(text))
{
}

Word::Word(const Word& other) : start(other.start), end(other.end), m_text(copyOf(other.m_text))
{
}

Word& Word::operator=(const Word& other)
{
    if (this != &other) {
        const quintptr copied = copyOf(other.m_text);
        release(m_text);
        m_text = copied;
        start = other.start;
        end = other.end;
    }
    return *this;
}

Word& Word::operator=(Word&& other) noexcept
{
    if (this != &other) {
        release(m_text);
        m_text = std::exchange(other.m_text, 0);
        start = other.start;
        end = other.end;
    }
    return *this;
}

Word::~Word()
{
    release(m_text);
}

const QString& Word::text() const
{
    static const QString empty;
    return m_text ? *reinterpret_cast<const QString*>(m_text & ~kOwned) : empty;
}
