#include "symbols/displaytablemodel.h"

#include "platform/steadyclock.h"

#include "symbols/displaycolumns.h"
#include "symbols/livequotes.h"
#include "symbols/selection.h"

#include <algorithm>

using namespace DisplayColumns;

namespace {

const QString DeleteMarker = QStringLiteral("1,");

}

DisplayTableModel::DisplayTableModel(const Selection &selection, QObject *parent)
    : QAbstractTableModel(parent)
    , m_selection(selection)
    , m_clock(Platform::steadyMs)
{
}

int DisplayTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DisplayTableModel::columnCount(const QModelIndex &parent) const
{
    // Until its first build the table has no columns, as a table widget fresh from the form.
    return parent.isValid() || !m_built ? 0 : ColumnCount;
}

QVariant DisplayTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row &row = m_rows[std::size_t(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (column) {
        case SymbolColumn:
            return row.symbol;
        case PriceColumn:
            return QString::fromUtf8(row.price.text.data(), int(row.price.text.size()));
        case QuantityColumn:
            return QString::fromUtf8(row.quantity.text.data(), int(row.quantity.text.size()));
        case BackfillColumn:
            return QStringLiteral("Backfill");
        case DeleteColumn:
            return QStringLiteral("X");
        }
        break;
    case ShadeRole:
        if (column == PriceColumn)
            return int(row.price.shade);
        if (column == QuantityColumn)
            return int(row.quantity.shade);
        return int(Shade::None);
    case MutedRole:
        return column == SymbolColumn && row.muted;
    case Qt::ToolTipRole:
        if (row.muted) {
            const Trouble &trouble = row.trouble;
            if (!trouble.failReason.isEmpty())
                return QStringLiteral("%1: the vendor says \"%2\"").arg(row.symbol, QString::fromUtf8(trouble.failReason));
            const qint64 quietS = (m_now - trouble.lastQuoteMs) / 1000;
            return QStringLiteral("%1: no quote for %2").arg(row.symbol, quietS < 60 ? QStringLiteral("%1 s").arg(quietS)
                                                                                     : QStringLiteral("%1 min %2 s")
                                                                                           .arg(quietS / 60)
                                                                                           .arg(quietS % 60));
        }
        break;
    case ExchangeRole:
        return row.exchange;
    case ButtonNameRole:
        if (column == BackfillColumn)
            return row.symbol;
        if (column == DeleteColumn)
            return row.symbol + DeleteMarker + row.exchange;
        break;
    }
    return {};
}

