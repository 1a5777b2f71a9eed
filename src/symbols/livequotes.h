#pragma once

#include "symbols/sse2.h"

#include <QByteArray>
#include <QtAlgorithms>

#include <algorithm>
#include <cstring>
#include <string_view>

// The lines of one live reply, as the import filter and the display table read them.
namespace LiveQuotes {

// What a reply held, counted while its lines are read.
struct Tally
{
    int lines = 0;         // complete lines
    int selected = 0;      // quote lines of selected symbols
    int failed = 0;        // the vendor's error lines ("Failed")
    int firstLineEnd = -1; // where the reply's first line ends (its "\r" excluded); -1: no line
};

class Line;
template <typename Visit>
void forEachLine(const QByteArray &reply, Tally &tally, Visit &&visit);
[[nodiscard]] inline bool quoteFields(const Line &line, std::string_view &price, std::string_view &quantity);
[[nodiscard]] bool failureReason(const Line &line, std::string_view &reason);

// One complete line of a reply, as the import filter and the display table both read it. Where its
// commas lie is the reader's own business: the fields are asked for through the functions below.
class Line
{
public:
    const char *begin = nullptr;
    int length = 0;          // without the line feed and a "\r" right before it
    bool failed = false;     // a service error line: it holds "Failed"
    bool shown = false;      // before the reply's first NUL, as far as the table reads
    bool hasComma = false;
    std::string_view symbol; // field 1, up to its first NUL

private:
    template <typename Visit>
    friend void forEachLine(const QByteArray &reply, Tally &tally, Visit &&visit);
    friend bool quoteFields(const Line &line, std::string_view &price, std::string_view &quantity);
    friend bool failureReason(const Line &line, std::string_view &reason);

    // The line's first comma at or after from, or null: from the noted commas where they reach.
    [[nodiscard]] const char *commaAfter(const char *from) const;
    [[nodiscard]] bool quoteFieldsApart(std::string_view &price, std::string_view &quantity) const;

    const char *m_afterSymbol = nullptr; // the comma that ends field 1, or null
    // Bit i set where begin[i] is a comma, for i below m_commasSpan (at most 64).
    int m_commasSpan = 0;
    quint64 m_commas = 0;
};

// Where the next "Failed" starts at or after from, or stop when there is none.
[[nodiscard]] const char *nextFailed(const char *from, const char *stop);

// The next comma in [from, end), or null. Fields are short: eight bytes at a time in a register
// beats a library call.
inline const char *nextComma(const char *from, const char *end)
{
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    constexpr quint64 Ones = 0x0101010101010101ull;
    constexpr quint64 Highs = 0x8080808080808080ull;
    while (end - from >= 8) {
        quint64 word;
        std::memcpy(&word, from, 8);
        const quint64 other = word ^ (Ones * quint64(','));
        // The lowest marked byte is the first comma; marks above it may be false.
        const quint64 commas = (other - Ones) & ~other & Highs;
        if (commas)
            return from + (qCountTrailingZeroBits(commas) >> 3);
        from += 8;
    }
#endif
    for (; from < end; ++from) {
        if (*from == ',')
            return from;
    }
    return nullptr;
}

namespace Detail {

inline quint64 below(int bits)
{
    return bits >= 64 ? ~quint64(0) : (quint64(1) << bits) - 1;
}

}

inline const char *Line::commaAfter(const char *from) const
{
    const int offset = int(from - begin);
    if (offset < m_commasSpan) {
        if (const quint64 bits = m_commas & ~Detail::below(offset))
            return begin + qCountTrailingZeroBits(bits);
        from = begin + m_commasSpan;
    }
    return nextComma(from, begin + length);
}

// Calls visit(const Line &) for every line-feed-terminated line of the reply, in order, and
// counts them into tally (all but `selected`). The piece after the last line feed is not a line.
template <typename Visit>
void forEachLine(const QByteArray &reply, Tally &tally, Visit &&visit)
{
    const char *const data = reply.constData();
    const char *const stop = data + reply.size();
    const auto *nul = static_cast<const char *>(std::memchr(data, '\0', std::size_t(reply.size())));
    const char *const shownStop = nul ? nul : stop;
    // One search through the reply, not one per line: error lines are rare.
    const char *failedAt = nextFailed(data, stop);
    Line line;
    const char *next = data;
    while (next < stop) {
        // Sixteen bytes at a time (the first 64 at once), noting the commas of the line's first 64
        // bytes on the way to its line feed.
        const char *lineFeed = nullptr;
        quint64 commas = 0;
        const char *at = next;
#ifdef TICKVANE_SSE2
        const __m128i lineFeeds = _mm_set1_epi8('\n');
        const __m128i commaBytes = _mm_set1_epi8(',');
        const auto mask = [](__m128i bytes, __m128i of, int shift) {
            return quint64(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, of)))) << shift;
        };
        // Most lines end within 64 bytes: those are read without a branch per sixteen.
        if (stop - at >= 64) {
            const __m128i b0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
            const __m128i b1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 16));
            const __m128i b2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 32));
            const __m128i b3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + 48));
            const quint64 feeds = mask(b0, lineFeeds, 0) | mask(b1, lineFeeds, 16) | mask(b2, lineFeeds, 32)
                | mask(b3, lineFeeds, 48);
            commas = mask(b0, commaBytes, 0) | mask(b1, commaBytes, 16) | mask(b2, commaBytes, 32)
                | mask(b3, commaBytes, 48);
            if (feeds)
                lineFeed = at + qCountTrailingZeroBits(feeds);
            at = feeds ? lineFeed : at + 64;
        }
        for (int shift = int(at - next); !lineFeed && stop - at >= 16; at += 16, shift += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
            const auto feeds = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lineFeeds)));
            if (shift < 64)
                commas |= mask(bytes, commaBytes, shift);
            if (feeds) {
                lineFeed = at + qCountTrailingZeroBits(feeds);
                at = lineFeed;
                break;
            }
        }
