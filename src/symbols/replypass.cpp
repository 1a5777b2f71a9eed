#include "symbols/replypass.h"

#include "symbols/selection.h"

#include <atomic>

namespace {

// Unique across passes, so a reader never takes one pass's slots for another's.
std::atomic<quint64> g_indexRevisions{0};

}

LiveReplyPass::LiveReplyPass(const Selection &selection)
    : m_selection(&selection)
{
}

LiveReplyPass::LiveReplyPass(const QSet<QByteArray> &symbols)
{
    m_symbols.reserve(std::size_t(symbols.size()));
    for (const QByteArray &symbol : symbols)
        insert(symbol);
    indexed();
}

int LiveReplyPass::insert(const QByteArray &symbol)
{
    const int known = find(std::string_view(symbol.constData(), std::size_t(symbol.size())));
    if (known >= 0)
        return known;
    const int slot = int(m_symbols.size());
    m_symbols.push_back(symbol);
    const QByteArray &kept = m_symbols.back();
    m_slots.emplace(std::string_view(kept.constData(), std::size_t(kept.size())), slot);
    return slot;
}

void LiveReplyPass::followSelection()
{
    if (m_followed && m_selectionRevision == m_selection->revision())
        return;
    m_symbols.clear();
    m_slots.clear();
    m_entrySlots.clear();
    const QVector<SelectedSymbol> &entries = m_selection->entries();
    m_symbols.reserve(std::size_t(entries.size()));
    m_slots.reserve(std::size_t(entries.size()));
    m_entrySlots.reserve(std::size_t(entries.size()));
    // Slots in selection order: the vendor answers in that order, so the next slot is tried first.
    for (const SelectedSymbol &entry : entries)
        m_entrySlots.push_back(insert(entry.symbol.toUtf8()));
    m_selectionRevision = m_selection->revision();
    m_followed = true;
    indexed();
}

void LiveReplyPass::indexed()
{
    m_indexRevision = ++g_indexRevisions;
    m_snapshot.quotes.assign(m_symbols.size(), QuoteSnapshot::Quote());
}

void LiveReplyPass::read(const QByteArray &reply, QByteArray *importLines, const QByteArray &lineEnd)
{
    if (m_selection)
        followSelection();
    QuoteSnapshot &snapshot = m_snapshot;
    const quint64 tick = ++snapshot.tick;
    snapshot.sawFailure = false;
    // Bytes the reply does not own (fromRawData) are copied: the snapshot must hold its own.
    snapshot.m_reply = reply.capacity() >= reply.size() ? reply : QByteArray(reply.constData(), reply.size());
    const char *const base = reply.constData();
    const auto place = [base](std::string_view text) {
        return QuoteSnapshot::Text{int(text.data() - base), int(text.size())};
    };
    if (importLines) {
        // Emptied, its room kept from tick to tick.
        importLines->resize(0);
        importLines->reserve(reply.size());
    }

    LiveQuotes::Tally counts;
    const int slotCount = int(m_symbols.size());
    int expected = 0;
    LiveQuotes::forEachLine(reply, counts, [&](const LiveQuotes::Line &line) {
        if (slotCount == 0 || !line.hasComma || (line.failed && !line.shown))
            return;
        const int slot = expected < slotCount && symbolOf(expected) == line.symbol ? expected : find(line.symbol);
        if (slot < 0)
            return;
        QuoteSnapshot::Quote &quote = snapshot.quotes[std::size_t(slot)];
        if (quote.tick != tick)
            quote = {tick, false, false, {}, {}, {}};
        if (line.failed) {
            std::string_view reason;
            if (LiveQuotes::failureReason(line, reason)) {
                quote.failing = true;
                quote.failReason = place(reason);
                snapshot.sawFailure = true;
            }
            return;
        }
        if (importLines)
            importLines->append(line.text.data(), int(line.text.size())).append(lineEnd);
        ++counts.selected;
        std::string_view price;
        std::string_view quantity;
        if (!line.shown || !LiveQuotes::quoteFields(line, price, quantity))
            return;
        expected = slot + 1;
        quote.failing = false;
        if (!quote.quoted) {
            quote.quoted = true;
            quote.price = place(price);
            quote.quantity = place(quantity);
        }
    });
    m_tally = counts;
}
