// The one-pass reader of live replies against a plain reading of the import rule: the lines kept
// for AmiBroker (by the import filter and by the display table's pass), the tally and the cells.
//
// Input: a flags byte (1: "\r\n" line ends, 2: no selection at all, 4: a first tick with the
// reply's first half), the length of the selection text, the selection text (symbols apart by
// "\n", empty ones kept), then the reply.
#include "feed/liveimport.h"
#include "symbols/displaycolumns.h"
#include "symbols/displaytablemodel.h"
#include "symbols/livequotes.h"
#include "symbols/replypass.h"
#include "symbols/selection.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void fail(const char *what, const std::string &got, const std::string &wanted)
{
    std::fprintf(stderr, "%s differs\n  reader: %s\n  rule:   %s\n", what,
                 QByteArray::fromStdString(got).toPercentEncoding().constData(),
                 QByteArray::fromStdString(wanted).toPercentEncoding().constData());
    std::abort();
}

void expectSame(const char *what, const std::string &got, const std::string &wanted)
{
    if (got != wanted)
        fail(what, got, wanted);
}

void expectSame(const char *what, long long got, long long wanted)
{
    if (got != wanted)
        fail(what, std::to_string(got), std::to_string(wanted));
}

std::vector<std::string> split(const std::string &text, char separator)
{
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// What the import rule says of one reply, read the slow and obvious way.
struct Reading
{
    std::string kept;
    LiveQuotes::Tally tally;
    std::map<std::string, std::pair<std::string, std::string>> quotes; // symbol -> its first price, quantity
    std::vector<std::string> figures;                                  // every price and quantity shown
};

Reading readByRule(const std::string &reply, const std::set<std::string> &symbols, const std::string &lineEnd)
{
    Reading reading;
    // The table reads up to the reply's first NUL.
    const std::size_t shownStop = std::min(reply.find('\0'), reply.size());
    std::size_t start = 0;
    for (std::size_t feed; (feed = reply.find('\n', start)) != std::string::npos; start = feed + 1) {
        std::string line = reply.substr(start, feed - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (reading.tally.lines++ == 0)
            reading.tally.firstLineEnd = int(line.size());
        const bool failed = line.find("Failed") != std::string::npos;
        reading.tally.failed += failed;
        const std::vector<std::string> fields = split(line, ',');
        if (failed || fields.size() < 2)
            continue;
        const std::string symbol = fields[1].substr(0, fields[1].find('\0'));
        if (symbols.count(symbol) == 0)
            continue;
        reading.kept += line + lineEnd;
        ++reading.tally.selected;
        if (feed < shownStop && fields.size() >= 6) {
            reading.quotes.insert({symbol, {fields[4], fields[5]}});
            reading.figures.push_back(fields[4]);
            reading.figures.push_back(fields[5]);
        }
    }
    return reading;
}

std::string bytesOf(const QByteArray &bytes)
{
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// A reply alone in a heap block of its exact size: a read past its end is a reported overread.
class ExactBlock
{
public:
    explicit ExactBlock(const std::string &bytes)
        : m_data(new char[bytes.size()])
    {
        std::memcpy(m_data.get(), bytes.data(), bytes.size());
        m_bytes = QByteArray::fromRawData(m_data.get(), int(bytes.size()));
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    std::unique_ptr<char[]> m_data;
    QByteArray m_bytes;
};

void checkTally(const char *who, const LiveQuotes::Tally &got, const LiveQuotes::Tally &wanted)
{
    const std::string prefix(who);
    expectSame((prefix + " lines").c_str(), got.lines, wanted.lines);
    expectSame((prefix + " selected").c_str(), got.selected, wanted.selected);
    expectSame((prefix + " failed").c_str(), got.failed, wanted.failed);
    expectSame((prefix + " first line end").c_str(), got.firstLineEnd, wanted.firstLineEnd);
}

bool sameFloat(float a, float b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const unsigned flags = data[0];
    const std::size_t selectionSize = std::min<std::size_t>(data[1], size - 2);
    const std::string selectionText(reinterpret_cast<const char *>(data) + 2, selectionSize);
    const std::string reply(reinterpret_cast<const char *>(data) + 2 + selectionSize, size - 2 - selectionSize);
    const std::string lineEnd = (flags & 1) ? "\r\n" : "\n";
    const QByteArray lineEndBytes = QByteArray::fromStdString(lineEnd);

    QStringList symbols;
    if (!(flags & 2)) {
        for (const std::string &symbol : split(selectionText, '\n'))
            symbols << QString::fromUtf8(symbol.data(), int(symbol.size()));
    }
    QStringList exchanges;
    for (int i = 0; i < symbols.size(); ++i)
        exchanges << QStringLiteral("NSE");
    Selection selection;
    selection.assign(symbols, exchanges);
    std::set<std::string> symbolBytes;
    for (const QString &symbol : symbols)
        symbolBytes.insert(bytesOf(symbol.toUtf8()));

    DisplayTableModel model(selection);
    model.rebuild();
    // Each row shows the latest tick's first quote of its symbol, else what it showed before.
    std::vector<std::pair<std::string, std::string>> cells(std::size_t(symbols.size()), {"0", "0"});
    QByteArray filtered;
    QByteArray kept;
    // The feed's pass over the selection, kept from tick to tick as the feed keeps it.
    LiveReplyPass pass(selection);
    std::vector<std::string> ticks;
    if (flags & 4)
        ticks.push_back(reply.substr(0, reply.size() / 2));
    ticks.push_back(reply);
    for (const std::string &tick : ticks) {
        const Reading wanted = readByRule(tick, symbolBytes, lineEnd);
        const ExactBlock block(tick);

        LiveQuotes::Tally filterTally;
        LiveImport::selectLines(block.bytes(), selection.symbolBytes(), filtered, &filterTally, lineEndBytes);
        expectSame("import filter lines", bytesOf(filtered), wanted.kept);
        checkTally("import filter", filterTally, wanted.tally);

        pass.read(block.bytes(), &kept, lineEndBytes);
        const LiveQuotes::Tally tableTally = pass.tally();
        model.apply(pass);
        expectSame("table pass lines", bytesOf(kept), wanted.kept);
        checkTally("table pass", tableTally, wanted.tally);

        for (int row = 0; row < symbols.size(); ++row) {
            const auto quote = wanted.quotes.find(bytesOf(symbols.at(row).toUtf8()));
            if (quote != wanted.quotes.end())
                cells[std::size_t(row)] = quote->second;
            const auto cell = [&](int column) {
                return bytesOf(model.index(row, column).data().toString().toUtf8());
            };
            const auto decoded = [](const std::string &text) { return bytesOf(QString::fromStdString(text).toUtf8()); };
            expectSame("price cell", cell(DisplayColumns::PriceColumn), decoded(cells[std::size_t(row)].first));
            expectSame("quantity cell", cell(DisplayColumns::QuantityColumn), decoded(cells[std::size_t(row)].second));
        }
        // The table compares figures by value: the decoded text read as a number, whatever the path.
        for (const std::string &figure : wanted.figures) {
            const float fast = LiveQuotes::value(figure);
            const float slow = QString::fromStdString(figure).toFloat();
            if (!sameFloat(fast, slow))
                fail("value", figure + " read as " + std::to_string(fast), std::to_string(slow));
        }
    }
    return 0;
}
