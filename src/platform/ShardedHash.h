#pragma once

#include <QHash>
#include <QtGlobal>

#include <array>

// A hash table in many small tables, chosen by the key's hash.
//
// One QHash doubles all at once when it fills: at a day's 32,768 transcript lines that is one
// insert taking several milliseconds, and the tables keyed by line id all double on the same
// line. Here each insert can grow only the small table it lands in, an n/64th of the work; the
// small tables fill evenly, so they grow one by one on later inserts.
template <typename Key, typename Value, size_t Shards = 64> class ShardedHash {
    static_assert((Shards & (Shards - 1)) == 0, "a power of two, so a shard is picked by a mask");

public:
    [[nodiscard]] qsizetype size() const { return m_size; }
    [[nodiscard]] bool isEmpty() const { return m_size == 0; }

    // The value under `key`, null when there is none. Valid until the next change.
    [[nodiscard]] const Value* find(const Key& key) const
    {
        const QHash<Key, Value>& shard = shardOf(key);
        const auto found = shard.constFind(key);
        return found == shard.constEnd() ? nullptr : &found.value();
    }
    [[nodiscard]] Value* find(const Key& key)
    {
        QHash<Key, Value>& shard = shardOf(key);
        const auto found = shard.find(key);
        return found == shard.end() ? nullptr : &found.value();
    }
    // The value under `key`, made with its default first when there is none.
    Value& operator[](const Key& key)
    {
        QHash<Key, Value>& shard = shardOf(key);
        const qsizetype before = shard.size();
        Value& value = shard[key];
        m_size += shard.size() - before;
        return value;
    }
    [[nodiscard]] bool contains(const Key& key) const { return shardOf(key).contains(key); }
    [[nodiscard]] Value value(const Key& key, const Value& otherwise = Value()) const
    {
        const Value* found = find(key);
        return found ? *found : otherwise;
    }

    // All of it as one table.
    [[nodiscard]] QHash<Key, Value> toHash() const
    {
        QHash<Key, Value> all;
        all.reserve(m_size);
        for (const QHash<Key, Value>& shard : m_shards)
            all.insert(shard);
        return all;
    }

    void insert(const Key& key, Value value)
    {
        QHash<Key, Value>& shard = shardOf(key);
        const qsizetype before = shard.size();
        shard.insert(key, std::move(value));
        m_size += shard.size() - before;
    }
    bool remove(const Key& key)
    {
        if (!shardOf(key).remove(key))
            return false;
        --m_size;
        return true;
    }
    void clear()
    {
        for (QHash<Key, Value>& shard : m_shards)
            shard.clear();
        m_size = 0;
    }
    // Room for `count` keys in all, spread evenly.
    void reserve(qsizetype count)
    {
        for (QHash<Key, Value>& shard : m_shards)
            shard.reserve(count / qsizetype(Shards) + 1);
    }

private:
    // The table's own hash picks the bucket from the low bits; the shard takes the high ones, so
    // keys in one shard still spread over its buckets.
    static size_t shardIndex(const Key& key) { return (qHash(key, 0) >> 24) & (Shards - 1); }
    [[nodiscard]] const QHash<Key, Value>& shardOf(const Key& key) const { return m_shards[shardIndex(key)]; }
    [[nodiscard]] QHash<Key, Value>& shardOf(const Key& key) { return m_shards[shardIndex(key)]; }

    std::array<QHash<Key, Value>, Shards> m_shards;
    qsizetype m_size = 0;
};
