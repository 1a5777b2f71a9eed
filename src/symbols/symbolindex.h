#pragma once

#include "symbols/sse2.h"

#include <QtAlgorithms>
#include <QtGlobal>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Symbol bytes -> a dense number (0, 1, 2, ... in the order added), looked up straight from a
// field of a reply: no key object is built, and a symbol that is not there costs one hash and,
// mostly, one look at a byte. Open addressing over a table at most half full.
class SymbolIndex
{
public:
    void clear()
    {
        m_bytes.clear();
        m_spans.clear();
        m_tags.clear();
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
        const quint8 tag = tagOf(hash);
        std::size_t at = placeOf(hash);
#ifdef TICKVANE_SSE2
        // Sixteen places at a time: a symbol that is not there mostly ends at the first look,
        // without a branch per place that the processor cannot foretell.
        const __m128i tags = _mm_set1_epi8(char(tag));
        const __m128i free = _mm_setzero_si128();
        for (;; at = (at + Group) & m_mask) {
            const __m128i group = _mm_loadu_si128(reinterpret_cast<const __m128i *>(m_tags.data() + at));
            const auto frees = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(group, free)));
            auto matches = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(group, tags)));
            if (frees)
                matches &= (frees & (0u - frees)) - 1;
            for (; matches; matches &= matches - 1) {
                const Entry &entry = m_table[(at + qCountTrailingZeroBits(matches)) & m_mask];
                if (entry.hash == quint32(hash) && sameBytes(symbol, this->symbol(entry.number)))
                    return entry.number;
            }
            if (frees)
                return -1;
        }
#else
        for (;; at = (at + 1) & m_mask) {
            const quint8 seen = m_tags[at];
            if (seen == 0)
                return -1;
            if (seen != tag)
                continue;
            const Entry &entry = m_table[at];
            if (entry.hash == quint32(hash) && sameBytes(symbol, this->symbol(entry.number)))
                return entry.number;
        }
#endif
    }

    // Equal bytes, compared a word at a time: symbols are short, a library call costs more.
    static bool sameBytes(std::string_view a, std::string_view b)
    {
        const std::size_t size = a.size();
        if (size != b.size())
            return false;
        if (size < 8) {
            if (size >= 4) {
                // Two words of four, the second overlapping the first.
                quint32 a1, a2, b1, b2;
                std::memcpy(&a1, a.data(), 4);
                std::memcpy(&b1, b.data(), 4);
                std::memcpy(&a2, a.data() + size - 4, 4);
                std::memcpy(&b2, b.data() + size - 4, 4);
                return ((a1 ^ b1) | (a2 ^ b2)) == 0;
            }
            for (std::size_t i = 0; i < size; ++i) {
                if (a[i] != b[i])
                    return false;
            }
            return true;
        }
        const auto word = [](const char *at) {
            quint64 value;
            std::memcpy(&value, at, 8);
            return value;
        };
        // The last word may overlap the one before it.
        for (std::size_t i = 0; i + 8 < size; i += 8) {
            if (word(a.data() + i) != word(b.data() + i))
                return false;
        }
        return word(a.data() + size - 8) == word(b.data() + size - 8);
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
    static constexpr std::size_t Group = 16;

    struct Entry
    {
        quint32 hash = 0;
        int number = -1;
    };

    // A word at a time, straight from a field of the reply. Each word has its own multiply, so
    // they run side by side rather than one after another; the last word may overlap the one
    // before it, which avoids a byte loop. The top bits pick the place.
    static quint64 hashOf(std::string_view bytes)
    {
        constexpr quint64 Seeds[] = {0x517cc1b727220a95ull, 0x9e3779b97f4a7c15ull, 0xc2b2ae3d27d4eb4full};
        const char *const at = bytes.data();
        const std::size_t size = bytes.size();
        const auto word = [at](std::size_t offset) {
            quint64 value;
            std::memcpy(&value, at + offset, 8);
            return value;
        };
        quint64 hash = quint64(size) * 0x165667b19e3779f9ull;
        if (size >= 8) {
            std::size_t offset = 0;
            int seed = 0;
            for (; offset + 8 < size; offset += 8, seed = (seed + 1) % 3)
                hash ^= (word(offset) ^ quint64(offset)) * Seeds[seed];
            hash ^= (word(size - 8) + 1) * Seeds[seed];
        } else if (size >= 4) {
            quint32 low;
            quint32 high;
            std::memcpy(&low, at, 4);
            std::memcpy(&high, at + size - 4, 4);
            hash ^= (quint64(high) << 32 | low) * Seeds[0];
        } else if (size > 0) {
            const quint64 bytes3 = quint64(quint8(at[0])) | quint64(quint8(at[size / 2])) << 8
                | quint64(quint8(at[size - 1])) << 16;
            hash ^= bytes3 * Seeds[0];
        }
        return hash ^ (hash >> 29) ^ (hash >> 47);
    }

    [[nodiscard]] std::size_t placeOf(quint64 hash) const { return std::size_t(hash >> m_shift); }
    // Never 0, which marks a free place; the low bits, as the top ones pick the place.
    static quint8 tagOf(quint64 hash) { return quint8(0x80 | (hash & 0x7f)); }

    void place(quint64 hash, int number)
    {
        std::size_t at = placeOf(hash);
        while (m_tags[at] != 0)
            at = (at + 1) & m_mask;
        m_tags[at] = tagOf(hash);
        // The first places are repeated after the last, so a group read near the end wraps.
        if (at < Group)
            m_tags[m_table.size() + at] = tagOf(hash);
        m_table[at] = {quint32(hash), number};
    }

    void rehash(std::size_t size)
    {
        m_tags.assign(size + Group, 0);
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
    // A byte per place, looked at before the place itself: a symbol that is not there is
    // mostly answered from these, which stay in the nearest cache.
    std::vector<quint8> m_tags;
    std::vector<Entry> m_table;
    std::size_t m_mask = 0;
    int m_shift = 64;
};
