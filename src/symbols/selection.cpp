#include "symbols/selection.h"

#include "app/settingsstore.h"
#include "symbols/watchlist.h"

#include <QHash>

#include <algorithm>
#include <vector>

Selection::Selection(QObject *parent)
    : QObject(parent)
{
}

QStringList Selection::symbols() const
{
    QStringList list;
    list.reserve(m_entries.size());
    for (const SelectedSymbol &entry : m_entries)
        list << entry.symbol;
    return list;
}

QStringList Selection::exchanges() const
{
    QStringList list;
    list.reserve(m_entries.size());
    for (const SelectedSymbol &entry : m_entries)
        list << entry.exchange;
    return list;
}

int Selection::indexOf(const QString &symbol) const
{
    for (int i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).symbol == symbol)
            return i;
    }
    return -1;
}

const QSet<QString> &Selection::symbolSet() const
{
    if (!m_symbolSetValid) {
        m_symbolSet.clear();
        m_symbolSet.reserve(m_entries.size());
        for (const SelectedSymbol &entry : m_entries)
            m_symbolSet.insert(entry.symbol);
        m_symbolSetValid = true;
    }
    return m_symbolSet;
}

const QSet<QByteArray> &Selection::symbolBytes() const
{
    if (!m_symbolBytesValid) {
        m_symbolBytes.clear();
        m_symbolBytes.reserve(m_entries.size());
        for (const SelectedSymbol &entry : m_entries)
            m_symbolBytes.insert(entry.symbol.toUtf8());
        m_symbolBytesValid = true;
    }
    return m_symbolBytes;
}

void Selection::touched(quint64 changes)
{
    m_symbolSetValid = false;
    m_symbolBytesValid = false;
    m_revision += changes;
}

void Selection::assign(QStringList symbols, QStringList exchanges)
{
    WatchList::pairUp(symbols, exchanges);
    m_entries.clear();
    m_entries.reserve(symbols.size());
    for (int i = 0; i < symbols.size(); ++i)
        m_entries.append({symbols.at(i), exchanges.at(i)});
    touched();
    emit changed();
}

void Selection::applyChecks(const QVector<QPair<QString, bool>> &marks, const QString &exchange)
{
    // One pass, not a scan of the selection per mark: a whole 20,000-row list is one click.
    // A stored selection may hold a symbol twice; an unchecked mark takes its first entry left,
    // so each symbol keeps the chain of its entries in selection order.
    const int stored = m_entries.size();
    std::vector<int> nextSame(std::size_t(stored), -1);
    QHash<QString, int> firstLeft;
    firstLeft.reserve(stored + marks.size());
    for (int i = stored - 1; i >= 0; --i) {
        const auto known = firstLeft.find(m_entries.at(i).symbol);
        if (known == firstLeft.end()) {
            firstLeft.insert(m_entries.at(i).symbol, i);
        } else {
            nextSame[std::size_t(i)] = *known;
            *known = i;
        }
    }

    std::vector<bool> removed(std::size_t(stored), false);
    quint64 moves = 0;
    bool anyRemoved = false;
    for (const auto &[symbol, checked] : marks) {
        const auto known = firstLeft.find(symbol);
        if (checked && known == firstLeft.end()) {
            firstLeft.insert(symbol, m_entries.size());
            m_entries.append({symbol, exchange});
            nextSame.push_back(-1);
            removed.push_back(false);
            ++moves;
        } else if (!checked && known != firstLeft.end()) {
            const int index = *known;
            removed[std::size_t(index)] = true;
            if (nextSame[std::size_t(index)] < 0)
                firstLeft.erase(known);
            else
                *known = nextSame[std::size_t(index)];
            anyRemoved = true;
            ++moves;
        }
    }

    if (anyRemoved) {
        int kept = 0;
        for (int i = 0; i < m_entries.size(); ++i) {
            if (!removed[std::size_t(i)])
                m_entries[kept++] = m_entries.at(i);
        }
        m_entries.resize(kept);
    }
    if (moves > 0)
        touched(moves);
    emit changed();
}

void Selection::clear()
{
    m_entries.clear();
    touched();
    emit changed();
}

void Selection::removeRow(const QString &symbol)
{
    const int index = indexOf(symbol);
    if (index < 0)
        return;
    m_entries.removeAt(index);
    touched();
    emit rowRemoved(index);
}

void Selection::restoreStored()
{
    QStringList symbols = Store::read(Store::SelectedSymbols);
    QStringList exchanges = Store::read(Store::SelectedExchanges);
    // Lists edited outside the program may differ in length; only pairs can be shown and fed.
    WatchList::pairUp(symbols, exchanges);
    WatchList::dropEmptySymbols(symbols, exchanges);
    m_entries.clear();
    for (int i = 0; i < symbols.size(); ++i)
        m_entries.append({symbols.at(i), exchanges.at(i)});
    touched();
}

void Selection::keepExchanges(const QStringList &enabledExchanges)
{
    const auto disabled = [&enabledExchanges](const SelectedSymbol &entry) {
        return !enabledExchanges.contains(entry.exchange);
    };
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), disabled), m_entries.end());
    touched();
}

void Selection::store() const
{
    Store::Batch store;
    store.write(Store::SelectedSymbols, symbols());
    store.write(Store::SelectedExchanges, exchanges());
}
