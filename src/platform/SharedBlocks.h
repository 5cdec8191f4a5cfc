#pragma once

#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <utility>

// A random-access iterator over any list read by row with at(row).
template <typename List, typename T> class RowIterator {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = T;
    using difference_type = qsizetype;
    using pointer = const T*;
    using reference = const T&;

    RowIterator() = default;
    RowIterator(const List* list, qsizetype row) : m_list(list), m_row(row) {}
    reference operator*() const { return m_list->at(m_row); }
    pointer operator->() const { return &m_list->at(m_row); }
    reference operator[](difference_type n) const { return m_list->at(m_row + n); }
    RowIterator& operator++() { return ++m_row, *this; }
    RowIterator operator++(int) { return {m_list, m_row++}; }
    RowIterator& operator--() { return --m_row, *this; }
    RowIterator operator--(int) { return {m_list, m_row--}; }
    RowIterator& operator+=(difference_type n) { return m_row += n, *this; }
    RowIterator& operator-=(difference_type n) { return m_row -= n, *this; }
    friend RowIterator operator+(RowIterator it, difference_type n) { return it += n; }
    friend RowIterator operator+(difference_type n, RowIterator it) { return it += n; }
    friend RowIterator operator-(RowIterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const RowIterator& a, const RowIterator& b) { return a.m_row - b.m_row; }
    friend bool operator==(const RowIterator& a, const RowIterator& b) { return a.m_row == b.m_row; }
    friend auto operator<=>(const RowIterator& a, const RowIterator& b) { return a.m_row <=> b.m_row; }

private:
    const List* m_list = nullptr;
    qsizetype m_row = 0;
};

// A list held in fixed-size blocks that copies share.
//
// A long list handed to another owner on every change (a save, a sync) and changed again right
// after would be copied whole by each change if it were one QList. Here a copy shares the blocks,
// and a change copies the list of blocks and the one block it touches. Every block but the last is
// full, so a row is found by division; an insertion or removal before the end moves the rows
// after it, as a QList does.
template <typename T, qsizetype BlockRows = 256> class SharedBlocks {
public:
    static constexpr qsizetype kBlockRows = BlockRows;

    using const_iterator = RowIterator<SharedBlocks, T>;
    using iterator = const_iterator;
    using value_type = T;

    SharedBlocks() = default;
    SharedBlocks(std::initializer_list<T> rows)
    {
        for (const T& row : rows)
            append(row);
    }
    // Implicit: a plain list converts (in one copy).
    SharedBlocks(const QList<T>& rows) // NOLINT(google-explicit-constructor)
    {
        for (qsizetype at = 0; at < rows.size(); at += kBlockRows)
            m_blocks.append(rows.mid(at, kBlockRows));
        m_size = rows.size();
    }

    [[nodiscard]] qsizetype size() const { return m_size; }
    [[nodiscard]] qsizetype count() const { return m_size; }
    [[nodiscard]] bool isEmpty() const { return m_size == 0; }
    [[nodiscard]] bool empty() const { return m_size == 0; }
    [[nodiscard]] const T& at(qsizetype row) const
    {
        Q_ASSERT(row >= 0 && row < m_size);
        return m_blocks.at(row / kBlockRows).at(row % kBlockRows);
    }
    [[nodiscard]] const T& operator[](qsizetype row) const { return at(row); }
    [[nodiscard]] const T& constFirst() const { return at(0); }
    [[nodiscard]] const T& constLast() const { return at(m_size - 1); }
    [[nodiscard]] const T& first() const { return at(0); }
    [[nodiscard]] const T& last() const { return at(m_size - 1); }
    [[nodiscard]] const_iterator begin() const { return {this, 0}; }
    [[nodiscard]] const_iterator end() const { return {this, m_size}; }
    [[nodiscard]] const_iterator cbegin() const { return begin(); }
    [[nodiscard]] const_iterator cend() const { return end(); }

    // The row to change in place; its block is copied first when a copy shares it.
    [[nodiscard]] T& edit(qsizetype row)
    {
        Q_ASSERT(row >= 0 && row < m_size);
        return m_blocks[row / kBlockRows][row % kBlockRows];
    }
    void replace(qsizetype row, T value) { edit(row) = std::move(value); }

    void append(T value)
    {
        if (m_size % kBlockRows == 0) {
            m_blocks.append(QList<T>());
            m_blocks.last().reserve(kBlockRows);
        }
        m_blocks.last().append(std::move(value));
        ++m_size;
    }

    // `count` copies of `value` before `row` (size(): at the end).
    void insert(qsizetype row, qsizetype count, const T& value)
    {
        Q_ASSERT(row >= 0 && row <= m_size && count >= 0);
        if (row == m_size) {
            for (qsizetype i = 0; i < count; ++i)
                append(value);
            return;
        }
        QList<T> tail = takeFrom(row);
        tail.insert(0, count, value);
        appendAll(tail);
    }
    void insert(qsizetype row, T value) { insert(row, 1, std::move(value)); }

    void remove(qsizetype row, qsizetype count = 1)
    {
        Q_ASSERT(row >= 0 && count >= 0 && row + count <= m_size);
        if (count == 0)
            return;
        QList<T> tail = takeFrom(row);
        tail.remove(0, count);
        appendAll(tail);
    }
    void removeAt(qsizetype row) { remove(row, 1); }
    void removeLast() { remove(m_size - 1, 1); }

    void clear()
    {
        m_blocks.clear();
        m_size = 0;
    }

    [[nodiscard]] QList<T> toList() const
    {
        QList<T> rows;
        rows.reserve(m_size);
        for (const QList<T>& block : m_blocks)
            rows.append(block);
        return rows;
    }

    friend bool operator==(const SharedBlocks& a, const SharedBlocks& b)
    {
        // Blocks that copies share are equal without a look at their rows.
        return a.m_size == b.m_size && a.m_blocks == b.m_blocks;
    }

private:
    // Removes rows `row` onwards and gives them back.
    QList<T> takeFrom(qsizetype row)
    {
        const qsizetype first = row / kBlockRows;
        QList<T> tail;
        tail.reserve(m_size - row);
        for (qsizetype b = first; b < m_blocks.size(); ++b) {
            const QList<T>& block = m_blocks.at(b);
            const qsizetype from = b == first ? row % kBlockRows : 0;
            std::copy(block.cbegin() + from, block.cend(), std::back_inserter(tail));
        }
        m_blocks.resize(first + 1);
        m_blocks.last().resize(row % kBlockRows);
        if (m_blocks.last().isEmpty())
            m_blocks.removeLast();
        m_size = row;
        return tail;
    }
    void appendAll(const QList<T>& rows)
    {
        for (const T& value : rows)
            append(value);
    }

    QList<QList<T>> m_blocks;
    qsizetype m_size = 0;
};
