#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"
#include "symbols/livequotes.h"

#include <QAccessible>
#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidgetItem>

namespace {

constexpr int SymbolColumn = 0;
constexpr int PriceColumn = 1;
constexpr int QuantityColumn = 2;
constexpr int BackfillColumn = 3;
constexpr int DeleteColumn = 4;
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
    const QStringList symbols = worker->symbols;
    const QStringList exchanges = worker->exchanges;
    QTableWidget *table = ui->displayTableWidget;

    table->setColumnCount(5);
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
    table->setRowCount(symbols.size());

    for (int row = 0; row < symbols.size(); ++row) {
        const QString &symbol = symbols.at(row);
        // The lists are kept paired; an unpaired symbol still gets its row, with no exchange.
        const QString exchange = exchanges.value(row);

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

    QStringList &symbols = worker->symbols;
    QStringList &exchanges = worker->exchanges;
    const int row = symbols.indexOf(symbol);
    if (row >= 0 && row < ui->displayTableWidget->rowCount())
        ui->displayTableWidget->removeRow(row);
    const int index = symbols.indexOf(symbol);
    if (index >= 0) {
        symbols.removeAt(index);
        if (index < exchanges.size())
            exchanges.removeAt(index);
    }
}

void amibrokerlivedata2::updateDisplayTable()
{
    // One pass over the reply; each row then finds its quote by hash.
    const QHash<QString, LiveQuotes::Quote> quotes =
        LiveQuotes::firstQuotes(liveDownloader ? liveDownloader->replyBuffer : QByteArray());
    const QStringList symbols = worker->symbols;
    QTableWidget *table = ui->displayTableWidget;

    table->setHorizontalHeaderLabels({QStringLiteral("SYMBOL"), QStringLiteral("LTP"), QStringLiteral("LTQ")});
    table->setRowCount(symbols.size());
    // Before addDisplayTable() the table has no columns: it would drop, and leak, every item.
    if (table->columnCount() == 0)
        return;

    {
        // Cell by cell, the model's change signals cost more than the update itself: the view
        // is repainted once below instead. Screen readers still get every change.
        const QSignalBlocker quiet(QAccessible::isActive() ? nullptr : table->model());
        for (int row = 0; row < symbols.size(); ++row) {
            const QString &symbol = symbols.at(row);
            table->setItem(row, SymbolColumn, new QTableWidgetItem(symbol));
            const auto quote = quotes.constFind(symbol);
            if (quote == quotes.cend())
                continue;
            showValue(cell(table, row, PriceColumn), quote->price, steadyCounterLtp);
            showValue(cell(table, row, QuantityColumn), quote->quantity, steadyCounterLtq);
        }
    }
    table->viewport()->update();
}
