#pragma once

#include <QtGlobal>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Symbol bytes -> a dense number (0, 1, 2, ... in the order added), looked up straight from a
// field of a reply: no key object is built, and a symbol that is not there costs one hash and,
// mostly, one probe. Open addressing over a table at most half full.
class SymbolIndex
{
public:
    void clear()
    {
        m_bytes.clear();
        m_spans.clear();
        m_table.clear();
        m_mask = 0;
        m_shift = 64;
    }

    // Room for count symbols without growing.
    void reserve(std::size_t count)
    {
        m_spans.reserve(count);
        std::size_t size = 16;
        while (size < count * 2)
            size *= 2;
        if (size > m_table.size())
            rehash(size);
    }

    [[nodiscard]] std::size_t size() const { return m_spans.size(); }
    [[nodiscard]] std::string_view symbol(int number) const
    {
        const Span &span = m_spans[std::size_t(number)];
        return std::string_view(m_bytes.data() + span.offset, span.size);
    }

    // The symbol's number, or -1.
    [[nodiscard]] int find(std::string_view symbol) const
    {
        if (m_table.empty())
            return -1;
        const quint64 hash = hashOf(symbol);
        for (std::size_t at = placeOf(hash);; at = (at + 1) & m_mask) {
            const Entry &entry = m_table[at];
            if (entry.number < 0)
                return -1;
            if (entry.hash == quint32(hash) && symbol == this->symbol(entry.number))
                return entry.number;
        }
    }

    // The symbol's number, added when it is new.
    int insert(std::string_view symbol)
    {
        const int known = find(symbol);
        if (known >= 0)
            return known;
        if ((m_spans.size() + 1) * 2 > m_table.size())
            rehash(m_table.empty() ? 16 : m_table.size() * 2);
        const int number = int(m_spans.size());
        m_spans.push_back({m_bytes.size(), symbol.size()});
        m_bytes.append(symbol);
        place(hashOf(symbol), number);
        return number;
    }

private:
    struct Entry
    {
        quint32 hash = 0;
        int number = -1;
    };

    // Eight bytes at a time, each word folded in with one multiply: symbols are short, and a
    // field is hashed where it lies in the reply. The top bits pick the place.
    static quint64 hashOf(std::string_view bytes)
    {
        constexpr quint64 Seed = 0x517cc1b727220a95ull;
        quint64 hash = bytes.size();
        const char *at = bytes.data();
        std::size_t left = bytes.size();
        for (; left >= 8; at += 8, left -= 8) {
            quint64 word;
            std::memcpy(&word, at, 8);
            hash = ((hash << 5 | hash >> 59) ^ word) * Seed;
        }
        if (left > 0) {
            quint64 word = 0;
            std::memcpy(&word, at, left);
            hash = ((hash << 5 | hash >> 59) ^ word) * Seed;
        }
        return hash ^ (hash >> 29);
    }

    [[nodiscard]] std::size_t placeOf(quint64 hash) const { return std::size_t(hash >> m_shift); }

    void place(quint64 hash, int number)
    {
        std::size_t at = placeOf(hash);
        while (m_table[at].number >= 0)
            at = (at + 1) & m_mask;
        m_table[at] = {quint32(hash), number};
    }

    void rehash(std::size_t size)
    {
        m_table.assign(size, Entry{});
        m_mask = size - 1;
        m_shift = 64;
        for (std::size_t bits = size; bits > 1; bits >>= 1)
            --m_shift;
        for (std::size_t i = 0; i < m_spans.size(); ++i)
            place(hashOf(symbol(int(i))), int(i));
    }

    struct Span
    {
        std::size_t offset;
        std::size_t size;
    };
    // All symbols' bytes one after another, in the order added: rows read in order stay in cache.
    std::string m_bytes;
    std::vector<Span> m_spans;
    std::vector<Entry> m_table;
    std::size_t m_mask = 0;
    int m_shift = 64;
};