QVariant DisplayTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QString labels[ColumnCount] = {QStringLiteral("SYMBOL"), QStringLiteral("LTP"), QStringLiteral("LTQ"),
                                                QStringLiteral("Backfill"), QStringLiteral("Del")};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < columnCount())
        return labels[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags DisplayTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // The button cells take clicks only; selecting them would paint under the buttons.
    if (index.column() == BackfillColumn || index.column() == DeleteColumn)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

void DisplayTableModel::rebuild()
{
    const QVector<SelectedSymbol> &entries = m_selection.entries();
    const auto fresh = [&entries](int i) {
        Row row;
        row.symbol = entries.at(i).symbol;
        row.exchange = entries.at(i).exchange;
        row.price.text = "0";
        row.quantity.text = "0";
        return row;
    };
    const int count = entries.size();
    const QHash<QString, Trouble> known = troubleBySymbol();

    if (!m_built) {
        beginResetModel();
        m_built = true;
        m_rows.clear();
        for (int i = 0; i < count; ++i)
            m_rows.push_back(fresh(i));
        takeTrouble(known);
        endResetModel();
    } else {
        // As a table widget's new row count would: rows past the end go, the others are overwritten.
        const int old = int(m_rows.size());
        dropRowsFrom(count);
        const int kept = std::min(count, old);
        for (int i = 0; i < kept; ++i)
            m_rows[std::size_t(i)] = fresh(i);
        if (count > old) {
            beginInsertRows({}, old, count - 1);
            for (int i = old; i < count; ++i)
                m_rows.push_back(fresh(i));
            endInsertRows();
        }
        takeTrouble(known);
        if (kept > 0)
            emit dataChanged(index(0, 0), index(kept - 1, ColumnCount - 1));
    }
    m_revision = m_selection.revision();
}

void DisplayTableModel::dropRowsFrom(int count)
{
    const int old = int(m_rows.size());
    if (count >= old)
        return;
    beginRemoveRows({}, count, old - 1);
    m_rows.resize(std::size_t(count));
    endRemoveRows();
}

void DisplayTableModel::dropRow(int row)
{
    if (row < 0 || row >= int(m_rows.size()))
        return;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    m_slotsRevision = 0;
    countMutedRows();
    if (int(m_rows.size()) == m_selection.size())
        m_revision = m_selection.revision();
}

void DisplayTableModel::followSelection()
{
    const QVector<SelectedSymbol> &entries = m_selection.entries();
    const int count = entries.size();
    const int old = int(m_rows.size());
    const QHash<QString, Trouble> known = troubleBySymbol();
    dropRowsFrom(count);
    const int kept = std::min(count, old);
    for (int i = 0; i < kept; ++i) {
        m_rows[std::size_t(i)].symbol = entries.at(i).symbol;
        m_rows[std::size_t(i)].exchange = entries.at(i).exchange;
    }
    if (count > old) {
        beginInsertRows({}, old, count - 1);
        for (int i = old; i < count; ++i) {
            Row row;
            row.symbol = entries.at(i).symbol;
            row.exchange = entries.at(i).exchange;
            m_rows.push_back(row);
        }
        endInsertRows();
    }
    takeTrouble(known);
    if (kept > 0 && m_built)
        emit dataChanged(index(0, 0), index(kept - 1, ColumnCount - 1));
    m_revision = m_selection.revision();
}

QHash<QString, DisplayTableModel::Trouble> DisplayTableModel::troubleBySymbol() const
{
    QHash<QString, Trouble> known;
    known.reserve(int(m_rows.size()));
    for (const Row &row : m_rows)
        known.insert(row.symbol, row.trouble);
    return known;
}

void DisplayTableModel::takeTrouble(const QHash<QString, Trouble> &known)
{
    // What is known of a symbol stays with it; a new one starts counting now.
    const qint64 now = m_clock();
    m_troubleFree = false;
    for (Row &row : m_rows)
        row.trouble = known.value(row.symbol, Trouble{now, QByteArray()});
    m_slotsRevision = 0;
    countMutedRows();
}

void DisplayTableModel::countMutedRows()
{
    m_mutedRows = int(std::count_if(m_rows.cbegin(), m_rows.cend(), [](const Row &row) { return row.muted; }));
}

void DisplayTableModel::mapSlots(const LiveReplyPass &pass)
{
    // The rows follow the selection's entries one for one, as the pass's index does, unless the
    // selection changed after the pass read (a click dispatched during AmiBroker's import).
    const bool sameEntries = pass.selectionRevision() == m_selection.revision();
    for (int i = 0; i < int(m_rows.size()); ++i) {
        Row &row = m_rows[std::size_t(i)];
        row.slot = sameEntries ? pass.slotOfEntry(i) : pass.slotOfSymbol(row.symbol.toUtf8());
    }
    m_slotsRevision = pass.indexRevision();
}

void DisplayTableModel::apply(const LiveReplyPass &pass)
{
    if (m_revision != m_selection.revision())
        followSelection();
    m_now = m_clock();
    // Before its first build the table has no price cells to show anything in.
    if (!m_built)
        return;
    if (m_slotsRevision != pass.indexRevision())
        mapSlots(pass);

    const QuoteSnapshot &snapshot = pass.snapshot();
    // The vendor's failure shows, and a good line clears the look, with the reply that brings it;
    // the rows that turn are found in the same walk and turned after the prices are announced.
    const bool lookAgain = snapshot.sawFailure || m_mutedRows > 0;
    m_turning.clear();
    // In row order: the steady counters are shared, so the order decides which cell whitens.
    int first = -1;
    int last = -1;
    bool troubleFree = true;
    qint64 oldestQuote = m_now;
    for (int i = 0; i < int(m_rows.size()); ++i) {
        Row &row = m_rows[std::size_t(i)];
        if (row.slot >= 0 && snapshot.quotes[std::size_t(row.slot)].tick == snapshot.tick) {
            const QuoteSnapshot::Quote &quote = snapshot.quotes[std::size_t(row.slot)];
            if (quote.quoted)
                row.trouble.lastQuoteMs = m_now;
            QByteArray &reason = row.trouble.failReason;
            if (quote.failing) {
                // A symbol the vendor keeps failing mostly keeps its reason.
                const std::string_view said = snapshot.text(quote.failReason);
                if (std::string_view(reason.constData(), std::size_t(reason.size())) != said)
                    reason = QByteArray(said.data(), int(said.size()));
            } else if (quote.quoted && !reason.isEmpty()) {
                reason.clear();
            }
            if (quote.quoted) {
                const bool priceShown = show(row.price, snapshot.text(quote.price), m_steadyLtp);
                const bool quantityShown = show(row.quantity, snapshot.text(quote.quantity), m_steadyLtq);
                if (priceShown || quantityShown) {
                    first = first < 0 ? i : first;
                    last = i;
                }
            }
        }
        if (lookAgain && (row.muted || !row.trouble.failReason.isEmpty()) && mutedNow(row) != row.muted)
            m_turning.push_back(i);
        troubleFree = troubleFree && row.trouble.failReason.isEmpty();
        oldestQuote = std::min(oldestQuote, row.trouble.lastQuoteMs);
    }
    m_troubleFree = troubleFree;
    m_oldestQuoteMs = oldestQuote;
    if (first >= 0)
        emit dataChanged(index(first, PriceColumn), index(last, QuantityColumn));
    turnMutedRows();
}

void DisplayTableModel::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(Platform::steadyMs);
}

