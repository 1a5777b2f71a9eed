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
    m_index.reserve(std::size_t(symbols.size()));
    for (const QByteArray &symbol : symbols)
        m_index.insert(std::string_view(symbol.constData(), std::size_t(symbol.size())));
    indexed();
}

void LiveReplyPass::followSelection()
{
    if (m_followed && m_selectionRevision == m_selection->revision())
        return;
    m_index.clear();
    m_entrySlots.clear();
    const QVector<SelectedSymbol> &entries = m_selection->entries();
    m_index.reserve(std::size_t(entries.size()));
    m_entrySlots.reserve(std::size_t(entries.size()));
    // Slots in selection order: the vendor answers in that order, so the next slot is tried first.
    for (const SelectedSymbol &entry : entries) {
        const QByteArray utf8 = entry.symbol.toUtf8();
        const std::string_view symbol(utf8.constData(), std::size_t(utf8.size()));
        m_entrySlots.push_back(m_index.insert(symbol));
    }
    m_selectionRevision = m_selection->revision();
    m_followed = true;
    indexed();
}

void LiveReplyPass::indexed()
{
    m_indexRevision = ++g_indexRevisions;
    m_snapshot.quotes.assign(m_index.size(), QuoteSnapshot::Quote());
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
    const bool anySelected = m_index.size() > 0;
    QByteArray unused;
    LiveQuotes::LineCollector kept(importLines ? *importLines : unused, importLines ? reply.size() : 0, lineEnd,
                                   anySelected);

    LiveQuotes::Tally counts;
    const int slotCount = int(m_index.size());
    int expected = 0;
    LiveQuotes::forEachLine(reply, counts, [&](const LiveQuotes::Line &line) {
        if (!anySelected || !line.hasComma || (line.failed && !line.shown))
            return;
        int slot = -1;
        if (expected < slotCount && SymbolIndex::sameBytes(m_index.symbol(expected), line.symbol))
            slot = expected;
        else
            slot = m_index.find(line.symbol);
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
            kept.add(line);
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
    kept.finish();
    m_tally = counts;
}
