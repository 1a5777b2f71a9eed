// The other text that arrives from outside: watch-list files (hand-edited), the backfill reply's
// refusal lines, the archive tool's report of members it gave up on, and the vendor's version text.
//
// Input: a byte choosing the reader (its value modulo 4), then the text. The version text is split
// at its first NUL into the running and the offered version.
#include "app/archivetool.h"
#include "symbols/watchlist.h"
#include "vendor/versionrule.h"
#include "vendor/vendorservice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void expect(bool holds, const char *what, const QByteArray &input)
{
    if (holds)
        return;
    std::fprintf(stderr, "%s does not hold for: %s\n", what, input.toPercentEncoding().constData());
    std::abort();
}

bool trimmed(const QString &text)
{
    return text == text.trimmed();
}

void watchList(const QByteArray &content)
{
    const WatchList::Selection parsed = WatchList::parse(content);
    // What the program writes back reads the same again.
    const WatchList::Selection again = WatchList::parse(WatchList::format(parsed.symbols, parsed.exchanges));
    expect(again.symbols == parsed.symbols && again.exchanges == parsed.exchanges, "format after parse", content);

    QStringList left;
    const WatchList::Selection loaded = WatchList::load(content, left);
    expect(loaded.symbols.size() == loaded.exchanges.size(), "loaded lists in pairs", content);
    expect(!loaded.symbols.contains(QString()) && !left.contains(QString()), "no empty symbol loaded", content);
    // The loaded pairs are the parsed pairs of a non-empty symbol, in their order.
    int at = 0;
    for (int i = 0; i < loaded.symbols.size(); ++i, ++at) {
        while (at < parsed.symbols.size() && parsed.symbols.at(at).isEmpty())
            ++at;
        expect(at < parsed.symbols.size() && at < parsed.exchanges.size()
                   && parsed.symbols.at(at) == loaded.symbols.at(i)
                   && parsed.exchanges.at(at) == loaded.exchanges.at(i),
               "loaded pairs as parsed", content);
    }
}

void backfillReply(const QByteArray &body)
{
    const QByteArray line = Vendor::refusalLine(body);
    if (!line.isEmpty()) {
        expect(line.contains("Failed") && !line.contains('\n') && line == line.trimmed(), "refusal line", body);
        expect(body.contains(line), "refusal line from the body", body);
    }
    expect(trimmed(Vendor::refusalReason(line)) && trimmed(Vendor::refusalReason(body)), "refusal reason", body);
}

void archiveReport(const QByteArray &output)
{
    for (const ArchiveUnpack::FailedMember &member : ArchiveUnpack::failedMembers(output))
        expect(trimmed(member.name) && trimmed(member.reason), "member named", output);
}

void versions(const QByteArray &text)
{
    const int nul = text.indexOf('\0');
    const QString running = QString::fromUtf8(text.left(nul < 0 ? text.size() : nul));
    const QString latest = nul < 0 ? QString() : QString::fromUtf8(text.mid(nul + 1));
    // Compared as text, one UTF-16 unit after the other; an empty version is never offered.
    const std::u16string a(reinterpret_cast<const char16_t *>(running.utf16()), std::size_t(running.size()));
    const std::u16string b(reinterpret_cast<const char16_t *>(latest.utf16()), std::size_t(latest.size()));
    expect(Vendor::updateOffered(running, latest) == (!b.empty() && a < b), "version order", text);
    expect(!(Vendor::updateOffered(running, latest) && Vendor::updateOffered(latest, running)), "one way only", text);
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray text(reinterpret_cast<const char *>(data) + 1, int(size - 1));
    switch (data[0] % 4) {
    case 0:
        watchList(text);
        break;
    case 1:
        backfillReply(text);
        break;
    case 2:
        archiveReport(text);
        break;
    default:
        versions(text);
        break;
    }
    return 0;
}
