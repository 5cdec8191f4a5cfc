#pragma once

#include <QByteArrayView>
#include <QJsonParseError>
#include <QList>

#include <functional>

namespace standin {

// Where one value lies in a text: bytes [begin, end).
struct TextSpan {
    qsizetype begin = 0;
    qsizetype end = 0;

    [[nodiscard]] qsizetype size() const { return end - begin; }
};

// Reads JSON text the way QJsonDocument::fromJson() does, building nothing: the same texts pass,
// and a text that fails, fails with the same error at the same offset, so that answers quoting the
// parser read as before. A body of a hundred megabytes is checked in one pass at the cost of a few
// indexes, where a QJsonDocument of it would take several times its size.
//
// The members of the top-level object are reported as they are read; the elements of the member
// arrays that the caller asks for are noted as spans.
class JsonScanner {
public:
    explicit JsonScanner(QByteArrayView text) : m_text(text) {}

    // For each member of the top-level object, once its key is read (the raw text between the
    // quotes, escapes undone by no one): where to note the spans of its value's elements when that
    // value is an array; null for none.
    std::function<QList<TextSpan>*(QByteArrayView key)> elementsOf;
    // Each member of the top-level object, once its value is read.
    std::function<void(QByteArrayView key, TextSpan value)> onMember;

    // Reads the whole text as one document: an object or an array, white space around it and a
    // UTF-8 byte order mark before it allowed.
    [[nodiscard]] bool read();

    // After read(): the problem (NoError when it passed) and where it was found.
    [[nodiscard]] QJsonParseError error() const;
    // After a read() that passed: the top-level value.
    [[nodiscard]] TextSpan root() const { return m_root; }

private:
    bool fail(QJsonParseError::ParseError error);
    // Steps over white space; whether anything follows it.
    bool skipSpace();
    // Takes the next character after white space: a structural one, or 0 for anything else (which
    // is still taken) and for the end of the text.
    char nextToken();
    bool object(bool topLevel);
    bool member(bool topLevel);
    bool array(QList<TextSpan>* elements);
    // At the value's first character, which exists.
    bool value(QList<TextSpan>* elements);
    bool literal(QByteArrayView rest);
    // Past the opening quote; ends past the closing one.
    bool string();
    // At the backslash.
    bool escape();
    // At a byte over 0x7F: one whole, shortest-form UTF-8 sequence of a Unicode scalar value.
    bool utf8Sequence();
    bool number();

    QByteArrayView m_text;
    qsizetype m_pos = 0;
    int m_depth = 0;
    QJsonParseError::ParseError m_error = QJsonParseError::NoError;
    TextSpan m_root;
};

} // namespace standin
