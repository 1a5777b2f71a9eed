#pragma once

#include <QByteArray>

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

// One complete line of a reply.
struct Line
{
    std::string_view text;          // without the line feed and a "\r" right before it
    bool failed = false;            // a service error line: it holds "Failed"
    bool shown = false;             // before the reply's first NUL, as far as the table reads
    bool hasComma = false;
    std::string_view symbol;        // field 1, up to its first NUL
    std::size_t symbolEnd = std::string_view::npos; // the comma after field 1, if any
};

// What marks a service error line wherever it stands.
constexpr std::string_view FailedWord = "Failed";

// Where the next FailedWord starts at or after from, or stop when there is none.
[[nodiscard]] const char *nextFailed(const char *from, const char *stop);

// Calls visit(const Line &) for every line-feed-terminated line of the reply, in order, and
// counts them into tally (all but `selected`). The piece after the last line feed is not a line.
template <typename Visit>
void forEachLine(const QByteArray &reply, Tally &tally, Visit &&visit)
{
    const char *const data = reply.constData();
    const char *const stop = data + reply.size();
    const auto *nul = static_cast<const char *>(std::memchr(data, '\0', std::size_t(reply.size())));
    const char *const shownStop = nul ? nul : stop;
    constexpr auto None = std::string_view::npos;
    // Error lines are rare: the reply is searched for them as a whole, not line by line.
    const char *failedAt = nextFailed(data, stop);
    for (const char *next = data; next < stop;) {
        const auto *lineFeed = static_cast<const char *>(std::memchr(next, '\n', std::size_t(stop - next)));
        if (!lineFeed)
            break;
        const char *end = lineFeed;
        if (end > next && end[-1] == '\r')
            --end;
        Line line;
        line.text = std::string_view(next, std::size_t(end - next));
        line.shown = lineFeed < shownStop;
        next = lineFeed + 1;
        if (tally.lines++ == 0)
            tally.firstLineEnd = int(line.text.size());
        if (failedAt < line.text.data())
            failedAt = nextFailed(line.text.data(), stop);
        line.failed = end - failedAt >= std::ptrdiff_t(FailedWord.size());
        tally.failed += line.failed;
        const std::size_t comma = line.text.find(',');
        line.hasComma = comma != None;
        if (line.hasComma) {
            line.symbolEnd = line.text.find(',', comma + 1);
            const std::size_t symbolSize = line.symbolEnd == None ? None : line.symbolEnd - comma - 1;
            line.symbol = line.text.substr(comma + 1, symbolSize);
            // The field ends at its first NUL, like a C string; a shown line holds none.
            if (!line.shown)
                line.symbol = line.symbol.substr(0, line.symbol.find('\0'));
        }
        visit(static_cast<const Line &>(line));
    }
}

// The price (field 4) and quantity (field 5) of a quote line; false when it has fewer than six
// fields.
[[nodiscard]] bool quoteFields(const Line &line, std::string_view &price, std::string_view &quantity);
// All after the second comma of a service error line ("Failed,<symbol>,<reason>"); false when it
// has no second comma.
[[nodiscard]] bool failureReason(const Line &line, std::string_view &reason);

// Single-precision value of a price or quantity as the table compares them: the text decoded
// from UTF-8 and read as a number; text that is not a number counts as 0.
[[nodiscard]] float value(std::string_view text);

}
