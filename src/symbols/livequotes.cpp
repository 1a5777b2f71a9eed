#include "symbols/livequotes.h"

#include <QByteArrayMatcher>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace LiveQuotes {

namespace {

constexpr int SymbolField = 1;
constexpr int PriceField = 4;
constexpr int QuantityField = 5;

struct Field
{
    const char *begin;
    const char *end;
    [[nodiscard]] QString text() const { return QString::fromUtf8(begin, int(end - begin)); }
};
constexpr int FieldsUsed = QuantityField + 1;

// The first FieldsUsed comma-separated fields of [begin, end); false when the line has fewer.
// Commas are ASCII, so cutting the bytes before decoding gives what decoding first would.
bool splitFields(const char *begin, const char *end, Field (&fields)[FieldsUsed])
{
    for (int i = 0; i < FieldsUsed; ++i) {
        const auto *comma = static_cast<const char *>(std::memchr(begin, ',', std::size_t(end - begin)));
        fields[i] = {begin, comma ? comma : end};
        if (!comma)
            return i == FieldsUsed - 1;
        begin = comma + 1;
    }
    return true;
}

}

QHash<QString, Quote> firstQuotes(const QByteArray &reply)
{
    const char *const data = reply.constData();
    const auto *nul = static_cast<const char *>(std::memchr(data, '\0', std::size_t(reply.size())));
    const char *const stop = nul ? nul : data + reply.size();
    static const QByteArrayMatcher failed(QByteArrayLiteral("Failed"));

    QHash<QString, Quote> quotes;
    quotes.reserve(int(std::count(data, stop, '\n')));
    const char *line = data;
    // Only lines ended by a line feed count; the piece after the last one is not a line.
    while (const auto *feed = static_cast<const char *>(std::memchr(line, '\n', std::size_t(stop - line)))) {
        const char *begin = line;
        const char *end = feed;
        line = feed + 1;
        if (failed.indexIn(begin, int(end - begin)) >= 0)
            continue;
        if (end > begin && end[-1] == '\r')
            --end;
        Field fields[FieldsUsed];
        if (!splitFields(begin, end, fields))
            continue;
        // One lookup: a symbol already present keeps its first line.
        const int known = quotes.size();
        Quote &quote = quotes[fields[SymbolField].text()];
        if (quotes.size() == known)
            continue;
        quote = {fields[PriceField].text(), fields[QuantityField].text()};
    }
    return quotes;
}

float value(const QString &text)
{
    // Prices and quantities are plain decimals ("-?[0-9]+(.[0-9]+)?"); those are read without
    // the locale machinery of toFloat(), to the same correctly rounded result. Anything else
    // goes to toFloat().
    constexpr int PlainLimit = 32;
    const int size = text.size();
    if (size == 0 || size >= PlainLimit)
        return text.toFloat();
    char digits[PlainLimit];
    bool seenDot = false;
    for (int i = 0; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        const bool digit = c >= u'0' && c <= u'9';
        const bool sign = c == u'-' && i == 0 && size > 1;
        const bool dot = c == u'.' && !seenDot && i > 0 && digits[i - 1] != '-' && i + 1 < size;
        if (!digit && !sign && !dot)
            return text.toFloat();
        seenDot = seenDot || dot;
        digits[i] = char(c);
    }
    double number = 0;
    if (std::from_chars(digits, digits + size, number).ec != std::errc())
        return text.toFloat();
    return float(number);
}

}