bool DisplayTableModel::mutedNow(const Row &row) const
{
    const Trouble &trouble = row.trouble;
    return !trouble.failReason.isEmpty() || (m_feedLive && m_now - trouble.lastQuoteMs >= QuietSymbolMs);
}

void DisplayTableModel::markQuietSymbols(bool feedLive)
{
    m_feedLive = feedLive;
    m_now = m_clock();
    if (m_troubleFree && m_mutedRows == 0 && m_now - m_oldestQuoteMs < QuietSymbolMs)
        return;
    m_turning.clear();
    for (int i = 0; i < int(m_rows.size()); ++i) {
        if (mutedNow(m_rows[std::size_t(i)]) != m_rows[std::size_t(i)].muted)
            m_turning.push_back(i);
    }
    turnMutedRows();
}

// A muted row's tooltip counts up by itself; its look changes only when it turns.
void DisplayTableModel::turnMutedRows()
{
    if (m_turning.empty())
        return;
    for (const int i : m_turning) {
        Row &row = m_rows[std::size_t(i)];
        row.muted = !row.muted;
        m_mutedRows += row.muted ? 1 : -1;
    }
    emit dataChanged(index(m_turning.front(), SymbolColumn), index(m_turning.back(), SymbolColumn),
                     {MutedRole, Qt::ToolTipRole});
}

bool DisplayTableModel::show(Cell &cell, std::string_view text, int &steadyCounter)
{
    // The same text is the same value: no parsing, nothing to write.
    const bool sameText = cell.text == text;
    float before = 0;
    float after = 0;
    if (!sameText) {
        before = cell.value;
        after = LiveQuotes::value(text);
        // Written into the room the text already has.
        cell.text.assign(text.data(), text.size());
        cell.value = after;
    }
    Shade shade = cell.shade;
    if (after > before) {
        shade = Shade::Rising;
    } else if (after < before) {
        shade = Shade::Falling;
    } else if (++steadyCounter >= SteadyUpdatesBeforeWhite) {
        shade = Shade::Steady;
        steadyCounter = 0;
    }
    const bool shown = !sameText || shade != cell.shade;
    cell.shade = shade;
    return shown;
}
