#pragma once

#include <QByteArray>

#include <string_view>

// The price and quantity of each symbol in one live reply, as the display table reads them.
namespace LiveQuotes {

struct Quote
{
    std::string_view symbol;    // field 1, the bytes as received
    std::string_view price;     // field 4
    std::string_view quantity;  // field 5
    // A service error line ("Failed,<symbol>,<reason>"), read only by a reader that asks for them:
    // symbol and reason (all after the second comma) are set, price and quantity empty.
    bool failed = false;
    std::string_view reason;
};

// Walks the reply up to its first NUL, one shown line at a time, without copying it. Only
// line-feed-terminated lines count; lines with "Failed" (service errors) or fewer than six fields
// are skipped; only a carriage return right before the line feed is not part of the line.
// Which line of a symbol wins is the reader's caller's business. The reply must outlive it.
class Reader
{
public:
    explicit Reader(const QByteArray &reply, bool withFailures = false);
    // False once no line is left.
    [[nodiscard]] bool next(Quote &quote);

private:
    const char *m_line;
    const char *m_stop;
    bool m_withFailures;
};

// Single-precision value of a price or quantity as the table compares them: the text decoded
// from UTF-8 and read as a number; text that is not a number counts as 0.
[[nodiscard]] float value(std::string_view text);

}
