#pragma once

#include "symbols/livequotes.h"

#include <QByteArray>
#include <QSet>

#include <string_view>
#include <unordered_map>
#include <vector>

class Selection;

// What one live reply said of each selected symbol, by the symbol's slot in the pass's index.
// It holds the reply it was read from (shared, or copied when the reply did not own its bytes)
// and keeps its texts as places in those bytes, so nothing it shows can outlive them, whatever
// becomes of the buffer the reply came in.
class QuoteSnapshot
{
public:
    // A piece of the reply.
    struct Text
    {
        int at = 0;
        int size = 0;
    };
    struct Quote
    {
        quint64 tick = 0;            // the snapshot's tick when this reply named the symbol
        bool quoted = false;         // a shown quote line with its price and quantity
        bool failing = false;        // the last word on it was the vendor's failure, with a reason
        Text price;                  // of its first quote line
        Text quantity;
        Text failReason;
    };

    [[nodiscard]] std::string_view text(Text piece) const
    {
        return std::string_view(m_reply.constData() + piece.at, std::size_t(piece.size));
    }

    quint64 tick = 0;
    bool sawFailure = false;         // a failure with a reason, for any symbol
    std::vector<Quote> quotes;       // per slot

private:
    friend class LiveReplyPass;
    QByteArray m_reply;
};

// The one pass over a live reply: in a single walk it writes the lines AmiBroker imports and
// fills the quote snapshot the table applies. It owns the symbol index, rebuilt when the
// selection it follows changes.
class LiveReplyPass
{
public:
    // Follows the selection, which must outlive the pass.
    explicit LiveReplyPass(const Selection &selection);
    // A fixed set of symbols.
    explicit LiveReplyPass(const QSet<QByteArray> &symbols);

    // The import rule: replaces importLines (when given; its buffer reused from tick to tick) with
    // the reply's complete lines whose second comma field is a selected symbol, each ended by
    // lineEnd, in their order. Skipped: the piece
    // after the last line feed, lines containing "Failed", lines without a comma. Only a "\r"
    // right before the line feed is not part of the line. The symbol field is compared byte for
    // byte, whole, up to its first NUL byte. Each symbol's snapshot keeps its first quote line.
    void read(const QByteArray &reply, QByteArray *importLines, const QByteArray &lineEnd);

    [[nodiscard]] const LiveQuotes::Tally &tally() const { return m_tally; }
    [[nodiscard]] const QuoteSnapshot &snapshot() const { return m_snapshot; }
    // The slot of the selection's entry at that place when the pass last read, or -1; entries of
    // one symbol share a slot.
    [[nodiscard]] int slotOfEntry(int entry) const
    {
        return entry >= 0 && std::size_t(entry) < m_entrySlots.size() ? m_entrySlots[std::size_t(entry)] : -1;
    }
    // The slot of a symbol when the pass last read, or -1.
    [[nodiscard]] int slotOfSymbol(const QByteArray &symbol) const
    {
        return find(std::string_view(symbol.constData(), std::size_t(symbol.size())));
    }
    // Changes whenever the index is rebuilt, so a reader can tell its slots are stale.
    [[nodiscard]] quint64 indexRevision() const { return m_indexRevision; }
    // The revision of the selection the entries' slots were taken from.
    [[nodiscard]] quint64 selectionRevision() const { return m_selectionRevision; }

private:
    void followSelection();
    int insert(const QByteArray &symbol);
    [[nodiscard]] std::string_view symbolOf(int slot) const
    {
        const QByteArray &symbol = m_symbols[std::size_t(slot)];
        return std::string_view(symbol.constData(), std::size_t(symbol.size()));
    }
    [[nodiscard]] int find(std::string_view symbol) const
    {
        const auto found = m_slots.find(symbol);
        return found == m_slots.end() ? -1 : found->second;
    }
    void indexed();

    const Selection *m_selection = nullptr;
    quint64 m_selectionRevision = 0;
    quint64 m_indexRevision = 0;
    bool m_followed = false;
    // Per slot, the symbol's bytes; the keys of m_slots view them, and a QByteArray's bytes stay
    // where they are when the vector moves it.
    std::vector<QByteArray> m_symbols;
    std::unordered_map<std::string_view, int> m_slots;
    std::vector<int> m_entrySlots;   // per entry of the selection followed
    QuoteSnapshot m_snapshot;
    LiveQuotes::Tally m_tally;
};
