#pragma once

#include <QByteArray>
#include <QObject>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

// One selected symbol and the exchange it was picked under.
struct SelectedSymbol
{
    QString symbol;
    QString exchange;

    bool operator==(const SelectedSymbol &other) const
    {
        return symbol == other.symbol && exchange == other.exchange;
    }
};

// The trader's selection: the symbols the live request asks for, the import filter keeps, the
// display table shows and the backfill runs fetch. Each change that re-aims the live request
// emits changed() once; deleting one row only announces the row.
class Selection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Selection)

public:
    explicit Selection(QObject *parent = nullptr);

    [[nodiscard]] const QVector<SelectedSymbol> &entries() const { return m_entries; }
    [[nodiscard]] int size() const { return m_entries.size(); }
    [[nodiscard]] bool isEmpty() const { return m_entries.isEmpty(); }
    [[nodiscard]] QStringList symbols() const;
    [[nodiscard]] QStringList exchanges() const;
    [[nodiscard]] int indexOf(const QString &symbol) const;
    [[nodiscard]] bool contains(const QString &symbol) const { return symbolSet().contains(symbol); }
    // Kept between changes, so the live filter does not rebuild it every tick.
    [[nodiscard]] const QSet<QString> &symbolSet() const;
    // The same symbols as UTF-8 bytes: reply fields are compared byte for byte.
    [[nodiscard]] const QSet<QByteArray> &symbolBytes() const;
    // Grows with every change, signalled or not, so a view can tell it is behind.
    [[nodiscard]] quint64 revision() const { return m_revision; }

    // Replaces the whole selection; lists of unequal length are cut to pairs first.
    void assign(QStringList symbols, QStringList exchanges);
    // The check marks of a catalogue list, in list order: a checked symbol not yet selected (by
    // text, whatever its exchange) is added under exchange, an unchecked one removed; changed()
    // even when nothing moved.
    void applyChecks(const QVector<QPair<QString, bool>> &marks, const QString &exchange);
    void clear();
    // Removes the symbol's entry and emits rowRemoved(); the live request is not re-aimed.
    void removeRow(const QString &symbol);

    // Without a signal: the stored selection and the pruning at start-up are followed by a
    // rebuild of their own.
    void restoreStored();
    void keepExchanges(const QStringList &enabledExchanges);
    void store() const;

signals:
    void changed();
    void rowRemoved(int row);

private:
    void touched(quint64 changes = 1);

    QVector<SelectedSymbol> m_entries;
    mutable QSet<QString> m_symbolSet;
    mutable bool m_symbolSetValid = false;
    mutable QSet<QByteArray> m_symbolBytes;
    mutable bool m_symbolBytesValid = false;
    quint64 m_revision = 0;
};
