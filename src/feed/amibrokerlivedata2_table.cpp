// The main window's display table of live prices.
#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "feed/mydownloader.h"
#include "symbols/displaycolumns.h"
#include "symbols/livequotes.h"
#include "symbols/selection.h"

#include <QAccessible>
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidgetItem>

namespace {

using namespace DisplayColumns;

constexpr int DeleteButtonWidth = 30;
constexpr int SteadyUpdatesBeforeWhite = 30;
const QString DeleteMarker = QStringLiteral("1,");

// Shared brushes: painting a cell the colour it already has then costs no allocation.
const QBrush &risingBrush()
{
    static const QBrush brush(QColor(173, 216, 230));
    return brush;
}

const QBrush &fallingBrush()
{
    static const QBrush brush(QColor(255, 192, 203));
    return brush;
}

const QBrush &steadyBrush()
{
    static const QBrush brush(Qt::white);
    return brush;
}

// Rows that updateDisplayTable() adds itself have no price cells yet; they start empty.
QTableWidgetItem *cell(QTableWidget *table, int row, int column)
{
    QTableWidgetItem *item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        table->setItem(row, column, item);
    }
    return item;
}

// Writes the new text and colours the cell by the direction of the change; an unchanged value
// advances the column's steady counter, which whitens the cell that makes it reach thirty.
void showValue(QTableWidgetItem *item, const QString &text, int &steadyCounter)
{
    // The same text is the same value: no parsing, nothing to write.
    const QString previous = item->text();
    const bool sameText = previous == text;
    const float before = sameText ? 0.0f : LiveQuotes::value(previous);
    const float after = sameText ? 0.0f : LiveQuotes::value(text);
    if (!sameText)
        item->setText(text);
    if (after > before) {
        item->setBackground(risingBrush());
    } else if (after < before) {
        item->setBackground(fallingBrush());
    } else if (++steadyCounter >= SteadyUpdatesBeforeWhite) {
        item->setBackground(steadyBrush());
        steadyCounter = 0;
    }
}

}

void amibrokerlivedata2::addDisplayTable()
{
    const QVector<SelectedSymbol> &rows = m_selection->entries();
    QTableWidget *table = ui->displayTableWidget;

    table->setColumnCount(ColumnCount);
    // Styles may hold a larger minimum, which would widen the 30-pixel delete column.
    if (table->horizontalHeader()->minimumSectionSize() > DeleteButtonWidth)
        table->horizontalHeader()->setMinimumSectionSize(DeleteButtonWidth);
    table->setHorizontalHeaderLabels({QStringLiteral("SYMBOL"), QStringLiteral("LTP"), QStringLiteral("LTQ"),
                                      QStringLiteral("Backfill"), QStringLiteral("Del")});
    table->setColumnWidth(SymbolColumn, 165);
    table->setColumnWidth(PriceColumn, 80);
    table->setColumnWidth(QuantityColumn, 70);
    table->setColumnWidth(BackfillColumn, 100);
    table->setColumnWidth(DeleteColumn, 60);
    table->setRowCount(rows.size());

    for (int row = 0; row < rows.size(); ++row) {
        const QString &symbol = rows.at(row).symbol;
        const QString &exchange = rows.at(row).exchange;

        auto *backfillButton = new QPushButton(QStringLiteral("Backfill"), table);
        auto *deleteButton = new QPushButton(QStringLiteral("X"), table);
        deleteButton->setFixedWidth(DeleteButtonWidth);
        backfillButton->setObjectName(symbol);
        backfillButton->setProperty("exchName", exchange);
        deleteButton->setObjectName(symbol + DeleteMarker + exchange);
        connect(deleteButton, &QPushButton::clicked, this, &amibrokerlivedata2::closeButtonClicked);
        connect(backfillButton, &QPushButton::clicked, this, &amibrokerlivedata2::backfillButtonClicked);

        table->setColumnWidth(DeleteColumn, DeleteButtonWidth);
        table->setItem(row, SymbolColumn, new QTableWidgetItem(symbol));
        table->setItem(row, PriceColumn, new QTableWidgetItem(QStringLiteral("0")));
        table->setItem(row, QuantityColumn, new QTableWidgetItem(QStringLiteral("0")));
        table->setCellWidget(row, BackfillColumn, backfillButton);
        table->setCellWidget(row, DeleteColumn, deleteButton);
    }
}

void amibrokerlivedata2::closeButtonClicked(bool)
{
    const auto *button = qobject_cast<const QPushButton *>(sender());
    if (!button)
        return;
    // "<symbol>1,<exchange>": the piece before the first comma, less the marker's "1".
    QString symbol = button->objectName().section(QLatin1Char(','), 0, 0);
    symbol.chop(1);

    m_selection->removeRow(symbol);
}

void amibrokerlivedata2::removeDisplayRow(int row)
{
    if (row < ui->displayTableWidget->rowCount())
        ui->displayTableWidget->removeRow(row);
}

void amibrokerlivedata2::updateDisplayTable()
{
    // One pass over the reply; each row then finds its quote by hash.
    const QHash<QString, LiveQuotes::Quote> quotes =
        LiveQuotes::firstQuotes(m_liveDownloader ? m_liveDownloader->replyBuffer : QByteArray());
    const QVector<SelectedSymbol> &rows = m_selection->entries();
    QTableWidget *table = ui->displayTableWidget;

    table->setHorizontalHeaderLabels({QStringLiteral("SYMBOL"), QStringLiteral("LTP"), QStringLiteral("LTQ")});
    table->setRowCount(rows.size());
    // A table without its columns (before its first build) would drop the items and leak them.
    if (table->columnCount() <= QuantityColumn) {
        table->viewport()->update();
        return;
    }

    {
        // Cell by cell, the model's change signals cost more than the update itself: the view
        // is repainted once below instead. Screen readers still get every change.
        const QSignalBlocker quiet(QAccessible::isActive() ? nullptr : table->model());
        for (int row = 0; row < rows.size(); ++row) {
            const QString &symbol = rows.at(row).symbol;
            table->setItem(row, SymbolColumn, new QTableWidgetItem(symbol));
            const auto quote = quotes.constFind(symbol);
            if (quote == quotes.cend())
                continue;
            showValue(cell(table, row, PriceColumn), quote->price, m_steadyCounterLtp);
            showValue(cell(table, row, QuantityColumn), quote->quantity, m_steadyCounterLtq);
        }
    }
    table->viewport()->update();
}
