#pragma once

#include <QByteArray>
#include <QtAlgorithms>

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

// One complete line of a reply, as the import filter and the display table both read it.
struct Line
{
    const char *begin = nullptr;
    int length = 0;          // without the line feed and a "\r" right before it
    bool failed = false;     // a service error line: it holds "Failed"
    bool shown = false;      // before the reply's first NUL, as far as the table reads
    bool hasComma = false;
    std::string_view symbol; // field 1, up to its first NUL
    const char *afterSymbol = nullptr; // the comma that ends field 1, or null
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
        const auto *lineFeed = static_cast<const char *>(std::memchr(next, '\n', std::size_t(stop - next)));
        if (!lineFeed)
            break;
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
        const char *comma = nextComma(line.begin, end);
        line.hasComma = comma != nullptr;
        if (comma) {
            const char *const field = comma + 1;
            const char *fieldEnd = nextComma(field, end);
            line.afterSymbol = fieldEnd;
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
            line.afterSymbol = nullptr;
        }
        visit(static_cast<const Line &>(line));
    }
}

// The price (field 4) and quantity (field 5) of a shown quote line; false when it has fewer than
// six fields.
[[nodiscard]] bool quoteFields(const Line &line, std::string_view &price, std::string_view &quantity);
// All after the second comma of a service error line ("Failed,<symbol>,<reason>"); false when it
// has no second comma.
[[nodiscard]] bool failureReason(const Line &line, std::string_view &reason);

// Collects kept lines into a buffer reused from tick to tick, each ended by lineEnd.
class LineCollector
{
public:
    // Room for all a reply of replySize bytes may keep; none when nothing can be kept.
    LineCollector(QByteArray &buffer, int replySize, const QByteArray &lineEnd, bool anyKept);
    void add(const Line &line)
    {
        std::memcpy(m_out, line.begin, std::size_t(line.length));
        m_out += line.length;
        std::memcpy(m_out, m_lineEnd.constData(), std::size_t(m_lineEnd.size()));
        m_out += m_lineEnd.size();
    }
    // Cuts the buffer to what was kept.
    void finish() { m_buffer.truncate(int(m_out - m_buffer.constData())); }

private:
    QByteArray &m_buffer;
    const QByteArray &m_lineEnd;
    char *m_out;
};

// Single-precision value of a price or quantity as the table compares them: the text decoded
// from UTF-8 and read as a number; text that is not a number counts as 0.
[[nodiscard]] float value(std::string_view text);

}
