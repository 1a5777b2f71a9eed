#include "symbols/livequotes.h"

#include <QString>

#include <charconv>
#include <cstring>

namespace LiveQuotes {

const char *nextFailed(const char *from, const char *stop)
{
    // Quote lines hold hardly any lower-case letter: a search for the "l" of "Failed" runs at
    // memchr's speed, where one for its "F" would stop in every "NIFTY".
    constexpr std::size_t Anchor = 3;
    if (stop - from < std::ptrdiff_t(FailedWord.size()))
        return stop;
    for (const char *at = from + Anchor; at < stop;) {
        at = static_cast<const char *>(std::memchr(at, FailedWord[Anchor], std::size_t(stop - at)));
        if (!at)
            break;
        const char *const begin = at - Anchor;
        if (stop - begin >= std::ptrdiff_t(FailedWord.size())
            && std::memcmp(begin, FailedWord.data(), FailedWord.size()) == 0)
            return begin;
        ++at;
    }
    return stop;
}

bool quoteFields(const Line &line, std::string_view &price, std::string_view &quantity)
{
    constexpr auto None = std::string_view::npos;
    const std::string_view text = line.text;
    // Fields 2 and 3 lie between the symbol and the price.
    std::size_t comma = line.symbolEnd;
    for (int i = 0; i < 2 && comma != None; ++i)
        comma = text.find(',', comma + 1);
    if (comma == None)
        return false;
    const std::size_t priceEnd = text.find(',', comma + 1);
    if (priceEnd == None)
        return false;
    const std::size_t quantityEnd = text.find(',', priceEnd + 1);
    price = text.substr(comma + 1, priceEnd - comma - 1);
    quantity = text.substr(priceEnd + 1, quantityEnd == None ? None : quantityEnd - priceEnd - 1);
    return true;
}

bool failureReason(const Line &line, std::string_view &reason)
{
    if (line.symbolEnd == std::string_view::npos)
        return false;
    reason = line.text.substr(line.symbolEnd + 1);
    return true;
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
