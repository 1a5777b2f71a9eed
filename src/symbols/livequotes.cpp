#include "symbols/livequotes.h"

#include <QByteArrayMatcher>
#include <QString>

#include <charconv>
#include <cstring>

namespace LiveQuotes {

namespace {

constexpr int SymbolField = 1;
constexpr int PriceField = 4;
constexpr int QuantityField = 5;
constexpr int FieldsUsed = QuantityField + 1;

// The first FieldsUsed comma-separated fields of [begin, end); false when the line has fewer.
bool splitFields(const char *begin, const char *end, std::string_view (&fields)[FieldsUsed])
{
    for (int i = 0; i < FieldsUsed; ++i) {
        const auto *comma = static_cast<const char *>(std::memchr(begin, ',', std::size_t(end - begin)));
        const char *fieldEnd = comma ? comma : end;
        fields[i] = std::string_view(begin, std::size_t(fieldEnd - begin));
        if (!comma)
            return i == FieldsUsed - 1;
        begin = comma + 1;
    }
    return true;
}

}

Reader::Reader(const QByteArray &reply, bool withFailures)
    : m_line(reply.constData())
    , m_withFailures(withFailures)
{
    const auto *nul = static_cast<const char *>(std::memchr(m_line, '\0', std::size_t(reply.size())));
    m_stop = nul ? nul : m_line + reply.size();
}

bool Reader::next(Quote &quote)
{
    static const QByteArrayMatcher failed(QByteArrayLiteral("Failed"));
    while (const auto *feed = static_cast<const char *>(std::memchr(m_line, '\n', std::size_t(m_stop - m_line)))) {
        const char *begin = m_line;
        const char *end = feed;
        m_line = feed + 1;
        if (end > begin && end[-1] == '\r')
            --end;
        if (failed.indexIn(begin, int(end - begin)) >= 0) {
            if (!m_withFailures)
                continue;
            const auto *first = static_cast<const char *>(std::memchr(begin, ',', std::size_t(end - begin)));
            const auto *second = first ? static_cast<const char *>(std::memchr(first + 1, ',', std::size_t(end - first - 1)))
                                       : nullptr;
            if (!second)
                continue;
            quote = {std::string_view(first + 1, std::size_t(second - first - 1)), {}, {}, true,
                     std::string_view(second + 1, std::size_t(end - second - 1))};
            return true;
        }
        std::string_view fields[FieldsUsed];
        if (!splitFields(begin, end, fields))
            continue;
        quote = {fields[SymbolField], fields[PriceField], fields[QuantityField], false, {}};
        return true;
    }
    m_line = m_stop;
    return false;
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
    bool seenDot = false;
    bool negative = false;
    quint64 mantissa = 0;
    int significant = 0;
    int decimals = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        const bool sign = c == '-' && i == 0 && size > 1;
        const bool dot = c == '.' && !seenDot && i > 0 && text[i - 1] != '-' && i + 1 < size;
        if (!digit && !sign && !dot)
            return slow();
        negative = negative || sign;
        seenDot = seenDot || dot;
        if (digit) {
            mantissa = mantissa * 10 + quint64(c - '0');
            significant += mantissa > 0;
            decimals += seenDot;
        }
    }
    // Up to 15 digits over a power of ten up to 1e22: both are exact doubles, so one division
    // rounds correctly, as the full conversion does.
    static constexpr double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (significant <= 15 && decimals <= 22) {
        const double number = double(mantissa) / powersOfTen[decimals];
        return float(negative ? -number : number);
    }
    double number = 0;
    if (std::from_chars(text.data(), text.data() + size, number).ec != std::errc())
        return slow();
    return float(number);
}

}
