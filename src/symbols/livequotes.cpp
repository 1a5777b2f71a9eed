#include "symbols/livequotes.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

namespace LiveQuotes {

const char *nextFailed(const char *from, const char *stop)
{
    // Quote lines hold hardly any lower-case letter: a scan for the "l" of "Failed" runs at the
    // speed of memchr, where a general search would step through every line.
    static constexpr char Word[] = "Failed";
    constexpr std::ptrdiff_t Size = sizeof(Word) - 1;
    constexpr std::ptrdiff_t Anchor = 3;
    if (stop - from < Size)
        return stop;
    for (const char *at = from + Anchor; at < stop;) {
        at = static_cast<const char *>(std::memchr(at, Word[Anchor], std::size_t(stop - at)));
        if (!at)
            break;
        const char *const begin = at - Anchor;
        if (stop - begin >= Size && std::memcmp(begin, Word, std::size_t(Size)) == 0)
            return begin;
        ++at;
    }
    return stop;
}

bool Line::quoteFieldsApart(std::string_view &price, std::string_view &quantity) const
{
    const char *const end = begin + length;
    // Fields 2 and 3 lie between the symbol and the price.
    const char *comma = m_afterSymbol;
    for (int i = 0; i < 2 && comma; ++i)
        comma = commaAfter(comma + 1);
    if (!comma)
        return false;
    const char *const priceBegin = comma + 1;
    const char *const priceEnd = commaAfter(priceBegin);
    if (!priceEnd)
        return false;
    const char *const quantityBegin = priceEnd + 1;
    const char *const quantityEnd = commaAfter(quantityBegin);
    price = std::string_view(priceBegin, std::size_t(priceEnd - priceBegin));
    quantity = std::string_view(quantityBegin, std::size_t((quantityEnd ? quantityEnd : end) - quantityBegin));
    return true;
}

bool failureReason(const Line &line, std::string_view &reason)
{
    const char *const end = line.begin + line.length;
    const char *first = nextComma(line.begin, end);
    const char *second = first ? nextComma(first + 1, end) : nullptr;
    if (!second)
        return false;
    reason = std::string_view(second + 1, std::size_t(end - second - 1));
    return true;
}

namespace {

// The most a QByteArray holds on either Qt, its header and terminator set aside.
constexpr qint64 MaxBufferSize = std::numeric_limits<int>::max() - 64;

}

LineCollector::LineCollector(QByteArray &buffer, qint64 replySize, const QByteArray &lineEnd, bool anyKept)
    : m_buffer(buffer)
    , m_lineEnd(lineEnd)
{
    // A kept line holds a comma and its line feed, so a reply has at most one per two bytes, and
    // each may gain the extra bytes of lineEnd. Reckoned in 64 bits: it passes 2 GB for a 1.4 GB
    // reply.
    const qint64 widening = (lineEnd.size() - 1) * (replySize / 2 + 1);
    const qint64 room = anyKept ? replySize + std::max<qint64>(widening, 0) : 0;
    m_buffer.resize(int(std::min(room, MaxBufferSize)));
    m_out = m_buffer.data();
    m_stop = m_out + m_buffer.size();
}

void LineCollector::grow(std::size_t needed)
{
    const qint64 used = m_out - m_buffer.constData();
    const qint64 wanted = std::max(used + qint64(needed), qint64(m_buffer.size()) * 2);
    if (used + qint64(needed) > MaxBufferSize)
        qBadAlloc();
    m_buffer.resize(int(std::min(wanted, MaxBufferSize)));
    m_out = m_buffer.data() + used;
    m_stop = m_buffer.data() + m_buffer.size();
}

float value(std::string_view text)
{
    // Prices and quantities are plain decimals ("-?[0-9]+(.[0-9]+)?"); those are read without
    // decoding and the locale machinery of toFloat(), to the same correctly rounded result.
    // Anything else goes the long way.
    const auto slow = [text] { return QString::fromUtf8(text.data(), int(text.size())).toFloat(); };
    constexpr std::size_t PlainLimit = 32;
    const std::size_t size = text.size();
    if (size == 0 || size >= PlainLimit)
        return slow();
    // Runs of digits rather than a test per byte for each kind of character.
    const char *at = text.data();
    const char *const end = at + size;
    const bool negative = *at == '-';
    at += negative;
    quint64 mantissa = 0;
    int significant = 0;
    const auto digits = [&at, end, &mantissa, &significant] {
        const char *const first = at;
        for (; at < end && unsigned(*at - '0') < 10u; ++at) {
            mantissa = mantissa * 10 + quint64(*at - '0');
            significant += mantissa > 0;
        }
        return int(at - first);
    };
    if (digits() == 0)
        return slow();
    int decimals = 0;
    if (at < end) {
        if (*at != '.')
            return slow();
        ++at;
        decimals = digits();
        if (decimals == 0 || at < end)
            return slow();
    }
    // Up to 15 digits over a power of ten up to 1e22: both are exact doubles, so one division
    // rounds correctly, as the full conversion does.
    static constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (significant <= 15 && decimals <= 22) {
        // A quantity has no decimals: a division costs more than the rest of the reading.
        const double number = decimals == 0 ? double(mantissa) : double(mantissa) / powersOfTen[decimals];
        return float(negative ? -number : number);
    }
    double number = 0;
    if (std::from_chars(text.data(), text.data() + size, number).ec != std::errc())
        return slow();
    return float(number);
}

}