#endif
        // Commas were noted up to `at`; the last bytes of a reply are searched the plain way.
        if (!lineFeed) {
            lineFeed = static_cast<const char *>(std::memchr(at, '\n', std::size_t(stop - at)));
            if (!lineFeed)
                break;
        }
        const char *end = lineFeed;
        line.begin = next;
        line.shown = lineFeed < shownStop;
        next = lineFeed + 1;
        if (end > line.begin && end[-1] == '\r')
            --end;
        line.length = int(end - line.begin);
        if (tally.lines++ == 0)
            tally.firstLineEnd = line.length;
        if (failedAt < line.begin)
            failedAt = nextFailed(line.begin, stop);
        line.failed = failedAt < end && end - failedAt >= 6;
        tally.failed += line.failed;
        line.m_commasSpan = int(std::min<std::ptrdiff_t>({at - line.begin, line.length, 64}));
        line.m_commas = commas & Detail::below(line.m_commasSpan);
        const char *comma = line.commaAfter(line.begin);
        line.hasComma = comma != nullptr;
        if (comma) {
            const char *const field = comma + 1;
            const char *fieldEnd = line.commaAfter(field);
            line.m_afterSymbol = fieldEnd;
            if (!fieldEnd)
                fieldEnd = end;
            // The field ends at its first NUL, like a C string; a shown line holds none.
            if (!line.shown) {
                if (const auto *fieldNul = static_cast<const char *>(std::memchr(field, '\0', std::size_t(fieldEnd - field))))
                    fieldEnd = fieldNul;
            }
            line.symbol = std::string_view(field, std::size_t(fieldEnd - field));
        } else {
            line.symbol = {};
            line.m_afterSymbol = nullptr;
        }
        visit(static_cast<const Line &>(line));
    }
}

// The price (field 4) and quantity (field 5) of a shown quote line; false when it has fewer than
// six fields.
[[nodiscard]] inline bool quoteFields(const Line &line, std::string_view &price, std::string_view &quantity)
{
    // Mostly read from the noted commas: 2 to 4 after the symbol's end, and the one after.
    if (line.m_afterSymbol) {
        quint64 commas = line.m_commas & ~Detail::below(int(line.m_afterSymbol - line.begin) + 1);
        commas &= commas - 1;
        if (commas) {
            const int priceAt = int(qCountTrailingZeroBits(commas)) + 1;
            commas &= commas - 1;
            if (commas) {
                const int priceEnd = int(qCountTrailingZeroBits(commas));
                commas &= commas - 1;
                if (commas || line.m_commasSpan == line.length) {
                    const int quantityEnd = commas ? int(qCountTrailingZeroBits(commas)) : line.length;
                    price = std::string_view(line.begin + priceAt, std::size_t(priceEnd - priceAt));
                    quantity = std::string_view(line.begin + priceEnd + 1, std::size_t(quantityEnd - priceEnd - 1));
                    return true;
                }
            }
        }
    }
    return line.quoteFieldsApart(price, quantity);
}
// All after the second comma of a service error line ("Failed,<symbol>,<reason>"); false when it
// has no second comma.
[[nodiscard]] bool failureReason(const Line &line, std::string_view &reason);

// Collects kept lines into a buffer reused from tick to tick, each ended by lineEnd.
class LineCollector
{
public:
    // Room for all a reply of replySize bytes may keep; none when nothing can be kept.
    LineCollector(QByteArray &buffer, qint64 replySize, const QByteArray &lineEnd, bool anyKept);
    void add(const Line &line)
    {
        const std::size_t length = std::size_t(line.length);
        const std::size_t lineEndSize = std::size_t(m_lineEnd.size());
        if (Q_UNLIKELY(std::size_t(m_stop - m_out) < length + lineEndSize))
            grow(length + lineEndSize);
        std::memcpy(m_out, line.begin, length);
        m_out += length;
        std::memcpy(m_out, m_lineEnd.constData(), lineEndSize);
        m_out += lineEndSize;
    }
    // Cuts the buffer to what was kept.
    void finish() { m_buffer.truncate(int(m_out - m_buffer.constData())); }

private:
    void grow(std::size_t needed);

    QByteArray &m_buffer;
    const QByteArray &m_lineEnd;
    char *m_out;
    char *m_stop;
};

// Single-precision value of a price or quantity as the table compares them: the text decoded
// from UTF-8 and read as a number; text that is not a number counts as 0.
[[nodiscard]] float value(std::string_view text);

}
